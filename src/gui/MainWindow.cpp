#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableView>

#include "gui/LineTableModel.h"
#include "gui/QtFormUi.h"

namespace tessaly::gui {

namespace {

constexpr int kClientWidth = 920;
constexpr int kClientHeight = 663;
constexpr int kTopStripHeight = 105;
constexpr int kEditHeight = 21;
constexpr int kButtonHeight = 25;
constexpr int kDefaultColumnWidth = 64;

// A status panel that shortens a long text in the middle, as paths are shortened.
class PathEllipsisLabel : public QLabel {
public:
    using QLabel::QLabel;
    void SetFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        Elide();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() { setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, qMax(0, contentsRect().width()))); }
    QString full_;
};

QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, int left, int top, int width) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, width, kButtonHeight);
    return button;
}

QGroupBox* AddGroup(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
    auto* group = new QGroupBox(QString::fromUtf8(caption), parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(geometry);
    return group;
}

} // namespace

void SetUpApplicationFont() {
    const QStringList cjk = {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), cjk);
    QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}

MainWindow::MainWindow(TMainFormUi* ui, const std::string& executableFile, const std::string& settingsFile,
                       TXLSReaders readers, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("mainForm"));
    setWindowTitle(QStringLiteral("Tessaly"));
    if (!ui) {
        ownUi_ = std::make_unique<QtFormUi>(this, [this] { RefreshFromForm(); });
        ui = ownUi_.get();
    }
    form_ = std::make_unique<TmainForm>(*ui, executableFile, std::move(readers));
    form_->SettingsFile = settingsFile;

    setFixedSize(kClientWidth, kClientHeight);
    BuildTopStrip();
    BuildInvoiceGroup();
    RefreshFromForm();   // the design texts, until start-up replaces them

    RunHandler(&TmainForm::FormCreate);
    CenterOnScreen();
}

MainWindow::~MainWindow() {
    // The model watches the form's line table: it goes before the form does.
    grid_->setModel(nullptr);
    delete sorted_;
    delete model_;
}

void MainWindow::BuildTopStrip() {
    auto* strip = AddGroup(this, "GroupBox1", "", QRect(0, 0, kClientWidth, kTopStripHeight));
    auto* import = AddButton(strip, "Btn_import", "导入销货清单", 20, 22, 140);
    import->setToolTip(QStringLiteral("导入根据销货清单的Excel模板录入的销货清单文件。"));
    auto* readName = AddEdit(strip, "edReadFilename", 171, 24, 531, &TmainForm::edReadFilename);
    readName->setReadOnly(true);
    auto* output = AddButton(strip, "Btn_Output", "生成开票文件", 20, 55, 140);
    output->setToolTip(QStringLiteral("生成可在开票系统中导入的销货清单开票文件（XML格式）。"));
    auto* xmlName = AddEdit(strip, "Edit_XMLFilename", 171, 57, 531, &TmainForm::Edit_XMLFilename);
    xmlName->setReadOnly(true);
    auto* copy = AddButton(strip, "Btn_Dir", "复制模板", 712, 22, 92);
    auto* help = AddButton(strip, "btn_help", "操作说明", 712, 55, 92);
    auto* exit = AddButton(strip, "Btn_exit", "退出", 818, 55, 92);

    connect(import, &QPushButton::clicked, this, [this] { RunHandler(&TmainForm::Btn_importClick); });
    connect(output, &QPushButton::clicked, this, [this] { RunHandler(&TmainForm::Btn_OutputClick); });
    connect(copy, &QPushButton::clicked, this, [this] { RunHandler(&TmainForm::Btn_DirClick); });
    connect(help, &QPushButton::clicked, this, [this] { RunHandler(&TmainForm::btn_helpClick); });
    connect(exit, &QPushButton::clicked, this, [this] { RunHandler(&TmainForm::btn_exitClick); });
}

