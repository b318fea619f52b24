// ShredFile against what it must never do: write through links, open special
// files, leave old data on the device, report a failure as success.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EngineTestUtil.h"
#include "ScratchMount.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "support/RawDevice.h"
#include "support/TempDir.h"

namespace {

const std::string kMarker = "KELVANE-MARKER-7f3a9c1e-OLD-SECRET-DATA";

std::string MarkerText(size_t size) {
    std::string s;
    while (s.size() < size) s += kMarker;
    s.resize(size);
    return s;
}

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

TEST(ShredSafety, LinksAreRemovedAsLinksAndTargetsStayUntouched) {
    TempDir dir;
    FileOps ops;
    dir.WriteFile("target", "precious");
    dir.WriteFile("tdir/inner", "also precious");
    ASSERT_EQ(::symlink(dir.Sub("target").c_str(), dir.Sub("lfile").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("tdir").c_str(), dir.Sub("ldir").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("nowhere").c_str(), dir.Sub("ldangling").c_str()), 0);

    // A link to a folder is no folder: it is an entry to be removed.
    EXPECT_TRUE(ops.IsFile(dir.WSub("ldir")));
    EXPECT_FALSE(ops.IsFolder(dir.WSub("ldir")));
    for (const char* link : {"lfile", "ldir", "ldangling"}) {
        ShredFileOptions o;
        o.path = dir.WSub(link);
        o.shredNames = true;
        o.modifySize = true;
        o.sizeToZero = false;
        EXPECT_TRUE(ops.ShredFile(3, o)) << link;
        EXPECT_FALSE(PathExists(dir.Sub(link))) << link;
    }
    EXPECT_EQ(ReadWholeFile(dir.Sub("target")), "precious");
    EXPECT_EQ(ReadWholeFile(dir.Sub("tdir/inner")), "also precious");
    EXPECT_FALSE(PathExists(dir.Sub("nowhere")));
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"target", "tdir"}));

    // Kept links are still never written through, only renamed.
    ASSERT_EQ(::symlink(dir.Sub("target").c_str(), dir.Sub("keep").c_str()), 0);
    auto keep = KeepOptions(dir.WSub("keep"));
    keep.shredNames = true;
    keep.modifySize = true;
    EXPECT_TRUE(ops.ShredFile(2, keep));
    EXPECT_EQ(ReadWholeFile(dir.Sub("target")), "precious");
    EXPECT_EQ(NamesIn(dir.Path()).size(), 3u);
    EXPECT_FALSE(PathExists(dir.Sub("keep")));
}

TEST(ShredSafety, SpecialFilesAreNeverOpenedOnlyRemoved) {
    TempDir dir;
    FileOps ops;
    // Opening a FIFO without a partner would wait forever; a writer that was let
    // through would block here, so finishing at all is part of the check.
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(ops.IsFile(dir.WSub("fifo")));
    EXPECT_TRUE(ops.ShredFile(1, KeepOptions(dir.WSub("fifo"))));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.Sub("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(ops.ShredFile(0, KeepOptions(dir.WSub("fifo"))));

    ShredFileOptions o;
    o.path = dir.WSub("fifo");
    o.shredNames = true;
    EXPECT_TRUE(ops.ShredFile(1, o));
    EXPECT_TRUE(NamesIn(dir.Path()).empty());
}

TEST(ShredSafety, OldDataIsGoneFromTheFilesBlocks) {
    TempDir dir;
    ScratchMount fs = ScratchMount::LoopExt4(dir.Sub("image"), dir.Sub("mnt"), 32);
    if (!fs.Ok()) GTEST_SKIP() << fs.Why();
    const std::string file = fs.Path() + "secret.txt";
    {
        int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        const std::string text = MarkerText(300000);
        ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ASSERT_EQ(::fsync(fd), 0);
        ::close(fd);
    }
    // The marker must be on the device first, or its absence later proves nothing.
    ASSERT_TRUE(CountOnDevice(dir.Sub("image"), kMarker) > 0);
    const ino_t inode = InodeOf(file);

    {
        // FileOps holds the folder of the file it shredded last (for the next file
        // in it) until it goes: gone before the unmount below.
        FileOps ops;
        ASSERT_TRUE(ops.ShredFile(1, KeepOptions(WideFromUtf8(file))));
    }
    ASSERT_EQ(InodeOf(file), inode);  // the same file, not a new one under the old name
    EXPECT_EQ(SizeOf(file), 300000);
    EXPECT_FALSE(Contains(ReadWholeFile(file), kMarker));
    // The new data is on the device as soon as ShredFile returns, not whenever
    // the page cache gets round to it.
    EXPECT_FALSE(CountOnDevice(dir.Sub("image"), kMarker) > 0);
    // And no copy is left anywhere on the device, not even in freed blocks.
    ASSERT_TRUE(fs.Unmount());
    EXPECT_FALSE(CountOnDevice(dir.Sub("image"), kMarker) > 0);
}

TEST(ShredSafety, FilesOfTwoGibibytesAndMoreAreFullyWritten) {
    TempDir dir;
    const int64_t length = (int64_t{2} << 30) + 4096 + 7;
    ScratchMount fs =
        ScratchMount::Tmpfs(dir.Sub("mnt"), static_cast<uint64_t>(length) + (64 << 20));
    if (!fs.Ok()) GTEST_SKIP() << fs.Why();
    const std::string file = fs.Path() + "big";
    {
        int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, length), 0);  // a hole, nothing allocated yet
        ::close(fd);
    }
    FileOps ops;
    auto o = KeepOptions(WideFromUtf8(file));
    o.shredValue = u"90";  // 0x5A
    o.blockSize = 8u << 20;
    ASSERT_TRUE(ops.ShredFile(1, o));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, length);
    // Every byte was written, so no hole is left.
    EXPECT_GE(static_cast<int64_t>(st.st_blocks) * 512, length);
    int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (int64_t at : {int64_t{0}, (int64_t{1} << 31) - 1, int64_t{1} << 31, length - 1}) {
        char c = 0;
        ASSERT_EQ(::pread(fd, &c, 1, at), 1) << at;
        EXPECT_EQ(c, 0x5A) << "offset " << at;
    }
    ::close(fd);
}

