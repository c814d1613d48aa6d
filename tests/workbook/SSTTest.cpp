#include <gtest/gtest.h>

#include "core/Exception.h"
#include "workbook/WbDataSST.h"
#include "workbook/WbDataStyleSheet.h"

namespace tessaly {
namespace {

class SSTTest : public ::testing::Test {
protected:
    TWbDataStyleSheet styles;
    TWbDataSST sst{styles};
};

TEST_F(SSTTest, AppendNeverDeduplicatesAndTheLastHashedEntryWins) {
    EXPECT_EQ(sst.AppendString(u"abc"), 0);
    EXPECT_EQ(sst.AppendString(u"中文"), 1);
    EXPECT_EQ(sst.AppendString(u"abc"), 2);
    sst.RebuildHash();
    EXPECT_EQ(sst.FindOrAddString(u"abc"), 2);
    EXPECT_EQ(sst.FindOrAddString(u"中文"), 1);
    EXPECT_EQ(sst.Count(), 3);
    // Without an explicit rebuild the first FindOrAddString builds the hash itself.
    TWbDataSST fresh(styles);
    fresh.AppendString(u"x");
    fresh.AppendString(u"x");
    EXPECT_EQ(fresh.FindOrAddString(u"x"), 1);
}

TEST_F(SSTTest, TextsRoundTripWhateverTheirWidth) {
    // 8-bit items widen each byte to the code unit of the same value, whatever the code page.
    const uint8_t bytes[] = {'a', 0xD7, 0xE9};
    const int32_t narrow = sst.AppendCompressed(3, bytes);
    const char16_t units[] = {u'a', 0x00E9, 0x4E2D};
    const int32_t wide = sst.AppendUncompressed(3, units);
    // A 16-bit file string whose characters all fit 8 bits is kept 8-bit and reads back unchanged.
    const int32_t latin = sst.AppendString(u"caf\u00E9 \u00D7");
    const int32_t empty = sst.AppendString(u"");
    EXPECT_EQ(sst.StringAt(narrow), u"a\u00D7\u00E9");
    EXPECT_EQ(sst.StringAt(wide), u"a\u00E9\u4E2D");
    EXPECT_EQ(sst.StringAt(latin), u"caf\u00E9 \u00D7");
    EXPECT_EQ(sst.StringAt(empty), u"");
    EXPECT_EQ(sst.StringLength(wide), 3u);
    std::u16string out = u">";
    sst.AppendStringTo(wide, out);
    EXPECT_EQ(out, u">a\u00E9\u4E2D");
}

TEST_F(SSTTest, VeryLongTextsAreNotCut) {
    const std::u16string longText(70000, u'\u4E2D');
    const int32_t index = sst.AppendString(longText);
    EXPECT_EQ(sst.StringLength(index), 70000u);
    EXPECT_EQ(sst.StringAt(index), longText);
    EXPECT_EQ(sst.FindOrAddString(longText), index);
}

TEST_F(SSTTest, TextsDifferingOnlyOutsideTheAnsiCodePageAreDistinct) {
    const int32_t a = sst.FindOrAddString(u"\u0410\u4E2D");   // Cyrillic A, Chinese
    const int32_t b = sst.FindOrAddString(u"\u0411\u4E2D");
    const int32_t c = sst.FindOrAddString(u"\U0001F600");
    const int32_t d = sst.FindOrAddString(u"\U0001F601");
    EXPECT_NE(a, b);
    EXPECT_NE(c, d);
    EXPECT_EQ(sst.FindOrAddString(u"\u0411\u4E2D"), b);
}

TEST_F(SSTTest, ReleasingTheLastSlotShrinksAndAHoleIsRefilled) {
    for (const char16_t* text : {u"a", u"b", u"c", u"d"}) sst.AddStringRef(sst.FindOrAddString(text));
    sst.AddStringRef(1);   // "b" now has two references
    sst.ReleaseString(1);
    EXPECT_EQ(sst.RefCount(1), 1);
    EXPECT_EQ(sst.FreeSlots(), 0);

    sst.ReleaseString(3);   // the highest index: Count shrinks
    EXPECT_EQ(sst.Count(), 3);
    EXPECT_EQ(sst.FreeSlots(), 0);

    sst.ReleaseString(1);   // in the middle: a hole
    EXPECT_EQ(sst.Count(), 3);
    EXPECT_EQ(sst.FreeSlots(), 1);
    EXPECT_THROW(
        {
            try {
                sst.AddStringRef(1);
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), "SST String is Nil");
                throw;
            }
        },
        Exception);
    sst.ReleaseString(1);   // an empty slot: nothing happens

