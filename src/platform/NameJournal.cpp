#include "platform/NameJournal.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FillSystem.h"
#include "platform/JournalPush.h"
#include "platform/MetadataFill.h"

namespace {

// From the kernel's ext4 header (not installed with the user-space headers).
constexpr unsigned long kExt4Checkpoint = _IOW('f', 43, uint32_t);
constexpr uint32_t kCheckpointZeroOut = 0x2;

}  // namespace

namespace fsys {

bool OnExtFileSystem(int fd) {
    struct statfs st {};
    return ::fstatfs(fd, &st) == 0 && st.f_type == EXT4_SUPER_MAGIC;
}

bool CheckpointJournal(int fd, bool clear) {
    if (!OnExtFileSystem(fd)) {
        errno = EOPNOTSUPP;
        return false;
    }
    uint32_t flags = clear ? kCheckpointZeroOut : 0;
    return ::ioctl(fd, kExt4Checkpoint, &flags) == 0;
}

bool MayCheckpointJournals() {
    // Asked for every entry a run or a look ahead meets; the program never
    // changes its user.
    static const bool root = ::geteuid() == 0;
    return root;
}

NameJournals::~NameJournals() {
    for (const Held& h : held_) {
        ::close(h.fd);
        for (int fd : h.above) ::close(fd);
    }
}

void NameJournals::Note(uint64_t device, int folderFd, const std::u16string& folderPath) {
    if (device != 0) seen_.insert(device);
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return;
    struct stat st {};
    Held held{0, fd, {}, folderPath, false, {}};
    held.btrfs = BtrfsFsid(fd, held.id);
    // ext4 is checkpointed and cleared with the rights, and its journal written
    // over without them; xfs's log is always written over.
    const FsKind kind = held.btrfs ? FsKind::Btrfs : FileSystemKind(fd);
    held.push = kind == FsKind::Xfs || (kind == FsKind::Ext4 && !MayCheckpointJournals());
    if (::fstat(fd, &st) != 0 || !(held.btrfs || held.push || kind == FsKind::Ext4)) {
        ::close(fd);
        return;
    }
    held.device = st.st_dev;
    // btrfs: once per file system, whichever subvolume (each has a device
    // number of its own) the folder lies in.
    if (std::any_of(held_.begin(), held_.end(), [&](const Held& h) {
            return held.btrfs ? h.btrfs && h.id == held.id : h.device == held.device;
        })) {
        ::close(fd);
        return;
    }
    // The folder, and those above it, may be gone when the run ends: every
    // folder above it on the same file system is held too, the nearest first.
    for (int at = fd; (held.btrfs || held.push) && held.above.size() < kMaxAbove;) {
        const int up = ::openat(at, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (up < 0) break;
        struct stat here {};
        struct stat there {};
        BtrfsId id{};
        if (::fstat(at, &here) != 0 || ::fstat(up, &there) != 0 ||
            (here.st_dev == there.st_dev && here.st_ino == there.st_ino) ||
            (held.btrfs ? !BtrfsFsid(up, id) || id != held.id : there.st_dev != held.device)) {
            ::close(up);
            break;
        }
        held.above.push_back(up);
        at = up;
    }
    held_.push_back(std::move(held));
}

bool NameJournals::PushAbove(const Held& h, const std::atomic<bool>& stop) {
    uint64_t bytes = 0, blockSize = 0;
    // A journal of a size not told is not known to be written over.
    if (!JournalSize(h.fd, bytes, blockSize)) return false;
    const uint64_t folders = FoldersToPush(h.fd, std::min(bytes, kJournalLimit), blockSize);
    const bool xfs = FileSystemKind(h.fd) == FsKind::Xfs;
    auto push = [&](int fd) {
        if (xfs) {
            JournalPushOutcome a =
                PushLogWithAttributes(fd, std::min(bytes, kJournalLimit), blockSize, stop);
            // Attributes refused: folders instead.
            if (a.folders > 0 || a.error != EOPNOTSUPP) return a;
        }
        return PushJournal(fd, folders, stop);
    };
    JournalPushOutcome p = push(h.fd);
    // Removed by the run, or not ours to write in: the next one up.
    for (size_t i = 0; i < h.above.size() && p.folders == 0 &&
                       (p.error == ENOENT || p.error == EACCES || p.error == EPERM);
         ++i)
        p = push(h.above[i]);
    return p.done && p.left == 0 && p.folders > 0 && bytes <= kJournalLimit;
}

std::vector<NameJournals::Outcome> NameJournals::ClearAll(const std::atomic<bool>& stop,
                                                          uint64_t metadataLimit) {
    std::vector<Outcome> out;
    for (const Held& h : held_) {
        if (h.btrfs) {
            if (stop.load()) continue;
            MetadataFillOutcome m = OverwriteFreeMetadata(h.fd, metadataLimit, stop);
            // Removed by the run, or not ours to write in: the next one up.
            for (size_t i = 0; i < h.above.size() && m.entries == 0 &&
                               (m.error == ENOENT || m.error == EACCES || m.error == EPERM);
                 ++i)
                m = OverwriteFreeMetadata(h.above[i], metadataLimit, stop);
            if (!stop.load()) out.push_back({h.folder, m.done && m.left == 0, true});
            continue;
        }
        if (h.push) {
            if (stop.load()) continue;
            out.push_back({h.folder, PushAbove(h, stop)});
            continue;
        }
        // The last folder blocks freed must be written home first, so the
        // journal is committed before it is cleared.
        (void)::syncfs(h.fd);
        // An ext4 without a journal (ENODEV) keeps no copies to clear.
        const bool cleared = CheckpointJournal(h.fd, true) || errno == ENODEV;
        out.push_back({h.folder, cleared});
    }
    return out;
}

}  // namespace fsys
