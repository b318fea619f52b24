#include "runs/FileRun.h"

#include <linux/magic.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
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
#include "platform/TrashFolders.h"
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

// The pool: files at once. The run hands it at most two rows per file under way,
// and at most kPoolMaxHandedBytes as listed: what is handed over is finished
// after a Stop too, so it must not take long.
// KELVANE_FILES_AT_ONCE (1 to 16) sets the number, for measuring; 1 is no pool.
constexpr int kPoolThreads = 8;
constexpr size_t kPoolQueuePerThread = 2;
// Larger files are bound by the device's throughput, which files at once do not
// raise: they are shredded one at a time.
constexpr int64_t kPoolMaxBytes = 1 << 20;
constexpr int64_t kPoolMaxHandedBytes = 4 * kPoolMaxBytes;

struct PoolSetting {
    int files = kPoolThreads;
    bool chosen = false;  // set in the environment: used on any file system
};

PoolSetting FilesAtOnce() {
    const char* env = std::getenv("KELVANE_FILES_AT_ONCE");
    if (!env || !*env) return {};
    const int32_t n = ParseInt32(std::string_view(env));
    if (n < 1 || n > 16) return {};
    return {n, true};
}

// The listed size of a file row the pool may take, or -1. Not when the holding
// folder has to be unlocked for each file (two files of a folder would each put
// back the mode the other set), and not when scrambled names are all zeros (two
// files of a folder would want the same name).
int64_t PoolSize(const RunOptions& o, const std::u16string& listedSize) {
    if (o.ignoreProtect || (o.file.shredNames && !o.file.shredValue.empty())) return -1;
    if (listedSize.empty() || listedSize.size() > 18) return -1;
    int64_t size = 0;
    for (char16_t c : listedSize) {
        if (c < u'0' || c > u'9') return -1;
        size = size * 10 + (c - u'0');
    }
    return size <= kPoolMaxBytes ? size : -1;
}

// Files at once pay where the device makes each pass wait for its sync; on a
// file system in memory nothing waits, and one at a time is as fast.
class PoolPlaces {
  public:
    bool Pays(const fsys::Root& root, const std::u16string& path) {
        const std::u16string folder = root.path.empty() ? FolderOfPath(path) : root.path;
        auto it = known_.find(folder);
        if (it == known_.end()) it = known_.emplace(folder, !InMemory(folder)).first;
        return it->second;
    }

  private:
    static bool InMemory(const std::u16string& folder) {
        struct statfs st {};
        return ::statfs(Utf8FromWide(folder).c_str(), &st) == 0 &&
               (st.f_type == TMPFS_MAGIC || st.f_type == RAMFS_MAGIC);
    }
    std::map<std::u16string, bool> known_;
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
    BeginRunReport(state, "files", options.settings, options.passes);
    ReportRecorder& report = state.report;
    window.AppendLogHeader(FileRunLogTitle(options.passes));
    for (const std::u16string& note : state.trash.TakeNotes()) window.AppendLog(note);
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
    ops.KeepFolders(state.trash.Kept());
    const FileJobSettings jobSettings{options.passes, options.file, verify, options.ignoreProtect};

    // Rows appended meanwhile are visited (the batch asks the window again at the
    // end of what it read), and a finished row leaves the list, so the index steps
    // back over it.
    RunBatch batch(window);

