// The file list with the keyboard alone: Tab goes in and out of it, the keys of
// a list move, tick, remove the ticked rows and sort, and the focus follows the
// layout.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>

#include "ui/MainWindowFixture.h"

namespace {

class ListKeyboard : public MainWindowFixture {
  protected:
    void AddRows(CKelvaneDlg& dlg) {
        dlg.AppendRow(u"b.txt", u"300", u"2021-01-01 00:00:00", u"/nowhere/b.txt");
        dlg.AppendRow(u"a.txt", u"1000", u"2022-01-01 00:00:00", u"/nowhere/a.txt");
        dlg.AppendRow(u"c.txt", u"20", u"2020-01-01 00:00:00", u"/nowhere/c.txt");
        QApplication::processEvents();
    }
    static QStringList Names(CKelvaneDlg& dlg) {
        QStringList out;
        for (int i = 0; i < dlg.List().GetItemCount(); ++i)
            out << QString::fromStdU16String(dlg.List().GetItemText(i, 0));
        return out;
    }
    static void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
        QApplication::processEvents();
    }
    // The control of `dlg` that holds the focus (a drop-down's field counts as it).
    static int Focused(CKelvaneDlg& dlg) {
        QWidget* f = QApplication::focusWidget();
        for (int id = 1000; id < 1060; ++id)
            if (QWidget* c = dlg.Control(id); c && (c == f || c->isAncestorOf(f))) return id;
        return -1;
    }
};

}  // namespace

