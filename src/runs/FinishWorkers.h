#pragma once
// Ending the window while workers still run: they are told to stop and joined,
// while the UI thread keeps serving the calls they make into the window, so a
// worker waiting on such a call cannot deadlock the close.
#include <functional>

class RunState;
class WorkerThreads;

// Sets the stop flag and returns once every thread of `threads` has ended. A run
// finishes the entry it is working on first. `serveWindow` is called over and
// over meanwhile (the window processes its pending events there); it must not
// start new workers.
void FinishWorkers(WorkerThreads& threads, RunState& state,
                   const std::function<void()>& serveWindow);
