#include "runs/RunFrame.h"

#include "platform/Platform.h"
#include "runs/RunReport.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

namespace {
constexpr int kEndProgram = 1;
constexpr int kShutDown = 2;
}  // namespace

void RunFrame(RunWindow& window, RunState& state, bool exitAfterRun,
              const std::function<void()>& worker) {
    window.LockForRun();
    if (worker) worker();
    // Whatever became of the run, its report is written before anything else happens.
    FinishRunReport(window, state);
    window.UnlockAfterRun();
    state.runBusy = false;
    state.stop = true;
    state.WakeWaiters();

    // Read only now: the end-action drop-down stays usable during a run.
    const int endAction = window.EndAction();
    if (exitAfterRun || endAction == kEndProgram) {
        window.StoreSettings();
        window.EndProgram();
    }
    // Independent of the above, so "-exec" with a shutdown stores the settings twice.
    if (endAction == kShutDown) {
        window.StoreSettings();
        if (Platform().shutdown) Platform().shutdown();
        window.EndProgram();
    }
}
