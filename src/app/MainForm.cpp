#include "app/MainForm.h"

#include "app/IniFile.h"
#include "app/NumberTexts.h"
#include "platform/DesktopFolder.h"
#include "platform/FileVersion.h"
#include "platform/Paths.h"

namespace tessaly {

namespace {

constexpr const char* kUpgradeMessage = "版本1.1.9.0：\r\n\r\n● 增强了对开票软件的适用能力。";

// The folder part of a remembered path when that folder still exists, else the desktop.
std::string StartFolder(const std::string& rememberedPath) {
    const std::string folder = platform::ExtractFilePath(rememberedPath);
    return platform::DirectoryExists(folder) ? folder : TmainForm::GetDesktopFolder();
}

} // namespace

TmainForm::TmainForm(TMainFormUi& ui, std::string executableFile, TXLSReaders readers)
    : XLS(std::move(readers)), ui_(ui), executableFile_(std::move(executableFile)) {
    SettingsFile = executableFile_.empty() ? std::string() : platform::ChangeFileExt(executableFile_, ".ini");

    dlgOpen.Name = "dlgOpen";
    dlgOpen.Kind = TFileDialogKind::Open;
    dlgOpen.Filter = "开票清单(Excel表格)|*.xlsx;*.xls|All files (*.*)|*.*";
    dlgOpen.HideReadOnly = true;

    dlgSave.Name = "dlgSave";
    dlgSave.Kind = TFileDialogKind::Save;
    dlgSave.DefaultExt = "*.xml";
    dlgSave.Filter = "XML发票文件(*.xml)|*.xml";
    dlgSave.OverwritePrompt = true;

    SaveMBDialog.Name = "SaveMBDialog";
    SaveMBDialog.Kind = TFileDialogKind::Save;
    SaveMBDialog.DefaultExt = "*.xls;*.xlsx";
    SaveMBDialog.Filter = "Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx";
    SaveMBDialog.OverwritePrompt = true;

    Upgrader1.UpgradeMethod = umUseExternalSetup;
    Upgrader1.VersionControl = byNumber;
    Upgrader1.VersionNumber = "1.1.9.0";
    Upgrader1.VersionDate = "10/31/2017";
    Upgrader1.UpgradeMsg = kUpgradeMessage;
}

TmainForm::~TmainForm() = default;

std::string TmainForm::Combo_KPXEText() const {
    return Combo_KPXE >= 0 && Combo_KPXE < static_cast<int>(kKpxeItems.size())
               ? kKpxeItems[static_cast<size_t>(Combo_KPXE)] : "";
}

void TmainForm::FormCreate() {
    Edit_GFMC.clear();
    Edit_GFSH.clear();
    Edit_GFDZDH.clear();
    Edit_YHZH.clear();
    Edit_FHR.clear();
    Edit_SKR.clear();
    TaxInclusive = true;
    ProbeInvoicingSoftware();

    const std::string version = GetFileVersionText(executableFile_);
    Caption = kCaptionPrefix + version;
    StatusPanels = {kThanksPanelText, kContactPanelText, ""};

    if (!SettingsFile.empty()) {
        const TIniFile ini(SettingsFile);
        OpenFolder = StartFolder(ini.ReadString("Files", "Read", ""));
        SaveFolder = StartFolder(ini.ReadString("Files", "Write", ""));
        const int index = ini.ReadInteger("FPSetup", "KPXE", kDefaultKpxeIndex);
        Combo_KPXE = index >= 0 && index < static_cast<int>(kKpxeItems.size()) ? index : -1;
        Edit_FHR = ini.ReadString("FPSetup", "FHR", "");
        Edit_SKR = ini.ReadString("FPSetup", "SHR", "");
    } else {
        OpenFolder = SaveFolder = GetDesktopFolder();
        Combo_KPXE = kDefaultKpxeIndex;
    }

    // The update check never holds up or fails the start-up.
    try {
        Upgrader1.VersionNumber = version;
        Upgrader1.CheckUpdate();
    } catch (...) {
    }
}

void TmainForm::FormDestroy() {
    if (SettingsFile.empty()) return;
    TIniFile ini(SettingsFile);
    if (!IsBlankText(edReadFilename)) ini.WriteString("Files", "Read", edReadFilename);
    if (!IsBlankText(Edit_XMLFilename)) ini.WriteString("Files", "Write", Edit_XMLFilename);
    ini.WriteInteger("FPSetup", "KPXE", Combo_KPXE);
    ini.WriteString("FPSetup", "FHR", Edit_FHR);
    ini.WriteString("FPSetup", "SHR", Edit_SKR);
    ini.UpdateFile();
}

void TmainForm::btn_exitClick() { ui_.Close(); }

void TmainForm::Run(void (TmainForm::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        ui_.ShowException(error.what());
    }
}

std::string TmainForm::GetDesktopFolder() { return platform::DesktopFolder(); }

std::string TmainForm::GetFileVersionText(const std::string& file) {
    return platform::GetFileVersionText(file);
}

long double TmainForm::InvoiceLimit() const {
    static constexpr long double kLimits[] = {1000, 10000, 100000, 1000000, 10000000};
    return Combo_KPXE >= 0 && Combo_KPXE < 5 ? kLimits[Combo_KPXE] : 0;
}

void TmainForm::ShowTaxInclusiveCaptions() {
    Lines.SetCaption(liPrice, TaxInclusive ? "单价(含税)" : "单价(不含税)");
    Lines.SetCaption(liAmount, TaxInclusive ? "金额(含税)" : "金额(不含税)");
}

} // namespace tessaly
