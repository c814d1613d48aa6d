#pragma once
// A forward-only stream read on a thread of its own, a few blocks ahead of its reader: for a
// source whose reading costs time (an inflating ZIP entry) while the reader has work of its own
// (scanning the XML). The reader gets the source's bytes in order; a failure of the source
// reaches the reader after the bytes read before it, as it would reading the source itself.

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Stream.h"

namespace tessaly {

class TReadAheadStream final : public TStream {
public:
    static constexpr size_t kBlockSize = 128 * 1024;
    static constexpr int kBlocks = 8;

    explicit TReadAheadStream(TStream& source);
    ~TReadAheadStream() override;   // stops the thread (after the block it is filling)
    TReadAheadStream(const TReadAheadStream&) = delete;
    TReadAheadStream& operator=(const TReadAheadStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    // Only asking for the position is possible: the stream does not go back.
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return size_; }

private:
    struct Block {
        std::unique_ptr<uint8_t[]> Bytes{new uint8_t[kBlockSize]};
        size_t Length = 0;
    };

    void Produce();

    TStream& source_;
    int64_t size_;
    int64_t position_ = 0;
    Block blocks_[kBlocks];

    std::mutex lock_;
    std::condition_variable changed_;
    // Blocks cycle in index order: the producer fills block filled_ % kBlocks next, the reader
    // takes block taken_ % kBlocks; filled_ - taken_ blocks wait to be read.
    uint64_t filled_ = 0;
    uint64_t taken_ = 0;
    bool ended_ = false;              // the producer has stopped: end of source or failure
    std::exception_ptr failure_;
    bool stop_ = false;

    // The reader's block, while it is being read (outside the lock).
    const Block* current_ = nullptr;
    size_t currentAt_ = 0;

    std::thread producer_;
};

} // namespace tessaly