void MainWindow::BuildInvoiceGroup() {
    const int groupHeight = kClientHeight - kTopStripHeight;
    auto* invoice = AddGroup(this, "GroupBox2", "发 票 信 息", QRect(0, kTopStripHeight, kClientWidth, groupHeight));
    invoice->setAlignment(Qt::AlignHCenter);
    const int inner = kClientWidth - 4;

    auto* panel = new QFrame(invoice);
    panel->setObjectName(QStringLiteral("GroupBox3"));
    panel->setGeometry(2, 18, inner, 150);

    auto* buyer = AddGroup(panel, "GroupBox6", "购货单位", QRect(0, 2, 501, 146));
    AddLabel(buyer, "Label_GFMC", "名        称：", 100, 27);
    AddEdit(buyer, "Edit_GFMC", 101, 27, 386, &TmainForm::Edit_GFMC)->setMaxLength(100);
    AddLabel(buyer, "Label_GFSH", "纳税人识别号：", 100, 51);
    AddEdit(buyer, "Edit_GFSH", 101, 51, 386, &TmainForm::Edit_GFSH)->setMaxLength(25);
    AddLabel(buyer, "Label_GFDZDH", "地 址、电 话：", 100, 76);
    AddEdit(buyer, "Edit_GFDZDH", 101, 76, 386, &TmainForm::Edit_GFDZDH)->setMaxLength(100);
    AddLabel(buyer, "Label_YHZH", "开户行及账号：", 100, 101);
    AddEdit(buyer, "Edit_YHZH", 101, 101, 386, &TmainForm::Edit_YHZH)->setMaxLength(100);

    auto* settings = AddGroup(panel, "GroupBox5", "开票设置", QRect(501, 2, 202, 146));
    AddLabel(settings, "Label_FHR", "复核人：", 107, 27);
    AddEdit(settings, "Edit_FHR", 108, 27, 73, &TmainForm::Edit_FHR)->setMaxLength(8);
    AddLabel(settings, "Label_SKR", "收款人：", 107, 51);
    AddEdit(settings, "Edit_SKR", 108, 51, 73, &TmainForm::Edit_SKR)->setMaxLength(8);
    AddLabel(settings, "Label_KPXE", "不含税开票限额：", 107, 76);
    combo_ = new QComboBox(settings);
    combo_->setObjectName(QStringLiteral("Combo_KPXE"));
    combo_->setGeometry(108, 76, 73, kEditHeight);
    combo_->setEditable(false);
    for (const char* item : kKpxeItems) combo_->addItem(QString::fromUtf8(item));
    connect(combo_, &QComboBox::currentIndexChanged, this, [this](int index) { form_->Combo_KPXE = index; });
    AddLabel(settings, "Label_SPBMBBH", "商品编码版本：", 107, 101);
    auto* codeVersion = AddEdit(settings, "Edit_SPBMBBH", 108, 101, 41, &TmainForm::Edit_SPBMBBH);
    codeVersion->setMaxLength(20);
    codeVersion->setAlignment(Qt::AlignHCenter);

    auto* totals = AddGroup(panel, "GroupBox4", "发票金额、税额", QRect(703, 2, inner - 703, 146));
    const struct {
        const char* label;
        const char* caption;
        const char* name;
        int top;
        std::string TmainForm::*field;
    } totalFields[] = {
        {"Label_JeHJ", "含税金额：", "Edit_JeHJ", 27, &TmainForm::Edit_JeHJ},
        {"Label_JeBhsHJ", "不含税金额：", "Edit_JeBhsHJ", 51, &TmainForm::Edit_JeBhsHJ},
        {"Label_SeHJ", "税额：", "Edit_SeHJ", 76, &TmainForm::Edit_SeHJ},
    };
    for (const auto& t : totalFields) {
        AddLabel(totals, t.label, t.caption, 93, t.top);
        QLineEdit* edit = AddEdit(totals, t.name, 94, t.top, 99, t.field);
        edit->setReadOnly(true);
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // The input limit of 8 means nothing in a field nobody types into, and Qt would cut a
        // total such as 100000.00 that the program sets: it is kept only as a property.
        edit->setProperty("designMaxLength", 8);
    }

    const int statusTop = groupHeight - 22;
    grid_ = new QTableView(invoice);
    grid_->setObjectName(QStringLiteral("Grid1"));
    grid_->setGeometry(2, 170, inner, statusTop - 170 - 2);
    model_ = new LineTableModel(form_->Lines, grid_);
    model_->setObjectName(QStringLiteral("GridView1"));
    sorted_ = new QSortFilterProxyModel(grid_);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(LineTableModel::SortRole);
    grid_->setModel(sorted_);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setSortingEnabled(true);
    grid_->sortByColumn(0, Qt::AscendingOrder);
    grid_->horizontalHeader()->setSectionsMovable(false);
    grid_->verticalHeader()->setVisible(false);
    grid_->verticalHeader()->setDefaultSectionSize(18);
    for (int i = 0; i < kLineColumnCount; ++i) {
        const int width = kLineColumns[static_cast<size_t>(i)].Width;
        grid_->setColumnWidth(i, width > 0 ? width : kDefaultColumnWidth);
    }
    connect(model_, &LineTableModel::bestFitRequested, grid_, &QTableView::resizeColumnsToContents);

    auto* status = new QStatusBar(invoice);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setGeometry(2, statusTop, inner, 20);
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        QLabel* label = i == 1 ? new PathEllipsisLabel(status) : new QLabel(status);
        label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        if (i == 0) label->setFixedWidth(350);
        if (i == 1) {
            label->setFixedWidth(120);
            label->setAlignment(Qt::AlignCenter);
        }
        status->addWidget(label, i == 2 ? 1 : 0);
        panels_[i] = label;
    }
}

QLineEdit* MainWindow::AddEdit(QWidget* parent, const char* name, int left, int top, int width,
                               std::string TmainForm::*field) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, width, kEditHeight);
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) { (*form_).*field = text.toStdString(); });
    edits_.push_back({edit, field});
    return edit;
}

void MainWindow::AddLabel(QWidget* parent, const char* name, const char* caption, int right, int top) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    const int width = 100;
    label->setGeometry(right - width, top, width, kEditHeight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void MainWindow::RefreshFromForm() {
    setWindowTitle(QString::fromStdString(form_->Caption));
    for (const FieldEdit& e : edits_) {
        const QString text = QString::fromStdString((*form_).*(e.field));
        if (e.edit->text() != text) e.edit->setText(text);
    }
    if (combo_->currentIndex() != form_->Combo_KPXE) {
        const int index = form_->Combo_KPXE;
        combo_->setCurrentIndex(index >= 0 && index < combo_->count() ? index : -1);
    }
    for (int i = 0; i < 3; ++i) {
        const QString text = QString::fromStdString(form_->StatusPanels[static_cast<size_t>(i)]);
        if (i == 1) static_cast<PathEllipsisLabel*>(panels_[i])->SetFullText(text);
        else panels_[i]->setText(text);
    }
}

void MainWindow::RunHandler(void (TmainForm::*handler)()) {
    form_->Run(handler);
    RefreshFromForm();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!destroyed_) {
        destroyed_ = true;
        form_->Run(&TmainForm::FormDestroy);
    }
    event->accept();
}

void MainWindow::CenterOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

} // namespace tessaly::gui
