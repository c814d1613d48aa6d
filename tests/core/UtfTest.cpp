#include <gtest/gtest.h>

#include "core/Utf.h"

using namespace tessaly;

TEST(Utf, RoundTripsChineseAndAstral) {
    const std::string text = "销货清单 ABC \xF0\x9F\x98\x80";
    const std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, u"销货清单 ABC \U0001F600");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf, InvalidInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("a\xE4\xB8"), u"a\uFFFD");          // truncated sequence
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
    EXPECT_TRUE(IsValidUtf8("中文"));
}
