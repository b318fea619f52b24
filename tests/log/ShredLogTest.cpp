#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "config/TextConv.h"
#include "log/LogFile.h"
#include "log/LogLines.h"
#include "log/ShredLog.h"
#include "platform/Platform.h"
#include "support/TempDir.h"
#include "support/TestText.h"

namespace {

std::tm Local(int64_t when) {
    std::time_t tt = static_cast<std::time_t>(when);
    std::tm t{};
    localtime_r(&tt, &t);
    return t;
}

// A log over a fresh folder, with a clock the test moves.
struct LogFixture {
    TempDir dir;
    ValueLogSwitches switches{true, true};
    ShredLog log{switches};
    int64_t clock = 1700000000;
    ScopedPlatform platform{MakeServices()};
    std::vector<std::u16string> opened;

    LogFixture() { log.SetStorageFolder(dir.Path()); }

    PlatformServices MakeServices() {
        PlatformServices s;
        s.now = [this] { return clock; };
        s.shellOpen = [this](const std::u16string& target) {
            opened.push_back(target);
            return true;
        };
        s.shutdown = [] { return false; };
        return s;
    }

    // The log and its archives (the record of the archives made is not counted).
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
            if (e.path().filename() != MadeFiles::kRecordName)
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string LogText() const { return ReadWholeFile(log.LogPath()); }
};

}  // namespace

TEST(AppendTextToFile, WritesUtf16LittleEndianLinesWithoutByteOrderMark) {
    TempDir dir;
    const std::string path = dir.Sub("out.txt");
    ASSERT_TRUE(AppendTextToFile(path, u"ab"));
    ASSERT_TRUE(AppendTextToFile(path, u""));
    EXPECT_EQ(ReadWholeFile(path), Le("ab\r\n\r\n"));

    // Code units as they are: é is one unit, the emoji a surrogate pair, and a
    // byte of a non-UTF-8 file name its escape unit U+DC80 + byte.
    TempDir other;
    const std::string p2 = other.Sub("u.txt");
    ASSERT_TRUE(AppendTextToFile(p2, u"\u00e9\u4e2d\U0001F600" + WideFromUtf8("\xff")));
    EXPECT_EQ(ReadWholeFile(p2),
              std::string("\xe9\x00\x2d\x4e\x3d\xd8\x00\xde\xff\xdc\r\0\n\0", 14));

    EXPECT_FALSE(AppendTextToFile(dir.Sub("no/such/folder/log.txt"), u"x"));
    EXPECT_FALSE(AppendTextToFile("", u"x"));
    dir.MakeDir("a-folder");
    EXPECT_FALSE(AppendTextToFile(dir.Sub("a-folder"), u"x"));
}

TEST(AppendTextToFile, NeverWritesThroughALinkInPlaceOfTheLog) {
    TempDir dir;
    dir.WriteFile("victim", "keep");
    std::filesystem::create_symlink(dir.Sub("victim"), dir.Sub("KelvaneLog.txt"));
    EXPECT_FALSE(AppendTextToFile(dir.Sub("KelvaneLog.txt"), u"x"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("victim")), "keep");
}

TEST(AppendTextToFile, AFifoInPlaceOfTheLogIsRefusedAtOnce) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.Sub("KelvaneLog.txt").c_str(), 0600), 0);
    // Without a reader the open would wait for one; with one, lines would go to it.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(AppendTextToFile(dir.Sub("KelvaneLog.txt"), u"x"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    std::thread reader([&] {
        const int fd = ::open(dir.Sub("KelvaneLog.txt").c_str(), O_RDONLY | O_NONBLOCK);
        ::usleep(300000);
        if (fd >= 0) ::close(fd);
    });
    ::usleep(100000);
    EXPECT_FALSE(AppendTextToFile(dir.Sub("KelvaneLog.txt"), u"x"));
    reader.join();
}

