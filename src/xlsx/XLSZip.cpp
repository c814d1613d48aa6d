#include "xlsx/XLSZip.h"

#include <algorithm>
#include <cstring>

#include "core/AsciiCase.h"
#include "core/ByteOrder.h"
#include "core/Format.h"
#include "xlsx/ZipEntryReaders.h"

namespace tessaly {

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalRecordSize = 30;

// Deflate cannot expand data by more than about 1032:1; anything claiming more is not a real entry.
constexpr uint64_t kMaxDeflateRatio = 1032;

[[noreturn]] void NotValidZip() { throw Exception("File is not a valid ZIP file"); }

// Writers from the other operating system sometimes store "\" as the folder separator.
std::string NormalizeName(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

// Reads the ZIP64 extended information of an extra field: only the values whose ordinary
// fields hold the 0xFFFFFFFF (0xFFFF for the disk) marker are present, in this order.
void ApplyZip64Extra(const std::string& extra, uint64_t* uncompressed, uint64_t* compressed,
                     uint64_t* offset, uint32_t* disk) {
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(extra.data()) + at;
        const uint16_t id = LoadU16(p);
        const uint16_t length = LoadU16(p + 2);
        if (at + 4 + length > extra.size()) return;
        if (id == 0x0001) {
            const uint8_t* q = p + 4;
            const uint8_t* end = q + length;
            auto take = [&](uint64_t* value) {
                if (value && *value == 0xFFFFFFFFu && q + 8 <= end) {
                    *value = LoadU64(q);
                    q += 8;
                }
            };
            take(uncompressed);
            take(compressed);
            take(offset);
            if (disk && *disk == 0xFFFF && q + 4 <= end) *disk = LoadU32(q);
            return;
        }
        at += 4 + length;
    }
}

int CompressionLevelHint(uint16_t method, uint16_t flags) {
    if (method != 8 && method != 9) return 5;
    switch (flags & 6) {
    case 0: return 0;
    case 2: return 1;
    case 4: return 2;
    default: return 3;
    }
}

void FillEntry(TXLSZipFile& entry) {
    entry.Encrypted = (entry.Central.Flags & 1) != 0;
    entry.Directory = (entry.Central.ExternalAttributes & 0x10) != 0;
    entry.CompressionLevel = CompressionLevelHint(entry.Central.CompressionMethod, entry.Central.Flags);
    entry.ModifiedTime = DosDateTimeToUnix(entry.Central.DosDateTime);
}

} // namespace

EZlibError::EZlibError() : Exception("ZLib decompress error") {}

int64_t DosDateTimeToUnix(uint32_t dosDateTime) {
    const unsigned time = dosDateTime & 0xFFFF;
    const unsigned date = dosDateTime >> 16;
    int year = 1980 + static_cast<int>(date >> 9);
    unsigned month = (date >> 5) & 15;
    unsigned day = date & 31;
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    if (day < 1) day = 1;
    // Days from civil date (proleptic Gregorian).
    year -= month <= 2;
    const int era = year / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
    const int64_t seconds = (time >> 11) * 3600 + ((time >> 5) & 63) * 60 + (time & 31) * 2;
    return days * 86400 + seconds;
}

// ---------------------------------------------------------------------------------------------

TXLSOwnerStream::TXLSOwnerStream(TXLSZipArchive& archive, const TXLSZipFile& entry) : entry_(entry) {
    const uint64_t compressed = entry.CompressedSize();
    const uint64_t uncompressed = entry.UncompressedSize();
    const uint64_t data = entry.Local.DataPosition;
    if (data > archive.StreamSize() || compressed > archive.StreamSize() - data)
        throw Exception(Format("ZIP entry \"%s\" lies beyond the end of the file", entry.Name().c_str()));
    TEntryCheck check;
    check.Verify = !entry.Encrypted;
    check.Crc32 = entry.Local.Crc32;
    check.Name = entry.Name();
    switch (entry.Central.CompressionMethod) {
    case 0:
        reader_ = std::make_unique<TStoredEntryReader>(archive, data, compressed, check);
        break;
    case 8: {
        if (uncompressed / kMaxDeflateRatio > compressed + 1)
            throw Exception(Format("ZIP entry \"%s\" claims %llu bytes from %llu compressed bytes",
                                   entry.Name().c_str(), static_cast<unsigned long long>(uncompressed),
                                   static_cast<unsigned long long>(compressed)));
        reader_ = std::make_unique<TInflateEntryReader>(archive, data, compressed, uncompressed, check);
        break;
    }
    default:
        break;   // no data source: reading fails
    }
}

