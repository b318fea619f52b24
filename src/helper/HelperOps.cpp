#include "helper/HelperOps.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace helper {

namespace {

constexpr long kExtMagic = 0xEF53;  // ext2, ext3 and ext4 share it
constexpr unsigned long kIocCheckpoint = _IOW('f', 43, uint32_t);
constexpr size_t kChunk = 1024 * 1024;
constexpr size_t kDirectAlign = 4096;

bool OnExt(int fd) {
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 && static_cast<long>(fs.f_type) == kExtMagic;
}

OpResult Refuse(Refusal r) {
    OpResult o;
    o.verdict = Verdict::Refused;
    o.refusal = r;
    return o;
}

class AlignedBuffer {
  public:
    explicit AlignedBuffer(size_t size)
        : data_(static_cast<uint8_t*>(std::aligned_alloc(4096, size))), size_(data_ ? size : 0) {}
    ~AlignedBuffer() { std::free(data_); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }

  private:
    uint8_t* data_;
    size_t size_;
};

void FillBuffer(AlignedBuffer& buffer, const FillRequest& request) {
    if (!request.random) {
        std::memset(buffer.data(), request.value, buffer.size());
        return;
    }
    for (size_t at = 0; at < buffer.size();) {
        const ssize_t n = ::getrandom(buffer.data() + at, buffer.size() - at, 0);
        if (n > 0) at += static_cast<size_t>(n);
    }
}

// Direct writes, as the run's own filler files have them: blocks are placed as
// each write comes, not by a later writeback. The caller's open file gets its
// flags back when the fill ends.
class DirectWrites {
  public:
    explicit DirectWrites(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
        on_ = flags_ >= 0 && ::fcntl(fd, F_SETFL, flags_ | O_DIRECT) == 0;
    }
    ~DirectWrites() { Off(); }
    DirectWrites(const DirectWrites&) = delete;
    DirectWrites& operator=(const DirectWrites&) = delete;
    void Off() {
        if (on_) ::fcntl(fd_, F_SETFL, flags_);
        on_ = false;
    }
    bool On() const { return on_; }

