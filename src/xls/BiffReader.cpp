#include "xls/BiffReader.h"

#include <algorithm>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "platform/CodePage.h"
#include "xls/BiffCipher.h"
#include "xls/BiffReaderImpl.h"
#include "xls/BiffRecords.h"

namespace tessaly {

using namespace biff;

namespace {

// The default passwords tried on an encrypted workbook, in this order. Spreadsheet programs
// write "VelvetSweatshop" for workbooks protected without a password of the user's own.
constexpr const char16_t* kDefaultPasswords[] = {u"CobaltMarigolds", u"VelvetSweatshop"};

void RequireLength(uint16_t length, size_t needed) {
    if (length < needed) throw Exception(Format("Record too short: %u bytes, %zu needed", length, needed));
}

} // namespace

TBiffReader::TBiffReader(TWbManager& workbook, TXLSStream& stream, const TBiffReadOptions& options)
    : workbook_(workbook), stream_(stream), options_(options) {}

TBiffReadResult TBiffReader::Read() {
    SetVersion(stream_.FileVersion());
    // A bare BIFF2-BIFF4 file holds one worksheet and no sheet list.
    if (stream_.IsPlainFile())
        ReadBareWorksheet();
    else
        ReadWorkbook();
    return result_;
}

void TBiffReader::SetVersion(TExcelVersion version) {
    version_ = version;
    workbook_.FileVersion = version;
    result_.FileVersion = version;
}

TBiffReader::TRecord TBiffReader::View(uint16_t id, uint16_t length) {
    return TRecord{id, length, stream_.ViewData(length)};
}

void TBiffReader::ReadWorkbook() {
    uint16_t id = 0;
    uint16_t length = 0;
    try {
        for (;;) {
            if (stream_.ReadRecordHeader(id, length) != 4) break;
            if (id & 0x8000) throw Exception("Bad record in file");
            if (length > stream_.StreamSize() - stream_.StreamPosition())
                throw Exception("Unexpected end of the workbook stream");
            // A custom-view block is neither dispatched nor counted.
            if (skipCustomView_) {
                if (id == kUserSViewEnd) skipCustomView_ = false;
                Skip(length);
                continue;
            }
            if (!Dispatch(id, length)) break;
            ++recordCount_;
        }
    } catch (const std::exception& e) {
        throw Exception(Format("Error on reading record # %u, %.4X Offs: %.8X", recordCount_, id,
                               static_cast<unsigned>(stream_.StreamPosition())) +
                        "\r" + e.what());
    }
}

bool TBiffReader::Dispatch(uint16_t id, uint16_t length) {
    switch (id) {
        // Cells, rows and dimensions: the bulk of every workbook.
        case kNumber: case kRk: case kRk3: case kMulRk: case kLabelSst: case kBlank: case kMulBlank:
        case kBoolErr: case kLabel: case kRString: case kRow: case kFormula: case kDimensions:
        case kDimensions2: case kInteger2: case kNumber2: case kLabel2:
            if (!cells_) {
                Skip(length);   // no worksheet substream to hold them
                return true;
            }
            DispatchCell(View(id, length));
            return true;
        case kEof:
            Skip(length);
            return ReadEof();
        case kBoundSheet: ReadBoundSheet(View(id, length)); return true;
        case kFilePass: ReadFilePass(View(id, length)); return true;
        case kSst: ReadSst(length); return true;
        case kDateMode: {
            const TRecord r = View(id, length);
            RequireLength(length, 2);
            workbook_.Workbook().Date1904 = LoadU16(r.Data) == 1;
            return true;
        }
        case kCodePage: ReadCodePage(View(id, length)); return true;
        case kFont: case kFont34: ReadFont(View(id, length), TFontLayout::Biff58); return true;
        case kFormat: ReadFormat(View(id, length)); return true;
        case kXf: case kXf3: case kXf4: ReadXf(View(id, length)); return true;
        case kXct: ReadXct(View(id, length)); return true;
        case kMsoDrawingGroup: ReadDrawingGroup(length); return true;
        case kUserSViewBegin:
            skipCustomView_ = true;
            Skip(length);
            return true;
        default:
            break;
    }
    if (IsBof(id)) return ReadBof(id, length);
    // Everything else serves display or saving only.
    Skip(length);
    return true;
}

bool TBiffReader::ReadBof(uint16_t id, uint16_t length) {
    (void)id;
    uint8_t data[256];
    const size_t take = std::min<size_t>(length, sizeof data);
    stream_.ReadBofData(data, take);
    if (length > take) stream_.SkipData(length - take);
    sharedFormulas_.clear();
    if (length < 4) throw Exception("Invalid BOF size");
    switch (LoadU16(data + 2)) {
        case kBofGlobals:
            if (length > 256) throw Exception("Invalid BOF size");
            // The globals BOF names the generation; some writers put BIFF8 records in a
            // stream named "Book".
            if (LoadU16(data) == 0x0600 && version_ == xvExcel50) SetVersion(xvExcel97);
            if (LoadU16(data) == 0x0500 && version_ == xvExcel97) SetVersion(xvExcel50);
            return true;
        case kBofVbModule:
        case kBofWorksheet:
        case kBofMacroSheet: {
            ++sheetListIndex_;
            ++worksheetIndex_;
            if (LoadU16(data + 2) != kBofWorksheet) throw Exception("Invalid sheet type in file");
            TWbDataWorksheet& sheet = workbook_.Worksheets().Items(worksheetIndex_);
            if (sheetListIndex_ >= static_cast<int32_t>(sheetNames_.size())) throw EListError(sheetListIndex_);
            sheet.Name = sheetNames_[sheetListIndex_].first;
            sheet.State = sheetNames_[sheetListIndex_].second;
            cells_ = &sheet.Cells();
            inWorksheet_ = true;
            return true;
        }
        case kBofChart:
            // A chart sheet takes its place in the sheet list; a chart embedded in a worksheet
            // does not. Either way its substream is passed over up to its EOF.
            if (!inWorksheet_) ++sheetListIndex_;
            SkipChartSubstream();
            return true;
        case kBofWorkspace:
            throw Exception("BIFF4 Workbook unhandled");
        default:
            return true;
    }
}

bool TBiffReader::ReadEof() {
    sharedFormulas_.clear();
    cells_ = nullptr;
    inWorksheet_ = false;
    // Reading ends with the substream of the last listed sheet.
    return !sheetNames_.empty() && sheetListIndex_ < static_cast<int32_t>(sheetNames_.size()) - 1;
}

void TBiffReader::SkipChartSubstream() {
    int depth = 1;
    uint16_t id = 0, length = 0;
    while (depth > 0 && stream_.ReadRecordHeader(id, length) == 4) {
        if (length > stream_.StreamSize() - stream_.StreamPosition())
            throw Exception("Unexpected end of the workbook stream");
        // Chart records share the BOF's low byte (MARKERFORMAT is 0x1009): only true BOFs nest.
        if (id == 0x0809 || id == 0x0409 || id == 0x0209 || id == 0x0009) ++depth;
        if (id == kEof) --depth;
        Skip(length);
    }
}

void TBiffReader::ReadBoundSheet(const TRecord& r) {
    RequireLength(r.Length, 7);
    const uint8_t visibility = r.Data[4] & 3;
    const uint8_t type = r.Data[5];
    const size_t count = r.Data[6];
    std::u16string name;
    if (version_ == xvExcel97) {
        RequireLength(r.Length, 8);
        const bool wide = (r.Data[7] & 1) != 0;
        RequireLength(r.Length, 8 + count * (wide ? 2 : 1));
        name.resize(count);
        for (size_t i = 0; i < count; ++i) name[i] = wide ? LoadU16(r.Data + 8 + 2 * i) : r.Data[8 + i];
    } else {
        RequireLength(r.Length, 7 + count);
        name = Text8(r.Data + 7, count);
    }
    sheetNames_.emplace_back(name, visibility);
    // Worksheets and macro sheets get a worksheet; charts and VBA modules do not.
    if ((type & 2) == 0) {
        TWbDataWorksheets& sheets = workbook_.Worksheets();
        TWbDataWorksheet& sheet = sheets.AddWorksheetData(sheets.Count() + 1);
        sheet.Name = std::move(name);
    }
}

void TBiffReader::ReadCodePage(const TRecord& r) {
    RequireLength(r.Length, 2);
    // BIFF8 text is UTF-16 or Latin-1 by definition; older text is in the workbook's code page.
    if (version_ >= xvExcel97) return;
    const unsigned codePage = LoadU16(r.Data);
    if (platform::IsCodePageSupported(codePage)) {
        codePage_ = codePage;
    } else {
        codePage_ = platform::kCodePageWestern;
        result_.Notes.push_back(Format("Unknown code page %u: text is read as Windows-1252", codePage));
    }
}

std::u16string TBiffReader::Text8(const uint8_t* bytes, size_t count) const {
    if (version_ >= xvExcel97) return std::u16string(bytes, bytes + count);
    return platform::DecodeCodePage(codePage_, std::string_view(reinterpret_cast<const char*>(bytes), count));
}

void TBiffReader::ReadFilePass(const TRecord& r) {
    if (stream_.DecryptionActive()) return;
    const std::vector<uint8_t> data(r.Data, r.Data + r.Length);
    TFilePassForm form;
    if (version_ >= xvExcel97) {
        form = IdentifyFilePass(data);
    } else {
        form.Name = "XOR obfuscation";   // the only protection before BIFF8
    }
    if (!form.Supported)
        errors_.Error(kErrUnknownEncryption, std::string(kTextUnknownEncryption) + " (" + form.Name + ", not supported)");
    if (options_.Password.empty()) {
        for (const char16_t* password : kDefaultPasswords) {
            if (stream_.StartDecryption(data, password)) {
                result_.UsedPassword = password;
                return;
            }
        }
        errors_.Error(kErrPasswordMissing, kTextPasswordMissing);
    }
    if (!stream_.StartDecryption(data, options_.Password)) errors_.Error(kErrPasswordWrong, kTextPasswordWrong);
}

void TBiffReader::ReadXct(const TRecord& r) {
    // The CRN records that follow, as many as the count says, stopping at the first other one.
    const unsigned count = r.Length >= 2 ? LoadU16(r.Data) : 0;
    for (unsigned i = 0; i < count && stream_.PeekRecordId() == kCrn; ++i) {
        uint16_t id = 0, length = 0;
        if (stream_.ReadRecordHeader(id, length) != 4) throw Exception("CRN record missing");
        if (length > stream_.StreamSize() - stream_.StreamPosition())
            throw Exception("Unexpected end of the workbook stream");
        Skip(length);
    }
}

void TBiffReader::ReadDrawingGroup(uint16_t length) {
    // The drawing group's data and every record continuing it.
    Skip(length);
    for (;;) {
        const uint16_t next = stream_.PeekRecordId();
        if (next != kContinue && next != kMsoDrawingGroup) return;
        uint16_t id = 0, part = 0;
        stream_.ReadRecordHeader(id, part);
        if (part > stream_.StreamSize() - stream_.StreamPosition())
            throw Exception("Unexpected end of the workbook stream");
        Skip(part);
    }
}

void TBiffReader::ReadFont(const TRecord& r, TFontLayout layout) {
    const uint8_t* d = r.Data;
    TWbFont font;
    size_t nameAt = 0;
    switch (layout) {
        case TFontLayout::Biff2: RequireLength(r.Length, 5); nameAt = 4; break;
        case TFontLayout::Biff34: RequireLength(r.Length, 7); nameAt = 6; break;
        case TFontLayout::Biff58: RequireLength(r.Length, 15); nameAt = 14; break;
    }
    font.Size = LoadU16(d) / 20.0;
    const uint16_t options = LoadU16(d + 2);
    font.Bold = (options & 1) != 0;
    font.Italic = (options & 2) != 0;
    font.Strike = (options & 8) != 0;
    font.Outline = (options & 0x10) != 0;
    font.Shadow = (options & 0x20) != 0;
    font.Underline = (options & 4) ? 1 : 0;
    if (layout != TFontLayout::Biff2) font.Color = LoadU16(d + 4);
    if (layout == TFontLayout::Biff58) {
        font.Bold = LoadU16(d + 6) >= 700;
        font.VertAlign = static_cast<uint8_t>(std::min<unsigned>(LoadU16(d + 8), 2));
        switch (d[10]) {
            case 0x01: font.Underline = 1; break;
            case 0x02: font.Underline = 2; break;
            case 0x21: font.Underline = 3; break;
            case 0x22: font.Underline = 4; break;
            default: font.Underline = 0; break;
        }
        font.Family = d[11];
        font.Charset = d[12];
    }
    // The name, cut to the record when it claims more than the record holds.
    size_t count = d[nameAt];
    size_t at = nameAt + 1;
    bool wide = false;
    if (version_ == xvExcel97 && layout == TFontLayout::Biff58 && r.Length > at) wide = (d[at++] & 1) != 0;
    const size_t room = r.Length > at ? (r.Length - at) / (wide ? 2 : 1) : 0;
    count = std::min(count, room);
    if (wide) {
        font.Name.resize(count);
        for (size_t i = 0; i < count; ++i) font.Name[i] = LoadU16(d + at + 2 * i);
    } else {
        font.Name = Text8(d + at, count);
    }
    fonts_.push_back(workbook_.StyleSheet().AddFont(font));
}

int32_t TBiffReader::ModelFont(uint16_t fileIndex) const {
    // Font index 4 does not exist in BIFF files: the fifth FONT record is font 5.
    if (fileIndex == 4) return 0;
    const size_t record = fileIndex < 4 ? fileIndex : fileIndex - 1u;
    return record < fonts_.size() ? fonts_[record] : 0;
}

void TBiffReader::ReadFormat(const TRecord& r) {
    const uint8_t* d = r.Data;
    uint16_t index = 0;
    std::u16string code;
    if (r.Id == kFormat23) {
        // BIFF2/3: no index, formats are numbered in file order.
        RequireLength(r.Length, 1);
        index = formatRecords_;
        code = Text8(d + 1, std::min<size_t>(d[0], r.Length - 1u));
    } else if (version_ == xvExcel97) {
        RequireLength(r.Length, 5);
        index = LoadU16(d);
        const size_t count = LoadU16(d + 2);
        const bool wide = (d[4] & 1) != 0;
        const size_t n = std::min(count, static_cast<size_t>(r.Length - 5u) / (wide ? 2 : 1));
        code.resize(n);
        for (size_t i = 0; i < n; ++i) code[i] = wide ? LoadU16(d + 5 + 2 * i) : d[5 + i];
    } else {
        RequireLength(r.Length, 3);
        index = LoadU16(d);
        code = Text8(d + 3, std::min<size_t>(d[2], r.Length - 3u));
    }
    formats_.emplace_back(index, workbook_.StyleSheet().AddNumberFormat(index, code));
    ++formatRecords_;
}

int32_t TBiffReader::ModelFormat(uint16_t id) {
    for (const auto& [fileId, model] : formats_)
        if (fileId == id) return model;
    // A built-in format: an entry without a code of its own, made when first named.
    const int32_t model = workbook_.StyleSheet().AddNumberFormat(id, std::u16string());
    formats_.emplace_back(id, model);
    return model;
}

void TBiffReader::ReadXf(const TRecord& r) {
    const uint8_t* d = r.Data;
    uint16_t font = 0, format = 0;
    switch (r.Id) {
        case kXf: RequireLength(r.Length, 4); font = LoadU16(d); format = LoadU16(d + 2); break;
        case kXf2: RequireLength(r.Length, 3); font = d[0]; format = d[2] & 0x3F; break;
        default: RequireLength(r.Length, 2); font = d[0]; format = d[1]; break;   // BIFF3, BIFF4
    }
    TWbXF xf;
    xf.Font = ModelFont(font);
    xf.NumFmt = ModelFormat(format);
    // Cells name their XF by its position among the XF records; the style table keeps its
    // default format in front of them.
    TWbDataStyleSheet& styles = workbook_.StyleSheet();
    styles.SetXF(static_cast<int32_t>(xfLimit_) + 1, xf);
    ++xfLimit_;
}

TBiffReadResult ReadBiffWorkbook(TWbManager& workbook, TXLSStream& stream, const TBiffReadOptions& options) {
    return TBiffReader(workbook, stream, options).Read();
}

TBiffReadResult ReadBiffWorkbookFile(TWbManager& workbook, const std::string& fileName) {
    TXLSStream stream;
    stream.OpenWorkbookFile(fileName);
    return TBiffReader(workbook, stream, TBiffReadOptions()).Read();
}

TBiffReadResult ReadBiffWorkbookStream(TWbManager& workbook, TStream& source) {
    TXLSStream stream;
    stream.OpenWorkbookStream(source);
    return TBiffReader(workbook, stream, TBiffReadOptions()).Read();
}

} // namespace tessaly
