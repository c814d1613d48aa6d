#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/MainForm.h"
#include "platform/Paths.h"

using namespace tessaly;

namespace {

// A home folder with a desktop, and a settings file beside a pretend executable.
class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("HOME", dir_.Path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        desktop_ = dir_.File("Desktop");
        std::filesystem::create_directory(desktop_);
        settings_ = dir_.File("tessaly.ini");
    }
    void TearDown() override { ::setenv("HOME", savedHome_.c_str(), 1); }

    // A form of the running test program (which carries the version stamp).
    std::unique_ptr<TmainForm> NewForm() {
        auto form = std::make_unique<TmainForm>(ui_, platform::ExecutableFile());
        form->SettingsFile = settings_;
        return form;
    }
    std::string SettingsText() {
        const auto bytes = test::ReadBytes(settings_);
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir dir_;
    test::ScriptedUi ui_;
    std::string savedHome_;
    std::string desktop_;
    std::string settings_;
};

} // namespace

TEST_F(MainFormTest, FirstRunWithoutSettings) {
    auto form = NewForm();
    EXPECT_EQ(form->Edit_GFMC, "购方名称");   // the design text, until start-up clears it
    form->FormCreate();
    EXPECT_EQ(form->Caption, "Tessaly（金税盘版） V1.1.9.0");
    EXPECT_EQ(form->Combo_KPXE, 2);
    EXPECT_EQ(form->Combo_KPXEText(), " 十万");
    for (const std::string* field : {&form->Edit_GFMC, &form->Edit_GFSH, &form->Edit_GFDZDH, &form->Edit_YHZH,
                                     &form->Edit_FHR, &form->Edit_SKR, &form->edReadFilename, &form->Edit_XMLFilename})
        EXPECT_EQ(*field, "");
    EXPECT_EQ(form->Edit_SPBMBBH, "13");
    EXPECT_EQ(form->OpenFolder, desktop_);
    EXPECT_EQ(form->SaveFolder, desktop_);
    EXPECT_TRUE(form->TaxInclusive);
    EXPECT_EQ(form->StatusPanels[0], "感谢支持！如有任何改进软件的需求或建议请联系我们。");
    EXPECT_FALSE(form->StatusPanels[1].empty());
    EXPECT_EQ(form->StatusPanels[2], "");
    EXPECT_EQ(form->Upgrader1.VersionNumber, "1.1.9.0");
    EXPECT_EQ(form->Upgrader1.UpgradeMsg, "版本1.1.9.0：\r\n\r\n● 增强了对开票软件的适用能力。");
    EXPECT_EQ(form->Upgrader1.UpgradeMethod, umUseExternalSetup);
    EXPECT_EQ(form->Upgrader1.VersionControl, byNumber);
    EXPECT_TRUE(form->Upgrader1.InfoFileURL.empty());   // no address: the check does nothing
    EXPECT_TRUE(ui_.messages.empty());

    form->FormDestroy();   // creates the file; blank paths are not written
    EXPECT_EQ(SettingsText(), "[FPSetup]\nKPXE=2\nFHR=\nSHR=\n");
}

TEST_F(MainFormTest, SettingsCarryTheChoicesToTheNextRun) {
    const std::string lists = dir_.File("lists");
    std::filesystem::create_directory(lists);
    test::WriteText(settings_,
                    "[Files]\n"
                    "Read=" + lists + "/清单.xlsx\n"
                    "Write=" + dir_.File("gone") + "/清单.xml\n"
                    "[FPSetup]\n"
                    "KPXE=4\n"
                    "FHR=张三\n"
                    "SHR=李四\n"
                    "; kept\n"
                    "[Foreign]\n"
                    "x=1\n");
    auto form = NewForm();
    form->FormCreate();
    EXPECT_EQ(form->OpenFolder, lists + "/");
    EXPECT_EQ(form->SaveFolder, desktop_);   // the remembered folder no longer exists
    EXPECT_EQ(form->Combo_KPXE, 4);
    EXPECT_EQ(form->Edit_FHR, "张三");
    EXPECT_EQ(form->Edit_SKR, "李四");
    EXPECT_EQ(form->edReadFilename, "");   // the paths are remembered, not shown

    // Nothing imported or exported: the old paths stay, the rest is always rewritten.
    form->Edit_FHR = "";
    form->Combo_KPXE = 0;
    form->Edit_XMLFilename = "   ";
    form->FormDestroy();
    EXPECT_EQ(SettingsText(),
              "[Files]\n"
              "Read=" + lists + "/清单.xlsx\n"
              "Write=" + dir_.File("gone") + "/清单.xml\n"
              "[FPSetup]\n"
              "KPXE=0\n"
              "FHR=\n"
              "SHR=李四\n"
              "; kept\n"
              "[Foreign]\n"
              "x=1\n");

    auto next = NewForm();
    next->FormCreate();
    next->edReadFilename = " /a/b.xlsx";
    next->Combo_KPXE = -1;
    next->FormDestroy();
    EXPECT_NE(SettingsText().find("Read= /a/b.xlsx\n"), std::string::npos);   // untrimmed
    EXPECT_NE(SettingsText().find("KPXE=-1\n"), std::string::npos);
}