    // The outcome of a file row, dealt with in list order; `row` is its index now.
    // True when the row left the list.
    auto finishFile = [&](FileJob& job, int row) {
        if (job.ok) {
            if (!options.keepFolders) {
                const std::u16string folder = FolderOfPath(job.path);
                ops.ConfineTo(job.root);
                if (!ops.RemoveFolderChain(folder)) deferred.Add(folder, job.root);
            }
            if (job.report.otherNames > 0) ++withOtherNames;
            batch.DeleteRow(row);
            std::u16string done = DoneText(job.report.otherNames);
            done.insert(done.size() - 1, VerifiedNote(&job.check, text));
            report.FileEnded(job.path, true, job.report.otherNames, verify ? &job.check : nullptr,
                             done);
            batch.AppendLog(SafeFormat(u"%s %s", {job.path, done}));
            return true;
        }
        allDone = false;
        // The row follows the file to its scrambled name, where a later run finds it.
        if (job.report.path != job.path) {
            batch.Flush();
            window.SetRowText(row, kPathColumn, job.report.path);
            window.SetRowText(row, kNameColumn, FileNameOfPath(job.report.path));
        }
        batch.AppendLog(
            job.report.folderChanged
                ? LogFolderChangedLine(job.report.path)
                : ShredLogLine(job.report.path, false, verify ? &job.check : nullptr, text));
        report.FileEnded(job.path, false, job.report.otherNames, verify ? &job.check : nullptr,
                         job.report.folderChanged
                             ? LogFolderChangedLine(u"")
                             : ShredLogLine(u"", false, verify ? &job.check : nullptr, text));
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
        if (!finishFile(*h.job, h.row)) return;
        for (Handed& later : handed) --later.row;
        --i;
    };
    auto finishHanded = [&] {
        while (!handed.empty()) finishFirstHanded();
    };

    RunRow row;
    for (; batch.Row(i, row); ++i) {
        batch.SetProgressPos(k);
        ++k;
        if (state.stop) break;
        if (!row.checked) continue;

        const std::u16string path = row.path;
        const std::u16string kind = row.kind;
        const bool folderRow = kind == kFolderMarker;
        // Everything done to this entry stays below the folder the user chose.
        const fsys::Root root = state.chosenRoots.RootOf(path);
        const int64_t poolSize = filesAtOnce.files > 1 && !batch.ConfirmChecked() &&
                                         kind != kNotListedMarker && !folderRow
                                     ? PoolSize(options, row.size)
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

        batch.SetStatusText(SafeFormat(u"%s [%d / %d - %d %c]: %s",
                                       {shredding, k, total, Percent(k, total), u'%', path}));
        batch.Flush();  // the window names the entry while it is worked on

        if (pooled) {
            while (!handed.empty() &&
                   (handed.size() >= kPoolQueuePerThread * static_cast<size_t>(filesAtOnce.files) ||
                    handedBytes + poolSize > kPoolMaxHandedBytes))
                finishFirstHanded();
            report.AddEntry(path);
            auto job = std::make_shared<FileJob>();
            job->path = path;
            job->root = root;
            pool->Submit(job);
            handed.push_back({std::move(job), i, poolSize});
            handedBytes += poolSize;
            continue;
        }

        report.AddEntry(path, folderRow);
        if (folderRow && !options.keepFolders) {
            ops.ConfineTo(root);
            if (options.ignoreProtect) {
                (void)ops.MakeWritable(path);
                (void)ops.UnlockHoldingFolder(path);
            }
            const bool removed = ops.RemoveFolderChain(path);
            ops.RelockHoldingFolder();
            const FolderNow now = removed ? FolderNow::kGone : LookAtFolder(root, path);
            if (removed) {
                batch.DeleteRow(i--);
                batch.AppendLog(SafeFormat(u"%s [FOLDER, removed]", {path}));
                report.EntryEnded(path, true, u"[FOLDER, removed]");
            } else if (now == FolderNow::kGone) {
                // Already gone, usually as the emptied parent of an earlier file.
                batch.DeleteRow(i--);
                report.EntryEnded(path, true, u"[FOLDER, removed]");
            } else if (now == FolderNow::kChanged) {
                allDone = false;
                batch.AppendLog(LogFolderChangedLine(path));
                report.EntryEnded(path, false, LogFolderChangedLine(u""));
            } else {
                deferred.Add(path, root);
                waitingFolderRows.insert(path);
            }
            continue;
        }

        FileJob job;
        job.path = path;
        job.root = root;
        job.folderRow = folderRow;
        RunFileJob(ops, jobSettings, job);
        if (finishFile(job, i)) --i;
    }
    finishHanded();
    pool.reset();
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
    if (withOtherNames > 0) {
        const std::u16string warning =
            SafeFormat(window.MessageText("FrmMain.m_acMOtherNames"), {withOtherNames});
        window.AppendLog(warning);
        final += u" " + warning;
    }
    window.SetStatusText(final);
    window.SetProgressPos(0);
}
