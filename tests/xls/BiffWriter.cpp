#include "BiffWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "xls/BiffMD5.h"
#include "xls/BiffRC4.h"
#include "xls/BiffSHA1.h"

namespace tessaly::test {

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;

void Put16(std::vector<uint8_t>& b, size_t at, unsigned v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
bool Narrow(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; });
}

} // namespace

Bytes& Bytes::U8(unsigned v) {
    data_.push_back(static_cast<uint8_t>(v));
    return *this;
}
Bytes& Bytes::U16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
Bytes& Bytes::U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
Bytes& Bytes::F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
}
Bytes& Bytes::Raw(const std::vector<uint8_t>& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
}
Bytes& Bytes::Raw(std::string_view bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
}
Bytes& Bytes::Fill(size_t count, uint8_t value) {
    data_.insert(data_.end(), count, value);
    return *this;
}
Bytes& Bytes::Chars16(std::u16string_view text) {
    for (char16_t c : text) U16(c);
    return *this;
}
Bytes& Bytes::Chars8(std::u16string_view text) {
    for (char16_t c : text) U8(c & 0xFF);
    return *this;
}
Bytes& Bytes::Str16(std::u16string_view text) {
    U16(static_cast<unsigned>(text.size()));
    return Narrow(text) ? U8(0).Chars8(text) : U8(1).Chars16(text);
}
Bytes& Bytes::Str8(std::u16string_view text) {
    U8(static_cast<unsigned>(text.size()));
    return Narrow(text) ? U8(0).Chars8(text) : U8(1).Chars16(text);
}

BiffBuilder& BiffBuilder::Record(uint16_t id, const std::vector<uint8_t>& data) {
    if (data.size() > 0xFFFF) throw std::runtime_error("record too long");
    Bytes header;
    header.U16(id).U16(static_cast<unsigned>(data.size()));
    data_.insert(data_.end(), header.Data().begin(), header.Data().end());
    data_.insert(data_.end(), data.begin(), data.end());
    return *this;
}

BiffBuilder& BiffBuilder::Raw(const std::vector<uint8_t>& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
}

BiffBuilder& BiffBuilder::Bof(uint16_t type, uint16_t version) {
    if (version < 0x0600) return Record(0x0809, Bytes().U16(version).U16(type).U16(0x0DBB).U16(0x07CC));
    return Record(0x0809, Bytes().U16(version).U16(type).U16(0x0DBB).U16(0x07CC).U32(0x41).U32(6));
}

BiffBuilder& BiffBuilder::BoundSheet(std::u16string_view name, uint8_t visibility, uint8_t type) {
    return Record(0x0085, Bytes().U32(0).U8(visibility).U8(type).Str8(name));
}

BiffBuilder& BiffBuilder::BoundSheet5(std::string_view name8, uint8_t visibility, uint8_t type) {
    return Record(0x0085, Bytes().U32(0).U8(visibility).U8(type).U8(static_cast<unsigned>(name8.size())).Raw(name8));
}

BiffBuilder& BiffBuilder::Number(uint16_t row, uint16_t col, double value, uint16_t xf) {
    return Record(0x0203, Bytes().U16(row).U16(col).U16(xf).F64(value));
}

BiffBuilder& BiffBuilder::LabelSst(uint16_t row, uint16_t col, uint32_t index, uint16_t xf) {
    return Record(0x00FD, Bytes().U16(row).U16(col).U16(xf).U32(index));
}

BiffBuilder& BiffBuilder::Xf() { return Record(0x00E0, Bytes().Fill(20)); }

BookBuilder::BookBuilder(uint16_t version, unsigned xfCount) : version_(version), xfCount_(xfCount) {}

BiffBuilder& BookBuilder::Sheet(std::u16string_view name, uint8_t visibility, uint8_t type) {
    auto entry = std::make_unique<SheetEntry>();
    entry->Name = name;
    entry->Visibility = visibility;
    entry->Type = type;
    sheets_.push_back(std::move(entry));
    return sheets_.back()->Records;
}

BiffBuilder& BookBuilder::Sheet8(std::string_view name, uint8_t visibility, uint8_t type) {
    auto entry = std::make_unique<SheetEntry>();
    entry->Name8 = name;
    entry->Narrow = true;
    entry->Visibility = visibility;
    entry->Type = type;
    sheets_.push_back(std::move(entry));
    return sheets_.back()->Records;
}

