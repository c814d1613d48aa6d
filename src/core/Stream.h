#pragma once
// Seekable byte streams: the common source of every reader.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Moves the position (clamped at 0) and returns the new position.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t Size() = 0;
    // The whole content when the stream lives in memory; empty otherwise.
    virtual std::span<const uint8_t> Contiguous() const { return {}; }

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    // Reads exactly count bytes or fails with "Stream read error".
    void ReadBuffer(void* buffer, size_t count);
};

// A stream over bytes in memory, either owned or borrowed from the caller.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> owned);
    explicit TMemoryStream(std::span<const uint8_t> borrowed);

    size_t Read(void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    std::span<const uint8_t> Contiguous() const override { return data_; }

private:
    std::vector<uint8_t> owned_;
    std::span<const uint8_t> data_;
    size_t position_ = 0;
};

// A read-only file, read on demand (never mapped or loaded whole).
class TFileStream final : public TStream {
public:
    explicit TFileStream(const std::string& fileName);  // EFOpenError when it cannot be opened
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return size_; }

private:
    int fd_ = -1;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// Reads a whole file into memory (EFOpenError when it cannot be opened).
std::vector<uint8_t> ReadFileBytes(const std::string& fileName);

} // namespace tessaly
