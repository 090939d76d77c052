#include "xls/format/TFormatStrings.h"

#include <algorithm>

#include "platform/RegionalSettings.h"
#include "xls/format/DatePattern.h"
#include "xls/format/FormatLexer.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

// Index 4 follows the accounting formats 41 to 44, as the file format lists them.
const TBuiltInFormat kBuiltInFormats[36] = {
    {0, u"General"},
    {1, u"0"},
    {2, u"0.00"},
    {3, u"#,##0"},
    {5, u"($#,##0_);($#,##0)"},
    {6, u"($#,##0_);[Red]($#,##0)"},
    {7, u"($#,##0.00_);($#,##0.00)"},
    {8, u"($#,##0.00_);[Red]($#,##0.00)"},
    {9, u"0%"},
    {10, u"0.00%"},
    {11, u"0.00E+00"},
    {12, u"# ?/?"},
    {13, u"# ?\?/??"},  // "\?" keeps the compiler from warning of a trigraph
    {14, u"mm/dd/yy"},
    {15, u"dd-mmm-yy"},
    {16, u"dd-mmm"},
    {17, u"mmm-yy"},
    {18, u"h:mm AM/PM"},
    {19, u"h:mm:ss AM/PM"},
    {20, u"h:mm"},
    {21, u"h:mm:ss"},
    {22, u"mm/dd/yy h:mm"},
    {42, u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)"},
    {41, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
    {44, u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)"},
    {43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
    {4, u"#,##0.00"},
    {37, u"(#,##0_);(#,##0)"},
    {38, u"(#,##0_);[Red](#,##0)"},
    {39, u"(#,##0.00_);(#,##0.00)"},
    {40, u"(#,##0.00_);[Red](#,##0.00)"},
    {45, u"mm:ss"},
    {46, u"[h]:mm:ss"},
    {47, u"mm:ss.0"},
    {48, u"##0.0E+0"},
    {49, u"@"},
};

std::string_view FormatKindName(TFormatKind kind) {
    switch (kind) {
        case TFormatKind::General:
            return "general";
        case TFormatKind::Double:
            return "double";
        case TFormatKind::Date:
            return "date";
        case TFormatKind::Text:
            return "text";
        case TFormatKind::Integer:
            return "integer";
        case TFormatKind::None:
            break;
    }
    return "";
}

TFormatStrings::TFormatStrings() {
    entries_.reserve(std::size(kBuiltInFormats));
    for (const TBuiltInFormat& f : kBuiltInFormats) {
        entries_.push_back({f.Index, std::u16string(f.Text)});
    }
}

int TFormatStrings::SetFormat(std::u16string_view text, std::uint16_t index) {
    const int position = FindFormat(index);
    if (position >= 0) {
        entries_[static_cast<std::size_t>(position)].Text = text;
        return position;
    }
    entries_.push_back({index, std::u16string(text)});
    return FormatCount() - 1;
}

int TFormatStrings::FindFormat(std::uint16_t index) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [index](const TFormatEntry& e) { return e.Index == index; });
    return it == entries_.end() ? -1 : static_cast<int>(it - entries_.begin());
}

TFormatEntry TFormatStrings::GetFormat(int position) const {
    return Entry(position);
}

const TFormatEntry& TFormatStrings::Entry(int position) const {
    if (position < 0 || position >= FormatCount()) throw EListError(position);
    return entries_[static_cast<std::size_t>(position)];
}

TFormatKind FormatKindOfIndex(std::uint16_t index) {
    if (index == 0) return TFormatKind::General;
    if ((index >= 1 && index <= 13) || (index >= 37 && index <= 44) || index == 48) {
        return TFormatKind::Double;
    }
    if ((index >= 14 && index <= 22) || (index >= 45 && index <= 47)) return TFormatKind::Date;
    if (index == 49) return TFormatKind::Text;
    return TFormatKind::None;
}

namespace {

// Letters of dates and times, with the era ("g", "e") and the letters the date pattern
// language adds ("n" minutes, "t" the locale's time, "c" its date and time).
bool IsDateLetter(char16_t c) {
    return std::u16string_view(u"ymdhsgentc").find(c) != std::u16string_view::npos;
}

}  // namespace

