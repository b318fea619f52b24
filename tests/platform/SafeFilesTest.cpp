#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "platform/SafeFiles.h"
#include "support/TempDir.h"

namespace {

constexpr uid_t kNobody = 65534;

uint32_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFFu;
}

// Another user's link or file needs root to make.
bool CanActAsOthers() {
    return ::geteuid() == 0;
}

}  // namespace

TEST(SafeFiles, NewFileIsMadeOnlyWhereNothingIsAndWrittenByItsDescriptor) {
    TempDir dir;
    std::string error;
    {
        fsys::NewFile f;
        ASSERT_TRUE(f.Create(dir.Sub("new.json"), 0600, error)) << error;
        ASSERT_EQ(::write(f.Fd(), "abc", 3), 3);
        EXPECT_TRUE(f.Sync());
    }
    EXPECT_EQ(ReadWholeFile(dir.Sub("new.json")), "abc");
    EXPECT_EQ(ModeOf(dir.Sub("new.json")), 0600u);

    // Anything already there is refused: a file, a link, a FIFO.
    dir.WriteFile("taken", "theirs");
    ASSERT_EQ(::symlink(dir.Sub("taken").c_str(), dir.Sub("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0666), 0);
    for (const char* name : {"taken", "link", "fifo"}) {
        fsys::NewFile f;
        EXPECT_FALSE(f.Create(dir.Sub(name), 0600, error)) << name;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(ReadWholeFile(dir.Sub("taken")), "theirs");
    fsys::NewFile none;
    EXPECT_FALSE(none.Create(dir.Sub("sub/"), 0600, error));
    EXPECT_FALSE(none.Create(dir.Sub("."), 0600, error));

    // Discard takes back only what it made.
    {
        fsys::NewFile f;
        ASSERT_TRUE(f.Create(dir.Sub("gone"), 0600, error));
        f.Discard();
    }
    EXPECT_FALSE(PathExists(dir.Sub("gone")));
    {
        fsys::NewFile f;
        ASSERT_TRUE(f.Create(dir.Sub("swapped"), 0600, error));
        ASSERT_EQ(::unlink(dir.Sub("swapped").c_str()), 0);
        dir.WriteFile("swapped", "someone else's");
        f.Discard();
    }
    EXPECT_EQ(ReadWholeFile(dir.Sub("swapped")), "someone else's");
}

TEST(SafeFiles, FolderIsReachedThroughOwnLinksOnlyNeverAnotherUsers) {
    TempDir dir;
    dir.MakeDir("real");
    ASSERT_EQ(::symlink("real", dir.Sub("mine").c_str()), 0);
    std::string error;
    fsys::NewFile f;
    ASSERT_TRUE(f.Create(dir.Sub("mine/a.pdf"), 0600, error)) << error;
    EXPECT_TRUE(PathExists(dir.Sub("real/a.pdf")));
    EXPECT_FALSE(f.Create(dir.Sub("real/a.pdf/b"), 0600, error));  // a file on the way

    if (!CanActAsOthers()) GTEST_SKIP() << "another user's link needs root to make";
    // A shared folder (0777, no sticky bit) where another user put a link.
    dir.MakeDir("shared");
    ASSERT_EQ(::chmod(dir.Sub("shared").c_str(), 0777), 0);
    dir.MakeDir("shared/target");
    ASSERT_EQ(::symlink(dir.Sub("shared/target").c_str(), dir.Sub("shared/drop").c_str()), 0);
    ASSERT_EQ(::lchown(dir.Sub("shared/drop").c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(f.Create(dir.Sub("shared/drop/r.json"), 0600, error));
    EXPECT_NE(error.find("link"), std::string::npos) << error;
    EXPECT_FALSE(PathExists(dir.Sub("shared/target/r.json")));
    // Our own link in that shared folder is no better: anyone may replace it there.
    ASSERT_EQ(::symlink("target", dir.Sub("shared/own").c_str()), 0);
    EXPECT_LT(fsys::OpenFolderSafely(dir.Sub("shared/own"), error), 0);
    const int fd = fsys::OpenFolderSafely(dir.Sub("shared/target"), error);
    EXPECT_GE(fd, 0) << error;
    if (fd >= 0) ::close(fd);
}

TEST(SafeFiles, AppendGoesOnlyToOurOwnPrivateRegularFile) {
    TempDir dir;
    std::string error;
    int fd = fsys::OpenForAppend(dir.Sub("log"), error);
    ASSERT_GE(fd, 0) << error;
    ASSERT_EQ(::write(fd, "one\n", 4), 4);
    ::close(fd);
    EXPECT_EQ(ModeOf(dir.Sub("log")), 0600u);
    fd = fsys::OpenForAppend(dir.Sub("log"), error);
    ASSERT_GE(fd, 0) << error;
    ASSERT_EQ(::write(fd, "two\n", 4), 4);
    ::close(fd);
    EXPECT_EQ(ReadWholeFile(dir.Sub("log")), "one\ntwo\n");

    // A FIFO without a reader: refused at once, never waited on.
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(fsys::OpenForAppend(dir.Sub("fifo"), error), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_NE(error.find("FIFO"), std::string::npos) << error;

    dir.WriteFile("open", "x");
    ASSERT_EQ(::chmod(dir.Sub("open").c_str(), 0666), 0);
    EXPECT_LT(fsys::OpenForAppend(dir.Sub("open"), error), 0);
    EXPECT_NE(error.find("others"), std::string::npos) << error;
    dir.WriteFile("two-names", "x");
    ASSERT_EQ(::chmod(dir.Sub("two-names").c_str(), 0600), 0);
    ASSERT_EQ(::link(dir.Sub("two-names").c_str(), dir.Sub("other-name").c_str()), 0);
    EXPECT_LT(fsys::OpenForAppend(dir.Sub("two-names"), error), 0);
    ASSERT_EQ(::symlink(dir.Sub("log").c_str(), dir.Sub("link").c_str()), 0);
    EXPECT_LT(fsys::OpenForAppend(dir.Sub("link"), error), 0);
    EXPECT_LT(fsys::OpenForAppend("/dev/null", error), 0);

    if (!CanActAsOthers()) GTEST_SKIP() << "another user's file needs root to make";
    dir.WriteFile("theirs", "their lines\n");
    ASSERT_EQ(::chmod(dir.Sub("theirs").c_str(), 0600), 0);
    ASSERT_EQ(::chown(dir.Sub("theirs").c_str(), kNobody, kNobody), 0);
    EXPECT_LT(fsys::OpenForAppend(dir.Sub("theirs"), error), 0);
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(dir.Sub("theirs")), "their lines\n");
}

TEST(SafeFiles, ReadingTakesRegularFilesAtOnceAndPipesOnlyWhenAsked) {
    TempDir dir;
    dir.WriteFile("pattern", "\x55\xaa");
    ASSERT_EQ(::symlink(dir.Sub("pattern").c_str(), dir.Sub("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
    dir.MakeDir("folder");
    std::string out, error;
    EXPECT_TRUE(fsys::ReadRegularFile(dir.Sub("link"), out, 16, error)) << error;
    EXPECT_EQ(out, "\x55\xaa");
    EXPECT_FALSE(fsys::ReadRegularFile(dir.Sub("pattern"), out, 1, error));  // too long

    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(fsys::OpenForReading(dir.Sub("fifo"), error), 0);
    EXPECT_NE(error.find("FIFO"), std::string::npos) << error;
    EXPECT_LT(fsys::OpenForReading("/dev/zero", error), 0);
    EXPECT_NE(error.find("device"), std::string::npos) << error;
    EXPECT_LT(fsys::OpenForReading(dir.Sub("folder"), error), 0);
    EXPECT_LT(fsys::OpenForReading(dir.Sub("missing"), error), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    // "<(find ...)": a pipe named /dev/fd/N (here /proc/self/fd/N).
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    ASSERT_EQ(::write(p[1], "a\nb\n", 4), 4);
    ::close(p[1]);
    const std::string name = "/proc/self/fd/" + std::to_string(p[0]);
    EXPECT_LT(fsys::OpenForReading(name, error), 0);
    const int fd = fsys::OpenForReading(name, error, /*pipeAllowed=*/true);
    ASSERT_GE(fd, 0) << error;
    char buf[8] = {};
    EXPECT_EQ(::read(fd, buf, sizeof buf), 4);
    ::close(fd);
    ::close(p[0]);
}
