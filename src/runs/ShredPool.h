#pragma once
// Several small files overwritten at once. One after another, each pass of each
// file waits for its own sync; with a few files under way the device takes
// their syncs together. The passes of every file stay in order and synced, and
// the run still deals with the outcomes (rows, log lines, progress) in the
// order of its list: it waits for the files in the order it handed them over.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/FileOps.h"
#include "engine/GroupSync.h"
#include "engine/ShredCheck.h"
#include "platform/StorageFacts.h"

// One file row: what it asks for and what became of it.
struct FileJob {
    std::u16string path;
    fsys::Root root;  // what the work on it stays below
    bool folderRow = false;
    bool deviceChosen = false;  // a device node the user chose on its own
    bool ok = false;
    ShredReport report;
    ShredCheck check;  // used with verifying
    // With facts wanted: the entry as the shredding saw it, and a file's own
    // storage facts from before its first pass.
    bool seen = false;
    fsys::Attributes seenAttr;
    storage::StorageFacts seenFacts;
};

struct FileJobSettings {
    int32_t passes = 3;
    ShredFileOptions file;  // the path is the job's
    bool verify = false;
    bool ignoreProtect = false;
    bool facts = false;  // fill the job's seen* fields
    // Shared by every file of the run (and every copy of these settings): the
    // file systems' kinds, asked once per device, and the syncs that the files
    // under way at once share on btrfs (used where a pool runs them).
    std::shared_ptr<storage::FileSystemKinds> kinds = std::make_shared<storage::FileSystemKinds>();
    std::shared_ptr<GroupSync> syncs = std::make_shared<GroupSync>(kinds);
    bool syncTogether = false;
};

// Shreds the job's file with `ops`, confined to the job's root.
void RunFileJob(FileOps& ops, const FileJobSettings& settings, FileJob& job);

// Tests: runs on the shredding thread before each file of a run is touched.
void SetBeforeFileJobHook(std::function<void(const std::u16string& path)> hook);

class ShredPool {
  public:
    // Every job handed over is done, also after a stop: handed over, a file is
    // under way, as the one a run was at when it was stopped.
    ShredPool(int threads, FileJobSettings settings);
    // Lets the jobs in hand end and joins.
    ~ShredPool();
    ShredPool(const ShredPool&) = delete;
    ShredPool& operator=(const ShredPool&) = delete;

    // The threads that could be started; with none, nothing may be submitted.
    int Threads() const { return static_cast<int>(threads_.size()); }
    void Submit(std::shared_ptr<FileJob> job);
    // Until the job has ended or been left alone.
    void Wait(const std::shared_ptr<FileJob>& job);

  private:
    void Work();

    const FileJobSettings settings_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable ended_;
    std::deque<std::shared_ptr<FileJob>> queue_;
    std::vector<std::shared_ptr<FileJob>> endedJobs_;  // kept until waited for
    bool quit_ = false;
    std::vector<std::thread> threads_;
};