TXLSOwnerStream::~TXLSOwnerStream() = default;

size_t TXLSOwnerStream::Read(void* buffer, size_t count) {
    if (!reader_) throw Exception("ZIP file is not open");
    const size_t n = reader_->Read(buffer, count);
    position_ += static_cast<int64_t>(n);
    return n;
}

int64_t TXLSOwnerStream::Seek(int64_t offset, SeekOrigin origin) {
    const int64_t target = origin == SeekOrigin::Begin     ? offset
                           : origin == SeekOrigin::Current ? position_ + offset
                                                           : Size() + offset;
    if (target != position_) throw Exception("ZIP entries can only be read from start to end");
    return position_;
}

// ---------------------------------------------------------------------------------------------

TXLSZipArchive::TXLSZipArchive() = default;
TXLSZipArchive::~TXLSZipArchive() = default;

const TXLSZipFile& TXLSZipArchive::Entry(int index) const {
    if (index < 0 || index >= EntryCount()) throw EListError(index);
    return *entries_[static_cast<size_t>(index)];
}

size_t TXLSZipArchive::ReadAt(uint64_t offset, void* buffer, size_t count) {
    std::lock_guard<std::mutex> guard(streamLock_);
    if (!stream_ || offset >= size_) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    stream_->Seek(static_cast<int64_t>(offset), SeekOrigin::Begin);
    return stream_->Read(buffer, count);
}

void TXLSZipArchive::Close() {
    entries_.clear();
    byName_.clear();
    stream_ = nullptr;
    size_ = 0;
    mode_ = 0;
    rebuilt_ = false;
    end_ = {};
}

void TXLSZipArchive::OpenRead(TStream& stream) {
    Close();
    stream_ = &stream;
    const int64_t size = stream.Size();
    size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
    mode_ = 1;
    uint64_t endPosition = 0;
    if (FindEndRecord(endPosition)) {
        uint8_t record[kEndRecordSize];
        if (ReadAt(endPosition, record, sizeof record) != sizeof record) NotValidZip();
        end_.DiskNumber = LoadU16(record + 4);
        end_.DirectoryDisk = LoadU16(record + 6);
        end_.EntriesOnDisk = LoadU16(record + 8);
        end_.TotalEntries = LoadU16(record + 10);
        end_.DirectorySize = LoadU32(record + 12);
        end_.DirectoryOffset = LoadU32(record + 16);
        end_.CommentLength = LoadU16(record + 20);
        ReadZip64EndRecord(endPosition);
        ReadCentralDirectory();
        ReadLocalHeaders();
    } else {
        RebuildByScanning();
    }
}

// Candidates are tested backwards in three windows; the signature nearest to the end wins.
bool TXLSZipArchive::FindEndRecord(uint64_t& position) {
    if (size_ < kEndRecordSize) return false;
    const int64_t size = static_cast<int64_t>(size_);
    const struct {
        int64_t start;
        int64_t count;
    } windows[3] = {{size - 22, std::min<int64_t>(size, 256)}, {size - 278, 1024}, {size - 1046, 65536}};
    std::vector<uint8_t> bytes;
    for (const auto& window : windows) {
        if (window.count > size) break;   // a window larger than the file ends the search
        const int64_t low = std::max<int64_t>(0, window.start - window.count + 1);
        if (window.start < 0) break;
        const int64_t high = std::min<int64_t>(size, window.start + 4);
        bytes.resize(static_cast<size_t>(high - low));
        if (ReadAt(static_cast<uint64_t>(low), bytes.data(), bytes.size()) != bytes.size()) return false;
        auto at = [&](int64_t p, int k) -> int {
            const int64_t i = p - low + k;
            return i < static_cast<int64_t>(bytes.size()) ? bytes[static_cast<size_t>(i)] : -1;
        };
        int64_t p = window.start;
        int64_t used = 0;
        while (used < window.count && p >= 0) {
            if (at(p, 0) != 'P') {
                --p;
                ++used;
            } else if (at(p, 1) == 'K' && at(p, 2) == 5 && at(p, 3) == 6) {
                position = static_cast<uint64_t>(p);
                return true;
            } else {
                p -= 4;
                used += 4;
            }
        }
    }
    return false;
}

