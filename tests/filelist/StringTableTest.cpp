#include <gtest/gtest.h>

#include "filelist/StringTable.h"

TEST(StringTable, CellsRowsAndFind) {
    StringTable t;
    EXPECT_FALSE(t.SetSize(0, 1));
    EXPECT_FALSE(t.SetSize(1, -1));
    ASSERT_TRUE(t.SetSize(2, 2));
    EXPECT_EQ(t.GetCell(0, 5), "");
    EXPECT_EQ(t.Find(0, "x"), -1);
    EXPECT_TRUE(t.SetCell(0, 1, "x"));
    EXPECT_EQ(t.GetCell(0, 1), "x");
    EXPECT_EQ(t.Find(0, "x"), 1);
    EXPECT_EQ(t.Find(0, "X"), -1);
    EXPECT_TRUE(t.SetCellInt(1, 1, 0));
    EXPECT_EQ(t.GetCell(1, 1), "0");
    EXPECT_TRUE(t.DeleteRow(0));
    EXPECT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.GetCell(0, 0), "x");
    // Emptying and growing again starts with empty cells.
    EXPECT_TRUE(t.SetSize(2, 0));
    EXPECT_EQ(t.Find(0, "x"), -1);
    EXPECT_TRUE(t.AddRows(1));
    EXPECT_EQ(t.GetCell(0, 0), "");
}
