#include "workbook/XLSCellStore.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "workbook/WbDataSST.h"
#include "workbook/WbDataStyleSheet.h"
#include "workbook/XLSCellArena.h"
#include "workbook/XLSCellBlocks.h"

namespace tessaly {

using namespace cellcode;

// Rows b*256 ... b*256+255. Data holds the row vectors back to back (in the order the rows were
// created); its size is the block's TotalBytes. RowOffset stays unallocated until the block
// gets its first row, so that a sheet with one far-away row costs little; then it (held by
// RowOffsetSpace) and Data take their memory from the store's arena.
struct TXLSCellStore::Block {
    ByteBuffer Data;
    ByteBuffer RowOffsetSpace;
    int32_t* RowOffset = nullptr;
    // While set, each row of the block lives in a buffer of its own (RowOffset then only tells
    // which rows exist) and Data is empty; see Place.
    std::unique_ptr<ByteBuffer[]> Loose;
    size_t MovedBytes = 0;   // bytes of other rows moved by stores into this block
};

// What a replaced cell held: its uses are given back once the new cell is in place.
struct TXLSCellStore::ReplacedCell {
    bool Replaced = false;
    uint16_t Style = 0;
    int64_t String = -1;
};

// A stretch of one row while it is re-encoded: Count cells of one tag from column Col on.
struct TXLSCellStore::Segment {
    int32_t Col;
    int32_t Count;
    uint8_t Tag;
    const uint8_t* Payload;   // fixed tag: Count payloads of Size bytes; variable: the entry's
    size_t Size;              // payload of Size bytes
};

namespace {

constexpr int kRowsPerBlock = 256;
constexpr size_t kMaxBlockBytes = INT32_MAX;

void CheckRow(int32_t row) {
    if (row < 0 || row > kMaxRow) throw Exception(Format("Row %d is outside the sheet", row));
}

[[noreturn]] void ThrowOutside(int32_t col, int32_t row) {
    throw Exception(Format("Cell C=%d,R=%d is outside the sheet", col, row));
}

inline void CheckCell(int32_t col, int32_t row) {
    if (static_cast<uint32_t>(col) > kMaxCol || static_cast<uint32_t>(row) > kMaxRow) ThrowOutside(col, row);
}

// The preset row record: Options 0, Style 0, OutlineLevel 0, Height 300.
void WriteRowRecord(uint8_t* v, const TXLSRowRecord& record) {
    v[6] = record.Options;
    StoreU16(v + 7, record.Style);
    v[9] = record.OutlineLevel;
    StoreU16(v + 10, static_cast<uint16_t>(record.Height));
}

// Moves the offsets of the rows that lie behind `offset` in Data by `delta` (branch-free, so
// that the compiler can do the 256 rows in vector steps).
void ShiftRowsBehind(int32_t* rowOffset, size_t offset, int32_t delta) {
    const auto at = static_cast<int32_t>(offset);
    for (int r = 0; r < kRowsPerBlock; ++r) rowOffset[r] += rowOffset[r] > at ? delta : 0;
}

uint16_t StyleOf(uint8_t tag, const uint8_t* payload) {
    if (!(tag & kTagStyle)) return 0;
    // A formula entry's payload starts with its flags byte.
    return LoadU16(payload + ((tag & kTagVariable) ? 1 : 0));
}

} // namespace

TXLSCellStore::TXLSCellStore(TWbDataSST& sst, TWbDataStyleSheet& styles)
    : TXLSCellStore(sst, styles, std::make_shared<CellArena>()) {}

TXLSCellStore::TXLSCellStore(TWbDataSST& sst, TWbDataStyleSheet& styles, std::shared_ptr<CellArena> arena)
    : sst_(sst), styles_(styles), arena_(arena ? std::move(arena) : std::make_shared<CellArena>()) {
    blocks_.resize(1);
}

TXLSCellStore::~TXLSCellStore() = default;

// ---- Numbers --------------------------------------------------------------------------------

namespace {

// The packing of a number: its base code and, for bases 2 to 6, the integer stored.
//   Integral values by their range: 8, 16 or 32 bits (the lowest 32-bit one is −2147483646),
//   beyond that a double.
//   Otherwise A = value × 10000; when A lies within 1e-8 of an integer N inside 32 bits: N/100
//   when N is divisible by 100 (base 5), else N (base 6) - but only when that quotient, read
//   back as N/100.0 or N/10000.0, is the value itself. A value a hair beside a decimal (the
//   cached result of a formula, −0.1000000000003638) or a tiny one (5e-13) is kept as the double:
//   packing it would hand back another number than the file holds.
//   Anything else is kept as the double itself.
// Integer conversions stand in for floor and round here: they cost no library call.
uint8_t PackNumber(double value, int32_t& n) {
    // Outside 32 bits neither an integer nor A fits (NaN fails this test too).
    if (!(value > -2147483649.0 && value < 2147483648.0)) return kDouble;
    const auto whole = static_cast<int32_t>(value);   // truncated
    if (static_cast<double>(whole) == value) {
        n = whole;
        if (whole >= -128 && whole <= 127) return kInt8;
        if (whole >= -32768 && whole <= 32767) return kInt16;
        return whole >= -2147483646 ? kInt32 : kDouble;
    }
    const double a = value * 10000.0;
    if (!(a > -2147483648.5 && a < 2147483647.5)) return kDouble;
    // N is A rounded to the nearest integer. Only an A within 1e-8 of N is taken, and there
    // adding a half and truncating gives the same N whichever way halves would round.
    const auto rounded = static_cast<int32_t>(a < 0 ? a - 0.5 : a + 0.5);
    const double diff = static_cast<double>(rounded) - a;
    if (!(diff > -1e-8 && diff < 1e-8)) return kDouble;
    // A whole N/10000 would be an integer, and the value is not one.
    if (rounded % 10000 == 0) return kDouble;
    if (rounded % 100 == 0) {
        if (rounded / 100 / 100.0 != value) return kDouble;
        n = rounded / 100;
        return kHundredths;
    }
    if (rounded / 10000.0 != value) return kDouble;
    n = rounded;
    return kTenThousandths;
}

} // namespace

uint8_t TXLSCellStore::PackNumberBase(double value) {
    int32_t n;
    return PackNumber(value, n);
}

void TXLSCellStore::StoreNumber(int32_t col, int32_t row, double value, uint16_t style) {
    int32_t n = 0;
    const uint8_t base = PackNumber(value, n);
    uint8_t payload[10];
    size_t at = 0;
    if (style) {
        StoreU16(payload, style);
        at = 2;
    }
    switch (base) {
        case kInt8:
            payload[at++] = static_cast<uint8_t>(static_cast<int8_t>(n));
            break;
        case kInt16:
            StoreU16(payload + at, static_cast<uint16_t>(static_cast<int16_t>(n)));
            at += 2;
            break;
        case kInt32:
        case kHundredths:
        case kTenThousandths:
            StoreU32(payload + at, static_cast<uint32_t>(n));
            at += 4;
            break;
        default:
            StoreF64(payload + at, value);
            at += 8;
            break;
    }
    StoreFixed(col, row, static_cast<uint8_t>(base | (style ? kTagStyle : 0)), payload, at, style, -1);
}

// ---- Other constant cells -------------------------------------------------------------------

void TXLSCellStore::StoreBlank(int32_t col, int32_t row, uint16_t style) {
    uint8_t payload[2];
    StoreU16(payload, style);
    StoreFixed(col, row, kBlank | kTagStyle, payload, 2, style, -1);
}

void TXLSCellStore::StoreBoolean(int32_t col, int32_t row, bool value, uint16_t style) {
    uint8_t payload[3];
    size_t at = 0;
    if (style) StoreU16(payload, style), at = 2;
    payload[at++] = value ? 1 : 0;
    StoreFixed(col, row, static_cast<uint8_t>(kBoolean | (style ? kTagStyle : 0)), payload, at, style, -1);
}

void TXLSCellStore::StoreError(int32_t col, int32_t row, uint8_t code, uint16_t style) {
    uint8_t payload[3];
    size_t at = 0;
    if (style) StoreU16(payload, style), at = 2;
    payload[at++] = code;
    StoreFixed(col, row, static_cast<uint8_t>(kError | (style ? kTagStyle : 0)), payload, at, style, -1);
}

void TXLSCellStore::StoreSharedString(int32_t col, int32_t row, uint32_t index, uint16_t style) {
    uint8_t payload[6];
    size_t at = 0;
    if (style) StoreU16(payload, style), at = 2;
    uint8_t base;
    if (index <= 0xFFFF) {
        base = kString16;
        StoreU16(payload + at, static_cast<uint16_t>(index));
        at += 2;
    } else {
        base = kString32;
        StoreU32(payload + at, index);
        at += 4;
    }
    StoreFixed(col, row, static_cast<uint8_t>(base | (style ? kTagStyle : 0)), payload, at, style, index);
}

void TXLSCellStore::StoreText(int32_t col, int32_t row, std::u16string_view text, uint16_t style) {
    // Check what can fail before the text enters the table, so a refused cell adds no string.
    CheckCell(col, row);
    styles_.XFAt(style);
    const int32_t index = sst_.FindOrAddString(text);
    StoreSharedString(col, row, static_cast<uint32_t>(index), style);
}

// Every cell store: check the position, take the uses of the style and the string, place the
// cell; on any failure the uses are given back and the cell is not stored.
inline void TXLSCellStore::Resize(ByteBuffer& buffer, size_t newSize) {
    if (newSize > kMaxBlockBytes) throw Exception("Too many cell data in 256 rows");
    buffer.resize(newSize);
}

namespace {

// Copies a cell's payload (at most 16 bytes) with fixed-size moves, which cost no library call;
// the two moves of each size overlap instead of running past either end.
inline void CopyPayload(uint8_t* to, const uint8_t* from, size_t n) {
    if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n >= 2) {
        std::memcpy(to, from, 2);
        std::memcpy(to + n - 2, from + n - 2, 2);
    } else if (n == 1) {
        *to = *from;
    }
}

} // namespace

