#include "runs/FileRun.h"

#include <algorithm>
#include <climits>

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/EarlierVersions.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "platform/FillSystem.h"
#include "platform/MountInfo.h"
#include "platform/NameJournal.h"
#include "platform/Platform.h"
#include "platform/TrashFolders.h"
#include "runs/FileRunContext.h"
#include "runs/FileRunOptions.h"
#include "runs/FileRunWalk.h"
#include "runs/FolderRows.h"
#include "runs/FreeSpaceAfter.h"
#include "runs/RunClock.h"
#include "runs/RunFrame.h"
#include "runs/RunReport.h"
#include "runs/RunState.h"
#include "runs/RunSummary.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

namespace {

// What a stop or a Cancel left untouched is in the report too.
void NoteRowsNotReached(FileRunContext& run) {
    RunWindow& window = run.window;
    RunState& state = run.state;
    ReportRecorder& report = run.report;
    const int i = run.i;
    const bool cancelled = run.cancelled;

    if (report.Active() && (state.stop || cancelled))
        for (int r = std::max(i, 0); r < window.RowCount(); ++r)
            if (window.RowChecked(r))
                report.NotReached(window.RowText(r, kPathColumn),
                                  u"[not reached: the run was stopped]");
}

// The sizes a trash lists for its folders must not name folders gone; a list
// that could not be brought in step leaves the run partly done.
void PruneTrashSizes(FileRunContext& run) {
    for (const fsys::Root& trash : run.state.trash.Trashes()) {
        if (fsys::PruneDirectorySizes({Utf8FromWide(trash.path), {}, trash.identity})) continue;
        run.window.AppendLog(SafeFormat(u"%sdirectorysizes [not updated]", {trash.path}));
        run.allDone = false;
    }
}

// The outcome, the status line and the warnings the run ends with; unless it
// was stopped, the folders that could not go yet are tried once more first.
// The drives shredded on whose free space keeps earlier versions of the files,
// when no fill of it follows: said in the log, with the drives.
void NoteEarlierVersions(FileRunContext& run) {
    if (run.touched.Devices().empty()) return;
    const ChosenFill drives = ChooseDrivesToFill(run.touched, ReadMountInfo());
    std::vector<DriveAfterShred> after(drives.roots.size());
    if (!EarlierVersionsRemain(after)) return;
    std::u16string roots;
    for (const std::u16string& root : drives.roots) roots += (roots.empty() ? u"" : u", ") + root;
    run.window.AppendLog(
        SafeFormat(run.window.MessageText("FrmMain.m_acMEarlierVersions"), {roots}));
}

void EndFileRunStatus(FileRunContext& run, bool fillFollows) {
    RunWindow& window = run.window;
    RunState& state = run.state;
    const bool& allDone = run.allDone;
    const bool cancelled = run.cancelled;

    // The clock runs to the real end, files finished after a Stop included.
    const std::u16string elapsed = WideFromUtf8(state.ElapsedText());
    std::u16string final;
    if (state.stop) {
        state.lastOutcome = RunOutcome::Interrupted;
        final = SafeFormat(u"%s (%s)",
                           {window.MessageText("FrmMain.m_acMShreddingInterrupted"), elapsed});
    } else {
        RetryWaitingFolders(run);
        // Rows never shredded after a Cancel at a question: partly done, on the
        // status line as in the exit status.
        final = SafeFormat(
            u"%s (%s)", {window.MessageText(allDone && !cancelled ? "FrmMain.m_acMShreddingDone"
                                                                  : "FrmMain.m_acMShreddingPartly"),
                         elapsed});
        state.lastOutcome = allDone && !cancelled ? RunOutcome::Done : RunOutcome::Partly;
    }
    // On btrfs this writes for a while: the status line says what it is doing.
    if (run.journals.HoldsBtrfs() && !state.stop)
        window.SetStatusText(window.MessageText("FrmMain.m_acMNamesMetadata"));
    for (const fsys::NameJournals::Outcome& j : run.journals.ClearAll(state.stop)) {
        if (!j.cleared) {
            const char* key = j.metadata ? "FrmMain.m_acMMetadataNotOverwritten"
                                         : "FrmMain.m_acMJournalNotCleared";
            window.AppendLog(SafeFormat(window.MessageText(key), {j.folder}));
            run.report.Caveat(key, u"", j.folder);
        }
    }
    if (!fillFollows) NoteEarlierVersions(run);
    if (run.withOtherNames > 0) {
        const std::u16string warning =
            SafeFormat(window.MessageText("FrmMain.m_acMOtherNames"), {run.withOtherNames});
        window.AppendLog(warning);
        final += u" " + warning;
    }
    if (run.permissionDenied > 0) {
        // Where to turn: the option that makes such files writable for the run.
        std::u16string option = window.MessageText("FrmOptions.m_CHKIgnoreWriteProtect");
        std::erase(option, u'&');
        const std::u16string hint = SafeFormat(window.MessageText("FrmMain.m_acMHintWriteProtect"),
                                               {run.permissionDenied, option});
        window.AppendLog(hint);
        final += u" " + hint;
    }
    window.SetStatusText(final);
    window.SetProgressPos(0);
}

}  // namespace

