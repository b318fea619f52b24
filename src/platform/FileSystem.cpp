#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "config/TextConv.h"

namespace fsys {

namespace {

Kind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return Kind::kFile;
    if (S_ISDIR(mode)) return Kind::kFolder;
    if (S_ISLNK(mode)) return Kind::kLink;
    return Kind::kOther;
}

}  // namespace

void FillAttributes(const struct stat& st, Attributes& out) {
    out.kind = KindOfMode(st.st_mode);
    out.mode = static_cast<uint32_t>(st.st_mode & 07777);
    out.size = static_cast<int64_t>(st.st_size);
    out.modified = static_cast<int64_t>(st.st_mtime);
    out.device = static_cast<uint64_t>(st.st_dev);
    out.inode = static_cast<uint64_t>(st.st_ino);
    out.links = static_cast<uint64_t>(st.st_nlink);
    out.owner = static_cast<uint32_t>(st.st_uid);
    out.deviceNode = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
}

namespace {

bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// File systems with neither RENAME_NOREPLACE nor hard links (FAT, exFAT, many
// FUSE ones): a look before a plain rename is no guard, as another thread can
// take the name in between. Instead the name is taken first by an empty entry of
// our own (O_EXCL and mkdir refuse a taken name on every file system, at once),
// and the rename then replaces only that entry: never a file of anyone else.
bool RenameOverReservedName(int folderFd, const std::string& from, const std::string& to) {
    struct stat source {};
    if (::fstatat(folderFd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) return false;
    struct stat mine {};
    if (S_ISDIR(source.st_mode)) {
        if (::mkdirat(folderFd, to.c_str(), 0700) != 0) return false;
        if (::fstatat(folderFd, to.c_str(), &mine, AT_SYMLINK_NOFOLLOW) != 0) return false;
    } else {
        const int fd = ::openat(folderFd, to.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        const bool known = ::fstat(fd, &mine) == 0;
        // Closed before the rename: an open file that gets replaced would be kept
        // under a hidden name on FUSE.
        ::close(fd);
        if (!known) {
            ::unlinkat(folderFd, to.c_str(), 0);
            return false;
        }
    }
    auto dropReserved = [&] {
        const int saved = errno;
        struct stat now {};
        if (::fstatat(folderFd, to.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameEntry(now, mine))
            (void)::unlinkat(folderFd, to.c_str(), S_ISDIR(mine.st_mode) ? AT_REMOVEDIR : 0);
        errno = saved;
    };
    struct stat now {};
    if (::fstatat(folderFd, to.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameEntry(now, mine)) {
        errno = EEXIST;  // someone else's entry took its place
        return false;
    }
    if (::renameat(folderFd, from.c_str(), folderFd, to.c_str()) == 0) return true;
    dropReserved();
    return false;
}

}  // namespace

bool LinkAndUnlinkAt(int folderFd, const std::string& from, const std::string& to) {
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) == 0) {
        if (::unlinkat(folderFd, from.c_str(), 0) == 0) return true;
        // Leave things as they were rather than with two names.
        ::unlinkat(folderFd, to.c_str(), 0);
        return false;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS) return false;
    return RenameOverReservedName(folderFd, from, to);
}

bool OsPath(const std::u16string& path, std::string& out) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return false;
    out = Utf8FromWide(path);
    return true;
}

bool GetAttributes(const std::u16string& path, Attributes& out) {
    out = Attributes{};
    std::string p;
    if (!OsPath(path, p)) {
        out.kind = path.empty() ? Kind::kMissing : Kind::kUnreadable;
        return false;
    }
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
        out.kind = (errno == ENOENT || errno == ENOTDIR) ? Kind::kMissing : Kind::kUnreadable;
        return false;
    }
    FillAttributes(st, out);
    return true;
}

bool SetPermissions(const std::u16string& path, uint32_t mode) {
    std::string p;
    if (!OsPath(path, p)) return false;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
    const auto bits = static_cast<mode_t>(mode & 07777);
    if (::fchmodat(AT_FDCWD, p.c_str(), bits, AT_SYMLINK_NOFOLLOW) == 0) return true;
    if (errno != ENOTSUP && errno != EOPNOTSUPP) return false;
    // Without /proc the C library cannot do the no-follow form; the lstat above
    // already made sure that this is no link.
    return ::chmod(p.c_str(), bits) == 0;
}

bool RenameNoReplace(const std::u16string& from, const std::u16string& to) {
    std::string f, t;
    if (!OsPath(from, f) || !OsPath(to, t)) return false;
    if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) return false;
    return LinkAndUnlinkAt(AT_FDCWD, f, t);
}

