#include "filelist/FolderQueue.h"

#include "config/TextConv.h"
#include "runs/RunState.h"

bool QueueFolder(RunState& state, const std::u16string& path) {
    if (path.empty()) return false;
    std::u16string folder = path;
    if (folder.back() != u'/') folder.push_back(u'/');
    StringTable& queue = state.folderQueue;
    if (!queue.AddRows(1)) return false;
    int row = queue.RowCount() - 1;
    if (row < 0) return false;
    bool ok = queue.SetCell(0, row, Utf8FromWide(folder));
    return queue.SetCellInt(1, row, 0) && ok;
}

bool QueueChosenEntry(RunState& state, const std::u16string& path) {
    if (path.empty()) return false;
    StringTable& queue = state.folderQueue;
    if (!queue.AddRows(1)) return false;
    const int row = queue.RowCount() - 1;
    if (row < 0) return false;
    const bool ok = queue.SetCell(0, row, Utf8FromWide(path));
    return queue.SetCellInt(1, row, kChosenEntryMark) && ok;
}

void ClearFolderQueue(RunState& state) {
    state.folderQueue.SetSize(2, 0);
}
