#include <gtest/gtest.h>

#include <filesystem>

#include "InvoiceFile.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "WorkbookScript.h"
#include "app/MainForm.h"

using namespace tessaly;
using test::CellValue;
using test::WorkbookScript;

namespace {

const char* kQuestion = "开票清单Excel表格中的金额可以是【含税价】或【不含税价】，\r\n\r\n请问这开票清单中的金额是【含税价】吗？";

std::string Summary(const char* withTax, const char* withoutTax, const char* tax) {
    return std::string("本开票清单合计数\r\n\r\n　含税金额合计：") + withTax + "\r\n不含税金额合计：" + withoutTax +
           "\r\n　　　税额合计：" + tax;
}

std::string CellError(int row, int col, const char* kind) {
    return "第" + std::to_string(row) + "行第" + std::to_string(col) + "列数据格式错误，请参照模板填写开票清单表格。" + kind;
}

// A form whose import reads the scripted workbook; the open dialog picks `Workbook()`.
class ImportTest : public ::testing::Test {
protected:
    void SetUp() override { test::WriteText(Workbook(), "PK\x03\x04 in memory"); }

    std::string Workbook() const { return dir_.File("销货清单.xlsx"); }

    TmainForm& Import(const WorkbookScript& script, TModalResult answer = TModalResult::Yes, int limitIndex = 2) {
        form_ = std::make_unique<TmainForm>(ui_, "", script.Readers());
        form_->FormCreate();
        form_->Combo_KPXE = limitIndex;
        ui_.files.push_back(Workbook());
        ui_.answers.push_back(answer);
        form_->Run(&TmainForm::Btn_importClick);
        return *form_;
    }

    // The messages after the tax question.
    std::vector<std::string> Shown() const {
        std::vector<std::string> texts = ui_.Texts();
        EXPECT_FALSE(texts.empty());
        if (!texts.empty()) {
            EXPECT_EQ(texts.front(), kQuestion);
            texts.erase(texts.begin());
        }
        return texts;
    }

    std::string Cell(int record, int item) const { return form_->Lines.Value(record, item).ToText(); }

    test::TempDir dir_;
    test::ScriptedUi ui_;
    std::unique_ptr<TmainForm> form_;
};

WorkbookScript ThreeLines() {
    WorkbookScript s;
    s.Headings()
        .Row(1, {"办公椅", "HY-802", "把", 2, 56.5, 113, 0.13, "1050201010000000000", "YZ-01", "否"})
        .Row(2, {"A4复印纸", "70g", "包", 10, 23.5, 235, 0.13, "1070101020000000000"})
        .Row(3, {"技术服务费", CellValue(), "次", 1, 800, 800, 0.06, "3040201000000000000"});
    return s;
}

} // namespace

TEST_F(ImportTest, ReadsTheLinesAndReportsTheTotals) {
    TmainForm& form = Import(ThreeLines());
    ASSERT_EQ(form.Lines.RecordCount(), 3);
    EXPECT_EQ(Cell(0, liNumber), "1");
    EXPECT_EQ(Cell(2, liNumber), "3");
    EXPECT_EQ(Cell(0, liName), "办公椅");
    EXPECT_EQ(Cell(0, liQuantity), "2");
    EXPECT_EQ(Cell(0, liPrice), "56.5");
    EXPECT_EQ(form.Lines.Value(0, liAmount), TLineValue::Currency(TCurrency{1130000}));
    EXPECT_EQ(Cell(0, liRate), "0.13");
    EXPECT_EQ(Cell(0, liPolicyUsed), "否");
    EXPECT_TRUE(form.Lines.Value(2, liModel).IsEmpty());
    // Taxes 13.00 + 27.04 + 45.28; without tax 100.00 + 207.96 + 754.72.
    EXPECT_EQ(Shown(), (std::vector<std::string>{Summary("1148.00", "1062.68", "85.32")}));
    EXPECT_EQ(ui_.messages.back().type, TMsgDlgType::Information);
    EXPECT_EQ(form.Edit_JeHJ, "1148.00");
    EXPECT_EQ(form.Edit_JeBhsHJ, "1062.68");
    EXPECT_EQ(form.Edit_SeHJ, "85.32");
    EXPECT_EQ(form.edReadFilename, Workbook());
    EXPECT_TRUE(form.TaxInclusive);
    EXPECT_EQ(form.Lines.Caption(liPrice), "单价(含税)");
    ASSERT_EQ(ui_.dialogs.size(), 1u);
    EXPECT_EQ(ui_.dialogs[0].Name, "dlgOpen");
}

