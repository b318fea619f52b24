// Storage facts read through a fake /proc and /sys tree: the chain of block
// devices under a file system, and the mount table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "engine/StorageVerdict.h"
#include "platform/StorageFacts.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

// A sysfs-like tree: dm-crypt (253:0) over md0 (9:0) over the partitions sda1 and
// sdb1, plus a plain partition sdc1 (8:33) on a rotating disk.
class FakeSysTree {
  public:
    explicit FakeSysTree(bool sdaRotational) {
        dev("pci/block/sda/sda1", "8:1", true);
        dev("pci/block/sdb/sdb1", "8:17", true);
        dev("pci/block/sdc/sdc1", "8:33", true);
        dir.WriteFile("sys/devices/pci/block/sda/queue/rotational", sdaRotational ? "1\n" : "0\n");
        dir.WriteFile("sys/devices/pci/block/sdb/queue/rotational", "1\n");
        dir.WriteFile("sys/devices/pci/block/sdc/queue/rotational", "1\n");
        dev("virtual/block/md0", "9:0", false);
        dir.MakeDir("sys/devices/virtual/block/md0/md");
        slave("virtual/block/md0", "sda1", "../../../../pci/block/sda/sda1");
        slave("virtual/block/md0", "sdb1", "../../../../pci/block/sdb/sdb1");
        dev("virtual/block/dm-0", "253:0", false);
        dir.WriteFile("sys/devices/virtual/block/dm-0/dm/uuid", "CRYPT-LUKS2-0123abcd-root\n");
        slave("virtual/block/dm-0", "md0", "../../md0");
    }
    std::string Sys() const { return dir.Sub("sys"); }

  private:
    void dev(const std::string& rel, const std::string& majMin, bool partition) {
        dir.MakeDir("sys/devices/" + rel);
        if (partition) dir.WriteFile("sys/devices/" + rel + "/partition", "1\n");
        dir.MakeDir("sys/dev/block");
        std::filesystem::create_directory_symlink("../../devices/" + rel,
                                                  dir.Sub("sys/dev/block/" + majMin));
    }
    void slave(const std::string& rel, const std::string& name, const std::string& target) {
        dir.MakeDir("sys/devices/" + rel + "/slaves");
        std::filesystem::create_directory_symlink(
            target, dir.Sub("sys/devices/" + rel + "/slaves/" + name));
    }
    TempDir dir;
};

}  // namespace

TEST(StorageFacts, BlockChainIsFollowedThroughCryptAndRaidToTheDisks) {
    {
        FakeSysTree tree(false);
        storage::ScopedStorageRoots roots({"/proc", tree.Sys()});
        const storage::BlockFacts b = storage::FollowBlockDevice(253, 0);
        EXPECT_TRUE(b.known);
        EXPECT_TRUE(b.encrypted);
        EXPECT_TRUE(b.nonRotational);  // one flash member is enough to keep old copies
        EXPECT_EQ(b.devices, (std::vector<std::string>{"sda", "sdb"}));

        // The verdict of an ext4 file on it: flash, with the good news noted.
        storage::StorageFacts f;
        f.known = true;
        f.fsType = "ext4";
        f.mountOptions = "rw,relatime,data=ordered";
        f.block = b;
        const Verdict v = DecideVerdict(f);
        EXPECT_EQ(v.reasons, std::vector<VerdictReason>{VerdictReason::kFlash});
        EXPECT_TRUE(v.encrypted);

        // A plain partition on a rotating disk: in place, not encrypted.
        f.block = storage::FollowBlockDevice(8, 33);
        EXPECT_EQ(f.block.devices, std::vector<std::string>{"sdc"});
        EXPECT_TRUE(DecideVerdict(f).InPlace());
        EXPECT_FALSE(DecideVerdict(f).encrypted);

        // A device the tree does not know: the verdict cannot vouch for it.
        f.block = storage::FollowBlockDevice(8, 99);
        EXPECT_FALSE(f.block.known);
        EXPECT_EQ(DecideVerdict(f).reasons, std::vector<VerdictReason>{VerdictReason::kUnknown});
    }
    FakeSysTree spinning(true);
    storage::ScopedStorageRoots roots({"/proc", spinning.Sys()});
    const storage::BlockFacts b = storage::FollowBlockDevice(253, 0);
    EXPECT_TRUE(b.known);
    EXPECT_FALSE(b.nonRotational);
    EXPECT_TRUE(b.encrypted);
}

