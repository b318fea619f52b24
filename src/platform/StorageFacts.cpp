#include "platform/StorageFacts.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace storage {

namespace {

void ReadInodeFlags(int fd, bool& have, uint32_t& flags) {
    int value = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &value) != 0) return;
    have = true;
    flags = static_cast<uint32_t>(value);
}

constexpr int kMaxDepth = 16;
constexpr uint64_t kMaxExtents = 65536;
constexpr long kTmpfsMagic = 0x01021994;
constexpr long kRamfsMagic = 0x858458f6;

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
    return s;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> p(::realpath(path.c_str(), nullptr), &std::free);
    return p ? std::string(p.get()) : std::string();
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    DIR* d = ::opendir(path.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out.push_back(
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The mount holding `path` (already resolved): same device where one is given,
// the deepest mount point that contains the path.
const MountEntry* FindMount(const std::vector<MountEntry>& mounts, const std::string& path,
                            bool haveDev, uint32_t major, uint32_t minor) {
    const MountEntry* best = nullptr;
    for (int pass = 0; pass < 2 && !best; ++pass) {
        for (const MountEntry& m : mounts) {
            if (pass == 0 && (!haveDev || m.major != major || m.minor != minor)) continue;
            if (!path.empty() && !IsUnder(path, m.mountPoint)) continue;
            // Later lines win on ties: they are mounted over the earlier ones.
            if (!best || m.mountPoint.size() >= best->mountPoint.size()) best = &m;
        }
    }
    return best;
}

struct Walker {
    BlockFacts facts;
    void Device(uint32_t major, uint32_t minor, int depth);
    void Folder(std::string canon, int depth);
    void BackingFile(const std::string& path, int depth);
};

void Walker::Device(uint32_t major, uint32_t minor, int depth) {
    if (depth > kMaxDepth) return;
    const std::string link =
        CurrentRoots().sys + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    std::string canon = RealPath(link);
    if (!canon.empty()) Folder(canon, depth);
}

void Walker::Folder(std::string canon, int depth) {
    if (depth > kMaxDepth) return;
    // A partition's queue settings are those of the disk that holds it.
    if (Exists(canon + "/partition")) canon = DirName(canon);
    const std::string uuid = ReadSmallFile(canon + "/dm/uuid");
    if (uuid.rfind("CRYPT-", 0) == 0) facts.encrypted = true;
    const std::string backing = Trimmed(ReadSmallFile(canon + "/loop/backing_file"));
    if (!backing.empty()) {
        BackingFile(backing, depth + 1);
        return;
    }
    const std::vector<std::string> slaves = ListFolder(canon + "/slaves");
    if (!slaves.empty()) {
        for (const std::string& s : slaves) {
            std::string next = RealPath(canon + "/slaves/" + s);
            if (!next.empty()) Folder(next, depth + 1);
        }
        return;
    }
    const std::string name = BaseName(canon);
    facts.known = true;
    facts.devices.push_back(name);
    if (name.rfind("zram", 0) == 0 || name.rfind("ram", 0) == 0) {
        facts.memory = true;
        return;
    }
    if (name.rfind("nbd", 0) == 0 || name.rfind("rbd", 0) == 0) facts.network = true;
    if (Trimmed(ReadSmallFile(canon + "/queue/rotational")) == "0") facts.nonRotational = true;
}

void Walker::BackingFile(const std::string& path, int depth) {
    if (depth > kMaxDepth) return;
    std::string file = path;
    const std::string deleted = " (deleted)";
    if (file.size() > deleted.size() &&
        file.compare(file.size() - deleted.size(), deleted.size(), deleted) == 0)
        file.resize(file.size() - deleted.size());
    // The image file is judged like any file: read-only, never through a link,
    // never waiting on a special file.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return;
    struct statfs sf {};
    struct stat st {};
    if (::fstatfs(fd, &sf) != 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    BackingFileFacts b;
    b.path = file;
    b.fsMagic = static_cast<int64_t>(sf.f_type);
    ReadInodeFlags(fd, b.haveInodeFlags, b.inodeFlags);
    // No sync: the image may be large and busy; its extents as they stand say
    // enough about sharing and compression.
    b.extents = ReadExtents(fd, false);
    ::close(fd);
    uint32_t major = ::major(st.st_dev), minor = ::minor(st.st_dev);
    const std::vector<MountEntry> mounts =
        ParseMountInfo(ReadSmallFile(CurrentRoots().proc + "/self/mountinfo"));
    const MountEntry* m = FindMount(mounts, RealPath(file), true, major, minor);
    if (m) {
        b.fsType = m->fsType;
        b.mountOptions = m->options;
    }
    const bool inMemory = m ? (b.fsType == "tmpfs" || b.fsType == "ramfs")
                            : (static_cast<long>(sf.f_type) == kTmpfsMagic ||
                               static_cast<long>(sf.f_type) == kRamfsMagic);
    facts.backingFiles.push_back(std::move(b));
    if (inMemory) {
        facts.known = true;
        facts.memory = true;
        facts.devices.push_back("memory");
        return;
    }
    if (major == 0) {
        // A file system without a device number of its own (btrfs): its mount source.
        struct stat dev {};
        if (!m || ::stat(m->source.c_str(), &dev) != 0 || !S_ISBLK(dev.st_mode)) return;
        major = ::major(dev.st_rdev);
        minor = ::minor(dev.st_rdev);
    }
    Device(major, minor, depth);
}

}  // namespace

Roots& CurrentRoots() {
    static Roots roots;
    return roots;
}

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    std::vector<MountEntry> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::vector<std::string> f;
        std::string w;
        while (in >> w) f.push_back(w);
        size_t dash = 0;
        for (size_t i = 6; i < f.size(); ++i) {
            if (f[i] == "-") {
                dash = i;
                break;
            }
        }
        if (dash == 0 || dash + 2 >= f.size()) continue;
        MountEntry e;
        const std::string& dev = f[2];
        size_t colon = dev.find(':');
        if (colon == std::string::npos) continue;
        char* end = nullptr;
        e.major = static_cast<uint32_t>(std::strtoul(dev.c_str(), &end, 10));
        if (end != dev.c_str() + colon) continue;
        e.minor = static_cast<uint32_t>(std::strtoul(dev.c_str() + colon + 1, &end, 10));
        if (*end != '\0') continue;
        e.mountPoint = Unescape(f[4]);
        e.fsType = f[dash + 1];
        e.source = Unescape(f[dash + 2]);
        e.options = f[5];
        if (dash + 3 < f.size()) e.options += "," + f[dash + 3];
        out.push_back(std::move(e));
    }
    return out;
}

