#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "FileSizeLimit.h"
#include "TempDir.h"
#include "core/Exception.h"
#include "platform/AtomicFile.h"
#include "platform/DesktopFolder.h"
#include "platform/FileVersion.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/ShellOpen.h"

using namespace tessaly;
using namespace tessaly::platform;

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    Put32(b, at, static_cast<uint32_t>(v));
    Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

// A minimal little-endian ELF64 file with one note segment holding one note.
std::vector<uint8_t> ElfWithNote(const char* name, uint32_t type, std::vector<uint32_t> desc,
                                 uint64_t segmentSize = 0) {
    std::vector<uint8_t> b(64 + 56, 0);
    std::memcpy(b.data(), "\x7f" "ELF", 4);
    b[4] = 2;   // 64-bit
    b[5] = 1;   // little-endian
    b[6] = 1;
    Put64(b, 32, 64);    // program headers right after the header
    Put16(b, 54, 56);
    Put16(b, 56, 1);
    const size_t note = b.size();
    const uint32_t nameSize = static_cast<uint32_t>(std::strlen(name) + 1);
    Put32(b, note, nameSize);
    Put32(b, note + 4, static_cast<uint32_t>(desc.size() * 4));
    Put32(b, note + 8, type);
    b.resize(note + 12 + ((nameSize + 3) & ~3u), 0);
    std::memcpy(b.data() + note + 12, name, nameSize);
    for (uint32_t word : desc) Put32(b, b.size(), word);
    Put32(b, 64, 4);   // PT_NOTE
    Put64(b, 64 + 8, note);
    Put64(b, 64 + 32, segmentSize ? segmentSize : b.size() - note);
    return b;
}

} // namespace

TEST(FileVersion, ReadsTheStampOfAnExecutable) {
    // The test program links the stamp, as the shipped programs do.
    EXPECT_EQ(GetFileVersionText(ExecutableFile()), "1.1.9.0");

    test::TempDir dir;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const Case cases[] = {
        {"stamp", ElfWithNote("Tessaly", 1, {(2u << 16) | 10, (300u << 16) | 4}), "2.10.300.4"},
        {"other note", ElfWithNote("GNU", 1, {1, 2}), ""},
        {"other type", ElfWithNote("Tessaly", 3, {1, 2}), ""},
        {"no elf", std::vector<uint8_t>{'#', '!', '/', 'b', 'i', 'n'}, ""},
        {"empty", std::vector<uint8_t>{}, ""},
        {"segment past the end", ElfWithNote("Tessaly", 1, {1, 2}, 4096), "-1"},
        {"short descriptor", ElfWithNote("Tessaly", 1, {1}), "-1"},
    };
    for (const auto& c : cases) {
        const std::string file = dir.File(c.what);
        test::WriteBytes(file, c.bytes);
        EXPECT_EQ(GetFileVersionText(file), c.text) << c.what;
    }
    std::vector<uint8_t> truncated = ElfWithNote("Tessaly", 1, {1, 2});
    truncated.resize(70);   // the program header is cut
    test::WriteBytes(dir.File("truncated"), truncated);
    EXPECT_EQ(GetFileVersionText(dir.File("truncated")), "-1");
    EXPECT_EQ(GetFileVersionText(dir.File("missing")), "-1");
}

TEST(DesktopFolder, FollowsTheXdgUserDirs) {
    test::TempDir dir;
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string home = dir.File("home");
    std::filesystem::create_directories(home + "/.config");
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");

    EXPECT_EQ(DesktopFolder(), "");   // $HOME/Desktop does not exist
    std::filesystem::create_directory(home + "/Desktop");
    EXPECT_EQ(DesktopFolder(), home + "/Desktop");

    std::filesystem::create_directory(home + "/桌面 x");
    test::WriteText(home + "/.config/user-dirs.dirs",
                    "# comment\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_DESKTOP_DIR=\"$HOME/桌面\\ x/\"\n");
    EXPECT_EQ(DesktopFolder(), home + "/桌面 x");

    const std::string config = dir.File("config");
    std::filesystem::create_directory(config);
    test::WriteText(config + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + dir.File("elsewhere") + "\"\n");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(DesktopFolder(), "");   // named, but missing
    std::filesystem::create_directory(dir.File("elsewhere"));
    EXPECT_EQ(DesktopFolder(), dir.File("elsewhere"));

    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(Paths, FolderNameAndExtension) {
    EXPECT_EQ(ExtractFilePath("/a/b/清单.xlsx"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("清单.xlsx"), "");
    EXPECT_EQ(ExtractFileName("/a/b/清单.xlsx"), "清单.xlsx");
    EXPECT_EQ(ChangeFileExt("/a/b/清单.xlsx", ".xml"), "/a/b/清单.xml");
    EXPECT_EQ(ChangeFileExt("/a.d/tessaly", ".ini"), "/a.d/tessaly.ini");
    EXPECT_EQ(ChangeFileExt("x.tar.gz", ".xml"), "x.tar.xml");
    EXPECT_EQ(ChangeFileExt("", ".xml"), ".xml");
    test::TempDir dir;
    test::WriteText(dir.File("f"), "");
    EXPECT_TRUE(FileExists(dir.File("f")));
    EXPECT_FALSE(FileExists(dir.Path().string()));
    EXPECT_TRUE(DirectoryExists(dir.Path().string() + "/"));
    EXPECT_FALSE(DirectoryExists(dir.File("f")));
    EXPECT_FALSE(DirectoryExists(""));
}

TEST(AtomicFile, ReplacesWholeOrNotAtAll) {
    test::TempDir dir;
    const std::string file = dir.File("out.xml");
    WriteFileAtomically(file, "first");
    struct stat info;
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

    ::chmod(file.c_str(), 0640);
    WriteFileAtomically(file, "second");
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);   // a replaced file keeps its permissions
    EXPECT_EQ(test::ReadBytes(file), (std::vector<uint8_t>{'s', 'e', 'c', 'o', 'n', 'd'}));

    {
        test::FileSizeLimit full(100);
        EXPECT_THROW(WriteFileAtomically(file, std::string(1000, 'x')), Exception);
    }
    EXPECT_EQ(test::ReadBytes(file).size(), 6u);
    std::filesystem::create_directory(dir.File("folder"));
    test::WriteText(dir.File("folder/inside"), "");
    try {
        WriteFileAtomically(dir.File("folder"), "x");
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + dir.File("folder") + "\". ", 0), 0u);
    }
    EXPECT_THROW(WriteFileAtomically(dir.File("missing/out.xml"), "x"), Exception);
    // Only the target and the folder are left: no temporary file survives a failure.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(ShellOpen, RequestsGoToTheHandler) {
    std::vector<std::string> opened;
    const TShellOpenHandler previous = SetShellOpenHandler([&](const std::string& path) {
        opened.push_back(path);
        return true;
    });
    EXPECT_TRUE(ShellOpen("/tmp/开票清单模板.xlsx"));
    SetShellOpenHandler(previous);
    EXPECT_EQ(opened, (std::vector<std::string>{"/tmp/开票清单模板.xlsx"}));
}

TEST(Registry, OpensNothingOnLinux) {
    TRegistry registry;
    registry.RootKey = TRegistryRoot::CurrentUser;
    EXPECT_FALSE(registry.OpenKeyReadOnly("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"));
    EXPECT_EQ(registry.ReadString("Desktop"), "");
}
