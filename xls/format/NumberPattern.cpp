#include "xls/format/NumberPattern.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "xls/format/DecimalDigits.h"
#include "xls/format/TextHelpers.h"
#include "xls/format/ValueFormatter.h"
#include "xls/model/StringHelpers.h"

// A number format section is rewritten into a small pattern language, then compiled:
//   0      a digit, always shown between the leftmost "0" before the point and the
//          rightmost "0" after it
//   # ?    a digit, shown when significant
//   .      the decimal point (the first one; later ones are ignored)
//   ,      between digits: group the integer part by threes; after the digits or right
//          before the point: the value divided by 1000
//   E+ E-  scientific notation; the zeros right after set the exponent's minimum digits
//   n/d    a fraction ("?/?", "??/16") after an optional whole part ("# ")
//   General  the general number text
//   "..." '...'  literal text; every other character is literal as well
// The rewriting turns the spreadsheet's own escapes, padding, fills and bracketed codes
// into that language: "\x" becomes quoted text, padding a space (none for "_(", "_)" and
// "_-", which only line numbers up with parentheses and signs), fills nothing, a currency
// tag "[$€-407]" its symbol, a condition "[<0]" the section's condition; colours and other
// brackets go.

namespace vorlix {

namespace {

using format::FifteenDigits;
using format::RoundDigits;
using format::TDecimal;
using format::TDigitPattern;
using format::TNumberElement;
using format::TNumberSection;
using platform::TRegionalSettings;
using Text = std::u16string;
using TextView = std::u16string_view;

}  // namespace

namespace {

// ---------------------------------------------------------------------------------------
// Rewriting a section into the pattern language

struct TRewritten {
    Text pattern;
    bool percent = false;
    bool text = false;  // "@": the section for texts, not numbers
    std::optional<format::TCondition> condition;
};

Text Quoted(TextView text) {
    Text out;
    out.reserve(text.size() + 2);
    out += u'"';
    out += text;
    out += u'"';
    return out;
}

// Whether the code tokens from tokens[k] on spell "General" (in any letter case).
bool StartsWithGeneral(const format::TFormatSection& tokens, std::size_t k) {
    constexpr TextView kGeneral = u"GENERAL";
    if (tokens.size() - k < kGeneral.size()) return false;
    for (std::size_t i = 0; i < kGeneral.size(); ++i) {
        const format::TFormatToken& t = tokens[k + i];
        if (t.kind != format::TFormatToken::Kind::Code || t.text.size() != 1) return false;
        if (format::AsciiUpper(t.text[0]) != kGeneral[i]) return false;
    }
    return true;
}

// The space a run of padding from tokens[k] on leaves; k moves to the run's last token.
Text PadText(const format::TFormatSection& tokens, std::size_t& k, const TRegionalSettings& rs) {
    using Kind = format::TFormatToken::Kind;
    const format::TFormatToken& t = tokens[k];
    // Padding the width of the currency string ("_$", "_k_r") is one space.
    const TextView currency = rs.CurrencyString;
    Text run;
    std::size_t j = k;
    while (!currency.empty() && j < tokens.size() && tokens[j].kind == Kind::Pad &&
           run.size() < currency.size()) {
        run += tokens[j++].text;
    }
    if (!currency.empty() && run == currency) {
        k = j - 1;
        return u" ";
    }
    if (t.text.empty()) return u"   ";  // a "_" that ends the section
    if (t.text != u"-" && t.text != u"(" && t.text != u")") return u" ";
    return {};
}

TRewritten Rewrite(const format::TFormatSection& tokens, const TRegionalSettings& rs) {
    using Kind = format::TFormatToken::Kind;
    TRewritten r;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const format::TFormatToken& t = tokens[k];
        switch (t.kind) {
            case Kind::Code:
                if (t.text == u"%") {
                    r.pattern += u"\"%\"";
                    r.percent = true;
                } else {
                    if (t.text == u"@") r.text = true;
                    r.pattern += t.text;
                }
                break;
            case Kind::Quoted:
                r.pattern += Quoted(t.text);
                break;
            case Kind::Escaped:
                r.pattern += t.text == u"\"" ? Text(u"'\"'") : Quoted(t.text);
                break;
            case Kind::Pad:
                r.pattern += PadText(tokens, k, rs);
                break;
            case Kind::Fill:
                // The fill runs to the column's width, which a text has not.
                break;
            case Kind::Bracket:
                if (t.text.starts_with(u'$')) {
                    const TextView symbol = format::CurrencySymbol(t.text);
                    if (!symbol.empty()) r.pattern += Quoted(symbol);
                } else if (auto condition = format::ParseCondition(t.text)) {
                    r.condition = condition;
                }
                break;
        }
    }
    return r;
}

// ---------------------------------------------------------------------------------------
// Compiling the pattern language

bool IsPlaceholder(char16_t c) {
    return c == u'0' || c == u'#' || c == u'?';
}

// Which characters of a pattern are outside quoted text.
std::vector<bool> CodeMask(TextView s) {
    std::vector<bool> code(s.size(), false);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'"' || s[i] == u'\'') {
            std::size_t close = s.find(s[i], i + 1);
            i = close == TextView::npos ? s.size() : close;
            continue;
        }
        code[i] = true;
    }
    return code;
}

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