// A loop device stands on an image file: the image's own file system (from the
// mount table) and extents are part of the facts, and the walk goes on to the
// disk under the image, however the images are stacked.
TEST(StorageFacts, LoopDevicesAreFollowedToTheirBackingFilesOwnFileSystem) {
    TempDir dir;
    dir.WriteFile("images/disk.img", std::string(8192, 'i'));
    const std::string image = dir.Sub("images/disk.img");
    struct stat st {};
    ASSERT_EQ(::stat(image.c_str(), &st), 0);
    const std::string imageDev =
        std::to_string(::major(st.st_dev)) + ":" + std::to_string(::minor(st.st_dev));
    // loop0 (7:0) on the image; the image's drive is a rotating disk "vdz". loop1
    // (7:1) stands on a file of its own drive, a loop that must end.
    auto device = [&dir](const std::string& rel, const std::string& majMin) {
        dir.MakeDir("sys/devices/" + rel);
        dir.MakeDir("sys/dev/block");
        std::filesystem::create_directory_symlink("../../devices/" + rel,
                                                  dir.Sub("sys/dev/block/" + majMin));
    };
    device("virtual/block/loop0", "7:0");
    dir.WriteFile("sys/devices/virtual/block/loop0/loop/backing_file", image + "\n");
    device("pci/block/vdz", imageDev);
    dir.WriteFile("sys/devices/pci/block/vdz/queue/rotational", "1\n");
    device("virtual/block/loop1", "7:1");
    dir.WriteFile("sys/devices/virtual/block/loop1/loop/backing_file", image + "\n");
    auto mountTable = [&dir](const std::string& imageFsType) {
        dir.WriteFile("proc/self/mountinfo",
                      "20 1 0:98 / / rw - ext4 /dev/vdz rw\n"
                      "21 20 0:99 / " +
                          dir.Sub("images") + " rw - " + imageFsType + " /dev/vdz rw\n");
    };
    storage::StorageFacts f;
    f.known = true;
    f.fsType = "ext4";
    for (const char* type : {"btrfs", "ext4", "tmpfs"}) {
        SCOPED_TRACE(type);
        mountTable(type);
        storage::ScopedStorageRoots roots({dir.Sub("proc"), dir.Sub("sys")});
        f.block = storage::FollowBlockDevice(7, 0);
        ASSERT_EQ(f.block.backingFiles.size(), 1u);
        EXPECT_EQ(f.block.backingFiles[0].path, image);
        EXPECT_EQ(f.block.backingFiles[0].fsType, type);
        EXPECT_TRUE(f.block.known);
        const Verdict v = DecideVerdict(f);
        if (std::string(type) == "btrfs") {
            EXPECT_EQ(v.reasons, std::vector<VerdictReason>{VerdictReason::kCopyOnWrite});
        } else {
            EXPECT_TRUE(v.InPlace());
            EXPECT_EQ(v.memory, std::string(type) == "tmpfs");
        }
    }
    // A loop whose image lies on the loop itself ends at the depth limit.
    ::unlink(dir.Sub("sys/dev/block/" + imageDev).c_str());
    std::filesystem::create_directory_symlink("../../devices/virtual/block/loop1",
                                              dir.Sub("sys/dev/block/" + imageDev));
    mountTable("btrfs");
    storage::ScopedStorageRoots roots({dir.Sub("proc"), dir.Sub("sys")});
    f.block = storage::FollowBlockDevice(7, 1);
    EXPECT_FALSE(f.block.known);
    EXPECT_GT(f.block.backingFiles.size(), 1u);
    EXPECT_LE(f.block.backingFiles.size(), 20u);
    const Verdict v = DecideVerdict(f);
    EXPECT_EQ(v.reasons,
              (std::vector<VerdictReason>{VerdictReason::kCopyOnWrite, VerdictReason::kUnknown}));
}

