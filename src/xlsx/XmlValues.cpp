#include "xlsx/XmlValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tessaly {

namespace {

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimSign(std::string_view text) {
    text = Trim(text);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    return text;
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Reads exactly `digits` decimal digits.
bool Digits(std::string_view& text, int digits, int& value) {
    if (static_cast<int>(text.size()) < digits) return false;
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[static_cast<size_t>(i)];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    text.remove_prefix(static_cast<size_t>(digits));
    return true;
}

bool ParseTime(std::string_view& text, double& fraction) {
    int hour, minute, second = 0;
    if (!Digits(text, 2, hour) || text.empty() || text[0] != ':') return false;
    text.remove_prefix(1);
    if (!Digits(text, 2, minute)) return false;
    double seconds = 0;
    if (!text.empty() && text[0] == ':') {
        text.remove_prefix(1);
        if (!Digits(text, 2, second)) return false;
        seconds = second;
        if (!text.empty() && (text[0] == '.' || text[0] == ',')) {
            text.remove_prefix(1);
            double scale = 0.1;
            size_t n = 0;
            while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
                seconds += (text[n] - '0') * scale;
                scale /= 10;
                ++n;
            }
            if (n == 0) return false;
            text.remove_prefix(n);
        }
    }
    if (hour > 24 || minute > 59 || second > 60 || (hour == 24 && (minute != 0 || seconds != 0))) return false;
    fraction = (hour * 3600.0 + minute * 60.0 + seconds) / 86400.0;
    return true;
}

bool SkipZone(std::string_view text) {
    if (text.empty()) return true;
    if (text == "Z" || text == "z") return true;
    if (text[0] != '+' && text[0] != '-') return false;
    text.remove_prefix(1);
    int hours, minutes;
    if (!Digits(text, 2, hours)) return false;
    if (!text.empty() && text[0] == ':') text.remove_prefix(1);
    if (!Digits(text, 2, minutes)) return false;
    return text.empty() && hours <= 14 && minutes <= 59;
}

} // namespace

bool ParseXmlInt(std::string_view text, int64_t& value) {
    text = TrimSign(text);
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseXmlDouble(std::string_view text, double& value) {
    text = TrimSign(text);
    if (text.empty()) return false;
    // from_chars would read "inf" and "nan"; numbers start with a digit, a sign or a point.
    const char c = text[0] == '-' && text.size() > 1 ? text[1] : text[0];
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ptr != text.data() + text.size()) return false;
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is not a number a spreadsheet can hold.
        return false;
    }
    return result.ec == std::errc() && std::isfinite(value);
}

// Cell values are mostly short decimals: digits, at most one point, no exponent. With at most
// 15 significant digits the digits and the power of ten are exact doubles, so one division
// gives the correctly rounded value; anything else goes through the general conversion.
bool ParseNumberText(std::string_view text, double& value) {
    const char* p = text.data();
    const char* end = p + text.size();
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    if (p < end && end - p <= 16) {
        uint64_t mantissa = 0;
        int digits = 0;
        int decimals = -1;
        const char* q = p;
        for (; q < end; ++q) {
            const char c = *q;
            if (c >= '0' && c <= '9') {
                mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
                ++digits;
                if (decimals >= 0) ++decimals;
            } else if (c == '.' && decimals < 0) {
                decimals = 0;
            } else {
                break;
            }
        }
        if (q == end && digits > 0 && digits <= 15) {
            static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            double v = static_cast<double>(mantissa);
            if (decimals > 0) v /= kPowers[decimals];
            value = negative ? -v : v;
            return true;
        }
    }
    return ParseXmlDouble(text, value);
}

int64_t ParseIndexText(std::string_view text) {
    int64_t index = 0;
    bool digits = !text.empty() && text.size() <= 9;
    for (size_t i = 0; digits && i < text.size(); ++i) {
        digits = text[i] >= '0' && text[i] <= '9';
        index = index * 10 + (text[i] - '0');
    }
    if (digits) return index;
    return ParseXmlInt(text, index) ? index : 0;
}

