#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "filelist/SortListCtrl.h"
#include "platform/qt/ListCtrlView.h"
#include "ui/MainWindowFixture.h"

namespace {
void Fill(CListCtrl& list, int n) {
    if (list.GetColumnCount() == 0) {
        list.InsertColumn(0, u"Filename", CListCtrl::Align::Left, 120);
        list.InsertColumn(1, u"Size", CListCtrl::Align::Right, 60);
        list.InsertColumn(2, u"", CListCtrl::Align::Left, 0);
    }
    for (int i = 0; i < n; ++i) {
        int r = list.InsertItem(list.GetItemCount(), u"file" + std::u16string(1, u'a' + i % 26));
        list.SetItemText(r, 1, u"1");
        list.SetCheck(r, true);
    }
}
}  // namespace

TEST(ListCtrlView, ShowsTheStoreWithChecksAndColumns) {
    CListCtrl store;
    Fill(store, 3);
    ListCtrlView view(store);
    view.resize(300, 200);
    view.show();
    auto& model = view.Model();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Filename");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "fileb");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(model.data(model.index(1, 1), Qt::CheckStateRole).isValid());
    EXPECT_TRUE(view.isColumnHidden(2));
    EXPECT_EQ(view.columnWidth(0), 120);

    // Unticking in the view reaches the store, and the other way round.
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(store.GetCheck(1));
    store.SetCheck(2, false);
    EXPECT_EQ(model.data(model.index(2, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    // Clicking the box of a row in the view.
    store.SetCheck(0, false);
    QRect cell = view.visualRect(model.index(0, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      QPoint(cell.left() + 10, cell.center().y()));
    EXPECT_TRUE(store.GetCheck(0)) << "the check box of row 0 sits at the left of its cell";

    // Rows appended and removed by the store.
    Fill(store, 2);
    EXPECT_EQ(model.rowCount(), 5);
    store.DeleteItem(0);
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "fileb");
    store.DeleteAllItems();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DisplayRole).isValid());
}

TEST(ListCtrlView, SelectionLivesInTheStore) {
    CListCtrl store;
    Fill(store, 6);
    ListCtrlView view(store);
    view.show();
    view.selectionModel()->select(
        QItemSelection(view.Model().index(1, 0), view.Model().index(2, 2)),
        QItemSelectionModel::Select);
    EXPECT_EQ(store.GetItemState(1, CListCtrl::LVIS_SELECTED), CListCtrl::LVIS_SELECTED);
    EXPECT_EQ(store.GetItemState(2, CListCtrl::LVIS_SELECTED), CListCtrl::LVIS_SELECTED);
    EXPECT_EQ(store.GetItemState(3, CListCtrl::LVIS_SELECTED), 0u);

    // Select all through the store: the view follows after one event-loop turn.
    for (int r = 0; r < store.GetItemCount(); ++r)
        store.SetItemState(r, CListCtrl::LVIS_SELECTED, CListCtrl::LVIS_SELECTED);
    store.SetItemState(4, 0, CListCtrl::LVIS_SELECTED);
    QApplication::processEvents();
    for (int r = 0; r < 6; ++r) EXPECT_EQ(view.selectionModel()->isRowSelected(r, {}), r != 4) << r;
    // Deleting a selected row keeps the others' selection in step.
    store.DeleteItem(0);
    view.SyncSelectionNow();
    for (int r = 0; r < store.GetItemCount(); ++r)
        EXPECT_EQ(view.selectionModel()->isRowSelected(r, {}),
                  store.GetItemState(r, CListCtrl::LVIS_SELECTED) != 0)
            << r;
}

TEST(ListCtrlView, ManyRowsSelectInOnePass) {
    CListCtrl store;
    Fill(store, 100000);
    ListCtrlView view(store);
    view.show();
    for (int r = 0; r < store.GetItemCount(); ++r)
        store.SetItemState(r, CListCtrl::LVIS_SELECTED, CListCtrl::LVIS_SELECTED);
    view.SyncSelectionNow();
    EXPECT_EQ(view.selectionModel()->selection().size(), 1) << "one range, not 100000";
    EXPECT_TRUE(view.selectionModel()->isRowSelected(99999, {}));
}

using MainWindowList = MainWindowFixture;

TEST_F(MainWindowList, HeaderClicksSortAndRowsHaveInfoTips) {
    auto dlg = Open();
    auto& list = dlg->List();
    auto add = [&](const std::u16string& name, const std::u16string& size,
                   const std::u16string& path) {
        dlg->AppendRow(name, size, u"2021-05-06 07:08:09", path);
    };
    add(u"b.txt", u"10", u"/d/b.txt");
    add(u"A.txt", u"9", u"/d/A.txt");
    add(u"<c>&.txt", u"100", u"/d/<c>&.txt");
    QHeaderView* header = dlg->ListView()->horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    clickHeader(1);
    EXPECT_EQ(list.GetItemText(0, 1), u"9");
    EXPECT_EQ(list.GetItemText(2, 1), u"100");
    clickHeader(1);
    EXPECT_EQ(list.GetItemText(0, 1), u"100");
    clickHeader(0);
    EXPECT_EQ(list.GetItemText(0, 0), u"<c>&.txt");
    EXPECT_EQ(list.GetItemText(1, 0), u"A.txt");
    // The arrow shows the order the rows are in.
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // The view shows the sorted rows.
    auto& model = dlg->ListView()->Model();
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "A.txt");

    EXPECT_EQ(list.InfoTip(1), u"A.txt\r\n9\r\n2021-05-06 07:08:09\r\n/d/");
    EXPECT_EQ(list.InfoTip(1, 8), u"A.txt\r\n");
    EXPECT_EQ(list.InfoTip(7), u"");
    QString tip = model.data(model.index(0, 1), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains("&lt;c&gt;&amp;.txt<br>100<br>")) << tip.toStdString();
    // A folder row shows its own path as the folder.
    dlg->AppendRow(u"sub/", u"0", u"FOLDER", u"/d/sub/");
    EXPECT_EQ(list.InfoTip(3), u"sub/\r\n0\r\nFOLDER\r\n/d/sub/");

    // Locked for a run: a header click does not sort.
    dlg->LockForRun();
    std::u16string first = list.GetItemText(0, 0);
    dlg->OnColumnClick(0);
    EXPECT_EQ(list.GetItemText(0, 0), first);
    dlg->UnlockAfterRun();
}
