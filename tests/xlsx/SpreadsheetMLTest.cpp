#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "WorkbookBuilder.h"
#include "core/Stream.h"
#include "core/Utf.h"
#include "document/XLSDocument.h"
#include "xlsx/XLSFormulaAreas.h"
#include "xlsx/XmlValues.h"

namespace tessaly {
namespace {

using test::BuildWorkbook;
using test::SharedStringsXml;
using test::SheetXml;
using test::StylesXml;
using test::WorkbookParts;

struct Loaded {
    TXLSDocument document;
    explicit Loaded(const WorkbookParts& book) {
        TMemoryStream stream(BuildWorkbook(book));
        document.LoadWorkbookStream(stream, true);
    }
    TXLSWorksheet& Sheet(int index = 0) { return document.SheetAt(index); }
    TXLSCellStore& Cells(int index = 0) { return Sheet(index).Data().Cells(); }
};

// "kind:text" of a cell, the way the application reads it.
std::string Cell(TXLSWorksheet& sheet, int col, int row) {
    return std::to_string(static_cast<int>(sheet.CellKind(col, row))) + ":" + Utf16ToUtf8(sheet.CellText(col, row));
}

WorkbookParts OneSheet(const std::string& sheetData, const std::string& before = "") {
    WorkbookParts book;
    book.sheets.push_back({"Sheet1", SheetXml(sheetData, before)});
    book.sharedStrings = SharedStringsXml("<si><t>alpha</t></si><si><t>beta</t></si>");
    book.styles = StylesXml(4);
    return book;
}

std::string LoadError(const WorkbookParts& book) {
    try {
        Loaded loaded(book);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(SpreadsheetML, EveryCellTypeReadsAsSpreadsheetProgramsShowIt) {
    struct Case {
        const char* cell;   // the c element at A1
        const char* expected;
    } cases[] = {
        {"<c r=\"A1\"/>", "1:"},
        {"<c r=\"A1\" s=\"3\"/>", "1:"},
        {"<c r=\"A1\" t=\"s\"><v>1</v></c>", "4:beta"},
        {"<c r=\"A1\" t=\"s\"><v>x</v></c>", "4:alpha"},
        {"<c r=\"A1\"><v>1.5E3</v></c>", "5:1500"},
        {"<c r=\"A1\"><v>1,5</v></c>", "5:0"},
        {"<c r=\"A1\" s=\"2\"><v> -2.25 </v></c>", "5:-2.25"},
        {"<c r=\"A1\"><v>123456789012345678</v></c>", "5:1.23456789012346E17"},
        {"<c r=\"A1\" t=\"b\"><v>TRUE</v></c>", "2:TRUE"},
        {"<c r=\"A1\" t=\"b\"><v>yes</v></c>", "2:FALSE"},
        {"<c r=\"A1\" t=\"e\"><v>#N/A</v></c>", "3:#N/A"},
        {"<c r=\"A1\" t=\"e\"><v>#SPILL!</v></c>", "3:#SPILL!"},
        {"<c r=\"A1\" t=\"e\"><v>#BOGUS</v></c>", "3:_ERROR_ERROR_"},
        {"<c r=\"A1\" t=\"str\"><f>\"a\"&amp;\"bc\"</f><v>abc</v></c>", "7:abc"},
        {"<c r=\"A1\" t=\"str\"><v>abc</v></c>", "4:abc"},
        {"<c r=\"A1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> x </t></is></c>", "4: x "},
        {"<c r=\"A1\" t=\"inlineStr\"><is><r><t>a</t></r><r><rPr><b/></rPr><t>b</t></r></is></c>", "4:ab"},
        {"<c r=\"A1\" t=\"d\"><v>2024-01-31</v></c>", "5:45322"},
        {"<c r=\"A1\" t=\"d\"><v>2024-01-31T18:00:00</v></c>", "5:45322.75"},
        {"<c r=\"A1\" t=\"d\"><v>not a date</v></c>", "4:not a date"},
        // Formulas: the cached result by the cell's type.
        {"<c r=\"A1\"><f>1+1</f><v>2</v></c>", "6:2"},
        {"<c r=\"A1\" t=\"b\"><f>TRUE()</f><v>1</v></c>", "8:TRUE"},
        {"<c r=\"A1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>", "9:#DIV/0!"},
        {"<c r=\"A1\" t=\"e\"><f>X()</f><v>#CALC!</v></c>", "9:#CALC!"},
        {"<c r=\"A1\" t=\"s\"><f>B1</f><v>1</v></c>", "7:beta"},   // Gnumeric's text results
        {"<c r=\"A1\" t=\"inlineStr\"><f>B1</f><is><t>z</t></is></c>", "7:z"},
        {"<c r=\"A1\" t=\"d\"><f>TODAY()</f><v>2024-01-31</v></c>", "6:45322"},
        {"<c r=\"A1\"><f>1/0</f></c>", "7:"},   // never calculated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cell);
        Loaded loaded(OneSheet(std::string("<row r=\"1\">") + c.cell + "</row>"));
        EXPECT_EQ(Cell(loaded.Sheet(), 0, 0), c.expected);
    }
}

TEST(SpreadsheetML, CellsAndRowsWithoutReferencesFollowThePreviousOnes) {
    Loaded loaded(OneSheet("<row r=\"2\"><c r=\"B2\"><v>1</v></c><c><v>2</v></c><c><v>3</v></c></row>"
                           "<row><c><v>4</v></c></row>"
                           "<row r=\"9\"><c r=\"D9\" s=\"1\"/><c t=\"s\"><v>0</v></c></row>"));
    TXLSWorksheet& sheet = loaded.Sheet();
    EXPECT_EQ(Cell(sheet, 1, 1), "5:1");
    EXPECT_EQ(Cell(sheet, 2, 1), "5:2");
    EXPECT_EQ(Cell(sheet, 3, 1), "5:3");
    EXPECT_EQ(Cell(sheet, 0, 2), "5:4");
    EXPECT_EQ(Cell(sheet, 3, 8), "1:");
    EXPECT_EQ(Cell(sheet, 4, 8), "4:alpha");
    EXPECT_EQ(sheet.CellKind(0, 0), xckNone);
}

TEST(SpreadsheetML, DamagedSheetsFailWithClearMessages) {
    struct Case {
        const char* sheetData;
        const char* error;
    } cases[] = {
        {"<row r=\"1\"><c r=\"A0\"><v>1</v></c></row>", "Invalid cell reference \"A0\""},
        {"<row r=\"1\"><c r=\"XFE1\"/></row>", "Invalid cell reference \"XFE1\""},
        {"<row r=\"1\"><c r=\"1A\"/></row>", "Invalid cell reference \"1A\""},
        {"<row r=\"0\"/>", "Invalid row number \"0\""},
        {"<row r=\"1048577\"/>", "Invalid row number \"1048577\""},
        {"<row r=\"1\"><c r=\"A1\" s=\"5\"/></row>", "List index out of bounds (5)"},
        {"<row r=\"1\"><c r=\"A1\" t=\"e\"><f>X()</f><v>#BOGUS</v></c></row>", "Invalid error value"},
        {"<row r=\"1\"><c r=\"A1\"><v>1</v>", "Unexcpected end of file in XML"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sheetData);
        EXPECT_EQ(LoadError(OneSheet(c.sheetData)), c.error);
    }
}

TEST(SpreadsheetML, FormulaBlocksGiveTheirMembersTheMasterAndTheCachedValues) {
    Loaded loaded(OneSheet(
        "<row r=\"1\"><c r=\"A1\"><f t=\"array\" ref=\"A1:B2\" aca=\"1\">ROW()</f><v>1</v></c><c r=\"B1\"><v>1</v></c>"
        "<c r=\"D1\"><f t=\"shared\" ref=\"D1:D3\" si=\"0\">C1*2</f><v>2</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"/><c r=\"D2\"><f t=\"shared\" si=\"0\"/><v>4</v></c></row>"
        "<row r=\"3\"><c r=\"D3\"><f t=\"shared\" si=\"0\"/><v>6</v></c>"
        "<c r=\"F3\"><f t=\"dataTable\" ref=\"F3:F4\" dt2D=\"0\" dtr=\"1\" r1=\"A1\"/><v>5</v></c></row>"
        "<row r=\"4\"><c r=\"D4\"><f t=\"shared\" si=\"0\"/><v>8</v></c><c r=\"E4\"><f t=\"shared\" si=\"9\"/><v>9</v></c>"
        "<c r=\"F4\"><v>6</v></c></row>"));
    TXLSWorksheet& sheet = loaded.Sheet();
    TXLSCellStore& cells = loaded.Cells();
    auto body = [&](int col, int row) {
        TXLSCellRef ref;
        EXPECT_TRUE(cells.LocateCell(col, row, ref));
        return cells.ReadFormulaBody(ref);
    };
    EXPECT_EQ(Cell(sheet, 0, 0), "6:1");
    const TXLSFormulaBody master = body(0, 0);
    EXPECT_EQ(master.FormulaType, 1);
    EXPECT_TRUE(master.HasRange);
    EXPECT_EQ(master.Range.LastCol, 1);
    EXPECT_EQ(master.Range.LastRow, 1);
    EXPECT_EQ(Utf16ToUtf8(master.Text), "ROW()");
    // Members of the array block.
    EXPECT_EQ(Cell(sheet, 1, 0), "6:1");
    EXPECT_EQ(Cell(sheet, 0, 1), "6:2");
    EXPECT_EQ(Cell(sheet, 1, 1), "7:");
    EXPECT_EQ(body(1, 0).FormulaType, 3);
    EXPECT_EQ(body(1, 1).Master.Col, 0);
    // Shared formula: dependents inside the block take the master's formula.
    EXPECT_EQ(Cell(sheet, 3, 1), "6:4");
    EXPECT_EQ(Utf16ToUtf8(body(3, 1).Text), "C1*2");
    EXPECT_EQ(Utf16ToUtf8(body(3, 2).Text), "C1*2");
    EXPECT_EQ(Cell(sheet, 3, 3), "6:8");
    EXPECT_TRUE(body(3, 3).Text.empty());   // outside the block
    EXPECT_EQ(Cell(sheet, 4, 3), "6:9");     // never registered
    // Data table and its member.
    EXPECT_EQ(Cell(sheet, 5, 2), "6:5");
    EXPECT_EQ(body(5, 2).FormulaType, 2);
    EXPECT_EQ(body(5, 2).TableFlags, 8);
    EXPECT_EQ(Cell(sheet, 5, 3), "6:6");
    EXPECT_EQ(body(5, 3).FormulaType, 5);
    EXPECT_EQ(body(5, 3).Master.Row, 2);
}

TEST(SpreadsheetML, FormulaBlocksAreFoundInAnyRowOrderWithinABudget) {
    TXLSFormulaAreas areas(20000);
    for (int i = 0; i < 1000; ++i)   // blocks C1:D2, C3:D4, ...
        areas.Add({{2, 2 * i, 3, 2 * i + 1}, i % 2 == 0, {2, 2 * i}});
    EXPECT_EQ(areas.Find(3, 1)->Master.Row, 0);
    EXPECT_EQ(areas.Find(2, 1999)->Master.Row, 1998);
    EXPECT_EQ(areas.Find(3, 5)->Master.Row, 4);   // rows going back
    EXPECT_TRUE(areas.Find(3, 5)->Array);
    EXPECT_FALSE(areas.Find(2, 3)->Array);
    EXPECT_EQ(areas.Find(4, 5), nullptr);
    EXPECT_EQ(areas.Find(1, 2000), nullptr);
    // A sheet that keeps jumping back spends the budget; then cells are no longer looked up.
    int found = 0;
    for (int i = 0; i < 100; ++i) found += areas.Find(2, (i % 2) ? 1998 : 0) != nullptr;
    EXPECT_LT(found, 100);
    areas.Clear();
    EXPECT_TRUE(areas.Empty());
}

TEST(SpreadsheetML, RowRecordsAndTheDeclaredArea) {
    Loaded loaded(OneSheet("<row r=\"3\" ht=\"15\" customHeight=\"1\" hidden=\"true\" outlineLevel=\"2\"/><row r=\"4\"/>",
                           "<dimension ref=\"B2:D5\"/>"));
    TXLSWorksheet& sheet = loaded.Sheet();
    EXPECT_EQ(sheet.FirstUsedRow(), 1);
    EXPECT_EQ(sheet.LastUsedRow(), 4);
    EXPECT_EQ(sheet.FirstUsedCol(), 1);
    EXPECT_EQ(sheet.LastUsedCol(), 3);
    TXLSRowRecord record;
    ASSERT_TRUE(loaded.Cells().ReadRowRecord(2, record));
    EXPECT_EQ(record.Height, 300);
    EXPECT_EQ(record.Options, 3);
    EXPECT_EQ(record.OutlineLevel, 2);
    ASSERT_TRUE(loaded.Cells().ReadRowRecord(3, record));
    EXPECT_EQ(record.Height, -1);

    Loaded empty(OneSheet(""));
    EXPECT_EQ(empty.Sheet().FirstUsedRow(), -1);
    EXPECT_EQ(empty.Sheet().LastUsedCol(), -1);
}

TEST(SpreadsheetML, PrefixedAndStrictWorkbooksReadLikeTransitionalOnes) {
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    WorkbookParts prefixed;
    prefixed.sheets.push_back({"P", "<x:worksheet xmlns:x=\"" + main +
                                        "\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"s\"><x:v>0</x:v></x:c>"
                                        "<x:c r=\"B1\"><x:v>7</x:v></x:c></x:row></x:sheetData></x:worksheet>"});
    prefixed.sharedStrings = "<x:sst xmlns:x=\"" + main + "\"><x:si><x:t>one</x:t></x:si></x:sst>";
    Loaded p(prefixed);
    EXPECT_EQ(Cell(p.Sheet(), 0, 0), "4:one");
    EXPECT_EQ(Cell(p.Sheet(), 1, 0), "5:7");

    WorkbookParts strict;
    strict.strict = true;
    strict.sheets.push_back({"S", "<worksheet xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"><sheetData>"
                                  "<row r=\"1\"><c r=\"A1\" t=\"d\"><v>1900-03-01</v></c></row></sheetData></worksheet>"});
    Loaded s(strict);
    EXPECT_EQ(s.Sheet().Name(), u"S");
    EXPECT_EQ(Cell(s.Sheet(), 0, 0), "5:61");
}

TEST(SpreadsheetML, SheetListKeepsOrderStateAndKinds) {
    WorkbookParts book;
    book.sheets.push_back({"Visible", SheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")});
    book.sheets.push_back({"Hidden", SheetXml("<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>"), "state=\"hidden\""});
    book.sheets.push_back({"Chart", "<chartsheet/>", "state=\"VERYHIDDEN\"", "chartsheet"});
    book.sheets.push_back({"Module", "", "", ""});
    book.workbookPr = "date1904=\"1\"";
    book.sheets[0].xml = SheetXml("<row r=\"1\"><c r=\"A1\" t=\"d\"><v>2024-01-31</v></c></row>");
    Loaded loaded(book);
    ASSERT_EQ(loaded.document.SheetCount(), 4);
    EXPECT_EQ(Cell(loaded.Sheet(0), 0, 0), "5:43860");   // 1904 date system
    EXPECT_EQ(loaded.Sheet(1).Data().State, 1);
    EXPECT_EQ(Cell(loaded.Sheet(1), 0, 0), "5:2");
    EXPECT_TRUE(loaded.Sheet(2).Data().IsChartSheet);
    EXPECT_EQ(loaded.Sheet(2).Data().State, 2);
    EXPECT_EQ(loaded.Sheet(3).Name(), u"Module");
    EXPECT_EQ(loaded.Sheet(3).CellKind(0, 0), xckNone);
}

TEST(SpreadsheetML, TwoSheetsCannotShareAPart) {
    WorkbookParts book = OneSheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
    book.sheets.push_back({"Again", "", "", "worksheet", "worksheets/sheet1.xml"});
    EXPECT_EQ(LoadError(book), "Two sheets of the workbook name the part \"xl/worksheets/sheet1.xml\"");
}

TEST(SpreadsheetML, SharedStringsKeepTextAndFontRuns) {
    WorkbookParts book = OneSheet("");
    book.styles = StylesXml(1, "<font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
                               "<mc:AlternateContent xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
                               "<mc:Choice Requires=\"hs\"><font><sz val=\"30\"/></font></mc:Choice>"
                               "<mc:Fallback><font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></mc:Fallback>"
                               "</mc:AlternateContent>");
    book.sharedStrings = SharedStringsXml(
        "<si><t>plain</t></si>"
        "<si><r><t xml:space=\"preserve\">first </t></r><r><rPr><b/><sz val=\"11\"/><rFont val=\"calibri\"/></rPr>"
        "<t>bold</t></r></si>"
        "<si><r><rPr><i/><sz val=\"11\"/><rFont val=\"Calibri\"/></rPr><t>a</t></r><r><t>b</t></r></si>"
        "<si><t xml:space=\"preserve\">lead </t><r><rPr><b/><sz val=\"11\"/><rFont val=\"Calibri\"/></rPr><t>x</t></r></si>"
        "<si><t>\xE6\xBC\xA2\xE5\xAD\x97</t><rPh sb=\"0\" eb=\"2\"><t>\xE3\x81\x8B\xE3\x82\x93</t></rPh>"
        "<phoneticPr fontId=\"0\"/></si>"
        "<si><t>A&amp;B &#x4E2D; _x000D_</t></si>");
    Loaded loaded(book);
    const TWbDataSST& sst = loaded.document.Manager().SST();
    TWbDataStyleSheet& styles = loaded.document.Manager().StyleSheet();
    ASSERT_EQ(sst.Count(), 6);
    EXPECT_EQ(sst.StringAt(0), u"plain");
    EXPECT_FALSE(sst.IsRich(0));
    // A first run without rPr starts the text and gets no font run of its own.
    EXPECT_EQ(sst.StringAt(1), u"first bold");
    ASSERT_EQ(sst.Runs(1).size(), 1u);
    EXPECT_EQ(sst.Runs(1)[0].Pos, 6u);
    EXPECT_EQ(sst.Runs(1)[0].Font, 1u);   // the styles' bold font, names compared ignoring case
    // A run font the style table does not hold is added to it.
    ASSERT_EQ(sst.Runs(2).size(), 2u);
    EXPECT_EQ(sst.Runs(2)[0].Font, 2u);
    EXPECT_TRUE(styles.FontAt(2).Italic);
    EXPECT_EQ(sst.Runs(2)[1].Pos, 1u);
    EXPECT_EQ(sst.Runs(2)[1].Font, 0u);
    EXPECT_EQ(styles.FontCount(), 3);
    // A t before the runs stays part of the text.
    EXPECT_EQ(sst.StringAt(3), u"lead x");
    EXPECT_EQ(sst.Runs(3)[0].Pos, 5u);
    EXPECT_EQ(sst.StringAt(4), u"\u6F22\u5B57");                 // phonetic text never joins
    EXPECT_EQ(sst.StringAt(5), u"A&B \u4E2D _x000D_");           // escapes stay as written
}

TEST(XmlValues, IsoDatesBecomeSerialNumbers) {
    struct Case {
        const char* text;
        bool date1904;
        double serial;
    } cases[] = {
        {"1900-01-01", false, 1},          {"1900-02-28", false, 59},   {"1900-03-01", false, 61},
        {"2024-01-31", false, 45322},      {"2024-01-31", true, 43860}, {"1904-01-01", true, 0},
        {"2024-02-29T06:00:00Z", false, 45351.25},                      {"12:00:00", false, 0.5},
        {"2024-01-31T10:00:00.5+08:00", false, 45322 + (36000.5 / 86400)},
    };
    for (const Case& c : cases) {
        double serial = -1;
        EXPECT_TRUE(ParseIsoDateSerial(c.text, c.date1904, serial)) << c.text;
        EXPECT_DOUBLE_EQ(serial, c.serial) << c.text;
    }
    double serial;
    for (const char* bad : {"2023-02-29", "2024-13-01", "2024-1-1", "31.01.2024", "2024-01-31T25:00:00", ""})
        EXPECT_FALSE(ParseIsoDateSerial(bad, false, serial)) << bad;
}

TEST(XmlValues, CellReferencesAndNumbers) {
    int32_t col = -1, row = -1;
    EXPECT_TRUE(ParseCellRef("$XFD$1048576", col, row));
    EXPECT_EQ(col, 16383);
    EXPECT_EQ(row, 1048575);
    for (const char* bad : {"", "A", "1", "A1B", "XFE1", "A1048577", "A0", "$$A1"})
        EXPECT_FALSE(ParseCellRef(bad, col, row)) << bad;
    TXLSCellArea area;
    EXPECT_TRUE(ParseCellArea("'My Sheet'!C3:A1", area));
    EXPECT_EQ(area.FirstCol, 0);
    EXPECT_EQ(area.LastRow, 2);

    double value = -1;
    for (const char* text : {"0.1", "1e-3", "-0.5", "+7", "123456.789012345", "1.7976931348623157e308"}) {
        EXPECT_TRUE(ParseNumberText(text, value)) << text;
        EXPECT_EQ(value, std::strtod(text, nullptr)) << text;
    }
    for (const char* text : {"inf", "nan", "1,5", "1e400", "", "0x10", "- 1"}) EXPECT_FALSE(ParseNumberText(text, value)) << text;
}

} // namespace
} // namespace tessaly
