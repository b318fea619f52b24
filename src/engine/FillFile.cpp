#include "engine/FillFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "engine/FillBlock.h"
#include "platform/FillSystem.h"

namespace {

constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

bool Aligned(uint64_t value) {
    return value % FillBlock::kDirectAlign == 0;
}

// The pieces of the block that make up [offset, offset + length) of a file.
std::vector<iovec> SpanPieces(const FillBlock& block, uint64_t offset, uint64_t length,
                              bool& aligned) {
    std::vector<iovec> iov;
    const uint64_t size = block.Size();
    const uint64_t period = block.Period();
    aligned = Aligned(offset) && Aligned(length);
    for (uint64_t pos = offset, end = offset + length; pos < end;) {
        const uint64_t k = pos % size;
        const uint64_t at = k % period;
        const uint64_t n = std::min({period - at, size - k, end - pos});
        auto* base = const_cast<uint8_t*>(block.Data()) + at;
        aligned = aligned && Aligned(reinterpret_cast<uintptr_t>(base)) && Aligned(n);
        iov.push_back(iovec{base, static_cast<size_t>(n)});
        pos += n;
    }
    return iov;
}

}  // namespace

int FillFile::Create(int dirFd, const std::string& name, bool allowDirect) {
    if (const int err = Close(); err != 0) return err;
    int fd = allowDirect ? ::openat(dirFd, name.c_str(), kCreateFlags | O_DIRECT, 0600) : -1;
    canDirect_ = fd >= 0;
    if (fd < 0 && (errno == EINVAL || !allowDirect))
        fd = ::openat(dirFd, name.c_str(), kCreateFlags, 0600);
    if (fd < 0) return errno;
    fd_ = fd;
    direct_ = canDirect_;
    dirty_ = false;
    return 0;
}

bool FillFile::SetDirect(bool on) {
    if (direct_ == on) return true;
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, on ? (flags | O_DIRECT) : (flags & ~O_DIRECT)) != 0)
        return false;
    direct_ = on;
    return true;
}

int FillFile::WriteAll(std::vector<iovec>& iov, uint64_t offset, uint64_t& done) {
    size_t first = 0;
    while (first < iov.size()) {
        const int count = static_cast<int>(std::min<size_t>(iov.size() - first, IOV_MAX));
        ssize_t n = ::pwritev(fd_, &iov[first], count, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        if (!direct_) dirty_ = true;
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
        }
    }
    return 0;
}

int FillFile::WriteSpan(const FillBlock& block, uint64_t offset, uint64_t length, bool syncAfter,
                        uint64_t& done) {
    done = 0;
    if (fd_ < 0) return EBADF;
    if (length == 0) return 0;
    bool aligned = false;
    std::vector<iovec> iov = SpanPieces(block, offset, length, aligned);
    if (!SetDirect(canDirect_ && aligned)) SetDirect(false);
    int err = WriteAll(iov, offset, done);
    if (err == EINVAL && direct_ && done == 0) {
        // The device wants a larger alignment than ours: write through the cache
        // from now on.
        canDirect_ = false;
        if (!SetDirect(false)) return EIO;
        iov = SpanPieces(block, offset, length, aligned);
        err = WriteAll(iov, offset, done);
    }
    if (syncAfter && dirty_ && done > 0) {
        const int synced = FillSystem().sync ? FillSystem().sync(fd_, true) : 0;
        if (err == 0) err = synced;
        dirty_ = false;
    }
    return err;
}

int FillFile::Close() {
    if (fd_ < 0) return 0;
    // Direct writes leave the file's size and block map in the cache; the whole
    // file goes to the device before anybody deletes it. A pass that was not
    // synced before (the last one) fails here if the device failed it.
    int err = FillSystem().sync ? FillSystem().sync(fd_, false) : 0;
    if (::close(fd_) != 0 && err == 0 && errno != EINTR) err = errno;
    fd_ = -1;
    direct_ = false;
    dirty_ = false;
    return err;
}
