#include "app/NumberTexts.h"

#include <locale.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/Format.h"
#include "core/NumberText.h"

namespace tessaly {

namespace {

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as digits d1 d2 ... dn and exponent E: value = 0.d1d2...dn x 10^E.
struct Decimal {
    bool negative = false;
    std::string digits;   // no leading zeros; empty for zero
    int exponent = 0;
};

// Splits a general number text ("-12.5", "0.0001234", "1.234E-5") into its decimal digits.
Decimal ParseGeneral(const std::string& text) {
    Decimal d;
    size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        d.negative = true;
        ++i;
    }
    int pointAt = -1;
    int count = 0;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            pointAt = count;
            continue;
        }
        d.digits.push_back(text[i]);
        ++count;
    }
    if (pointAt < 0) pointAt = count;
    int exponent = pointAt;
    if (i < text.size() && text[i] == 'E') exponent += std::atoi(text.c_str() + i + 1);
    const size_t firstNonZero = d.digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos) return Decimal{};
    d.digits.erase(0, firstNonZero);
    d.exponent = exponent - static_cast<int>(firstNonZero);
    return d;
}

// Rounds half away from zero, keeping the digits down to 10^-places.
void RoundHalfAway(Decimal& d, int places) {
    const long keep = static_cast<long>(d.exponent) + places;   // digits before the cut
    if (keep >= static_cast<long>(d.digits.size())) return;
    if (keep < 0) {
        d = Decimal{};
        return;
    }
    const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        long i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
        if (i >= 0) {
            ++d.digits[static_cast<size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    const size_t last = d.digits.find_last_not_of('0');
    if (last == std::string::npos) {
        d = Decimal{};
        return;
    }
    d.digits.resize(last + 1);
}

// Fixed-point text with exactly `places` decimals ("0.00" pattern); no sign for zero.
std::string FixedText(const Decimal& d, int places) {
    std::string text;
    if (d.negative && !d.digits.empty()) text.push_back('-');
    const auto digitAt = [&](long position) {   // position 0 is d1
        return position >= 0 && position < static_cast<long>(d.digits.size())
                   ? d.digits[static_cast<size_t>(position)] : '0';
    };
    if (d.exponent <= 0) {
        text.push_back('0');
    } else {
        for (long p = 0; p < d.exponent; ++p) text.push_back(digitAt(p));
    }
    if (places > 0) {
        text.push_back('.');
        for (long p = d.exponent; p < static_cast<long>(d.exponent) + places; ++p) text.push_back(digitAt(p));
    }
    return text;
}

} // namespace

bool TryStrToFloat(std::string_view text, long double& value) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    const std::string_view s = text.substr(begin, end - begin);

    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < s.size() && IsDigit(s[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    if (i != s.size()) return false;

    const std::string checked(s);
    errno = 0;
    const long double result = strtold_l(checked.c_str(), nullptr, CLocale());
    if (std::isinf(result)) return false;
    value = result;
    return true;
}

long double StrToFloat(std::string_view text) {
    long double value = 0;
    if (!TryStrToFloat(text, value))
        throw EConvertError(Format("'%s' is not a valid floating point value", std::string(text).c_str()));
    return value;
}

double RoundToDecimals(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    Decimal d = ParseGeneral(FormatGeneral(value, 15));
    RoundHalfAway(d, decimals);
    return strtod_l(FixedText(d, decimals < 0 ? 0 : decimals).c_str(), nullptr, CLocale());
}

std::string FormatTwoDecimals(long double value) {
    if (!std::isfinite(value)) return FormatGeneral(value, 15);
    Decimal d = ParseGeneral(FormatGeneral(value, 18));
    RoundHalfAway(d, 2);
    return FixedText(d, 2);
}

std::string TrimText(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return std::string(text.substr(begin, end - begin));
}

bool IsBlankText(std::string_view text) { return TrimText(text).empty(); }

} // namespace tessaly
