#pragma once
// The test file of the shred benchmarks: created (or resized) to `bytes` of real,
// synced data, so that the timed overwrite meets allocated blocks, not a hole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

inline bool Prepare(const std::string& path, long long bytes) {
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && st.st_size != bytes) {
        // Real blocks, not a hole: overwriting must meet allocated data.
        ok = ::ftruncate(fd, 0) == 0;
        std::vector<char> chunk(1 << 20, 'K');
        for (long long done = 0; ok && done < bytes;) {
            auto n = static_cast<size_t>(std::min<long long>(chunk.size(), bytes - done));
            ok = ::write(fd, chunk.data(), n) == static_cast<ssize_t>(n);
            done += static_cast<long long>(n);
        }
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}
