#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "config/ProfileFile.h"
#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "support/TestText.h"
#include "ui/LogViewDlg.h"
#include "ui/MainWindowFixture.h"
#include "uisupport/Screenshot.h"

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

    dlg->OnCommand(CKelvaneDlg::ID_VIEW_LOG);  // the program's own viewer, not the desktop's
    EXPECT_TRUE(opened.empty());
    ASSERT_NE(dlg->LogViewer(), nullptr);
    EXPECT_TRUE(dlg->LogViewer()->isVisible());
    EXPECT_TRUE(dlg->LogViewer()->TextView()->toPlainText().contains(u"/data/a.txt [done]"));
    dlg->LogViewer()->close();

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

TEST_F(WindowLog, ViewLogShowsTheDecodedLogToSearchAndCopy) {
    auto dlg = Open();
    QAction* view = dlg->MenuAction(CKelvaneDlg::ID_VIEW_LOG);
    ASSERT_TRUE(view);
    view->trigger();  // before any run: an empty viewer that says so
    CLogViewDlg* viewer = dlg->LogViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Log"));
    EXPECT_TRUE(viewer->TextView()->toPlainText().isEmpty());
    EXPECT_EQ(viewer->Note()->text(), QStringLiteral("There is no log yet."));
    viewer->close();

    dlg->BeginRunLog();
    dlg->AppendLogHeader(u"Shredding files with 3 iterations");
    const std::u16string odd = WideFromUtf8("/data/b\xc3\xa4r/\xe6\x97\xa5\xe8\xa8\x98 \xff.txt");
    dlg->AppendLog(odd + u" [done]");
    dlg->AppendLog(u"/data/x\nforged.txt [FAILED!]");
    dlg->AppendLog(u"/data/x\\n.txt [done]");  // a backslash and an "n" in the name
    view->trigger();
    ASSERT_EQ(dlg->LogViewer(), viewer);  // one viewer, filled anew
    ASSERT_TRUE(viewer->isVisible());
    EXPECT_TRUE(opened.empty());
    const QString text = viewer->TextView()->toPlainText();
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 10) << text.toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("Shredding files with 3 iterations"));
    EXPECT_EQ(lines[4], QString(49, u'-'));
    EXPECT_EQ(lines[6],
              QString::fromUtf8("/data/b\xc3\xa4r/\xe6\x97\xa5\xe8\xa8\x98 \\xff.txt [done]"));
    EXPECT_EQ(lines[7], QStringLiteral("/data/x\\nforged.txt [FAILED!]"));
    // As the log holds it, and never like a name with a line break.
    EXPECT_EQ(lines[8], QStringLiteral("/data/x\\\\n.txt [done]"));
    EXPECT_NE(Utf8FromLe(ReadWholeFile(dlg->LogPath())).find("\n/data/x\\\\n.txt [done]\r\n"),
              std::string::npos);
    EXPECT_FALSE(text.contains(QChar(u'\0')));
    EXPECT_TRUE(viewer->TextView()->isReadOnly());

    // Ctrl+F goes to the find field; Enter finds, wrapping round; a miss says so.
    QApplication::setActiveWindow(viewer);
    (void)QTest::qWaitForWindowActive(viewer, 2000);
    QTest::keyClick(viewer->TextView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(viewer->FindField()->hasFocus());
    viewer->FindField()->setText(QString::fromUtf8("\xe6\x97\xa5\xe8\xa8\x98"));
    QTest::keyClick(viewer->FindField(), Qt::Key_Return);
    EXPECT_EQ(viewer->TextView()->textCursor().selectedText(),
              QString::fromUtf8("\xe6\x97\xa5\xe8\xa8\x98"));
    EXPECT_FALSE(viewer->Note()->isVisibleTo(viewer));
    viewer->FindField()->setText(QStringLiteral("FORGED"));  // any case
    EXPECT_TRUE(viewer->FindNext());
    EXPECT_EQ(viewer->TextView()->textCursor().selectedText(), QStringLiteral("forged"));
    EXPECT_TRUE(viewer->FindNext()) << "wraps round to the only hit";
    viewer->FindField()->setText(QStringLiteral("not in the log"));
    EXPECT_FALSE(viewer->FindNext());
    EXPECT_EQ(viewer->Note()->text(), QStringLiteral("Not found."));
    EXPECT_EQ(viewer->TextView()->textCursor().selectedText(), QStringLiteral("forged"));

    // Copy: the selection, or everything when nothing is selected.
    auto* copy = viewer->findChild<QPushButton*>(QStringLiteral("Copy"));
    ASSERT_TRUE(copy);
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("forged"));
    viewer->TextView()->moveCursor(QTextCursor::End);
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    SaveScreenshot(viewer, QStringLiteral("log_viewer"));
}

TEST_F(WindowLog, StatusLineShowsNamesPrintable) {
    auto dlg = Open();
    dlg->SetStatusText(WideFromUtf8("Shredding: /t/x\nforged \xff\x1b[2J.txt"));
    EXPECT_EQ(static_cast<QLabel*>(dlg->Control(CKelvaneDlg::IDC_STATUS))->text(),
              QStringLiteral("Shredding: /t/x\\nforged \\xff\\x1b[2J.txt"));
    dlg->AppendRowWithStatus(u"n", u"1", u"d", u"/t/a\nb", u"Adding folder /t/a\nb");
    EXPECT_EQ(FromQ(static_cast<QLabel*>(dlg->Control(CKelvaneDlg::IDC_STATUS))->text()),
              u"Adding folder /t/a\\nb");
    EXPECT_EQ(dlg->List().GetItemText(dlg->List().GetItemCount() - 1, 3), u"/t/a\nb");
}
