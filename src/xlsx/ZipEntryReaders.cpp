#include "xlsx/ZipEntryReaders.h"

#include <algorithm>
#include <cstring>

#include "core/Format.h"

namespace tessaly {

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

} // namespace tessaly
