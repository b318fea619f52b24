// The free metadata space of a btrfs is used up only inside a private folder of
// its own making, which goes again with all it made; elsewhere nothing is made.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "platform/MetadataFill.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

}  // namespace

TEST(MetadataFill, OnlyOnBtrfsAndOnlyWhatItMadeGoes) {
    std::atomic<bool> stop{false};
    TempDir plain;
    plain.WriteFile("keep.txt", "mine");
    int fd = ::open(plain.Path().c_str(), O_RDONLY | O_DIRECTORY);
    fsys::MetadataFillOutcome out = fsys::OverwriteFreeMetadata(fd, uint64_t{1} << 30, stop);
    ::close(fd);
    EXPECT_EQ(out.error, EOPNOTSUPP);
    EXPECT_EQ(Entries(plain.Path()), std::set<std::string>{"keep.txt"});

    TestMount mount("btrfs", 128 * 1024, {"-q", "-f"});
    if (!mount.Ok()) GTEST_SKIP() << "no btrfs: " << mount.Error();
    TempDir::WriteFileAt(mount.Path() + "keep.txt", "mine");
    fd = ::open(mount.Path().c_str(), O_RDONLY | O_DIRECTORY);
    uint64_t total = 0, used = 0;
    ASSERT_TRUE(fsys::MetadataSpace(fd, total, used));
    EXPECT_LT(used, total);
    // Bounded by the limit: 1 MiB is some dozens of tree blocks, all gone again.
    out = fsys::OverwriteFreeMetadata(fd, uint64_t{1} << 20, stop);
    EXPECT_TRUE(out.done);
    EXPECT_GT(out.entries, 30u);
    EXPECT_LT(out.entries, 1100u);
    EXPECT_EQ(out.left, 0u);
    EXPECT_EQ(Entries(mount.Path()), std::set<std::string>{"keep.txt"});
    // A stop makes nothing more and still tidies up.
    stop = true;
    out = fsys::OverwriteFreeMetadata(fd, uint64_t{1} << 30, stop);
    EXPECT_FALSE(out.done);
    EXPECT_EQ(out.entries, 0u);
    EXPECT_EQ(Entries(mount.Path()), std::set<std::string>{"keep.txt"});
    ::close(fd);
}
