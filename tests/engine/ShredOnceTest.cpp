// A file is looked at, written, read back and cut through one descriptor, its
// folder is reached once for the files that follow in it, and only data that is
// there is synced.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "support/TempDir.h"

namespace {

// Options that count each pass's sync and record the descriptors the look saw.
struct Counted {
    ShredFileOptions options;
    int syncs = 0;
    std::vector<int> seenFds;
    int64_t seenSize = -1;
};

void Count(Counted& c, const std::u16string& path) {
    c.options = KeepOptions(path);
    c.options.syncPass = [&c](int fd, uint64_t) {
        ++c.syncs;
        return ::fdatasync(fd) == 0;
    };
    c.options.seen = [&c](int fd, const fsys::Attributes& attr) {
        c.seenFds.push_back(fd);
        if (fd >= 0) c.seenSize = attr.size;
    };
}

}  // namespace

TEST(ShredOnce, EachPassOfDataIsSyncedAndAnEmptyFileNever) {
    TempDir dir;
    FileOps ops;
    for (const int64_t size : {0, 1, 5000}) {
        SCOPED_TRACE(size);
        dir.WriteFile("f", std::string(static_cast<size_t>(size), 'd'));
        Counted c;
        Count(c, dir.WSub("f"));
        c.options.shredValue = u"0";
        ASSERT_TRUE(ops.ShredFile(3, c.options));
        EXPECT_EQ(c.syncs, size == 0 ? 0 : 3);
        // Looked at by name, then through the open file, whose length it tells.
        ASSERT_EQ(c.seenFds.size(), 2u);
        EXPECT_EQ(c.seenFds[0], -1);
        EXPECT_GE(c.seenFds[1], 0);
        EXPECT_EQ(c.seenSize, size);
        EXPECT_EQ(SizeOf(dir.Sub("f")), size);
        EXPECT_EQ(ReadWholeFile(dir.Sub("f")), std::string(static_cast<size_t>(size), '\0'));
    }
    // A failed sync fails the pass, and the file stays.
    dir.WriteFile("g", "data");
    Counted c;
    Count(c, dir.WSub("g"));
    c.options.syncPass = [](int, uint64_t) {
        errno = EIO;
        return false;
    };
    EXPECT_FALSE(ops.ShredFile(1, c.options));
    EXPECT_EQ(ops.LastShred().error, EIO);
    EXPECT_TRUE(PathExists(dir.Sub("g")));
}

TEST(ShredOnce, AFileNotOursToWriteIsLookedAtAndThenRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "the read-only mode stops root's writes only here";
    TempDir dir;
    dir.WriteFile("ro", "secret");
    ASSERT_EQ(::chmod(dir.Sub("ro").c_str(), 0444), 0);
    FileOps ops;
    Counted c;
    Count(c, dir.WSub("ro"));
    c.options.deleteAfter = true;
    EXPECT_FALSE(ops.ShredFile(1, c.options));
    EXPECT_EQ(ops.LastShred().error, EACCES);
    // The report still had its look at the open file.
    ASSERT_EQ(c.seenFds.size(), 2u);
    EXPECT_GE(c.seenFds[1], 0);
    EXPECT_EQ(ReadWholeFile(dir.Sub("ro")), "secret");
    EXPECT_EQ(c.syncs, 0);
}

TEST(ShredOnce, TheFolderHeldForOneFileNeverHidesAnotherFolderAtItsPath) {
    TempDir dir;
    TempDir outside;
    dir.MakeDir("d");
    dir.WriteFile("d/a", "first");
    dir.WriteFile("d/b", "second");
    outside.WriteFile("c", "not chosen");
    FileOps ops;
    ops.ConfineTo(fsys::Root{dir.WPath(), {}});
    auto options = [&](const std::string& rel) {
        ShredFileOptions o = KeepOptions(dir.WSub(rel));
        o.deleteAfter = true;
        return o;
    };
    ASSERT_TRUE(ops.ShredFile(1, options("d/a")));
    EXPECT_FALSE(PathExists(dir.Sub("d/a")));

    // The folder goes and another takes its path: the file there is found and
    // shredded, not taken for gone because the old folder no longer has it.
    ASSERT_EQ(::unlink(dir.Sub("d/b").c_str()), 0);
    ASSERT_EQ(::rmdir(dir.Sub("d").c_str()), 0);
    dir.MakeDir("d");
    dir.WriteFile("d/b", "in the new folder");
    ASSERT_TRUE(ops.ShredFile(1, options("d/b")));
    EXPECT_FALSE(PathExists(dir.Sub("d/b")));

    // The folder is moved away and a link takes its path: nothing behind the
    // link is touched, whether the held folder serves or the path is followed.
    dir.WriteFile("d/c", "listed");
    ASSERT_EQ(::rename(dir.Sub("d").c_str(), dir.Sub("moved").c_str()), 0);
    ASSERT_EQ(::symlink(outside.Path().c_str(), dir.Sub("d").c_str()), 0);
    (void)ops.ShredFile(1, options("d/c"));
    EXPECT_EQ(ReadWholeFile(outside.Sub("c")), "not chosen");
    // A fresh FileOps follows the path, and refuses the link.
    FileOps fresh;
    fresh.ConfineTo(fsys::Root{dir.WPath(), {}});
    EXPECT_FALSE(fresh.ShredFile(1, options("d/c")));
    EXPECT_TRUE(fresh.LastShred().folderChanged);
    EXPECT_EQ(ReadWholeFile(outside.Sub("c")), "not chosen");
}
