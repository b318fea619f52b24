// The helper's operations called directly with crafted descriptors: every
// check refuses what it must, and a refused request writes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "helper/HelperOps.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

using helper::Refusal;
using helper::Verdict;

namespace {

constexpr uid_t kUser = 4242;   // the caller
constexpr uid_t kOther = 4343;  // somebody else

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// A new file at `path`, owned by `owner`, open with `flags`.
int OwnedFile(const std::string& path, uid_t owner, int flags = O_RDWR) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchown(fd, owner, owner) != 0) return -1;
    if (flags == O_RDWR) return fd;
    ::close(fd);
    return ::open(path.c_str(), flags | O_CLOEXEC);
}

int Folder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

off_t SizeOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

class HelperChecks : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to other users";
    }
};

}  // namespace

TEST_F(HelperChecks, FillTargetIsRefusedUnlessItIsTheCallersEmptyFileOnTheFolderExt4) {
    TestMount ext4(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(ext4);
    TestMount tmpfs(TestMount::Kind::Tmpfs, 4 * 1024);
    KELVANE_REQUIRE_MOUNT(tmpfs);
    const std::string at = ext4.Path();
    Fd folder(Folder(at));
    ASSERT_GE(folder.get(), 0);

    Fd good(OwnedFile(at + "good", kUser));
    ASSERT_GE(good.get(), 0);
    EXPECT_EQ(helper::CheckReserveTarget(kUser, folder.get(), good.get()), Refusal::None);

    Fd others(OwnedFile(at + "others", kOther));
    Fd roots(OwnedFile(at + "roots", 0));
    ASSERT_EQ(::symlink("good", (at + "link").c_str()), 0);
    Fd link(::open((at + "link").c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    ASSERT_EQ(::mkfifo((at + "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::chown((at + "fifo").c_str(), kUser, kUser), 0);
    Fd fifo(::open((at + "fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    Fd twoNames(OwnedFile(at + "two", kUser));
    ASSERT_EQ(::link((at + "two").c_str(), (at + "two-again").c_str()), 0);
    Fd elsewhere(OwnedFile(tmpfs.Path() + "elsewhere", kUser));
    Fd readOnly(OwnedFile(at + "ro", kUser, O_RDONLY));
    Fd pathOnly(OwnedFile(at + "path", kUser, O_PATH));
    TempDir::WriteFileAt(at + "full", "somebody's data");
    ASSERT_EQ(::chown((at + "full").c_str(), kUser, kUser), 0);
    Fd full(::open((at + "full").c_str(), O_RDWR | O_CLOEXEC));
    Fd tmpfsFolder(Folder(tmpfs.Path()));
    Fd tmpfsFile(OwnedFile(tmpfs.Path() + "on-tmpfs", kUser));

    struct Case {
        const char* what;
        int folder, file;
        Refusal expected;
    };
    for (const Case& c : {
             Case{"another user's file", folder.get(), others.get(), Refusal::NotOwned},
             Case{"root's file", folder.get(), roots.get(), Refusal::NotOwned},
             Case{"a link", folder.get(), link.get(), Refusal::NotARegularFile},
             Case{"a FIFO", folder.get(), fifo.get(), Refusal::NotARegularFile},
             Case{"the folder itself", folder.get(), folder.get(), Refusal::NotARegularFile},
             Case{"a file with two names", folder.get(), twoNames.get(), Refusal::OtherLinks},
             Case{"a file on another device", folder.get(), elsewhere.get(), Refusal::OtherDevice},
             Case{"a read-only descriptor", folder.get(), readOnly.get(), Refusal::NotWritable},
             Case{"an O_PATH descriptor", folder.get(), pathOnly.get(), Refusal::NotWritable},
             Case{"a file with data", folder.get(), full.get(), Refusal::NotEmpty},
             Case{"a file as the folder", good.get(), good.get(), Refusal::NotAFolder},
             Case{"a closed descriptor", folder.get(), -1, Refusal::NotARegularFile},
             Case{"tmpfs", tmpfsFolder.get(), tmpfsFile.get(), Refusal::NotExt4},
         }) {
        SCOPED_TRACE(c.what);
        const bool closed = std::string(c.what) == "a closed descriptor";
        if (!closed) {
            ASSERT_GE(c.file, 0) << "the crafted descriptor could not be made";
        }
        EXPECT_EQ(helper::CheckReserveTarget(kUser, c.folder, c.file), c.expected);
        // Refused means untouched: nothing written, whatever was there kept.
        const off_t before = c.file >= 0 ? SizeOf(c.file) : -1;
        const helper::OpResult r = helper::FillReserve(kUser, c.folder, c.file, {}, {});
        EXPECT_EQ(r.verdict, Verdict::Refused);
        EXPECT_EQ(r.refusal, c.expected);
        EXPECT_EQ(r.bytes, 0u);
        if (c.file >= 0) {
            EXPECT_EQ(SizeOf(c.file), before);
        }
    }
    EXPECT_EQ(ReadWholeFile(at + "full"), "somebody's data");
    // The caller named in the request is the one checked: the same file is
    // refused to anybody else.
    EXPECT_EQ(helper::CheckReserveTarget(kOther, folder.get(), good.get()), Refusal::NotOwned);
}

TEST_F(HelperChecks, FillWritesTheFileUntilTheReserveIsFullThenStopsWhenAsked) {
    TestMount m(TestMount::Kind::Ext4Defaults, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    Fd folder(Folder(m.Path()));
    struct statvfs before {};
    ASSERT_EQ(::fstatvfs(folder.get(), &before), 0);
    const uint64_t reserve = uint64_t{before.f_bfree - before.f_bavail} * before.f_frsize;
    ASSERT_GT(reserve, 0u) << "mkfs defaults keep blocks back for root";

    Fd file(OwnedFile(m.Path() + "filler", kUser));
    helper::FillRequest request;
    request.passes = 2;
    request.random = false;
    request.value = 0x5A;
    const helper::OpResult r = helper::FillReserve(kUser, folder.get(), file.get(), request, {});
    ASSERT_EQ(r.verdict, Verdict::Done) << r.error;
    EXPECT_GT(r.bytes, reserve);
    EXPECT_EQ(static_cast<uint64_t>(SizeOf(file.get())), r.bytes);
    struct statvfs after {};
    ASSERT_EQ(::fstatvfs(folder.get(), &after), 0);
    // Nothing left but what ext4 keeps for its own metadata even from root:
    // 2 % of all its blocks (the 32 MiB image's), at most 4,096, and a few
    // blocks of slack.
    const uint64_t ownBlocks =
        std::min<uint64_t>(32 * 1024 * 1024 / before.f_frsize / 50, 4096) + 64;
    EXPECT_LE(uint64_t{after.f_bfree}, ownBlocks) << after.f_bfree;
    EXPECT_EQ(after.f_bavail, 0u);
    EXPECT_EQ(r.freeLeft, uint64_t{after.f_bfree} * after.f_frsize);
    const std::string content = ReadWholeFile(m.Path() + "filler");
    EXPECT_EQ(content.find_first_not_of('\x5A'), std::string::npos);

    // Asked to stop before the first write: nothing is written, and it says so.
    ASSERT_EQ(::ftruncate(file.get(), 0), 0);
    ASSERT_EQ(::fsync(file.get()), 0);
    const helper::OpResult s =
        helper::FillReserve(kUser, folder.get(), file.get(), request, [] { return true; });
    EXPECT_EQ(s.verdict, Verdict::Stopped);
    EXPECT_EQ(s.bytes, 0u);
}

TEST_F(HelperChecks, JournalIsClearedOnlyThroughTheCallersOwnFolderOnExt4) {
    TestMount ext4(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(ext4);
    TestMount tmpfs(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(tmpfs);
    ASSERT_EQ(::mkdir((ext4.Path() + "mine").c_str(), 0700), 0);
    ASSERT_EQ(::chown((ext4.Path() + "mine").c_str(), kUser, kUser), 0);
    ASSERT_EQ(::mkdir((ext4.Path() + "theirs").c_str(), 0700), 0);
    ASSERT_EQ(::chown((ext4.Path() + "theirs").c_str(), kOther, kOther), 0);
    ASSERT_EQ(::chown(tmpfs.Path().c_str(), kUser, kUser), 0);
    Fd mine(Folder(ext4.Path() + "mine"));
    Fd theirs(Folder(ext4.Path() + "theirs"));
    Fd rootFolder(Folder(ext4.Path()));
    Fd file(OwnedFile(ext4.Path() + "mine/file", kUser));
    Fd onTmpfs(Folder(tmpfs.Path()));
    Fd pathOnly(::open((ext4.Path() + "mine").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));

    std::vector<uint32_t> asked;
    helper::CheckpointCall saved = helper::Checkpoint();
    int answer = 0;
    helper::Checkpoint() = [&](int, uint32_t flags) {
        asked.push_back(flags);
        return (flags & helper::kCheckpointZeroOut) ? answer : 0;
    };
    for (auto [fd, expected] : {std::pair{theirs.get(), Refusal::NotOwned},
                                std::pair{rootFolder.get(), Refusal::NotOwned},
                                std::pair{file.get(), Refusal::NotAFolder},
                                std::pair{pathOnly.get(), Refusal::NotAFolder},
                                std::pair{onTmpfs.get(), Refusal::NotExt4}}) {
        const helper::OpResult r = helper::ClearJournal(kUser, fd);
        EXPECT_EQ(r.verdict, Verdict::Refused);
        EXPECT_EQ(r.refusal, expected);
    }
    EXPECT_TRUE(asked.empty()) << "nothing refused reaches the kernel";

    helper::OpResult r = helper::ClearJournal(kUser, mine.get());
    EXPECT_EQ(r.verdict, Verdict::Done);
    EXPECT_EQ(r.flags, helper::kJournalZeroed);
    EXPECT_EQ(asked, std::vector<uint32_t>{helper::kCheckpointZeroOut});
    // A kernel that will not zero: checkpointed, and not called zeroed.
    answer = EOPNOTSUPP;
    asked.clear();
    r = helper::ClearJournal(kUser, mine.get());
    EXPECT_EQ(r.verdict, Verdict::Done);
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(asked, (std::vector<uint32_t>{helper::kCheckpointZeroOut, 0}));
    // A kernel without the call.
    helper::Checkpoint() = [](int, uint32_t) { return ENOTTY; };
    r = helper::ClearJournal(kUser, mine.get());
    EXPECT_EQ(r.verdict, Verdict::Refused);
    EXPECT_EQ(r.refusal, Refusal::NotSupported);
    helper::Checkpoint() = saved;

    // The real call, on the image (root has CAP_SYS_ADMIN here).
    r = helper::ClearJournal(kUser, mine.get());
    if (r.refusal == Refusal::NotSupported)
        GTEST_SKIP() << "this kernel has no EXT4_IOC_CHECKPOINT";
    EXPECT_EQ(r.verdict, Verdict::Done) << r.error;
    EXPECT_EQ(r.flags, helper::kJournalZeroed);
}
