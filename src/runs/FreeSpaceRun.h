#pragma once
// The free-space run: fills the free space of every drive in the drives table
// with temporary files, one drive after the other, in a worker thread.
#include <functional>

class RunState;
class RunWindow;
class WorkerThreads;

// The worker's body, between locking and unlocking the window.
void RunFreeSpace(RunWindow& window, RunState& state);

// Starts a free-space run: unless the command line gave the drives, chooseDrives
// shows the drive dialog, fills the drives table and returns false on Cancel, in
// which case nothing starts. Then the start time is taken and the clock and the
// worker start; this returns at once. An empty drives table still makes a run.
bool StartFreeSpaceRun(WorkerThreads& threads, RunWindow& window, RunState& state,
                       const std::function<bool()>& chooseDrives);
