#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "config/TextConv.h"
#include "platform/Volumes.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

bool Contains(const std::vector<std::u16string>& v, const std::u16string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

std::u16string WithoutTrailingSlash(std::u16string s) {
    if (s.size() > 1 && s.back() == u'/') s.pop_back();
    return s;
}

}  // namespace

TEST(MountTable, ParsesEscapesReadOnlyFlagsAndSkipsJunk) {
    auto entries = ParseMountTable(
        "/dev/sda1 / ext4 rw,relatime 0 0\n"
        "/dev/sdb1 /media/my\\040stick vfat ro,nosuid 0 0\n"
        "garbage\n"
        "\n"
        "server:/x /mnt/a\\134b\\011c nfs4 rw 0 0\n"
        "/dev/sr0 /media/cd/ iso9660 ro 0 0\n");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].mountPoint, "/");
    EXPECT_FALSE(entries[0].readOnly);
    EXPECT_EQ(entries[1].mountPoint, "/media/my stick");
    EXPECT_EQ(entries[1].fsType, "vfat");
    EXPECT_TRUE(entries[1].readOnly);
    EXPECT_EQ(entries[2].mountPoint, "/mnt/a\\b\tc");
    EXPECT_EQ(entries[3].mountPoint, "/media/cd");
}

TEST(MountTable, DriveListHoldsRealFileSystemsWithTrailingSlash) {
    EXPECT_TRUE(IsPseudoFileSystem("proc"));
    EXPECT_TRUE(IsPseudoFileSystem("cgroup2"));
    EXPECT_TRUE(IsPseudoFileSystem("devtmpfs"));
    EXPECT_TRUE(IsPseudoFileSystem("tmpfs"));
    EXPECT_FALSE(IsPseudoFileSystem("ext4"));
    EXPECT_FALSE(IsPseudoFileSystem("vfat"));

    auto drives = MountedDrives();
    EXPECT_TRUE(Contains(drives, u"/"));
    EXPECT_FALSE(Contains(drives, u"/proc/"));
    EXPECT_FALSE(Contains(drives, u"/sys/"));
    for (const auto& d : drives) {
        ASSERT_FALSE(d.empty());
        EXPECT_EQ(d.back(), u'/') << Utf8FromWide(d);
        EXPECT_EQ(std::count(drives.begin(), drives.end(), d), 1) << Utf8FromWide(d);
    }
}