    // The freed text is gone from the hash; the new text takes the hole.
    EXPECT_EQ(sst.FindOrAddString(u"e"), 1);
    EXPECT_EQ(sst.FreeSlots(), 0);
    EXPECT_EQ(sst.StringAt(1), u"e");
    EXPECT_EQ(sst.FindOrAddString(u"b"), 3);
    EXPECT_EQ(sst.Count(), 4);
    // An appended string always goes to the end, holes or not.
    sst.ReleaseString(0);
    EXPECT_EQ(sst.AppendString(u"f"), 4);
}

TEST_F(SSTTest, AReleasedDuplicateUncoversTheEarlierEntry) {
    sst.AppendString(u"dup");
    sst.AppendString(u"dup");
    sst.AppendString(u"tail");
    sst.RebuildHash();
    sst.AddStringRef(1);
    sst.ReleaseString(1);
    EXPECT_EQ(sst.FindOrAddString(u"dup"), 0);
}

// Distinct texts of three code units.
std::u16string Key(char16_t first, int n, char16_t base) {
    std::u16string text(3, first);
    text[1] = static_cast<char16_t>(base + n % 20000);
    text[2] = static_cast<char16_t>(u'a' + n / 20000);
    return text;
}

TEST_F(SSTTest, ManyStringsStayFindable) {
    // Enough entries to grow the hash beyond its first size.
    for (int i = 0; i < 200000; ++i) sst.AppendString(Key(u's', i, 0x100));
    sst.RebuildHash();
    for (int i = 0; i < 200000; i += 997) EXPECT_EQ(sst.FindOrAddString(sst.StringAt(i)), i);
    for (int i = 0; i < 100000; ++i) sst.FindOrAddString(Key(u'n', i, 0x4E00));
    EXPECT_EQ(sst.Count(), 300000);
    EXPECT_EQ(sst.FindOrAddString(sst.StringAt(123456)), 123456);
    EXPECT_EQ(sst.FindOrAddString(sst.StringAt(299999)), 299999);
}

TEST_F(SSTTest, RichStringsKeepRunsStayOutOfTheHashAndGiveBackFontUses) {
    TWbFont bold;
    bold.Bold = true;
    const int32_t font = styles.AddFont(bold);
    styles.AddFontUse(font);
    styles.AddFontUse(font);
    const TWbFontRun runs[] = {{0, 0}, {3, static_cast<uint32_t>(font)}};
    const int32_t rich = sst.AppendRichString(u"abcdef", runs);
    EXPECT_TRUE(sst.IsRich(rich));
    ASSERT_EQ(sst.Runs(rich).size(), 2u);
    EXPECT_EQ(sst.Runs(rich)[1].Pos, 3u);
    EXPECT_EQ(sst.Runs(rich)[1].Font, static_cast<uint32_t>(font));
    EXPECT_EQ(sst.StringAt(rich), u"abcdef");

    // Only plain items are looked up by text.
    EXPECT_NE(sst.FindOrAddString(u"abcdef"), rich);

    sst.AddStringRef(rich);
    sst.ReleaseString(rich);
    EXPECT_EQ(styles.FontUseCount(font), 1);
    EXPECT_EQ(styles.FontUseCount(0), 0);

    const int32_t second = sst.AppendRichString(u"xy", runs);
    sst.ClearStrings();
    EXPECT_EQ(styles.FontUseCount(font), 0);
    EXPECT_EQ(sst.Count(), 0);
    (void)second;
}

TEST_F(SSTTest, IndicesOutsideTheTableFail) {
    sst.AppendString(u"a");
    for (int32_t index : {-1, 1, 1000}) {
        try {
            sst.StringAt(index);
            ADD_FAILURE() << index;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Index out of range");
        }
        EXPECT_THROW(sst.AddStringRef(index), Exception);
        sst.ReleaseString(index);   // nothing to release: no failure
    }
}

TEST_F(SSTTest, ClearStringsEmptiesEverything) {
    sst.AppendString(u"a");
    sst.FindOrAddString(u"b");
    sst.ClearStrings();
    EXPECT_EQ(sst.Count(), 0);
    EXPECT_EQ(sst.FreeSlots(), 0);
    EXPECT_EQ(sst.FindOrAddString(u"b"), 0);
}

} // namespace
} // namespace tessaly
