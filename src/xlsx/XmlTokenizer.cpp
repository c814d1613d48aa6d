#include "xlsx/XmlTokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Stream.h"
#include "core/Utf.h"
#include "xlsx/XmlValues.h"

namespace tessaly {

namespace {

constexpr size_t kInitialCapacity = 256 * 1024;
constexpr size_t kNotFound = SIZE_MAX;

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Byte classes for the scanning loops. Every loop also stops at NUL, the sentinel after the
// last byte in the buffer, and then checks whether it reached the end.
constexpr uint8_t kSpace = 1;     // XML white space
constexpr uint8_t kNameEnd = 2;            // ends a name: white space, '>', '/', '=', '<', NUL
constexpr uint8_t kAttributeNameEnd = 4;   // the same plus quotes
constexpr uint8_t kValueEnd = 8;           // ends a double-quoted value on the fast road: '"', '&', NUL
constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c : {' ', '\t', '\n', '\r'}) classes[static_cast<size_t>(c)] = kSpace | kNameEnd | kAttributeNameEnd;
    for (int c : {'>', '/', '=', '<', '\0'}) classes[static_cast<size_t>(c)] |= kNameEnd | kAttributeNameEnd;
    for (int c : {'"', '\''}) classes[static_cast<size_t>(c)] |= kAttributeNameEnd;
    for (int c : {'"', '&', '\0'}) classes[static_cast<size_t>(c)] |= kValueEnd;
    return classes;
}
constexpr std::array<uint8_t, 256> kClass = MakeClasses();

// The first `c` in [from, end): a plain loop over the first bytes (most texts, values and
// gaps between tags are short), memchr for the rest.
inline const char* FindByte(const char* from, const char* end, char c) {
    const char* stop = end - from > 16 ? from + 16 : end;
    for (; from < stop; ++from)
        if (*from == c) return from;
    if (from == end) return nullptr;
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)));
}

[[noreturn]] void UnexpectedEnd() { throw Exception("Unexcpected end of file in XML"); }

[[noreturn]] void UnsupportedEncoding(std::string_view encoding) {
    throw Exception(Format("Unsupported encoding of xml: \"%.*s\". Must be utf-8",
                           static_cast<int>(encoding.size()), encoding.data()));
}

// Appends the UTF-8 form of a code point; returns the bytes written.
size_t PutUtf8(char* out, uint32_t cp) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// The replacement of one reference (the bytes between '&' and ';'), written to `out`; returns
// the bytes written, or SIZE_MAX when the name is not a reference we know (kept as written).
// Every replacement is shorter than the reference it replaces, so decoding works in place.
size_t DecodeReference(const char* name, size_t length, char* out) {
    switch (length) {
    case 2:
        if (name[1] == 't' && (name[0] == 'l' || name[0] == 'g')) {
            out[0] = name[0] == 'l' ? '<' : '>';
            return 1;
        }
        break;
    case 3:
        if (std::memcmp(name, "amp", 3) == 0) {
            out[0] = '&';
            return 1;
        }
        break;
    case 4:
        if (std::memcmp(name, "apos", 4) == 0) {
            out[0] = '\'';
            return 1;
        }
        if (std::memcmp(name, "quot", 4) == 0) {
            out[0] = '"';
            return 1;
        }
        break;
    default:
        break;
    }
    if (length < 2 || name[0] != '#') return SIZE_MAX;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    size_t i = hex ? 2 : 1;
    if (i >= length || length - i > 8) return SIZE_MAX;
    uint32_t cp = 0;
    for (; i < length; ++i) {
        const char c = name[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else return SIZE_MAX;
        cp = cp * (hex ? 16 : 10) + digit;
    }
    // Code points XML does not allow become the replacement character.
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    return PutUtf8(out, cp);
}

} // namespace

