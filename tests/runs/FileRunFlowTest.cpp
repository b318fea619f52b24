#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "runs/FileRunFixture.h"
#include "support/TestMount.h"

using Lines = std::vector<std::u16string>;

TEST_F(FileRunTest, EmptyListOnlyTellsTheUser) {
    state.stop = true;
    WorkerThreads threads;
    StartFileRun(threads, window, state);
    EXPECT_TRUE(threads.AllDone());
    threads.JoinAll();
    EXPECT_EQ(window.infoMessages, Lines{u"No file(s) available!"});
    EXPECT_FALSE(state.stop);  // cleared by the start, as for every run
    EXPECT_EQ(window.lockCalls, 0);
    EXPECT_EQ(window.beginRunLogCalls, 0);
    EXPECT_TRUE(window.clockText.empty());

    // The language's own text is used.
    window.texts["FrmMain.m_acMNoFile"] = u"Keine Dateien!";
    StartFileRun(threads, window, state);
    threads.JoinAll();
    EXPECT_EQ(window.infoMessages.back(), u"Keine Dateien!");
}

TEST_F(FileRunTest, ConfirmationNoThenYesToAll) {
    window.settings.confirm = 1;
    for (int i = 1; i <= 5; ++i) AddFile("c/f" + std::to_string(i) + ".txt", "data");
    window.answers = {7, 19};
    Run();
    ASSERT_EQ(window.questions.size(), 2u);
    EXPECT_EQ(window.questions[0], u"Sure to shred file '" + dir.WSub("c/f1.txt") + u"'?");
    EXPECT_EQ(window.questions[1], u"Sure to shred file '" + dir.WSub("c/f2.txt") + u"'?");
    EXPECT_EQ(ReadWholeFile(dir.Sub("c/f1.txt")), "data");
    for (int i = 2; i <= 5; ++i) EXPECT_FALSE(Exists("c/f" + std::to_string(i) + ".txt"));
    EXPECT_EQ(window.Paths(), Lines{dir.WSub("c/f1.txt")});
    EXPECT_EQ(window.logLines.size(), 5u + EarlierLines());
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, CancelEndsTheRunWithoutInterrupting) {
    window.settings.confirm = 1;
    for (int i = 1; i <= 5; ++i) AddFile("c/f" + std::to_string(i) + ".txt", "data");
    window.answers = {6, 6, 2};
    Run();
    EXPECT_EQ(window.questions.size(), 3u);
    EXPECT_FALSE(Exists("c/f1.txt"));
    EXPECT_FALSE(Exists("c/f2.txt"));
    for (int i = 3; i <= 5; ++i)
        EXPECT_EQ(ReadWholeFile(dir.Sub("c/f" + std::to_string(i) + ".txt")), "data");
    EXPECT_EQ(window.Paths().size(), 3u);
    // Three rows were never shredded: partly done, as the exit status says.
    EXPECT_EQ(window.status, Partly());
    EXPECT_EQ(state.lastOutcome, RunOutcome::Partly);
    EXPECT_TRUE(state.stop);
}

TEST_F(FileRunTest, QuestionTextComesFromTheLanguageAndIsNeverAFormatString) {
    window.settings.confirm = 1;
    window.texts["FrmMain.m_acMDeleteFile"] = u"%s %s %n %d?";
    AddFile("q/f.txt");
    window.answers = {7};
    Run();
    ASSERT_EQ(window.questions.size(), 1u);
    EXPECT_EQ(window.questions[0].substr(0, dir.WSub("q/f.txt").size()), dir.WSub("q/f.txt"));
    EXPECT_TRUE(Exists("q/f.txt"));
}

// A stop in the middle of a large file ends it after the write under way: the
// file stays under its own name, its row stays, and the log says how far it got.
TEST_F(FileRunTest, StopDuringALongFileEndsItAfterTheWriteUnderWay) {
    AddFile("s/a.txt");
    AddFile("s/big.bin", std::string(8 << 20, 'B'));
    AddFile("s/c.txt", "untouched");
    window.iterationsText = u"2";
    // Stopped once the second pass of big.bin has begun (past half the bytes).
    window.onStatus = [&](const std::u16string& text) {
        const size_t dash = text.find(u" - "), pct = text.find(u" %]");
        if (text.find(u"big.bin") == std::u16string::npos || dash == std::u16string::npos ||
            pct == std::u16string::npos)
            return;
        if (std::stoi(Utf8FromWide(text.substr(dash + 3, pct - dash - 3))) >= 60) state.stop = true;
    };
    Run();
    EXPECT_FALSE(Exists("s/a.txt"));
    ASSERT_TRUE(Exists("s/big.bin"));
    const std::string big = ReadWholeFile(dir.Sub("s/big.bin"));
    EXPECT_EQ(big.size(), size_t{8} << 20);
    EXPECT_EQ(big.find(std::string(64, 'B')), std::string::npos) << "the first pass was complete";
    EXPECT_EQ(ReadWholeFile(dir.Sub("s/c.txt")), "untouched");
    EXPECT_EQ(window.logLines,
              WithEarlier({Header(2), dir.WSub("s/a.txt") + u" [done]",
                           dir.WSub("s/big.bin") + u" [interrupted after pass 1 of 2]"}));
    EXPECT_EQ(window.Paths(), (Lines{dir.WSub("s/big.bin"), dir.WSub("s/c.txt")}));
    EXPECT_TRUE(window.RowChecked(0));
    EXPECT_EQ(window.status, Interrupted());
    EXPECT_EQ(window.progressPos, 0);
    EXPECT_EQ(window.unlockCalls, 1);
}

