#include "runs/FileRun.h"

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/ShredCheck.h"
#include "filelist/StringTable.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "platform/Platform.h"
#include "runs/RunBatch.h"
#include "runs/RunClock.h"
#include "runs/RunFrame.h"
#include "runs/RunState.h"
#include "runs/RunSummary.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

namespace {

// What the run takes from the window once, when it starts; the controls stay
// disabled until it ends.
struct RunOptions {
    int32_t passes = 3;
    ShredFileOptions file;
    bool keepFolders = false;
    bool ignoreProtect = false;
    AppSettings settings;
};

RunOptions TakeOptions(RunWindow& window) {
    const AppSettings s = window.CurrentSettings();
    RunOptions o;
    o.passes = PassesFromText(window.IterationsText());
    // An empty value setting means random data as well.
    o.file.shredValue = s.random != 0 ? std::u16string() : WideFromUtf8(s.shredValue);
    o.file.shredNames = s.shredNames != 0;
    o.file.modifySize = s.modifySize != 0;
    o.file.sizeToZero = s.modifySizeType == 0;
    o.file.blockSize = s.shredBlockSize;
    o.file.deleteAfter = !s.fileShredLeaveFiles;
    o.keepFolders = s.fileShredFileShred;
    o.ignoreProtect = s.ignoreProtect;
    o.settings = s;
    return o;
}

// The folders that could not be removed yet, each once, in the order met.
class DeferredFolders {
  public:
    DeferredFolders() { table_.SetSize(1, 0); }
    void Add(const std::u16string& folder) {
        std::string utf8 = Utf8FromWide(folder);
        if (table_.Find(0, utf8) < 0) table_.AppendRow(utf8);
    }
    void RemoveAll(FileOps& ops) const {
        for (int r = 0; r < table_.RowCount(); ++r)
            (void)ops.RemoveFolderChain(WideFromUtf8(table_.GetCell(0, r)));
    }

  private:
    StringTable table_;
};

int Percent(int k, int total) {
    // Rows appended during the run can take k past the total taken at the start.
    if (total <= 0) return 100;
    return static_cast<int>(100LL * k / total);
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
    StartRunClock(threads, window, state);
    threads.Start([&window, &state] {
        RunFrame(window, state, state.exitAfterFileRun.load(),
                 [&window, &state] { ShredListedFiles(window, state); });
    });
}

void ShredListedFiles(RunWindow& window, RunState& state) {
    const RunOptions options = TakeOptions(window);
    const int total = window.RowCount();
    const TextLookup text = [&window](std::string_view key) { return window.MessageText(key); };
    const bool verify = options.settings.verifyLastPass;
    const RunSummary summary =
        CollectRunSummary(window, options.passes, window.EndAction(), verify);
    const bool wanted = SummaryWanted(summary, options.settings);
    if ((wanted || !summary.groups.empty()) && !window.ShowRunSummary(summary, wanted)) {
        state.lastOutcome = RunOutcome::Partly;
        window.SetStatusText(text("FrmSummary.m_acMCancelled"));
        return;
    }

    window.BeginRunLog();
    window.AppendLogHeader(FileRunLogTitle(options.passes));
    for (const std::u16string& line : WarningLines(summary, text)) window.AppendLog(line);
    window.SetProgressRange(total);

    const std::u16string shredding = window.MessageText("FrmMain.m_acMShredding");
    int k = 0;
    int answer = kAnswerYes;
    bool yesToAll = false;
    bool allDone = true;
    bool cancelled = false;
    DeferredFolders deferred;
    FileOps ops;

    // Rows appended meanwhile are visited (the batch asks the window again at the
    // end of what it read), and a finished row leaves the list, so the index steps
    // back over it.
    RunBatch batch(window);
    RunRow row;
    for (int i = 0; batch.Row(i, row); ++i) {
        batch.SetProgressPos(k);
        ++k;
        if (state.stop) break;
        if (!row.checked) continue;

        const std::u16string& path = row.path;
        const std::u16string& kind = row.kind;

        if (batch.ConfirmChecked() && !yesToAll) {
            batch.Flush();  // the question comes after everything done before it
            answer = window.AskConfirmation(
                SafeFormat(window.MessageText("FrmMain.m_acMDeleteFile"), {path}));
            if (answer == kAnswerCancel) {
                cancelled = true;
                break;
            }
            if (answer == kAnswerNo) continue;
            if (answer == kAnswerYesToAll) {
                answer = kAnswerYes;
                yesToAll = true;
            }
        }
        if (answer != kAnswerYes && !yesToAll) continue;

        batch.SetStatusText(SafeFormat(u"%s [%d / %d - %d %c]: %s",
                                       {shredding, k, total, Percent(k, total), u'%', path}));
        batch.Flush();  // the window names the entry before it is worked on
        if (options.ignoreProtect) (void)ops.MakeWritable(path);

        if (kind == u"FOLDER" && !options.keepFolders) {
            if (ops.RemoveFolderChain(path)) {
                batch.DeleteRow(i--);
                batch.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
            } else if (!ops.IsFolder(path)) {
                // Already gone, usually as the emptied parent of an earlier file.
                batch.DeleteRow(i--);
            } else {
                allDone = false;
                deferred.Add(path);
            }
            continue;
        }

        ShredFileOptions file = options.file;
        file.path = path;
        ShredCheck check;
        if (verify) file.check = &check;
        const bool shredded = ops.ShredFile(options.passes, file);
        if (shredded) {
            if (!options.keepFolders) {
                const std::u16string folder = FolderOfPath(path);
                if (!ops.RemoveFolderChain(folder)) deferred.Add(folder);
            }
            batch.DeleteRow(i--);
        } else {
            allDone = false;
        }
        batch.AppendLog(ShredLogLine(path, shredded, file.check, text));
    }
    batch.Flush();

    const std::u16string elapsed = WideFromUtf8(state.ElapsedText());
    std::u16string final;
    if (state.stop) {
        state.lastOutcome = RunOutcome::Interrupted;
        final = SafeFormat(u"%s (%s)",
                           {window.MessageText("FrmMain.m_acMShreddingInterrupted"), elapsed});
    } else {
        final =
            SafeFormat(u"%s (%s)", {window.MessageText(allDone ? "FrmMain.m_acMShreddingDone"
                                                               : "FrmMain.m_acMShreddingPartly"),
                                    elapsed});
        deferred.RemoveAll(ops);
        // A run cancelled at a question shows the done text, but the rows after it
        // were never shredded: a script must not take that for success.
        state.lastOutcome = allDone && !cancelled ? RunOutcome::Done : RunOutcome::Partly;
    }
    window.SetStatusText(final);
    window.SetProgressPos(0);
}
