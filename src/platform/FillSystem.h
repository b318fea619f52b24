#pragma once
// What the free-space filler asks the kernel beyond plain files: whether this
// process may take the blocks a file system keeps back for root, the kind of
// file system under the drive it holds open, syncing a filler file and TRIM of
// the free blocks. Code calls these through FillSystem(); tests install their
// own with ScopedFillSystem (a disk that fails late, a drive that cannot trim).
#include <cstdint>
#include <functional>
#include <string>

enum class FsKind { Other, Ext4, Xfs, Btrfs, Tmpfs, Vfat, Exfat, Zfs, Bcachefs, F2fs, Nilfs2 };

// Free space a file system keeps for itself, which no file can be given: blocks
// that may still hold deleted data however full the fill makes the drive.
struct KeptBack {
    uint64_t bytes = 0;
    // "xfs-free-lists": the blocks xfs sets aside in every allocation group to
    // refill its free lists; "btrfs-unallocated": space in no chunk at all;
    // "ext4-reserved-clusters": the clusters ext4 keeps for its metadata.
    std::string what;
};

struct FillSystemCalls {
    // Effective uid 0 or CAP_SYS_RESOURCE: ext4 then lets us allocate its root
    // reserve, so the free space to overwrite is f_bfree, not f_bavail.
    std::function<bool()> mayUseRootReserve;
    // The file system of the open folder `dirFd` (fstatfs magic).
    std::function<FsKind(int dirFd)> kind;
    // Syncs an open filler file (data only, or data and size): 0 or the errno.
    // A late write error of the device shows up here.
    std::function<int(int fd, bool dataOnly)> sync;
    // FITRIM over the whole file system of the open folder `dirFd`: 0, or the
    // errno (EOPNOTSUPP / ENOTTY where the file system or device cannot trim).
    std::function<int(int dirFd)> trim;
    // What the file system of the open folder `dirFd` keeps for itself now;
    // asked once the drive is full. Empty: nothing is known to be kept.
    std::function<KeptBack(int dirFd, FsKind kind)> keptBack;
};

FillSystemCalls& FillSystem();
FillSystemCalls DefaultFillSystemCalls();

bool ProcessMayUseRootReserve();
FsKind FileSystemKind(int dirFd);
int SyncFillFile(int fd, bool dataOnly);
int TrimFileSystem(int dirFd);
KeptBack FileSystemKeptBack(int dirFd, FsKind kind);
const char* FsKindName(FsKind kind);
// Later passes over a copy-on-write file system's free space land on new
// blocks only where some are left, and the first pass took them all.
bool IsCopyOnWrite(FsKind kind);

class ScopedFillSystem {
  public:
    explicit ScopedFillSystem(FillSystemCalls replacement) : saved_(FillSystem()) {
        FillSystem() = std::move(replacement);
    }
    ~ScopedFillSystem() { FillSystem() = saved_; }
    ScopedFillSystem(const ScopedFillSystem&) = delete;
    ScopedFillSystem& operator=(const ScopedFillSystem&) = delete;

  private:
    FillSystemCalls saved_;
};
