#pragma once
// What Linux tells about where a file's bytes live: the file system and its mount
// options, the file's extents and inode flags, and the block devices underneath
// (device-mapper, md and loop followed down to the physical devices). Nothing here
// judges; engine/StorageVerdict turns these facts into a verdict.
//
// /proc and /sys are read through a replaceable root so that tests can hand in a
// fake tree (ScopedStorageRoots).
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace storage {

struct Roots {
    std::string proc = "/proc";
    std::string sys = "/sys";
};

Roots& CurrentRoots();

class ScopedStorageRoots {
  public:
    explicit ScopedStorageRoots(Roots replacement) : saved_(CurrentRoots()) {
        CurrentRoots() = std::move(replacement);
    }
    ~ScopedStorageRoots() { CurrentRoots() = saved_; }
    ScopedStorageRoots(const ScopedStorageRoots&) = delete;
    ScopedStorageRoots& operator=(const ScopedStorageRoots&) = delete;

  private:
    Roots saved_;
};

// One line of /proc/self/mountinfo.
struct MountEntry {
    uint32_t major = 0, minor = 0;
    std::string mountPoint;  // unescaped
    std::string fsType;      // "ext4", "fuse.sshfs", ...
    std::string source;      // "/dev/sda1", "tmpfs", "server:/export"
    std::string options;     // per-mount and super-block options, comma separated
};

// Parses mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// True when the comma-separated option list holds `option` exactly, or
// "option=..." when `option` ends with "=".
bool HasMountOption(const std::string& options, const std::string& option);

struct Extent {
    uint64_t logical = 0;
    uint64_t physical = 0;
    uint64_t length = 0;
    uint32_t flags = 0;  // FIEMAP_EXTENT_*
    bool operator==(const Extent&) const = default;
};

struct ExtentMap {
    bool known = false;  // false: FIEMAP refused (tmpfs, network, ...)
    std::vector<Extent> extents;
    uint32_t allFlags = 0;  // union of every extent's flags
};

// A file that a loop device stands on (an image file): its own file system and
// extents decide as much about old copies as the file system inside the image.
struct BackingFileFacts {
    std::string path;
    int64_t fsMagic = 0;
    std::string fsType;  // from mountinfo when found
    std::string mountOptions;
    bool haveInodeFlags = false;
    uint32_t inodeFlags = 0;
    ExtentMap extents;
};

// The physical devices under a file system.
struct BlockFacts {
    bool known = false;          // the chain reached at least one physical device
    bool memory = false;         // a RAM disk (zram, brd) or a loop file on a memory file system
    bool nonRotational = false;  // any physical device reports queue/rotational = 0
    bool encrypted = false;      // a dm-crypt layer is in between
    bool network = false;        // nbd, rbd and the like
    std::vector<std::string> devices;  // the physical device names reached
    // Every loop device's backing file met on the way down (a loop image on a
    // loop image gives two), outermost first.
    std::vector<BackingFileFacts> backingFiles;
};

struct StorageFacts {
    bool known = false;   // statfs answered
    int64_t fsMagic = 0;  // statfs f_type
    std::string fsType;   // from mountinfo when found
    std::string mountOptions;
    std::string mountPoint;
    bool haveInodeFlags = false;
    uint32_t inodeFlags = 0;  // FS_IOC_GETFLAGS
    ExtentMap extents;
    BlockFacts block;
};

// The extent map of an open file; `sync` asks the file system to write delayed
// data first, so that extents have their final place.
ExtentMap ReadExtents(int fd, bool sync);

// Follows /sys/dev/block/MAJ:MIN down to the physical devices.
BlockFacts FollowBlockDevice(uint32_t major, uint32_t minor);

// What a look at each file would otherwise ask its file system again and again:
// the statfs type, and whether it maps extents at all (tmpfs does not). Kept
// per device number for one run or one look at the list; shared by threads.
class FileSystemKinds {
  public:
    // The statfs type of the file system `fd` is on (device `dev`); false when
    // statfs fails.
    bool Magic(int fd, uint64_t dev, int64_t& magic);
    // Whether device `dev` maps extents: unknown until told by ExtentsAnswered.
    enum class Extents { kUnknown, kMapped, kRefused };
    Extents MapsExtents(uint64_t dev);
    void ExtentsAnswered(uint64_t dev, bool refused);

  private:
    struct Kind {
        uint64_t dev = 0;
        int64_t magic = 0;
        bool haveMagic = false;
        Extents extents = Extents::kUnknown;
    };
    Kind& Of(uint64_t dev);  // under mutex_
    std::mutex mutex_;
    std::vector<Kind> kinds_;
};

// What is the same for every file of one file system, kept while many files are
// looked at (one run, one look at the list). Not shared between threads.
class DeviceFactsCache {
  public:
    struct Device {
        std::string fsType, mountOptions, mountPoint;
        BlockFacts block;
    };
    // The mount table, read once.
    const std::vector<MountEntry>& Mounts();
    // The facts of the file system with device number `dev`, looked up with `path`.
    const Device& Lookup(uint64_t dev, const std::string& path);
    bool Has(uint64_t dev) const {
        for (const auto& d : devices_)
            if (d.first == dev) return true;
        return false;
    }
    FileSystemKinds& Kinds() { return *kinds_; }

  private:
    std::shared_ptr<FileSystemKinds> kinds_ = std::make_shared<FileSystemKinds>();
    bool haveMounts_ = false;
    std::vector<MountEntry> mounts_;
    std::vector<std::pair<uint64_t, Device>> devices_;
};

// Fills in what `facts` shares with every file of its file system.
void TakeDeviceFacts(StorageFacts& facts, const DeviceFactsCache::Device& dev);

// Everything at once, for an open file (the path helps to find its mount when
// the device number alone does not).
StorageFacts GatherStorageFacts(int fd, const std::string& path, DeviceFactsCache* cache = nullptr);

// The facts that are the open file's own, without its mount and devices (for the
// caller to look up in its cache): statfs, inode flags and its extents, or
// `extents` where they were read already.
StorageFacts OpenFileFacts(int fd, const ExtentMap* extents = nullptr);
// The same for an open regular file whose device and size are known already:
// the file system's type and its refusal of extent maps come from `kinds`
// (asked once per device), and an empty file has no extents to ask for.
StorageFacts OpenFileFacts(int fd, uint64_t dev, int64_t size, const ExtentMap* extents,
                           FileSystemKinds& kinds);

// The same for a path; a link or special file is not opened (known stays false).
StorageFacts GatherStorageFacts(const std::string& path, DeviceFactsCache* cache = nullptr);

}  // namespace storage
