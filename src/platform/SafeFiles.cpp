#include "platform/SafeFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

namespace fsys {

namespace {

constexpr int kMostLinks = 40;

std::string Errno() {
    return std::strerror(errno);
}

void SplitInto(const std::string& path, std::deque<std::string>& parts, bool front) {
    std::deque<std::string> mine;
    size_t at = 0;
    while (at <= path.size()) {
        const size_t slash = path.find('/', at);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > at) mine.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    if (front)
        parts.insert(parts.begin(), mine.begin(), mine.end());
    else
        parts.insert(parts.end(), mine.begin(), mine.end());
}

bool OursOrRoot(uid_t uid) {
    return uid == 0 || uid == ::geteuid();
}

// A link found on the way is followed only when nobody but root or us could
// have put it there or could change it: it and its folder are root's or ours,
// and nobody else may write into that folder (unless it is sticky, as /tmp is,
// where only the link's owner can replace it).
bool TrustedLink(const struct stat& link, int holderFd) {
    struct stat holder {};
    if (::fstat(holderFd, &holder) != 0) return false;
    // A group of our own (per-user groups) writing there is us writing there.
    const bool groupIsOurs = holder.st_gid == ::getegid();
    const mode_t others = groupIsOurs ? S_IWOTH : (S_IWGRP | S_IWOTH);
    return OursOrRoot(link.st_uid) && OursOrRoot(holder.st_uid) &&
           ((holder.st_mode & others) == 0 || (holder.st_mode & S_ISVTX) != 0);
}

// Opens what an O_PATH descriptor stands for, with `flags`, without naming it
// again: through /proc/self/fd where it is there, else by `fallback` (then the
// caller compares what it got).
int Reopen(int pathFd, int flags, int fallbackDir, const char* fallbackName) {
    const std::string self = "/proc/self/fd/" + std::to_string(pathFd);
    const int fd = ::open(self.c_str(), flags | O_CLOEXEC);
    if (fd >= 0 || (errno != ENOENT && errno != ENOTDIR)) return fd;
    return ::openat(fallbackDir, fallbackName, flags | O_NOFOLLOW | O_CLOEXEC);
}

bool SameObject(int a, int b) {
    struct stat sa {
    }, sb{};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Splits `path` into the folder (reached safely) and the last component.
int FolderAndName(const std::string& path, std::string& name, std::string& error) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const size_t slash = p.rfind('/');
    name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || path.back() == '/') {
        error = "no file name";
        return -1;
    }
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : p.substr(0, slash);
    return OpenFolderSafely(folder, error);
}

}  // namespace

const char* KindName(mode_t mode) {
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a link";
    return "a device";
}

int OpenFolderSafely(const std::string& folder, std::string& error) {
    if (folder.empty()) {
        error = "no folder";
        return -1;
    }
    int at = ::open(folder.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (at < 0) {
        error = Errno();
        return -1;
    }
    std::deque<std::string> parts;
    SplitInto(folder, parts, false);
    int links = 0;
    while (!parts.empty()) {
        const std::string part = parts.front();
        parts.pop_front();
        if (part == ".") continue;
        const int next = ::openat(at, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (next < 0 || ::fstat(next, &st) != 0) {
            error = Errno();
            if (next >= 0) ::close(next);
            ::close(at);
            return -1;
        }
        if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX + 1];
            const ssize_t n = ::readlinkat(next, "", target, PATH_MAX);
            const bool trusted = TrustedLink(st, at) && ++links <= kMostLinks && n > 0;
            ::close(next);
            if (!trusted) {
                error = "a link on the way ('" + part + "') that another user could have made";
                ::close(at);
                return -1;
            }
            const std::string to(target, static_cast<size_t>(n));
            if (to.front() == '/') {
                ::close(at);
                at = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (at < 0) {
                    error = Errno();
                    return -1;
                }
            }
            SplitInto(to, parts, true);
            continue;
        }
        ::close(at);
        at = next;
        if (!S_ISDIR(st.st_mode)) {
            error = std::string("'") + part + "' is " + KindName(st.st_mode) + ", not a folder";
            ::close(at);
            return -1;
        }
    }
    return at;
}

