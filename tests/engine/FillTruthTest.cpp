// The fill reaches every free byte and reports what really happened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "config/TextConv.h"
#include "engine/FillDrive.h"
#include "engine/FillerRecovery.h"
#include "engine/ShredBlock.h"
#include "platform/Volumes.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

FillParams Params(uint32_t block, uint32_t limit) {
    FillParams p;
    p.blockSize = block;
    p.fileSizeLimit = limit;
    p.random = false;
    p.shredValue = u"90";
    p.iterations = 1;
    p.trim = false;
    return p;
}

// Runs `body` in a child process and returns its exit status (for settings
// that must not touch this process: resource limits, user ids).
int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

}  // namespace

// A batch of several MiB that meets ENOSPC is not dropped whole: what still
// fits goes in with halving writes, and the drive ends truly full.
TEST(FillTruth, LastBatchIsWrittenAsFarAsItFits) {
    TestMount m(TestMount::Kind::Ext4Image, 24 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = Params(512 * 1024, 8 * kMiB);
    p.leaveFiles = true;
    FillRun run(p);
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, {}, stop);
    EXPECT_TRUE(out.Ok());
    EXPECT_TRUE(out.diskFull);
    m.Sync();
    // ext4 counts as free the 2 % it keeps for its own metadata, which no
    // writer gets; beyond that, nothing may be left.
    const DriveSpace left = QueryDriveSpace(m.WPath());
    const uint64_t ext4Own = left.total / 40 + 4 * left.blockSize;
    EXPECT_LE(left.totalFree, ext4Own) << "free bytes left: " << left.totalFree;
    EXPECT_GE(out.written + ext4Own, out.freeBytes);
}

// One reading of the shred value for both kinds of run; however large the
// block setting, memory stays bounded and the bytes stay those of the block.
TEST(FillTruth, ShredValueByteIsSharedAndLargeBlocksAreHeldCapped) {
    for (const char16_t* v : {u"4294967296", u"-1", u"300", u"99999999999999999999257", u"x"}) {
        FillBlock b(4096);
        b.Build(false, v);
        EXPECT_EQ(b.Data()[0], ShredBlock::FixedByte(v)) << Utf8FromWide(v);
    }
    FillBlock b(1);
    b.Build(false, u"4294967296");
    EXPECT_EQ(b.Data()[0], 0) << "the file run's reading, not a saturated 0xFF";

    FillBlock huge(512u * 1024 * 1024);
    ASSERT_TRUE(huge.Ok());
    EXPECT_EQ(huge.Size(), 512u * 1024 * 1024);
    EXPECT_LE(huge.Held(), FillBlock::kMaxHeld);

    // A 24 MiB block with a 7-byte pattern, written on a drive: every chunk is
    // the pattern from its first byte on, across the held part's end.
    TestMount m(TestMount::Kind::Tmpfs, 40 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir t;
    t.WriteFile("pattern", "0123456");
    FillParams p = Params(24 * 1024 * 1024, 30 * 1024 * 1024);
    p.shredValue = t.WSub("pattern");
    p.leaveFiles = true;
    FillRun run(p);
    EXPECT_LE(run.block.Held(), FillBlock::kMaxHeld);
    std::atomic<bool> stop{false};
    FillDrive(m.WPath(), p, run, {}, stop);
    const std::string content = ReadWholeFile(m.Path() + "Morvik.$$$temp$$$0000");
    ASSERT_GT(content.size(), 24u * 1024 * 1024);
    size_t wrong = 0;
    for (size_t i = 0; i < content.size(); ++i)
        wrong += content[i] != "0123456"[(i % (24u * 1024 * 1024)) % 7];
    EXPECT_EQ(wrong, 0u);
}

// Failures end a drive as failures: a file-size limit (ulimit -f) and a device
// that fails in the middle of the fill (ext4 shut down), both with their errno.
TEST(FillTruth, FileSizeLimitAndFailingDeviceAreWriteErrors) {
    TestMount m(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    const int status = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{2 * kMiB, 2 * kMiB};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        FillParams p = Params(256 * 1024, 8 * kMiB);
        FillRun run(p);
        std::atomic<bool> stop{false};
        FillOutcome out = FillDrive(m.WPath(), p, run, {}, stop);
        return out.failure == FillFailure::WriteError && out.error == EFBIG ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "a file-size limit must fail the drive with EFBIG";

    FillParams p = Params(64 * 1024, 4 * kMiB);
    FillRun run(p);
    std::atomic<bool> stop{false};
    FillNotifications n;
    bool shutDown = false;
    n.progress = [&](uint64_t written, uint64_t, const std::u16string&) {
        if (written < 2 * kMiB || shutDown) return;
        int fd = ::open(m.Path().c_str(), O_RDONLY | O_DIRECTORY);
        uint32_t flags = 2;  // EXT4_GOING_FLAGS_NOLOGFLUSH
        shutDown = ::ioctl(fd, _IOR('X', 125, uint32_t), &flags) == 0;
        ::close(fd);
    };
    FillOutcome out = FillDrive(m.WPath(), p, run, n, stop);
    ASSERT_TRUE(shutDown) << "ext4 shutdown not available";
    EXPECT_EQ(out.failure, FillFailure::WriteError);
    EXPECT_NE(out.error, 0);
}

// A record of an older version names a folder and a name pattern only: no
// proof of any file. It is cleared, and nothing it names is deleted; a record
// in today's form that is cut short keeps its whole entries only.
TEST(FillTruth, RecordsWithoutProofDeleteNothing) {
    TempDir t;
    const std::string drive = t.Sub("drive/");
    ::mkdir(drive.c_str(), 0755);
    t.WriteFile("drive/Old.name0000", std::string(1000, 'x'));
    ::mkdir(t.Sub("storage").c_str(), 0700);
    const std::string record = FillRecordPath(t.Sub("storage/"));
    t.WriteFile("storage/FreeSpaceRun.record",
                drive + std::string(1, '\0') + "Old.name" + std::string(1, '\0'));
    ::chmod(record.c_str(), 0600);
    FillerRecovery r = RecoverFillers(record);
    EXPECT_EQ(r.trust, RecordTrust::OldFormat);
    EXPECT_TRUE(r.deleted.empty());
    EXPECT_TRUE(PathExists(drive + "Old.name0000"));
    EXPECT_FALSE(PathExists(record));

    // Today's form, its last entry cut off by a crash mid-write.
    struct stat st {};
    ASSERT_EQ(::stat(drive.c_str(), &st), 0);
    FillRecord held;
    ASSERT_TRUE(held.Open(record));
    ASSERT_EQ(::stat(record.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    FillerEntry e{drive, st.st_dev, st.st_ino, "Old.name0000", 1, 2};
    ASSERT_TRUE(held.Add(e, true));
    held.Close();
    const std::string whole = ReadWholeFile(record);
    t.WriteFile("storage/FreeSpaceRun.record", whole + whole.substr(whole.find(drive), 20));
    RecordRead read = ReadFillRecord(record);
    EXPECT_EQ(read.trust, RecordTrust::Trusted);
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].name, "Old.name0000");
    EXPECT_EQ(read.entries[0].ino, 2u);
    // The recorded identity is not the file's: it stays.
    r = RecoverFillers(record);
    EXPECT_TRUE(r.deleted.empty());
    EXPECT_EQ(r.kept, std::vector<std::string>{drive + "Old.name0000"});
    EXPECT_TRUE(PathExists(drive + "Old.name0000"));
}
