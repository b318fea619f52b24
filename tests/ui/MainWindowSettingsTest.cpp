#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QPushButton>
#include <QTimer>

#include "config/SettingsFile.h"
#include "engine/FillRecord.h"
#include "engine/FillerRecovery.h"
#include "support/TestText.h"
#include "ui/FontHolder.h"
#include "ui/MainWindowFixture.h"
#include "ui/OptionsDlg.h"

namespace {

bool Checked(CKelvaneDlg& d, int id) {
    return static_cast<QCheckBox*>(d.Control(id))->isChecked();
}
QComboBox* Combo(CKelvaneDlg& d, int id) {
    return static_cast<QComboBox*>(d.Control(id));
}

}  // namespace

class MainWindowSettings : public MainWindowFixture {
  protected:
    void WriteSettings(const std::string& body) {
        dir_.MakeDir("home/.config");
        dir_.MakeDir("home/.config/Tessarin");
        dir_.MakeDir("home/.config/Tessarin/Kelvane");
        dir_.WriteFile("home/.config/Tessarin/Kelvane/Kelvane.ini", SettingsXml(body));
    }
};

TEST_F(MainWindowSettings, FirstStartShowsTheDefaults) {
    auto dlg = Open();
    EXPECT_TRUE(Checked(*dlg, 1005));
    EXPECT_TRUE(Checked(*dlg, 1018));
    EXPECT_TRUE(Checked(*dlg, 1010));
    EXPECT_FALSE(Checked(*dlg, 1022));
    EXPECT_FALSE(dlg->Control(1025)->isEnabled());
    EXPECT_EQ(Combo(*dlg, 1049)->currentIndex(), 0);
    EXPECT_EQ(Combo(*dlg, 1049)->currentText(), "Do nothing");
    EXPECT_EQ(Combo(*dlg, 1008)->currentText(), "5");
    EXPECT_TRUE(dlg->MenuAction(32790)->isChecked());
    EXPECT_TRUE(dlg->MenuAction(32793)->isChecked());
    EXPECT_EQ(dlg->Fields().shredBlockSize, 102400u);
    EXPECT_EQ(dlg->Fields().diskShredBlockSize, 524288u);
    EXPECT_EQ(dlg->Fields().diskShredFileSize, 1073741824u);
    EXPECT_EQ(dlg->Fields().diskShredFileName, "Morvik.$$$temp$$$");
    EXPECT_TRUE(dlg->NoLanguageChosen());
    // The run sees the same.
    AppSettings now = dlg->CurrentSettings();
    EXPECT_EQ(now.random, 1);
    EXPECT_EQ(now.iterations, 5);
    EXPECT_EQ(now.endAction, 0);
}

TEST_F(MainWindowSettings, StoredValuesReachTheControls) {
    WriteSettings(SettingsEntry("Random", "0") + SettingsEntry("EndAction", "2") +
                  SettingsEntry("ShredNames", "0") + SettingsEntry("Confirm", "0") +
                  SettingsEntry("ModifySize", "1") + SettingsEntry("ModifySizeType", "1") +
                  SettingsEntry("EnableLog", "2") + SettingsEntry("ArchiveLog", "0") +
                  SettingsEntry("Iterations", "300") + SettingsEntry("ShredBlockSize", "-1") +
                  SettingsEntry("ShredValue", "0xAA") + SettingsEntry("LanguageName", "Deutsch") +
                  SettingsEntry("WinPos", "30;40;760;580"));
    auto dlg = Open();
    EXPECT_FALSE(Checked(*dlg, 1005));
    EXPECT_FALSE(Checked(*dlg, 1018));
    EXPECT_FALSE(Checked(*dlg, 1010));
    EXPECT_TRUE(Checked(*dlg, 1022));
    EXPECT_TRUE(dlg->Control(1025)->isEnabled());
    EXPECT_EQ(Combo(*dlg, 1025)->currentIndex(), 1);
    EXPECT_EQ(Combo(*dlg, 1049)->currentIndex(), 2);
    EXPECT_EQ(Combo(*dlg, 1008)->currentText(), "300") << "300 is not in the list but allowed";
    EXPECT_FALSE(dlg->MenuAction(32790)->isChecked()) << "2 is not 1: logging off";
    EXPECT_FALSE(dlg->MenuAction(32793)->isChecked());
    EXPECT_EQ(dlg->Fields().shredBlockSize, 4294967295u);
    EXPECT_EQ(dlg->Fields().shredValue, "0xAA");
    EXPECT_FALSE(dlg->NoLanguageChosen());
    EXPECT_EQ(dlg->LanguageName(), "Deutsch");
    EXPECT_EQ(dlg->frameGeometry(), QRect(30, 40, 730, 540))
        << "whole on the screen (800 x 600): kept as stored";

    dlg->close();
    LoadedSettings s = LoadSettings(SettingsFile());
    EXPECT_EQ(s.values.enableLog, 0) << "saved as 0";
    EXPECT_EQ(s.values.archiveLog, 0);
    EXPECT_EQ(s.values.iterations, 300);
    EXPECT_EQ(s.values.endAction, 2);
    EXPECT_EQ(s.values.modifySizeType, 1);
    EXPECT_EQ(s.values.shredBlockSize, 4294967295u);
    EXPECT_EQ(s.values.languageName, "Deutsch");
    EXPECT_EQ(s.values.winPos, "30;40;760;580");
}

