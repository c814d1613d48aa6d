#pragma once
// The workbook data: style table, shared strings, workbook-level settings and one sheet data
// object (with its cell store) per sheet. The readers fill it; the workbook component owns it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workbook/Types.h"
#include "workbook/WbDataSST.h"
#include "workbook/WbDataStyleSheet.h"
#include "workbook/XLSCellStore.h"

namespace tessaly {

class TWbDataWorksheet {
public:
    TWbDataWorksheet(TWbDataSST& sst, TWbDataStyleSheet& styles) : cells_(sst, styles) {}
    // The cell store takes its row memory from `arena`, shared by the sheets of a workbook.
    TWbDataWorksheet(TWbDataSST& sst, TWbDataStyleSheet& styles, std::shared_ptr<cellcode::CellArena> arena)
        : cells_(sst, styles, std::move(arena)) {}

    std::u16string Name;
    int32_t SheetId = 0;
    uint8_t State = 0;          // 0 visible, 1 hidden, 2 very hidden
    std::string RelId;          // relationship id of the sheet part (.xlsx)
    bool IsChartSheet = false;

    TXLSCellStore& Cells() { return cells_; }
    const TXLSCellStore& Cells() const { return cells_; }

private:
    TXLSCellStore cells_;
};

class TWbDataWorksheets {
public:
    TWbDataWorksheets(TWbDataSST& sst, TWbDataStyleSheet& styles);

    // Appends sheet data with an empty cell store; a negative id becomes Count() + 1.
    TWbDataWorksheet& AddWorksheetData(int32_t sheetId);
    int32_t Count() const { return static_cast<int32_t>(sheets_.size()); }
    TWbDataWorksheet& Items(int32_t index);        // EListError outside the list
    const TWbDataWorksheet& Items(int32_t index) const;
    void Clear() { sheets_.clear(); }

private:
    TWbDataSST& sst_;
    TWbDataStyleSheet& styles_;
    std::shared_ptr<cellcode::CellArena> arena_;   // the memory of every sheet's cells
    std::vector<std::unique_ptr<TWbDataWorksheet>> sheets_;
};

// Workbook-level settings that reading values depends on.
struct TWbDataWorkbook {
    bool Date1904 = false;
    void Clear() { *this = TWbDataWorkbook(); }
};

class TWbManager {
public:
    TWbManager();

    TWbDataStyleSheet& StyleSheet() { return styles_; }
    TWbDataSST& SST() { return sst_; }
    TWbDataWorkbook& Workbook() { return workbook_; }
    TWbDataWorksheets& Worksheets() { return worksheets_; }
    const TWbDataSST& SST() const { return sst_; }
    const TWbDataWorksheets& Worksheets() const { return worksheets_; }

    TExcelVersion FileVersion = xvExcel2007;

    // Back to the start state: no sheets, no strings, default styles.
    void Clear();
    void BeginLoad() { loading_ = true; }
    // Ends a read: clears the loading mark, rebuilds the shared-string hash, compacts the stores.
    void AfterLoad();
    bool Loading() const { return loading_; }

private:
    TWbDataStyleSheet styles_;
    TWbDataSST sst_;
    TWbDataWorkbook workbook_;
    TWbDataWorksheets worksheets_;
    bool loading_ = false;
};

} // namespace tessaly
