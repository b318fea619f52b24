// Writing a journal over without administrator rights: its size is told from
// what the kernel shows every user, and the folders and attributes made for it
// all go again, leaving the folder as it was.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>

#include "platform/JournalPush.h"
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

TEST(JournalPush, SizeToldFromProcAndTheGeometryAndNothingMadeStays) {
    std::atomic<bool> stop{false};
    TempDir dir;
    // No journal where the file system has none it tells of.
    TestMount memory(TestMount::Kind::Tmpfs, 4096);
    KELVANE_REQUIRE_MOUNT(memory);
    int fd = ::open(memory.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    uint64_t bytes = 0, block = 0;
    EXPECT_FALSE(fsys::JournalSize(fd, bytes, block));
    // The push itself works anywhere and leaves only what was there.
    TempDir::WriteFileAt(memory.Path() + "keep.txt", "mine");
    fsys::JournalPushOutcome p = fsys::PushJournal(fd, 5000, stop);
    EXPECT_TRUE(p.done);
    EXPECT_EQ(p.folders, 5000u);
    EXPECT_EQ(p.left, 0u);
    EXPECT_EQ(Entries(memory.Path()), std::set<std::string>{"keep.txt"});
    // Stopped: nothing made, nothing left, not done.
    stop = true;
    p = fsys::PushJournal(fd, 5000, stop);
    EXPECT_FALSE(p.done);
    EXPECT_EQ(p.folders, 0u);
    EXPECT_EQ(Entries(memory.Path()), std::set<std::string>{"keep.txt"});
    stop = false;
    ::close(fd);

    // ext4: "each up to N blocks" of /proc/fs/jbd2/<device>-8/info, the device
    // named through /sys/dev/block; a third of the journal, so four times it
    // covers the whole.
    TestMount ext4(TestMount::Kind::Ext4Image, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(ext4);
    fd = ::open(ext4.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat st {};
    struct statfs sf {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    ASSERT_EQ(::fstatfs(fd, &sf), 0);
    const std::string dev =
        std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    std::filesystem::create_directories(dir.Sub("sys/dev/block"));
    std::filesystem::create_directories(dir.Sub("proc/fs/jbd2/loop77-8"));
    std::filesystem::create_directory_symlink("../../devices/virtual/block/loop77",
                                              dir.Sub("sys/dev/block/" + dev));
    dir.WriteFile("proc/fs/jbd2/loop77-8/info",
                  "3 transactions (1 requested), each up to 1365 blocks\n");
    ASSERT_TRUE(fsys::JournalSize(fd, bytes, block, dir.Sub("proc"), dir.Sub("sys")));
    EXPECT_EQ(block, static_cast<uint64_t>(sf.f_bsize));
    EXPECT_EQ(bytes, 1365u * 4 * block);
    EXPECT_EQ(fsys::FoldersToPush(fd, bytes, block), 1365u * 4);
    // A device the fake tree does not name, and an info without the figure.
    dir.WriteFile("proc/fs/jbd2/loop77-8/info", "garbage\n");
    EXPECT_FALSE(fsys::JournalSize(fd, bytes, block, dir.Sub("proc"), dir.Sub("sys")));
    EXPECT_FALSE(fsys::JournalSize(fd, bytes, block, dir.Sub("proc"), dir.Sub("nothing")));
    // The real one: at least the 1 MiB of the smallest journal mkfs makes.
    ASSERT_TRUE(fsys::JournalSize(fd, bytes, block));
    EXPECT_GE(bytes, uint64_t{1} << 20);
    ::close(fd);

    // xfs: the log's size from its geometry; attributes of a file without a
    // name write it over and nothing shows in the folder.
    TestMount xfs(TestMount::Kind::XfsImage, 320 * 1024);
    if (!xfs.Ok()) GTEST_SKIP() << "xfs not tried: " << xfs.Error();
    fd = ::open(xfs.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(fsys::JournalSize(fd, bytes, block));
    EXPECT_EQ(block, 4096u);
    EXPECT_GE(bytes, uint64_t{4} << 20);
    TempDir::WriteFileAt(xfs.Path() + "keep.txt", "mine");
    p = fsys::PushLogWithAttributes(fd, uint64_t{8} << 20, block, stop);
    EXPECT_TRUE(p.done) << p.error;
    EXPECT_GE(p.folders, uint64_t{8} << 20 >> 12);
    EXPECT_EQ(Entries(xfs.Path()), std::set<std::string>{"keep.txt"});
    ::close(fd);
}
