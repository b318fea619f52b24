#include <gtest/gtest.h>

#include "platform/ListCtrl.h"

TEST(ListCtrl, RowsTextsChecksAndStates) {
    CListCtrl list;
    list.InsertColumn(0, u"Filename", CListCtrl::Align::Left, 250);
    list.InsertColumn(1, u"Size", CListCtrl::Align::Left, 85);
    EXPECT_EQ(list.GetColumnCount(), 2);

    EXPECT_EQ(list.InsertItem(5, u"a"), 0);  // past the end appends
    EXPECT_EQ(list.InsertItem(1, u"b"), 1);
    list.SetItemText(1, 3, u"/p/b");
    EXPECT_EQ(list.GetItemText(1, 3), u"/p/b");
    EXPECT_EQ(list.GetItemText(1, 2), u"");
    EXPECT_EQ(list.GetItemText(7, 0), u"");
    EXPECT_FALSE(list.GetCheck(0));
    list.SetCheck(0);
    EXPECT_TRUE(list.GetCheck(0));
    list.SetItemState(0, CListCtrl::LVIS_SELECTED, CListCtrl::LVIS_SELECTED);
    EXPECT_TRUE(list.GetCheck(0)) << "selection leaves the check alone";
    EXPECT_EQ(list.GetItemState(0, 0xFF0F), CListCtrl::kChecked | CListCtrl::LVIS_SELECTED);
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetItemText(0, 0), u"b");
    EXPECT_FALSE(list.DeleteItem(3));
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
}
