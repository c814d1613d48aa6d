#pragma once
// The array-formula and data-table blocks of one sheet, looked up by cell: a cell without a
// formula of its own inside such a block is a member of the block's formula. Cells arrive row by
// row, so only the blocks that reach the current row are searched; a budget bounds the work a
// hostile sheet (many blocks, rows out of order) can cause, after which cells are no longer
// looked up (they keep their values).

#include <cstdint>
#include <vector>

#include "workbook/Types.h"

namespace tessaly {

class TXLSFormulaAreas {
public:
    struct Area {
        TXLSCellArea Range;
        bool Array;            // array formula; otherwise a data table
        TXLSCellPos Master;
    };

    explicit TXLSFormulaAreas(uint64_t budget = kBudget) : budget_(budget), initialBudget_(budget) {}

    void Clear();
    void Add(const Area& area);
    bool Empty() const { return areas_.empty(); }
    const Area* Find(int32_t col, int32_t row);

    static constexpr uint64_t kBudget = 256u << 20;   // area tests per sheet

private:
    std::vector<Area> areas_;
    std::vector<uint32_t> active_;   // areas that reach row activeRow_ or a later one
    int32_t activeRow_ = -1;
    uint32_t lastHit_ = UINT32_MAX;
    uint64_t budget_;
    uint64_t initialBudget_;
    TXLSCellArea bounds_{INT32_MAX, INT32_MAX, -1, -1};
};

} // namespace tessaly
