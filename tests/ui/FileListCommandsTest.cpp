// The file list commands in the real main window: Add files, Add folder, drops
// (refused while the window is locked), Remove, Clear, Select all, Invert, and a
// large folder expansion during which the window keeps working.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <chrono>

#include "config/DialogFilter.h"
#include "config/TextConv.h"
#include "platform/Volumes.h"
#include "platform/qt/QtText.h"
#include "ui/MainWindowFixture.h"
#include "uisupport/Screenshot.h"

namespace {

QString Status(CKelvaneDlg& dlg) {
    return qobject_cast<QLabel*>(dlg.Control(CKelvaneDlg::IDC_STATUS))->text();
}

// Processes events until the expansion (and its clock) have ended; a hang guard,
// not a measurement.
bool WaitIdle(CKelvaneDlg& dlg, std::chrono::seconds limit = std::chrono::seconds(240)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!(dlg.Workers().AllDone() && !dlg.IsLocked())) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    return true;
}

std::vector<std::u16string> Paths(CKelvaneDlg& dlg) {
    std::vector<std::u16string> out;
    for (int i = 0; i < dlg.List().GetItemCount(); ++i) out.push_back(dlg.List().GetItemText(i, 3));
    return out;
}

QMimeData* UrlsOf(const std::vector<std::string>& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    // From the bytes, percent-encoded: a name that is not UTF-8 stays what it is.
    for (const auto& p : paths)
        urls << QUrl::fromEncoded(QByteArray("file://") +
                                  QByteArray::fromStdString(p).toPercentEncoding("/"));
    mime->setUrls(urls);
    return mime;
}

// Drags the paths over the window and drops them; returns whether the window
// accepted the drag.
bool DragAndDrop(CKelvaneDlg& dlg, const std::vector<std::string>& paths) {
    std::unique_ptr<QMimeData> mime(UrlsOf(paths));
    QPoint at(dlg.width() / 2, dlg.height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &drop);
    return enter.isAccepted();
}

}  // namespace

using FileListCommands = MainWindowFixture;

TEST_F(FileListCommands, AddFilesUsesTheLanguageFilterAndAddsEveryChosenFile) {
    TempDir files;
    std::vector<QString> chosen;
    // Far more than 260 characters of names together: every one is added.
    for (int i = 0; i < 40; ++i) {
        std::string name = "a-rather-long-file-name-number-" + std::to_string(i) + ".txt";
        files.WriteFile(name, std::string(i, 'x'));
        chosen.push_back(QString::fromUtf8(files.Sub(name)));
    }
    auto dlg = Open();
    FileDialogs::SetNextOpenFiles(QStringList(chosen.begin(), chosen.end()));
    qobject_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_ADD))->click();
    ASSERT_TRUE(WaitIdle(*dlg));  // looked at off the window's thread
    ASSERT_FALSE(FileDialogs::Requests().empty());
    const auto& request = FileDialogs::Requests().back();
    EXPECT_EQ(request.kind, FileDialogs::Request::Kind::OpenFiles);
    EXPECT_EQ(request.filter, QStringLiteral("All files (*)"));
    EXPECT_EQ(request.caption, QStringLiteral("Add files to shred"));
    ASSERT_EQ(dlg->List().GetItemCount(), 40);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(ToQ(dlg->List().GetItemText(i, 3)), chosen[i]);
        EXPECT_EQ(dlg->List().GetItemText(i, 1), U16(std::to_string(i)));
        EXPECT_TRUE(dlg->List().GetCheck(i));
    }
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 40"));

    // Cancel adds nothing and leaves the status line alone.
    dlg->MenuAction(CKelvaneDlg::ID_ADD_FILES)->trigger();
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_EQ(dlg->List().GetItemCount(), 40);
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 40"));
}

