#include "platform/MetadataFill.h"

#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/btrfs_tree.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/FillSystem.h"

namespace {

// What one entry takes in the tree: its name three times (two folder items and
// the inode's back reference) and its inode item, each with an item header.
constexpr uint64_t kEntryBytes = 1024;

bool Full(int err) {
    return err == ENOSPC || err == EDQUOT;
}

// The name of entry `i`: its number, then filler up to the longest name.
std::string EntryName(uint64_t i) {
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(i));
    std::string name(255, 'k');
    name.replace(0, 16, digits);
    return name;
}

std::string PrivateFolderName() {
    std::random_device rd;
    char buf[40];
    std::snprintf(buf, sizeof buf, ".kelvane-names-%08x%08x", rd(), rd());
    return buf;
}

}  // namespace

namespace fsys {

bool BtrfsFsid(int fd, BtrfsId& id) {
    if (FileSystemKind(fd) != FsKind::Btrfs) return false;
    btrfs_ioctl_fs_info_args info{};
    if (::ioctl(fd, BTRFS_IOC_FS_INFO, &info) != 0) return false;
    std::copy(std::begin(info.fsid), std::end(info.fsid), id.begin());
    return true;
}

bool MetadataSpace(int fd, uint64_t& total, uint64_t& used) {
    if (FileSystemKind(fd) != FsKind::Btrfs) return false;
    // Room for more kinds of space than a btrfs has (about eight): one call.
    constexpr uint64_t slots = 64;
    std::vector<unsigned char> buf(sizeof(btrfs_ioctl_space_args) +
                                   slots * sizeof(btrfs_ioctl_space_info));
    auto* args = reinterpret_cast<btrfs_ioctl_space_args*>(buf.data());
    args->space_slots = slots;
    if (::ioctl(fd, BTRFS_IOC_SPACE_INFO, args) != 0) return false;
    total = used = 0;
    for (uint64_t i = 0; i < std::min<uint64_t>(args->total_spaces, slots); ++i) {
        const btrfs_ioctl_space_info& s = args->spaces[i];
        if (!(s.flags & BTRFS_BLOCK_GROUP_METADATA)) continue;
        total += s.total_bytes;
        used += s.used_bytes;
    }
    return total > 0;
}

}  // namespace fsys

namespace {

using fsys::MetadataSpace;

// What the fill goes by: the bytes it wrote against the goal, and whether the
// metadata space in use has reached what there was at the start.
struct FillGauge {
    int dir;
    uint64_t enough;  // metadata space in use that ends the fill
    uint64_t goal;    // bytes at most
    uint64_t written = 0;
    uint64_t sinceSync = 0;
    uint64_t sinceCheck = 0;

