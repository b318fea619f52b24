// The summary before a file run and the check after the last pass, as a run
// through the window sees them.
// GCC 12 sees a false overlap in the fixture's string assignment once inlined here
// (its bug 105329).
#pragma GCC diagnostic ignored "-Wrestrict"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "FileRunFixture.h"
#include "engine/EarlierVersions.h"
#include "engine/ShredCheck.h"
#include "platform/StorageFacts.h"
#include "runs/RunSummary.h"
#include "support/TestMount.h"

namespace {

bool HasLine(const std::vector<std::u16string>& lines, const std::u16string& want) {
    return std::find(lines.begin(), lines.end(), want) != lines.end();
}

}  // namespace

TEST_F(FileRunTest, SummaryGroupsWarningsAsksOnceAndCancelLeavesEverything) {
    // An empty /sys: no file system can be traced to its disk, so every file warns.
    TempDir emptySys;
    storage::ScopedStorageRoots roots({"/proc", emptySys.Path()});
    for (int i = 0; i < 5; ++i) AddFile("d/f" + std::to_string(i), std::string(1000, 'x'));
    AddFolderRow("d/");
    window.endAction = 1;

    window.summaryAnswer = false;
    Run();
    ASSERT_EQ(window.summaries.size(), 1u);
    EXPECT_TRUE(window.summariesWanted[0]);
    const RunSummary& s = window.summaries[0];
    EXPECT_EQ(s.files, 5);
    EXPECT_EQ(s.folders, 1);
    EXPECT_EQ(s.bytes, 5000);
    EXPECT_EQ(s.passes, 1);
    EXPECT_EQ(s.endAction, 1);
    ASSERT_EQ(s.groups.size(), 1u);
    EXPECT_EQ(s.groups[0].reason, VerdictReason::kUnknown);
    EXPECT_EQ(s.groups[0].count, 5);
    EXPECT_EQ(s.groups[0].examples.size(), RunSummary::kExamples);
    // Cancelled: nothing touched, nothing logged, not a success.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ReadWholeFile(dir.Sub("d/f" + std::to_string(i))), std::string(1000, 'x'));
    EXPECT_EQ(window.beginRunLogCalls, 0);
    EXPECT_EQ(window.status, u"Shredding cancelled; nothing was changed.");
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Partly);

    // Start: the warnings go to the log and count as seen from now on.
    window.summaryAnswer = true;
    Run();
    ASSERT_EQ(window.summaries.size(), 2u);
    EXPECT_EQ(window.settings.seenWarnings, 1u << static_cast<unsigned>(VerdictReason::kUnknown));
    EXPECT_TRUE(HasLine(window.logLines, u"unknown storage: 5 file(s)"));
    EXPECT_TRUE(HasLine(window.logLines, u"    ... and 2 more"));
    EXPECT_EQ(window.RowCount(), 0);
    EXPECT_EQ(window.status, Done());

    // Seen before: offered (a screenless run prints it) but not to be shown.
    AddFile("e", "more");
    Run();
    ASSERT_EQ(window.summaries.size(), 3u);
    EXPECT_FALSE(window.summariesWanted[2]);
    EXPECT_FALSE(PathExists(dir.Sub("e")));
    // ... unless seen warnings are to be shown again.
    window.settings.hideSeenWarnings = false;
    AddFile("g", "more");
    Run();
    ASSERT_EQ(window.summaries.size(), 4u);
    EXPECT_TRUE(window.summariesWanted[3]);
}

TEST_F(FileRunTest, SummaryOnRequestAndVerifiedLogLines) {
    window.settings.showSummary = true;
    window.settings.verifyLastPass = true;
    AddFile("a", std::string(300000, 'a'));
    AddFile("b", std::string(300000, 'b'));
    // The second file is spoiled on its way to the device.
    {
        SpoilAfterLastPassOf spoil(dir.Sub("b"));
        Run();
    }
    ASSERT_EQ(window.summaries.size(), 1u);
    EXPECT_TRUE(window.summariesWanted[0]);
    EXPECT_TRUE(window.summaries[0].groups.empty());
    EXPECT_TRUE(window.summaries[0].verify);
    EXPECT_TRUE(HasLine(window.logLines, dir.WSub("a") + u" [done, verified]"));
    EXPECT_TRUE(HasLine(
        window.logLines,
        dir.WSub("b") + u" [FAILED! verification: the data read back differs at byte 4096]"));
    EXPECT_TRUE(PathExists(dir.Sub("b")));
    EXPECT_FALSE(PathExists(dir.Sub("a")));
    EXPECT_EQ(window.status, Partly());
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Partly);
}