TEST_F(ImportTest, TaxExclusiveAnswer) {
    TmainForm& form = Import(ThreeLines(), TModalResult::No);
    EXPECT_FALSE(form.TaxInclusive);
    EXPECT_EQ(form.Lines.Caption(liPrice), "单价(不含税)");
    EXPECT_EQ(form.Lines.Caption(liAmount), "金额(不含税)");
    // Taxes 14.69 + 30.55 + 48.00.
    EXPECT_EQ(Shown(), (std::vector<std::string>{Summary("1241.24", "1148.00", "93.24")}));
}

TEST_F(ImportTest, EdgeCasesOfTheSalesList) {
    struct Case {
        const char* what;
        WorkbookScript sheet;
        int records;
        std::vector<std::string> messages;   // after the question, before the summary
        std::vector<std::pair<std::pair<int, int>, const char*>> cells;   // (record, item) -> text
        const char* withoutTax;              // nullptr: no summary, total fields empty
    };
    const auto line = [](int row, CellValue amount, CellValue rate) {
        return WorkbookScript().Headings().Row(row, {"商品", "", "个", 1, 10, amount, rate, "1"});
    };
    std::vector<Case> cases;
    cases.push_back({"heading only", WorkbookScript().Headings(), 0, {}, {}, nullptr});
    cases.push_back({"empty sheet", WorkbookScript(), 0, {}, {}, nullptr});
    cases.push_back({"blank row ends the list",
                     WorkbookScript(ThreeLines()).Row(5, {"below the gap", "", "", 1, 1, 1, 0.13}),
                     3, {}, {{{2, liName}, "技术服务费"}}, "1062.68"});
    WorkbookScript gap = WorkbookScript().Headings().Row(1, {"a", "", "", 1, 10, 10, 0}).Row(3, {"c", "", "", 1, 5, 5, 0});
    gap.Add(9, 2, WorkbookScript::Text, "row 2 has no name");
    cases.push_back({"row without a name", gap, 1, {}, {}, "10.00"});
    cases.push_back({"rate as 13%", line(1, 100, "13%"), 1, {CellError(1, 6, "（String）")}, {{{0, liRate}, ""}}, "100.00"});
    cases.push_back({"amount rounded", line(1, 12.345, 0.13), 1, {}, {{{0, liAmount}, "12.35"}, {{0, liRate}, "0.13"}},
                     "10.93"});
    cases.push_back({"amount as text", line(1, " 12.345 ", " 0.13"), 1, {}, {{{0, liAmount}, "12.35"}}, "10.93"});
    cases.push_back({"thousands separator", line(1, "1,234.50", 0.13), 1, {CellError(1, 5, "（String）")},
                     {{{0, liAmount}, ""}}, "0.00"});
    cases.push_back({"currency sign", line(1, "¥12", 0.13), 1, {CellError(1, 5, "（String）")}, {}, "0.00"});
    WorkbookScript numericCode = line(1, 100, 0.13);
    numericCode.cells.erase(numericCode.cells.end() - 1);
    numericCode.Add(7, 1, WorkbookScript::Number, {}, 1010101020000000000.0);
    cases.push_back({"numeric classification code", numericCode, 1, {}, {{{0, liTaxCode}, "1.01010102E18"}}, "88.50"});
    WorkbookScript formulaAmount = line(1, CellValue(), 0.13);
    formulaAmount.Add(5, 1, WorkbookScript::FormulaText, " 100 ");
    formulaAmount.Row(2, {"第二行", "", "", 1, 1, CellValue(), 0.13});
    formulaAmount.Add(5, 2, WorkbookScript::FormulaText, "abc");
    cases.push_back({"text formula in F", formulaAmount, 2, {CellError(2, 5, "（String）")},
                     {{{0, liAmount}, "100"}, {{1, liAmount}, ""}}, "0.00"});
    WorkbookScript numberFormula = line(1, CellValue(), 0.13);
    numberFormula.Add(5, 1, WorkbookScript::FormulaNumber, {}, 113.004);
    cases.push_back({"number formula in F", numberFormula, 1, {}, {{{0, liAmount}, "113"}}, "100.00"});
    WorkbookScript rightOfM = line(1, 100, 0.13);
    rightOfM.Add(13, 1, WorkbookScript::Text, "x")
        .Add(14, 1, WorkbookScript::Number, {}, 1)
        .Add(15, 1, WorkbookScript::FormulaNumber, {}, 2)
        .Add(16, 1, WorkbookScript::FormulaText, "t")
        .Add(17, 1, WorkbookScript::Boolean, {}, 1)
        .Add(18, 1, WorkbookScript::Error)
        .Add(19, 1, WorkbookScript::Blank);
    cases.push_back({"cells right of M", rightOfM, 1,
                     {CellError(1, 13, "（String）"), CellError(1, 14, "（String）"), CellError(1, 15, "（String）"),
                      CellError(1, 16, "（String）")},
                     {}, "88.50"});
    WorkbookScript deduction = line(1, 100, 0.13);
    deduction.Add(12, 1, WorkbookScript::Text, "not a number").Add(12, 2, WorkbookScript::Number, {}, 3);
    deduction.Row(2, {"第二行", "", "", 1, 1, 1, 0});
    cases.push_back({"deduction column", deduction, 2, {CellError(1, 12, "（String）")},
                     {{{0, liDeduction}, ""}, {{1, liDeduction}, "3"}}, "89.50"});
    WorkbookScript otherKinds = line(1, 100, 0.13);
    otherKinds.Add(1, 1, WorkbookScript::Boolean, {}, 1).Add(2, 1, WorkbookScript::Error).Add(9, 1, WorkbookScript::Blank);
    otherKinds.Add(6, 2, WorkbookScript::Boolean, {}, 1).Row(2, {"b", "", "", 1, 1, 1});
    cases.push_back({"booleans, errors, blanks store nothing", otherKinds, 2, {},
                     {{{0, liModel}, ""}, {{0, liUnit}, ""}, {{1, liRate}, ""}}, "89.50"});
    cases.push_back({"rate as error text", line(1, 100, "#N/A"), 1, {CellError(1, 6, "（String）")}, {}, "100.00"});
    WorkbookScript below = WorkbookScript().Headings(2).Row(3, {"低处", "", "", 1, 10, 10, 0.13, "1"});
    cases.push_back({"used area below row 0", below, 3, {}, {{{0, liName}, ""}, {{1, liNumber}, ""}, {{2, liNumber}, "3"}},
                     "8.85"});
    WorkbookScript shifted = WorkbookScript().Row(0, {"商品名称", "规格型号"}, 1).Row(1, {"右移", "x"}, 1);
    cases.push_back({"used area right of column A", shifted, 0, {}, {}, "0.00"});   // B is no name

    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui_.messages.clear();
        TmainForm& form = Import(c.sheet);
        EXPECT_EQ(form.Lines.RecordCount(), c.records);
        std::vector<std::string> shown = Shown();
        if (c.withoutTax) {
            ASSERT_FALSE(shown.empty());
            EXPECT_NE(shown.back().find(std::string("不含税金额合计：") + c.withoutTax + "\r\n"), std::string::npos)
                << shown.back();
            shown.pop_back();
        }
        EXPECT_EQ(shown, c.messages);
        EXPECT_EQ(form.Edit_JeBhsHJ, c.withoutTax ? c.withoutTax : "");
        for (const auto& [at, text] : c.cells) EXPECT_EQ(Cell(at.first, at.second), text) << at.first << "," << at.second;
    }
}

