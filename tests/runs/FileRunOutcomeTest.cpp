#include <sys/stat.h>

#include <algorithm>

#include "runs/FileRunContext.h"
#include "runs/FileRunFixture.h"
#include "runs/RunClock.h"
#include "support/TestMount.h"

using Lines = std::vector<std::u16string>;

TEST_F(FileRunTest, UntickedRowsAreLeftAlone) {
    AddFile("a/one.txt", "one");
    AddFile("a/two.txt", "two");
    {
        std::lock_guard<std::mutex> l(window.mutex);
        window.list.SetCheck(0, false);
        window.list.SetCheck(1, false);
    }
    Run();
    EXPECT_EQ(window.beginRunLogCalls, 1);
    EXPECT_EQ(window.logLines, Lines{Header(1)});
    EXPECT_EQ(window.Paths().size(), 2u);
    EXPECT_EQ(ReadWholeFile(dir.Sub("a/one.txt")), "one");
    EXPECT_EQ(ReadWholeFile(dir.Sub("a/two.txt")), "two");
    EXPECT_EQ(window.status, Done());
    EXPECT_EQ(window.lockCalls, 1);
    EXPECT_EQ(window.unlockCalls, 1);
    EXPECT_TRUE(state.stop);
}

TEST_F(FileRunTest, ShredsTicksRemovesRowsAndShowsProgress) {
    AddFile("a/one.txt");
    AddFile("a/two.txt");
    std::u16string one = dir.WSub("a/one.txt"), two = dir.WSub("a/two.txt");
    Run();
    EXPECT_FALSE(Exists("a/one.txt"));
    EXPECT_FALSE(Exists("a/two.txt"));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), one + u" [done]", two + u" [done]"}));
    ASSERT_GE(window.statusHistory.size(), 3u);
    // The share is what is done, not what has been begun.
    EXPECT_EQ(window.statusHistory[0], u"Shredding [1 / 2 - 0 %]: " + one);
    // The first row left the list, so the second is visited at index 0 again.
    EXPECT_EQ(window.statusHistory[1], u"Shredding [2 / 2 - 50 %]: " + two);
    EXPECT_EQ(window.status, Done());
    EXPECT_EQ(window.progressUpper, kProgressSteps);
    EXPECT_EQ(window.progressHistory, (std::vector<int>{0, kProgressSteps / 2, 0}));
    // The emptied folder went, the test folder with its remaining file stays.
    EXPECT_FALSE(Exists("a"));
    EXPECT_TRUE(Exists("stay"));
}

TEST_F(FileRunTest, PassesFromTheIterationsText) {
    EXPECT_EQ(PassesFromText(u"0"), 3);
    EXPECT_EQ(PassesFromText(u"301"), 3);
    EXPECT_EQ(PassesFromText(u"abc"), 3);
    EXPECT_EQ(PassesFromText(u""), 3);
    EXPECT_EQ(PassesFromText(u"-2"), 3);
    EXPECT_EQ(PassesFromText(u"99999999999"), 3);
    EXPECT_EQ(PassesFromText(u"300"), 300);
    EXPECT_EQ(PassesFromText(u"1"), 1);
    EXPECT_EQ(PassesFromText(u" 7"), 7);

    for (auto [text, passes] : std::vector<std::pair<std::u16string, int>>{
             {u"0", 3}, {u"301", 3}, {u"abc", 3}, {u"300", 300}}) {
        window.iterationsText = text;
        AddFile("p/f.txt");
        {
            std::lock_guard<std::mutex> l(window.mutex);
            window.list.SetCheck(0, false);
        }
        Run();
        EXPECT_EQ(window.logLines, Lines{Header(passes)}) << Utf8FromWide(text);
        std::lock_guard<std::mutex> l(window.mutex);
        window.list.DeleteAllItems();
    }
}

