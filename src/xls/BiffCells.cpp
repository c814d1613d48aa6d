// Cell records of a worksheet substream: numbers, text, booleans, errors, blanks, formulas
// with their cached results, row records and the declared dimension. Formulas are not
// evaluated: a formula cell keeps its token bytes and the result the file cached for it.
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "xls/BiffReaderImpl.h"
#include "xls/BiffRecords.h"

namespace tessaly {

using namespace biff;

namespace {

void RequireLength(uint16_t length, size_t needed) {
    if (length < needed) throw Exception(Format("Record too short: %u bytes, %zu needed", length, needed));
}

double DecodeRK(uint32_t rk) {
    double value;
    if (rk & 2) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 1) ? value / 100 : value;
}

// BIFF error bytes to the store's error codes; 0 for a byte that is no error.
uint8_t MapBiffError(uint8_t value) {
    switch (value) {
        case 0x00: return 1;
        case 0x07: return 2;
        case 0x0F: return 3;
        case 0x17: return 4;
        case 0x1D: return 5;
        case 0x24: return 6;
        case 0x2A: return 7;
        default: return 0;
    }
}

std::string CellReference(int32_t col, int32_t row) {
    std::string letters;
    for (int32_t n = col + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters + std::to_string(row + 1);
}

// A cached result of special kind: byte 0 below 4 and the two top bytes 0xFF.
bool IsSpecialResult(const uint8_t* result) { return result[0] < 4 && result[6] == 0xFF && result[7] == 0xFF; }

} // namespace

bool TBiffReader::DispatchCell(const TRecord& r) {
    const uint8_t* d = r.Data;
    switch (r.Id) {
        case kNumber:
            RequireLength(r.Length, 14);
            cells_->StoreNumber(LoadU16(d + 2), LoadU16(d), LoadF64(d + 6), Style(LoadU16(d + 4)));
            return true;
        case kRk:
        case kRk3:
            RequireLength(r.Length, 10);
            cells_->StoreNumber(LoadU16(d + 2), LoadU16(d), DecodeRK(LoadU32(d + 6)), Style(LoadU16(d + 4)));
            return true;
        case kMulRk: ReadMulRk(r); return true;
        case kLabelSst: ReadLabelSst(r); return true;
        case kBlank:
            RequireLength(r.Length, 6);
            cells_->StoreBlank(LoadU16(d + 2), LoadU16(d), Style(LoadU16(d + 4)));
            return true;
        case kMulBlank: ReadMulBlank(r); return true;
        case kBoolErr:
            RequireLength(r.Length, 8);
            ReadBoolErr(r, 6, Style(LoadU16(d + 4)));
            return true;
        case kLabel: ReadLabel(r, false); return true;
        case kRString: ReadLabel(r, true); return true;
        case kRow: ReadRow(r); return true;
        case kDimensions:
        case kDimensions2: ReadDimensions(r); return true;
        case kFormula:
            if (version_ <= xvExcel40)
                ReadFormulaOld(r);
            else
                ReadFormula(r);
            return true;
        case kFormula3:
        case kFormula4: ReadFormulaOld(r); return true;
        // BIFF2 cells: row, column, three attribute bytes, then the value; no XF index.
        case kBlank2:
            RequireLength(r.Length, 7);
            cells_->StoreBlank(d[2], LoadU16(d), 0);
            return true;
        case kInteger2:
            RequireLength(r.Length, 9);
            cells_->StoreNumber(d[2], LoadU16(d), LoadU16(d + 7), 0);
            return true;
        case kNumber2:
            RequireLength(r.Length, 15);
            cells_->StoreNumber(d[2], LoadU16(d), LoadF64(d + 7), 0);
            return true;
        case kLabel2: {
            RequireLength(r.Length, 8);
            const size_t count = d[7];
            if (8 + count > r.Length) throw Exception("Text runs past the end of its record");
            cells_->StoreText(d[2], LoadU16(d), Text8(d + 8, count), 0);
            return true;
        }
        case kBoolErr2:
            RequireLength(r.Length, 9);
            ReadBoolErr(r, 7, 0);
            return true;
        default:
            return false;
    }
}

void TBiffReader::ReadMulRk(const TRecord& r) {
    RequireLength(r.Length, 6);
    const uint8_t* d = r.Data;
    const int32_t row = LoadU16(d);
    const int32_t first = LoadU16(d + 2);
    const size_t n = (r.Length - 6u) / 6;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* cell = d + 4 + 6 * i;
        cells_->StoreNumber(first + static_cast<int32_t>(i), row, DecodeRK(LoadU32(cell + 2)), Style(LoadU16(cell)));
    }
}