// Reading back what the file system hands out proves nothing where the data lives
// in the inode: such a file is done, but never "verified". A file of blocks of
// its own on the same drive still is.
TEST_F(FileRunTest, InlineDataIsNotVerifiable) {
    TestMount m(TestMount::Kind::Ext4Inline, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    window.settings.verifyLastPass = true;
    TempDir::WriteFileAt(m.Path() + "tiny.txt", "pin 4711");
    TempDir::WriteFileAt(m.Path() + "large.bin", std::string(64 * 1024, 'l'));
    m.Sync();
    window.AddRow(m.WPath() + u"tiny.txt");
    window.AddRow(m.WPath() + u"large.bin");
    Run();
    EXPECT_TRUE(
        HasLine(window.logLines, m.WPath() + u"tiny.txt [done, not verifiable: inline data]"));
    EXPECT_TRUE(HasLine(window.logLines, m.WPath() + u"large.bin [done, verified]"));
    EXPECT_EQ(window.status, Done());
}

TEST(EarlierVersions, SaidWheneverADriveShreddedOnIsNotOverwrittenAfter) {
    // After the run: a disk drive left as it was keeps them; one overwritten
    // afterwards, or one in memory, does not.
    EXPECT_FALSE(EarlierVersionsRemain(std::vector<DriveAfterShred>{}));
    EXPECT_TRUE(EarlierVersionsRemain({{false, true}, {false, false}}));
    EXPECT_FALSE(EarlierVersionsRemain({{false, true}, {true, false}}));
    // Before it: files on a disk and no fill chosen, whatever else is found.
    RunSummary s;
    s.files = 2;
    s.filesOnDisk = 1;
    EXPECT_TRUE(s.groups.empty());
    EXPECT_TRUE(s.EarlierVersions());
    // When the summary is shown, it carries the sentence (the offer is the
    // summary window's check box); the log says it at the end of every run.
    const TextLookup text = [](std::string_view key) { return WideFromUtf8(std::string(key)); };
    const std::vector<std::u16string> lines = SummaryLines(s, text);
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"FrmSummary.m_acMEarlierCopies"), lines.end());
    // With the fill chosen there is nothing to say, only what follows.
    s.freeSpaceAfter = true;
    EXPECT_FALSE(s.EarlierVersions());
    const std::vector<std::u16string> after = SummaryLines(s, text);
    EXPECT_EQ(std::find(after.begin(), after.end(), u"FrmSummary.m_acMEarlierCopies"), after.end());
    EXPECT_NE(std::find(after.begin(), after.end(), u"FrmSummary.m_acMFreeSpaceAfter"),
              after.end());
    // Files only in memory: nothing kept on a disk.
    s.freeSpaceAfter = false;
    s.filesOnDisk = 0;
    EXPECT_FALSE(s.EarlierVersions());
}

TEST_F(FileRunTest, EarlierVersionsAreSaidAtTheEndOnlyForADiskDrive) {
    TestMount memory(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(memory);
    TempDir::WriteFileAt(memory.Path() + "a.txt", "in memory");
    window.AddRow(WideFromUtf8(memory.Path() + "a.txt"));
    Run();
    EXPECT_EQ(window.status, Done());
    EXPECT_EQ(window.logLines,
              (std::vector<std::u16string>{Header(1), memory.WPath() + u"a.txt [done]"}));

    TestMount disk(TestMount::Kind::Ext4Image, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(disk);
    TempDir::WriteFileAt(disk.Path() + "b.txt", "on a disk");
    window.AddRow(WideFromUtf8(disk.Path() + "b.txt"));
    Run();
    EXPECT_EQ(window.status, Done());
    ASSERT_FALSE(window.logLines.empty());
    EXPECT_EQ(window.logLines.back(),
              u"Earlier versions of the shredded files (saved by editors, temporary files) may "
              u"remain in the free space of " +
                  disk.WPath() + u": overwrite the free space of these drives to remove them.");
}
