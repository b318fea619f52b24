#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "platform/Volumes.h"
#include "runs/OfferedDrives.h"
#include "support/DeadMount.h"
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

// The system drive's root has no folder above it, yet is a folder like any mount point.
TEST(OfferedDrives, TheRootFolderIsAFolderAndIsNotLeftOutAsNone) {
    FileOps ops;
    EXPECT_TRUE(ops.IsFolder(u"/"));
    EXPECT_TRUE(ops.IsFolder(u"//"));
    EXPECT_FALSE(ops.IsFile(u"/"));
    ScopedDriveList drives({u"/"});
    const DriveOffer offer = OfferDrives();
    for (const LeftOutDrive& d : offer.leftOut)
        EXPECT_NE(d.reason, u"not a folder") << Utf8FromWide(d.root);
    // Root may write at "/"; a user is offered it through a folder of theirs on it.
    EXPECT_EQ(offer.offered.size() + offer.leftOut.size(), 1u);
    if (::geteuid() == 0) {
        ASSERT_EQ(offer.offered.size(), 1u);
        EXPECT_EQ(offer.offered[0].root, u"/");
    }
}

// One drive that never answers (a server gone) holds up neither the others nor
// the caller: it is left out as "not answering" once the bound has passed.
TEST(OfferedDrives, ADriveThatDoesNotAnswerIsLeftOutWithinTheBound) {
    DeadMount dead;
    KELVANE_REQUIRE_DEAD_MOUNT(dead);
    TestMount good(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(good);
    ScopedDriveList drives({dead.WPath(), good.WPath()});
    const auto start = std::chrono::steady_clock::now();
    const DriveOffer offer = OfferDrives(std::chrono::milliseconds(300));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_FALSE(dead.AbortedByWatchdog());
    ASSERT_EQ(offer.offered.size(), 1u);
    EXPECT_EQ(offer.offered[0].root, good.WPath());
    ASSERT_EQ(offer.leftOut.size(), 1u);
    EXPECT_EQ(offer.leftOut[0].root, dead.WPath());
    EXPECT_EQ(offer.leftOut[0].reason, u"not answering");
    EXPECT_TRUE(offer.leftOut[0].notAnswering);
}
