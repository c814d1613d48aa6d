#pragma once
// Walks the stored cells of one sheet in row-major order, touching only rows that exist and
// cells that are stored: a sparse sheet costs what it holds, not its used area.

#include <cstdint>
#include <vector>

#include "workbook/XLSCellStore.h"

namespace tessaly {

class TXLSCellWalker {
public:
    explicit TXLSCellWalker(const TXLSCellStore& store) : store_(store) {}

    // The next stored cell; false when every cell has been visited.
    bool Next(int32_t& col, int32_t& row);

private:
    const TXLSCellStore& store_;
    int32_t row_ = -1;
    std::vector<int32_t> cols_;   // the stored columns of row_
    size_t next_ = 0;
};

} // namespace tessaly