// What nearly every store of a reader is: a fixed cell right of the last cell of the row being
// filled, which joins the last run (same tag, room left) or starts a run of its own after the
// gap bytes. The row's bytes are the store's own (ReplaceRowVectorBytes forgets the row being
// filled), so its head is taken as it stands.
inline bool TXLSCellStore::AppendToHotRow(int32_t col, int32_t row, uint8_t tag, const uint8_t* payload,
                                          size_t size) {
    if (row != hot_.Row || (tag & kTagVariable) || size > 16) return false;
    ByteBuffer& data = blocks_[hot_.Block].Data;
    const uint8_t* v = data.data() + hot_.Offset;
    const uint32_t colCount = ColCount(v);
    if (static_cast<uint32_t>(col) < colCount) return false;
    const size_t end = data.size();
    const auto lastRun = static_cast<size_t>(LastRunOffset(v));
    if (static_cast<uint32_t>(col) == colCount && colCount > 0 && v[lastRun + 1] == tag &&
        v[lastRun] < kMaxRunCells) {
        Resize(data, end + size);
        uint8_t* w = data.data() + hot_.Offset;
        CopyPayload(data.data() + end, payload, size);
        ++w[lastRun];
        SetColCount(w, colCount + 1);
        return true;
    }
    const auto gap = static_cast<int32_t>(static_cast<uint32_t>(col) - colCount);
    Resize(data, end + GapBytes(gap) + 2 + size);
    uint8_t* w = data.data() + hot_.Offset;
    uint8_t* run = WriteGap(data.data() + end, gap);
    run[0] = 1;
    run[1] = tag;
    CopyPayload(run + 2, payload, size);
    SetLastRunOffset(w, static_cast<size_t>(run - w));
    SetColCount(w, static_cast<uint32_t>(col) + 1);
    return true;
}

