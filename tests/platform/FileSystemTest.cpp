#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/TextConv.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

using fsys::Attributes;
using fsys::File;
using fsys::Kind;

namespace {

uint32_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFFu;
}

}  // namespace

TEST(FileSystem, AttributesTellEveryKindWithoutFollowingLinks) {
    TempDir dir;
    dir.WriteFile("f", "12345");
    dir.MakeDir("d");
    ASSERT_EQ(::symlink(dir.Sub("d").c_str(), dir.Sub("ld").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("gone").c_str(), dir.Sub("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);

    Attributes a;
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("f"), a));
    EXPECT_EQ(a.kind, Kind::kFile);
    EXPECT_EQ(a.size, 5);
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("d"), a));
    EXPECT_EQ(a.kind, Kind::kFolder);
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("ld"), a));
    EXPECT_EQ(a.kind, Kind::kLink);  // a link to a folder is no folder
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("dangling"), a));
    EXPECT_EQ(a.kind, Kind::kLink);
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("fifo"), a));
    EXPECT_EQ(a.kind, Kind::kOther);

    EXPECT_FALSE(fsys::GetAttributes(dir.WSub("missing"), a));
    EXPECT_EQ(a.kind, Kind::kMissing);
    EXPECT_FALSE(fsys::GetAttributes(dir.WSub("f/below"), a));  // a file is no folder
    EXPECT_EQ(a.kind, Kind::kMissing);
    EXPECT_FALSE(fsys::GetAttributes(u"", a));
    EXPECT_EQ(a.kind, Kind::kMissing);
    // A NUL would cut the path short and name a different entry: refuse it.
    std::u16string withNul = dir.WSub("f");
    withNul += u'\0';
    withNul += u"x";
    EXPECT_FALSE(fsys::GetAttributes(withNul, a));
    EXPECT_EQ(a.kind, Kind::kUnreadable);
    File f;
    EXPECT_FALSE(f.Open(withNul, File::Mode::kRead));
}

TEST(FileSystem, OpeningRefusesLinksSpecialFilesAndReadOnlyWrites) {
    TempDir dir;
    dir.WriteFile("f", "abcdef");
    ASSERT_EQ(::symlink(dir.Sub("f").c_str(), dir.Sub("lf").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
    dir.MakeDir("d");

    File f;
    EXPECT_FALSE(f.Open(dir.WSub("lf"), File::Mode::kRead));
    EXPECT_FALSE(f.Open(dir.WSub("lf"), File::Mode::kWrite));
    EXPECT_TRUE(f.Open(dir.WSub("lf"), File::Mode::kReadFollowingLinks));
    f.Close();
    // Neither end of a FIFO without a partner may block, and neither is accepted.
    for (auto mode : {File::Mode::kRead, File::Mode::kReadFollowingLinks, File::Mode::kWrite})
        EXPECT_FALSE(f.Open(dir.WSub("fifo"), mode));
    EXPECT_FALSE(f.Open(dir.WSub("d"), File::Mode::kRead));
    EXPECT_FALSE(f.Open(dir.WSub("missing"), File::Mode::kWrite));
    EXPECT_FALSE(PathExists(dir.Sub("missing")));  // never created

    // Writing in place keeps the length and the bytes not written.
    ASSERT_TRUE(f.Open(dir.WSub("f"), File::Mode::kWrite));
    EXPECT_TRUE(f.WriteAt("XY", 2, 1));
    EXPECT_TRUE(f.Sync());
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(ReadWholeFile(dir.Sub("f")), "aXYdef");

    // No write bit at all: refused even where the process could write anyway.
    ASSERT_EQ(::chmod(dir.Sub("f").c_str(), 0444), 0);
    EXPECT_FALSE(f.Open(dir.WSub("f"), File::Mode::kWrite));
    EXPECT_FALSE(f.Open(dir.WSub("f"), File::Mode::kAppend));
    EXPECT_TRUE(f.Open(dir.WSub("f"), File::Mode::kRead));
    char buf[16];
    EXPECT_EQ(f.Read(buf, sizeof buf), 6);
    EXPECT_EQ(f.Read(buf, sizeof buf), 0);
    f.Close();
    // Any single write bit makes it writable.
    ASSERT_EQ(::chmod(dir.Sub("f").c_str(), 0404 | 0020), 0);
    EXPECT_TRUE(f.Open(dir.WSub("f"), File::Mode::kWrite));
}

TEST(FileSystem, SizesAndOffsetsAreSixtyFourBit) {
    TempDir dir;
    dir.WriteFile("sparse", "");
    File f;
    ASSERT_TRUE(f.Open(dir.WSub("sparse"), File::Mode::kWrite));
    const int64_t far = (int64_t{5} << 30) + 3;  // beyond both 2^31 and 2^32
    ASSERT_TRUE(f.WriteAt("z", 1, far));
    Attributes a;
    ASSERT_TRUE(f.GetAttributes(a));
    EXPECT_EQ(a.size, far + 1);
    ASSERT_TRUE(f.Truncate(0));
    EXPECT_FALSE(f.WriteAt("z", 1, -1));
    f.Close();
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("sparse"), a));
    EXPECT_EQ(a.size, 0);
}

