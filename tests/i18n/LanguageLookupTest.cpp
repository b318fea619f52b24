#include <gtest/gtest.h>

#include "config/TextConv.h"
#include "i18n/LanguageChoices.h"
#include "i18n/LanguageList.h"
#include "i18n/LanguageLocale.h"
#include "i18n/LanguageTexts.h"
#include "i18n/SafeFormat.h"
#include "support/TempDir.h"

TEST(LanguageTexts, MissingOrEmptyKeysGiveTheBuiltInText) {
    TempDir dir;
    dir.WriteFile("One.lng", "FrmMain.m_BTNShred=\"Vernichten\"\r\n");
    LanguageTexts one(dir.Sub("One.lng"));
    EXPECT_EQ(one.Text("FrmMain.m_BTNShred"), "Vernichten");
    EXPECT_EQ(one.Text("FrmMain.m_BTNShredDisk"), "Shred free s&pace");
    EXPECT_EQ(one.Text("FrmMain.MenExit"), "E&xit\tCtrl+Q");

    dir.WriteFile("Empty.lng", "FrmMain.m_BTNStop=\"\"\r\nFrmMain.m_BTNAdd=\"Plus\"\r\n");
    LanguageTexts empty(dir.Sub("Empty.lng"));
    EXPECT_EQ(empty.Text("FrmMain.m_BTNStop"), "S&top");
    EXPECT_EQ(empty.Text("FrmMain.m_BTNAdd"), "Plus");
    // "m_BTNAdd" is the start of "m_BTNAddFolder", yet it is another key.
    EXPECT_EQ(empty.Text("FrmMain.m_BTNAddFolder"), "Add f&older");

    for (const std::string& path : {dir.Sub("missing.lng"), std::string(), dir.Path()}) {
        LanguageTexts none(path);
        EXPECT_EQ(none.Text("FrmMain.m_LISFiles0"), "Filename") << path;
        EXPECT_EQ(none.Text("FrmMain.m_acMShreddingDisk"), "Shredding free drive space: ");
    }
    LanguageTexts builtIn;
    EXPECT_EQ(builtIn.Text("FrmLanguage.Caption"), "Select language");
}

TEST(LanguageTexts, AccentedTextsReachTheWindowAsUtf16) {
    TempDir dir;
    dir.WriteFile(
        "Fr.lng",
        "\xef\xbb\xbf"  // a byte-order mark from an editor does no harm
        "FrmMain.m_CHKRandom=\"\xc3\x89\x63rire des donn\xc3\xa9\x65s al\xc3\xa9\x61toires\"\r\n"
        "FrmMain.m_LISFiles1=\"Gr\xc3\xb6\xc3\x9f\x65\"\r\n"
        "FrmMain.m_acMNoFile=\"\xe6\x97\xa0\xe6\x96\x87\xe4\xbb\xb6\"\r\n");
    LanguageTexts fr(dir.Sub("Fr.lng"));
    EXPECT_EQ(fr.WText("FrmMain.m_CHKRandom"), u"\u00c9crire des donn\u00e9es al\u00e9atoires");
    EXPECT_EQ(fr.WText("FrmMain.m_LISFiles1"), u"Gr\u00f6\u00dfe");
    EXPECT_EQ(fr.WText("FrmMain.m_acMNoFile"), u"\u65e0\u6587\u4ef6");

    const auto messages = fr.MessageTexts();
    EXPECT_EQ(messages.at("FrmMain.m_acMNoFile"), "\xe6\x97\xa0\xe6\x96\x87\xe4\xbb\xb6");
    EXPECT_EQ(messages.at("FrmMain.m_acMConfirm"), "Confirm");
    EXPECT_EQ(messages.count("FrmMain.m_BTNShred"), 0u);
    EXPECT_EQ(messages.size(), 59u);
}

