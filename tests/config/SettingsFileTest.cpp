#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/SettingsFile.h"
#include "support/TempDir.h"
#include "support/TestText.h"

namespace {

LoadedSettings LoadOne(const TempDir& dir, const std::string& key, const std::string& value) {
    dir.WriteFile("one.ini", SettingsXml(SettingsEntry(key, value)));
    return LoadSettings(dir.Sub("one.ini"));
}

}  // namespace

TEST(SettingsFile, FirstStartAndBrokenFilesGiveTheDefaults) {
    TempDir dir;
    dir.WriteFile("empty.ini", "");
    dir.WriteFile("garbage.ini", "\x01\x02 not xml at all <<<>");
    dir.WriteFile("cut.ini", "<?xml version=\"1.0\"?>\r\n<InitFile>\r\n  <Random>0</Random>\r\n");
    dir.MakeDir("folder.ini");
    for (const char* name : {"missing.ini", "empty.ini", "garbage.ini", "cut.ini", "folder.ini"}) {
        SCOPED_TRACE(name);
        LoadedSettings l = LoadSettings(dir.Sub(name));
        const AppSettings& s = l.values;
        EXPECT_EQ(s.random, 1);
        EXPECT_EQ(s.shredValue, "0");
        EXPECT_FALSE(s.ignoreProtect);
        EXPECT_EQ(s.endAction, 0);
        EXPECT_EQ(s.shredNames, 1);
        EXPECT_EQ(s.confirm, 1);
        EXPECT_EQ(s.modifySize, 0);
        EXPECT_EQ(s.modifySizeType, 0);
        EXPECT_EQ(s.enableLog, 1);
        EXPECT_EQ(s.archiveLog, 1);
        EXPECT_EQ(s.iterations, 5);
        EXPECT_EQ(s.shredBlockSize, 102400u);
        EXPECT_EQ(s.diskShredBlockSize, 524288u);
        EXPECT_EQ(s.diskShredFileSize, 1073741824u);
        EXPECT_EQ(s.diskShredFileName, "Morvik.$$$temp$$$");
        EXPECT_FALSE(s.diskShredLeaveFiles);
        EXPECT_FALSE(s.fileShredLeaveFiles);
        EXPECT_FALSE(s.fileShredFileShred);
        EXPECT_FALSE(s.useBuildInFont);
        EXPECT_TRUE(s.useFontSettings);
        EXPECT_FALSE(s.useFontHeight);
        EXPECT_FALSE(l.hasFontName || l.hasFontCharset || l.hasFontHeight || l.hasFontPitch);
        EXPECT_EQ(s.winPos, "");
        EXPECT_EQ(s.languageName, "");
    }
}

TEST(SettingsFile, IterationsOutsideTheRangeBecomeThree) {
    TempDir dir;
    const std::pair<const char*, int> cases[] = {
        {"0", 3}, {"301", 3}, {"word", 3}, {"-4", 3}, {"300", 300}, {"1", 1}, {" 7x", 7}, {"", 5},
    };
    for (const auto& [text, want] : cases)
        EXPECT_EQ(LoadOne(dir, "Iterations", text).values.iterations, want) << text;
    AppSettings s;
    s.iterations = 301;
    ASSERT_TRUE(SaveSettings(dir.Sub("s.ini"), s));
    EXPECT_NE(ReadWholeFile(dir.Sub("s.ini")).find("<Iterations>3</Iterations>"),
              std::string::npos);
}

TEST(SettingsFile, NumbersAreReadLikeTheCLibrary) {
    TempDir dir;
    // "%u" readings: modulo 2^32, no digits keep the default.
    EXPECT_EQ(LoadOne(dir, "ShredBlockSize", "-1").values.shredBlockSize, 4294967295u);
    EXPECT_EQ(LoadOne(dir, "DiskShredBlockSize", "  4096 bytes").values.diskShredBlockSize, 4096u);
    EXPECT_EQ(LoadOne(dir, "DiskShredFileSize", "lots").values.diskShredFileSize, 1073741824u);
    // Int keys: a word is 0.
    EXPECT_EQ(LoadOne(dir, "EndAction", "two").values.endAction, 0);
    EXPECT_EQ(LoadOne(dir, "Random", "x").values.random, 0);
    EXPECT_EQ(LoadOne(dir, "ModifySizeType", "7").values.modifySizeType, 7);
    // Bools are true only for 1.
    EXPECT_FALSE(LoadOne(dir, "IgnoreProtect", "2").values.ignoreProtect);
    EXPECT_TRUE(LoadOne(dir, "IgnoreProtect", "1").values.ignoreProtect);
    // The log switches keep the number; only 1 means on, and saving writes 0/1.
    LoadedSettings log = LoadOne(dir, "EnableLog", "2");
    EXPECT_EQ(log.values.enableLog, 2);
    ASSERT_TRUE(SaveSettings(dir.Sub("s.ini"), log.values));
    EXPECT_EQ(LoadSettings(dir.Sub("s.ini")).values.enableLog, 0);
    // Font keys say whether the file has them.
    LoadedSettings font = LoadOne(dir, "FontDefHeight", "-17");
    EXPECT_TRUE(font.hasFontHeight);
    EXPECT_EQ(font.values.fontDefHeight, -17);
    EXPECT_FALSE(font.hasFontName);
}