TEST_F(FileListCommands, AddFolderExpandsRemembersAndShowsRows) {
    TempDir tree;
    tree.WriteFile("photos/2023/beach.jpg", std::string(2048, 'b'));
    tree.WriteFile("photos/2023/boat.jpg", std::string(4096, 'c'));
    tree.WriteFile("photos/notes & plans.txt", "n");
    tree.WriteFile("photos/raw/sunset.cr2", std::string(100000, 'r'));
    tree.MakeDir("photos/empty");
    auto dlg = Open();

    FileDialogs::SetNextFolder(QString::fromUtf8(tree.Sub("photos")));
    qobject_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_ADD_FOLDER))->click();
    EXPECT_TRUE(dlg->IsLocked());
    ASSERT_TRUE(WaitIdle(*dlg));
    const auto& request = FileDialogs::Requests().back();
    EXPECT_EQ(request.kind, FileDialogs::Request::Kind::Folder);
    EXPECT_EQ(request.caption, QStringLiteral("Select folder to add"));
    EXPECT_TRUE(request.start.isEmpty());
    EXPECT_EQ(dlg->RememberedFolder(), tree.Sub("photos/"));

    auto paths = Paths(*dlg);
    ASSERT_EQ(paths.size(), 4u + 4u);
    EXPECT_EQ(paths.back(), tree.WSub("photos/"));
    EXPECT_EQ(dlg->List().GetItemText(7, 0), u"photos/");
    EXPECT_EQ(dlg->List().GetItemText(7, 2), u"FOLDER");
    for (int i = 0; i < 4; ++i) EXPECT_NE(dlg->List().GetItemText(i, 2), u"FOLDER");
    // After the expansion the status line counts the rows.
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: %1").arg(dlg->List().GetItemCount()));
    EXPECT_TRUE(dlg->State().stop.load());
    dlg->resize(900, 520);
    QCoreApplication::processEvents();
    EXPECT_FALSE(SaveScreenshot(dlg.get(), QStringLiteral("file_list_rows")).isEmpty());

    // The browser starts in the remembered folder; Cancel adds nothing.
    dlg->MenuAction(CKelvaneDlg::ID_ADD_FOLDER)->trigger();
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_EQ(FileDialogs::Requests().back().start, QString::fromUtf8(tree.Sub("photos/")));
    EXPECT_EQ(dlg->List().GetItemCount(), 8);
    EXPECT_EQ(dlg->State().folderQueue.RowCount(), 0);

    // A remembered folder that has gone is not offered.
    FileDialogs::SetNextFolder(QString::fromUtf8(tree.Sub("photos/empty")));
    dlg->MenuAction(CKelvaneDlg::ID_ADD_FOLDER)->trigger();
    ASSERT_TRUE(WaitIdle(*dlg));
    ASSERT_EQ(dlg->List().GetItemCount(), 9);  // the empty folder gives its own row
    ASSERT_EQ(::rmdir(tree.Sub("photos/empty").c_str()), 0);
    dlg->MenuAction(CKelvaneDlg::ID_ADD_FOLDER)->trigger();
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_TRUE(FileDialogs::Requests().back().start.isEmpty());
}

TEST_F(FileListCommands, RemoveClearSelectAllAndInvertWithTheirStatusLines) {
    TempDir files;
    std::vector<QString> chosen;
    for (int i = 0; i < 6; ++i) {
        files.WriteFile("f" + std::to_string(i), "x");
        chosen.push_back(QString::fromUtf8(files.Sub("f" + std::to_string(i))));
    }
    auto dlg = Open();
    FileDialogs::SetNextOpenFiles(QStringList(chosen.begin(), chosen.end()));
    dlg->OnCommand(CKelvaneDlg::ID_ADD_FILES);
    ASSERT_TRUE(WaitIdle(*dlg));
    ASSERT_EQ(dlg->List().GetItemCount(), 6);

    // Uncheck 0 and 4: rows 1, 2, 3 (adjacent) and 5 go.
    dlg->List().SetCheck(0, false);
    dlg->List().SetCheck(4, false);
    qobject_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_REMOVE))->click();
    std::vector<std::u16string> expect = {files.WSub("f0"), files.WSub("f4")};
    EXPECT_EQ(Paths(*dlg), expect);
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 2"));

    // Invert and Select all change checks only.
    dlg->MenuAction(CKelvaneDlg::ID_INVERT_SELECTION)->trigger();
    EXPECT_TRUE(dlg->List().GetCheck(0));
    EXPECT_TRUE(dlg->List().GetCheck(1));
    dlg->List().SetCheck(1, false);
    dlg->MenuAction(CKelvaneDlg::ID_INVERT_SELECTION)->trigger();
    EXPECT_FALSE(dlg->List().GetCheck(0));
    EXPECT_TRUE(dlg->List().GetCheck(1));
    dlg->MenuAction(CKelvaneDlg::ID_SELECT_ALL)->trigger();
    EXPECT_TRUE(dlg->List().GetCheck(0));
    EXPECT_TRUE(dlg->List().GetCheck(1));
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 2"));

    dlg->MenuAction(CKelvaneDlg::ID_REMOVE_SELECTED)->trigger();
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 0"));

    FileDialogs::SetNextOpenFiles(QStringList(chosen.begin(), chosen.end()));
    dlg->OnCommand(CKelvaneDlg::ID_ADD_FILES);
    ASSERT_TRUE(WaitIdle(*dlg));
    ASSERT_EQ(dlg->List().GetItemCount(), 6);
    qobject_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_CLEAR))->click();
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 0"));
}

