// RemoveFolderChain: emptied folders go, up to (never including) the root of
// their file system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "EngineTestUtil.h"
#include "ScratchMount.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "support/TempDir.h"

TEST(FolderChain, EmptiedParentsGoAndTheMountPointStays) {
    TempDir dir;
    ScratchMount fs = ScratchMount::Tmpfs(dir.Sub("mnt"), 1 << 20);
    if (!fs.Ok()) GTEST_SKIP() << fs.Why();
    const std::string root = fs.Path();
    FileOps ops;

    // y is empty and x holds only y: both go, and the result is true.
    ASSERT_EQ(::mkdir((root + "x").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "x/y").c_str(), 0700), 0);
    EXPECT_TRUE(ops.RemoveFolderChain(WideFromUtf8(root + "x/y/")));
    EXPECT_TRUE(NamesIn(root).empty());
    EXPECT_TRUE(PathExists(root));

    // x also holds a file: y goes, x stays, the result is false.
    ASSERT_EQ(::mkdir((root + "x").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "x/y").c_str(), 0700), 0);
    dir.WriteFile("mnt/x/other.txt", "keep");
    EXPECT_FALSE(ops.RemoveFolderChain(WideFromUtf8(root + "x/y/")));
    EXPECT_EQ(NamesIn(root + "x"), std::vector<std::string>{"other.txt"});

    // The mount point itself, empty as it now is, is never removed, and the
    // climb does not go on to the folders above it. Asked to remove the mount
    // point itself, the chain says it could not: the folder is still there.
    ASSERT_EQ(::unlink((root + "x/other.txt").c_str()), 0);
    EXPECT_TRUE(ops.RemoveFolderChain(WideFromUtf8(root + "x/")));
    EXPECT_FALSE(ops.RemoveFolderChain(WideFromUtf8(root)));
    struct stat inside {
    }, outside{};
    ASSERT_EQ(::stat(root.c_str(), &inside), 0);
    ASSERT_EQ(::stat(dir.Path().c_str(), &outside), 0);
    EXPECT_NE(inside.st_dev, outside.st_dev);  // still mounted
}

TEST(FolderChain, EveryFolderOnTheWayIsTriedEvenAfterAFailure) {
    TempDir dir;
    FileOps ops;
    dir.MakeDir("a/b/c");
    dir.MakeDir("a/b/busy");         // keeps b
    dir.WriteFile("keep.txt", "x");  // keeps the test folder itself
    // Doubled separators name no extra folder.
    EXPECT_FALSE(ops.RemoveFolderChain(dir.WSub("a/b//busy/")));
    EXPECT_FALSE(PathExists(dir.Sub("a/b/busy")));
    EXPECT_TRUE(PathExists(dir.Sub("a/b")));
    dir.MakeDir("a/b/busy");
    // c goes though b fails; a above it is tried too, and fails as it holds b.
    dir.MakeDir("a/b/c");
    EXPECT_FALSE(ops.RemoveFolderChain(dir.WSub("a/b/c/")));
    EXPECT_FALSE(PathExists(dir.Sub("a/b/c")));
    EXPECT_TRUE(PathExists(dir.Sub("a/b/busy")));
    EXPECT_EQ(ReadWholeFile(dir.Sub("keep.txt")), "x");
    // A file is no folder, and "/" is never even tried.
    EXPECT_FALSE(ops.RemoveFolderChain(dir.WSub("keep.txt/")));
    EXPECT_TRUE(ops.RemoveFolderChain(u"/"));
    EXPECT_TRUE(PathExists("/"));
}

// The climb after a shredded file stops at a folder it was not given that is
// shared (sticky, as /tmp and /var/tmp are), someone else's, or the user's
// home or one of its standard folders. A folder row's own folder is removed
// even when someone else owns it; a sticky one never is.
TEST(FolderChain, SharedForeignAndHomeFoldersSurviveTheClimb) {
    TempDir dir;
    ScratchMount fs = ScratchMount::Tmpfs(dir.Sub("mnt"), 1 << 20);
    if (!fs.Ok()) GTEST_SKIP() << fs.Why();
    const std::string root = fs.Path();
    for (const char* rel : {"shared", "shared/mine", "shared/mine/deep", "theirs", "theirs/mine",
                            "given", "home", "home/Documents", "home/Documents/x"})
        ASSERT_EQ(::mkdir((root + rel).c_str(), 0755), 0) << rel;
    ASSERT_EQ(::chmod((root + "shared").c_str(), 01777), 0);
    ASSERT_EQ(::chown((root + "theirs").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((root + "given").c_str(), 65534, 65534), 0);
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", (root + "home").c_str(), 1);
    FileOps ops;
    const bool fromShared = ops.RemoveFolderChain(WideFromUtf8(root + "shared/mine/deep/"), false);
    const bool fromTheirs = ops.RemoveFolderChain(WideFromUtf8(root + "theirs/mine/"), false);
    const bool fromHome = ops.RemoveFolderChain(WideFromUtf8(root + "home/Documents/x/"), false);
    const bool given = ops.RemoveFolderChain(WideFromUtf8(root + "given/"));
    const bool sharedItself = ops.RemoveFolderChain(WideFromUtf8(root + "shared/"));
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");

    EXPECT_TRUE(fromShared);
    EXPECT_TRUE(fromTheirs);
    EXPECT_TRUE(fromHome);
    EXPECT_TRUE(given);
    EXPECT_FALSE(sharedItself);
    EXPECT_EQ(NamesIn(root), (std::vector<std::string>{"home", "shared", "theirs"}));
    EXPECT_TRUE(NamesIn(root + "shared").empty());
    EXPECT_TRUE(NamesIn(root + "theirs").empty());
    EXPECT_EQ(NamesIn(root + "home"), std::vector<std::string>{"Documents"});
    EXPECT_TRUE(NamesIn(root + "home/Documents").empty());
}
