#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "filelist/SortListCtrl.h"

namespace {

// A file list with the four columns of the main window.
void MakeColumns(CSortListCtrl& list) {
    list.InsertColumn(0, u"Filename");
    list.InsertColumn(1, u"Size");
    list.InsertColumn(2, u"Date");
    list.InsertColumn(3, u"");
}

int AddRow(CSortListCtrl& list, const std::u16string& name, const std::u16string& size,
           const std::u16string& date, const std::u16string& path) {
    int i = list.InsertItem(list.GetItemCount(), name);
    list.SetItemText(i, 1, size);
    list.SetItemText(i, 2, date);
    list.SetItemText(i, 3, path);
    list.SetCheck(i, true);
    return i;
}

std::vector<std::u16string> Column(const CSortListCtrl& list, int column) {
    std::vector<std::u16string> out;
    for (int r = 0; r < list.GetItemCount(); ++r) out.push_back(list.GetItemText(r, column));
    return out;
}

int Click(CSortListCtrl& list, int column) {
    int result = 7;
    list.OnColumnClick(
        column, column == 1 ? CSortListCtrl::SortInteger : CSortListCtrl::SortTextNoCase, result);
    return result;
}

using V = std::vector<std::u16string>;

}  // namespace

TEST(SortListCtrl, SizesSortAsNumbersOtherColumnsAsText) {
    CSortListCtrl list;
    MakeColumns(list);
    for (const char16_t* s : {u"10", u"9", u"100"}) AddRow(list, s, s, s, s);
    EXPECT_EQ(Click(list, 1), 0);
    EXPECT_EQ(Column(list, 1), (V{u"9", u"10", u"100"}));
    EXPECT_TRUE(list.Ascending());
    Click(list, 0);
    EXPECT_EQ(Column(list, 0), (V{u"10", u"100", u"9"}));
    Click(list, 2);
    EXPECT_EQ(Column(list, 2), (V{u"10", u"100", u"9"}));
}

