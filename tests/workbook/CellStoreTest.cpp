// The cell store's behaviour: reading back, used area, use counting, refusals and damaged data.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <tuple>
#include <variant>

#include "core/Exception.h"
#include "workbook/WbDataSST.h"
#include "workbook/WbDataStyleSheet.h"
#include "workbook/XLSCellStore.h"

namespace tessaly {
namespace {

class CellStoreTest : public ::testing::Test {
protected:
    CellStoreTest() {
        for (int i = 0; i < 8; ++i) styles.AddXF(TWbXF());
    }
    TXLSCellRef Locate(int32_t col, int32_t row) {
        TXLSCellRef ref;
        EXPECT_TRUE(store.LocateCell(col, row, ref)) << col << "," << row;
        return ref;
    }
    TWbDataStyleSheet styles;
    TWbDataSST sst{styles};
    TXLSCellStore store{sst, styles};
};

// "s" and one letter: the texts of the string cells.
std::u16string Letter(char16_t prefix, char16_t letter) {
    std::u16string text(2, prefix);
    text[1] = letter;
    return text;
}

void ExpectMessage(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(), message);
    }
}

TEST_F(CellStoreTest, EveryKindReadsBackWithItsStyle) {
    store.StoreBlank(0, 0, 4);
    store.StoreBoolean(1, 0, true, 0);
    store.StoreError(2, 0, 2, 1);
    store.StoreNumber(3, 0, 0.1, 2);
    store.StoreText(4, 0, u"\u4E2D\u6587", 3);
    auto& f = store.FormulaHelper();
    f.Col = 5;
    f.Style = 5;
    f.SetFormulaText(u"SUM(A1:B1)");
    f.SetTextResult(u"x");
    store.StoreFormula();

    TXLSCellRef ref = Locate(0, 0);
    EXPECT_EQ(TXLSCellStore::KindOfTag(ref.Tag), xckBlank);
    EXPECT_EQ(store.ReadStyle(ref), 4);
    ref = Locate(1, 0);
    EXPECT_EQ(TXLSCellStore::KindOfTag(ref.Tag), xckBoolean);
    EXPECT_TRUE(store.ReadBoolean(ref));
    EXPECT_EQ(store.ReadStyle(ref), 0);
    ref = Locate(2, 0);
    EXPECT_EQ(store.ReadError(ref), 2);
    EXPECT_EQ(store.ReadStyle(ref), 1);
    ref = Locate(3, 0);
    EXPECT_EQ(store.ReadNumber(ref), 0.1);   // ten hundredths read as the double nearest 0.1
    EXPECT_EQ(store.ReadStyle(ref), 2);
    ref = Locate(4, 0);
    EXPECT_EQ(TXLSCellStore::KindOfTag(ref.Tag), xckString);
    EXPECT_EQ(store.ReadText(ref), u"\u4E2D\u6587");
    EXPECT_EQ(store.ReadStringIndex(ref), 0u);
    ref = Locate(5, 0);
    EXPECT_EQ(TXLSCellStore::KindOfTag(ref.Tag), xckStringFormula);
    EXPECT_EQ(store.ReadFormulaText(ref), u"x");
    EXPECT_EQ(store.ReadStyle(ref), 5);
    EXPECT_EQ(store.ReadText(ref), u"");   // not a string tag
    const TXLSFormulaBody body = store.ReadFormulaBody(ref);
    EXPECT_TRUE(body.IsText);
    EXPECT_EQ(body.Text, u"SUM(A1:B1)");
}

