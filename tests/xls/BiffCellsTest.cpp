// Cell records: constants, rows, dimensions and formulas with their cached results.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BiffWriter.h"
#include "LoadSupport.h"

namespace tessaly {
namespace {

using test::BiffBuilder;
using test::BookBuilder;
using test::Bytes;
using test::FormulaData;
using test::Load;
using test::LoadError;
using test::NumberResult;

TXLSCellStore& Cells(TXLSDocument& document, int sheet = 0) { return document.SheetAt(sheet).Data().Cells(); }

uint16_t StyleAt(TXLSDocument& document, int col, int row) {
    TXLSCellRef ref;
    EXPECT_TRUE(Cells(document).LocateCell(col, row, ref));
    return Cells(document).ReadStyle(ref);
}

TXLSFormulaBody BodyAt(TXLSDocument& document, int col, int row) {
    TXLSCellRef ref;
    EXPECT_TRUE(Cells(document).LocateCell(col, row, ref));
    return Cells(document).ReadFormulaBody(ref);
}

TEST(BiffCells, StoresConstantCells) {
    BookBuilder book;
    BiffBuilder& s = book.Sheet(u"S");
    // RK values in row 0.
    const uint32_t rks[] = {0x3FF00000, 0x3FF00001, 0x00000192, 0x00000193, 0xFFFFFFFE, 0x40590000};
    for (uint16_t i = 0; i < 6; ++i) s.Record(0x027E, Bytes().U16(0).U16(i).U16(0).U32(rks[i]));
    // MULRK: three numbers with their own formats; MULBLANK: five blanks.
    s.Record(0x00BD, Bytes().U16(1).U16(2).U16(3).U32(0x00000192).U16(4).U32(0x3FF00000).U16(5).U32(0x00000006).U16(4));
    s.Record(0x00BE, Bytes().U16(2).U16(1).U16(7).U16(7).U16(7).U16(7).U16(8).U16(5));
    // BOOLERR: true, #DIV/0!, and an error byte that names no error.
    s.Record(0x0205, Bytes().U16(3).U16(0).U16(0).U8(1).U8(0));
    s.Record(0x0205, Bytes().U16(3).U16(1).U16(0).U8(7).U8(1));
    s.Record(0x0205, Bytes().U16(3).U16(2).U16(0).U8(0x2B).U8(1));
    s.Record(0x0205, Bytes().U16(3).U16(3).U16(0).U8(0).U8(0));
    // LABEL: 16-bit Chinese, 8-bit with a byte above 0x7F; RSTRING, runs left aside.
    s.Record(0x0204, Bytes().U16(4).U16(0).U16(0).U16(2).U8(1).Chars16(u"中文"));
    s.Record(0x0204, Bytes().U16(4).U16(1).U16(0).U16(4).U8(0).Raw("caf\xE9"));
    s.Record(0x00D6, Bytes().U16(4).U16(2).U16(0).U16(4).U8(0).Raw("rich").U16(1).U16(0).U16(5));
    // NUMBER, BLANK and the BIFF2 cells.
    s.Number(5, 0, -1234.5, 2);
    s.Record(0x0201, Bytes().U16(5).U16(1).U16(0));
    s.Record(0x0002, Bytes().U16(6).U16(0).Fill(3).U16(7));
    s.Record(0x0003, Bytes().U16(6).U16(1).Fill(3).F64(0.5));
    s.Record(0x0004, Bytes().U16(6).U16(2).Fill(3).U8(2).Raw("ok"));
    // An XF index beyond the XF records: the default format.
    s.Number(7, 0, 1, 500);

    const auto document = Load(book.File());
    TXLSWorksheet& sheet = document->SheetAt(0);
    const double expected[] = {1.0, 0.01, 100, 1, -1, 100};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sheet.CellNumber(i, 0), expected[i]) << i;
    EXPECT_EQ(sheet.CellNumber(2, 1), 100);
    EXPECT_EQ(sheet.CellNumber(3, 1), 1);
    EXPECT_EQ(sheet.CellNumber(4, 1), 1);
    EXPECT_EQ(StyleAt(*document, 2, 1), 4);
    EXPECT_EQ(StyleAt(*document, 3, 1), 5);
    EXPECT_EQ(StyleAt(*document, 4, 1), 6);
    EXPECT_EQ(sheet.CellKind(5, 1), xckNone);
    for (int col = 1; col <= 5; ++col) EXPECT_EQ(sheet.CellKind(col, 2), xckBlank) << col;
    EXPECT_EQ(StyleAt(*document, 4, 2), 8);
    EXPECT_EQ(StyleAt(*document, 5, 2), 9);
    EXPECT_EQ(sheet.CellKind(6, 2), xckNone);
    EXPECT_EQ(sheet.CellText(0, 3), u"TRUE");
    EXPECT_EQ(sheet.CellText(1, 3), u"#DIV/0!");
    EXPECT_EQ(sheet.CellKind(2, 3), xckError);
    EXPECT_EQ(sheet.CellText(2, 3), u"_ERROR_ERROR_");
    EXPECT_EQ(sheet.CellText(3, 3), u"FALSE");
    EXPECT_EQ(sheet.CellText(0, 4), u"中文");
    EXPECT_EQ(sheet.CellText(1, 4), u"caf\u00E9");
    EXPECT_EQ(sheet.CellText(2, 4), u"rich");
    EXPECT_EQ(sheet.CellNumber(0, 5), -1234.5);
    EXPECT_EQ(StyleAt(*document, 0, 5), 3);
    EXPECT_EQ(sheet.CellKind(1, 5), xckBlank);
    EXPECT_EQ(sheet.CellNumber(0, 6), 7);
    EXPECT_EQ(sheet.CellNumber(1, 6), 0.5);
    EXPECT_EQ(sheet.CellText(2, 6), u"ok");
    EXPECT_EQ(StyleAt(*document, 0, 7), 0);
}

TEST(BiffCells, StoresRowRecordsAndTheDeclaredDimension) {
    BookBuilder book;
    BiffBuilder& s = book.Sheet(u"S");
    s.Record(0x0200, Bytes().U32(0).U32(10).U16(0).U16(3).U16(0));
    s.Record(0x0208, Bytes().U16(4).U16(0).U16(3).U16(600).U32(0).U16(0x00A0).U16(0x000F));
    s.Record(0x0208, Bytes().U16(5).U16(0).U16(3).U16(255).U32(0).U16(0x0052).U16(0x000F));
    const auto document = Load(book.File());
    TXLSCellStore& cells = Cells(*document);
    const TXLSUsedArea& area = cells.UsedArea();
    EXPECT_EQ(area.FirstRow, 0);
    EXPECT_EQ(area.LastRow, 9);
    EXPECT_EQ(area.FirstCol, 0);
    EXPECT_EQ(area.LastCol, 2);
    TXLSRowRecord row;
    ASSERT_TRUE(cells.ReadRowRecord(4, row));
    EXPECT_EQ(row.Style, 16);
    EXPECT_EQ(row.Options, 1);   // hidden
    EXPECT_EQ(row.Height, 600);
    ASSERT_TRUE(cells.ReadRowRecord(5, row));
    EXPECT_EQ(row.Style, 0);
    EXPECT_EQ(row.Options, 4 | 2);   // collapsed, height set by hand
    EXPECT_EQ(row.OutlineLevel, 2);
}

TEST(BiffCells, StoresFormulasWithTheirCachedResults) {
    const std::vector<uint8_t> tokens = {0x1E, 0x05, 0x00};   // the integer 5
    BookBuilder book;
    BiffBuilder& s = book.Sheet(u"S");
    s.Record(0x0006, FormulaData(0, 0, NumberResult(5), tokens, 0, {}, 2));
    s.Record(0x0006, FormulaData(0, 1, NumberResult(6), {}));   // no tokens: no cell
    s.Record(0x0006, FormulaData(0, 2, NumberResult(7), tokens, 0, {0xAA, 0xBB}));
    s.Record(0x0006, FormulaData(1, 0, {0, 1, 2, 3, 4, 5, 0xFF, 0xFF}, tokens));
    s.Record(0x0207, Bytes().U16(3).U8(0).Raw("abc"));
    s.Record(0x0006, FormulaData(1, 1, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, tokens));   // no STRING: no cell
    s.Number(1, 2, 8);
    s.Record(0x0006, FormulaData(2, 0, {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}, tokens));
    s.Record(0x0006, FormulaData(2, 1, {2, 0, 7, 0, 0, 0, 0xFF, 0xFF}, tokens));
    s.Record(0x0006, FormulaData(2, 2, {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}, tokens));
    // A long text result runs on in a CONTINUE record that announces 16-bit characters.
    s.Record(0x0006, FormulaData(3, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, tokens));
    s.Record(0x0207, Bytes().U16(5).U8(0).Raw("ab"));
    s.Record(0x003C, Bytes().U8(1).Chars16(u"中文字"));

    const auto document = Load(book.File());
    TXLSWorksheet& sheet = document->SheetAt(0);
    EXPECT_EQ(sheet.CellKind(0, 0), xckNumberFormula);
    EXPECT_EQ(sheet.CellNumber(0, 0), 5);
    EXPECT_EQ(StyleAt(*document, 0, 0), 3);
    const TXLSFormulaBody plain = BodyAt(*document, 0, 0);
    EXPECT_EQ(plain.FormulaType, 0);
    EXPECT_EQ(plain.Compiled, (std::vector<uint8_t>{0xFF, 0x1E, 0x05, 0x00}));
    EXPECT_EQ(sheet.CellKind(1, 0), xckNone);
    EXPECT_EQ(BodyAt(*document, 2, 0).Compiled, (std::vector<uint8_t>{0xFE, 2, 0, 0x1E, 0x05, 0x00, 0xAA, 0xBB}));
    EXPECT_EQ(sheet.CellKind(0, 1), xckStringFormula);
    EXPECT_EQ(sheet.CellText(0, 1), u"abc");
    EXPECT_EQ(sheet.CellKind(1, 1), xckNone);
    EXPECT_EQ(sheet.CellNumber(2, 1), 8);
    EXPECT_EQ(sheet.CellKind(0, 2), xckBooleanFormula);
    EXPECT_EQ(sheet.CellText(0, 2), u"TRUE");
    EXPECT_EQ(sheet.CellKind(1, 2), xckErrorFormula);
    EXPECT_EQ(sheet.CellText(1, 2), u"#DIV/0!");
    EXPECT_EQ(sheet.CellKind(2, 2), xckStringFormula);
    EXPECT_EQ(sheet.CellText(2, 2), u"");
    EXPECT_EQ(sheet.CellText(0, 3), u"ab中文字");
}

TEST(BiffCells, ReadsSharedAndArrayFormulas) {
    const std::vector<uint8_t> shared = {0x1E, 0x05, 0x00};
    auto exp = [](uint16_t row, uint16_t col) { return Bytes().U8(0x01).U16(row).U16(col).Data(); };
    BookBuilder book;
    BiffBuilder& s = book.Sheet(u"S");
    // A shared formula over A1:A3; its SHRFMLA follows the first cell and carries extra data.
    s.Record(0x0006, FormulaData(0, 0, NumberResult(10), exp(0, 0), 0x08));
    s.Record(0x04BC, Bytes().U16(0).U16(2).U8(0).U8(0).U8(0).U8(3).U16(3).Raw(shared).Fill(4, 0x77));
    s.Record(0x0006, FormulaData(1, 0, NumberResult(11), exp(0, 0), 0x08));
    s.Record(0x0006, FormulaData(2, 0, NumberResult(12), exp(0, 0), 0x08));
    // An array formula over C1:D2: the ARRAY follows its first cell.
    s.Record(0x0006, FormulaData(0, 2, NumberResult(1), exp(0, 2)));
    s.Record(0x0221, Bytes().U16(0).U16(1).U8(2).U8(3).U16(1).U32(0).U16(3).U8(0x1E).U16(9));
    s.Record(0x0006, FormulaData(0, 3, NumberResult(2), exp(0, 2)));
    s.Record(0x0006, FormulaData(1, 2, {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}, exp(0, 2)));
    s.Record(0x0006, FormulaData(1, 3, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, exp(0, 2)));
    s.Record(0x0207, Bytes().U16(1).U8(0).Raw("z"));

    const auto document = Load(book.File());
    TXLSWorksheet& sheet = document->SheetAt(0);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(sheet.CellKind(0, row), xckNumberFormula);
        EXPECT_EQ(sheet.CellNumber(0, row), 10 + row);
        EXPECT_EQ(BodyAt(*document, 0, row).Compiled, (std::vector<uint8_t>{0xFF, 0x1E, 0x05, 0x00}));
    }
    const TXLSFormulaBody head = BodyAt(*document, 2, 0);
    EXPECT_EQ(head.FormulaType, 1);
    EXPECT_TRUE(head.HasRange);
    EXPECT_EQ(head.Range.FirstCol, 2);
    EXPECT_EQ(head.Range.FirstRow, 0);
    EXPECT_EQ(head.Range.LastCol, 3);
    EXPECT_EQ(head.Range.LastRow, 1);
    EXPECT_EQ(head.Compiled, (std::vector<uint8_t>{0xFF, 0x1E, 0x09, 0x00}));
    EXPECT_EQ(sheet.CellNumber(2, 0), 1);
    for (auto [col, row] : {std::pair{3, 0}, std::pair{2, 1}, std::pair{3, 1}}) {
        const TXLSFormulaBody member = BodyAt(*document, col, row);
        EXPECT_EQ(member.FormulaType, 4);
        EXPECT_EQ(member.Master.Col, 2);
        EXPECT_EQ(member.Master.Row, 0);
    }
    EXPECT_EQ(sheet.CellNumber(3, 0), 2);
    EXPECT_EQ(sheet.CellText(2, 1), u"TRUE");
    EXPECT_EQ(sheet.CellText(3, 1), u"z");
}

