#pragma once
// The Office Open XML reader: opens the package, reads styles, shared strings, the workbook's
// sheet list and every sheet's cells into the workbook data.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "workbook/Types.h"
#include "xlsx/XLSFormulaAreas.h"
#include "xlsx/XLSPackage.h"

namespace tessaly {

class TStream;
class TWbManager;
class TWbDataWorksheet;
class TXLSCellStore;
class TCT_Cell;
class TCT_Row;
class TCT_Rst;
class TCT_Workbook;
struct TWbFont;

// Reads the .xlsx package held in `stream` (not owned) into the cleared workbook data.
// Failures are exceptions; what was stored before a failure stays in the workbook data.
void ReadXlsxWorkbook(TWbManager& workbook, TStream& stream);

class TXLSReadXLSX {
public:
    explicit TXLSReadXLSX(TWbManager& manager);
    ~TXLSReadXLSX();

    void ReadFile(TStream& stream);

    // Called by the element classes as each item, cell and row ends.
    void AppendSharedString(TCT_Rst& item);
    void StoreCell(TCT_Cell& cell, TCT_Row& row);
    void StoreRow(TCT_Row& row);

private:
    struct SharedFormula {
        TXLSCellPos Master;
        TXLSCellArea Area;
        std::u16string Text;
    };

    void ReadStyles();
    void ReadSharedStrings();
    void ReadWorkbook(TCT_Workbook& workbook);
    void ReadSheets(TCT_Workbook& workbook);
    void ReadWorksheet(TWbDataWorksheet& sheet, std::unique_ptr<TStream> stream);
    void StoreFormulaCell(TCT_Cell& cell, int32_t col, int32_t row, uint16_t style);
    void StoreAreaMember(const TXLSFormulaAreas::Area& area, TCT_Cell& cell, int32_t col, int32_t row, uint16_t style);
    void SetCachedResult(TCT_Cell& cell);
    uint16_t CheckedStyle(int64_t style) const;
    int32_t FontFor(const TWbFont& font);

    TWbManager& manager_;
    TOPC_XLSX package_;
    TXLSCellStore* cells_ = nullptr;
    std::unordered_map<int64_t, SharedFormula> sharedFormulas_;
    TXLSFormulaAreas areas_;
    std::u16string text_;      // scratch for texts on their way into the model
    std::unordered_multimap<uint64_t, int32_t> fontIndex_;
    int32_t fontsIndexed_ = 0;
};

} // namespace tessaly
