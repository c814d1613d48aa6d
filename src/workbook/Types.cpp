#include "workbook/Types.h"

#include <array>
#include <string>

namespace tessaly {

namespace {

// The nine classic texts, then the errors that newer spreadsheet programs write.
constexpr std::array<std::u16string_view, 17> kErrorTexts = {
    u"_ERROR_ERROR_", u"#NULL!", u"#DIV/0!", u"#VALUE!", u"#REF!", u"#NAME?", u"#NUM!", u"#N/A",
    u"#GETTING_DATA", u"#SPILL!", u"#CALC!", u"#FIELD!", u"#UNKNOWN!", u"#BUSY!", u"#BLOCKED!",
    u"#CONNECT!", u"#PYTHON!",
};

} // namespace

int ErrorTextCount() { return static_cast<int>(kErrorTexts.size()); }

std::u16string_view ErrorText(uint8_t code) {
    return code < kErrorTexts.size() ? kErrorTexts[code] : kErrorTexts[0];
}

uint8_t ErrorCodeOf(std::u16string_view text) {
    for (size_t i = 1; i < kErrorTexts.size(); ++i)
        if (kErrorTexts[i] == text) return static_cast<uint8_t>(i);
    return 0;
}

uint8_t ErrorCodeOf(std::string_view text) {
    if (text.size() > 16) return 0;
    std::u16string wide(text.begin(), text.end());
    for (char16_t c : wide)
        if (c >= 0x80) return 0;
    return ErrorCodeOf(std::u16string_view(wide));
}

namespace {

char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c - u'A' + u'a');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
    return c;
}

} // namespace

bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

} // namespace tessaly
