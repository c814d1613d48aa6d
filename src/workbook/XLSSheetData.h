#pragma once
// The workbook and its worksheets as the application sees them: sheets by index, and cells by
// column and row as kind, text or number.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workbook/Types.h"
#include "workbook/WbManager.h"

namespace tessaly {

class TXLSWorksheet {
public:
    TXLSWorksheet(TWbDataWorksheet& data, const TWbDataSST& sst, const bool& showFormulas);

    const std::u16string& Name() const { return data_.Name; }
    TWbDataWorksheet& Data() { return data_; }

    void RecalcUsedArea();
    int32_t FirstUsedRow() const;
    int32_t LastUsedRow() const;
    int32_t FirstUsedCol() const;
    int32_t LastUsedCol() const;

    TXLSCellKind CellKind(int32_t col, int32_t row) const;
    std::u16string CellText(int32_t col, int32_t row) const;   // empty for a missing cell
    // CellText added to the end of `out`: a caller reading many cells reuses one buffer.
    void AppendCellText(int32_t col, int32_t row, std::u16string& out) const;
    double CellNumber(int32_t col, int32_t row) const;         // "Cell is missing/is of wrong type"

private:
    [[noreturn]] static void ThrowWrongType();

    TWbDataWorksheet& data_;
    const TWbDataSST& sst_;
    const bool& showFormulas_;
};

// Called for every cell of a sheet read, so defined here where callers can inline them.
inline TXLSCellKind TXLSWorksheet::CellKind(int32_t col, int32_t row) const {
    TXLSCellRef ref;
    if (!data_.Cells().LocateCell(col, row, ref)) return xckNone;
    return TXLSCellStore::KindOfTag(ref.Tag);
}

inline double TXLSWorksheet::CellNumber(int32_t col, int32_t row) const {
    const TXLSCellStore& cells = data_.Cells();
    TXLSCellRef ref;
    if (cells.LocateCell(col, row, ref)) {
        const TXLSCellKind kind = TXLSCellStore::KindOfTag(ref.Tag);
        if (kind == xckNumber) return cells.ReadNumber(ref);
        if (kind == xckNumberFormula) return cells.ReadFormulaNumber(ref);
    }
    ThrowWrongType();
}

class TXLSWorkbook {
public:
    TXLSWorkbook();   // one empty sheet, "Sheet1"
    virtual ~TXLSWorkbook();
    TXLSWorkbook(const TXLSWorkbook&) = delete;
    TXLSWorkbook& operator=(const TXLSWorkbook&) = delete;

    // Clears every workbook data and worksheet, then adds `count` sheets (clamped to 0..255).
    void ClearWorkbook(int count);
    TXLSWorksheet& AddSheet();
    TXLSWorksheet& SheetAt(int index);    // EListError outside the sheet list
    int SheetCount() const { return static_cast<int>(sheets_.size()); }

    TWbManager& Manager() { return manager_; }
    TExcelVersion Version = xvExcel2007;
    bool ShowFormulas = false;
    static constexpr const char16_t* SheetNamePrefix = u"Sheet";

protected:
    // After a completed read: one worksheet object per sheet data, in file order; then the
    // workbook data's own after-load steps.
    void AfterRead();

private:
    TWbManager manager_;
    std::vector<std::unique_ptr<TXLSWorksheet>> sheets_;
};

} // namespace tessaly
