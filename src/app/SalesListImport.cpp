// Btn_importClick: reads the first sheet of a sales-list workbook into the line table, with the
// three totals, a summary message and a warning when the invoice limit is exceeded.
#include <cmath>

#include "app/LineArithmetic.h"
#include "app/MainForm.h"
#include "app/NumberTexts.h"
#include "core/Utf.h"
#include "platform/Paths.h"

namespace tessaly {

namespace {

constexpr const char* kTaxQuestion =
    "开票清单Excel表格中的金额可以是【含税价】或【不含税价】，\r\n\r\n请问这开票清单中的金额是【含税价】吗？";

constexpr int32_t kAmountColumn = 5;   // F
constexpr int32_t kRateColumn = 6;     // G

// Resumes the view's updates however the import ends.
class UpdateSuspension {
public:
    explicit UpdateSuspension(TLineTable& table) : table_(table) { table_.BeginUpdate(); }
    ~UpdateSuspension() { Resume(); }
    UpdateSuspension(const UpdateSuspension&) = delete;
    UpdateSuspension& operator=(const UpdateSuspension&) = delete;
    void Resume() {
        if (active_) table_.EndUpdate();
        active_ = false;
    }

private:
    TLineTable& table_;
    bool active_ = true;
};

std::string CellMessage(int32_t row, int32_t col, const char* kind) {
    return "第" + std::to_string(row) + "行第" + std::to_string(col) + "列" +
           "数据格式错误，请参照模板填写开票清单表格。" + kind;
}

// Takes the cell (col, row) into the record as the cell's kind says; the amount or the rate of
// the line when it is column F or G. False when taking or storing failed (`kind` names how).
bool TakeCell(const TXLSWorksheet& sheet, int32_t col, int32_t row, TLineTable& lines, int record,
              long double& amount, long double& rate, const char*& kind) {
    const int item = col + 1;
    const bool numeric = col == kAmountColumn || col == kRateColumn;
    kind = "（String）";
    try {
        switch (sheet.CellKind(col, row)) {
            case xckString: {
                const std::string text = TrimText(Utf16ToUtf8(sheet.CellText(col, row)));
                if (!numeric) {
                    lines.SetValue(record, item, TLineValue::Text(text));
                    return true;
                }
                double value = static_cast<double>(StrToFloat(text));
                if (col == kAmountColumn) value = RoundToDecimals(value, 2);
                lines.SetValue(record, item, TLineValue::Float(value));
                (col == kAmountColumn ? amount : rate) = value;
                return true;
            }
            case xckNumber:
            case xckNumberFormula: {
                if (numeric) kind = "（Float）";
                double value = sheet.CellNumber(col, row);
                if (col == kAmountColumn) value = RoundToDecimals(value, 2);
                lines.SetValue(record, item, TLineValue::Float(value));
                if (numeric) (col == kAmountColumn ? amount : rate) = value;
                return true;
            }
            case xckStringFormula:
                // Stored as text; it counts neither as the amount nor as the rate.
                lines.SetValue(record, item, TLineValue::Text(TrimText(Utf16ToUtf8(sheet.CellText(col, row)))));
                return true;
            default:
                return true;   // blanks, booleans, errors: nothing is stored
        }
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

void TmainForm::Btn_importClick() {
    // 1-2: the workbook
    if (platform::FileExists(edReadFilename)) {
        dlgOpen.InitialDir = platform::ExtractFilePath(edReadFilename);
        dlgOpen.FileName = platform::ExtractFileName(edReadFilename);
    } else {
        dlgOpen.InitialDir = OpenFolder;
        dlgOpen.FileName.clear();
    }
    if (!ui_.Execute(dlgOpen)) return;
    edReadFilename = dlgOpen.FileName;

    // 3: whether the amounts include tax
    TaxInclusive = ui_.MessageDlg(kTaxQuestion, TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo) == TModalResult::Yes;
    ShowTaxInclusiveCaptions();

    // 4-5
    Edit_XMLFilename.clear();
    const long double limit = InvoiceLimit();
    Edit_JeHJ.clear();
    Edit_JeBhsHJ.clear();
    Edit_SeHJ.clear();
    Lines.SetRecordCount(0);
    UpdateSuspension suspended(Lines);

    // 6-7: a workbook that cannot be read ends the import here
    XLS.SetFilename(edReadFilename);
    XLS.LoadWorkbook();
    Lines.SetRecordCount(0);
    TInvoiceTotals totals;

    // 8: only the heading row, or nothing at all
    TXLSWorksheet& sheet = XLS.SheetAt(0);
    sheet.RecalcUsedArea();
    const int32_t firstRow = sheet.FirstUsedRow();
    const int32_t lastRow = sheet.LastUsedRow();
    if (lastRow <= firstRow) return;

    // 9-10: sheet row r is record r - 1. The records are made as the walk reaches them rather
    // than all at once: the list usually ends long before the last formatted row, and the end
    // state is the same.
    for (int32_t r = firstRow + 1; r <= lastRow; ++r) {
        if (Lines.RecordCount() < r) Lines.SetRecordCount(r);
        const int record = r - 1;
        long double amount = 0;
        long double rate = 0;
        Lines.SetValue(record, liNumber, TLineValue::Integer(r));
        for (int32_t c = sheet.FirstUsedCol(); c <= sheet.LastUsedCol(); ++c) {
            const char* kind = nullptr;
            if (!TakeCell(sheet, c, r, Lines, record, amount, rate, kind)) ui_.ShowMessage(CellMessage(r, c, kind));
        }
        if (IsBlankText(Lines.Value(record, liName).ToText())) {
            Lines.SetRecordCount(r - 1);
            break;
        }
        totals.AddLine(amount, rate, TaxInclusive);
    }

    // 11
    suspended.Resume();
    Lines.ApplyBestFit();

    // 12-14
    const std::string withTax = FormatTwoDecimals(totals.WithTax);
    const std::string withoutTax = FormatTwoDecimals(totals.WithoutTax);
    const std::string tax = FormatTwoDecimals(totals.Tax);
    ui_.MessageDlg("本开票清单合计数\r\n\r\n" + std::string("　含税金额合计：") + withTax + "\r\n" + "不含税金额合计：" +
                       withoutTax + "\r\n" + "　　　税额合计：" + tax,
                   TMsgDlgType::Information, TMsgDlgButtons::OK);
    // The total is compared as shown, to the cent: sums of amounts in base 2 can lie a hair
    // above a limit they equal.
    if (StrToFloat(withoutTax) > limit)
        ui_.MessageDlg("请注意，这张发票的金额合计数超过了设置的发票开票限额【" + TrimText(Combo_KPXEText()) + "】!",
                       TMsgDlgType::Warning, TMsgDlgButtons::OK);
    Edit_JeHJ = withTax;
    Edit_JeBhsHJ = withoutTax;
    Edit_SeHJ = tax;
}

} // namespace tessaly