int32_t PassesFromText(const std::u16string& text) {
    int32_t n = ParseInt32(text);
    return n < 1 || n > 300 ? 3 : n;
}

void StartFileRun(WorkerThreads& threads, RunWindow& window, RunState& state) {
    state.stop = false;
    if (window.RowCount() == 0) {
        state.lastOutcome = RunOutcome::NothingToShred;
        window.ShowInfoMessage(window.MessageText("FrmMain.m_acMNoFile"));
        return;
    }
    state.startTime = Platform().now();
    state.runBusy = true;
    StartRunClock(threads, window, state);
    threads.Start([&window, &state] {
        RunFrame(window, state, state.exitAfterFileRun.load(), [&window, &state] {
            FileRunEnd end;
            ShredListedFiles(window, state, &end);
            // The end action waits for this too, as it is part of the run.
            if (end.freeSpaceAfter && !end.drives.Devices().empty())
                OverwriteFreeSpaceAfter(window, state, end.drives, state.lastOutcome.load());
        });
    });
}

void ShredListedFiles(RunWindow& window, RunState& state, FileRunEnd* end) {
    const RunOptions options = TakeOptions(window);
    const int total = window.RowCount();
    const TextLookup text = [&window](std::string_view key) { return window.MessageText(key); };
    const bool verify = options.settings.verifyLastPass;
    RunSummary summary = CollectRunSummary(window, options.passes, window.EndAction(), verify);
    summary.freeSpaceAfter = options.settings.freeSpaceAfter;
    summary.overwriteReserve = options.settings.overwriteReserve;
    summary.reserveOffered = !(FillSystem().mayUseRootReserve && FillSystem().mayUseRootReserve());
    const bool wanted = SummaryWanted(summary, options.settings);
    if ((wanted || !summary.groups.empty()) && !window.ShowRunSummary(summary, wanted)) {
        state.lastOutcome = RunOutcome::Partly;
        window.SetStatusText(text("FrmSummary.m_acMCancelled"));
        return;
    }

    // The summary's check box may have changed it.
    const bool freeSpaceAfter = window.CurrentSettings().freeSpaceAfter;
    // The time the summary stood asking is no part of the run.
    if (wanted) state.startTime = Platform().now();

    window.BeginRunLog();
    BeginRunReport(state, "files", options.settings, options.passes);
    window.AppendLogHeader(FileRunLogTitle(options.passes));
    for (const std::u16string& note : state.trash.TakeNotes()) window.AppendLog(note);
    for (const std::u16string& line : WarningLines(summary, text)) window.AppendLog(line);
    // The report says what the log says about old names, from the same decision.
    for (const RunSummary::NameNote& n : summary.names)
        state.report.Caveat(NamesKeptKey(n.kept), n.fsType, n.mountPoint);
    window.SetProgressRange(kProgressSteps);

    FileRunContext run(window, state, options, text, total, summary.bytes,
                       int64_t{summary.files} + summary.folders);
    WalkListedRows(run);
    NoteRowsNotReached(run);
    PruneTrashSizes(run);
    // A stop, or a Cancel at a question, ends everything.
    const bool fillFollows = freeSpaceAfter && !state.stop && !run.cancelled;
    EndFileRunStatus(run, fillFollows && end);
    if (end) *end = FileRunEnd{fillFollows, run.touched};
}
