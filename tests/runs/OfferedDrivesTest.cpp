#include <gtest/gtest.h>
#include <sys/mount.h>

#include "config/TextConv.h"
#include "platform/Volumes.h"
#include "runs/OfferedDrives.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

TEST(OfferedDrives, OnlyWritableExistingFoldersWithTheirLabelAndFreeMegabytes) {
    TestMount labelled(TestMount::Kind::Ext4Image, 32 * 1024, "SCRATCH");
    TestMount small(TestMount::Kind::Tmpfs, 3 * 1024 + 512);
    TestMount readOnly(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(labelled);
    KELVANE_REQUIRE_MOUNT(small);
    KELVANE_REQUIRE_MOUNT(readOnly);
    ASSERT_EQ(::mount(nullptr, readOnly.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
              0);
    TempDir t;
    t.WriteFile("plain", "x");

    ScopedDriveList drives(
        {labelled.WPath(), t.WSub("missing/"), readOnly.WPath(), small.WPath(), t.WSub("plain")});
    auto offered = OfferedDrives();
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].root, labelled.WPath());
    EXPECT_EQ(offered[0].label, u"SCRATCH");
    const DriveSpace space = QueryDriveSpace(labelled.WPath());
    EXPECT_EQ(offered[0].freeMiB, WideFromUtf8(std::to_string(space.freeToCaller / 1048576)));
    EXPECT_EQ(offered[1].root, small.WPath());
    EXPECT_EQ(offered[1].label, u"");
    EXPECT_EQ(offered[1].freeMiB, u"3") << "3.5 MiB free is shown as 3";
    // The probe file went again.
    EXPECT_FALSE(PathExists(small.Path() + "Morvik.$$$temp$$$"));
}