NewFile::~NewFile() {
    Close();
}

void NewFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    if (folder_ >= 0) ::close(folder_);
    fd_ = folder_ = -1;
}

bool NewFile::Create(const std::string& path, mode_t mode, std::string& error) {
    Close();
    folder_ = FolderAndName(path, name_, error);
    if (folder_ < 0) return false;
    fd_ = ::openat(folder_, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   mode);
    if (fd_ < 0) {
        error = errno == EEXIST ? "something of that name is there already" : Errno();
        Close();
        return false;
    }
    // The umask may only take bits away; what is asked for is what it gets.
    (void)::fchmod(fd_, mode);
    return true;
}

bool NewFile::Sync() {
    if (fd_ < 0) errno = EBADF;
    return fd_ >= 0 && ::fsync(fd_) == 0;
}

bool NewFile::NameLeadsHere() const {
    struct stat mine {
    }, there{};
    return fd_ >= 0 && folder_ >= 0 && ::fstat(fd_, &mine) == 0 &&
           ::fstatat(folder_, name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
           mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

void NewFile::Discard() {
    // Only while the name leads to what we made: another user of a shared
    // folder may have put something else there since.
    if (NameLeadsHere()) (void)::unlinkat(folder_, name_.c_str(), 0);
    Close();
}

namespace {

// `fd`, just opened on what `look` looked at: closed (-1) when it is another
// object by now, else made blocking again (`flags`).
int Checked(int look, int fd, int flags, std::string& error) {
    if (fd < 0) {
        error = Errno();
        return -1;
    }
    if (!SameObject(fd, look)) {
        error = "it changed while it was opened";
        ::close(fd);
        return -1;
    }
    (void)::fcntl(fd, F_SETFL, flags);
    return fd;
}

}  // namespace

int OpenForAppend(const std::string& path, std::string& error) {
    std::string name;
    const int folder = FolderAndName(path, name, error);
    if (folder < 0) return -1;
    int fd = ::openat(folder, name.c_str(),
                      O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) {
        if (fd < 0) error = Errno();
        ::close(folder);
        return fd;
    }
    // There already: looked at without opening it for writing first.
    const int look = ::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (look < 0 || ::fstat(look, &st) != 0) {
        error = Errno();
    } else if (!S_ISREG(st.st_mode)) {
        error = std::string(KindName(st.st_mode)) + ", not a regular file";
    } else if (st.st_uid != ::geteuid()) {
        error = "it belongs to another user";
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = "others may write to it";
    } else if (st.st_nlink != 1) {
        error = "it has other names (hard links)";
    } else {
        fd = Checked(
            look, Reopen(look, O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY, folder, name.c_str()),
            O_WRONLY | O_APPEND, error);
    }
    if (look >= 0) ::close(look);
    ::close(folder);
    return fd;
}

int OpenForReading(const std::string& path, std::string& error, bool pipeAllowed) {
    const int look = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    struct stat st {};
    if (look < 0 || ::fstat(look, &st) != 0) {
        error = Errno();
        if (look >= 0) ::close(look);
        return -1;
    }
    const bool pipe = S_ISFIFO(st.st_mode) && pipeAllowed;
    if (!S_ISREG(st.st_mode) && !pipe) {
        error = std::string(KindName(st.st_mode)) + ", not a regular file";
        ::close(look);
        return -1;
    }
    // A pipe is the user's own choice and waits for its writer, as it should.
    const int flags = O_RDONLY | O_NOCTTY | (pipe ? 0 : O_NONBLOCK);
    int fd = Reopen(look, flags, AT_FDCWD, path.c_str());
    if (fd < 0 && errno == ELOOP) fd = ::open(path.c_str(), flags | O_CLOEXEC);
    fd = Checked(look, fd, O_RDONLY, error);
    ::close(look);
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& out, size_t maxBytes,
                     std::string& error) {
    out.clear();
    const int fd = OpenForReading(path, error);
    if (fd < 0) return false;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
        if (out.size() + static_cast<size_t>(n) > maxBytes) {
            ::close(fd);
            error = "too large";
            return false;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    if (n < 0) error = Errno();
    ::close(fd);
    return n == 0;
}

}  // namespace fsys
