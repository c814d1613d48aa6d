#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "FileSizeLimit.h"
#include "InvoiceFile.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/InvoiceXml.h"
#include "app/MainForm.h"

using namespace tessaly;

namespace {

TLineValue Txt(const char* text) { return TLineValue::Text(text); }
TLineValue Num(double value) { return TLineValue::Float(value); }

using Cells = std::map<int, TLineValue>;

// A line as the import stores it: numbers into the number columns, texts elsewhere.
Cells Line(const char* name, TLineValue quantity, TLineValue price, double amount, TLineValue rate,
           TLineValue code = Txt("1050201010000000000")) {
    return {{liName, Txt(name)}, {liQuantity, quantity}, {liPrice, price}, {liAmount, Num(amount)},
            {liRate, rate}, {liTaxCode, code}};
}

class InvoiceExportTest : public ::testing::Test {
protected:
    InvoiceExportTest() : form_(ui_, "") {
        form_.FormCreate();
        form_.edReadFilename = dir_.File("清单.xlsx");
        target_ = dir_.File("清单.xml");
    }

    void SetLines(const std::vector<Cells>& lines) {
        form_.Lines.SetRecordCount(static_cast<int>(lines.size()));
        for (size_t i = 0; i < lines.size(); ++i) {
            form_.Lines.SetValue(static_cast<int>(i), liNumber, TLineValue::Integer(static_cast<int64_t>(i + 1)));
            for (const auto& [item, value] : lines[i]) form_.Lines.SetValue(static_cast<int>(i), item, value);
        }
    }

    // Clicks the button, choosing the target in the save dialog.
    void Export() {
        ui_.files.push_back(target_);
        form_.Run(&TmainForm::Btn_OutputClick);
    }

    std::string Written() {
        const auto bytes = test::ReadBytes(target_);
        return std::string(bytes.begin(), bytes.end());
    }

    test::InvoiceFile Parsed() { return test::ParseInvoiceFile(Written()); }

    void ExpectSuccessOnly() {
        ASSERT_EQ(ui_.messages.size(), 1u) << (ui_.messages.empty() ? "" : ui_.messages[0].text);
        EXPECT_EQ(ui_.messages[0].kind, test::ShownMessage::Box);
        EXPECT_EQ(ui_.messages[0].type, TMsgDlgType::Information);
        EXPECT_EQ(ui_.messages[0].text, target_ + "\r\n文件导出成功！\r\n请在开票软件中导入该.xml文件并开具发票。");
        EXPECT_TRUE(form_.LastExportWritten);
    }

    test::TempDir dir_;
    test::ScriptedUi ui_;
    TmainForm form_;
    std::string target_;
};

} // namespace

TEST_F(InvoiceExportTest, TaxExclusiveLineMatchesTheGoldenFile) {
    form_.TaxInclusive = false;
    form_.Edit_GFMC = "杭州青禾贸易有限公司";
    form_.Edit_GFSH = "91330106MA2B3C4D5E";
    form_.Edit_GFDZDH = "杭州市文三路100号 0571-88886666";
    form_.Edit_YHZH = "工行文三路支行 1202020109000012345";
    form_.Edit_FHR = "王芳";
    form_.Edit_SKR = "李强";
    Cells line = Line("办公椅", Num(2), Num(50), 100, Num(0.13));
    line[liModel] = Txt("HY-802");
    line[liUnit] = Txt("把");
    line[liOwnCode] = Txt("YZ-01");
    line[liPolicyUsed] = Txt("否");            // shown in the grid, never written
    line[liDeduction] = Num(5);
    SetLines({line});
    Export();
    ExpectSuccessOnly();
    const auto golden = test::ReadBytes(std::string(TESSALY_SOURCE_DIR) + "/tests/app/golden/invoice-tax-exclusive.xml");
    EXPECT_EQ(Written(), std::string(golden.begin(), golden.end()));

    const test::InvoiceFile file = Parsed();
    ASSERT_TRUE(file.wellFormed);
    EXPECT_EQ(file.encoding, "GBK");
    EXPECT_EQ(file.fp.at("Gfmc"), "杭州青禾贸易有限公司");
    EXPECT_EQ(file.Line(0, "Spmc"), "办公椅");
    EXPECT_EQ(file.fpOrder, (std::vector<std::string>{"Djh", "Gfmc", "Gfsh", "Gfyhzh", "Gfdzdh", "Bz", "Fhr", "Skr",
                                                      "Spbmbbh", "Hsbz", "Spxx"}));
    // The Chinese texts are GBK bytes: 办公椅 is B0 EC B9 AB D2 CE.
    EXPECT_NE(Written().find("<Spmc>\xB0\xEC\xB9\xAB\xD2\xCE</Spmc>"), std::string::npos);
}