TEST_F(CellStoreTest, FormulaBodiesReadBackAsStaged) {
    auto& f = store.FormulaHelper();
    const std::vector<uint8_t> tokens{0x1E, 0x01, 0x00, 0xFE};
    f.SetCompiled(tokens);
    f.SetNumberResult(-3.5);
    f.HasRange = true;
    f.Range = {0, 0, 2, 4};
    f.HasTable = true;
    f.TableFlags = 3;
    f.Input1 = {7, 70000};
    f.Input2 = {8, 80};
    store.StoreFormula();
    f.Col = 1;
    f.FormulaType = 5;
    f.Master = {300, 1048575};
    f.SetErrorResult(7);
    store.StoreFormula();
    f.Col = 2;
    f.SetBooleanResult(false);   // no body at all: an empty compiled block
    store.StoreFormula();

    TXLSCellRef ref = Locate(0, 0);
    EXPECT_EQ(store.ReadFormulaNumber(ref), -3.5);
    TXLSFormulaBody body = store.ReadFormulaBody(ref);
    EXPECT_FALSE(body.IsText);
    EXPECT_EQ(body.Compiled, tokens);
    EXPECT_TRUE(body.HasRange);
    EXPECT_EQ(body.Range.LastCol, 2);
    EXPECT_EQ(body.Range.LastRow, 4);
    EXPECT_TRUE(body.HasTable);
    EXPECT_EQ(body.TableFlags, 3);
    EXPECT_EQ(body.Input1.Row, 70000);
    EXPECT_EQ(body.Input2.Col, 8);

    ref = Locate(1, 0);
    EXPECT_EQ(TXLSCellStore::KindOfTag(ref.Tag), xckErrorFormula);
    EXPECT_EQ(store.ReadFormulaError(ref), 7);
    body = store.ReadFormulaBody(ref);
    EXPECT_EQ(body.FormulaType, 5);
    EXPECT_EQ(body.Master.Col, 300);
    EXPECT_EQ(body.Master.Row, 1048575);

    ref = Locate(2, 0);
    EXPECT_FALSE(store.ReadFormulaBoolean(ref));
    EXPECT_TRUE(store.ReadFormulaBody(ref).Compiled.empty());
}

TEST_F(CellStoreTest, LocateFailsOutsideTheStoredCells) {
    store.StoreNumber(5, 300, 1, 0);
    store.StoreNumber(300, 300, 1, 0);
    TXLSCellRef ref;
    for (auto [col, row] : {std::pair{0, 300}, {4, 300}, {6, 300}, {299, 300}, {301, 300}, {5, 299},
                            {5, -1}, {-1, 300}, {5, 512}, {5, 1048575}, {5, 1 << 30}})
        EXPECT_FALSE(store.LocateCell(col, row, ref)) << col << "," << row;
    EXPECT_TRUE(store.LocateCell(300, 300, ref));
    EXPECT_EQ(store.BlockCount(), 2u);
}

TEST_F(CellStoreTest, ALeftToRightWalkFindsWhatARandomWalkFinds) {
    // The walk continues from the last found run; jumping back must start over.
    for (int col = 0; col < 600; col += (col % 7) + 1) store.StoreNumber(col, 0, col, col % 3 == 0 ? 1 : 0);
    std::vector<bool> present(700);
    for (int col = 0; col < 600; col += (col % 7) + 1) present[col] = true;
    std::mt19937 random(5);
    TXLSCellRef ref;
    for (int i = 0; i < 3000; ++i) {
        const int col = i < 700 ? i : static_cast<int>(random() % 700);
        ASSERT_EQ(store.LocateCell(col, 0, ref), present[col]) << col;
        if (present[col]) {
            ASSERT_EQ(store.ReadNumber(ref), col);
        }
    }
}

TEST_F(CellStoreTest, ReadsAfterAStoreSeeTheStoredCell) {
    // Reads remember the run they found; every store must make them look again.
    for (int32_t col = 0; col < 10; ++col) store.StoreNumber(col, 0, col, 0);
    TXLSCellRef ref;
    ASSERT_TRUE(store.LocateCell(4, 0, ref));
    store.StoreBoolean(5, 0, true, 0);                          // splits the run it was in
    EXPECT_FALSE(store.LocateCell(4, -1, ref));                 // the forgotten row is no row
    EXPECT_EQ(store.ReadBoolean(Locate(5, 0)), true);
    EXPECT_EQ(store.ReadNumber(Locate(6, 0)), 6);
    ASSERT_TRUE(store.LocateCell(9, 0, ref));
    store.StoreRowRecord(1, TXLSRowRecord());                   // a new row in the same block
    for (int32_t col = 0; col < 300; ++col) store.StoreNumber(col, 1, 1000 + col, 0);
    store.StoreNumber(10, 0, 10, 0);                            // moves row 0 behind row 1
    for (int32_t col = 0; col <= 10; ++col) {
        if (col == 5) continue;
        ASSERT_EQ(store.ReadNumber(Locate(col, 0)), col);
    }
    store.ReplaceRowVectorBytes(0, store.RowVectorBytes(1));
    EXPECT_EQ(store.ReadNumber(Locate(0, 0)), 1000);
    store.Compact();
    EXPECT_EQ(store.ReadNumber(Locate(299, 0)), 1299);
    store.ClearCells();
    EXPECT_FALSE(store.LocateCell(299, 0, ref));
}