void TXLSCellStore::StoreFixed(int32_t col, int32_t row, uint8_t tag, const uint8_t* payload,
                               size_t size, uint16_t style, int64_t sstIndex) {
    CheckCell(col, row);
    styles_.AddXFUse(style);
    if (sstIndex >= 0) {
        try {
            if (sstIndex > INT32_MAX) throw Exception("SST String is Nil");
            sst_.AddStringRef(static_cast<int32_t>(sstIndex));
        } catch (...) {
            styles_.ReleaseXFUse(style);
            throw;
        }
    }
    try {
        Changed();
        if (!AppendToHotRow(col, row, tag, payload, size)) Place(col, row, tag, payload, size);
    } catch (...) {
        if (sstIndex >= 0) sst_.ReleaseString(static_cast<int32_t>(sstIndex));
        styles_.ReleaseXFUse(style);
        throw;
    }
}

void TXLSCellStore::StoreFormula() {
    struct ClearHelper {
        TXLSFormulaHelper& helper;
        ~ClearHelper() { helper.Clear(); }
    } clearAfterwards{helper_};

    static const uint8_t kBaseOfResult[10] = {0, 0, 0, 0, 0, 0, kNumberFormula, kTextFormula,
                                              kBooleanFormula, kErrorFormula};
    const auto kind = static_cast<uint8_t>(helper_.ResultKind());
    if (kind < 6 || kind > 9) throw Exception("Invalid formula cell type");
    CheckCell(helper_.Col, helper_.Row);
    BuildFormulaPayload();
    const uint16_t style = helper_.Style;
    const auto tag = static_cast<uint8_t>(kBaseOfResult[kind] | kTagVariable | (style ? kTagStyle : 0));
    StoreFixed(helper_.Col, helper_.Row, tag, formula_.data(), formula_.size(), style, -1);
}

// ---- Rows -----------------------------------------------------------------------------------

TXLSCellStore::Block& TXLSCellStore::BlockForRow(int32_t row) {
    const size_t index = static_cast<size_t>(row) / kRowsPerBlock;
    if (index >= blocks_.size()) blocks_.resize(index + 1);
    return blocks_[index];
}

// The row's vector and the bytes of its buffer from the vector on; false when there is no row.
bool TXLSCellStore::RowAt(const Block& block, int local, const uint8_t*& v, size_t& avail) {
    if (!block.RowOffset || block.RowOffset[local] < 0) return false;
    if (block.Loose) {
        const ByteBuffer& row = block.Loose[local];
        v = row.data();
        avail = row.size();
    } else {
        const auto offset = static_cast<size_t>(block.RowOffset[local]);
        if (offset > block.Data.size()) ThrowDamagedRow();
        v = block.Data.data() + offset;
        avail = block.Data.size() - offset;
    }
    if (avail < kRowHeadSize) ThrowDamagedRow();
    return true;
}

