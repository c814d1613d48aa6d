#include "cli/ConsoleUi.h"

namespace tessaly::cli {

TConsoleUi::TConsoleUi(std::ostream& out, std::string workbook, std::string target, bool taxInclusive)
    : out_(out), workbook_(std::move(workbook)), target_(std::move(target)), taxInclusive_(taxInclusive) {}

bool TConsoleUi::Execute(TFileDialog& dialog) {
    dialog.FileName = dialog.Kind == TFileDialogKind::Open ? workbook_ : target_;
    return true;
}

TModalResult TConsoleUi::MessageDlg(const std::string& text, TMsgDlgType, TMsgDlgButtons buttons) {
    Print(text);
    if (buttons == TMsgDlgButtons::OK) return TModalResult::OK;
    return taxInclusive_ ? TModalResult::Yes : TModalResult::No;
}

void TConsoleUi::ShowMessage(const std::string& text) { Print(text); }

void TConsoleUi::ShowException(const std::string& text) { Print(text); }

void TConsoleUi::Print(const std::string& text) {
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines.push_back(text[i]);
    }
    out_ << lines << "\n---\n";
    out_.flush();
}

} // namespace tessaly::cli
