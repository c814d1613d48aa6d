#include "xlsx/XLSReadXLSX.h"

#include <climits>
#include <cmath>
#include <unordered_set>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Utf.h"
#include "workbook/WbManager.h"
#include "xlsx/XmlParserXLSX.h"
#include "xlsx/XmlValues.h"

namespace tessaly {

namespace {

// RAII: the package is closed when the read ends, also when it fails.
struct PackageCloser {
    TOPC_XLSX& package;
    ~PackageCloser() { package.ClosePackage(); }
};

} // namespace

void ReadXlsxWorkbook(TWbManager& workbook, TStream& stream) {
    TXLSReadXLSX reader(workbook);
    reader.ReadFile(stream);
}

TXLSReadXLSX::TXLSReadXLSX(TWbManager& manager) : manager_(manager) {}
TXLSReadXLSX::~TXLSReadXLSX() = default;

void TXLSReadXLSX::ReadFile(TStream& stream) {
    package_.OpenPackage(stream, false);
    PackageCloser closer{package_};
    ReadStyles();
    ReadSharedStrings();
    TCT_Workbook workbook;
    ReadWorkbook(workbook);
    ReadSheets(workbook);
}

void TXLSReadXLSX::ReadStyles() {
    auto stream = package_.StylesStream();
    if (!stream) return;
    TCT_Stylesheet styles(manager_.StyleSheet());
    TXmlDocXLSX().Parse(*stream, {{"styleSheet", &styles}});
}

void TXLSReadXLSX::ReadSharedStrings() {
    auto stream = package_.SharedStringsStream();
    if (!stream) return;
    TCT_Sst sst(*this);
    TXmlDocXLSX().Parse(*stream, {{"sst", &sst}});
}

void TXLSReadXLSX::ReadWorkbook(TCT_Workbook& workbook) {
    auto stream = package_.WorkbookStream();
    if (!stream) throw Exception("Can not find workbook in OPC");
    TXmlDocXLSX().Parse(*stream, {{"workbook", &workbook}});
    manager_.Workbook().Date1904 = workbook.Date1904;
}

void TXLSReadXLSX::ReadSheets(TCT_Workbook& workbook) {
    std::vector<TWbDataWorksheet*> sheets;
    for (size_t i = 0; i < workbook.Sheets.Count(); ++i) {
        const TCT_Sheet& entry = workbook.Sheets[i];
        const int64_t id = entry.SheetId - 1;
        TWbDataWorksheet& sheet = manager_.Worksheets().AddWorksheetData(
            static_cast<int32_t>(id < INT32_MIN ? INT32_MIN : id > INT32_MAX ? INT32_MAX : id));
        sheet.Name = entry.Name;
        sheet.State = entry.State;
        sheet.RelId = entry.RelId;
        sheets.push_back(&sheet);
    }
    std::unordered_set<std::string> partsRead;
    for (TWbDataWorksheet* sheet : sheets) {
        // Excel lists some sheets it keeps no part for (such as macro modules) with an empty
        // relationship id: they stay empty.
        if (sheet->RelId.empty()) continue;
        const std::string type = package_.SheetType(sheet->RelId);
        if (type == opc::kChartsheet) {
            sheet->IsChartSheet = true;
            continue;
        }
        // Every sheet has a part of its own; a part named by two sheets would be read twice over
        // (a small file could make the reader work without end).
        const std::string part = package_.SheetPartName(sheet->RelId);
        if (!part.empty() && !partsRead.insert(part).second)
            throw Exception(Format("Two sheets of the workbook name the part \"%s\"", part.c_str()));
        // Dialog and macro sheets keep their cells in the same sheet data as worksheets.
        const bool other = type == opc::kDialogsheet || type == opc::kMacrosheet || type == opc::kIntlMacrosheet;
        auto stream = other ? package_.SheetStream(sheet->RelId, type) : package_.WorksheetStream(sheet->RelId);
        try {
            ReadWorksheet(*sheet, std::move(stream));
        } catch (...) {
            package_.CloseSheet();
            throw;
        }
        package_.CloseSheet();
    }
}

void TXLSReadXLSX::ReadWorksheet(TWbDataWorksheet& sheet, std::unique_ptr<TStream> stream) {
    sharedFormulas_.clear();
    areas_.Clear();
    cells_ = &sheet.Cells();
    TCT_Worksheet worksheet(*this);
    TXmlDocXLSX().Parse(*stream, {{"worksheet", &worksheet}, {"dialogsheet", &worksheet}, {"macrosheet", &worksheet}});
    if (worksheet.HasDimension) {
        const TXLSCellArea& d = worksheet.Dimension;
        cells_->SetUsedArea(d.FirstRow, d.LastRow, d.FirstCol, d.LastCol);
    } else {
        cells_->SetUsedArea(-1, -1, -1, -1);
    }
    cells_ = nullptr;
}

// Rich texts: a run with rPr starts a font run of that font; the text before the first such run
// (a t before the runs, or a first run without rPr) keeps the cell's font. A run font that the
// style table does not hold yet is added to it.
void TXLSReadXLSX::AppendSharedString(TCT_Rst& item) {
    TWbDataSST& sst = manager_.SST();
    if (item.RunCount == 0) {
        sst.AppendString(item.Text);
        return;
    }
    TWbDataStyleSheet& styles = manager_.StyleSheet();
    text_ = item.Text;
    std::vector<TWbFontRun> runs;
    runs.reserve(item.RunCount);
    for (size_t i = 0; i < item.RunCount; ++i) {
        const TCT_RElt& run = item.Runs[i];
        if (run.HasRPr || !text_.empty()) {
            const int32_t font = run.HasRPr ? FontFor(run.RPr.Font) : 0;
            styles.AddFontUse(font);
            runs.push_back({static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(font)});
        }
        text_ += run.Text;
    }
    sst.AppendRichString(text_, runs);
}

// The style table's font equal to `font` (the first one, as the table's own lookup finds it), or a
// new entry. The fonts are indexed by a hash of their description, so that a workbook with many
// fonts and many rich strings is not read in quadratic time.
int32_t TXLSReadXLSX::FontFor(const TWbFont& font) {
    TWbDataStyleSheet& styles = manager_.StyleSheet();
    auto key = [](const TWbFont& f) {
        uint64_t h = std::hash<double>()(f.Size);
        auto mix = [&](uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
        for (char16_t c : f.Name) {
            // Letters that the table compares without regard to case hash alike.
            if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0xFF21 && c <= 0xFF3A))
                c = static_cast<char16_t>(c + 0x20);
            mix(c);
        }
        mix(f.Charset | (f.Family << 8) | (f.Underline << 16) | (f.VertAlign << 24) | (uint64_t{f.Scheme} << 32));
        mix(f.Bold | (f.Italic << 1) | (f.Strike << 2) | (f.Condense << 3) | (f.Extend << 4) | (f.Outline << 5) |
            (f.Shadow << 6));
        mix(f.Color);
        return h;
    };
    for (; fontsIndexed_ < styles.FontCount(); ++fontsIndexed_)
        fontIndex_.emplace(key(styles.FontAt(fontsIndexed_)), fontsIndexed_);
    const uint64_t k = key(font);
    int32_t found = -1;
    const auto [first, last] = fontIndex_.equal_range(k);
    for (auto it = first; it != last; ++it)
        if ((found < 0 || it->second < found) && styles.FontAt(it->second).SameAs(font)) found = it->second;
    if (found >= 0) return found;
    found = styles.AddFont(font);
    fontIndex_.emplace(k, found);
    fontsIndexed_ = found + 1;
    return found;
}

