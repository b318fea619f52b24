#include "runs/FreeSpaceRun.h"

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/FillDrive.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "platform/Platform.h"
#include "runs/FreeSpaceProgress.h"
#include "runs/RunClock.h"
#include "runs/RunFrame.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

namespace {

constexpr int kDefaultIterations = 3;
constexpr int kMaxIterations = 300;

int IterationsFrom(const std::u16string& text) {
    const int32_t n = ParseInt32(text);
    return n < 1 || n > kMaxIterations ? kDefaultIterations : n;
}

FillParams FillParamsFrom(const AppSettings& settings, int iterations) {
    FillParams p;
    p.blockSize = settings.diskShredBlockSize;
    p.fileSizeLimit = settings.diskShredFileSize;
    p.tempName = WideFromUtf8(settings.diskShredFileName);
    p.leaveFiles = settings.diskShredLeaveFiles;
    p.random = settings.random != 0;
    if (!p.random) p.shredValue = WideFromUtf8(settings.shredValue);
    p.iterations = iterations;
    return p;
}

}  // namespace

void RunFreeSpace(RunWindow& window, RunState& state) {
    const AppSettings settings = window.CurrentSettings();
    const int iterations = IterationsFrom(window.IterationsText());
    SeedThreadRandom(static_cast<uint32_t>(Platform().now()));

    window.BeginRunLog();
    window.AppendLogHeader(FreeSpaceRunLogTitle(iterations));

    const FillParams params = FillParamsFrom(settings, iterations);
    {
        FillRun run(params);
        FreeSpaceProgress progress(window);
        const FillNotifications notify = progress.Notifications();
        for (int j = 0; j < state.drivesTable.RowCount(); ++j) {
            FillDrive(WideFromUtf8(state.drivesTable.GetCell(0, j)), params, run, notify,
                      state.stop);
            if (state.stop.load()) break;
        }
    }

    const bool interrupted = state.stop.load();
    state.lastOutcome = interrupted ? RunOutcome::Interrupted : RunOutcome::Done;
    const std::u16string result = window.MessageText(
        interrupted ? "FrmMain.m_acMShreddingInterrupted" : "FrmMain.m_acMShreddingDone");
    window.SetStatusText(
        SafeFormat(std::u16string_view(u"%s (%s)"), {result, WideFromUtf8(state.ElapsedText())}));
    window.SetProgressPos(0);
}

bool StartFreeSpaceRun(WorkerThreads& threads, RunWindow& window, RunState& state,
                       const std::function<bool()>& chooseDrives) {
    const bool wasStopped = state.stop.exchange(false);
    if (!state.exitAfterFreeSpaceRun.load() && chooseDrives && !chooseDrives()) {
        // Nothing runs after a Cancel, so the window stays as idle as it was.
        state.stop = wasStopped;
        return false;
    }
    state.startTime = Platform().now();
    // A run that ends before the clock's first tick must not report the time of
    // the run before it.
    state.SetElapsedText(Utf8FromWide(ClockTimeText(0)));
    StartRunClock(threads, window, state);
    threads.Start([&window, &state] {
        RunFrame(window, state, state.exitAfterFreeSpaceRun.load(),
                 [&window, &state] { RunFreeSpace(window, state); });
    });
    return true;
}
