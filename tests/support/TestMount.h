#pragma once
// A small file system that a test mounts for itself: a tmpfs, or an ext4 image
// in a file, attached to a loop device. Both live under a TempDir and are
// unmounted (and the loop device released) when the object goes, so free-space
// tests never write to a real disk of this machine.
//
// Mounting needs root (or CAP_SYS_ADMIN) and, for images, a free loop device
// and mkfs.ext4. Where that is not possible Ok() is false and Error() says why;
// use KELVANE_REQUIRE_MOUNT to skip the test with that message.
#include <cstdint>
#include <string>
#include <vector>

#include "support/TempDir.h"

class TestMount {
  public:
    // Ext4Image: ext4 without a root reserve. Ext4Defaults: as mkfs.ext4 makes it
    // (5 % kept back for root). Ext4Inline: defaults plus inline_data. XfsImage:
    // xfs (mkfs.xfs wants at least 300 MiB). FatImage: FAT (mkfs.vfat), by the
    // kernel where it has vfat, else through fusefat; either way there is neither
    // RENAME_NOREPLACE nor a hard link.
    enum class Kind { Tmpfs, Ext4Image, Ext4Defaults, Ext4Inline, XfsImage, FatImage };

    // sizeKiB: the size of the tmpfs or of the image file. label: the ext4 volume
    // label (ignored for tmpfs). imageFolder: where the image file lives (for an
    // image kept on another test mount); by default a folder of its own.
    TestMount(Kind kind, uint64_t sizeKiB, const std::string& label = "",
              const std::string& imageFolder = "");
    // An image of any file system type: "mkfs.<fsType> <mkfsArgs> image", mounted
    // with `mountData` (for instance "data=journal").
    TestMount(const std::string& fsType, uint64_t sizeKiB, const std::vector<std::string>& mkfsArgs,
              const std::string& mountData = "");
    ~TestMount();
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    bool Ok() const { return mounted_; }
    const std::string& Error() const { return error_; }

    // The mount point, ending with "/".
    const std::string& Path() const { return mountPoint_; }
    std::u16string WPath() const;
    // The image file of an Ext4Image mount (empty for tmpfs).
    const std::string& ImagePath() const { return image_; }

    // Writes everything of this file system out to its device.
    void Sync() const;
    // Unmounts now (for instance to read the raw image); idempotent.
    bool Unmount();

  private:
    bool MountTmpfs(uint64_t sizeKiB);
    bool MountImage(Kind kind, uint64_t sizeKiB, const std::string& label);
    bool MountAnyImage(const std::string& fsType, uint64_t sizeKiB,
                       const std::vector<std::string>& mkfsArgs, const std::string& mountData);
    // Binds the image to a free loop device; returns the device's open descriptor
    // or -1.
    int AttachLoop(std::string& device);

    TempDir dir_;
    std::string mountPoint_;
    std::string image_;
    std::string imageFolder_;
    std::string loopDevice_;
    bool mounted_ = false;
    std::string error_;
};

// Skips the current test, with the reason, when `m` could not be mounted.
#define KELVANE_REQUIRE_MOUNT(m)                                                           \
    do {                                                                                   \
        if (!(m).Ok()) GTEST_SKIP() << "cannot mount a test file system: " << (m).Error(); \
    } while (0)
