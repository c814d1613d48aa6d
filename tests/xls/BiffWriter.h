#pragma once
// Test-only writers of .xls fixtures: BIFF records, compound files around them, and the RC4
// encryption of a workbook stream.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::test {

// Little-endian byte building.
class Bytes {
public:
    Bytes() = default;
    Bytes(std::initializer_list<uint8_t> bytes) : data_(bytes) {}

    Bytes& U8(unsigned v);
    Bytes& U16(unsigned v);
    Bytes& U32(uint32_t v);
    Bytes& F64(double v);
    Bytes& Raw(const std::vector<uint8_t>& bytes);
    Bytes& Raw(std::string_view bytes);
    Bytes& Fill(size_t count, uint8_t value = 0);
    // UTF-16 code units, little-endian, no count.
    Bytes& Chars16(std::u16string_view text);
    // Code units below 0x100 as single bytes, no count.
    Bytes& Chars8(std::u16string_view text);
    // BIFF8 string with a 16-bit count and option byte (8-bit when every unit is below 0x100).
    Bytes& Str16(std::u16string_view text);
    // BIFF8 string with an 8-bit count and option byte.
    Bytes& Str8(std::u16string_view text);

    const std::vector<uint8_t>& Data() const { return data_; }
    size_t Size() const { return data_.size(); }
    operator const std::vector<uint8_t>&() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

// A workbook stream as a sequence of records.
class BiffBuilder {
public:
    BiffBuilder& Record(uint16_t id, const std::vector<uint8_t>& data);
    BiffBuilder& Raw(const std::vector<uint8_t>& bytes);

    // Frequent records.
    BiffBuilder& Bof(uint16_t type, uint16_t version = 0x0600);   // 16-byte BIFF8 BOF
    BiffBuilder& Eof() { return Record(0x000A, {}); }
    BiffBuilder& BoundSheet(std::u16string_view name, uint8_t visibility = 0, uint8_t type = 0);
    BiffBuilder& BoundSheet5(std::string_view name8, uint8_t visibility = 0, uint8_t type = 0);
    BiffBuilder& Number(uint16_t row, uint16_t col, double value, uint16_t xf = 0);
    BiffBuilder& LabelSst(uint16_t row, uint16_t col, uint32_t index, uint16_t xf = 0);
    BiffBuilder& Xf();   // one BIFF8 XF record (20 bytes)

    size_t Size() const { return data_.size(); }
    const std::vector<uint8_t>& Data() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

struct CompoundOptions {
    unsigned SectorShift = 9;       // 9: 512-byte sectors, 12: 4096-byte sectors
    bool Fragment = false;          // stream sectors laid out back to front
    unsigned ExtraFatSectors = 0;   // empty FAT sectors, to force a DIFAT chain
};

struct CompoundLayout {
    std::vector<uint8_t> Bytes;
    std::vector<uint32_t> FatSectors;
    std::vector<uint32_t> DifatSectors;
    std::vector<std::vector<uint32_t>> StreamSectors;   // per stream (regular streams only)
    uint32_t DirectoryStart = 0;
    uint32_t SectorSize = 512;
    size_t SectorOffset(uint32_t sector) const { return (static_cast<size_t>(sector) + 1) * SectorSize; }
    // Offset of directory entry n (the root is 0, then the streams in order).
    size_t EntryOffset(size_t n) const { return SectorOffset(DirectoryStart) + 128 * n; }
};

using NamedStream = std::pair<std::u16string, std::vector<uint8_t>>;

CompoundLayout WriteCompoundFile(const std::vector<NamedStream>& streams, const CompoundOptions& options = {});
inline std::vector<uint8_t> WrapWorkbook(const std::vector<uint8_t>& stream, const CompoundOptions& options = {}) {
    return WriteCompoundFile({{u"Workbook", stream}}, options).Bytes;
}

// RC4 encryption as a spreadsheet program writes it. `Encrypt` takes a workbook stream whose
// FILEPASS record (made by `FilePassRecord`) is in place and encrypts every record's data after
// it, headers and BOF data excepted, with the keystream tied to stream offsets.
std::vector<uint8_t> FilePassRecord(std::u16string_view password, uint8_t saltSeed = 1);
std::vector<uint8_t> EncryptWorkbookStream(const std::vector<uint8_t>& stream, std::u16string_view password,
                                           uint8_t saltSeed = 1);

} // namespace tessaly::test