TEST_F(CellStoreTest, TheFarthestCellOfASheetIsStored) {
    store.StoreNumber(kMaxCol, kMaxRow, 42, 0);
    store.StoreRowRecord(kMaxRow - 1, TXLSRowRecord());
    TXLSCellRef ref = Locate(kMaxCol, kMaxRow);
    EXPECT_EQ(store.ReadNumber(ref), 42);
    store.RecalcUsedArea();
    EXPECT_EQ(store.UsedArea().FirstRow, kMaxRow - 1);
    EXPECT_EQ(store.UsedArea().LastRow, kMaxRow);
    EXPECT_EQ(store.UsedArea().FirstCol, kMaxCol);
    EXPECT_EQ(store.UsedArea().LastCol, kMaxCol);
}

TEST_F(CellStoreTest, UsedArea) {
    // Fresh and cleared: -1 until recalculated; empty: 0, 0, 0, 0.
    EXPECT_EQ(store.UsedArea().FirstRow, -1);
    EXPECT_EQ(store.UsedArea().LastCol, -1);
    store.RecalcUsedArea();
    EXPECT_EQ(std::tie(store.UsedArea().FirstRow, store.UsedArea().LastRow, store.UsedArea().FirstCol,
                       store.UsedArea().LastCol),
              std::make_tuple(0, 0, 0, 0));

    // A row record alone counts for the rows, not for the columns; rows after an empty block
    // keep their true numbers.
    store.StoreRowRecord(2, TXLSRowRecord());
    store.StoreNumber(4, 600, 1, 0);
    store.StoreNumber(9, 601, 1, 0);
    store.StoreNumber(130, 3, 1, 0);
    store.RecalcUsedArea();
    EXPECT_EQ(std::tie(store.UsedArea().FirstRow, store.UsedArea().LastRow, store.UsedArea().FirstCol,
                       store.UsedArea().LastCol),
              std::make_tuple(2, 601, 4, 130));

    store.SetUsedArea(1, 2, 3, 4);
    EXPECT_EQ(store.UsedArea().LastCol, 4);

    store.ClearCells();
    EXPECT_EQ(store.UsedArea().FirstRow, -1);
    EXPECT_EQ(store.BlockCount(), 1u);
    TXLSCellRef ref;
    EXPECT_FALSE(store.LocateCell(4, 600, ref));

    // Only row records: no column at all, so the whole area falls back to zeros.
    store.StoreRowRecord(7, TXLSRowRecord());
    store.RecalcUsedArea();
    EXPECT_EQ(std::tie(store.UsedArea().FirstRow, store.UsedArea().LastRow), std::make_tuple(0, 0));
}

TEST_F(CellStoreTest, UsesOfFormatsAndStringsFollowTheCells) {
    const int32_t base0 = styles.XFUseCount(0);
    store.StoreNumber(0, 0, 1, 3);     // a new row takes a use of format 0, the cell one of 3
    EXPECT_EQ(styles.XFUseCount(0), base0 + 1);
    EXPECT_EQ(styles.XFUseCount(3), 1);
    store.StoreNumber(0, 0, 2, 4);     // restyled: 3 is given up
    EXPECT_EQ(styles.XFUseCount(3), 0);
    EXPECT_EQ(styles.XFUseCount(4), 1);
    store.StoreBlank(1, 0, 4);
    EXPECT_EQ(styles.XFUseCount(4), 2);
    TXLSRowRecord record;
    record.Style = 6;
    store.StoreRowRecord(0, record);
    EXPECT_EQ(styles.XFUseCount(0), base0);
    EXPECT_EQ(styles.XFUseCount(6), 1);

    const int32_t s = sst.AppendString(u"text");
    store.StoreSharedString(2, 0, s, 0);
    store.StoreSharedString(3, 0, s, 0);
    EXPECT_EQ(sst.RefCount(s), 2);
    store.StoreNumber(3, 0, 5, 0);     // replacing a string cell releases its reference
    EXPECT_EQ(sst.RefCount(s), 1);

    store.ClearCells();                // everything is given back
    EXPECT_EQ(styles.XFUseCount(0), base0);
    EXPECT_EQ(styles.XFUseCount(4), 0);
    EXPECT_EQ(styles.XFUseCount(6), 0);
    EXPECT_EQ(sst.Count(), 0);         // its last reference gone, the string is freed
}

