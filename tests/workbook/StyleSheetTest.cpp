#include <gtest/gtest.h>

#include "core/Exception.h"
#include "workbook/WbDataStyleSheet.h"

namespace tessaly {
namespace {

TEST(StyleSheetTest, DefaultsAreThereFromTheStartAndAfterClear) {
    TWbDataStyleSheet styles;
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(styles.FontCount(), 1);
        EXPECT_EQ(styles.FontAt(0).Name, u"Calibri");
        EXPECT_EQ(styles.FontAt(0).Size, 11);
        EXPECT_EQ(styles.FontUseCount(0), 1);
        EXPECT_EQ(styles.XFCount(), 1);
        EXPECT_EQ(styles.StyleXFCount(), 1);
        EXPECT_EQ(styles.XFUseCount(0), 1);
        styles.AddFont(TWbFont());
        styles.AddXF(TWbXF());
        styles.AddStyleXF(TWbXF());
        styles.Clear();
    }
}

TEST(StyleSheetTest, UsesCountOnTheFormatAndWhatItRefersTo) {
    TWbDataStyleSheet styles;
    TWbFont arial;
    arial.Name = u"Arial";
    const int32_t font = styles.AddFont(arial);
    TWbXF xf;
    xf.Font = font;
    const int32_t format = styles.AddXF(xf);
    styles.AddXFUse(format);
    styles.AddXFUse(format);
    styles.ReleaseXFUse(format);
    EXPECT_EQ(styles.XFUseCount(format), 1);
    EXPECT_EQ(styles.FontUseCount(font), 1);
    EXPECT_EQ(styles.FontUseCount(0), 1);
}

TEST(StyleSheetTest, UsesCountOnWhatTheFormatReferredToWhenTheyWereTaken) {
    TWbDataStyleSheet styles;
    TWbXF xf;
    xf.Font = 2;   // no such font yet: this use is not counted on a font
    const int32_t format = styles.AddXF(xf);
    styles.AddXFUse(format);
    const int32_t arial = styles.AddFont(TWbFont());
    const int32_t courier = styles.AddFont(TWbFont());
    ASSERT_EQ(courier, 2);
    EXPECT_EQ(styles.FontUseCount(courier), 0);
    styles.AddXFUse(format);
    styles.AddXFUse(format);
    EXPECT_EQ(styles.FontUseCount(courier), 2);
    // Pointed at another font, the format keeps its earlier uses where they were counted.
    xf.Font = arial;
    styles.SetXF(format, xf);
    styles.AddXFUse(format);
    EXPECT_EQ(styles.FontUseCount(courier), 2);
    EXPECT_EQ(styles.FontUseCount(arial), 1);
    styles.ReleaseXFUse(format);
    styles.ReleaseXFUse(format);
    EXPECT_EQ(styles.FontUseCount(arial), -1);
    EXPECT_EQ(styles.XFUseCount(format), 2);
    // Direct font uses add to those of the formats.
    styles.AddFontUse(courier);
    styles.AddXFUse(format);
    EXPECT_EQ(styles.FontUseCount(courier), 3);
    EXPECT_EQ(styles.FontUseCount(arial), 0);
    styles.Clear();
    EXPECT_EQ(styles.FontUseCount(0), 1);
}

TEST(StyleSheetTest, AFormatBeyondTheListIsTheListError) {
    TWbDataStyleSheet styles;
    styles.AddXF(TWbXF());
    styles.AddXF(TWbXF());
    for (int32_t index : {3, 5, -1}) {
        try {
            styles.AddXFUse(index);
            ADD_FAILURE() << index;
        } catch (const EListError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(index) + ")");
        }
        EXPECT_THROW(styles.XFAt(index), EListError);
    }
    EXPECT_NO_THROW(styles.XFAt(2));
}

TEST(StyleSheetTest, FindFontComparesNamesWithoutCase) {
    TWbDataStyleSheet styles;
    TWbFont font;
    font.Name = u"SimSun";
    font.Size = 12;
    const int32_t index = styles.AddFont(font);
    font.Name = u"SIMSUN";
    EXPECT_EQ(styles.FindFont(font), index);
    font.Bold = true;
    EXPECT_EQ(styles.FindFont(font), -1);
    TWbFont calibri;
    calibri.Name = u"calibri";
    EXPECT_EQ(styles.FindFont(calibri), 0);
}

} // namespace
} // namespace tessaly
