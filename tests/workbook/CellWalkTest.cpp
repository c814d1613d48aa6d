#include <gtest/gtest.h>

#include <set>

#include "workbook/WbManager.h"
#include "workbook/XLSCellWalk.h"

using namespace tessaly;

TEST(CellWalk, VisitsExactlyTheStoredCellsInRowMajorOrder) {
    TWbManager manager;
    TXLSCellStore& store = manager.Worksheets().AddWorksheetData(-1).Cells();
    // Sparse and out of order: gaps, a wide row, a formula entry, a row with only its record,
    // and a row in a far block.
    store.StoreNumber(16383, 1048575, 1, 0);
    store.StoreNumber(0, 0, 1.5, 0);
    store.StoreText(300, 0, u"x", 0);
    store.StoreBlank(2, 0, 0);
    store.StoreRowRecord(5, TXLSRowRecord());
    store.FormulaHelper().Col = 7;
    store.FormulaHelper().Row = 3;
    store.FormulaHelper().SetFormulaText(u"1+1");
    store.FormulaHelper().SetNumberResult(2);
    store.StoreFormula();
    store.StoreBoolean(8, 3, true, 0);
    store.StoreBoolean(9, 3, false, 0);

    std::vector<std::pair<int32_t, int32_t>> seen;
    TXLSCellWalker walker(store);
    int32_t col, row;
    while (walker.Next(col, row)) seen.emplace_back(row, col);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {0, 0}, {0, 2}, {0, 300}, {3, 7}, {3, 8}, {3, 9}, {1048575, 16383}};
    EXPECT_EQ(seen, expected);
}

TEST(CellWalk, EmptyStoreHasNoCells) {
    TWbManager manager;
    TXLSCellWalker walker(manager.Worksheets().AddWorksheetData(-1).Cells());
    int32_t col, row;
    EXPECT_FALSE(walker.Next(col, row));
}

TEST(CellWalk, StoresDuringTheWalkAreSeenRightOfTheLastCellGiven) {
    TWbManager manager;
    TXLSCellStore& store = manager.Worksheets().AddWorksheetData(-1).Cells();
    for (int32_t col : {0, 1, 2, 200}) store.StoreNumber(col, 0, col, 0);
    store.StoreNumber(0, 1, 1, 0);

    std::vector<std::pair<int32_t, int32_t>> seen;
    TXLSCellWalker walker(store);
    int32_t col, row;
    while (walker.Next(col, row)) {
        seen.emplace_back(row, col);
        if (row == 0 && col == 1) {
            // Each store moves the row's bytes: the walk finds its place again.
            store.StoreText(0, 0, u"left, already passed", 0);
            store.StoreBoolean(1, 0, true, 0);
            store.StoreNumber(3, 0, 1.5, 0);
            for (int32_t c = 500; c < 700; ++c) store.StoreNumber(c, 0, c, 0);
            store.StoreNumber(5, 1, 5, 0);
            store.Compact();
        }
    }
    std::vector<std::pair<int32_t, int32_t>> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 200}};
    for (int32_t c = 500; c < 700; ++c) expected.emplace_back(0, c);
    expected.insert(expected.end(), {{1, 0}, {1, 5}});
    EXPECT_EQ(seen, expected);

    // A store that empties the sheet ends the walk.
    TXLSCellWalker cleared(store);
    ASSERT_TRUE(cleared.Next(col, row));
    store.ClearCells();
    EXPECT_FALSE(cleared.Next(col, row));
}
