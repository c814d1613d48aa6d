#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <string>

#include "core/Utf.h"

namespace tessaly::platform {

namespace {

constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string IconvName(unsigned codePage) {
    switch (codePage) {
        case 10000: return "MACINTOSH";
        case 10007: return "MAC-CYRILLIC";
        case 10029: return "MAC-CENTRALEUROPE";
        case 10079: return "MAC-IS";
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        case 21866: return "KOI8-U";
        case 54936: return "GB18030";
        default: break;
    }
    if (codePage >= 28591 && codePage <= 28605) return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

// One cached iconv descriptor per code page and direction; (iconv_t)-1 when unknown. The
// descriptors are closed when the thread ends.
iconv_t Converter(unsigned codePage, bool decode) {
    struct Cache {
        std::map<std::pair<unsigned, bool>, iconv_t> converters;
        ~Cache() {
            for (const auto& [key, cd] : converters)
                if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        }
    };
    thread_local Cache cache;
    const auto key = std::make_pair(codePage, decode);
    auto it = cache.converters.find(key);
    if (it != cache.converters.end()) return it->second;
    const std::string name = IconvName(codePage);
    iconv_t cd = decode ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-32LE");
    cache.converters.emplace(key, cd);
    return cd;
}

bool IsBuiltIn(unsigned codePage) {
    return codePage == kCodePageWestern || codePage == 32769 || codePage == kCodePageUtf16 ||
           codePage == kCodePageUtf8;
}

std::u16string DecodeWindows1252(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? kWindows1252High[b - 0x80] : b;
    }
    return out;
}

} // namespace

bool IsCodePageSupported(unsigned codePage) {
    return IsBuiltIn(codePage) || Converter(codePage, true) != reinterpret_cast<iconv_t>(-1);
}

std::u16string DecodeCodePage(unsigned codePage, std::string_view bytes) {
    if (codePage == kCodePageUtf8) return Utf8ToUtf16(bytes);
    if (codePage == kCodePageUtf16) {
        std::u16string out(bytes.size(), u'\0');
        for (size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<unsigned char>(bytes[i]);
        return out;
    }
    bool ascii = true;
    for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::u16string(bytes.begin(), bytes.end());
    if (codePage == kCodePageWestern || codePage == 32769) return DecodeWindows1252(bytes);
    iconv_t cd = Converter(codePage, true);
    if (cd == reinterpret_cast<iconv_t>(-1)) return DecodeWindows1252(bytes);

    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::u16string out;
    std::string buffer(bytes.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const size_t produced = buffer.size() - outLeft;
        for (size_t i = 0; i + 1 < produced; i += 2)
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                                (static_cast<unsigned char>(buffer[i + 1]) << 8)));
        if (result == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An undefined or truncated sequence: one replacement character per byte skipped.
            out.push_back(0xFFFD);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

bool EncodeCharacter(unsigned codePage, char32_t character, std::string& out) {
    if (codePage == kCodePageUtf8) {
        if (character >= 0xD800 && character <= 0xDFFF) return false;
        std::u16string utf16;
        if (character >= 0x10000) {
            utf16 += static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        } else {
            utf16 += static_cast<char16_t>(character);
        }
        out += Utf16ToUtf8(utf16);
        return true;
    }
    if (character < 0x80 && codePage != kCodePageUtf16) {
        out.push_back(static_cast<char>(character));
        return true;
    }
    iconv_t cd = Converter(codePage, false);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    unsigned char in[4];
    for (int i = 0; i < 4; ++i) in[i] = static_cast<unsigned char>(character >> (8 * i));
    char encoded[16];
    char* inPtr = reinterpret_cast<char*>(in);
    size_t inLeft = 4;
    char* outPtr = encoded;
    size_t outLeft = sizeof encoded;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
    out.append(encoded, sizeof encoded - outLeft);
    return true;
}

bool EncodeCodePage(unsigned codePage, std::u16string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (!EncodeCharacter(codePage, c, out)) return false;
    }
    return true;
}

} // namespace tessaly::platform