std::vector<uint8_t> BookBuilder::Stream() const {
    BiffBuilder out;
    out.Bof(0x0005, version_);
    out.Raw(globals_.Data());
    for (unsigned i = 0; i < xfCount_; ++i) {
        if (version_ >= 0x0600)
            out.Xf();
        else
            out.Record(0x00E0, Bytes().Fill(16));
    }
    for (const auto& sheet : sheets_) {
        if (sheet->Narrow)
            out.BoundSheet5(sheet->Name8, sheet->Visibility, sheet->Type);
        else
            out.BoundSheet(sheet->Name, sheet->Visibility, sheet->Type);
    }
    out.Raw(after_.Data());
    out.Eof();
    for (const auto& sheet : sheets_) {
        out.Bof(sheet->Type == 2 ? 0x0020 : 0x0010, version_);
        out.Raw(sheet->Records.Data());
        out.Eof();
    }
    out.Raw(tail_.Data());
    return out.Data();
}

std::vector<uint8_t> BookBuilder::File(const CompoundOptions& options) const {
    return WriteCompoundFile({{version_ >= 0x0600 ? u"Workbook" : u"Book", Stream()}}, options).Bytes;
}

std::vector<uint8_t> BookBuilder::File() const { return File(CompoundOptions()); }

CompoundLayout WriteCompoundFile(const std::vector<NamedStream>& streams, const CompoundOptions& options) {
    CompoundLayout layout;
    const uint32_t ss = 1u << options.SectorShift;
    layout.SectorSize = ss;
    const uint32_t perSector = ss / 4;

    // Small streams go into the mini stream, 64-byte mini sectors each.
    std::vector<uint8_t> miniStream;
    std::vector<uint32_t> miniFat;
    std::vector<uint32_t> starts(streams.size(), kEndOfChain);
    std::vector<bool> isMini(streams.size(), false);
    for (size_t i = 0; i < streams.size(); ++i) {
        const auto& data = streams[i].second;
        if (data.empty() || data.size() >= 4096) continue;
        isMini[i] = true;
        const uint32_t first = static_cast<uint32_t>(miniFat.size());
        const uint32_t count = static_cast<uint32_t>((data.size() + 63) / 64);
        for (uint32_t k = 0; k < count; ++k) miniFat.push_back(k + 1 < count ? first + k + 1 : kEndOfChain);
        starts[i] = first;
        miniStream.insert(miniStream.end(), data.begin(), data.end());
        miniStream.resize(miniFat.size() * 64, 0);
    }

    auto sectorsFor = [&](size_t bytes) { return static_cast<uint32_t>((bytes + ss - 1) / ss); };
    const uint32_t dirSectors = sectorsFor(128 * (streams.size() + 1));
    const uint32_t miniFatSectors = sectorsFor(miniFat.size() * 4);
    const uint32_t miniStreamSectors = sectorsFor(miniStream.size());
    uint32_t dataSectors = dirSectors + miniFatSectors + miniStreamSectors;
    for (size_t i = 0; i < streams.size(); ++i)
        if (!isMini[i]) dataSectors += sectorsFor(streams[i].second.size());

    uint32_t fat = 1, difat = 0;
    auto difatFor = [&](uint32_t f) { return f <= 109 ? 0u : (f - 109 + perSector - 2) / (perSector - 1); };
    while (static_cast<uint64_t>(fat) * perSector < dataSectors + fat + difatFor(fat)) ++fat;
    fat += options.ExtraFatSectors;
    difat = difatFor(fat);
    const uint32_t total = dataSectors + fat + difat;

    std::vector<uint32_t> fatEntries(static_cast<size_t>(fat) * perSector, kFree);
    uint32_t next = 0;
    for (uint32_t i = 0; i < fat; ++i) {
        layout.FatSectors.push_back(next);
        fatEntries[next++] = kFatSect;
    }
    for (uint32_t i = 0; i < difat; ++i) {
        layout.DifatSectors.push_back(next);
        fatEntries[next++] = kDifSect;
    }
    auto allocate = [&](uint32_t count, bool reverse) {
        std::vector<uint32_t> chain;
        for (uint32_t k = 0; k < count; ++k) chain.push_back(next + k);
        if (reverse) std::reverse(chain.begin(), chain.end());
        next += count;
        for (size_t k = 0; k < chain.size(); ++k) fatEntries[chain[k]] = k + 1 < chain.size() ? chain[k + 1] : kEndOfChain;
        return chain;
    };
    const auto dirChain = allocate(dirSectors, false);
    const auto miniFatChain = allocate(miniFatSectors, false);
    const auto miniStreamChain = allocate(miniStreamSectors, options.Fragment);
    std::vector<std::vector<uint32_t>> chains(streams.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        if (isMini[i]) continue;
        chains[i] = allocate(sectorsFor(streams[i].second.size()), options.Fragment);
        if (!chains[i].empty()) starts[i] = chains[i][0];
    }
    layout.StreamSectors = chains;
    layout.DirectoryStart = dirChain.empty() ? kEndOfChain : dirChain[0];

    std::vector<uint8_t>& out = layout.Bytes;
    out.assign(static_cast<size_t>(total + 1) * ss, 0);
    auto sectorAt = [&](uint32_t s) { return static_cast<size_t>(s + 1) * ss; };
    auto writeChain = [&](const std::vector<uint32_t>& chain, const std::vector<uint8_t>& data) {
        for (size_t k = 0; k < chain.size(); ++k) {
            const size_t from = k * ss;
            const size_t n = std::min<size_t>(ss, data.size() - from);
            std::memcpy(out.data() + sectorAt(chain[k]), data.data() + from, n);
        }
    };

    // Header.
    const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(out.data(), signature, 8);
    Put16(out, 24, 0x3E);
    Put16(out, 26, options.SectorShift == 12 ? 4 : 3);
    Put16(out, 28, 0xFFFE);
    Put16(out, 30, options.SectorShift);
    Put16(out, 32, 6);
    Put32(out, 40, options.SectorShift == 12 ? dirSectors : 0);
    Put32(out, 44, fat);
    Put32(out, 48, layout.DirectoryStart);
    Put32(out, 56, 4096);
    Put32(out, 60, miniFatChain.empty() ? kEndOfChain : miniFatChain[0]);
    Put32(out, 64, miniFatSectors);
    Put32(out, 68, layout.DifatSectors.empty() ? kEndOfChain : layout.DifatSectors[0]);
    Put32(out, 72, difat);
    for (uint32_t i = 0; i < 109; ++i) Put32(out, 76 + 4 * i, i < fat ? layout.FatSectors[i] : kFree);

    // DIFAT sectors: the FAT sectors beyond the header's 109, then the next DIFAT sector.
    for (uint32_t d = 0; d < difat; ++d) {
        const size_t at = sectorAt(layout.DifatSectors[d]);
        for (uint32_t k = 0; k < perSector - 1; ++k) {
            const uint32_t index = 109 + d * (perSector - 1) + k;
            Put32(out, at + 4 * k, index < fat ? layout.FatSectors[index] : kFree);
        }
        Put32(out, at + 4 * (perSector - 1), d + 1 < difat ? layout.DifatSectors[d + 1] : kEndOfChain);
    }
    for (uint32_t f = 0; f < fat; ++f)
        for (uint32_t k = 0; k < perSector; ++k) Put32(out, sectorAt(layout.FatSectors[f]) + 4 * k, fatEntries[f * perSector + k]);

    // Directory: the root, then one entry per stream chained as right siblings.
    std::vector<uint8_t> dir(static_cast<size_t>(dirSectors) * ss, 0);
    auto entry = [&](size_t n, std::u16string_view name, uint8_t type, uint32_t right, uint32_t child, uint32_t start,
                     uint64_t size) {
        const size_t at = 128 * n;
        for (size_t k = 0; k < name.size() && k < 31; ++k) Put16(dir, at + 2 * k, name[k]);
        Put16(dir, at + 64, static_cast<unsigned>(2 * (std::min<size_t>(name.size(), 31) + 1)));
        dir[at + 66] = type;
        dir[at + 67] = 1;
        Put32(dir, at + 68, kFree);
        Put32(dir, at + 72, right);
        Put32(dir, at + 76, child);
        Put32(dir, at + 116, start);
        Put32(dir, at + 120, static_cast<uint32_t>(size));
        Put32(dir, at + 124, static_cast<uint32_t>(size >> 32));
    };
    for (size_t n = 0; n < dir.size() / 128; ++n) {
        Put32(dir, 128 * n + 68, kFree);
        Put32(dir, 128 * n + 72, kFree);
        Put32(dir, 128 * n + 76, kFree);
    }
    entry(0, u"Root Entry", 5, kFree, streams.empty() ? kFree : 1,
          miniStreamChain.empty() ? kEndOfChain : miniStreamChain[0], miniStream.size());
    for (size_t i = 0; i < streams.size(); ++i)
        entry(i + 1, streams[i].first, 2, i + 1 < streams.size() ? static_cast<uint32_t>(i + 2) : kFree, kFree,
              starts[i], streams[i].second.size());
    writeChain(dirChain, dir);

    std::vector<uint8_t> miniFatBytes(static_cast<size_t>(miniFatSectors) * ss, 0xFF);
    for (size_t k = 0; k < miniFat.size(); ++k) Put32(miniFatBytes, 4 * k, miniFat[k]);
    writeChain(miniFatChain, miniFatBytes);
    writeChain(miniStreamChain, miniStream);
    for (size_t i = 0; i < streams.size(); ++i)
        if (!isMini[i]) writeChain(chains[i], streams[i].second);
    return layout;
}

