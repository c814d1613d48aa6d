#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "WorkbookScript.h"
#include "gui/LineTableModel.h"
#include "gui/MainWindow.h"
#include "gui/QtFormUi.h"
#include "platform/Paths.h"

using namespace tessaly;

// fontconfig keeps its configuration for the life of the process and never frees it.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "tests_gui";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);   // lives for the whole test program
            gui::SetUpApplicationFont();
        }
    }
    void SetUp() override {
        window_ = std::make_unique<gui::MainWindow>(&ui_, platform::ExecutableFile(), dir_.File("tessaly.ini"));
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    test::TempDir dir_;
    test::ScriptedUi ui_;
    std::unique_ptr<gui::MainWindow> window_;
};

} // namespace

TEST_F(MainWindowTest, WindowAndFont) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Tessaly（金税盘版） V1.1.9.0"));
    EXPECT_EQ(window_->size(), QSize(920, 663));
    EXPECT_EQ(window_->minimumSize(), window_->maximumSize());   // not resizable
    const QFont font = QApplication::font();
    EXPECT_EQ(font.family(), QStringLiteral("宋体"));
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("WenQuanYi Micro Hei"));   // renders Chinese
}

TEST_F(MainWindowTest, ButtonsAndGroups) {
    struct Button {
        const char* name;
        const char* caption;
        QRect geometry;
        const char* hint;
    };
    const Button buttons[] = {
        {"Btn_import", "导入销货清单", QRect(20, 22, 140, 25), "导入根据销货清单的Excel模板录入的销货清单文件。"},
        {"Btn_Output", "生成开票文件", QRect(20, 55, 140, 25), "生成可在开票系统中导入的销货清单开票文件（XML格式）。"},
        {"Btn_Dir", "复制模板", QRect(712, 22, 92, 25), ""},
        {"btn_help", "操作说明", QRect(712, 55, 92, 25), ""},
        {"Btn_exit", "退出", QRect(818, 55, 92, 25), ""},
    };
    for (const auto& b : buttons) {
        auto* button = Find<QPushButton>(b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(button->geometry(), b.geometry) << b.name;
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.hint));
        EXPECT_EQ(button->parentWidget()->objectName(), QStringLiteral("GroupBox1"));
    }
    const struct {
        const char* name;
        const char* caption;
        int width;
    } groups[] = {{"GroupBox1", "", 920}, {"GroupBox2", "发 票 信 息", 920}, {"GroupBox6", "购货单位", 501},
                  {"GroupBox5", "开票设置", 202}, {"GroupBox4", "发票金额、税额", 0}};
    for (const auto& g : groups) {
        auto* group = Find<QGroupBox>(g.name);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), QString::fromUtf8(g.caption));
        if (g.width) {
            EXPECT_EQ(group->width(), g.width) << g.name;
        }
    }
    EXPECT_EQ(Find<QGroupBox>("GroupBox2")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(Find<QWidget>("GroupBox3")->height(), 150);
    EXPECT_EQ(Find<QGroupBox>("GroupBox6")->height(), 146);
}

