#include "workbook/XLSCellWalk.h"

#include "workbook/XLSCellBlocks.h"

namespace tessaly {

using namespace cellcode;

bool TXLSCellWalker::Next(int32_t& col, int32_t& row) {
    if (store_.ChangeCount() != changes_) Resume();
    for (;;) {
        if (remaining_ > 0) {
            --remaining_;
            col = lastCol_ = col_++;
            row = row_;
            return true;
        }
        if (pos_ >= length_) {
            if (!NextRow()) return false;
            continue;
        }
        const uint8_t b = vector_[pos_];
        if (b & 0x80) {
            if (b == 0x80) ThrowDamagedRow();
            col_ += b & 0x7F;
            ++pos_;
            continue;
        }
        const size_t runLength = RunLength(vector_ + pos_, length_ - pos_);
        remaining_ = (vector_[pos_ + 1] & kTagVariable) ? 1 : b;
        pos_ += runLength;
    }
}

// Moves to the first run of the next row that exists.
bool TXLSCellWalker::NextRow() {
    const auto rowLimit = static_cast<int64_t>(store_.BlockCount()) * 256;
    while (row_ + int64_t{1} < rowLimit) {
        ++row_;
        const std::span<const uint8_t> view = store_.RowVectorView(row_);
        if (view.empty()) continue;
        vector_ = view.data();
        length_ = view.size();
        pos_ = kRowHeadSize;
        col_ = 0;
        remaining_ = 0;
        lastCol_ = -1;
        return true;
    }
    row_ = static_cast<int32_t>(rowLimit);
    vector_ = nullptr;
    length_ = pos_ = 0;
    remaining_ = 0;
    return false;
}

// The store changed since the last step: find the current row again and skip the cells up to
// the one given last.
void TXLSCellWalker::Resume() {
    changes_ = store_.ChangeCount();
    remaining_ = 0;
    const std::span<const uint8_t> view = row_ >= 0 ? store_.RowVectorView(row_) : std::span<const uint8_t>();
    vector_ = view.data();
    length_ = view.size();
    pos_ = view.empty() ? 0 : kRowHeadSize;
    col_ = 0;
    while (pos_ < length_) {
        const uint8_t b = vector_[pos_];
        if (b & 0x80) {
            if (b == 0x80) ThrowDamagedRow();
            col_ += b & 0x7F;
            ++pos_;
            continue;
        }
        const size_t runLength = RunLength(vector_ + pos_, length_ - pos_);
        const int32_t cells = (vector_[pos_ + 1] & kTagVariable) ? 1 : b;
        pos_ += runLength;
        if (col_ + cells > lastCol_ + 1) {
            // The run reaches past the last cell given: go on inside it.
            const int32_t skip = lastCol_ + 1 > col_ ? lastCol_ + 1 - col_ : 0;
            remaining_ = cells - skip;
            col_ += skip;
            return;
        }
        col_ += cells;
    }
}

} // namespace tessaly
