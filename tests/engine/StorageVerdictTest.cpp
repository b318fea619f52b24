// Verdicts on real file systems that the test makes on loop images: what the
// system tells about a file decides whether overwriting it reaches its old bytes.
#include <gtest/gtest.h>
#include <linux/fiemap.h>

#include <algorithm>
#include <iostream>

#include "ScratchMount.h"
#include "engine/StorageVerdict.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

using R = VerdictReason;

// The verdict of a file, printed as a line of the table in the test's output.
Verdict VerdictOf(const std::string& label, const std::string& path) {
    const storage::StorageFacts f = storage::GatherStorageFacts(path);
    const Verdict v = DecideVerdict(f);
    std::string reasons;
    for (R r : v.reasons) reasons += std::string(ReasonTextKey(r).substr(22)) + " ";
    std::cout << "[verdict] " << label << " | type " << f.fsType << " | extent flags 0x" << std::hex
              << f.extents.allFlags << std::dec << " | devices";
    for (const auto& d : f.block.devices) std::cout << " " << d;
    std::cout << " | " << (v.InPlace() ? (v.memory ? "in place (memory)" : "in place") : reasons)
              << "\n";
    return v;
}

void Write(const std::string& path, size_t bytes) {
    TempDir::WriteFileAt(path, std::string(bytes, 'K'));
}

}  // namespace

TEST(StorageVerdict, Ext4OnALoopImageOverwritesInPlaceUnlessDataIsJournalledOrInline) {
    {
        TestMount ext4(TestMount::Kind::Ext4Image, 16 * 1024);
        KELVANE_REQUIRE_MOUNT(ext4);
        Write(ext4.Path() + "plain", 64 * 1024);
        const Verdict v = VerdictOf("ext4 (data=ordered), 64 KiB file", ext4.Path() + "plain");
        EXPECT_TRUE(v.InPlace());
        EXPECT_FALSE(v.memory);
        EXPECT_FALSE(v.encrypted);
    }
    {
        TestMount journal("ext4", 16 * 1024, {"-q", "-F"}, "data=journal");
        KELVANE_REQUIRE_MOUNT(journal);
        Write(journal.Path() + "j", 64 * 1024);
        EXPECT_EQ(VerdictOf("ext4 data=journal, 64 KiB file", journal.Path() + "j").reasons,
                  std::vector<R>{R::kDataJournal});
    }
    TestMount inlined("ext4", 16 * 1024, {"-q", "-F", "-O", "inline_data"});
    KELVANE_REQUIRE_MOUNT(inlined);
    Write(inlined.Path() + "small", 100);
    Write(inlined.Path() + "large", 64 * 1024);
    EXPECT_EQ(VerdictOf("ext4 inline_data, 100-byte file", inlined.Path() + "small").reasons,
              std::vector<R>{R::kInline});
    EXPECT_TRUE(VerdictOf("ext4 inline_data, 64 KiB file", inlined.Path() + "large").InPlace());
}

TEST(StorageVerdict, CopyOnWriteAndSharedExtentsAreNamed) {
    TestMount btrfs("btrfs", 128 * 1024, {"-q", "-f"});
    KELVANE_REQUIRE_MOUNT(btrfs);
    const std::string a = btrfs.Path() + "a", b = btrfs.Path() + "b";
    Write(a, 256 * 1024);
    Write(btrfs.Path() + "tiny", 100);
    EXPECT_EQ(VerdictOf("btrfs, 256 KiB file", a).reasons, std::vector<R>{R::kCopyOnWrite});
    const Verdict tiny = VerdictOf("btrfs, 100-byte file", btrfs.Path() + "tiny");
    EXPECT_EQ(tiny.reasons, (std::vector<R>{R::kCopyOnWrite, R::kInline}));
    ASSERT_EQ(RunProgram("cp", "--reflink=always", a, b), 0) << "cp --reflink=always failed";
    EXPECT_EQ(VerdictOf("btrfs, reflinked copy", b).reasons,
              (std::vector<R>{R::kCopyOnWrite, R::kShared}));
    EXPECT_EQ(VerdictOf("btrfs, original of a reflink", a).reasons,
              (std::vector<R>{R::kCopyOnWrite, R::kShared}));

    // xfs writes in place, but a reflinked copy shares its blocks.
    TestMount xfs("xfs", 300 * 1024, {"-q", "-f", "-m", "reflink=1"});
    if (!xfs.Ok()) GTEST_SKIP() << "xfs: " << xfs.Error();
    const std::string x = xfs.Path() + "x", y = xfs.Path() + "y";
    Write(x, 256 * 1024);
    EXPECT_TRUE(VerdictOf("xfs, 256 KiB file", x).InPlace());
    ASSERT_EQ(RunProgram("cp", "--reflink=always", x, y), 0);
    EXPECT_EQ(VerdictOf("xfs, reflinked copy", y).reasons, std::vector<R>{R::kShared});
}

TEST(StorageVerdict, MemoryFileSystemsOverwriteInPlace) {
    TestMount tmpfs(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(tmpfs);
    Write(tmpfs.Path() + "m", 4096);
    const Verdict v = VerdictOf("tmpfs, 4 KiB file", tmpfs.Path() + "m");
    EXPECT_TRUE(v.InPlace());
    EXPECT_TRUE(v.memory);
}

// An ext4 image kept on btrfs: the file system inside writes in place, but every
// write to the image is copied on write by the btrfs underneath.
TEST(StorageVerdict, AnImageOnACopyOnWriteDriveIsJudgedByItsBackingFile) {
    TestMount btrfs("btrfs", 128 * 1024, {"-q", "-f"});
    KELVANE_REQUIRE_MOUNT(btrfs);
    TestMount inner(TestMount::Kind::Ext4Image, 16 * 1024, "", btrfs.Path());
    KELVANE_REQUIRE_MOUNT(inner);
    Write(inner.Path() + "in-image", 64 * 1024);
    const Verdict v = VerdictOf("ext4 image on btrfs, 64 KiB file", inner.Path() + "in-image");
    EXPECT_FALSE(v.InPlace());
    EXPECT_NE(std::find(v.reasons.begin(), v.reasons.end(), R::kCopyOnWrite), v.reasons.end());
}

TEST(StorageVerdict, OldNamesSurviveInJournalsAndCopyOnWriteMetadata) {
    storage::StorageFacts f;
    f.known = true;
    auto names = [&](const char* type, bool mayClear) {
        f.fsType = type;
        return DecideNames(f, mayClear);
    };
    EXPECT_EQ(names("ext4", true), NamesKept::kNone);  // the run clears the journal
    EXPECT_EQ(names("ext4", false), NamesKept::kJournal);
    EXPECT_EQ(names("ext2", false), NamesKept::kNone);
    EXPECT_EQ(names("xfs", true), NamesKept::kJournal);
    EXPECT_EQ(names("btrfs", true), NamesKept::kCopyOnWrite);
    EXPECT_EQ(names("vfat", true), NamesKept::kFolderEntries);
    EXPECT_EQ(names("tmpfs", false), NamesKept::kNone);
    f.known = false;
    EXPECT_EQ(names("xfs", false), NamesKept::kNone);
}
