#include "platform/FillSystem.h"

#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/StorageFacts.h"
#include "platform/XfsGeometry.h"

namespace {

constexpr long kXfsMagic = 0x58465342;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kZfsMagic = 0x2fc12fc1;
constexpr long kBcachefsMagic = 0xca451a4e;
constexpr long kF2fsMagic = 0xF2F52010;
constexpr long kNilfsMagic = 0x3434;

// Blocks per allocation group that xfs withholds from every allocation so that
// it can always refill the group's free list (4) and split a block map (4); the
// free list's own blocks are among them and are never written by a file.
constexpr uint64_t kXfsSetAsidePerGroup = 8;

KeptBack XfsKeptBack(int dirFd) {
    XfsGeometryV1 g{};
    if (!ReadXfsGeometry(dirFd, g) || g.agcount == 0 || g.blocksize == 0) return {};
    return {uint64_t{g.agcount} * kXfsSetAsidePerGroup * g.blocksize, "xfs-free-lists"};
}

// Space of the devices given to no chunk yet: a chunk freed earlier (by a
// balance, or emptied) gave its blocks back there with whatever they held, and
// a full data fill cannot take the last of it when metadata may need it.
// The clusters ext4 keeps for its own metadata when the disk is full (2 % of it,
// at most 4096 clusters), which no file is given, root's neither; the count is
// in /sys/fs/ext4/<device>/reserved_clusters.
KeptBack Ext4KeptBack(int dirFd) {
    struct stat st {};
    struct statvfs vfs {};
    if (::fstat(dirFd, &st) != 0 || ::fstatvfs(dirFd, &vfs) != 0) return {};
    const std::string sys = storage::CurrentRoots().sys;
    char link[PATH_MAX];
    const std::string dev = sys + "/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                            std::to_string(minor(st.st_dev));
    const ssize_t n = ::readlink(dev.c_str(), link, sizeof link - 1);
    if (n <= 0) return {};
    std::string name(link, static_cast<size_t>(n));
    name = name.substr(name.find_last_of('/') + 1);
    const int fd =
        ::open((sys + "/fs/ext4/" + name + "/reserved_clusters").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buf[32] = {};
    const ssize_t got = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (got <= 0) return {};
    const uint64_t clusters = std::strtoull(buf, nullptr, 10);
    const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    return {clusters * unit, "ext4-reserved-clusters"};
}

constexpr uint64_t kBtrfsDeviceReserved = 1 << 20;

KeptBack BtrfsKeptBack(int dirFd) {
    btrfs_ioctl_fs_info_args fs{};
    if (::ioctl(dirFd, BTRFS_IOC_FS_INFO, &fs) != 0) return {};
    uint64_t unallocated = 0;
    for (uint64_t id = 0; id <= fs.max_id; ++id) {
        btrfs_ioctl_dev_info_args dev{};
        dev.devid = id;
        if (::ioctl(dirFd, BTRFS_IOC_DEV_INFO, &dev) != 0) continue;
        // The first MiB of every device is never given to a chunk (it holds the
        // superblock and room for a boot loader): no file's data was ever there.
        const uint64_t used = dev.bytes_used + kBtrfsDeviceReserved;
        if (dev.total_bytes > used) unallocated += dev.total_bytes - used;
    }
    return {unallocated, "btrfs-unallocated"};
}

}  // namespace

bool ProcessMayUseRootReserve() {
    if (::geteuid() == 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_SYS_RESOURCE / 32].effective & (1u << (CAP_SYS_RESOURCE % 32))) != 0;
}

FsKind FileSystemKind(int dirFd) {
    struct statfs fs {};
    if (::fstatfs(dirFd, &fs) != 0) return FsKind::Other;
    switch (static_cast<long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
            return FsKind::Ext4;  // also ext2 and ext3
        case kXfsMagic:
            return FsKind::Xfs;
        case BTRFS_SUPER_MAGIC:
            return FsKind::Btrfs;
        case TMPFS_MAGIC:
            return FsKind::Tmpfs;
        case MSDOS_SUPER_MAGIC:
            return FsKind::Vfat;
        case kExfatMagic:
            return FsKind::Exfat;
        case kZfsMagic:
            return FsKind::Zfs;
        case kBcachefsMagic:
            return FsKind::Bcachefs;
        case kF2fsMagic:
            return FsKind::F2fs;
        case kNilfsMagic:
            return FsKind::Nilfs2;
        default:
            return FsKind::Other;
    }
}

int SyncFillFile(int fd, bool dataOnly) {
    return (dataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : errno;
}

int TrimFileSystem(int dirFd) {
    fstrim_range range{0, ULLONG_MAX, 0};
    return ::ioctl(dirFd, FITRIM, &range) == 0 ? 0 : errno;
}

KeptBack FileSystemKeptBack(int dirFd, FsKind kind) {
    if (kind == FsKind::Ext4) return Ext4KeptBack(dirFd);
    if (kind == FsKind::Xfs) return XfsKeptBack(dirFd);
    if (kind == FsKind::Btrfs) return BtrfsKeptBack(dirFd);
    return {};
}

bool IsCopyOnWrite(FsKind kind) {
    return kind == FsKind::Btrfs || kind == FsKind::Zfs || kind == FsKind::Bcachefs ||
           kind == FsKind::F2fs || kind == FsKind::Nilfs2;
}

const char* FsKindName(FsKind kind) {
    switch (kind) {
        case FsKind::Ext4:
            return "ext4";
        case FsKind::Xfs:
            return "xfs";
        case FsKind::Btrfs:
            return "btrfs";
        case FsKind::Tmpfs:
            return "tmpfs";
        case FsKind::Vfat:
            return "vfat";
        case FsKind::Exfat:
            return "exfat";
        case FsKind::Zfs:
            return "zfs";
        case FsKind::Bcachefs:
            return "bcachefs";
        case FsKind::F2fs:
            return "f2fs";
        case FsKind::Nilfs2:
            return "nilfs2";
        case FsKind::Other:
            break;
    }
    return "other";
}

FillSystemCalls DefaultFillSystemCalls() {
    return {ProcessMayUseRootReserve, FileSystemKind, SyncFillFile, TrimFileSystem,
            FileSystemKeptBack};
}

FillSystemCalls& FillSystem() {
    static FillSystemCalls calls = DefaultFillSystemCalls();
    return calls;
}