uint16_t TXLSReadXLSX::CheckedStyle(int64_t style) const {
    if (style < 0 || style > 0xFFFF) throw EListError(style);
    return static_cast<uint16_t>(style);
}

void TXLSReadXLSX::StoreRow(TCT_Row& row) {
    if (row.Index > kMaxRow) throw Exception(Format("Invalid row number \"%d\"", row.Index + 1));
    TXLSRowRecord record;
    record.Style = CheckedStyle(row.Style);
    record.Options = row.Options;
    record.OutlineLevel = row.OutlineLevel;
    record.Height = -1;
    if (row.Height != 0) {
        const double twips = std::round(row.Height * 20);
        if (twips >= 0 && twips <= 32767) record.Height = static_cast<int16_t>(twips);
    }
    cells_->StoreRowRecord(row.Index, record);
}

void TXLSReadXLSX::StoreCell(TCT_Cell& cell, TCT_Row& row) {
    int32_t col, r;
    if (cell.HasRef) {
        if (!cell.RefValid) throw Exception(Format("Invalid cell reference \"%s\"", cell.RefText.c_str()));
        col = cell.Col;
        r = cell.Row;
    } else {
        // Without a reference a cell follows the previous cell of its row.
        r = row.Index;
        col = row.LastCol + 1;
        if (r > kMaxRow) throw Exception(Format("Invalid row number \"%d\"", r + 1));
        if (col > kMaxCol) throw Exception(Format("Row %d has more than %d cells", r + 1, kMaxCol + 1));
    }
    row.LastCol = col;
    const uint16_t style = CheckedStyle(cell.Style);
    if (cell.HasF) {
        StoreFormulaCell(cell, col, r, style);
        return;
    }
    if (!areas_.Empty()) {
        if (const TXLSFormulaAreas::Area* area = areas_.Find(col, r)) {
            StoreAreaMember(*area, cell, col, r, style);
            return;
        }
    }
    const std::string& v = cell.V;
    TXLSCellStore& cells = *cells_;
    if (!cell.HasValue) {
        if (cell.Type == ctInlineString) {
            cells.StoreText(col, r, cell.HasIs ? cell.Is.PlainText() : std::u16string(), style);
        } else {
            cells.StoreBlank(col, r, style);
        }
        return;
    }
    switch (cell.Type) {
    case ctNumber:
        cells.StoreNumber(col, r, cell.NumberValid ? cell.Number : 0, style);
        break;
    case ctSharedString:
        cells.StoreSharedString(col, r, static_cast<uint32_t>(cell.Index), style);
        break;
    case ctBoolean:
        cells.StoreBoolean(col, r, ParseXmlBool(v, false), style);
        break;
    case ctError:
        cells.StoreError(col, r, ErrorCodeOf(std::string_view(v)), style);
        break;
    case ctString:
        // A text without a formula: spilled dynamic-array results, and several generators.
        text_.clear();
        AppendUtf8ToUtf16(v, text_);
        cells.StoreText(col, r, text_, style);
        break;
    case ctDate: {
        double serial;
        if (ParseIsoDateSerial(v, manager_.Workbook().Date1904, serial)) {
            cells.StoreNumber(col, r, serial, style);
        } else {
            text_.clear();
            AppendUtf8ToUtf16(v, text_);
            cells.StoreText(col, r, text_, style);
        }
        break;
    }
    case ctInlineString:
        if (cell.HasIs) {
            cells.StoreText(col, r, cell.Is.PlainText(), style);
        } else {
            text_.clear();
            AppendUtf8ToUtf16(v, text_);
            cells.StoreText(col, r, text_, style);
        }
        break;
    }
}

