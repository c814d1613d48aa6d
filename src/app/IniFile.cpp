#include "app/IniFile.h"

#include <cstdlib>

#include "core/Exception.h"
#include "core/Stream.h"
#include "core/Utf.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"

namespace tessaly {

namespace {

std::string TrimBlanks(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return std::string(text.substr(begin, end - begin));
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// "[name]" -> true and the name.
bool SectionName(const std::string& line, std::string& name) {
    const std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] != '[') return false;
    const size_t close = trimmed.find(']');
    name = TrimBlanks(std::string_view(trimmed).substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// "key=value" -> true, the key and the raw value; comment lines and lines without "=" are not.
bool KeyLine(const std::string& line, std::string& key, std::string& value) {
    const std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == ';') return false;
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos) return false;
    key = TrimBlanks(std::string_view(trimmed).substr(0, equals));
    value = TrimBlanks(std::string_view(trimmed).substr(equals + 1));
    return true;
}

std::string OneLine(std::string value) {
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    return value;
}

} // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadFileBytes(fileName_);
    } catch (const Exception&) {
        return;
    }
    std::string text(bytes.begin(), bytes.end());
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        byteOrderMark_ = true;
        text.erase(0, 3);
    }
    if (!IsValidUtf8(text)) text = Utf16ToUtf8(platform::DecodeCodePage(platform::kCodePageGbk, text));

    size_t at = 0;
    bool styleTaken = false;
    while (at < text.size()) {
        const size_t lf = text.find('\n', at);
        Line line;
        if (lf == std::string::npos) {
            line.text = text.substr(at);
            at = text.size();
        } else {
            const bool crlf = lf > at && text[lf - 1] == '\r';
            line.text = text.substr(at, lf - at - (crlf ? 1 : 0));
            line.end = crlf ? "\r\n" : "\n";
            at = lf + 1;
            if (!styleTaken) {
                newLine_ = line.end;
                styleTaken = true;
            }
        }
        lines_.push_back(std::move(line));
    }
}

int TIniFile::FindSection(const std::string& section) const {
    std::string name;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (SectionName(lines_[i].text, name) && SameName(name, section)) return static_cast<int>(i);
    return -1;
}

int TIniFile::FindKey(int header, const std::string& key) const {
    std::string name;
    std::string value;
    for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].text, name)) break;
        if (KeyLine(lines_[i].text, name, value) && SameName(name, key)) return static_cast<int>(i);
    }
    return -1;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    const int header = FindSection(section);
    if (header < 0) return defaultValue;
    const int at = FindKey(header, key);
    if (at < 0) return defaultValue;
    std::string name;
    std::string value;
    KeyLine(lines_[static_cast<size_t>(at)].text, name, value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const {
    const std::string text = ReadString(section, key, "");
    if (text.empty()) return defaultValue;
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+') ++i;
    int base = 10;
    if (text.compare(i, 1, "$") == 0) {
        base = 16;
        i += 1;
    } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return defaultValue;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return defaultValue;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL) return defaultValue;
    }
    if (base == 10 && value > (negative ? 2147483648LL : 2147483647LL)) return defaultValue;
    if (negative) value = -value;
    return static_cast<int>(value);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    modified_ = true;
    const std::string line = key + "=" + OneLine(value);
    const int header = FindSection(section);
    if (header < 0) {
        if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = newLine_;
        lines_.push_back({"[" + section + "]", newLine_});
        lines_.push_back({line, newLine_});
        return;
    }
    const int at = FindKey(header, key);
    if (at >= 0) {
        lines_[static_cast<size_t>(at)].text = line;
        return;
    }
    // A new key goes after the last key line of its section (right after the header when the
    // section has none), so blank lines and comments in front of the next section stay there.
    size_t insertAt = static_cast<size_t>(header) + 1;
    std::string name;
    std::string ignored;
    for (size_t i = insertAt; i < lines_.size(); ++i) {
        if (SectionName(lines_[i].text, name)) break;
        if (KeyLine(lines_[i].text, name, ignored)) insertAt = i + 1;
    }
    if (lines_[insertAt - 1].end.empty()) lines_[insertAt - 1].end = newLine_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{line, newLine_});
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

std::string TIniFile::Text() const {
    std::string text = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
    for (const Line& line : lines_) text += line.text + line.end;
    return text;
}

void TIniFile::UpdateFile() {
    if (!modified_) return;
    platform::WriteFileAtomically(fileName_, Text());
    modified_ = false;
}

} // namespace tessaly
