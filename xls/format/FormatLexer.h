// Cuts a spreadsheet number format into sections and the sections into the pieces a
// spreadsheet tells apart: format codes, quoted text, escaped characters, padding ("_x",
// a space the width of x), fills ("*x", x repeated to the column's width) and bracketed
// codes (colours, conditions, currency and locale tags, elapsed time).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::format {

struct TFormatToken {
    enum class Kind : unsigned char {
        Code,     // one character of the format's own language ("0", "#", "y", ",", ...)
        Quoted,   // "text": the text between the quotes
        Escaped,  // \x: the character x
        Pad,      // _x: the character x (empty at the very end of a section)
        Fill,     // *x: the character x (empty at the very end of a section)
        Bracket,  // [text]: the text between the brackets
    };
    Kind kind = Kind::Code;
    std::u16string_view text;
};

using TFormatSection = std::vector<TFormatToken>;

// The sections of a format, split at each ";" that is a format code. Every token views
// `format`, which must outlive the result. An unclosed quote or bracket runs to the end.
std::vector<TFormatSection> LexFormat(std::u16string_view format);

// "[h]", "[hh]", "[mm]", "[S]" ...: one of h, m, s repeated, in either case. Returns the
// letter in lower case and sets `digits` to the run's length, or returns 0.
char16_t ElapsedUnit(std::u16string_view bracket, int& digits);

// The symbol of a currency tag "[$€-407]" ("€"), "[$ANG]" ("ANG"); empty for a locale tag
// without one ("[$-409]"). Only for brackets that begin with "$".
std::u16string_view CurrencySymbol(std::u16string_view bracket);

// A section condition such as "[>100]" or "[<=-5.5]".
struct TCondition {
    enum class Op : unsigned char { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };
    Op op = Op::Equal;
    double operand = 0;
    bool Holds(double x) const;
};
std::optional<TCondition> ParseCondition(std::u16string_view bracket);

// Whether any section holds an elapsed-time code ("[h]", "[mm]", "[ss]", ...), which shows
// a duration rather than a point in time.
bool HasElapsedTime(std::u16string_view format);

}  // namespace vorlix::format
