#include "platform/NameJournal.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "config/TextConv.h"
#include "platform/FileSystem.h"
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
    return ::geteuid() == 0;
}

NameJournals::~NameJournals() {
    for (const Held& h : held_) {
        ::close(h.fd);
        if (h.parent >= 0) ::close(h.parent);
    }
}

void NameJournals::Note(const std::u16string& folderPath) {
    if (!seen_.insert(folderPath).second) return;
    std::string os;
    if (!OsPath(folderPath, os)) return;
    // Only looked at, asked to write its journal, or given a private folder of
    // our own: following a link here cannot change any entry.
    int fd = ::open(os.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    const bool btrfs = OnBtrfs(fd);
    if (!(btrfs || (OnExtFileSystem(fd) && MayCheckpointJournals())) || ::fstat(fd, &st) != 0 ||
        std::any_of(held_.begin(), held_.end(),
                    [&](const Held& h) { return h.device == st.st_dev; })) {
        ::close(fd);
        return;
    }
    int parent = -1;
    if (btrfs) {
        // The folder may be gone when the run ends; then its parent on the same
        // file system serves (a mount's root is never removed).
        parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat up {};
        if (parent >= 0 && (::fstat(parent, &up) != 0 || up.st_dev != st.st_dev)) {
            ::close(parent);
            parent = -1;
        }
    }
    held_.push_back({static_cast<uint64_t>(st.st_dev), fd, parent, folderPath, btrfs});
}

std::vector<NameJournals::Outcome> NameJournals::ClearAll(const std::atomic<bool>& stop,
                                                          uint64_t metadataLimit) {
    std::vector<Outcome> out;
    for (const Held& h : held_) {
        if (h.btrfs) {
            if (stop.load()) continue;
            MetadataFillOutcome m = OverwriteFreeMetadata(h.fd, metadataLimit, stop);
            if (m.entries == 0 && m.error == ENOENT && h.parent >= 0)
                m = OverwriteFreeMetadata(h.parent, metadataLimit, stop);
            if (!stop.load()) out.push_back({h.folder, m.done && m.left == 0, true});
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
