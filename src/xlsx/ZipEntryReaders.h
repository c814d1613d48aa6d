#pragma once
// The byte sources behind an open ZIP entry: stored data read straight from the archive, and raw
// deflate data inflated through a 64 KiB input buffer.

#include <cstdint>
#include <memory>
#include <string>

#include <zlib.h>

#include "xlsx/XLSZip.h"

namespace tessaly {

// What an entry's bytes must add up to once they have all been read: its name (for the
// message) and its CRC-32. Damaged data fails instead of reaching the parser unnoticed.
struct TEntryCheck {
    bool Verify = false;
    uint32_t Crc32 = 0;
    std::string Name;
    void Finish(uint64_t produced, uint64_t expected, uint32_t crc) const;
};

class TStoredEntryReader final : public TZipEntryReader {
public:
    TStoredEntryReader(TXLSZipArchive& archive, uint64_t dataPosition, uint64_t size, TEntryCheck check);
    size_t Read(void* buffer, size_t count) override;

private:
    TXLSZipArchive& archive_;
    uint64_t start_;
    uint64_t position_;
    uint64_t end_;
    uint32_t crc_ = 0;
    TEntryCheck check_;
};

// Inflates raw deflate data. Reading ends at the end of the deflate stream or once `outputLimit`
// bytes have been produced (an entry never yields more than its recorded size, so a damaged or
// hostile entry cannot inflate without bound); compressed data that runs out before the end of
// the deflate stream is an error, and so is a finished entry whose size or CRC-32 is not the
// recorded one.
class TInflateEntryReader final : public TZipEntryReader {
public:
    TInflateEntryReader(TXLSZipArchive& archive, uint64_t dataPosition, uint64_t compressedSize,
                        uint64_t outputLimit, TEntryCheck check = {});
    ~TInflateEntryReader() override;
    size_t Read(void* buffer, size_t count) override;

    // Compressed bytes taken by the deflate stream so far (all of them once Finished()).
    uint64_t CompressedConsumed() const { return consumed_ - stream_.avail_in; }
    uint64_t Produced() const { return produced_; }
    bool Finished() const { return finished_; }

private:
    static constexpr size_t kInputSize = 65536;
    TXLSZipArchive& archive_;
    uint64_t position_;     // next archive offset to read compressed bytes from
    uint64_t left_;         // compressed bytes not yet read
    uint64_t consumed_ = 0; // compressed bytes handed to zlib
    uint64_t outputLimit_;
    uint64_t produced_ = 0;
    bool finished_ = false;
    uint32_t crc_ = 0;
    TEntryCheck check_;
    z_stream stream_{};
    std::unique_ptr<uint8_t[]> input_;
};

} // namespace tessaly
