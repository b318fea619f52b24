#include "runs/FinishWorkers.h"

#include <chrono>
#include <thread>

#include "runs/RunState.h"
#include "runs/WorkerThreads.h"

void FinishWorkers(WorkerThreads& threads, RunState& state,
                   const std::function<void()>& serveWindow) {
    state.runBusy = false;
    state.stop = true;
    while (!threads.AllDone()) {
        if (serveWindow) serveWindow();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    threads.JoinAll();
}
