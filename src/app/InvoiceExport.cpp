// Btn_OutputClick: writes the line table and the invoice fields of the main window as one XML
// invoice file, the import file of the invoicing software.
#include "app/InvoiceXml.h"
#include "app/LineArithmetic.h"
#include "app/MainForm.h"
#include "app/NumberTexts.h"
#include "core/NumberText.h"
#include "core/Utf.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tessaly {

namespace {

constexpr size_t kTaxCodeLength = 19;

// A cell that holds a value other than the empty text.
bool IsPresent(const TLineValue& value) {
    return !value.IsEmpty() && !(value.Kind() == TLineValueKind::Text && value.AsTextValue().empty());
}

// The classification code: trimmed, then padded with "0" or cut to 19 characters.
std::string TaxCodeText(const TLineValue& value) {
    const std::u16string text = Utf8ToUtf16(TrimText(value.ToText()));
    std::u16string result;   // counted in characters: a surrogate pair is one
    size_t characters = 0;
    for (size_t i = 0; i < text.size() && characters < kTaxCodeLength; ++i) {
        result.push_back(text[i]);
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) result.push_back(text[++i]);
        ++characters;
    }
    result.append(kTaxCodeLength - characters, u'0');
    return Utf16ToUtf8(result);
}

std::string ControlCharacterInField(const char* field) {
    return std::string("【") + field + "】中含有XML文件不能保存的控制字符，请删除后再生成开票文件！";
}

std::string ControlCharacterInLine(int line, const std::string& column) {
    return "开票清单的第 " + std::to_string(line) + " 行【" + column +
           "】中含有XML文件不能保存的控制字符，请在Excel表中修改后再导入！";
}

} // namespace

void TmainForm::Btn_OutputClick() {
    LastExportWritten = false;
    if (Lines.RecordCount() == 0) {
        ui_.MessageDlg("请先导入按照模板格式填写的销货清单（Excel表格）！", TMsgDlgType::Error, TMsgDlgButtons::OK);
        return;
    }

    const std::string lastFolder = platform::ExtractFilePath(Edit_XMLFilename);
    dlgSave.InitialDir = platform::DirectoryExists(lastFolder) ? lastFolder : SaveFolder;
    dlgSave.FileName = platform::ChangeFileExt(platform::ExtractFileName(edReadFilename), ".xml");
    if (!ui_.Execute(dlgSave)) return;
    Edit_XMLFilename = dlgSave.FileName;
    const std::string target = Edit_XMLFilename;
    bool good = true;

    TInvoiceXmlWriter xml;
    // A field the user typed: refused with a message when XML cannot carry it.
    const auto field = [&](const char* element, const std::string& text, const char* label) {
        if (!good) return;
        if (!xml.AddTextChild(element, text)) {
            ui_.ShowMessage(ControlCharacterInField(label));
            good = false;
        }
    };
    xml.Open("Kp");
    xml.AddTextChild("Version", "2.0");
    xml.Open("Fpxx");
    xml.AddTextChild("Zsl", "1");
    xml.Open("Fpsj");
    xml.Open("Fp");
    xml.AddTextChild("Djh", "1");
    field("Gfmc", Edit_GFMC, "购货单位名称");
    field("Gfsh", Edit_GFSH, "纳税人识别号");
    field("Gfyhzh", Edit_YHZH, "开户行及账号");
    field("Gfdzdh", Edit_GFDZDH, "地址、电话");
    xml.AddTextChild("Bz", "");
    field("Fhr", Edit_FHR, "复核人");
    field("Skr", Edit_SKR, "收款人");
    field("Spbmbbh", Edit_SPBMBBH, "商品编码版本");
    xml.AddTextChild("Hsbz", "0");
    xml.Open("Spxx");

    for (int i = 0; good && i < Lines.RecordCount(); ++i) {
        const auto text = [&](int item) { return Lines.Value(i, item).ToText(); };
        // A line's cell: refused with a message naming the line and the column.
        const auto cell = [&](const char* element, const std::string& value, int item) {
            if (!good) return;
            if (!xml.AddTextChild(element, value)) {
                ui_.ShowMessage(ControlCharacterInLine(i + 1, Lines.Caption(item)));
                good = false;
            }
        };
        if (IsBlankText(text(liName))) break;   // the list ends here; the export stays good

        xml.Open("Sph");
        xml.AddTextChild("Xh", std::to_string(i + 1));
        cell("Spmc", text(liName), liName);
        cell("Ggxh", text(liModel), liModel);
        cell("Jldw", text(liUnit), liUnit);
        if (!good) break;

        const long double rate = StrToFloat(text(liRate));
        if (IsPresent(Lines.Value(i, liQuantity)) && IsPresent(Lines.Value(i, liPrice))) {
            const long double price = ExportValueWithoutTax(StrToFloat(text(liPrice)), rate, TaxInclusive);
            cell("Sl", text(liQuantity), liQuantity);
            xml.AddTextChild("Dj", FormatGeneral(price, 18));
        } else {
            xml.AddTextChild("Sl", "");
            xml.AddTextChild("Dj", "");
        }
        const long double amount = ExportValueWithoutTax(StrToFloat(text(liAmount)), rate, TaxInclusive);
        xml.AddTextChild("Je", FormatGeneral(amount, 18));
        cell("Slv", text(liRate), liRate);
        if (!good) break;

        if (Lines.Value(i, liTaxCode).IsEmpty()) {
            ui_.ShowMessage("开票清单的第 " + std::to_string(i + 1) +
                            " 行未填写【税收分类编码】，请在Excel表中填好后再导入！");
            good = false;
            break;
        }
        cell("Spbm", TaxCodeText(Lines.Value(i, liTaxCode)), liTaxCode);
        cell("Qyspbm", text(liOwnCode), liOwnCode);
        xml.AddTextChild("Syyhzcbz", "0");
        xml.AddTextChild("Kce", "0");
        xml.AddTextChild("Lslbz", "");
        xml.AddTextChild("Yhzcsm", "");
        xml.Close();   // Sph
    }
    if (!good) return;   // nothing is written

    xml.Close();   // Spxx
    xml.Close();   // Fp
    xml.Close();   // Fpsj
    xml.Close();   // Fpxx
    xml.Close();   // Kp
    // Written whole or not at all: a failed save leaves an existing file as it was.
    platform::WriteFileAtomically(target, xml.Bytes());
    LastExportWritten = true;
    ui_.MessageDlg(target + "\r\n" + "文件导出成功！" + "\r\n" + "请在开票软件中导入该.xml文件并开具发票。",
                   TMsgDlgType::Information, TMsgDlgButtons::OK);
}

} // namespace tessaly
