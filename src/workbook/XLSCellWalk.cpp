#include "workbook/XLSCellWalk.h"

#include "core/ByteOrder.h"
#include "core/Exception.h"

namespace tessaly {

namespace {

constexpr size_t kRowHead = 12;

// Payload size of a fixed cell by its tag (a 16-bit style first when bit 6 is set).
size_t FixedPayloadSize(uint8_t tag) {
    static constexpr int8_t kValueSize[13] = {-1, 0, 1, 2, 4, 4, 4, 4, 8, 2, 4, 1, 1};
    const uint8_t base = tag & 0x1F;
    if (base >= 13 || kValueSize[base] < 0) throw Exception("Invalid XLate code");
    return static_cast<size_t>(kValueSize[base]) + ((tag & 0x40) ? 2 : 0);
}

} // namespace

bool TXLSCellWalker::LoadNextRow() {
    const int32_t rowLimit = static_cast<int32_t>(store_.BlockCount() * 256);
    while (++row_ < rowLimit) {
        bytes_ = store_.RowVectorBytes(row_);
        if (bytes_.size() < kRowHead) continue;
        colCount_ = LoadU16(bytes_.data());
        if (colCount_ == 0) continue;
        pos_ = kRowHead;
        col_ = 0;
        runLeft_ = 0;
        return true;
    }
    return false;
}

bool TXLSCellWalker::Next(int32_t& col, int32_t& row) {
    for (;;) {
        if (runLeft_ > 0) {
            col = col_++;
            row = row_;
            pos_ += runSize_;
            --runLeft_;
            return true;
        }
        if (row_ < 0 || col_ >= colCount_ || pos_ >= bytes_.size()) {
            if (!LoadNextRow()) return false;
            continue;
        }
        const uint8_t lead = bytes_[pos_];
        if (lead & 0x80) {  // a gap of empty columns
            col_ += lead & 0x7F;
            ++pos_;
            continue;
        }
        if (pos_ + 2 > bytes_.size()) throw Exception("Invalid XLate code");
        const uint8_t tag = bytes_[pos_ + 1];
        if (tag & 0x80) {  // a variable entry holds one cell
            if (pos_ + 4 > bytes_.size()) throw Exception("Invalid XLate code");
            const size_t length = LoadU16(&bytes_[pos_ + 2]);
            pos_ += 4 + length;
            col = col_++;
            row = row_;
            return true;
        }
        runLeft_ = lead;
        runSize_ = FixedPayloadSize(tag);
        pos_ += 2;
    }
}

} // namespace tessaly
