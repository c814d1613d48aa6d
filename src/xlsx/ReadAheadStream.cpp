#include "xlsx/ReadAheadStream.h"

#include <cstring>

#include "core/Exception.h"

namespace tessaly {

TReadAheadStream::TReadAheadStream(TStream& source) : source_(source), size_(source.Size()) {
    producer_ = std::thread([this] { Produce(); });
}

TReadAheadStream::~TReadAheadStream() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    producer_.join();
}

void TReadAheadStream::Produce() {
    Block* block = nullptr;   // being filled, not yet handed to the reader
    try {
        for (;;) {
            {
                std::unique_lock<std::mutex> guard(lock_);
                changed_.wait(guard, [&] { return stop_ || filled_ - taken_ < kBlocks; });
                if (stop_) return;
                block = &blocks_[filled_ % kBlocks];
            }
            block->Length = 0;
            bool end = false;
            while (block->Length < kBlockSize) {
                const size_t n = source_.Read(block->Bytes.get() + block->Length, kBlockSize - block->Length);
                if (n == 0) {
                    end = true;
                    break;
                }
                block->Length += n;
            }
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (block->Length > 0) ++filled_;
                block = nullptr;
                ended_ = end;
            }
            changed_.notify_all();
            if (end) return;
        }
    } catch (...) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            // The bytes read before the failure still reach the reader, ahead of it.
            if (block && block->Length > 0) ++filled_;
            failure_ = std::current_exception();
            ended_ = true;
        }
        changed_.notify_all();
    }
}

size_t TReadAheadStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (!current_) {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return filled_ > taken_ || ended_; });
            if (filled_ == taken_) {
                // Everything the source gave has been read.
                if (failure_ && done == 0) std::rethrow_exception(failure_);
                break;
            }
            current_ = &blocks_[taken_ % kBlocks];
            currentAt_ = 0;
        }
        const size_t n = std::min(count - done, current_->Length - currentAt_);
        std::memcpy(out + done, current_->Bytes.get() + currentAt_, n);
        done += n;
        currentAt_ += n;
        if (currentAt_ == current_->Length) {
            current_ = nullptr;
            {
                std::lock_guard<std::mutex> guard(lock_);
                ++taken_;
            }
            changed_.notify_all();
        }
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

int64_t TReadAheadStream::Seek(int64_t offset, SeekOrigin origin) {
    if (origin == SeekOrigin::Current && offset == 0) return position_;
    throw Exception("A read-ahead stream cannot seek");
}

} // namespace tessaly
