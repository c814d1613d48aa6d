#include "gui/QtFormUi.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace tessaly::gui {

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QString QtDefaultSuffix(const std::string& defaultExt) {
    QString first = QString::fromStdString(defaultExt).section(QLatin1Char(';'), 0, 0).trimmed();
    if (first.startsWith(QLatin1String("*."))) first.remove(0, 2);
    else if (first.startsWith(QLatin1Char('.'))) first.remove(0, 1);
    return first;
}

QString QtMessageText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return result;
}

QtFormUi::QtFormUi(QWidget* window, std::function<void()> beforeShow)
    : window_(window), beforeShow_(std::move(beforeShow)) {}

bool QtFormUi::Execute(TFileDialog& dialog) {
    if (beforeShow_) beforeShow_();
    QFileDialog box(window_);
    box.setObjectName(QString::fromStdString(dialog.Name));
    const bool save = dialog.Kind == TFileDialogKind::Save;
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = QtNameFilters(dialog.Filter);
    box.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size()) box.selectNameFilter(filters[dialog.FilterIndex - 1]);
    box.setDefaultSuffix(QtDefaultSuffix(dialog.DefaultExt));
    box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.OverwritePrompt);
    box.setSizeGripEnabled(dialog.EnableSizing);
    if (!dialog.InitialDir.empty()) box.setDirectory(QString::fromStdString(dialog.InitialDir));
    if (!dialog.FileName.empty()) box.selectFile(QString::fromStdString(dialog.FileName));
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.FileName = box.selectedFiles().first().toStdString();
    return true;
}

TModalResult QtFormUi::MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    if (beforeShow_) beforeShow_();
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (type) {
        case TMsgDlgType::Warning: icon = QMessageBox::Warning; break;
        case TMsgDlgType::Error: icon = QMessageBox::Critical; break;
        case TMsgDlgType::Information: icon = QMessageBox::Information; break;
        case TMsgDlgType::Confirmation: icon = QMessageBox::Question; break;
    }
    const bool yesNo = buttons == TMsgDlgButtons::YesNo;
    QMessageBox box(icon, QApplication::applicationDisplayName(), QtMessageText(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, window_);
    const int answer = box.exec();
    if (!yesNo) return TModalResult::OK;
    return answer == QMessageBox::Yes ? TModalResult::Yes : TModalResult::No;
}

void QtFormUi::ShowMessage(const std::string& text) {
    if (beforeShow_) beforeShow_();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), QtMessageText(text),
                    QMessageBox::Ok, window_);
    box.exec();
}

void QtFormUi::ShowException(const std::string& text) {
    if (beforeShow_) beforeShow_();
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), QtMessageText(text),
                    QMessageBox::Ok, window_);
    box.exec();
}

void QtFormUi::Close() {
    if (window_) window_->close();
}

} // namespace tessaly::gui
