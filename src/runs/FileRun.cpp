#include "runs/FileRun.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/ShredCheck.h"
#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "log/LogLines.h"
#include "platform/NameJournal.h"
#include "platform/Platform.h"
#include "platform/TrashFolders.h"
#include "runs/FilePoolChoice.h"
#include "runs/FreeSpaceAfter.h"
#include "runs/RunBatch.h"
#include "runs/RunClock.h"
#include "runs/RunFrame.h"
#include "runs/RunReport.h"
#include "runs/RunState.h"
#include "runs/RunSummary.h"
#include "runs/RunWindow.h"
#include "runs/ShredPool.h"
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
// the root each is confined to. A folder that its own row found gone leaves the
// list and its parent takes its place (the retry climbs from there, as it would
// have from the folder): on a run of a large tree the list keeps only what still
// waits, not every folder met.
class DeferredFolders {
  public:
    // `given`: a folder row's folder, not merely the one holding a file.
    void Add(const std::u16string& folder, const fsys::Root& root, bool given) {
        if (!index_.emplace(folder, waiting_.size()).second) return;
        waiting_.push_back({folder, root, given});
    }
    void Gone(const std::u16string& folder, const fsys::Root& root) {
        const auto it = index_.find(folder);
        if (it == index_.end()) return;
        waiting_[it->second].folder.clear();
        index_.erase(it);
        // "\\" is a name character here: only "/" separates.
        size_t end = folder.size();
        while (end > 1 && folder[end - 1] == u'/') --end;
        const size_t slash = folder.rfind(u'/', end - 1);
        // The parent was not given: it only held what was.
        if (slash != std::u16string::npos && slash > 0)
            Add(folder.substr(0, slash + 1), root, false);
        // Forgotten places are reused once they are most of the list.
        if (waiting_.size() >= 64 && index_.size() * 2 < waiting_.size()) Compact();
    }
    void RemoveAll(FileOps& ops) const {
        for (const Waiting& w : waiting_) {
            if (w.folder.empty()) continue;
            ops.ConfineTo(w.root);
            (void)ops.RemoveFolderChain(w.folder, w.given);
        }
    }

  private:
    struct Waiting {
        std::u16string folder;  // empty: forgotten
        fsys::Root root;
        bool given = false;
    };
    void Compact() {
        std::erase_if(waiting_, [](const Waiting& w) { return w.folder.empty(); });
        for (size_t i = 0; i < waiting_.size(); ++i) index_[waiting_[i].folder] = i;
    }
    std::vector<Waiting> waiting_;
    std::unordered_map<std::u16string, size_t> index_;
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

int Percent(int64_t done, int64_t all) {
    // Rows appended during the run can take the work done past the total taken
    // at the start.
    if (all <= 0) return 100;
    return static_cast<int>(std::min<int64_t>(100LL * done / all, 100));
}

// The progress bar counts this many steps per row, so that a large file moves
// it while its passes go on; a list too long for that counts rows.
constexpr int kStepsPerRow = 100;
// Files from this size on report their passes as they go.
constexpr int64_t kReportedBytes = 8 << 20;

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
            if (end.freeSpaceAfter && !end.devices.empty())
                OverwriteFreeSpaceAfter(window, state, end.devices, state.lastOutcome.load());
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
    const bool wanted = SummaryWanted(summary, options.settings);
    if ((wanted || !summary.groups.empty()) && !window.ShowRunSummary(summary, wanted)) {
        state.lastOutcome = RunOutcome::Partly;
        window.SetStatusText(text("FrmSummary.m_acMCancelled"));
        return;
    }

    // The summary's check box may have changed it.
    const bool freeSpaceAfter = window.CurrentSettings().freeSpaceAfter;
    TouchedDrives touched;

    window.BeginRunLog();
    BeginRunReport(state, "files", options.settings, options.passes);
    ReportRecorder& report = state.report;
    window.AppendLogHeader(FileRunLogTitle(options.passes));
    for (const std::u16string& note : state.trash.TakeNotes()) window.AppendLog(note);
    for (const std::u16string& line : WarningLines(summary, text)) window.AppendLog(line);
    const int steps = total <= INT_MAX / kStepsPerRow ? kStepsPerRow : 1;
    window.SetProgressRange(total * steps);