TEST(FileSystem, RenameNeverReplacesAndMovesLinksThemselves) {
    TempDir dir;
    dir.WriteFile("a", "A");
    dir.WriteFile("b", "B");
    EXPECT_FALSE(fsys::RenameNoReplace(dir.WSub("a"), dir.WSub("b")));
    EXPECT_EQ(ReadWholeFile(dir.Sub("a")), "A");
    EXPECT_EQ(ReadWholeFile(dir.Sub("b")), "B");
    EXPECT_TRUE(fsys::RenameNoReplace(dir.WSub("a"), dir.WSub("c")));
    EXPECT_FALSE(PathExists(dir.Sub("a")));
    EXPECT_EQ(ReadWholeFile(dir.Sub("c")), "A");
    EXPECT_FALSE(fsys::RenameNoReplace(dir.WSub("missing"), dir.WSub("x")));

    ASSERT_EQ(::symlink(dir.Sub("b").c_str(), dir.Sub("lb").c_str()), 0);
    EXPECT_TRUE(fsys::RenameNoReplace(dir.WSub("lb"), dir.WSub("lb2")));
    Attributes a;
    ASSERT_TRUE(fsys::GetAttributes(dir.WSub("lb2"), a));
    EXPECT_EQ(a.kind, Kind::kLink);
    EXPECT_EQ(ReadWholeFile(dir.Sub("b")), "B");

    // Removing a link leaves its target; a folder is not removed as a file.
    EXPECT_TRUE(fsys::RemoveFile(dir.WSub("lb2")));
    EXPECT_EQ(ReadWholeFile(dir.Sub("b")), "B");
    dir.MakeDir("d");
    EXPECT_FALSE(fsys::RemoveFile(dir.WSub("d")));
    dir.WriteFile("d/x", "");
    EXPECT_FALSE(fsys::RemoveFolder(dir.WSub("d")));
    EXPECT_TRUE(fsys::RemoveFile(dir.WSub("d/x")));
    EXPECT_TRUE(fsys::RemoveFolder(dir.WSub("d")));
    EXPECT_FALSE(PathExists(dir.Sub("d")));
}

TEST(FileSystem, PermissionsNeverPassThroughALink) {
    TempDir dir;
    dir.WriteFile("f", "x");
    ASSERT_EQ(::chmod(dir.Sub("f").c_str(), 0400), 0);
    ASSERT_EQ(::symlink(dir.Sub("f").c_str(), dir.Sub("lf").c_str()), 0);
    EXPECT_FALSE(fsys::SetPermissions(dir.WSub("lf"), 0666));
    EXPECT_EQ(ModeOf(dir.Sub("f")), 0400u);
    EXPECT_TRUE(fsys::SetPermissions(dir.WSub("f"), 0640));
    EXPECT_EQ(ModeOf(dir.Sub("f")), 0640u);
    dir.MakeDir("d");
    EXPECT_TRUE(fsys::SetPermissions(dir.WSub("d"), 0500));
    EXPECT_EQ(ModeOf(dir.Sub("d")), 0500u);
    EXPECT_FALSE(fsys::SetPermissions(dir.WSub("missing"), 0600));
}

TEST(FileSystem, MountPointsAndOddNames) {
    TempDir dir;
    EXPECT_TRUE(fsys::IsMountPoint(u"/"));
    EXPECT_FALSE(fsys::IsMountPoint(dir.WPath()));
    dir.WriteFile("f", "");
    EXPECT_FALSE(fsys::IsMountPoint(dir.WSub("f")));
    EXPECT_FALSE(fsys::IsMountPoint(dir.WSub("missing")));
    if (PathExists("/proc/self")) {
        EXPECT_TRUE(fsys::IsMountPoint(u"/proc/"));
    }

    // Bytes that are no UTF-8, a newline and spaces survive the round trip.
    const std::string odd = "a b\n\xff\xfe.txt";
    dir.WriteFile(odd, "data");
    const std::u16string wide = WideFromUtf8(dir.Sub(odd));
    Attributes a;
    ASSERT_TRUE(fsys::GetAttributes(wide, a));
    EXPECT_EQ(a.size, 4);
    EXPECT_TRUE(fsys::RenameNoReplace(wide, dir.WSub("plain")));
    EXPECT_EQ(ReadWholeFile(dir.Sub("plain")), "data");
}
