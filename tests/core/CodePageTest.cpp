#include <gtest/gtest.h>

#include "platform/CodePage.h"

using namespace tessaly::platform;

TEST(CodePage, DecodesTheCodePagesOldWorkbooksUse) {
    EXPECT_EQ(DecodeCodePage(936, "\xD6\xD0\xCE\xC4" "A"), u"中文A");
    EXPECT_EQ(DecodeCodePage(1252, "\x80\x81\xE9"), u"\u20AC\u0081\u00E9");
    EXPECT_EQ(DecodeCodePage(1251, "\xC0"), u"\u0410");
    EXPECT_EQ(DecodeCodePage(10029, "\x80"), u"\u00C4");       // Mac Central European
    EXPECT_EQ(DecodeCodePage(1200, "\xE9"), u"\u00E9");         // one code unit per byte
    EXPECT_EQ(DecodeCodePage(4242, "\x80"), u"\u20AC");         // unknown: read as Windows-1252
    EXPECT_FALSE(IsCodePageSupported(4242));
    EXPECT_EQ(DecodeCodePage(936, "\xD6"), u"\uFFFD");          // truncated double-byte character
}

TEST(CodePage, EncodesGbkAndRefusesWhatItCannotHold) {
    std::string out;
    EXPECT_TRUE(EncodeCodePage(kCodePageGbk, u"销货A", out));
    EXPECT_EQ(out, "\xCF\xFA\xBB\xF5" "A");
    out.clear();
    EXPECT_FALSE(EncodeCharacter(kCodePageGbk, U'\U0001F600', out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(EncodeCharacter(kCodePageGbk, U'\u20A9', out));  // won sign
}
