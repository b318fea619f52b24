#include <QAction>
#include <QApplication>

#include "config/ProfileFile.h"
#include "config/TextConv.h"
#include "support/TestText.h"
#include "ui/MainWindowFixture.h"

using WindowLog = MainWindowFixture;

TEST_F(WindowLog, RunsWriteThroughTheWindowAndTheMenuSwitchesIt) {
    auto dlg = Open();
    const std::string logPath = dlg->StorageFolder() + "KelvaneLog.txt";
    ASSERT_EQ(dlg->LogPath(), logPath);
    QAction* enable = dlg->MenuAction(CKelvaneDlg::ID_ENABLE_LOG);
    QAction* archive = dlg->MenuAction(CKelvaneDlg::ID_ARCHIVE_LOG);
    ASSERT_TRUE(enable && archive);
    EXPECT_TRUE(enable->isChecked());  // first start: both on
    EXPECT_TRUE(archive->isChecked());

    dlg->BeginRunLog();
    dlg->AppendLog(u"/data/a.txt [done]");
    EXPECT_NE(ReadWholeFile(logPath).find(Le("/data/a.txt [done]\r\n")), std::string::npos);

    enable->trigger();  // the menu command switches logging off
    EXPECT_FALSE(enable->isChecked());
    dlg->AppendLog(u"/data/b.txt [done]");
    EXPECT_EQ(ReadWholeFile(logPath).find(Le("/data/b.txt")), std::string::npos);

    dlg->OnCommand(CKelvaneDlg::ID_VIEW_LOG);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], WideFromUtf8(logPath));

    archive->trigger();
    enable->trigger();
    dlg->BeginRunLog();  // archiving off: the old log is gone, not archived
    dlg->AppendLog(u"second");
    EXPECT_EQ(ReadWholeFile(logPath).find(Le("/data/a.txt")), std::string::npos);

    dir_.WriteFile("home/.config/Tessarin/Kelvane/KelvaneLog_20200101000000.txt", "old");
    dir_.WriteFile("home/.config/Tessarin/Kelvane/notes.txt", "keep");
    dlg->OnCommand(CKelvaneDlg::ID_CLEAR_LOG);
    EXPECT_FALSE(PathExists(logPath));
    EXPECT_FALSE(PathExists(dlg->StorageFolder() + "KelvaneLog_20200101000000.txt"));
    EXPECT_EQ(ReadWholeFile(dlg->StorageFolder() + "notes.txt"), "keep");

    dlg->StoreSettings();  // the marks are what the settings keep
    ProfileFile settings(true);
    ASSERT_TRUE(settings.Load(SettingsFile()));
    EXPECT_EQ(settings.GetInt("EnableLog", -1), 1);
    EXPECT_EQ(settings.GetInt("ArchiveLog", -1), 0);
}

TEST_F(WindowLog, StoredSwitchesReachTheLog) {
    dir_.MakeDir("home/.config/Tessarin/Kelvane");
    ProfileFile settings(true);
    settings.WriteInt("EnableLog", 0);
    settings.WriteInt("ArchiveLog", 1);
    ASSERT_TRUE(settings.Save(SettingsFile()));
    auto dlg = Open();
    EXPECT_FALSE(dlg->MenuAction(CKelvaneDlg::ID_ENABLE_LOG)->isChecked());
    dlg->BeginRunLog();
    dlg->AppendLog(u"nothing");
    EXPECT_FALSE(PathExists(dlg->LogPath()));
}