// ZIP64 end records: the locator lies right before the ordinary end record. Their values
// replace the ordinary fields that carry the "see ZIP64" marker.
void TXLSZipArchive::ReadZip64EndRecord(uint64_t endPosition) {
    if (endPosition < 20) return;
    uint8_t locator[20];
    if (ReadAt(endPosition - 20, locator, sizeof locator) != sizeof locator) return;
    if (LoadU32(locator) != kZip64LocatorSignature) return;
    const uint64_t recordOffset = LoadU64(locator + 8);
    uint8_t record[56];
    if (recordOffset >= endPosition || ReadAt(recordOffset, record, sizeof record) != sizeof record ||
        LoadU32(record) != kZip64EndSignature)
        NotValidZip();
    if (end_.DiskNumber == 0xFFFF) end_.DiskNumber = LoadU32(record + 16);
    if (end_.DirectoryDisk == 0xFFFF) end_.DirectoryDisk = LoadU32(record + 20);
    if (end_.EntriesOnDisk == 0xFFFF) end_.EntriesOnDisk = LoadU64(record + 24);
    if (end_.TotalEntries == 0xFFFF) end_.TotalEntries = LoadU64(record + 32);
    if (end_.DirectorySize == 0xFFFFFFFF) end_.DirectorySize = LoadU64(record + 40);
    if (end_.DirectoryOffset == 0xFFFFFFFF) end_.DirectoryOffset = LoadU64(record + 48);
}

void TXLSZipArchive::ReadCentralDirectory() {
    const uint64_t count = end_.EntriesOnDisk;
    uint64_t offset = end_.DirectoryOffset;
    if (offset > size_ || count > (size_ - offset) / kCentralRecordSize) NotValidZip();
    entries_.reserve(static_cast<size_t>(count));
    // The directory is read through a window of the file to keep the number of reads small.
    std::vector<uint8_t> window;
    uint64_t windowStart = 0;
    auto bytesAt = [&](uint64_t at, size_t n) -> const uint8_t* {
        if (at < windowStart || at + n > windowStart + window.size()) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(size_ - std::min(at, size_),
                                                                      std::max<size_t>(n, 65536)));
            if (want < n) NotValidZip();
            window.resize(want);
            if (ReadAt(at, window.data(), want) != want) NotValidZip();
            windowStart = at;
        }
        return window.data() + (at - windowStart);
    };
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* p = bytesAt(offset, kCentralRecordSize);
        if (LoadU32(p) != kCentralSignature) NotValidZip();
        auto entry = std::make_unique<TXLSZipFile>();
        TCentralDirectoryFile& c = entry->Central;
        c.VersionMadeBy = LoadU16(p + 4);
        c.VersionNeeded = LoadU16(p + 6);
        c.Flags = LoadU16(p + 8);
        c.CompressionMethod = LoadU16(p + 10);
        c.DosDateTime = LoadU32(p + 12);
        c.Crc32 = LoadU32(p + 16);
        c.CompressedSize = LoadU32(p + 20);
        c.UncompressedSize = LoadU32(p + 24);
        c.FileNameLength = LoadU16(p + 28);
        c.ExtraFieldLength = LoadU16(p + 30);
        c.FileCommentLength = LoadU16(p + 32);
        c.DiskNumberStart = LoadU16(p + 34);
        c.InternalAttributes = LoadU16(p + 36);
        c.ExternalAttributes = LoadU32(p + 38);
        c.LocalHeaderOffset = LoadU32(p + 42);
        offset += kCentralRecordSize;
        const size_t variable = size_t{c.FileNameLength} + c.ExtraFieldLength + c.FileCommentLength;
        const auto* v = reinterpret_cast<const char*>(bytesAt(offset, variable));
        c.FileName = NormalizeName(std::string(v, c.FileNameLength));
        c.ExtraField.assign(v + c.FileNameLength, c.ExtraFieldLength);
        c.FileComment.assign(v + c.FileNameLength + c.ExtraFieldLength, c.FileCommentLength);
        offset += variable;
        ApplyZip64Extra(c.ExtraField, &c.UncompressedSize, &c.CompressedSize, &c.LocalHeaderOffset,
                        &c.DiskNumberStart);
        FillEntry(*entry);
        entries_.push_back(std::move(entry));
    }
}

