#include "workbook/WbManager.h"

#include "core/Exception.h"
#include "workbook/XLSCellArena.h"

namespace tessaly {

TWbDataWorksheets::TWbDataWorksheets(TWbDataSST& sst, TWbDataStyleSheet& styles)
    : sst_(sst), styles_(styles), arena_(std::make_shared<cellcode::CellArena>()) {}

TWbDataWorksheet& TWbDataWorksheets::AddWorksheetData(int32_t sheetId) {
    auto sheet = std::make_unique<TWbDataWorksheet>(sst_, styles_, arena_);
    sheet->SheetId = sheetId < 0 ? Count() + 1 : sheetId;
    sheets_.push_back(std::move(sheet));
    return *sheets_.back();
}

TWbDataWorksheet& TWbDataWorksheets::Items(int32_t index) {
    if (index < 0 || index >= Count()) throw EListError(index);
    return *sheets_[index];
}

const TWbDataWorksheet& TWbDataWorksheets::Items(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return *sheets_[index];
}

TWbManager::TWbManager() : sst_(styles_), worksheets_(sst_, styles_) {}

void TWbManager::Clear() {
    // The sheets go first: their cells refer to the strings and formats cleared after them.
    worksheets_.Clear();
    workbook_.Clear();
    sst_.ClearStrings();
    styles_.Clear();
    loading_ = false;
}

void TWbManager::AfterLoad() {
    loading_ = false;
    sst_.RebuildHash();
    for (int32_t i = 0; i < worksheets_.Count(); ++i) worksheets_.Items(i).Cells().Compact();
}

} // namespace tessaly