size_t DecodeXmlEntities(char* text, size_t length) {
    const char* amp = FindByte(text, text + length, '&');
    if (!amp) return length;
    size_t w = static_cast<size_t>(amp - text);
    size_t r = w;
    while (r < length) {
        if (text[r] != '&') {
            const char* next = static_cast<const char*>(std::memchr(text + r, '&', length - r));
            const size_t end = next ? static_cast<size_t>(next - text) : length;
            std::memmove(text + w, text + r, end - r);
            w += end - r;
            r = end;
            continue;
        }
        // A reference name is short; a ';' far away does not close one.
        const size_t limit = std::min(length, r + 12);
        size_t semi = r + 1;
        while (semi < limit && text[semi] != ';' && text[semi] != '&') ++semi;
        size_t n = SIZE_MAX;
        if (semi < limit && text[semi] == ';') {
            char decoded[4];
            n = DecodeReference(text + r + 1, semi - r - 1, decoded);
            if (n != SIZE_MAX) {
                std::memcpy(text + w, decoded, n);
                w += n;
                r = semi + 1;
                continue;
            }
        }
        text[w++] = text[r++];   // not a reference: the '&' stays
    }
    return w;
}

// ---------------------------------------------------------------------------------------------

std::string_view TXmlAttributeList::AttrPrefix(int index) const {
    const Raw& a = raw_[static_cast<size_t>(index)];
    return a.colon == UINT32_MAX ? std::string_view() : std::string_view(a.name, a.colon);
}

std::string_view TXmlAttributeList::AttrLocalName(int index) const {
    const Raw& a = raw_[static_cast<size_t>(index)];
    return a.colon == UINT32_MAX ? std::string_view(a.name, a.nameLength)
                                 : std::string_view(a.name + a.colon + 1, a.nameLength - a.colon - 1);
}

uint32_t TXmlAttributeList::AttrNameSum(int index) const {
    uint32_t sum = 0;
    for (char c : AttrName(index)) sum += static_cast<uint8_t>(c);
    return sum;
}

void TXmlAttributeList::Decode(Raw& a) {
    a.valueLength = static_cast<uint32_t>(DecodeXmlEntities(a.value, a.valueLength));
    a.decoded = true;
}

std::u16string TXmlAttributeList::AttrValue(int index) { return Utf8ToUtf16(AttrValueUtf8(index)); }

std::string TXmlAttributeList::AttrAsText(int index) {
    std::string text(AttrName(index));
    text += "=\"";
    text += AttrValueUtf8(index);
    text += '"';
    return text;
}

std::string_view TXmlAttributeList::AttrNamespace(int index) const {
    const std::string_view prefix = AttrPrefix(index);
    if (prefix.empty() || !owner_) return {};
    return owner_->NamespaceOf(prefix);
}

int TXmlAttributeList::IndexOf(std::string_view name) const {
    for (int i = 0; i < count_; ++i)
        if (AttrName(i) == name) return i;
    return -1;
}

int64_t TXmlAttributeList::AttrInt(int index, int64_t defaultValue) {
    int64_t value;
    return ParseXmlInt(AttrValueUtf8(index), value) ? value : defaultValue;
}

bool TXmlAttributeList::AttrBool(int index, bool defaultValue) {
    return ParseXmlBool(AttrValueUtf8(index), defaultValue);
}

double TXmlAttributeList::AttrDouble(int index) {
    double value;
    return ParseXmlDouble(AttrValueUtf8(index), value) ? value : 0.0;
}

// ---------------------------------------------------------------------------------------------

TXmlTokenizer::TXmlTokenizer() { attributes_.owner_ = this; }
TXmlTokenizer::~TXmlTokenizer() = default;

void TXmlTokenizer::FoldNamespace(std::string_view uri) { folded_.emplace_back(uri); }

std::string_view TXmlTokenizer::NamespaceOf(std::string_view prefix) const {
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
        if (it->prefix == prefix) return it->uri;
    if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
    return {};
}

std::string_view TXmlTokenizer::QualifiedName() const { return {qualified_, qualifiedLength_}; }

