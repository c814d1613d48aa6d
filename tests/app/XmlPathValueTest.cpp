#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include "TempDir.h"
#include "app/XmlPathValue.h"

using namespace tessaly;

TEST(XmlPathValue, WalksElementNamesAndReadsTextOrAttribute) {
    test::TempDir dir;
    const std::string file = dir.File("params.xml");
    test::WriteText(file,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<!-- comment before the root -->\n"
                    "<R v=\"root\">\n"
                    "  text before\n"
                    "  <A n=\"first\"><B>one</B><C/></A>\n"
                    "  <A n=\"second\"><B>two</B><X>x</X></A>\n"
                    "  <p:A xmlns:p=\"urn:p\" n=\"prefixed\"><B>three</B></p:A>\n"
                    "</R>\n");
    struct Case {
        const char* path;
        const char* attribute;
        char delimiter;
        const char* result;
    };
    const Case cases[] = {
        {"R.A.B", "", '.', "one"},             // the first child of a name is taken
        {"R/A/B", "", '/', "one"},
        {"R.A", "n", '.', "first"},
        {"R.A", "  ", '.', "error"},           // a blank attribute means the text: A holds elements
        {"R.A", "missing", '.', ""},
        {"R", "v", '.', "root"},
        {"R.A.C", "", '.', ""},                // empty element
        {"r.A.B", "", '.', ""},                // names are case-sensitive
        {"R.a.B", "", '.', ""},
        {"R.A.X", "", '.', ""},                // only the first A is walked
        {"R.A.B.X", "", '.', ""},
        {"R..B", "", '.', ""},
        {"", "", '.', ""},
        {"R.#text", "", '.', ""},              // text nodes never match
        {"R.p:A.B", "", '.', "three"},         // a prefixed element goes by its qualified name
        {"R.A.B", "", '/', ""},                // the whole path is one name
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadXmlPathValue(file, c.path, c.attribute, c.delimiter), c.result) << c.path << " @" << c.attribute;

    // CDATA and text join; a comment is not text.
    test::WriteText(file, "<R><D><![CDATA[<x>]]> &amp; more</D><E><!-- c --></E><F>a<!-- c -->b</F></R>");
    EXPECT_EQ(ReadXmlPathValue(file, "R.D", "", '.'), "<x> & more");
    EXPECT_EQ(ReadXmlPathValue(file, "R.E", "", '.'), "error");
    EXPECT_EQ(ReadXmlPathValue(file, "R.F", "", '.'), "error");
    EXPECT_EQ(ReadXmlPathValue(dir.File("missing.xml"), "R", "", '.'), "error");
    EXPECT_EQ(ReadXmlPathValue(dir.Path().string(), "R", "", '.'), "error");
}

TEST(XmlPathValue, NoExternalContentIsFetched) {
    test::TempDir dir;
    test::WriteText(dir.File("secret.txt"), "secret");
    const std::string file = dir.File("params.xml");
    test::WriteText(file, "<?xml version=\"1.0\"?>\n"
                          "<!DOCTYPE R [<!ENTITY x SYSTEM \"" + dir.File("secret.txt") + "\">]>\n"
                          "<R><V>&x;</V></R>");
    EXPECT_EQ(ReadXmlPathValue(file, "R.V", "", '.'), "error");   // the reference stays unexpanded
}

TEST(FindChildByName, FirstElementOfTheNameInDocumentOrder) {
    const char xml[] = "<R>t<!--A--><A id=\"1\"/><B/><A id=\"2\"/></R>";
    xmlDoc* doc = xmlReadMemory(xml, sizeof xml - 1, nullptr, nullptr, 0);
    ASSERT_NE(doc, nullptr);
    xmlNode* first = xmlDocGetRootElement(doc)->children;
    xmlNode* a = FindChildByName(first, "A");
    ASSERT_NE(a, nullptr);
    xmlChar* id = xmlGetProp(a, reinterpret_cast<const xmlChar*>("id"));
    EXPECT_STREQ(reinterpret_cast<const char*>(id), "1");
    xmlFree(id);
    EXPECT_EQ(FindChildByName(first, "B"), a->next);
    EXPECT_EQ(FindChildByName(first, "C"), nullptr);
    EXPECT_EQ(FindChildByName(first, "text"), nullptr);
    EXPECT_EQ(FindChildByName(first, "comment"), nullptr);
    EXPECT_EQ(FindChildByName(nullptr, "A"), nullptr);
    xmlFreeDoc(doc);
}
