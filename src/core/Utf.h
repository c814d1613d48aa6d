#pragma once
// UTF-8 <-> UTF-16 conversion. Invalid input never fails: an invalid UTF-8 sequence or a lone
// surrogate becomes U+FFFD, so text from a damaged file still converts.

#include <string>
#include <string_view>

namespace tessaly {

std::u16string Utf8ToUtf16(std::string_view utf8);
void AppendUtf8ToUtf16(std::string_view utf8, std::u16string& out);
std::string Utf16ToUtf8(std::u16string_view utf16);
bool IsValidUtf8(std::string_view bytes);

} // namespace tessaly