TEST(AppendTextToFile, NeverWritesIntoALogOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the log to another user";
    TempDir t;
    t.WriteFile("KelvaneLog.txt", "theirs");
    ASSERT_EQ(::chown(t.Sub("KelvaneLog.txt").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(AppendTextToFile(t.Sub("KelvaneLog.txt"), u"/root/secret [done]"));
    EXPECT_EQ(ReadWholeFile(t.Sub("KelvaneLog.txt")), "theirs");
    // Without a storage folder (one not trusted is none) there is no log, not one
    // in the working folder.
    ValueLogSwitches switches{true, true};
    ShredLog log(switches);
    log.SetStorageFolder("");
    EXPECT_EQ(log.LogPath(), "");
    EXPECT_FALSE(log.AppendLog(u"x"));
}

TEST(ShredLog, NonAsciiPathsAreWrittenAsTheirUtf16Units) {
    LogFixture f;
    const std::u16string path = WideFromUtf8("/home/b\xc3\xa4r/\xe6\x97\xa5\xe8\xa8\x98 \xff.txt");
    ASSERT_TRUE(f.log.AppendLog(LogDoneLine(path)));
    // A byte that is not UTF-8 is written as "\xff", never as a lone surrogate.
    std::string expected = Le("/home/b") + std::string("\xe4\x00", 2) + Le("r/") +
                           std::string("\xe5\x65\x18\x8a", 4) + Le(" \\xff.txt [done]\r\n");
    EXPECT_EQ(f.LogText(), expected);
    EXPECT_TRUE(IsWellFormedUtf16Le(f.LogText()));
}

TEST(ShredLog, ANameCannotForgeALine) {
    LogFixture f;
    f.log.BeginRunLog();
    ASSERT_TRUE(f.log.AppendRunHeader(u"Shredding files with 3 iterations"));
    ASSERT_TRUE(f.log.AppendLog(LogDoneLine(u"/t/x\nforged.txt [done]")));
    ASSERT_TRUE(f.log.AppendLog(LogFailedLine(u"/t/y\r\nz.txt [done]\x1b[1A")));
    ASSERT_TRUE(f.log.AppendLog(LogDoneLine(WideFromUtf8("/t/\xc3(\xff\xfe.txt"))));
    const std::string text = f.LogText();
    ASSERT_TRUE(IsWellFormedUtf16Le(text));
    const std::string lines = Utf8FromLe(text);
    // Time stamp, empty line, the header block, then one line per entry.
    const std::string tail = "\r\nShredding files with 3 iterations\r\n" + std::string(49, '-') +
                             "\r\n\r\n/t/x\\nforged.txt [done] [done]\r\n"
                             "/t/y\\r\\nz.txt [done]\\x1b[1A [FAILED!]\r\n"
                             "/t/\\xc3(\\xff\\xfe.txt [done]\r\n";
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(lines.substr(lines.size() - tail.size()), tail);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 9);

    // The viewer's reading of it: lines without CR, nothing left to escape.
    std::u16string shown;
    bool truncated = true;
    ASSERT_TRUE(f.log.ReadForViewing(shown, truncated));
    EXPECT_FALSE(truncated);
    EXPECT_NE(shown.find(u"\n/t/x\\nforged.txt [done] [done]\n"), std::u16string::npos);
    EXPECT_EQ(shown.find(u'\r'), std::u16string::npos);
    EXPECT_TRUE(shown.ends_with(u"\n/t/\\xc3(\\xff\\xfe.txt [done]\n")) << Utf8FromWide(shown);
}

TEST(ShredLog, TheViewerReadsOlderLogsAndTheEndOfLongOnes) {
    // An older version wrote lone surrogates and may have left half a unit.
    std::string old = Le("/a/b") + std::string("\xff\xdc", 2) + Le(".txt [done]\r\n") + "x";
    EXPECT_EQ(ReadableLogText(old), u"/a/b\\xff.txt [done]\n");
    EXPECT_EQ(ReadableLogText(""), u"");

    LogFixture f;
    for (int i = 0; i < 1000; ++i)
        f.log.AppendLog(u"/data/line " + WideFromUtf8(std::to_string(i)));
    std::string bytes;
    bool truncated = false;
    ASSERT_TRUE(ReadLogTail(f.log.LogPath(), 1001, bytes, truncated));
    EXPECT_TRUE(truncated);
    const std::u16string shown = ReadableLogText(bytes);
    EXPECT_TRUE(shown.starts_with(u"/data/line ")) << Utf8FromWide(shown);
    EXPECT_TRUE(shown.ends_with(u"/data/line 999\n"));
    ASSERT_TRUE(ReadLogTail(f.log.LogPath(), 1 << 20, bytes, truncated));
    EXPECT_FALSE(truncated);
    EXPECT_TRUE(ReadableLogText(bytes).starts_with(u"/data/line 0\n"));
    EXPECT_FALSE(ReadLogTail(f.dir.Sub("missing.txt"), 100, bytes, truncated));
}

TEST(ShredLog, RunBeginsWithTimeStampEmptyLineAndHeader) {
    LogFixture f;
    f.clock = 1700000000;
    const std::tm t = Local(f.clock);
    f.log.BeginRunLog();
    f.log.AppendRunHeader(FileRunLogTitle(3));
    f.log.AppendLog(LogDoneLine(u"/data/a.txt"));
    f.log.AppendLog(LogFailedLine(u"/data/b.txt"));
    f.log.AppendLog(LogFolderRemovedLine(u"/data/"));

    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    const std::string dashes(49, '-');
    EXPECT_EQ(f.LogText(),
              Le(std::string(stamp) + "\r\n\r\n" + "\r\nShredding files with 3 iterations\r\n" +
                 dashes + "\r\n\r\n" + "/data/a.txt [done]\r\n" + "/data/b.txt [FAILED!]\r\n" +
                 "/data/ [FOLDER, removed]\r\n"));

    f.log.BeginRunLog();
    f.log.AppendRunHeader(FreeSpaceRunLogTitle(7));
    f.log.AppendLog(LogTemporaryFileLine(u"/mnt/Morvik.$$$temp$$$0000"));
    const std::string text = f.LogText();
    EXPECT_NE(text.find(Le("\r\nShredding free disk space with 7 iterations\r\n" + dashes +
                           "\r\n\r\n/mnt/Morvik.$$$temp$$$0000 [Temporary file]\r\n")),
              std::string::npos);
}

TEST(ShredLog, TwoRunsWithArchivingKeepTheFirstRunAsArchiveCopy) {
    LogFixture f;
    f.clock = 1700000000;
    f.log.BeginRunLog();
    f.log.AppendLog(u"first run line");
    f.clock += 65;
    f.log.BeginRunLog();
    f.log.AppendLog(u"second run line");

    const std::string archive = ShredLog::ArchivePath(f.dir.Path(), Local(f.clock), 1);
    ASSERT_TRUE(PathExists(archive));
    EXPECT_NE(ReadWholeFile(archive).find(Le("first run line")), std::string::npos);
    EXPECT_EQ(ReadWholeFile(archive).find(Le("second run line")), std::string::npos);
    EXPECT_NE(f.LogText().find(Le("second run line")), std::string::npos);
    EXPECT_EQ(f.LogText().find(Le("first run line")), std::string::npos);
    EXPECT_EQ(f.Files().size(), 2u);

    // The archive name is the base name, "_", the 14 digits of the time, ".txt".
    const std::string name = std::filesystem::path(archive).filename().string();
    ASSERT_EQ(name.size(), std::string("KelvaneLog_20231114221320.txt").size());
    EXPECT_EQ(name.rfind("KelvaneLog_", 0), 0u);
    EXPECT_TRUE(std::all_of(name.begin() + 11, name.begin() + 25, ::isdigit));
}

TEST(ShredLog, RunsInTheSameSecondLoseNoLog) {
    LogFixture f;
    for (int run = 1; run <= 4; ++run) {
        f.log.BeginRunLog();
        f.log.AppendLog(u"run " + WideFromUtf8(std::to_string(run)));
    }
    // The clock never moved: three archive copies with distinct names plus the log.
    const auto files = f.Files();
    ASSERT_EQ(files.size(), 4u);
    std::set<std::string> runs;
    for (const auto& name : files) {
        const std::string text = ReadWholeFile(f.dir.Sub(name));
        for (int run = 1; run <= 4; ++run)
            if (text.find(Le("run " + std::to_string(run))) != std::string::npos)
                runs.insert(name + ":" + std::to_string(run));
    }
    EXPECT_EQ(runs.size(), 4u);  // every run's line is in exactly one file
    EXPECT_NE(f.LogText().find(Le("run 4")), std::string::npos);
    const std::tm t = Local(f.clock);
    EXPECT_TRUE(PathExists(ShredLog::ArchivePath(f.dir.Path(), t, 1)));
    EXPECT_TRUE(PathExists(ShredLog::ArchivePath(f.dir.Path(), t, 2)));
    EXPECT_TRUE(PathExists(ShredLog::ArchivePath(f.dir.Path(), t, 3)));
}

TEST(ShredLog, ArchivesBeyondTheLimitGoOldestFirst) {
    LogFixture f;
    f.log.SetArchiveLimits({2, 0});
    for (int run = 1; run <= 5; ++run) {
        f.log.BeginRunLog();
        f.log.AppendLog(u"run " + WideFromUtf8(std::to_string(run)));
        f.clock += 60;
    }
    // Runs 1 to 4 were archived; the two newest stay beside the log.
    const auto files = f.Files();
    ASSERT_EQ(files.size(), 3u);
    std::string kept;
    for (const auto& name : files) kept += Utf8FromLe(ReadWholeFile(f.dir.Sub(name)));
    for (const char* gone : {"run 1", "run 2"})
        EXPECT_EQ(kept.find(gone), std::string::npos) << gone;
    for (const char* stays : {"run 3", "run 4", "run 5"})
        EXPECT_NE(kept.find(stays), std::string::npos) << stays;
}

TEST(ShredLog, SwitchesDecideWhatHappensToTheOldLog) {
    {  // logging off, archiving on: the old log becomes an archive copy, no new log
        LogFixture f;
        f.log.BeginRunLog();
        f.log.AppendLog(u"old");
        f.switches.SetLogEnabled(false);
        f.clock += 10;
        f.log.BeginRunLog();
        EXPECT_FALSE(f.log.AppendLog(u"new"));
        EXPECT_FALSE(PathExists(f.log.LogPath()));
        const std::string archive = ShredLog::ArchivePath(f.dir.Path(), Local(f.clock), 1);
        EXPECT_NE(ReadWholeFile(archive).find(Le("old")), std::string::npos);
        EXPECT_EQ(f.Files().size(), 1u);
    }
    {  // logging off, archiving off: the old log is deleted
        LogFixture f;
        f.log.BeginRunLog();
        f.log.AppendLog(u"old");
        f.switches.SetLogEnabled(false);
        f.switches.SetArchiveEnabled(false);
        f.log.BeginRunLog();
        f.log.AppendLog(u"new");
        EXPECT_TRUE(f.Files().empty());
    }
    {  // logging on, archiving off: the log holds the new run only
        LogFixture f;
        f.switches.SetArchiveEnabled(false);
        f.log.BeginRunLog();
        f.log.AppendLog(u"old");
        f.clock += 10;
        f.log.BeginRunLog();
        f.log.AppendLog(u"new");
        EXPECT_EQ(f.Files(), std::vector<std::string>{"KelvaneLog.txt"});
        EXPECT_EQ(f.LogText().find(Le("old")), std::string::npos);
        EXPECT_NE(f.LogText().find(Le("new")), std::string::npos);
    }
    {  // a folder of the log's name is no log: nothing is archived or removed
        LogFixture f;
        f.dir.MakeDir("KelvaneLog.txt");
        f.log.BeginRunLog();
        EXPECT_EQ(f.Files(), std::vector<std::string>{"KelvaneLog.txt"});
        EXPECT_TRUE(std::filesystem::is_directory(f.log.LogPath()));
    }
}

TEST(ShredLog, UnwritableLogFolderDropsLinesWithoutHarm) {
    {  // the storage folder does not exist
        LogFixture f;
        f.log.SetStorageFolder(f.dir.Sub("missing"));
        EXPECT_EQ(f.log.LogPath(), f.dir.Sub("missing/KelvaneLog.txt"));
        f.log.BeginRunLog();
        EXPECT_FALSE(f.log.AppendLog(u"line"));
        EXPECT_FALSE(PathExists(f.dir.Sub("missing")));
    }
    // A read-only file system: even root cannot write there.
    LogFixture f;
    const std::string mnt = f.dir.Sub("ro");
    f.dir.MakeDir("ro");
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mnt};
    ShredLog log(f.switches);
    log.SetStorageFolder(mnt);
    log.BeginRunLog();
    ASSERT_TRUE(log.AppendLog(u"before"));
    ASSERT_EQ(::mount("tmpfs", mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
    f.clock += 5;
    log.BeginRunLog();  // neither the archive nor the delete can happen
    EXPECT_FALSE(log.AppendLog(u"after"));
    const std::string text = ReadWholeFile(log.LogPath());
    EXPECT_NE(text.find(Le("before")), std::string::npos);
    EXPECT_EQ(text.find(Le("after")), std::string::npos);
}

TEST(ShredLog, LinesFromSeveralThreadsStayWhole) {
    LogFixture f;
    f.log.BeginRunLog();
    constexpr int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&f, t] {
            for (int i = 0; i < kLines; ++i)
                f.log.AppendLog(WideFromUtf8("thread " + std::to_string(t) + " line " +
                                             std::to_string(i) + " [done]"));
        });
    }
    for (auto& th : threads) th.join();
    const std::string bytes = f.LogText();
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    std::set<std::string> seen;
    size_t start = 0, lines = 0;
    for (size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2) {
        std::string line = Utf8FromWide(text.substr(start, end - start));
        ++lines;
        if (line.rfind("thread ", 0) == 0) {
            EXPECT_EQ(line.substr(line.size() - 7), " [done]") << line;
            seen.insert(line);
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    EXPECT_EQ(lines, static_cast<size_t>(kThreads * kLines + 2));  // plus time stamp, empty line
}

TEST(ShredLog, ViewingReadsAnExistingLogOnlyAndOpensNothing) {
    LogFixture f;
    std::u16string text = u"stale";
    bool truncated = true;
    EXPECT_FALSE(f.log.ReadForViewing(text, truncated));
    EXPECT_EQ(text, u"");
    f.log.BeginRunLog();
    EXPECT_TRUE(f.log.ReadForViewing(text, truncated));
    EXPECT_FALSE(truncated);
    EXPECT_EQ(text.size(), 21u) << Utf8FromWide(text);  // the time stamp and an empty line
    EXPECT_TRUE(f.opened.empty());
}

// Lines written before any run (the clean-up at start-up) belong to the next run's
// log: archiving or deleting the old log must not take them away.
TEST(ShredLog, LinesCarriedToTheNextRunSurviveItsBeginning) {
    {  // archiving on: in the new log after its time stamp, not in the archive copy
        LogFixture f;
        f.log.BeginRunLog();
        f.log.AppendLog(u"old run");
        f.log.CarryToNextRun({u"/d/Morvik0000 [Deleted filler file]"});
        f.clock += 10;
        f.log.BeginRunLog();
        f.log.AppendLog(u"new run");
        const std::string text = f.LogText();
        const size_t carried = text.find(Le("/d/Morvik0000 [Deleted filler file]"));
        ASSERT_NE(carried, std::string::npos) << "the line is in the new run's log";
        // Right after the time stamp line.
        EXPECT_LE(carried,
                  Le(Utf8FromWide(ShredLog::TimeStampLine(Local(f.clock))) + "\r\n").size());
        EXPECT_LT(carried, text.find(Le("new run")));
        const std::string archive = ShredLog::ArchivePath(f.dir.Path(), Local(f.clock), 1);
        EXPECT_EQ(ReadWholeFile(archive).find(Le("Morvik0000")), std::string::npos);
        f.clock += 10;
        f.log.BeginRunLog();
        EXPECT_EQ(f.LogText().find(Le("Morvik0000")), std::string::npos) << "written once";
    }
    {  // archiving off deletes the old log: the line is in the new one all the same
        LogFixture f;
        f.switches.SetArchiveEnabled(false);
        f.log.BeginRunLog();
        f.log.CarryToNextRun({u"carried"});
        f.log.BeginRunLog();
        EXPECT_NE(f.LogText().find(Le("carried")), std::string::npos);
    }
    {  // no run follows: appended to the log as it is
        LogFixture f;
        f.log.BeginRunLog();
        f.log.AppendLog(u"old run");
        f.log.CarryToNextRun({u"carried"});
        f.log.WriteCarried();
        EXPECT_GT(f.LogText().find(Le("carried")), f.LogText().find(Le("old run")));
        f.log.WriteCarried();
        const std::string text = f.LogText();
        EXPECT_EQ(text.find(Le("carried")), text.rfind(Le("carried")));
    }
}
