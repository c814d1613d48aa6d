// Renders the main window with a few sales-list lines into a PNG for the documentation.
// Usage: tessaly-screenshot OUT.png   (under an X server, e.g. xvfb-run)
#include <cstdio>

#include <QApplication>
#include <QPixmap>

#include "app/LineArithmetic.h"
#include "app/NumberTexts.h"
#include "gui/MainWindow.h"
#include "platform/Paths.h"

using namespace tessaly;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaly-screenshot OUT.png\n");
        return 64;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    gui::SetUpApplicationFont();
    gui::MainWindow window(nullptr, platform::ExecutableFile(), std::string());
    TmainForm& form = window.Form();

    struct Line {
        const char* name;
        const char* model;
        const char* unit;
        double quantity;
        double price;
        double rate;
        const char* code;
    };
    const Line lines[] = {
        {"办公椅", "HY-802 黑色", "把", 12, 356, 0.13, "1050201010000000000"},
        {"A4复印纸", "70g 500张/包", "包", 40, 23.5, 0.13, "1070101020000000000"},
        {"激光打印机", "LBP2900+", "台", 2, 1299, 0.13, "1090511030000000000"},
        {"技术服务费", "", "次", 1, 800, 0.06, "3040201000000000000"},
    };
    form.edReadFilename = "/home/clerk/桌面/销货清单示例.xlsx";
    form.Edit_GFMC = "杭州青禾贸易有限公司";
    form.Edit_GFSH = "91330106MA2B3C4D5E";
    form.Edit_GFDZDH = "杭州市西湖区文三路 100 号 0571-88886666";
    form.Edit_YHZH = "中国工商银行杭州文三路支行 1202020109000012345";
    form.Edit_FHR = "王芳";
    form.Edit_SKR = "李强";
    TInvoiceTotals totals;
    form.Lines.BeginUpdate();
    form.Lines.SetRecordCount(static_cast<int>(std::size(lines)));
    for (int i = 0; i < static_cast<int>(std::size(lines)); ++i) {
        const Line& l = lines[i];
        const double amount = RoundToDecimals(l.quantity * l.price, 2);
        form.Lines.SetValue(i, liNumber, TLineValue::Integer(i + 1));
        form.Lines.SetValue(i, liName, TLineValue::Text(l.name));
        form.Lines.SetValue(i, liModel, TLineValue::Text(l.model));
        form.Lines.SetValue(i, liUnit, TLineValue::Text(l.unit));
        form.Lines.SetValue(i, liQuantity, TLineValue::Float(l.quantity));
        form.Lines.SetValue(i, liPrice, TLineValue::Float(l.price));
        form.Lines.SetValue(i, liAmount, TLineValue::Float(amount));
        form.Lines.SetValue(i, liRate, TLineValue::Float(l.rate));
        form.Lines.SetValue(i, liTaxCode, TLineValue::Text(l.code));
        form.Lines.SetValue(i, liPolicyUsed, TLineValue::Text("否"));
        totals.AddLine(amount, l.rate, true);
    }
    form.Lines.EndUpdate();
    form.Lines.ApplyBestFit();
    form.Edit_JeHJ = FormatTwoDecimals(totals.WithTax);
    form.Edit_JeBhsHJ = FormatTwoDecimals(totals.WithoutTax);
    form.Edit_SeHJ = FormatTwoDecimals(totals.Tax);
    window.RefreshFromForm();
    window.show();
    QApplication::processEvents();

    // The window's frame is the window manager's: the picture shows the client area and the
    // caption text above it is the window title.
    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "tessaly-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
