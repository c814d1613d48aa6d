#pragma once
// Walks the stored cells of one sheet in row-major order, touching only rows that exist and
// cells that are stored: a sparse sheet costs what it holds, not its used area.

#include <cstdint>

#include "workbook/XLSCellStore.h"

namespace tessaly {

// Holds no pointer into the store: each step asks the store for the cell after the last one
// given, so cells stored during the walk are met when they lie ahead of it.
class TXLSCellWalker {
public:
    explicit TXLSCellWalker(const TXLSCellStore& store) : store_(store) {}

    // The next stored cell; false when every cell has been visited.
    bool Next(int32_t& col, int32_t& row) {
        if (ended_ || !store_.NextCell(col_, row_)) {
            ended_ = true;
            return false;
        }
        col = col_;
        row = row_;
        return true;
    }

private:
    const TXLSCellStore& store_;
    int32_t col_ = -1;
    int32_t row_ = -1;
    bool ended_ = false;
};

} // namespace tessaly
