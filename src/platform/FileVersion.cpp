#include "platform/FileVersion.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "core/Exception.h"
#include "core/MappedFile.h"

namespace tessaly::platform {

namespace {

struct BadElf {};

// Bounds-checked reads of an ELF image in either byte order.
class ElfImage {
public:
    ElfImage(std::span<const uint8_t> bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    uint64_t Read(uint64_t offset, unsigned size) const {
        if (offset > bytes_.size() || size > bytes_.size() - offset) throw BadElf{};
        uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i) {
            const unsigned shift = 8 * (bigEndian_ ? size - 1 - i : i);
            value |= static_cast<uint64_t>(bytes_[offset + i]) << shift;
        }
        return value;
    }
    std::span<const uint8_t> Bytes(uint64_t offset, uint64_t size) const {
        if (offset > bytes_.size() || size > bytes_.size() - offset) throw BadElf{};
        return bytes_.subspan(offset, size);
    }

private:
    std::span<const uint8_t> bytes_;
    bool bigEndian_;
};

uint64_t Align4(uint64_t n) { return (n + 3) & ~uint64_t{3}; }

// Walks the notes of one note area; true and the two version words when the stamp is there.
bool FindStamp(const ElfImage& elf, uint64_t offset, uint64_t size, uint32_t words[2]) {
    const std::span<const uint8_t> area = elf.Bytes(offset, size);
    const size_t nameLength = std::strlen(kVersionNoteName) + 1;
    uint64_t at = 0;
    while (at + 12 <= area.size()) {
        const uint64_t nameSize = elf.Read(offset + at, 4);
        const uint64_t descSize = elf.Read(offset + at + 4, 4);
        const uint64_t type = elf.Read(offset + at + 8, 4);
        const uint64_t nameAt = at + 12;
        const uint64_t descAt = nameAt + Align4(nameSize);
        const uint64_t next = descAt + Align4(descSize);
        if (next > area.size()) throw BadElf{};
        if (type == kVersionNoteType && nameSize == nameLength &&
            std::memcmp(area.data() + nameAt, kVersionNoteName, nameLength) == 0) {
            if (descSize < 8) throw BadElf{};
            words[0] = static_cast<uint32_t>(elf.Read(offset + descAt, 4));
            words[1] = static_cast<uint32_t>(elf.Read(offset + descAt + 4, 4));
            return true;
        }
        at = next;
    }
    return false;
}

// Looks through the note segments, then the note sections. Headers pointing outside the file
// throw BadElf.
bool ReadStamp(std::span<const uint8_t> bytes, uint32_t words[2]) {
    if (bytes.size() < 16 || std::memcmp(bytes.data(), "\x7f" "ELF", 4) != 0) return false;
    const bool wide = bytes[4] == 2;
    if ((bytes[4] != 1 && bytes[4] != 2) || (bytes[5] != 1 && bytes[5] != 2)) throw BadElf{};
    const ElfImage elf(bytes, bytes[5] == 2);
    const unsigned word = wide ? 8 : 4;

    const uint64_t phOffset = elf.Read(wide ? 32 : 28, word);
    const uint64_t shOffset = elf.Read(wide ? 40 : 32, word);
    const uint64_t phEntrySize = elf.Read(wide ? 54 : 42, 2);
    const uint64_t phCount = elf.Read(wide ? 56 : 44, 2);
    const uint64_t shEntrySize = elf.Read(wide ? 58 : 46, 2);
    const uint64_t shCount = elf.Read(wide ? 60 : 48, 2);

    constexpr uint64_t kNoteSegment = 4;
    for (uint64_t i = 0; phOffset != 0 && i < phCount; ++i) {
        const uint64_t h = phOffset + i * phEntrySize;
        if (elf.Read(h, 4) != kNoteSegment) continue;
        const uint64_t offset = elf.Read(h + (wide ? 8 : 4), word);
        const uint64_t size = elf.Read(h + (wide ? 32 : 16), word);
        if (FindStamp(elf, offset, size, words)) return true;
    }
    constexpr uint64_t kNoteSection = 7;
    for (uint64_t i = 0; shOffset != 0 && i < shCount; ++i) {
        const uint64_t h = shOffset + i * shEntrySize;
        if (elf.Read(h + 4, 4) != kNoteSection) continue;
        const uint64_t offset = elf.Read(h + (wide ? 24 : 16), word);
        const uint64_t size = elf.Read(h + (wide ? 32 : 20), word);
        if (FindStamp(elf, offset, size, words)) return true;
    }
    return false;
}

} // namespace

std::string GetFileVersionText(const std::string& file) {
    try {
        const TMappedFile mapped(file);
        uint32_t words[2] = {};
        if (!ReadStamp(mapped.Bytes(), words)) return {};
        return std::to_string(words[0] >> 16) + "." + std::to_string(words[0] & 0xFFFF) + "." +
               std::to_string(words[1] >> 16) + "." + std::to_string(words[1] & 0xFFFF);
    } catch (const BadElf&) {
        return "-1";
    } catch (const Exception&) {
        return "-1";
    }
}

} // namespace tessaly::platform