bool ParseXmlBool(std::string_view text, bool defaultValue) {
    text = Trim(text);
    if (text == "1") return true;
    if (text == "0") return false;
    if (text.size() == 4 || text.size() == 5) {
        char lower[5];
        for (size_t i = 0; i < text.size(); ++i)
            lower[i] = (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] + 32) : text[i];
        const std::string_view l(lower, text.size());
        if (l == "true") return true;
        if (l == "false") return false;
    }
    return defaultValue;
}

bool ParseCellRef(std::string_view text, int32_t& col, int32_t& row) {
    const char* p = text.data();
    const char* const end = p + text.size();
    if (p < end && *p == '$') ++p;
    // At most three letters (XFD) and seven digits (1048576); their values are checked after.
    uint32_t c = 0;
    int letters = 0;
    for (; p < end; ++p) {
        const uint32_t d = static_cast<uint32_t>((static_cast<uint8_t>(*p) | 0x20) - 'a');
        if (d >= 26) break;
        if (++letters > 3) return false;
        c = c * 26 + d + 1;
    }
    if (letters == 0 || c > static_cast<uint32_t>(kMaxCol) + 1) return false;
    if (p < end && *p == '$') ++p;
    uint32_t r = 0;
    int digits = 0;
    for (; p < end; ++p) {
        const uint32_t d = static_cast<uint32_t>(static_cast<uint8_t>(*p) - '0');
        if (d >= 10 || ++digits > 7) return false;
        r = r * 10 + d;
    }
    if (digits == 0 || r < 1 || r > static_cast<uint32_t>(kMaxRow) + 1) return false;
    col = static_cast<int32_t>(c) - 1;
    row = static_cast<int32_t>(r) - 1;
    return true;
}

bool ParseCellArea(std::string_view text, TXLSCellArea& area) {
    const size_t bang = text.rfind('!');
    if (bang != std::string_view::npos) text.remove_prefix(bang + 1);
    const size_t colon = text.find(':');
    int32_t c1, r1, c2, r2;
    if (colon == std::string_view::npos) {
        if (!ParseCellRef(text, c1, r1)) return false;
        c2 = c1;
        r2 = r1;
    } else if (!ParseCellRef(text.substr(0, colon), c1, r1) || !ParseCellRef(text.substr(colon + 1), c2, r2)) {
        return false;
    }
    area.FirstCol = std::min(c1, c2);
    area.LastCol = std::max(c1, c2);
    area.FirstRow = std::min(r1, r2);
    area.LastRow = std::max(r1, r2);
    return true;
}

bool ParseIsoDateSerial(std::string_view text, bool date1904, double& serial) {
    text = Trim(text);
    double fraction = 0;
    if (text.size() >= 5 && text[2] == ':') {   // a time alone
        if (!ParseTime(text, fraction) || !SkipZone(text)) return false;
        serial = fraction;
        return true;
    }
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int year, month, day;
    if (!Digits(text, 4, year) || text.empty() || text[0] != '-') return false;
    text.remove_prefix(1);
    if (!Digits(text, 2, month) || text.empty() || text[0] != '-') return false;
    text.remove_prefix(1);
    if (!Digits(text, 2, day)) return false;
    const int64_t y = negative ? -year : year;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    if (day > kDays[month - 1] + (month == 2 && IsLeap(y) ? 1 : 0)) return false;
    if (!text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == ' ')) {
        text.remove_prefix(1);
        if (!ParseTime(text, fraction)) return false;
    }
    if (!SkipZone(text)) return false;
    const int64_t days = DaysFromCivil(y, static_cast<unsigned>(month), static_cast<unsigned>(day));
    int64_t number;
    if (date1904) {
        number = days - DaysFromCivil(1904, 1, 1);
    } else {
        // 1900 system: day 1 is 1900-01-01, and the system counts a 29 February 1900 that
        // never was, so from 1900-03-01 on the count is one higher.
        number = days - DaysFromCivil(1899, 12, 31);
        if (days >= DaysFromCivil(1900, 3, 1)) ++number;
    }
    serial = static_cast<double>(number) + fraction;
    return true;
}

} // namespace tessaly
