#pragma once
// The main window's logic without any user interface: the text of every field, the limit
// choice, the line table, the start-up and shut-down sequences and the button handlers. A user
// interface (TMainFormUi) shows the dialogs and messages; the Qt window mirrors the fields into
// its controls, tessaly-cli fills them from its options.

#include <array>
#include <memory>
#include <string>

#include "app/LineTable.h"
#include "app/MainFormUi.h"
#include "app/Upgrader.h"
#include "document/XLSDocument.h"

namespace tessaly {

// The items of Combo_KPXE, the invoice limit without tax; the first ends with a blank.
constexpr std::array<const char*, 5> kKpxeItems = {" 一千 ", " 一万", " 十万", " 百万", " 千万"};
constexpr int kDefaultKpxeIndex = 2;

constexpr const char* kApplicationTitle = "Tessaly";
constexpr const char* kCaptionPrefix = "Tessaly（金税盘版） V";
constexpr const char* kThanksPanelText = "感谢支持！如有任何改进软件的需求或建议请联系我们。";
constexpr const char* kContactPanelText = "Tessaly 开发组";

class TmainForm {
public:
    // `executableFile` is the running program (its version stamp gives the caption; the settings
    // file lies beside it). `readers` read the workbooks of the import (tests replace them).
    TmainForm(TMainFormUi& ui, std::string executableFile, TXLSReaders readers = TXLSReaders::Default());
    ~TmainForm();
    TmainForm(const TmainForm&) = delete;
    TmainForm& operator=(const TmainForm&) = delete;

    // --- Fields (UTF-8 text of each control) ---
    std::string Caption = kApplicationTitle;
    std::string edReadFilename;     // full path of the workbook last chosen for import
    std::string Edit_XMLFilename;   // full path of the XML file last chosen for export
    std::string Edit_GFMC = "购方名称";      // buyer name
    std::string Edit_GFSH = "购方税号";      // buyer taxpayer number
    std::string Edit_GFDZDH = "购方地址电话"; // buyer address and telephone
    std::string Edit_YHZH = "开户行及账号";   // buyer bank and account
    std::string Edit_FHR = "复核人";         // reviewer
    std::string Edit_SKR = "收款人";         // payee
    std::string Edit_SPBMBBH = "13";        // product-code version
    int Combo_KPXE = kDefaultKpxeIndex;     // selected item of the limit list; -1 for none
    std::string Edit_JeHJ;          // total with tax
    std::string Edit_JeBhsHJ;       // total without tax
    std::string Edit_SeHJ;          // tax total
    std::array<std::string, 3> StatusPanels;

    // The text the limit list shows: its selected item, empty when none.
    std::string Combo_KPXEText() const;

    // --- State that is not a control ---
    std::string OpenFolder;         // where the open dialog starts without a usable edReadFilename
    std::string SaveFolder;         // where the export's save dialog starts otherwise
    bool TaxInclusive = true;       // whether the imported amounts include tax
    TLineTable Lines;               // the grid's record store
    TFileDialog dlgOpen;
    TFileDialog dlgSave;
    TFileDialog SaveMBDialog;
    TUpgrader Upgrader1;
    TXLSDocument XLS;               // the workbook of the last import

    // The settings file: the executable's path with ".ini"; empty means no settings are read or
    // written (tessaly-cli).
    std::string SettingsFile;
    const std::string& ExecutableFile() const { return executableFile_; }

    // Whether the last Btn_OutputClick wrote the invoice file.
    bool LastExportWritten = false;

    // --- Handlers ---
    void FormCreate();
    void FormDestroy();
    void btn_exitClick();
    void Btn_importClick();
    void Btn_OutputClick();
    void Btn_DirClick();
    void btn_helpClick();

    // Runs a handler the way the application runs event handlers: an error the handler does not
    // catch ends it and goes to the default error display.
    void Run(void (TmainForm::*handler)());

    // Fills Edit_SPBMBBH from the installed invoicing software's configuration (start-up).
    void ProbeInvoicingSoftware();
    // Names the seller's data in the invoicing software's installation; empty: no probe.
    std::string SellerKey = BuiltInSellerKey();
    static std::string BuiltInSellerKey();   // the key the build was configured with

    // The current user's desktop folder; empty when there is none.
    static std::string GetDesktopFolder();
    // "major.minor.release.build" of an executable; "" without a version, "-1" on a read error.
    static std::string GetFileVersionText(const std::string& file);

    // The invoice limit without tax for the selection of Combo_KPXE (0 without a selection).
    long double InvoiceLimit() const;
    // Retitles the price and amount columns after TaxInclusive.
    void ShowTaxInclusiveCaptions();

    TMainFormUi& Ui() { return ui_; }

private:
    TMainFormUi& ui_;
    std::string executableFile_;
};

} // namespace tessaly