    const std::u16string shredding = window.MessageText("FrmMain.m_acMShredding");
    const std::u16string stopping = window.MessageText("FrmMain.m_acMStopping");
    // "Shredding [k / total - share done %]: path"; the share counts the steps done.
    auto statusLine = [&](int k, int64_t stepsDone, const std::u16string& path) {
        return SafeFormat(u"%s [%d / %d - %d %c]: %s",
                          {shredding, k, total,
                           Percent(stepsDone, static_cast<int64_t>(total) * steps), u'%', path});
    };
    int k = 0;
    int answer = kAnswerYes;
    bool yesToAll = false;
    bool allDone = true;
    bool cancelled = false;
    int withOtherNames = 0;  // files whose data other names shared
    DeferredFolders deferred;
    std::set<std::u16string> waitingFolderRows;  // folder rows left for the final retry
    FileOps ops;
    ops.KeepFolders(state.trash.Kept());
    ops.ScrambleFolderNames(options.file.shredNames);
    // Where names were scrambled on ext4, the journal keeps copies of the old
    // ones until it is cleared at the end.
    fsys::NameJournals journals;
    const bool clearJournals = options.file.shredNames && fsys::MayCheckpointJournals();
    const FileJobSettings jobSettings{options.passes, options.file, verify, options.ignoreProtect,
                                      report.Active()};

    // Rows appended meanwhile are visited (the batch asks the window again at the
    // end of what it read), and a finished row leaves the list, so the index steps
    // back over it.
    RunBatch batch(window);

    // The outcome of a file row, dealt with in list order; `row` is its index now.
    // True when the row left the list.
    auto finishFile = [&](FileJob& job, int row) {
        touched.Add(job.report.device);
        if (job.ok) {
            if (clearJournals)
                journals.Note(job.root.path.empty() ? FolderOfPath(job.path) : job.root.path);
            if (!options.keepFolders) {
                const std::u16string folder = FolderOfPath(job.path);
                ops.ConfineTo(job.root);
                if (!ops.RemoveFolderChain(folder, false)) deferred.Add(folder, job.root, false);
            }
            if (job.report.otherNames > 0) ++withOtherNames;
            batch.DeleteRow(row);
            std::u16string done = DoneText(job.report.otherNames);
            done.insert(done.size() - 1, VerifiedNote(&job.check, text));
            report.FileEnded(job.path, true, job.report.otherNames, verify ? &job.check : nullptr,
                             done, job.seen ? &job.seenAttr : nullptr, &job.seenFacts);
            batch.AppendLog(SafeFormat(u"%s %s", {job.path, done}));
            return true;
        }
        allDone = false;
        batch.Flush();
        // The row follows the file to its scrambled name, where a later run finds it.
        if (job.report.path != job.path) {
            window.SetRowText(row, kPathColumn, job.report.path);
            window.SetRowText(row, kNameColumn, FileNameOfPath(job.report.path));
        }
        const ShredCheck* check = verify ? &job.check : nullptr;
        // The log line of the entry; with an empty path, what the report keeps.
        auto lineOf = [&](const std::u16string& path) {
            if (!job.report.refused.empty())
                return SafeFormat(u"%s [NOT SHREDDED: %s]", {path, job.report.refused});
            return job.report.folderChanged
                       ? LogFolderChangedLine(path)
                       : ShredLogLine(path, false, check, text, job.report.error);
        };
        const std::u16string line = lineOf(job.report.refused.empty() ? job.report.path : job.path);
        // The list tells why, in the words the log uses.
        const size_t why = line.rfind(u" [FAILED");
        if (why != std::u16string::npos)
            window.SetRowFailure(row, line.substr(why + 2, line.size() - why - 3));
        batch.AppendLog(line);
        report.FileEnded(job.path, false, job.report.otherNames, check, lineOf(u""),
                         job.seen ? &job.seenAttr : nullptr, &job.seenFacts);
        return false;
    };