TEST_F(MainWindowTest, EditsWithTheirLimits) {
    struct Edit {
        const char* name;
        const char* parent;
        QRect geometry;
        int maxLength;   // 0: no limit
        bool readOnly;
        Qt::Alignment alignment;
        const char* label;
    };
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Edit edits[] = {
        {"edReadFilename", "GroupBox1", QRect(171, 24, 531, 21), 0, true, left, nullptr},
        {"Edit_XMLFilename", "GroupBox1", QRect(171, 57, 531, 21), 0, true, left, nullptr},
        {"Edit_GFMC", "GroupBox6", QRect(101, 27, 386, 21), 100, false, left, "名        称："},
        {"Edit_GFSH", "GroupBox6", QRect(101, 51, 386, 21), 25, false, left, "纳税人识别号："},
        {"Edit_GFDZDH", "GroupBox6", QRect(101, 76, 386, 21), 100, false, left, "地 址、电 话："},
        {"Edit_YHZH", "GroupBox6", QRect(101, 101, 386, 21), 100, false, left, "开户行及账号："},
        {"Edit_FHR", "GroupBox5", QRect(108, 27, 73, 21), 8, false, left, "复核人："},
        {"Edit_SKR", "GroupBox5", QRect(108, 51, 73, 21), 8, false, left, "收款人："},
        {"Edit_SPBMBBH", "GroupBox5", QRect(108, 101, 41, 21), 20, false, Qt::AlignHCenter, "商品编码版本："},
        {"Edit_JeHJ", "GroupBox4", QRect(94, 27, 99, 21), 0, true, right, "含税金额："},
        {"Edit_JeBhsHJ", "GroupBox4", QRect(94, 51, 99, 21), 0, true, right, "不含税金额："},
        {"Edit_SeHJ", "GroupBox4", QRect(94, 76, 99, 21), 0, true, right, "税额："},
    };
    for (const auto& e : edits) {
        auto* edit = Find<QLineEdit>(e.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->parentWidget()->objectName(), QString::fromLatin1(e.parent)) << e.name;
        EXPECT_EQ(edit->geometry(), e.geometry) << e.name;
        EXPECT_EQ(edit->maxLength(), e.maxLength ? e.maxLength : 32767) << e.name;
        EXPECT_EQ(edit->isReadOnly(), e.readOnly) << e.name;
        EXPECT_EQ(edit->alignment(), e.alignment) << e.name;
        EXPECT_EQ(edit->text(), e.name == std::string("Edit_SPBMBBH") ? QStringLiteral("13") : QString()) << e.name;
        if (e.label) {
            bool found = false;
            for (auto* label : edit->parentWidget()->findChildren<QLabel*>())
                found = found || label->text() == QString::fromUtf8(e.label);
            EXPECT_TRUE(found) << e.label;
        }
    }
    // The totals' design limit of 8 is kept as a property; Qt would cut a longer total.
    EXPECT_EQ(Find<QLineEdit>("Edit_JeHJ")->property("designMaxLength").toInt(), 8);
}

TEST_F(MainWindowTest, LimitListItemsAndSelection) {
    auto* combo = Find<QComboBox>("Combo_KPXE");
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->geometry().topLeft(), QPoint(108, 76));
    EXPECT_EQ(combo->width(), 73);
    const QStringList items = {QStringLiteral(" 一千 "), QStringLiteral(" 一万"), QStringLiteral(" 十万"),
                               QStringLiteral(" 百万"), QStringLiteral(" 千万")};
    ASSERT_EQ(combo->count(), items.size());
    for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(combo->itemText(i), items[i]);
    EXPECT_EQ(combo->currentIndex(), 2);
    combo->setCurrentIndex(4);
    EXPECT_EQ(window_->Form().Combo_KPXE, 4);
}

TEST_F(MainWindowTest, GridColumnsAndViewSettings) {
    auto* grid = Find<QTableView>("Grid1");
    ASSERT_NE(grid, nullptr);
    QAbstractItemModel* model = grid->model();
    ASSERT_EQ(model->columnCount(), 14);
    const struct {
        const char* name;
        const char* caption;
        int width;
        Qt::Alignment header;
    } columns[] = {
        {"GridView1Column1", "序号", 52, Qt::AlignLeft},
        {"GridView1Column2", "商品名称", 64, Qt::AlignHCenter},
        {"GridView1Column3", "规格型号", 78, Qt::AlignLeft},
        {"GridView1Column4", "计量单位", 61, Qt::AlignHCenter},
        {"GridView1Column11", "数量", 64, Qt::AlignHCenter},
        {"GridView1Column10", "单价(含税)", 73, Qt::AlignHCenter},
        {"GridView1Column12", "金额(含税)", 69, Qt::AlignHCenter},
        {"GridView1Column13", "税率", 64, Qt::AlignHCenter},
        {"GridView1Column5", "税收分类编码", 85, Qt::AlignHCenter},
        {"GridView1Column6", "企业自编码", 80, Qt::AlignHCenter},
        {"GridView1Column7", "是否使用优惠政策", 106, Qt::AlignHCenter},
        {"GridView1Column8", "零税率标识", 64, Qt::AlignHCenter},
        {"GridView1Column9", "优惠政策说明", 64, Qt::AlignLeft},
        {"GridView1Column14", "差额税计算扣除额", 64, Qt::AlignLeft},
    };
    for (int i = 0; i < 14; ++i) {
        const auto& c = columns[i];
        EXPECT_EQ(model->headerData(i, Qt::Horizontal).toString(), QString::fromUtf8(c.caption));
        EXPECT_EQ(model->headerData(i, Qt::Horizontal, gui::LineTableModel::ColumnNameRole).toString(),
                  QString::fromLatin1(c.name));
        EXPECT_EQ(grid->columnWidth(i), c.width) << c.name;
        const auto alignment = model->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask, c.header) << c.name;
    }
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(grid->horizontalHeader()->sectionsMovable());
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorSection(), 0);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);

    // Records show sorted by 序号 whatever their order; the amount shows two decimals.
    TLineTable& lines = window_->Form().Lines;
    lines.BeginUpdate();
    lines.SetRecordCount(3);
    const int numbers[] = {10, 2, 1};
    for (int i = 0; i < 3; ++i) {
        lines.SetValue(i, liNumber, TLineValue::Integer(numbers[i]));
        lines.SetValue(i, liName, TLineValue::Text("商品" + std::to_string(numbers[i])));
        lines.SetValue(i, liAmount, TLineValue::Float(numbers[i] * 1.5));
    }
    lines.EndUpdate();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->index(0, 1).data().toString(), QStringLiteral("商品1"));
    EXPECT_EQ(model->index(2, 1).data().toString(), QStringLiteral("商品10"));
    EXPECT_EQ(model->index(2, 6).data().toString(), QStringLiteral("15.00"));
    EXPECT_EQ(model->index(2, 6).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_FALSE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);

    window_->Form().TaxInclusive = false;
    window_->Form().ShowTaxInclusiveCaptions();
    EXPECT_EQ(model->headerData(5, Qt::Horizontal).toString(), QStringLiteral("单价(不含税)"));
    EXPECT_EQ(model->headerData(6, Qt::Horizontal).toString(), QStringLiteral("金额(不含税)"));
}

