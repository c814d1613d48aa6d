#pragma once
// The number texts of the invoice tool and the reading of text as a number. All of them use "."
// as the decimal separator whatever the user's locale: the invoice file needs it.
//
// The general number text (15 or 18 significant digits) is FormatGeneral of core/NumberText.h.

#include <string>
#include <string_view>

#include "core/Exception.h"

namespace tessaly {

// Text that is not a number: "'%s' is not a valid floating point value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Reads text as a number: blanks around it are ignored; an optional sign, digits with at most
// one point (at least one digit), an optional exponent ("E" or "e", optional sign, digits).
// Anything else, empty text and values beyond the extended range are refused. The result is
// the correctly rounded extended value.
bool TryStrToFloat(std::string_view text, long double& value);
long double StrToFloat(std::string_view text);   // EConvertError naming the text as given

// Rounds to `decimals` places, halves away from zero, after first rounding the value to 15
// significant digits, which removes the base-2 error: 2.675 -> 2.68, 1.005 -> 1.01.
double RoundToDecimals(double value, int decimals);

// The two-decimal text ("0.00"): rounded half away from zero at the second decimal from the
// value's 18 significant digits; 1234.5 -> "1234.50", -3.456 -> "-3.46". A value that rounds
// to zero is "0.00", never "-0.00".
std::string FormatTwoDecimals(long double value);

// Trims characters up to and including the blank (blanks and control characters) at both ends.
std::string TrimText(std::string_view text);
bool IsBlankText(std::string_view text);

} // namespace tessaly
