#include "platform/FillSystem.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

constexpr long kXfsMagic = 0x58465342;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kZfsMagic = 0x2fc12fc1;
constexpr long kBcachefsMagic = 0xca451a4e;
constexpr long kF2fsMagic = 0xF2F52010;
constexpr long kNilfsMagic = 0x3434;

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
    return {ProcessMayUseRootReserve, FileSystemKind, SyncFillFile, TrimFileSystem};
}

FillSystemCalls& FillSystem() {
    static FillSystemCalls calls = DefaultFillSystemCalls();
    return calls;
}
