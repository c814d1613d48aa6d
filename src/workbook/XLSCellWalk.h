#pragma once
// Walks the stored cells of one sheet in row-major order, touching only rows that exist and
// cells that are stored: a sparse sheet costs what it holds, not its used area.

#include <cstddef>
#include <cstdint>

#include "workbook/XLSCellStore.h"

namespace tessaly {

// Reads each row's runs where they lie, without copying. A store into the sheet during the walk
// is noticed (the row is found again and the walk goes on right of the last cell given).
class TXLSCellWalker {
public:
    explicit TXLSCellWalker(const TXLSCellStore& store) : store_(store), changes_(store.ChangeCount()) {}

    // The next stored cell; false when every cell has been visited.
    bool Next(int32_t& col, int32_t& row);

private:
    bool NextRow();
    void Resume();

    const TXLSCellStore& store_;
    uint64_t changes_;
    int32_t row_ = -1;
    int32_t lastCol_ = -1;       // the column given last in row_
    const uint8_t* vector_ = nullptr;
    size_t length_ = 0;
    size_t pos_ = 0;             // the next run (or gap byte) of row_
    int32_t col_ = 0;            // the column of the next cell
    int32_t remaining_ = 0;      // cells left in the run being walked
};

} // namespace tessaly
