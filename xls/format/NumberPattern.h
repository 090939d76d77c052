// Number formats: the sections of a format compiled once, and a value rendered through the
// section its sign or a condition selects.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegionalSettings.h"
#include "xls/format/FormatLexer.h"

namespace vorlix::format {

struct TNumberElement {
    enum class Kind : std::uint8_t { Literal, Digit, Exponent, General };
    Kind kind = Kind::Literal;
    bool plus = false;       // Exponent: written "E+", so ">= 0" shows "+"
    char16_t letter = u'E';  // Exponent: as written
    int exponentDigits = 0;  // Exponent: minimum number of digits
    std::u16string text;     // Literal
};

// Digits, grouping and exponent of one run of placeholders ("#,##0.00", "0.00E+00").
struct TDigitPattern {
    std::vector<TNumberElement> elements;
    int integerPlaces = 0;
    int fractionPlaces = 0;
    int shownInteger = 0;   // integer digits shown even when zero
    int shownFraction = 0;  // decimals shown even when zero
    bool grouped = false;
    bool scientific = false;
};

// "# ?/?", "0 ??/16", "?/?": a whole part (when the part before the numerator has digit
// placeholders) and a fraction, with the text after the denominator.
struct TFractionPattern {
    int largest = 0;         // > 0: the closest fraction with a denominator up to this
    std::int64_t fixed = 0;  // otherwise this denominator
    std::vector<TNumberElement> suffix;
};

struct TNumberSection {
    bool empty = true;           // nothing to show but the general number text
    bool invalid = false;        // a fraction without a usable denominator: the general text
    bool percent = false;        // "%": the value times 100
    int scale = 0;               // "," after the digits: the value divided by 1000 this often
    bool parenthesised = false;  // "(" and ")" show the sign of a negative value
    std::optional<TCondition> condition;
    TDigitPattern digits;  // the whole pattern, or the whole part of a fraction
    std::optional<TFractionPattern> fraction;
};

struct TNumberFormat {
    std::vector<TNumberSection> sections;  // the number sections, text sections left out
    bool conditional = false;
};

// How a format shows a text: through the section that holds "@" (the text), else through a
// fourth section; its literals stay, padding and fills as for numbers. A format without
// either shows a text as it is.
struct TTextFormat {
    bool present = false;                  // the text section changes the text
    std::vector<std::u16string> literals;  // the text goes between each two
};
TTextFormat CompileTextFormat(std::u16string_view format, const platform::TRegionalSettings& rs);
std::u16string FormatText(const TTextFormat& format, std::u16string_view text);

TNumberFormat CompileNumberFormat(std::u16string_view format,
                                  const platform::TRegionalSettings& rs);
std::u16string FormatNumber(const TNumberFormat& format, double x,
                            const platform::TRegionalSettings& rs);

}  // namespace vorlix::format
