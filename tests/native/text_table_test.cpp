#include "core/text_table.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

TEST(TextTable, InsertAppendsOrInsertsAndLeavesOtherCellsEmpty) {
    TextTable t(3);
    EXPECT_EQ(t.insert_row(-1, "a"), 0);
    EXPECT_EQ(t.insert_row(99, "c"), 1);
    EXPECT_EQ(t.insert_row(1, "b"), 1);
    ASSERT_EQ(t.row_count(), 3);
    EXPECT_EQ(t.cell(0, 0), "a");
    EXPECT_EQ(t.cell(1, 0), "b");
    EXPECT_EQ(t.cell(2, 0), "c");
    EXPECT_EQ(t.cell(1, 1), "");
    EXPECT_EQ(t.cell(1, 2), "");
}

TEST(TextTable, CellsOutsideTheTableReadEmptyAndIgnoreWrites) {
    TextTable t(2);
    t.insert_row(-1, "x");
    t.set_cell(1, 0, "nope");
    t.set_cell(-1, 0, "nope");
    t.set_cell(0, 2, "nope");
    EXPECT_EQ(t.row_count(), 1);
    EXPECT_EQ(t.cell(-1, 0), "");
    EXPECT_EQ(t.cell(1, 0), "");
    EXPECT_EQ(t.cell(0, 2), "");
    EXPECT_EQ(t.cell(0, 0), "x");
}

TEST(RebuildUrlRows, NumbersAcceptedLinesConsecutivelyWithBlankTitles) {
    TextTable t(kUrlColumnCount);
    t.insert_row(-1, "old");
    EXPECT_EQ(rebuild_url_rows(t, "www.a.com\r\nhttp://b/\r\nftp://c/\r\nhttps://d/\r\n"), 2);
    EXPECT_EQ(t.cell(0, kNumberColumn), "1");
    EXPECT_EQ(t.cell(0, kUrlColumn), "http://b/");
    EXPECT_EQ(t.cell(1, kNumberColumn), "2");
    EXPECT_EQ(t.cell(1, kUrlColumn), "https://d/");
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(t.cell(row, kTitleColumn), " ");
        EXPECT_EQ(t.cell(row, kTimeColumn), "");
    }
    EXPECT_EQ(rebuild_url_rows(t, ""), 0);
    EXPECT_EQ(t.row_count(), 0);
}

}  // namespace
}  // namespace quarnel