TEST_F(MainWindowTest, StatusBarPanels) {
    auto* status = Find<QStatusBar>("StatusBar1");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->height(), 20);
    auto* first = Find<QLabel>("StatusBar1Panel0");
    auto* second = Find<QLabel>("StatusBar1Panel1");
    auto* third = Find<QLabel>("StatusBar1Panel2");
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->text(), QStringLiteral("感谢支持！如有任何改进软件的需求或建议请联系我们。"));
    EXPECT_EQ(first->width(), 350);
    EXPECT_EQ(second->width(), 120);
    EXPECT_EQ(second->alignment(), Qt::AlignCenter);
    EXPECT_EQ(second->toolTip(), QString::fromStdString(window_->Form().StatusPanels[1]));
    EXPECT_EQ(third->text(), QString());
}

TEST_F(MainWindowTest, TypingReachesTheFormAndExitCloses) {
    auto* name = Find<QLineEdit>("Edit_GFMC");
    name->setFocus();
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("杭州青禾贸易有限公司"));
    QApplication::sendEvent(name, &typed);
    EXPECT_EQ(window_->Form().Edit_GFMC, "杭州青禾贸易有限公司");
    QTest::keyClicks(Find<QLineEdit>("Edit_FHR"), QStringLiteral("Wang Fang 123"));
    EXPECT_EQ(window_->Form().Edit_FHR, "Wang Fan");   // the input stops at 8 characters
    QTest::mouseClick(Find<QPushButton>("Btn_exit"), Qt::LeftButton);
    EXPECT_EQ(ui_.closes, 1);
}