TEST(Volumes, Ext4ImageIsListedWithLabelSpaceAndType) {
    TestMount m(TestMount::Kind::Ext4Image, 32 * 1024, "KELVTEST");
    KELVANE_REQUIRE_MOUNT(m);

    auto drives = MountedDrives();
    EXPECT_TRUE(Contains(drives, m.WPath())) << m.Path();

    DriveSpace s = QueryDriveSpace(m.WPath());
    ASSERT_TRUE(s.ok);
    EXPECT_GT(s.total, 20u * 1024 * 1024);
    EXPECT_LE(s.total, 32u * 1024 * 1024);
    EXPECT_GT(s.freeToCaller, 0u);
    EXPECT_LE(s.freeToCaller, s.totalFree);
    EXPECT_LE(s.totalFree, s.total);

    EXPECT_EQ(QueryVolumeLabel(m.WPath()), u"KELVTEST");
    EXPECT_EQ(QueryDriveType(m.WPath()), DriveType::Fixed);
    EXPECT_TRUE(ProbeWritableForRun(m.WPath(), u"Morvik.$$$temp$$$"));
    EXPECT_TRUE(ProbeWritableForDialog(m.WPath()));

    // A sub-folder stands for the file system that holds it.
    ASSERT_EQ(::mkdir((m.Path() + "sub").c_str(), 0755), 0);
    EXPECT_EQ(QueryVolumeLabel(m.WPath() + u"sub/"), u"KELVTEST");
    EXPECT_EQ(QueryDriveType(m.WPath() + u"sub/"), DriveType::Fixed);

    // Mounted read-only it counts as a CD-ROM drive and refuses both probes.
    ASSERT_EQ(::mount(nullptr, m.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(QueryDriveType(m.WPath()), DriveType::CdRom);
    EXPECT_FALSE(ProbeWritableForRun(m.WPath(), u"Morvik.$$$temp$$$"));
    EXPECT_FALSE(ProbeWritableForDialog(m.WPath()));
    EXPECT_TRUE(QueryDriveSpace(m.WPath()).ok);
}

TEST(Volumes, TmpfsReportsExactFreeSpaceNoLabelAndIsNotOffered) {
    TestMount m(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(m);
    DriveSpace s = QueryDriveSpace(m.WPath());
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.freeToCaller, 1048576u);
    EXPECT_EQ(s.total, 1048576u);
    EXPECT_EQ(QueryVolumeLabel(m.WPath()), u"");
    EXPECT_EQ(QueryDriveType(m.WPath()), DriveType::RamDisk);
    EXPECT_FALSE(Contains(MountedDrives(), m.WPath()));
    EXPECT_FALSE(Contains(MountedDrives(), WithoutTrailingSlash(m.WPath())));
}

TEST(Volumes, MissingFolderOrFileGivesFailureAndNothingElse) {
    TempDir t;
    t.WriteFile("plain", "x");
    for (const std::u16string& root : {t.WSub("missing/"), t.WSub("plain"), std::u16string()}) {
        DriveSpace s = QueryDriveSpace(root);
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(s.freeToCaller, 0u);
        EXPECT_EQ(s.total, 0u);
        EXPECT_EQ(s.totalFree, 0u);
        EXPECT_EQ(QueryVolumeLabel(root), u"");
        EXPECT_EQ(QueryDriveType(root), DriveType::NoRoot);
    }
    EXPECT_FALSE(ProbeWritableForRun(t.WSub("missing/"), u"probe"));
    EXPECT_FALSE(ProbeWritableForDialog(t.WSub("missing/")));
}

TEST(Volumes, ProbesLeaveNothingAndNeverFollowLinksOrOpenFifos) {
    TempDir t;
    EXPECT_TRUE(ProbeWritableForRun(t.WPath(), u"odd name\nprobe"));
    EXPECT_TRUE(ProbeWritableForDialog(t.WPath()));
    EXPECT_FALSE(PathExists(t.Sub("odd name\nprobe")));
    EXPECT_FALSE(PathExists(t.Sub("Morvik.$$$temp$$$")));

    // Whatever is at the probe's name is never opened or removed (a link, a
    // FIFO without a reader, a user's file): the probe takes another name.
    t.WriteFile("target", "precious");
    ASSERT_EQ(::symlink(t.Sub("target").c_str(), t.Sub("Morvik.$$$temp$$$").c_str()), 0);
    EXPECT_TRUE(ProbeWritableForDialog(t.WPath()));
    EXPECT_TRUE(ProbeWritableForRun(t.WPath(), u"Morvik.$$$temp$$$"));
    EXPECT_EQ(ReadWholeFile(t.Sub("target")), "precious");
    EXPECT_TRUE(PathExists(t.Sub("Morvik.$$$temp$$$")));
    EXPECT_FALSE(PathExists(t.Sub("Morvik.$$$temp$$$.1")));

    ASSERT_EQ(::mkfifo(t.Sub("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(ProbeWritableForRun(t.WPath(), u"fifo"));
    EXPECT_TRUE(PathExists(t.Sub("fifo")));

    t.WriteFile("left", "old");
    EXPECT_TRUE(ProbeWritableForRun(t.WPath(), u"left"));
    EXPECT_EQ(ReadWholeFile(t.Sub("left")), "old");
}

TEST(Volumes, DriveListCanBeReplacedAndIsRestored) {
    auto real = ListDrives();
    {
        ScopedDriveList replaced({u"/a/", u"/b/"});
        EXPECT_EQ(ListDrives(), (std::vector<std::u16string>{u"/a/", u"/b/"}));
    }
    EXPECT_EQ(ListDrives(), real);
}
