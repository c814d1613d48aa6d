#include "core/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tessaly {

namespace {

// Powers of ten up to 10^18, exact in a long double.
long double PowerOfTen(int n) {
    long double p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

} // namespace

std::string FormatGeneral(long double value, int precision) {
    if (precision < 1) precision = 1;
    if (precision > 18) precision = 18;
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";

    const bool negative = value < 0;
    const long double magnitude = negative ? -value : value;

    // Integers that fit in the precision print exactly and plainly.
    if (magnitude < PowerOfTen(precision) && magnitude == std::floor(magnitude)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s%.0Lf", negative ? "-" : "", magnitude);
        return buffer;
    }

    // 18 significant digits, correctly rounded (ties to even) by the C library.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17Le", magnitude);
    char digits[19];
    digits[0] = buffer[0];
    for (int i = 0; i < 17; ++i) digits[i + 1] = buffer[2 + i];
    int exponent = std::atoi(buffer + 20) + 1;  // value = 0.d1d2... x 10^exponent

    int count = 18;
    if (precision < 18) {
        count = precision;
        if (digits[precision] >= '5') {
            int i = precision - 1;
            while (i >= 0 && digits[i] == '9') digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                digits[0] = '1';
                for (int k = 1; k < precision; ++k) digits[k] = '0';
                ++exponent;
            }
        }
    }
    while (count > 1 && digits[count - 1] == '0') --count;

    std::string text;
    if (negative) text.push_back('-');
    if (exponent >= -3 && exponent <= precision) {
        if (exponent <= 0) {
            text += "0.";
            text.append(static_cast<size_t>(-exponent), '0');
            text.append(digits, static_cast<size_t>(count));
        } else {
            for (int i = 0; i < exponent; ++i) text.push_back(i < count ? digits[i] : '0');
            if (count > exponent) {
                text.push_back('.');
                text.append(digits + exponent, static_cast<size_t>(count - exponent));
            }
        }
    } else {
        text.push_back(digits[0]);
        if (count > 1) {
            text.push_back('.');
            text.append(digits + 1, static_cast<size_t>(count - 1));
        }
        text.push_back('E');
        text += std::to_string(exponent - 1);
    }
    return text;
}

} // namespace tessaly