TEST_F(FileListCommands, DropAddsFilesAndFoldersAndIsRefusedWhileLocked) {
    TempDir tree;
    tree.WriteFile("A/a1", "1");
    tree.WriteFile("A/deep/a2", "22");
    tree.WriteFile("B/b1", "333");
    tree.WriteFile("single.txt", "s");
    tree.WriteFile("odd name\xff.bin", "o");
    auto dlg = Open();

    // Locked (a run or an expansion): neither the drag nor the drop is taken.
    dlg->LockForRun();
    EXPECT_FALSE(DragAndDrop(*dlg, {tree.Sub("single.txt"), tree.Sub("A")}));
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    EXPECT_EQ(dlg->State().folderQueue.RowCount(), 0);
    dlg->OnDropPaths({tree.WSub("single.txt")});
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    dlg->UnlockAfterRun();

    EXPECT_TRUE(DragAndDrop(*dlg, {tree.Sub("A"), tree.Sub("single.txt"), tree.Sub("missing"),
                                   tree.Sub("B"), tree.Sub("odd name\xff.bin")}));
    ASSERT_TRUE(WaitIdle(*dlg));
    auto paths = Paths(*dlg);
    ASSERT_EQ(paths.size(), 2u + 2u + 2u + 1u + 1u);
    // Files at once, in drop order; then A's block, then B's block.
    EXPECT_EQ(paths[0], tree.WSub("single.txt"));
    EXPECT_EQ(Utf8FromWide(paths[1]), tree.Sub("odd name\xff.bin"));
    EXPECT_EQ(paths[4], tree.WSub("A/deep/"));
    EXPECT_EQ(paths[5], tree.WSub("A/"));
    EXPECT_EQ(paths[6], tree.WSub("B/b1"));
    EXPECT_EQ(paths[7], tree.WSub("B/"));
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: %1").arg(dlg->List().GetItemCount()));
}

TEST_F(FileListCommands, TwentyThousandFilesWhileTheWindowKeepsWorking) {
    TempDir tree;
    const int kFolders = 40, kPerFolder = 500, kFiles = kFolders * kPerFolder;
    for (int d = 0; d < kFolders; ++d) {
        tree.MakeDir("big/d" + std::to_string(d));
        for (int f = 0; f < kPerFolder; ++f)
            tree.WriteFile("big/d" + std::to_string(d) + "/" + std::to_string(f), "");
    }
    auto dlg = Open();

    // A timer on the window's thread looks at the list while the expansion runs.
    std::vector<int> seen;
    int grabs = 0;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!dlg->IsLocked()) return;
        seen.push_back(dlg->List().GetItemCount());
        if (grabs == 0 && seen.back() > 0 && !dlg->grab().isNull()) ++grabs;
    });
    look.start(10);
    FileDialogs::SetNextFolder(QString::fromUtf8(tree.Sub("big")));
    dlg->OnCommand(CKelvaneDlg::ID_ADD_FOLDER);
    ASSERT_TRUE(WaitIdle(*dlg));
    look.stop();

    EXPECT_EQ(dlg->List().GetItemCount(), kFiles + kFolders + 1);
    EXPECT_EQ(dlg->List().GetItemText(kFiles + kFolders, 3), tree.WSub("big/"));
    // The window painted and served its timer while rows were still coming in.
    bool partial = false;
    for (int n : seen) partial = partial || (n > 0 && n < kFiles);
    EXPECT_TRUE(partial);
    EXPECT_EQ(grabs, 1);
    EXPECT_FALSE(dlg->IsLocked());
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: %1").arg(dlg->List().GetItemCount()));
}

// "Add the trash" lists each trashed item under the path it came from, with the
// date it was deleted, followed by its info; nothing is looked at on the window's
// thread (the window is locked while the worker lists).
TEST_F(FileListCommands, AddTheTrashShowsEachItemUnderItsOriginalPath) {
    TempDir data;
    data.WriteFile("Trash/files/report.pdf", "r");
    data.WriteFile("Trash/info/report.pdf.trashinfo",
                   "[Trash Info]\nPath=/home/ann/a%20b/report.pdf\n"
                   "DeletionDate=2025-03-04T05:06:07\n");
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string savedData = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    ScopedDriveList noDrives({});  // this machine's own drives stay out of the test
    auto dlg = Open();

    QAction* add = dlg->MenuAction(CKelvaneDlg::ID_ADD_TRASH);
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->text(), QStringLiteral("Add the &trash"));
    add->trigger();
    EXPECT_TRUE(dlg->IsLocked());
    ASSERT_TRUE(WaitIdle(*dlg));
    // The item under its own name, one row with its info; where it was in its tip.
    ASSERT_EQ(dlg->List().GetItemCount(), 1);
    EXPECT_EQ(dlg->List().GetItemText(0, 0), u"report.pdf");
    EXPECT_EQ(dlg->List().GetItemText(0, 2), u"2025-03-04 05:06:07");
    EXPECT_EQ(dlg->List().GetItemText(0, 3), data.WSub("Trash/files/report.pdf"));
    EXPECT_EQ(Status(*dlg), QStringLiteral("Amount of files: 1"));
    QAbstractItemModel* model = dlg->ListView()->model();
    EXPECT_TRUE(model->data(model->index(0, 0), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("In the trash; deleted from /home/ann/a b/")));
    if (saved)
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}
