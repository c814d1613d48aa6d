#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "ZipBuilder.h"
#include "core/Stream.h"
#include "xlsx/XLSPackage.h"

namespace tessaly {
namespace {

using test::ZipBuilder;

const std::string kTypes = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                           "<Default Extension=\"xml\" ContentType=\"text/plain\"/>"
                           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"wb\"/></Types>";
const std::string kR = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string Rels(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           body + "</Relationships>";
}

std::string Rel(const std::string& id, const std::string& type, const std::string& target,
                const std::string& extra = "") {
    return "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"" + extra + "/>";
}

std::string ReadAll(TStream& stream) {
    std::string out(static_cast<size_t>(stream.Size()), '\0');
    out.resize(stream.Read(out.data(), out.size()));
    return out;
}

struct Package {
    TMemoryStream stream;
    TOPC_XLSX opc;
    explicit Package(const ZipBuilder& zip) : stream(zip.Build()) { opc.OpenPackage(stream, false); }
};

std::string OpenError(const ZipBuilder& zip) {
    try {
        Package package(zip);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Package, TargetsResolveToPartNames) {
    struct Case {
        const char* workbookTarget;
        const char* sheetTarget;
        const char* workbookEntry;
        const char* sheetEntry;
    } cases[] = {
        {"xl/workbook.xml", "worksheets/sheet1.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"},
        {"/xl/workbook.xml", "/xl/worksheets/sheet1.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"},
        {"/workbook.xml", "sheets/../sheet1.xml", "workbook.xml", "sheet1.xml"},
        {"./xl/./workbook.xml", "../xl/worksheets/sheet1.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"},
        {"xl\\workbook.xml", "worksheets\\sheet1.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"},
        {"xl/workbook.xml", "worksheets/sheet%201.xml", "xl/workbook.xml", "xl/worksheets/sheet 1.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sheetTarget);
        const std::string workbookEntry = c.workbookEntry;
        const std::string folder = workbookEntry.substr(0, workbookEntry.rfind('/') + 1);
        const std::string workbookName = workbookEntry.substr(workbookEntry.rfind('/') + 1);
        ZipBuilder zip;
        zip.Add("[Content_Types].xml", kTypes)
            .Add("_rels/.rels", Rels(Rel("rId1", kR + "officeDocument", c.workbookTarget)))
            .Add(workbookEntry, "<workbook/>")
            .Add(folder + "_rels/" + workbookName + ".rels",
                 Rels(Rel("rId7", kR + "worksheet", c.sheetTarget) + Rel("rIdS", kR + "sharedStrings", "strings.xml")))
            .Add(c.sheetEntry, "<worksheet/>")
            .Add(folder + "strings.xml", "<sst/>");
        Package package(zip);
        EXPECT_EQ(ReadAll(*package.opc.WorkbookStream()), "<workbook/>");
        EXPECT_EQ(ReadAll(*package.opc.WorksheetStream("RID7")), "<worksheet/>");   // ids ignore case
        EXPECT_EQ(ReadAll(*package.opc.SharedStringsStream()), "<sst/>");
        EXPECT_EQ(package.opc.StylesStream(), nullptr);
        package.opc.CloseSheet();
    }
}

TEST(Package, RelationshipTreeEndsAtCyclesAndExternalTargets) {
    ZipBuilder zip;
    zip.Add("[Content_Types].xml", kTypes)
        .Add("_rels/.rels", Rels(Rel("rId1", kR + "officeDocument", "xl/workbook.xml")))
        .Add("xl/workbook.xml", "<workbook/>")
        .Add("xl/_rels/workbook.xml.rels",
             Rels(Rel("self", kR + "officeDocument", "workbook.xml") + Rel("rId2", kR + "worksheet", "s.xml") +
                  Rel("ext", kR + "hyperlink", "http://example.com/a/b", " TargetMode=\"External\"")))
        .Add("xl/_rels/s.xml.rels", Rels(Rel("back", kR + "officeDocument", "workbook.xml")))
        .Add("xl/s.xml", "<worksheet/>");
    Package package(zip);
    TOPCItem* workbook = package.opc.Workbook();
    ASSERT_NE(workbook, nullptr);
    ASSERT_EQ(workbook->ChildCount(), 3);
    EXPECT_EQ(workbook->FindChild("self")->ChildCount(), 0);   // the workbook is loaded once
    EXPECT_EQ(workbook->FindChild("rId2")->FindChild("back")->ChildCount(), 0);
    TOPCItem* external = workbook->FindChild("EXT");
    EXPECT_EQ(external->TargetMode, 0);
    EXPECT_EQ(external->Name, "http://example.com/a/b");
    EXPECT_EQ(external->ChildCount(), 0);
}

TEST(Package, StrictPackagesReadLikeTransitionalOnes) {
    const std::string strict = "http://purl.oclc.org/ooxml/officeDocument/relationships/";
    ZipBuilder zip;
    zip.Add("[Content_Types].xml", kTypes)
        .Add("_rels/.rels", Rels(Rel("rId1", strict + "officeDocument", "xl/workbook.xml")))
        .Add("xl/workbook.xml", "<workbook/>")
        .Add("xl/_rels/workbook.xml.rels",
             Rels(Rel("rId1", strict + "worksheet", "sheet1.xml") + Rel("rId2", strict + "chartsheet", "chart1.xml")))
        .Add("xl/sheet1.xml", "<worksheet/>");
    Package package(zip);
    EXPECT_EQ(ReadAll(*package.opc.WorksheetStream("rId1")), "<worksheet/>");
    EXPECT_FALSE(package.opc.IsChartsheet("rId1"));
    EXPECT_TRUE(package.opc.IsChartsheet("rId2"));
    try {
        package.opc.WorksheetStream("rId2");
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "OPC Item is not of excpected type \"" + kR + "worksheet\"");
    }
    EXPECT_THROW(
        {
            try {
                package.opc.WorksheetStream("rId9");
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "Can not find worksheet in OPC");
                throw;
            }
        },
        std::exception);
}

TEST(Package, ContentTypesKeepTheBuiltInsFirst) {
    ZipBuilder zip;
    zip.Add("[Content_Types].xml", kTypes)
        .Add("_rels/.rels", Rels(Rel("rId1", kR + "officeDocument", "xl/workbook.xml")))
        .Add("xl/workbook.xml", "<workbook/>");
    Package package(zip);
    const auto& items = package.opc.ContentTypes().Items();
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items[1].Key, "xml");
    EXPECT_EQ(items[1].ContentType, "application/xml");
    EXPECT_EQ(package.opc.ContentTypes().OverrideOf("/xl/workbook.xml"), "wb");
}

TEST(Package, BrokenPackagesFailWithTheirMessages) {
    auto withRootRels = [](const std::string& rels) {
        ZipBuilder zip;
        zip.Add("[Content_Types].xml", kTypes).Add("_rels/.rels", rels).Add("a.xml", "<a/>").Add("b.xml", "<b/>");
        return zip;
    };
    EXPECT_EQ(OpenError(withRootRels(Rels(""))), "Can not find workbook in OPC");
    EXPECT_EQ(OpenError(withRootRels(Rels(Rel("1", kR + "officeDocument", "a.xml") +
                                          Rel("2", kR + "officeDocument", "b.xml")))),
              "More than one workbook in OPC");
    EXPECT_EQ(OpenError(withRootRels("<p:Relationships xmlns:p=\"urn:x\"/>")), "Row 0: Unknown Element \"p:Relationships\"");
    EXPECT_EQ(OpenError(withRootRels(Rels("<Other/>"))), "Row 0: Unknown Element \"Other\"");
    EXPECT_EQ(OpenError(ZipBuilder().Add("_rels/.rels", Rels(""))), "Can not find file [Content_Types].xml in ZIP");

    ZipBuilder twoStyles = withRootRels(Rels(Rel("1", kR + "officeDocument", "a.xml")));
    twoStyles.Add("_rels/a.xml.rels", Rels(Rel("s1", kR + "styles", "b.xml") + Rel("s2", kR + "styles", "b.xml")));
    Package package(twoStyles);
    try {
        package.opc.StylesStream();
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "OPC: only one item of type " + kR + "styles excpected");
    }
    EXPECT_THROW(package.opc.OpenPackage(package.stream, false), std::exception);   // already open
}

} // namespace
} // namespace tessaly
