#include "xlsx/ZipEntryReaders.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "core/Format.h"

namespace tessaly {

namespace {

std::atomic<uint64_t> gBackgroundMinimum{1u << 20};

} // namespace

uint64_t BackgroundInflateMinimum() { return gBackgroundMinimum.load(); }
void SetBackgroundInflateMinimum(uint64_t bytes) { gBackgroundMinimum.store(bytes); }

void TEntryCheck::Finish(uint64_t produced, uint64_t expected, uint32_t crc) const {
    if (!Verify) return;
    if (produced != expected)
        throw Exception(Format("ZIP entry \"%s\" is damaged: it holds %llu bytes instead of %llu", Name.c_str(),
                               static_cast<unsigned long long>(produced), static_cast<unsigned long long>(expected)));
    if (crc != Crc32) throw Exception(Format("ZIP entry \"%s\" is damaged: its CRC-32 does not match", Name.c_str()));
}

TStoredEntryReader::TStoredEntryReader(TXLSZipArchive& archive, uint64_t dataPosition, uint64_t size,
                                       TEntryCheck check)
    : archive_(archive), start_(dataPosition), position_(dataPosition), end_(dataPosition + size),
      check_(std::move(check)) {}

size_t TStoredEntryReader::Read(void* buffer, size_t count) {
    if (position_ >= end_) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, end_ - position_));
    const size_t n = archive_.ReadAt(position_, buffer, count);
    crc_ = static_cast<uint32_t>(crc32(crc_, static_cast<const Bytef*>(buffer), static_cast<uInt>(n)));
    position_ += n;
    if (position_ == end_ || n == 0) {
        check_.Finish(position_ - start_, end_ - start_, crc_);
        position_ = end_;
    }
    return n;
}

TInflateEntryReader::TInflateEntryReader(TXLSZipArchive& archive, uint64_t dataPosition,
                                         uint64_t compressedSize, uint64_t outputLimit, TEntryCheck check)
    : archive_(archive), position_(dataPosition), left_(compressedSize), outputLimit_(outputLimit),
      check_(std::move(check)), input_(new uint8_t[kInputSize]) {
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw EZlibError();
}

TInflateEntryReader::~TInflateEntryReader() { inflateEnd(&stream_); }

size_t TInflateEntryReader::Read(void* buffer, size_t count) {
    if (finished_) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, outputLimit_ - produced_));
    if (count == 0) {
        finished_ = true;
        return 0;
    }
    stream_.next_out = static_cast<Bytef*>(buffer);
    stream_.avail_out = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
    const uInt wanted = stream_.avail_out;
    while (stream_.avail_out > 0) {
        if (stream_.avail_in == 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(kInputSize, left_));
            const size_t got = want == 0 ? 0 : archive_.ReadAt(position_, input_.get(), want);
            if (got == 0) throw EZlibError();   // the deflate data ends before its end marker
            position_ += got;
            left_ -= got;
            consumed_ += got;
            stream_.next_in = input_.get();
            stream_.avail_in = static_cast<uInt>(got);
        }
        const int result = inflate(&stream_, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            finished_ = true;
            break;
        }
        if (result != Z_OK && !(result == Z_BUF_ERROR && stream_.avail_in == 0)) throw EZlibError();
    }
    const size_t n = wanted - stream_.avail_out;
    if (check_.Verify) crc_ = static_cast<uint32_t>(crc32(crc_, static_cast<const Bytef*>(buffer), static_cast<uInt>(n)));
    produced_ += n;
    if (produced_ >= outputLimit_) finished_ = true;
    if (finished_) check_.Finish(produced_, outputLimit_, crc_);
    return n;
}

// The consumer owns block `head` while it copies from it; the worker fills the blocks after the
// `filled` ones. A block shorter than kBlockSize is the last one.
struct TReadAheadReader::State {
    static constexpr size_t kBlockSize = 512 * 1024;
    static constexpr int kBlocks = 3;

    std::unique_ptr<TZipEntryReader> source;
    std::unique_ptr<uint8_t[]> blocks[kBlocks];
    size_t sizes[kBlocks] = {};
    std::mutex lock;
    std::condition_variable changed;
    int head = 0;
    int filled = 0;
    bool done = false;        // the worker produced its last block
    bool stop = false;        // the consumer went away
    std::exception_ptr error;
    size_t offset = 0;        // consumer's position inside the head block
    bool holding = false;     // the consumer is reading the head block
    std::thread worker;

    void Run() {
        for (;;) {
            int slot;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return stop || filled < kBlocks; });
                if (stop) return;
                slot = (head + filled) % kBlocks;
            }
            size_t size = 0;
            bool last = false;
            try {
                while (size < kBlockSize) {
                    const size_t n = source->Read(blocks[slot].get() + size, kBlockSize - size);
                    if (n == 0) {
                        last = true;
                        break;
                    }
                    size += n;
                }
            } catch (...) {
                std::lock_guard<std::mutex> guard(lock);
                error = std::current_exception();
                done = true;
                changed.notify_all();
                return;
            }
            std::lock_guard<std::mutex> guard(lock);
            sizes[slot] = size;
            ++filled;
            if (last) done = true;
            changed.notify_all();
            if (last) return;
        }
    }
};

TReadAheadReader::TReadAheadReader(std::unique_ptr<TZipEntryReader> source) : state_(new State) {
    state_->source = std::move(source);
    for (auto& block : state_->blocks) block.reset(new uint8_t[State::kBlockSize]);
    state_->worker = std::thread([s = state_.get()] { s->Run(); });
}

TReadAheadReader::~TReadAheadReader() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->stop = true;
        state_->changed.notify_all();
    }
    state_->worker.join();
}

size_t TReadAheadReader::Read(void* buffer, size_t count) {
    State& s = *state_;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < count) {
        if (!s.holding) {
            std::unique_lock<std::mutex> guard(s.lock);
            s.changed.wait(guard, [&] { return s.filled > 0 || s.done; });
            if (s.filled == 0) {
                if (s.error) std::rethrow_exception(s.error);
                break;
            }
            s.holding = true;
            s.offset = 0;
        }
        const size_t size = s.sizes[s.head];
        const size_t n = std::min(count - total, size - s.offset);
        std::memcpy(out + total, s.blocks[s.head].get() + s.offset, n);
        s.offset += n;
        total += n;
        if (s.offset == size) {
            std::lock_guard<std::mutex> guard(s.lock);
            s.holding = false;
            s.head = (s.head + 1) % State::kBlocks;
            --s.filled;
            s.changed.notify_all();
            if (size < State::kBlockSize && s.filled == 0 && s.done && !s.error) break;
        }
    }
    return total;
}

} // namespace tessaly
