#include "WorkbookBuilder.h"

#include "ZipBuilder.h"

namespace tessaly::test {

namespace {

const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kStrictMain = "http://purl.oclc.org/ooxml/spreadsheetml/main";
const char* const kStrictRelNs = "http://purl.oclc.org/ooxml/officeDocument/relationships";

std::string Rel(const std::string& id, const std::string& type, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"/>";
}

std::string Rels(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           body + "</Relationships>";
}

} // namespace

std::string SheetXml(const std::string& sheetData, const std::string& before) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"") + kMain +
           "\" xmlns:r=\"" + kRelNs + "\">" + before + "<sheetData>" + sheetData + "</sheetData></worksheet>";
}

std::string SharedStringsXml(const std::string& items) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"") + kMain + "\">" + items + "</sst>";
}

std::string StylesXml(int cellXfs, const std::string& fonts) {
    std::string xfs;
    for (int i = 0; i < cellXfs; ++i) xfs += "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>";
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet xmlns=\"") + kMain + "\"><fonts>" +
           fonts + "</fonts><fills><fill/></fills><borders><border/></borders><cellXfs>" + xfs +
           "</cellXfs></styleSheet>";
}

std::vector<uint8_t> BuildWorkbook(const WorkbookParts& book) {
    const std::string relBase = book.strict ? "http://purl.oclc.org/ooxml/officeDocument/relationships/"
                                            : "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    ZipBuilder zip;
    zip.Add("[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>");
    zip.Add("_rels/.rels", Rels(Rel("rId1", relBase + "officeDocument", "xl/workbook.xml")));
    std::string sheets, rels;
    for (size_t i = 0; i < book.sheets.size(); ++i) {
        const SheetPart& sheet = book.sheets[i];
        const std::string id = "rId" + std::to_string(i + 10);
        const std::string part = "worksheets/sheet" + std::to_string(i + 1) + ".xml";
        const bool hasPart = !sheet.type.empty();
        sheets += "<sheet name=\"" + sheet.name + "\" sheetId=\"" + std::to_string(i + 1) + "\" r:id=\"" +
                  (hasPart ? id : std::string()) + "\" " + sheet.attributes + "/>";
        if (!hasPart) continue;
        rels += Rel(id, relBase + sheet.type, sheet.target.empty() ? part : sheet.target);
        if (sheet.target.empty()) zip.Add("xl/" + part, sheet.xml);
    }
    if (!book.sharedStrings.empty()) {
        rels += Rel("rIdS", relBase + "sharedStrings", "sharedStrings.xml");
        zip.Add("xl/sharedStrings.xml", book.sharedStrings);
    }
    if (!book.styles.empty()) {
        rels += Rel("rIdT", relBase + "styles", "styles.xml");
        zip.Add("xl/styles.xml", book.styles);
    }
    zip.Add("xl/_rels/workbook.xml.rels", Rels(rels));
    zip.Add("xl/workbook.xml", std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"") +
                                   (book.strict ? kStrictMain : kMain) + "\" xmlns:r=\"" +
                                   (book.strict ? kStrictRelNs : kRelNs) + "\"><workbookPr " + book.workbookPr +
                                   "/><sheets>" + sheets + "</sheets></workbook>");
    return zip.Build();
}

} // namespace tessaly::test
