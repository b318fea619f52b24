#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/FillDrive.h"
#include "platform/Volumes.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kKiB = 1024;

struct Events {
    std::vector<uint64_t> started;
    std::vector<std::u16string> files;
    struct Progress {
        uint64_t written, freeBytes;
        std::u16string path;
    };
    std::vector<Progress> progress;
    // Called from the notifications, to act at a chosen moment.
    std::function<void()> onStarted, onProgress;

    FillNotifications Notifications() {
        FillNotifications n;
        n.driveStarted = [this](uint64_t f) {
            started.push_back(f);
            if (onStarted) onStarted();
        };
        n.tempFile = [this](const std::u16string& p) { files.push_back(p); };
        n.progress = [this](uint64_t w, uint64_t f, const std::u16string& p) {
            progress.push_back({w, f, p});
            if (onProgress) onProgress();
        };
        return n;
    }
};

FillParams SmallParams() {
    FillParams p;
    p.blockSize = 16 * kKiB;
    p.fileSizeLimit = 64 * kKiB;
    p.random = false;
    p.shredValue = u"90";  // 'Z'
    p.iterations = 1;
    return p;
}

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

uint64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

TEST(FillBlock, BuildsRandomFixedAndPatternBlocks) {
    FillBlock b(1000);
    ASSERT_TRUE(b.Ok());
    auto all = [&](uint8_t v) {
        return std::all_of(b.Data(), b.Data() + b.Size(), [v](uint8_t x) { return x == v; });
    };
    b.Build(false, u"300");
    EXPECT_TRUE(all(44));
    b.Build(false, u"-1");
    EXPECT_TRUE(all(255));
    b.Build(false, u"  7xyz");
    EXPECT_TRUE(all(7));
    b.Build(false, u"abc");
    EXPECT_TRUE(all(0));
    b.Build(false, u"");
    EXPECT_TRUE(all(0));

    TempDir t;
    t.WriteFile("pattern", "xyz");
    b.Build(false, t.WSub("pattern"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Data()), 7), "xyzxyzx");
    EXPECT_EQ(b.Data()[999], 'x');  // 999 = 3 * 333
    t.WriteFile("empty", "");
    b.Build(false, t.WSub("empty"));
    EXPECT_TRUE(all(0)) << "an empty pattern file counts as no file";
    // A pattern file longer than the block: only its head matters.
    t.WriteFile("long", std::string(5000, 'q'));
    b.Build(false, t.WSub("long"));
    EXPECT_TRUE(all('q'));

    SeedThreadRandom(12345);
    FillBlock big(200000);
    big.Build(true, u"0");
    EXPECT_EQ(std::count(big.Data(), big.Data() + big.Size(), 255), 0);
    EXPECT_GT(std::count(big.Data(), big.Data() + big.Size(), 254), 0);
    SeedThreadRandom(12345);
    FillBlock again(200000);
    again.Build(true, u"0");
    EXPECT_TRUE(std::equal(big.Data(), big.Data() + big.Size(), again.Data()));
}