bool TXLSZipArchive::ReadLocalHeader(uint64_t offset, TLocalFile& local) {
    uint8_t p[kLocalRecordSize];
    if (offset > size_ || ReadAt(offset, p, sizeof p) != sizeof p || LoadU32(p) != kLocalSignature)
        return false;
    local.VersionNeeded = LoadU16(p + 4);
    local.Flags = LoadU16(p + 6);
    local.CompressionMethod = LoadU16(p + 8);
    local.DosDateTime = LoadU32(p + 10);
    local.Crc32 = LoadU32(p + 14);
    local.CompressedSize = LoadU32(p + 18);
    local.UncompressedSize = LoadU32(p + 22);
    local.FileNameLength = LoadU16(p + 26);
    local.ExtraFieldLength = LoadU16(p + 28);
    std::string variable(size_t{local.FileNameLength} + local.ExtraFieldLength, '\0');
    if (ReadAt(offset + kLocalRecordSize, variable.data(), variable.size()) != variable.size()) return false;
    local.FileName = NormalizeName(variable.substr(0, local.FileNameLength));
    local.ExtraField = variable.substr(local.FileNameLength);
    local.DataPosition = offset + kLocalRecordSize + variable.size();
    ApplyZip64Extra(local.ExtraField, &local.UncompressedSize, &local.CompressedSize, nullptr, nullptr);
    return true;
}

// The sizes come from the central directory: writers complete it after the data, while the
// local header may hold zeros (flag bit 3) or the ZIP64 marker.
void TXLSZipArchive::ReadLocalHeaders() {
    for (auto& entry : entries_) {
        if (!ReadLocalHeader(entry->Central.LocalHeaderOffset, entry->Local))
            throw Exception("Unknown zip file");
        entry->Local.Crc32 = entry->Central.Crc32;
        entry->Local.CompressedSize = entry->Central.CompressedSize;
        entry->Local.UncompressedSize = entry->Central.UncompressedSize;
    }
    // Entries whose data overlap make a small file inflate many times over (a known zip bomb);
    // no writer produces them.
    std::vector<const TXLSZipFile*> byOffset;
    for (const auto& entry : entries_) byOffset.push_back(entry.get());
    std::sort(byOffset.begin(), byOffset.end(), [](const TXLSZipFile* a, const TXLSZipFile* b) {
        return a->Central.LocalHeaderOffset < b->Central.LocalHeaderOffset;
    });
    for (size_t i = 1; i < byOffset.size(); ++i) {
        const TXLSZipFile& previous = *byOffset[i - 1];
        if (previous.Local.DataPosition + previous.CompressedSize() > byOffset[i]->Central.LocalHeaderOffset)
            throw Exception(Format("ZIP entries \"%s\" and \"%s\" overlap", previous.Name().c_str(),
                                   byOffset[i]->Name().c_str()));
    }
}

// An entry written with flag bit 3 has no sizes in its local header: a deflated one is inflated
// to find where its data ends, a stored one ends at the first data descriptor whose recorded
// size matches. Returns the number of bytes to skip after the data (the descriptor), or
// UINT64_MAX when the end cannot be found.
uint64_t TXLSZipArchive::MeasureDescriptorEntry(TLocalFile& local) {
    const uint64_t available = size_ - std::min(size_, local.DataPosition);
    if (local.CompressionMethod == 8) {
        // Deflate cannot expand more than about 1032:1; a stream that produces more is no entry.
        const uint64_t limit = std::min<uint64_t>(available, UINT64_MAX / 2048) * 1032 + 65536;
        TInflateEntryReader inflater(*this, local.DataPosition, available, limit);
        std::vector<uint8_t> sink(65536);
        try {
            while (inflater.Read(sink.data(), sink.size()) > 0) {}
        } catch (const EZlibError&) {
            return UINT64_MAX;
        }
        if (!inflater.Finished() || inflater.Produced() >= limit) return UINT64_MAX;
        local.CompressedSize = inflater.CompressedConsumed();
        local.UncompressedSize = inflater.Produced();
    } else {
        std::vector<uint8_t> window(65536 + 12);
        uint64_t at = local.DataPosition;
        bool found = false;
        while (!found && at < size_) {
            const size_t n = ReadAt(at, window.data(), window.size());
            if (n < 12) break;
            for (size_t i = 0; i + 12 <= n; ++i) {
                if (LoadU32(window.data() + i) == kDescriptorSignature &&
                    LoadU32(window.data() + i + 8) == at + i - local.DataPosition) {
                    local.CompressedSize = local.UncompressedSize = at + i - local.DataPosition;
                    found = true;
                    break;
                }
            }
            at += n - 11;
        }
        if (!found) return UINT64_MAX;
    }
    const uint64_t end = local.DataPosition + local.CompressedSize;
    uint8_t descriptor[8] = {};
    const bool hasSignature = ReadAt(end, descriptor, 8) == 8 && LoadU32(descriptor) == kDescriptorSignature;
    local.Crc32 = LoadU32(descriptor + (hasSignature ? 4 : 0));
    bool zip64 = false;
    uint64_t u = 0xFFFFFFFF, c = 0xFFFFFFFF;
    ApplyZip64Extra(local.ExtraField, &u, &c, nullptr, nullptr);
    zip64 = u != 0xFFFFFFFF || c != 0xFFFFFFFF;
    return (hasSignature ? 4 : 0) + (zip64 ? 20 : 12);
}