TEST_F(MainWindowSettings, OutOfRangeIndexesLeaveNoSelection) {
    WriteSettings(SettingsEntry("EndAction", "7") + SettingsEntry("ModifySizeType", "-1") +
                  SettingsEntry("Iterations", "word") + SettingsEntry("Random", "2"));
    auto dlg = Open();
    EXPECT_EQ(Combo(*dlg, 1049)->currentIndex(), -1);
    EXPECT_EQ(Combo(*dlg, 1025)->currentIndex(), -1);
    EXPECT_EQ(Combo(*dlg, 1008)->currentText(), "3");
    EXPECT_TRUE(Checked(*dlg, 1005)) << "a state other than cleared shows ticked";
    dlg->close();
    LoadedSettings s = LoadSettings(SettingsFile());
    EXPECT_EQ(s.values.endAction, -1) << "no selection writes -1";
    EXPECT_EQ(s.values.random, 1);
}

TEST_F(MainWindowSettings, MaximizedAndMinimizedPositions) {
    WriteSettings(SettingsEntry("WinPos", "MAX"));
    {
        auto dlg = Open();
        EXPECT_TRUE(dlg->windowState() & Qt::WindowMaximized);
        dlg->close();
        EXPECT_EQ(LoadSettings(SettingsFile()).values.winPos, "MAX");
    }
    WriteSettings(SettingsEntry("WinPos", "50;60;750;560"));
    {
        auto dlg = Open();
        const QRect normal = dlg->frameGeometry();
        EXPECT_EQ(normal, QRect(50, 60, 700, 500));
        dlg->setWindowState(Qt::WindowMinimized);
        QApplication::processEvents();
        dlg->close();
        EXPECT_EQ(LoadSettings(SettingsFile()).values.winPos, "50;60;750;560")
            << "a minimized window stores its restored rectangle";
    }
}

TEST_F(MainWindowSettings, BadPositionsLeaveTheWindowWhereItIs) {
    QSize start;
    {
        auto dlg = Open();
        start = dlg->size();
    }
    for (const char* bad :
         {"-5;10;700;500", "10;-5;700;500", "10;10;10;500", "10;10;700", "x;y;z;w"}) {
        SCOPED_TRACE(bad);
        WriteSettings(SettingsEntry("WinPos", bad));
        auto dlg = Open();
        EXPECT_EQ(dlg->size(), start);
        EXPECT_FALSE(dlg->windowState() & Qt::WindowMaximized);
    }
}