namespace {

std::vector<uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<uint8_t> out;
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

std::vector<uint8_t> Salt(uint8_t seed) {
    std::vector<uint8_t> salt(16);
    for (int i = 0; i < 16; ++i) salt[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    return salt;
}

// The key of each 1024-byte block, written out as the published algorithms give them.
class BlockKeys {
public:
    BlockKeys(std::u16string_view password, Rc4Form form, const std::vector<uint8_t>& salt) : form_(form) {
        const auto utf16 = Utf16Le(password);
        if (form == Rc4Form::Standard) {
            const auto h0 = TMD5::Of(utf16.data(), utf16.size());
            TMD5 md5;
            for (int i = 0; i < 16; ++i) {
                md5.Update(h0.data(), 5);
                md5.Update(salt.data(), 16);
            }
            const auto h1 = md5.Final();
            secret_.assign(h1.begin(), h1.begin() + 5);
        } else {
            std::vector<uint8_t> input = salt;
            input.insert(input.end(), utf16.begin(), utf16.end());
            const auto h0 = TSHA1::Of(input.data(), input.size());
            secret_.assign(h0.begin(), h0.end());
        }
    }

    TRC4 Cipher(uint32_t block) const {
        std::vector<uint8_t> input = secret_;
        for (int i = 0; i < 4; ++i) input.push_back(static_cast<uint8_t>(block >> (8 * i)));
        TRC4 rc4;
        if (form_ == Rc4Form::Standard) {
            const auto key = TMD5::Of(input.data(), input.size());
            rc4.SetKey(key.data(), 16);
        } else {
            const auto hash = TSHA1::Of(input.data(), input.size());
            uint8_t key[16] = {};
            if (form_ == Rc4Form::CryptoApi40) {
                std::memcpy(key, hash.data(), 5);   // 40 bits, padded with zeros to 128
            } else {
                std::memcpy(key, hash.data(), 16);
            }
            rc4.SetKey(key, 16);
        }
        return rc4;
    }

private:
    Rc4Form form_;
    std::vector<uint8_t> secret_;
};

} // namespace

std::vector<uint8_t> FilePassRecord(std::u16string_view password, Rc4Form form, uint8_t saltSeed) {
    const auto salt = Salt(saltSeed);
    TRC4 rc4 = BlockKeys(password, form, salt).Cipher(0);
    std::vector<uint8_t> verifier(16);
    for (int i = 0; i < 16; ++i) verifier[i] = static_cast<uint8_t>(0xA0 + i * 3);
    Bytes data;
    if (form == Rc4Form::Standard) {
        const auto hash = TMD5::Of(verifier.data(), 16);
        verifier.insert(verifier.end(), hash.begin(), hash.end());
        rc4.Process(verifier.data(), verifier.size());
        data.U16(1).U16(1).U16(1).Raw(salt).Raw(verifier);
        return data.Data();
    }
    const auto hash = TSHA1::Of(verifier.data(), 16);
    verifier.insert(verifier.end(), hash.begin(), hash.end());
    rc4.Process(verifier.data(), verifier.size());
    Bytes header;
    header.U32(0x04).U32(0).U32(0x6801).U32(0x8004).U32(form == Rc4Form::CryptoApi40 ? 40 : 128).U32(1).U32(0).U32(0);
    header.Chars16(u"Test Provider").U16(0);
    data.U16(1).U16(4).U16(2).U32(0x04).U32(static_cast<uint32_t>(header.Size())).Raw(header.Data());
    data.U32(16).Raw(salt).Raw(std::vector<uint8_t>(verifier.begin(), verifier.begin() + 16));
    data.U32(20).Raw(std::vector<uint8_t>(verifier.begin() + 16, verifier.end()));
    return data.Data();
}

std::vector<uint8_t> EncryptWorkbookStream(const std::vector<uint8_t>& stream, std::u16string_view password,
                                           Rc4Form form, uint8_t saltSeed) {
    const BlockKeys keys(password, form, Salt(saltSeed));
    std::vector<uint8_t> out = stream;
    // The keystream byte for stream offset p: key of block p / 1024, position p % 1024.
    int64_t loadedBlock = -1;
    std::vector<uint8_t> keystream(1024);
    auto keyByte = [&](size_t p) {
        const int64_t block = static_cast<int64_t>(p / 1024);
        if (block != loadedBlock) {
            TRC4 rc4 = keys.Cipher(static_cast<uint32_t>(block));
            std::fill(keystream.begin(), keystream.end(), 0);
            rc4.Process(keystream.data(), keystream.size());
            loadedBlock = block;
        }
        return keystream[p % 1024];
    };
    bool encrypting = false;
    size_t at = 0;
    while (at + 4 <= out.size()) {
        const unsigned id = out[at] | (out[at + 1] << 8);
        const size_t length = out[at + 2] | (out[at + 3] << 8);
        const size_t data = at + 4;
        if (encrypting && (id & 0xFF) != 0x09)
            for (size_t p = data; p < data + length && p < out.size(); ++p) out[p] ^= keyByte(p);
        if (id == 0x002F) encrypting = true;
        at = data + length;
    }
    return out;
}

} // namespace tessaly::test
