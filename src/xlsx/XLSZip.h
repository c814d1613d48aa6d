#pragma once
// Read access to the entries of a ZIP archive held in a seekable stream: the end record, the
// central directory (ZIP64 included), the local headers, and the entries' bytes, stored or
// inflated on demand. When no end record can be found the directory is rebuilt by scanning the
// local headers from the start of the file.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Exception.h"
#include "core/Stream.h"

namespace tessaly {

// zlib initialisation or inflate failed: "ZLib decompress error".
class EZlibError : public Exception {
public:
    EZlibError();
};

struct TCentralDirectoryFile {
    uint32_t Signature = 0x02014B50;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;              // bit 0 encrypted, bit 3 sizes in a data descriptor
    uint16_t CompressionMethod = 0;  // 0 stored, 8 deflate
    uint32_t DosDateTime = 0;        // MS-DOS time (low word) and date (high word)
    uint32_t Crc32 = 0;              // kept, never verified
    uint64_t CompressedSize = 0;     // ZIP64 values already applied
    uint64_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    uint16_t FileCommentLength = 0;
    uint32_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0; // bit 4 = directory
    uint64_t LocalHeaderOffset = 0;
    std::string FileName;
    std::string ExtraField;
    std::string FileComment;
};

struct TLocalFile {
    uint32_t Signature = 0x04034B50;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 0;
    uint32_t DosDateTime = 0;
    uint32_t Crc32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    std::string FileName;            // the entry's name for lookups
    std::string ExtraField;
    uint64_t DataPosition = 0;       // archive offset of the first data byte
};

struct TEndOfCentralDirectory {
    uint32_t DiskNumber = 0;
    uint32_t DirectoryDisk = 0;
    uint64_t EntriesOnDisk = 0;
    uint64_t TotalEntries = 0;
    uint64_t DirectorySize = 0;
    uint64_t DirectoryOffset = 0;
    uint16_t CommentLength = 0;
};

class TXLSZipArchive;

// One entry of the archive.
class TXLSZipFile {
public:
    TCentralDirectoryFile Central;
    TLocalFile Local;
    bool Encrypted = false;          // recorded only
    bool Directory = false;          // recorded only
    int CompressionLevel = 5;        // the writer's hint, recorded only
    int64_t ModifiedTime = 0;        // seconds since 1970, from the MS-DOS date and time

    const std::string& Name() const { return Local.FileName; }
    uint64_t CompressedSize() const { return Local.CompressedSize; }
    uint64_t UncompressedSize() const { return Local.UncompressedSize; }
};

// A sequential reader of one entry's bytes (stored or inflated).
class TZipEntryReader {
public:
    virtual ~TZipEntryReader() = default;
    virtual size_t Read(void* buffer, size_t count) = 0;
};

// A stream over one entry: creating it opens the entry, destroying it closes the entry. Its
// size is the entry's uncompressed size; reading is sequential from the start.
class TXLSOwnerStream final : public TStream {
public:
    TXLSOwnerStream(TXLSZipArchive& archive, const TXLSZipFile& entry);
    ~TXLSOwnerStream() override;

    size_t Read(void* buffer, size_t count) override;
    // Only the current position can be asked for; entries are never seeked on the reading road.
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(entry_.UncompressedSize()); }

private:
    const TXLSZipFile& entry_;
    std::unique_ptr<TZipEntryReader> reader_;
    int64_t position_ = 0;
};

class TXLSZipArchive {
public:
    TXLSZipArchive();
    ~TXLSZipArchive();
    TXLSZipArchive(const TXLSZipArchive&) = delete;
    TXLSZipArchive& operator=(const TXLSZipArchive&) = delete;

    // Opens the archive held in `stream` (not owned; kept alive by the caller until Close).
    void OpenRead(TStream& stream);
    void Close();

    int EntryCount() const { return static_cast<int>(entries_.size()); }
    const TXLSZipFile& Entry(int index) const;   // EListError outside the list
    // The first entry whose name equals `name` ignoring the case of ASCII letters; -1 if none.
    int IndexOfEntry(std::string_view name) const;
    // A new stream over the named entry; "Can not find file %s in ZIP" when there is none.
    std::unique_ptr<TXLSOwnerStream> OpenEntry(std::string_view name);
    std::unique_ptr<TXLSOwnerStream> OpenEntry(int index);
    // The whole uncompressed content of one entry.
    std::vector<uint8_t> ExtractEntry(int index);

    int Mode() const { return mode_; }
    bool Rebuilt() const { return rebuilt_; }
    const TEndOfCentralDirectory& EndRecord() const { return end_; }

    // Positional read of the archive stream, safe to call from the inflating thread.
    size_t ReadAt(uint64_t offset, void* buffer, size_t count);
    uint64_t StreamSize() const { return size_; }

private:
    bool FindEndRecord(uint64_t& position);
    void ReadZip64EndRecord(uint64_t endPosition);
    void ReadCentralDirectory();
    void ReadLocalHeaders();
    void RebuildByScanning();
    bool ReadLocalHeader(uint64_t offset, TLocalFile& local);
    uint64_t MeasureDescriptorEntry(TLocalFile& local);

    TStream* stream_ = nullptr;
    uint64_t size_ = 0;
    int mode_ = 0;                   // 0 closed, 1 reading
    bool rebuilt_ = false;
    TEndOfCentralDirectory end_;
    std::vector<std::unique_ptr<TXLSZipFile>> entries_;
    mutable std::unordered_map<std::string, size_t> byName_;
    std::mutex streamLock_;
};

// The archive interface the package layer holds.
class TXLSZipArchiveIntf {
public:
    virtual ~TXLSZipArchiveIntf() = default;
    virtual int EntryCount() = 0;
    virtual void OpenRead(TStream& stream) = 0;
    virtual int IndexOfEntry(std::string_view name) = 0;
    virtual std::unique_ptr<TStream> OpenEntry(std::string_view name) = 0;
    virtual void Close() = 0;
};

class TXLSZipArchiveIntfXLS final : public TXLSZipArchiveIntf {
public:
    int EntryCount() override { return archive_.EntryCount(); }
    void OpenRead(TStream& stream) override { archive_.OpenRead(stream); }
    int IndexOfEntry(std::string_view name) override { return archive_.IndexOfEntry(name); }
    std::unique_ptr<TStream> OpenEntry(std::string_view name) override { return archive_.OpenEntry(name); }
    void Close() override { archive_.Close(); }
    TXLSZipArchive& Archive() { return archive_; }

private:
    TXLSZipArchive archive_;
};

// Converts an MS-DOS date (high word) and time (low word) into seconds since 1970 (UTC).
int64_t DosDateTimeToUnix(uint32_t dosDateTime);

} // namespace tessaly
