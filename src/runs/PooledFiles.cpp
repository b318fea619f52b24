#include "runs/PooledFiles.h"

#include <utility>

#include "filelist/FileListOps.h"
#include "i18n/SafeFormat.h"
#include "runs/FileJobEnd.h"
#include "runs/FileRunContext.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

PooledFiles::PooledFiles(FileRunContext& run) : run_(run), filesAtOnce_(FilesAtOnce()) {}

PooledFiles::~PooledFiles() = default;

int64_t PooledFiles::SizeOf(const RunRow& row, bool folderRow) const {
    const RunOptions& options = run_.options;
    return filesAtOnce_.files > 1 && !run_.batch.ConfirmChecked() && row.kind != kNotListedMarker &&
                   !folderRow
               ? PoolSize(options.ignoreProtect,
                          options.file.shredNames && !options.file.shredValue.empty(), row.size)
               : -1;
}

bool PooledFiles::Takes(const fsys::Root& root, const std::u16string& path, int64_t poolSize) {
    bool pooled =
        poolSize >= 0 && !poolFailed_ && (filesAtOnce_.chosen || poolPlaces_.Pays(root, path));
    if (pooled && !pool_) {
        pool_ = std::make_unique<ShredPool>(filesAtOnce_.files, run_.jobSettings);
        // No thread to be had: one file at a time, as without the pool.
        if (pool_->Threads() == 0) {
            pool_.reset();
            poolFailed_ = true;
            pooled = false;
        }
    }
    return pooled;
}

void PooledFiles::Hand(const std::u16string& path, const fsys::Root& root, int64_t poolSize) {
    RunState& state = run_.state;
    ReportRecorder& report = run_.report;

    while (!handed_.empty() &&
           (handed_.size() >= kPoolQueuePerThread * static_cast<size_t>(filesAtOnce_.files) ||
            handedBytes_ + poolSize > kPoolMaxHandedBytes))
        FinishFirst();
    report.BeginFile(path);
    auto job = std::make_shared<FileJob>();
    job->path = path;
    job->root = root;
    job->deviceChosen = state.chosenRoots.IsChosenDevice(path);
    // Counted before the pool can begin it, so a Stop meanwhile sees it.
    state.filesUnderWay = static_cast<int>(handed_.size()) + 1;
    run_.FileBegun(FolderOfPath(path));
    pool_->Submit(job);
    handed_.push_back({std::move(job), run_.i, poolSize});
    handedBytes_ += poolSize;
}

void PooledFiles::FinishFirst() {
    Handed h = std::move(handed_.front());
    handed_.pop_front();
    handedBytes_ -= h.bytes;
    pool_->Wait(h.job);
    run_.state.filesUnderWay = static_cast<int>(handed_.size());
    if (!FinishFileJob(run_, *h.job, h.row)) return;
    for (Handed& later : handed_) --later.row;
    --run_.i;
}

void PooledFiles::FinishAll() {
    while (!handed_.empty()) {
        FinishFirst();
    }
}