TEST_F(ImportTest, LimitWarningOnlyAboveTheLimit) {
    struct Case {
        int limitIndex;
        double amount;
        bool warned;
    };
    const Case cases[] = {
        {0, 1000, false},      // equal: no warning
        {0, 1000.01, true},    // one cent over
        {1, 10000.01, true},
        {4, 10000000, false},
        {-1, 0.01, true},      // no selection: the limit is 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.amount);
        ui_.messages.clear();
        Import(WorkbookScript().Headings().Row(1, {"商品", "", "", 1, c.amount, c.amount, 0.13, "1"}), TModalResult::No,
               c.limitIndex);
        const std::vector<std::string> shown = Shown();
        ASSERT_EQ(shown.size(), c.warned ? 2u : 1u);
        if (c.warned) {
            EXPECT_EQ(shown[1], "请注意，这张发票的金额合计数超过了设置的发票开票限额【" +
                                    std::string(c.limitIndex == 0 ? "一千" : c.limitIndex == 1 ? "一万" : "") + "】!");
            EXPECT_EQ(ui_.messages.back().type, TMsgDlgType::Warning);
        }
    }
}

TEST_F(ImportTest, TotalEqualToTheLimitAsShownGivesNoWarning) {
    // 99999.99 + 0.01 lies a hair above 100000 in base 2; the total shown is 100000.00.
    Import(WorkbookScript()
               .Headings()
               .Row(1, {"a", "", "", 1, 99999.99, 99999.99, 0, "1"})
               .Row(2, {"b", "", "", 1, 0.01, 0.01, 0, "1"}),
           TModalResult::No, 2);
    EXPECT_EQ(Shown(), (std::vector<std::string>{Summary("100000.00", "100000.00", "0.00")}));
}

