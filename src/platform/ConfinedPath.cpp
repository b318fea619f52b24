#include "platform/ConfinedPath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "config/TextConv.h"
#include "platform/SystemPlaces.h"

namespace fsys {

namespace {

std::atomic<ResolveMethod> gMethod{ResolveMethod::kAutomatic};

// openat2 takes one path of at most PATH_MAX bytes; a deeper tree is resolved
// in several steps, each from the folder the last one opened.
constexpr size_t kChunkBytes = PATH_MAX - 256;

int Openat2(int dirfd, const char* path, uint64_t flags, uint64_t resolve) {
    open_how how{};
    how.flags = flags;
    how.resolve = resolve;
    return static_cast<int>(::syscall(SYS_openat2, dirfd, path, &how, sizeof how));
}

LocateResult FromErrno(int err) {
    switch (err) {
        case ENOENT:
            return LocateResult::kMissing;
        case ELOOP:    // a link where a folder was listed
        case ENOTDIR:  // something other than a folder
        case EXDEV:    // an escape by ".." or an absolute link
            return LocateResult::kRefused;
        default:
            return LocateResult::kFailed;
    }
}

// A folder is opened for reading where the caller may read it (so that its mode
// can be changed through the descriptor), else as a bare handle.
int OpenFolderRelative(int dirfd, const std::string& rel, bool confined) {
    const int base = O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    for (const int access : {O_RDONLY, O_PATH}) {
        int fd = -1;
        if (confined) {
            for (int attempt = 0; attempt < 8; ++attempt) {
                fd = Openat2(dirfd, rel.c_str(), static_cast<uint64_t>(base | access),
                             RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS);
                // A concurrent rename makes the kernel ask for another try.
                if (fd >= 0 || errno != EAGAIN) break;
            }
        } else {
            fd = ::openat(dirfd, rel.c_str(), base | access);
        }
        if (fd >= 0 || errno != EACCES) return fd;
    }
    return -1;
}

bool IsFolderFd(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

// Opens folder after folder below `fd` (owned, and consumed), refusing links.
LocateResult WalkDown(int fd, const std::vector<std::string>& parts, bool useOpenat2, int& out) {
    size_t i = 0;
    while (i < parts.size()) {
        std::string step;
        if (useOpenat2) {
            // As many components as fit into one path.
            step = parts[i++];
            while (i < parts.size() && step.size() + parts[i].size() + 1 < kChunkBytes)
                step += "/" + parts[i++];
        } else {
            step = parts[i++];
        }
        const int next =
            useOpenat2 ? OpenFolderRelative(fd, step, true) : OpenFolderRelative(fd, step, false);
        const int err = errno;
        ::close(fd);
        if (next < 0) return FromErrno(err);
        // O_NOFOLLOW | O_DIRECTORY already refuse links; a bare handle is checked
        // once more, as a link opened with O_PATH would be the link itself.
        if (!IsFolderFd(next)) {
            ::close(next);
            return LocateResult::kRefused;
        }
        fd = next;
    }
    out = fd;
    return LocateResult::kFound;
}

// Splits "a/b/c" into its non-empty components; "." and ".." never name a
// listed entry, so a path holding them is refused rather than interpreted.
bool SplitComponents(const std::string& rel, std::vector<std::string>& parts) {
    size_t start = 0;
    while (start <= rel.size()) {
        size_t slash = rel.find('/', start);
        if (slash == std::string::npos) slash = rel.size();
        std::string part = rel.substr(start, slash - start);
        if (part == "." || part == "..") return false;
        if (!part.empty()) parts.push_back(std::move(part));
        start = slash + 1;
    }
    return true;
}

std::string WithoutTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

HeldFolder::~HeldFolder() {
    if (fd_ >= 0) ::close(fd_);
}

void SetResolveMethod(ResolveMethod method) {
    gMethod = method;
}

bool KernelResolvesWithoutLinks() {
    static const bool has = [] {
        int fd = Openat2(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC, RESOLVE_NO_SYMLINKS);
        if (fd < 0) return false;
        ::close(fd);
        return true;
    }();
    return has;
}

LocateResult Locate(const Root& root, const std::u16string& path, Place& out) {
    out = Place{};
    std::string p, r;
    if (path.empty()) return LocateResult::kMissing;  // names nothing, so nothing is there
    if (!OsPath(path, p) || p.front() != '/') return LocateResult::kFailed;
    p = WithoutTrailingSlashes(p);
    if (!root.path.empty() && OsPath(root.path, r) && r.back() != '/') r.push_back('/');

    int fd = -1;
    std::vector<std::string> parts;
    if (!r.empty() && p.size() > r.size() && p.compare(0, r.size(), r) == 0) {
        // Below the chosen root: the root itself must still be what was chosen.
        const std::string rootPath = WithoutTrailingSlashes(r);
        fd = OpenFolderRelative(AT_FDCWD, rootPath, false);
        if (fd < 0) return FromErrno(errno);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) ||
            (root.identity.Known() && !(Identity{st.st_dev, st.st_ino} == root.identity))) {
            ::close(fd);
            return LocateResult::kRefused;
        }
        if (!SplitComponents(p.substr(r.size()), parts) || parts.empty()) {
            ::close(fd);
            return LocateResult::kFailed;
        }
    } else {
        // The entry is the root, above it, or a file chosen on its own: its parent
        // folder is the user's choice as the path gives it.
        const size_t slash = p.rfind('/');
        if (slash == std::string::npos || slash + 1 >= p.size()) return LocateResult::kFailed;
        const std::string name = p.substr(slash + 1);
        if (name == "." || name == "..") return LocateResult::kFailed;
        const std::string parent = slash == 0 ? "/" : p.substr(0, slash);
        fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 && errno == EACCES)
            fd = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return FromErrno(errno);
        parts.push_back(name);
    }

