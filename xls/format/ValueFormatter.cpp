#include "xls/format/ValueFormatter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/DateTime.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"

// A spreadsheet format is never interpreted directly. It is rewritten, step by step, into a
// pattern for one of two small pattern languages: the date pattern language ("dd/mm/yyyy
// h:nn AMPM") or the number pattern language ("#,##0.00", "0.00E+00", one section at a
// time). A few pieces are worked out here and put into the pattern as quoted text: the
// fraction of "# ?/?", the elapsed "[h]", "[mm]" and "[ss]", the one-letter month "mmmmm".
//
// All of the rewriting depends on the format and the regional settings only, so it is done
// once per format and kept, compiled into a list of elements, in a small per-thread cache.
// The pieces that depend on the value are left as slots in the compiled form. Where a slot
// would land inside quoted text, its quotes would pair with the format's own and change how
// the rest of the pattern reads, so such formats take the slow road: the value's text is put
// into the pattern and the result compiled for that value alone.

namespace vorlix {

namespace {

using platform::TRegionalSettings;
using Text = std::u16string;
using TextView = std::u16string_view;

// ---------------------------------------------------------------------------------------
// Small text helpers

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

bool StartsWithNoCase(TextView text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
    }
    return true;
}

bool Contains(TextView text, char16_t c) {
    return text.find(c) != TextView::npos;
}

// A decimal integer, "-" first when negative, zero-padded to `minDigits`.
void AppendInteger(Text& out, std::int64_t value, int minDigits = 1) {
    char buffer[24];
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, magnitude).ptr;
    if (value < 0) out += u'-';
    const auto digits = static_cast<int>(end - buffer);
    if (digits < minDigits) out.append(static_cast<std::size_t>(minDigits - digits), u'0');
    out.append(buffer, end);
}

Text IntegerText(std::int64_t value) {
    Text out;
    AppendInteger(out, value);
    return out;
}

// Text in double quotes, which both pattern languages copy as it stands.
Text Quoted(TextView text) {
    Text out;
    out.reserve(text.size() + 2);
    out += u'"';
    out += text;
    out += u'"';
    return out;
}

// ---------------------------------------------------------------------------------------
// Decimal digits of a number

// A non-negative number as 0.d1d2...dn x 10^Exponent, without trailing zeros; zero has no
// digits.
struct TDecimal {
    char Digits[20] = {};
    int Count = 0;
    int Exponent = 0;
};

// Rounding works on the first 18 significant digits of a value (correctly rounded from
// its binary form), then rounds those, halves away from zero.
constexpr int kSignificantDigits = 18;

void DropTrailingZeros(TDecimal& d) {
    while (d.Count > 0 && d.Digits[d.Count - 1] == '0')
        --d.Count;
    if (d.Count == 0) d.Exponent = 0;
}

TDecimal SignificantDigits(double value) {
    TDecimal d;
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value)) return d;
    if (value < 1e17 && value == std::floor(value)) {
        // Whole numbers of up to 17 digits: their digits are exact without a float print.
        char digits[24];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(value)).ptr;
        d.Count = static_cast<int>(end - digits);
        std::memcpy(d.Digits, digits, static_cast<std::size_t>(d.Count));
        d.Exponent = d.Count;
        DropTrailingZeros(d);
        return d;
    }
    char buffer[48];  // "d.ddddddddddddddddde-308"
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific, kSignificantDigits - 1)
                         .ptr;
    d.Digits[0] = buffer[0];
    std::memcpy(d.Digits + 1, buffer + 2, kSignificantDigits - 1);
    d.Count = kSignificantDigits;
    const char* e = std::find(buffer, end, 'e');
    const bool negative = e + 1 < end && e[1] == '-';
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);
    d.Exponent = (negative ? -exponent : exponent) + 1;
    DropTrailingZeros(d);
    return d;
}

// Keeps the first `keep` digits (none when keep <= 0), rounding half away from zero.
void RoundDigits(TDecimal& d, int keep) {
    if (keep >= d.Count) return;
    if (keep < 0) {
        d = TDecimal{};
        return;
    }
    const bool up = d.Digits[keep] >= '5';
    d.Count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[i] == '9')
            --i;
        if (i < 0) {
            // 0.999 -> 1.000: one digit more before the point.
            d.Digits[0] = '1';
            d.Count = 1;
            ++d.Exponent;
            return;
        }
        ++d.Digits[i];
        d.Count = i + 1;
    }
    DropTrailingZeros(d);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// General number text

std::u16string GeneralNumberText(double value) {
    // Infinities and NaN cannot come out of a workbook's number records in a meaningful way;
    // they show as zero rather than as a text no spreadsheet would show.
    if (value == 0 || !std::isfinite(value)) return u"0";
    // Fifteen digits, rounded from the first 18 as the number patterns round.
    TDecimal d = SignificantDigits(value);
    RoundDigits(d, 15);
    const char16_t point = platform::RegionalSettings().DecimalSeparator;
    const auto digit = [&d](int i) {
        return static_cast<char16_t>(i < d.Count ? d.Digits[i] : '0');
    };

    Text out = value < 0 ? u"-" : u"";
    const int e = d.Exponent;
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            out += u'0';
            out += point;
            out.append(static_cast<std::size_t>(-e), u'0');
            for (int i = 0; i < d.Count; ++i)
                out += digit(i);
            return out;
        }
        for (int i = 0; i < e; ++i)
            out += digit(i);
        if (d.Count > e) {
            out += point;
            for (int i = e; i < d.Count; ++i)
                out += digit(i);
        }
        return out;
    }
    out += digit(0);
    if (d.Count > 1) {
        out += point;
        for (int i = 1; i < d.Count; ++i)
            out += digit(i);
    }
    out += u'E';
    AppendInteger(out, e - 1);
    return out;
}

