#include "platform/MetadataFill.h"

#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/btrfs_tree.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// What one entry takes in the tree: its name three times (two folder items and
// the inode's back reference) and its inode item, each with an item header.
constexpr uint64_t kEntryBytes = 1024;
// The dirty tree blocks are written out this often, so that they reach the
// disk before they are removed.
constexpr uint64_t kSyncEvery = 16384;
constexpr uint64_t kCheckEvery = 1024;

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

bool OnBtrfs(int fd) {
    struct statfs st {};
    return ::fstatfs(fd, &st) == 0 && st.f_type == BTRFS_SUPER_MAGIC;
}

bool BtrfsFsid(int fd, BtrfsId& id) {
    if (!OnBtrfs(fd)) return false;
    btrfs_ioctl_fs_info_args info{};
    if (::ioctl(fd, BTRFS_IOC_FS_INFO, &info) != 0) return false;
    std::copy(std::begin(info.fsid), std::end(info.fsid), id.begin());
    return true;
}

bool MetadataSpace(int fd, uint64_t& total, uint64_t& used) {
    if (!OnBtrfs(fd)) return false;
    btrfs_ioctl_space_args head{};
    if (::ioctl(fd, BTRFS_IOC_SPACE_INFO, &head) != 0) return false;
    const uint64_t slots = std::min<uint64_t>(head.total_spaces, 64);
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

MetadataFillOutcome OverwriteFreeMetadata(int folderFd, uint64_t limitBytes,
                                          const std::atomic<bool>& stop) {
    MetadataFillOutcome out;
    uint64_t total = 0, used = 0;
    if (!MetadataSpace(folderFd, total, used)) {
        out.error = EOPNOTSUPP;
        return out;
    }
    const uint64_t goal = std::min(limitBytes, (total - std::min(total, used)) / 2 * 3);
    const uint64_t count = goal / kEntryBytes + 1;

    const std::string folderName = PrivateFolderName();
    if (::mkdirat(folderFd, folderName.c_str(), 0700) != 0) {
        out.full = Full(errno);
        out.done = out.full;
        out.error = out.full ? 0 : errno;
        return out;
    }
    // Ours only while it is the folder just made: held by descriptor from here.
    const int dir =
        ::openat(folderFd, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        out.error = errno;
        return out;
    }
    struct stat held {};
    (void)::fstat(dir, &held);

    uint64_t made = 0;
    for (; made < count && !stop.load(); ++made) {
        const int fd = ::openat(dir, EntryName(made).c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (Full(errno))
                out.full = true;
            else
                out.error = errno;
            break;
        }
        ::close(fd);
        if ((made + 1) % kSyncEvery == 0) (void)::syncfs(dir);
        // Once as much is in use as there was metadata space at the start,
        // every block free then has been taken. Stopping there rather than
        // at a full file system keeps the removal quick: a btrfs without
        // room to spare commits its transaction for every entry it removes.
        uint64_t t = 0, u = 0;
        if ((made + 1) % kCheckEvery == 0 && MetadataSpace(dir, t, u) && u >= total) {
            ++made;
            break;
        }
    }
    out.entries = made;
    out.done = !stop.load() && out.error == 0;
    // Written out before they go, or the blocks would never reach the disk.
    if (::syncfs(dir) != 0 && out.error == 0) {
        out.error = errno;
        out.done = false;
    }
    for (uint64_t i = 0; i < made; ++i)
        if (::unlinkat(dir, EntryName(i).c_str(), 0) != 0 && errno != ENOENT) ++out.left;
    (void)::syncfs(dir);
    ::close(dir);
    // The name may have been moved meanwhile: only the folder made here goes.
    struct stat now {};
    if (out.left == 0 && ::fstatat(folderFd, folderName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == held.st_dev && now.st_ino == held.st_ino)
        (void)::unlinkat(folderFd, folderName.c_str(), AT_REMOVEDIR);
    return out;
}

}  // namespace fsys