std::string_view TXmlTokenizer::TextUtf8() {
    if (!hasText_) return {};
    if (!textDecoded_) {
        textLength_ = DecodeXmlEntities(text_, textLength_);
        textDecoded_ = true;
    }
    return {text_, textLength_};
}

std::u16string TXmlTokenizer::Text() {
    std::u16string text;
    AppendText(text);
    return text;
}

void TXmlTokenizer::AppendText(std::u16string& out) { AppendUtf8ToUtf16(TextUtf8(), out); }

size_t TXmlTokenizer::Find(char c, size_t from) const {
    if (from >= length_) return kNotFound;
    const char* hit = FindByte(buffer_.get() + from, buffer_.get() + length_, c);
    return hit ? static_cast<size_t>(hit - buffer_.get()) : kNotFound;
}

size_t TXmlTokenizer::FindSequence(const char* sequence, size_t length, size_t from) const {
    const char* buffer = buffer_.get();
    for (;;) {
        const size_t at = Find(sequence[0], from);
        if (at == kNotFound || at + length > length_) return kNotFound;
        if (std::memcmp(buffer + at, sequence, length) == 0) return at;
        from = at + 1;
    }
}

// Keeps the bytes from `keepFrom` on (an unfinished token), then fills the rest of the buffer.
// A token that fills the whole buffer makes it grow, up to kMaxTokenBytes.
void TXmlTokenizer::Refill(size_t keepFrom) {
    char* buffer = buffer_.get();
    if (keepFrom > 0) {
        std::memmove(buffer, buffer + keepFrom, length_ - keepFrom);
        length_ -= keepFrom;
    } else if (length_ == capacity_) {
        if (capacity_ >= kMaxTokenBytes)
            throw Exception(Format("XML tag or text longer than %zu bytes", kMaxTokenBytes));
        const size_t capacity = std::min(capacity_ * 2, kMaxTokenBytes);
        std::unique_ptr<char[]> grown(new char[capacity + 1]);
        std::memcpy(grown.get(), buffer, length_);
        buffer_ = std::move(grown);
        capacity_ = capacity;
    }
    while (length_ < capacity_ && !eof_) {
        const size_t n = input_->Read(buffer_.get() + length_, capacity_ - length_);
        if (n == 0) eof_ = true;
        length_ += n;
        taken_ += static_cast<int64_t>(n);
        if (n > 0) break;
    }
    buffer_[length_] = '\0';
}

int64_t TXmlTokenizer::Parse(TStream& input) {
    input_ = &input;
    length_ = 0;
    eof_ = false;
    taken_ = 0;
    depth_ = 0;
    sawRoot_ = false;
    namespaces_.clear();
    if (!buffer_) {
        capacity_ = kInitialCapacity;
        buffer_.reset(new char[capacity_ + 1]);
    }
    Refill(0);
    const auto* start = reinterpret_cast<const uint8_t*>(buffer_.get());
    if (length_ >= 2 && ((start[0] == 0xFF && start[1] == 0xFE) || (start[0] == 0xFE && start[1] == 0xFF) ||
                         (start[0] == '<' && start[1] == 0) || (start[0] == 0 && start[1] == '<')))
        UnsupportedEncoding("UTF-16");

    size_t pos = 0;
    bool strayText = false;   // bytes that are no tag's text and are not followed by a tag
    auto hasNonSpace = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            if (!IsSpace(buffer_[i])) return true;
        return false;
    };
    while (!stop_) {
        const size_t lt = pos < length_ && buffer_[pos] == '<' ? pos : Find('<', pos);
        if (lt == kNotFound) {
            strayText = strayText || hasNonSpace(pos, length_);
            if (eof_) {
                if (strayText) throw Exception("Syntax error in XML: can not find \"<\"");
                break;
            }
            Refill(length_);
            pos = 0;
            continue;
        }
        strayText = false;
        const size_t next = ScanToken(lt);
        if (next == kIncomplete) {
            if (eof_) UnexpectedEnd();
            Refill(lt);
            pos = 0;
            continue;
        }
        pos = next;
    }
    if (!stop_ && (depth_ != 0 || !sawRoot_)) UnexpectedEnd();
    input_ = nullptr;
    return taken_;
}