TEST(SettingsFile, SavesAll45KeysInTheirOrder) {
    TempDir dir;
    AppSettings s;  // every value at its default
    s.fontDefName = "DejaVu Sans";
    ASSERT_TRUE(SaveSettings(dir.Sub("k.ini"), s));
    const std::string text = ReadWholeFile(dir.Sub("k.ini"));
    const std::string want = SettingsXml(
        SettingsEntry("Random", "1") + SettingsEntry("ShredValue", "0") +
        SettingsEntry("IgnoreProtect", "0") + SettingsEntry("EndAction", "0") +
        SettingsEntry("ShredNames", "1") + SettingsEntry("Confirm", "1") +
        SettingsEntry("ModifySize", "0") + SettingsEntry("ModifySizeType", "0") +
        SettingsEntry("EnableLog", "1") + SettingsEntry("ArchiveLog", "1") +
        SettingsEntry("Iterations", "5") + SettingsEntry("ShredBlockSize", "102400") +
        SettingsEntry("DiskShredBlockSize", "524288") +
        SettingsEntry("DiskShredFileSize", "1073741824") +
        SettingsEntry("DiskShredFileName", "Morvik.$$$temp$$$") +
        SettingsEntry("DiskShredLeaveFiles", "0") + SettingsEntry("FileShredLeaveFiles", "0") +
        SettingsEntry("FileShredFileShred", "0") + SettingsEntry("KeepChosenFolders", "0") +
        SettingsEntry("UseBuildInFont", "0") + SettingsEntry("UseFontSettings", "1") +
        SettingsEntry("UseFontHeight", "0") + SettingsEntry("FontDefName", "DejaVu Sans") +
        SettingsEntry("FontDefCharset", "0") + SettingsEntry("FontDefHeight", "0") +
        SettingsEntry("FontDefPitch", "0") + SettingsEntry("WinPos", "") +
        SettingsEntry("LanguageName", "") + SettingsEntry("ShowSummary", "0") +
        SettingsEntry("HideSeenWarnings", "1") + SettingsEntry("VerifyLastPass", "0") +
        SettingsEntry("SeenWarnings", "0") + SettingsEntry("FreeSpaceAfter", "0") +
        SettingsEntry("OverwriteReserve", "0") + SettingsEntry("Reports", "1") +
        SettingsEntry("ReportHideNames", "0") + SettingsEntry("ReportFolder", "") +
        SettingsEntry("ReportKeyFile", "") + SettingsEntry("ReportOrganisation", "") +
        SettingsEntry("ReportOperator", "") + SettingsEntry("ReportCustomer", "") +
        SettingsEntry("LogArchivesKeep", "30") + SettingsEntry("LogArchivesDays", "90") +
        SettingsEntry("ReportsKeep", "0") + SettingsEntry("ReportsDays", "0"));
    EXPECT_EQ(text, want);
}

