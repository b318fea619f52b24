#include "engine/FillSmall.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "config/TextConv.h"
#include "engine/FillDrive.h"

namespace {

bool Full(int err) {
    return err == ENOSPC || err == EDQUOT;
}

int CreateNew(int dirFd, const std::string& name) {
    return ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
}

// The largest write the file system still takes: a whole block, then ever
// smaller ones, down to what fits into an inode's data slot. 0 or the errno.
int WriteLargestThatFits(int fd, const uint8_t* data, uint64_t fsBlock, uint64_t& done) {
    done = 0;
    uint64_t size = fsBlock;
    for (;;) {
        ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), 0);
        if (n > 0) {
            done = static_cast<uint64_t>(n);
            return 0;
        }
        if (n < 0 && errno == EINTR) continue;
        const int err = n < 0 ? errno : ENOSPC;
        if (!Full(err)) return err;
        if (size == 1) return err;
        // ext4 keeps up to 60 bytes in the inode itself with inline_data.
        size = size > 120 ? size / 2 : size > 60 ? 60 : size / 2;
        if (size == 0) size = 1;
    }
}

}  // namespace

SmallFillOutcome FillSmallObjects(const HeldDrive& drive, const std::u16string&,
                                  const std::u16string& tempName, FillRun& run, uint64_t fsBlock,
                                  const std::atomic<bool>& stop) {
    SmallFillOutcome out;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSmallPhaseMillis);
    auto timeLeft = [&] { return std::chrono::steady_clock::now() < deadline && !stop.load(); };
    const uint8_t* data = run.block.Data();
    fsBlock = std::clamp<uint64_t>(fsBlock, 1, run.block.Period());

    // Files that get nothing at all mean the space is gone.
    int emptyInARow = 0;
    for (uint32_t i = 0; i < kMaxSmallFiles && emptyInARow < 16 && timeLeft(); ++i) {
        const std::string name = Utf8FromWide(FillTempFileName(u"", tempName, ++run.fileCounter));
        int fd = CreateNew(drive.Fd(), name);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            if (!Full(errno)) out.error = errno;
            break;
        }
        // No attribute here: on ext4 it would take the inode's room for data.
        run.Created(drive, name, fd, false, false);
        ++out.files;
        uint64_t done = 0;
        const int err = WriteLargestThatFits(fd, data, fsBlock, done);
        ::close(fd);
        out.bytes += done;
        emptyInARow = done > 0 ? 0 : emptyInARow + 1;
        if (err != 0 && !Full(err)) {
            out.error = err;
            break;
        }
    }

    // Names as long as a folder entry takes, so each new entry covers as much of
    // the freed ones as it can; the digits keep them recognisable as ours.
    const std::string prefix = Utf8FromWide(tempName);
    if (prefix.size() + 8 <= 255 && out.error == 0) {
        for (uint32_t i = 0; i < kMaxLongNames && timeLeft(); ++i) {
            std::string digits = std::to_string(++run.fileCounter);
            digits.insert(0, 255 - prefix.size() - digits.size(), '0');
            const std::string name = prefix + digits;
            int fd = CreateNew(drive.Fd(), name);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                if (!Full(errno)) out.error = errno;
                break;
            }
            run.Created(drive, name, fd, false, false);
            ::close(fd);
            ++out.longNames;
        }
    }

    // One sync for all of them: a sync per file would cost a journal commit each.
    // The record goes first, so no file reaches the disk before its entry; a
    // write the device failed late shows up in the sync.
    (void)run.record.Sync();
    if (::syncfs(drive.Fd()) != 0 && out.error == 0) out.error = errno;
    return out;
}