TEST(ShredSafety, AFullDiskIsAFailure) {
    TempDir dir;
    ScratchMount fs = ScratchMount::Tmpfs(dir.Sub("mnt"), 1 << 20);
    if (!fs.Ok()) GTEST_SKIP() << fs.Why();
    FileOps ops;
    // A sparse file needs new blocks for its holes: the pass runs out of space.
    const std::string sparse = fs.Path() + "sparse";
    {
        int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 4 << 20), 0);
        ::close(fd);
    }
    ShredFileOptions o;
    o.path = WideFromUtf8(sparse);
    EXPECT_FALSE(ops.ShredFile(1, o));
    EXPECT_TRUE(PathExists(sparse));  // not deleted after a failed pass
    ASSERT_EQ(::unlink(sparse.c_str()), 0);

    // A file whose blocks exist is overwritten in place even on a full disk, but
    // growing it cannot succeed.
    const std::string file = fs.Path() + "f";
    {
        int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        const std::string text = MarkerText(64 << 10);
        ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
        int filler = ::open((fs.Path() + "filler").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(filler, 0);
        const std::string chunk(4096, 'F');
        while (::write(filler, chunk.data(), chunk.size()) > 0) {
        }
        ::close(filler);
    }
    auto grow = KeepOptions(WideFromUtf8(file));
    grow.shredValue = u"1";
    EXPECT_TRUE(ops.ShredFile(2, grow));
    EXPECT_EQ(ReadWholeFile(file), std::string(64 << 10, '\x01'));
    grow.modifySize = true;
    grow.sizeToZero = false;
    EXPECT_FALSE(ops.ShredFile(1, grow));
}

TEST(ShredSafety, AnEntryThatCannotBeExaminedIsNoSuccess) {
    TempDir dir;
    dir.WriteFile("locked/f", "secret");
    ASSERT_EQ(::chmod(dir.Sub("locked").c_str(), 0700), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    // Root may look anywhere, so the check runs as an unprivileged user when we
    // are root, and with the folder closed when we are not.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        } else if (::chmod(dir.Sub("locked").c_str(), 0) != 0) {
            ::_exit(11);
        }
        FileOps ops;
        ShredFileOptions o;
        o.path = dir.WSub("locked/f");
        int code = 0;
        if (ops.IsFile(o.path)) code |= 1;
        if (ops.ShredFile(1, o)) code |= 2;  // must not claim it was done
        if (ops.IsFile(o.path)) code |= 4;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::chmod(dir.Sub("locked").c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadWholeFile(dir.Sub("locked/f")), "secret");

    // A path that holds a NUL names nothing we could act on.
    FileOps ops;
    std::u16string bad = dir.WSub("locked/f");
    bad += u'\0';
    ShredFileOptions o;
    o.path = bad;
    EXPECT_FALSE(ops.ShredFile(1, o));
    EXPECT_EQ(ReadWholeFile(dir.Sub("locked/f")), "secret");
}