TEST(LanguageTexts, HostileFormatTextsAreFilledSafely) {
    TempDir dir;
    dir.WriteFile("Bad.lng",
                  "FrmMain.m_acMDeleteFile=\"Shred %s%s%s now? %n\"\r\n"
                  "FrmMain.m_acMAmountOfFile=\"%s files, %d%%\"\r\n");
    LanguageTexts bad(dir.Sub("Bad.lng"));
    EXPECT_EQ(SafeFormat(bad.Text("FrmMain.m_acMDeleteFile"), {u"/tmp/a b"}),
              u"Shred /tmp/a b%s%s now? %n");
    EXPECT_EQ(SafeFormat(bad.Text("FrmMain.m_acMAmountOfFile"), {12}), u"12 files, %d%");
    EXPECT_EQ(FormatSpecifiers("Shred %s%s%s now? %n"),
              (std::vector<std::string>{"%s", "%s", "%s", "%n"}));
    EXPECT_EQ(FormatSpecifiers("%04d-%02d 100%% %-3s %"),
              (std::vector<std::string>{"%04d", "%02d", "%-3s", "%"}));
    EXPECT_TRUE(FormatSpecifiers("no specifiers, 50%% off").empty());
}

namespace {
void WriteList(const TempDir& dir, const std::string& body) {
    dir.WriteFile(LanguageList::kFileName, body);
}
}  // namespace

TEST(LanguageList, PicksByNameTheWayStartUpNeeds) {
    TempDir dir;
    // No list at all: the built-in texts.
    EXPECT_EQ(PickLanguageByName(dir.Path(), "").kind, LanguagePick::Kind::BuiltIn);
    EXPECT_EQ(PickLanguageByName(dir.Path(), "Deutsch").kind, LanguagePick::Kind::BuiltIn);

    WriteList(dir,
              "LanguageDefault=\"Deutsch\"\r\n"
              "LanguageName=\"English\"\r\nLanguageFile=\"Kelvane_English.lng\"\r\n"
              "LanguageName=\"Deutsch\"\r\nLanguageFile=\"Kelvane_German.lng\"\r\n"
              "LanguageName=\"Fran\xc3\xa7\x61is\"\r\nLanguageFile=\"Kelvane_French.lng\"\r\n");
    LanguagePick def = PickLanguageByName(dir.Path(), "");
    EXPECT_EQ(def.kind, LanguagePick::Kind::Found);
    EXPECT_EQ(def.name, "Deutsch");
    EXPECT_EQ(def.file, dir.Path() + "Kelvane_German.lng");
    LanguagePick fr = PickLanguageByName(dir.Path(), "Fran\xc3\xa7\x61is");
    EXPECT_EQ(fr.kind, LanguagePick::Kind::Found);
    EXPECT_EQ(fr.file, dir.Path() + "Kelvane_French.lng");
    // Exact names only.
    EXPECT_EQ(PickLanguageByName(dir.Path(), "deutsch").kind, LanguagePick::Kind::NotFound);
    EXPECT_EQ(PickLanguageByName(dir.Path(), "Deutsc").kind, LanguagePick::Kind::NotFound);
    EXPECT_EQ(PickLanguageByName(dir.Path(), "Klingon").kind, LanguagePick::Kind::NotFound);

    // A list that names neither its default nor the stored name changes nothing.
    WriteList(dir,
              "LanguageDefault=\"Esperanto\"\r\n"
              "LanguageName=\"English\"\r\nLanguageFile=\"Kelvane_English.lng\"\r\n");
    EXPECT_EQ(PickLanguageByName(dir.Path(), "").kind, LanguagePick::Kind::NotFound);
    EXPECT_EQ(PickLanguageByName(dir.Path(), "Deutsch").kind, LanguagePick::Kind::NotFound);
}