TEST_F(InvoiceExportTest, ValuesOfTheWorkedExamples) {
    struct Case {
        const char* what;
        bool inclusive;
        Cells line;
        const char* sl;
        const char* dj;
        const char* je;
        const char* spbm;
    };
    const Case cases[] = {
        {"exclusive", false, Line("a", Num(2), Num(50), 100, Num(0.13)), "2", "50", "100", "1050201010000000000"},
        {"inclusive", true, Line("a", Num(2), Num(56.5), 113, Num(0.13)), "2", "50", "100", "1050201010000000000"},
        {"inclusive, not rounded", true, Line("a", Num(1), Num(100), 100, Num(0.13)), "1", "88.4955752212389381",
         "88.4955752212389381", "1050201010000000000"},
        {"no quantity", true, Line("a", TLineValue(), Num(56.5), 113, Num(0.13)), "", "", "100", "1050201010000000000"},
        {"quantity as empty text", false, Line("a", Txt(""), Num(50), 100, Num(0.13)), "", "", "100",
         "1050201010000000000"},
        {"no price", false, Line("a", Num(2), TLineValue(), 100, Num(0.13)), "", "", "100", "1050201010000000000"},
        {"short code", false, Line("a", Num(2), Num(50), 100, Num(0.13), Txt("101010102")), "2", "50", "100",
         "1010101020000000000"},
        {"long code", false, Line("a", Num(2), Num(50), 100, Num(0.13), Txt("101010102000000000012")), "2", "50",
         "100", "1010101020000000000"},
        {"blank code", false, Line("a", Num(2), Num(50), 100, Num(0.13), Txt("   ")), "2", "50", "100",
         "0000000000000000000"},
        {"numeric code", false, Line("a", Num(2), Num(50), 100, Num(0.13), Num(1010101020000000000.0)), "2", "50",
         "100", "1.01010102E18000000"},
        {"zero rate", true, Line("a", Num(3), Num(1.5), 4.5, Num(0)), "3", "1.5", "4.5", "1050201010000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui_.messages.clear();
        form_.TaxInclusive = c.inclusive;
        SetLines({c.line});
        Export();
        ExpectSuccessOnly();
        const test::InvoiceFile file = Parsed();
        ASSERT_EQ(file.lines.size(), 1u);
        EXPECT_EQ(file.fp.at("Hsbz"), "0");
        EXPECT_EQ(file.Line(0, "Xh"), "1");
        EXPECT_EQ(file.Line(0, "Sl"), c.sl);
        EXPECT_EQ(file.Line(0, "Dj"), c.dj);
        EXPECT_EQ(file.Line(0, "Je"), c.je);
        EXPECT_EQ(file.Line(0, "Slv"), c.line.at(liRate).ToText());
        EXPECT_EQ(file.Line(0, "Spbm"), c.spbm);
    }
}

TEST_F(InvoiceExportTest, ListEndsAtTheFirstEmptyNameAndFieldsAreWrittenAsTyped) {
    form_.Edit_GFMC = "  买方 A&B <公司>  ";
    form_.Edit_GFSH = "";
    form_.Edit_SPBMBBH = "";
    Cells second = Line("第二行", Num(1), Num(10), 10, Num(0.06));
    second[liModel] = Txt("tab\there\nline");
    second[liUnit] = Txt("😀 Ω é");
    SetLines({Line("第一行", Num(1), Num(10), 10, Num(0.13)), second, Line("  ", Num(1), Num(1), 1, Num(0)),
              Line("after the end", Num(1), Num(1), 1, TLineValue())});
    Export();
    ExpectSuccessOnly();
    const test::InvoiceFile file = Parsed();
    ASSERT_TRUE(file.wellFormed);
    EXPECT_EQ(file.fp.at("Gfmc"), "  买方 A&B <公司>  ");
    EXPECT_EQ(file.fp.at("Gfsh"), "");
    EXPECT_EQ(file.fp.at("Spbmbbh"), "");
    ASSERT_EQ(file.lines.size(), 2u);
    EXPECT_EQ(file.Line(1, "Xh"), "2");
    EXPECT_EQ(file.Line(1, "Ggxh"), "tab\there\nline");
    EXPECT_EQ(file.Line(1, "Jldw"), "😀 Ω é");   // what GBK cannot hold travels as references
    EXPECT_NE(Written().find("&#128512;"), std::string::npos);
    const std::string written = Written();
    EXPECT_EQ(std::count(written.begin(), written.end(), '?'), 2);   // only the declaration's: no "?" stand-ins
    EXPECT_EQ(form_.Edit_XMLFilename, target_);
}

TEST_F(InvoiceExportTest, FirstRecordWithoutNameGivesAnEmptyList) {
    SetLines({Cells{}, Line("below the gap", Num(1), Num(1), 1, Num(0.13))});
    Export();
    ExpectSuccessOnly();
    EXPECT_NE(Written().find("        <Spxx></Spxx>\r\n"), std::string::npos);
    const test::InvoiceFile file = Parsed();
    EXPECT_TRUE(file.wellFormed);
    EXPECT_TRUE(file.lines.empty());
}

TEST_F(InvoiceExportTest, FailuresWriteNothingAndLeaveTheTargetAlone) {
    const std::string before = "an older invoice";
    struct Case {
        const char* what;
        std::vector<Cells> lines;
        std::string buyer;
        test::ShownMessage::Kind kind;
        const char* message;
    };
    Cells controlInModel = Line("a", Num(1), Num(1), 1, Num(0.13));
    controlInModel[liModel] = Txt("bad\x01text");
    const Case cases[] = {
        {"missing code", {Line("a", Num(1), Num(1), 1, Num(0.13)), Line("b", Num(1), Num(1), 1, Num(0.13), TLineValue())},
         "", test::ShownMessage::Plain, "开票清单的第 2 行未填写【税收分类编码】，请在Excel表中填好后再导入！"},
        {"empty rate", {Line("a", Num(1), Num(1), 1, TLineValue())}, "", test::ShownMessage::Error,
         "'' is not a valid floating point value"},
        {"rate as text", {Line("a", Num(1), Num(1), 1, Txt("13%"))}, "", test::ShownMessage::Error,
         "'13%' is not a valid floating point value"},
        {"price as text", {Line("a", Num(1), Txt("1,000"), 1, Num(0.13))}, "", test::ShownMessage::Error,
         "'1,000' is not a valid floating point value"},
        {"control character in a line", {Line("a", Num(1), Num(1), 1, Num(0.13)), controlInModel}, "",
         test::ShownMessage::Plain,
         "开票清单的第 2 行【规格型号】中含有XML文件不能保存的控制字符，请在Excel表中修改后再导入！"},
        {"control character in the buyer", {Line("a", Num(1), Num(1), 1, Num(0.13))}, "买方\x1b",
         test::ShownMessage::Plain, "【购货单位名称】中含有XML文件不能保存的控制字符，请删除后再生成开票文件！"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteText(target_, before);
        ui_.messages.clear();
        form_.Edit_XMLFilename.clear();
        form_.Edit_GFMC = c.buyer;
        SetLines(c.lines);
        Export();
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].kind, c.kind);
        EXPECT_EQ(ui_.messages[0].text, c.message);
        EXPECT_FALSE(form_.LastExportWritten);
        EXPECT_EQ(Written(), before);
        EXPECT_EQ(form_.Edit_XMLFilename, target_);   // the chosen path is kept even so
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 1);
    }
}

