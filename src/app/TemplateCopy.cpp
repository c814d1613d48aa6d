// The template copy (Btn_Dir) and the help (btn_help): both open a file that lies beside the
// executable, the template after copying it where the user wants it.
#include "app/MainForm.h"
#include "platform/FileCopy.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"

namespace tessaly {

namespace {

constexpr const char* kExcelVersionQuestion = "请问这电脑上安装的Excel的版本是2007或更新的版本吗?";
constexpr const char* kTemplateXlsx = "开票清单模板.xlsx";   // Excel 2007 and later
constexpr const char* kTemplateXls = "开票清单模板.xls";     // older Excel
// Compiled HTML help exists only on Windows; the help is a plain HTML document everywhere.
constexpr const char* kHelpFile = "Quorra操作说明.html";

} // namespace

void TmainForm::Btn_DirClick() {
    const bool newExcel = ui_.MessageDlg(kExcelVersionQuestion, TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo) ==
                          TModalResult::Yes;
    const std::string templateName = newExcel ? kTemplateXlsx : kTemplateXls;

    SaveMBDialog.FileName = templateName;
    if (SaveMBDialog.InitialDir.empty()) SaveMBDialog.InitialDir = GetDesktopFolder();
    if (!ui_.Execute(SaveMBDialog)) return;   // the dialog has asked before replacing a file
    const std::string target = SaveMBDialog.FileName;
    SaveMBDialog.InitialDir = platform::ExtractFilePath(target);

    // Neither step reports a failure: a copy that failed simply opens what is there, or nothing.
    platform::CopyFileReplacing(platform::ExtractFilePath(executableFile_) + templateName, target);
    platform::ShellOpen(target);
}

void TmainForm::btn_helpClick() { platform::ShellOpen(platform::ExtractFilePath(executableFile_) + kHelpFile); }

} // namespace tessaly
