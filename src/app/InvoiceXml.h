#pragma once
// Writes the invoice file's XML text directly, in GBK: the declaration (version "1.0", encoding
// "GBK"), the root on the next line, every element on a line of its own indented by two blanks
// per depth, CR LF line ends. Element text is escaped; characters GBK cannot hold become numeric
// character references; characters XML 1.0 cannot carry are refused, so the file is always
// well-formed.

#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Whether every character of the UTF-8 text can stand in an XML 1.0 document (tab, CR and LF
// are the only control characters allowed).
bool IsXmlText(std::string_view utf8);

class TInvoiceXmlWriter {
public:
    TInvoiceXmlWriter();

    // Starts an element that holds child elements.
    void Open(std::string_view name);
    // Ends the innermost open element; one without children is written on one line.
    void Close();
    // Appends a child element with text (empty text: nothing between the tags). False, and
    // nothing written, when the text holds a character XML cannot carry.
    bool AddTextChild(std::string_view name, std::string_view utf8);

    // The file's bytes; every element must be closed.
    const std::string& Bytes() const { return out_; }

private:
    void Indent();
    void FlushPendingStart();

    std::string out_;
    std::vector<std::string> open_;
    bool pendingStart_ = false;   // the innermost element's start tag is not written yet
};

} // namespace tessaly