namespace {

// ---------------------------------------------------------------------------------------
// Slots: value-dependent pieces held in a compiled pattern

// Stand-ins for the slots in a rewritten pattern, taken from the Unicode noncharacters that
// text never holds. A format that holds one of them anyway takes the slow road, where no
// stand-ins are used.
enum class TSlot : char16_t {
    Fraction = u'\uFDD0',     // "?/?": the fraction of the value
    MonthLetter = u'\uFDD1',  // "mmmmm": first letter of the month's long name
    Hours = u'\uFDD2',        // "[h]": elapsed hours
    Minutes = u'\uFDD3',      // "[mm]": elapsed minutes
    Seconds = u'\uFDD4',      // "[ss]": elapsed seconds
};

bool IsSlotChar(char16_t c) {
    return c >= u'\uFDD0' && c <= u'\uFDEF';
}

bool HasSlotChars(TextView text) {
    return std::any_of(text.begin(), text.end(), IsSlotChar);
}

Text SlotText(TSlot slot) {
    return Text(1, static_cast<char16_t>(slot));
}

// ---------------------------------------------------------------------------------------
// Number patterns
//
// One section of the number pattern language:
//   0      a digit, always shown between the leftmost "0" before the point and the
//          rightmost "0" after it
//   #      a digit, shown when significant
//   .      the decimal point (the first one; later ones are ignored)
//   ,      anywhere: group the integer part by threes
//   E+ E-  scientific notation; the zeros right after set the exponent's minimum digits
//   "..." '...'  literal text; every other character is literal as well

struct TNumberElement {
    enum class Kind : std::uint8_t { Literal, Digit, Exponent, Fraction };
    Kind kind = Kind::Literal;
    bool plus = false;       // Exponent: written "E+", so ">= 0" shows "+"
    char16_t letter = u'E';  // Exponent: as written
    int exponentDigits = 0;  // Exponent: minimum number of digits
    Text text;               // Literal
};

struct TNumberSection {
    std::vector<TNumberElement> elements;
    bool empty = true;  // the section's text was empty: the general number text
    int integerPlaces = 0;
    int fractionPlaces = 0;
    int shownInteger = 0;   // integer digits shown even when zero
    int shownFraction = 0;  // decimals shown even when zero
    bool grouped = false;
    bool scientific = false;
    bool slotQuoted = false;  // a slot stand-in sits inside quoted text
};

constexpr int kMaxExponentDigits = 4;

void AddLiteral(std::vector<TNumberElement>& elements, TextView text) {
    if (text.empty()) return;
    if (!elements.empty() && elements.back().kind == TNumberElement::Kind::Literal) {
        elements.back().text += text;
        return;
    }
    TNumberElement e;
    e.text = text;
    elements.push_back(std::move(e));
}

// `slots`: the fraction stand-in marks the fraction's place; otherwise it is a character
// like any other.
TNumberSection CompileNumberSection(TextView s, bool slots) {
    TNumberSection sec;
    sec.empty = s.empty();
    int placeholders = 0;
    int point = -1;
    int firstZero = -1;  // placeholders before the leftmost "0"
    int lastZero = 0;    // placeholders up to and including the rightmost "0"
    std::size_t i = 0;
    while (i < s.size()) {
        const char16_t c = s[i];
        if (c == u'"' || c == u'\'') {
            std::size_t close = s.find(c, i + 1);
            if (close == TextView::npos) close = s.size();
            const TextView quoted = s.substr(i + 1, close - i - 1);
            if (slots && HasSlotChars(quoted)) sec.slotQuoted = true;
            AddLiteral(sec.elements, quoted);
            i = close + 1;
            continue;
        }
        switch (c) {
            case u'0':
                if (firstZero < 0) firstZero = placeholders;
                lastZero = placeholders + 1;
                [[fallthrough]];
            case u'#': {
                TNumberElement e;
                e.kind = TNumberElement::Kind::Digit;
                sec.elements.push_back(std::move(e));
                ++placeholders;
                break;
            }
            case u'.':
                if (point < 0) point = placeholders;
                break;
            case u',':
                sec.grouped = true;
                break;
            case u'E':
            case u'e':
                if (i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
                    std::size_t j = i + 2;
                    while (j < s.size() && s[j] == u'0')
                        ++j;
                    TNumberElement e;
                    e.kind = TNumberElement::Kind::Exponent;
                    e.letter = c;
                    e.plus = s[i + 1] == u'+';
                    e.exponentDigits =
                        static_cast<int>(std::min<std::size_t>(j - i - 2, kMaxExponentDigits));
                    sec.elements.push_back(std::move(e));
                    sec.scientific = true;
                    i = j;
                    continue;
                }
                AddLiteral(sec.elements, TextView(&s[i], 1));
                break;
            default:
                if (slots && c == static_cast<char16_t>(TSlot::Fraction)) {
                    TNumberElement e;
                    e.kind = TNumberElement::Kind::Fraction;
                    sec.elements.push_back(std::move(e));
                } else {
                    AddLiteral(sec.elements, TextView(&s[i], 1));
                }
                break;
        }
        ++i;
    }
    if (point < 0) point = placeholders;
    sec.integerPlaces = point;
    sec.fractionPlaces = placeholders - point;
    sec.shownInteger = firstZero < 0 ? 0 : std::max(0, point - firstZero);
    sec.shownFraction = std::max(0, lastZero - point);
    return sec;
}

// The number pattern formatter: `x` under one compiled section; `fraction` fills the
// fraction slot.
Text FormatNumberSection(const TNumberSection& sec, double x, TextView fraction,
                         const TRegionalSettings& rs) {
    if (sec.empty || !std::isfinite(x)) return GeneralNumberText(x);

    TDecimal d = SignificantDigits(x);
    int exponent = 0;   // scientific: the exponent shown
    int integerDigits;  // digits before the point
    if (sec.scientific) {
        const int places = sec.integerPlaces + sec.fractionPlaces;
        if (places > 0) RoundDigits(d, std::min(places, kSignificantDigits));
        if (d.Count > 0) {
            exponent = d.Exponent - sec.integerPlaces;
            integerDigits = sec.integerPlaces;
        } else {
            integerDigits = 0;  // zero shows a zero exponent
        }
    } else {
        RoundDigits(d, d.Exponent + sec.fractionPlaces);
        // More integer digits than the rounding works on: the general text instead.
        if (d.Exponent > kSignificantDigits) return GeneralNumberText(x);
        integerDigits = d.Count > 0 ? d.Exponent : 0;
    }

    Text out;
    // The sign leads everything, also for a value that rounds to zero.
    if (x < 0) out += u'-';

    // A digit's place: n >= 1 is the n-th digit before the point, 0 the first after it.
    bool pointWritten = false;
    const auto writeDigit = [&](int place) {
        const int index = integerDigits - place;
        const char16_t digit =
            index >= 0 && index < d.Count ? static_cast<char16_t>(d.Digits[index]) : u'0';
        if (place <= 0 && !pointWritten) {
            out += rs.DecimalSeparator;
            pointWritten = true;
        }
        out += digit;
        if (sec.grouped && place > 1 && (place - 1) % 3 == 0) out += rs.ThousandSeparator;
    };

    int place = sec.integerPlaces;
    bool firstPlaceholder = true;
    for (const TNumberElement& e : sec.elements) {
        switch (e.kind) {
            case TNumberElement::Kind::Literal:
                out += e.text;
                break;
            case TNumberElement::Kind::Fraction:
                out += fraction;
                break;
            case TNumberElement::Kind::Exponent:
                out += e.letter;
                if (exponent < 0) {
                    out += u'-';
                } else if (e.plus) {
                    out += u'+';
                }
                AppendInteger(out, exponent < 0 ? -static_cast<std::int64_t>(exponent) : exponent,
                              std::max(e.exponentDigits, 1));
                break;
            case TNumberElement::Kind::Digit: {
                if (firstPlaceholder) {
                    // Integer digits the pattern has no room for all come out here.
                    for (int p = integerDigits; p > sec.integerPlaces; --p)
                        writeDigit(p);
                    firstPlaceholder = false;
                }
                const int p = place--;
                const bool shown = p >= 1
                                       ? p <= integerDigits || p <= sec.shownInteger
                                       : 1 - p <= sec.shownFraction || integerDigits - p < d.Count;
                if (shown) writeDigit(p);
                break;
            }
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Fractions

// The denominator part of "?/?", "??/??", "?/8": either the largest denominator to try, or
// a fixed denominator.
struct TDenominator {
    Text text;
    int largest = 0;                    // > 0: search denominators largest..1
    std::optional<std::int64_t> fixed;  // otherwise this one, when the text is an integer
};

std::optional<std::int64_t> ParseInteger(TextView text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
        value = value * 10 + (text[i] - u'0');
        if (value > 2147483648LL) return std::nullopt;  // beyond a 32-bit integer
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return value;
}

TDenominator MakeDenominator(TextView text) {
    TDenominator denominator;
    denominator.text = text;
    if (Contains(text, u'?')) {
        denominator.largest = text == u"??" ? 99 : text == u"???" ? 999 : 9;
    } else {
        denominator.fixed = ParseInteger(text);
    }
    return denominator;
}

// The fraction of `x` (the part after the point, signed like x) as "num/den", or empty.
Text FractionText(const TDenominator& denominator, double x) {
    const double f = x - std::trunc(x);
    if (f == 0 || !std::isfinite(f)) return {};
    double den = 2;
    if (denominator.largest > 0) {
        // The closest fraction; among equally close ones the smaller denominator. For a
        // negative value no error beats the starting 2 * f, so the denominator stays 2.
        double best = 2 * f;
        for (int d = denominator.largest; d >= 1; --d) {
            const double n = std::nearbyint(d * f);
            const double err = std::fabs(f - n / d);
            if (err <= best) {
                best = err;
                den = d;
            }
        }
    } else {
        if (!denominator.fixed) {
            throw Exception("'" + platform::Utf16ToUtf8(denominator.text) +
                            "' is not a valid integer value");
        }
        den = static_cast<double>(*denominator.fixed);
    }
    const double num = std::nearbyint(den * f);
    if (num == 0) return {};
    Text out;
    AppendInteger(out, static_cast<std::int64_t>(num));
    out += u'/';
    AppendInteger(out, static_cast<std::int64_t>(den));
    return out;
}

// ---------------------------------------------------------------------------------------
// Number formats: section choice and rewriting

// The section one sign of the value selects, rewritten into the number pattern language.
struct TNumberBranch {
    bool negate = false;  // the section's parentheses show the sign
    Text rewritten;       // before the fraction step
    std::optional<TDenominator> fraction;
    bool textual = false;  // the fraction goes into the text per value
    TNumberSection compiled;
};

struct TNumberPlan {
    bool general = false;  // no pattern: the general number text
    bool percent = false;
    TNumberBranch positive, negative;
};

// "?/" followed by the denominator becomes the fraction; every other "?" goes.
Text InsertFraction(TextView section, const TDenominator& denominator, TextView fraction) {
    Text out = WideReplaceAll(section, u"?/" + denominator.text, fraction);
    std::erase(out, u'?');
    return out;
}

TNumberBranch MakeNumberBranch(Text s, bool negate, const TRegionalSettings& rs) {
    TNumberBranch b;
    b.negate = negate;
    // Padding the width of the currency string ("_$") becomes a space; other padding
    // ("_)" beside a parenthesised negative) and fill characters ("*") go.
    Text pad;
    for (char16_t c : rs.CurrencyString) {
        pad += u'_';
        pad += c;
    }
    s = WideReplaceAll(s, pad, u" ");
    s = WideReplaceAll(s, u"_-", u"");
    s = WideReplaceAll(s, u"_(", u"");
    s = WideReplaceAll(s, u"_)", u"");
    s = WideReplaceAll(s, u"_", u"   ");
    s = WideReplaceAll(s, u"\\", u"");
    s = WideReplaceAll(s, u"-*", u"");
    s = WideReplaceAll(s, u"*", u"");
    s = WideReplaceAll(s, u"( (", u"(");
    // A parenthesis without its partner is dropped.
    const bool open = Contains(s, u'('), close = Contains(s, u')');
    if (open && !close) std::erase(s, u'(');
    if (close && !open) std::erase(s, u')');
    // Colours and conditions ("[Red]", "[>100]") at the section's start.
    while (!s.empty() && s.front() == u'[') {
        const std::size_t end = s.find(u']');
        if (end == Text::npos) break;
        s.erase(0, end + 1);
    }

    const std::size_t at = s.find(u"?/");
    if (at != Text::npos) {
        const std::size_t from = at + 2;
        const std::size_t space = s.find(u' ', from);
        b.fraction = MakeDenominator(
            TextView(s).substr(from, space == Text::npos ? Text::npos : space - from));
    }
    // A section that rewrites to nothing shows the general number text, sign included.
    if (s.empty()) b.negate = false;
    b.rewritten = std::move(s);
    if (!b.fraction) {
        b.compiled = CompileNumberSection(b.rewritten, false);
    } else if (HasSlotChars(b.rewritten)) {
        b.textual = true;
    } else {
        b.compiled = CompileNumberSection(
            InsertFraction(b.rewritten, *b.fraction, SlotText(TSlot::Fraction)), true);
        b.textual = b.compiled.slotQuoted;
    }
    return b;
}

TNumberPlan MakeNumberPlan(Text pattern, const TRegionalSettings& rs) {
    TNumberPlan plan;
    if (pattern.empty()) {
        plan.general = true;
        return plan;
    }
    if (pattern.back() == u'%') {
        plan.percent = true;
        pattern = WideReplaceAll(pattern, u"%", u"\"%\"");
    }
    // Sections: positive (and zero); negative. A third or fourth section is never used.
    const std::size_t semi = pattern.find(u';');
    plan.positive = MakeNumberBranch(pattern.substr(0, semi), false, rs);
    Text negative = pattern;
    if (semi != Text::npos) {
        negative = pattern.substr(semi + 1);
        negative = negative.substr(0, negative.find(u';'));
    }
    // A negative value shows without its own "-" where the format gives it a section of
    // its own (the section writes its sign, if any, as literal text) or parentheses.
    const bool parenthesised = Contains(negative, u'(') && Contains(negative, u')');
    const bool ownSection = semi != Text::npos;
    plan.negative = MakeNumberBranch(std::move(negative), parenthesised || ownSection, rs);
    return plan;
}

Text FormatNumberValue(const TNumberPlan& plan, double x, const TRegionalSettings& rs) {
    if (plan.general) return GeneralNumberText(x);
    if (plan.percent) x *= 100;
    const TNumberBranch& b = x < 0 ? plan.negative : plan.positive;
    if (b.negate) x = -x;
    if (!b.fraction) return FormatNumberSection(b.compiled, x, {}, rs);
    const Text fraction = FractionText(*b.fraction, x);
    if (!b.textual) return FormatNumberSection(b.compiled, x, fraction, rs);
    const Text section = InsertFraction(b.rewritten, *b.fraction, Quoted(fraction));
    return FormatNumberSection(CompileNumberSection(section, false), x, {}, rs);
}

// ---------------------------------------------------------------------------------------
// Date patterns
//
// The date pattern language, letters in either case (a run is the same character repeated
// as written):
//   y yy / yyy+      year of the century / in full
//   m mm             month number (minutes right after an hour element)
//   mmm / mmmm+      short / long month name
//   d dd / ddd dddd  day of month / short, long day name (also aaa aaaa)
//   ddddd / dddddd+  the locale's short / long date pattern
//   h hh, n nn, s ss hour, minute, second (longer runs as the two-letter ones)
//   am/pm  a/p       "am" or "pm" as written, by the hour
//   ampm             the locale's AM or PM string
//   t / tt+          the locale's short / long time pattern
//   c                short date and, unless the time of day is 00:00:00, the long time
//   g / gg+          era name: its first character / in full
//   e / ee+          year of the era, without / with a leading zero
//   /  :             the locale's date / time separator
//   "..."  '...'     literal text, as is every other character
// An hour is on the 12-hour clock when an AM/PM element came before it, or when the first
// "a" after it outside quoted text, before any further "h", opens one. The locale's patterns
// are read by the same rules, but a locale pattern inside a locale pattern gives nothing:
// patterns nest two deep at most.

enum class TDateOp : std::uint8_t {
    Literal,
    Year2,
    Year4,
    Month,
    MonthShort,
    MonthLong,
    Day,
    DayShort,
    DayLong,
    Hour,
    Minute,
    Second,
    AmPmAsWritten,
    AmPmLocale,
    EraName,
    EraYear,
    SkipAtMidnight,  // skip `count` elements when the time of day is 00:00:00
    Slot,
};

struct TDateElement {
    TDateOp op = TDateOp::Literal;
    bool twelveHour = false;  // Hour
    TSlot slot = TSlot::Hours;
    std::uint32_t count = 1;  // digits (1 or 2), run length (eras), elements to skip
    Text text;                // Literal; AmPmAsWritten: the AM text then the PM text
};

using TDateProgram = std::vector<TDateElement>;

constexpr int kMaxDatePatternDepth = 2;

class TDateCompiler {
  public:
    TDateCompiler(const TRegionalSettings& rs, TDateProgram& out) : rs_(rs), out_(out) {}

    // `slots`: the stand-ins mark slots (the format itself, never a locale pattern).
    void Compile(TextView p, int depth, bool slots);
    bool SlotQuoted() const { return slotQuoted_; }

  private:
    void Add(TDateOp op, std::uint32_t count = 1) {
        TDateElement e;
        e.op = op;
        e.count = count;
        out_.push_back(std::move(e));
    }
    void AddLiteral(TextView text) {
        if (text.empty()) return;
        if (out_.size() > sealed_ && out_.back().op == TDateOp::Literal) {
            out_.back().text += text;
            return;
        }
        TDateElement e;
        e.text = text;
        out_.push_back(std::move(e));
    }
    void AddSeparator(char16_t c) {
        if (c != 0) AddLiteral(TextView(&c, 1));
    }

    const TRegionalSettings& rs_;
    TDateProgram& out_;
    // Elements before this one are closed to merging: the end of a skippable range.
    std::size_t sealed_ = 0;
    bool slotQuoted_ = false;
};

std::size_t RunLength(TextView p, std::size_t at) {
    std::size_t end = at + 1;
    while (end < p.size() && p[end] == p[at])
        ++end;
    return end - at;
}

// Whether the hour element ending at `from` is on the 12-hour clock: the first "a" after
// it outside quoted text, unless an "h" comes first, opens an AM/PM element.
bool AmPmFollows(TextView p, std::size_t from) {
    for (std::size_t i = from; i < p.size(); ++i) {
        const char16_t c = p[i];
        if (c == u'"' || c == u'\'') {
            const std::size_t close = p.find(c, i + 1);
            if (close == TextView::npos) return false;
            i = close;
        } else if (c == u'h' || c == u'H') {
            return false;
        } else if (c == u'a' || c == u'A') {
            const TextView rest = p.substr(i);
            return StartsWithNoCase(rest, u"am/pm") || StartsWithNoCase(rest, u"a/p") ||
                   StartsWithNoCase(rest, u"ampm");
        }
    }
    return false;
}

void TDateCompiler::Compile(TextView p, int depth, bool slots) {
    if (depth >= kMaxDatePatternDepth) return;
    char16_t lastLetter = u' ';
    bool amPmSeen = false;
    std::size_t i = 0;
    while (i < p.size()) {
        const char16_t c = p[i];
        if (slots && IsSlotChar(c)) {
            TDateElement e;
            e.op = TDateOp::Slot;
            e.slot = static_cast<TSlot>(c);
            out_.push_back(std::move(e));
            ++i;
            continue;
        }
        const std::size_t run = RunLength(p, i);
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(run, 0xFFFF));
        char16_t token = AsciiUpper(c);
        if (IsAsciiLetter(c)) {
            // "m" and "mm" straight after an hour element (any letter in between counts)
            // are minutes; the month names stay month names.
            if (token == u'M' && lastLetter == u'H' && run <= 2) token = u'N';
            lastLetter = token;
        }
        std::size_t used = run;
        switch (token) {
            case u'Y':
                Add(run <= 2 ? TDateOp::Year2 : TDateOp::Year4);
                break;
            case u'G':
                Add(TDateOp::EraName, count);
                break;
            case u'E':
                Add(TDateOp::EraYear, count);
                break;
            case u'M':
                if (run <= 2) {
                    Add(TDateOp::Month, count);
                } else {
                    Add(run == 3 ? TDateOp::MonthShort : TDateOp::MonthLong);
                }
                break;
            case u'D':
                if (run <= 2) {
                    Add(TDateOp::Day, count);
                } else if (run == 3) {
                    Add(TDateOp::DayShort);
                } else if (run == 4) {
                    Add(TDateOp::DayLong);
                } else {
                    Compile(run == 5 ? rs_.ShortDateFormat : rs_.LongDateFormat, depth + 1, false);
                }
                break;
            case u'H': {
                Add(TDateOp::Hour, std::min(count, 2u));
                out_.back().twelveHour = amPmSeen || AmPmFollows(p, i + run);
                break;
            }
            case u'N':
                Add(TDateOp::Minute, std::min(count, 2u));
                break;
            case u'S':
                Add(TDateOp::Second, std::min(count, 2u));
                break;
            case u'T':
                Compile(run == 1 ? rs_.ShortTimeFormat : rs_.LongTimeFormat, depth + 1, false);
                break;
            case u'C': {
                Compile(rs_.ShortDateFormat, depth + 1, false);
                const std::size_t skip = out_.size();
                Add(TDateOp::SkipAtMidnight, 0);
                AddLiteral(u" ");
                Compile(rs_.LongTimeFormat, depth + 1, false);
                out_[skip].count = static_cast<std::uint32_t>(out_.size() - skip - 1);
                sealed_ = out_.size();
                break;
            }
            case u'A': {
                const TextView rest = p.substr(i);
                if (StartsWithNoCase(rest, u"am/pm")) {
                    Add(TDateOp::AmPmAsWritten, 2);
                    out_.back().text = Text(rest.substr(0, 2)) + Text(rest.substr(3, 2));
                    amPmSeen = true;
                    used = 5;
                } else if (StartsWithNoCase(rest, u"a/p")) {
                    Add(TDateOp::AmPmAsWritten, 1);
                    out_.back().text = {rest[0], rest[2]};
                    amPmSeen = true;
                    used = 3;
                } else if (StartsWithNoCase(rest, u"ampm")) {
                    Add(TDateOp::AmPmLocale);
                    amPmSeen = true;
                    used = 4;
                } else if (StartsWithNoCase(rest, u"aaaa")) {
                    Add(TDateOp::DayLong);
                    used = 4;
                } else if (StartsWithNoCase(rest, u"aaa")) {
                    Add(TDateOp::DayShort);
                    used = 3;
                } else {
                    AddLiteral(rest.substr(0, 1));
                    used = 1;
                }
                break;
            }
            case u'/':
                AddSeparator(rs_.DateSeparator);
                used = 1;
                break;
            case u':':
                AddSeparator(rs_.TimeSeparator);
                used = 1;
                break;
            case u'"':
            case u'\'': {
                std::size_t close = p.find(c, i + 1);
                if (close == TextView::npos) close = p.size();
                const TextView quoted = p.substr(i + 1, close - i - 1);
                if (slots && HasSlotChars(quoted)) slotQuoted_ = true;
                AddLiteral(quoted);
                used = close + 1 - i;
                break;
            }
            default:
                AddLiteral(p.substr(i, 1));
                used = 1;
                break;
        }
        i = std::min(p.size(), i + used);
    }
}

// A date-time as the date pattern formatter sees it.
struct TDateValue {
    TDateTimeParts parts;
    std::int64_t days = 0;  // whole days, toward zero, after rounding to the millisecond
};

TDateValue DecodeDateValue(double x) {
    TDateValue v;
    v.parts = DecodeDateTime(x);
    // Values DecodeDateTime does not take (beyond 1E10 days, NaN) read as day 0 there too.
    if (std::isfinite(x) && std::fabs(x) <= 1e10) {
        constexpr std::int64_t kMsPerDay = 86400000;
        v.days = static_cast<std::int64_t>(std::nearbyint(x * kMsPerDay)) / kMsPerDay;
    }
    return v;
}

// The era of a date: the first of the locale's eras (newest first) that has begun by then
// (for an era counting backward, that has not yet begun).
const platform::TEra* EraOf(const TDateTimeParts& t, const std::vector<platform::TEra>& eras) {
    for (const platform::TEra& era : eras) {
        const auto date = std::make_tuple(t.Year, t.Month, t.Day);
        const auto start = std::make_tuple(era.StartYear, era.StartMonth, era.StartDay);
        if (era.Direction >= 0 ? date >= start : date <= start) return &era;
    }
    return nullptr;
}

std::int64_t SlotValue(TSlot slot, const TDateValue& v) {
    const std::int64_t hours = v.days * 24 + v.parts.Hour;
    const std::int64_t minutes = hours * 60 + v.parts.Minute;
    switch (slot) {
        case TSlot::Hours:
            return hours;
        case TSlot::Minutes:
            return minutes;
        default:
            return minutes * 60 + v.parts.Second;
    }
}

// First character (a whole surrogate pair where there is one) of the month's long name.
Text MonthLetter(const TDateValue& v, const TRegionalSettings& rs) {
    const Text& name = rs.LongMonthNames[static_cast<std::size_t>(v.parts.Month - 1)];
    const bool pair = name.size() >= 2 && name[0] >= 0xD800 && name[0] <= 0xDBFF;
    return name.substr(0, pair ? 2 : 1);
}

Text SlotContent(TSlot slot, const TDateValue& v, const TRegionalSettings& rs) {
    return slot == TSlot::MonthLetter ? MonthLetter(v, rs) : IntegerText(SlotValue(slot, v));
}

void RunDateProgram(const TDateProgram& program, const TDateValue& v, const TRegionalSettings& rs,
                    Text& out) {
    const TDateTimeParts& t = v.parts;
    const auto month = static_cast<std::size_t>(t.Month - 1);
    const auto weekday = static_cast<std::size_t>(t.DayOfWeek - 1);
    for (std::size_t k = 0; k < program.size(); ++k) {
        const TDateElement& e = program[k];
        const int digits = static_cast<int>(e.count);
        switch (e.op) {
            case TDateOp::Literal:
                out += e.text;
                break;
            case TDateOp::Year2:
                AppendInteger(out, std::abs(t.Year) % 100, 2);
                break;
            case TDateOp::Year4:
                AppendInteger(out, t.Year, 4);
                break;
            case TDateOp::Month:
                AppendInteger(out, t.Month, digits);
                break;
            case TDateOp::MonthShort:
                out += rs.ShortMonthNames[month];
                break;
            case TDateOp::MonthLong:
                out += rs.LongMonthNames[month];
                break;
            case TDateOp::Day:
                AppendInteger(out, t.Day, digits);
                break;
            case TDateOp::DayShort:
                out += rs.ShortDayNames[weekday];
                break;
            case TDateOp::DayLong:
                out += rs.LongDayNames[weekday];
                break;
            case TDateOp::Hour: {
                int hour = t.Hour;
                if (e.twelveHour) hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
                AppendInteger(out, hour, digits);
                break;
            }
            case TDateOp::Minute:
                AppendInteger(out, t.Minute, digits);
                break;
            case TDateOp::Second:
                AppendInteger(out, t.Second, digits);
                break;
            case TDateOp::AmPmAsWritten:
                out += TextView(e.text).substr(t.Hour < 12 ? 0 : e.count, e.count);
                break;
            case TDateOp::AmPmLocale:
                out += t.Hour < 12 ? rs.TimeAMString : rs.TimePMString;
                break;
            case TDateOp::EraName:
                // Without an era for the date the name is empty.
                if (const platform::TEra* era = EraOf(t, rs.Eras)) {
                    const bool pair =
                        era->Name.size() >= 2 && era->Name[0] >= 0xD800 && era->Name[0] <= 0xDBFF;
                    out += e.count == 1 ? era->Name.substr(0, pair ? 2 : 1) : era->Name;
                }
                break;
            case TDateOp::EraYear:
                // Without an era for the date the year of the era is the year itself.
                if (const platform::TEra* era = EraOf(t, rs.Eras)) {
                    const std::int64_t year =
                        era->Offset + static_cast<std::int64_t>(era->Direction >= 0 ? 1 : -1) *
                                          (static_cast<std::int64_t>(t.Year) - era->StartYear);
                    AppendInteger(out, year, e.count == 1 ? 1 : 2);
                } else {
                    AppendInteger(out, t.Year);
                }
                break;
            case TDateOp::SkipAtMidnight:
                if (t.Hour == 0 && t.Minute == 0 && t.Second == 0) k += e.count;
                break;
            case TDateOp::Slot:
                out += SlotContent(e.slot, v, rs);
                break;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Date formats

struct TDatePlan {
    Text rewritten;  // the first section after the fixed replacements
    bool textual = false;
    TDateProgram program;  // with slots, when !textual
};

TDatePlan MakeDatePlan(TextView pattern, const TRegionalSettings& rs) {
    TDatePlan plan;
    Text p(pattern.substr(0, pattern.find(u';')));
    // Padding becomes a space; escapes and fill characters go; "mm" after a colon is
    // minutes. Tenths of a second are not shown: ".0" becomes ".z", which is literal text.
    p = WideReplaceAll(p, u"_-", u" ");
    p = WideReplaceAll(p, u"_", u" ");
    p = WideReplaceAll(p, u"\\", u"");
    p = WideReplaceAll(p, u"-*", u"");
    p = WideReplaceAll(p, u"*", u"");
    p = WideReplaceAll(p, u":mm", u":nn");
    p = WideReplaceAll(p, u".0", u".z");
    plan.rewritten = std::move(p);
    if (HasSlotChars(plan.rewritten)) {
        plan.textual = true;
        return plan;
    }
    Text withSlots = WideReplaceAll(plan.rewritten, u"mmmmm", SlotText(TSlot::MonthLetter));
    withSlots = WideReplaceAll(withSlots, u"[h]", SlotText(TSlot::Hours));
    withSlots = WideReplaceAll(withSlots, u"[mm]", SlotText(TSlot::Minutes));
    withSlots = WideReplaceAll(withSlots, u"[ss]", SlotText(TSlot::Seconds));
    TDateCompiler compiler(rs, plan.program);
    compiler.Compile(withSlots, 0, true);
    if (compiler.SlotQuoted()) {
        plan.textual = true;
        plan.program.clear();
    }
    return plan;
}

Text FormatDateValue(const TDatePlan& plan, double x, const TRegionalSettings& rs) {
    const TDateValue v = DecodeDateValue(x);
    Text out;
    if (!plan.textual) {
        RunDateProgram(plan.program, v, rs, out);
        return out;
    }
    Text p = WideReplaceAll(plan.rewritten, u"mmmmm", Quoted(MonthLetter(v, rs)));
    p = WideReplaceAll(p, u"[h]", Quoted(IntegerText(SlotValue(TSlot::Hours, v))));
    p = WideReplaceAll(p, u"[mm]", Quoted(IntegerText(SlotValue(TSlot::Minutes, v))));
    p = WideReplaceAll(p, u"[ss]", Quoted(IntegerText(SlotValue(TSlot::Seconds, v))));
    TDateProgram program;
    TDateCompiler(rs, program).Compile(p, 0, false);
    RunDateProgram(program, v, rs, out);
    return out;
}

// ---------------------------------------------------------------------------------------
// Plans per format, cached

struct TFormatPlan {
    TFormatKind kind = TFormatKind::General;
    TDatePlan date;      // kind Date
    TNumberPlan number;  // the other kinds
};

TFormatPlan MakeFormatPlan(std::uint16_t index, TextView text, const TRegionalSettings& rs) {
    Text pattern = text.empty() ? BuiltInFormatText(index) : Text(text);
    // A leading locale or currency tag ("[$-409]", "[$€-407]").
    if (pattern.starts_with(u"[$")) {
        const std::size_t close = pattern.find(u']');
        if (close != Text::npos) pattern.erase(0, close + 1);
    }
    TFormatPlan plan;
    plan.kind = FormatKindOfText(pattern);
    if (plan.kind == TFormatKind::General || plan.kind == TFormatKind::Text) pattern.clear();
    if (plan.kind == TFormatKind::Date) {
        plan.date = MakeDatePlan(pattern, rs);
    } else {
        plan.number = MakeNumberPlan(std::move(pattern), rs);
    }
    return plan;
}

// The plans of the formats met lately, for the regional settings in effect. Replaced
// settings empty it; so does growing past a few hundred formats, which only a workbook
// with that many formats in use does. One per thread, so no locking.
class TPlanCache {
  public:
    const TFormatPlan& Plan(std::uint16_t index, TextView text, const TRegionalSettings& rs) {
        Refresh();
        // Cells of a sheet take turns among a few formats: the ones used last are
        // compared before any hashing.
        for (const TRecent& r : recent_) {
            if (r.key != nullptr && r.key->index == index && r.key->text == text) return *r.plan;
        }
        auto it = plans_.find(TKeyView{index, text});
        if (it == plans_.end()) {
            if (plans_.size() >= kMaxPlans) Clear();
            it = plans_.emplace(TKey{index, Text(text)}, MakeFormatPlan(index, text, rs)).first;
        }
        for (std::size_t i = recent_.size() - 1; i > 0; --i)
            recent_[i] = recent_[i - 1];
        recent_[0] = TRecent{&it->first, &it->second};
        return it->second;
    }

    // The locale's short date pattern, for date-time values under formats of other kinds.
    const TDatePlan& ShortDatePlan(const TRegionalSettings& rs) {
        Refresh();
        if (!shortDate_) shortDate_ = MakeDatePlan(rs.ShortDateFormat, rs);
        return *shortDate_;
    }

  private:
    static constexpr std::size_t kMaxPlans = 256;

    struct TKey {
        std::uint16_t index;
        Text text;
    };
    struct TKeyView {
        std::uint16_t index;
        TextView text;
    };
    struct THash {
        using is_transparent = void;
        std::size_t operator()(const TKeyView& k) const {
            return std::hash<TextView>{}(k.text) * 31 + k.index;
        }
        std::size_t operator()(const TKey& k) const { return (*this)(TKeyView{k.index, k.text}); }
    };
    struct TEqual {
        using is_transparent = void;
        static TKeyView View(const TKey& k) { return {k.index, k.text}; }
        static TKeyView View(const TKeyView& k) { return k; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            return View(a).index == View(b).index && View(a).text == View(b).text;
        }
    };

    void Refresh() {
        const std::uint64_t generation = platform::RegionalSettingsGeneration();
        if (generation == generation_) return;
        generation_ = generation;
        Clear();
        shortDate_.reset();
    }
    void Clear() {
        plans_.clear();
        recent_.fill(TRecent{});
    }

    struct TRecent {
        const TKey* key = nullptr;
        const TFormatPlan* plan = nullptr;
    };
    std::unordered_map<TKey, TFormatPlan, THash, TEqual> plans_;
    std::array<TRecent, 4> recent_{};
    std::optional<TDatePlan> shortDate_;
    std::uint64_t generation_ = ~std::uint64_t{0};
};

TPlanCache& Plans() {
    thread_local TPlanCache cache;
    return cache;
}

}  // namespace

std::u16string FormatCellValue(const TCellValue& value, std::uint16_t formatIndex,
                               std::u16string_view formatText) {
    switch (value.Kind()) {
        case vkEmpty:
        case vkNull:
            return {};
        case vkWideString:
            return value.WideText();
        case vkString:
        case vkUString:
            return AnsiToWide(value.AnsiText());
        case vkBoolean:
            return value.AsBoolean() ? u"TRUE" : u"FALSE";
        default:
            break;
    }
    const TRegionalSettings& rs = platform::RegionalSettings();
    TPlanCache& cache = Plans();
    const TFormatPlan& plan = cache.Plan(formatIndex, formatText, rs);
    const double x = value.AsDouble();
    if (plan.kind == TFormatKind::Date) return FormatDateValue(plan.date, x, rs);
    // A date-time shows as a date whatever its format says.
    if (value.Kind() == vkDate) return FormatDateValue(cache.ShortDatePlan(rs), x, rs);
    return FormatNumberValue(plan.number, x, rs);
}

}  // namespace vorlix
