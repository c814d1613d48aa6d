#include "core/Json.h"

#include <cstdio>

#include "core/Utf.h"

namespace tessaly {

std::string JsonQuote(std::u16string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    size_t plain = 0;  // start of the run not yet written
    auto flush = [&](size_t end) {
        if (end > plain) out += Utf16ToUtf8(text.substr(plain, end - plain));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;  // a proper pair stays in the plain run
            continue;
        }
        const bool escape = c == u'"' || c == u'\\' || c < 0x20 || (c >= 0x7F && c <= 0x9F) ||
                            (c >= 0xD800 && c <= 0xDFFF);
        if (!escape) continue;
        flush(i);
        plain = i + 1;
        switch (c) {
            case u'"': out += "\\\""; break;
            case u'\\': out += "\\\\"; break;
            case u'\n': out += "\\n"; break;
            case u'\r': out += "\\r"; break;
            case u'\t': out += "\\t"; break;
            default: {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                out += buffer;
            }
        }
    }
    flush(text.size());
    out += '"';
    return out;
}

} // namespace tessaly
