#pragma once
// The cell store of one worksheet: every cell value in a compact byte encoding.
//
// Rows live in blocks of 256. Each existing row is one byte vector: a 12-byte head (ColCount,
// LastRunOffset, the row record) followed by runs that cover columns 0..ColCount-1: gap bytes
// (0x80 + n empty columns), fixed runs (count, tag, count payloads) and variable entries
// (1, tag | 0x80, 16-bit length, payload; formulas only). The encoding of a row is canonical:
// it does not depend on the order in which its cells were stored.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/Types.h"

namespace tessaly {

class TWbDataSST;
class TWbDataStyleSheet;
namespace cellcode {
class ByteBuffer;
class CellArena;
}

// Where LocateCell found a cell: its tag and its payload (for a variable entry, the 16-bit
// length in front of it). Valid until the next store into the same sheet.
struct TXLSCellRef {
    uint8_t Tag = 0;
    const uint8_t* Payload = nullptr;
    const uint8_t* End = nullptr;   // end of the cell's row vector: the readers never pass it
};

// The per-row record the readers fill.
struct TXLSRowRecord {
    uint8_t Options = 0;        // 0x01 hidden, 0x02 custom height, 0x04 collapsed, 0x08 thick top,
                                // 0x10 thick bottom, 0x20 show phonetic text
    uint16_t Style = 0;
    uint8_t OutlineLevel = 0;
    int16_t Height = 300;       // twips; -1 = no height given
};

enum class TXLSFormulaResult : uint8_t { None = 0, Number = 6, Text = 7, Boolean = 8, Error = 9 };

// One formula cell staged by a reader before StoreFormula.
class TXLSFormulaHelper {
public:
    int32_t Col = 0;
    int32_t Row = 0;
    uint16_t Style = 0;
    uint8_t FormulaType = 0;   // 0 normal, 1 array, 2 data table, 3/4/5 member of an array,
                               // shared-formula or data-table block (Master names its head)
    uint8_t Options = 0;       // 1 always calculate array, 2 bx, 4 calculate always (not encoded)
    bool HasRange = false;
    TXLSCellArea Range;        // the block this formula heads
    bool HasTable = false;
    uint8_t TableFlags = 0;
    TXLSCellPos Input1;
    TXLSCellPos Input2;
    TXLSCellPos Master;

    void SetFormulaText(std::u16string_view text);
    void SetCompiled(std::span<const uint8_t> bytes);
    void SetNumberResult(double value);
    void SetTextResult(std::u16string_view text);
    void SetBooleanResult(bool value);
    void SetErrorResult(uint8_t code);   // "Invalid error value" for code 0

    TXLSFormulaResult ResultKind() const { return resultKind_; }
    void Clear();

private:
    friend class TXLSCellStore;
    bool hasText_ = false;
    bool hasCompiled_ = false;
    std::u16string text_;
    std::vector<uint8_t> compiled_;
    TXLSFormulaResult resultKind_ = TXLSFormulaResult::None;
    double number_ = 0;
    std::u16string textResult_;
    bool boolean_ = false;
    uint8_t error_ = 0;
};

// What ReadFormulaBody yields.
struct TXLSFormulaBody {
    uint8_t FormulaType = 0;
    bool IsText = false;              // the formula as text (else compiled bytes, or a member marker)
    std::u16string Text;
    std::vector<uint8_t> Compiled;
    bool HasRange = false;
    TXLSCellArea Range;
    bool HasTable = false;
    uint8_t TableFlags = 0;
    TXLSCellPos Input1;
    TXLSCellPos Input2;
    TXLSCellPos Master;               // for types 3..5
};

struct TXLSUsedArea {
    int32_t FirstRow = -1;
    int32_t LastRow = -1;
    int32_t FirstCol = -1;
    int32_t LastCol = -1;
};

class TXLSCellStore {
public:
    TXLSCellStore(TWbDataSST& sst, TWbDataStyleSheet& styles);
    // Takes the memory for its rows from `arena`, which the sheets of one workbook share, so
    // that a workbook of many sheets gets large pieces of memory as one large sheet does.
    TXLSCellStore(TWbDataSST& sst, TWbDataStyleSheet& styles, std::shared_ptr<cellcode::CellArena> arena);
    ~TXLSCellStore();
    TXLSCellStore(const TXLSCellStore&) = delete;
    TXLSCellStore& operator=(const TXLSCellStore&) = delete;