// Creates the row (with the preset record) when it does not exist yet.
void TXLSCellStore::EnsureRow(Block& block, int local) {
    if (!block.RowOffset) {
        block.RowOffsetSpace.UseArena(arena_.get());
        block.RowOffsetSpace.resize(kRowsPerBlock * sizeof(int32_t));   // the arena aligns it
        block.RowOffset = reinterpret_cast<int32_t*>(block.RowOffsetSpace.data());
        std::fill_n(block.RowOffset, kRowsPerBlock, -1);
        block.Data.UseArena(arena_.get());
    }
    if (block.RowOffset[local] >= 0) return;
    hot_.Row = -1;   // the new row comes behind the row being filled
    uint8_t head[kRowHeadSize];
    SetColCount(head, 0);
    SetLastRunOffset(head, kRowHeadSize);
    WriteRowRecord(head, TXLSRowRecord());
    if (block.Loose) {
        block.Loose[local].assign(head, head + kRowHeadSize);
        block.RowOffset[local] = 0;
    } else {
        const size_t offset = block.Data.size();
        Resize(block.Data, offset + kRowHeadSize);
        std::memcpy(block.Data.data() + offset, head, kRowHeadSize);
        block.RowOffset[local] = static_cast<int32_t>(offset);
    }
    styles_.AddXFUse(0);   // the preset record names the default format
}

void TXLSCellStore::StoreRowRecord(int32_t row, const TXLSRowRecord& record) {
    CheckRow(row);
    styles_.AddXFUse(record.Style);
    Changed();
    uint16_t oldStyle = 0;
    try {
        Block& block = BlockForRow(row);
        const int local = row % kRowsPerBlock;
        EnsureRow(block, local);
        const uint8_t* v = nullptr;
        size_t avail = 0;
        RowAt(block, local, v, avail);
        oldStyle = LoadU16(v + 7);
        WriteRowRecord(const_cast<uint8_t*>(v), record);
    } catch (...) {
        styles_.ReleaseXFUse(record.Style);
        throw;
    }
    styles_.ReleaseXFUse(oldStyle);
}

bool TXLSCellStore::ReadRowRecord(int32_t row, TXLSRowRecord& record) const {
    if (row < 0 || static_cast<size_t>(row) / kRowsPerBlock >= blocks_.size()) return false;
    const uint8_t* v = nullptr;
    size_t avail = 0;
    if (!RowAt(blocks_[static_cast<size_t>(row) / kRowsPerBlock], row % kRowsPerBlock, v, avail)) return false;
    record.Options = v[6];
    record.Style = LoadU16(v + 7);
    record.OutlineLevel = v[9];
    record.Height = LoadI16(v + 10);
    return true;
}

// ---- Placing a cell -------------------------------------------------------------------------
//
// A block keeps its rows back to back in Data. Readers store the cells of a row left to right,
// so the row being filled is moved behind the others once and then grows in place. When cells
// of many rows arrive interleaved instead (which only a strange or hostile file does), every
// store would move bytes of other rows; once a block has moved far more bytes than it holds, it
// keeps each row in a buffer of its own until Compact puts them back into Data.

void TXLSCellStore::Place(int32_t col, int32_t row, uint8_t tag, const uint8_t* payload, size_t size) {
    Changed();
    if (row == hot_.Row) {
        ByteBuffer& data = blocks_[hot_.Block].Data;
        if (static_cast<uint32_t>(col) >= ColCount(data.data() + hot_.Offset)) {
            AppendCell(data, hot_.Offset, data.size() - hot_.Offset, col, tag, payload, size);
            return;
        }
    }
    hot_.Row = -1;
    Block& block = BlockForRow(row);
    const int local = row % kRowsPerBlock;
    EnsureRow(block, local);
    const uint8_t* v = nullptr;
    size_t avail = 0;
    RowAt(block, local, v, avail);
    const size_t length = RowLength(v, avail);
    const bool append = col >= ColCount(v);

    if (block.Loose) {
        ByteBuffer& buffer = block.Loose[local];
        if (append) {
            AppendCell(buffer, 0, length, col, tag, payload, size);
        } else {
            const ReplacedCell old = EncodeWithCell(v, length, col, tag, payload, size);
            buffer.assign(scratch_.data(), scratch_.data() + encodedLength_);
            Release(old);
        }
        return;
    }

    auto offset = static_cast<size_t>(block.RowOffset[local]);
    if (append) {
        if (offset + length != block.Data.size()) offset = MoveRowToEnd(block, local, offset, length);
        AppendCell(block.Data, offset, length, col, tag, payload, size);
        hot_ = {row, static_cast<size_t>(row) / kRowsPerBlock, offset};
    } else {
        const ReplacedCell old = EncodeWithCell(v, length, col, tag, payload, size);
        Splice(block, offset, length);
        Release(old);
    }
    if (block.MovedBytes > 64 * block.Data.size() + 65536) {
        hot_.Row = -1;
        Unpack(block);
    }
}

