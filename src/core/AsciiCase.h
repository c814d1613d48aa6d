#pragma once
// ASCII-only letter case: the names compared this way (ZIP entries, part names, XML enumerations,
// encodings) are ASCII, and folding other characters would depend on the locale.

#include <string>
#include <string_view>

namespace tessaly {

inline char LowerAsciiChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

inline std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAsciiChar(c);
    return lower;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i])) return false;
    return true;
}

} // namespace tessaly
