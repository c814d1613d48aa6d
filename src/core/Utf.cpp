#include "core/Utf.h"

namespace tessaly {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence starting at s[i]; returns the code point (or -1 when invalid) and
// advances i past the sequence, or past the maximal invalid prefix.
long DecodeOne(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length;
    long cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        ++i;
        return -1;
    }
    size_t j = i + 1;
    for (int k = 1; k < length; ++k, ++j) {
        if (j >= s.size()) {
            i = j;
            return -1;
        }
        const auto b = static_cast<unsigned char>(s[j]);
        if (b < lo || b > hi) {
            i = j;
            return -1;
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
    }
    i = j;
    return cp;
}

} // namespace

void AppendUtf8ToUtf16(std::string_view utf8, std::u16string& out) {
    size_t i = 0;
    const size_t n = utf8.size();
    while (i < n) {
        // Runs of ASCII are the common case.
        size_t j = i;
        while (j < n && static_cast<unsigned char>(utf8[j]) < 0x80) ++j;
        if (j > i) {
            const size_t start = out.size();
            out.resize(start + (j - i));
            for (size_t k = i; k < j; ++k) out[start + (k - i)] = static_cast<char16_t>(utf8[k]);
            i = j;
            continue;
        }
        const long cp = DecodeOne(utf8, i);
        if (cp < 0) {
            out.push_back(kReplacement);
        } else if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    AppendUtf8ToUtf16(utf8, out);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        unsigned long cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (DecodeOne(bytes, i) < 0) return false;
    }
    return true;
}

} // namespace tessaly
