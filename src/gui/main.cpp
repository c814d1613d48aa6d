// tessaly: the invoice tool's window.
#include <QApplication>

#include "gui/MainWindow.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    tessaly::gui::SetUpApplicationFont();

    const std::string executable = tessaly::platform::ExecutableFile();
    tessaly::gui::MainWindow window(nullptr, executable,
                                    executable.empty() ? std::string() : tessaly::platform::ChangeFileExt(executable, ".ini"));
    window.show();
    return application.exec();
}
