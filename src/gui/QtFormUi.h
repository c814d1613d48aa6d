#pragma once
// The main window's dialogs and messages as Qt dialogs and message boxes.

#include <functional>

#include <QString>
#include <QStringList>

#include "app/MainFormUi.h"

class QWidget;

namespace tessaly::gui {

// "desc|patterns|desc|patterns" ("*.xlsx;*.xls") as Qt name filters ("desc (*.xlsx *.xls)");
// "*.*" means every file, which on Linux is "*".
QStringList QtNameFilters(const std::string& filter);
// The dialog's default extension without "*." ("*.xml" -> "xml", "*.xls;*.xlsx" -> "xls").
QString QtDefaultSuffix(const std::string& defaultExt);
// Message texts use "\r\n" line breaks; Qt wants "\n".
QString QtMessageText(const std::string& text);

class QtFormUi : public TMainFormUi {
public:
    // `beforeShow` runs before any dialog or message appears (the window shows the current
    // field texts first).
    QtFormUi(QWidget* window, std::function<void()> beforeShow);

    bool Execute(TFileDialog& dialog) override;
    TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& text) override;
    void Close() override;

private:
    QWidget* window_;
    std::function<void()> beforeShow_;
};

} // namespace tessaly::gui
