#include "engine/FillFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "engine/FillBlock.h"

namespace {

constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

bool Aligned(uint64_t value) {
    return value % FillBlock::kDirectAlign == 0;
}

}  // namespace

bool FillFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK only keeps a planted FIFO from blocking the open; it is cleared
    // once we know the file is a regular one.
    int fd = ::open(path.c_str(), kCreateFlags | O_DIRECT, 0600);
    canDirect_ = fd >= 0;
    if (fd < 0 && errno == EINVAL) fd = ::open(path.c_str(), kCreateFlags, 0600);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    direct_ = canDirect_;
    dirty_ = false;
    return true;
}

bool FillFile::SetDirect(bool on) {
    if (direct_ == on) return true;
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, on ? (flags | O_DIRECT) : (flags & ~O_DIRECT)) != 0)
        return false;
    direct_ = on;
    return true;
}

int FillFile::WriteAll(std::vector<iovec>& iov, uint64_t offset) {
    size_t first = 0;
    uint64_t done = 0;
    while (first < iov.size()) {
        const int count = static_cast<int>(std::min<size_t>(iov.size() - first, IOV_MAX));
        ssize_t n = ::pwritev(fd_, &iov[first], count, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += static_cast<uint64_t>(n);
        // Step over what went out, possibly into the middle of a piece.
        auto left = static_cast<size_t>(n);
        while (first < iov.size() && left >= iov[first].iov_len) left -= iov[first++].iov_len;
        if (left > 0) {
            iov[first].iov_base = static_cast<uint8_t*>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
        // The rest of a short direct write is no longer aligned; send it cached.
        if (first < iov.size() && direct_ && (left > 0 || !Aligned(offset + done))) {
            if (!SetDirect(false)) return EIO;
            dirty_ = true;
        }
    }
    return 0;
}

int FillFile::WriteRepeated(const uint8_t* block, size_t blockLength, size_t count,
                            size_t tailLength, uint64_t offset, bool syncAfter) {
    if (fd_ < 0) return EBADF;
    std::vector<iovec> iov(count, iovec{const_cast<uint8_t*>(block), blockLength});
    if (tailLength > 0) iov.push_back(iovec{const_cast<uint8_t*>(block), tailLength});
    if (iov.empty()) return 0;
    const std::vector<iovec> all = iov;
    const bool wantDirect = canDirect_ && Aligned(blockLength) && Aligned(tailLength) &&
                            Aligned(offset) && Aligned(reinterpret_cast<uintptr_t>(block));
    if (!SetDirect(wantDirect)) SetDirect(false);
    int err = WriteAll(iov, offset);
    if (err == EINVAL && direct_) {
        // The device wants a larger alignment than ours: write through the cache
        // from now on.
        canDirect_ = false;
        if (!SetDirect(false)) return EIO;
        iov = all;
        err = WriteAll(iov, offset);
    }
    if (err != 0) return err;
    if (!direct_) dirty_ = true;
    if (syncAfter && dirty_) {
        if (::fdatasync(fd_) != 0) return errno;
        dirty_ = false;
    }
    return 0;
}

void FillFile::Close() {
    if (fd_ < 0) return;
    // Direct writes leave the file's size and block map in the cache; the whole
    // file goes to the device before anybody deletes it.
    (void)::fsync(fd_);
    ::close(fd_);
    fd_ = -1;
    direct_ = false;
    dirty_ = false;
}
