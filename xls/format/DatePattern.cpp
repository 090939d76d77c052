#include "xls/format/DatePattern.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "xls/format/FormatLexer.h"
#include "xls/format/TextHelpers.h"
#include "xls/model/DateTime.h"

// The date pattern language, letters in either case (a run is the same character repeated
// as written):
//   y yy / yyy+      year of the century / in full
//   m mm             month number; minutes after an hour, after ":" or before seconds
//   mmm / mmmm / mmmmm  short / long month name / its first letter
//   d dd / ddd dddd  day of month / short, long day name (also aaa aaaa)
//   ddddd / dddddd+  the locale's short / long date pattern
//   h hh, n nn, s ss hour, minute, second (longer runs as the two-letter ones)
//   .0 .00 .000      after seconds: tenths, hundredths, thousandths of a second
//   [h] [mm] [ss]    elapsed hours, minutes, seconds (at least as many digits as letters)
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

namespace vorlix::format {

namespace {

using platform::TRegionalSettings;
using Text = std::u16string;
using TextView = std::u16string_view;

constexpr int kMaxDatePatternDepth = 2;
constexpr int kMaxSecondDecimals = 3;

// The first section of a spreadsheet format in the date pattern language: escapes become
// quoted text, padding a space, fills nothing, a currency tag its symbol; colours,
// conditions and locale tags go, elapsed time stays.
Text Rewrite(TextView format) {
    using Kind = TFormatToken::Kind;
    Text out;
    const std::vector<TFormatSection> sections = LexFormat(format);
    for (const TFormatToken& t : sections.front()) {
        int digits = 0;
        switch (t.kind) {
            case Kind::Code:
                out += t.text;
                break;
            case Kind::Quoted:
                out += u'"';
                out += t.text;
                out += u'"';
                break;
            case Kind::Escaped:
                if (t.text == u"\"") {
                    out += u"'\"'";
                } else {
                    out += u'"';
                    out += t.text;
                    out += u'"';
                }
                break;
            case Kind::Pad:
                out += u' ';
                break;
            case Kind::Fill:
                break;
            case Kind::Bracket:
                if (t.text.starts_with(u'$')) {
                    const TextView symbol = CurrencySymbol(t.text);
                    if (!symbol.empty()) {
                        out += u'"';
                        out += symbol;
                        out += u'"';
                    }
                } else if (ElapsedUnit(t.text, digits) != 0) {
                    out += u'[';
                    out += t.text;
                    out += u']';
                }
                break;
        }
    }
    return out;
}

class TDateCompiler {
  public:
    TDateCompiler(const TRegionalSettings& rs, TDateFormat& out) : rs_(rs), out_(out) {}

    void Compile(TextView p, int depth);

  private:
    void Add(TDateOp op, std::uint32_t count = 1) {
        TDateElement e;
        e.op = op;
        e.count = count;
        out_.elements.push_back(std::move(e));
    }
    void AddLiteral(TextView text) {
        if (text.empty()) return;
        auto& elements = out_.elements;
        if (elements.size() > sealed_ && elements.back().op == TDateOp::Literal) {
            elements.back().text += text;
            return;
        }
        TDateElement e;
        e.text = text;
        elements.push_back(std::move(e));
    }
    void AddSeparator(char16_t c) {
        if (c != 0) AddLiteral(TextView(&c, 1));
    }

