#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/MainForm.h"
#include "platform/ShellOpen.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

constexpr const char* kQuestion = "请问这电脑上安装的Excel的版本是2007或更新的版本吗?";

// A program folder with both templates (told apart by their content), a desktop, and a shell
// that only records what it was asked to open.
class TemplateCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("HOME", dir_.Path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        desktop_ = dir_.File("Desktop");
        fs::create_directories(desktop_);
        program_ = dir_.File("program") + "/";
        fs::create_directories(program_);
        test::WriteText(program_ + "开票清单模板.xlsx", "xlsx template");
        test::WriteText(program_ + "开票清单模板.xls", "xls template");
        previousShell_ = platform::SetShellOpenHandler([this](const std::string& path) {
            opened_.push_back(path);
            return true;
        });
    }
    void TearDown() override {
        platform::SetShellOpenHandler(previousShell_);
        ::setenv("HOME", savedHome_.c_str(), 1);
    }

    std::unique_ptr<TmainForm> NewForm() { return std::make_unique<TmainForm>(ui_, program_ + "tessaly"); }
    std::string Content(const std::string& file) {
        const auto bytes = test::ReadBytes(file);
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir dir_;
    test::ScriptedUi ui_;
    std::string savedHome_;
    std::string desktop_;
    std::string program_;
    std::vector<std::string> opened_;
    platform::TShellOpenHandler previousShell_;
};

} // namespace

TEST_F(TemplateCopyTest, TheAnswerPicksTheTemplate) {
    struct Case {
        TModalResult answer;
        const char* proposed;
        const char* target;
        const char* content;
    };
    const Case cases[] = {
        {TModalResult::Yes, "开票清单模板.xlsx", "清单.xlsx", "xlsx template"},
        {TModalResult::No, "开票清单模板.xls", "清单.xls", "xls template"},
        // The name the user types decides nothing about the content.
        {TModalResult::No, "开票清单模板.xls", "旧版.xlsx", "xls template"},
    };
    for (const Case& c : cases) {
        ui_ = test::ScriptedUi();
        opened_.clear();
        auto form = NewForm();
        const std::string target = desktop_ + "/" + c.target;
        ui_.answers = {c.answer};
        ui_.files = {target};
        form->Btn_DirClick();

        ASSERT_EQ(ui_.messages.size(), 1u) << c.target;
        EXPECT_EQ(ui_.messages[0].text, kQuestion);
        EXPECT_EQ(ui_.messages[0].type, TMsgDlgType::Confirmation);
        EXPECT_EQ(ui_.messages[0].buttons, TMsgDlgButtons::YesNo);
        ASSERT_EQ(ui_.dialogs.size(), 1u);
        EXPECT_EQ(ui_.dialogs[0].Name, "SaveMBDialog");
        EXPECT_EQ(ui_.dialogs[0].FileName, c.proposed);   // a name without a folder
        EXPECT_EQ(ui_.dialogs[0].InitialDir, desktop_);   // the first copy of the run
        EXPECT_EQ(Content(target), c.content);
        EXPECT_EQ(opened_, std::vector<std::string>{target});
    }
}

TEST_F(TemplateCopyTest, TheNextCopyStartsWhereTheLastWent) {
    auto form = NewForm();
    const std::string lists = dir_.File("lists");
    fs::create_directory(lists);
    test::WriteText(lists + "/清单.xlsx", "filled in earlier, replaced");
    ui_.files = {lists + "/清单.xlsx", "", desktop_ + "/b.xls"};
    form->Btn_DirClick();
    EXPECT_EQ(Content(lists + "/清单.xlsx"), "xlsx template");

    form->Btn_DirClick();   // cancelled: nothing copied, nothing opened
    form->Btn_DirClick();
    ASSERT_EQ(ui_.dialogs.size(), 3u);
    EXPECT_EQ(ui_.dialogs[1].InitialDir, lists + "/");
    EXPECT_EQ(ui_.dialogs[2].InitialDir, lists + "/");
    EXPECT_EQ(form->SaveMBDialog.InitialDir, desktop_ + "/");
    EXPECT_EQ(opened_, (std::vector<std::string>{lists + "/清单.xlsx", desktop_ + "/b.xls"}));

    ui_.files = {desktop_ + "/c.xlsx"};   // a new run starts on the desktop again
    NewForm()->Btn_DirClick();
    EXPECT_EQ(ui_.dialogs.back().InitialDir, desktop_);
}

TEST_F(TemplateCopyTest, AMissingTemplateStillOpensTheTargetSilently) {
    fs::remove(program_ + "开票清单模板.xlsx");
    auto form = NewForm();
    const std::string target = desktop_ + "/清单.xlsx";
    ui_.files = {target, desktop_ + "/kept.xlsx"};
    form->Btn_DirClick();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(opened_, std::vector<std::string>{target});
    EXPECT_EQ(ui_.Texts(), std::vector<std::string>{kQuestion});

    // A target that exists stays as it was.
    test::WriteText(desktop_ + "/kept.xlsx", "kept");
    form->Btn_DirClick();
    EXPECT_EQ(Content(desktop_ + "/kept.xlsx"), "kept");
}

TEST_F(TemplateCopyTest, HelpOpensTheDocumentBesideTheProgram) {
    auto form = NewForm();
    form->Run(&TmainForm::btn_helpClick);
    EXPECT_EQ(opened_, std::vector<std::string>{program_ + "Quorra操作说明.html"});
    EXPECT_TRUE(ui_.messages.empty());   // whether it exists or not
}
