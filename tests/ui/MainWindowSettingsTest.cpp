#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>

#include "config/SettingsFile.h"
#include "ui/FontHolder.h"
#include "ui/MainWindowFixture.h"

namespace {

std::string Xml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<InitFile>\r\n" + body +
           "</InitFile>\r\n";
}
std::string Entry(const std::string& key, const std::string& value) {
    return "  <" + key + ">" + value + "</" + key + ">\r\n";
}
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
        dir_.WriteFile("home/.config/Tessarin/Kelvane/Kelvane.ini", Xml(body));
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
    WriteSettings(Entry("Random", "0") + Entry("EndAction", "2") + Entry("ShredNames", "0") +
                  Entry("Confirm", "0") + Entry("ModifySize", "1") + Entry("ModifySizeType", "1") +
                  Entry("EnableLog", "2") + Entry("ArchiveLog", "0") + Entry("Iterations", "300") +
                  Entry("ShredBlockSize", "-1") + Entry("ShredValue", "0xAA") +
                  Entry("LanguageName", "Deutsch") + Entry("WinPos", "30;40;830;640"));
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
    EXPECT_EQ(dlg->frameGeometry(), QRect(30, 40, 800, 600));

    dlg->close();
    LoadedSettings s = LoadSettings(SettingsFile());
    EXPECT_EQ(s.values.enableLog, 0) << "saved as 0";
    EXPECT_EQ(s.values.archiveLog, 0);
    EXPECT_EQ(s.values.iterations, 300);
    EXPECT_EQ(s.values.endAction, 2);
    EXPECT_EQ(s.values.modifySizeType, 1);
    EXPECT_EQ(s.values.shredBlockSize, 4294967295u);
    EXPECT_EQ(s.values.languageName, "Deutsch");
    EXPECT_EQ(s.values.winPos, "30;40;830;640");
}

TEST_F(MainWindowSettings, OutOfRangeIndexesLeaveNoSelection) {
    WriteSettings(Entry("EndAction", "7") + Entry("ModifySizeType", "-1") +
                  Entry("Iterations", "word") + Entry("Random", "2"));
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
    WriteSettings(Entry("WinPos", "MAX"));
    {
        auto dlg = Open();
        EXPECT_TRUE(dlg->windowState() & Qt::WindowMaximized);
        dlg->close();
        EXPECT_EQ(LoadSettings(SettingsFile()).values.winPos, "MAX");
    }
    WriteSettings(Entry("WinPos", "50;60;750;560"));
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
        WriteSettings(Entry("WinPos", bad));
        auto dlg = Open();
        EXPECT_EQ(dlg->size(), start);
        EXPECT_FALSE(dlg->windowState() & Qt::WindowMaximized);
    }
}

TEST_F(MainWindowSettings, FontKeysFollowTheFontFlags) {
    // Font settings on, height on: the stored height and face are used.
    WriteSettings(Entry("UseFontSettings", "1") + Entry("UseFontHeight", "1") +
                  Entry("FontDefName", "DejaVu Sans") + Entry("FontDefCharset", "238") +
                  Entry("FontDefHeight", "-19") + Entry("FontDefPitch", "34"));
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
    WriteSettings(Entry("UseFontSettings", "1") + Entry("UseFontHeight", "0") +
                  Entry("FontDefHeight", "-40"));
    {
        auto dlg = Open();
        EXPECT_NE(dlg->Fonts().Height(), -40);
        EXPECT_NE(QFontInfo(dlg->Control(1001)->font()).pixelSize(), 40);
    }
    // Font settings off: the four keys are not read, yet saving writes them from
    // the effective font.
    WriteSettings(Entry("UseFontSettings", "0") + Entry("FontDefName", "Nonexistent Face") +
                  Entry("FontDefCharset", "77"));
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
        Entry("Random", "0") + Entry("ShredValue", "/tmp/pattern.bin") +
        Entry("IgnoreProtect", "1") + Entry("EndAction", "1") + Entry("ShredNames", "0") +
        Entry("Confirm", "0") + Entry("ModifySize", "1") + Entry("ModifySizeType", "1") +
        Entry("EnableLog", "0") + Entry("ArchiveLog", "0") + Entry("Iterations", "42") +
        Entry("ShredBlockSize", "4096") + Entry("DiskShredBlockSize", "65536") +
        Entry("DiskShredFileSize", "1048576") + Entry("DiskShredFileName", "fill.tmp") +
        Entry("DiskShredLeaveFiles", "1") + Entry("FileShredLeaveFiles", "1") +
        Entry("FileShredFileShred", "1") + Entry("UseBuildInFont", "0") +
        Entry("UseFontSettings", "1") + Entry("UseFontHeight", "1") +
        Entry("FontDefName", "DejaVu Sans") + Entry("FontDefCharset", "0") +
        Entry("FontDefHeight", "-14") + Entry("FontDefPitch", "18") +
        Entry("WinPos", "20;30;720;530") +
        Entry("LanguageName",
              "Fran\xc3\xa7"
              "ais");
    WriteSettings(body);
    auto dlg = Open();
    dlg->close();
    EXPECT_EQ(ReadWholeFile(SettingsFile()), Xml(body));
}
