#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <set>

#include "config/SettingsFile.h"
#include "platform/qt/ListCtrlView.h"
#include "ui/MainWindowFixture.h"
#include "uisupport/Screenshot.h"

namespace {

// The ids and texts of a pop-up, separators as "-".
QStringList MenuItems(CKelvaneDlg& dlg, int position, std::vector<int>* ids = nullptr) {
    QStringList out;
    for (QAction* a : dlg.MenuPopup(position)->actions()) {
        if (a->isSeparator()) {
            out << QStringLiteral("-");
            continue;
        }
        out << Caption(a->text());
        if (ids) ids->push_back(a->objectName().mid(4).toInt());
    }
    return out;
}

}  // namespace

using MainWindow = MainWindowFixture;

TEST_F(MainWindow, ShowsEveryControlWithItsIdAndText) {
    auto dlg = Open();
    const std::pair<int, const char*> texts[] = {
        {1001, "Add"},
        {1009, "Add folder"},
        {1002, "Remove"},
        {1003, "Clear"},
        {1017, "00:00:00"},
        {1007, "Number of iterations"},
        {1005, "Random data writing"},
        {1018, "Shred filenames"},
        {1022, "Modify filesize"},
        {1010, "Confirm delete"},
        {1048, "After processing:"},
        {1011, "..."},
        {1012, "Stop"},
        {1004, "Shred files"},
        {1015, "Shred free space"},
    };
    for (const auto& [id, text] : texts) {
        ASSERT_NE(dlg->Control(id), nullptr) << id;
        EXPECT_EQ(TextOf(dlg->Control(id)), QString::fromUtf8(text)) << id;
    }
    for (int id : {1034, 1000, 1028, 1006, 1008, 1025, 1049})
        EXPECT_NE(dlg->Control(id), nullptr) << id;
    EXPECT_EQ(dlg->Control(4711), nullptr);

    EXPECT_EQ(ItemsOf(dlg->Control(1008)),
              QStringList({"1", "2", "3", "5", "7", "10", "15", "20", "30", "50", "75", "100"}));
    EXPECT_EQ(ItemsOf(dlg->Control(1049)),
              QStringList({"Do nothing", "Shut down program", "Shut down windows"}));
    EXPECT_EQ(ItemsOf(dlg->Control(1025)), QStringList({"to zero", "random"}));
    // Hidden until a run: Stop, clock and indicator.
    for (int id : {1012, 1017, 1028}) EXPECT_FALSE(dlg->Control(id)->isVisible()) << id;
    EXPECT_TRUE(static_cast<QPushButton*>(dlg->Control(1004))->isDefault());
    // The six buttons' hints.
    EXPECT_EQ(dlg->Control(1001)->toolTip(), "Adds one or multiple files to list");
    EXPECT_EQ(dlg->Control(1009)->toolTip(), "Adds the content of a folder to list");
    EXPECT_EQ(dlg->Control(1002)->toolTip(), "Removes selected elements out of list");
    EXPECT_EQ(dlg->Control(1003)->toolTip(), "Clears the complete list content");
    EXPECT_EQ(dlg->Control(1004)->toolTip(), "Starts the deletion of the selected files");
    EXPECT_EQ(dlg->Control(1015)->toolTip(), "Shreds the free disk space on drives");
    // The list's columns, the path column hidden.
    auto& list = dlg->List();
    ASSERT_EQ(list.GetColumnCount(), 4);
    EXPECT_EQ(list.GetColumn(0).header, u"Filename");
    EXPECT_EQ(list.GetColumn(1).header, u"Size");
    EXPECT_EQ(list.GetColumn(2).header, u"Date");
    EXPECT_TRUE(dlg->ListView()->isColumnHidden(3));
    EXPECT_FALSE(dlg->ListView()->isColumnHidden(0));
    // White background.
    EXPECT_EQ(dlg->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(SaveScreenshot(dlg.get(), QStringLiteral("main_window_start")).isEmpty());
}

TEST_F(MainWindow, MenuHasItsIdsChecksAndSeparators) {
    // License and read-me present: the "?" menu keeps every item.
    dir_.WriteFile("program/Kelvane_License.txt", "licence");
    dir_.WriteFile("program/Kelvane_ReadMe.txt", "read me");
    auto dlg = Open();
    ASSERT_EQ(dlg->MenuBar()->actions().size(), 4);
    EXPECT_EQ(Caption(dlg->MenuPopup(0)->title()), "File");
    EXPECT_EQ(Caption(dlg->MenuPopup(1)->title()), "Edit");
    EXPECT_EQ(Caption(dlg->MenuPopup(2)->title()), "View");
    EXPECT_EQ(Caption(dlg->MenuPopup(3)->title()), "?");
    std::vector<int> ids;
    EXPECT_EQ(MenuItems(*dlg, 0, &ids),
              QStringList({"View log\tCtrl+L", "Reports...", "Verify a report...", "Schedules...",
                           "Enable log", "Archive log", "Clear log", "-", "Exit\tCtrl+Q"}));
    EXPECT_EQ(MenuItems(*dlg, 1, &ids),
              QStringList({"Add", "Add folder", "Add the trash", "Remove selected", "Clear",
                           "Undo removal", "-", "Select all", "Invert selection"}));
    EXPECT_EQ(MenuItems(*dlg, 2, &ids),
              QStringList({"Options", "Language", "-", "Sort by name\tCtrl+1",
                           "Sort by size\tCtrl+2", "Sort by date\tCtrl+3"}));
    EXPECT_EQ(MenuItems(*dlg, 3, &ids),
              QStringList({"Help\tF1", "License", "Changes", "Check for update", "-", "Info"}));
    EXPECT_EQ(ids, (std::vector<int>{32786, 32800, 32801, 32802, 32790, 32793, 32791, 32776, 32777,
                                     32779, 32796, 32778, 32780, 32803, 32781, 32782, 32792, 32795,
                                     32797, 32798, 32799, 32784, 32787, 32789, 32794, 32783}));
    EXPECT_TRUE(dlg->MenuAction(32790)->isCheckable());
    EXPECT_TRUE(dlg->MenuAction(32793)->isCheckable());
    EXPECT_FALSE(dlg->MenuAction(32786)->isCheckable());
    // No settings file: logging and archiving are on.
    EXPECT_TRUE(dlg->MenuAction(32790)->isChecked());
    EXPECT_TRUE(dlg->MenuAction(32793)->isChecked());
}

TEST_F(MainWindow, MissingDocumentsRemoveTheirMenuItems) {
    auto dlg = Open();
    EXPECT_EQ(MenuItems(*dlg, 3), QStringList({"Help\tF1", "-", "Info"}));
    EXPECT_EQ(dlg->MenuAction(32787), nullptr);
    EXPECT_EQ(dlg->MenuAction(32789), nullptr);
    EXPECT_EQ(dlg->MenuAction(32794), nullptr);
}

TEST_F(MainWindow, AcceleratorsReachTheirCommands) {
    auto dlg = Open();
    QSignalSpy spy(dlg.get(), &CKelvaneDlg::CommandIssued);
    dlg->Control(1008)->setFocus();  // keys typed into a field still reach the table
    QTest::keyClick(dlg.get(), Qt::Key_L, Qt::ControlModifier);
    QTest::keyClick(dlg.get(), Qt::Key_F1);
    QTest::keyClick(dlg.get(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(dlg.get(), Qt::Key_S, Qt::ControlModifier);
    std::vector<int> ids;
    for (const auto& args : spy) ids.push_back(args.at(0).toInt());
    EXPECT_EQ(ids, (std::vector<int>{32786, 32784, 32771, 32772}));
    // Ctrl+O and Ctrl+S do nothing: the window is open, the list and the edit field
    // unchanged, no file written.
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(static_cast<QComboBox*>(dlg->Control(1008))->currentText(), QString("5"));
    EXPECT_FALSE(PathExists(SettingsFile()));

    // Ctrl+Q is Exit: the settings are stored and the window ends with result 1.
    QTest::keyClick(dlg.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->Result(), 1);
    EXPECT_TRUE(PathExists(SettingsFile()));
}

TEST_F(MainWindow, LockAndUnlockForARun) {
    auto dlg = Open();
    const int locked[] = {1004, 1000, 1001, 1009, 1002, 1003, 1005,
                          1010, 1018, 1022, 1008, 1007, 1015, 1025};
    static_cast<QCheckBox*>(dlg->Control(1022))->setChecked(false);
    EXPECT_FALSE(dlg->Control(1025)->isEnabled());

    dlg->LockForRun();
    EXPECT_TRUE(dlg->IsLocked());
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(dlg->MenuPopup(i)->menuAction()->isEnabled()) << i;
    EXPECT_TRUE(dlg->MenuPopup(3)->menuAction()->isEnabled());
    for (int id : locked) EXPECT_FALSE(dlg->Control(id)->isEnabled()) << id;
    for (int id : {1012, 1017, 1028}) EXPECT_TRUE(dlg->Control(id)->isVisible()) << id;
    for (int id : {1049, 1011, 1006}) EXPECT_TRUE(dlg->Control(id)->isEnabled()) << id;
    EXPECT_TRUE(dlg->Control(1012)->isEnabled());
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_locked"));

    // Commands of the disabled pop-ups do not run, by menu or by key.
    QSignalSpy spy(dlg.get(), &CKelvaneDlg::CommandIssued);
    QTest::keyClick(dlg.get(), Qt::Key_L, Qt::ControlModifier);
    dlg->MenuAction(32777)->trigger();
    EXPECT_EQ(spy.count(), 0);
    // Stop sets the stop flag.
    dlg->State().stop = false;
    QTest::mouseClick(static_cast<QPushButton*>(dlg->Control(1012)), Qt::LeftButton);
    EXPECT_TRUE(dlg->State().stop);

    dlg->UnlockAfterRun();
    EXPECT_FALSE(dlg->IsLocked());
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(dlg->MenuPopup(i)->menuAction()->isEnabled()) << i;
    for (int id : locked) EXPECT_EQ(dlg->Control(id)->isEnabled(), id != 1025) << id;
    for (int id : {1012, 1017, 1028}) EXPECT_FALSE(dlg->Control(id)->isVisible()) << id;
    // The size choice follows "Modify size" (unticked) after the run as well.
    EXPECT_FALSE(dlg->Control(1025)->isEnabled());
    auto* box = static_cast<QCheckBox*>(dlg->Control(1022));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(dlg->Control(1025)->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(dlg->Control(1025)->isEnabled());
    // Ticked: a run leaves it usable.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    dlg->LockForRun();
    EXPECT_FALSE(dlg->Control(1025)->isEnabled());
    dlg->UnlockAfterRun();
    EXPECT_TRUE(dlg->Control(1025)->isEnabled());
}

TEST_F(MainWindow, LayoutFollowsTheWindowSize) {
    auto dlg = Open();
    auto check = [&](const char* name) {
        SCOPED_TRACE(name);
        QWidget* client = dlg->ClientArea();
        const int W = client->width(), H = client->height();
        auto g = [&](int id) { return dlg->Control(id)->geometry(); };
        QRect shred = g(1004);
        EXPECT_EQ(shred.x(), W / 2 - shred.width() - 5);
        EXPECT_EQ(shred.y(), H - shred.height() - 5);
        EXPECT_EQ(g(1015).x(), W / 2 + 5);
        EXPECT_EQ(g(1015).y(), shred.y());
        EXPECT_EQ(g(1012).y(), shred.y());
        QRect progress = g(1006);
        EXPECT_EQ(progress.y(), shred.y() - progress.height() - 5);
        EXPECT_EQ(progress.width(), W - 2 * progress.x());
        EXPECT_EQ(g(1034).height(), progress.y() - 3);
        EXPECT_EQ(g(1034).width(), W - 2 * g(1034).x());
        QRect status = g(1011);
        EXPECT_EQ(status.y(), progress.y() - status.height() - 3);
        QRect names = g(1018);
        EXPECT_EQ(names.y(), status.y() - names.height() - 5);
        EXPECT_EQ(g(1049).y(), names.y() - 3);
        EXPECT_EQ(g(1048).y(), names.y());
        QRect random = g(1005);
        EXPECT_EQ(random.y(), names.y() - random.height() - 3);
        EXPECT_EQ(g(1010).y(), random.y() - 3);
        QRect iter = g(1007);
        EXPECT_EQ(iter.y(), random.y() - iter.height() - 6);
        EXPECT_EQ(iter.width(), W - 2 * iter.x());
        for (int id : {1008, 1022, 1025}) EXPECT_EQ(g(id).y(), iter.y() - 3) << id;
        const int C = W - g(1001).width() - 5;
        for (int id : {1001, 1009, 1002, 1003, 1028}) EXPECT_EQ(g(id).x(), C) << id;
        QRect list = g(1000);
        EXPECT_EQ(list.width(), C - list.x() - 5);
        EXPECT_EQ(list.height(), iter.y() - list.y() - 5);
        EXPECT_EQ(g(1017).x(), C);
        EXPECT_EQ(g(1017).bottom(), list.bottom());
        // Nothing overlaps what it must not: the buttons' row below the progress bar.
        EXPECT_LT(g(1012).right(), shred.left());
        EXPECT_GT(g(1049).right(), g(1048).right());
        EXPECT_LE(g(1049).right(), W);
    };
    check("start size");
    dlg->resize(1100, 760);
    QApplication::processEvents();
    EXPECT_EQ(dlg->size(), QSize(1100, 760));
    check("large");
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_large"));
    dlg->resize(300, 200);
    QApplication::processEvents();
    // The minimum: 640 x 400, or what the controls need to show whole (the clock's
    // two lines and the indicator's four under the buttons of the right column).
    EXPECT_EQ(dlg->size(), dlg->minimumSize()) << "snaps back to the minimum";
    EXPECT_GE(dlg->width(), 640);
    EXPECT_GE(dlg->height(), 400);
    EXPECT_LE(dlg->height(), 440);
    check("minimum");
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_minimum"));
}

TEST_F(MainWindow, IterationsAcceptAnyTypedNumber) {
    auto dlg = Open();
    auto* combo = static_cast<QComboBox*>(dlg->Control(1008));
    EXPECT_TRUE(combo->isEditable());
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "250");
    EXPECT_EQ(dlg->IterationsText(), u"250");
    EXPECT_EQ(combo->count(), 12) << "typing adds nothing to the list";
    combo->setCurrentIndex(11);
    EXPECT_EQ(dlg->IterationsText(), u"100");
}

TEST_F(MainWindow, CloseStoresTheSettings) {
    auto dlg = Open();
    static_cast<QCheckBox*>(dlg->Control(1005))->setChecked(false);
    static_cast<QComboBox*>(dlg->Control(1049))->setCurrentIndex(1);
    dlg->State().stop = false;
    // No fixed wait any more: the close waits for running workers only (there are
    // none here); the benchmarks time it.
    dlg->close();
    EXPECT_TRUE(dlg->State().stop);
    EXPECT_FALSE(dlg->isVisible());
    LoadedSettings s = LoadSettings(SettingsFile());
    EXPECT_EQ(s.values.random, 0);
    EXPECT_EQ(s.values.endAction, 1);
    EXPECT_EQ(s.values.iterations, 5);
}
