#include "xlsx/XmlScanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/Exception.h"
#include "core/Format.h"
#include "core/Stream.h"

namespace tessaly {

namespace {

constexpr size_t kNotFound = SIZE_MAX;
// Bytes after the end of a chunk's data that the scanning loops may look at (the first is NUL).
constexpr size_t kPadding = 64;

[[noreturn]] void UnexpectedEnd() { throw Exception("Unexcpected end of file in XML"); }

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Byte classes for the scanning loops. Every loop also stops at NUL, the sentinel after the
// last byte in the buffer, and then checks whether it reached the end.
constexpr uint8_t kSpace = 1;     // XML white space
constexpr uint8_t kNameEnd = 2;            // ends a name: white space, '>', '/', '=', '<', NUL
constexpr uint8_t kAttributeNameEnd = 4;   // the same plus quotes
constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c : {' ', '\t', '\n', '\r'}) classes[static_cast<size_t>(c)] = kSpace | kNameEnd | kAttributeNameEnd;
    for (int c : {'>', '/', '=', '<', '\0'}) classes[static_cast<size_t>(c)] |= kNameEnd | kAttributeNameEnd;
    for (int c : {'"', '\''}) classes[static_cast<size_t>(c)] |= kAttributeNameEnd;
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

// The first of the bytes `a`, `b` and NUL at or after `p`. A chunk's data is followed by a NUL and
// by padding, so the search always ends inside the buffer and may read 16 bytes at a time.
inline const char* FindStop(const char* p, char a, char b) {
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    for (;; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)), _mm_cmpeq_epi8(x, zero)));
        if (hits) return p + __builtin_ctz(static_cast<unsigned>(hits));
    }
#else
    while (*p != a && *p != b && *p != '\0') ++p;
    return p;
#endif
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

// A tag's name, from the blanks before it to the first byte that ends it (`p` is left there):
// its byte sum, the sum up to and including the prefix's colon, and the colon's position.
struct TagName {
    char* Start;
    uint32_t Sum = 0, SumBeforeLocal = 0;
    size_t Colon = kNotFound;
};

