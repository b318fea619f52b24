// The check after the last pass: what was written must be what the device gives
// back, and the file's blocks must be where they were before the passes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "EngineTestUtil.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/ShredCheck.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

// Spoils one byte on the device after the last pass, as failing hardware or a
// remapping layer would; removed again when the test ends.
class SpoilAfterLastPass {
  public:
    explicit SpoilAfterLastPass(int64_t offset) {
        ShredCheck::SetAfterLastPassHook([offset](int fd) {
            unsigned char b = 0;
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            const int rw = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
            ASSERT_GE(rw, 0);
            ASSERT_EQ(::pread(rw, &b, 1, offset), 1);
            b = static_cast<unsigned char>(b ^ 0x5A);
            ASSERT_EQ(::pwrite(rw, &b, 1, offset), 1);
            ::fdatasync(rw);
            ::close(rw);
        });
    }
    ~SpoilAfterLastPass() { ShredCheck::SetAfterLastPassHook(nullptr); }
};

ShredFileOptions Checked(const std::u16string& path, ShredCheck& check) {
    ShredFileOptions o = KeepOptions(path);
    o.blockSize = 4000;  // not a multiple of the read-back chunk: the pattern wraps mid-read
    o.check = &check;
    return o;
}

}  // namespace

TEST(ShredCheck, ReadBackPassesForAGoodOverwriteAndCatchesASpoiledByte) {
    TempDir dir;
    FixedClock clock(77);
    FileOps ops;
    for (const char16_t* value : {u"", u"171"}) {  // random data and a fixed byte
        dir.WriteFile("f", std::string(1500000, 'M'));
        ShredCheck good;
        auto o = Checked(dir.WSub("f"), good);
        o.shredValue = value;
        EXPECT_TRUE(ops.ShredFile(3, o));
        EXPECT_TRUE(good.passed());
        EXPECT_EQ(good.failure(), ShredCheck::Failure::kNone);
    }
    for (int64_t offset : {int64_t{0}, int64_t{1048577}, int64_t{1499999}}) {
        dir.WriteFile("f", std::string(1500000, 'M'));
        SpoilAfterLastPass spoil(offset);
        ShredCheck bad;
        EXPECT_FALSE(ops.ShredFile(2, Checked(dir.WSub("f"), bad)));
        EXPECT_FALSE(bad.passed());
        EXPECT_EQ(bad.failure(), ShredCheck::Failure::kMismatch);
        EXPECT_EQ(bad.offset(), offset);
    }
}

TEST(ShredCheck, ExtentsThatMoveDuringThePassesFailTheCheck) {
    FixedClock clock(78);
    FileOps ops;
    {
        // ext4 overwrites where the data lies: same extents, check passes.
        TestMount ext4(TestMount::Kind::Ext4Image, 16 * 1024);
        KELVANE_REQUIRE_MOUNT(ext4);
        TempDir::WriteFileAt(ext4.Path() + "f", std::string(1 << 20, 'E'));
        ShredCheck check;
        EXPECT_TRUE(ops.ShredFile(2, Checked(WideFromUtf8(ext4.Path() + "f"), check)));
        EXPECT_TRUE(check.passed());
        EXPECT_TRUE(check.direct());
    }
    TestMount btrfs("btrfs", 128 * 1024, {"-q", "-f"});
    KELVANE_REQUIRE_MOUNT(btrfs);
    TempDir::WriteFileAt(btrfs.Path() + "f", std::string(1 << 20, 'B'));
    ShredCheck check;
    // The data reads back right, but it was written to new blocks.
    EXPECT_FALSE(ops.ShredFile(1, Checked(WideFromUtf8(btrfs.Path() + "f"), check)));
    EXPECT_EQ(check.failure(), ShredCheck::Failure::kExtentsMoved);
}
