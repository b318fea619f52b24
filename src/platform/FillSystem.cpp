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

}  // namespace

bool ProcessMayUseRootReserve() {
    if (::geteuid() == 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_SYS_RESOURCE / 32].effective & (1u << (CAP_SYS_RESOURCE % 32))) != 0;
}

FsKind FileSystemKind(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return FsKind::Other;
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
        default:
            return FsKind::Other;
    }
}

int TrimFileSystem(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    fstrim_range range{0, ULLONG_MAX, 0};
    int err = ::ioctl(fd, FITRIM, &range) == 0 ? 0 : errno;
    ::close(fd);
    return err;
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
        case FsKind::Other:
            break;
    }
    return "other";
}

FillSystemCalls DefaultFillSystemCalls() {
    return {ProcessMayUseRootReserve, FileSystemKind, TrimFileSystem};
}

FillSystemCalls& FillSystem() {
    static FillSystemCalls calls = DefaultFillSystemCalls();
    return calls;
}