bool HasMountOption(const std::string& options, const std::string& option) {
    std::istringstream in(options);
    std::string item;
    const bool prefix = !option.empty() && option.back() == '=';
    while (std::getline(in, item, ',')) {
        if (prefix ? item.rfind(option, 0) == 0 : item == option) return true;
    }
    return false;
}

namespace {

// The extent map and, when it failed, whether the file system refuses extent
// maps altogether (rather than this file or this moment).
ExtentMap ReadExtentsNoting(int fd, bool sync, bool& refused);

}  // namespace

ExtentMap ReadExtents(int fd, bool sync) {
    bool refused = false;
    return ReadExtentsNoting(fd, sync, refused);
}

namespace {

ExtentMap ReadExtentsNoting(int fd, bool sync, bool& refused) {
    refused = false;
    ExtentMap map;
    constexpr uint32_t kBatch = 256;
    std::vector<unsigned char> buffer(sizeof(fiemap) + kBatch * sizeof(fiemap_extent));
    uint64_t start = 0;
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        auto* fm = reinterpret_cast<fiemap*>(buffer.data());
        fm->fm_start = start;
        fm->fm_length = FIEMAP_MAX_OFFSET - start;
        fm->fm_flags = sync ? FIEMAP_FLAG_SYNC : 0;
        fm->fm_extent_count = kBatch;
        if (::ioctl(fd, FS_IOC_FIEMAP, fm) != 0) {
            refused = errno == EOPNOTSUPP || errno == ENOTTY;
            return ExtentMap{};
        }
        map.known = true;
        if (fm->fm_mapped_extents == 0) break;
        bool last = false;
        for (uint32_t i = 0; i < fm->fm_mapped_extents; ++i) {
            const fiemap_extent& fe = fm->fm_extents[i];
            map.extents.push_back(Extent{fe.fe_logical, fe.fe_physical, fe.fe_length, fe.fe_flags});
            map.allFlags |= fe.fe_flags;
            start = fe.fe_logical + fe.fe_length;
            if (fe.fe_flags & FIEMAP_EXTENT_LAST) last = true;
        }
        // Only the first pass may sync; the rest just read on.
        sync = false;
        if (last || map.extents.size() >= kMaxExtents) break;
    }
    return map;
}

}  // namespace

FileSystemKinds::Kind& FileSystemKinds::Of(uint64_t dev) {
    for (Kind& k : kinds_)
        if (k.dev == dev) return k;
    kinds_.push_back(Kind{dev});
    return kinds_.back();
}

bool FileSystemKinds::Magic(int fd, uint64_t dev, int64_t& magic) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Kind& k = Of(dev);
        if (k.haveMagic) {
            magic = k.magic;
            return true;
        }
    }
    struct statfs sf {};
    if (::fstatfs(fd, &sf) != 0) return false;
    magic = static_cast<int64_t>(sf.f_type);
    std::lock_guard<std::mutex> lock(mutex_);
    Kind& k = Of(dev);
    k.magic = magic;
    k.haveMagic = true;
    return true;
}