TEST_F(MainWindowTest, SettingsAreWrittenWhenTheWindowCloses) {
    window_->Form().Edit_SKR = "李强";
    window_->close();
    const auto bytes = test::ReadBytes(dir_.File("tessaly.ini"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "[FPSetup]\nKPXE=2\nFHR=\nSHR=李强\n");
}

TEST_F(MainWindowTest, ExportButtonWritesTheInvoiceAndShowsThePath) {
    QTest::mouseClick(Find<QPushButton>("Btn_Output"), Qt::LeftButton);   // nothing imported yet
    ASSERT_EQ(ui_.Texts(), std::vector<std::string>{"请先导入按照模板格式填写的销货清单（Excel表格）！"});

    TmainForm& form = window_->Form();
    form.TaxInclusive = false;
    form.edReadFilename = dir_.File("清单.xlsx");
    form.Lines.SetRecordCount(1);
    form.Lines.SetValue(0, liNumber, TLineValue::Integer(1));
    form.Lines.SetValue(0, liName, TLineValue::Text("办公椅"));
    form.Lines.SetValue(0, liQuantity, TLineValue::Float(2));
    form.Lines.SetValue(0, liPrice, TLineValue::Float(50));
    form.Lines.SetValue(0, liAmount, TLineValue::Float(100));
    form.Lines.SetValue(0, liRate, TLineValue::Float(0.13));
    form.Lines.SetValue(0, liTaxCode, TLineValue::Text("1050201010000000000"));
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("杭州青禾贸易有限公司"));
    QApplication::sendEvent(Find<QLineEdit>("Edit_GFMC"), &typed);

    const std::string target = dir_.File("清单.xml");
    ui_.files.push_back(target);
    QTest::mouseClick(Find<QPushButton>("Btn_Output"), Qt::LeftButton);
    EXPECT_EQ(ui_.dialogs.back().FileName, "清单.xml");
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(ui_.messages[1].text, target + "\r\n文件导出成功！\r\n请在开票软件中导入该.xml文件并开具发票。");
    EXPECT_EQ(Find<QLineEdit>("Edit_XMLFilename")->text(), QString::fromStdString(target));
    const auto bytes = test::ReadBytes(target);
    const std::string written(bytes.begin(), bytes.end());
    EXPECT_NE(written.find("<Gfmc>\xBA\xBC\xD6\xDD"), std::string::npos);   // 杭州 in GBK
    EXPECT_NE(written.find("<Je>100</Je>"), std::string::npos);
}

TEST_F(MainWindowTest, ImportButtonFillsTheGridAndTheTotals) {
    test::WorkbookScript sheet;
    sheet.Headings()
        .Row(1, {"办公椅", "HY-802", "把", 2, 56.5, 113, 0.13, "1050201010000000000"})
        .Row(2, {"技术服务费", "", "次", 1, 800, 800, 0.06, "3040201000000000000"});
    window_ = std::make_unique<gui::MainWindow>(&ui_, platform::ExecutableFile(), dir_.File("tessaly.ini"), sheet.Readers());
    const std::string workbook = dir_.File("销货清单.xlsx");
    test::WriteText(workbook, "PK\x03\x04 in memory");
    ui_.files.push_back(workbook);
    ui_.answers.push_back(TModalResult::No);
    QTest::mouseClick(Find<QPushButton>("Btn_import"), Qt::LeftButton);

    auto* grid = Find<QTableView>("Grid1");
    QAbstractItemModel* model = grid->model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(0, 1).data().toString(), QStringLiteral("办公椅"));
    EXPECT_EQ(model->index(1, 6).data().toString(), QStringLiteral("800.00"));
    EXPECT_EQ(model->headerData(6, Qt::Horizontal).toString(), QStringLiteral("金额(不含税)"));
    EXPECT_GT(grid->columnWidth(1), 52);   // fitted to the content
    EXPECT_EQ(Find<QLineEdit>("edReadFilename")->text(), QString::fromStdString(workbook));
    EXPECT_EQ(Find<QLineEdit>("Edit_JeBhsHJ")->text(), QStringLiteral("913.00"));
    EXPECT_EQ(Find<QLineEdit>("Edit_JeHJ")->text(), QStringLiteral("975.69"));
    EXPECT_EQ(Find<QLineEdit>("Edit_SeHJ")->text(), QStringLiteral("62.69"));

    ui_.files.push_back(dir_.File("销货清单.xml"));
    QTest::mouseClick(Find<QPushButton>("Btn_Output"), Qt::LeftButton);
    EXPECT_TRUE(window_->Form().LastExportWritten);
    EXPECT_EQ(ui_.dialogs.back().FileName, "销货清单.xml");
}

TEST(QtDialogs, FiltersAndDefaultExtensions) {
    EXPECT_EQ(gui::QtNameFilters("开票清单(Excel表格)|*.xlsx;*.xls|All files (*.*)|*.*"),
              (QStringList{QStringLiteral("开票清单(Excel表格) (*.xlsx *.xls)"), QStringLiteral("All files (*.*) (*)")}));
    EXPECT_EQ(gui::QtNameFilters("XML发票文件(*.xml)|*.xml"), QStringList{QStringLiteral("XML发票文件(*.xml) (*.xml)")});
    EXPECT_EQ(gui::QtDefaultSuffix("*.xml"), QStringLiteral("xml"));
    EXPECT_EQ(gui::QtDefaultSuffix("*.xls;*.xlsx"), QStringLiteral("xls"));
    EXPECT_EQ(gui::QtMessageText("a\r\n\r\nb"), QStringLiteral("a\n\nb"));
}
