// The workbook component: which reader a file goes to, and what a read leaves behind.

#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/Exception.h"
#include "core/Stream.h"
#include "document/XLSDocument.h"

namespace tessaly {
namespace {

const std::vector<uint8_t> kZip = {0x50, 0x4B, 0x03, 0x04, 0x14, 0x00, 0x00, 0x00};
const std::vector<uint8_t> kCompound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Readers that record which entry point ran and what they saw, and fill in a small workbook.
struct Observed {
    std::string entry;
    std::string fileName;
    std::vector<uint8_t> firstBytes;
    TExcelVersion managerVersion = xvNone;
    int sheetsAtStart = -1;
    bool fail = false;
};

void FillWorkbook(TWbManager& manager, Observed& seen, const char16_t* firstSheet) {
    seen.managerVersion = manager.FileVersion;
    seen.sheetsAtStart = manager.Worksheets().Count();
    manager.SST().AppendString(u"dup");
    manager.SST().AppendString(u"dup");
    for (const char16_t* name : {firstSheet, u"Second", u"Third"}) {
        TWbDataWorksheet& sheet = manager.Worksheets().AddWorksheetData(-1);
        sheet.Name = name;
        sheet.Cells().StoreSharedString(0, 0, 0, 0);
    }
    if (seen.fail) throw Exception("damaged file");
}

std::vector<uint8_t> Peek(TStream& stream) {
    std::vector<uint8_t> bytes(4);
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    return bytes;
}

TXLSReaders ObservingReaders(Observed& seen) {
    TXLSReaders readers;
    readers.ReadXlsx = [&seen](TWbManager& manager, TStream& stream) {
        seen.entry = "xlsx";
        seen.firstBytes = Peek(stream);
        FillWorkbook(manager, seen, u"FromXlsx");
    };
    readers.ReadBiffFile = [&seen](TWbManager& manager, const std::string& fileName) {
        seen.entry = "biff-file";
        seen.fileName = fileName;
        FillWorkbook(manager, seen, u"FromBiffFile");
        return TBiffReadResult{xvExcel97, u"VelvetSweatshop", {}};
    };
    readers.ReadBiffStream = [&seen](TWbManager& manager, TStream& stream) {
        seen.entry = "biff-stream";
        seen.firstBytes = Peek(stream);
        FillWorkbook(manager, seen, u"FromBiffStream");
        return TBiffReadResult{xvExcel50, u"", {}};
    };
    return readers;
}

TEST(DocumentTest, TheReaderIsChosenByExtensionAndFirstBytes) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "folder.xls");
    struct Case {
        std::string name;
        std::vector<uint8_t> content;
        std::string entry;
        TExcelVersion version;
    };
    const Case cases[] = {
        {"book.xlsx", kZip, "xlsx", xvExcel2007},
        {"zip-inside.XLS", kZip, "biff-file", xvExcel97},        // .xls is BIFF whatever it holds
        {"macro.Xlm", kZip, "biff-file", xvExcel97},
        {"compound.xlsx", kCompound, "biff-stream", xvExcel50},  // not a ZIP: BIFF
        {"no-extension", kZip, "xlsx", xvExcel2007},
        {"folder.xls/inside", kZip, "xlsx", xvExcel2007},        // the dot is in a folder name
        {"short.xlsx", {0x50, 0x4B}, "biff-stream", xvExcel50},
        {"empty.txt", {}, "biff-stream", xvExcel50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        test::WriteBytes(path, c.content);
        Observed seen;
        TXLSDocument document(ObservingReaders(seen));
        document.SetFilename(path);
        document.LoadWorkbook();
        EXPECT_EQ(seen.entry, c.entry);
        EXPECT_EQ(document.Version, c.version);
        EXPECT_EQ(document.Filename(), path);
        EXPECT_EQ(seen.sheetsAtStart, 0);   // every read starts from a cleared workbook
        if (c.entry == "biff-file") {
            EXPECT_EQ(seen.fileName, path);
            EXPECT_EQ(seen.managerVersion, xvExcel97);
            EXPECT_EQ(document.UsedPassword(), u"VelvetSweatshop");
        } else {
            // The peek put the stream back: the reader sees the file from its first byte.
            const size_t n = std::min<size_t>(4, c.content.size());
            EXPECT_EQ(seen.firstBytes, std::vector<uint8_t>(c.content.begin(), c.content.begin() + n));
        }
        ASSERT_EQ(document.SheetCount(), 3);
        EXPECT_EQ(document.SheetAt(0).Name().substr(0, 4), u"From");
        EXPECT_EQ(document.SheetAt(2).Name(), u"Third");
        EXPECT_EQ(document.SheetAt(1).CellText(0, 0), u"dup");
    }
}

TEST(DocumentTest, StreamsAreReadAsXlsxWithoutDetection) {
    Observed seen;
    TXLSDocument document(ObservingReaders(seen));
    TMemoryStream stream(kCompound);
    document.LoadWorkbookStream(stream, false);
    EXPECT_EQ(seen.entry, "xlsx");
    EXPECT_EQ(seen.managerVersion, xvExcel2007);
    TMemoryStream zip(kZip);
    document.LoadWorkbookStream(zip, true);
    EXPECT_EQ(seen.entry, "xlsx");
}

TEST(DocumentTest, AfterAReadTheStringHashIsBuiltAndTheOldWorkbookIsGone) {
    test::TempDir dir;
    const std::string path = dir.File("a.xlsx");
    test::WriteBytes(path, kZip);
    Observed seen;
    TXLSDocument document(ObservingReaders(seen));
    document.LoadWorkbookFile(path);
    document.LoadWorkbookFile(path);
    TWbDataSST& sst = document.Manager().SST();
    EXPECT_EQ(sst.Count(), 2);   // the strings of the first read are gone
    EXPECT_EQ(document.SheetCount(), 3);
    // The hash was rebuilt after the read: the entry added last wins.
    EXPECT_EQ(sst.FindOrAddString(u"dup"), 1);
    EXPECT_FALSE(document.Manager().Loading());
}

TEST(DocumentTest, AfterAFailedReadThereIsNoSheetUntilTheNextGoodRead) {
    test::TempDir dir;
    const std::string path = dir.File("a.xlsx");
    test::WriteBytes(path, kZip);
    Observed seen;
    TXLSDocument document(ObservingReaders(seen));
    ASSERT_EQ(document.SheetCount(), 1);
    seen.fail = true;
    try {
        document.LoadWorkbookFile(path);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "damaged file");
    }
    EXPECT_EQ(document.SheetCount(), 0);
    EXPECT_THROW(document.SheetAt(0), EListError);
    seen.fail = false;
    document.LoadWorkbookFile(path);
    EXPECT_EQ(document.SheetAt(0).Name(), u"FromXlsx");
}

TEST(DocumentTest, AMissingFileIsTheOpenError) {
    test::TempDir dir;
    Observed seen;
    TXLSDocument document(ObservingReaders(seen));
    EXPECT_THROW(document.LoadWorkbookFile(dir.File("missing.xlsx")), EFOpenError);
    EXPECT_EQ(seen.entry, "");
}

TEST(DocumentTest, TheDefaultComponent) {
    TXLSDocument document;
    EXPECT_EQ(TXLSDocument::ComponentVersion(), "2.0.1");
    EXPECT_EQ(document.SheetCount(), 1);
    EXPECT_EQ(document.SheetAt(0).Name(), u"Sheet1");
    EXPECT_EQ(document.Version, xvExcel2007);
}

} // namespace
} // namespace tessaly