    // After `bytes` more: true when the fill has done enough.
    bool Enough(uint64_t bytes) {
        written += bytes;
        sinceSync += bytes;
        sinceCheck += bytes;
        // The dirty tree blocks are written out as they pile up, so that they
        // reach the disk before they are removed.
        if (sinceSync >= kSyncBytes) {
            sinceSync = 0;
            (void)::syncfs(dir);
        }
        if (written >= goal) return true;
        if (sinceCheck < kCheckBytes) return false;
        sinceCheck = 0;
        // Once more is in use than there was metadata space at the start,
        // every block free then has been taken (a quarter of the free space
        // again covers blocks the allocator passed over for new ones).
        // Stopping there rather than at a full file system keeps the removal
        // quick: a btrfs without room to spare commits its transaction for
        // every item it removes.
        uint64_t t = 0, u = 0;
        return MetadataSpace(dir, t, u) && u >= enough;
    }
    static constexpr uint64_t kSyncBytes = uint64_t{16} << 20;
    static constexpr uint64_t kCheckBytes = uint64_t{1} << 20;
};

// Attributes of the file `fd`, each nearly a whole tree block: the quickest
// way to take metadata space. 0, or the errno that stopped it.
int FillWithAttributes(int fd, FillGauge& gauge, uint64_t nodeSize, const std::atomic<bool>& stop,
                       uint64_t& items) {
    size_t size = static_cast<size_t>(std::clamp<uint64_t>(nodeSize, 4096, 65536) - 512);
    const std::vector<char> value(size, 'k');
    int err = 0;
    while (!stop.load()) {
        char name[32];
        std::snprintf(name, sizeof name, "user.kelvane.%016llx",
                      static_cast<unsigned long long>(items));
        if (::fsetxattr(fd, name, value.data(), size, XATTR_CREATE) == 0) {
            ++items;
            if (gauge.Enough(size + 64)) break;
            continue;
        }
        err = errno;
        // Too big for this file system's tree blocks: smaller ones.
        if ((err == E2BIG || err == ERANGE) && size > 1024) {
            size /= 2;
            err = 0;
            continue;
        }
        break;
    }
    return err;
}

// The outcome of a fill that ended with `err`, once what it made is written
// out: before it goes, or its blocks would never reach the disk.
void EndFill(fsys::MetadataFillOutcome& out, int err, const std::atomic<bool>& stop, int syncFd) {
    out.full = Full(err);
    out.error = out.full ? 0 : err;
    out.done = !stop.load() && out.error == 0;
    if (syncFd >= 0 && ::syncfs(syncFd) != 0 && out.error == 0) {
        out.error = errno;
        out.done = false;
    }
}

// Empty files under the longest names: slower, but any btrfs takes them.
int FillWithEntries(int dir, FillGauge& gauge, const std::atomic<bool>& stop, uint64_t& made) {
    while (!stop.load()) {
        const int fd = ::openat(dir, EntryName(made).c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return errno;
        ::close(fd);
        ++made;
        if (gauge.Enough(kEntryBytes)) break;
    }
    return 0;
}

void FillWithEntriesInPrivateFolder(int folderFd, FillGauge& gauge, const std::atomic<bool>& stop,
                                    fsys::MetadataFillOutcome& out) {
    const std::string folderName = PrivateFolderName();
    if (::mkdirat(folderFd, folderName.c_str(), 0700) != 0) {
        out.full = Full(errno);
        out.done = out.full;
        out.error = out.full ? 0 : errno;
        return;
    }
    // Ours only while it is the folder just made: held by descriptor from here.
    const int dir =
        ::openat(folderFd, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        out.error = errno;
        return;
    }
    struct stat held {};
    (void)::fstat(dir, &held);
    gauge.dir = dir;
    uint64_t made = 0;
    const int err = FillWithEntries(dir, gauge, stop, made);
    out.entries = made;
    EndFill(out, err, stop, dir);
    for (uint64_t i = 0; i < made; ++i)
        if (::unlinkat(dir, EntryName(i).c_str(), 0) != 0 && errno != ENOENT) ++out.left;
    (void)::syncfs(dir);
    ::close(dir);
    // The name may have been moved meanwhile: only the folder made here goes.
    struct stat now {};
    if (out.left == 0 && ::fstatat(folderFd, folderName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == held.st_dev && now.st_ino == held.st_ino)
        (void)::unlinkat(folderFd, folderName.c_str(), AT_REMOVEDIR);
}

}  // namespace

namespace fsys {

MetadataFillOutcome OverwriteFreeMetadata(int folderFd, uint64_t limitBytes,
                                          const std::atomic<bool>& stop) {
    MetadataFillOutcome out;
    uint64_t total = 0, used = 0;
    if (!MetadataSpace(folderFd, total, used)) {
        out.error = EOPNOTSUPP;
        return out;
    }
    btrfs_ioctl_fs_info_args info{};
    const uint64_t nodeSize =
        ::ioctl(folderFd, BTRFS_IOC_FS_INFO, &info) == 0 && info.nodesize ? info.nodesize : 16384;

    const uint64_t free = total - std::min(total, used);
    FillGauge gauge{folderFd, total + free / 4, std::min(limitBytes, free / 2 * 3)};
    // A file without a name: nothing shows in the folder, and a crash leaves
    // nothing behind (the file system drops it when it is mounted again).
    uint64_t attributes = 0;
    int err = 0;
    const int file = ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (file < 0) {
        err = errno;
        // The folder is gone, or not ours to write in: the caller tries another.
        if (err == ENOENT || err == EACCES || err == EPERM || err == EROFS) {
            out.error = err;
            return out;
        }
    } else {
        err = FillWithAttributes(file, gauge, nodeSize, stop, attributes);
    }
    if (attributes > 0 || Full(err) || stop.load()) {
        out.entries = attributes;
        EndFill(out, err, stop, file);
        if (file >= 0) ::close(file);
        (void)::syncfs(folderFd);
        return out;
    }
    if (file >= 0) ::close(file);
    // Attributes refused (a security module, say): empty files under long
    // names, in a private folder, instead.
    FillWithEntriesInPrivateFolder(folderFd, gauge, stop, out);
    return out;
}

}  // namespace fsys
