#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/HelpFile.h"
#include "support/TempDir.h"

TEST(HelpFile, TagIsTheTextBetweenTheLastUnderscoreAndTheFirstDot) {
    EXPECT_EQ(HelpTagOfLanguageFile("Kelvane_German.lng"), "German");
    EXPECT_EQ(HelpTagOfLanguageFile("/opt/kelvane/Kelvane_French.lng"), "French");
    EXPECT_EQ(HelpTagOfLanguageFile("C:\\Programs\\Kelvane_German.lng"), "German");
    // Several underscores: the last one before the dot starts the tag.
    EXPECT_EQ(HelpTagOfLanguageFile("My_Kelvane_Spanish.lng"), "Spanish");
    // The first dot ends the scan; underscores after it do not count.
    EXPECT_EQ(HelpTagOfLanguageFile("Kelvane_German.v2_old.lng"), "German");
    // Folders do not count, only the file name.
    EXPECT_EQ(HelpTagOfLanguageFile("/home/a_b/lang.ini"), "");
    EXPECT_EQ(HelpTagOfLanguageFile("/home/a_b.c/German"), "");
}

TEST(HelpFile, NamesWithoutUnderscoreOrDotHaveNoTag) {
    EXPECT_EQ(HelpTagOfLanguageFile(""), "");
    EXPECT_EQ(HelpTagOfLanguageFile("German.lng"), "");
    EXPECT_EQ(HelpTagOfLanguageFile("Kelvane_German"), "");
    EXPECT_EQ(HelpTagOfLanguageFile("Kelvane_.lng"), "");
    EXPECT_EQ(HelpTagOfLanguageFile("Kelvane_German/"), "");
    // A dot before the underscore ends the scan first.
    EXPECT_EQ(HelpTagOfLanguageFile(".Kelvane_German"), "");
}

TEST(HelpFile, GermanLanguageFileOpensTheGermanPageOnlyWhenItExists) {
    TempDir dir;
    const std::string lang = dir.Sub("Kelvane_German.lng");
    dir.WriteFile("Kelvane_German.lng", "FrmMain.m_BTNShred=\"Vernichten\"\n");

    // Without the German page: the English one, whether or not that exists.
    EXPECT_EQ(ChooseHelpFile(dir.Path(), lang), dir.Sub("Kelvane_English.html"));

    dir.WriteFile("Kelvane_German.html", "<html></html>");
    EXPECT_EQ(ChooseHelpFile(dir.Path(), lang), dir.Sub("Kelvane_German.html"));

    // The same name held as a bare file name selects the same page.
    EXPECT_EQ(ChooseHelpFile(dir.Path(), "Kelvane_German.lng"), dir.Sub("Kelvane_German.html"));
}

TEST(HelpFile, FallsBackToEnglishForFoldersMissingTagsAndNoLanguage) {
    TempDir dir;
    dir.WriteFile("Kelvane_English.html", "<html></html>");
    // A folder of the page's name is no page.
    dir.MakeDir("Kelvane_French.html");
    EXPECT_EQ(ChooseHelpFile(dir.Path(), "Kelvane_French.lng"), dir.Sub("Kelvane_English.html"));
    // No language file in use, and names that carry no tag.
    EXPECT_EQ(ChooseHelpFile(dir.Path(), ""), dir.Sub("Kelvane_English.html"));
    EXPECT_EQ(ChooseHelpFile(dir.Path(), "German.lng"), dir.Sub("Kelvane_English.html"));
    EXPECT_EQ(ChooseHelpFile(dir.Path(), "Kelvane_German"), dir.Sub("Kelvane_English.html"));
}

TEST(HelpFile, LinkToAPageCountsAndNonUtf8FoldersSurvive) {
    TempDir dir;
    const std::string odd = "caf\xE9 dir\n/";  // Latin-1 byte, blank and newline in the folder
    dir.MakeDir("caf\xE9 dir\n");
    dir.WriteFile("caf\xE9 dir\n/real.html", "x");
    ASSERT_EQ(::symlink((dir.Path() + odd + "real.html").c_str(),
                        (dir.Path() + odd + "Kelvane_Italian.html").c_str()),
              0);
    EXPECT_EQ(ChooseHelpFile(dir.Path() + odd, "Kelvane_Italian.lng"),
              dir.Path() + odd + "Kelvane_Italian.html");
    // A dangling link is no page.
    ASSERT_EQ(
        ::symlink((dir.Path() + "gone").c_str(), (dir.Path() + odd + "Kelvane_Dutch.html").c_str()),
        0);
    EXPECT_EQ(ChooseHelpFile(dir.Path() + odd, "Kelvane_Dutch.lng"),
              dir.Path() + odd + "Kelvane_English.html");
}