TEST_F(MainWindowSettings, FontKeysFollowTheFontFlags) {
    // Font settings on, height on: the stored height and face are used.
    WriteSettings(SettingsEntry("UseFontSettings", "1") + SettingsEntry("UseFontHeight", "1") +
                  SettingsEntry("FontDefName", "DejaVu Sans") +
                  SettingsEntry("FontDefCharset", "238") + SettingsEntry("FontDefHeight", "-19") +
                  SettingsEntry("FontDefPitch", "34"));
    {
        auto dlg = Open();
        EXPECT_EQ(dlg->Fonts().FaceName(), "DejaVu Sans");
        EXPECT_EQ(dlg->Fonts().Charset(), 238);
        EXPECT_EQ(dlg->Fonts().Height(), -19);
        EXPECT_EQ(dlg->Fonts().PitchAndFamily(), 34);
        EXPECT_EQ(QFontInfo(dlg->Control(1001)->font()).pixelSize(), 19);
        dlg->close();
        LoadedSettings s = LoadSettings(SettingsFile());
        EXPECT_EQ(s.values.fontDefName, "DejaVu Sans");
        EXPECT_EQ(s.values.fontDefCharset, 238);
        EXPECT_EQ(s.values.fontDefHeight, -19);
        EXPECT_EQ(s.values.fontDefPitch, 34);
    }
    // Height off: the stored height is read but has no effect.
    WriteSettings(SettingsEntry("UseFontSettings", "1") + SettingsEntry("UseFontHeight", "0") +
                  SettingsEntry("FontDefHeight", "-40"));
    {
        auto dlg = Open();
        EXPECT_NE(dlg->Fonts().Height(), -40);
        EXPECT_NE(QFontInfo(dlg->Control(1001)->font()).pixelSize(), 40);
    }
    // Font settings off: the four keys are not read, yet saving writes them from
    // the effective font.
    WriteSettings(SettingsEntry("UseFontSettings", "0") +
                  SettingsEntry("FontDefName", "Nonexistent Face") +
                  SettingsEntry("FontDefCharset", "77"));
    {
        auto dlg = Open();
        EXPECT_NE(dlg->Fonts().FaceName(), "Nonexistent Face");
        EXPECT_NE(dlg->Fonts().Charset(), 77);
        dlg->close();
        LoadedSettings s = LoadSettings(SettingsFile());
        EXPECT_FALSE(s.values.useFontSettings);
        EXPECT_TRUE(s.hasFontName && s.hasFontCharset && s.hasFontHeight && s.hasFontPitch);
        EXPECT_EQ(s.values.fontDefName, dlg->Fonts().FaceName().toStdString());
    }
}

TEST_F(MainWindowSettings, ASavedFileReadsBackUnchanged) {
    // Every key with a value other than its default: closing writes the same file.
    const std::string body =
        SettingsEntry("Random", "0") + SettingsEntry("ShredValue", "/tmp/pattern.bin") +
        SettingsEntry("IgnoreProtect", "1") + SettingsEntry("EndAction", "1") +
        SettingsEntry("ShredNames", "0") + SettingsEntry("Confirm", "0") +
        SettingsEntry("ModifySize", "1") + SettingsEntry("ModifySizeType", "1") +
        SettingsEntry("EnableLog", "0") + SettingsEntry("ArchiveLog", "0") +
        SettingsEntry("Iterations", "42") + SettingsEntry("ShredBlockSize", "4096") +
        SettingsEntry("DiskShredBlockSize", "65536") +
        SettingsEntry("DiskShredFileSize", "1048576") +
        SettingsEntry("DiskShredFileName", "fill.tmp") + SettingsEntry("DiskShredLeaveFiles", "1") +
        SettingsEntry("FileShredLeaveFiles", "1") + SettingsEntry("FileShredFileShred", "1") +
        SettingsEntry("KeepChosenFolders", "0") + SettingsEntry("UseBuildInFont", "0") +
        SettingsEntry("UseFontSettings", "1") + SettingsEntry("UseFontHeight", "1") +
        SettingsEntry("FontDefName", "DejaVu Sans") + SettingsEntry("FontDefCharset", "0") +
        SettingsEntry("FontDefHeight", "-14") + SettingsEntry("FontDefPitch", "18") +
        SettingsEntry("WinPos", "20;30;720;530") +
        SettingsEntry("LanguageName",
                      "Fran\xc3\xa7"
                      "ais") +
        SettingsEntry("ShowSummary", "1") + SettingsEntry("HideSeenWarnings", "0") +
        SettingsEntry("VerifyLastPass", "1") + SettingsEntry("SeenWarnings", "33") +
        SettingsEntry("FreeSpaceAfter", "1") + SettingsEntry("OverwriteReserve", "0") +
        SettingsEntry("Reports", "1") + SettingsEntry("ReportHideNames", "0") +
        SettingsEntry("ReportFolder", "") + SettingsEntry("ReportKeyFile", "") +
        SettingsEntry("ReportOrganisation", "") + SettingsEntry("ReportOperator", "") +
        SettingsEntry("ReportCustomer", "") + SettingsEntry("LogArchivesKeep", "30") +
        SettingsEntry("LogArchivesDays", "90") + SettingsEntry("ReportsKeep", "0") +
        SettingsEntry("ReportsDays", "0");
    WriteSettings(body);
    auto dlg = Open();
    dlg->close();
    EXPECT_EQ(ReadWholeFile(SettingsFile()), SettingsXml(body));
}