// Moves a row vector behind all others of its block, so that it can grow in place.
size_t TXLSCellStore::MoveRowToEnd(Block& block, int local, size_t offset, size_t length) {
    uint8_t* data = block.Data.data();
    const size_t total = block.Data.size();
    scratch_.assign(data + offset, data + offset + length);
    std::memmove(data + offset, data + offset + length, total - offset - length);
    ShiftRowsBehind(block.RowOffset, offset, -static_cast<int32_t>(length));
    const size_t newOffset = total - length;
    std::memcpy(data + newOffset, scratch_.data(), length);
    block.RowOffset[local] = static_cast<int32_t>(newOffset);
    block.MovedBytes += total - offset;
    return newOffset;
}

// Puts the re-encoded row (encodedLength_ bytes of scratch_) over the old one; the rows behind
// it move by the change in length.
void TXLSCellStore::Splice(Block& block, size_t offset, size_t length) {
    const size_t newLength = encodedLength_;
    const size_t total = block.Data.size();
    const size_t tail = total - offset - length;
    if (newLength > length) {
        Resize(block.Data, total + newLength - length);
        uint8_t* data = block.Data.data();
        std::memmove(data + offset + newLength, data + offset + length, tail);
    } else if (newLength < length) {
        uint8_t* data = block.Data.data();
        std::memmove(data + offset + newLength, data + offset + length, tail);
        block.Data.resize(total - (length - newLength));
    }
    if (tail && newLength != length) {
        const int32_t delta = static_cast<int32_t>(newLength) - static_cast<int32_t>(length);
        ShiftRowsBehind(block.RowOffset, offset, delta);
        block.MovedBytes += tail;
    }
    std::memcpy(block.Data.data() + offset, scratch_.data(), newLength);
}

// Takes every row of the block out of Data into a buffer of its own.
void TXLSCellStore::Unpack(Block& block) {
    block.Loose.reset(new ByteBuffer[kRowsPerBlock]);
    for (int r = 0; r < kRowsPerBlock; ++r) {
        const int32_t offset = block.RowOffset[r];
        if (offset < 0) continue;
        const uint8_t* v = block.Data.data() + offset;
        const size_t length = RowLength(v, block.Data.size() - static_cast<size_t>(offset));
        block.Loose[r].assign(v, v + length);
        block.RowOffset[r] = 0;
    }
    block.Data = ByteBuffer(arena_.get());
    block.MovedBytes = 0;
}

// Puts the rows of a block back into Data, in row order.
void TXLSCellStore::Pack(Block& block) {
    size_t total = 0;
    for (int r = 0; r < kRowsPerBlock; ++r)
        if (block.RowOffset[r] >= 0) total += block.Loose[r].size();
    if (total > kMaxBlockBytes) throw Exception("Too many cell data in 256 rows");
    ByteBuffer data(arena_.get());
    data.reserve(total);
    for (int r = 0; r < kRowsPerBlock; ++r) {
        if (block.RowOffset[r] < 0) continue;
        block.RowOffset[r] = static_cast<int32_t>(data.size());
        data.append(block.Loose[r].data(), block.Loose[r].size());
    }
    block.Data = std::move(data);
    block.Loose.reset();
    block.MovedBytes = 0;
}

// A cell at or beyond ColCount: the row, the last thing in `buffer`, grows at its end. This is
// what every reader does (cells of a row left to right), so it costs no re-encoding.
void TXLSCellStore::AppendCell(ByteBuffer& buffer, size_t offset, size_t length, int32_t col,
                               uint8_t tag, const uint8_t* payload, size_t size) {
    const uint32_t colCount = ColCount(buffer.data() + offset);
    const bool variable = (tag & kTagVariable) != 0;

    if (!variable && colCount > 0 && static_cast<uint32_t>(col) == colCount) {
        const uint8_t* v = buffer.data() + offset;
        const auto lastRunOffset = static_cast<size_t>(LastRunOffset(v));
        const uint8_t* last = v + lastRunOffset;
        if (last[1] == tag && last[0] < kMaxRunCells) {
            Resize(buffer, buffer.size() + size);
            uint8_t* w = buffer.data() + offset;
            std::memcpy(w + length, payload, size);
            ++w[lastRunOffset];
            SetColCount(w, colCount + 1);
            return;
        }
    }

    const int32_t gap = col - static_cast<int32_t>(colCount);
    const size_t head = variable ? 4 : 2;
    Resize(buffer, buffer.size() + GapBytes(gap) + head + size);
    uint8_t* w = buffer.data() + offset;
    uint8_t* run = WriteGap(w + length, gap);
    run[0] = 1;
    run[1] = tag;
    if (variable) StoreU16(run + 2, static_cast<uint16_t>(size));
    if (size) std::memcpy(run + head, payload, size);
    SetLastRunOffset(w, static_cast<size_t>(run - w));
    SetColCount(w, static_cast<uint32_t>(col) + 1);
}

