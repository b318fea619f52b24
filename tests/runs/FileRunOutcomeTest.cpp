#include <sys/stat.h>

#include "runs/FileRunFixture.h"
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
    EXPECT_EQ(window.progressUpper, 200);
    EXPECT_EQ(window.progressHistory, (std::vector<int>{0, 100, 0}));
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
    // The folder goes but its parent stays: no log line, the row still leaves.
    dir.MakeDir("v/w");
    File("v/keep.txt");
    AddFolderRow("v/w/");
    Run();
    EXPECT_FALSE(Exists("v/w"));
    EXPECT_TRUE(Exists("v/keep.txt"));
    EXPECT_EQ(window.logLines, Lines{Header(1)});
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
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), dir.WSub("t/u/f.txt") + u" [done]"}));
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
    EXPECT_EQ(window.logLines, WithEarlier({Header(1), locked + u" [FAILED! Permission denied]",
                                            dir.WSub("r/free.txt") + u" [done]"}));
    ASSERT_EQ(window.rowFailures.size(), 1u);
    EXPECT_EQ(window.rowFailures[0].first, locked);
    EXPECT_EQ(window.rowFailures[0].second, u"FAILED! Permission denied");
    EXPECT_EQ(window.status, Partly());
    // In the language of the window.
    window.texts["FrmMain.m_acMErrAccess"] = u"Zugriff verweigert";
    Run();
    EXPECT_EQ(LastLog(1 + EarlierLines()),
              WithEarlier({locked + u" [FAILED! Zugriff verweigert]"}));

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
    EXPECT_FALSE(Exists("z/y.txt"));
    EXPECT_EQ(ReadWholeFile(dir.Sub("z/w.txt")), "untouched");
    EXPECT_EQ(window.Paths(), Lines{dir.WSub("z/w.txt")});
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
        if (pos > 0 && pos < 100) within.push_back(pos);
    ASSERT_GE(within.size(), 3u);
    EXPECT_TRUE(std::is_sorted(within.begin(), within.end()));
    EXPECT_NE(std::find(window.statusHistory.begin(), window.statusHistory.end(),
                        u"Shredding [1 / 1 - " + WideFromUtf8(std::to_string(within[0])) +
                            u" %]: " + big),
              window.statusHistory.end());
}