void TBiffReader::ReadMulBlank(const TRecord& r) {
    RequireLength(r.Length, 6);
    const uint8_t* d = r.Data;
    const int32_t row = LoadU16(d);
    const int32_t first = LoadU16(d + 2);
    const size_t n = (r.Length - 6u) / 2;
    for (size_t i = 0; i < n; ++i) cells_->StoreBlank(first + static_cast<int32_t>(i), row, Style(LoadU16(d + 4 + 2 * i)));
}

void TBiffReader::ReadBoolErr(const TRecord& r, size_t valueAt, uint16_t style) {
    const uint8_t* d = r.Data;
    const int32_t col = valueAt == 7 ? d[2] : LoadU16(d + 2);
    const uint8_t value = d[valueAt];
    if (d[valueAt + 1] == 0)
        cells_->StoreBoolean(col, LoadU16(d), value != 0, style);
    else
        cells_->StoreError(col, LoadU16(d), MapBiffError(value), style);
}

void TBiffReader::ReadLabelSst(const TRecord& r) {
    RequireLength(r.Length, 10);
    const uint8_t* d = r.Data;
    const uint32_t index = LoadU32(d + 6);
    if (index >= sstStrings_)
        throw Exception(Format("Shared string index %u out of range (%lld strings read)", index,
                               static_cast<long long>(sstStrings_)));
    cells_->StoreSharedString(LoadU16(d + 2), LoadU16(d), index, Style(LoadU16(d + 4)));
}

void TBiffReader::ReadLabel(const TRecord& r, bool rich) {
    (void)rich;   // the formatting runs of a rich string cell are left aside
    RequireLength(r.Length, 8);
    const uint8_t* d = r.Data;
    const size_t count = LoadU16(d + 6);
    size_t at = 8;
    bool wide = false;
    if (version_ == xvExcel97) {
        RequireLength(r.Length, 9);
        wide = (d[8] & 1) != 0;
        at = 9;
    } else if (version_ == xvExcel50 && r.Length > 8 && (d[8] == 0 || d[8] == 1)) {
        // A byte 0 or 1 here is taken for an option byte in front of the characters.
        wide = d[8] == 1;
        at = 9;
    }
    if (at + count * (wide ? 2 : 1) > r.Length) throw Exception("Text runs past the end of its record");
    std::u16string text;
    if (wide) {
        text.resize(count);
        for (size_t i = 0; i < count; ++i) text[i] = LoadU16(d + at + 2 * i);
    } else {
        text = Text8(d + at, count);
    }
    cells_->StoreText(LoadU16(d + 2), LoadU16(d), text, Style(LoadU16(d + 4)));
}

void TBiffReader::ReadRow(const TRecord& r) {
    RequireLength(r.Length, 16);
    const uint8_t* d = r.Data;
    const uint16_t options = LoadU16(d + 12);
    TXLSRowRecord record;
    record.Style = (options & 0x80) ? Style(LoadU16(d + 14) & 0x0FFF) : 0;
    record.Height = LoadI16(d + 6);
    record.OutlineLevel = options & 7;
    record.Options = static_cast<uint8_t>(((options & 0x10) ? 4 : 0) | ((options & 0x20) ? 1 : 0) | ((options & 0x40) ? 2 : 0));
    cells_->StoreRowRecord(LoadU16(d), record);
}

void TBiffReader::ReadDimensions(const TRecord& r) {
    const uint8_t* d = r.Data;
    if (version_ == xvExcel97) {
        RequireLength(r.Length, 12);
        cells_->SetUsedArea(LoadI32(d), LoadI32(d + 4) - 1, LoadU16(d + 8), LoadU16(d + 10) - 1);
    } else if (version_ == xvExcel50 && r.Id == kDimensions) {
        RequireLength(r.Length, 8);
        cells_->SetUsedArea(LoadU16(d), LoadU16(d + 2) - 1, LoadU16(d + 4), LoadU16(d + 6) - 1);
    }
}