// A cell inside the row's columns: split the row into its runs, put the cell in, and encode the
// runs again canonically into scratch_ (encodedLength_ bytes). Runs are copied whole (a payload
// memcpy per run, not per cell), so even a row stored right to left costs little more than
// moving its bytes. Returns what the replaced cell held, to be released once the new bytes are
// in place.
TXLSCellStore::ReplacedCell TXLSCellStore::EncodeWithCell(const uint8_t* v, size_t length, int32_t col,
                                                         uint8_t tag, const uint8_t* payload, size_t size) {
    std::vector<Segment>& segments = segments_;
    segments.clear();
    const Segment added{col, 1, tag, payload, size};
    bool inserted = false;
    ReplacedCell old;

    size_t pos = kRowHeadSize;
    int32_t c = 0;
    while (pos < length) {
        const uint8_t b = v[pos];
        if (b & 0x80) {
            if (b == 0x80) ThrowDamagedRow();
            c += b & 0x7F;
            ++pos;
            continue;
        }
        const size_t runLength = RunLength(v + pos, length - pos);
        const uint8_t runTag = v[pos + 1];
        const bool variable = (runTag & kTagVariable) != 0;
        const Segment run{c, variable ? 1 : b, runTag, v + pos + (variable ? 4 : 2),
                          variable ? runLength - 4 : kFixedSize[runTag]};
        if (!inserted && col < run.Col) {
            segments.push_back(added);
            inserted = true;
        }
        if (!inserted && col < run.Col + run.Count) {
            // The new cell replaces one of this run's cells: keep what lies left and right of it.
            const int32_t left = col - run.Col;
            const uint8_t* oldPayload = variable ? run.Payload : run.Payload + size_t(left) * run.Size;
            old.Replaced = inserted = true;
            old.Style = StyleOf(runTag, oldPayload);
            const uint8_t base = runTag & kBaseMask;
            const uint8_t* value = oldPayload + ((runTag & kTagStyle) ? 2 : 0);
            if (base == kString16) old.String = LoadU16(value);
            if (base == kString32) old.String = LoadU32(value);
            if (left > 0) segments.push_back({run.Col, left, runTag, run.Payload, run.Size});
            segments.push_back(added);
            const int32_t right = run.Count - left - 1;
            if (right > 0) segments.push_back({col + 1, right, runTag, oldPayload + run.Size, run.Size});
        } else {
            segments.push_back(run);
        }
        c += run.Count;
        pos += runLength;
    }
    if (!inserted) segments.push_back(added);

    // Canonical encoding: gaps as 0xFF bytes plus a remainder, neighbouring cells of one fixed
    // tag in runs of at most 127 (filled from the left), formula cells as variable entries.
    // The new vector outgrows the old one by the new payload plus at most a few run heads and
    // one split gap byte.
    if (scratch_.size() < length + size + 16) scratch_.resize(length + size + 16);
    uint8_t* const out = scratch_.data();
    std::memcpy(out, v, kRowHeadSize);
    size_t at = kRowHeadSize;
    int32_t nextCol = 0;
    size_t lastRun = kRowHeadSize;
    size_t openRun = 0;   // offset of the fixed run that the next cells may join; 0 = none
    for (const Segment& segment : segments) {
        const int32_t gap = segment.Col - nextCol;
        if (gap > 0) {
            at = static_cast<size_t>(WriteGap(out + at, gap) - out);
            openRun = 0;
        }
        nextCol = segment.Col + segment.Count;
        if (segment.Tag & kTagVariable) {
            lastRun = at;
            out[at] = 1;
            out[at + 1] = segment.Tag;
            StoreU16(out + at + 2, static_cast<uint16_t>(segment.Size));
            if (segment.Size) std::memcpy(out + at + 4, segment.Payload, segment.Size);
            at += 4 + segment.Size;
            openRun = 0;
            continue;
        }
        const uint8_t* from = segment.Payload;
        for (int32_t remaining = segment.Count; remaining > 0;) {
            int32_t take;
            if (openRun && out[openRun + 1] == segment.Tag && out[openRun] < kMaxRunCells) {
                take = std::min(remaining, kMaxRunCells - out[openRun]);
            } else {
                lastRun = openRun = at;
                out[at] = 0;
                out[at + 1] = segment.Tag;
                at += 2;
                take = std::min(remaining, kMaxRunCells);
            }
            out[openRun] = static_cast<uint8_t>(out[openRun] + take);
            const size_t bytes = size_t(take) * segment.Size;
            std::memcpy(out + at, from, bytes);
            at += bytes;
            from += bytes;
            remaining -= take;
        }
    }
    SetColCount(out, static_cast<uint32_t>(nextCol));
    SetLastRunOffset(out, lastRun);
    encodedLength_ = at;
    return old;
}

void TXLSCellStore::Release(const ReplacedCell& old) {
    if (!old.Replaced) return;
    if (old.String >= 0) sst_.ReleaseString(static_cast<int32_t>(old.String));
    styles_.ReleaseXFUse(old.Style);
}

// ---- Reading --------------------------------------------------------------------------------

