#include "filelist/RemovedRows.h"

#include <algorithm>

int RemovedRows::RemoveSelected(CListCtrl& list, int current, int* next) {
    const int count = list.GetItemCount();
    std::vector<std::pair<int, CListCtrl::Item>> taken;
    for (int row = 0; row < count; ++row)
        if (list.GetItemState(row, CListCtrl::LVIS_SELECTED) != 0)
            taken.emplace_back(row, list.GetItem(row));
    if (taken.empty()) {
        if (current < 0 || current >= count) return 0;
        list.SetItemState(current, CListCtrl::LVIS_SELECTED, CListCtrl::LVIS_SELECTED);
        taken.emplace_back(current, list.GetItem(current));
    }
    const int removed = list.DeleteSelectedItems();
    if (next) *next = std::min(taken.front().first, list.GetItemCount() - 1);
    rows_ = std::move(taken);
    return removed;
}

bool RemovedRows::Restore(CListCtrl& list) {
    if (rows_.empty()) return false;
    // Ascending, so each row finds the ones before it in place already.
    for (const auto& [at, item] : rows_) {
        const int row = list.InsertItem(std::min(at, list.GetItemCount()),
                                        item.texts.empty() ? std::u16string() : item.texts[0]);
        if (row < 0) continue;
        for (size_t c = 1; c < item.texts.size(); ++c)
            list.SetItemText(row, static_cast<int>(c), item.texts[c]);
        // Ticked as it was; selected again, so that the user sees what came back.
        list.SetItemRecord(row, item, CListCtrl::LVIS_STATEIMAGEMASK | CListCtrl::LVIS_SELECTED);
    }
    rows_.clear();
    return true;
}
