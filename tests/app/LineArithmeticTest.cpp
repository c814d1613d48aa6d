#include <gtest/gtest.h>

#include "app/LineArithmetic.h"
#include "app/NumberTexts.h"
#include "core/NumberText.h"

using namespace tessaly;

TEST(LineArithmetic, TaxAndAmountsOfOneLine) {
    struct Case {
        long double amount;
        long double rate;
        bool inclusive;
        const char* tax;
        const char* withTax;
        const char* withoutTax;
    };
    const Case cases[] = {
        {100, 0.13, true, "11.50", "100.00", "88.50"},
        {100, 0.13, false, "13.00", "113.00", "100.00"},
        {100, 0, true, "0.00", "100.00", "100.00"},
        {100, 0, false, "0.00", "100.00", "100.00"},
        {-10.05, 0.13, false, "-1.31", "-11.36", "-10.05"},   // a discount line
        {-10.05, 0.13, true, "-1.16", "-10.05", "-8.89"},
        {113, 0.13, true, "13.00", "113.00", "100.00"},
        {12.35, 0.06, false, "0.74", "13.09", "12.35"},       // 0.741 rounds down
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.amount));
        EXPECT_EQ(FormatTwoDecimals(LineTax(c.amount, c.rate, c.inclusive)), c.tax);
        EXPECT_EQ(FormatTwoDecimals(LineAmountWithTax(c.amount, c.rate, c.inclusive)), c.withTax);
        EXPECT_EQ(FormatTwoDecimals(LineAmountWithoutTax(c.amount, c.rate, c.inclusive)), c.withoutTax);
    }
}

TEST(LineArithmetic, TotalsAddEveryLineInOrder) {
    TInvoiceTotals inclusive;
    TInvoiceTotals exclusive;
    const long double lines[][2] = {{100, 0.13}, {12.35, 0.06}, {-10.05, 0.13}, {0.01, 0.13}};
    for (const auto& line : lines) {
        inclusive.AddLine(line[0], line[1], true);
        exclusive.AddLine(line[0], line[1], false);
    }
    // Inclusive taxes: 11.50 + 0.70 - 1.16 + 0.00; exclusive: 13.00 + 0.74 - 1.31 + 0.00.
    EXPECT_EQ(FormatTwoDecimals(inclusive.WithTax), "102.31");
    EXPECT_EQ(FormatTwoDecimals(inclusive.Tax), "11.04");
    EXPECT_EQ(FormatTwoDecimals(inclusive.WithoutTax), "91.27");
    EXPECT_EQ(FormatTwoDecimals(exclusive.WithTax), "114.74");
    EXPECT_EQ(FormatTwoDecimals(exclusive.Tax), "12.43");
    EXPECT_EQ(FormatTwoDecimals(exclusive.WithoutTax), "102.31");
}

TEST(LineArithmetic, ExportConversionStaysInExtendedPrecision) {
    struct Case {
        const char* value;
        const char* rate;
        bool inclusive;
        const char* text;
    };
    const Case cases[] = {
        {"56.5", "0.13", true, "50"},     // in doubles: 50.0000000000000071
        {"113", "0.13", true, "100"},
        {"100", "0.13", true, "88.4955752212389381"},
        {"100", "0.13", false, "100"},
        {"50", "0.13", false, "50"},
        {"12.35", "0", true, "12.35"},
        {"1.06", "0.06", true, "1"},
    };
    for (const auto& c : cases) {
        const long double value = ExportValueWithoutTax(StrToFloat(c.value), StrToFloat(c.rate), c.inclusive);
        EXPECT_EQ(FormatGeneral(value, 18), c.text) << c.value << " / " << c.rate;
    }
}
