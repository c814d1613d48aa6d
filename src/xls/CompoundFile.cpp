#include "xls/CompoundFile.h"

#include <algorithm>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "core/Utf.h"

namespace tessaly {

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr size_t kHeaderSize = 512;
constexpr size_t kEntrySize = 128;
constexpr size_t kHeaderDifatEntries = 109;

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;

[[noreturn]] void Damaged(const std::string& what) {
    throw Exception("Damaged compound file: " + what);
}

// Upper-case folding for name comparison: ASCII and Latin-1 letters, which covers every name a
// workbook file uses.
char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

std::string Printable(std::u16string_view name) { return Utf16ToUtf8(name); }

} // namespace

bool TCompoundFile::IsCompoundFile(std::span<const uint8_t> bytes) {
    return bytes.size() >= sizeof kSignature && std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

TCompoundFile::TCompoundFile(std::span<const uint8_t> bytes) : bytes_(bytes) {
    if (!IsCompoundFile(bytes)) Damaged("the signature is missing");
    if (bytes.size() < kHeaderSize) Damaged("the header is incomplete");
    const uint8_t* h = bytes.data();
    majorVersion_ = LoadU16(h + 26);
    sectorShift_ = LoadU16(h + 30);
    if (sectorShift_ != 9 && sectorShift_ != 12)
        Damaged("unsupported sector size 2^" + std::to_string(sectorShift_));
    if (LoadU16(h + 32) != 6) Damaged("unsupported mini sector size");
    sectorSize_ = 1u << sectorShift_;
    sectorCount_ = bytes.size() > sectorSize_
                       ? static_cast<uint32_t>(std::min<uint64_t>((bytes.size() - 1) / sectorSize_, kMaxRegularSector))
                       : 0;
    ReadFat();
    ReadDirectory();
    ReadMiniFat();
}

std::span<const uint8_t> TCompoundFile::Sector(uint32_t sector) const {
    if (sector >= sectorCount_) Damaged("sector " + std::to_string(sector) + " lies outside the file");
    const uint64_t offset = (static_cast<uint64_t>(sector) + 1) << sectorShift_;
    const uint64_t size = std::min<uint64_t>(sectorSize_, bytes_.size() - offset);
    return bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(size));
}

void TCompoundFile::ReadFat() {
    const uint8_t* h = bytes_.data();
    const uint32_t fatSectors = LoadU32(h + 44);
    uint32_t difatSector = LoadU32(h + 68);
    if (fatSectors > sectorCount_) Damaged("the FAT is larger than the file");

    std::vector<uint32_t> difat;
    difat.reserve(fatSectors);
    for (size_t i = 0; i < kHeaderDifatEntries && difat.size() < fatSectors; ++i)
        difat.push_back(LoadU32(h + 76 + 4 * i));
    // The rest of the FAT's sector list lives in the DIFAT chain: each sector holds entries
    // and, in its last slot, the next DIFAT sector.
    std::vector<uint8_t> visited(sectorCount_, 0);
    while (difat.size() < fatSectors) {
        if (difatSector == kEndOfChain || difatSector == kFreeSector) Damaged("the DIFAT chain ends early");
        if (difatSector >= sectorCount_) Damaged("the DIFAT chain points outside the file");
        if (visited[difatSector]) Damaged("the DIFAT chain loops");
        visited[difatSector] = 1;
        const auto sector = Sector(difatSector);
        if (sector.size() < sectorSize_) Damaged("a DIFAT sector is cut off");
        const size_t perSector = sectorSize_ / 4 - 1;
        for (size_t i = 0; i < perSector && difat.size() < fatSectors; ++i)
            difat.push_back(LoadU32(sector.data() + 4 * i));
        difatSector = LoadU32(sector.data() + 4 * perSector);
    }

    fat_.reserve(static_cast<size_t>(fatSectors) * (sectorSize_ / 4));
    for (uint32_t fatSector : difat) {
        if (fatSector > kMaxRegularSector || fatSector >= sectorCount_) Damaged("a FAT sector lies outside the file");
        const auto sector = Sector(fatSector);
        // A FAT sector cut off by the end of the file: its missing entries are free.
        for (size_t i = 0; i < sectorSize_ / 4; ++i)
            fat_.push_back(4 * i + 4 <= sector.size() ? LoadU32(sector.data() + 4 * i) : kFreeSector);
    }
}

std::vector<uint32_t> TCompoundFile::Chain(uint32_t start, uint64_t maxSectors, const char* what) const {
    std::vector<uint32_t> chain;
    std::vector<uint8_t> visited(sectorCount_, 0);
    uint32_t sector = start;
    while (chain.size() < maxSectors && sector != kEndOfChain) {
        if (sector >= sectorCount_ || sector >= fat_.size())
            Damaged(std::string("the chain of ") + what + " points outside the file");
        if (visited[sector]) Damaged(std::string("the chain of ") + what + " loops");
        visited[sector] = 1;
        chain.push_back(sector);
        sector = fat_[sector];
    }
    return chain;
}

void TCompoundFile::ReadDirectory() {
    const uint32_t first = LoadU32(bytes_.data() + 48);
    const auto chain = Chain(first, sectorCount_, "the directory");
    for (uint32_t id : chain) {
        const auto sector = Sector(id);
        for (size_t at = 0; at + kEntrySize <= sector.size(); at += kEntrySize) {
            const uint8_t* e = sector.data() + at;
            Entry entry;
            const size_t nameBytes = std::min<size_t>(LoadU16(e + 64), 64);
            for (size_t i = 0; i + 1 < nameBytes; i += 2) {
                const char16_t c = static_cast<char16_t>(LoadU16(e + i));
                if (c == 0) break;
                entry.Name.push_back(c);
            }
            entry.Type = e[66];
            entry.Left = LoadU32(e + 68);
            entry.Right = LoadU32(e + 72);
            entry.Child = LoadU32(e + 76);
            entry.Start = LoadU32(e + 116);
            // Version 3 files may leave garbage in the size's upper half.
            entry.Size = majorVersion_ == 4 ? LoadU64(e + 120) : LoadU32(e + 120);
            entries_.push_back(std::move(entry));
        }
    }
    if (entries_.empty()) Damaged("the directory is empty");
    if (entries_[0].Type != kTypeRoot && entries_[0].Type != kTypeStorage) Damaged("the root entry is missing");
}

