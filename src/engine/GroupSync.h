#pragma once
// Syncs shared by the files under way at once.
//
// On btrfs each fdatasync commits a log of its own (some milliseconds each), so
// the passes of several small files synced one by one cost more than the writes.
// One syncfs forces every file's written data to the device at once: a file
// whose pass is written waits for the next syncfs to start after its writes and
// end, and goes on (to its next pass, or to its renaming) only then, so each
// pass is on the medium before the next one or the rename, as with its own sync.
// Files that arrive while a syncfs runs share the next one (group commit).
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace storage {
class FileSystemKinds;
}

class GroupSync {
  public:
    // `kinds`: the run's record of file system types (asked once per device).
    explicit GroupSync(std::shared_ptr<storage::FileSystemKinds> kinds)
        : kinds_(std::move(kinds)) {}

    // Forces the data written through `fd` (a file on device `dev`) to the device:
    // together with the others' on btrfs when `together`, else by its own
    // fdatasync. True when the system says it is there.
    bool Sync(int fd, uint64_t dev, bool together);

    // Whether syncs are shared at all: only with KELVANE_SYNC_TOGETHER=1, for
    // measuring (each file's own fdatasync measured faster on btrfs).
    static bool Wanted();

    // The shared sync itself, whatever the file system: returns once a syncfs of
    // `fd`'s file system (device `dev`) that began after this call ended (true
    // when it succeeded). Files of other devices share no sync with it.
    bool SyncTogether(int fd, uint64_t dev);
    // How many syncfs calls were made.
    uint64_t SyncsMade();

    // Tests: `hook` stands in for syncfs (nullptr: the real one).
    static void SetSyncHook(std::function<bool(int fd)> hook);

  private:
    // The syncs of one file system, one at a time.
    struct Device {
        uint64_t dev = 0;
        uint64_t started = 0;   // syncfs calls begun
        uint64_t finished = 0;  // ... and ended
        bool running = false;
        std::vector<uint64_t> failed;  // the syncfs calls that failed
    };

    std::shared_ptr<storage::FileSystemKinds> kinds_;
    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<Device> devices_;
    uint64_t made_ = 0;
};
