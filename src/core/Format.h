#pragma once
// printf-style formatting into a std::string (the message texts are printf patterns).

#include <string>

namespace tessaly {

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace tessaly