// Puts row `row` into the read cache, with no run found yet; false when the row does not exist.
bool TXLSCellStore::CacheRow(int32_t row) const {
    const size_t blockIndex = static_cast<size_t>(row) / kRowsPerBlock;
    if (row < 0 || blockIndex >= blocks_.size()) return false;
    const uint8_t* v = nullptr;
    size_t avail = 0;
    if (!RowAt(blocks_[blockIndex], row % kRowsPerBlock, v, avail)) return false;
    const size_t length = RowLength(v, avail);
    cache_ = ReadCache();
    cache_.Row = row;
    cache_.Vector = v;
    cache_.Length = length;
    cache_.ColCount = ColCount(v);
    cache_.RunPos = kRowHeadSize;
    return true;
}

// Walks the cached row from byte `pos` (at column `col`, the start of a run or gap) to the
// next run and leaves the cache on it. Returns the run's first column, or -1 at the row's end.
int32_t TXLSCellStore::CacheRunAt(size_t pos, int32_t col) const {
    const uint8_t* v = cache_.Vector;
    const size_t length = cache_.Length;
    while (pos < length && (v[pos] & 0x80)) {
        if (v[pos] == 0x80) ThrowDamagedRow();
        col += v[pos++] & 0x7F;
    }
    cache_.RunPos = pos;
    cache_.RunCol = col;
    if (pos >= length) {
        cache_.RunCells = 0;
        cache_.RunEnd = pos;
        return -1;
    }
    const size_t runLength = RunLength(v + pos, length - pos);
    const uint8_t tag = v[pos + 1];
    const bool variable = (tag & kTagVariable) != 0;
    cache_.RunCells = variable ? 1 : v[pos];
    cache_.RunTag = tag;
    cache_.RunSize = variable ? 0 : kFixedSize[tag];
    cache_.RunPayload = v + pos + 2;
    cache_.RunEnd = pos + runLength;
    return col;
}

// Walks the cached row to the first cell at column `col` or right of it, from the cached run on
// (from the row's start when `col` lies left of that run), and leaves the cache on that cell's
// run. Returns the cell's column, or -1 when the row has no such cell.
int32_t TXLSCellStore::SeekInCachedRow(int32_t col) const {
    size_t pos = kRowHeadSize;
    int32_t c = 0;
    if (col >= cache_.RunCol) {
        pos = cache_.RunPos;
        c = cache_.RunCol;
    }
    for (;;) {
        c = CacheRunAt(pos, c);
        if (c < 0) return -1;
        if (col < c + static_cast<int32_t>(cache_.RunCells)) return std::max(col, c);
        pos = cache_.RunEnd;
        c += static_cast<int32_t>(cache_.RunCells);
    }
}

bool TXLSCellStore::LocateCellInRow(int32_t col, int32_t row, TXLSCellRef& ref) const {
    if (row < 0 || col < 0) return false;
    if (cache_.Row != row && !CacheRow(row)) return false;
    if (col >= cache_.ColCount || SeekInCachedRow(col) != col) return false;
    ref.Tag = cache_.RunTag;
    ref.Payload = cache_.RunPayload + size_t(col - cache_.RunCol) * cache_.RunSize;
    ref.End = cache_.Vector + cache_.Length;
    return true;
}

bool TXLSCellStore::NextCellAfter(int32_t& col, int32_t& row) const {
    int64_t r = row < 0 ? 0 : row;
    int64_t from = row < 0 ? 0 : int64_t{col} + 1;
    if (row >= 0 && row == cache_.Row && cache_.RunCells > 0 &&
        from == int64_t{cache_.RunCol} + cache_.RunCells) {
        // A walk leaving the cached run: the next run of the row follows it.
        const int32_t next = CacheRunAt(cache_.RunEnd, cache_.RunCol + static_cast<int32_t>(cache_.RunCells));
        if (next >= 0) {
            col = next;
            return true;
        }
        ++r;
        from = 0;
    }
    const auto rowLimit = static_cast<int64_t>(blocks_.size()) * kRowsPerBlock;
    for (; r < rowLimit; ++r, from = 0) {
        const Block& block = blocks_[static_cast<size_t>(r / kRowsPerBlock)];
        if (!block.RowOffset) {
            r += kRowsPerBlock - 1 - r % kRowsPerBlock;   // a block without rows
            continue;
        }
        const auto candidate = static_cast<int32_t>(r);
        if (cache_.Row != candidate && !CacheRow(candidate)) continue;
        if (from >= cache_.ColCount) continue;
        const int32_t found = SeekInCachedRow(static_cast<int32_t>(std::max<int64_t>(from, 0)));
        if (found < 0) continue;
        col = found;
        row = candidate;
        return true;
    }
    return false;
}

void TXLSCellStore::ThrowInvalidTag() { cellcode::ThrowInvalidTag(); }

// ---- Used area and clearing -----------------------------------------------------------------

