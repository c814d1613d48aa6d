#include "xls/BiffStream.h"

#include <algorithm>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Exception.h"
#include "core/MappedFile.h"
#include "xls/BiffCipher.h"
#include "xls/CompoundFile.h"

namespace tessaly {

namespace {

constexpr const char* kNotAWorkbook = "The file is not an Excel workbook";

// The generation of a bare record file by its first record, a BOF: xvNone when it is none.
TExcelVersion PlainFileVersion(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) return xvNone;
    switch (LoadU16(bytes.data())) {
        case 0x0009: return xvExcel21;
        case 0x0209: return xvExcel30;
        case 0x0409: return xvExcel40;
        default: return xvNone;
    }
}

bool IsContinuation(uint16_t id) { return id == kBiffContinue || id == 0x00EB || id == 0x0866 || id == 0x1066; }

} // namespace

TXLSStream::TXLSStream() = default;
TXLSStream::~TXLSStream() = default;

void TXLSStream::CloseWorkbookStream() {
    pieces_.clear();
    pieceStarts_.clear();
    size_ = 0;
    piece_ = 0;
    pieceData_ = cur_ = end_ = nullptr;
    curBase_ = 0;
    continuedRead_ = false;
    continuedPos_ = 0;
    cipher_.reset();
    keyBlock_ = -1;
    keyPos_ = 0;
    fast_ = true;
    plain_ = false;
    fileVersion_ = xvNone;
    mapped_.reset();
    owned_.clear();
    owned_.shrink_to_fit();
}

TExcelVersion TXLSStream::OpenWorkbookFile(const std::string& fileName) {
    CloseWorkbookStream();
    mapped_ = std::make_unique<TMappedFile>(fileName);
    return OpenBytes(mapped_->Bytes());
}

TExcelVersion TXLSStream::OpenWorkbookStream(TStream& source) {
    CloseWorkbookStream();
    std::span<const uint8_t> bytes = source.Contiguous();
    if (bytes.empty()) {
        source.Seek(0, SeekOrigin::Begin);
        const int64_t size = source.Size();
        owned_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
        owned_.resize(source.Read(owned_.data(), owned_.size()));
        bytes = owned_;
    }
    source.Seek(0, SeekOrigin::Begin);
    return OpenBytes(bytes);
}

TExcelVersion TXLSStream::OpenWorkbookBytes(std::span<const uint8_t> bytes) {
    CloseWorkbookStream();
    return OpenBytes(bytes);
}

TExcelVersion TXLSStream::OpenBytes(std::span<const uint8_t> bytes) {
    if (TCompoundFile::IsCompoundFile(bytes)) {
        TCompoundFile file(bytes);
        auto stream = file.OpenRootStream(u"Workbook");
        fileVersion_ = xvExcel97;
        if (!stream) {
            stream = file.OpenRootStream(u"Book");
            fileVersion_ = xvExcel50;
        }
        if (!stream) {
            fileVersion_ = xvNone;
            throw Exception(kNotAWorkbook);
        }
        pieces_ = std::move(stream->Pieces);
        size_ = stream->Size;
    } else {
        // A bare record file of the generations before compound documents.
        fileVersion_ = PlainFileVersion(bytes);
        if (fileVersion_ == xvNone) throw Exception(kNotAWorkbook);
        plain_ = true;
        pieces_.push_back(bytes);
        size_ = bytes.size();
    }
    uint64_t start = 0;
    for (const auto& piece : pieces_) {
        pieceStarts_.push_back(start);
        start += piece.size();
    }
    SetPosition(0);
    return fileVersion_;
}

void TXLSStream::SetPosition(uint64_t position) {
    position = std::min(position, size_);
    // The piece holding the position; at the very end, the last piece's end.
    auto it = std::upper_bound(pieceStarts_.begin(), pieceStarts_.end(), position);
    piece_ = it == pieceStarts_.begin() ? 0 : static_cast<size_t>(it - pieceStarts_.begin() - 1);
    if (pieces_.empty()) {
        pieceData_ = cur_ = end_ = nullptr;
        curBase_ = 0;
        return;
    }
    pieceData_ = pieces_[piece_].data();
    curBase_ = pieceStarts_[piece_];
    cur_ = pieceData_ + (position - curBase_);
    end_ = pieceData_ + pieces_[piece_].size();
}

size_t TXLSStream::ReadRaw(uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (cur_ == end_) {
            if (piece_ + 1 >= pieces_.size()) break;
            ++piece_;
            pieceData_ = cur_ = pieces_[piece_].data();
            end_ = cur_ + pieces_[piece_].size();
            curBase_ = pieceStarts_[piece_];
            continue;
        }
        const size_t take = std::min(count - done, static_cast<size_t>(end_ - cur_));
        std::memcpy(buffer + done, cur_, take);
        cur_ += take;
        done += take;
    }
    return done;
}

int TXLSStream::ReadRecordHeaderSlow(uint16_t& id, uint16_t& length) {
    uint8_t header[4];
    const uint64_t start = static_cast<uint64_t>(StreamPosition());
    const size_t got = ReadRaw(header, 4);
    if (got != 4) return static_cast<int>(got);
    id = LoadU16(header);
    length = LoadU16(header + 2);
    // A new record: continued-read mode counts from its data.
    continuedPos_ = 0;
    if (cipher_) SkipKeyStream(start, 4);
    return 4;
}