    const TRegionalSettings& rs_;
    TDateFormat& out_;
    // Elements before this one are closed to merging: the end of a skippable range.
    std::size_t sealed_ = 0;
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

// Whether the next letter after `from`, outside quoted text, is a second ("mm:ss").
bool SecondsFollow(TextView p, std::size_t from) {
    for (std::size_t i = from; i < p.size(); ++i) {
        const char16_t c = p[i];
        if (c == u'"' || c == u'\'') {
            const std::size_t close = p.find(c, i + 1);
            if (close == TextView::npos) return false;
            i = close;
        } else if (IsAsciiLetter(c)) {
            return c == u's' || c == u'S';
        }
    }
    return false;
}

void TDateCompiler::Compile(TextView p, int depth) {
    if (depth >= kMaxDatePatternDepth) return;
    char16_t lastLetter = u' ';
    bool amPmSeen = false;
    std::size_t i = 0;
    while (i < p.size()) {
        const char16_t c = p[i];
        const std::size_t run = RunLength(p, i);
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(run, 0xFFFF));
        char16_t token = AsciiUpper(c);
        if (IsAsciiLetter(c)) {
            // "m" and "mm" are minutes straight after an hour element (any letter in
            // between counts), after a ":", or before seconds; longer runs stay months.
            if (token == u'M' && run <= 2 &&
                (lastLetter == u'H' || (i > 0 && p[i - 1] == u':') || SecondsFollow(p, i + run))) {
                token = u'N';
            }
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
                    Add(run == 3   ? TDateOp::MonthShort
                        : run == 5 ? TDateOp::MonthLetter
                                   : TDateOp::MonthLong);
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
                    Compile(run == 5 ? rs_.ShortDateFormat : rs_.LongDateFormat, depth + 1);
                }
                break;
            case u'H':
                Add(TDateOp::Hour, std::min(count, 2u));
                out_.elements.back().twelveHour = amPmSeen || AmPmFollows(p, i + run);
                break;
            case u'N':
                Add(TDateOp::Minute, std::min(count, 2u));
                break;
            case u'S':
                Add(TDateOp::Second, std::min(count, 2u));
                break;
            case u'T':
                Compile(run == 1 ? rs_.ShortTimeFormat : rs_.LongTimeFormat, depth + 1);
                break;
            case u'C': {
                Compile(rs_.ShortDateFormat, depth + 1);
                const std::size_t skip = out_.elements.size();
                Add(TDateOp::SkipAtMidnight, 0);
                AddLiteral(u" ");
                Compile(rs_.LongTimeFormat, depth + 1);
                out_.elements[skip].count =
                    static_cast<std::uint32_t>(out_.elements.size() - skip - 1);
                sealed_ = out_.elements.size();
                break;
            }
            case u'A': {
                const TextView rest = p.substr(i);
                if (StartsWithNoCase(rest, u"am/pm")) {
                    Add(TDateOp::AmPmAsWritten, 2);
                    out_.elements.back().text = Text(rest.substr(0, 2)) + Text(rest.substr(3, 2));
                    amPmSeen = true;
                    used = 5;
                } else if (StartsWithNoCase(rest, u"a/p")) {
                    Add(TDateOp::AmPmAsWritten, 1);
                    out_.elements.back().text = {rest[0], rest[2]};
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
            case u'[': {
                // Elapsed time: "[h]", "[mm]", "[ss]" (whatever else is literal).
                const std::size_t close = p.find(u']', i);
                int digits = 0;
                const char16_t unit = close == TextView::npos
                                          ? 0
                                          : ElapsedUnit(p.substr(i + 1, close - i - 1), digits);
                if (unit == 0) {
                    AddLiteral(p.substr(i, 1));
                    used = 1;
                    break;
                }
                Add(unit == u'h'   ? TDateOp::ElapsedHours
                    : unit == u'm' ? TDateOp::ElapsedMinutes
                                   : TDateOp::ElapsedSeconds,
                    static_cast<std::uint32_t>(std::min(digits, 16)));
                lastLetter = unit == u'h' ? u'H' : unit == u'm' ? u'N' : u'S';
                used = close + 1 - i;
                break;
            }
            case u'.':
                // Decimals of a second right after the seconds.
                if (lastLetter == u'S' && i + 1 < p.size() && p[i + 1] == u'0') {
                    const int digits = static_cast<int>(
                        std::min<std::size_t>(RunLength(p, i + 1), kMaxSecondDecimals));
                    AddSeparator(rs_.DecimalSeparator);
                    Add(TDateOp::SecondFraction, static_cast<std::uint32_t>(digits));
                    out_.secondDecimals = std::max(out_.secondDecimals, digits);
                    used = 1 + static_cast<std::size_t>(digits);
                } else {
                    AddLiteral(p.substr(i, 1));
                    used = 1;
                }
                break;
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
                AddLiteral(p.substr(i + 1, close - i - 1));
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
    std::int64_t days = 0;  // whole days, toward zero, after rounding
    bool negative = false;  // before 30 December 1899, or a negative duration
};

TDateValue DecodeDateValue(double x, int secondDecimals) {
    TDateValue v;
    // Values DecodeDateTime does not take (beyond 1E10 days, NaN) read as day 0 there too.
    if (!std::isfinite(x) || std::fabs(x) > 1e10) {
        v.parts = DecodeDateTime(x);
        return v;
    }
    // Rounded to what the format shows: whole seconds, or the decimals it has.
    std::int64_t perDay = 86400;
    for (int i = 0; i < secondDecimals; ++i)
        perDay *= 10;
    const auto units = static_cast<std::int64_t>(std::nearbyint(x * static_cast<double>(perDay)));
    v.days = units / perDay;
    v.negative = units < 0;
    v.parts = DecodeDateTime(static_cast<double>(v.days) +
                             static_cast<double>(units % perDay) / static_cast<double>(perDay));
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

void RunDateFormat(const TDateFormat& format, const TDateValue& v, const TRegionalSettings& rs,
                   Text& out) {
    const TDateTimeParts& t = v.parts;
    const auto month = static_cast<std::size_t>(t.Month - 1);
    const auto weekday = static_cast<std::size_t>(t.DayOfWeek - 1);
    // Elapsed time counts the whole span, its sign in front: -1.25 days is -30 hours.
    const std::int64_t hours = (v.days < 0 ? -v.days : v.days) * 24 + t.Hour;
    const std::int64_t minutes = hours * 60 + t.Minute;
    const auto appendElapsed = [&out, &v](std::int64_t value, int digits) {
        if (v.negative) out += u'-';
        AppendInteger(out, value, digits);
    };
    const auto& program = format.elements;
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
            case TDateOp::MonthLetter:
                out += FirstCharacter(rs.LongMonthNames[month]);
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
            case TDateOp::SecondFraction: {
                int fraction = t.Millisecond;
                for (int i = digits; i < kMaxSecondDecimals; ++i)
                    fraction /= 10;
                AppendInteger(out, fraction, digits);
                break;
            }
            case TDateOp::ElapsedHours:
                appendElapsed(hours, digits);
                break;
            case TDateOp::ElapsedMinutes:
                appendElapsed(minutes, digits);
                break;
            case TDateOp::ElapsedSeconds:
                appendElapsed(minutes * 60 + t.Second, digits);
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
                    out += e.count == 1 ? FirstCharacter(era->Name) : TextView(era->Name);
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
        }
    }
}

}  // namespace

TDateFormat CompileDatePattern(TextView pattern, const TRegionalSettings& rs) {
    TDateFormat format;
    TDateCompiler(rs, format).Compile(pattern, 0);
    return format;
}

TDateFormat CompileDateFormat(TextView format, const TRegionalSettings& rs) {
    return CompileDatePattern(Rewrite(format), rs);
}

bool ShowsDate(const TDateFormat& format) {
    return std::any_of(format.elements.begin(), format.elements.end(), [](const TDateElement& e) {
        switch (e.op) {
            case TDateOp::Year2:
            case TDateOp::Year4:
            case TDateOp::Month:
            case TDateOp::MonthShort:
            case TDateOp::MonthLong:
            case TDateOp::MonthLetter:
            case TDateOp::Day:
            case TDateOp::DayShort:
            case TDateOp::DayLong:
            case TDateOp::EraName:
            case TDateOp::EraYear:
                return true;
            default:
                return false;
        }
    });
}

std::u16string FormatDate(const TDateFormat& format, double x, const TRegionalSettings& rs) {
    Text out;
    RunDateFormat(format, DecodeDateValue(x, format.secondDecimals), rs, out);
    return out;
}

}  // namespace vorlix::format