FileSystemKinds::Extents FileSystemKinds::MapsExtents(uint64_t dev) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Of(dev).extents;
}

void FileSystemKinds::ExtentsAnswered(uint64_t dev, bool refused) {
    std::lock_guard<std::mutex> lock(mutex_);
    Kind& k = Of(dev);
    // A refusal is the file system's; a map once given proves it maps.
    if (refused || k.extents == Extents::kUnknown)
        k.extents = refused ? Extents::kRefused : Extents::kMapped;
}

BlockFacts FollowBlockDevice(uint32_t major, uint32_t minor) {
    Walker w;
    w.Device(major, minor, 0);
    return w.facts;
}

const std::vector<MountEntry>& DeviceFactsCache::Mounts() {
    if (!haveMounts_) {
        mounts_ = ParseMountInfo(ReadSmallFile(CurrentRoots().proc + "/self/mountinfo"));
        haveMounts_ = true;
    }
    return mounts_;
}

const DeviceFactsCache::Device& DeviceFactsCache::Lookup(uint64_t dev, const std::string& path) {
    for (const auto& [d, facts] : devices_)
        if (d == dev) return facts;
    Device facts;
    uint32_t major = ::major(dev), minor = ::minor(dev);
    bool haveDevice = major != 0;
    const MountEntry* m = FindMount(Mounts(), RealPath(path), true, major, minor);
    if (m) {
        facts.fsType = m->fsType;
        facts.mountOptions = m->options;
        facts.mountPoint = m->mountPoint;
        if (!haveDevice) {
            // btrfs hands out anonymous device numbers; the mount's source names the disk.
            struct stat st {};
            if (m->major != 0) {
                major = m->major;
                minor = m->minor;
                haveDevice = true;
            } else if (::stat(m->source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
                major = ::major(st.st_rdev);
                minor = ::minor(st.st_rdev);
                haveDevice = true;
            }
        }
    }
    if (haveDevice) facts.block = FollowBlockDevice(major, minor);
    devices_.emplace_back(dev, std::move(facts));
    return devices_.back().second;
}

StorageFacts OpenFileFacts(int fd, const ExtentMap* extents) {
    StorageFacts facts;
    struct statfs sf {};
    if (::fstatfs(fd, &sf) != 0) return facts;
    facts.known = true;
    facts.fsMagic = static_cast<int64_t>(sf.f_type);
    ReadInodeFlags(fd, facts.haveInodeFlags, facts.inodeFlags);
    facts.extents = extents ? *extents : ReadExtents(fd, true);
    return facts;
}

StorageFacts OpenFileFacts(int fd, uint64_t dev, int64_t size, const ExtentMap* extents,
                           FileSystemKinds& kinds) {
    StorageFacts facts;
    if (!kinds.Magic(fd, dev, facts.fsMagic)) return facts;
    facts.known = true;
    ReadInodeFlags(fd, facts.haveInodeFlags, facts.inodeFlags);
    const FileSystemKinds::Extents maps = kinds.MapsExtents(dev);
    if (extents) {
        facts.extents = *extents;
    } else if (size == 0 && maps == FileSystemKinds::Extents::kMapped) {
        // An empty file has no extent, as the file system said of the first one.
        facts.extents.known = true;
    } else if (maps != FileSystemKinds::Extents::kRefused) {
        bool refused = false;
        facts.extents = ReadExtentsNoting(fd, true, refused);
        if (facts.extents.known || refused) kinds.ExtentsAnswered(dev, refused);
    }
    return facts;
}

namespace {

StorageFacts GatherOpenFacts(int fd, const struct stat& st, const std::string& path,
                             DeviceFactsCache* cache) {
    DeviceFactsCache own;
    DeviceFactsCache& devices = cache ? *cache : own;
    StorageFacts facts = OpenFileFacts(fd, st.st_dev, st.st_size, nullptr, devices.Kinds());
    if (!facts.known) return facts;
    TakeDeviceFacts(facts, devices.Lookup(st.st_dev, path));
    return facts;
}

}  // namespace

StorageFacts GatherStorageFacts(int fd, const std::string& path, DeviceFactsCache* cache) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return StorageFacts{};
    return GatherOpenFacts(fd, st, path, cache);
}

void TakeDeviceFacts(StorageFacts& facts, const DeviceFactsCache::Device& dev) {
    facts.fsType = dev.fsType;
    facts.mountOptions = dev.mountOptions;
    facts.mountPoint = dev.mountPoint;
    facts.block = dev.block;
}

StorageFacts GatherStorageFacts(const std::string& path, DeviceFactsCache* cache) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return StorageFacts{};
    struct stat st {};
    StorageFacts facts;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) facts = GatherOpenFacts(fd, st, path, cache);
    ::close(fd);
    return facts;
}

}  // namespace storage