TEST(FillDrive, WritesNumberedFilesOfTheLimitHoldingTheBlockThenDeletesThem) {
    TestMount m(TestMount::Kind::Tmpfs, 256);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = SmallParams();
    p.blockSize = 24 * kKiB;  // 64 KiB is not a multiple: each file ends with a short chunk
    p.leaveFiles = true;
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);

    EXPECT_TRUE(out.started);
    EXPECT_TRUE(out.diskFull) << "the fill goes on until the file system is full";
    EXPECT_TRUE(out.Ok());
    ASSERT_EQ(ev.started, std::vector<uint64_t>{256 * kKiB});
    const std::u16string base = m.WPath() + u"Morvik.$$$temp$$$";
    EXPECT_EQ(ev.files, (std::vector<std::u16string>{base + u"0000", base + u"0001", base + u"0002",
                                                     base + u"0003", base + u"0004"}));
    EXPECT_EQ(Names(m.Path()),
              (std::vector<std::string>{"Morvik.$$$temp$$$0000", "Morvik.$$$temp$$$0001",
                                        "Morvik.$$$temp$$$0002", "Morvik.$$$temp$$$0003",
                                        "Morvik.$$$temp$$$0004"}));
    for (int i = 0; i < 4; ++i) {
        std::string content = ReadWholeFile(Utf8FromWide(ev.files[i]));
        EXPECT_EQ(content, std::string(64 * kKiB, 'Z')) << i;
    }
    // The drive was full when the fourth file was: the fifth stays empty.
    EXPECT_EQ(SizeOf(Utf8FromWide(ev.files[4])), 0u);
    EXPECT_EQ(out.written, 256 * kKiB);
    EXPECT_EQ(run.fileCounter, 4u);

    // The same fill without "leave files" leaves nothing behind.
    for (const auto& f : ev.files) ::unlink(Utf8FromWide(f).c_str());
    p.leaveFiles = false;
    FillRun run2(p);
    Events ev2;
    out = FillDrive(m.WPath(), p, run2, ev2.Notifications(), stop);
    EXPECT_EQ(ev2.files.size(), 5u);
    EXPECT_EQ(out.written, 256 * kKiB);
    EXPECT_TRUE(Names(m.Path()).empty());
}

TEST(FillDrive, RandomBlocksWrittenOverSeveralPassesEqualTheBlock) {
    TestMount m(TestMount::Kind::Tmpfs, 128);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = SmallParams();
    p.random = true;
    p.iterations = 3;
    p.leaveFiles = true;
    p.fileSizeLimit = 1024 * kKiB;
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    SeedThreadRandom(99);
    FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    ASSERT_EQ(ev.files.size(), 1u);

    SeedThreadRandom(99);
    FillBlock expected(p.blockSize);
    expected.Build(true, u"");
    std::string block(reinterpret_cast<const char*>(expected.Data()), expected.Size());
    std::string content = ReadWholeFile(Utf8FromWide(ev.files[0]));
    ASSERT_EQ(content.size(), 128 * kKiB) << "three passes per chunk, one chunk of growth";
    for (size_t off = 0; off < content.size(); off += block.size())
        EXPECT_EQ(content.substr(off, block.size()), block) << off;
}

TEST(FillDrive, CountersCarryOverBetweenTheDrivesOfARun) {
    TestMount a(TestMount::Kind::Tmpfs, 256);
    TestMount b(TestMount::Kind::Tmpfs, 128);
    KELVANE_REQUIRE_MOUNT(a);
    KELVANE_REQUIRE_MOUNT(b);
    FillParams p = SmallParams();
    p.blockSize = 4 * kKiB;
    p.leaveFiles = true;
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    FillDrive(a.WPath(), p, run, ev.Notifications(), stop);

    // 64 blocks: progress before blocks 1, 18, 35 and 52.
    ASSERT_EQ(ev.progress.size(), 4u);
    const uint64_t blk = 4 * kKiB;
    EXPECT_EQ(ev.progress[0].written, 0u);
    EXPECT_EQ(ev.progress[1].written, 17 * blk);
    EXPECT_EQ(ev.progress[2].written, 34 * blk);
    EXPECT_EQ(ev.progress[3].written, 51 * blk);
    EXPECT_EQ(ev.progress[3].freeBytes, 256 * kKiB);
    EXPECT_EQ(ev.progress[3].path, a.WPath() + u"Morvik.$$$temp$$$0003");

    Events ev2;
    FillDrive(b.WPath(), p, run, ev2.Notifications(), stop);
    // The file number goes on from the last file of the first drive ...
    ASSERT_FALSE(ev2.files.empty());
    EXPECT_EQ(ev2.files.front(), b.WPath() + u"Morvik.$$$temp$$$0004");
    EXPECT_EQ(ev2.files.back(), b.WPath() + u"Morvik.$$$temp$$$0006");
    // ... and so does the tick count: the first drive's fill ended at its 69th
    // block (the first one that found the disk full), a tick, so the next
    // notification comes before the 17th block.
    ASSERT_FALSE(ev2.progress.empty());
    EXPECT_EQ(ev2.progress[0].written, 16 * blk);
    EXPECT_EQ(ev2.progress[0].freeBytes, 128 * kKiB);
    EXPECT_EQ(run.tempFiles.RowCount(), 3) << "the list holds only this drive's files";
}