bool TBiffReader::ReadStringResult(std::u16string& text) {
    const uint16_t next = stream_.PeekRecordId();
    if (next != kString && next != kString2) return false;
    uint16_t id = 0, length = 0;
    stream_.ReadRecordHeader(id, length);
    if (length > stream_.StreamSize() - stream_.StreamPosition())
        throw Exception("Unexpected end of the workbook stream");
    const uint8_t* d = stream_.ViewData(length);
    if (id == kString2) {
        // BIFF2: an 8-bit count and 8-bit characters.
        RequireLength(length, 1);
        if (1u + d[0] > length) throw Exception("Text runs past the end of its record");
        text = Text8(d + 1, d[0]);
        return true;
    }
    RequireLength(length, 2);
    const size_t count = LoadU16(d);
    if (version_ != xvExcel97) {
        if (2 + count > length) throw Exception("Text runs past the end of its record");
        text = Text8(d + 2, count);
        return true;
    }
    RequireLength(length, 3);
    // A long text runs on in CONTINUE records, each starting with the width of its characters.
    text.clear();
    bool wide = (d[2] & 1) != 0;
    size_t at = 3;
    size_t avail = length;
    for (;;) {
        const size_t n = std::min(count - text.size(), (avail - at) / (wide ? 2 : 1));
        for (size_t i = 0; i < n; ++i) text.push_back(wide ? static_cast<char16_t>(LoadU16(d + at + 2 * i)) : d[at + i]);
        if (text.size() == count) return true;
        if (stream_.PeekRecordId() != kContinue) throw Exception("Text runs past the end of its record");
        stream_.ReadRecordHeader(id, length);
        if (length > stream_.StreamSize() - stream_.StreamPosition())
            throw Exception("Unexpected end of the workbook stream");
        d = stream_.ViewData(length);
        if (length == 0) continue;
        wide = (d[0] & 1) != 0;
        at = 1;
        avail = length;
    }
}

void TBiffReader::StageBody(const uint8_t* tokens, size_t tokenLength, const uint8_t* extra, size_t extraLength) {
    body_.clear();
    if (extraLength == 0) {
        body_.push_back(0xFF);
    } else {
        body_.push_back(0xFE);
        body_.push_back(static_cast<uint8_t>(extraLength));
        body_.push_back(static_cast<uint8_t>(extraLength >> 8));
    }
    body_.insert(body_.end(), tokens, tokens + tokenLength);
    if (extraLength) body_.insert(body_.end(), extra, extra + extraLength);
    cells_->FormulaHelper().SetCompiled(body_);
}

// Sets the result of a formula whose cached value is of a special kind and stores it; a text
// result without its STRING record stores nothing.
void TBiffReader::StoreSpecialResult(const uint8_t* result, bool sharedMayFollow) {
    TXLSFormulaHelper& helper = cells_->FormulaHelper();
    switch (result[0]) {
        case 0: {
            if (sharedMayFollow) {
                const uint16_t next = stream_.PeekRecordId();
                if (next == kShrFmla || next == kShrFmlaOld) throw Exception("Unxepected SHRFMLA");
            }
            std::u16string text;
            if (!ReadStringResult(text)) {
                helper.Clear();
                return;
            }
            helper.SetTextResult(text);
            break;
        }
        case 1: helper.SetBooleanResult(result[2] != 0); break;
        case 2: helper.SetErrorResult(MapBiffError(result[2])); break;
        default: helper.SetTextResult(u""); break;
    }
    cells_->StoreFormula();
}

