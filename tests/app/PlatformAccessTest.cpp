#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "ScriptedRegistry.h"
#include "TempDir.h"
#include "platform/FileCopy.h"
#include "platform/FolderListing.h"
#include "platform/Registry.h"

using namespace tessaly;
using namespace tessaly::platform;
namespace fs = std::filesystem;

namespace tessaly::platform {
void PrintTo(const TFolderEntry& entry, std::ostream* out) {
    *out << '"' << entry.Name << "\" 0x" << std::hex << entry.Attributes << std::dec;
}
} // namespace tessaly::platform

TEST(FolderListing, EntriesWithTheirAttributes) {
    test::TempDir dir;
    const std::string root = dir.File("inst");
    fs::create_directory(root);
    fs::create_directory(root + "/纳税人");
    fs::create_directory(root + "/.hidden");
    fs::create_directory(root + "/locked");
    ::chmod((root + "/locked").c_str(), 0555);
    fs::create_directory_symlink(root + "/纳税人", root + "/link");
    test::WriteText(root + "/file.xml", "x");
    test::WriteText(root + "/readonly.xml", "x");
    ::chmod((root + "/readonly.xml").c_str(), 0444);
    test::WriteText(root + "/.profile", "x");
    fs::create_symlink(root + "/missing", root + "/dangling");
    ASSERT_EQ(::mkfifo((root + "/pipe").c_str(), 0644), 0);

    auto entries = SystemListFolder(root);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    const std::vector<TFolderEntry> expected = {
        {".hidden", faDirectory | faHidden},
        {".profile", faHidden},
        {"dangling", faSymLink},
        {"file.xml", faNormal},
        {"link", faDirectory | faSymLink},
        {"locked", faDirectory | faReadOnly},
        {"pipe", faSysFile},
        {"readonly.xml", faReadOnly},
        {"纳税人", faDirectory},
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(SystemListFolder(root + "/").size(), expected.size());
    EXPECT_TRUE(SystemListFolder(root + "/missing").empty());
    EXPECT_TRUE(SystemListFolder(root + "/file.xml").empty());
    EXPECT_TRUE(SystemListFolder("").empty());
    ::chmod((root + "/locked").c_str(), 0755);
}

TEST(FolderListing, AHandlerReplacesTheSystemListing) {
    const TFolderListingHandler previous = SetFolderListingHandler([](const std::string& folder) {
        return std::vector<TFolderEntry>{{folder, faDirectory}};
    });
    EXPECT_EQ(ListFolder("x"), (std::vector<TFolderEntry>{{"x", faDirectory}}));
    SetFolderListingHandler(previous);
    EXPECT_TRUE(ListFolder("/nonexistent-folder").empty());
}

TEST(FileCopy, ReplacesTheTargetOrLeavesItAlone) {
    test::TempDir dir;
    const std::string source = dir.File("开票清单模板.xlsx");
    const std::string target = dir.File("copy.xlsx");
    test::WriteText(source, "template");
    test::WriteText(target, "older and longer");
    EXPECT_TRUE(CopyFileReplacing(source, target));
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));

    EXPECT_FALSE(CopyFileReplacing(dir.File("missing"), target));
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
    EXPECT_FALSE(CopyFileReplacing(source, dir.File("no folder/copy.xlsx")));
    EXPECT_FALSE(fs::exists(dir.File("no folder")));
}

TEST(Registry, ReadsThroughTheInstalledBackend) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\开票软件";
    {
        test::ScriptedRegistry scripted;
        scripted.SetKey(TRegistryRoot::LocalMachine, key, {{"DisplayIcon", "C:\\KP\\KP.exe"}});
        TRegistry registry;
        EXPECT_FALSE(registry.OpenKeyReadOnly(key));   // the current user's hive by default
        registry.RootKey = TRegistryRoot::LocalMachine;
        ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + key));
        EXPECT_TRUE(registry.ValueExists("DisplayIcon"));
        EXPECT_FALSE(registry.ValueExists("Publisher"));
        EXPECT_EQ(registry.ReadString("DisplayIcon"), "C:\\KP\\KP.exe");
        EXPECT_EQ(registry.ReadString("Publisher"), "");
        registry.CloseKey();
        EXPECT_EQ(registry.ReadString("DisplayIcon"), "");
        EXPECT_FALSE(registry.OpenKeyReadOnly(key + "\\sub"));
        EXPECT_FALSE(registry.ValueExists("DisplayIcon"));   // a failed open leaves no key open
    }
    TRegistry system;   // the scripted registry is gone: Linux has none
    system.RootKey = TRegistryRoot::LocalMachine;
    EXPECT_FALSE(system.OpenKeyReadOnly(key));
}
