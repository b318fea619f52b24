#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/TextConv.h"
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

TEST(ListCtrl, PackedTextsKeepEveryUnitThroughAddsChangesAndRemovals) {
    // Names whose bytes are not UTF-8 (held as escaped units), a lone surrogate,
    // a pair, a NUL and characters of every packed width must come back as they
    // went in, however the row got there, and after the texts were rewritten.
    const std::string badBytes = "/data/\xff\xfe-\xc3(\xed\xa0\x80.bin";
    const std::u16string odd = {u'a', 0xD800, u'b', 0xDFFF, 0, 0x00E9, 0x20AC, 0xD83D, 0xDE00};
    CListCtrl list;
    for (int c = 0; c < 4; ++c) list.InsertColumn(c, u"");
    list.InsertItem(0, odd);
    list.SetItemText(0, 3, WideFromUtf8(badBytes));
    std::vector<CListCtrl::Item> items(2);
    items[0].texts = {u"x", u"1", u"2020-01-01 00:00:00", odd};
    items[1].state = CListCtrl::kChecked;
    list.AppendItems(std::move(items));
    RowTextArena::Batch batch;
    batch.Add({odd, u"12", u"FOLDER", WideFromUtf8(badBytes)});
    list.AppendBatch(std::move(batch), CListCtrl::kChecked);

    ASSERT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(list.GetItemText(0, 0), odd);
    EXPECT_EQ(Utf8FromWide(list.GetItemText(0, 3)), badBytes);
    EXPECT_EQ(list.GetItemText(1, 3), odd);
    EXPECT_EQ(list.GetItemText(2, 0), u"");
    EXPECT_TRUE(list.GetCheck(2));
    EXPECT_EQ(list.GetItem(3).texts,
              (std::vector<std::u16string>{odd, u"12", u"FOLDER", WideFromUtf8(badBytes)}));
    EXPECT_TRUE(list.GetCheck(3));

    // Many rows changed and removed: the waste is given back, the rest stays
    // whole.
    const size_t before = list.TextBytesHeld();
    for (int i = 0; i < 20000; ++i) {
        const int row = list.InsertItem(list.GetItemCount(), u"n" + std::u16string(60, u'x'));
        list.SetItemText(row, 3, WideFromUtf8(badBytes) + u"/" + std::u16string(60, u'y'));
    }
    for (int i = 0; i < 4 + 20000; i += 2) list.SetCheck(i, true);
    list.SetCheck(1, true);
    list.SetCheck(3, true);
    EXPECT_EQ(list.DeleteCheckedItems(), 4 + 10000);
    while (list.GetItemCount() > 2) list.DeleteItem(0);
    EXPECT_LT(list.TextBytesHeld(), before + 1536 * 1024) << "of some 5 MiB written";
    EXPECT_EQ(list.GetItemText(1, 0), u"n" + std::u16string(60, u'x'));
    EXPECT_EQ(Utf8FromWide(list.GetItemText(1, 3)), badBytes + "/" + std::string(60, 'y'));
    list.DeleteAllItems();
    EXPECT_EQ(list.TextBytesHeld(), 0u);
}
