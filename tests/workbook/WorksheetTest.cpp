// Cells by column and row as the application reads them, and the workbook's sheet list.

#include <gtest/gtest.h>

#include "core/Exception.h"
#include "workbook/XLSSheetData.h"

namespace tessaly {
namespace {

class WorksheetTest : public ::testing::Test {
protected:
    TXLSWorkbook book;
    TXLSWorksheet& sheet = book.SheetAt(0);
    TXLSCellStore& cells = sheet.Data().Cells();
};

TEST_F(WorksheetTest, TextOfEveryKind) {
    struct Case {
        std::function<void(TXLSCellStore&, int32_t col)> store;
        TXLSCellKind kind;
        std::u16string text;
    };
    auto number = [](double v) { return [v](TXLSCellStore& s, int32_t c) { s.StoreNumber(c, 0, v, 0); }; };
    auto formula = [](auto setResult) {
        return [setResult](TXLSCellStore& s, int32_t c) {
            s.FormulaHelper().Col = c;
            s.FormulaHelper().SetFormulaText(u"A1*2");
            setResult(s.FormulaHelper());
            s.StoreFormula();
        };
    };
    const std::vector<Case> cases = {
        {number(1234.5), xckNumber, u"1234.5"},
        {number(0.1), xckNumber, u"0.1"},
        {number(1e20), xckNumber, u"1E20"},
        {number(-7), xckNumber, u"-7"},
        {number(1.0 / 3), xckNumber, u"0.333333333333333"},
        {number(123456789012345678.0), xckNumber, u"1.23456789012346E17"},
        {[](TXLSCellStore& s, int32_t c) { s.StoreBoolean(c, 0, true, 0); }, xckBoolean, u"TRUE"},
        {[](TXLSCellStore& s, int32_t c) { s.StoreBoolean(c, 0, false, 0); }, xckBoolean, u"FALSE"},
        {[](TXLSCellStore& s, int32_t c) { s.StoreError(c, 0, 2, 0); }, xckError, u"#DIV/0!"},
        {[](TXLSCellStore& s, int32_t c) { s.StoreError(c, 0, 0, 0); }, xckError, u"_ERROR_ERROR_"},
        {[](TXLSCellStore& s, int32_t c) { s.StoreText(c, 0, u" 办公用品 ", 0); }, xckString, u" 办公用品 "},
        {[](TXLSCellStore& s, int32_t c) { s.StoreBlank(c, 0, 0); }, xckBlank, u""},
        {formula([](TXLSFormulaHelper& f) { f.SetNumberResult(2.5); }), xckNumberFormula, u"2.5"},
        {formula([](TXLSFormulaHelper& f) { f.SetTextResult(u"cached"); }), xckStringFormula, u"cached"},
        {formula([](TXLSFormulaHelper& f) { f.SetBooleanResult(true); }), xckBooleanFormula, u"TRUE"},
        {formula([](TXLSFormulaHelper& f) { f.SetErrorResult(7); }), xckErrorFormula, u"#N/A"},
    };
    for (size_t i = 0; i < cases.size(); ++i) cases[i].store(cells, static_cast<int32_t>(i));
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto col = static_cast<int32_t>(i);
        EXPECT_EQ(sheet.CellKind(col, 0), cases[i].kind) << i;
        EXPECT_EQ(sheet.CellText(col, 0), cases[i].text) << i;
    }
    // With ShowFormulas on, formula cells show their formula.
    book.ShowFormulas = true;
    EXPECT_EQ(sheet.CellText(13, 0), u"A1*2");
    EXPECT_EQ(sheet.CellText(0, 0), u"1234.5");
}

TEST_F(WorksheetTest, AppendCellTextAddsWhatCellTextGives) {
    cells.StoreNumber(0, 0, 19.99, 0);
    cells.StoreText(1, 0, u"中文", 0);
    cells.StoreText(2, 0, u"caf\u00E9", 0);
    cells.StoreBoolean(3, 0, false, 0);
    cells.StoreError(4, 0, 7, 0);
    cells.StoreBlank(5, 0, 0);
    cells.FormulaHelper().Col = 6;
    cells.FormulaHelper().SetFormulaText(u"B1&C1");
    cells.FormulaHelper().SetTextResult(u"结果");
    cells.StoreFormula();
    std::u16string buffer = u"前";
    std::u16string expected = buffer;
    for (int32_t col = 0; col <= 8; ++col) {
        sheet.AppendCellText(col, 0, buffer);
        expected += sheet.CellText(col, 0);
        ASSERT_EQ(buffer, expected) << col;
    }
    EXPECT_EQ(buffer, u"前19.99中文caf\u00E9FALSE#N/A结果");
}

TEST_F(WorksheetTest, MissingCellsAreNoneAndEmpty) {
    cells.StoreNumber(2, 2, 1, 0);
    for (auto [col, row] : {std::pair{0, 0}, {1, 2}, {3, 2}, {2, -1}, {-1, 2}, {2, 256}, {2, 1048575}}) {
        EXPECT_EQ(sheet.CellKind(col, row), xckNone);
        EXPECT_EQ(sheet.CellText(col, row), u"");
    }
}

TEST_F(WorksheetTest, NumbersOnlyFromNumberCells) {
    cells.StoreNumber(0, 0, 19.99, 0);
    cells.StoreText(1, 0, u"12", 0);
    cells.StoreBlank(2, 0, 0);
    cells.FormulaHelper().Col = 3;
    cells.FormulaHelper().SetNumberResult(0.13);
    cells.StoreFormula();
    EXPECT_EQ(sheet.CellNumber(0, 0), 19.99);
    EXPECT_EQ(sheet.CellNumber(3, 0), 0.13);
    for (int32_t col : {1, 2, 4}) {
        try {
            sheet.CellNumber(col, 0);
            ADD_FAILURE() << col;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Cell is missing/is of wrong type");
        }
    }
}

TEST_F(WorksheetTest, UsedAreaAsTheStoreHasIt) {
    EXPECT_EQ(sheet.FirstUsedRow(), -1);
    sheet.RecalcUsedArea();
    EXPECT_EQ(sheet.FirstUsedRow(), 0);
    EXPECT_EQ(sheet.LastUsedRow(), 0);
    EXPECT_EQ(sheet.FirstUsedCol(), 0);
    EXPECT_EQ(sheet.LastUsedCol(), 0);
    cells.StoreNumber(1, 3, 1, 0);
    cells.StoreNumber(12, 9, 1, 0);
    sheet.RecalcUsedArea();
    EXPECT_EQ(sheet.FirstUsedRow(), 3);
    EXPECT_EQ(sheet.LastUsedRow(), 9);
    EXPECT_EQ(sheet.FirstUsedCol(), 1);
    EXPECT_EQ(sheet.LastUsedCol(), 12);
}

TEST(WorkbookTest, ANewWorkbookHasOneEmptySheet1) {
    TXLSWorkbook book;
    ASSERT_EQ(book.SheetCount(), 1);
    EXPECT_EQ(book.SheetAt(0).Name(), u"Sheet1");
    EXPECT_EQ(book.Manager().Worksheets().Items(0).SheetId, 1);
    EXPECT_EQ(book.SheetAt(0).CellKind(0, 0), xckNone);
    EXPECT_EQ(book.SheetAt(0).Data().Cells().EncodedBytes(), 0u);
    EXPECT_THROW(book.SheetAt(1), EListError);
    EXPECT_THROW(book.SheetAt(-1), EListError);
}

TEST(WorkbookTest, ClearWorkbookAndAddSheetNaming) {
    TXLSWorkbook book;
    book.SheetAt(0).Data().Cells().StoreText(0, 0, u"gone", 0);
    book.ClearWorkbook(3);
    ASSERT_EQ(book.SheetCount(), 3);
    EXPECT_EQ(book.SheetAt(2).Name(), u"Sheet3");
    EXPECT_EQ(book.Manager().SST().Count(), 0);
    EXPECT_EQ(book.SheetAt(0).CellKind(0, 0), xckNone);

    // A name taken (in any case) is skipped.
    book.ClearWorkbook(1);
    book.Manager().Worksheets().Items(0).Name = u"SHEET2";
    EXPECT_EQ(book.AddSheet().Name(), u"Sheet3");
    EXPECT_EQ(book.AddSheet().Name(), u"Sheet4");

    book.ClearWorkbook(-5);
    EXPECT_EQ(book.SheetCount(), 0);
    book.ClearWorkbook(1000);
    EXPECT_EQ(book.SheetCount(), 255);
    EXPECT_EQ(book.SheetAt(254).Name(), u"Sheet255");
}

TEST(WorkbookTest, NoUniqueNameLeftFails) {
    TXLSWorkbook book;
    book.ClearWorkbook(0);
    // 1001 sheets: AddSheet tries Sheet1002 ... Sheet2002, all of them taken.
    for (int i = 0; i < 1001; ++i) {
        const std::string number = std::to_string(1002 + i);
        book.Manager().Worksheets().AddWorksheetData(-1).Name = std::u16string(u"sheet") + std::u16string(number.begin(), number.end());
    }
    try {
        book.AddSheet();
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Can not create unique worksheet name");
    }
    EXPECT_EQ(book.Manager().Worksheets().Count(), 1001);
}

TEST(WorkbookTest, SheetDataIdsCountFromOne) {
    TWbManager manager;
    EXPECT_EQ(manager.Worksheets().AddWorksheetData(-1).SheetId, 1);
    EXPECT_EQ(manager.Worksheets().AddWorksheetData(7).SheetId, 7);
    EXPECT_EQ(manager.Worksheets().AddWorksheetData(-1).SheetId, 3);
    EXPECT_THROW(manager.Worksheets().Items(3), EListError);
}

} // namespace
} // namespace tessaly