// Root started with another user's HOME: that user's planted settings and
// in-progress record must neither steer nor delete anything of root's, and the
// window says why the built-in settings hold.
TEST_F(MainWindowSettings, FilesOfAnotherUserSteerNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    dir_.MakeDir("root");
    dir_.WriteFile("root/secret", "root only");
    dir_.WriteFile("root/precious20240101", "root's own file, filler-like name");
    WriteSettings(SettingsEntry("Random", "0") +
                  SettingsEntry("ShredValue", dir_.Sub("root/secret")));
    const std::string store = dir_.Sub("home/.config/Tessarin/Kelvane/");
    {
        // A record as a real run would write it, naming root's file exactly.
        FillerEntry e;
        struct stat folder {};
        ASSERT_EQ(::stat(dir_.Sub("root/").c_str(), &folder), 0);
        e.folder = dir_.Sub("root/");
        e.folderDev = folder.st_dev;
        e.folderIno = folder.st_ino;
        e.name = "precious20240101";
        const int fd = ::open(dir_.Sub("root/precious20240101").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(DescribeNewFiller(fd, false, e));
        ::close(fd);
        ASSERT_TRUE(RewriteFillRecord(FillRecordPath(store), {e}));
    }
    for (const char* p : {"home/.config", "home/.config/Tessarin", "home/.config/Tessarin/Kelvane",
                          "home/.config/Tessarin/Kelvane/Kelvane.ini",
                          "home/.config/Tessarin/Kelvane/FreeSpaceRun.record"})
        ASSERT_EQ(::chown(dir_.Sub(p).c_str(), 65534, 65534), 0) << p;
    const std::string planted = ReadWholeFile(SettingsFile());
    {
        auto dlg = Open();
        EXPECT_TRUE(Checked(*dlg, 1005)) << "built-in random data";
        EXPECT_EQ(dlg->Fields().shredValue, AppSettings{}.shredValue);
        EXPECT_EQ(dlg->StorageFolder(), "");
        EXPECT_TRUE(
            TextOf(dlg->Control(1011)).startsWith("Not using " + QString::fromStdString(store)))
            << TextOf(dlg->Control(1011)).toStdString();
        dlg->close();
    }
    EXPECT_TRUE(PathExists(dir_.Sub("root/precious20240101")));
    EXPECT_EQ(ReadWholeFile(SettingsFile()), planted) << "nothing saved into their folder";
    EXPECT_FALSE(PathExists(store + "KelvaneLog.txt"));

    // Our own folder, but a settings file that the group may change.
    for (const char* p : {"home/.config", "home/.config/Tessarin", "home/.config/Tessarin/Kelvane",
                          "home/.config/Tessarin/Kelvane/Kelvane.ini"})
        ASSERT_EQ(::chown(dir_.Sub(p).c_str(), 0, 0), 0) << p;
    ::unlink(FillRecordPath(store).c_str());
    ASSERT_EQ(::chmod(SettingsFile().c_str(), 0660), 0);
    {
        auto dlg = Open();
        EXPECT_TRUE(Checked(*dlg, 1005));
        EXPECT_TRUE(TextOf(dlg->Control(1011)).startsWith("Not using the settings file"));
        dlg->close();
    }
    EXPECT_EQ(ReadWholeFile(SettingsFile()), planted);
}

TEST_F(MainWindowSettings, FreeSpaceAfterIsChosenInOptionsAndStored) {
    // View > Options as the user opens it: the choice is set, the dialog left
    // with `button`; says whether the choice showed ticked when it opened.
    auto options = [](CKelvaneDlg& dlg, bool tick, int button) {
        bool shownTicked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            auto* after = qobject_cast<QCheckBox*>(box->Control(COptionsDlg::IDC_FREE_SPACE_AFTER));
            EXPECT_NE(after, nullptr) << "offered in Options";
            if (after) {
                EXPECT_EQ(after->text(), "Then overwrite the free space of these drives");
                shownTicked = after->isChecked();
                if (tick != shownTicked) after->click();
            }
            static_cast<QPushButton*>(box->Control(button))->click();
        });
        dlg.OnCommand(CKelvaneDlg::ID_OPTIONS);
        return shownTicked;
    };
    {
        auto dlg = Open();
        EXPECT_FALSE(options(*dlg, true, COptionsDlg::IDC_OK));
        EXPECT_TRUE(dlg->GatherSettings().freeSpaceAfter);
        dlg->close();
    }
    EXPECT_TRUE(LoadSettings(SettingsFile()).values.freeSpaceAfter);
    auto dlg = Open();
    EXPECT_TRUE(options(*dlg, false, COptionsDlg::IDC_CANCEL)) << "the stored choice shows";
    EXPECT_TRUE(dlg->GatherSettings().freeSpaceAfter) << "Cancel keeps it";
    EXPECT_TRUE(options(*dlg, false, COptionsDlg::IDC_OK));
    dlg->close();
    EXPECT_FALSE(LoadSettings(SettingsFile()).values.freeSpaceAfter);
}
