#include "platform/SystemPlaces.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "config/TextConv.h"
#include "platform/MountInfo.h"

namespace fsys {

namespace {

constexpr const char* kTopFolders[] = {"/bin",  "/boot", "/dev",  "/etc", "/home", "/opt", "/proc",
                                       "/root", "/run",  "/sbin", "/srv", "/sys",  "/usr", "/var"};

std::mutex gPathsMutex;
std::vector<std::string> gTestPaths;

// Not in every kernel's header.
constexpr int64_t kConfigfsMagic = 0x62656570;
constexpr int64_t kFusectlMagic = 0x65735543;
constexpr int64_t kMqueueMagic = 0x19800202;

bool SystemFileSystemType(int64_t type) {
    switch (type) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case SECURITYFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case PSTOREFS_MAGIC:
        case BPF_FS_MAGIC:
        case EFIVARFS_MAGIC:
        case SELINUX_MAGIC:
        case SMACK_MAGIC:
        case BINFMTFS_MAGIC:
        case NSFS_MAGIC:
        case RDTGROUP_SUPER_MAGIC:
        case kConfigfsMagic:
        case kFusectlMagic:
        case kMqueueMagic:
            return true;
        default:
            return false;
    }
}

// devtmpfs reports the magic of tmpfs; only the mount table tells them apart.
bool IsDevtmpfs(uint64_t device) {
    for (const MountInfoEntry& e : ReadMountInfo())
        if (e.device == device && e.fsType == "devtmpfs") return true;
    return false;
}

bool IdentityOfFd(int fd, Identity& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    out = Identity{st.st_dev, st.st_ino};
    return true;
}

// Whether `holder` is this process's "/". Asked for every entry a run reaches:
// the root's identity is looked up once (a program does not change its root).
bool IsRootFolder(int holder) {
    static const std::pair<bool, Identity> root = [] {
        struct stat st {};
        return ::stat("/", &st) == 0 ? std::pair{true, Identity{st.st_dev, st.st_ino}}
                                     : std::pair{false, Identity{}};
    }();
    Identity id;
    return root.first && IdentityOfFd(holder, id) && id == root.second;
}

void AddOnce(std::vector<Identity>& list, const Identity& id) {
    if (std::find(list.begin(), list.end(), id) == list.end()) list.push_back(id);
}

}  // namespace

std::vector<std::string> SystemPlacePaths() {
    {
        std::lock_guard<std::mutex> lock(gPathsMutex);
        if (!gTestPaths.empty()) return gTestPaths;
    }
    // What does not change while the program runs is looked up once.
    static const std::vector<std::string> fixed = [] {
        std::vector<std::string> out{"/"};
        out.insert(out.end(), std::begin(kTopFolders), std::end(kTopFolders));
        // /lib, /lib32, /lib64, /libx32 and whatever else a system keeps there.
        if (DIR* root = ::opendir("/")) {
            while (const dirent* e = ::readdir(root))
                if (std::string_view(e->d_name).rfind("lib", 0) == 0)
                    out.push_back(std::string("/") + e->d_name);
            ::closedir(root);
        }
        return out;
    }();
    return fixed;
}

std::vector<std::string> HomeFolderPaths() {
    static const std::string account = [] {
        const passwd* pw = ::getpwuid(::geteuid());
        return pw && pw->pw_dir && pw->pw_dir[0] == '/' ? std::string(pw->pw_dir) : std::string();
    }();
    std::vector<std::string> out;
    if (!account.empty()) out.push_back(account);
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') out.push_back(home);
    return out;
}

std::shared_ptr<const SystemPlaces> CurrentSystemPlaces() {
    static std::mutex mutex;
    static std::vector<std::string> known;
    static std::shared_ptr<const SystemPlaces> places;
    std::vector<std::string> paths = SystemPlacePaths();
    const std::vector<std::string> homes = HomeFolderPaths();
    const size_t count = paths.size();
    paths.insert(paths.end(), homes.begin(), homes.end());
    std::lock_guard<std::mutex> lock(mutex);
    if (!places || paths != known) {
        places = std::make_shared<const SystemPlaces>(
            std::vector<std::string>(paths.begin(), paths.begin() + static_cast<long>(count)),
            homes);
        known = std::move(paths);
    }
    return places;
}

void SetSystemPlacePaths(std::vector<std::string> paths) {
    std::lock_guard<std::mutex> lock(gPathsMutex);
    gTestPaths = std::move(paths);
}

