#pragma once
// What the main window's logic asks of a user interface: file dialogs, message boxes, the
// default error display and closing the window. The Qt window implements it with real dialogs,
// tessaly-cli without any user, tests with a script.

#include <string>

namespace tessaly {

enum class TFileDialogKind { Open, Save };

// A file dialog's settings, kept by the main window between uses like a dialog component.
struct TFileDialog {
    std::string Name;              // "dlgOpen", "dlgSave", "SaveMBDialog"
    TFileDialogKind Kind = TFileDialogKind::Open;
    // Pairs of description and patterns, all joined by "|": "XML发票文件(*.xml)|*.xml".
    std::string Filter;
    int FilterIndex = 1;           // 1-based, the filter selected at first
    std::string DefaultExt;        // as set on the dialog: "*.xml"
    std::string InitialDir;        // where the dialog starts; empty: its own default
    std::string FileName;          // proposed name before, chosen full path after Execute
    bool OverwritePrompt = false;  // asks before replacing an existing file
    bool HideReadOnly = true;      // no read-only check box
    bool EnableSizing = true;      // resizable
};

enum class TMsgDlgType { Warning, Error, Information, Confirmation };
enum class TMsgDlgButtons { OK, YesNo };
enum class TModalResult { None, OK, Yes, No };

class TMainFormUi {
public:
    virtual ~TMainFormUi() = default;

    // Shows the dialog; true when the user chose a file, whose full path is then in FileName.
    virtual bool Execute(TFileDialog& dialog) = 0;
    // A message box; the text may hold "\r\n" line breaks.
    virtual TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
    // A plain message with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // The application's default error display: an error no handler caught.
    virtual void ShowException(const std::string& text) = 0;
    // Closes the main window (which ends the application).
    virtual void Close() = 0;
};

} // namespace tessaly
