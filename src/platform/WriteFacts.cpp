#include "platform/WriteFacts.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/FileSystem.h"

namespace fsys {

namespace {

bool MayChangeMode(const struct stat& st) {
    const uid_t me = ::geteuid();
    return me == 0 || st.st_uid == me;
}

}  // namespace

WriteFacts GatherWriteFacts(const std::string& path) {
    WriteFacts f;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return f;
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    // O_PATH would not do for the flags' ioctl; a read-only open of a regular file
    // changes nothing (O_NONBLOCK: a FIFO put in its place does not wait).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st {};
    if (fd >= 0 ? ::fstat(fd, &st) != 0 : ::lstat(path.c_str(), &st) != 0) {
        if (fd >= 0) ::close(fd);
        return f;
    }
    if (!S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return f;
    }
    f.known = true;
    struct statvfs vfs {};
    if ((fd >= 0 ? ::fstatvfs(fd, &vfs) : ::statvfs(folder.c_str(), &vfs)) == 0)
        f.readOnlyMount = (vfs.f_flag & ST_RDONLY) != 0;
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        f.immutable = (flags & FS_IMMUTABLE_FL) != 0;
        f.appendOnly = (flags & FS_APPEND_FL) != 0;
    }
    if (fd >= 0) ::close(fd);
    f.noWriteBits = IsReadOnlyMode(st.st_mode);
    f.ownWrite = (st.st_mode & S_IWUSR) != 0;
    f.owned = MayChangeMode(st);
    f.mayWrite = ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
    struct stat dst {};
    if (::stat(folder.c_str(), &dst) == 0) {
        f.folderOwnWrite = (dst.st_mode & S_IWUSR) != 0;
        f.folderOwned = MayChangeMode(dst);
        f.folderMayWrite = ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    }
    return f;
}

}  // namespace fsys