  private:
    int fd_, flags_;
    bool on_ = false;
};

int WriteAt(int fd, const uint8_t* data, size_t length, uint64_t offset, size_t& done,
            DirectWrites* direct = nullptr) {
    done = 0;
    while (done < length) {
        if (direct && ((offset + done) % kDirectAlign != 0 || (length - done) % kDirectAlign != 0))
            direct->Off();
        const ssize_t n =
            ::pwrite(fd, data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINVAL && direct && direct->On()) {
            direct->Off();  // the device wants another alignment: through the cache
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// The first pass: from the start of the empty file until a write of one file
// system block finds no room. Returns 0 or the errno of another failure.
int FirstPass(int fd, AlignedBuffer& buffer, uint64_t fsBlock,
              const std::function<bool()>& stopAsked, uint64_t& end, bool& stopped) {
    DirectWrites direct(fd);
    size_t step = buffer.size();
    while (!(stopped = stopAsked && stopAsked())) {
        size_t done = 0;
        const int err = WriteAt(fd, buffer.data(), step, end, done, &direct);
        end += done;
        if (err == 0) continue;
        if (err != ENOSPC && err != EDQUOT && err != EFBIG) return err;
        if (step <= fsBlock) break;
        step = std::max<size_t>(fsBlock, step / 2 / fsBlock * fsBlock);
    }
    return 0;
}

int Rewrite(int fd, AlignedBuffer& buffer, uint64_t end, const std::function<bool()>& stopAsked,
            bool& stopped) {
    for (uint64_t at = 0; at < end;) {
        if ((stopped = stopAsked && stopAsked())) return 0;
        size_t done = 0;
        const size_t length = static_cast<size_t>(std::min<uint64_t>(buffer.size(), end - at));
        if (const int err = WriteAt(fd, buffer.data(), length, at, done); err != 0) return err;
        at += done;
    }
    return 0;
}

}  // namespace

Refusal CheckReserveTarget(uid_t caller, int folderFd, int fileFd) {
    struct stat folder {
    }, file{};
    if (::fstat(folderFd, &folder) != 0 || !S_ISDIR(folder.st_mode)) return Refusal::NotAFolder;
    // A descriptor of a link (O_PATH | O_NOFOLLOW), a FIFO, a device, a socket
    // or a folder: nothing to fill, and some would block or reach hardware.
    if (::fstat(fileFd, &file) != 0 || !S_ISREG(file.st_mode)) return Refusal::NotARegularFile;
    if (file.st_uid != caller) return Refusal::NotOwned;
    if (file.st_nlink != 1) return Refusal::OtherLinks;
    if (file.st_dev != folder.st_dev) return Refusal::OtherDevice;
    const int flags = ::fcntl(fileFd, F_GETFL);
    if (flags < 0 || (flags & O_PATH) || (flags & O_ACCMODE) == O_RDONLY)
        return Refusal::NotWritable;
    // Only a file the run has just made: no data of anybody's is ever changed.
    if (file.st_size != 0) return Refusal::NotEmpty;
    if (!OnExt(fileFd)) return Refusal::NotExt4;
    return Refusal::None;
}

OpResult FillReserve(uid_t caller, int folderFd, int fileFd, const FillRequest& request,
                     const std::function<bool()>& stopAsked) {
    if (const Refusal r = CheckReserveTarget(caller, folderFd, fileFd); r != Refusal::None)
        return Refuse(r);
    OpResult out;
    struct statvfs vfs {};
    if (::fstatvfs(fileFd, &vfs) != 0) {
        out.verdict = Verdict::Failed;
        out.error = errno;
        return out;
    }
    const uint64_t fsBlock = std::clamp<uint64_t>(vfs.f_bsize ? vfs.f_bsize : 4096, 512, kChunk);
    AlignedBuffer buffer(kChunk);
    if (buffer.size() == 0) {
        out.verdict = Verdict::Failed;
        out.error = ENOMEM;
        return out;
    }
    const uint32_t passes = std::clamp<uint32_t>(request.passes, 1, kMaxPasses);
    uint64_t end = 0;
    bool stopped = false;
    int err = 0;
    for (uint32_t pass = 1; pass <= passes && err == 0 && !stopped; ++pass) {
        FillBuffer(buffer, request);
        err = pass == 1 ? FirstPass(fileFd, buffer, fsBlock, stopAsked, end, stopped)
                        : Rewrite(fileFd, buffer, end, stopAsked, stopped);
        // Each pass is on the device before the next one rewrites it.
        if (::fdatasync(fileFd) != 0 && err == 0) err = errno;
    }
    if (::fsync(fileFd) != 0 && err == 0) err = errno;
    out.bytes = end;
    if (::fstatvfs(fileFd, &vfs) == 0) out.freeLeft = uint64_t{vfs.f_bfree} * vfs.f_frsize;
    out.error = err;
    out.verdict = err != 0 ? Verdict::Failed : stopped ? Verdict::Stopped : Verdict::Done;
    return out;
}

Refusal CheckJournalTarget(uid_t caller, int folderFd) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0 || !S_ISDIR(folder.st_mode)) return Refusal::NotAFolder;
    if (folder.st_uid != caller) return Refusal::NotOwned;
    const int flags = ::fcntl(folderFd, F_GETFL);
    if (flags < 0 || (flags & O_PATH)) return Refusal::NotAFolder;
    if (!OnExt(folderFd)) return Refusal::NotExt4;
    return Refusal::None;
}

OpResult TrimFilled(int folderFd, const std::vector<dev_t>& filled) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0 || !S_ISDIR(folder.st_mode))
        return Refuse(Refusal::NotAFolder);
    if (std::find(filled.begin(), filled.end(), folder.st_dev) == filled.end())
        return Refuse(Refusal::NotFilled);
    OpResult out;
    fstrim_range range{0, ~0ULL, 0};
    out.error = ::ioctl(folderFd, FITRIM, &range) == 0 ? 0 : errno;
    if (out.error == EOPNOTSUPP || out.error == ENOTTY) return Refuse(Refusal::NotSupported);
    out.verdict = out.error == 0 ? Verdict::Done : Verdict::Failed;
    out.bytes = out.error == 0 ? range.len : 0;
    return out;
}

CheckpointCall& Checkpoint() {
    static CheckpointCall call = [](int fd, uint32_t flags) {
        return ::ioctl(fd, kIocCheckpoint, &flags) == 0 ? 0 : errno;
    };
    return call;
}

OpResult ClearJournal(uid_t caller, int folderFd) {
    if (const Refusal r = CheckJournalTarget(caller, folderFd); r != Refusal::None)
        return Refuse(r);
    OpResult out;
    int err = Checkpoint()(folderFd, kCheckpointZeroOut);
    if (err == 0) {
        out.flags = kJournalZeroed;
    } else if (err == EINVAL || err == EOPNOTSUPP) {
        // A kernel that takes the checkpoint but not the zeroing: the journal's
        // blocks are then free for new transactions, not cleared.
        err = Checkpoint()(folderFd, 0);
    }
    if (err == ENOTTY) return Refuse(Refusal::NotSupported);
    out.error = err;
    out.verdict = err == 0 ? Verdict::Done : Verdict::Failed;
    return out;
}

}  // namespace helper