void TXLSZipArchive::RebuildByScanning() {
    uint64_t offset = 0;
    uint64_t directorySize = 0;
    for (;;) {
        auto entry = std::make_unique<TXLSZipFile>();
        TLocalFile& local = entry->Local;
        if (!ReadLocalHeader(offset, local)) break;
        uint64_t trailer = 0;
        if ((local.Flags & 8) && local.CompressedSize == 0) {
            trailer = MeasureDescriptorEntry(local);
            if (trailer == UINT64_MAX) break;
        }
        TCentralDirectoryFile& c = entry->Central;
        c.VersionMadeBy = 20;
        c.VersionNeeded = local.VersionNeeded;
        c.Flags = local.Flags;
        c.CompressionMethod = local.CompressionMethod;
        c.DosDateTime = local.DosDateTime;
        c.Crc32 = local.Crc32;
        c.CompressedSize = local.CompressedSize;
        c.UncompressedSize = local.UncompressedSize;
        c.FileNameLength = local.FileNameLength;
        c.ExtraFieldLength = local.ExtraFieldLength;
        c.FileName = local.FileName;
        c.ExtraField = local.ExtraField;
        c.ExternalAttributes = !local.FileName.empty() && local.FileName.back() == '/' ? 16 : 32;
        c.LocalHeaderOffset = offset;
        FillEntry(*entry);
        directorySize += kCentralRecordSize + c.FileNameLength + c.ExtraFieldLength;
        const uint64_t next = local.DataPosition + local.CompressedSize + trailer;
        entries_.push_back(std::move(entry));
        if (next <= offset || next < local.DataPosition) break;
        offset = next;
    }
    end_ = {};
    end_.EntriesOnDisk = end_.TotalEntries = entries_.size();
    end_.DirectorySize = directorySize;
    end_.DirectoryOffset = offset;
    rebuilt_ = !entries_.empty();
}

int TXLSZipArchive::IndexOfEntry(std::string_view name) const {
    if (byName_.size() != entries_.size()) {
        // Built on first use: the name with ASCII letters lowered -> first entry of that name.
        byName_.clear();
        for (size_t i = 0; i < entries_.size(); ++i) byName_.emplace(LowerAscii(entries_[i]->Name()), i);
    }
    const auto it = byName_.find(LowerAscii(name));
    return it == byName_.end() ? -1 : static_cast<int>(it->second);
}

std::unique_ptr<TXLSOwnerStream> TXLSZipArchive::OpenEntry(std::string_view name) {
    const int index = IndexOfEntry(name);
    if (index < 0) throw Exception(Format("Can not find file %.*s in ZIP", static_cast<int>(name.size()), name.data()));
    return OpenEntry(index);
}

std::unique_ptr<TXLSOwnerStream> TXLSZipArchive::OpenEntry(int index) {
    if (mode_ != 1) throw Exception("ZIP file is not open");
    return std::make_unique<TXLSOwnerStream>(*this, Entry(index));
}

std::vector<uint8_t> TXLSZipArchive::ExtractEntry(int index) {
    auto stream = OpenEntry(index);
    std::vector<uint8_t> bytes;
    uint8_t piece[4095];
    for (;;) {
        const size_t n = stream->Read(piece, sizeof piece);
        if (n == 0) break;
        bytes.insert(bytes.end(), piece, piece + n);
    }
    return bytes;
}

} // namespace tessaly