TEST_F(InvoiceExportTest, AFailedSaveLeavesTheOldFileAndShowsNoSuccess) {
    test::WriteText(target_, "an older invoice");
    SetLines({Line("a", Num(1), Num(1), 1, Num(0.13))});
    {
        test::FileSizeLimit full(200);
        Export();
    }
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].kind, test::ShownMessage::Error);
    EXPECT_EQ(ui_.messages[0].text.rfind("Cannot create file \"" + target_ + "\". ", 0), 0u);
    EXPECT_EQ(Written(), "an older invoice");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 1);
}

TEST_F(InvoiceExportTest, DialogProposalAndNothingToExport) {
    Export();   // no lines: an error box and no dialog
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, "请先导入按照模板格式填写的销货清单（Excel表格）！");
    EXPECT_EQ(ui_.messages[0].type, TMsgDlgType::Error);
    EXPECT_TRUE(ui_.dialogs.empty());

    ui_.files.clear();
    ui_.messages.clear();
    form_.SaveFolder = "/start/here";
    SetLines({Line("a", Num(1), Num(1), 1, Num(0.13))});
    ui_.files.push_back("");   // cancelled
    form_.Run(&TmainForm::Btn_OutputClick);
    ASSERT_EQ(ui_.dialogs.size(), 1u);
    EXPECT_EQ(ui_.dialogs[0].Name, "dlgSave");
    EXPECT_EQ(ui_.dialogs[0].InitialDir, "/start/here");
    EXPECT_EQ(ui_.dialogs[0].FileName, "清单.xml");
    EXPECT_EQ(form_.Edit_XMLFilename, "");
    EXPECT_TRUE(ui_.messages.empty());

    Export();   // the next export starts in the folder of the last one
    ui_.files.push_back("");
    form_.Run(&TmainForm::Btn_OutputClick);
    EXPECT_EQ(ui_.dialogs.back().InitialDir, dir_.Path().string() + "/");
}

TEST(InvoiceXml, IndentationAndRefusedCharacters) {
    TInvoiceXmlWriter xml;
    xml.Open("Kp");
    xml.Open("Empty");
    xml.Close();
    EXPECT_TRUE(xml.AddTextChild("A", "x\ry"));
    EXPECT_FALSE(xml.AddTextChild("B", "\x0b"));
    EXPECT_FALSE(xml.AddTextChild("B", "\xEF\xBF\xBE"));   // U+FFFE
    xml.Close();
    EXPECT_EQ(xml.Bytes(), "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<Kp>\r\n  <Empty></Empty>\r\n  <A>x&#13;y</A>\r\n</Kp>\r\n");
    EXPECT_TRUE(IsXmlText("\t\r\n 中文 😀"));
    EXPECT_FALSE(IsXmlText(std::string("a\0b", 3)));
}