TEST(SortListCtrl, ClicksReverseOrRestartAscending) {
    CSortListCtrl list;
    MakeColumns(list);
    AddRow(list, u"b.txt", u"5", u"2020-01-02 00:00:00", u"/x/b.txt");
    AddRow(list, u"A.txt", u"7", u"2020-01-01 00:00:00", u"/x/A.txt");
    Click(list, 0);
    EXPECT_EQ(Column(list, 0), (V{u"A.txt", u"b.txt"})) << "case is ignored";
    Click(list, 0);
    EXPECT_EQ(Column(list, 0), (V{u"b.txt", u"A.txt"})) << "second click reverses";
    EXPECT_FALSE(list.Ascending());

    // Size descending, then Date: the date column starts ascending.
    Click(list, 1);
    Click(list, 1);
    EXPECT_EQ(Column(list, 1), (V{u"7", u"5"}));
    Click(list, 2);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(Column(list, 2), (V{u"2020-01-01 00:00:00", u"2020-01-02 00:00:00"}));

    // A column past the header changes only the stored type.
    int result = 3;
    list.OnColumnClick(4, CSortListCtrl::SortReal, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(list.SortTypeInUse(), CSortListCtrl::SortReal);
    EXPECT_EQ(list.SortColumn(), 2);
    EXPECT_EQ(Column(list, 2), (V{u"2020-01-01 00:00:00", u"2020-01-02 00:00:00"}));
}

TEST(SortListCtrl, RowsKeepCheckSelectionAndPathTogether) {
    CSortListCtrl list;
    MakeColumns(list);
    AddRow(list, u"c", u"3", u"2020-01-03 00:00:00", u"/p/c");
    AddRow(list, u"a", u"1", u"2020-01-01 00:00:00", u"/p/a");
    AddRow(list, u"b", u"2", u"FOLDER", u"/p/b/");
    list.SetCheck(1, false);  // "a" unchecked
    list.SetItemState(2, CListCtrl::LVIS_SELECTED | CListCtrl::LVIS_FOCUSED,
                      CListCtrl::LVIS_SELECTED | CListCtrl::LVIS_FOCUSED);  // "b" selected
    list.SetItemData(0, 42);                                                // "c" carries its data
    Click(list, 0);
    ASSERT_EQ(Column(list, 0), (V{u"a", u"b", u"c"}));
    EXPECT_EQ(Column(list, 3), (V{u"/p/a", u"/p/b/", u"/p/c"}));
    EXPECT_EQ(Column(list, 1), (V{u"1", u"2", u"3"}));
    EXPECT_FALSE(list.GetCheck(0));
    EXPECT_TRUE(list.GetCheck(1));
    EXPECT_TRUE(list.GetCheck(2));
    EXPECT_EQ(list.GetItemState(1, 0xFFFF),
              CListCtrl::kChecked | CListCtrl::LVIS_SELECTED | CListCtrl::LVIS_FOCUSED);
    EXPECT_EQ(list.GetItemState(0, CListCtrl::LVIS_SELECTED), 0u);
    EXPECT_EQ(list.GetItemData(2), 42);

    // Dates ascending: the folder row comes after every dated row.
    Click(list, 2);
    EXPECT_EQ(Column(list, 2).back(), u"FOLDER");
    EXPECT_EQ(list.GetItemText(2, 3), u"/p/b/");
}

TEST(SortListCtrl, EmptyOneRowAndBadSwaps) {
    CSortListCtrl list;
    MakeColumns(list);
    Click(list, 0);
    EXPECT_EQ(list.GetItemCount(), 0);
    AddRow(list, u"only", u"1", u"d", u"/only");
    Click(list, 1);
    EXPECT_EQ(Column(list, 0), (V{u"only"}));
    EXPECT_FALSE(list.SwapRows(0, 0));
    EXPECT_FALSE(list.SwapRows(-1, 0));
    EXPECT_FALSE(list.SwapRows(0, 1));
    AddRow(list, u"two", u"2", u"e", u"/two");
    EXPECT_TRUE(list.SwapRows(0, 1));
    EXPECT_EQ(Column(list, 3), (V{u"/two", u"/only"}));
}

TEST(SortListCtrl, CompareTextsReadsTheFourWays) {
    CSortListCtrl list;
    MakeColumns(list);
    auto as = [&](int type) {
        list.SortByColumn(0, true, type);
        return &list;
    };
    // Integers: blanks, sign, digits up to the first non-digit; none give 0.
    EXPECT_TRUE(as(CSortListCtrl::SortInteger)->CompareTexts(u"  -5x", u"3", CSortListCtrl::Less));
    EXPECT_TRUE(list.CompareTexts(u"abc", u"0", CSortListCtrl::Equal));
    EXPECT_TRUE(list.CompareTexts(u"4", u"4", CSortListCtrl::LessEqual));
    EXPECT_TRUE(list.CompareTexts(u"4", u"4", CSortListCtrl::GreaterEqual));
    EXPECT_FALSE(list.CompareTexts(u"4", u"4", CSortListCtrl::Greater));
    // Sizes beyond 32 bits still order by size.
    EXPECT_TRUE(list.CompareTexts(u"3000000000", u"5000000000", CSortListCtrl::Less));
    EXPECT_TRUE(list.CompareTexts(u"99999999999999999999999", u"1", CSortListCtrl::Greater));
    // Reals, with "." whatever the locale.
    EXPECT_TRUE(as(CSortListCtrl::SortReal)->CompareTexts(u"1.5", u"1.25", CSortListCtrl::Greater));
    EXPECT_TRUE(list.CompareTexts(u" -2e1", u"-19.5", CSortListCtrl::Less));
    EXPECT_TRUE(list.CompareTexts(u"word", u"0", CSortListCtrl::Equal));
    // Text: ordinal and case-sensitive; a prefix is smaller.
    EXPECT_TRUE(as(CSortListCtrl::SortText)->CompareTexts(u"B", u"a", CSortListCtrl::Less));
    EXPECT_TRUE(list.CompareTexts(u"ab", u"abc", CSortListCtrl::Less));
    EXPECT_TRUE(list.CompareTexts(u"\u00e9", u"z", CSortListCtrl::Greater));
    // Without case: only a..z are folded.
    EXPECT_TRUE(
        as(CSortListCtrl::SortTextNoCase)->CompareTexts(u"abc", u"ABC", CSortListCtrl::Equal));
    EXPECT_FALSE(list.CompareTexts(u"\u00e9", u"\u00c9", CSortListCtrl::Equal));
    EXPECT_TRUE(list.CompareTexts(u"_", u"a", CSortListCtrl::Greater)) << "'_' lies above 'A'";
}

TEST(SortListCtrl, RealsAreReadAsStrtodReadsThem) {
    CSortListCtrl list;
    MakeColumns(list);
    list.SortByColumn(0, true, CSortListCtrl::SortReal);
    // The test runs in the "C" locale, where strtod is the reference.
    const std::vector<std::string> texts = {
        "1e400", "-1e400",    "1e-400", "--5",   "+-5", "-+5",   "0x10", "0X1p4", "-0x.8",
        "inf",   "-Infinity", "nan",    "  \t7", "+.5", ".",     "e5",   "5e",    "5e+",
        "1.5.2", "0x",        "12abc",  "",      " ",   "0.1e1", "1,5",  "1_000", "007"};
    for (const std::string& a : texts) {
        const double x = std::strtod(a.c_str(), nullptr);
        const std::u16string wa(a.begin(), a.end());
        for (const std::string& b : texts) {
            const double y = std::strtod(b.c_str(), nullptr);
            const std::u16string wb(b.begin(), b.end());
            EXPECT_EQ(list.CompareTexts(wa, wb, CSortListCtrl::Less), x < y) << a << " < " << b;
            EXPECT_EQ(list.CompareTexts(wa, wb, CSortListCtrl::Equal), x == y) << a << " = " << b;
        }
    }
    // Reading stops at the first character outside ASCII.
    EXPECT_TRUE(list.CompareTexts(u"12\u00b3", u"12", CSortListCtrl::Equal));
    EXPECT_TRUE(list.CompareTexts(u"\u22125", u"0", CSortListCtrl::Equal));
}

TEST(SortListCtrl, LargeSortedReversedAndEqualInputs) {
    // Already sorted, reversed and all-equal lists: the pivot choice keeps these
    // fast and the result correct in both directions.
    for (int pattern = 0; pattern < 3; ++pattern) {
        CSortListCtrl list;
        MakeColumns(list);
        const int n = 20000;
        for (int i = 0; i < n; ++i) {
            int v = pattern == 0 ? i : pattern == 1 ? n - i : 7;
            std::u16string t;
            for (char c : std::to_string(v)) t.push_back(static_cast<char16_t>(c));
            AddRow(list, t, t, t, t);
        }
        list.SortByColumn(1, true, CSortListCtrl::SortInteger);
        for (int r = 1; r < n; ++r)
            ASSERT_TRUE(list.CompareTexts(list.GetItemText(r - 1, 1), list.GetItemText(r, 1),
                                          CSortListCtrl::LessEqual))
                << "pattern " << pattern << " row " << r;
        list.SortByColumn(1, false, CSortListCtrl::SortInteger);
        for (int r = 1; r < n; ++r)
            ASSERT_TRUE(list.CompareTexts(list.GetItemText(r - 1, 1), list.GetItemText(r, 1),
                                          CSortListCtrl::GreaterEqual))
                << "pattern " << pattern << " row " << r;
        for (int r = 0; r < n; ++r) ASSERT_EQ(list.GetItemText(r, 0), list.GetItemText(r, 3));
    }
}

TEST(SortListCtrl, TextsBeyondAsciiSortByTheirUnits) {
    // Units, not the bytes a text is kept in, give the order: a pair (U+1F600)
    // comes before U+FF01, an escaped byte (U+DC80..) before U+E000, and common
    // plain heads decide first, with a..z folded where case is ignored.
    const std::vector<std::u16string> names = {u"\uFF01",
                                               u"\U0001F600",
                                               std::u16string{0xDC80},
                                               std::u16string{0xD800},
                                               u"\uE000",
                                               u"dir/\u00E9",
                                               u"DIR/e",
                                               u"dir/E\U0001F600",
                                               u"dir/e\uFF01",
                                               u"a",
                                               u"B",
                                               u"b\u00E9",
                                               u"",
                                               u"dir/",
                                               std::u16string{u'a', 0},
                                               std::u16string{0xDCFF, u'x'}};
    for (int type : {CSortListCtrl::SortText, CSortListCtrl::SortTextNoCase}) {
        for (bool ascending : {true, false}) {
            CSortListCtrl list;
            MakeColumns(list);
            for (size_t i = 0; i < names.size(); ++i)
                AddRow(list, names[(i * 7) % names.size()], u"0", u"",
                       u"/p/" + names[(i * 7) % names.size()]);
            list.SortByColumn(0, ascending, type);
            ASSERT_EQ(list.GetItemCount(), static_cast<int>(names.size()));
            for (int r = 0; r < list.GetItemCount(); ++r) {
                EXPECT_EQ(list.GetItemText(r, 3), u"/p/" + list.GetItemText(r, 0));
                if (r == 0) continue;
                EXPECT_TRUE(list.CompareTexts(
                    list.GetItemText(r - 1, 0), list.GetItemText(r, 0),
                    ascending ? CSortListCtrl::LessEqual : CSortListCtrl::GreaterEqual))
                    << "type " << type << " row " << r;
            }
        }
    }
}
