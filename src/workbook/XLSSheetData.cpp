#include "workbook/XLSSheetData.h"

#include <string>

#include "core/Exception.h"
#include "core/NumberText.h"

namespace tessaly {

namespace {

std::u16string NumberText(double value) {
    const std::string text = FormatGeneral(value, 15);
    return std::u16string(text.begin(), text.end());   // digits, sign, '.', 'E': all ASCII
}

std::u16string BoolText(bool value) {
    return std::u16string(value ? kBoolTrueText : kBoolFalseText);
}

} // namespace

// ---- TXLSWorksheet --------------------------------------------------------------------------

TXLSWorksheet::TXLSWorksheet(TWbDataWorksheet& data, const TWbDataSST& sst, const bool& showFormulas)
    : data_(data), sst_(sst), showFormulas_(showFormulas) {}

void TXLSWorksheet::RecalcUsedArea() { data_.Cells().RecalcUsedArea(); }
int32_t TXLSWorksheet::FirstUsedRow() const { return data_.Cells().UsedArea().FirstRow; }
int32_t TXLSWorksheet::LastUsedRow() const { return data_.Cells().UsedArea().LastRow; }
int32_t TXLSWorksheet::FirstUsedCol() const { return data_.Cells().UsedArea().FirstCol; }
int32_t TXLSWorksheet::LastUsedCol() const { return data_.Cells().UsedArea().LastCol; }

TXLSCellKind TXLSWorksheet::CellKind(int32_t col, int32_t row) const {
    TXLSCellRef ref;
    if (!data_.Cells().LocateCell(col, row, ref)) return xckNone;
    return TXLSCellStore::KindOfTag(ref.Tag);
}

std::u16string TXLSWorksheet::CellText(int32_t col, int32_t row) const {
    const TXLSCellStore& cells = data_.Cells();
    TXLSCellRef ref;
    if (!cells.LocateCell(col, row, ref)) return {};
    const TXLSCellKind kind = TXLSCellStore::KindOfTag(ref.Tag);
    if (showFormulas_ && kind >= xckNumberFormula) {
        // The formula as text; compiled formula data has no text form here.
        TXLSFormulaBody body = cells.ReadFormulaBody(ref);
        return body.IsText ? std::move(body.Text) : std::u16string();
    }
    switch (kind) {
        case xckBoolean: return BoolText(cells.ReadBoolean(ref));
        case xckError: return std::u16string(ErrorText(cells.ReadError(ref)));
        case xckString: return cells.ReadText(ref);
        case xckNumber: return NumberText(cells.ReadNumber(ref));
        case xckNumberFormula: return NumberText(cells.ReadFormulaNumber(ref));
        case xckStringFormula: return cells.ReadFormulaText(ref);
        case xckBooleanFormula: return BoolText(cells.ReadFormulaBoolean(ref));
        case xckErrorFormula: return std::u16string(ErrorText(cells.ReadFormulaError(ref)));
        default: return {};
    }
}

double TXLSWorksheet::CellNumber(int32_t col, int32_t row) const {
    const TXLSCellStore& cells = data_.Cells();
    TXLSCellRef ref;
    if (cells.LocateCell(col, row, ref)) {
        const TXLSCellKind kind = TXLSCellStore::KindOfTag(ref.Tag);
        if (kind == xckNumber) return cells.ReadNumber(ref);
        if (kind == xckNumberFormula) return cells.ReadFormulaNumber(ref);
    }
    throw Exception("Cell is missing/is of wrong type");
}

// ---- TXLSWorkbook ---------------------------------------------------------------------------

TXLSWorkbook::TXLSWorkbook() { ClearWorkbook(1); }

TXLSWorkbook::~TXLSWorkbook() = default;

void TXLSWorkbook::ClearWorkbook(int count) {
    sheets_.clear();   // the wrappers first: they refer to the sheet data
    manager_.Clear();
    if (count < 0) count = 0;
    if (count > 255) count = 255;
    for (int i = 0; i < count; ++i) AddSheet();
}

TXLSWorksheet& TXLSWorkbook::AddSheet() {
    TWbDataWorksheets& data = manager_.Worksheets();
    const int32_t existing = data.Count();
    std::u16string name;
    for (int k = 0; k <= 1000 && name.empty(); ++k) {
        const std::string number = std::to_string(k + existing + 1);
        std::u16string candidate = SheetNamePrefix;
        candidate.append(number.begin(), number.end());
        bool taken = false;
        for (int32_t i = 0; i < existing && !taken; ++i)
            taken = SameTextIgnoringCase(data.Items(i).Name, candidate);
        if (!taken) name = std::move(candidate);
    }
    if (name.empty()) throw Exception("Can not create unique worksheet name");
    TWbDataWorksheet& sheet = data.AddWorksheetData(-1);
    sheet.Name = std::move(name);
    sheets_.push_back(std::make_unique<TXLSWorksheet>(sheet, manager_.SST(), ShowFormulas));
    return *sheets_.back();
}

TXLSWorksheet& TXLSWorkbook::SheetAt(int index) {
    if (index < 0 || static_cast<size_t>(index) >= sheets_.size()) throw EListError(index);
    return *sheets_[index];
}

void TXLSWorkbook::AfterRead() {
    sheets_.clear();
    TWbDataWorksheets& data = manager_.Worksheets();
    for (int32_t i = 0; i < data.Count(); ++i)
        sheets_.push_back(std::make_unique<TXLSWorksheet>(data.Items(i), manager_.SST(), ShowFormulas));
    manager_.AfterLoad();
}

} // namespace tessaly
