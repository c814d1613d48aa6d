#pragma once
// The byte encoding of the cell store's row vectors: tags, payload sizes, the row head, and a
// bounds-checked walk over the runs of one row. Internal to the workbook model.
//
// Row vector: ColCount (u16) | LastRunOffset (i32) | row record (6 bytes) | runs...
//   gap byte      0x80 + n             n (1..127) columns without a cell
//   fixed run     count (1..127), tag  then count payloads of FixedSize(tag) bytes
//   variable      1, tag | 0x80, u16 length, then length payload bytes (formula cells)

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "workbook/XLSCellArena.h"

namespace tessaly::cellcode {

constexpr size_t kRowHeadSize = 12;
constexpr int kMaxRunCells = 127;
constexpr uint8_t kTagStyle = 0x40;
constexpr uint8_t kTagVariable = 0x80;
constexpr uint8_t kBaseMask = 0x1F;

enum Base : uint8_t {
    kBlank = 1,
    kInt8 = 2,
    kInt16 = 3,
    kInt32 = 4,
    kHundredths = 5,
    kTenThousandths = 6,
    kFloat32 = 7,
    kDouble = 8,
    kString16 = 9,
    kString32 = 10,
    kBoolean = 11,
    kError = 12,
    kNumberFormula = 20,
    kTextFormula = 21,
    kBooleanFormula = 22,
    kErrorFormula = 23,
};

constexpr std::array<uint8_t, 256> MakeFixedSizes() {
    // Value sizes by base code; a blank has no value and exists only with its style.
    constexpr uint8_t kValueSize[13] = {0, 0, 1, 2, 4, 4, 4, 4, 8, 2, 4, 1, 1};
    std::array<uint8_t, 256> sizes{};
    for (int tag = 0; tag < 256; ++tag) {
        if (tag & 0xA0) continue;   // variable entries and the unused bit 5
        const int base = tag & kBaseMask;
        if (base < kBlank || base > kError) continue;
        const bool styled = (tag & kTagStyle) != 0;
        if (base == kBlank && !styled) continue;
        sizes[tag] = static_cast<uint8_t>(kValueSize[base] + (styled ? 2 : 0));
    }
    return sizes;
}

// Payload size of a fixed-run tag (style included); 0 for a tag that cannot head a fixed run.
inline constexpr std::array<uint8_t, 256> kFixedSize = MakeFixedSizes();

inline bool IsVariableTag(uint8_t tag) {
    const uint8_t base = tag & kBaseMask;
    return (tag & 0xA0) == kTagVariable && base >= kNumberFormula && base <= kErrorFormula;
}

[[noreturn]] void ThrowInvalidTag();     // "Invalid XLate code"
[[noreturn]] void ThrowDamagedRow();     // a run or payload that does not fit its row

// Row head fields.
inline uint16_t ColCount(const uint8_t* v) { return LoadU16(v); }
inline int32_t LastRunOffset(const uint8_t* v) { return LoadI32(v + 2); }
inline void SetColCount(uint8_t* v, uint32_t n) { StoreU16(v, static_cast<uint16_t>(n)); }
inline void SetLastRunOffset(uint8_t* v, size_t n) { StoreU32(v + 2, static_cast<uint32_t>(n)); }

// Length of the run (fixed or variable) at `run`, with `avail` bytes left in the row; a gap
// byte or anything that does not fit throws.
inline size_t RunLength(const uint8_t* run, size_t avail) {
    if (avail < 2 || (run[0] & 0x80) || run[0] == 0) ThrowDamagedRow();
    const uint8_t tag = run[1];
    size_t length;
    if (tag & kTagVariable) {
        if (!IsVariableTag(tag)) ThrowInvalidTag();
        if (run[0] != 1 || avail < 4) ThrowDamagedRow();
        length = 4 + size_t(LoadU16(run + 2));
    } else {
        const size_t size = kFixedSize[tag];
        if (size == 0) ThrowInvalidTag();
        length = 2 + size_t(run[0]) * size;
    }
    if (length > avail) ThrowDamagedRow();
    return length;
}

// Length of the row vector at `v`, checked against the `avail` bytes that follow it in its block.
inline size_t RowLength(const uint8_t* v, size_t avail) {
    if (avail < kRowHeadSize) ThrowDamagedRow();
    const int32_t last = LastRunOffset(v);
    if (ColCount(v) == 0) {
        if (last != static_cast<int32_t>(kRowHeadSize)) ThrowDamagedRow();
        return kRowHeadSize;
    }
    if (last < static_cast<int32_t>(kRowHeadSize) || static_cast<size_t>(last) >= avail) ThrowDamagedRow();
    return static_cast<size_t>(last) + RunLength(v + last, avail - static_cast<size_t>(last));
}

// One cell met by WalkRow: its column, tag and payload (for a variable entry the bytes after
// the 16-bit length).
struct CellSlice {
    int32_t Col;
    uint8_t Tag;
    const uint8_t* Payload;
    size_t Size;
};

// Calls onCell(CellSlice) for every cell of the row vector `v` of `length` bytes, left to right;
// stops early when onCell returns false. Every run is checked against the row's end.
template <typename OnCell>
void WalkRow(const uint8_t* v, size_t length, OnCell&& onCell) {
    size_t pos = kRowHeadSize;
    int32_t col = 0;
    while (pos < length) {
        const uint8_t b = v[pos];
        if (b & 0x80) {
            if (b == 0x80) ThrowDamagedRow();
            col += b & 0x7F;
            ++pos;
            continue;
        }
        const size_t runLength = RunLength(v + pos, length - pos);
        const uint8_t tag = v[pos + 1];
        if (tag & kTagVariable) {
            if (!onCell(CellSlice{col, tag, v + pos + 4, runLength - 4})) return;
            ++col;
        } else {
            const size_t size = kFixedSize[tag];
            const uint8_t* p = v + pos + 2;
            for (int i = 0; i < b; ++i, p += size)
                if (!onCell(CellSlice{col++, tag, p, size})) return;
        }
        pos += runLength;
    }
}

// Appends the gap bytes for `gap` empty columns at `out`; returns the number of bytes written.
inline size_t GapBytes(int32_t gap) {
    if (gap <= 0) return 0;   // the common case, without the division
    return static_cast<size_t>(gap / 127 + (gap % 127 ? 1 : 0));
}
inline uint8_t* WriteGap(uint8_t* out, int32_t gap) {
    for (; gap >= 127; gap -= 127) *out++ = 0xFF;
    if (gap > 0) *out++ = static_cast<uint8_t>(0x80 + gap);
    return out;
}

// A growable byte buffer for the cell data; new bytes are left uninitialised, since the store
// writes them at once. Its memory comes from the C heap (realloc, which can often extend in
// place), or from the store's arena once UseArena has named one: there the buffer cut last grows
// where it lies, a little beyond each need, and any other grows geometrically into new space.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(CellArena* arena) : arena_(arena) {}
    ~ByteBuffer() { Free(); }
    ByteBuffer(ByteBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)), arena_(std::exchange(other.arena_, nullptr)) {}
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(arena_, other.arena_);
        return *this;
    }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    // Takes memory from `arena` from now on; only while the buffer holds none.
    void UseArena(CellArena* arena) {
        if (!data_) arena_ = arena;
    }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

    void resize(size_t n) {
        if (n > capacity_) Grow(n);
        size_ = n;
    }
    void reserve(size_t n) {
        if (n > capacity_) Reallocate(n);
    }
    void assign(const uint8_t* first, const uint8_t* last) {
        const auto n = static_cast<size_t>(last - first);
        if (n > capacity_) Reallocate(n);
        if (n) std::memmove(data_, first, n);
        size_ = n;
    }
    void append(const uint8_t* bytes, size_t n) {
        const size_t at = size_;
        resize(size_ + n);
        if (n) std::memcpy(data_ + at, bytes, n);
    }
    void shrink_to_fit() {
        if (capacity_ == size_) return;
        if (size_ == 0) {
            Free();
            data_ = nullptr;
            capacity_ = 0;
            return;
        }
        if (arena_) {
            arena_->Shrink(data_, capacity_, size_);
            capacity_ = size_;
            return;
        }
        Reallocate(size_);
    }

private:
    // Bytes beyond the need that a buffer growing in place takes at once.
    static constexpr size_t kInPlaceSlack = 256;

    void Grow(size_t n) {
        if (arena_ && data_) {
            const size_t room = arena_->RoomAfter(data_, capacity_);
            if (room >= n - capacity_) {
                const size_t grown = std::min(capacity_ + room, n + kInPlaceSlack);
                arena_->GrowInPlace(data_, capacity_, grown);
                capacity_ = grown;
                return;
            }
        }
        Reallocate(std::max(n, capacity_ + capacity_ / 2 + 16));
    }
    void Reallocate(size_t capacity) {
        if (arena_) {
            uint8_t* moved = arena_->Allocate(capacity);
            if (size_) std::memcpy(moved, data_, size_);
            Free();
            data_ = moved;
            capacity_ = capacity;
            return;
        }
        auto* grown = static_cast<uint8_t*>(std::realloc(data_, capacity));
        if (!grown) throw std::bad_alloc();
        data_ = grown;
        capacity_ = capacity;
    }
    void Free() {
        if (!data_) return;
        if (arena_)
            arena_->Free(data_, capacity_);
        else
            std::free(data_);
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    CellArena* arena_ = nullptr;
};

} // namespace tessaly::cellcode
