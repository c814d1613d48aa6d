#pragma once
// JSON string literals for machine-readable output.

#include <string>
#include <string_view>

namespace tessaly {

// The text as a JSON string in UTF-8: quotes and backslashes escaped, every control character
// (C0, DEL, C1) and every lone surrogate written as \uXXXX, so any cell text survives.
std::string JsonQuote(std::u16string_view text);

} // namespace tessaly
