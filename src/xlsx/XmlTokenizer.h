#pragma once
// An event-driven XML tokenizer for the parts of an .xlsx package. It reads the document from a
// stream in chunks (the document is never held whole; see XmlScanner.h) and delivers start tags
// with their attributes and the text that directly follows them, end tags, processing
// instructions and comments. Names and values are byte ranges into the buffer;
// text is decoded (entities, character references, UTF-8 -> UTF-16) only when a handler asks.
//
// It is not a validating parser: end tags are not matched against start tags, and namespaces
// are resolved only as far as the readers need (a prefix bound to a "folded" namespace is
// dropped from element names, so <x:row> reads like <row>).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/XmlScanner.h"

namespace tessaly {

class TStream;
class TXmlTokenizer;

// The attributes of the current start tag (or the pseudo-attributes of a processing
// instruction). Values are decoded in place on first use.
class TXmlAttributeList {
public:
    int Count() const { return count_; }
    std::string_view AttrName(int index) const {      // qualified name, as written
        const TXmlRawAttribute& a = items_[index];
        return {a.Name, a.NameLength};
    }
    std::string_view AttrPrefix(int index) const;     // empty when the name has no ':'
    std::string_view AttrLocalName(int index) const;
    uint32_t AttrNameSum(int index) const;            // sum of the name's bytes, prefix included
    std::string_view AttrValueUtf8(int index) {       // entities decoded
        TXmlRawAttribute& a = items_[index];
        if (!a.Decoded) Decode(a);
        return {a.Value, a.ValueLength};
    }
    std::u16string AttrValue(int index);              // decoded to UTF-16
    std::string AttrAsText(int index);                // name="value"
    // The namespace URI bound to the attribute's prefix (empty when none or unknown).
    std::string_view AttrNamespace(int index) const;
    int IndexOf(std::string_view name) const;         // exact qualified name; -1 when absent

    // Conversions: integers (decimal, surrounding blanks allowed) with a default for text that
    // is not one; booleans "true"/"1"/"false"/"0" in any letter case; numbers with '.' as the
    // decimal separator (0 for text that is not a number).
    int64_t AttrInt(int index, int64_t defaultValue);
    bool AttrBool(int index, bool defaultValue);
    double AttrDouble(int index);

private:
    friend class TXmlTokenizer;
    static void Decode(TXmlRawAttribute& a);
    TXmlRawAttribute* items_ = nullptr;
    int count_ = 0;
    const TXmlTokenizer* owner_ = nullptr;
};

class TXmlTokenizer {
public:
    TXmlTokenizer();
    virtual ~TXmlTokenizer();
    TXmlTokenizer(const TXmlTokenizer&) = delete;
    TXmlTokenizer& operator=(const TXmlTokenizer&) = delete;

    // Reads the whole stream, calling the events in document order; returns the bytes taken.
    int64_t Parse(TStream& input);
    void ClearStop() { stop_ = false; }
    void Stop() { stop_ = true; }

    // Prefixes bound to this namespace are dropped from element names.
    void FoldNamespace(std::string_view uri);
    // The namespace bound to `prefix` where the parser stands; empty when unknown.
    std::string_view NamespaceOf(std::string_view prefix) const;

    // The current tag.
    std::string_view Prefix() const { return {prefix_, prefixLength_}; }
    std::string_view LocalName() const { return {local_, localLength_}; }
    std::string_view QualifiedName() const;   // prefix:local, or local alone
    uint32_t NameSum() const { return nameSum_; }
    char FirstByte() const { return localLength_ ? local_[0] : '\0'; }
    bool IsEmptyElement() const { return emptyElement_; }
    int Depth() const { return depth_; }   // of the current element (1 for the root)

    // The text that follows the current start tag (CDATA sections and comments inside it
    // joined), decoded once.
    bool HasText() const { return hasText_; }
    std::string_view TextUtf8();
    std::u16string Text();
    void AppendText(std::u16string& out);

    TXmlAttributeList& Attributes() { return attributes_; }
    std::string_view CommentText() const { return comment_; }

    // A single tag together with its text may not exceed this many bytes.
    static constexpr size_t kMaxTokenBytes = TXmlScanner::kMaxTokenBytes;

protected:
    virtual void ProcessingInstruction();   // checks that the document is UTF-8
    virtual void BeginTag() {}
    virtual void EndTag() {}
    virtual void Comment() {}

private:
    struct Namespace {
        std::string prefix;
        std::string uri;
        int depth;
        bool folded;
    };
    struct ReadAhead;

    void ParseHere(TStream& input);
    void ParseAhead(TStream& input);
    bool Dispatch(TXmlChunk& chunk);   // false when stopped
    void DeclareNamespaces();
    void ResolveElementPrefix();
    [[gnu::always_inline]] inline void SetName(const TXmlEvent& event, char* base);
    [[gnu::always_inline]] inline void DispatchStart();
    [[gnu::always_inline]] inline void DispatchEnd();
    void Finish();

    int64_t taken_ = 0;
    bool stop_ = false;

    // Current tag.
    const char* prefix_ = nullptr;
    size_t prefixLength_ = 0;
    const char* local_ = nullptr;
    size_t localLength_ = 0;
    const char* qualified_ = nullptr;
    size_t qualifiedLength_ = 0;
    uint32_t nameSum_ = 0;
    uint32_t nameSumLocal_ = 0;
    bool emptyElement_ = false;
    bool closed_ = false;      // the end tag comes with the start tag (empty, or <v>1</v>)
    bool sawXmlns_ = false;
    bool hasText_ = false;
    bool textDecoded_ = false;
    char* text_ = nullptr;
    size_t textLength_ = 0;
    std::string_view comment_;
    TXmlAttributeList attributes_;

    int depth_ = 0;
    bool sawRoot_ = false;
    std::vector<Namespace> namespaces_;
    std::vector<std::string> folded_;
};

// Documents of at least this many bytes are scanned on a second thread (when the machine has
// more than one core) while the events are dispatched on the calling thread. Tests lower it to
// exercise that road.
uint64_t ScanAheadMinimum();
void SetScanAheadMinimum(uint64_t bytes);

} // namespace tessaly