void TCompoundFile::ReadMiniFat() {
    const Entry& root = entries_[0];
    if (root.Size == 0) return;
    if (root.Size > bytes_.size()) Damaged("the mini stream is larger than the file");
    const uint64_t needed = (root.Size + sectorSize_ - 1) / sectorSize_;
    miniStreamSectors_ = Chain(root.Start, needed, "the mini stream");
    if (miniStreamSectors_.size() < needed) Damaged("the mini stream is longer than its sector chain");
    miniStreamSize_ = root.Size;

    const uint32_t first = LoadU32(bytes_.data() + 60);
    const uint32_t count = LoadU32(bytes_.data() + 64);
    if (first == kEndOfChain || first == kFreeSector) return;
    const auto chain = Chain(first, count ? count : sectorCount_, "the mini FAT");
    for (uint32_t id : chain) {
        const auto sector = Sector(id);
        for (size_t i = 0; i + 4 <= sector.size(); i += 4) miniFat_.push_back(LoadU32(sector.data() + i));
    }
}

std::vector<uint32_t> TCompoundFile::RootChildren() const {
    // In-order walk of the root's red-black tree; ids out of range or met twice are ignored.
    std::vector<uint32_t> result;
    std::vector<uint8_t> visited(entries_.size(), 0);
    std::vector<uint32_t> stack;
    uint32_t node = entries_[0].Child;
    auto valid = [&](uint32_t id) { return id != kNoStream && id < entries_.size() && id != 0 && !visited[id]; };
    while (valid(node) || !stack.empty()) {
        while (valid(node)) {
            visited[node] = 1;
            stack.push_back(node);
            node = entries_[node].Left;
        }
        if (stack.empty()) break;
        node = stack.back();
        stack.pop_back();
        result.push_back(node);
        node = entries_[node].Right;
    }
    return result;
}

std::vector<std::u16string> TCompoundFile::RootNames() const {
    std::vector<std::u16string> names;
    for (uint32_t id : RootChildren()) names.push_back(entries_[id].Name);
    return names;
}

std::optional<TCompoundStream> TCompoundFile::OpenRootStream(std::u16string_view name) const {
    for (uint32_t id : RootChildren()) {
        const Entry& entry = entries_[id];
        if (entry.Type == kTypeStream && SameName(entry.Name, name)) return StreamOf(entry);
    }
    return std::nullopt;
}

TCompoundStream TCompoundFile::StreamOf(const Entry& entry) const {
    TCompoundStream stream;
    stream.Name = entry.Name;
    stream.Size = entry.Size;
    const std::string what = "the stream \"" + Printable(entry.Name) + "\"";
    if (entry.Size == 0) return stream;
    if (entry.Size > bytes_.size()) Damaged(what + " is larger than the file");

    auto append = [&](uint64_t offset, uint64_t size) {
        if (offset + size > bytes_.size()) Damaged(what + " runs past the end of the file");
        const uint8_t* p = bytes_.data() + offset;
        if (!stream.Pieces.empty() && stream.Pieces.back().data() + stream.Pieces.back().size() == p)
            stream.Pieces.back() = std::span<const uint8_t>(stream.Pieces.back().data(), stream.Pieces.back().size() + size);
        else
            stream.Pieces.emplace_back(p, static_cast<size_t>(size));
    };

    if (entry.Size >= kMiniStreamCutoff) {
        const uint64_t needed = (entry.Size + sectorSize_ - 1) / sectorSize_;
        const auto chain = Chain(entry.Start, needed, what.c_str());
        if (chain.size() < needed) Damaged(what + " is longer than its sector chain");
        uint64_t left = entry.Size;
        for (uint32_t sector : chain) {
            const uint64_t take = std::min<uint64_t>(left, sectorSize_);
            append((static_cast<uint64_t>(sector) + 1) << sectorShift_, take);
            left -= take;
        }
        return stream;
    }

    // A small stream lives in 64-byte mini sectors of the mini stream, chained by the mini FAT.
    const uint64_t needed = (entry.Size + kMiniSectorSize - 1) / kMiniSectorSize;
    std::vector<uint8_t> visited(miniFat_.size(), 0);
    uint32_t mini = entry.Start;
    uint64_t left = entry.Size;
    for (uint64_t i = 0; i < needed; ++i) {
        if (mini == kEndOfChain) Damaged(what + " is longer than its sector chain");
        if (mini >= miniFat_.size()) Damaged("the chain of " + what + " points outside the mini stream");
        if (visited[mini]) Damaged("the chain of " + what + " loops");
        visited[mini] = 1;
        const uint64_t offset = static_cast<uint64_t>(mini) * kMiniSectorSize;
        const uint64_t take = std::min<uint64_t>(left, kMiniSectorSize);
        if (offset + take > miniStreamSize_) Damaged("the chain of " + what + " points outside the mini stream");
        const uint32_t sector = miniStreamSectors_[static_cast<size_t>(offset / sectorSize_)];
        append(((static_cast<uint64_t>(sector) + 1) << sectorShift_) + offset % sectorSize_, take);
        left -= take;
        mini = miniFat_[mini];
    }
    return stream;
}

} // namespace tessaly