// The cached result of a formula cell, by the cell's type.
void TXLSReadXLSX::SetCachedResult(TCT_Cell& cell) {
    TXLSFormulaHelper& h = cells_->FormulaHelper();
    const std::string& v = cell.V;
    if (!cell.HasValue && !(cell.Type == ctInlineString && cell.HasIs)) {
        // A formula that was never calculated (generators often write none): its result is
        // unknown, which an empty text says; a number 0 would pass for a real value.
        h.SetTextResult(std::u16string());
        return;
    }
    switch (cell.Type) {
    case ctBoolean:
        h.SetBooleanResult(ParseXmlBool(v, false));
        break;
    case ctNumber:
        h.SetNumberResult(cell.NumberValid ? cell.Number : 0);
        break;
    case ctError:
        h.SetErrorResult(ErrorCodeOf(std::string_view(v)));
        break;
    case ctString:
        h.SetTextResult(Utf8ToUtf16(v));
        break;
    case ctSharedString:
        // Gnumeric writes every text result as a shared string.
        h.SetTextResult(manager_.SST().StringAt(static_cast<int32_t>(cell.Index)));
        break;
    case ctInlineString:
        h.SetTextResult(cell.HasIs ? cell.Is.PlainText() : Utf8ToUtf16(v));
        break;
    case ctDate: {
        double serial;
        if (ParseIsoDateSerial(v, manager_.Workbook().Date1904, serial)) h.SetNumberResult(serial);
        else h.SetTextResult(Utf8ToUtf16(v));
        break;
    }
    }
}