TEST_F(CellStoreTest, RefusedStoresLeaveNothingBehind) {
    store.StoreNumber(1, 0, 1, 0);
    const std::vector<uint8_t> before = store.RowVectorBytes(0);
    const int32_t uses = styles.XFUseCount(0);

    ExpectMessage([&] { store.StoreNumber(1, 0, 2, 9); }, "List index out of bounds (9)");
    ExpectMessage([&] { store.StoreText(1, 0, u"new", 100); }, "List index out of bounds (100)");
    EXPECT_EQ(sst.Count(), 0);   // the refused text did not enter the table
    ExpectMessage([&] { store.StoreSharedString(1, 0, 0, 0); }, "SST String is Nil");
    ExpectMessage([&] { store.StoreSharedString(1, 0, 0x80000000u, 0); }, "SST String is Nil");
    for (auto [col, row] : {std::pair{-1, 0}, {16384, 0}, {0, -1}, {0, 1048576}})
        EXPECT_THROW(store.StoreBlank(col, row, 0), Exception) << col << "," << row;
    EXPECT_THROW(store.StoreRowRecord(1048576, TXLSRowRecord()), Exception);
    TXLSRowRecord badStyle;
    badStyle.Style = 50;
    ExpectMessage([&] { store.StoreRowRecord(0, badStyle); }, "List index out of bounds (50)");

    auto& f = store.FormulaHelper();
    f.Col = 1;
    f.SetFormulaText(u"A1");
    ExpectMessage([&] { store.StoreFormula(); }, "Invalid formula cell type");
    EXPECT_EQ(f.ResultKind(), TXLSFormulaResult::None);
    ExpectMessage([&] { f.SetErrorResult(0); }, "Invalid error value");
    f.Col = 1;
    f.SetTextResult(std::u16string(40000, u'x'));   // 80000 bytes: no 16-bit length holds it
    EXPECT_THROW(store.StoreFormula(), Exception);
    f.Col = 1;
    f.SetFormulaText(std::u16string(70000, u'x'));
    f.SetNumberResult(1);
    EXPECT_THROW(store.StoreFormula(), Exception);

    EXPECT_EQ(store.RowVectorBytes(0), before);
    EXPECT_EQ(styles.XFUseCount(0), uses);
    TXLSCellRef ref;
    EXPECT_FALSE(store.LocateCell(0, 1048575, ref));
    EXPECT_TRUE(store.RowVectorBytes(1).empty());
}

