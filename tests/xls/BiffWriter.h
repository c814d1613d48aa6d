#pragma once
// Test-only writers of .xls fixtures: BIFF records, compound files around them, and the RC4
// encryption of a workbook stream.

#include <cstdint>
#include <initializer_list>
#include <memory>
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
    // A BOF: 16 bytes for BIFF8 (version 0x0600), 8 bytes for BIFF5 (0x0500).
    BiffBuilder& Bof(uint16_t type, uint16_t version = 0x0600);
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

// A workbook stream: the globals (BOF, the caller's records, XF records, the sheet list, the
// caller's records after it, EOF), then one substream per sheet.
class BookBuilder {
public:
    explicit BookBuilder(uint16_t version = 0x0600, unsigned xfCount = 24);

    // Records of the globals before the sheet list (CODEPAGE, FILEPASS, ...).
    BiffBuilder& Globals() { return globals_; }
    // Records of the globals after the sheet list (SST, ...).
    BiffBuilder& AfterSheetList() { return after_; }
    // A sheet: its sheet-list entry, and the records of its substream between BOF and EOF.
    // Type 0 worksheet, 2 chart; the BOF type follows (0x0010 or 0x0020).
    BiffBuilder& Sheet(std::u16string_view name, uint8_t visibility = 0, uint8_t type = 0);
    // BIFF5 sheet names are 8-bit text in the workbook's code page.
    BiffBuilder& Sheet8(std::string_view name, uint8_t visibility = 0, uint8_t type = 0);
    // Records written after the last substream.
    BiffBuilder& Tail() { return tail_; }

    std::vector<uint8_t> Stream() const;
    // The stream in a compound document ("Workbook" for BIFF8, "Book" for BIFF5).
    std::vector<uint8_t> File(const CompoundOptions& options) const;
    std::vector<uint8_t> File() const;

private:
    struct SheetEntry {
        std::u16string Name;
        std::string Name8;
        bool Narrow = false;
        uint8_t Visibility = 0;
        uint8_t Type = 0;
        BiffBuilder Records;
    };
    uint16_t version_;
    unsigned xfCount_;
    BiffBuilder globals_;
    BiffBuilder after_;
    BiffBuilder tail_;
    std::vector<std::unique_ptr<SheetEntry>> sheets_;
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

// RC4 encryption as spreadsheet programs write it, in its two forms. `EncryptWorkbookStream`
// takes a workbook stream whose FILEPASS record (made by `FilePassRecord` with the same
// password, form and salt) is in place, and encrypts every record's data after it, headers and
// BOF data excepted, with the keystream tied to stream offsets.
enum class Rc4Form { Standard, CryptoApi40, CryptoApi128 };
std::vector<uint8_t> FilePassRecord(std::u16string_view password, Rc4Form form = Rc4Form::Standard,
                                    uint8_t saltSeed = 1);
std::vector<uint8_t> EncryptWorkbookStream(const std::vector<uint8_t>& stream, std::u16string_view password,
                                           Rc4Form form = Rc4Form::Standard, uint8_t saltSeed = 1);

} // namespace tessaly::test
