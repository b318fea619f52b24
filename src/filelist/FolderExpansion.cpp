#include "filelist/FolderExpansion.h"

#include <sys/stat.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderQueue.h"
#include "i18n/SafeFormat.h"
#include "platform/ConfinedPath.h"
#include "platform/Platform.h"
#include "platform/SystemPlaces.h"
#include "runs/RunClock.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

std::u16string NotListedReason(WalkSkip why) {
    switch (why) {
        case WalkSkip::kTooDeep:
            return SafeFormat(u"too deep, not entered (limit %d levels)",
                              {FileOps::kWalkStackSize});
        case WalkSkip::kUnreadable:
            return u"could not be read";
        case WalkSkip::kVanished:
            return u"vanished while listed";
        case WalkSkip::kLinkNotFollowed:
            return u"became a link, not followed";
        case WalkSkip::kSystemPlace:
            return fsys::GuardText(fsys::Guard::kSystemPlace);
        case WalkSkip::kNone:
            break;
    }
    return {};
}

void RecordChosenRoot(RunState& state, const std::u16string& folder) {
    fsys::Root root{folder, {}};
    std::string p = Utf8FromWide(folder);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        root.identity = fsys::Identity{st.st_dev, st.st_ino};
    state.chosenRoots.Add(root);
}

// The folders the walk enters are recorded in the order entered; each is
// recorded once, however often the walk comes back to it.
void ExpandFolder(FileRowSeries& rows, RunState& state, const std::u16string& folder,
                  const std::u16string& ownName) {
    RecordChosenRoot(state, folder);
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
    options.fillSizeAndTime = true;  // the walk measures relative to its folder
    ops.WalkConfigure(options);

    std::u16string path;
    int64_t size = 0;
    int64_t time = 0;
    bool more = ops.WalkFirst(path, size, time);
    // The folder itself (queued, or become one since it was chosen) is no folder
    // to walk or to remove.
    if (!more && ops.WalkSkipped() == WalkSkip::kSystemPlace) {
        rows.AddNotListed(folder, NotListedReason(WalkSkip::kSystemPlace));
        return;
    }
    while (more) {
        if (state.stop.load()) {
            state.expansionStopped.store(true);
            break;
        }
        // An empty sub-folder is reported with its own path ending in "/";
        // it adds no file row, but its folder is recorded below.
        if (!path.empty() && path.back() != u'/') rows.AddFile(path, size, time);
        if (ops.WalkSkipped() != WalkSkip::kNone)
            rows.AddNotListed(ops.WalkSkippedPath(), NotListedReason(ops.WalkSkipped()));
        const std::u16string& current = ops.WalkCurrentFolder();
        if (seen.insert(current).second) recorded.push_back(current);
        more = ops.WalkNext(path, size, time);
    }

    for (auto it = recorded.rbegin(); it != recorded.rend(); ++it) {
        if (*it == folder && !ownName.empty())
            rows.AddRow({ownName, u"0", kFolderMarker, folder});
        else
            rows.AddFolder(*it);
    }
}

namespace {

// A path the user chose, looked at here rather than on the window's thread. A
// folder takes its place in the queue, to be walked like any chosen folder;
// anything else (a link is the link) becomes a row at once, tied to the folder
// that holds it now. False when the entry leaves the queue.
bool LookAtChosenEntry(FileRowSeries& rows, RunState& state, int row, std::u16string& refused) {
    fsys::ChosenEntry entry;
    if (!fsys::LookAtChosen(WideFromUtf8(state.folderQueue.GetCell(0, row)), entry))
        return false;  // names nothing: no row, as the file dialog would show none
    if (entry.guard != fsys::Guard::kAllowed) {
        // Refused here, before anything is walked; the row says why, and a run
        // logs it as not shredded.
        std::u16string shown = entry.path;
        if (entry.attr.kind == fsys::Kind::kFolder && shown.back() != u'/') shown.push_back(u'/');
        rows.AddNotListed(shown, fsys::GuardText(entry.guard));
        if (refused.empty()) refused = shown;
        return false;
    }
    if (entry.attr.kind == fsys::Kind::kFolder) {
        std::u16string folder = entry.path;
        if (folder.back() != u'/') folder.push_back(u'/');
        return state.folderQueue.SetCell(0, row, Utf8FromWide(folder)) &&
               state.folderQueue.SetCellInt(1, row, 0);
    }
    // Recorded before the row shows: no run may see the row without it.
    state.chosenRoots.AddHolder(entry.holder);
    if (entry.attr.deviceNode) state.chosenRoots.AddChosenDevice(entry.path);
    rows.AddFile(entry.path, entry.attr.size, entry.attr.modified);
    return false;
}

// The queue's rows; `refused` names the first entry refused as a system place.
// Without `listFolders` the chosen folders are only recorded, for a face that
// walks them as its run reads them.
bool ExpandQueue(RunWindow& window, RunState& state, bool announce, bool listFolders,
                 std::u16string& refused) {
    FileRowSeries rows(window);
    StringTable& queue = state.folderQueue;
    // The chosen entries first, in the order given; each folder among them keeps
    // its place for the walks below.
    const std::string entryMark = std::to_string(kChosenEntryMark);
    for (int i = 0; i < queue.RowCount(); ++i) {
        if (queue.GetCell(1, i) != entryMark) continue;
        if (state.stop.load()) {
            state.expansionStopped.store(true);
            break;
        }
        if (!LookAtChosenEntry(rows, state, i, refused)) queue.DeleteRow(i--);
    }
    bool walked = false;
    for (int i = 0; i < queue.RowCount(); ++i) {
        if (queue.GetCell(1, i) == entryMark) continue;  // left by a stop
        std::string cell = queue.GetCell(0, i);
        // A cell that cannot be read names no folder; walking "" would list the
        // working folder of the program instead.
        if (cell.empty()) continue;
        if (!walked && announce) {
            rows.Flush();
            window.SetStatusText(
                SafeFormat(window.MessageText("FrmMain.m_acMAddingFolder"), {WideFromUtf8(cell)}));
        }
        walked = true;
        if (listFolders)
            ExpandFolder(rows, state, WideFromUtf8(cell), {});
        else
            RecordChosenRoot(state, WideFromUtf8(cell));
    }
    rows.Flush();
    // Files alone end with their count here; a walk's rows once the walk has ended.
    if (!walked) UpdateFileCount(window);
    // Said last, so that it stays on the status line.
    if (!refused.empty())
        window.SetStatusText(SafeFormat(window.MessageText("FrmMain.m_acMSystemPlace"), {refused}));
    return walked;
}

}  // namespace

bool ExpandQueuedFolders(RunWindow& window, RunState& state, bool announce, bool listFolders) {
    std::u16string refused;
    return ExpandQueue(window, state, announce, listFolders, refused);
}

void RunFolderExpansion(RunWindow& window, RunState& state) {
    std::u16string refused;
    const bool walked = ExpandQueue(window, state, true, true, refused);
    window.UnlockAfterRun();
    state.stop.store(true);
    state.WakeWaiters();
    // The count tells what the walk added; a refusal stays on the status line.
    if (walked && refused.empty()) UpdateFileCount(window);
}

bool StartFolderExpansion(WorkerThreads& threads, RunWindow& window, RunState& state) {
    state.stop.store(false);
    state.expansionStopped.store(false);
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
