#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/TextConv.h"
#include "i18n/LanguageTexts.h"
#include "support/TempDir.h"

namespace {

const std::string kDataDir = std::string(KELVANE_DATA_DIR) + "/";
const std::vector<std::string> kHelpPages = {"Kelvane_English.html", "Kelvane_German.html",
                                             "Kelvane_French.html"};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool IsValidUtf8(const std::string& bytes) {
    // Our conversion maps every invalid byte to U+DC80..U+DCFF.
    for (char16_t u : WideFromUtf8(bytes))
        if (u >= 0xDC80 && u <= 0xDCFF) return false;
    return true;
}

}  // namespace

TEST(Documents, LicenceIsMitForKelvane) {
    const std::string text = ReadWholeFile(kDataDir + "Kelvane_License.txt");
    EXPECT_NE(text.find("MIT License"), std::string::npos);
    EXPECT_NE(text.find("Kelvane"), std::string::npos);
    EXPECT_NE(text.find("WITHOUT WARRANTY OF ANY KIND"), std::string::npos);
}

TEST(Documents, ReadMeExplainsUseCommandLineAndChanges) {
    const std::string text = ReadWholeFile(kDataDir + "Kelvane_ReadMe.txt");
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(IsValidUtf8(text));
    for (const char* must : {"Version 2.211 (26.01.2018)", "How to use it", "List of changes",
                             "kelvane [-exec | -drives] paths...", "Shred files",
                             "Shred free space", "SavePath.ini", "Kelvane.ini"})
        EXPECT_NE(text.find(must), std::string::npos) << must;
}

TEST(Documents, HelpPagesAreWellFormedAndCoverEveryWindowOptionAndSwitch) {
    // Every page names the controls by their English texts (the translations put
    // them in parentheses), so a user of any language finds each of them.
    const std::vector<std::string> mustName = {
        // main window and menus
        "Add folder", "Remove", "Clear", "Number of iterations", "Random data writing",
        "Shred filenames", "Modify filesize", "Confirm delete", "After processing:", "Shred files",
        "Shred free space", "Stop", "Enable log", "Archive log", "Clear log", "Remove selected",
        "Select all", "Invert selection", "Language", "License", "Changes", "Check for update",
        "Info",
        // drive dialog and confirmation box
        "Use all drives", "Free size [MB]", "Yes to all",
        // options dialog
        "Shredding value", "Disk shred file-name", "Do not delete disk shredding files",
        "Do not delete shredded files", "Do not delete folders", "Ignore write protection",
        "102400", "524288", "1073741824", "Morvik.$$$temp$$$",
        // command line and files
        "-exec", "-drives", "SavePath.ini", "KelvaneLog.txt", "Kelvane.ini"};
    for (const auto& page : kHelpPages) {
        SCOPED_TRACE(page);
        const std::string html = ReadWholeFile(kDataDir + page);
        ASSERT_FALSE(html.empty());
        EXPECT_TRUE(IsValidUtf8(html));
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_EQ(html.rfind("</html>"), html.size() - 8);
        for (const char* tag : {"table", "tr", "ul", "ol", "h2", "p", "pre"})
            EXPECT_EQ(Count(html, std::string("<") + tag + ">") +
                          Count(html, std::string("<") + tag + " "),
                      Count(html, std::string("</") + tag + ">"))
                << tag;
        // Every in-page link has its target.
        for (size_t at = html.find("href=\"#"); at != std::string::npos;
             at = html.find("href=\"#", at + 1)) {
            size_t end = html.find('"', at + 7);
            const std::string id = html.substr(at + 7, end - at - 7);
            EXPECT_NE(html.find("id=\"" + id + "\""), std::string::npos) << id;
        }
        for (const auto& word : mustName) EXPECT_TRUE(html.find(word) != std::string::npos) << word;
    }
}

#ifdef KELVANE_EXE
TEST(Documents, BuildPutsTheDocumentsNextToTheProgram) {
    std::string exe = KELVANE_EXE;
    const std::string folder = exe.substr(0, exe.find_last_of('/') + 1);
    std::vector<std::string> all = kHelpPages;
    all.push_back("Kelvane_License.txt");
    all.push_back("Kelvane_ReadMe.txt");
    for (const auto& name : all) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(PathExists(folder + name));
        EXPECT_EQ(ReadWholeFile(folder + name), ReadWholeFile(kDataDir + name));
    }
}
#endif

