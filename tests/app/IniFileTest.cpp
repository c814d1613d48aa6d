#include <gtest/gtest.h>

#include <filesystem>

#include "FileSizeLimit.h"
#include "TempDir.h"
#include "app/IniFile.h"
#include "core/Exception.h"

using namespace tessaly;

namespace {

std::string ReadText(const std::string& file) {
    const auto bytes = test::ReadBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(IniFile, EditsInPlaceKeepingEverythingElse) {
    test::TempDir dir;
    const std::string file = dir.File("tessaly.ini");
    test::WriteText(file,
                    "; written by hand\r\n"
                    "[Other]\r\n"
                    "Key=kept\r\n"
                    "\r\n"
                    "[files]\r\n"
                    "read = /old/清单.xlsx\r\n"
                    "Extra=1\r\n"
                    "\r\n"
                    "; before FPSetup\r\n"
                    "[FPSetup]\r\n"
                    "FHR=张三\r\n");
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Files", "Read", "x"), "/old/清单.xlsx");
    ini.WriteString("Files", "Read", "/new/销货清单.xlsx");
    ini.WriteString("Files", "Write", "/new/销货清单.xml");
    ini.WriteInteger("FPSetup", "KPXE", 3);
    ini.WriteString("FPSetup", "FHR", "");
    ini.WriteString("New", "A", "b");
    ini.UpdateFile();

    EXPECT_EQ(ReadText(file),
              "; written by hand\r\n"
              "[Other]\r\n"
              "Key=kept\r\n"
              "\r\n"
              "[files]\r\n"
              "Read=/new/销货清单.xlsx\r\n"
              "Extra=1\r\n"
              "Write=/new/销货清单.xml\r\n"
              "\r\n"
              "; before FPSetup\r\n"
              "[FPSetup]\r\n"
              "FHR=\r\n"
              "KPXE=3\r\n"
              "[New]\r\n"
              "A=b\r\n");
    // Nothing else is left in the folder: the temporary file was renamed.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(IniFile, ReadsValuesTheWayWindowsDoes) {
    test::TempDir dir;
    const std::string file = dir.File("a.ini");
    test::WriteText(file,
                    "orphan=1\n"
                    "[S]\n"
                    "  Quoted = \"  two blanks  \" \n"
                    ";Commented=1\n"
                    "Num=12\n"
                    "Hex=$1F\n"
                    "Bad=12abc\n"
                    "Neg=-1\n"
                    "Path=/a=b/c\n"
                    "Num=99\n"
                    "[s]\n"
                    "Later=1");
    const TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("S", "quoted", ""), "  two blanks  ");
    EXPECT_EQ(ini.ReadString("S", "Commented", "d"), "d");
    EXPECT_EQ(ini.ReadString("S", "orphan", "d"), "d");
    EXPECT_EQ(ini.ReadString("S", "Path", ""), "/a=b/c");
    EXPECT_EQ(ini.ReadString("S", "Later", "first section only"), "first section only");
    EXPECT_EQ(ini.ReadString("Missing", "Num", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("S", "Num", 0), 12);     // the first of two wins
    EXPECT_EQ(ini.ReadInteger("S", "Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "Bad", 2), 2);
    EXPECT_EQ(ini.ReadInteger("S", "Neg", 2), -1);
    EXPECT_EQ(ini.ReadInteger("S", "Missing", 2), 2);
}

TEST(IniFile, AFileThatIsNotUtf8IsReadAsGbk) {
    test::TempDir dir;
    const std::string file = dir.File("gbk.ini");
    // "[FPSetup]\r\nFHR=张三\r\n; 注释\r\n" in GBK
    test::WriteText(file, "[FPSetup]\r\nFHR=\xD5\xC5\xC8\xFD\r\n; \xD7\xA2\xCA\xCD\r\n");
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("FPSetup", "FHR", ""), "张三");
    ini.WriteString("FPSetup", "SHR", "李四");
    ini.UpdateFile();
    EXPECT_EQ(ReadText(file), "[FPSetup]\r\nFHR=张三\r\nSHR=李四\r\n; 注释\r\n");
}

TEST(IniFile, MissingFileIsCreatedAndAFailedWriteLeavesTheOldOne) {
    test::TempDir dir;
    const std::string file = dir.File("new.ini");
    {
        TIniFile ini(file);
        EXPECT_EQ(ini.ReadString("Files", "Read", "default"), "default");
        ini.WriteString("Files", "Read", "a\r\nb");   // a line break would split the line
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadText(file), "[Files]\nRead=a  b\n");

    // A full disk: the write fails and the file keeps its old content.
    TIniFile ini(file);
    ini.WriteString("Files", "Read", std::string(4096, 'c'));
    {
        test::FileSizeLimit full(1024);
        EXPECT_THROW(ini.UpdateFile(), Exception);
    }
    EXPECT_EQ(ReadText(file), "[Files]\nRead=a  b\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}