TEST_F(MainFormTest, LimitIndexOutsideTheListSelectsNothing) {
    test::WriteText(settings_, "[FPSetup]\nKPXE=7\n");
    auto form = NewForm();
    form->FormCreate();
    EXPECT_EQ(form->Combo_KPXE, -1);
    EXPECT_EQ(form->Combo_KPXEText(), "");
    EXPECT_EQ(form->InvoiceLimit(), 0);
    const long double limits[] = {1000, 10000, 100000, 1000000, 10000000};
    for (int i = 0; i < 5; ++i) {
        form->Combo_KPXE = i;
        EXPECT_EQ(form->InvoiceLimit(), limits[i]);
    }
}

TEST_F(MainFormTest, NoDesktopAndNoVersion) {
    std::filesystem::remove(desktop_);
    const std::string program = dir_.File("tessaly");
    test::WriteText(program, "#!/bin/sh\n");   // no version stamp
    TmainForm form(ui_, program);
    EXPECT_EQ(form.SettingsFile, program + ".ini");
    form.FormCreate();
    EXPECT_EQ(form.Caption, "Tessaly（金税盘版） V");
    EXPECT_EQ(form.Upgrader1.VersionNumber, "");
    EXPECT_EQ(form.OpenFolder, "");
    EXPECT_EQ(form.SaveFolder, "");
}

TEST_F(MainFormTest, ExitClosesAndUncaughtErrorsGoToTheDefaultDisplay) {
    auto form = NewForm();
    form->Run(&TmainForm::btn_exitClick);
    EXPECT_EQ(ui_.closes, 1);

    struct Failing : TmainForm {
        using TmainForm::TmainForm;
        void Fail() { throw std::runtime_error("Cannot open file \"x\". No such file or directory"); }
    };
    Failing failing(ui_, "");
    failing.Run(static_cast<void (TmainForm::*)()>(&Failing::Fail));
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].kind, test::ShownMessage::Error);
    EXPECT_EQ(ui_.messages[0].text, "Cannot open file \"x\". No such file or directory");
}

TEST_F(MainFormTest, DialogsAsDesigned) {
    auto form = NewForm();
    EXPECT_EQ(form->dlgOpen.Filter, "开票清单(Excel表格)|*.xlsx;*.xls|All files (*.*)|*.*");
    EXPECT_EQ(form->dlgOpen.FilterIndex, 1);
    EXPECT_EQ(form->dlgOpen.Kind, TFileDialogKind::Open);
    EXPECT_EQ(form->dlgSave.Filter, "XML发票文件(*.xml)|*.xml");
    EXPECT_EQ(form->dlgSave.DefaultExt, "*.xml");
    EXPECT_TRUE(form->dlgSave.OverwritePrompt);
    EXPECT_EQ(form->SaveMBDialog.Filter, "Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx");
    EXPECT_EQ(form->SaveMBDialog.DefaultExt, "*.xls;*.xlsx");
    EXPECT_TRUE(form->SaveMBDialog.OverwritePrompt);
    for (const TFileDialog* d : {&form->dlgOpen, &form->dlgSave, &form->SaveMBDialog}) {
        EXPECT_TRUE(d->HideReadOnly);
        EXPECT_TRUE(d->EnableSizing);
    }
}