TEST(SettingsFile, EveryKeyRoundTrips) {
    TempDir dir;
    AppSettings s;
    s.random = 0;
    s.shredValue = "/home/u/pattern file.bin";
    s.ignoreProtect = true;
    s.endAction = 2;
    s.shredNames = 0;
    s.confirm = 0;
    s.modifySize = 1;
    s.modifySizeType = 1;
    s.enableLog = 0;
    s.archiveLog = 0;
    s.iterations = 300;
    s.shredBlockSize = 4096;
    s.diskShredBlockSize = 4294967295u;
    s.diskShredFileSize = 1;
    s.diskShredFileName = "filler \xc3\xa9.tmp";
    s.diskShredLeaveFiles = true;
    s.fileShredLeaveFiles = true;
    s.fileShredFileShred = true;
    s.useBuildInFont = true;
    s.useFontSettings = false;
    s.useFontHeight = true;
    s.fontDefName = "Noto Sans";
    s.fontDefCharset = 238;
    s.fontDefHeight = -15;
    s.fontDefPitch = 49;
    s.winPos = "10;20;810;620";
    s.languageName = "Deutsch";
    s.showSummary = true;
    s.hideSeenWarnings = false;
    s.verifyLastPass = true;
    s.seenWarnings = 0xA5;
    s.freeSpaceAfter = true;
    s.reportsOn = false;
    s.reportHideNames = true;
    s.reportFolder = "/srv/reports";
    s.reportKeyFile = "/etc/org.key";
    s.reportOrganisation = "Org & Co <x>";
    s.reportOperator = "Op";
    s.reportCustomer = "Cust";
    ASSERT_TRUE(SaveSettings(dir.Sub("r.ini"), s));
    LoadedSettings l = LoadSettings(dir.Sub("r.ini"));
    const AppSettings& r = l.values;
    EXPECT_EQ(r.random, 0);
    EXPECT_TRUE(r.showSummary);
    EXPECT_FALSE(r.hideSeenWarnings);
    EXPECT_TRUE(r.verifyLastPass);
    EXPECT_EQ(r.seenWarnings, 0xA5u);
    EXPECT_TRUE(r.freeSpaceAfter);
    EXPECT_FALSE(r.reportsOn);
    EXPECT_TRUE(r.reportHideNames);
    EXPECT_EQ(r.reportFolder, s.reportFolder);
    EXPECT_EQ(r.reportKeyFile, s.reportKeyFile);
    EXPECT_EQ(r.reportOrganisation, s.reportOrganisation);
    EXPECT_EQ(r.reportOperator, s.reportOperator);
    EXPECT_EQ(r.reportCustomer, s.reportCustomer);
    EXPECT_EQ(r.shredValue, s.shredValue);
    EXPECT_TRUE(r.ignoreProtect);
    EXPECT_EQ(r.endAction, 2);
    EXPECT_EQ(r.shredNames, 0);
    EXPECT_EQ(r.confirm, 0);
    EXPECT_EQ(r.modifySize, 1);
    EXPECT_EQ(r.modifySizeType, 1);
    EXPECT_EQ(r.enableLog, 0);
    EXPECT_EQ(r.archiveLog, 0);
    EXPECT_EQ(r.iterations, 300);
    EXPECT_EQ(r.shredBlockSize, 4096u);
    EXPECT_EQ(r.diskShredBlockSize, 4294967295u);
    EXPECT_EQ(r.diskShredFileSize, 1u);
    EXPECT_EQ(r.diskShredFileName, s.diskShredFileName);
    EXPECT_TRUE(r.diskShredLeaveFiles);
    EXPECT_TRUE(r.fileShredLeaveFiles);
    EXPECT_TRUE(r.fileShredFileShred);
    EXPECT_TRUE(r.useBuildInFont);
    EXPECT_FALSE(r.useFontSettings);
    EXPECT_TRUE(r.useFontHeight);
    EXPECT_TRUE(l.hasFontName && l.hasFontCharset && l.hasFontHeight && l.hasFontPitch);
    EXPECT_EQ(r.fontDefName, "Noto Sans");
    EXPECT_EQ(r.fontDefCharset, 238);
    EXPECT_EQ(r.fontDefHeight, -15);
    EXPECT_EQ(r.fontDefPitch, 49);
    EXPECT_EQ(r.winPos, "10;20;810;620");
    EXPECT_EQ(r.languageName, "Deutsch");
}

TEST(SettingsFile, AFailedSaveKeepsTheOldFile) {
    TempDir dir;
    AppSettings s;
    ASSERT_TRUE(SaveSettings(dir.Sub("keep.ini"), s));
    const std::string before = ReadWholeFile(dir.Sub("keep.ini"));
    s.random = 0;
    EXPECT_FALSE(SaveSettings(dir.Sub("no/such/folder/x.ini"), s));
    EXPECT_FALSE(SaveSettings("", s));
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
        EXPECT_FALSE(SaveSettings(dir.Sub("keep.ini"), s));
        ::chmod(dir.Path().c_str(), 0755);
    }
    EXPECT_EQ(ReadWholeFile(dir.Sub("keep.ini")), before);
}

TEST(SettingsFile, WindowPositions) {
    EXPECT_TRUE(IsMaximizedWinPos("MAX"));
    EXPECT_FALSE(IsMaximizedWinPos("max"));
    EXPECT_FALSE(IsMaximizedWinPos("MAX "));
    auto r = ParseWinPos("10;20;810;620");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, (WindowRect{10, 20, 810, 620}));
    EXPECT_TRUE(ParseWinPos(" 0; 0; 1; 1 trailing").has_value());
    for (const char* bad :
         {"", "MAX", "-1;0;100;100", "0;-5;100;100", "10;10;10;100", "10;10;100;10", "10;10;5;100",
          "1;2;3", "a;b;c;d", "1,2,3,4", "1 ;2;3;4", "0;0;2147483647;-2147483648"}) {
        EXPECT_FALSE(ParseWinPos(bad).has_value()) << bad;
    }
    EXPECT_EQ(FormatWinPos({1, 2, 3, 4}), "1;2;3;4");
    EXPECT_EQ(FormatWinPos({-8, -8, 1928, 1048}), "-8;-8;1928;1048");
}
