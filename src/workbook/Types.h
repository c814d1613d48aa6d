#pragma once
// Types shared by the workbook model, its readers and its users.

#include <cstdint>
#include <string_view>

namespace tessaly {

// Coordinates are 0-based, column first: column 0 is "A", row 0 the sheet's first row.
constexpr int32_t kMaxCol = 16383;
constexpr int32_t kMaxRow = 1048575;

enum TXLSCellKind : uint8_t {
    xckNone = 0,            // no cell stored at the position
    xckBlank = 1,           // a blank cell: only a style
    xckBoolean = 2,
    xckError = 3,
    xckString = 4,          // a shared-string reference
    xckNumber = 5,
    xckNumberFormula = 6,   // formula with a cached number
    xckStringFormula = 7,   // formula with a cached text
    xckBooleanFormula = 8,
    xckErrorFormula = 9,
};

enum TExcelVersion : uint8_t {
    xvNone = 0,
    xvExcelUnknown = 1,
    xvExcel21 = 2,
    xvExcel30 = 3,
    xvExcel40 = 4,
    xvExcel50 = 5,
    xvExcel97 = 6,    // BIFF8 .xls
    xvExcel2007 = 7,  // Office Open XML .xlsx
};

// Error codes of cells and their texts: 0 "_ERROR_ERROR_", 1 "#NULL!" ... 8 "#GETTING_DATA",
// followed by the errors of newer spreadsheet programs (#SPILL!, #CALC!, ...).
int ErrorTextCount();
std::u16string_view ErrorText(uint8_t code);      // "_ERROR_ERROR_" for a code beyond the table
uint8_t ErrorCodeOf(std::u16string_view text);    // exact match; 0 when the text is unknown
uint8_t ErrorCodeOf(std::string_view text);       // the same for ASCII/UTF-8 text

// Equality of names without regard to case (Latin letters, also Latin-1 and full-width ones).
bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b);

inline constexpr std::u16string_view kBoolTrueText = u"TRUE";
inline constexpr std::u16string_view kBoolFalseText = u"FALSE";

// A rectangle of cells, corners included.
struct TXLSCellArea {
    int32_t FirstCol = 0;
    int32_t FirstRow = 0;
    int32_t LastCol = 0;
    int32_t LastRow = 0;
    bool Contains(int32_t col, int32_t row) const {
        return col >= FirstCol && col <= LastCol && row >= FirstRow && row <= LastRow;
    }
};

struct TXLSCellPos {
    int32_t Col = 0;
    int32_t Row = 0;
};

} // namespace tessaly