TEST(FillDrive, DriveWithNoFreeSpaceGetsOneEmptyFileThatIsRemoved) {
    TestMount m(TestMount::Kind::Tmpfs, 64);
    KELVANE_REQUIRE_MOUNT(m);
    {
        TempDir unused;
        std::string filler = m.Path() + "occupied";
        FILE* f = std::fopen(filler.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string chunk(4096, 'o');
        while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() &&
               std::fflush(f) == 0) {
        }
        std::fclose(f);
    }
    FillParams p = SmallParams();
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    EXPECT_TRUE(out.started);
    EXPECT_EQ(out.failure, FillFailure::NothingWritten) << "a full drive is no success";
    EXPECT_EQ(ev.started, std::vector<uint64_t>{0});
    EXPECT_EQ(ev.files.size(), 1u);
    EXPECT_LE(ev.progress.size(), 1u);
    EXPECT_EQ(out.written, 0u);
    EXPECT_EQ(Names(m.Path()), std::vector<std::string>{"occupied"});
}

TEST(FillDrive, StopDuringTheFirstPassesEndsAfterThatChunkAndCleansUp) {
    TestMount m(TestMount::Kind::Tmpfs, 256);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = SmallParams();
    p.iterations = 5;
    p.leaveFiles = true;
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    // The progress call comes just before the first block's passes start.
    ev.onProgress = [&] { stop = true; };
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    ASSERT_EQ(ev.files.size(), 1u);
    EXPECT_EQ(out.written, p.blockSize) << "the interrupted chunk counts in full";
    EXPECT_EQ(ReadWholeFile(Utf8FromWide(ev.files[0])), std::string(p.blockSize, 'Z'));

    // Without "leave files" the interrupted drive is left clean.
    ::unlink(Utf8FromWide(ev.files[0]).c_str());
    p.leaveFiles = false;
    stop = false;
    FillRun run2(p);
    Events ev2;
    ev2.onProgress = [&] { stop = true; };
    FillDrive(m.WPath(), p, run2, ev2.Notifications(), stop);
    EXPECT_EQ(ev2.files.size(), 1u);
    EXPECT_TRUE(Names(m.Path()).empty());

    // A stop set before the fill writes nothing at all.
    Events ev3;
    FillRun run3(p);
    out = FillDrive(m.WPath(), p, run3, ev3.Notifications(), stop);
    EXPECT_EQ(out.written, 0u);
    EXPECT_TRUE(ev3.progress.empty());
    EXPECT_TRUE(Names(m.Path()).empty());
}

