#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "app/NumberTexts.h"
#include "core/NumberText.h"

using namespace tessaly;

TEST(RoundToDecimals, HalvesGoAwayFromZeroAfterFifteenDigits) {
    struct Case {
        double value;
        int decimals;
        double expected;
    };
    const Case cases[] = {
        {2.675, 2, 2.68},   // the nearest double lies below the half
        {1.005, 2, 1.01},
        {-2.675, 2, -2.68},
        {0.125, 2, 0.13},
        {12.345, 2, 12.35},
        {-10.05 * 0.13, 2, -1.31},   // -1.3065
        {0.13, 2, 0.13},
        {0.004999, 2, 0},
        {0.005, 2, 0.01},
        {9.995, 2, 10},
        {99.999, 2, 100},
        {1234.5, 0, 1235},
        {0, 2, 0},
        {1e20, 2, 1e20},
        {0.1 + 0.2, 1, 0.3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundToDecimals(c.value, c.decimals), c.expected) << c.value << " @" << c.decimals;
    EXPECT_TRUE(std::isnan(RoundToDecimals(NAN, 2)));
}

TEST(FormatTwoDecimals, PatternZeroPointZeroZero) {
    struct Case {
        long double value;
        const char* text;
    };
    const Case cases[] = {
        {1234.5, "1234.50"},
        {0, "0.00"},
        {-3.456, "-3.46"},
        {0.005L, "0.01"},
        {-0.001L, "0.00"},       // no "-0.00"
        {11.5, "11.50"},
        {100000, "100000.00"},
        {0.1L + 0.2L, "0.30"},
        {88.495575221238938L, "88.50"},
        {2.675L, "2.68"},        // 18 digits: 2.67500000000000000
        {1e15L, "1000000000000000.00"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatTwoDecimals(c.value), c.text) << static_cast<double>(c.value);
}

TEST(StrToFloat, AcceptsTheNumberSyntaxOnly) {
    struct Good {
        const char* text;
        long double value;
    };
    const Good good[] = {
        {"2", 2},          {" 0.13 ", 0.13L},  {"-12.5", -12.5L}, {"+7", 7},
        {".5", 0.5L},      {"5.", 5},          {"1e3", 1000},      {"1.5E-2", 0.015L},
        {"00012", 12},     {"1E+2", 100},      {"0", 0},
    };
    for (const auto& c : good) EXPECT_EQ(StrToFloat(c.text), c.value) << c.text;

    const char* bad[] = {"", "   ", "13%", "1,234.50", "¥12", "1.2.3", "e5", "1e", "1e+", "--1",
                         "0x10", "inf", "nan", "1 2", ".", "1e99999", "\t1"};
    long double ignored = 0;
    for (const char* text : bad) EXPECT_FALSE(TryStrToFloat(text, ignored)) << text;
}

TEST(StrToFloat, FailureMessageNamesTheTextAsGiven) {
    try {
        StrToFloat("13%");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'13%' is not a valid floating point value");
    }
    try {
        StrToFloat("");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
    }
}

TEST(StrToFloat, IsCorrectlyRoundedInExtendedPrecision) {
    EXPECT_EQ(StrToFloat("0.13"), 0.13L);
    EXPECT_NE(StrToFloat("0.13"), static_cast<long double>(0.13));
    EXPECT_EQ(StrToFloat("88.4955752212389381"), 88.4955752212389381L);
}

TEST(NumberTexts, IgnoreTheLocaleDecimalSeparator) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : commaLocales)
        if (std::setlocale(LC_ALL, name)) {
            chosen = name;
            break;
        }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed";
    long double value = 0;
    EXPECT_EQ(StrToFloat("12.5"), 12.5L);
    EXPECT_FALSE(TryStrToFloat("12,5", value));
    EXPECT_EQ(FormatTwoDecimals(1234.5L), "1234.50");
    EXPECT_EQ(RoundToDecimals(2.675, 2), 2.68);
    EXPECT_EQ(FormatGeneral(0.13, 15), "0.13");
    std::setlocale(LC_ALL, "C");
}

TEST(TrimText, RemovesBlanksAndControlCharactersAtBothEnds) {
    EXPECT_EQ(TrimText(" \t商品\r\n"), "商品");
    EXPECT_EQ(TrimText("a b"), "a b");
    EXPECT_EQ(TrimText("\x01\x1f"), "");
    EXPECT_EQ(TrimText("　全角"), "　全角");   // a full-width space is no blank
    EXPECT_TRUE(IsBlankText("  "));
    EXPECT_FALSE(IsBlankText(" x "));
}
