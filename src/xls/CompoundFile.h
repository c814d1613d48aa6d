#pragma once
// A read-only reader of the Compound File Binary format, the container of Office binary files:
// a small file system of sectors (512 or 4096 bytes) chained through a FAT, small streams
// kept in 64-byte mini sectors of the mini stream, and a directory of storages and streams.
//
// Nothing is copied: a stream is handed out as the list of file pieces that hold its bytes.
// Every sector chain is checked against the file (inside it, no loops, long enough for the
// size the directory gives); a damaged file ends in an exception with a clear message.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// A stream of the compound file: its bytes, in order, as pieces of the file's memory.
struct TCompoundStream {
    std::u16string Name;
    uint64_t Size = 0;
    std::vector<std::span<const uint8_t>> Pieces;   // their sizes add up to Size
};

class TCompoundFile {
public:
    // Parses the header, FAT, mini FAT and directory of a compound file held in memory. The
    // bytes must outlive this object and every stream taken from it.
    explicit TCompoundFile(std::span<const uint8_t> bytes);

    // Whether the bytes begin with the compound-file signature.
    static bool IsCompoundFile(std::span<const uint8_t> bytes);

    // The stream of that name in the root storage, names compared without regard to case as
    // the format requires; nothing when there is no such stream.
    std::optional<TCompoundStream> OpenRootStream(std::u16string_view name) const;
    // The names of the root storage's children, in directory order (diagnostics and tests).
    std::vector<std::u16string> RootNames() const;

    uint32_t SectorSize() const { return sectorSize_; }

private:
    struct Entry {
        std::u16string Name;
        uint8_t Type = 0;                // 1 storage, 2 stream, 5 root
        uint32_t Left = 0, Right = 0, Child = 0;
        uint32_t Start = 0;
        uint64_t Size = 0;
    };

    std::span<const uint8_t> Sector(uint32_t sector) const;   // whole sector, or fails
    void ReadFat();
    std::vector<uint32_t> Chain(uint32_t start, uint64_t maxSectors, const char* what) const;
    void ReadDirectory();
    void ReadMiniFat();
    std::vector<uint32_t> RootChildren() const;
    TCompoundStream StreamOf(const Entry& entry) const;

    std::span<const uint8_t> bytes_;
    uint32_t sectorShift_ = 9;
    uint32_t sectorSize_ = 512;
    uint16_t majorVersion_ = 3;
    uint32_t sectorCount_ = 0;            // sectors that begin inside the file
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint32_t> miniStreamSectors_;   // the root entry's chain
    uint64_t miniStreamSize_ = 0;
    std::vector<Entry> entries_;
};

} // namespace tessaly
