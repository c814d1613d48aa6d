#pragma once
// Line tax, line amounts, invoice totals and the export's conversion to amounts without tax.
// Intermediate values are 80-bit extended (long double on x86-64) and the order of operations is
// fixed: the totals must come out to the cent the invoicing software computes.

namespace tessaly {

// The tax of one line of amount A (already rounded to two decimals) at rate R (a fraction):
// tax-inclusive RoundToDecimals((A / (R + 1)) * R, 2), otherwise RoundToDecimals(A * R, 2).
long double LineTax(long double amount, long double rate, bool taxInclusive);
long double LineAmountWithTax(long double amount, long double rate, bool taxInclusive);
long double LineAmountWithoutTax(long double amount, long double rate, bool taxInclusive);

// The three totals of the import, each line added in sheet order.
struct TInvoiceTotals {
    long double WithTax = 0;
    long double WithoutTax = 0;
    long double Tax = 0;

    void AddLine(long double amount, long double rate, bool taxInclusive);
};

// A price or amount as the invoice file wants it: without tax, never rounded.
long double ExportValueWithoutTax(long double value, long double rate, bool taxInclusive);

} // namespace tessaly