    const std::string name = parts.back();
    parts.pop_back();
    const bool useOpenat2 =
        gMethod.load() == ResolveMethod::kAutomatic && KernelResolvesWithoutLinks();
    int folder = -1;
    const LocateResult result = WalkDown(fd, parts, useOpenat2, folder);
    if (result != LocateResult::kFound) return result;
    out.folder = std::make_shared<HeldFolder>(folder);
    out.name = name;
    return LocateResult::kFound;
}

bool GetAttributes(const Place& place, Attributes& out) {
    out = Attributes{};
    if (!place.Valid()) return false;
    struct stat st {};
    if (::fstatat(place.folder->Fd(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out.kind = (errno == ENOENT || errno == ENOTDIR) ? Kind::kMissing : Kind::kUnreadable;
        return false;
    }
    FillAttributes(st, out);
    return true;
}

Identity IdentityOf(const Attributes& attr) {
    return Identity{attr.device, attr.inode};
}

bool RenameNoReplace(Place& place, const std::string& newName) {
    if (!place.Valid() || newName.empty() || newName.find('/') != std::string::npos) return false;
    const int fd = place.folder->Fd();
    bool ok = ::renameat2(fd, place.name.c_str(), fd, newName.c_str(), RENAME_NOREPLACE) == 0;
    if (!ok && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP))
        ok = LinkAndUnlinkAt(fd, place.name, newName);
    if (ok) place.name = newName;
    return ok;
}

bool RemoveFile(const Place& place) {
    return place.Valid() && ::unlinkat(place.folder->Fd(), place.name.c_str(), 0) == 0;
}

bool RemoveFolder(const Place& place) {
    return place.Valid() && ::unlinkat(place.folder->Fd(), place.name.c_str(), AT_REMOVEDIR) == 0;
}

bool SetPermissions(const Place& place, uint32_t mode) {
    if (!place.Valid()) return false;
    const int fd = place.folder->Fd();
    struct stat st {};
    if (::fstatat(fd, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode))
        return false;
    const auto bits = static_cast<mode_t>(mode & 07777);
    if (::fchmodat(fd, place.name.c_str(), bits, AT_SYMLINK_NOFOLLOW) == 0) return true;
    if (errno != ENOTSUP && errno != EOPNOTSUPP) return false;
    // The no-follow form needs /proc; open the entry (never through a link) and
    // change it through that descriptor instead.
    const int own = ::openat(fd, place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (own < 0) return false;
    const bool ok = ::fchmod(own, bits) == 0 ||
                    ::chmod(("/proc/self/fd/" + std::to_string(own)).c_str(), bits) == 0;
    ::close(own);
    return ok;
}

bool IsMountPoint(const Place& place) {
    if (!place.Valid()) return false;
    const int fd = place.folder->Fd();
    struct statx sx {};
    if (::statx(fd, place.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS,
                &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
        return (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    struct stat self {
    }, holder{};
    if (::fstatat(fd, place.name.c_str(), &self, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstat(fd, &holder) != 0)
        return false;
    return S_ISDIR(self.st_mode) && self.st_dev != holder.st_dev;
}

bool GetFolderMode(const Place& place, uint32_t& mode) {
    struct stat st {};
    if (!place.folder || ::fstat(place.folder->Fd(), &st) != 0) return false;
    mode = static_cast<uint32_t>(st.st_mode & 07777);
    return true;
}

bool SetFolderMode(const Place& place, uint32_t mode) {
    if (!place.folder) return false;
    const int fd = place.folder->Fd();
    const auto bits = static_cast<mode_t>(mode & 07777);
    if (::fchmod(fd, bits) == 0) return true;
    // A bare handle (a folder we may not read) is changed through its /proc name,
    // which still leads to the held folder, never to whatever has its path now.
    return errno == EBADF && ::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), bits) == 0;
}

namespace {

// An entry the user chose is judged as every entry a run reaches, and more: a
// link whose target, followed, is or holds a system place counts as that place
// (and one leading to a folder of a system file system as such a folder).
// "ln -s /usr u; shred u/" would only remove the link, but a script that meant
// the place and got a link must meet the same refusal as the place. The links a
// folder walk meets are removed as links and never followed.
Guard JudgeChosen(const SystemPlaces& places, const Place& place) {
    const Guard guard = places.JudgeEntry(place);
    if (guard != Guard::kAllowed || !place.Valid()) return guard;
    struct stat st {};
    if (::fstatat(place.folder->Fd(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(st.st_mode))
        return guard;
    const int target =
        ::openat(place.folder->Fd(), place.name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (target < 0) return guard;
    const Guard followed = places.JudgeFolder(target);
    ::close(target);
    if (followed == Guard::kSystemPlace || followed == Guard::kHoldsSystemPlace)
        return Guard::kSystemPlace;
    return followed == Guard::kSystemFileSystem ? followed : guard;
}

}  // namespace

// A last component "." or ".." gives no path: "shred .." would take the folder
// above the working folder with it (callers refuse such paths with a message).
std::u16string ResolveChosenPath(const std::u16string& path) {
    std::string p;
    if (!OsPath(path, p)) return {};
    if (p.front() != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (!cwd) return {};
        p = std::string(cwd) + "/" + p;
        std::free(cwd);
    }
    p = WithoutTrailingSlashes(p);
    if (p == "/") return u"/";
    const size_t slash = p.rfind('/');
    std::string parent = slash == 0 ? "/" : p.substr(0, slash);
    std::string name = p.substr(slash + 1);
    // "shred ..", "a/.": never the folder a name leads back to (rm refuses them too).
    if (name == "." || name == "..") return {};
    char* real = ::realpath(parent.c_str(), nullptr);
    if (!real) return {};
    std::string out = real;
    std::free(real);
    if (!name.empty()) out += (out == "/" ? "" : "/") + name;
    return WideFromUtf8(out);
}

bool LookAtChosen(const std::u16string& path, ChosenEntry& out) {
    out = ChosenEntry{};
    out.path = ResolveChosenPath(path);
    std::string p;
    if (out.path.empty() || !OsPath(out.path, p)) return false;
    // "/" has no folder above it: it is its own holder.
    const size_t slash = p == "/" ? 0 : p.rfind('/');
    const std::string folder = slash == 0 ? "/" : p.substr(0, slash);
    const std::string name = p == "/" ? "." : p.substr(slash + 1);
    // No trailing "/" and O_NOFOLLOW: a folder that became a link since it was
    // resolved is refused here, not recorded as the folder it points to.
    int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const Place place{std::make_shared<HeldFolder>(fd), name};
    struct stat holder {
    }, entry{};
    if (::fstat(fd, &holder) != 0 || ::fstatat(fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    out.holder = Root{WideFromUtf8(slash == 0 ? folder : folder + "/"),
                      Identity{holder.st_dev, holder.st_ino}};
    FillAttributes(entry, out.attr);
    out.guard = JudgeChosen(*CurrentSystemPlaces(), place);
    return true;
}

}  // namespace fsys