// Literal text only: quotes removed, every other character as it stands.
std::vector<TNumberElement> CompileLiteral(TextView s) {
    std::vector<TNumberElement> elements;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == u'"' || s[i] == u'\'') {
            std::size_t close = s.find(s[i], i + 1);
            if (close == TextView::npos) close = s.size();
            AddLiteral(elements, s.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            AddLiteral(elements, s.substr(i++, 1));
        }
    }
    return elements;
}

// `scale` counts the commas that divide by 1000: those right after the digit placeholders,
// before the point or at their end.
TDigitPattern CompileDigits(TextView s, int& scale) {
    TDigitPattern p;
    const std::vector<bool> code = CodeMask(s);
    std::size_t lastPlaceholder = TextView::npos;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (code[i] && IsPlaceholder(s[i])) lastPlaceholder = i;
    }
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
            AddLiteral(p.elements, s.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if ((c == u'G' || c == u'g') && format::StartsWithNoCase(s.substr(i), u"general")) {
            TNumberElement e;
            e.kind = TNumberElement::Kind::General;
            p.elements.push_back(std::move(e));
            i += 7;
            continue;
        }
        switch (c) {
            case u'0':
                if (firstZero < 0) firstZero = placeholders;
                lastZero = placeholders + 1;
                [[fallthrough]];
            case u'#':
            case u'?': {
                TNumberElement e;
                e.kind = TNumberElement::Kind::Digit;
                p.elements.push_back(std::move(e));
                ++placeholders;
                break;
            }
            case u'.':
                if (point < 0) point = placeholders;
                break;
            case u',': {
                std::size_t end = i;
                while (end < s.size() && s[end] == u',')
                    ++end;
                const bool afterDigits = i > 0 && code[i - 1] && IsPlaceholder(s[i - 1]);
                const bool scales =
                    afterDigits && ((end < s.size() && s[end] == u'.') ||
                                    lastPlaceholder == TextView::npos || lastPlaceholder < i);
                if (scales) {
                    scale += static_cast<int>(end - i);
                } else {
                    p.grouped = true;
                }
                i = end;
                continue;
            }
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
                    e.exponentDigits = static_cast<int>(std::min<std::size_t>(j - i - 2, 4));
                    p.elements.push_back(std::move(e));
                    p.scientific = true;
                    i = j;
                    continue;
                }
                AddLiteral(p.elements, s.substr(i, 1));
                break;
            default:
                AddLiteral(p.elements, s.substr(i, 1));
                break;
        }
        ++i;
    }
    if (point < 0) point = placeholders;
    p.integerPlaces = point;
    p.fractionPlaces = placeholders - point;
    p.shownInteger = firstZero < 0 ? 0 : std::max(0, point - firstZero);
    p.shownFraction = std::max(0, lastZero - point);
    return p;
}

std::optional<std::int64_t> ParseDenominator(TextView digits) {
    std::int64_t value = 0;
    for (char16_t c : digits) {
        value = value * 10 + (c - u'0');
        if (value > 2147483647LL) return std::nullopt;
    }
    return value;
}