TEST(LanguageList, WalkEndsAtTheFirstIncompletePair) {
    TempDir dir;
    WriteList(dir,
              "LanguageDefault=\"English\"\r\n"
              "LanguageName=\"English\"\r\nLanguageFile=\"Kelvane_English.lng\"\r\n"
              "LanguageName=\"Deutsch\"\r\nLanguageFile=\"\"\r\n"
              "LanguageName=\"Fran\xc3\xa7\x61is\"\r\nLanguageFile=\"Kelvane_French.lng\"\r\n");
    LanguageList list;
    ASSERT_TRUE(list.Load(dir.Sub(LanguageList::kFileName)));
    ASSERT_EQ(list.Entries().size(), 1u);
    EXPECT_EQ(list.Entries()[0].name, "English");
    EXPECT_EQ(PickLanguageByName(dir.Path(), "Fran\xc3\xa7\x61is").kind,
              LanguagePick::Kind::NotFound);

    // The second entry has no file line at all.
    WriteList(dir,
              "LanguageName=\"English\"\r\nLanguageFile=\"Kelvane_English.lng\"\r\n"
              "LanguageName=\"Deutsch\"\r\n");
    ASSERT_TRUE(list.Load(dir.Sub(LanguageList::kFileName)));
    EXPECT_EQ(list.Entries().size(), 1u);
    EXPECT_EQ(list.DefaultName(), "");

    // Garbage, an empty file and a folder in place of the list.
    WriteList(dir, "\x01\x02 not a list \"\"\"");
    EXPECT_TRUE(list.Load(dir.Sub(LanguageList::kFileName)));
    EXPECT_TRUE(list.Entries().empty());
    WriteList(dir, "");
    EXPECT_FALSE(list.Load(dir.Sub(LanguageList::kFileName)));
    EXPECT_EQ(PickLanguageByName(dir.Path(), "").kind, LanguagePick::Kind::BuiltIn);
    TempDir other;
    other.MakeDir(LanguageList::kFileName);
    EXPECT_EQ(PickLanguageByName(other.Path(), "").kind, LanguagePick::Kind::BuiltIn);
}

TEST(LanguageChoices, OffersBuiltInEnglishUnlessTheListHasItsOwn) {
    TempDir dir;
    const std::string listPath = dir.Sub(LanguageList::kFileName);
    LanguageChoices none;
    none.Build(listPath, dir.Path(), "");
    EXPECT_EQ(none.Names(), std::vector<std::string>{"English"});
    EXPECT_EQ(none.FileAt(0), "");
    EXPECT_EQ(none.Selected(), 0);

    WriteList(dir,
              "LanguageName=\"Deutsch\"\r\nLanguageFile=\"Kelvane_German.lng\"\r\n"
              "LanguageName=\"Fran\xc3\xa7\x61is\"\r\nLanguageFile=\"Kelvane_French.lng\"\r\n");
    LanguageChoices builtIn;
    builtIn.Build(listPath, dir.Path(), dir.Path() + "Kelvane_French.lng");
    EXPECT_EQ(builtIn.Names(),
              (std::vector<std::string>{"English", "Deutsch", "Fran\xc3\xa7\x61is"}));
    EXPECT_EQ(builtIn.Selected(), 2);
    EXPECT_EQ(builtIn.FileAt(0), "");
    EXPECT_EQ(builtIn.FileAt(1), dir.Path() + "Kelvane_German.lng");
    EXPECT_EQ(builtIn.Files().RowCount(), 3);

    WriteList(dir,
              "LanguageName=\"Deutsch\"\r\nLanguageFile=\"Kelvane_German.lng\"\r\n"
              "LanguageName=\"English\"\r\nLanguageFile=\"Kelvane_English.lng\"\r\n");
    LanguageChoices own;
    own.Build(listPath, dir.Path(), dir.Path() + "Kelvane_English.lng");
    EXPECT_EQ(own.Names(), (std::vector<std::string>{"Deutsch", "English"}));
    EXPECT_EQ(own.Selected(), 1);
    EXPECT_EQ(own.FileAt(1), dir.Path() + "Kelvane_English.lng");
    EXPECT_EQ(own.Files().RowCount(), 2);
    // The built-in texts were in use: the first entry is pre-selected.
    LanguageChoices fromBuiltIn;
    fromBuiltIn.Build(listPath, dir.Path(), "");
    EXPECT_EQ(fromBuiltIn.Selected(), 0);
    EXPECT_EQ(fromBuiltIn.Names().size(), 2u);
}

TEST(LanguageLocale, ComesFromTheTagOfTheFileName) {
    EXPECT_EQ(LocaleOfLanguageFile("/opt/k/Kelvane_German.lng"), "de");
    EXPECT_EQ(LocaleOfLanguageFile("Kelvane_French.lng"), "fr");
    EXPECT_EQ(LocaleOfLanguageFile("/x_y/Kelvane_English.lng"), "en");
    EXPECT_EQ(LocaleOfLanguageFile(""), "") << "built-in texts";
    EXPECT_EQ(LocaleOfLanguageFile("/x/Kelvane_Klingon.lng"), "");
    EXPECT_EQ(LocaleOfLanguageFile("/x/German"), "");
}