size_t TXmlTokenizer::ScanToken(size_t pos) {
    if (pos + 1 >= length_) return kIncomplete;
    switch (buffer_[pos + 1]) {
    case '/': return ScanEndTag(pos);
    case '!': return ScanBang(pos);
    case '?': return ScanProcessingInstruction(pos);
    default: return ScanStartTag(pos);
    }
}

void TXmlTokenizer::SetName(char* begin, size_t length, uint32_t sum, uint32_t sumBeforeLocal, size_t colon) {
    qualified_ = begin;
    qualifiedLength_ = length;
    qualifiedSum_ = sum;
    if (colon == kNotFound) {
        prefix_ = begin;
        prefixLength_ = 0;
        local_ = begin;
        localLength_ = length;
    } else {
        prefix_ = begin;
        prefixLength_ = colon;
        local_ = begin + colon + 1;
        localLength_ = length - colon - 1;
    }
    nameSum_ = sum;
    nameSumLocal_ = colon == kNotFound ? sum : sum - sumBeforeLocal;
}

size_t TXmlTokenizer::ScanStartTag(size_t pos) {
    char* buffer = buffer_.get();
    const char* end = buffer + length_;   // *end is the NUL sentinel
    char* p = buffer + pos + 1;
    // Fast path: a one-byte name without attributes, such as <v>.
    if (!(kClass[static_cast<uint8_t>(p[0])] & kNameEnd) && p[1] == '>') {
        const size_t after = ScanText(pos + 3);
        if (after == kIncomplete) return kIncomplete;
        attributes_.count_ = 0;
        emptyElement_ = false;
        sawXmlns_ = false;
        SetName(p, 1, static_cast<uint8_t>(p[0]), 0, kNotFound);
        DispatchStart();
        return after;
    }
    while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
    char* nameStart = p;
    uint32_t sum = 0, sumBeforeLocal = 0;
    size_t colon = kNotFound;
    for (;;) {
        const auto c = static_cast<uint8_t>(*p);
        if (kClass[c] & kNameEnd) break;
        sum += c;
        if (c == ':') {
            colon = static_cast<size_t>(p - nameStart);
            sumBeforeLocal = sum;
        }
        ++p;
    }
    if (p >= end) return kIncomplete;
    bool empty = false;
    const char* tagEnd = ScanAttributes(p, end, empty, false);
    if (!tagEnd) return kIncomplete;
    size_t after = static_cast<size_t>(tagEnd - buffer);
    if (!empty) {
        after = ScanText(after);
        if (after == kIncomplete) return kIncomplete;
    } else {
        hasText_ = false;
    }
    emptyElement_ = empty;
    SetName(nameStart, static_cast<size_t>(p - nameStart), sum, sumBeforeLocal, colon);
    DispatchStart();
    return after;
}

