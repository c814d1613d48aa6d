#include "app/InvoiceXml.h"

#include "core/Utf.h"
#include "platform/CodePage.h"

namespace tessaly {

namespace {

constexpr const char* kLineEnd = "\r\n";

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Calls `visit` with each character of the UTF-8 text (invalid bytes as U+FFFD).
template <typename Visit>
void ForEachCharacter(std::string_view utf8, Visit visit) {
    const std::u16string text = Utf8ToUtf16(utf8);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        visit(c);
    }
}

void AppendEscaped(std::string_view utf8, std::string& out) {
    ForEachCharacter(utf8, [&](char32_t c) {
        switch (c) {
            case '&': out += "&amp;"; return;
            case '<': out += "&lt;"; return;
            case '>': out += "&gt;"; return;
            case '\r': out += "&#13;"; return;   // a raw CR would be read back as LF
            default: break;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (!platform::EncodeCharacter(platform::kCodePageGbk, c, out)) {
            out += "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
        }
    });
}

} // namespace

bool IsXmlText(std::string_view utf8) {
    bool ok = true;
    ForEachCharacter(utf8, [&](char32_t c) { ok = ok && IsXmlChar(c); });
    return ok;
}

TInvoiceXmlWriter::TInvoiceXmlWriter() { out_ = "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n"; }

void TInvoiceXmlWriter::Indent() { out_.append(2 * open_.size(), ' '); }

void TInvoiceXmlWriter::FlushPendingStart() {
    if (!pendingStart_) return;
    pendingStart_ = false;
    const std::string name = open_.back();
    open_.pop_back();
    Indent();
    out_ += "<" + name + ">" + kLineEnd;
    open_.push_back(name);
}

void TInvoiceXmlWriter::Open(std::string_view name) {
    FlushPendingStart();
    open_.emplace_back(name);
    pendingStart_ = true;
}

void TInvoiceXmlWriter::Close() {
    if (open_.empty()) return;
    const std::string name = open_.back();
    open_.pop_back();
    Indent();
    if (pendingStart_) {
        pendingStart_ = false;
        out_ += "<" + name + "></" + name + ">" + kLineEnd;
    } else {
        out_ += "</" + name + ">" + kLineEnd;
    }
}

bool TInvoiceXmlWriter::AddTextChild(std::string_view name, std::string_view utf8) {
    if (!IsXmlText(utf8)) return false;
    FlushPendingStart();
    Indent();
    out_ += "<";
    out_ += name;
    out_ += ">";
    AppendEscaped(utf8, out_);
    out_ += "</";
    out_ += name;
    out_ += ">";
    out_ += kLineEnd;
    return true;
}

} // namespace tessaly
