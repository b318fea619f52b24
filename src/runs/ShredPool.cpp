#include "runs/ShredPool.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

std::mutex hookMutex;
std::function<void(const std::u16string&)>& BeforeFileJobHook() {
    static std::function<void(const std::u16string&)> hook;
    return hook;
}

}  // namespace

void SetBeforeFileJobHook(std::function<void(const std::u16string& path)> hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    BeforeFileJobHook() = std::move(hook);
}

void RunFileJob(FileOps& ops, const FileJobSettings& settings, FileJob& job) {
    std::function<void(const std::u16string&)> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = BeforeFileJobHook();
    }
    if (hook) hook(job.path);
    ops.ConfineTo(job.root);
    if (settings.ignoreProtect) {
        (void)ops.MakeWritable(job.path);
        // Renaming and removing need the holding folder writable too.
        (void)ops.UnlockHoldingFolder(job.path);
    }
    ShredFileOptions file = settings.file;
    file.path = job.path;
    file.deviceChosen = job.deviceChosen;
    if (settings.verify) file.check = &job.check;
    if (settings.facts)
        file.seen = [&job, &settings](int fd, const fsys::Attributes& attr) {
            job.seen = true;
            job.seenAttr = attr;
            if (fd >= 0)
                job.seenFacts = storage::OpenFileFacts(
                    fd, attr.device, attr.size,
                    settings.verify ? &job.check.BeforeExtents() : nullptr, *settings.kinds);
        };
    if (settings.syncTogether && settings.syncs)
        file.syncPass = [&settings](int fd, uint64_t device) {
            return settings.syncs->Sync(fd, device, true);
        };
    job.ok = ops.ShredFile(settings.passes, file);
    ops.RelockHoldingFolder();
    job.report = ops.LastShred();
    // A file row that names a folder now is not the entry that was listed.
    if (job.report.wasFolder && !job.folderRow) job.ok = false;
}

namespace {

// Files under way at once may share their syncs (when asked for); one at a
// time, each has its own.
FileJobSettings SharingSyncs(FileJobSettings settings, int threads) {
    settings.syncTogether = threads > 1 && GroupSync::Wanted();
    return settings;
}

}  // namespace

ShredPool::ShredPool(int threads, FileJobSettings settings)
    : settings_(SharingSyncs(std::move(settings), threads)) {
    // Fewer threads than asked (a process limit, say) still work; none at all is
    // for the caller to see.
    try {
        for (int i = 0; i < std::max(threads, 1); ++i) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
    }
}

ShredPool::~ShredPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    queued_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void ShredPool::Submit(std::shared_ptr<FileJob> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(job));
    }
    queued_.notify_one();
}

void ShredPool::Wait(const std::shared_ptr<FileJob>& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ended = [&] { return std::find(endedJobs_.begin(), endedJobs_.end(), job); };
    ended_.wait(lock, [&] { return ended() != endedJobs_.end(); });
    endedJobs_.erase(ended());
}

void ShredPool::Work() {
    // Files of one folder under way at once may draw the same scrambled name: the
    // renaming draws again when a name is taken (FileOps::ShredNameAt).
    FileOps ops;
    for (;;) {
        std::shared_ptr<FileJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        RunFileJob(ops, settings_, *job);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            endedJobs_.push_back(std::move(job));
        }
        ended_.notify_all();
    }
}
