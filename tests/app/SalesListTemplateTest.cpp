#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/LineTable.h"
#include "app/MainForm.h"
#include "core/Utf.h"
#include "document/XLSDocument.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

struct Template {
    const char* name;
    TExcelVersion version;
    const char* label;
};
constexpr Template kTemplates[] = {
    {"开票清单模板.xlsx", xvExcel2007, "xlsx"},
    {"开票清单模板.xls", xvExcel97, "xls"},
};

std::string Committed(const char* name) { return std::string(TESSALY_SOURCE_DIR) + "/templates/" + name; }
std::string BesideTheExecutables(const char* name) { return std::string(TESSALY_BINARY_DIR) + "/bin/" + name; }

void PrintTo(const Template& t, std::ostream* out) { *out << t.name; }

class SalesListTemplate : public ::testing::TestWithParam<Template> {};

} // namespace

// The headings are the line table's captions of columns 1 to 13, in columns A to M of the first
// row, and nothing else is on the sheet.
TEST_P(SalesListTemplate, HoldsOnlyTheHeadingRow) {
    TXLSDocument document;
    document.SetFilename(Committed(GetParam().name));
    document.LoadWorkbook();
    EXPECT_EQ(document.Version, GetParam().version);
    TXLSWorksheet& sheet = document.SheetAt(0);
    sheet.RecalcUsedArea();
    EXPECT_EQ(sheet.FirstUsedRow(), 0);
    EXPECT_EQ(sheet.LastUsedRow(), 0);
    EXPECT_EQ(sheet.FirstUsedCol(), 0);
    ASSERT_EQ(sheet.LastUsedCol(), 12);
    for (int col = 0; col <= 12; ++col) {
        EXPECT_EQ(sheet.CellKind(col, 0), xckString) << "column " << col;
        EXPECT_EQ(Utf16ToUtf8(sheet.CellText(col, 0)), kLineColumns[static_cast<size_t>(col) + 1].Caption)
            << "column " << col;
    }
}

TEST_P(SalesListTemplate, ImportsAsAnEmptyList) {
    test::ScriptedUi ui;
    TmainForm form(ui, "");
    ui.files = {Committed(GetParam().name)};
    ui.answers = {TModalResult::Yes};
    form.Run(&TmainForm::Btn_importClick);
    EXPECT_EQ(form.Lines.RecordCount(), 0);
    // The tax question only: no cell error, no totals, no limit warning.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, TMsgDlgType::Confirmation);
    EXPECT_EQ(form.Edit_JeHJ, "");
}

INSTANTIATE_TEST_SUITE_P(Both, SalesListTemplate, ::testing::ValuesIn(kTemplates),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(SalesListTemplateFiles, CopiedBesideTheExecutables) {
    const std::string source = TESSALY_SOURCE_DIR;
    const std::pair<const char*, std::string> files[] = {
        {"开票清单模板.xlsx", source + "/templates/"},
        {"开票清单模板.xls", source + "/templates/"},
        {"Quorra操作说明.html", source + "/docs/"},
        {"main-window.png", source + "/docs/"},
    };
    for (const auto& [name, folder] : files) {
        ASSERT_TRUE(fs::exists(BesideTheExecutables(name))) << name;
        EXPECT_EQ(test::ReadBytes(BesideTheExecutables(name)), test::ReadBytes(folder + name)) << name;
    }
}
