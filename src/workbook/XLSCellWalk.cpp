#include "workbook/XLSCellWalk.h"

#include "workbook/XLSCellBlocks.h"

namespace tessaly {

bool TXLSCellWalker::Next(int32_t& col, int32_t& row) {
    const int32_t rowLimit = static_cast<int32_t>(store_.BlockCount() * 256);
    while (next_ >= cols_.size()) {
        if (++row_ >= rowLimit) return false;
        cols_.clear();
        next_ = 0;
        const std::vector<uint8_t> bytes = store_.RowVectorBytes(row_);
        if (bytes.empty()) continue;
        cellcode::WalkRow(bytes.data(), bytes.size(), [this](const cellcode::CellSlice& cell) {
            cols_.push_back(cell.Col);
            return true;
        });
    }
    col = cols_[next_++];
    row = row_;
    return true;
}

} // namespace tessaly