TEST(BiffCells, EndTheReadWithTheirMessages) {
    auto exp = [](uint16_t row, uint16_t col) { return Bytes().U8(0x01).U16(row).U16(col).Data(); };
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> records;   // id (2 bytes) then data
        const char* inner;
    };
    auto record = [](uint16_t id, const std::vector<uint8_t>& data) { return Bytes().U16(id).Raw(data).Data(); };
    const Case cases[] = {
        {"shared formula without its block",
         {record(0x0006, FormulaData(9, 0, NumberResult(1), exp(5, 5), 0x08))},
         "Fixup error in shared formula at C=0,R=9 (A10)"},
        {"text result followed by SHRFMLA",
         {record(0x0006, FormulaData(0, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {0x1E, 1, 0})),
          record(0x04BC, Bytes().Fill(10))},
         "Unxepected SHRFMLA"},
        {"error result that names no error",
         {record(0x0006, FormulaData(0, 0, {2, 0, 0x2B, 0, 0, 0, 0xFF, 0xFF}, {0x1E, 1, 0}))},
         "Invalid error value"},
        {"string index beyond the table", {record(0x00FD, Bytes().U16(0).U16(0).U16(0).U32(1))},
         "Shared string index 1 out of range (1 strings read)"},
        {"tokens beyond the record", {record(0x0006, Bytes().Fill(20).U16(50).Fill(3))},
         "Formula tokens run past the end of its record"},
        {"label beyond the record", {record(0x0204, Bytes().U16(0).U16(0).U16(0).U16(10).U8(0).Raw("abc"))},
         "Text runs past the end of its record"},
        {"short cell", {record(0x027E, Bytes().Fill(8))}, "Record too short: 8 bytes, 10 needed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BookBuilder book;
        book.AfterSheetList().Record(0x00FC, Bytes().U32(1).U32(1).Str16(u"only"));
        BiffBuilder& s = book.Sheet(u"S");
        for (const auto& r : c.records) s.Record(static_cast<uint16_t>(r[0] | (r[1] << 8)), {r.begin() + 2, r.end()});
        const std::string message = LoadError(book.File());
        EXPECT_THAT(message, testing::StartsWith("Error on reading record # "));
        EXPECT_THAT(message, testing::EndsWith(std::string("\r") + c.inner));
    }
}

} // namespace
} // namespace tessaly
