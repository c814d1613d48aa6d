#include "xlsx/XLSFormulaAreas.h"

#include <algorithm>

namespace tessaly {

void TXLSFormulaAreas::Clear() {
    areas_.clear();
    active_.clear();
    activeRow_ = -1;
    lastHit_ = UINT32_MAX;
    budget_ = initialBudget_;
    bounds_ = {INT32_MAX, INT32_MAX, -1, -1};
}

void TXLSFormulaAreas::Add(const Area& area) {
    const TXLSCellArea& r = area.Range;
    bounds_.FirstCol = std::min(bounds_.FirstCol, r.FirstCol);
    bounds_.FirstRow = std::min(bounds_.FirstRow, r.FirstRow);
    bounds_.LastCol = std::max(bounds_.LastCol, r.LastCol);
    bounds_.LastRow = std::max(bounds_.LastRow, r.LastRow);
    areas_.push_back(area);
    if (r.LastRow >= activeRow_) active_.push_back(static_cast<uint32_t>(areas_.size() - 1));
}

const TXLSFormulaAreas::Area* TXLSFormulaAreas::Find(int32_t col, int32_t row) {
    if (areas_.empty() || !bounds_.Contains(col, row) || budget_ == 0) return nullptr;
    if (lastHit_ < areas_.size() && areas_[lastHit_].Range.Contains(col, row)) return &areas_[lastHit_];
    if (row != activeRow_) {
        if (row > activeRow_) {
            // Rows go forward: blocks that ended above this row are done with.
            budget_ -= std::min<uint64_t>(budget_, active_.size());
            std::erase_if(active_, [&](uint32_t i) { return areas_[i].Range.LastRow < row; });
        } else {
            budget_ -= std::min<uint64_t>(budget_, areas_.size());
            active_.clear();
            for (uint32_t i = 0; i < areas_.size(); ++i)
                if (areas_[i].Range.LastRow >= row) active_.push_back(i);
        }
        activeRow_ = row;
    }
    for (uint32_t i : active_) {
        if (budget_ == 0) return nullptr;
        --budget_;
        if (areas_[i].Range.Contains(col, row)) {
            lastHit_ = i;
            return &areas_[i];
        }
    }
    return nullptr;
}

} // namespace tessaly
