#pragma once
// What the free-space filler asks the kernel beyond plain files: whether this
// process may take the blocks a file system keeps back for root, the kind of
// file system under a folder, and TRIM of its free blocks. Code calls these
// through FillSystem(); tests install their own with ScopedFillSystem.
#include <cstdint>
#include <functional>
#include <string>

enum class FsKind { Other, Ext4, Xfs, Btrfs, Tmpfs, Vfat, Exfat };

struct FillSystemCalls {
    // Effective uid 0 or CAP_SYS_RESOURCE: ext4 then lets us allocate its root
    // reserve, so the free space to overwrite is f_bfree, not f_bavail.
    std::function<bool()> mayUseRootReserve;
    // The file system that holds `folder` (statfs magic).
    std::function<FsKind(const std::string& folder)> kind;
    // FITRIM over the whole file system that holds `folder`: 0, or the errno
    // (EOPNOTSUPP / ENOTTY where the file system or device cannot trim).
    std::function<int(const std::string& folder)> trim;
};

FillSystemCalls& FillSystem();
FillSystemCalls DefaultFillSystemCalls();

bool ProcessMayUseRootReserve();
FsKind FileSystemKind(const std::string& folder);
int TrimFileSystem(const std::string& folder);
const char* FsKindName(FsKind kind);

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
