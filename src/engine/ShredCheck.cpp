#include "engine/ShredCheck.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ShredBlock.h"

namespace {

constexpr size_t kAlign = 4096;
constexpr size_t kChunk = 1 << 20;

std::mutex hookMutex;
std::function<void(int)>& Hook() {
    static std::function<void(int)> hook;
    return hook;
}

// Only where the data lies counts: flags such as "unwritten" or "last" change
// when an extent is written in place.
bool SamePlaces(const storage::ExtentMap& a, const storage::ExtentMap& b) {
    if (a.extents.size() != b.extents.size()) return false;
    for (size_t i = 0; i < a.extents.size(); ++i) {
        const storage::Extent& x = a.extents[i];
        const storage::Extent& y = b.extents[i];
        if (x.logical != y.logical || x.physical != y.physical || x.length != y.length)
            return false;
    }
    return true;
}

// The weakest place any extent of either map has, before or after the passes.
ShredCheck::Limit LimitOf(const storage::ExtentMap& before, const storage::ExtentMap& after) {
    uint32_t flags = 0;
    bool noPlace = false;
    for (const storage::ExtentMap* m : {&before, &after}) {
        if (!m->known) continue;
        flags |= m->allFlags;
        for (const storage::Extent& e : m->extents)
            if (e.physical == 0 && e.length > 0) noPlace = true;  // btrfs inline extents
    }
    if (flags & (FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_DATA_TAIL | FIEMAP_EXTENT_NOT_ALIGNED))
        return ShredCheck::Limit::kInline;
    if (flags & FIEMAP_EXTENT_ENCODED) return ShredCheck::Limit::kCompressed;
    if (noPlace || (flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC)))
        return ShredCheck::Limit::kUnknownExtents;
    return ShredCheck::Limit::kNone;
}

}  // namespace

void ShredCheck::SetAfterLastPassHook(std::function<void(int fd)> hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    Hook() = std::move(hook);
}

void ShredCheck::Before(int fd) {
    before_ = storage::ReadExtents(fd, true);
}

bool ShredCheck::After(int fd, const ShredBlock& block, int64_t length) {
    {
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> lock(hookMutex);
            hook = Hook();
        }
        if (hook) hook(fd);
    }
    if (!ReadBack(fd, block, length)) return false;
    const storage::ExtentMap after = storage::ReadExtents(fd, true);
    if (before_.known && after.known && !SamePlaces(before_, after)) {
        failure_ = Failure::kExtentsMoved;
        return false;
    }
    limit_ = LimitOf(before_, after);
    passed_ = true;
    return true;
}

bool ShredCheck::ReadBack(int fd, const ShredBlock& block, int64_t length) {
    failure_ = Failure::kReadBack;
    // The pass wrote through a write-only descriptor; a second one to the very same
    // open file (not to whatever the name means now) reads it back.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    int rfd = ::open(self.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    direct_ = rfd >= 0;
    if (rfd < 0) {
        rfd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
        if (rfd < 0) return false;
        // Without O_DIRECT the cached pages must go, or we would only read our own
        // writes back from memory. They are clean after the pass's sync.
        (void)::fdatasync(fd);
        (void)::posix_fadvise(rfd, 0, 0, POSIX_FADV_DONTNEED);
    }
    std::unique_ptr<unsigned char, decltype(&std::free)> buffer(
        static_cast<unsigned char*>(std::aligned_alloc(kAlign, kChunk)), &std::free);
    if (!buffer) {
        ::close(rfd);
        return false;
    }
    const unsigned char* expected = block.Data();
    const uint64_t period = block.BlockSize();
    int64_t done = 0;
    bool ok = period > 0;
    while (ok && done < length) {
        ssize_t n = ::pread(rfd, buffer.get(), kChunk, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EINVAL && direct_) {
            // Some file systems accept O_DIRECT at open and refuse it at read.
            ::close(rfd);
            direct_ = false;
            rfd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
            if (rfd < 0) return false;
            (void)::fdatasync(fd);
            (void)::posix_fadvise(rfd, 0, 0, POSIX_FADV_DONTNEED);
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        const int64_t usable = std::min<int64_t>(n, length - done);
        for (int64_t i = 0; i < usable;) {
            const uint64_t in = static_cast<uint64_t>(done + i) % period;
            const auto run = static_cast<int64_t>(
                std::min<uint64_t>(static_cast<uint64_t>(usable - i), period - in));
            const unsigned char* got = buffer.get() + i;
            if (std::memcmp(got, expected + in, static_cast<size_t>(run)) != 0) {
                int64_t k = 0;
                while (got[k] == expected[in + static_cast<uint64_t>(k)]) ++k;
                failure_ = Failure::kMismatch;
                offset_ = done + i + k;
                ::close(rfd);
                return false;
            }
            i += run;
        }
        done += usable;
    }
    ::close(rfd);
    if (!ok) return false;
    failure_ = Failure::kNone;
    return true;
}