TEST(StorageFacts, MountTableIsReadWithEscapesAndBothOptionLists) {
    const std::string text =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "36 27 8:1 / /mnt/my\\040disk rw,noatime shared:1 - ext4 /dev/sda1 rw,data=journal\n"
        "garbage line\n"
        "40 27 0:45 / /srv/nfs rw master:2 - nfs4 server:/export rw,vers=4.2\n";
    const auto m = storage::ParseMountInfo(text);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1].mountPoint, "/mnt/my disk");
    EXPECT_EQ(m[1].major, 8u);
    EXPECT_EQ(m[1].minor, 1u);
    EXPECT_EQ(m[1].fsType, "ext4");
    EXPECT_EQ(m[1].source, "/dev/sda1");
    EXPECT_TRUE(storage::HasMountOption(m[1].options, "noatime"));
    EXPECT_TRUE(storage::HasMountOption(m[1].options, "data=journal"));
    EXPECT_TRUE(storage::HasMountOption(m[2].options, "vers="));
    EXPECT_FALSE(storage::HasMountOption(m[2].options, "vers"));
    EXPECT_EQ(m[2].fsType, "nfs4");

    // What a verdict makes of network and unknown types, and of missing facts.
    storage::StorageFacts f;
    EXPECT_EQ(DecideVerdict(f).reasons, std::vector<VerdictReason>{VerdictReason::kUnknown});
    f.known = true;
    f.fsType = "fuse.sshfs";
    EXPECT_EQ(DecideVerdict(f).reasons, std::vector<VerdictReason>{VerdictReason::kNetwork});
    f.fsType = "nfs4";
    EXPECT_EQ(DecideVerdict(f).reasons, std::vector<VerdictReason>{VerdictReason::kNetwork});
    f.fsType = "overlay";
    f.block.known = true;
    EXPECT_EQ(DecideVerdict(f).reasons, std::vector<VerdictReason>{VerdictReason::kUnknown});
}

// The facts of an open file taken with a run's record of file systems (statfs
// and the refusal of extent maps asked once per device) are the facts a full
// look gives, for empty and filled files, on a file system with extent maps and
// on one without, the first file and the ones after it.
TEST(StorageFacts, FactsWithTheRunsRecordOfFileSystemsAreTheFullLooksFacts) {
    TestMount ext4(TestMount::Kind::Ext4Image, 16 * 1024);
    TestMount tmpfs(TestMount::Kind::Tmpfs, 4 * 1024);
    KELVANE_REQUIRE_MOUNT(ext4);
    KELVANE_REQUIRE_MOUNT(tmpfs);
    storage::FileSystemKinds kinds;
    for (const TestMount* m : {&ext4, &tmpfs}) {
        for (const char* name : {"empty1", "full1", "empty2", "full2"}) {
            SCOPED_TRACE(m->Path() + name);
            const std::string path = m->Path() + name;
            TempDir::WriteFileAt(path, name[0] == 'e' ? "" : std::string(20000, 'x'));
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            struct stat st {};
            ASSERT_EQ(::fstat(fd, &st), 0);
            const storage::StorageFacts full = storage::OpenFileFacts(fd);
            const storage::StorageFacts kept =
                storage::OpenFileFacts(fd, st.st_dev, st.st_size, nullptr, kinds);
            ::close(fd);
            EXPECT_EQ(kept.known, full.known);
            EXPECT_EQ(kept.fsMagic, full.fsMagic);
            EXPECT_EQ(kept.haveInodeFlags, full.haveInodeFlags);
            EXPECT_EQ(kept.inodeFlags, full.inodeFlags);
            EXPECT_EQ(kept.extents.known, full.extents.known);
            EXPECT_EQ(kept.extents.allFlags, full.extents.allFlags);
            EXPECT_TRUE(kept.extents.extents == full.extents.extents);
            EXPECT_EQ(DecideVerdict(kept).ReasonMask(), DecideVerdict(full).ReasonMask());
        }
    }
}