TNumberSection CompileSection(const format::TFormatSection& tokens, const TRegionalSettings& rs,
                              bool& text) {
    TRewritten r = Rewrite(tokens, rs);
    text = r.text;
    TNumberSection sec;
    sec.condition = r.condition;
    sec.percent = r.percent;
    Text& s = r.pattern;
    // Parentheses show the sign; a parenthesis without its partner is not shown.
    sec.parenthesised = s.find(u'(') != Text::npos && s.find(u')') != Text::npos;
    s = WideReplaceAll(s, u"( (", u"(");
    const bool open = s.find(u'(') != Text::npos, close = s.find(u')') != Text::npos;
    if (open && !close) std::erase(s, u'(');
    if (close && !open) std::erase(s, u')');
    sec.empty = s.empty();
    if (sec.empty) return sec;

    // A fraction: digit placeholders, "/", then placeholders or a fixed denominator.
    const std::vector<bool> code = CodeMask(s);
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (!code[i] || s[i] != u'/' || !code[i - 1] || !IsPlaceholder(s[i - 1])) continue;
        std::size_t numerator = i - 1;
        while (numerator > 0 && code[numerator - 1] && IsPlaceholder(s[numerator - 1]))
            --numerator;
        std::size_t end = i + 1;
        format::TFractionPattern fraction;
        if (end < s.size() && s[end] >= u'1' && s[end] <= u'9') {
            while (end < s.size() && s[end] >= u'0' && s[end] <= u'9')
                ++end;
            const auto fixed = ParseDenominator(TextView(s).substr(i + 1, end - i - 1));
            if (!fixed) {
                sec.invalid = true;
                return sec;
            }
            fraction.fixed = *fixed;
        } else {
            while (end < s.size() && code[end] && IsPlaceholder(s[end]))
                ++end;
            if (end == i + 1) {
                sec.invalid = true;  // "?/x": no denominator to divide by
                return sec;
            }
            static constexpr int kLargest[] = {9, 99, 999, 9999};
            fraction.largest = kLargest[std::min<std::size_t>(end - i - 1, 4) - 1];
        }
        fraction.suffix = CompileLiteral(TextView(s).substr(end));
        int unused = 0;
        sec.digits = CompileDigits(TextView(s).substr(0, numerator), unused);
        sec.fraction = std::move(fraction);
        return sec;
    }
    sec.digits = CompileDigits(s, sec.scale);
    return sec;
}

// ---------------------------------------------------------------------------------------
// Rendering

// `x` under a digit pattern; the sign is written by the caller. `showZero`: a zero whole
// part shows as "0" even where its placeholders would show nothing.
void RenderDigits(const TDigitPattern& p, double x, bool showZero, Text& out,
                  const TRegionalSettings& rs) {
    TDecimal d = FifteenDigits(x);
    int exponent = 0;       // scientific: the exponent shown
    int integerDigits = 0;  // digits before the point
    if (p.scientific) {
        // Several integer placeholders that are not all "0" ("##0.0E+0"): engineering
        // notation, the exponent a multiple of their count, with one to that many digits
        // before the point and the pattern's decimals after it.
        const int group = p.integerPlaces;
        if (d.Count == 0) {
            // zero shows a zero exponent
        } else if (group > 1 && p.shownInteger < group) {
            for (int before = 0; before != d.Exponent;) {
                before = d.Exponent;  // rounding up to a new power of ten moves the exponent
                const int power = d.Exponent - 1;  // the power of ten of the first digit
                exponent = (power >= 0 ? power / group : -((-power + group - 1) / group)) * group;
                integerDigits = d.Exponent - exponent;
                RoundDigits(d, integerDigits + p.fractionPlaces);
            }
        } else {
            const int places = p.integerPlaces + p.fractionPlaces;
            if (places > 0) RoundDigits(d, places);
            if (d.Count > 0) {
                exponent = d.Exponent - p.integerPlaces;
                integerDigits = p.integerPlaces;
            }
        }
    } else {
        RoundDigits(d, d.Exponent + p.fractionPlaces);
        integerDigits = d.Count > 0 ? d.Exponent : 0;
    }
    const int shownInteger = showZero ? std::max(p.shownInteger, 1) : p.shownInteger;

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
        if (p.grouped && place > 1 && (place - 1) % 3 == 0) out += rs.ThousandSeparator;
    };

    int place = p.integerPlaces;
    bool firstPlaceholder = true;
    for (const TNumberElement& e : p.elements) {
        switch (e.kind) {
            case TNumberElement::Kind::Literal:
                out += e.text;
                break;
            case TNumberElement::Kind::General:
                out += GeneralNumberText(x, rs.DecimalSeparator);
                break;
            case TNumberElement::Kind::Exponent:
                out += e.letter;
                if (exponent < 0) {
                    out += u'-';
                } else if (e.plus) {
                    out += u'+';
                }
                format::AppendInteger(
                    out, exponent < 0 ? -static_cast<std::int64_t>(exponent) : exponent,
                    std::max(e.exponentDigits, 1));
                break;
            case TNumberElement::Kind::Digit: {
                if (firstPlaceholder) {
                    // Integer digits the pattern has no room for all come out here.
                    for (int q = integerDigits; q > p.integerPlaces; --q)
                        writeDigit(q);
                    firstPlaceholder = false;
                }
                const int q = place--;
                const bool shown = q >= 1 ? q <= integerDigits || q <= shownInteger
                                          : 1 - q <= p.shownFraction || integerDigits - q < d.Count;
                if (shown) writeDigit(q);
                break;
            }
        }
    }
}