inline TagName ScanTagName(char*& p) {
    while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
    TagName name{p};
    for (;;) {
        const auto c = static_cast<uint8_t>(*p);
        if (kClass[c] & kNameEnd) break;
        name.Sum += c;
        if (c == ':') {
            name.Colon = static_cast<size_t>(p - name.Start);
            name.SumBeforeLocal = name.Sum;
        }
        ++p;
    }
    return name;
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

void TXmlChunk::Reset() {
    Length = 0;
    Events.clear();
    Attributes.clear();
    Arena.clear();
    Error = nullptr;
    Last = false;
}

void TXmlChunk::Reserve(size_t capacity) {
    if (capacity <= Capacity && Buffer) return;
    std::unique_ptr<char[]> grown(new char[capacity + kPadding]);
    if (Length) std::memcpy(grown.get(), Buffer.get(), Length);
    Buffer = std::move(grown);
    Capacity = capacity;
}

TXmlScanner::TXmlScanner(TStream& input) : input_(input) {}

size_t TXmlScanner::Find(char c, size_t from) const {
    if (from >= length_) return kNotFound;
    const char* hit = FindByte(buffer_ + from, buffer_ + length_, c);
    return hit ? static_cast<size_t>(hit - buffer_) : kNotFound;
}

size_t TXmlScanner::FindSequence(const char* sequence, size_t length, size_t from) const {
    for (;;) {
        const size_t at = Find(sequence[0], from);
        if (at == kNotFound || at + length > length_) return kNotFound;
        if (std::memcmp(buffer_ + at, sequence, length) == 0) return at;
        from = at + 1;
    }
}

// Reads until the chunk is full or the stream has ended.
void TXmlScanner::Read() {
    TXmlChunk& chunk = *chunk_;
    while (chunk.Length < chunk.Capacity && !eof_) {
        const size_t n = input_.Read(chunk.Buffer.get() + chunk.Length, chunk.Capacity - chunk.Length);
        if (n == 0) eof_ = true;
        chunk.Length += n;
        taken_ += static_cast<int64_t>(n);
    }
    std::memset(chunk.Buffer.get() + chunk.Length, 0, kPadding);
    buffer_ = chunk.Buffer.get();
    length_ = chunk.Length;
}

void TXmlScanner::Fill(TXmlChunk& chunk) {
    chunk.Reset();
    chunk_ = &chunk;
    try {
        chunk.Reserve(std::max(kChunkSize, carry_.size() * 2));
        if (!carry_.empty()) std::memcpy(chunk.Buffer.get(), carry_.data(), carry_.size());
        chunk.Length = carry_.size();
        carry_.clear();
        Read();
        if (first_) {
            first_ = false;
            const auto* start = reinterpret_cast<const uint8_t*>(buffer_);
            if (length_ >= 2 && ((start[0] == 0xFF && start[1] == 0xFE) || (start[0] == 0xFE && start[1] == 0xFF) ||
                                 (start[0] == '<' && start[1] == 0) || (start[0] == 0 && start[1] == '<')))
                throw Exception("Unsupported encoding of xml: \"UTF-16\". Must be utf-8");
        }
        Scan();
    } catch (...) {
        chunk.Error = std::current_exception();
        chunk.Last = true;
    }
}

// Scans the chunk; the bytes of a token that goes on past its end are kept for the next chunk.
void TXmlScanner::Scan() {
    TXmlChunk& chunk = *chunk_;
    size_t pos = 0;
    for (;;) {
        const size_t lt = pos < length_ && buffer_[pos] == '<' ? pos : Find('<', pos);
        if (lt == kNotFound) {
            for (size_t i = pos; i < length_ && !strayText_; ++i)
                if (!IsSpace(buffer_[i])) strayText_ = true;
            if (eof_) {
                if (strayText_) throw Exception("Syntax error in XML: can not find \"<\"");
                chunk.Last = true;
            }
            return;
        }
        strayText_ = false;
        const size_t events = chunk.Events.size();
        const size_t attributes = chunk.Attributes.size();
        const size_t arena = chunk.Arena.size();
        const size_t next = ScanToken(lt);
        if (next != kIncomplete) {
            pos = next;
            continue;
        }
        // The token goes on past the chunk: forget what it recorded.
        chunk.Events.resize(events);
        chunk.Attributes.resize(attributes);
        chunk.Arena.resize(arena);
        if (eof_) UnexpectedEnd();
        if (lt > 0) {
            carry_.assign(buffer_ + lt, buffer_ + length_);
            return;
        }
        // A token longer than the whole chunk: the chunk grows (no event refers to it yet).
        if (chunk.Capacity >= kMaxTokenBytes)
            throw Exception(Format("XML tag or text longer than %zu bytes", kMaxTokenBytes));
        chunk.Reserve(std::min(chunk.Capacity * 2, kMaxTokenBytes));
        Read();
        pos = 0;
    }
}

TXmlEvent& TXmlScanner::NewEvent(TXmlEventKind kind, const char* name, size_t length, uint32_t sum, uint32_t localSum,
                                 size_t colon) {
    std::vector<TXmlEvent>& events = chunk_->Events;
    events.push_back({kind, false, false, true, false, false, false, static_cast<uint32_t>(name - buffer_),
                      static_cast<uint32_t>(length), colon == kNotFound ? UINT32_MAX : static_cast<uint32_t>(colon),
                      sum, localSum, 0, 0, static_cast<uint32_t>(chunk_->Attributes.size()), 0});
    return events.back();
}

size_t TXmlScanner::ScanToken(size_t pos) {
    if (pos + 1 >= length_) return kIncomplete;
    switch (buffer_[pos + 1]) {
    case '/': return ScanEndTag(pos);
    case '!': return ScanBang(pos);
    case '?': return ScanProcessingInstruction(pos);
    default: return ScanStartTag(pos);
    }
}

size_t TXmlScanner::ScanStartTag(size_t pos) {
    char* buffer = buffer_;
    const char* end = buffer + length_;   // *end is the NUL sentinel
    char* p = buffer + pos + 1;
    // Fast path: a one-byte name without attributes, such as <v>.
    if (!(kClass[static_cast<uint8_t>(p[0])] & kNameEnd) && p[1] == '>') {
        const uint32_t sum = static_cast<uint8_t>(p[0]);
        TXmlEvent& e = NewEvent(TXmlEventKind::Start, p, 1, sum, sum, kNotFound);
        return ScanText(pos + 3, e);
    }
    const TagName name = ScanTagName(p);
    if (p >= end) return kIncomplete;
    TXmlEvent& e = NewEvent(TXmlEventKind::Start, name.Start, static_cast<size_t>(p - name.Start), name.Sum,
                            name.Sum - name.SumBeforeLocal, name.Colon);
    const char* tagEnd = ScanAttributes(p, end, e, false);
    if (!tagEnd) return kIncomplete;
    const size_t after = static_cast<size_t>(tagEnd - buffer);
    if (e.Empty) return after;
    return ScanText(after, e);
}

// Scans attributes up to the closing '>' (or "/>"); returns the position after it, or nullptr
// when the tag goes on past the buffer. Attributes written without quotes or without '=' are
// skipped. In a processing instruction the scan ends at `end` instead. *end must be NUL.
const char* TXmlScanner::ScanAttributes(char* p, const char* end, TXmlEvent& event, bool instruction) {
    auto& list = chunk_->Attributes;
    const size_t first = list.size();
    auto add = [&](char* name, char* nameEnd, char* value, char* valueEnd, bool decoded) {
        list.push_back({name, static_cast<uint32_t>(nameEnd - name), static_cast<uint32_t>(valueEnd - value), value,
                        decoded});
        if (name[0] == 'x' && nameEnd - name >= 5) event.Xmlns = true;
    };
    auto finish = [&](const char* result) {
        event.AttributeCount = static_cast<uint32_t>(list.size() - first);
        return result;
    };
    if (!instruction) {
        // Fast path for the usual shape: one blank, name="value", ... then '>' or "/>".
        char* const start = p;
        while (*p == ' ') {
            char* name = ++p;
            while (!(kClass[static_cast<uint8_t>(*p)] & kAttributeNameEnd)) ++p;
            if (*p != '=' || p == name || p[1] != '"') break;
            char* const nameEnd = p;
            char* const value = p + 2;
            p = const_cast<char*>(FindStop(value, '"', '&'));
            if (*p != '"') break;   // an entity, a NUL or the end of the buffer: the careful road
            add(name, nameEnd, value, p, true);
            ++p;
        }
        if (*p == '>') return finish(p + 1);
        if (*p == '/' && p[1] == '>') {
            event.Empty = true;
            return finish(p + 2);
        }
        p = start;
        list.resize(first);
        event.Xmlns = false;
    }
    for (;;) {
        while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
        const char c = *p;
        if (c == '>' && !instruction) return finish(p + 1);
        if (p >= end) return instruction ? finish(end) : nullptr;
        if (c == '/' && !instruction) {
            if (p + 1 >= end) return nullptr;
            if (p[1] == '>') {
                event.Empty = true;
                return finish(p + 2);
            }
            ++p;
            continue;
        }
        char* name = p;
        while (!(kClass[static_cast<uint8_t>(*p)] & kNameEnd)) ++p;
        char* nameEnd = p;
        while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
        if (*p != '=') {
            if (p >= end) return instruction ? finish(end) : nullptr;
            if (nameEnd == name) ++p;   // a stray character
            continue;
        }
        ++p;
        while (kClass[static_cast<uint8_t>(*p)] & kSpace) ++p;
        const char quote = *p;
        if (quote != '"' && quote != '\'') {
            if (p >= end) return instruction ? finish(end) : nullptr;
            while (p < end && !(kClass[static_cast<uint8_t>(*p)] & kSpace) && *p != '>') ++p;   // unquoted: lost
            continue;
        }
        char* value = ++p;
        bool amp = false;
        for (;;) {
            const char b = *p;
            if (b == quote) break;
            if (b == '&') amp = true;
            else if (b == '\0' && p >= end) return instruction ? finish(end) : nullptr;
            ++p;
        }
        if (nameEnd > name) add(name, nameEnd, value, p, !amp);
        ++p;
    }
}

// The text after a start tag: plain text up to the next '<'; CDATA sections (their content as
// written) and comments inside the text are joined into it.
size_t TXmlScanner::ScanText(size_t start, TXmlEvent& event) {
    char* const buffer = buffer_;
    const char* const end = buffer + length_;
    char* p = buffer + start;
    if (p >= end) return eof_ ? start : kIncomplete;
    bool amp = false;
    for (;;) {
        p = const_cast<char*>(FindStop(p, '<', '&'));
        if (*p == '<' || p >= end) break;
        if (*p == '&') amp = true;
        ++p;   // an entity, or a NUL byte inside the text
    }
    const size_t lt = static_cast<size_t>(p - buffer);
    if (p + 1 >= end) {
        if (!eof_) return kIncomplete;
    } else if (p[1] == '!') {
        // Possibly CDATA or a comment inside the text.
        if (length_ - lt < 9 && !eof_) return kIncomplete;
        const bool cdata = length_ - lt >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0;
        const bool comment = length_ - lt >= 4 && std::memcmp(p, "<!--", 4) == 0;
        if (cdata || comment) return ScanCompositeText(start, event);
    }
    if (lt > start) {
        event.HasText = true;
        event.TextDecoded = !amp;
        event.TextOffset = static_cast<uint32_t>(start);
        event.TextLength = static_cast<uint32_t>(lt - start);
    }
    // The element's own end tag right after the text (the common <v>1</v>) is taken along.
    const size_t nameLength = event.NameLength;
    if (p[1] == '/' && length_ - lt >= nameLength + 3 && p[2 + nameLength] == '>' &&
        (nameLength == 1 ? p[2] == buffer[event.NameOffset]
                         : std::memcmp(p + 2, buffer + event.NameOffset, nameLength) == 0)) {
        event.Closed = true;
        return lt + nameLength + 3;
    }
    return lt;
}

size_t TXmlScanner::ScanCompositeText(size_t p, TXmlEvent& event) {
    std::string& arena = chunk_->Arena;
    const size_t begin = arena.size();
    bool sawCdata = false;
    size_t q = p;
    for (;;) {
        size_t at = Find('<', q);
        if (at == kNotFound) {
            if (!eof_) return kIncomplete;
            at = length_;
        }
        const size_t start = arena.size();
        arena.append(buffer_ + q, at - q);
        arena.resize(start + DecodeXmlEntities(arena.data() + start, at - q));
        q = at;
        if (at >= length_) break;
        if (length_ - at < 9 && !eof_) return kIncomplete;
        if (length_ - at >= 9 && std::memcmp(buffer_ + at, "<![CDATA[", 9) == 0) {
            const size_t close = FindSequence("]]>", 3, at + 9);
            if (close == kNotFound) return kIncomplete;
            arena.append(buffer_ + at + 9, close - at - 9);
            sawCdata = true;
            q = close + 3;
        } else if (length_ - at >= 4 && std::memcmp(buffer_ + at, "<!--", 4) == 0) {
            const size_t close = FindSequence("-->", 3, at + 4);
            if (close == kNotFound) return kIncomplete;
            q = close + 3;
        } else {
            break;
        }
    }
    // Comments alone (no text, no CDATA) leave the element without text.
    event.HasText = sawCdata || arena.size() > begin;
    event.TextInArena = true;
    event.TextDecoded = true;
    event.TextOffset = static_cast<uint32_t>(begin);
    event.TextLength = static_cast<uint32_t>(arena.size() - begin);
    return q;
}

size_t TXmlScanner::ScanEndTag(size_t pos) {
    char* buffer = buffer_;
    const char* end = buffer + length_;
    char* p = buffer + pos + 2;
    // Fast path: </v>.
    if (!(kClass[static_cast<uint8_t>(p[0])] & kNameEnd) && p[1] == '>') {
        const uint32_t sum = static_cast<uint8_t>(p[0]);
        NewEvent(TXmlEventKind::End, p, 1, sum, sum, kNotFound);
        return pos + 4;
    }
    const TagName name = ScanTagName(p);
    if (p >= end) return kIncomplete;
    const size_t nameEnd = static_cast<size_t>(p - buffer);
    const size_t gt = *p == '>' ? nameEnd : Find('>', nameEnd);
    if (gt == kNotFound) return kIncomplete;
    NewEvent(TXmlEventKind::End, name.Start, static_cast<size_t>(p - name.Start), name.Sum,
             name.Sum - name.SumBeforeLocal, name.Colon);
    return gt + 1;
}

size_t TXmlScanner::ScanBang(size_t pos) {
    if (length_ - pos < 4) return kIncomplete;
    if (buffer_[pos + 2] == '-' && buffer_[pos + 3] == '-') {
        const size_t close = FindSequence("-->", 3, pos + 4);
        if (close == kNotFound) return kIncomplete;
        TXmlEvent& e = NewEvent(TXmlEventKind::Comment, buffer_ + pos + 1, 0, 0, 0, kNotFound);
        e.TextOffset = static_cast<uint32_t>(pos + 4);
        e.TextLength = static_cast<uint32_t>(close - pos - 4);
        return close + 3;
    }
    if (length_ - pos < 9) return kIncomplete;
    if (std::memcmp(buffer_ + pos, "<![CDATA[", 9) == 0) {
        // CDATA that is not the content of a start tag is skipped like other text.
        const size_t close = FindSequence("]]>", 3, pos + 9);
        return close == kNotFound ? kIncomplete : close + 3;
    }
    // A declaration such as <!DOCTYPE ...>, possibly with an internal subset in brackets.
    int brackets = 0;
    char quote = 0;
    for (size_t p = pos + 2; p < length_; ++p) {
        const char c = buffer_[p];
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

size_t TXmlScanner::ScanProcessingInstruction(size_t pos) {
    const size_t close = FindSequence("?>", 2, pos + 2);
    if (close == kNotFound) return kIncomplete;
    size_t p = pos + 2;
    const size_t nameStart = p;
    uint32_t sum = 0;
    while (p < close && !IsSpace(buffer_[p])) sum += static_cast<uint8_t>(buffer_[p++]);
    TXmlEvent& e = NewEvent(TXmlEventKind::Instruction, buffer_ + nameStart, p - nameStart, sum, sum, kNotFound);
    // The attribute scan stops at a NUL; the '?' is not looked at again.
    const char saved = buffer_[close];
    buffer_[close] = '\0';
    ScanAttributes(buffer_ + p, buffer_ + close, e, true);
    buffer_[close] = saved;
    return close + 2;
}

} // namespace tessaly