// Scans attributes up to the closing '>' (or "/>"); returns the position after it, or nullptr
// when the tag goes on past the buffer. Attributes written without quotes or without '=' are
// skipped. In a processing instruction the scan ends at `end` instead. *end must be NUL.
const char* TXmlTokenizer::ScanAttributes(char* p, const char* end, bool& emptyElement, bool instruction) {
    attributes_.count_ = 0;
    sawXmlns_ = false;
    if (!instruction) {
        // Fast path for the usual shape: one blank, name="value", ... then '>' or "/>".
        char* const start = p;
        auto& list = attributes_.raw_;
        while (*p == ' ') {
            char* name = ++p;
            while (!(kClass[static_cast<uint8_t>(*p)] & kAttributeNameEnd)) ++p;
            if (*p != '=' || p == name || p[1] != '"') break;
            char* const nameEnd = p;
            char* const value = p + 2;
            p = value;
            while (!(kClass[static_cast<uint8_t>(*p)] & kValueEnd)) ++p;
            if (*p != '"') break;   // an entity, a NUL or the end of the buffer: the careful road
            if (static_cast<size_t>(attributes_.count_) == list.size()) list.emplace_back();
            TXmlAttributeList::Raw& a = list[static_cast<size_t>(attributes_.count_++)];
            a.name = name;
            a.nameLength = static_cast<uint32_t>(nameEnd - name);
            a.colon = UINT32_MAX;
            for (const char* q = name; q < nameEnd; ++q)
                if (*q == ':') a.colon = static_cast<uint32_t>(q - name);
            a.value = value;
            a.valueLength = static_cast<uint32_t>(p - value);
            a.decoded = true;
            if (name[0] == 'x' && a.nameLength >= 5) sawXmlns_ = true;
            ++p;
        }
        if (*p == '>') return p + 1;
        if (*p == '/' && p[1] == '>') {
            emptyElement = true;
            return p + 2;
        }
        p = start;
        attributes_.count_ = 0;
        sawXmlns_ = false;
    }
    for (;;) {
        while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
        const char c = *p;
        if (c == '>' && !instruction) return p + 1;
        if (p >= end) return instruction ? end : nullptr;
        if (c == '/' && !instruction) {
            if (p + 1 >= end) return nullptr;
            if (p[1] == '>') {
                emptyElement = true;
                return p + 2;
            }
            ++p;
            continue;
        }
        char* name = p;
        size_t colon = kNotFound;
        for (;;) {
            const auto b = static_cast<uint8_t>(*p);
            if (kClass[b] & kNameEnd) break;
            if (b == ':') colon = static_cast<size_t>(p - name);
            ++p;
        }
        char* nameEnd = p;
        while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
        if (*p != '=') {
            if (p >= end) return instruction ? end : nullptr;
            if (nameEnd == name) ++p;   // a stray character
            continue;
        }
        ++p;
        while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
        const char quote = *p;
        if (quote != '"' && quote != '\'') {
            if (p >= end) return instruction ? end : nullptr;
            while (p < end && !(kClass[static_cast<uint8_t>(*p)] & kSpace) && *p != '>') ++p;   // unquoted: lost
            continue;
        }
        char* value = ++p;
        bool amp = false;
        for (;;) {
            const char b = *p;
            if (b == quote) break;
            if (b == '&') amp = true;
            else if (b == '\0' && p >= end) return instruction ? end : nullptr;
            ++p;
        }
        if (nameEnd > name) {
            auto& list = attributes_.raw_;
            if (static_cast<size_t>(attributes_.count_) == list.size()) list.emplace_back();
            TXmlAttributeList::Raw& a = list[static_cast<size_t>(attributes_.count_++)];
            a.name = name;
            a.nameLength = static_cast<uint32_t>(nameEnd - name);
            a.colon = colon == kNotFound ? UINT32_MAX : static_cast<uint32_t>(colon);
            a.value = value;
            a.valueLength = static_cast<uint32_t>(p - value);
            a.decoded = !amp;
            if (name[0] == 'x' && a.nameLength >= 5) sawXmlns_ = true;
        }
        ++p;
    }
}

// The text after a start tag: plain text up to the next '<'; CDATA sections (their content as
// written) and comments inside the text are joined into it.
size_t TXmlTokenizer::ScanText(size_t start) {
    char* buffer = buffer_.get();
    const char* end = buffer + length_;
    hasText_ = false;
    textDecoded_ = false;
    textInScratch_ = false;
    char* p = buffer + start;
    if (p >= end) return eof_ ? start : kIncomplete;
    bool amp = false;
    for (;;) {
        const char c = *p;
        if (c == '<') break;
        if (c == '&') amp = true;
        else if (c == '\0' && p >= end) break;
        ++p;
    }
    size_t lt = static_cast<size_t>(p - buffer);
    if (p >= end) {
        if (!eof_) return kIncomplete;
    } else if (p + 1 >= end) {
        if (!eof_) return kIncomplete;
    } else if (p[1] == '!') {
        // Possibly CDATA or a comment inside the text.
        if (length_ - lt < 9 && !eof_) return kIncomplete;
        const bool cdata = length_ - lt >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0;
        const bool comment = length_ - lt >= 4 && std::memcmp(p, "<!--", 4) == 0;
        if (cdata || comment) return ScanCompositeText(start);
    }
    if (lt > start) {
        hasText_ = true;
        textDecoded_ = !amp;
        text_ = buffer + start;
        textLength_ = lt - start;
    }
    return lt;
}