bool HasDigits(const TDigitPattern& p) {
    return std::any_of(p.elements.begin(), p.elements.end(), [](const TNumberElement& e) {
        return e.kind == TNumberElement::Kind::Digit;
    });
}

// The closest fraction num/den to f >= 0 that the pattern allows; num is 0 when f rounds
// to nothing.
std::pair<std::int64_t, std::int64_t> Approximate(const format::TFractionPattern& p, double f) {
    if (f == 0) return {0, 1};
    double den = static_cast<double>(p.fixed);
    if (p.largest > 0) {
        // Among equally close fractions the smaller denominator wins.
        double best = 2 * f;
        den = 2;
        for (int d = p.largest; d >= 1; --d) {
            const double err = std::fabs(f - std::nearbyint(d * f) / d);
            if (err <= best) {
                best = err;
                den = d;
            }
        }
    }
    return {static_cast<std::int64_t>(std::nearbyint(den * f)), static_cast<std::int64_t>(den)};
}

// Fractions beyond this would need more digits than a double holds.
constexpr double kLargestFraction = 1e12;

Text FormatSection(const TNumberSection& sec, double x, const TRegionalSettings& rs) {
    if (sec.empty || sec.invalid || !std::isfinite(x))
        return GeneralNumberText(x, rs.DecimalSeparator);
    if (sec.percent) x *= 100;
    for (int i = 0; i < sec.scale && x != 0; ++i)
        x /= 1000;

    Text out;
    // The sign leads everything, also for a value that rounds to zero.
    if (x < 0) out += u'-';
    const double a = std::fabs(x);
    if (!sec.fraction) {
        // More integer digits than the rounding works on: the general text instead.
        if (!sec.digits.scientific && a >= 1e18) return GeneralNumberText(x, rs.DecimalSeparator);
        RenderDigits(sec.digits, a, false, out, rs);
        return out;
    }
    const format::TFractionPattern& fraction = *sec.fraction;
    const bool whole = HasDigits(sec.digits);
    if (a >= kLargestFraction ||
        (fraction.fixed > 0 && a * static_cast<double>(fraction.fixed) >= kLargestFraction)) {
        return GeneralNumberText(x, rs.DecimalSeparator);
    }
    double integer = whole ? std::trunc(a) : 0;
    auto [num, den] = Approximate(fraction, a - integer);
    if (whole && num != 0 && num == den) {
        integer += 1;  // 0.99 under "# ?/?" is a whole 1
        num = 0;
    }
    if (x < 0 && integer == 0 && num == 0) {
        out.clear();  // a fraction never shows "-0": what rounds to nothing has no sign
    }
    if (x < 0 && integer == 0 && num != 0 && whole) {
        // Nor does a negative fraction alone show a whole part of 0: "-1/4", not "-0 1/4".
        // What the pattern writes before its whole part stays.
        for (const TNumberElement& e : sec.digits.elements) {
            if (e.kind != TNumberElement::Kind::Literal) break;
            out += e.text;
        }
    } else {
        RenderDigits(sec.digits, integer, num == 0, out, rs);
    }
    if (num != 0) {
        format::AppendInteger(out, num);
        out += u'/';
        format::AppendInteger(out, den);
    } else if (!whole) {
        out += u'0';
    }
    for (const TNumberElement& e : fraction.suffix)
        out += e.text;
    return out;
}

}  // namespace