void TXLSReadXLSX::StoreFormulaCell(TCT_Cell& cell, int32_t col, int32_t row, uint16_t style) {
    TXLSFormulaHelper& h = cells_->FormulaHelper();
    const TCT_CellFormula& f = cell.F;
    h.Clear();
    h.Col = col;
    h.Row = row;
    h.Style = style;
    uint8_t options = static_cast<uint8_t>((f.Bx ? 2 : 0) | (f.Ca ? 4 : 0));
    auto registerArea = [&](const TXLSCellArea& area, bool array) { areas_.Add({area, array, {col, row}}); };
    switch (f.Type) {
    case ftNormal:
        h.FormulaType = 0;
        h.SetFormulaText(Utf8ToUtf16(f.Text));
        break;
    case ftArray: {
        h.FormulaType = 1;
        TXLSCellArea area;
        if (ParseCellArea(f.Ref, area)) {
            h.HasRange = true;
            h.Range = area;
            registerArea(area, true);
        }
        if (f.Aca) options |= 1;
        h.SetFormulaText(Utf8ToUtf16(f.Text));
        break;
    }
    case ftDataTable: {
        h.FormulaType = 2;
        h.HasTable = true;
        h.TableFlags = static_cast<uint8_t>((f.Dt2D ? 4 : 0) | (f.Dtr ? 8 : 0) | (f.Del1 ? 1 : 0) | (f.Del2 ? 2 : 0));
        if (!f.R1.empty()) {
            ParseCellRef(f.R1, h.Input1.Col, h.Input1.Row);
            ParseCellRef(f.R2, h.Input2.Col, h.Input2.Row);
        }
        TXLSCellArea area;
        if (ParseCellArea(f.Ref, area)) registerArea(area, false);
        break;
    }
    case ftShared:
        h.FormulaType = 0;
        if (f.HasText && !f.Text.empty()) {
            SharedFormula& shared = sharedFormulas_[f.Si];
            shared.Master = {col, row};
            if (!ParseCellArea(f.Ref, shared.Area)) shared.Area = {col, row, col, row};
            shared.Text = Utf8ToUtf16(f.Text);
            h.SetFormulaText(shared.Text);
        } else {
            // A dependent cell takes the master's formula; one outside the block gets none.
            const auto it = sharedFormulas_.find(f.Si);
            if (it != sharedFormulas_.end() && it->second.Area.Contains(col, row)) h.SetFormulaText(it->second.Text);
        }
        break;
    }
    h.Options = options;
    SetCachedResult(cell);
    cells_->StoreFormula();
}

void TXLSReadXLSX::StoreAreaMember(const TXLSFormulaAreas::Area& area, TCT_Cell& cell, int32_t col, int32_t row,
                                   uint16_t style) {
    TXLSFormulaHelper& h = cells_->FormulaHelper();
    h.Clear();
    h.Col = col;
    h.Row = row;
    h.Style = style;
    h.FormulaType = area.Array ? 3 : 5;
    h.Master = area.Master;
    SetCachedResult(cell);
    cells_->StoreFormula();
}

} // namespace tessaly