    // Reading. LocateCell remembers the run where it stopped, so that a walk over a row from
    // left to right continues from there; any store forgets it. Like the rest of the workbook,
    // a store is used from one thread at a time, reads included.
    bool LocateCell(int32_t col, int32_t row, TXLSCellRef& ref) const;
    // The stored cell that follows (col, row) in row-major order: the next one in the row, else
    // the first of the next row that holds cells; row -1 asks for the sheet's first cell. False
    // when there is none. Reading that cell right after finds it without a walk.
    bool NextCell(int32_t& col, int32_t& row) const;
    static TXLSCellKind KindOfTag(uint8_t tag);   // "Invalid XLate code" for an unknown base code
    bool ReadBoolean(const TXLSCellRef& ref) const;
    uint8_t ReadError(const TXLSCellRef& ref) const;
    double ReadNumber(const TXLSCellRef& ref) const;
    uint32_t ReadStringIndex(const TXLSCellRef& ref) const;
    std::u16string ReadText(const TXLSCellRef& ref) const;
    uint16_t ReadStyle(const TXLSCellRef& ref) const;
    double ReadFormulaNumber(const TXLSCellRef& ref) const;
    std::u16string ReadFormulaText(const TXLSCellRef& ref) const;
    bool ReadFormulaBoolean(const TXLSCellRef& ref) const;
    uint8_t ReadFormulaError(const TXLSCellRef& ref) const;
    TXLSFormulaBody ReadFormulaBody(const TXLSCellRef& ref) const;

    // Writing: the readers' contract. Coordinates outside 0..16383 / 0..1048575 and styles
    // beyond the style table fail with an exception; nothing is stored then.
    void StoreBlank(int32_t col, int32_t row, uint16_t style);
    void StoreBoolean(int32_t col, int32_t row, bool value, uint16_t style);
    void StoreError(int32_t col, int32_t row, uint8_t code, uint16_t style);
    void StoreNumber(int32_t col, int32_t row, double value, uint16_t style);
    void StoreSharedString(int32_t col, int32_t row, uint32_t index, uint16_t style);
    void StoreText(int32_t col, int32_t row, std::u16string_view text, uint16_t style);
    TXLSFormulaHelper& FormulaHelper() { return helper_; }
    void StoreFormula();   // encodes and clears the staged formula
    // Creates the row when needed, resets its record to the preset, then applies `record`.
    void StoreRowRecord(int32_t row, const TXLSRowRecord& record);
    bool ReadRowRecord(int32_t row, TXLSRowRecord& record) const;

    void SetUsedArea(int32_t firstRow, int32_t lastRow, int32_t firstCol, int32_t lastCol);
    void RecalcUsedArea();
    const TXLSUsedArea& UsedArea() const { return usedArea_; }
    void ClearCells();

    // Packing of numbers: the base code (2..8) chosen for a value.
    static uint8_t PackNumberBase(double value);

    // Introspection for tests and statistics.
    std::vector<uint8_t> RowVectorBytes(int32_t row) const;   // empty when the row does not exist
    size_t BlockCount() const;
    size_t EncodedBytes() const;                              // sum of all blocks' data
    // Puts `bytes` in place of the row's vector as they stand (creating the row when needed),
    // so that tests can show that damaged data fails cleanly. Uses are not counted.
    void ReplaceRowVectorBytes(int32_t row, std::span<const uint8_t> bytes);

    // Releases slack capacity kept for fast appends (called when a read has finished).
    void Compact();

private:
    struct Block;
    struct Segment;
    // Where the last LocateCell ended: the row `Row` (its vector, length and ColCount) and a
    // run (or gap) of it starting at byte RunPos and at column RunCol. A left-to-right walk over
    // a row continues from there, and a cell inside that run is found without any walk: its
    // RunCells cells of tag RunTag have their payloads from RunPayload on, RunSize bytes each
    // (a gap has no cells; a variable entry is one cell whose payload starts with its length).
    // Every store forgets it (Row = -1, RunCells = 0).
    struct ReadCache {
        int32_t Row = -1;
        const uint8_t* Vector = nullptr;
        size_t Length = 0;
        int32_t ColCount = 0;
        size_t RunPos = 0;
        int32_t RunCol = 0;
        uint32_t RunCells = 0;
        uint8_t RunTag = 0;
        uint32_t RunSize = 0;
        const uint8_t* RunPayload = nullptr;
        size_t RunEnd = 0;   // where the next run (or gap) starts
    };

