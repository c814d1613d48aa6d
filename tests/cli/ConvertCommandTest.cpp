#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "InvoiceFile.h"
#include "TempDir.h"
#include "WorkbookScript.h"
#include "cli/ConvertCommand.h"

using namespace tessaly;
using test::WorkbookScript;

namespace {

const char* kQuestion = "开票清单Excel表格中的金额可以是【含税价】或【不含税价】，\n\n请问这开票清单中的金额是【含税价】吗？\n---\n";

WorkbookScript SalesList() {
    WorkbookScript s;
    s.Headings()
        .Row(1, {"办公椅", "HY-802", "把", 2, 56.5, 113, 0.13, "1050201010000000000"})
        .Row(2, {"技术服务费", "", "次", 1, 8000, 8000, 0.06, "3040201000000000000"});
    return s;
}

struct Result {
    int status;
    std::string out;
    std::string err;
};

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override { test::WriteText(workbook_, "PK\x03\x04 in memory"); }

    Result Convert(std::vector<std::string> args, const TXLSReaders& readers) {
        args.insert(args.begin(), "convert");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::ostringstream out;
        std::ostringstream err;
        const int status = cli::RunConvert(static_cast<int>(args.size()), argv.data(), out, err, readers);
        return {status, out.str(), err.str()};
    }

    test::TempDir dir_;
    std::string workbook_ = dir_.File("销货清单.xlsx");
    std::string target_ = dir_.File("发票.xml");
};

} // namespace

TEST_F(ConvertTest, WritesTheInvoiceAndPrintsEveryMessage) {
    const Result r = Convert({workbook_, "-o", target_, "--limit-index", "0", "--buyer-name", "杭州青禾贸易有限公司",
                              "--buyer-tax-id=91330106MA2B3C4D5E", "--buyer-address-phone", "杭州 0571-1",
                              "--buyer-bank-account", "工行 1202", "--reviewer", "王芳", "--payee", "李强",
                              "--code-version", "33.0"},
                             SalesList().Readers());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, std::string(kQuestion) +
                         "本开票清单合计数\n\n　含税金额合计：8113.00\n不含税金额合计：7647.17\n　　　税额合计：465.83\n---\n"
                         "请注意，这张发票的金额合计数超过了设置的发票开票限额【一千】!\n---\n" +
                         target_ + "\n文件导出成功！\n请在开票软件中导入该.xml文件并开具发票。\n---\n");
    const auto bytes = test::ReadBytes(target_);
    const test::InvoiceFile file = test::ParseInvoiceFile(std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(file.wellFormed);
    EXPECT_EQ(file.fp.at("Gfmc"), "杭州青禾贸易有限公司");
    EXPECT_EQ(file.fp.at("Gfsh"), "91330106MA2B3C4D5E");
    EXPECT_EQ(file.fp.at("Gfdzdh"), "杭州 0571-1");
    EXPECT_EQ(file.fp.at("Gfyhzh"), "工行 1202");
    EXPECT_EQ(file.fp.at("Fhr"), "王芳");
    EXPECT_EQ(file.fp.at("Skr"), "李强");
    EXPECT_EQ(file.fp.at("Spbmbbh"), "33.0");
    ASSERT_EQ(file.lines.size(), 2u);
    EXPECT_EQ(file.Line(0, "Dj"), "50");
    EXPECT_EQ(file.Line(0, "Je"), "100");
}

TEST_F(ConvertTest, TaxExclusiveAndDefaults) {
    const Result r = Convert({"--tax-exclusive", workbook_, "--output", target_}, SalesList().Readers());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("不含税金额合计：8113.00\n"), std::string::npos) << r.out;
    const auto bytes = test::ReadBytes(target_);
    const test::InvoiceFile file = test::ParseInvoiceFile(std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(file.fp.at("Gfmc"), "");
    EXPECT_EQ(file.fp.at("Spbmbbh"), "13");
    EXPECT_EQ(file.Line(0, "Je"), "113");
}

TEST_F(ConvertTest, RefusedOrFailedExportWritesNothing) {
    struct Case {
        const char* what;
        WorkbookScript sheet;
        const char* message;
    };
    WorkbookScript noCode = SalesList();
    noCode.cells.pop_back();   // the second line's classification code
    WorkbookScript noRate = WorkbookScript().Headings().Row(1, {"商品", "", "", 1, 1, 1, test::CellValue(), "1"});
    const Case cases[] = {
        {"missing code", noCode, "开票清单的第 2 行未填写【税收分类编码】，请在Excel表中填好后再导入！\n---\n"},
        {"empty rate", noRate, "'' is not a valid floating point value\n---\n"},
        {"nothing imported", WorkbookScript().Headings(), "请先导入按照模板格式填写的销货清单（Excel表格）！\n---\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = Convert({workbook_, "-o", target_}, c.sheet.Readers());
        EXPECT_EQ(r.status, 1);
        ASSERT_GE(r.out.size(), std::string(c.message).size());
        EXPECT_EQ(r.out.substr(r.out.size() - std::string(c.message).size()), c.message);
        EXPECT_FALSE(std::filesystem::exists(target_));
    }
    const Result r = Convert({workbook_, "-o", dir_.File("missing/发票.xml")}, SalesList().Readers());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot create file"), std::string::npos);
}

TEST_F(ConvertTest, UnreadableWorkbookGoesToStandardError) {
    const std::string notAWorkbook = dir_.File("清单.xls");
    test::WriteText(notAWorkbook, "this is no workbook at all, only text that is long enough to look at");
    const Result r = Convert({notAWorkbook, "-o", target_}, TXLSReaders::Default());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kQuestion);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_FALSE(std::filesystem::exists(target_));

    WorkbookScript broken;
    broken.failure = "File is not a valid ZIP file";
    EXPECT_EQ(Convert({workbook_, "-o", target_}, broken.Readers()).err, "File is not a valid ZIP file\n");
}

TEST_F(ConvertTest, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {workbook_},
        {workbook_, "-o"},
        {workbook_, "-o", target_, "--limit-index", "5"},
        {workbook_, "-o", target_, "--limit-index", "-1"},
        {workbook_, "-o", target_, "--colour", "red"},
        {workbook_, "other.xlsx", "-o", target_},
        {workbook_, "-o", target_, "--tax-exclusive=yes"},
        {workbook_, "-o", target_, "--buyer-name", "\xff\xfe"},
    };
    for (const auto& args : cases) {
        const Result r = Convert(args, SalesList().Readers());
        EXPECT_EQ(r.status, 64) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("tessaly-cli convert: ", 0), 0u) << r.err;
    }
    const Result help = Convert({"--help"}, SalesList().Readers());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--buyer-bank-account"), std::string::npos);
    EXPECT_NE(help.out.find("64"), std::string::npos);
}

TEST_F(ConvertTest, TheProgramReportsThroughItsExitStatus) {
    const std::string program = std::string(TESSALY_BINARY_DIR) + "/bin/tessaly-cli";
    const std::string out = dir_.File("out.txt");
    const std::string err = dir_.File("err.txt");
    const auto run = [&](const std::string& args) {
        const int status = std::system((program + " " + args + " >" + out + " 2>" + err).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    test::WriteText(dir_.File("text.xls"), "no workbook");
    EXPECT_EQ(run("convert " + dir_.File("text.xls") + " -o " + target_), 2);
    const auto errBytes = test::ReadBytes(err);
    EXPECT_FALSE(errBytes.empty());
    EXPECT_EQ(run(""), 64);
    EXPECT_EQ(run("convert --help"), 0);
}
