#pragma once
// Conversions of the value texts found in .xlsx parts: integers, numbers and booleans (never
// through the user's locale), cell references and areas, and ISO 8601 dates to serial numbers.

#include <cstdint>
#include <string_view>

#include "workbook/Types.h"

namespace tessaly {

// Surrounding XML white space is allowed; a leading '+' too. False when the text is not one.
bool ParseXmlInt(std::string_view text, int64_t& value);
// '.' is the decimal separator; exponents allowed; infinities and NaN are not numbers.
bool ParseXmlDouble(std::string_view text, double& value);
// A cell's number: short decimals on a fast exact road, everything else as ParseXmlDouble.
bool ParseNumberText(std::string_view text, double& value);
// A shared-string index; 0 when the text is not an integer.
int64_t ParseIndexText(std::string_view text);
// "true"/"1" and "false"/"0" in any letter case; anything else gives `defaultValue`.
bool ParseXmlBool(std::string_view text, bool defaultValue);

// "B2", "$B$2": column and row, 0-based, inside 0..16383 and 0..1048575.
bool ParseCellRef(std::string_view text, int32_t& col, int32_t& row);
// "A1:C3" or a single reference (equal corners); a sheet name before '!' is dropped. The
// corners are put in order.
bool ParseCellArea(std::string_view text, TXLSCellArea& area);

// An ISO 8601 date, date-time or time as the serial number it stands for: days since the
// workbook's epoch (1899-12-30 with the 1900 leap-year quirk, or 1904-01-01), the time as the
// fraction of a day. A time zone suffix is ignored (spreadsheet times have none).
bool ParseIsoDateSerial(std::string_view text, bool date1904, double& serial);

} // namespace tessaly
