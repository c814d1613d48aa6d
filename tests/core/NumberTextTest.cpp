#include <gtest/gtest.h>

#include <cmath>

#include "core/NumberText.h"

using tessaly::FormatGeneral;

TEST(FormatGeneral, FifteenDigitExamples) {
    struct Case {
        long double value;
        const char* text;
    };
    const Case cases[] = {
        {2, "2"},
        {0.13, "0.13"},
        {12.5, "12.5"},
        {0.0001234, "0.0001234"},
        {0.00001234, "1.234E-5"},
        {1010101020000000000.0L, "1.01010102E18"},
        {0, "0"},
        {-0.0, "0"},
        {-3.5, "-3.5"},
        {1234.5, "1234.5"},
        {0.1, "0.1"},
        {1e20, "1E20"},
        {1e15, "1E15"},
        {999999999999999.0, "999999999999999"},
        {0.3, "0.3"},
        {0.1 + 0.2, "0.3"},          // the base-2 error disappears at 15 digits
        {2.675, "2.675"},
        {123456789012345678.0L, "1.23456789012346E17"},
        {9.9999999999999999e22L, "1E23"},  // rounding carries into a new digit
    };
    for (const auto& c : cases) EXPECT_EQ(FormatGeneral(c.value, 15), c.text) << static_cast<double>(c.value);
}

TEST(FormatGeneral, EighteenDigits) {
    EXPECT_EQ(FormatGeneral(100.0L / 1.13L, 18), "88.4955752212389381");
    EXPECT_EQ(FormatGeneral(56.5L / 1.13L, 18), "50");
    EXPECT_EQ(FormatGeneral(113.0L / 1.13L, 18), "100");
    // In doubles the quotient is not 50: this is why the export works in extended precision.
    EXPECT_EQ(FormatGeneral(static_cast<long double>(56.5 / 1.13), 18), "50.0000000000000071");
}

TEST(FormatGeneral, SpecialValues) {
    EXPECT_EQ(FormatGeneral(NAN, 15), "NAN");
    EXPECT_EQ(FormatGeneral(INFINITY, 15), "INF");
    EXPECT_EQ(FormatGeneral(-INFINITY, 15), "-INF");
}
