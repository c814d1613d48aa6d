#pragma once
// Conversion between Windows code pages and UTF-16. On Windows this is the system's own
// conversion; here it is iconv, with Windows' numbering of the code pages.

#include <string>
#include <string_view>

namespace tessaly::platform {

constexpr unsigned kCodePageGbk = 936;
constexpr unsigned kCodePageWestern = 1252;
constexpr unsigned kCodePageUtf16 = 1200;
constexpr unsigned kCodePageUtf8 = 65001;
// The system's 8-bit ("ANSI") code page: UTF-8 on Linux.
constexpr unsigned kAnsiCodePage = kCodePageUtf8;

// Whether text in the code page can be converted. 1200 counts: its 8-bit text is one code unit
// per byte, unchanged.
bool IsCodePageSupported(unsigned codePage);

// Decodes 8-bit text. A code page that is not supported is read as Windows-1252; a byte
// sequence the code page does not define becomes U+FFFD (Windows-1252's five undefined bytes
// become the control character of the same value, as Windows does).
std::u16string DecodeCodePage(unsigned codePage, std::string_view bytes);

// Encodes one Unicode character; false (and nothing appended) when the code page cannot hold it.
bool EncodeCharacter(unsigned codePage, char32_t character, std::string& out);

// Encodes the whole text; false when any character cannot be held (out is then incomplete).
bool EncodeCodePage(unsigned codePage, std::u16string_view text, std::string& out);

} // namespace tessaly::platform