// A format is read the way a spreadsheet reads it: quoted text, escaped characters,
// padding, fills and bracketed codes say nothing about its kind, except that elapsed time
// ("[h]") is a time. What is left is weighed: date and time letters against digit
// placeholders, the larger count winning ("mm:ss.0" is a time, its "0" the tenths of a
// second; "0.0 m" a number).
TFormatKind FormatKindOfText(std::u16string_view text) {
    std::u16string codes;  // the format codes, lower case, sections joined by ";"
    int elapsed = 0;
    bool literal = false;  // quoted or escaped text
    bool first = true;
    for (const format::TFormatSection& section : format::LexFormat(text)) {
        if (!first) codes += u';';
        first = false;
        for (const format::TFormatToken& t : section) {
            int digits = 0;
            switch (t.kind) {
                case format::TFormatToken::Kind::Code:
                    for (char16_t c : t.text)
                        codes += c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
                    break;
                case format::TFormatToken::Kind::Quoted:
                case format::TFormatToken::Kind::Escaped:
                    literal = true;
                    break;
                case format::TFormatToken::Kind::Bracket:
                    if (format::ElapsedUnit(t.text, digits) != 0) ++elapsed;
                    break;
                default:
                    break;
            }
        }
    }
    if (codes.empty() && elapsed == 0 && !literal) return TFormatKind::General;
    // "General" on its own, in any letter case, also behind a colour or a locale tag.
    if (codes == u"general" && !literal) return TFormatKind::General;
    if (codes == u"@" && elapsed == 0) return TFormatKind::Text;

    // "General" inside a longer format is a number placeholder of its own.
    std::u16string rest;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes.compare(i, 7, u"general") == 0) {
            rest += u'#';
            i += 6;
        } else {
            rest += codes[i];
        }
    }
    int dateLetters = elapsed;
    int placeholders = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char16_t c = rest[i];
        if (c == u'e' && i + 1 < rest.size() && (rest[i + 1] == u'+' || rest[i + 1] == u'-')) {
            ++i;  // the exponent of scientific notation
        } else if (c == u'a' && rest.compare(i, 5, u"am/pm") == 0) {
            ++dateLetters;  // the time's AM or PM marker
            i += 4;
        } else if (c == u'a' && rest.compare(i, 3, u"a/p") == 0) {
            ++dateLetters;  // its short form, "A" or "P"
            i += 2;
        } else if (IsDateLetter(c) || (c == u'a' && rest.compare(i, 3, u"aaa") == 0)) {
            ++dateLetters;  // "aaa": a day's name
        } else if (c == u'.' && i > 0 && rest[i - 1] == u's') {
            while (i + 1 < rest.size() && rest[i + 1] == u'0')
                ++i;  // fractions of a second
        } else if (c == u'0' || c == u'#' || c == u'?') {
            ++placeholders;
        }
    }
    if (dateLetters > placeholders) return TFormatKind::Date;
    const bool hasText = rest.find(u'@') != std::u16string::npos;
    if (placeholders == 0 && hasText) return TFormatKind::Text;
    const bool decimals =
        rest.find(u',') != std::u16string::npos || rest.find(u'.') != std::u16string::npos;
    return decimals ? TFormatKind::Double : TFormatKind::Integer;
}

bool FormatHasElapsedTime(std::u16string_view text) {
    return format::HasElapsedTime(text);
}

bool FormatHasDate(std::u16string_view text, const platform::TRegionalSettings& settings) {
    if (text.empty()) return true;
    return format::ShowsDate(format::CompileDateFormat(text, settings));
}

bool FormatHasDate(std::u16string_view text) {
    return FormatHasDate(text, platform::RegionalSettings());
}

bool IsCustomFormatIndex(std::uint16_t index) {
    return index > 163;
}