TEST_F(FileRunTest, ShreddingTheOnlyFileRemovesItsEmptiedFolders) {
    AddFile("t/u/f.txt");
    Run();
    EXPECT_FALSE(Exists("t/u"));
    EXPECT_FALSE(Exists("t"));
    EXPECT_EQ(window.status, Done());

    // A parent that still holds something stays; the run is still done.
    AddFile("t2/u/f.txt");
    File("t2/other.txt");
    Run();
    EXPECT_FALSE(Exists("t2/u"));
    EXPECT_TRUE(Exists("t2/other.txt"));
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, FolderEntryIsLoggedWhenItsWholeChainWent) {
    // The chain ends below the file system's root, so the test needs one of its own.
    TestMount mount(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(mount);
    ASSERT_EQ(::mkdir((mount.Path() + "t").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((mount.Path() + "t/u").c_str(), 0700), 0);
    std::u16string folder = mount.WPath() + u"t/u/";
    window.AddRow(folder, u"FOLDER");
    Run();
    EXPECT_FALSE(PathExists(mount.Path() + "t"));
    EXPECT_TRUE(PathExists(mount.Path()));
    EXPECT_EQ(window.logLines, (Lines{Header(1), folder + u" [FOLDER, removed]"}));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, FolderEntries) {
    // The folder goes but its parent stays: said as any folder removed, the row leaves.
    dir.MakeDir("v/w");
    File("v/keep.txt");
    AddFolderRow("v/w/");
    Run();
    EXPECT_FALSE(Exists("v/w"));
    EXPECT_TRUE(Exists("v/keep.txt"));
    EXPECT_EQ(window.logLines, (Lines{Header(1), dir.WSub("v/w/") + u" [FOLDER, removed]"}));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());

    // A folder still in use stays in the list, says so, and makes the run partly done.
    File("x/y/unlisted.txt");
    AddFolderRow("x/y/");
    Run();
    EXPECT_TRUE(Exists("x/y/unlisted.txt"));
    EXPECT_EQ(window.logLines, (Lines{Header(1), dir.WSub("x/y/") + u" [FOLDER, not removed]"}));
    EXPECT_EQ(window.Paths(), Lines{dir.WSub("x/y/")});
    EXPECT_EQ(window.status, Partly());
}

TEST_F(FileRunTest, FolderEntryAlreadyGoneWithItsLastFile) {
    AddFile("t/u/f.txt");
    AddFolderRow("t/u/");
    AddFolderRow("t/");
    Run();
    EXPECT_FALSE(Exists("t"));
    // Gone with the file, each folder is still said, as the report counts it.
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), dir.WSub("t/u/f.txt") + u" [done]",
                                            dir.WSub("t/u/") + u" [FOLDER, removed]",
                                            dir.WSub("t/") + u" [FOLDER, removed]"}));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, KeepFoldersRemovesNoFolder) {
    window.settings.fileShredFileShred = true;
    AddFile("t/u/f.txt");
    AddFolderRow("t/u/");
    Run();
    EXPECT_FALSE(Exists("t/u/f.txt"));
    EXPECT_TRUE(Exists("t/u"));
    // A folder entry counts as done and leaves the list, the folder itself stays.
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), dir.WSub("t/u/f.txt") + u" [done]",
                                            dir.WSub("t/u/") + u" [done]"}));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, ReadOnlyFileFailsUnlessWriteProtectionIsIgnored) {
    AddFile("r/locked.txt", "still here");
    AddFile("r/free.txt");
    ASSERT_EQ(::chmod(dir.Sub("r/locked.txt").c_str(), 0444), 0);
    Run();
    // The failing file stays, with its data and its row; the other one goes.
    EXPECT_EQ(ReadWholeFile(dir.Sub("r/locked.txt")), "still here");
    EXPECT_FALSE(Exists("r/free.txt"));
    EXPECT_EQ(window.Paths(), Lines{dir.WSub("r/locked.txt")});
    // The log and the row say why; the line of the done file is as it always was.
    const std::u16string locked = dir.WSub("r/locked.txt");
    // The log and the status line end pointing to the option that would have helped.
    const std::u16string hint =
        u"1 file(s): permission denied. Options > Ignore write protection lets a run make such "
        u"files writable.";
    Lines want = WithEarlier(
        {Header(1), locked + u" [FAILED! Permission denied]", dir.WSub("r/free.txt") + u" [done]"});
    want.push_back(hint);
    EXPECT_EQ(window.logLines, want);
    ASSERT_EQ(window.rowFailures.size(), 1u);
    EXPECT_EQ(window.rowFailures[0].first, locked);
    EXPECT_EQ(window.rowFailures[0].second, u"FAILED! Permission denied");
    EXPECT_EQ(window.status, Partly() + u" " + hint);
    // In the language of the window.
    window.texts["FrmMain.m_acMErrAccess"] = u"Zugriff verweigert";
    Run();
    EXPECT_NE(std::find(window.logLines.begin(), window.logLines.end(),
                        locked + u" [FAILED! Zugriff verweigert]"),
              window.logLines.end());

    window.settings.ignoreProtect = true;
    Run();
    EXPECT_FALSE(Exists("r/locked.txt"));
    EXPECT_FALSE(Exists("r"));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), dir.WSub("r/locked.txt") + u" [done]"}));
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, VanishedFileCountsAsDone) {
    window.AddRow(dir.WSub("gone/never.txt"));
    Run();
    EXPECT_EQ(window.logLines, (Lines{Header(1), dir.WSub("gone/never.txt") + u" [done]"}));
    EXPECT_TRUE(window.Paths().empty());
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, OddNamesAreShreddedAndLoggedAsTheyAre) {
    // Blanks, a newline, a byte that is no UTF-8 and a per-cent sign.
    std::string odd = "o/a b\n\xff%s%n.txt";
    AddFile(odd);
    Run();
    EXPECT_FALSE(Exists(odd));
    EXPECT_FALSE(Exists("o"));
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), dir.WSub(odd) + u" [done]"}));
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, RowsAppendedDuringTheRunAreVisited) {
    AddFile("n/first.txt");
    std::u16string late = File("n/late.txt");
    bool appended = false;
    window.onStatus = [&](const std::u16string&) {
        if (!appended) {
            appended = true;
            window.AddRow(late);
        }
    };
    Run();
    EXPECT_FALSE(Exists("n/late.txt"));
    EXPECT_EQ(window.logLines,
              WithEarlier({Header(1), dir.WSub("n/first.txt") + u" [done]", late + u" [done]"}));
    // The late row goes beyond the total taken at the start; the share done stops at all.
    EXPECT_EQ(window.statusHistory[1], u"Shredding [2 / 1 - 100 %]: " + late);
    EXPECT_EQ(window.status, Done());
}

