#include "runs/FileRun.h"

#include <algorithm>
#include <set>
#include <vector>

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/ShredCheck.h"
#include "filelist/FileListOps.h"
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

constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kKindColumn = 2;
constexpr int kPathColumn = 3;

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

// The folders that could not be removed yet, each once, in the order met, with
// the root each is confined to.
class DeferredFolders {
  public:
    DeferredFolders() { table_.SetSize(1, 0); }
    void Add(const std::u16string& folder, const fsys::Root& root) {
        std::string utf8 = Utf8FromWide(folder);
        if (table_.Find(0, utf8) >= 0) return;
        table_.AppendRow(utf8);
        roots_.push_back(root);
    }
    void RemoveAll(FileOps& ops) const {
        for (int r = 0; r < table_.RowCount(); ++r) {
            ops.ConfineTo(roots_[static_cast<size_t>(r)]);
            (void)ops.RemoveFolderChain(WideFromUtf8(table_.GetCell(0, r)));
        }
    }

  private:
    StringTable table_;
    std::vector<fsys::Root> roots_;
};

enum class FolderNow { kGone, kThere, kChanged };

// A folder row's folder as it is now. One whose path leads through a link, or
// that turned into another kind of entry, is not the folder that was listed.
FolderNow LookAtFolder(const fsys::Root& root, const std::u16string& path) {
    fsys::Place place;
    switch (fsys::Locate(root, path, place)) {
        case fsys::LocateResult::kFound:
            break;
        case fsys::LocateResult::kMissing:
            return FolderNow::kGone;
        default:
            return FolderNow::kChanged;
    }
    fsys::Attributes attr;
    if (fsys::GetAttributes(place, attr)) {
        return attr.kind == fsys::Kind::kFolder ? FolderNow::kThere : FolderNow::kChanged;
    }
    return attr.kind == fsys::Kind::kMissing ? FolderNow::kGone : FolderNow::kChanged;
}

std::u16string DoneText(uint64_t otherNames) {
    if (otherNames == 0) return u"[done]";
    return SafeFormat(u"[done, %d other %s]",
                      {static_cast<int>(std::min<uint64_t>(otherNames, 1u << 30)),
                       std::u16string(otherNames == 1 ? u"name" : u"names")});
}

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
    int withOtherNames = 0;  // files whose data other names shared
    DeferredFolders deferred;
    std::set<std::u16string> waitingFolderRows;  // folder rows left for the final retry
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

        const std::u16string path = row.path;
        const std::u16string kind = row.kind;
        if (kind == kNotListedMarker) {
            // Met by the folder walk but never listed: nothing of it is shredded.
            allDone = false;
            batch.Flush();  // the window's rows as the batch sees them
            batch.AppendLog(
                SafeFormat(u"%s [NOT SHREDDED: %s]", {path, window.RowText(i, kSizeColumn)}));
            continue;
        }
        const bool folderRow = kind == kFolderMarker;

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
        batch.Flush();  // the window names the entry while it is worked on
        // Everything done to this entry stays below the folder the user chose.
        const fsys::Root root = state.chosenRoots.RootOf(path);
        ops.ConfineTo(root);
        if (options.ignoreProtect) {
            (void)ops.MakeWritable(path);
            // Renaming and removing need the holding folder writable too.
            (void)ops.UnlockHoldingFolder(path);
        }

        if (folderRow && !options.keepFolders) {
            const bool removed = ops.RemoveFolderChain(path);
            ops.RelockHoldingFolder();
            const FolderNow now = removed ? FolderNow::kGone : LookAtFolder(root, path);
            if (removed) {
                batch.DeleteRow(i--);
                batch.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
            } else if (now == FolderNow::kGone) {
                // Already gone, usually as the emptied parent of an earlier file.
                batch.DeleteRow(i--);
            } else if (now == FolderNow::kChanged) {
                allDone = false;
                batch.AppendLog(SafeFormat(u"%s [FAILED!]", {path}));
            } else {
                deferred.Add(path, root);
                waitingFolderRows.insert(path);
            }
            continue;
        }

        ShredFileOptions file = options.file;
        file.path = path;
        ShredCheck check;
        if (verify) file.check = &check;
        bool ok = ops.ShredFile(options.passes, file);
        ops.RelockHoldingFolder();
        const ShredReport& report = ops.LastShred();
        // A file row that names a folder now is not the entry that was listed.
        if (report.wasFolder && !folderRow) ok = false;
        if (ok) {
            if (!options.keepFolders) {
                const std::u16string folder = FolderOfPath(path);
                if (!ops.RemoveFolderChain(folder)) deferred.Add(folder, root);
            }
            if (report.otherNames > 0) ++withOtherNames;
            batch.DeleteRow(i--);
            std::u16string done = DoneText(report.otherNames);
            if (check.passed()) done.insert(done.size() - 1, u", verified");
            batch.AppendLog(SafeFormat(u"%s %s", {path, done}));
        } else {
            allDone = false;
            // The row follows the file to its scrambled name, where a later run finds it.
            if (report.path != path) {
                batch.Flush();
                window.SetRowText(i, kPathColumn, report.path);
                window.SetRowText(i, kNameColumn, FileNameOfPath(report.path));
            }
            batch.AppendLog(ShredLogLine(report.path, false, file.check, text));
        }
    }
    batch.Flush();

    const std::u16string elapsed = WideFromUtf8(state.ElapsedText());
    std::u16string final;
    if (state.stop) {
        state.lastOutcome = RunOutcome::Interrupted;
        final = SafeFormat(u"%s (%s)",
                           {window.MessageText("FrmMain.m_acMShreddingInterrupted"), elapsed});
    } else {
        deferred.RemoveAll(ops);
        // Folder rows whose folder went in the retry leave the list; the others
        // stay, still in use (or a mount point or one of the user's own folders).
        for (int i = 0; i < window.RowCount(); ++i) {
            if (window.RowText(i, kKindColumn) != kFolderMarker) continue;
            const std::u16string path = window.RowText(i, kPathColumn);
            if (waitingFolderRows.count(path) == 0) continue;
            const FolderNow now = LookAtFolder(state.chosenRoots.RootOf(path), path);
            if (now == FolderNow::kGone) {
                window.DeleteRow(i--);
                window.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
            } else {
                allDone = false;
                window.AppendLog(SafeFormat(u"%s [FOLDER, not removed]", {path}));
            }
        }
        // Rows never shredded after a Cancel at a question: partly done, on the
        // status line as in the exit status.
        final = SafeFormat(
            u"%s (%s)", {window.MessageText(allDone && !cancelled ? "FrmMain.m_acMShreddingDone"
                                                                  : "FrmMain.m_acMShreddingPartly"),
                         elapsed});
        state.lastOutcome = allDone && !cancelled ? RunOutcome::Done : RunOutcome::Partly;
    }
    if (withOtherNames > 0) {
        const std::u16string warning =
            SafeFormat(window.MessageText("FrmMain.m_acMOtherNames"), {withOtherNames});
        window.AppendLog(warning);
        final += u" " + warning;
    }
    window.SetStatusText(final);
    window.SetProgressPos(0);
}
