#include "filelist/FolderExpansion.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "platform/Platform.h"
#include "runs/RunClock.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

namespace {

// Walks one queued folder. The folders the walk enters are recorded in the order
// entered; each is recorded once, however often the walk comes back to it.
void ExpandFolder(FileRowSeries& rows, RunState& state, const std::u16string& folder) {
    std::vector<std::u16string> recorded{folder};
    std::unordered_set<std::u16string> seen{folder};

    FileOps ops;
    WalkOptions options;
    options.recursive = true;
    options.startFolder = folder;
    options.nameFilter = u"*";
    options.extFilter = u"*";
    options.sizeFilterOn = false;
    options.reportFolders = false;
    options.reportEmptyFolders = true;
    options.fillSizeAndTime = false;  // the row looks every file up itself
    ops.WalkConfigure(options);

    std::u16string path;
    int64_t size = 0;
    int64_t time = 0;
    bool more = ops.WalkFirst(path, size, time);
    while (more) {
        if (state.stop.load()) break;
        // An empty sub-folder is reported with its own path ending in "/";
        // it adds no file row, but its folder is recorded below.
        if (!path.empty()) rows.AddFile(path);
        const std::u16string& current = ops.WalkCurrentFolder();
        if (seen.insert(current).second) recorded.push_back(current);
        more = ops.WalkNext(path, size, time);
    }

    for (auto it = recorded.rbegin(); it != recorded.rend(); ++it) rows.AddFolder(*it);
}

}  // namespace

void ExpandQueuedFolders(RunWindow& window, RunState& state) {
    FileRowSeries rows(window);
    for (int i = 0; i < state.folderQueue.RowCount(); ++i) {
        std::string cell = state.folderQueue.GetCell(0, i);
        // A cell that cannot be read names no folder; walking "" would list the
        // working folder of the program instead.
        if (cell.empty()) continue;
        ExpandFolder(rows, state, WideFromUtf8(cell));
    }
    rows.Flush();
}

void RunFolderExpansion(RunWindow& window, RunState& state) {
    window.SetStatusText(SafeFormat(window.MessageText("FrmMain.m_acMAddingFolder"),
                                    {WideFromUtf8(state.folderQueue.GetCell(0, 0))}));
    ExpandQueuedFolders(window, state);
    window.UnlockAfterRun();
    state.stop.store(true);
    window.SetStatusText(u"");
}

bool StartFolderExpansion(WorkerThreads& threads, RunWindow& window, RunState& state) {
    state.stop.store(false);
    if (state.folderQueue.RowCount() < 1) return false;
    // Locked here, on the window's thread, rather than by the expansion thread:
    // otherwise a drop could slip in before the thread locks and empty the queue
    // while the thread reads it.
    window.LockForRun();
    state.startTime.store(Platform().now());
    StartRunClock(threads, window, state);
    threads.Start([&window, &state] { RunFolderExpansion(window, state); });
    return true;
}