namespace {

constexpr bool IsParenthesisedStyle(int style) {
    return style == 0 || style == 4 || style == 14 || style == 15;
}

// "#,##0" with `decimals` zeros after a point.
std::u16string GroupedNumber(int decimals) {
    std::u16string num = u"#,##0";
    if (decimals > 0) {
        num += u'.';
        num.append(static_cast<std::size_t>(decimals), u'0');
    }
    return num;
}

// Indexes 5 to 8 and 41 to 44: the currency placed and signed as the locale places it.
// The regional form leaves out the [Red] by which 6 and 8 differ from 5 and 7.
std::u16string CurrencyPattern(std::uint16_t index, const platform::TRegionalSettings& rs) {
    const bool withDecimals = index == 7 || index == 8 || index == 43 || index == 44;
    const std::u16string num = GroupedNumber(withDecimals ? rs.CurrencyDecimals : 0);
    const std::u16string cur = u"\"" + rs.CurrencyString + u"\"";
    // Values out of range read as the U.S. forms, "$1" and "($1)".
    const int placement = rs.CurrencyFormat >= 0 && rs.CurrencyFormat <= 3 ? rs.CurrencyFormat : 0;
    const int style = rs.NegCurrFormat >= 0 && rs.NegCurrFormat <= 15 ? rs.NegCurrFormat : 0;

    std::u16string pos;
    switch (placement) {
        case 0:
            pos = cur + num;
            break;
        case 1:
            pos = num + cur;
            break;
        case 2:
            pos = cur + u" " + num;
            break;
        default:
            pos = num + u" " + cur;
            break;
    }
    pos += u'_';
    if (IsParenthesisedStyle(style) && index >= 41) pos = u"_(" + pos + u")";

    std::u16string neg;
    switch (style) {
        case 0:
            neg = u"(" + cur + num + u")";
            break;
        case 1:
            neg = u"-" + cur + num;
            break;
        case 2:
            neg = cur + u"-" + num;
            break;
        case 3:
            neg = cur + num + u"-";
            break;
        case 4:
            neg = u"(" + num + cur + u")";
            break;
        case 5:
            neg = u"-" + num + cur;
            break;
        case 6:
            neg = num + u"-" + cur;
            break;
        case 7:
            neg = num + cur + u"-";
            break;
        case 8:
            neg = u"-" + num + u" " + cur;
            break;
        case 9:
            neg = u"-" + cur + u" " + num;
            break;
        case 10:
            neg = num + u" " + cur + u"-";
            break;
        case 11:
            neg = cur + u" " + num + u"-";
            break;
        case 12:
            neg = cur + u" -" + num;
            break;
        case 13:
            neg = num + u"- " + cur;
            break;
        case 14:
            neg = u"(" + cur + u" " + num + u")";
            break;
        default:
            neg = u"(" + num + u" " + cur + u")";
            break;
    }
    return pos + u";" + neg;
}

// Indexes 37 to 40: grouped numbers, negatives in parentheses when the locale's currency
// negatives are.
std::u16string GroupedPattern(std::uint16_t index, const platform::TRegionalSettings& rs) {
    const std::u16string num = GroupedNumber(index >= 39 ? rs.CurrencyDecimals : 0);
    if (IsParenthesisedStyle(rs.NegCurrFormat)) return u"(" + num + u"_);(" + num + u")";
    return num + u"_;" + num;
}

std::u16string TableText(std::uint16_t index) {
    for (const TBuiltInFormat& f : kBuiltInFormats) {
        if (f.Index == index) return std::u16string(f.Text);
    }
    return {};
}

}  // namespace

std::u16string BuiltInFormatText(std::uint16_t index) {
    return BuiltInFormatText(index, platform::RegionalSettings());
}

std::u16string BuiltInFormatText(std::uint16_t index, const platform::TRegionalSettings& rs) {
    if ((index >= 5 && index <= 8) || (index >= 41 && index <= 44)) {
        return CurrencyPattern(index, rs);
    }
    if (index >= 37 && index <= 40) return GroupedPattern(index, rs);
    if (index == 14) return rs.ShortDateFormat;
    if (index == 22) return rs.ShortDateFormat + u" " + rs.ShortTimeFormat;
    if (index <= 4 || (index >= 9 && index <= 13) || (index >= 15 && index <= 21) ||
        (index >= 45 && index <= 49)) {
        std::u16string text = TableText(index);
        if (index >= 15 && index <= 17) {
            std::replace(text.begin(), text.end(), u'-', rs.DateSeparator);
        }
        return text;
    }
    return {};
}

}  // namespace vorlix