void TBiffReader::ReadFormula(const TRecord& r) {
    RequireLength(r.Length, 22);
    formula_.assign(r.Data, r.Data + r.Length);   // following records may replace the view
    const uint8_t* d = formula_.data();
    const int32_t row = LoadU16(d);
    const int32_t col = LoadU16(d + 2);
    const uint16_t style = Style(LoadU16(d + 4));
    const uint8_t* result = d + 6;
    const uint16_t options = LoadU16(d + 14);
    size_t tokenLength = LoadU16(d + 20);
    if (22 + tokenLength > r.Length) throw Exception("Formula tokens run past the end of its record");
    const uint8_t* tokens = d + 22;
    const uint8_t* extra = tokens + tokenLength;
    size_t extraLength = r.Length - 22 - tokenLength;
    TXLSFormulaHelper& helper = cells_->FormulaHelper();

    const bool pointsElsewhere = tokenLength >= 1 && tokens[0] == 0x01;
    if (pointsElsewhere && (options & 0x08)) {
        // A cell of a shared formula: the SHRFMLA record follows the first cell of its range.
        const uint16_t next = stream_.PeekRecordId();
        if (next == kShrFmla || next == kShrFmlaOld) {
            uint16_t id = 0, length = 0;
            stream_.ReadRecordHeader(id, length);
            if (length > stream_.StreamSize() - stream_.StreamPosition())
                throw Exception("Unexpected end of the workbook stream");
            const uint8_t* s = stream_.ViewData(length);
            RequireLength(length, 10);
            const size_t sharedLength = LoadU16(s + 8);
            if (10 + sharedLength > length) throw Exception("Formula tokens run past the end of its record");
            TSharedFormula shared;
            shared.Range = TXLSCellArea{s[4], LoadU16(s), s[5], LoadU16(s + 2)};
            shared.Tokens.assign(s + 10, s + 10 + sharedLength);
            sharedFormulas_.push_back(std::move(shared));
        }
        // The base cell: row, then column (16-bit in BIFF8, 8-bit before).
        const size_t needed = version_ == xvExcel97 ? 5 : 4;
        if (tokenLength < needed) throw Exception("Formula tokens run past the end of its record");
        const int32_t baseRow = LoadU16(tokens + 1);
        const int32_t baseCol = version_ == xvExcel97 ? LoadU16(tokens + 3) : tokens[3];
        const TSharedFormula* found = nullptr;
        for (const auto& shared : sharedFormulas_) {
            if (shared.Range.Contains(baseCol, baseRow)) {
                found = &shared;
                break;
            }
        }
        if (!found)
            throw Exception(Format("Fixup error in shared formula at C=%d,R=%d (%s)", col, row,
                                   CellReference(col, row).c_str()));
        // The shared tokens stand for this cell unrelocated: values come from the cached result.
        tokens = found->Tokens.data();
        tokenLength = found->Tokens.size();
        extra = nullptr;
        extraLength = 0;
    } else if (pointsElsewhere) {
        // A cell of an array formula: the ARRAY record follows the first cell of its range.
        bool member = false;
        if (stream_.PeekRecordId() == kArray) {
            uint16_t id = 0, length = 0;
            stream_.ReadRecordHeader(id, length);
            if (length > stream_.StreamSize() - stream_.StreamPosition())
                throw Exception("Unexpected end of the workbook stream");
            const uint8_t* a = stream_.ViewData(length);
            RequireLength(length, 14);
            const size_t arrayLength = LoadU16(a + 12);
            if (14 + arrayLength > length) throw Exception("Formula tokens run past the end of its record");
            arrayAnchor_.Valid = true;
            arrayAnchor_.Range = TXLSCellArea{a[4], LoadU16(a), a[5], LoadU16(a + 2)};
            arrayAnchor_.Options = LoadU16(a + 6);
            arrayAnchor_.Tokens.assign(a + 14, a + 14 + arrayLength);
            arrayAnchor_.Extra.assign(a + 14 + arrayLength, a + length);
            helper.Clear();
            helper.Col = col;
            helper.Row = row;
            helper.Style = style;
            helper.HasRange = true;
            helper.Range = arrayAnchor_.Range;
            helper.FormulaType = 1;
            StageBody(arrayAnchor_.Tokens.data(), arrayAnchor_.Tokens.size(), arrayAnchor_.Extra.data(),
                      arrayAnchor_.Extra.size());
            if (arrayAnchor_.Options & 1) helper.Options |= 1;
            member = true;
        } else if (arrayAnchor_.Valid && arrayAnchor_.Range.Contains(col, row)) {
            helper.Clear();
            helper.Col = col;
            helper.Row = row;
            helper.Style = style;
            helper.FormulaType = 4;
            helper.Master = TXLSCellPos{arrayAnchor_.Range.FirstCol, arrayAnchor_.Range.FirstRow};
            member = true;
        } else {
            arrayAnchor_.Valid = false;
        }
        if (member) {
            std::u16string text;
            if (ReadStringResult(text)) {
                helper.SetTextResult(text);
            } else if (IsSpecialResult(result)) {
                switch (result[0]) {
                    case 1: helper.SetBooleanResult(result[2] != 0); break;
                    case 2: helper.SetErrorResult(MapBiffError(result[2])); break;
                    default: helper.SetTextResult(u""); break;   // text without its STRING: empty
                }
            } else {
                helper.SetNumberResult(LoadF64(result));
            }
            cells_->StoreFormula();
            return;
        }
    }

    if (IsSpecialResult(result)) {
        helper.Clear();
        helper.Col = col;
        helper.Row = row;
        helper.Style = style;
        StageBody(tokens, tokenLength, extra, extraLength);
        StoreSpecialResult(result, true);
        return;
    }
    if (tokenLength == 0) return;   // a number result without a formula is not stored
    helper.Clear();
    helper.Col = col;
    helper.Row = row;
    helper.Style = style;
    StageBody(tokens, tokenLength, extra, extraLength);
    helper.SetNumberResult(LoadF64(result));
    cells_->StoreFormula();
}

