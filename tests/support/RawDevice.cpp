#include "support/RawDevice.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kChunk = 1 << 20;
// Direct I/O wants the buffer, the offset and the length aligned to the logical
// block; 4 KiB covers every device here.
constexpr size_t kAlign = 4096;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// The pages cached of an open file, written out and then dropped, so the reads
// that follow come from the device.
bool DropCache(int fd) {
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) return false;
    return ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
}

}  // namespace

bool ReadDeviceBytes(const std::string& path,
                     const std::function<void(const char* data, size_t size)>& chunk,
                     std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + " " + path + ": " + std::strerror(errno);
        return false;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    const bool direct = fd >= 0;
    if (!direct) {
        if (errno != EINVAL) return fail("open");
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return fail("open");
    }
    // Even with O_DIRECT: pages cached before are written back and dropped, so
    // nothing of them can stand in for the device's bytes.
    if (!DropCache(fd)) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return fail("drop the cache of");
    }
    std::unique_ptr<char, FreeDeleter> buf(static_cast<char*>(std::aligned_alloc(kAlign, kChunk)));
    if (!buf) {
        ::close(fd);
        errno = ENOMEM;
        return fail("buffer for");
    }
    off_t at = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buf.get(), kChunk, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            errno = e;
            return fail("read");
        }
        if (n == 0) break;
        chunk(buf.get(), static_cast<size_t>(n));
        at += n;
        // A short read of a direct descriptor is the end of the file (its tail
        // not a whole block); an aligned offset is needed to go on anyway.
        if (direct && static_cast<size_t>(n) % kAlign != 0) break;
    }
    ::close(fd);
    return true;
}

std::string ReadDeviceWhole(const std::string& path) {
    std::string all, error;
    if (!ReadDeviceBytes(
            path, [&](const char* d, size_t n) { all.append(d, n); }, &error)) {
        ADD_FAILURE() << error;  // nothing read must never pass for nothing found
        return {};
    }
    return all;
}

size_t CountOnDevice(const std::string& path, const std::string& needle) {
    if (needle.empty()) return 0;
    size_t count = 0;
    std::string window, error;  // window: the tail of the last chunk, where a match may start
    const bool read = ReadDeviceBytes(
        path,
        [&](const char* d, size_t n) {
            const size_t carried = window.size();
            window.append(d, n);
            for (size_t p = window.find(needle); p != std::string::npos;
                 p = window.find(needle, p + 1))
                if (p + needle.size() > carried) ++count;
            window.erase(0, window.size() >= needle.size() ? window.size() - needle.size() + 1 : 0);
        },
        &error);
    if (!read) ADD_FAILURE() << error;  // nothing read must never pass for nothing found
    return count;
}
