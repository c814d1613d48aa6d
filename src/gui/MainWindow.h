#pragma once
// The main window "tessaly": the controls of the invoice tool laid out as designed, mirroring
// the fields of TmainForm, whose handlers the buttons run.

#include <memory>
#include <string>

#include <QWidget>

#include "app/MainForm.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

namespace tessaly::gui {

class LineTableModel;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // `ui` shows the dialogs and messages (null: Qt's own dialogs); `executableFile` gives the
    // version in the caption; `settingsFile` is read now and written when the window closes;
    // `readers` read the workbooks of the import.
    MainWindow(TMainFormUi* ui, const std::string& executableFile, const std::string& settingsFile,
               TXLSReaders readers = TXLSReaders::Default(), QWidget* parent = nullptr);
    ~MainWindow() override;

    TmainForm& Form() { return *form_; }
    // Shows the form's field texts, selection, caption and status texts in the controls.
    void RefreshFromForm();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildTopStrip();
    void BuildInvoiceGroup();
    QLineEdit* AddEdit(QWidget* parent, const char* name, int left, int top, int width, std::string TmainForm::*field);
    void AddLabel(QWidget* parent, const char* name, const char* caption, int right, int top);
    void RunHandler(void (TmainForm::*handler)());
    void CenterOnScreen();

    std::unique_ptr<TMainFormUi> ownUi_;
    std::unique_ptr<TmainForm> form_;
    struct FieldEdit {
        QLineEdit* edit;
        std::string TmainForm::*field;
    };
    std::vector<FieldEdit> edits_;
    QComboBox* combo_ = nullptr;
    QTableView* grid_ = nullptr;
    LineTableModel* model_ = nullptr;
    QSortFilterProxyModel* sorted_ = nullptr;
    QLabel* panels_[3] = {};
    bool destroyed_ = false;
};

// The application font: "宋体" 12 pixels (9 pt at 96 dpi), with the CJK fonts a Linux desktop
// has standing in for it.
void SetUpApplicationFont();

} // namespace tessaly::gui
