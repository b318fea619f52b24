#include "engine/FillerRecovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <tuple>

namespace {

std::string AsFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

bool SameBirth(const struct statx& sx, const FillerEntry& e) {
    if (e.birthSec == 0 && e.birthNsec == 0) return true;  // the file system keeps none
    return (sx.stx_mask & STATX_BTIME) && sx.stx_btime.tv_sec == e.birthSec &&
           sx.stx_btime.tv_nsec == e.birthNsec;
}

// The open file `fd` is the one `e` describes, and still ours.
bool IsRecordedFile(int fd, const FillerEntry& e, uint64_t& bytes) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
    bytes = sx.stx_size;
    if (!S_ISREG(sx.stx_mode) || sx.stx_uid != ::geteuid() ||
        ::makedev(sx.stx_dev_major, sx.stx_dev_minor) != e.dev || sx.stx_ino != e.ino ||
        !SameBirth(sx, e))
        return false;
    char mark[4];
    return !e.marked || ::fgetxattr(fd, kFillerMark, mark, sizeof mark) == 1;
}

enum class Step { Deleted, Gone, Kept, Failed };

Step RemoveOne(int dfd, const FillerEntry& e, FillerFile& file) {
    // Opened without following a link and without waiting on a FIFO; what we
    // look at is the very inode the name leads to.
    int fd =
        ::openat(dfd, e.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Step::Gone : Step::Kept;
    const bool ours = IsRecordedFile(fd, e, file.bytes);
    ::close(fd);
    if (!ours) return Step::Kept;
    if (::unlinkat(dfd, e.name.c_str(), 0) == 0) return Step::Deleted;
    file.error = errno;
    return file.error == ENOENT ? Step::Gone : Step::Failed;
}

}  // namespace

std::string FillRecordPath(const std::string& storageFolder) {
    return AsFolder(storageFolder) + "FreeSpaceRun.record";
}

FillerRecovery RecoverFillers(const std::string& recordPath) {
    FillerRecovery out;
    if (recordPath.empty()) return out;
    RecordRead record = ReadFillRecord(recordPath);
    out.trust = record.trust;
    if (record.trust == RecordTrust::OldFormat) {
        // It names folders and a name pattern only: no proof of any file.
        ClearFillRecord(recordPath);
        return out;
    }
    if (record.trust != RecordTrust::Trusted) return out;

    std::map<std::tuple<std::string, uint64_t, uint64_t>, std::vector<const FillerEntry*>> byFolder;
    for (const FillerEntry& e : record.entries)
        byFolder[{e.folder, e.folderDev, e.folderIno}].push_back(&e);
    std::vector<FillerEntry> remaining;
    for (const auto& [key, entries] : byFolder) {
        const std::string& folder = std::get<0>(key);
        int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        const bool sameFolder = dfd >= 0 && ::fstat(dfd, &st) == 0 &&
                                st.st_dev == std::get<1>(key) && st.st_ino == std::get<2>(key);
        for (const FillerEntry* e : entries) {
            if (!sameFolder) {
                out.kept.push_back(folder + e->name);
                continue;
            }
            FillerFile file{folder + e->name, 0, 0};
            switch (RemoveOne(dfd, *e, file)) {
                case Step::Deleted:
                    out.deleted.push_back(std::move(file));
                    break;
                case Step::Failed:
                    out.deleted.push_back(std::move(file));
                    remaining.push_back(*e);
                    break;
                case Step::Kept:
                    out.kept.push_back(std::move(file.path));
                    break;
                case Step::Gone:
                    break;
            }
        }
        if (dfd >= 0) ::close(dfd);
    }
    (void)RewriteFillRecord(recordPath, remaining);
    return out;
}