TEST_F(CellStoreTest, DamagedRowDataFailsCleanly) {
    const std::string invalidCode = "Invalid XLate code";
    struct Case {
        std::vector<uint8_t> bytes;
        int32_t col;
        bool invalidTag;   // else any clean failure
    };
    const Case cases[] = {
        // ColCount 1, run with base code 13.
        {{1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 13, 0}, 0, true},
        // A variable entry with a constant's tag.
        {{1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x82, 1, 0, 0}, 0, true},
        // A run of 3 numbers with only 2 payload bytes in the vector.
        {{3, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 0, 0}, 2, false},
        // A formula entry longer than its vector.
        {{1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x94, 0xFF, 0x00, 0}, 0, false},
        // LastRunOffset far outside the block.
        {{1, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0}, 0, false},
        // A head cut short.
        {{1, 0, 12}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        TXLSCellStore damaged(sst, styles);
        damaged.ReplaceRowVectorBytes(0, c.bytes);
        TXLSCellRef ref;
        try {
            damaged.LocateCell(c.col, 0, ref);
            ADD_FAILURE() << "located";
        } catch (const Exception& e) {
            if (c.invalidTag) {
                EXPECT_EQ(e.what(), invalidCode);
            }
        }
        EXPECT_THROW(damaged.RecalcUsedArea(), Exception);
    }

    // A formula entry whose inner lengths run past the entry.
    TXLSCellStore damaged(sst, styles);
    damaged.ReplaceRowVectorBytes(
        0, std::vector<uint8_t>{1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x95, 3, 0, 0, 0xFF, 0x7F});
    TXLSCellRef ref;
    ASSERT_TRUE(damaged.LocateCell(0, 0, ref));
    EXPECT_THROW(damaged.ReadFormulaText(ref), Exception);
    EXPECT_THROW(damaged.ReadFormulaBody(ref), Exception);

    // Readers given a tag that no cell can have.
    const uint8_t payload[8] = {};
    const TXLSCellRef bad{0x0D, payload, payload + 8};
    ExpectMessage([&] { TXLSCellStore::KindOfTag(0x0D); }, invalidCode);
    ExpectMessage([&] { store.ReadNumber(bad); }, invalidCode);
    ExpectMessage([&] { store.ReadText(bad); }, invalidCode);
    ExpectMessage([&] { store.ReadStyle(bad); }, invalidCode);
}

// Cells of a whole block of rows stored column by column (every store goes to another row) give
// the same rows as storing row by row, before and after Compact.
TEST_F(CellStoreTest, CellsOfManyRowsInterleaved) {
    TXLSCellStore byRows(sst, styles);
    for (int32_t row = 0; row < 256; ++row)
        for (int32_t col = 0; col < 300; ++col) byRows.StoreNumber(col, row, (row * 7 + col) % 500, col % 3);
    for (int32_t col = 0; col < 300; ++col)
        for (int32_t row = 0; row < 256; ++row) store.StoreNumber(col, row, (row * 7 + col) % 500, col % 3);
    // Some stores inside the rows, and a new row.
    for (int32_t row = 0; row < 256; row += 5) {
        store.StoreBoolean(row % 300, row, true, 0);
        byRows.StoreBoolean(row % 300, row, true, 0);
    }
    store.StoreRowRecord(300, TXLSRowRecord());
    byRows.StoreRowRecord(300, TXLSRowRecord());

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        for (int32_t row = 0; row < 256; ++row) ASSERT_EQ(store.RowVectorBytes(row), byRows.RowVectorBytes(row)) << row;
        EXPECT_EQ(store.EncodedBytes(), byRows.EncodedBytes());
        TXLSCellRef ref = Locate(299, 255);
        EXPECT_EQ(store.ReadNumber(ref), (255 * 7 + 299) % 500);
        store.RecalcUsedArea();
        EXPECT_EQ(store.UsedArea().LastRow, 300);
        EXPECT_EQ(store.UsedArea().LastCol, 299);
        store.Compact();
    }
    // Stores after Compact go on as before.
    store.StoreNumber(300, 0, 1, 0);
    byRows.StoreNumber(300, 0, 1, 0);
    EXPECT_EQ(store.RowVectorBytes(0), byRows.RowVectorBytes(0));
}

