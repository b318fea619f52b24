// What a record keeps for people to read and what it warns of: the entries that
// need attention are the ones memory keeps for the PDF however late they come,
// the caveats of the run are said once in its own words with hidden places
// hidden, and the tokens of the JSON have plain words.
#include <gtest/gtest.h>

#include "config/AppSettings.h"
#include "report/HiddenNames.h"
#include "report/ReportJson.h"
#include "report/ReportRecorder.h"
#include "report/ReportWords.h"
#include "support/TempDir.h"

TEST(ReportTruth, MemoryKeepsWhatNeedsAttentionAndCaveatsAreSaidOnce) {
    TempDir dir;
    dir.MakeDir("part");
    AppSettings settings;
    ReportRecorder recorder;
    recorder.Begin("files", settings, 1, 1'800'000'000, {dir.Sub("part/")});
    // Many entries erased, then one failure at the very end.
    const int entries = static_cast<int>(kReportShownEntries) * 3;
    for (int i = 0; i < entries; ++i) {
        const std::u16string path = dir.WSub("gone" + std::to_string(i));
        recorder.AddEntry(path);
        recorder.EntryEnded(path, i != entries - 1, u"[FAILED!]");
    }
    recorder.Caveat("FrmSummary.m_acMNamesJournal", u"ext4", u"/mnt/disk");
    recorder.Caveat("FrmSummary.m_acMNamesJournal", u"ext4", u"/mnt/disk");
    recorder.Caveat("FrmMain.m_acMJournalNotCleared", u"", u"/mnt/other");
    RunRecord record = recorder.Finish(1, 1'800'000'060);
    ASSERT_EQ(record.entries.size(), kReportShownEntries);
    const std::vector<size_t> order = AttentionOrder(record.entries);
    EXPECT_EQ(record.entries[order[0]].path, dir.Sub("gone" + std::to_string(entries - 1)));
    EXPECT_EQ(record.entries[order[0]].result, "not-erased");
    ASSERT_EQ(record.warnings.size(), 2u);
    EXPECT_EQ(record.warnings[0],
              "Old names: the ext4 file system at /mnt/disk keeps copies of its folders in its "
              "journal and the names of removed entries in the blocks of removed folders, so "
              "earlier names of these files may remain there after the run.");
    EXPECT_NE(record.warnings[1].find("/mnt/other"), std::string::npos) << record.warnings[1];

    // With hidden names the place in the sentence is hidden too, as in the entries.
    settings.reportHideNames = true;
    ReportRecorder hidden;
    const std::string secret(32, 's');
    hidden.Begin("files", settings, 1, 1'800'000'000, {}, secret);
    hidden.Caveat("FrmSummary.m_acMNamesCopyOnWrite", u"btrfs", u"/home/alice");
    const RunRecord h = hidden.Finish(0, 1'800'000'001);
    ASSERT_EQ(h.warnings.size(), 1u);
    EXPECT_EQ(h.warnings[0].find("alice"), std::string::npos) << h.warnings[0];
    EXPECT_NE(h.warnings[0].find(HiddenName(ReportNameKey(secret, h.id), "/home/alice")),
              std::string::npos)
        << h.warnings[0];
    EXPECT_EQ(h.nameKeyId, NameKeyId(secret));
}

TEST(ReportTruth, TokensHavePlainWords) {
    EXPECT_EQ(ResultWords("not-erased"), "NOT erased");
    EXPECT_EQ(ResultWords("erased-with-exceptions"), "Erased, with exceptions");
    EXPECT_EQ(OutcomeWords("partly-done"), "Partly done: some entries were not erased");
    EXPECT_EQ(VerificationWords("not-checked"), "Not read back");
    ReportMethod m;
    m.passes = 1;
    m.pattern = "fixed-byte";
    m.fixedByte = 0;
    m.namesScrambled = true;
    EXPECT_EQ(MethodWords(m),
              "1 pass of the byte 0, written in place, names scrambled before removal");
    std::vector<ReportEntry> e(4);
    e[0].result = "erased";
    e[1].result = "erased-with-exceptions";
    e[2].result = "not-erased";
    e[3].result = "erased-with-exceptions";
    EXPECT_EQ(AttentionOrder(e), (std::vector<size_t>{2, 1, 3, 0}));
}
