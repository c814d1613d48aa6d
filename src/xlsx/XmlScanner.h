#pragma once
// The scanning half of the XML tokenizer: reads a document from a stream chunk by chunk and
// turns every complete token of a chunk into an event (start tag with its attributes and the
// text after it, end tag, processing instruction, comment). A token cut by the end of a chunk is
// carried over to the next one, so no tag and no text is ever split. Scanning needs nothing but
// the bytes, so it can run ahead on another thread while the events of earlier chunks are
// dispatched (the bytes of a chunk stay in place until its events have been handled).

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

class TStream;

// One attribute: byte ranges in the chunk; the value is decoded in place on first use.
struct TXmlRawAttribute {
    char* Name;
    uint32_t NameLength;
    uint32_t ValueLength;
    char* Value;
    bool Decoded;   // holds no entity or character reference (any more)
};

enum class TXmlEventKind : uint8_t { Start, End, Instruction, Comment };

struct TXmlEvent {
    TXmlEventKind Kind;
    bool Empty;          // a start tag closed with "/>"
    bool HasText;
    bool TextDecoded;
    bool TextInArena;    // the text was put together (CDATA, comments) in the chunk's arena
    bool Xmlns;          // an attribute may declare a namespace
    bool Closed;         // the element's end tag follows its text at once (<v>1</v>): no End event
    uint32_t NameOffset;
    uint32_t NameLength;
    uint32_t Colon;      // position of the last ':' in the name, or UINT32_MAX
    uint32_t NameSum;    // sum of the name's bytes
    uint32_t LocalSum;   // the same for the part after the colon
    uint32_t TextOffset; // text of a start tag, or a comment's text
    uint32_t TextLength;
    uint32_t FirstAttribute;
    uint32_t AttributeCount;
};

struct TXmlChunk {
    std::unique_ptr<char[]> Buffer;   // Capacity bytes plus padding; Buffer[Length] is NUL
    size_t Capacity = 0;
    size_t Length = 0;
    std::vector<TXmlEvent> Events;
    std::vector<TXmlRawAttribute> Attributes;
    std::string Arena;
    std::exception_ptr Error;          // scanning failed after these events
    bool Last = false;                 // the document ends with this chunk

    void Reset();
    void Reserve(size_t capacity);     // keeps the first Length bytes
};

class TXmlScanner {
public:
    explicit TXmlScanner(TStream& input);

    // Fills `chunk` with the bytes carried over from the previous chunk and new bytes from the
    // stream, and scans every complete token into events. A failure is recorded in the chunk
    // (after the events that precede it) and ends the document.
    void Fill(TXmlChunk& chunk);
    int64_t Taken() const { return taken_; }

    static constexpr size_t kChunkSize = 64 * 1024;
    // A single tag together with its text may not exceed this many bytes.
    static constexpr size_t kMaxTokenBytes = 16u << 20;

private:
    static constexpr size_t kIncomplete = SIZE_MAX;
    void Scan();
    void Read();
    [[gnu::always_inline]] inline size_t ScanToken(size_t pos);
    [[gnu::always_inline]] inline size_t ScanStartTag(size_t pos);
    [[gnu::always_inline]] inline size_t ScanEndTag(size_t pos);
    [[gnu::always_inline]] inline size_t ScanText(size_t start, TXmlEvent& event);
    size_t ScanCompositeText(size_t start, TXmlEvent& event);
    size_t ScanBang(size_t pos);
    size_t ScanProcessingInstruction(size_t pos);
    const char* ScanAttributes(char* p, const char* end, TXmlEvent& event, bool instruction);
    size_t Find(char c, size_t from) const;
    size_t FindSequence(const char* sequence, size_t length, size_t from) const;
    [[gnu::always_inline]] inline TXmlEvent& NewEvent(TXmlEventKind kind, const char* name, size_t length,
                                                      uint32_t sum, uint32_t localSum, size_t colon);

    TStream& input_;
    TXmlChunk* chunk_ = nullptr;
    char* buffer_ = nullptr;
    size_t length_ = 0;
    bool eof_ = false;
    bool first_ = true;
    bool strayText_ = false;   // bytes that are no tag's text and are not followed by a tag
    int64_t taken_ = 0;
    std::vector<char> carry_;
};

// Decodes the predefined entities and decimal/hexadecimal character references of `text`
// in place; returns the new length. An '&' that starts no reference is kept as it stands.
size_t DecodeXmlEntities(char* text, size_t length);

} // namespace tessaly