// FORMULA of the generations before BIFF5: BIFF3/4 as row, column, XF, result (8), options (2),
// token length (2), tokens; BIFF2 as row, column, three attribute bytes, result (8), options (1),
// token length (1), tokens. Their text results follow in a STRING record.
void TBiffReader::ReadFormulaOld(const TRecord& r) {
    const bool biff2 = r.Id == kFormula;
    const size_t tokensAt = biff2 ? 17 : 18;
    RequireLength(r.Length, tokensAt);
    formula_.assign(r.Data, r.Data + r.Length);
    const uint8_t* d = formula_.data();
    const int32_t row = LoadU16(d);
    const int32_t col = biff2 ? d[2] : LoadU16(d + 2);
    const uint16_t style = biff2 ? 0 : Style(LoadU16(d + 4));
    const uint8_t* result = d + (biff2 ? 7 : 6);
    const size_t tokenLength = biff2 ? d[16] : LoadU16(d + 16);
    if (tokensAt + tokenLength > r.Length) throw Exception("Formula tokens run past the end of its record");
    TXLSFormulaHelper& helper = cells_->FormulaHelper();
    helper.Clear();
    helper.Col = col;
    helper.Row = row;
    helper.Style = style;
    StageBody(d + tokensAt, tokenLength, d + tokensAt + tokenLength, r.Length - tokensAt - tokenLength);
    if (IsSpecialResult(result)) {
        StoreSpecialResult(result, false);
        return;
    }
    helper.SetNumberResult(LoadF64(result));
    cells_->StoreFormula();
}

void TBiffReader::ReadBareWorksheet() {
    TWbDataWorksheet& sheet = workbook_.Worksheets().AddWorksheetData(1);
    sheet.Name = u"Sheet1";
    cells_ = &sheet.Cells();
    uint16_t id = 0, length = 0;
    while (stream_.ReadRecordHeader(id, length) == 4) {
        if (length > stream_.StreamSize() - stream_.StreamPosition())
            throw Exception("Unexpected end of the workbook stream");
        if (id == kEof) break;
        switch (id) {
            case kBlank2: case kInteger2: case kNumber2: case kLabel2: case kBoolErr2: case kFormula:
            case kBlank: case kNumber: case kLabel: case kBoolErr: case kRk: case kMulRk: case kMulBlank:
            case kRow: case kFormula3: case kFormula4:
                DispatchCell(View(id, length));
                break;
            case kCodePage: ReadCodePage(View(id, length)); break;
            case kDateMode: {
                const TRecord r = View(id, length);
                RequireLength(length, 2);
                workbook_.Workbook().Date1904 = LoadU16(r.Data) == 1;
                break;
            }
            case kFont: ReadFont(View(id, length), TFontLayout::Biff2); break;
            case kFont34: ReadFont(View(id, length), TFontLayout::Biff34); break;
            case kFormat: case kFormat23: ReadFormat(View(id, length)); break;
            case kXf2: case kXf3: case kXf4: ReadXf(View(id, length)); break;
            default: Skip(length); break;
        }
    }
}

} // namespace tessaly
