#pragma once
// The general number text: a value written with at most `precision` significant digits,
// always with "." as the decimal separator, whatever the locale.
//
// The digits come from rounding the magnitude to 18 significant digits (ties to even) and then,
// for a smaller precision, rounding that digit string half away from zero; trailing zeros are
// dropped. With value = 0.d1d2... x 10^E the text is plain when -3 <= E <= precision
// ("0.0001234", "12.5") and scientific otherwise ("1.234E-5", "1.01010102E18").

#include <string>

namespace tessaly {

std::string FormatGeneral(long double value, int precision);

} // namespace tessaly
