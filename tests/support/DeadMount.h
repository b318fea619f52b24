#pragma once
// A mount that never answers, as an NFS server that went away or a hung FUSE
// daemon looks to the programs using it: a FUSE file system whose device is
// opened and never read, so every request on it waits. No FUSE library is needed.
//
// It lives in the test process's own mount table (see TestMount.cpp). When the
// object goes -- or after the watchdog's limit, so that a program stuck on it
// fails its test instead of hanging the suite -- the mount is detached and the
// connection aborted: every call still waiting returns with ENOTCONN, and the
// threads making them can be joined.
//
// Needs root (or CAP_SYS_ADMIN) and /dev/fuse; otherwise Ok() is false and
// Error() says why (KELVANE_REQUIRE_DEAD_MOUNT skips the test with that).
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "support/TempDir.h"

class DeadMount {
  public:
    // `abortAfterMs`: the watchdog's limit (0: none).
    explicit DeadMount(int abortAfterMs = 20000);
    ~DeadMount();
    DeadMount(const DeadMount&) = delete;
    DeadMount& operator=(const DeadMount&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }
    // The mount point, ending with "/"; nothing under it ever answers.
    const std::string& Path() const { return path_; }
    std::u16string WPath() const;

    // Detaches the mount and aborts the connection; idempotent, any thread.
    void Abort();
    // True when the watchdog had to abort it: something was stuck that long.
    bool AbortedByWatchdog() const;

  private:
    TempDir dir_;
    std::string path_;
    int fd_ = -1;
    bool ok_ = false;
    std::string error_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool aborted_ = false;
    bool byWatchdog_ = false;
    std::thread watchdog_;
};

#define KELVANE_REQUIRE_DEAD_MOUNT(m)                                                              \
    do {                                                                                           \
        if (!(m).Ok())                                                                             \
            GTEST_SKIP() << "cannot mount a FUSE file system that never answers: " << (m).Error(); \
    } while (0)