TEST_F(ListKeyboard, TabLeavesTheListAndItsKeysMoveTickRemoveAndSort) {
    auto dlg = Open();
    AddRows(*dlg);
    QWidget* list = dlg->Control(CKelvaneDlg::IDC_LIST);
    list->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_EQ(Focused(*dlg), CKelvaneDlg::IDC_LIST);

    // Tab walks the window as it reads, and comes back round to the list.
    using D = CKelvaneDlg;
    const std::vector<int> order = {D::IDC_ADD,        D::IDC_ADD_FOLDER, D::IDC_REMOVE,
                                    D::IDC_CLEAR,      D::IDC_ITERATIONS, D::IDC_MODIFY_SIZE,
                                    D::IDC_RANDOM,     D::IDC_CONFIRM,    D::IDC_SHRED_NAMES,
                                    D::IDC_END_ACTION, D::IDC_SHRED,      D::IDC_SHRED_FREE};
    std::vector<int> seen;
    for (size_t i = 0; i < order.size(); ++i) {
        Key(Qt::Key_Tab);
        seen.push_back(Focused(*dlg));
    }
    EXPECT_EQ(seen, order);
    for (size_t i = 0; i < order.size(); ++i) Key(Qt::Key_Backtab);
    EXPECT_EQ(Focused(*dlg), D::IDC_LIST) << "Shift+Tab comes back";
    Key(Qt::Key_Backtab);
    EXPECT_NE(Focused(*dlg), D::IDC_LIST) << "and Shift+Tab leaves it too";
    list->setFocus(Qt::TabFocusReason);

    auto* view = dlg->ListView();
    view->setCurrentIndex(view->model()->index(1, 1));
    Key(Qt::Key_End);
    EXPECT_EQ(view->currentIndex().row(), 2);
    Key(Qt::Key_Home);
    EXPECT_EQ(view->currentIndex().row(), 0);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->currentIndex().row(), 2);
    Key(Qt::Key_Up);
    EXPECT_EQ(view->currentIndex().row(), 1);

    // Space ticks the current row and clears it again.
    const bool before = dlg->List().GetCheck(1);
    Key(Qt::Key_Space);
    EXPECT_NE(dlg->List().GetCheck(1), before);
    Key(Qt::Key_Space);
    EXPECT_EQ(dlg->List().GetCheck(1), before);

    // Ctrl+1..3 sort by name, size, date; again reverses.
    Key(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(Names(*dlg), QStringList({"a.txt", "b.txt", "c.txt"}));
    Key(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(Names(*dlg), QStringList({"c.txt", "b.txt", "a.txt"}));
    Key(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(Names(*dlg), QStringList({"a.txt", "b.txt", "c.txt"}));
    Key(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(Names(*dlg), QStringList({"c.txt", "b.txt", "a.txt"}));
    ASSERT_NE(dlg->MenuAction(D::ID_SORT_SIZE), nullptr) << "sorting is in the View menu too";

    // Delete takes the selected rows off the list, whatever is ticked; Ctrl+Z
    // puts them back where they were, ticked as they were.
    ASSERT_TRUE(dlg->List().GetCheck(0) && dlg->List().GetCheck(1) && dlg->List().GetCheck(2));
    list->setFocus(Qt::TabFocusReason);
    Key(Qt::Key_Home);
    Key(Qt::Key_Space);  // c.txt unticked
    Key(Qt::Key_Down);   // b.txt: the cursor's row, selected
    Key(Qt::Key_Delete);
    EXPECT_EQ(Names(*dlg), QStringList({"c.txt", "a.txt"}));
    EXPECT_EQ(view->currentIndex().row(), 1) << "the cursor stays where the row was";
    EXPECT_EQ(dlg->StatusText(), u"Amount of files: 2");
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Names(*dlg), QStringList({"c.txt", "b.txt", "a.txt"}));
    EXPECT_FALSE(dlg->List().GetCheck(0));
    EXPECT_TRUE(dlg->List().GetCheck(1));
    EXPECT_EQ(dlg->StatusText(), u"Amount of files: 3");
    Key(Qt::Key_Z, Qt::ControlModifier);  // only the last removal: nothing more
    EXPECT_EQ(dlg->List().GetItemCount(), 3);
    // Several selected rows go together, ticked or not; the Edit menu undoes too.
    Key(Qt::Key_Home);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Names(*dlg), QStringList({"a.txt"}));
    QAction* undo = dlg->MenuAction(D::ID_UNDO_REMOVE);
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->text(), QStringLiteral("&Undo removal"));
    undo->trigger();
    EXPECT_EQ(Names(*dlg), QStringList({"c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(Focused(*dlg), D::IDC_LIST);
    // Remove (the button and the menu) still takes the ticked rows.
    dlg->OnCommand(D::ID_REMOVE_SELECTED);
    EXPECT_EQ(Names(*dlg), QStringList({"c.txt"}));
}

// After a dialog, a listing or a run the keyboard is back in the list, never on
// the end action, where an arrow key would change what follows the next run.
TEST_F(ListKeyboard, FocusComesBackToTheListAfterDialogsListingsAndRuns) {
    auto dlg = Open();
    AddRows(*dlg);
    using D = CKelvaneDlg;
    auto parkOnEndAction = [&] {
        dlg->Control(D::IDC_END_ACTION)->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        ASSERT_EQ(Focused(*dlg), D::IDC_END_ACTION);
    };
    // A dialog: Add files, cancelled.
    parkOnEndAction();
    dlg->OnCommand(D::ID_ADD_FILES);
    QApplication::processEvents();
    EXPECT_EQ(Focused(*dlg), D::IDC_LIST);
    // A listing and a run end with the window unlocked.
    for (int i = 0; i < 2; ++i) {
        parkOnEndAction();
        dlg->LockForRun();
        dlg->UnlockAfterRun();
        QApplication::processEvents();
        EXPECT_EQ(Focused(*dlg), D::IDC_LIST) << i;
    }
    const int endAction = static_cast<QComboBox*>(dlg->Control(D::IDC_END_ACTION))->currentIndex();
    Key(Qt::Key_Down);
    EXPECT_EQ(static_cast<QComboBox*>(dlg->Control(D::IDC_END_ACTION))->currentIndex(), endAction);
}

TEST_F(ListKeyboard, TheSortedColumnShowsItsArrowAndSaysItsOrder) {
    auto dlg = Open();
    AddRows(*dlg);
    QHeaderView* header = dlg->ListView()->horizontalHeader();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(dlg->ListView());
    ASSERT_NE(table, nullptr);
    // What a screen reader hears of each column header besides its text.
    auto spoken = [&] {
        QStringList out;
        for (int i = 0; i < table->childCount(); ++i)
            if (QAccessibleInterface* c = table->child(i);
                c && c->role() == QAccessible::ColumnHeader)
                out << c->text(QAccessible::Description);
        return out.mid(0, 3);
    };
    EXPECT_FALSE(header->isSortIndicatorShown()) << "nothing sorted yet";

    // A click on "Size" sorts by it; the arrow and the spoken order follow.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QApplication::processEvents();
    ASSERT_EQ(Names(*dlg), QStringList({"c.txt", "b.txt", "a.txt"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(spoken(), QStringList({"", "sorted ascending", ""}));

    // Again from the keyboard reverses; another language keeps what is shown.
    dlg->ListView()->setFocus();
    Key(Qt::Key_2, Qt::ControlModifier);
    dlg->ApplyTexts();
    QApplication::processEvents();
    EXPECT_EQ(Names(*dlg), QStringList({"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(spoken(), QStringList({"", "sorted descending", ""}));
    Key(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(spoken(), QStringList({"sorted ascending", "", ""}));
}