TEST_F(ImportTest, UnreadableWorkbookEndsTheImportThroughTheErrorDisplay) {
    // A first import fills the table and the totals; the failed one leaves them empty.
    Import(ThreeLines());
    WorkbookScript broken;
    broken.failure = "File is not a valid ZIP file";
    ui_.messages.clear();
    TmainForm& form = Import(broken, TModalResult::No);
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(ui_.messages[1].kind, test::ShownMessage::Error);
    EXPECT_EQ(ui_.messages[1].text, "File is not a valid ZIP file");
    EXPECT_EQ(form.Lines.RecordCount(), 0);
    EXPECT_FALSE(form.Lines.Updating());
    EXPECT_EQ(form.Edit_JeHJ, "");
    EXPECT_EQ(form.edReadFilename, Workbook());
    EXPECT_FALSE(form.TaxInclusive);
    EXPECT_EQ(form.Lines.Caption(liAmount), "金额(不含税)");

    // A missing file is the platform's open error.
    std::filesystem::remove(Workbook());
    ui_.messages.clear();
    Import(ThreeLines());
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(ui_.messages[1].text, "Cannot open file \"" + Workbook() + "\". No such file or directory");
}

TEST_F(ImportTest, DialogProposalAndCancel) {
    form_ = std::make_unique<TmainForm>(ui_, "", ThreeLines().Readers());
    form_->FormCreate();
    form_->OpenFolder = "/remembered/";
    form_->Edit_XMLFilename = "/old/清单.xml";
    ui_.files.push_back("");   // cancelled: nothing changes
    form_->Run(&TmainForm::Btn_importClick);
    EXPECT_EQ(ui_.dialogs.back().InitialDir, "/remembered/");
    EXPECT_EQ(ui_.dialogs.back().FileName, "");
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(form_->Edit_XMLFilename, "/old/清单.xml");

    ui_.files.push_back(Workbook());
    form_->Run(&TmainForm::Btn_importClick);
    EXPECT_EQ(form_->Edit_XMLFilename, "");
    ui_.files.push_back("");
    form_->Run(&TmainForm::Btn_importClick);   // the next one proposes the last workbook
    EXPECT_EQ(ui_.dialogs.back().InitialDir, dir_.Path().string() + "/");
    EXPECT_EQ(ui_.dialogs.back().FileName, "销货清单.xlsx");
    EXPECT_EQ(ui_.dialogs.back().Filter, "开票清单(Excel表格)|*.xlsx;*.xls|All files (*.*)|*.*");
}

TEST_F(ImportTest, ImportThenExportMatchesTheGoldenFile) {
    TmainForm& form = Import(ThreeLines());
    form.Edit_GFMC = "杭州青禾贸易有限公司";
    form.Edit_GFSH = "91330106MA2B3C4D5E";
    form.Edit_FHR = "王芳";
    const std::string target = dir_.File("销货清单.xml");
    ui_.files.push_back(target);
    form.Run(&TmainForm::Btn_OutputClick);
    EXPECT_EQ(ui_.dialogs.back().FileName, "销货清单.xml");
    EXPECT_TRUE(form.LastExportWritten);
    const auto written = test::ReadBytes(target);
    const auto golden = test::ReadBytes(std::string(TESSALY_SOURCE_DIR) + "/tests/app/golden/import-export.xml");
    EXPECT_EQ(std::string(written.begin(), written.end()), std::string(golden.begin(), golden.end()));
    const test::InvoiceFile file = test::ParseInvoiceFile(std::string(written.begin(), written.end()));
    ASSERT_EQ(file.lines.size(), 3u);
    EXPECT_EQ(file.Line(0, "Dj"), "50");
    EXPECT_EQ(file.Line(0, "Je"), "100");
    EXPECT_EQ(file.Line(2, "Je"), "754.716981132075472");
}