TEST(Documents, EachHelpPageUsesTheCaptionsOfItsLanguageFile) {
    // What a user reads on the screen must be findable on the page of that language.
    const std::vector<std::string> keys = {"FrmMain.m_BTNStop",
                                           "FrmMain.m_BTNAdd",
                                           "FrmMain.m_BTNAddFolder",
                                           "FrmMain.m_BTNRemove",
                                           "FrmMain.m_BTNClear",
                                           "FrmMain.m_LBLIterations",
                                           "FrmMain.m_CHKRandom",
                                           "FrmMain.m_CHKShredNames",
                                           "FrmMain.m_CHKModifySize",
                                           "FrmMain.m_CHKConfirmDelete",
                                           "FrmMain.m_LBLEndAction",
                                           "FrmMain.m_CBBEndAction0",
                                           "FrmMain.m_CBBEndAction1",
                                           "FrmMain.m_CBBEndAction2",
                                           "FrmMain.m_CBBModifySize0",
                                           "FrmMain.m_CBBModifySize1",
                                           "FrmMain.m_BTNShred",
                                           "FrmMain.m_BTNShredDisk",
                                           "FrmMain.m_acMYes",
                                           "FrmMain.m_acMNo",
                                           "FrmMain.m_acMYesToAll",
                                           "FrmMain.m_acMCancel",
                                           "FrmMain.MenFile",
                                           "FrmMain.MenLog",
                                           "FrmMain.MenEnableLog",
                                           "FrmMain.MenArchiveLog",
                                           "FrmMain.MenClearLog",
                                           "FrmMain.MenExit",
                                           "FrmMain.MenEdit",
                                           "FrmMain.MenAdd",
                                           "FrmMain.MenAddFolder",
                                           "FrmMain.MenAddTrash",
                                           "FrmMain.MenRemove",
                                           "FrmMain.MenClear",
                                           "FrmMain.MenSelectAll",
                                           "FrmMain.MenInvert",
                                           "FrmMain.MenView",
                                           "FrmMain.MenOptions",
                                           "FrmMain.MenLanguage",
                                           "FrmMain.MenHelp",
                                           "FrmMain.MenInfo",
                                           "FrmMain.MenReadMe",
                                           "FrmMain.MenLicense",
                                           "FrmMain.MenCheckUpdate",
                                           "FrmLanguage.Caption",
                                           "FrmLanguage.m_LBLCurrentLanguage",
                                           "FrmDrive.Caption",
                                           "FrmDrive.m_LISDrives0",
                                           "FrmDrive.m_LISDrives1",
                                           "FrmDrive.m_LISDrives2",
                                           "FrmDrive.m_CHKAllDrives",
                                           "FrmDrive.m_LBLSelectDrive",
                                           "FrmOptions.Caption",
                                           "FrmOptions.m_LBLFileBlockSize",
                                           "FrmOptions.m_LBLSpaceBlockSize",
                                           "FrmOptions.m_LBLSpaceFileBlockSize",
                                           "FrmOptions.m_LBLShredValue",
                                           "FrmOptions.m_LBLSpaceFileName",
                                           "FrmOptions.m_CHKSpaceLeaveFiles",
                                           "FrmOptions.m_CHKFilesLeaveFiles",
                                           "FrmOptions.m_CHKFilesLeaveFolders",
                                           "FrmOptions.m_CHKIgnoreWriteProtect",
                                           "FrmOptions.m_LBLFont",
                                           "FrmOptions.m_BTNCancel"};
    for (const char* tag : {"English", "German", "French"}) {
        SCOPED_TRACE(tag);
        const std::string lng = kDataDir + "Kelvane_" + tag + ".lng";
        ASSERT_TRUE(PathExists(lng));
        LanguageTexts texts(lng);
        const std::string html = ReadWholeFile(kDataDir + "Kelvane_" + tag + ".html");
        for (const auto& key : keys) {
            std::string caption = texts.Text(key);
            // The menu's accelerator hint is not part of the caption.
            caption = caption.substr(0, caption.find('\t'));
            // Nor is the mark of its mnemonic letter ("&&" stands for "&").
            std::string shown;
            for (size_t i = 0; i < caption.size(); ++i) {
                if (caption[i] == '&' && i + 1 < caption.size()) ++i;
                shown += caption[i];
            }
            caption = shown;
            // HTML spells the apostrophe and "&" as they stand, "<" as an entity.
            EXPECT_TRUE(html.find(caption) != std::string::npos) << key << " = " << caption;
        }
    }
}