void TXLSCellStore::SetUsedArea(int32_t firstRow, int32_t lastRow, int32_t firstCol, int32_t lastCol) {
    usedArea_ = {firstRow, lastRow, firstCol, lastCol};
}

void TXLSCellStore::RecalcUsedArea() {
    if (blocks_.empty()) return;
    int32_t firstRow = INT32_MAX, firstCol = INT32_MAX;
    int32_t lastRow = -2147483646, lastCol = -2147483646;
    for (size_t b = 0; b < blocks_.size(); ++b) {
        const Block& block = blocks_[b];
        if (!block.RowOffset) continue;
        for (int r = 0; r < kRowsPerBlock; ++r) {
            const uint8_t* v = nullptr;
            size_t avail = 0;
            if (!RowAt(block, r, v, avail)) continue;
            const int32_t row = static_cast<int32_t>(b) * kRowsPerBlock + r;
            firstRow = std::min(firstRow, row);
            lastRow = std::max(lastRow, row);
            const size_t length = RowLength(v, avail);
            const int32_t colCount = ColCount(v);
            if (colCount == 0) continue;
            int32_t first = 0;
            for (size_t pos = kRowHeadSize; pos < length && (v[pos] & 0x80); ++pos) first += v[pos] & 0x7F;
            firstCol = std::min(firstCol, first);
            lastCol = std::max(lastCol, colCount - 1);
        }
    }
    if (firstCol > 16384 || lastCol > 16384 || firstRow > 1048576 || lastRow > 1048576)
        firstRow = lastRow = firstCol = lastCol = 0;
    usedArea_ = {firstRow, lastRow, firstCol, lastCol};
}

void TXLSCellStore::ReleaseCell(uint8_t tag, const uint8_t* payload) {
    const uint8_t base = tag & kBaseMask;
    const uint8_t* value = payload + ((tag & kTagStyle) && !(tag & kTagVariable) ? 2 : 0);
    if (base == kString16) sst_.ReleaseString(LoadU16(value));
    if (base == kString32) sst_.ReleaseString(static_cast<int32_t>(LoadU32(value)));
    styles_.ReleaseXFUse(StyleOf(tag, payload));
}

void TXLSCellStore::ClearCells() {
    // Give back the uses that the cells and rows hold; a damaged row gives back what it can.
    for (const Block& block : blocks_) {
        if (!block.RowOffset) continue;
        for (int r = 0; r < kRowsPerBlock; ++r) {
            try {
                const uint8_t* v = nullptr;
                size_t avail = 0;
                if (!RowAt(block, r, v, avail)) continue;
                const size_t length = RowLength(v, avail);
                styles_.ReleaseXFUse(LoadU16(v + 7));
                WalkRow(v, length, [&](const CellSlice& cell) {
                    ReleaseCell(cell.Tag, cell.Payload);
                    return true;
                });
            } catch (const Exception&) {
            }
        }
    }
    blocks_.clear();
    blocks_.resize(1);
    usedArea_ = TXLSUsedArea();
    cache_ = ReadCache();
    hot_.Row = -1;
}

// ---- Introspection --------------------------------------------------------------------------

std::vector<uint8_t> TXLSCellStore::RowVectorBytes(int32_t row) const {
    if (row < 0 || static_cast<size_t>(row) / kRowsPerBlock >= blocks_.size()) return {};
    const uint8_t* v = nullptr;
    size_t avail = 0;
    if (!RowAt(blocks_[static_cast<size_t>(row) / kRowsPerBlock], row % kRowsPerBlock, v, avail)) return {};
    return std::vector<uint8_t>(v, v + RowLength(v, avail));
}

void TXLSCellStore::ReplaceRowVectorBytes(int32_t row, std::span<const uint8_t> bytes) {
    CheckRow(row);
    Changed();
    hot_.Row = -1;
    Block& block = BlockForRow(row);
    const int local = row % kRowsPerBlock;
    EnsureRow(block, local);
    if (block.Loose) {
        block.Loose[local].assign(bytes.data(), bytes.data() + bytes.size());
        return;
    }
    const auto offset = static_cast<size_t>(block.RowOffset[local]);
    const size_t length = RowLength(block.Data.data() + offset, block.Data.size() - offset);
    scratch_.assign(bytes.begin(), bytes.end());
    encodedLength_ = bytes.size();
    Splice(block, offset, length);
}

size_t TXLSCellStore::BlockCount() const { return blocks_.size(); }

size_t TXLSCellStore::EncodedBytes() const {
    size_t total = 0;
    for (const Block& block : blocks_) {
        total += block.Data.size();
        if (block.Loose)
            for (int r = 0; r < kRowsPerBlock; ++r) total += block.Loose[r].size();
    }
    return total;
}

void TXLSCellStore::Compact() {
    Changed();   // the buffers move
    hot_.Row = -1;
    for (Block& block : blocks_) {
        if (block.Loose) Pack(block);
        block.Data.shrink_to_fit();
    }
    blocks_.shrink_to_fit();
    scratch_ = {};
    formula_ = {};
}

} // namespace tessaly
