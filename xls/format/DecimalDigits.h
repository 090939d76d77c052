// The decimal digits of a number as the number formats round them: the first 18
// significant digits, correctly rounded from the binary value, then rounded to what a
// pattern shows, halves away from zero.
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

// The significant digits of |value| (none for zero, infinities and NaN).
TDecimal SignificantDigits(double value);
// Keeps the first `keep` digits (none when keep <= 0), rounding half away from zero.
void RoundDigits(TDecimal& d, int keep);

}  // namespace vorlix::format
