#include "runs/FinishWorkers.h"

#include <chrono>

#include "runs/RunState.h"
#include "runs/WorkerThreads.h"

void FinishWorkers(WorkerThreads& threads, RunState& state,
                   const std::function<void()>& serveWindow) {
    state.runBusy = false;
    state.stop = true;
    state.WakeWaiters();  // the clock ends now, not at its next tick
    // The window is served every 5 ms while a worker may be waiting for it; a
    // worker's end wakes this at once.
    while (!threads.AllDone()) {
        if (serveWindow) serveWindow();
        threads.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(5),
                          [&] { return threads.AllDone(); });
    }
    threads.JoinAll();
}
