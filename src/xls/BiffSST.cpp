// The shared string table of a BIFF8 workbook: an SST record continued in as many CONTINUE
// records as its size needs. A string's characters may be split between records; each
// continuation of characters then begins with an option byte giving their width there. Fixed
// fields, runs and extension data may run on into the next record without one.
#include <algorithm>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "xls/BiffReaderImpl.h"
#include "xls/BiffRecords.h"

namespace tessaly {

using namespace biff;

void TBiffReader::ReadSst(uint16_t length) {
    sstRemaining_ = length;
    uint8_t counts[8];
    ReadSstBytes(counts, sizeof counts);
    const uint32_t unique = LoadU32(counts + 4);
    for (uint32_t i = 0; i < unique; ++i) ReadSstString();
    // Bytes after the last string are no record header: pass over them.
    stream_.SkipData(sstRemaining_);
    sstRemaining_ = 0;
}

uint16_t TBiffReader::NextSstContinue() {
    uint16_t id = 0, length = 0;
    if (stream_.ReadRecordHeader(id, length) != 4 || id != kContinue)
        throw Exception("CONTINUE record is missing in SST");
    if (length > stream_.StreamSize() - stream_.StreamPosition())
        throw Exception("Unexpected end of the workbook stream");
    return length;
}

void TBiffReader::ReadSstBytes(uint8_t* out, size_t count) {
    while (count > 0) {
        if (sstRemaining_ == 0) sstRemaining_ = NextSstContinue();
        const size_t take = std::min<size_t>(count, sstRemaining_);
        std::memcpy(out, stream_.ViewData(take), take);
        out += take;
        count -= take;
        sstRemaining_ -= static_cast<uint32_t>(take);
    }
}

void TBiffReader::SkipSstBytes(uint64_t count) {
    while (count > 0) {
        if (sstRemaining_ == 0) sstRemaining_ = NextSstContinue();
        const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(count, sstRemaining_));
        stream_.SkipData(take);
        count -= take;
        sstRemaining_ -= take;
    }
}

void TBiffReader::ReadSstString() {
    uint8_t head[4];
    ReadSstBytes(head, 3);
    const uint32_t count = LoadU16(head);
    const uint8_t options = head[2];
    if (options & ~0x0D) throw Exception(Format("STT: Unhandled string type in Read (%.2X)", options));
    uint32_t runCount = 0;
    uint32_t extSize = 0;
    if (options & 0x08) {
        ReadSstBytes(head, 2);
        runCount = LoadU16(head);
    }
    if (options & 0x04) {
        ReadSstBytes(head, 4);
        extSize = LoadU32(head);
    }
    TWbDataSST& sst = workbook_.SST();
    uint32_t width = (options & 1) ? 2 : 1;

    // The usual case: a plain string wholly inside the current record.
    if (runCount == 0 && count * width <= sstRemaining_) {
        const uint8_t* chars = stream_.ViewData(count * width);
        sstRemaining_ -= count * width;
        if (width == 1) {
            sst.AppendCompressed(count, chars);
        } else {
            sstChars_.resize(count);
            for (uint32_t i = 0; i < count; ++i) sstChars_[i] = LoadU16(chars + 2 * i);
            sst.AppendUncompressed(count, sstChars_.data());
        }
        SkipSstBytes(extSize);
        ++sstStrings_;
        return;
    }

    // Characters in pieces, each continuation announcing its own width. A 16-bit piece makes
    // the whole string 16-bit; a piece ending in half a character loses that byte.
    sstChars_.clear();
    bool wide = width == 2;
    uint32_t left = count;
    bool first = true;
    while (left > 0) {
        if (!first) {
            sstRemaining_ = NextSstContinue();
            if (sstRemaining_ == 0) continue;
            const uint8_t pieceOptions = *stream_.ViewData(1);
            --sstRemaining_;
            width = (pieceOptions & 1) ? 2 : 1;
            wide = wide || width == 2;
        }
        first = false;
        const uint32_t bytes = std::min<uint32_t>(left * width, sstRemaining_);
        const uint32_t n = bytes / width;
        const uint8_t* chars = stream_.ViewData(bytes);
        sstRemaining_ -= bytes;
        for (uint32_t i = 0; i < n; ++i)
            sstChars_.push_back(width == 2 ? static_cast<char16_t>(LoadU16(chars + 2 * i)) : chars[i]);
        left -= n;
    }

    sstRuns_.clear();
    if (runCount > 0) {
        scratch_.resize(4 * static_cast<size_t>(runCount));
        ReadSstBytes(scratch_.data(), scratch_.size());
        for (uint32_t i = 0; i < runCount; ++i) {
            const uint8_t* run = scratch_.data() + 4 * i;
            sstRuns_.push_back(TWbFontRun{LoadU16(run), static_cast<uint32_t>(ModelFont(LoadU16(run + 2)))});
        }
    }
    SkipSstBytes(extSize);

    if (!sstRuns_.empty()) {
        sst.AppendRichString(sstChars_, sstRuns_);
    } else if (!wide) {
        sstBytes_.resize(sstChars_.size());
        for (size_t i = 0; i < sstChars_.size(); ++i) sstBytes_[i] = static_cast<uint8_t>(sstChars_[i]);
        sst.AppendCompressed(static_cast<uint32_t>(sstBytes_.size()), sstBytes_.data());
    } else {
        sst.AppendUncompressed(static_cast<uint32_t>(sstChars_.size()), sstChars_.data());
    }
    ++sstStrings_;
}

} // namespace tessaly
