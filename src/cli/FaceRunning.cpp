#include "cli/FaceRunning.h"

#include <poll.h>

#include "cli/TerminalFace.h"
#include "config/CommandLine.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderQueue.h"
#include "filelist/TrashRows.h"
#include "platform/StopSignals.h"
#include "runs/FileRun.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"

namespace {

// The list as the window's command line makes it: every path is queued, and the
// walk makes it absolute at its real place and ties it to the folder holding it.
class FaceTarget : public CommandLineTarget {
  public:
    explicit FaceTarget(RunState& state) : state_(state) {}
    void QueueEntry(const std::u16string& path) override { (void)QueueChosenEntry(state_, path); }
    void AddDrive(const std::string& root) override { state_.drivesTable.AppendRow(root); }

  private:
    RunState& state_;
};

}  // namespace

void WaitForWorkers(WorkerThreads& threads, RunState& state, TerminalFace& face) {
    // Woken by a worker's end or a signal, never by waiting out a timeout; the
    // timeout only paces the progress line, where there is one.
    const int redraw = face.DrawsProgress() ? 200 : -1;
    while (!threads.AllDone()) {
        pollfd p[2] = {{StopSignalWakeFd(), POLLIN, 0}, {threads.EndedFd(), POLLIN, 0}};
        // Without an eventfd for the ends, a look every 20 ms stands in.
        const int timeout = p[1].fd < 0 && (redraw < 0 || redraw > 20) ? 20 : redraw;
        (void)::poll(p, 2, timeout);
        if (p[0].fd >= 0 && (p[0].revents & POLLIN)) DrainStopSignalWakeFd();
        if (p[1].fd >= 0 && (p[1].revents & POLLIN)) threads.DrainEndedFd();
        if (StopSignalReceived()) {
            state.stop = true;
            state.WakeWaiters();
        }
        face.DrawProgress();
    }
    threads.JoinAll();
    face.DrawProgress(true);
}

bool ListCommandLine(const std::vector<std::u16string>& args, TerminalFace& face, RunState& state,
                     WorkerThreads& threads, bool announceFolders) {
    state.drivesTable.SetSize(1, 0);
    state.folderQueue.SetSize(2, 0);
    state.stop = false;
    state.expansionStopped = false;
    const bool trash = args.size() > 1 && args[1] == u"-trash";
    threads.Start([&] {
        // The trash stands for itself: no other path joins it.
        if (trash) {
            (void)ListTrashRows(face, state);
            return;
        }
        FaceTarget target(state);
        (void)ProcessCommandLine(args, target);
        if (state.folderQueue.RowCount() == 0 && !face.ListsPaths()) return;
        if (face.ListsAsRunGoes()) {
            // The files chosen alone are listed now; the folders (and a list's
            // paths) are looked ahead into, and walked again by the run as it goes.
            const bool folders =
                state.folderQueue.RowCount() > 0 &&
                ExpandQueuedFolders(face, state, announceFolders, /*listFolders=*/false);
            if (!face.ListAsRunGoes(state)) state.expansionStopped = true;
            if (announceFolders) {
                state.stop = true;
                state.WakeWaiters();
                if (folders) face.SetStatusText(u"");
            }
            return;
        }
        // The window names the first folder while it walks them.
        if (announceFolders)
            RunFolderExpansion(face, state);
        else
            ExpandQueuedFolders(face, state);
    });
    WaitForWorkers(threads, state, face);
    // Stopped while listing: nothing was touched, and nothing is to be.
    return !StopSignalReceived() && !state.expansionStopped.load();
}

RunOutcome RunListedEntries(WorkerThreads& threads, RunState& state, TerminalFace& face,
                            bool drives) {
    if (drives) {
        std::vector<std::u16string> roots;
        for (int i = 0; i < state.drivesTable.RowCount(); ++i)
            roots.push_back(WideFromUtf8(state.drivesTable.GetCell(0, i)));
        face.SetDrives(roots);
        state.exitAfterFreeSpaceRun = true;
        (void)StartFreeSpaceRun(threads, face, state, nullptr);
    } else {
        state.exitAfterFileRun = true;
        StartFileRun(threads, face, state);
    }
    WaitForWorkers(threads, state, face);
    return state.lastOutcome.load();
}