TEST_F(FileRunTest, DeferredFoldersAreRetriedAtTheEnd) {
    AddFile("d/x.txt");
    AddFile("z/y.txt");
    File("d/blocker.txt");
    // d cannot go while the first file is done; the blocker is gone by the end.
    window.onStatus = [&](const std::u16string& text) {
        if (text.find(u"y.txt") != std::u16string::npos) ::unlink(dir.Sub("d/blocker.txt").c_str());
    };
    Run();
    EXPECT_FALSE(Exists("d"));
    EXPECT_EQ(window.status, Done());
}

// Stop pressed as y.txt comes up: y is left in place (nothing written), and the
// folders left for the end are not tried again.
TEST_F(FileRunTest, InterruptedRunDoesNotRetryDeferredFolders) {
    AddFile("d/x.txt", std::string(2 << 20, 'x'));  // large: done on its own, before y
    AddFile("z/y.txt");
    AddFile("z/w.txt", "untouched");
    File("d/blocker.txt");
    window.onStatus = [&](const std::u16string& text) {
        if (text.find(u"y.txt") != std::u16string::npos) {
            ::unlink(dir.Sub("d/blocker.txt").c_str());
            state.stop = true;  // Stop pressed while y.txt is being shredded
        }
    };
    Run();
    EXPECT_TRUE(Exists("d"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("z/y.txt")), "secret");
    EXPECT_EQ(ReadWholeFile(dir.Sub("z/w.txt")), "untouched");
    EXPECT_EQ(window.Paths(), (Lines{dir.WSub("z/y.txt"), dir.WSub("z/w.txt")}));
    ASSERT_GT(window.logLines.size(), EarlierLines());
    EXPECT_EQ(window.logLines[window.logLines.size() - 1 - EarlierLines()],
              dir.WSub("z/y.txt") + u" [interrupted after pass 0 of 1]");
    EXPECT_EQ(window.status, Interrupted());
}

