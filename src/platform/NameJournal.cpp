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
    for (const Held& h : held_) ::close(h.fd);
}

void NameJournals::Note(const std::u16string& folderPath) {
    if (!seen_.insert(folderPath).second) return;
    std::string os;
    if (!OsPath(folderPath, os)) return;
    // Only looked at and asked to write its journal: following a link here
    // cannot change any entry.
    const int fd = ::open(os.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (!OnExtFileSystem(fd) || ::fstat(fd, &st) != 0 ||
        std::any_of(held_.begin(), held_.end(),
                    [&](const Held& h) { return h.device == st.st_dev; })) {
        ::close(fd);
        return;
    }
    held_.push_back({static_cast<uint64_t>(st.st_dev), fd, folderPath});
}

std::vector<NameJournals::Outcome> NameJournals::ClearAll() {
    std::vector<Outcome> out;
    for (const Held& h : held_) {
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
