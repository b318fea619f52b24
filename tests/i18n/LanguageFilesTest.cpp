// The language files that ship with the program, checked against the keys the
// program uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include "config/ProfileFile.h"
#include "i18n/LanguageKeys.h"
#include "i18n/LanguageList.h"
#include "i18n/SafeFormat.h"
#include "support/TempDir.h"

namespace {

const std::string kDataDir = KELVANE_DATA_DIR "/";

std::vector<std::string> ShippedLanguageFiles() {
    LanguageList list;
    EXPECT_TRUE(list.Load(kDataDir + LanguageList::kFileName));
    std::vector<std::string> files;
    for (const auto& e : list.Entries()) files.push_back(e.file);
    return files;
}

std::string HintOf(const std::string& text) {
    size_t tab = text.find('\t');
    return tab == std::string::npos ? std::string() : text.substr(tab + 1);
}

// Every "Key=" at a line start of a plain-form file.
std::vector<std::string> KeysInFile(const std::string& path) {
    std::vector<std::string> keys;
    const std::string text = ReadWholeFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t eq = line.find("=\"");
        if (eq != std::string::npos) keys.push_back(line.substr(0, eq));
        start = end + 1;
    }
    return keys;
}

}  // namespace

TEST(LanguageKeys, EveryKeyIsKnownOnceWithItsText) {
    std::set<std::string_view> seen;
    for (const LanguageKey& k : AllLanguageKeys()) {
        EXPECT_TRUE(seen.insert(k.key).second) << "twice: " << k.key;
        EXPECT_FALSE(k.text.empty()) << k.key;
    }
    EXPECT_EQ(BuiltInText("FrmMain.m_acMShreddingDisk"), "Shredding free drive space: ");
    EXPECT_EQ(BuiltInText("FrmMain.MenLog"), "&View log\tCtrl+L");
    EXPECT_EQ(BuiltInText("FrmMain.m_CBBEndAction2"), "Do nothing");
    EXPECT_EQ(BuiltInText("FrmMain.NoSuchKey"), "");
    auto count = [](std::string_view prefix) {
        return std::count_if(AllLanguageKeys().begin(), AllLanguageKeys().end(),
                             [&](const LanguageKey& k) { return k.key.starts_with(prefix); });
    };
    EXPECT_EQ(count("FrmLanguage."), 4);
    EXPECT_EQ(count("FrmDrive."), 15);
    EXPECT_EQ(count("FrmOptions."), 29);
    EXPECT_EQ(count("FrmSummary."), 46);
}

TEST(LanguageKeys, EveryKeyNamedInTheSourcesIsKnown) {
    // A key typed into a window's code but missing here would show no translation.
    const std::filesystem::path src = std::filesystem::path(KELVANE_DATA_DIR).parent_path() / "src";
    const std::regex keyPattern(
        R"re("(Frm(Main|Language|Drive|Options|About|LogView|Summary)\.[A-Za-z0-9_]+)")re");
    int found = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        if (entry.path().stem() == "LanguageKeys") continue;  // the table itself
        const std::string text = ReadWholeFile(entry.path().string());
        for (std::sregex_iterator it(text.begin(), text.end(), keyPattern), end; it != end; ++it) {
            const std::string key = (*it)[1];
            ++found;
            EXPECT_FALSE(BuiltInText(key).empty()) << key << " in " << entry.path();
        }
    }
    EXPECT_GT(found, 0);  // the scan looked at real sources
}

TEST(ShippedLanguageFiles, HoldEveryKeyWithTheSameSpecifiersAndHints) {
    const auto files = ShippedLanguageFiles();
    ASSERT_GE(files.size(), 3u);
    for (const std::string name :
         {"Kelvane_English.lng", "Kelvane_German.lng", "Kelvane_French.lng"})
        EXPECT_NE(std::find(files.begin(), files.end(), name), files.end()) << name;

    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ProfileFile doc(false);
        ASSERT_TRUE(doc.Load(kDataDir + file));
        for (const LanguageKey& k : AllLanguageKeys()) {
            const std::string english(k.text);
            const std::string text = doc.GetString(k.key, "");
            EXPECT_FALSE(text.empty()) << "missing: " << k.key;
            EXPECT_EQ(FormatSpecifiers(text), FormatSpecifiers(english)) << k.key << ": " << text;
            EXPECT_EQ(HintOf(text), HintOf(english)) << k.key;
            EXPECT_EQ(std::count(text.begin(), text.end(), '|'),
                      std::count(english.begin(), english.end(), '|'))
                << k.key;
            EXPECT_EQ(text.ends_with(' '), english.ends_with(' ')) << k.key;
        }
        // Nothing in the file that the program would never read.
        for (const std::string& key : KeysInFile(kDataDir + file))
            EXPECT_FALSE(BuiltInText(key).empty()) << "unknown key: " << key;
    }
}

TEST(ShippedLanguageFiles, ListNamesItsDefaultAndHelpTags) {
    LanguageList list;
    ASSERT_TRUE(list.Load(kDataDir + LanguageList::kFileName));
    const auto& entries = list.Entries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [&](const LanguageEntry& e) { return e.name == list.DefaultName(); }));
    // The help page is chosen by the tag between the last "_" and the first ".".
    std::set<std::string> tags;
    for (const auto& e : entries) {
        size_t us = e.file.rfind('_'), dot = e.file.find('.');
        ASSERT_TRUE(us != std::string::npos && dot != std::string::npos && us < dot) << e.file;
        tags.insert(e.file.substr(us + 1, dot - us - 1));
        EXPECT_TRUE(std::filesystem::is_regular_file(kDataDir + e.file)) << e.file;
    }
    EXPECT_EQ(tags, (std::set<std::string>{"English", "German", "French"}));
}

