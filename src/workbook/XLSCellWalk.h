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
    bool LoadNextRow();

    const TXLSCellStore& store_;
    int32_t row_ = -1;
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    int32_t col_ = 0;
    int32_t colCount_ = 0;
    int32_t runLeft_ = 0;   // cells left in the current fixed run
    size_t runSize_ = 0;    // payload size of each of them
};

} // namespace tessaly