size_t TXmlTokenizer::ScanCompositeText(size_t p) {
    char* buffer = buffer_.get();
    scratch_.clear();
    bool sawCdata = false;
    size_t q = p;
    for (;;) {
        size_t at = Find('<', q);
        if (at == kNotFound) {
            if (!eof_) return kIncomplete;
            at = length_;
        }
        const size_t start = scratch_.size();
        scratch_.append(buffer + q, at - q);
        scratch_.resize(start + DecodeXmlEntities(scratch_.data() + start, at - q));
        q = at;
        if (at >= length_) break;
        if (length_ - at < 9 && !eof_) return kIncomplete;
        if (length_ - at >= 9 && std::memcmp(buffer + at, "<![CDATA[", 9) == 0) {
            const size_t close = FindSequence("]]>", 3, at + 9);
            if (close == kNotFound) return kIncomplete;
            scratch_.append(buffer + at + 9, close - at - 9);
            sawCdata = true;
            q = close + 3;
        } else if (length_ - at >= 4 && std::memcmp(buffer + at, "<!--", 4) == 0) {
            const size_t close = FindSequence("-->", 3, at + 4);
            if (close == kNotFound) return kIncomplete;
            q = close + 3;
        } else {
            break;
        }
    }
    // Comments alone (no text, no CDATA) leave the element without text.
    hasText_ = sawCdata || !scratch_.empty();
    textInScratch_ = true;
    textDecoded_ = true;
    text_ = scratch_.data();
    textLength_ = scratch_.size();
    return q;
}

size_t TXmlTokenizer::ScanEndTag(size_t pos) {
    char* buffer = buffer_.get();
    const char* end = buffer + length_;
    char* p = buffer + pos + 2;
    // Fast path: </v>.
    if (!(kClass[static_cast<uint8_t>(p[0])] & kNameEnd) && p[1] == '>') {
        SetName(p, 1, static_cast<uint8_t>(p[0]), 0, kNotFound);
        DispatchEnd();
        return pos + 4;
    }
    while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
    char* nameStart = p;
    uint32_t sum = 0, sumBeforeLocal = 0;
    size_t colon = kNotFound;
    for (;;) {
        const auto c = static_cast<uint8_t>(*p);
        if (kClass[c] & kNameEnd) break;
        sum += c;
        if (c == ':') {
            colon = static_cast<size_t>(p - nameStart);
            sumBeforeLocal = sum;
        }
        ++p;
    }
    if (p >= end) return kIncomplete;
    const size_t nameEnd = static_cast<size_t>(p - buffer);
    const size_t gt = *p == '>' ? nameEnd : Find('>', nameEnd);
    if (gt == kNotFound) return kIncomplete;
    SetName(nameStart, static_cast<size_t>(p - nameStart), sum, sumBeforeLocal, colon);
    DispatchEnd();
    return gt + 1;
}