size_t TXLSStream::ReadData(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (!continuedRead_) {
        const uint64_t start = static_cast<uint64_t>(StreamPosition());
        const size_t got = ReadRaw(out, count);
        if (cipher_ && got > 0) Decrypt(out, got, start);
        return got;
    }
    // Continued-read mode: the data runs on past the 8224 bytes of each record into the next
    // continuation record.
    size_t done = 0;
    while (done < count) {
        if (continuedPos_ >= kBiff8MaxRecordData) {
            uint16_t id = 0, length = 0;
            uint8_t header[4];
            const uint64_t headerAt = static_cast<uint64_t>(StreamPosition());
            if (ReadRaw(header, 4) != 4) throw Exception("CONTINUE record is missing");
            id = LoadU16(header);
            length = LoadU16(header + 2);
            if (!IsContinuation(id)) throw Exception("CONTINUE record is missing");
            (void)length;
            if (cipher_) SkipKeyStream(headerAt, 4);
            continuedPos_ = 0;
        }
        const size_t take = std::min(count - done, kBiff8MaxRecordData - continuedPos_);
        const uint64_t start = static_cast<uint64_t>(StreamPosition());
        const size_t got = ReadRaw(out + done, take);
        if (cipher_ && got > 0) Decrypt(out + done, got, start);
        done += got;
        continuedPos_ += got;
        if (got < take) break;
    }
    return done;
}

const uint8_t* TXLSStream::ViewDataSlow(size_t count) {
    if (buffer_.size() < count) buffer_.resize(std::max<size_t>(count, 8224));
    if (ReadData(buffer_.data(), count) != count) throw Exception("Unexpected end of the workbook stream");
    return buffer_.data();
}

size_t TXLSStream::ReadBofData(void* buffer, size_t count) {
    const uint64_t start = static_cast<uint64_t>(StreamPosition());
    const size_t got = ReadRaw(static_cast<uint8_t*>(buffer), count);
    if (cipher_) SkipKeyStream(start, got);
    return got;
}

void TXLSStream::SkipData(size_t count) {
    if (continuedRead_) {
        uint8_t scratch[256];
        while (count > 0) {
            const size_t take = std::min(count, sizeof scratch);
            if (ReadData(scratch, take) != take) return;
            count -= take;
        }
        return;
    }
    if (static_cast<size_t>(end_ - cur_) >= count)
        cur_ += count;
    else
        SetPosition(static_cast<uint64_t>(StreamPosition()) + count);
}

uint16_t TXLSStream::PeekRecordId() {
    const uint64_t at = static_cast<uint64_t>(StreamPosition());
    uint8_t header[4];
    const size_t got = ReadRaw(header, 4);
    SetPosition(at);
    return got == 4 ? LoadU16(header) : 0;
}

int64_t TXLSStream::SeekStream(int64_t offset, SeekOrigin origin) {
    const int64_t base = origin == SeekOrigin::Begin     ? 0
                         : origin == SeekOrigin::Current ? StreamPosition()
                                                         : static_cast<int64_t>(size_);
    int64_t target = base + offset;
    if (target < 0) target = 0;
    SetPosition(static_cast<uint64_t>(target));
    return StreamPosition();
}

void TXLSStream::BeginContinuedRead() {
    if (continuedRead_) throw Exception("CONTINUE read active");
    continuedRead_ = true;
    continuedPos_ = 0;
    UpdateFast();
}

void TXLSStream::EndContinuedRead() {
    continuedRead_ = false;
    continuedPos_ = 0;
    UpdateFast();
}

bool TXLSStream::StartDecryption(std::span<const uint8_t> filePass, std::u16string_view password) {
    auto cipher = VerifyPassword(filePass, password);
    if (!cipher) return false;
    cipher_ = std::move(cipher);
    keyBlock_ = -1;
    keyPos_ = 0;
    // The key stream now stands at the first byte after FILEPASS.
    SkipKeyStream(0, static_cast<uint64_t>(StreamPosition()));
    UpdateFast();
    return true;
}

// Brings the key stream to a stream offset: the byte at offset p is processed with the key of
// block p / 1024 at keystream position p % 1024.
void TXLSStream::AlignKeyStream(uint64_t position) {
    const int64_t block = static_cast<int64_t>(position / kBiffCipherBlockSize);
    if (block != keyBlock_ || position < keyPos_) {
        keyBlock_ = block;
        cipher_->MakeBlockKey(static_cast<uint32_t>(block));
        keyPos_ = static_cast<uint64_t>(block) * kBiffCipherBlockSize;
    }
    cipher_->Rc4().Discard(static_cast<size_t>(position - keyPos_));
    keyPos_ = position;
}

void TXLSStream::SkipKeyStream(uint64_t offset, uint64_t count) { AlignKeyStream(offset + count); }

void TXLSStream::Decrypt(uint8_t* data, size_t count, uint64_t start) {
    AlignKeyStream(start);
    while (count > 0) {
        const uint64_t blockEnd = static_cast<uint64_t>(keyBlock_ + 1) * kBiffCipherBlockSize;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(count, blockEnd - keyPos_));
        cipher_->Rc4().Process(data, take);
        data += take;
        count -= take;
        keyPos_ += take;
        if (keyPos_ == blockEnd) {
            ++keyBlock_;
            cipher_->MakeBlockKey(static_cast<uint32_t>(keyBlock_));
        }
    }
}

} // namespace tessaly