    bool CacheRow(int32_t row) const;
    int32_t SeekInCachedRow(int32_t col) const;
    int32_t CacheRunAt(size_t pos, int32_t col) const;
    bool LocateCellInRow(int32_t col, int32_t row, TXLSCellRef& ref) const;
    bool NextCellAfter(int32_t& col, int32_t& row) const;
    [[noreturn]] static void ThrowInvalidTag();
    static constexpr TXLSCellKind kKindOfBase[32] = {
        xckNone,   xckBlank,  xckNumber, xckNumber, xckNumber,       xckNumber,        xckNumber,
        xckNumber, xckNumber, xckString, xckString, xckBoolean,      xckError,         xckNone,
        xckNone,   xckNone,   xckNone,   xckNone,   xckNone,         xckNone,          xckNumberFormula,
        xckStringFormula,     xckBooleanFormula,    xckErrorFormula, xckNone,          xckNone,
        xckNone,   xckNone,   xckNone,   xckNone,   xckNone,         xckNone,
    };

    struct ReplacedCell;

    void StoreFixed(int32_t col, int32_t row, uint8_t tag, const uint8_t* payload, size_t size,
                    uint16_t style, int64_t sstIndex);
    bool AppendToHotRow(int32_t col, int32_t row, uint8_t tag, const uint8_t* payload, size_t size);
    void Place(int32_t col, int32_t row, uint8_t tag, const uint8_t* payload, size_t size);
    Block& BlockForRow(int32_t row);
    static bool RowAt(const Block& block, int local, const uint8_t*& v, size_t& avail);
    void EnsureRow(Block& block, int local);
    size_t MoveRowToEnd(Block& block, int local, size_t offset, size_t length);
    void Splice(Block& block, size_t offset, size_t length);
    void Unpack(Block& block);
    void Pack(Block& block);
    void AppendCell(cellcode::ByteBuffer& buffer, size_t offset, size_t length, int32_t col,
                    uint8_t tag, const uint8_t* payload, size_t size);
    ReplacedCell EncodeWithCell(const uint8_t* v, size_t length, int32_t col, uint8_t tag,
                                const uint8_t* payload, size_t size);
    void Release(const ReplacedCell& old);
    static void Resize(cellcode::ByteBuffer& buffer, size_t newSize);
    void ReleaseCell(uint8_t tag, const uint8_t* payload);
    void Changed() {
        cache_.Row = -1;
        cache_.RunCells = 0;
    }
    void BuildFormulaPayload();

    // The row being filled: row HotRow, whose vector starts at HotOffset in the Data of block
    // HotBlock and is the last thing there, so that it runs to the end of Data. A cell right
    // of its last one is appended without looking anything up. Everything that could move
    // that row or put anything behind it forgets it (HotRow = -1).
    struct HotRow {
        int32_t Row = -1;
        size_t Block = 0;
        size_t Offset = 0;
    };

    TWbDataSST& sst_;
    TWbDataStyleSheet& styles_;
    std::shared_ptr<cellcode::CellArena> arena_;   // before blocks_: they give their memory back to it
    std::vector<Block> blocks_;
    HotRow hot_;
    TXLSUsedArea usedArea_;
    TXLSFormulaHelper helper_;
    mutable ReadCache cache_;
    std::vector<uint8_t> scratch_;    // a row being re-encoded or moved
    size_t encodedLength_ = 0;        // bytes of scratch_ that hold the re-encoded row
    std::vector<uint8_t> formula_;    // the payload of the formula being stored
    std::vector<Segment> segments_;   // a row being re-encoded, by runs
};

// A cell of the run where the last LocateCell stopped (the next cell of a walk to the right, or
// the same cell again) is found here; anything else walks the row.
inline bool TXLSCellStore::LocateCell(int32_t col, int32_t row, TXLSCellRef& ref) const {
    const uint32_t inRun = static_cast<uint32_t>(col) - static_cast<uint32_t>(cache_.RunCol);
    if (row == cache_.Row && inRun < cache_.RunCells) {
        ref.Tag = cache_.RunTag;
        ref.Payload = cache_.RunPayload + size_t{inRun} * cache_.RunSize;
        ref.End = cache_.Vector + cache_.Length;
        return true;
    }
    return LocateCellInRow(col, row, ref);
}

// The cell right of the last one found, inside the same run, is the next stored cell.
inline bool TXLSCellStore::NextCell(int32_t& col, int32_t& row) const {
    const uint32_t inRun = static_cast<uint32_t>(col) + 1u - static_cast<uint32_t>(cache_.RunCol);
    if (row == cache_.Row && inRun < cache_.RunCells) {
        ++col;
        return true;
    }
    return NextCellAfter(col, row);
}

inline TXLSCellKind TXLSCellStore::KindOfTag(uint8_t tag) {
    const TXLSCellKind kind = kKindOfBase[tag & 0x1F];
    if (kind == xckNone) ThrowInvalidTag();
    return kind;
}

} // namespace tessaly