TEST_F(FileRunTest, FinalTextCarriesTheClocksElapsedTime) {
    AddFile("e/f.txt");
    state.SetElapsedText("01:02:03");  // what an earlier run left behind
    // The calendar moves on 42 s once the run has taken its start time, whenever
    // the clock's thread gets to tick.
    std::atomic<int> calls{0};
    ScopedPlatform moving(PlatformServices{Platform().shellOpen, Platform().shutdown, [&] {
                                               return int64_t{1'800'000'000} +
                                                      (calls++ == 0 ? 0 : 42);
                                           }});
    Run();
    EXPECT_EQ(window.status, u"Shredding done. (00:00:42)");
}

TEST_F(FileRunTest, EndActions) {
    // Nothing.
    AddFile("e/1.txt");
    Run();
    EXPECT_EQ(window.storeCalls, 0);
    EXPECT_EQ(window.endCalls, 0);
    EXPECT_EQ(shutdowns, 0);

    // End the program.
    window.endAction = 1;
    AddFile("e/2.txt");
    Run();
    EXPECT_EQ(window.storeCalls, 1);
    EXPECT_EQ(window.endCalls, 1);
    EXPECT_EQ(shutdowns, 0);

    // Shut down (the replaced service only counts).
    window.endAction = 2;
    AddFile("e/3.txt");
    Run();
    EXPECT_EQ(window.storeCalls, 2);
    EXPECT_EQ(window.endCalls, 2);
    EXPECT_EQ(shutdowns, 1);

    // "-exec" with "Shut down windows" stores the settings twice.
    state.exitAfterFileRun = true;
    AddFile("e/4.txt");
    Run();
    EXPECT_EQ(window.storeCalls, 4);
    EXPECT_EQ(shutdowns, 2);

    // "-exec" alone ends the program even with "Do nothing".
    window.endAction = 0;
    AddFile("e/5.txt");
    Run();
    EXPECT_EQ(window.storeCalls, 5);
    EXPECT_EQ(shutdowns, 2);
    EXPECT_FALSE(Exists("e"));
}

// Small files on a device are overwritten several at once; rows, log lines and
// folders still go in list order, with the rows that are not for the pool (a
// large file, a folder, an unticked row) and a failure among them.
TEST_F(FileRunTest, SmallFilesAtOnceKeepTheListOrder) {
    TestMount m(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    window.settings.shredNames = 1;  // files of one folder draw names side by side
    window.iterationsText = u"2";
    for (const char* d : {"a", "b"}) ASSERT_EQ(::mkdir((m.Path() + d).c_str(), 0700), 0);
    Lines expectedLog{Header(2)}, expectedRows;
    for (int i = 0; i < 60; ++i) {
        std::string rel = "a/f" + std::to_string(100 + i);
        if (i == 20) rel = "b/big";
        if (i == 30) rel = "a/now-a-folder";
        TempDir::WriteFileAt(m.Path() + rel, std::string(i == 20 ? 2 << 20 : 4096, 'x'));
        window.AddRow(m.WPath() + WideFromUtf8(rel));
        const std::u16string path = m.WPath() + WideFromUtf8(rel);
        if (i == 10) {
            window.list.SetCheck(i, false);
            expectedRows.push_back(path);
        } else if (i == 30) {
            ASSERT_EQ(::unlink((m.Path() + rel).c_str()), 0);
            ASSERT_EQ(::mkdir((m.Path() + rel).c_str(), 0700), 0);
            expectedLog.push_back(path + u" [FAILED!]");
            expectedRows.push_back(path);
        } else {
            expectedLog.push_back(path + u" [done]");
        }
        if (i == 40) {
            window.AddRow(m.WPath() + u"b/", u"FOLDER");  // gone with big, and said
            expectedLog.push_back(m.WPath() + u"b/ [FOLDER, removed]");
        }
    }
    Run();
    EXPECT_EQ(window.logLines, WithEarlier(expectedLog, m.Path()));
    EXPECT_EQ(window.Paths(), expectedRows);
    EXPECT_FALSE(PathExists(m.Path() + "b"));
    EXPECT_EQ(window.status, Partly());
    EXPECT_EQ(window.progressPos, 0);
}

// FAT has neither a rename that refuses to replace nor hard links: the files
// overwritten at once must still each get a name of their own, and none may
// take the place of another.
TEST_F(FileRunTest, SmallFilesAtOnceOnFatAllGo) {
    TestMount m(TestMount::Kind::FatImage, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    window.settings.shredNames = 1;
    Lines expected, outcomes;
    for (int i = 0; i < 30; ++i) {
        const std::string rel = "note" + std::to_string(100 + i) + ".txt";
        TempDir::WriteFileAt(m.Path() + rel, std::string(4096, 'x'));
        window.AddRow(m.WPath() + WideFromUtf8(rel));
        expected.push_back(m.WPath() + WideFromUtf8(rel) + u" [done]");
    }
    Run();
    for (const std::u16string& line : window.logLines)  // the summary's lines are indented
        if (line.starts_with(m.WPath())) outcomes.push_back(line);
    EXPECT_EQ(outcomes, expected);
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(m.Path()))
        left.push_back(e.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.size() << " left, first " << left.front();
}
