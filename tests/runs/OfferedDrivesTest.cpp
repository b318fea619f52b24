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
    // Tests run as root: the free space a fill reaches includes the root reserve.
    EXPECT_EQ(offered[0].freeMiB, WideFromUtf8(std::to_string(space.totalFree / 1048576)));
    EXPECT_EQ(offered[1].root, small.WPath());
    EXPECT_EQ(offered[1].label, u"");
    EXPECT_EQ(offered[1].freeMiB, u"3") << "3.5 MiB free is shown as 3";
    // The others are named with the reason.
    const DriveOffer offer = OfferDrives();
    ASSERT_EQ(offer.leftOut.size(), 3u);
    EXPECT_EQ(offer.leftOut[0].reason, u"not a folder");
    EXPECT_EQ(offer.leftOut[1].root, readOnly.WPath());
    EXPECT_EQ(offer.leftOut[1].reason, u"read-only");
    EXPECT_EQ(offer.leftOut[2].reason, u"not a folder");
    // The probe file went again.
    EXPECT_FALSE(PathExists(small.Path() + "Morvik.$$$temp$$$"));
}