size_t TXmlTokenizer::ScanBang(size_t pos) {
    char* buffer = buffer_.get();
    if (length_ - pos < 4) return kIncomplete;
    if (buffer[pos + 2] == '-' && buffer[pos + 3] == '-') {
        const size_t close = FindSequence("-->", 3, pos + 4);
        if (close == kNotFound) return kIncomplete;
        comment_ = std::string_view(buffer + pos + 4, close - pos - 4);
        Comment();
        return close + 3;
    }
    if (length_ - pos < 9) return kIncomplete;
    if (std::memcmp(buffer + pos, "<![CDATA[", 9) == 0) {
        // CDATA that is not the content of a start tag is skipped like other text.
        const size_t close = FindSequence("]]>", 3, pos + 9);
        return close == kNotFound ? kIncomplete : close + 3;
    }
    // A declaration such as <!DOCTYPE ...>, possibly with an internal subset in brackets.
    size_t p = pos + 2;
    int brackets = 0;
    char quote = 0;
    for (; p < length_; ++p) {
        const char c = buffer[p];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            if (brackets > 0) --brackets;
        } else if (c == '>' && brackets == 0) {
            return p + 1;
        }
    }
    return kIncomplete;
}

size_t TXmlTokenizer::ScanProcessingInstruction(size_t pos) {
    char* buffer = buffer_.get();
    const size_t close = FindSequence("?>", 2, pos + 2);
    if (close == kNotFound) return kIncomplete;
    size_t p = pos + 2;
    const size_t nameStart = p;
    uint32_t sum = 0;
    while (p < close && !IsSpace(buffer[p])) sum += static_cast<uint8_t>(buffer[p++]);
    buffer[close] = '\0';   // the attribute scan stops at a NUL; the '?' is not looked at again
    bool empty = false;
    ScanAttributes(buffer + p, buffer + close, empty, true);
    SetName(buffer + nameStart, p - nameStart, sum, 0, kNotFound);
    hasText_ = false;
    ProcessingInstruction();
    return close + 2;
}

void TXmlTokenizer::ProcessingInstruction() {
    if (QualifiedName() != "xml") return;
    const int index = attributes_.IndexOf("encoding");
    if (index < 0) return;
    const std::string_view encoding = attributes_.AttrValueUtf8(index);
    std::string lower(encoding);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (lower != "utf-8") UnsupportedEncoding(encoding);
}

void TXmlTokenizer::DeclareNamespaces() {
    for (int i = 0; i < attributes_.count_; ++i) {
        const TXmlAttributeList::Raw& a = attributes_.raw_[static_cast<size_t>(i)];
        if (a.nameLength < 5 || a.name[0] != 'x' || std::memcmp(a.name, "xmlns", 5) != 0) continue;
        std::string prefix;
        if (a.nameLength > 6 && a.name[5] == ':') prefix.assign(a.name + 6, a.nameLength - 6);
        else if (a.nameLength != 5) continue;
        const std::string_view uri = attributes_.AttrValueUtf8(i);
        const bool folded = std::find(folded_.begin(), folded_.end(), uri) != folded_.end();
        namespaces_.push_back({std::move(prefix), std::string(uri), depth_, folded});
    }
}

void TXmlTokenizer::ResolveElementPrefix() {
    const std::string_view prefix = Prefix();
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) {
        if (it->prefix != prefix) continue;
        if (it->folded) {
            prefix_ = local_;
            prefixLength_ = 0;
            qualified_ = local_;
            qualifiedLength_ = localLength_;
            nameSum_ = nameSumLocal_;
        }
        return;
    }
}

void TXmlTokenizer::DispatchStart() {
    ++depth_;
    sawRoot_ = true;
    if (sawXmlns_) DeclareNamespaces();
    if (prefixLength_ > 0) ResolveElementPrefix();
    BeginTag();
    if (emptyElement_) {
        hasText_ = false;
        EndTag();
        while (!namespaces_.empty() && namespaces_.back().depth >= depth_) namespaces_.pop_back();
        --depth_;
    }
}

void TXmlTokenizer::DispatchEnd() {
    if (depth_ == 0) return;   // an end tag without a start tag
    if (prefixLength_ > 0) ResolveElementPrefix();
    hasText_ = false;
    attributes_.count_ = 0;
    EndTag();
    while (!namespaces_.empty() && namespaces_.back().depth >= depth_) namespaces_.pop_back();
    --depth_;
}

} // namespace tessaly
