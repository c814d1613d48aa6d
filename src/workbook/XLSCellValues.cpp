// Value readers of the cell store, and the formula entry: staging, encoding and decoding.

#include <bit>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "workbook/WbDataSST.h"
#include "workbook/XLSCellBlocks.h"
#include "workbook/XLSCellStore.h"

namespace tessaly {

using namespace cellcode;

// Texts are copied as UTF-16 code units in memory order; the store's layout is little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

[[noreturn]] void ThrowWrongType() { throw Exception("Cell is missing/is of wrong type"); }

void CheckTag(uint8_t tag) {
    if (kFixedSize[tag] == 0 && !IsVariableTag(tag)) ThrowInvalidTag();
}

// The value of a fixed cell: after the optional style, `size` bytes that must lie in its row.
const uint8_t* FixedValue(const TXLSCellRef& ref, size_t size) {
    CheckTag(ref.Tag);
    if (ref.Tag & kTagVariable) ThrowWrongType();
    const size_t skip = (ref.Tag & kTagStyle) ? 2 : 0;
    if (!ref.Payload || !ref.End || ref.Payload + skip + size > ref.End) ThrowDamagedRow();
    return ref.Payload + skip;
}

// Bounds-checked reading of a formula entry's payload.
class EntryReader {
public:
    EntryReader(const uint8_t* p, const uint8_t* end) : p_(p), end_(end) {}
    const uint8_t* Take(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) ThrowDamagedRow();
        const uint8_t* at = p_;
        p_ += n;
        return at;
    }
    uint8_t U8() { return *Take(1); }
    uint16_t U16() { return LoadU16(Take(2)); }
    int32_t I32() { return LoadI32(Take(4)); }
    TXLSCellPos Pos() {
        TXLSCellPos pos;
        pos.Col = U16();
        pos.Row = I32();
        return pos;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// A formula entry split into its parts (the result and body still to be decoded).
struct FormulaEntry {
    uint8_t Base = 0;
    uint8_t Flags = 0;
    const uint8_t* Result = nullptr;   // the cached result, at its start
    const uint8_t* End = nullptr;      // end of the entry's payload
};

FormulaEntry OpenFormula(const TXLSCellRef& ref, uint8_t wantedBase) {
    if (!(ref.Tag & kTagVariable)) ThrowWrongType();
    if (!IsVariableTag(ref.Tag)) ThrowInvalidTag();
    FormulaEntry entry;
    entry.Base = ref.Tag & kBaseMask;
    if (wantedBase && entry.Base != wantedBase) ThrowWrongType();
    if (!ref.Payload || !ref.End || ref.End - ref.Payload < 2) ThrowDamagedRow();
    const size_t length = LoadU16(ref.Payload);
    if (static_cast<size_t>(ref.End - ref.Payload - 2) < length) ThrowDamagedRow();
    EntryReader reader(ref.Payload + 2, ref.Payload + 2 + length);
    entry.Flags = reader.U8();
    if (ref.Tag & kTagStyle) reader.U16();
    entry.End = ref.Payload + 2 + length;
    entry.Result = reader.Take(0);
    return entry;
}

std::u16string ReadUnits(EntryReader& reader, size_t count) {
    const uint8_t* bytes = reader.Take(count * 2);
    std::u16string text(count, u'\0');
    if (count) std::memcpy(text.data(), bytes, count * 2);
    return text;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutI32(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

void PutPos(std::vector<uint8_t>& out, const TXLSCellPos& pos) {
    PutU16(out, static_cast<uint16_t>(pos.Col));
    PutI32(out, pos.Row);
}

[[noreturn]] void ThrowTooLong() { throw Exception("Formula cell data exceeds 65535 bytes"); }

uint16_t Count16(size_t n) {
    if (n > 0xFFFF) ThrowTooLong();
    return static_cast<uint16_t>(n);
}

} // namespace

// ---- Constant cells -------------------------------------------------------------------------

bool TXLSCellStore::ReadBoolean(const TXLSCellRef& ref) const {
    CheckTag(ref.Tag);
    if ((ref.Tag & kBaseMask) != kBoolean) ThrowWrongType();
    return *FixedValue(ref, 1) != 0;
}

uint8_t TXLSCellStore::ReadError(const TXLSCellRef& ref) const {
    CheckTag(ref.Tag);
    if ((ref.Tag & kBaseMask) != kError) ThrowWrongType();
    return *FixedValue(ref, 1);
}

// The value of a fixed cell whose base code the caller has checked (`first`..`last`): any other
// tag fails as invalid or as the wrong type, a payload beyond its row as damaged.
static const uint8_t* ValueOf(const TXLSCellRef& ref, uint8_t first, uint8_t last) {
    const uint8_t base = ref.Tag & kBaseMask;
    const size_t size = kFixedSize[ref.Tag];
    if (base < first || base > last || size == 0) {
        CheckTag(ref.Tag);
        ThrowWrongType();
    }
    if (!ref.Payload || !ref.End || ref.End - ref.Payload < static_cast<std::ptrdiff_t>(size)) ThrowDamagedRow();
    return ref.Payload + ((ref.Tag & kTagStyle) ? 2 : 0);
}

double TXLSCellStore::ReadNumber(const TXLSCellRef& ref) const {
    const uint8_t* value = ValueOf(ref, kInt8, kDouble);
    switch (ref.Tag & kBaseMask) {
        case kInt8: return static_cast<int8_t>(*value);
        case kInt16: return LoadI16(value);
        case kInt32: return LoadI32(value);
        // The quotient rounded to the nearest double: 10 stored as hundredths reads as 0.1.
        case kHundredths: return LoadI32(value) / 100.0;
        case kTenThousandths: return LoadI32(value) / 10000.0;
        case kFloat32: {
            const uint32_t bits = LoadU32(value);
            float number;
            std::memcpy(&number, &bits, 4);
            return number;
        }
        case kDouble: return LoadF64(value);
        default: ThrowWrongType();
    }
}

uint32_t TXLSCellStore::ReadStringIndex(const TXLSCellRef& ref) const {
    const uint8_t* value = ValueOf(ref, kString16, kString32);
    switch (ref.Tag & kBaseMask) {
        case kString16: return LoadU16(value);
        case kString32: return LoadU32(value);
        default: ThrowWrongType();
    }
}

std::u16string TXLSCellStore::ReadText(const TXLSCellRef& ref) const {
    CheckTag(ref.Tag);
    const uint8_t base = ref.Tag & kBaseMask;
    if (base != kString16 && base != kString32) return {};
    const uint32_t index = ReadStringIndex(ref);
    if (index > INT32_MAX) throw Exception("Index out of range");
    return sst_.StringAt(static_cast<int32_t>(index));
}

uint16_t TXLSCellStore::ReadStyle(const TXLSCellRef& ref) const {
    CheckTag(ref.Tag);
    if (!(ref.Tag & kTagStyle)) return 0;
    if (ref.Tag & kTagVariable) {
        // Length, flags, then the style.
        if (!ref.Payload || !ref.End || ref.End - ref.Payload < 5) ThrowDamagedRow();
        return LoadU16(ref.Payload + 3);
    }
    if (!ref.Payload || !ref.End || ref.End - ref.Payload < 2) ThrowDamagedRow();
    return LoadU16(ref.Payload);
}

// ---- Formula results ------------------------------------------------------------------------

double TXLSCellStore::ReadFormulaNumber(const TXLSCellRef& ref) const {
    const FormulaEntry entry = OpenFormula(ref, kNumberFormula);
    EntryReader reader(entry.Result, entry.End);
    return LoadF64(reader.Take(8));
}

std::u16string TXLSCellStore::ReadFormulaText(const TXLSCellRef& ref) const {
    const FormulaEntry entry = OpenFormula(ref, kTextFormula);
    EntryReader reader(entry.Result, entry.End);
    const uint16_t count = reader.U16();
    return ReadUnits(reader, count);
}

bool TXLSCellStore::ReadFormulaBoolean(const TXLSCellRef& ref) const {
    const FormulaEntry entry = OpenFormula(ref, kBooleanFormula);
    EntryReader reader(entry.Result, entry.End);
    return reader.U8() != 0;
}

uint8_t TXLSCellStore::ReadFormulaError(const TXLSCellRef& ref) const {
    const FormulaEntry entry = OpenFormula(ref, kErrorFormula);
    EntryReader reader(entry.Result, entry.End);
    return reader.U8();
}

TXLSFormulaBody TXLSCellStore::ReadFormulaBody(const TXLSCellRef& ref) const {
    const FormulaEntry entry = OpenFormula(ref, 0);
    EntryReader reader(entry.Result, entry.End);
    switch (entry.Base) {
        case kNumberFormula: reader.Take(8); break;
        case kTextFormula: reader.Take(size_t(reader.U16()) * 2); break;
        default: reader.Take(1); break;
    }

    TXLSFormulaBody body;
    body.FormulaType = entry.Flags & 0x1F;
    const uint16_t count = reader.U16();
    const uint8_t marker = reader.U8();
    if (marker == 1 || marker == 0) {
        body.IsText = true;
        if (marker == 1) {
            const uint8_t* bytes = reader.Take(count);
            body.Text.assign(bytes, bytes + count);
        } else {
            body.Text = ReadUnits(reader, count);
        }
    } else if (marker == 0xFF) {
        const uint8_t* bytes = reader.Take(count);
        EntryReader special(bytes, bytes + count);
        if (body.FormulaType == 2) {
            if (special.U8() != 0xBA) ThrowDamagedRow();
            body.TableFlags = special.U8();
            body.Input1 = special.Pos();
            body.Input2 = special.Pos();
        } else if (body.FormulaType >= 3 && body.FormulaType <= 5) {
            special.U8();   // 0xB8, 0xB9 or 0xBB by type
            body.Master = special.Pos();
        } else {
            body.Compiled.assign(bytes, bytes + count);
        }
    } else {
        ThrowDamagedRow();
    }
    if (entry.Flags & 0x40) {
        body.HasRange = true;
        const TXLSCellPos first = reader.Pos();
        const TXLSCellPos last = reader.Pos();
        body.Range = {first.Col, first.Row, last.Col, last.Row};
    }
    if (entry.Flags & 0x80) {
        body.HasTable = true;
        body.TableFlags = reader.U8();
        body.Input1 = reader.Pos();
        body.Input2 = reader.Pos();
    }
    return body;
}

// ---- The staging record ---------------------------------------------------------------------

void TXLSFormulaHelper::SetFormulaText(std::u16string_view text) {
    text_.assign(text);
    hasText_ = true;
    hasCompiled_ = false;
    compiled_.clear();
}

void TXLSFormulaHelper::SetCompiled(std::span<const uint8_t> bytes) {
    compiled_.assign(bytes.begin(), bytes.end());
    hasCompiled_ = true;
    hasText_ = false;
    text_.clear();
}

void TXLSFormulaHelper::SetNumberResult(double value) {
    resultKind_ = TXLSFormulaResult::Number;
    number_ = value;
}

void TXLSFormulaHelper::SetTextResult(std::u16string_view text) {
    resultKind_ = TXLSFormulaResult::Text;
    textResult_.assign(text);
}

void TXLSFormulaHelper::SetBooleanResult(bool value) {
    resultKind_ = TXLSFormulaResult::Boolean;
    boolean_ = value;
}

void TXLSFormulaHelper::SetErrorResult(uint8_t code) {
    if (code == 0 || code >= ErrorTextCount()) throw Exception("Invalid error value");
    resultKind_ = TXLSFormulaResult::Error;
    error_ = code;
}

void TXLSFormulaHelper::Clear() {
    Col = Row = 0;
    Style = 0;
    FormulaType = 0;
    Options = 0;
    HasRange = false;
    Range = TXLSCellArea();
    HasTable = false;
    TableFlags = 0;
    Input1 = Input2 = Master = TXLSCellPos();
    hasText_ = hasCompiled_ = false;
    text_.clear();
    compiled_.clear();
    resultKind_ = TXLSFormulaResult::None;
    number_ = 0;
    textResult_.clear();
    boolean_ = false;
    error_ = 0;
}

// The formula entry's payload: flags, style, cached result, body, range, table record.
void TXLSCellStore::BuildFormulaPayload() {
    const TXLSFormulaHelper& h = helper_;
    if (h.FormulaType > 5) throw Exception("Invalid formula cell type");
    std::vector<uint8_t>& out = formula_;
    out.clear();
    out.push_back(static_cast<uint8_t>(h.FormulaType | (h.HasRange ? 0x40 : 0) | (h.HasTable ? 0x80 : 0)));
    if (h.Style) PutU16(out, h.Style);

    switch (h.resultKind_) {
        case TXLSFormulaResult::Number: {
            uint8_t bytes[8];
            StoreF64(bytes, h.number_);
            out.insert(out.end(), bytes, bytes + 8);
            break;
        }
        case TXLSFormulaResult::Text: {
            PutU16(out, Count16(h.textResult_.size()));
            const auto* bytes = reinterpret_cast<const uint8_t*>(h.textResult_.data());
            out.insert(out.end(), bytes, bytes + h.textResult_.size() * 2);
            break;
        }
        case TXLSFormulaResult::Boolean: out.push_back(h.boolean_ ? 1 : 0); break;
        case TXLSFormulaResult::Error: out.push_back(h.error_); break;
        default: throw Exception("Invalid formula cell type");
    }

    switch (h.FormulaType) {
        case 2:
            PutU16(out, 14);
            out.push_back(0xFF);
            out.push_back(0xBA);
            out.push_back(h.TableFlags);
            PutPos(out, h.Input1);
            PutPos(out, h.Input2);
            break;
        case 3:
        case 4:
        case 5:
            PutU16(out, 7);
            out.push_back(0xFF);
            out.push_back(h.FormulaType == 3 ? 0xB8 : h.FormulaType == 4 ? 0xB9 : 0xBB);
            PutPos(out, h.Master);
            break;
        default:
            if (h.hasText_) {
                bool narrow = true;
                for (char16_t c : h.text_) narrow = narrow && c < 0x100;
                PutU16(out, Count16(h.text_.size()));
                out.push_back(narrow ? 1 : 0);
                if (narrow) {
                    for (char16_t c : h.text_) out.push_back(static_cast<uint8_t>(c));
                } else {
                    const auto* bytes = reinterpret_cast<const uint8_t*>(h.text_.data());
                    out.insert(out.end(), bytes, bytes + h.text_.size() * 2);
                }
            } else {
                // Compiled data as the reader handed it over; none is an empty block.
                PutU16(out, Count16(h.compiled_.size()));
                out.push_back(0xFF);
                out.insert(out.end(), h.compiled_.begin(), h.compiled_.end());
            }
            break;
    }

    if (h.HasRange) {
        PutPos(out, {h.Range.FirstCol, h.Range.FirstRow});
        PutPos(out, {h.Range.LastCol, h.Range.LastRow});
    }
    if (h.HasTable) {
        out.push_back(h.TableFlags);
        PutPos(out, h.Input1);
        PutPos(out, h.Input2);
    }
    if (out.size() > 0xFFFF) ThrowTooLong();
}

} // namespace tessaly
