#pragma once
// The main window's dialogs and messages without a user: the dialogs choose the files given on
// the command line, the tax question gets the answer given there, and every message is written
// to a stream (UTF-8, "\r\n" as "\n"), each followed by a line "---".

#include <ostream>
#include <string>

#include "app/MainFormUi.h"

namespace tessaly::cli {

class TConsoleUi : public TMainFormUi {
public:
    TConsoleUi(std::ostream& out, std::string workbook, std::string target, bool taxInclusive);

    bool Execute(TFileDialog& dialog) override;
    TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& text) override;
    void Close() override {}

    void Print(const std::string& text);

private:
    std::ostream& out_;
    std::string workbook_;
    std::string target_;
    bool taxInclusive_;
};

} // namespace tessaly::cli