bool RemoveFile(const std::u16string& path) {
    std::string p;
    return OsPath(path, p) && ::unlink(p.c_str()) == 0;
}

bool RemoveFolder(const std::u16string& path) {
    std::string p;
    return OsPath(path, p) && ::rmdir(p.c_str()) == 0;
}

bool IsMountPoint(const std::u16string& path) {
    std::string p;
    if (!OsPath(path, p)) return false;
    struct stat self {
    }, parent{};
    if (::lstat(p.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) return false;
    if (p.back() != '/') p.push_back('/');
    if (::stat((p + "..").c_str(), &parent) != 0) return false;
    if (self.st_dev != parent.st_dev) return true;
    return self.st_ino == parent.st_ino;  // "/" is its own parent
}

File::~File() {
    // The error of the step that failed stays for the caller to read.
    const int saved = errno;
    Close();
    errno = saved;
}

bool File::Open(const std::u16string& path, Mode mode) {
    Close();
    std::string p;
    if (!OsPath(path, p)) return false;
    return OpenAt(AT_FDCWD, p, mode);
}

bool File::OpenAt(int folderFd, const std::string& name, Mode mode, Attributes* opened) {
    Close();
    if (name.empty()) return false;
    // O_NONBLOCK: should the entry have turned into a FIFO since it was looked
    // at, the open must not wait for a partner; it is refused below anyway.
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    switch (mode) {
        case Mode::kRead:
            flags |= O_RDONLY;
            break;
        case Mode::kReadFollowingLinks:
            flags = (flags & ~O_NOFOLLOW) | O_RDONLY;
            break;
        case Mode::kWrite:
            flags |= O_WRONLY;
            break;
        case Mode::kAppend:
            flags |= O_WRONLY | O_APPEND;
            break;
        case Mode::kReadWrite:
            flags |= O_RDWR;
            break;
    }
    int fd = ::openat(folderFd, name.c_str(), flags);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        ok = false;
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    if (ok && (mode == Mode::kWrite || mode == Mode::kAppend || mode == Mode::kReadWrite) &&
        IsReadOnlyMode(st.st_mode)) {
        ok = false;
        errno = EACCES;  // what the system says to anyone but root
    }
    // The status flags are the ones just given: no need to ask for them first.
    if (ok) ok = ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    if (!ok) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    fd_ = fd;
    if (opened) FillAttributes(st, *opened);
    return true;
}

bool File::GetAttributes(Attributes& out) const {
    out = Attributes{};
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
    FillAttributes(st, out);
    return true;
}

int64_t File::Read(void* data, size_t count) {
    if (fd_ < 0) return -1;
    for (;;) {
        ssize_t n = ::read(fd_, data, count);
        if (n >= 0) return static_cast<int64_t>(n);
        if (errno != EINTR) return -1;
    }
}

bool File::WriteAt(const void* data, size_t count, int64_t offset) {
    if (fd_ < 0 || offset < 0) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    while (count > 0) {
        ssize_t n = ::pwrite(fd_, p, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // a full disk shows as 0 or ENOSPC
        p += n;
        count -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

int64_t File::WritePiecesAt(const Piece* pieces, size_t count, int64_t offset) {
    if (fd_ < 0 || offset < 0) return -1;
    iovec vec[IOV_MAX];
    count = std::min<size_t>(count, IOV_MAX);
    for (size_t i = 0; i < count; ++i)
        vec[i] = iovec{const_cast<void*>(pieces[i].data), pieces[i].size};
    for (;;) {
        ssize_t n = ::pwritev(fd_, vec, static_cast<int>(count), static_cast<off_t>(offset));
        if (n >= 0) return static_cast<int64_t>(n);
        if (errno != EINTR) return -1;
    }
}

bool File::Write(const void* data, size_t count) {
    if (fd_ < 0) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    while (count > 0) {
        ssize_t n = ::write(fd_, p, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool File::Truncate(int64_t length) {
    return fd_ >= 0 && length >= 0 && ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

bool File::Sync() {
    if (fd_ < 0) return false;
    if (::fdatasync(fd_) == 0) return true;
    // A file system that cannot sync at all has nothing more to give.
    return errno == EINVAL;
}

bool File::Close() {
    if (fd_ < 0) return true;
    int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports EINTR; never retry.
    return ::close(fd) == 0 || errno == EINTR;
}

int OpenNamelessFile(const std::string& folder, const char* stem) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string name = folder;
    if (name.empty() || name.back() != '/') name += '/';
    name += stem;
    name += "XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0 && ::unlink(name.c_str()) != 0) {
        ::close(fd);
        return -1;
    }
    if (fd >= 0) (void)::fchmod(fd, 0600);
    return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace fsys
