#pragma once
// The free-space run: fills the free space of every drive in the drives table
// with temporary files, one drive after the other, in a worker thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runs/RunState.h"

class RunState;
class RunWindow;
class WorkerThreads;

// The worker's body, between locking and unlocking the window.
void RunFreeSpace(RunWindow& window, RunState& state);

// What a file run hands the free-space run that follows it.
struct AfterFileRun {
    RunOutcome fileOutcome = RunOutcome::Done;  // anything but Done leaves the whole partly done
    std::vector<uint64_t> devices;      // per row of the drives table: the file system to fill
    std::vector<std::u16string> lines;  // for the log, after the header
    bool anyFailed = false;             // a drive of the file run is not among the rows
};

// The fill of every drive in the drives table into the log begun already: a
// header, a line per drive, the outcome and the status line. With `after`, the
// outcome is that of the file run and the fill together.
void FillDrivesOfTable(RunWindow& window, RunState& state, const AfterFileRun* after);

// Starts a free-space run: unless the command line gave the drives, chooseDrives
// shows the drive dialog, fills the drives table and returns false on Cancel, in
// which case nothing starts. Then the start time is taken and the clock and the
// worker start; this returns at once. An empty drives table still makes a run.
bool StartFreeSpaceRun(WorkerThreads& threads, RunWindow& window, RunState& state,
                       const std::function<bool()>& chooseDrives);
