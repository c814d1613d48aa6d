// The read-ahead stream hands out its source's bytes in order, passes a failure on after the
// bytes before it, and can be dropped half-read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "xlsx/ReadAheadStream.h"

namespace tessaly {
namespace {

// Gives `data` in reads of odd sizes and fails once `failAt` bytes have been given.
class SourceStream final : public TStream {
public:
    SourceStream(std::vector<uint8_t> data, size_t failAt = SIZE_MAX) : data_(std::move(data)), failAt_(failAt) {}
    size_t Read(void* buffer, size_t count) override {
        if (position_ >= failAt_) throw std::runtime_error("ZLib decompress error");
        const size_t n = std::min({count, data_.size() - position_, failAt_ - position_, 1 + (calls_++ * 7919) % 70000});
        if (n) std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        return n;
    }
    int64_t Seek(int64_t, SeekOrigin) override { return static_cast<int64_t>(position_); }
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

private:
    std::vector<uint8_t> data_;
    size_t failAt_;
    size_t position_ = 0;
    size_t calls_ = 0;
};

std::vector<uint8_t> Bytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    return bytes;
}

// Reads everything in reads of changing sizes; stops at a failure and reports what came before.
std::vector<uint8_t> ReadAll(TStream& stream, std::string* failure = nullptr) {
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(300000);
    for (size_t i = 0;; ++i) {
        const size_t want = 1 + (i * 104729) % buffer.size();
        size_t n;
        try {
            n = stream.Read(buffer.data(), want);
        } catch (const std::exception& e) {
            if (failure) *failure = e.what();
            return got;
        }
        if (n == 0) return got;
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
}

TEST(ReadAheadStream, HandsOutTheSourceInOrder) {
    for (size_t size : {size_t{0}, size_t{1}, TReadAheadStream::kBlockSize, 5 * TReadAheadStream::kBlockSize + 17,
                        40 * TReadAheadStream::kBlockSize + 3}) {
        SCOPED_TRACE(size);
        SourceStream source(Bytes(size));
        TReadAheadStream stream(source);
        EXPECT_EQ(stream.Size(), static_cast<int64_t>(size));
        EXPECT_EQ(ReadAll(stream), Bytes(size));
        EXPECT_EQ(stream.Position(), static_cast<int64_t>(size));
        uint8_t byte;
        EXPECT_EQ(stream.Read(&byte, 1), 0u);
        EXPECT_THROW(stream.Seek(0, SeekOrigin::Begin), std::exception);
    }
}

TEST(ReadAheadStream, AFailureOfTheSourceComesAfterTheBytesBeforeIt) {
    const size_t failAt = 3 * TReadAheadStream::kBlockSize + 1234;
    SourceStream source(Bytes(failAt + 100000), failAt);
    TReadAheadStream stream(source);
    std::string failure;
    const auto got = ReadAll(stream, &failure);
    EXPECT_EQ(failure, "ZLib decompress error");
    EXPECT_EQ(got, Bytes(failAt));
    uint8_t byte;
    EXPECT_THROW(stream.Read(&byte, 1), std::runtime_error);   // and again on every later read
}

TEST(ReadAheadStream, CanBeDroppedHalfRead) {
    // The thread has filled every block and waits; dropping the stream must end it.
    SourceStream source(Bytes(100 * TReadAheadStream::kBlockSize));
    TReadAheadStream stream(source);
    uint8_t buffer[100];
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), sizeof buffer);
}

} // namespace
} // namespace tessaly
