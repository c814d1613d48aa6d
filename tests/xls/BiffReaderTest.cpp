// The record loop and the workbook globals: sheet list, substreams, containers, generations,
// code pages and the errors of the loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BiffWriter.h"
#include "LoadSupport.h"
#include "core/Exception.h"
#include "workbook/WbManager.h"
#include "xls/BiffReader.h"
#include "xls/BiffStream.h"

namespace tessaly {
namespace {

using test::BiffBuilder;
using test::BookBuilder;
using test::Bytes;
using test::Load;
using test::LoadError;
using testing::HasSubstr;

TEST(BiffReader, FollowsTheSheetListAndItsSubstreams) {
    BookBuilder book;
    book.AfterSheetList().Record(0x00FC, Bytes().U32(1).U32(1).Str16(u"shared"));
    BiffBuilder& a = book.Sheet(u"A");
    a.Number(0, 0, 1.5);
    // A record longer than the 8224 bytes BIFF8 allows: read like any other.
    Bytes mulrk;
    mulrk.U16(3).U16(0);
    for (int i = 0; i < 1500; ++i) mulrk.U16(0).U32(static_cast<uint32_t>((i << 2) | 2));
    a.Record(0x00BD, mulrk.U16(1499));
    BiffBuilder& chart = book.Sheet(u"C", 0, 2);
    chart.Number(0, 0, 99);   // chart data is never a cell
    chart.Record(0x1009, Bytes().Fill(20));   // MARKERFORMAT: a chart record with a BOF's low byte
    BiffBuilder& b = book.Sheet(u"B", 1);
    b.LabelSst(2, 1, 0);
    // A custom-view block: none of its records reaches the sheet.
    b.Record(0x01AA, Bytes().Fill(40)).Number(5, 5, 7).Record(0x01AB, {});
    // A chart embedded in the worksheet takes no place in the sheet list.
    b.Bof(0x0020).Number(6, 6, 8).Record(0x1009, Bytes().Fill(20)).Eof();
    b.Number(1, 1, 2);
    book.Sheet(u"Very hidden", 2).Number(0, 0, 3);
    book.Tail().Record(0xFFFF, {1, 2, 3});   // after the last sheet's EOF: never read

    const auto document = Load(book.File());
    ASSERT_EQ(document->SheetCount(), 3);
    EXPECT_EQ(document->Version, xvExcel97);
    TXLSWorksheet& sheetA = document->SheetAt(0);
    TXLSWorksheet& sheetB = document->SheetAt(1);
    TXLSWorksheet& hidden = document->SheetAt(2);
    EXPECT_EQ(sheetA.Name(), u"A");
    EXPECT_EQ(sheetB.Name(), u"B");
    EXPECT_EQ(hidden.Name(), u"Very hidden");
    EXPECT_EQ(sheetA.Data().State, 0);
    EXPECT_EQ(sheetB.Data().State, 1);
    EXPECT_EQ(hidden.Data().State, 2);
    EXPECT_EQ(sheetA.Data().SheetId, 1);
    EXPECT_EQ(sheetB.Data().SheetId, 2);

    EXPECT_EQ(sheetA.CellNumber(0, 0), 1.5);
    EXPECT_EQ(sheetA.CellNumber(0, 3), 0);
    EXPECT_EQ(sheetA.CellNumber(1499, 3), 1499);
    EXPECT_EQ(sheetB.CellText(1, 2), u"shared");
    EXPECT_EQ(sheetB.CellKind(5, 5), xckNone);
    EXPECT_EQ(sheetB.CellKind(6, 6), xckNone);
    EXPECT_EQ(sheetB.CellNumber(1, 1), 2);
    EXPECT_EQ(hidden.CellNumber(0, 0), 3);
}

TEST(BiffReader, ReadsTheSameWorkbookFromEveryContainerLayout) {
    BookBuilder book;
    book.AfterSheetList().Record(0x00FC, Bytes().U32(2).U32(2).Str16(u"one").Str16(u"二"));
    BiffBuilder& sheet = book.Sheet(u"Data");
    for (uint16_t row = 0; row < 400; ++row) {
        sheet.Number(row, 0, row * 0.5);
        sheet.LabelSst(row, 1, row % 2);
    }
    BookBuilder small;
    small.Sheet(u"Small").Number(0, 0, 42);

    struct Case {
        const char* what;
        const BookBuilder& book;
        test::CompoundOptions options;
    };
    const Case cases[] = {
        {"512-byte sectors", book, {9, false, 0}},
        {"4096-byte sectors", book, {12, false, 0}},
        {"scattered sectors", book, {9, true, 0}},
        {"DIFAT chain", book, {9, true, 300}},
        {"mini stream", small, {9, false, 0}},
        {"mini stream, 4096-byte sectors", small, {12, true, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = c.book.File(c.options);
        const auto document = Load(file);
        TXLSWorksheet& first = document->SheetAt(0);
        if (&c.book == &small) {
            EXPECT_EQ(first.CellNumber(0, 0), 42);
            continue;
        }
        for (int row = 0; row < 400; row += 37) {
            EXPECT_EQ(first.CellNumber(0, row), row * 0.5);
            EXPECT_EQ(first.CellText(1, row), row % 2 ? u"二" : u"one");
        }
    }
}

TEST(BiffReader, DecodesBiff5TextByTheWorkbookCodePage) {
    struct Case {
        const char* what;
        int codePage;   // -1: no CODEPAGE record
        std::string bytes;
        std::u16string text;
        bool note = false;
    };
    const Case cases[] = {
        {"GBK", 936, "\xCF\xFA\xBB\xF5\xC7\xE5\xB5\xA5", u"销货清单"},
        {"Cyrillic", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", u"Привет"},
        {"Central European", 1250, "\x8E", u"Ž"},
        {"Mac Roman", 10000, "\x8A", u"ä"},
        {"Mac Central European", 10029, "\x8A", u"ä"},
        {"32769 is Windows-1252", 32769, "\x80", u"€"},
        {"1200 leaves bytes as they are", 1200, "\xE9\x80", u"\u00E9\u0080"},
        {"no record: Windows-1252", -1, "\x80\xE9", u"€é"},
        {"unknown: Windows-1252 and a note", 12345, "\x80", u"€", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BookBuilder book(0x0500);
        if (c.codePage >= 0) book.Globals().Record(0x0042, Bytes().U16(static_cast<unsigned>(c.codePage)));
        BiffBuilder& sheet = book.Sheet8(c.bytes);
        sheet.Record(0x0204, Bytes().U16(0).U16(0).U16(0).U16(static_cast<unsigned>(c.bytes.size())).Raw(c.bytes));
        // A text formula result, in a BIFF5 STRING record.
        sheet.Record(0x0006, test::FormulaData(1, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {0x17, 1, 'x'}));
        sheet.Record(0x0207, Bytes().U16(static_cast<unsigned>(c.bytes.size())).Raw(c.bytes));
        const auto file = book.File();

        TWbManager workbook;
        TXLSStream stream;
        ASSERT_EQ(stream.OpenWorkbookBytes(file), xvExcel50);
        const TBiffReadResult result = ReadBiffWorkbook(workbook, stream, TBiffReadOptions());
        EXPECT_EQ(result.FileVersion, xvExcel50);
        EXPECT_EQ(result.Notes.size(), c.note ? 1u : 0u);
        TWbDataWorksheet& data = workbook.Worksheets().Items(0);
        EXPECT_EQ(data.Name, c.text);
        TXLSCellRef ref;
        ASSERT_TRUE(data.Cells().LocateCell(0, 0, ref));
        EXPECT_EQ(data.Cells().ReadText(ref), c.text);
        ASSERT_TRUE(data.Cells().LocateCell(0, 1, ref));
        EXPECT_EQ(data.Cells().ReadFormulaText(ref), c.text);
    }
}

TEST(BiffReader, TakesTheGenerationFromTheGlobalsBof) {
    BookBuilder biff8;
    biff8.Sheet(u"Sheet1").Record(0x0204, Bytes().U16(0).U16(0).U16(0).U16(2).U8(1).Chars16(u"中文"));
    const auto asBook = Load(test::WriteCompoundFile({{u"Book", biff8.Stream()}}).Bytes);
    EXPECT_EQ(asBook->Version, xvExcel97);
    EXPECT_EQ(asBook->SheetAt(0).Name(), u"Sheet1");
    EXPECT_EQ(asBook->SheetAt(0).CellText(0, 0), u"中文");

    BookBuilder biff5(0x0500);
    biff5.Globals().Record(0x0042, Bytes().U16(936));
    biff5.Sheet8("\xD6\xD0").Record(0x0204, Bytes().U16(0).U16(0).U16(0).U16(2).Raw("\xCE\xC4"));
    const auto asWorkbook = Load(test::WriteCompoundFile({{u"Workbook", biff5.Stream()}}).Bytes);
    EXPECT_EQ(asWorkbook->Version, xvExcel50);
    EXPECT_EQ(asWorkbook->SheetAt(0).Name(), u"中");
    EXPECT_EQ(asWorkbook->SheetAt(0).CellText(0, 0), u"文");
}

TEST(BiffReader, ReadsBiff8SheetNamesAsTheyAreStored) {
    BookBuilder book;
    book.Sheet(u"中文表");
    book.Sheet(u"caf\u00E9");   // 8-bit: each byte its own code unit
    const auto document = Load(book.File());
    EXPECT_EQ(document->SheetAt(0).Name(), u"中文表");
    EXPECT_EQ(document->SheetAt(1).Name(), u"caf\u00E9");
}

// Bare record files of the generations before compound documents: one worksheet, "Sheet1".
TEST(BiffReader, ReadsBareBiff2ToBiff4Files) {
    BiffBuilder biff4;
    biff4.Record(0x0409, Bytes().U16(0).U16(0x10).U16(0));
    biff4.Record(0x0042, Bytes().U16(32769));
    biff4.Record(0x0231, Bytes().U16(200).U16(0).U16(0x7FFF).U8(5).Raw("Arial"));
    biff4.Record(0x041E, Bytes().U16(0).U8(7).Raw("General"));
    biff4.Record(0x0443, Bytes().U8(0).U8(0).Fill(10)).Record(0x0443, Bytes().U8(0).U8(0).Fill(10));
    biff4.Record(0x0203, Bytes().U16(0).U16(0).U16(1).F64(2.5));
    biff4.Record(0x0204, Bytes().U16(0).U16(1).U16(0).U16(4).Raw("\x80uro"));
    biff4.Record(0x027E, Bytes().U16(1).U16(0).U16(0).U32(0x00000192));
    biff4.Record(0x0205, Bytes().U16(1).U16(1).U16(0).U8(1).U8(0));
    biff4.Record(0x0406, Bytes().U16(2).U16(0).U16(0).Raw(std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xFF, 0xFF})
                             .U16(0).U16(3).U8(0x17).U8(1).U8('x'));
    biff4.Record(0x0207, Bytes().U16(8).Raw("abc\r\ndef"));
    biff4.Record(0x0406, Bytes().U16(3).U16(0).U16(0).F64(7).U16(0).U16(3).U8(0x1E).U16(7));
    biff4.Eof();
    biff4.Record(0x0203, Bytes().U16(9).U16(9).U16(0).F64(1));   // after the EOF: not read

    BiffBuilder biff3;
    biff3.Record(0x0209, Bytes().U16(0).U16(0x10).U16(0));
    biff3.Record(0x0204, Bytes().U16(0).U16(0).U16(0).U16(2).Raw("hi"));
    biff3.Record(0x0206, Bytes().U16(1).U16(0).U16(0).F64(3).U16(0).U16(3).U8(0x1E).U16(3));
    biff3.Eof();

    BiffBuilder biff2;
    biff2.Record(0x0009, Bytes().U16(2).U16(0x10));
    biff2.Record(0x0002, Bytes().U16(0).U16(0).Fill(3).U16(65535));
    biff2.Record(0x0003, Bytes().U16(0).U16(1).Fill(3).F64(-0.25));
    biff2.Record(0x0004, Bytes().U16(1).U16(0).Fill(3).U8(3).Raw("abc"));
    biff2.Record(0x0005, Bytes().U16(1).U16(1).Fill(3).U8(0x2A).U8(1));
    biff2.Record(0x0001, Bytes().U16(1).U16(2).Fill(3));
    biff2.Record(0x0006, Bytes().U16(2).U16(0).Fill(3).F64(12).U8(0).U8(3).U8(0x1E).U16(12));
    biff2.Eof();

    const auto four = Load(biff4.Data());
    EXPECT_EQ(four->Version, xvExcel40);
    ASSERT_EQ(four->SheetCount(), 1);
    TXLSWorksheet& s4 = four->SheetAt(0);
    EXPECT_EQ(s4.Name(), u"Sheet1");
    EXPECT_EQ(s4.CellNumber(0, 0), 2.5);
    EXPECT_EQ(s4.CellText(1, 0), u"€uro");
    EXPECT_EQ(s4.CellNumber(0, 1), 100);
    EXPECT_EQ(s4.CellText(1, 1), u"TRUE");
    EXPECT_EQ(s4.CellKind(0, 2), xckStringFormula);
    EXPECT_EQ(s4.CellText(0, 2), u"abc\r\ndef");
    EXPECT_EQ(s4.CellKind(0, 3), xckNumberFormula);
    EXPECT_EQ(s4.CellNumber(0, 3), 7);
    EXPECT_EQ(s4.CellKind(9, 9), xckNone);

    const auto three = Load(biff3.Data());
    EXPECT_EQ(three->Version, xvExcel30);
    EXPECT_EQ(three->SheetAt(0).CellText(0, 0), u"hi");
    EXPECT_EQ(three->SheetAt(0).CellNumber(0, 1), 3);

    const auto two = Load(biff2.Data());
    EXPECT_EQ(two->Version, xvExcel21);
    TXLSWorksheet& s2 = two->SheetAt(0);
    EXPECT_EQ(s2.CellNumber(0, 0), 65535);
    EXPECT_EQ(s2.CellNumber(1, 0), -0.25);
    EXPECT_EQ(s2.CellText(0, 1), u"abc");
    EXPECT_EQ(s2.CellText(1, 1), u"#N/A");
    EXPECT_EQ(s2.CellKind(2, 1), xckBlank);
    EXPECT_EQ(s2.CellNumber(0, 2), 12);
}

TEST(BiffReader, ConsumesExternalReferencesAndDrawings) {
    BookBuilder book;
    // XCT with its CRN records: as many as it counts, stopping at the first other record.
    book.Globals().Record(0x0059, Bytes().U16(2).U16(0));
    book.Globals().Record(0x005A, Bytes().Fill(20, 0x0A)).Record(0x005A, Bytes().Fill(20, 0x0A));
    book.Globals().Record(0x0059, Bytes().U16(3).U16(0)).Record(0x005A, Bytes().Fill(6, 0x0A));
    // The drawing group and the records continuing it.
    book.Globals().Record(0x00EB, Bytes().Fill(100, 0x0A)).Record(0x003C, Bytes().Fill(30, 0x0A));
    book.Globals().Record(0x00EB, Bytes().Fill(10, 0x0A));
    BiffBuilder& sheet = book.Sheet(u"S");
    sheet.Record(0x00EC, Bytes().Fill(300, 0x0A)).Record(0x005D, Bytes().Fill(30, 0x0A));
    sheet.Number(0, 0, 5);
    const auto document = Load(book.File());
    EXPECT_EQ(document->SheetAt(0).CellNumber(0, 0), 5);
}

TEST(BiffReader, WrapsEveryFailureWithTheRecordThatFailed) {
    // A workbook without XF records keeps the offsets easy to follow: globals BOF 0..20,
    // BOUNDSHEET 20..33, EOF 33..37, the sheet's BOF 37..57, then its records.
    auto book = [] { return BookBuilder(0x0600, 0); };
    {
        BookBuilder b = book();
        b.Sheet(u"S").Record(0x8001, {});
        EXPECT_EQ(LoadError(b.File()), "Error on reading record # 4, 8001 Offs: 0000003D\rBad record in file");
    }
    {
        // The records of a custom-view block are not counted.
        BookBuilder b = book();
        b.Sheet(u"S").Record(0x01AA, Bytes().Fill(4)).Number(0, 0, 1).Record(0x01AB, {}).Record(0x0203, Bytes().Fill(10));
        EXPECT_EQ(LoadError(b.File()),
                  "Error on reading record # 5, 0203 Offs: 00000065\rRecord too short: 10 bytes, 14 needed");
    }
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        const char* inner;
    };
    std::vector<Case> cases;
    {
        BiffBuilder s;
        s.Record(0x0809, Bytes().U16(0x600).U16(5).Fill(300)).Eof();
        cases.push_back({"globals BOF too long", test::WrapWorkbook(s.Data()), "Invalid BOF size"});
    }
    {
        BookBuilder b = book();
        b.Sheet(u"M", 0, 1);
        auto stream = b.Stream();
        stream[37 + 6] = 0x40;   // the sheet's BOF: a macro sheet
        cases.push_back({"macro sheet", test::WrapWorkbook(stream), "Invalid sheet type in file"});
    }
    {
        BookBuilder b = book();
        b.Sheet(u"S").Bof(0x0100);
        cases.push_back({"BIFF4 workbook", b.File(), "BIFF4 Workbook unhandled"});
    }
    {
        // A worksheet substream where the sheet list has a chart: no worksheet for it.
        BookBuilder b = book();
        b.Sheet(u"S");
        b.Sheet(u"C", 0, 2);
        auto stream = b.Stream();
        stream[74 + 6] = 0x10;
        cases.push_back({"too many worksheets", test::WrapWorkbook(stream), "List index out of bounds (1)"});
    }
    {
        BookBuilder b = book();
        b.Sheet(u"S").Record(0x0203, Bytes().Fill(14)).Raw(Bytes().U16(0x0203).U16(100).Fill(10));
        cases.push_back({"record cut off by the end", b.File(), "Unexpected end of the workbook stream"});
    }
    {
        BookBuilder b = book();
        b.Sheet(u"S").Record(0x0203, Bytes().U16(0).U16(20000).U16(0).F64(1));
        cases.push_back({"column outside the sheet", b.File(), "Cell C=20000,R=0 is outside the sheet"});
    }
    {
        // A workbook whose last sheet is a chart is read on to the end of the stream.
        BookBuilder b = book();
        b.Sheet(u"Chart", 0, 2);
        b.Tail().Record(0x8000, {});
        cases.push_back({"after a closing chart", b.File(), "Bad record in file"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = LoadError(c.file);
        EXPECT_THAT(message, testing::StartsWith("Error on reading record # "));
        EXPECT_THAT(message, testing::EndsWith(std::string("\r") + c.inner));
    }
}

} // namespace
} // namespace tessaly
