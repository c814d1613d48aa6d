#pragma once
// Builds small .xlsx packages for the SpreadsheetML tests: sheets given as their sheetData (or
// as whole parts), optional shared strings and styles, the package parts around them.

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

struct SheetPart {
    std::string name{};
    std::string xml{};           // the whole worksheet part; see SheetXml
    std::string attributes{};    // extra attributes of the <sheet> element, e.g. state="hidden"
    std::string type = "worksheet";   // relationship type; empty: no part (r:id="")
    std::string target{};             // a part of another sheet to name instead of an own one
};

struct WorkbookParts {
    std::vector<SheetPart> sheets;
    std::string sharedStrings;   // whole part, or empty for none
    std::string styles;          // whole part, or empty for none
    std::string workbookPr;      // e.g. date1904="1"
    bool strict = false;         // Strict OOXML namespaces and relationship types
};

// A worksheet part in the main namespace around `sheetData` (its content) and `before`
// (elements before sheetData, such as a dimension).
std::string SheetXml(const std::string& sheetData, const std::string& before = "");
// A sharedStrings part around the given <si> items.
std::string SharedStringsXml(const std::string& items);
// A styles part with `cellXfs` formats (all default) and the given fonts (whole <font> elements).
std::string StylesXml(int cellXfs, const std::string& fonts = "<font><sz val=\"11\"/><name val=\"Calibri\"/></font>");

std::vector<uint8_t> BuildWorkbook(const WorkbookParts& book);

} // namespace tessaly::test
