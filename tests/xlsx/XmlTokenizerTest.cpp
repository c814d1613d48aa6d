#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/Stream.h"
#include "xlsx/XmlDocument.h"
#include "xlsx/XmlTokenizer.h"

namespace tessaly {
namespace {

// Hands out the document a few bytes at a time, so that every token meets a buffer boundary.
class TrickleStream final : public TStream {
public:
    explicit TrickleStream(std::string data) : data_(std::move(data)) {}
    size_t Read(void* buffer, size_t count) override {
        const size_t n = std::min({count, data_.size() - position_, 1 + (calls_++ * 7) % 13});
        std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        return n;
    }
    int64_t Seek(int64_t, SeekOrigin) override { return static_cast<int64_t>(position_); }
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

private:
    std::string data_;
    size_t position_ = 0;
    size_t calls_ = 0;
};

// The document from memory, but not handed over whole (like an inflating ZIP entry), so that a
// scan ahead also reads ahead on a thread of its own.
class NotContiguousStream final : public TStream {
public:
    explicit NotContiguousStream(const std::string& data) : memory_(std::vector<uint8_t>(data.begin(), data.end())) {}
    size_t Read(void* buffer, size_t count) override { return memory_.Read(buffer, count); }
    int64_t Seek(int64_t offset, SeekOrigin origin) override { return memory_.Seek(offset, origin); }
    int64_t Size() override { return memory_.Size(); }

private:
    TMemoryStream memory_;
};

// Writes every event as text: <name a="v"[text]> </name> <!--comment-->.
class Recorder : public TXmlTokenizer {
public:
    std::string log;

protected:
    void BeginTag() override {
        log += '<';
        log += QualifiedName();
        for (int i = 0; i < Attributes().Count(); ++i) {
            log += ' ';
            log += Attributes().AttrName(i);
            log += "=\"";
            log += Attributes().AttrValueUtf8(i);
            log += '"';
        }
        if (HasText()) {
            log += '[';
            log += TextUtf8();
            log += ']';
        }
        log += '>';
    }
    void EndTag() override {
        log += "</";
        log += QualifiedName();
        log += '>';
    }
    void Comment() override {
        log += "<!--";
        log += CommentText();
        log += "-->";
    }
};

// How the document reaches the tokenizer: whole, a few bytes per read, or read and scanned on
// other threads while the events are dispatched on this one.
enum class Road { Whole, Trickle, ScanAhead };

std::string Events(const std::string& xml, Road road = Road::Whole) {
    Recorder recorder;
    recorder.FoldNamespace("urn:main");
    const uint64_t saved = ScanAheadMinimum();
    SetScanAheadMinimum(road == Road::ScanAhead ? 0 : UINT64_MAX);
    struct Restore {
        uint64_t saved;
        ~Restore() { SetScanAheadMinimum(saved); }
    } restore{saved};
    if (road == Road::Trickle) {
        TrickleStream stream(xml);
        recorder.Parse(stream);
    } else if (road == Road::ScanAhead) {
        NotContiguousStream stream(xml);
        recorder.Parse(stream);
    } else {
        TMemoryStream stream(std::vector<uint8_t>(xml.begin(), xml.end()));
        recorder.Parse(stream);
    }
    return recorder.log;
}

std::string ErrorOf(const std::string& xml, Road road = Road::Whole) {
    try {
        Events(xml, road);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(XmlTokenizer, DeliversTagsAttributesAndTexts) {
    struct Case {
        const char* xml;
        const char* events;
    } cases[] = {
        {"<a><v>12</v><t xml:space=\"preserve\"> x </t></a>",
         "<a><v[12]></v><t xml:space=\"preserve\"[ x ]></t></a>"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a/>", "<a></a>"},
        {"<a b = \"1\" c\t=\n'2' d=3 e/>", "<a b=\"1\" c=\"2\"></a>"},
        {"<a x=\"/>\" y='>'>t/>u</a>", "<a x=\"/>\" y=\">\"[t/>u]></a>"},
        // Entities: one pass, numeric references decoded, a lone '&' kept.
        {"<t>&amp;lt; &lt;&gt;&apos;&quot; &#65;&#x4E2D;&#X1F600; AT&T; &nbsp; &#xD800;</t>",
         "<t[&lt; <>'\" A\xE4\xB8\xAD\xF0\x9F\x98\x80 AT&T; &nbsp; \xEF\xBF\xBD]></t>"},
        {"<a v=\"&lt;&#x41;\"/>", "<a v=\"<A\"></a>"},
        // CDATA is text; comments are skipped between elements and inside text.
        {"<t><![CDATA[a<b>&amp;]]></t>", "<t[a<b>&amp;]></t>"},
        {"<t>x<![CDATA[<y>]]>z<!-- c -->w</t>", "<t[x<y>zw]></t>"},
        // A comment right after a start tag belongs to its (empty) text.
        {"<a><!-- one --><b/><!--two--></a>", "<a><b></b><!--two--></a>"},
        {"<!DOCTYPE a [<!ENTITY e \"x>\">]><a/>", "<a></a>"},
        // Prefixes: folded for the main namespace, kept for others; a one-letter element after
        // a prefixed one has none.
        {"<x:ws xmlns:x=\"urn:main\" xmlns:o=\"urn:other\"><x:row/><o:row/><c/><q:c/></x:ws>",
         "<ws xmlns:x=\"urn:main\" xmlns:o=\"urn:other\"><row></row><o:row></o:row><c></c><q:c></q:c></ws>"},
        {"<r xmlns=\"urn:main\"><y:a xmlns:y=\"urn:main\"/><y:b/></r>",
         "<r xmlns=\"urn:main\"><a xmlns:y=\"urn:main\"></a><y:b></y:b></r>"},
        // Text after end tags and white space after the root are not delivered.
        {"<a><b>1</b>junk<c/></a>\n \r\n", "<a><b[1]></b><c></c></a>"},
        {"< a ></ a >", "<a></a>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        for (Road road : {Road::Whole, Road::Trickle, Road::ScanAhead}) EXPECT_EQ(Events(c.xml, road), c.events);
    }
}

TEST(XmlTokenizer, LongTextsReadWholeUpToTheCap) {
    // A cell may hold 32 767 characters, about 96 KiB of UTF-8; texts far beyond still read.
    const std::string text(300000, 'x');
    const std::string xml = "<a><t>" + text + "</t><v>1</v></a>";
    for (Road road : {Road::Whole, Road::Trickle, Road::ScanAhead})
        EXPECT_EQ(Events(xml, road), "<a><t[" + text + "]></t><v[1]></v></a>");
    const std::string huge(TXmlTokenizer::kMaxTokenBytes + 10, 'y');
    EXPECT_EQ(ErrorOf("<a><t>" + huge + "</t></a>"), "XML tag or text longer than 16777216 bytes");
}

TEST(XmlTokenizer, DamagedDocumentsFail) {
    struct Case {
        std::string xml;
        const char* error;
    } cases[] = {
        {"<a>" + std::string(70000, 'x'), "Unexcpected end of file in XML"},
        {"<a><b attr=\"never closed/></a>", "Unexcpected end of file in XML"},
        {"<a><b>", "Unexcpected end of file in XML"},
        {"", "Unexcpected end of file in XML"},
        {"<a></a>trailing", "Syntax error in XML: can not find \"<\""},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a/>",
         "Unsupported encoding of xml: \"windows-1252\". Must be utf-8"},
        {std::string("\xFF\xFE<\0a\0/\0>\0", 10), "Unsupported encoding of xml: \"UTF-16\". Must be utf-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml.substr(0, 60));
        EXPECT_EQ(ErrorOf(c.xml), c.error);
        EXPECT_EQ(ErrorOf(c.xml, Road::ScanAhead), c.error);
    }
    EXPECT_EQ(ErrorOf("<?xml version=\"1.0\"?><a/>"), "(no error)");
    EXPECT_EQ(ErrorOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>"), "(no error)");
}

TEST(XmlTokenizer, ChunksOfALargeDocumentArriveInOrderBeforeAFailure) {
    // Many chunks: every cell is delivered once, in order, and a damaged end is reported after
    // everything before it.
    std::string xml = "<sheetData>";
    std::string expected = "<sheetData>";
    for (int i = 0; i < 60000; ++i) {
        const std::string v = std::to_string(i * 7);
        xml += "<c r=\"A" + std::to_string(i + 1) + "\"><v>" + v + "</v></c>";
        expected += "<c r=\"A" + std::to_string(i + 1) + "\"><v[" + v + "]></v></c>";
    }
    for (Road road : {Road::Whole, Road::ScanAhead}) {
        EXPECT_EQ(Events(xml + "</sheetData>", road), expected + "</sheetData>");
        Recorder recorder;
        const uint64_t saved = ScanAheadMinimum();
        SetScanAheadMinimum(road == Road::ScanAhead ? 0 : UINT64_MAX);
        const std::string damaged = xml + "<c r=\"B1\"><v>1</v";
        NotContiguousStream stream(damaged);
        EXPECT_THROW(recorder.Parse(stream), std::exception);
        SetScanAheadMinimum(saved);
        EXPECT_EQ(recorder.log, expected + "<c r=\"B1\"><v[1]>");
    }
}

TEST(XmlTokenizer, EntityDecodingTable) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain", "plain"},       {"&amp;lt;", "&lt;"},      {"a&b", "a&b"},
        {"&#9;&#10;", "\t\n"},    {"&#0;", "\xEF\xBF\xBD"},   {"&#x110000;", "\xEF\xBF\xBD"},
        {"&#xZZ;", "&#xZZ;"},     {"&&amp;", "&&"},           {"&amp", "&amp"},
    };
    for (const Case& c : cases) {
        std::string s = c.in;
        s.resize(DecodeXmlEntities(s.data(), s.size()));
        EXPECT_EQ(s, c.out) << c.in;
    }
}

// Objects of the element pattern: a list keeps its items, a reused item is delivered at its
// end tag through AfterChild.
struct Item : TXmlElement {
    std::string value;
    TXmlElement* HandleElement(TXmlDocReader& reader) override {
        if (reader.QualifiedName() == "v") value = reader.TextUtf8();
        return this;
    }
    void HandleAttributes(TXmlAttributeList& attributes) override {
        const int i = attributes.IndexOf("r");
        if (i >= 0) value = "r=" + std::string(attributes.AttrValueUtf8(i));
    }
};

struct List : TXmlElement {
    Item item;
    std::vector<std::string> delivered;
    TXmlElement* HandleElement(TXmlDocReader& reader) override {
        if (reader.QualifiedName() == "item") {
            item.value.clear();
            return &item;
        }
        if (reader.QualifiedName() == "skip") reader.SkipElement();
        if (reader.QualifiedName() == "bad") reader.Errors().UnknownElement(reader.QualifiedName());
        return this;
    }
    void AfterChild(TXmlDocReader&, TXmlElement& child) override {
        if (&child == &item) delivered.push_back(item.value);
    }
};

struct Root : TXmlElement {
    List list;
    TXmlElement* HandleElement(TXmlDocReader& reader) override {
        if (reader.QualifiedName() == "list") return &list;
        return this;
    }
};

std::vector<std::string> Delivered(const std::string& xml, TXmlErrors& errors) {
    Root root;
    TXmlDocReader reader(root, errors);
    reader.SetMarkupCompatibility(true);
    TMemoryStream stream(std::vector<uint8_t>(xml.begin(), xml.end()));
    reader.Parse(stream);
    return root.list.delivered;
}

TEST(XmlDocReader, ReusedObjectsAreDeliveredAtTheirEndTags) {
    TXmlErrors errors;
    const std::string xml =
        "<list xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
        "<item><v>1</v></item><item r=\"B2\"><unknown r=\"Z9\"/></item>"
        "<skip><item><v>never</v></item></skip>"
        "<mc:AlternateContent><mc:Choice Requires=\"x14\"><item><v>choice</v></item></mc:Choice>"
        "<mc:Fallback><item><v>fallback</v></item></mc:Fallback></mc:AlternateContent>"
        "<wrapper><item><v>3</v></item></wrapper></list>";
    // An unknown child's attributes do not reach its parent; an unknown wrapper's children are
    // offered to the object that did not know it.
    EXPECT_THAT(Delivered(xml, errors), testing::ElementsAre("1", "r=B2", "fallback", "3"));
}

TEST(XmlDocReader, UnknownElementsFailUnlessAHandlerTakesThem) {
    TXmlErrors errors;
    try {
        Delivered("<list><bad/></list>", errors);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Row 0: Unknown Element \"bad\"");
    }
    std::vector<std::string> messages;
    errors.Handler = [&](const std::string& message) { messages.push_back(message); };
    EXPECT_THAT(Delivered("<list><bad/><item><v>2</v></item></list>", errors), testing::ElementsAre("2"));
    EXPECT_THAT(messages, testing::ElementsAre("Row 0: Unknown Element \"bad\""));
}

} // namespace
} // namespace tessaly
