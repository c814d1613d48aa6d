#pragma once
// A reader for the flat JSON objects of the reference dumps: one object per line whose values
// are strings, numbers, booleans or null.

#include <map>
#include <string>
#include <string_view>

namespace tessaly::test {

struct JsonValue {
    enum Kind { Null, String, Number, Bool } kind = Null;
    std::u16string text;   // String
    double number = 0;     // Number
    bool boolean = false;  // Bool
};

// Parses one line; throws std::runtime_error on malformed input.
std::map<std::string, JsonValue> ParseJsonLine(std::string_view line);

} // namespace tessaly::test
