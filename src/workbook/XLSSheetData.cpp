#include "workbook/XLSSheetData.h"

#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "core/NumberText.h"

namespace tessaly {

namespace {

void AppendNumberText(double value, std::u16string& out) {
    const std::string text = FormatGeneral(value, 15);
    out.append(text.begin(), text.end());   // digits, sign, '.', 'E': all ASCII
}

void AppendBoolText(bool value, std::u16string& out) { out += value ? kBoolTrueText : kBoolFalseText; }

} // namespace

// ---- TXLSWorksheet --------------------------------------------------------------------------

TXLSWorksheet::TXLSWorksheet(TWbDataWorksheet& data, const TWbDataSST& sst, const bool& showFormulas)
    : data_(data), sst_(sst), showFormulas_(showFormulas) {}

void TXLSWorksheet::RecalcUsedArea() { data_.Cells().RecalcUsedArea(); }
int32_t TXLSWorksheet::FirstUsedRow() const { return data_.Cells().UsedArea().FirstRow; }
int32_t TXLSWorksheet::LastUsedRow() const { return data_.Cells().UsedArea().LastRow; }
int32_t TXLSWorksheet::FirstUsedCol() const { return data_.Cells().UsedArea().FirstCol; }
int32_t TXLSWorksheet::LastUsedCol() const { return data_.Cells().UsedArea().LastCol; }

std::u16string TXLSWorksheet::CellText(int32_t col, int32_t row) const {
    std::u16string text;
    AppendCellText(col, row, text);
    return text;
}

void TXLSWorksheet::AppendCellText(int32_t col, int32_t row, std::u16string& out) const {
    const TXLSCellStore& cells = data_.Cells();
    TXLSCellRef ref;
    if (!cells.LocateCell(col, row, ref)) return;
    const TXLSCellKind kind = TXLSCellStore::KindOfTag(ref.Tag);
    if (showFormulas_ && kind >= xckNumberFormula) {
        // The formula as text; compiled formula data has no text form here.
        const TXLSFormulaBody body = cells.ReadFormulaBody(ref);
        if (body.IsText) out += body.Text;
        return;
    }
    switch (kind) {
        case xckBoolean: AppendBoolText(cells.ReadBoolean(ref), out); break;
        case xckError: out += ErrorText(cells.ReadError(ref)); break;
        case xckString: {
            const uint32_t index = cells.ReadStringIndex(ref);
            if (index > INT32_MAX) throw Exception("Index out of range");
            sst_.AppendStringTo(static_cast<int32_t>(index), out);
            break;
        }
        case xckNumber: AppendNumberText(cells.ReadNumber(ref), out); break;
        case xckNumberFormula: AppendNumberText(cells.ReadFormulaNumber(ref), out); break;
        case xckStringFormula: out += cells.ReadFormulaText(ref); break;
        case xckBooleanFormula: AppendBoolText(cells.ReadFormulaBoolean(ref), out); break;
        case xckErrorFormula: out += ErrorText(cells.ReadFormulaError(ref)); break;
        default: break;
    }
}

void TXLSWorksheet::ThrowWrongType() { throw Exception("Cell is missing/is of wrong type"); }

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