// Files that merely look like an earlier run's fillers are nobody's proof:
// the fill measures the drive with them and leaves every one alone.
TEST(FillDrive, FilesNamedLikeFillersOfAnEarlierRunStay) {
    TestMount m(TestMount::Kind::Tmpfs, 512);
    KELVANE_REQUIRE_MOUNT(m);
    const std::vector<std::string> lookAlikes = {"Morvik.$$$temp$$$0000", "Morvik.$$$temp$$$00007",
                                                 "Morvik.$$$temp$$$12x4"};
    for (const std::string& f : lookAlikes) {
        std::string big(100 * kKiB, 'A');
        std::FILE* fp = std::fopen((m.Path() + f).c_str(), "wb");
        std::fwrite(big.data(), 1, big.size(), fp);
        std::fclose(fp);
    }
    FillParams p = SmallParams();
    FillRun run(p);
    Events ev;
    std::vector<std::u16string> notes;
    FillNotifications n = ev.Notifications();
    n.note = [&](const std::u16string& line) { notes.push_back(line); };
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, n, stop);
    EXPECT_EQ(out.freeBytes, 212 * kKiB) << "measured with the look-alikes in place";
    EXPECT_TRUE(out.Ok());
    EXPECT_EQ(Names(m.Path()), lookAlikes);
    for (const std::string& f : lookAlikes)
        EXPECT_EQ(ReadWholeFile(m.Path() + f), std::string(100 * kKiB, 'A')) << f;
    for (const std::u16string& line : notes)
        EXPECT_EQ(line.find(u"Deleted"), std::u16string::npos) << Utf8FromWide(line);
}

TEST(FillDrive, FullDiskEndsTheFillAndStillDeletesTheFiles) {
    TestMount m(TestMount::Kind::Tmpfs, 512);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = SmallParams();
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    // Somebody else takes half of the space once F has been measured.
    ev.onStarted = [&] {
        std::FILE* f = std::fopen((m.Path() + "other").c_str(), "wb");
        std::string half(256 * kKiB, 'o');
        std::fwrite(half.data(), 1, half.size(), f);
        std::fclose(f);
    };
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    EXPECT_TRUE(out.diskFull);
    EXPECT_FALSE(out.writeFailed);
    EXPECT_EQ(out.freeBytes, 512 * kKiB);
    EXPECT_LE(out.written, 256 * kKiB);
    EXPECT_GE(ev.files.size(), 4u);
    EXPECT_EQ(Names(m.Path()), std::vector<std::string>{"other"});
}

TEST(FillDrive, ZeroSizesMeanTheDefaultsAndTheFillEnds) {
    TestMount m(TestMount::Kind::Tmpfs, 2048);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = SmallParams();
    p.blockSize = 0;
    p.fileSizeLimit = 0;
    p.leaveFiles = true;
    FillRun run(p);
    ASSERT_TRUE(run.block.Ok());
    EXPECT_EQ(run.block.Size(), FillParams::kDefaultBlockSize);
    Events ev;
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    EXPECT_EQ(out.written, 2048 * kKiB);
    ASSERT_EQ(ev.files.size(), 1u) << "one file: the default limit is 1 GiB";
    EXPECT_EQ(SizeOf(Utf8FromWide(ev.files[0])), 2048 * kKiB);
}