bool OnSystemFileSystem(int fd) {
    struct statfs st {};
    if (::fstatfs(fd, &st) != 0) return false;
    const auto type = static_cast<int64_t>(st.f_type);
    if (SystemFileSystemType(type)) return true;
    if (type != TMPFS_MAGIC && type != RAMFS_MAGIC) return false;
    // Asked for every entry of a run on a tmpfs: the answer is kept per device.
    // There is only one devtmpfs, never unmounted, so a number once seen keeps
    // its answer.
    struct stat self {};
    if (::fstat(fd, &self) != 0) return false;
    static std::mutex mutex;
    static std::map<uint64_t, bool> known;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (const auto it = known.find(self.st_dev); it != known.end()) return it->second;
    }
    const bool devtmpfs = IsDevtmpfs(self.st_dev);
    std::lock_guard<std::mutex> lock(mutex);
    known[self.st_dev] = devtmpfs;
    return devtmpfs;
}

SystemPlaces::SystemPlaces(const std::vector<std::string>& paths,
                           const std::vector<std::string>& homes) {
    for (const std::string& path : homes) {
        // Only the home folder itself: a folder above it (a test's, say) is no
        // system place for that.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            AddOnce(places_, Identity{st.st_dev, st.st_ino});
    }
    for (const std::string& path : paths) {
        // A place that is a link (/lib on a merged /usr) protects what it leads to.
        const int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        Identity id;
        if (IdentityOfFd(fd, id)) AddOnce(places_, id);
        // The folders above: each is reached by "..", so a link on the way to the
        // place protects the real folders, not the link's.
        int at = fd;
        for (int depth = 0; depth < 256; ++depth) {
            const int up = ::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
            ::close(at);
            at = up;
            Identity upId;
            if (at < 0 || !IdentityOfFd(at, upId)) break;
            if (std::find(above_.begin(), above_.end(), upId) != above_.end()) break;
            above_.push_back(upId);
        }
        if (at >= 0) ::close(at);
    }
}

bool SystemPlaces::IsPlace(const Identity& id) const {
    return std::find(places_.begin(), places_.end(), id) != places_.end();
}

Guard SystemPlaces::JudgeFolder(int fd) const {
    Identity id;
    if (IdentityOfFd(fd, id)) {
        if (IsPlace(id)) return Guard::kSystemPlace;
        if (std::find(above_.begin(), above_.end(), id) != above_.end())
            return Guard::kHoldsSystemPlace;
    }
    return OnSystemFileSystem(fd) ? Guard::kSystemFileSystem : Guard::kAllowed;
}

namespace {

bool HolderOnSystemFileSystem(HeldFolder& folder) {
    int known = folder.onSystemFileSystem.load();
    if (known < 0) {
        known = OnSystemFileSystem(folder.Fd()) ? 1 : 0;
        folder.onSystemFileSystem.store(known);
    }
    return known == 1;
}

}  // namespace

Guard SystemPlaces::JudgeNonFolder(const Place& place) const {
    if (!place.Valid()) return Guard::kAllowed;
    return HolderOnSystemFileSystem(*place.folder) ? Guard::kSystemFileSystem : Guard::kAllowed;
}

Guard SystemPlaces::JudgeEntry(const Place& place) const {
    if (!place.Valid()) return Guard::kAllowed;
    const int holder = place.folder->Fd();
    if (HolderOnSystemFileSystem(*place.folder)) return Guard::kSystemFileSystem;
    const int fd = ::openat(holder, place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Guard::kAllowed;  // gone: nothing to guard
    struct stat st {};
    Guard guard = Guard::kAllowed;  // no folder: only the file system counts
    if (::fstat(fd, &st) == 0) {
        if (S_ISDIR(st.st_mode)) guard = JudgeFolder(fd);
        // A link directly in "/" holds the system up as much as what it leads to:
        // on a merged /usr, /bin, /sbin, /lib and /lib64 are links into /usr, and
        // every program's loader is reached through /lib64. Removing the link
        // would leave the machine unable to start a program.
        else if (S_ISLNK(st.st_mode) && IsRootFolder(holder))
            guard = Guard::kSystemPlace;
    }
    ::close(fd);
    return guard;
}

std::u16string GuardText(Guard guard) {
    switch (guard) {
        case Guard::kSystemPlace:
            return u"a system place, never shredded";
        case Guard::kHoldsSystemPlace:
            return u"holds a system place, never shredded";
        case Guard::kSystemFileSystem:
            return u"on a system file system, never shredded";
        case Guard::kAllowed:
            break;
    }
    return {};
}

}  // namespace fsys
