#include <gtest/gtest.h>

#include "core/Json.h"

using tessaly::JsonQuote;

TEST(Json, QuotesEveryTextSafely) {
    struct Case {
        std::u16string text;
        const char* json;
    };
    const Case cases[] = {
        {u"plain 中文", "\"plain 中文\""},
        {u"a\"b\\c", "\"a\\\"b\\\\c\""},
        {u"\r\n\t\x01\x7F\x85", "\"\\r\\n\\t\\u0001\\u007f\\u0085\""},
        {std::u16string(u"x") + char16_t(0xD801) + u"y", "\"x\\ud801y\""},   // lone surrogate
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},                               // a proper pair
        {u"", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.text), c.json);
}