    // Small files go to the pool while nothing is asked before each; the rows
    // handed to it, with their indexes as they stand now.
    std::unique_ptr<ShredPool> pool;
    PoolPlaces poolPlaces;
    const PoolSetting filesAtOnce = FilesAtOnce();
    bool poolFailed = false;
    struct Handed {
        std::shared_ptr<FileJob> job;
        int row;
        int64_t bytes;
    };
    int64_t handedBytes = 0;
    std::deque<Handed> handed;
    int i = 0;
    auto finishFirstHanded = [&] {
        Handed h = std::move(handed.front());
        handed.pop_front();
        handedBytes -= h.bytes;
        pool->Wait(h.job);
        state.filesUnderWay = static_cast<int>(handed.size());
        if (!finishFile(*h.job, h.row)) return;
        for (Handed& later : handed) --later.row;
        --i;
    };
    auto finishHanded = [&] {
        while (!handed.empty()) {
            // After Stop the window says what the run still waits for.
            if (state.stop) {
                batch.SetStatusText(SafeFormat(stopping, {static_cast<int>(handed.size())}));
                batch.Flush();
            }
            finishFirstHanded();
        }
    };

    RunRow row;
    for (; batch.Row(i, row); ++i) {
        batch.SetProgressPos(k * steps);
        ++k;
        if (state.stop) break;
        if (!row.checked) continue;

        const std::u16string path = row.path;
        const std::u16string kind = row.kind;
        const bool folderRow = kind == kFolderMarker;
        // Everything done to this entry stays below the folder the user chose.
        const fsys::Root root = state.chosenRoots.RootOf(path);
        const int64_t poolSize =
            filesAtOnce.files > 1 && !batch.ConfirmChecked() && kind != kNotListedMarker &&
                    !folderRow
                ? PoolSize(options.ignoreProtect,
                           options.file.shredNames && !options.file.shredValue.empty(), row.size)
                : -1;
        bool pooled =
            poolSize >= 0 && !poolFailed && (filesAtOnce.chosen || poolPlaces.Pays(root, path));
        if (pooled && !pool) {
            pool = std::make_unique<ShredPool>(filesAtOnce.files, jobSettings);
            // No thread to be had: one file at a time, as without the pool.
            if (pool->Threads() == 0) {
                pool.reset();
                poolFailed = true;
                pooled = false;
            }
        }
        // Whatever is done to this row comes after everything before it.
        if (!pooled) finishHanded();
        if (kind == kNotListedMarker) {
            // Met by the folder walk but never listed: nothing of it is shredded.
            allDone = false;
            batch.Flush();  // the window's rows as the batch sees them
            const std::u16string reason = window.RowText(i, kSizeColumn);
            batch.AppendLog(SafeFormat(u"%s [NOT SHREDDED: %s]", {path, reason}));
            report.EntryEnded(path, false, SafeFormat(u"[NOT SHREDDED: %s]", {reason}));
            continue;
        }

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

        batch.SetStatusText(statusLine(k, static_cast<int64_t>(k - 1) * steps, path));
        batch.Flush();  // the window names the entry while it is worked on

        if (pooled) {
            while (!handed.empty() &&
                   (handed.size() >= kPoolQueuePerThread * static_cast<size_t>(filesAtOnce.files) ||
                    handedBytes + poolSize > kPoolMaxHandedBytes))
                finishFirstHanded();
            report.BeginFile(path);
            auto job = std::make_shared<FileJob>();
            job->path = path;
            job->root = root;
            job->deviceChosen = state.chosenRoots.IsChosenDevice(path);
            // Counted before the pool can begin it, so a Stop meanwhile sees it.
            state.filesUnderWay = static_cast<int>(handed.size()) + 1;
            pool->Submit(job);
            handed.push_back({std::move(job), i, poolSize});
            handedBytes += poolSize;
            continue;
        }

        if (folderRow)
            report.AddEntry(path, true);
        else
            report.BeginFile(path);
        if (folderRow && !options.keepFolders) {
            ops.ConfineTo(root);
            // Listed before it became one (a mount since), or never checked.
            if (const std::u16string why = ops.RefusedPlace(path); !why.empty()) {
                allDone = false;
                batch.AppendLog(SafeFormat(u"%s [NOT SHREDDED: %s]", {path, why}));
                continue;
            }
            if (options.ignoreProtect) {
                (void)ops.MakeWritable(path);
                (void)ops.UnlockHoldingFolder(path);
            }
            const bool removed = ops.RemoveFolderChain(path);
            ops.RelockHoldingFolder();
            const FolderNow now = removed ? FolderNow::kGone : LookAtFolder(root, path);
            if (removed) {
                deferred.Gone(path, root);
                batch.DeleteRow(i--);
                batch.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
                report.EntryEnded(path, true, u"[FOLDER, removed]");
            } else if (now == FolderNow::kGone) {
                // Already gone, usually as the emptied parent of an earlier file.
                deferred.Gone(path, root);
                batch.DeleteRow(i--);
                report.EntryEnded(path, true, u"[FOLDER, removed]");
            } else if (now == FolderNow::kChanged) {
                allDone = false;
                batch.AppendLog(LogFolderChangedLine(path));
                report.EntryEnded(path, false, LogFolderChangedLine(u""));
            } else {
                deferred.Add(path, root, true);
                waitingFolderRows.insert(path);
            }
            continue;
        }

        FileJob job;
        job.path = path;
        job.root = root;
        job.folderRow = folderRow;
        job.deviceChosen = state.chosenRoots.IsChosenDevice(path);
        state.filesUnderWay = 1;
        if (ListedBytes(row.size) >= kReportedBytes) {
            // A large file moves the bar and the share done with its passes.
            FileJobSettings reported = jobSettings;
            const int base = (k - 1) * steps;
            int shown = base;
            reported.file.progress = [&, base](int64_t done, int64_t all) {
                if (all <= 0) return;
                const int at = base + static_cast<int>(std::min<int64_t>(done, all) * steps / all);
                if (at == shown) return;  // at most one visit to the window per step
                shown = at;
                window.SetProgressPos(at);
                window.SetStatusText(statusLine(k, at, path));
            };
            RunFileJob(ops, reported, job);
        } else {
            RunFileJob(ops, jobSettings, job);
        }
        state.filesUnderWay = 0;
        if (finishFile(job, i)) --i;
    }
    finishHanded();
    pool.reset();
    state.filesUnderWay = 0;
    batch.Flush();
    // What a stop or a Cancel left untouched is in the report too.
    if (report.Active() && (state.stop || cancelled))
        for (int r = std::max(i, 0); r < window.RowCount(); ++r)
            if (window.RowChecked(r))
                report.NotReached(window.RowText(r, kPathColumn),
                                  u"[not reached: the run was stopped]");

