// The decimal digits of a number as a spreadsheet rounds them: the first 15 significant
// digits of the binary value, then rounded to what a pattern shows, halves away from zero
// (so 2.675, stored as 2.67499999999999982236431605997495353221893310546875, shows as
// 2.68 under "0.00", as it is typed and as every spreadsheet shows it).
#pragma once

namespace vorlix::format {

// A non-negative number as 0.d1d2...dn x 10^Exponent, without trailing zeros; zero has no
// digits.
struct TDecimal {
    char Digits[20] = {};
    int Count = 0;
    int Exponent = 0;
};

inline constexpr int kSignificantDigits = 18;

// The first 18 significant digits of |value|, correctly rounded from the binary value
// (none for zero, infinities and NaN).
TDecimal SignificantDigits(double value);
// The digits of |value| rounded to 15 significant digits: those of the number as the
// general form shows it and as number patterns round it.
TDecimal FifteenDigits(double value);
// Keeps the first `keep` digits (none when keep <= 0), rounding half away from zero.
void RoundDigits(TDecimal& d, int keep);

}  // namespace vorlix::format
