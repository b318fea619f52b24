// The tool tip of a file-list row.
#include "engine/FileOps.h"
#include "filelist/SortListCtrl.h"

namespace {
// Cuts `text` to at most `max` units without leaving half a surrogate pair.
void CutTo(std::u16string& text, size_t max) {
    if (text.size() <= max) return;
    text.resize(max);
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
}
}  // namespace

std::u16string CSortListCtrl::InfoTip(int row, size_t bufferSize) const {
    if (row < 0 || row >= GetItemCount() || bufferSize == 0) return {};
    auto column = [&](int c) {
        std::u16string t = GetItemText(row, c);
        CutTo(t, kInfoTipBuffer - 1);
        return t;
    };
    std::u16string tip = FileNameOfPath(column(0));
    tip += u"\r\n" + column(1);
    tip += u"\r\n" + column(2);
    tip += u"\r\n" + FolderOfPath(column(3));
    CutTo(tip, bufferSize - 1);
    return tip;
}
