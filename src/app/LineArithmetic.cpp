#include "app/LineArithmetic.h"

#include "app/NumberTexts.h"

namespace tessaly {

long double LineTax(long double amount, long double rate, bool taxInclusive) {
    // The argument of the rounding is a 64-bit number.
    const long double exact = taxInclusive ? (amount / (rate + 1)) * rate : amount * rate;
    return RoundToDecimals(static_cast<double>(exact), 2);
}

long double LineAmountWithTax(long double amount, long double rate, bool taxInclusive) {
    return taxInclusive ? amount : amount + LineTax(amount, rate, taxInclusive);
}

long double LineAmountWithoutTax(long double amount, long double rate, bool taxInclusive) {
    return taxInclusive ? amount - LineTax(amount, rate, taxInclusive) : amount;
}

void TInvoiceTotals::AddLine(long double amount, long double rate, bool taxInclusive) {
    const long double tax = LineTax(amount, rate, taxInclusive);
    if (taxInclusive) {
        WithTax = WithTax + amount;
        Tax = tax + Tax;
        WithoutTax = (WithoutTax + amount) - tax;
    } else {
        WithTax = (WithTax + amount) + tax;
        Tax = tax + Tax;
        WithoutTax = WithoutTax + amount;
    }
}

long double ExportValueWithoutTax(long double value, long double rate, bool taxInclusive) {
    return taxInclusive ? value / (rate + 1) : value;
}

} // namespace tessaly
