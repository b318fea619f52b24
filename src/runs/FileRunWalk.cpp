#include "runs/FileRunWalk.h"

#include <algorithm>
#include <string>

#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "runs/FileJobEnd.h"
#include "runs/FileRunContext.h"
#include "runs/FolderRows.h"
#include "runs/PooledFiles.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

namespace {

// Files from this size on report their passes as they go.
constexpr int64_t kReportedBytes = 8 << 20;

enum class Asked { kGo, kSkip, kCancel };

// Adds a row's work to what is done once the row is left.
class WorkCounted {
  public:
    WorkCounted(int64_t& done, int64_t work) : done_(done), work_(work) {}
    ~WorkCounted() { done_ += work_; }
    WorkCounted(const WorkCounted&) = delete;
    WorkCounted& operator=(const WorkCounted&) = delete;

  private:
    int64_t& done_;
    int64_t work_;
};

// Met by the folder walk but never listed: nothing of it is shredded.
void EndNotListedRow(FileRunContext& run, const std::u16string& path) {
    RunBatch& batch = run.batch;
    ReportRecorder& report = run.report;

    run.allDone = false;
    batch.Flush();  // the window's rows as the batch sees them
    const std::u16string reason = run.window.RowText(run.i, kSizeColumn);
    batch.AppendLog(SafeFormat(u"%s [NOT SHREDDED: %s]", {path, reason}));
    report.EntryEnded(path, false, SafeFormat(u"[NOT SHREDDED: %s]", {reason}));
}

// With "Confirm delete", the question before the row; the answer "Yes to all"
// holds for the rest of the run.
Asked AskAboutRow(FileRunContext& run, const std::u16string& path) {
    RunWindow& window = run.window;
    RunBatch& batch = run.batch;
    int& answer = run.answer;
    bool& yesToAll = run.yesToAll;

    if (batch.ConfirmChecked() && !yesToAll) {
        batch.Flush();  // the question comes after everything done before it
        answer = window.AskConfirmation(
            SafeFormat(window.MessageText("FrmMain.m_acMDeleteFile"), {path}));
        if (answer == kAnswerCancel) {
            run.cancelled = true;
            return Asked::kCancel;
        }
        if (answer == kAnswerNo) return Asked::kSkip;
        if (answer == kAnswerYesToAll) {
            answer = kAnswerYes;
            yesToAll = true;
        }
    }
    if (answer != kAnswerYes && !yesToAll) return Asked::kSkip;
    return Asked::kGo;
}

// A file row (or a folder row while folders are kept) on this thread, the
// status line and the bar following a large file's passes.
void ShredOneFile(FileRunContext& run, const RunRow& row, const fsys::Root& root,
                  const std::u16string& path, bool folderRow) {
    RunWindow& window = run.window;
    RunState& state = run.state;
    const FileJobSettings& jobSettings = run.jobSettings;
    const int k = run.k;
    int& i = run.i;

    FileJob job;
    job.path = path;
    job.root = root;
    job.folderRow = folderRow;
    job.deviceChosen = state.chosenRoots.IsChosenDevice(path);
    state.filesUnderWay = 1;
    if (ListedBytes(row.size) >= kReportedBytes) {
        // A large file moves the bar and the share done with its passes.
        FileJobSettings reported = jobSettings;
        int shown = run.Position();
        reported.file.progress = [&](int64_t done, int64_t all) {
            if (all <= 0) return;
            const int64_t written = std::min<int64_t>(done, all);
            const int at = run.Position(written);
            if (at == shown) return;  // at most one visit to the window per step
            shown = at;
            window.SetProgressPos(at);
            window.SetStatusText(run.StatusLine(k, path, written));
        };
        RunFileJob(run.ops, reported, job);
    } else {
        RunFileJob(run.ops, jobSettings, job);
    }
    state.filesUnderWay = 0;
    if (FinishFileJob(run, job, i)) --i;
}

}  // namespace

void WalkListedRows(FileRunContext& run) {
    RunState& state = run.state;
    const RunOptions& options = run.options;
    ReportRecorder& report = run.report;
    RunBatch& batch = run.batch;
    int& i = run.i;
    int& k = run.k;

    // Small files go to the pool while nothing is asked before each.
    PooledFiles pool(run);
    RunRow row;
    for (; batch.Row(i, row); ++i) {
        batch.SetProgressPos(run.Position());
        ++k;
        if (state.stop) {
            // The files under way end after their write in progress.
            batch.SetStatusText(run.stopping);
            break;
        }
        if (!row.checked) continue;
        // Counted as done when the row is left, whichever way.
        const WorkCounted counted(run.workDone, run.WorkOf(row.size));

        const std::u16string path = row.path;
        const std::u16string kind = row.kind;
        const bool folderRow = kind == kFolderMarker;
        // Everything done to this entry stays below the folder the user chose.
        const fsys::Root root = state.chosenRoots.RootOf(path);
        const int64_t poolSize = pool.SizeOf(row, folderRow);
        const bool pooled = pool.Takes(root, path, poolSize);
        // Whatever is done to this row comes after everything before it.
        if (!pooled) pool.FinishAll();
        if (kind == kNotListedMarker) {
            EndNotListedRow(run, path);
            continue;
        }
        if (folderRow && options.keepChosenFolders && state.chosenRoots.IsChosenFolder(path)) {
            // A chosen folder itself: what it held is gone, it stays.
            batch.DeleteRow(i--);
            batch.AppendLog(SafeFormat(u"%s [FOLDER, kept]", {path}));
            continue;
        }

        const Asked asked = AskAboutRow(run, path);
        if (asked == Asked::kCancel) break;
        if (asked == Asked::kSkip) continue;

        batch.SetStatusText(run.StatusLine(k, path));
        batch.Flush();  // the window names the entry while it is worked on

        if (pooled) {
            pool.Hand(path, root, poolSize);
            continue;
        }

        if (folderRow)
            report.AddEntry(path, true);
        else
            report.BeginFile(path);
        if (folderRow && !options.keepFolders) {
            EndFolderRow(run, root, path);
            continue;
        }
        ShredOneFile(run, row, root, path, folderRow);
    }
    pool.FinishAll();
    pool.Reset();
    state.filesUnderWay = 0;
    batch.Flush();
}