    // The sizes a trash lists for its folders must not name folders gone; a list
    // that could not be brought in step leaves the run partly done.
    for (const fsys::Root& trash : state.trash.Trashes()) {
        if (fsys::PruneDirectorySizes({Utf8FromWide(trash.path), {}, trash.identity})) continue;
        window.AppendLog(SafeFormat(u"%sdirectorysizes [not updated]", {trash.path}));
        allDone = false;
    }
    // The clock runs to the real end, files finished after a Stop included.
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
        for (int r = 0; r < window.RowCount(); ++r) {
            if (window.RowText(r, kKindColumn) != kFolderMarker) continue;
            const std::u16string path = window.RowText(r, kPathColumn);
            if (waitingFolderRows.count(path) == 0) continue;
            const FolderNow now = LookAtFolder(state.chosenRoots.RootOf(path), path);
            if (now == FolderNow::kGone) {
                window.DeleteRow(r--);
                window.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
                report.EntryEnded(path, true, u"[FOLDER, removed]");
            } else {
                allDone = false;
                window.AppendLog(SafeFormat(u"%s [FOLDER, not removed]", {path}));
                report.EntryEnded(path, false, u"[FOLDER, not removed]");
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
    for (const fsys::NameJournals::Outcome& j : journals.ClearAll()) {
        if (!j.cleared)
            window.AppendLog(
                SafeFormat(window.MessageText("FrmMain.m_acMJournalNotCleared"), {j.folder}));
    }
    if (withOtherNames > 0) {
        const std::u16string warning =
            SafeFormat(window.MessageText("FrmMain.m_acMOtherNames"), {withOtherNames});
        window.AppendLog(warning);
        final += u" " + warning;
    }
    window.SetStatusText(final);
    window.SetProgressPos(0);
    // A stop, or a Cancel at a question, ends everything.
    if (end) *end = FileRunEnd{freeSpaceAfter && !state.stop && !cancelled, touched.Devices()};
}
