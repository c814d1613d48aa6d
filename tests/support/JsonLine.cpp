#include "JsonLine.h"

#include <cstdlib>
#include <stdexcept>

#include "core/Utf.h"

namespace tessaly::test {

namespace {

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    std::map<std::string, JsonValue> Object() {
        std::map<std::string, JsonValue> result;
        Expect('{');
        SkipSpace();
        if (Peek() == '}') {
            ++i_;
            return result;
        }
        for (;;) {
            SkipSpace();
            const std::string key = Utf16ToUtf8(String());
            SkipSpace();
            Expect(':');
            SkipSpace();
            result[key] = Value();
            SkipSpace();
            if (Peek() == ',') {
                ++i_;
                continue;
            }
            Expect('}');
            return result;
        }
    }

private:
    char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    void SkipSpace() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
    }
    void Expect(char c) {
        if (Peek() != c) throw std::runtime_error(std::string("JSON: expected ") + c);
        ++i_;
    }
    unsigned Hex4() {
        if (i_ + 4 > s_.size()) throw std::runtime_error("JSON: short \\u escape");
        const unsigned value = static_cast<unsigned>(std::strtoul(std::string(s_.substr(i_, 4)).c_str(), nullptr, 16));
        i_ += 4;
        return value;
    }
    std::u16string String() {
        Expect('"');
        std::u16string out;
        size_t start = i_;
        auto flush = [&] {
            AppendUtf8ToUtf16(s_.substr(start, i_ - start), out);
        };
        while (i_ < s_.size() && s_[i_] != '"') {
            if (s_[i_] != '\\') {
                ++i_;
                continue;
            }
            flush();
            ++i_;
            const char e = Peek();
            ++i_;
            switch (e) {
                case '"': out += u'"'; break;
                case '\\': out += u'\\'; break;
                case '/': out += u'/'; break;
                case 'b': out += u'\b'; break;
                case 'f': out += u'\f'; break;
                case 'n': out += u'\n'; break;
                case 'r': out += u'\r'; break;
                case 't': out += u'\t'; break;
                case 'u': out += static_cast<char16_t>(Hex4()); break;
                default: throw std::runtime_error("JSON: bad escape");
            }
            start = i_;
        }
        flush();
        Expect('"');
        return out;
    }
    JsonValue Value() {
        JsonValue v;
        const char c = Peek();
        if (c == '"') {
            v.kind = JsonValue::String;
            v.text = String();
        } else if (s_.substr(i_, 4) == "true") {
            v.kind = JsonValue::Bool;
            v.boolean = true;
            i_ += 4;
        } else if (s_.substr(i_, 5) == "false") {
            v.kind = JsonValue::Bool;
            i_ += 5;
        } else if (s_.substr(i_, 4) == "null") {
            i_ += 4;
        } else {
            const std::string rest(s_.substr(i_, 64));
            char* end = nullptr;
            v.number = std::strtod(rest.c_str(), &end);
            if (end == rest.c_str()) throw std::runtime_error("JSON: bad value");
            v.kind = JsonValue::Number;
            i_ += static_cast<size_t>(end - rest.c_str());
        }
        return v;
    }

    std::string_view s_;
    size_t i_ = 0;
};

} // namespace

std::map<std::string, JsonValue> ParseJsonLine(std::string_view line) { return Parser(line).Object(); }

} // namespace tessaly::test
