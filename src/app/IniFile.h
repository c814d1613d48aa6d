#pragma once
// A Windows-style settings file ("[Section]" lines, "key=value" lines, ";" comments), edited in
// place: writing a value changes or adds exactly its own line, so every other line, section,
// key and comment stays as it was. Text is UTF-8 (the system's 8-bit code page); a file that is
// not valid UTF-8 was brought over from Windows and is read as GBK.
//
// Section and key names compare without regard to ASCII case; the first match counts. Values
// are read with blanks around them removed, and a value in matching quotes loses the quotes.

#include <string>
#include <vector>

namespace tessaly {

class TIniFile {
public:
    // Reads the file when it exists; a missing or unreadable file reads as empty.
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal, or hexadecimal with "$" or "0x"; the default when missing or not an integer.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;

    // Line breaks in a value would split its line: they are written as blanks.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);

    // Writes the file when something was written to it, atomically (a temporary file renamed over
    // it). Failure: Exception "Cannot create file "%s". %s".
    void UpdateFile();

    // The content as it would be written.
    std::string Text() const;

private:
    struct Line {
        std::string text;
        std::string end;   // "\r\n", "\n" or "" for a last line without a line break
    };
    // Index of the first section header named `section`, or -1.
    int FindSection(const std::string& section) const;
    // Index of the first key line `key` inside the section starting at `header`, or -1.
    int FindKey(int header, const std::string& key) const;

    std::string fileName_;
    std::vector<Line> lines_;
    std::string newLine_ = "\n";
    bool byteOrderMark_ = false;
    bool modified_ = false;
};

} // namespace tessaly
