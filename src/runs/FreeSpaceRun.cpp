#include "runs/FreeSpaceRun.h"

#include <memory>

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/FillDrive.h"
#include "engine/FillerRecovery.h"
#include "helper/HelperClient.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "platform/BoundedCall.h"
#include "platform/FillSystem.h"
#include "platform/Platform.h"
#include "platform/Volumes.h"
#include "runs/FillOutcomeText.h"
#include "runs/FillerStartup.h"
#include "runs/FreeSpaceProgress.h"
#include "runs/RunClock.h"
#include "runs/RunFrame.h"
#include "runs/RunReport.h"
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

// A drive whose server went away (or whose FUSE daemon hangs) would hold the run,
// and an unattended start, for ever in its first call: such a drive fails here.
// One that dies later in its fill is not caught by this.
bool DriveAnswers(const std::u16string& root) {
    return bounded::RunWithin([root] { (void)QueryDriveSpace(root); });
}

}  // namespace

void RunFreeSpace(RunWindow& window, RunState& state) {
    window.BeginRunLog();
    FillDrivesOfTable(window, state, nullptr);
}

void FillDrivesOfTable(RunWindow& window, RunState& state, const AfterFileRun* after) {
    const AppSettings settings = window.CurrentSettings();
    const int iterations = IterationsFrom(window.IterationsText());
    SeedThreadRandom(static_cast<uint32_t>(Platform().now()));

    // Drives filled after a file run belong to that run's report.
    if (!after) BeginRunReport(state, "free-space", settings, iterations);
    window.AppendLogHeader(FreeSpaceRunLogTitle(iterations));
    if (after)
        for (const std::u16string& line : after->lines) window.AppendLog(line);

    FillParams params = FillParamsFrom(settings, iterations);
    if (!state.storageFolder.empty()) {
        params.recordFile = FillRecordPath(state.storageFolder);
        // What an interrupted run left (and its record proves ours) would keep
        // its space from this one.
        for (const std::u16string& line :
             RecoverFillersAtStart(state.storageFolder, settings).logLines)
            window.AppendLog(line);
    }
    bool anyFailed = after && (after->anyFailed || after->fileOutcome != RunOutcome::Done);
    bool filesLeft = false;
    uint64_t notReached = 0, keptBack = 0, reserveWritten = 0;
    {
        // One helper for the run, started at the first drive that keeps blocks
        // back for root: the password is asked once, and only where it helps.
        std::unique_ptr<helper::HelperReserveFiller> reserveFiller;
        if (settings.overwriteReserve &&
            !(FillSystem().mayUseRootReserve && FillSystem().mayUseRootReserve())) {
            reserveFiller = std::make_unique<helper::HelperReserveFiller>();
            params.reserveFiller = reserveFiller.get();
        }
        FillRun run(params);
        FreeSpaceProgress progress(window);
        const FillNotifications notify = progress.Notifications();
        for (int j = 0; j < state.drivesTable.RowCount(); ++j) {
            const std::u16string root = WideFromUtf8(state.drivesTable.GetCell(0, j));
            if (!DriveAnswers(root)) {
                window.AppendLog(
                    SafeFormat(std::u16string_view(u"%s [FAILED!] not answering"), {root}));
                state.report.DriveFailed(root, u"[FAILED!] not answering");
                anyFailed = true;
                continue;
            }
            // A folder below a mount point fills the whole drive holding it: its
            // first line names that drive, in the log and in the report.
            if (const std::u16string drive = DriveOfFolderLine(root); !drive.empty())
                window.AppendLog(drive);
            // After a file run, only the file system its files were on.
            params.device = after && static_cast<size_t>(j) < after->devices.size()
                                ? after->devices[static_cast<size_t>(j)]
                                : 0;
            const FillOutcome outcome = FillDrive(root, params, run, notify, state.stop);
            const std::u16string line = FillOutcomeLine(root, outcome);
            window.AppendLog(line);
            state.report.DriveEnded(root, outcome, line.substr(std::min(line.size(), root.size())));
            filesLeft = filesLeft || outcome.filesLeft > 0;
            anyFailed = anyFailed || !outcome.Ok() || outcome.filesLeft > 0;
            keptBack += outcome.keptBack.bytes + outcome.leftUnwritten;
            notReached += outcome.reserveNotReached;
            reserveWritten += outcome.reserveWritten;
            if (state.stop.load()) break;
        }
    }
    // Files that could not be deleted stay recorded, for the next start to find.
    if (!params.recordFile.empty() && !filesLeft) ClearFillRecord(params.recordFile);

    const bool interrupted = state.stop.load();
    state.lastOutcome = interrupted ? RunOutcome::Interrupted
                        : anyFailed ? RunOutcome::Partly
                                    : RunOutcome::Done;
    const std::u16string result =
        window.MessageText(interrupted ? "FrmMain.m_acMShreddingInterrupted"
                           : anyFailed ? "FrmMain.m_acMShreddingPartly"
                                       : "FrmMain.m_acMShreddingDone");
    std::u16string details = WideFromUtf8(state.ElapsedText());
    // Space a user's run could not reach was not overwritten: the status line
    // says so, not only the log.
    if (notReached > 0)
        details +=
            u", " + SafeFormat(window.MessageText("FrmMain.m_acMReserveNotReached"),
                               {WideFromUtf8(std::to_string((notReached + 1048575) / 1048576))});
    else if (reserveWritten > 0)
        details += u", " + SafeFormat(window.MessageText("FrmMain.m_acMReserveReached"),
                                      {WideFromUtf8(std::to_string(reserveWritten / 1048576))});
    if (keptBack > 0)
        details +=
            u", " + SafeFormat(window.MessageText("FrmMain.m_acMKeptBackNotReached"),
                               {WideFromUtf8(std::to_string((keptBack + 1048575) / 1048576))});
    window.SetStatusText(SafeFormat(std::u16string_view(u"%s (%s)"), {result, details}));
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
    state.runBusy = true;
    StartRunClock(threads, window, state);
    threads.Start([&window, &state] {
        RunFrame(window, state, state.exitAfterFreeSpaceRun.load(),
                 [&window, &state] { RunFreeSpace(window, state); });
    });
    return true;
}
