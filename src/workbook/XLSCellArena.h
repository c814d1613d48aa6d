#pragma once
// Memory for one cell store's row data. Loading a sheet fills its blocks one after the other, so
// the store cuts their buffers in order from large chunks, and the buffer being filled (the last
// one cut) grows where it lies: no copying as it grows, no allocator call per few cells, and
// the memory of a large sheet comes in large pieces (on Linux in huge pages where the system
// offers them, which spares the system one page fault per 4 KiB). Internal to the workbook model.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaly::cellcode {

class CellArena {
public:
    CellArena() = default;
    ~CellArena();
    CellArena(const CellArena&) = delete;
    CellArena& operator=(const CellArena&) = delete;

    // A new space of `size` bytes (more than 0), 8-aligned.
    uint8_t* Allocate(size_t size);
    // Makes the space at `p` (of `size` bytes) `newSize` bytes long where it lies; possible only
    // for the space cut last, while its chunk has room.
    bool GrowInPlace(uint8_t* p, size_t size, size_t newSize);
    // The bytes the space cut last could still grow by in place (0 for any other space).
    size_t RoomAfter(const uint8_t* p, size_t size) const;
    // Gives up the end of a space (beyond `newSize`) or the whole of it (newSize 0). A chunk
    // whose spaces are all given up is returned to the system.
    void Shrink(uint8_t* p, size_t size, size_t newSize);
    void Free(uint8_t* p, size_t size) { Shrink(p, size, 0); }

    size_t LiveBytes() const { return live_; }   // in spaces not given up
    size_t HeldBytes() const;                    // in chunks

private:
    struct Chunk {
        uint8_t* Base = nullptr;
        size_t Size = 0;
        size_t Used = 0;    // bytes cut from the front
        size_t Live = 0;    // of them, bytes not given up
        bool Mapped = false;
    };

    static size_t Round(size_t n) { return (n + 7) & ~size_t{7}; }
    void Clear();   // returns every chunk to the system
    size_t ChunkOf(const uint8_t* p) const;   // index in chunks_
    void NewChunk(size_t atLeast);
    static void Release(Chunk& chunk);

    std::vector<Chunk> chunks_;   // by address
    size_t current_ = 0;          // the chunk cut from (valid while chunks_ is not empty)
    size_t nextSize_ = 0;         // size of the next chunk; doubles up to a limit
    size_t live_ = 0;
};

} // namespace tessaly::cellcode
