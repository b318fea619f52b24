#include "support/DeadMount.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "config/TextConv.h"

DeadMount::DeadMount(int abortAfterMs) {
    path_ = dir_.Sub("dead/");
    if (::mkdir(path_.c_str(), 0755) != 0) {
        error_ = "mkdir " + path_ + ": " + std::strerror(errno);
        return;
    }
    fd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::string("/dev/fuse: ") + std::strerror(errno);
        return;
    }
    const std::string options = "fd=" + std::to_string(fd_) +
                                ",rootmode=40000,user_id=" + std::to_string(::getuid()) +
                                ",group_id=" + std::to_string(::getgid());
    if (::mount("kelvane-test", path_.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) !=
        0) {
        error_ = std::string("mount fuse: ") + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return;
    }
    ok_ = true;
    if (abortAfterMs > 0) {
        watchdog_ = std::thread([this, abortAfterMs] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (cv_.wait_for(lock, std::chrono::milliseconds(abortAfterMs),
                             [this] { return aborted_; }))
                return;
            byWatchdog_ = true;
            lock.unlock();
            Abort();
        });
    }
}

DeadMount::~DeadMount() {
    Abort();
    if (watchdog_.joinable()) watchdog_.join();
}

std::u16string DeadMount::WPath() const {
    return WideFromUtf8(path_);
}

void DeadMount::Abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (aborted_) return;
    aborted_ = true;
    cv_.notify_all();
    if (!ok_) return;
    // Detached first, so that nothing new can reach it by its path; closing the
    // device then aborts the connection and wakes every waiting call.
    (void)::umount2(path_.c_str(), MNT_DETACH);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool DeadMount::AbortedByWatchdog() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return byWatchdog_;
}