namespace format {

TTextFormat CompileTextFormat(std::u16string_view pattern, const TRegionalSettings& rs) {
    using Kind = TFormatToken::Kind;
    const std::vector<TFormatSection> sections = LexFormat(pattern);
    const auto holdsText = [](const TFormatSection& section) {
        return std::any_of(section.begin(), section.end(), [](const TFormatToken& t) {
            return t.kind == Kind::Code && t.text == u"@";
        });
    };
    const auto found = std::find_if(sections.begin(), sections.end(), holdsText);
    TTextFormat f;
    if (found == sections.end() && sections.size() < 4) return f;
    const TFormatSection& tokens = found != sections.end() ? *found : sections[3];
    f.present = true;
    f.literals.emplace_back();
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const TFormatToken& t = tokens[k];
        switch (t.kind) {
            case Kind::Code:
                if (t.text == u"@") {
                    f.literals.emplace_back();
                } else if (StartsWithGeneral(tokens, k)) {
                    f.literals.emplace_back();  // "General" shows the text as "@" does
                    k += 6;
                } else {
                    f.literals.back() += t.text;
                }
                break;
            case Kind::Quoted:
            case Kind::Escaped:
                f.literals.back() += t.text;
                break;
            case Kind::Pad:
                f.literals.back() += PadText(tokens, k, rs);
                break;
            case Kind::Fill:
                break;
            case Kind::Bracket:
                if (t.text.starts_with(u'$')) f.literals.back() += CurrencySymbol(t.text);
                break;
        }
    }
    // "@" alone (also padded, "_(@_)") shows the text as it is.
    if (f.literals.size() == 2 && f.literals[0].empty() && f.literals[1].empty()) f.present = false;
    return f;
}

std::u16string FormatText(const TTextFormat& f, std::u16string_view text) {
    if (!f.present) return std::u16string(text);
    std::u16string out = f.literals.front();
    for (std::size_t i = 1; i < f.literals.size(); ++i) {
        out += text;
        out += f.literals[i];
    }
    return out;
}

TNumberFormat CompileNumberFormat(std::u16string_view pattern, const TRegionalSettings& rs) {
    TNumberFormat f;
    for (const TFormatSection& tokens : LexFormat(pattern)) {
        bool text = false;
        TNumberSection sec = CompileSection(tokens, rs, text);
        // The text section ("@") and a fourth section are never used for numbers.
        if (text) continue;
        if (sec.condition) f.conditional = true;
        f.sections.push_back(std::move(sec));
        if (f.sections.size() == 3) break;
    }
    return f;
}

std::u16string FormatNumber(const TNumberFormat& f, double x, const TRegionalSettings& rs) {
    if (f.sections.empty()) return GeneralNumberText(x, rs.DecimalSeparator);
    const TNumberSection* sec = nullptr;
    bool negate = false;
    if (f.conditional) {
        // The first section whose condition holds; one without a condition takes the rest.
        for (const TNumberSection& s : f.sections) {
            if (!s.condition || s.condition->Holds(x)) {
                sec = &s;
                break;
            }
        }
        if (sec == nullptr) return GeneralNumberText(x, rs.DecimalSeparator);
        negate = x < 0 && sec->parenthesised;
    } else if (x < 0 && f.sections.size() >= 2) {
        // A negative section of its own writes the sign it wants, if any.
        sec = &f.sections[1];
        negate = true;
    } else {
        sec = &f.sections[0];
        negate = x < 0 && sec->parenthesised;
    }
    // A section that rewrites to nothing shows the general number text, sign included.
    if (sec->empty) return GeneralNumberText(x, rs.DecimalSeparator);
    return FormatSection(*sec, negate ? -x : x, rs);
}

}  // namespace format

}  // namespace vorlix
