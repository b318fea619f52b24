#include "platform/JournalPush.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/FillSystem.h"
#include "platform/XfsGeometry.h"

namespace {

// Folders made before a round is written out and removed: the disk space a
// push holds at once is this many folder blocks.
constexpr uint64_t kRound = 4096;
// What xfs logs for a new folder: its inode and its entry in the folder above.
constexpr uint64_t kXfsBytesPerFolder = 512;

bool Full(int err) {
    return err == ENOSPC || err == EDQUOT;
}

std::string PrivateFolderName() {
    std::random_device rd;
    char buf[48];
    std::snprintf(buf, sizeof buf, ".kelvane-journal-%08x%08x", rd(), rd());
    return buf;
}

std::string FolderName(uint64_t i) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(i));
    return buf;
}

// The kernel's name of the block device `dev` ("loop0", "sda1", "dm-2").
std::string BlockDeviceName(dev_t dev, const std::string& sysRoot) {
    char link[4096];
    const std::string at =
        sysRoot + "/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    const ssize_t n = ::readlink(at.c_str(), link, sizeof link - 1);
    if (n <= 0) return {};
    const std::string target(link, static_cast<size_t>(n));
    return target.substr(target.rfind('/') + 1);
}

// ext4: the journal's largest transaction, "each up to N blocks", is a third
// (older kernels: a quarter) of the journal; four times it covers either.
bool Ext4JournalBlocks(dev_t dev, const std::string& procRoot, const std::string& sysRoot,
                       uint64_t& blocks) {
    const std::string name = BlockDeviceName(dev, sysRoot);
    if (name.empty()) return false;
    std::ifstream info(procRoot + "/fs/jbd2/" + name + "-8/info");
    std::string line;
    if (!std::getline(info, line)) return false;
    const size_t at = line.find("each up to ");
    if (at == std::string::npos) return false;
    const unsigned long long most = std::strtoull(line.c_str() + at + 11, nullptr, 10);
    if (most == 0) return false;
    blocks = most * 4;
    return true;
}

}  // namespace

namespace fsys {

bool JournalSize(int fd, uint64_t& bytes, uint64_t& blockSize, const std::string& procRoot,
                 const std::string& sysRoot) {
    struct stat st {};
    struct statfs sf {};
    if (::fstat(fd, &st) != 0 || ::fstatfs(fd, &sf) != 0) return false;
    switch (FileSystemKind(fd)) {
        case FsKind::Ext4: {
            uint64_t blocks = 0;
            if (!Ext4JournalBlocks(st.st_dev, procRoot, sysRoot, blocks)) return false;
            blockSize = static_cast<uint64_t>(sf.f_bsize);
            bytes = blocks * blockSize;
            return true;
        }
        case FsKind::Xfs: {
            XfsGeometryV1 g{};
            if (!ReadXfsGeometry(fd, g) || g.logblocks == 0) return false;
            // An external log lies on another device, which a push reaches too.
            blockSize = g.blocksize;
            bytes = uint64_t{g.logblocks} * g.blocksize;
            return true;
        }
        default:
            return false;
    }
}

uint64_t FoldersToPush(int fd, uint64_t bytes, uint64_t blockSize) {
    if (FileSystemKind(fd) == FsKind::Xfs) return bytes / kXfsBytesPerFolder;
    return blockSize == 0 ? 0 : bytes / blockSize;
}

JournalPushOutcome PushJournal(int folderFd, uint64_t folders, const std::atomic<bool>& stop) {
    JournalPushOutcome out;
    const std::string folderName = PrivateFolderName();
    if (::mkdirat(folderFd, folderName.c_str(), 0700) != 0) {
        out.done = Full(errno);
        out.error = out.done ? 0 : errno;
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
    int err = 0;
    while (out.folders < folders && err == 0 && !stop.load()) {
        const uint64_t first = out.folders;
        const uint64_t end = std::min(folders, first + kRound);
        uint64_t made = first;
        for (; made < end && !stop.load(); ++made) {
            if (::mkdirat(dir, FolderName(made).c_str(), 0700) != 0) {
                err = errno;
                break;
            }
        }
        // Written to the journal before they go: a folder block made and freed
        // within one transaction is never written at all.
        if (::syncfs(dir) != 0 && err == 0) err = errno;
        for (uint64_t i = first; i < made; ++i)
            if (::unlinkat(dir, FolderName(i).c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
                ++out.left;
        out.folders = made;
    }
    // The removals too, so that nothing of the push is left for later.
    (void)::syncfs(dir);
    ::close(dir);
    out.done = !stop.load() && (err == 0 || Full(err));
    out.error = out.done ? 0 : err;
    struct stat now {};
    if (out.left == 0 && ::fstatat(folderFd, folderName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == held.st_dev && now.st_ino == held.st_ino)
        (void)::unlinkat(folderFd, folderName.c_str(), AT_REMOVEDIR);
    return out;
}

JournalPushOutcome PushLogWithAttributes(int folderFd, uint64_t bytes, uint64_t blockSize,
                                         const std::atomic<bool>& stop) {
    JournalPushOutcome out;
    if (blockSize < 1024) blockSize = 4096;
    // A value that stays in the attribute block (xfs keeps up to three
    // quarters of a block there), so each one takes a block of its own.
    const std::vector<char> value(blockSize / 4 * 3 - 128, 'k');
    // An eighth more: the log is never used exactly to its end.
    const uint64_t wanted = bytes / blockSize + bytes / blockSize / 8 + 1;
    const int file = ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (file < 0) {
        out.error = errno;
        return out;
    }
    int err = 0;
    for (; out.folders < wanted && !stop.load(); ++out.folders) {
        char name[40];
        std::snprintf(name, sizeof name, "user.kelvane.%016llx",
                      static_cast<unsigned long long>(out.folders));
        if (::fsetxattr(file, name, value.data(), value.size(), XATTR_CREATE) != 0) {
            err = errno;
            break;
        }
        // Written out as they pile up, so the log goes round and round.
        if ((out.folders + 1) % kRound == 0) (void)::syncfs(file);
    }
    // Into the log before the file and its attributes go with the descriptor.
    if (::syncfs(file) != 0 && err == 0) err = errno;
    ::close(file);
    (void)::syncfs(folderFd);
    if (out.folders == 0 && err != 0 && !Full(err)) {
        out.error = err == ENOTSUP ? EOPNOTSUPP : err;
        return out;
    }
    out.done = !stop.load() && (err == 0 || Full(err));
    out.error = out.done ? 0 : err;
    return out;
}

}  // namespace fsys