TEST(FillDrive, SkipsDrivesThatCannotBeFilledWithoutAWord) {
    TempDir t;
    FillParams p = SmallParams();
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    EXPECT_FALSE(FillDrive(t.WSub("missing/"), p, run, ev.Notifications(), stop).started);
    t.WriteFile("file", "x");
    EXPECT_FALSE(FillDrive(t.WSub("file"), p, run, ev.Notifications(), stop).started);

    TestMount ro(TestMount::Kind::Tmpfs, 64);
    KELVANE_REQUIRE_MOUNT(ro);
    ASSERT_EQ(::mount(nullptr, ro.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(FillDrive(ro.WPath(), p, run, ev.Notifications(), stop).started);
    EXPECT_TRUE(ev.started.empty());
    EXPECT_TRUE(ev.files.empty());
    EXPECT_TRUE(ev.progress.empty());
}

TEST(FillDrive, NeverOpensWhatIsAlreadyAtATemporaryName) {
    TestMount m(TestMount::Kind::Tmpfs, 256);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir outside;
    outside.WriteFile("victim", "keep me");
    // A link at the second name and a FIFO at the third: both are stepped over,
    // never followed or opened, and the fill goes on with the next names.
    ASSERT_EQ(
        ::symlink(outside.Sub("victim").c_str(), (m.Path() + "Morvik.$$$temp$$$0001").c_str()), 0);
    ASSERT_EQ(::mkfifo((m.Path() + "Morvik.$$$temp$$$0002").c_str(), 0600), 0);
    FillParams p = SmallParams();
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    EXPECT_TRUE(out.Ok());
    EXPECT_EQ(out.written, 256 * kKiB);
    ASSERT_GE(ev.files.size(), 2u);
    EXPECT_EQ(ev.files[1], m.WPath() + u"Morvik.$$$temp$$$0003");
    EXPECT_EQ(ReadWholeFile(outside.Sub("victim")), "keep me");
    EXPECT_EQ(Names(m.Path()),
              (std::vector<std::string>{"Morvik.$$$temp$$$0001", "Morvik.$$$temp$$$0002"}));
}

TEST(FillDrive, RootWithoutTrailingSlashAndNamesWithSlashesStayOnTheDrive) {
    TestMount m(TestMount::Kind::Tmpfs, 64);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p = SmallParams();
    p.tempName = u"../escape";
    p.leaveFiles = true;
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    std::u16string root = m.WPath();
    root.pop_back();
    FillDrive(root, p, run, ev.Notifications(), stop);
    ASSERT_FALSE(ev.files.empty());
    EXPECT_EQ(ev.files[0], m.WPath() + u".._escape0000");
    EXPECT_TRUE(PathExists(m.Path() + ".._escape0000"));
}

TEST(FillDrive, Ext4ImageIsFilledAndGetsEveryByteBack) {
    TestMount m(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    FillParams p;
    p.random = false;
    p.shredValue = u"165";
    p.iterations = 2;
    p.fileSizeLimit = 4 * 1024 * kKiB;
    FillRun run(p);
    Events ev;
    std::atomic<bool> stop{false};
    FillOutcome out = FillDrive(m.WPath(), p, run, ev.Notifications(), stop);
    EXPECT_TRUE(out.started);
    EXPECT_FALSE(out.writeFailed);
    EXPECT_GE(ev.files.size(), 2u);
    EXPECT_GT(out.written, out.freeBytes / 2);
    EXPECT_EQ(Names(m.Path()), std::vector<std::string>{"lost+found"});
    DriveSpace after = QueryDriveSpace(m.WPath());
    EXPECT_EQ(after.totalFree, out.freeBytes) << "every temporary file's space is back";
}

TEST(FillDrive, EveryChunkStartsTheBlockAgainWithAlignedAndOddSizes) {
    TestMount m(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir t;
    t.WriteFile("pattern", "0123456");
    struct Case {
        uint32_t block, limit;
    };
    // Aligned sizes go to the device directly, odd ones through the cache.
    for (Case c : {Case{16 * 1024, 40 * 1024}, Case{1000, 2500}}) {
        FillParams p;
        p.random = false;
        p.shredValue = t.WSub("pattern");
        p.blockSize = c.block;
        p.fileSizeLimit = c.limit;
        p.iterations = 2;
        p.leaveFiles = true;
        FillRun run(p);
        Events ev;
        std::atomic<bool> stop{false};
        // Only the first three files are looked at; stop once the fourth opens.
        FillNotifications n = ev.Notifications();
        n.tempFile = [&](const std::u16string& path) {
            ev.files.push_back(path);
            if (ev.files.size() == 4) stop = true;
        };
        FillDrive(m.WPath(), p, run, n, stop);
        ASSERT_GE(ev.files.size(), 4u);
        std::string block;
        for (uint32_t j = 0; j < c.block; ++j) block.push_back("0123456"[j % 7]);
        std::string expected;
        while (expected.size() + c.block <= c.limit) expected += block;
        expected += block.substr(0, c.limit - expected.size());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(ReadWholeFile(Utf8FromWide(ev.files[i])), expected)
                << "block " << c.block << " file " << i;
        for (const auto& f : ev.files) ::unlink(Utf8FromWide(f).c_str());
    }
}