namespace {

// The captions that share one keyboard: the main window's controls with the menu
// bar, each menu, each dialog. Alt and a letter must reach exactly one of them.
const std::vector<std::vector<std::string>> kMnemonicGroups = {
    {"FrmMain.MenFile", "FrmMain.MenEdit", "FrmMain.MenView", "FrmMain.m_BTNStop",
     "FrmMain.m_BTNAdd", "FrmMain.m_BTNAddFolder", "FrmMain.m_BTNRemove", "FrmMain.m_BTNClear",
     "FrmMain.m_LBLIterations", "FrmMain.m_CHKRandom", "FrmMain.m_CHKShredNames",
     "FrmMain.m_CHKModifySize", "FrmMain.m_CHKConfirmDelete", "FrmMain.m_LBLEndAction",
     "FrmMain.m_BTNShred", "FrmMain.m_BTNShredDisk"},
    {"FrmMain.MenLog", "FrmMain.MenEnableLog", "FrmMain.MenArchiveLog", "FrmMain.MenClearLog",
     "FrmMain.MenExit"},
    {"FrmMain.MenAdd", "FrmMain.MenAddFolder", "FrmMain.MenRemove", "FrmMain.MenClear",
     "FrmMain.MenSelectAll", "FrmMain.MenInvert"},
    {"FrmMain.MenOptions", "FrmMain.MenLanguage"},
    {"FrmMain.MenHelp", "FrmMain.MenInfo", "FrmMain.MenReadMe", "FrmMain.MenLicense",
     "FrmMain.MenCheckUpdate"},
    {"FrmMain.m_acMYes", "FrmMain.m_acMYesToAll", "FrmMain.m_acMNo", "FrmMain.m_acMCancel"},
    {"FrmLanguage.m_BTNOk", "FrmLanguage.m_BTNCancel"},
    {"FrmDrive.m_CHKAllDrives", "FrmDrive.m_BTNOk", "FrmDrive.m_BTNCancel"},
    {"FrmOptions.m_LBLFileBlockSize", "FrmOptions.m_LBLSpaceBlockSize",
     "FrmOptions.m_LBLSpaceFileBlockSize", "FrmOptions.m_LBLShredValue",
     "FrmOptions.m_LBLSpaceFileName", "FrmOptions.m_CHKSpaceLeaveFiles",
     "FrmOptions.m_CHKFilesLeaveFiles", "FrmOptions.m_CHKFilesLeaveFolders",
     "FrmOptions.m_CHKIgnoreWriteProtect", "FrmOptions.m_LBLFont", "FrmOptions.m_BTNOk",
     "FrmOptions.m_BTNCancel"},
};

// The marked character of a caption (lower case, UTF-8), or "" when there is not
// exactly one "&" mark ("&&" is a plain "&").
std::string MnemonicOf(const std::string& text) {
    std::string found;
    int marks = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        ++marks;
        size_t len = 1;
        const auto lead = static_cast<unsigned char>(text[i + 1]);
        if (lead >= 0xF0)
            len = 4;
        else if (lead >= 0xE0)
            len = 3;
        else if (lead >= 0xC0)
            len = 2;
        found = text.substr(i + 1, len);
        if (len == 1) found[0] = static_cast<char>(std::tolower(lead));
    }
    return marks == 1 && found != " " && found != "\t" ? found : std::string();
}

void ExpectUniqueMnemonics(const std::function<std::string(const std::string&)>& textOf) {
    for (const auto& group : kMnemonicGroups) {
        std::map<std::string, std::string> owner;
        for (const std::string& key : group) {
            const std::string text = textOf(key);
            const std::string m = MnemonicOf(text);
            EXPECT_FALSE(m.empty()) << key << ": " << text;
            if (m.empty()) continue;
            auto [it, fresh] = owner.emplace(m, key);
            EXPECT_TRUE(fresh) << "'" << m << "' of " << key << " also marks " << it->second;
        }
    }
}

}  // namespace

TEST(Mnemonics, EveryMenuAndDialogHasOneUniqueMarkPerCaption) {
    EXPECT_EQ(MnemonicOf("&Abbrechen"), "a");
    EXPECT_EQ(MnemonicOf("Save && &quit"), "q");
    EXPECT_EQ(MnemonicOf("A&&B"), "");
    EXPECT_EQ(MnemonicOf("&a&b"), "");
    EXPECT_EQ(MnemonicOf("\xC3\x84&\xC3\x84nderungen"), "\xC3\x84");
    {
        SCOPED_TRACE("built-in texts");
        ExpectUniqueMnemonics([](const std::string& key) { return std::string(BuiltInText(key)); });
    }
    for (const std::string& file : ShippedLanguageFiles()) {
        SCOPED_TRACE(file);
        ProfileFile doc(false);
        ASSERT_TRUE(doc.Load(kDataDir + file));
        ExpectUniqueMnemonics([&](const std::string& key) { return doc.GetString(key, ""); });
    }
}