TEST_F(FileRunTest, OneLargeFileMovesTheBarWithItsPasses) {
    AddFile("big.bin", std::string(12 << 20, 'b'));
    const std::u16string big = dir.WSub("big.bin");
    window.iterationsText = u"3";
    Run();
    EXPECT_FALSE(Exists("big.bin"));
    ASSERT_FALSE(window.statusHistory.empty());
    EXPECT_EQ(window.statusHistory[0], u"Shredding [1 / 1 - 0 %]: " + big);
    // Between the empty bar and the end: steps of the passes, in order.
    std::vector<int> within;
    for (int pos : window.progressHistory)
        if (pos > 0 && pos < kProgressSteps) within.push_back(pos);
    ASSERT_GE(within.size(), 3u);
    EXPECT_TRUE(std::is_sorted(within.begin(), within.end()));
    EXPECT_NE(std::find(window.statusHistory.begin(), window.statusHistory.end(),
                        u"Shredding [1 / 1 - " + WideFromUtf8(std::to_string(within[0] / 100)) +
                            u" %]: " + big),
              window.statusHistory.end());
}

// The share done counts the bytes still to write (every pass), not the rows: a
// large file after many small ones starts near the beginning of the bar, and the
// estimate of the time left follows the bar.
TEST_F(FileRunTest, BarAndShareGoByTheBytesToWrite) {
    for (int i = 0; i < 32; ++i)
        AddFile("m/s" + std::to_string(i) + ".txt", std::string(1024, 's'));
    AddFile("m/big.bin", std::string(12 << 20, 'b'));
    const std::u16string big = dir.WSub("m/big.bin");
    window.iterationsText = u"3";
    Run();
    EXPECT_FALSE(Exists("m"));
    EXPECT_EQ(window.progressUpper, kProgressSteps);
    // The share shown as the big file begins, and the highest one during it.
    int atStart = -1, highest = -1;
    for (const std::u16string& line : window.statusHistory) {
        if (line.find(big) == std::u16string::npos) continue;
        const size_t dash = line.find(u" - "), pct = line.find(u" %]");
        ASSERT_TRUE(dash != std::u16string::npos && pct != std::u16string::npos);
        const int share = std::stoi(Utf8FromWide(line.substr(dash + 3, pct - dash - 3)));
        if (atStart < 0) {
            atStart = share;
            // Rows are still the first figure.
            EXPECT_EQ(line.substr(0, line.find(u" - ")), u"Shredding [33 / 33");
        }
        highest = std::max(highest, share);
    }
    EXPECT_GE(atStart, 0);
    EXPECT_LE(atStart, 10) << "the small files took most of the bar";
    EXPECT_GE(highest, 60);
    EXPECT_TRUE(std::is_sorted(window.progressHistory.begin(), window.progressHistory.end() - 1));
    // The time left is the elapsed time scaled by the share of the bar.
    EXPECT_EQ(ClockText(10, kProgressSteps, kProgressSteps / 4), u"00:00:10\r\n(~00:00:30)");
}