// Random cells in random order read back, and encode exactly as the same cells stored in order.
TEST_F(CellStoreTest, RandomOrderEncodesLikeSortedOrder) {
    using Value = std::variant<double, bool, std::u16string, int /*blank*/, uint8_t /*error*/>;
    struct Cell {
        Value value;
        uint16_t style;
        bool formula;
    };
    for (int i = 0; i < 20; ++i) sst.AppendString(Letter(u's', static_cast<char16_t>(u'a' + i)));
    const double numbers[] = {0, 7, -7, 300, 70000, 0.5, 0.13, 1.2345, 1e100, 2.5e-7, -2147483647};

    auto storeCell = [&](TXLSCellStore& s, int32_t col, int32_t row, const Cell& cell) {
        if (cell.formula) {
            auto& f = s.FormulaHelper();
            f.Col = col;
            f.Row = row;
            f.Style = cell.style;
            f.SetFormulaText(Letter(u'F', static_cast<char16_t>(u'0' + col % 10)));
            f.SetNumberResult(std::get<double>(cell.value));
            s.StoreFormula();
        } else if (auto* d = std::get_if<double>(&cell.value)) {
            s.StoreNumber(col, row, *d, cell.style);
        } else if (auto* b = std::get_if<bool>(&cell.value)) {
            s.StoreBoolean(col, row, *b, cell.style);
        } else if (auto* t = std::get_if<std::u16string>(&cell.value)) {
            s.StoreText(col, row, *t, cell.style);
        } else if (std::holds_alternative<int>(cell.value)) {
            s.StoreBlank(col, row, cell.style);
        } else {
            s.StoreError(col, row, std::get<uint8_t>(cell.value), cell.style);
        }
    };

    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::map<std::pair<int32_t, int32_t>, Cell> expected;   // (row, col) -> last stored
        TXLSCellStore shuffled(sst, styles);
        const int32_t rows[] = {0, 1, 2, 255, 256, 700};
        const bool fewTags = seed > 3;
        if (fewTags) {
            // One row full of blanks, stored in random order: runs of 127 that later cells split.
            std::vector<int32_t> cols(300);
            for (int32_t i = 0; i < 300; ++i) cols[i] = i;
            std::shuffle(cols.begin(), cols.end(), random);
            for (int32_t col : cols) {
                const Cell blank{0, static_cast<uint16_t>(random() % 8), false};
                storeCell(shuffled, col, 1, blank);
                expected[{1, col}] = blank;
            }
        }
        const int cellCount = 3000;
        for (int i = 0; i < cellCount; ++i) {
            const int32_t row = rows[random() % 6];
            // Mostly dense columns (long runs), sometimes far ones (gaps).
            const int32_t col = random() % 4 == 0 ? static_cast<int32_t>(random() % 1000)
                                                  : static_cast<int32_t>(random() % 200);
            Cell cell;
            cell.style = random() % 3 == 0 ? static_cast<uint16_t>(random() % 8) : 0;
            cell.formula = false;
            // Later seeds store mostly blanks (one tag whatever the style) among a few booleans.
            switch (fewTags ? (random() % 10 == 0 ? 1 : 3) : random() % 6) {
                case 0: cell.value = numbers[random() % 11]; break;
                case 1: cell.value = (random() % 2) == 1; break;
                case 2: cell.value = Letter(u's', static_cast<char16_t>(u'a' + random() % 25)); break;
                case 3: cell.value = 0; break;
                case 4: cell.value = static_cast<uint8_t>(random() % 8); break;
                default:
                    cell.value = numbers[random() % 11];
                    cell.formula = random() % 4 == 0;
                    break;
            }
            // With few tags the booleans stay right of column 200, so the blank runs on their
            // left keep their full length of 127 while cells are stored around them.
            const int32_t at = fewTags && std::holds_alternative<bool>(cell.value) ? 200 + col : col;
            storeCell(shuffled, at, row, cell);
            expected[{row, at}] = cell;
        }

        TXLSCellStore sorted(sst, styles);
        for (const auto& [pos, cell] : expected) storeCell(sorted, pos.second, pos.first, cell);

        for (int32_t row : rows) EXPECT_EQ(shuffled.RowVectorBytes(row), sorted.RowVectorBytes(row)) << row;
        EXPECT_EQ(shuffled.EncodedBytes(), sorted.EncodedBytes());

        for (const auto& [pos, cell] : expected) {
            TXLSCellRef ref;
            ASSERT_TRUE(shuffled.LocateCell(pos.second, pos.first, ref));
            ASSERT_EQ(shuffled.ReadStyle(ref), cell.style);
            if (cell.formula) {
                ASSERT_EQ(shuffled.ReadFormulaNumber(ref), std::get<double>(cell.value));
            } else if (auto* d = std::get_if<double>(&cell.value)) {
                ASSERT_EQ(shuffled.ReadNumber(ref), *d);
            } else if (auto* b = std::get_if<bool>(&cell.value)) {
                ASSERT_EQ(shuffled.ReadBoolean(ref), *b);
            } else if (auto* t = std::get_if<std::u16string>(&cell.value)) {
                ASSERT_EQ(shuffled.ReadText(ref), *t);
            } else if (std::holds_alternative<int>(cell.value)) {
                ASSERT_EQ(TXLSCellStore::KindOfTag(ref.Tag), xckBlank);
            } else {
                ASSERT_EQ(shuffled.ReadError(ref), std::get<uint8_t>(cell.value));
            }
        }
        // Nothing else is there.
        int found = 0;
        for (int32_t row : rows)
            for (int32_t col = 0; col < 1200; ++col) {
                TXLSCellRef ref;
                found += shuffled.LocateCell(col, row, ref);
            }
        EXPECT_EQ(found, static_cast<int>(expected.size()));

        // Each stored string cell holds exactly one reference.
        shuffled.ClearCells();
        sorted.ClearCells();
    }
}

} // namespace
} // namespace tessaly
