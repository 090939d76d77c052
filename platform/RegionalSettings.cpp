#include "platform/RegionalSettings.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/CodePage.h"

namespace vorlix::platform {

namespace {

// ---------------------------------------------------------------------------------------
// strftime patterns
//
// A pattern is cut into fields (conversions such as %d) and the literal text around them.
// Each field knows its element in the date pattern language and what it shows, so that a
// long date can drop the time fields and a short time the seconds.

enum class FieldClass : std::uint8_t { Date, Era, Hour, Minute, Second, AmPm, Unsupported };

struct Field {
    FieldClass cls = FieldClass::Unsupported;
    std::string_view text;      // the element as the pattern writes it
    std::string_view longText;  // the element in a long date (names in full)
    bool unpadded = false;      // minutes: "m"/"n" instead of "mm"/"nn"
};

// literals[i] stands before fields[i]; the last literal follows the last field.
struct Tokens {
    std::vector<std::string> literals{std::string()};
    std::vector<Field> fields;
};

// What %c, %x, %X and %r stand for: POSIX forms unless a locale has its own.
struct Aliases {
    std::string dateTime = "%a %b %e %H:%M:%S %Y";
    std::string date = "%m/%d/%y";
    std::string time = "%H:%M:%S";
    std::string time12 = "%I:%M:%S %p";
};

// A locale whose %x names %c names %x must not recurse for ever.
constexpr int kMaxAliasDepth = 4;

Field FieldFor(char conv, char modifier, bool unpadded) {
    using C = FieldClass;
    if (modifier == 'E') {
        // Era name and year of era; other conversions ignore the modifier.
        if (conv == 'C') return {C::Era, "ggg", "ggg"};
        if (conv == 'y') return {C::Era, "e", "e"};
        if (conv == 'Y') return {C::Era, "ggge", "ggge"};
    }
    switch (conv) {
        case 'a':
            return {C::Date, "ddd", "dddd"};
        case 'A':
            return {C::Date, "dddd", "dddd"};
        case 'b':
        case 'h':
            return {C::Date, "mmm", "mmmm"};
        case 'B':
            return {C::Date, "mmmm", "mmmm"};
        case 'd':
            return unpadded ? Field{C::Date, "d", "d"} : Field{C::Date, "dd", "dd"};
        case 'e':
            return {C::Date, "d", "d"};  // padded with a space, not a zero
        case 'm':
            return unpadded ? Field{C::Date, "m", "m"} : Field{C::Date, "mm", "mm"};
        case 'y':
        case 'g':
            return {C::Date, "yy", "yy"};
        case 'Y':
        case 'G':
            return {C::Date, "yyyy", "yyyy"};
        case 'H':
        case 'I':
            return unpadded ? Field{C::Hour, "h", "h"} : Field{C::Hour, "hh", "hh"};
        case 'k':
        case 'l':
            return {C::Hour, "h", "h"};
        case 'M':
            return {C::Minute, "", "", unpadded};
        case 'S':
            return unpadded ? Field{C::Second, "s", "s"} : Field{C::Second, "ss", "ss"};
        case 'p':
        case 'P':
            return {C::AmPm, "AMPM", "AMPM"};
        default:
            return {};  // time zones, week numbers, day of year, century, ...
    }
}

void Tokenize(std::string_view pattern, const Aliases& aliases, int depth, Tokens& out) {
    constexpr std::string_view kFlags = "_-0^#";
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i++];
        if (c != '%') {
            out.literals.back() += c;
            continue;
        }
        bool unpadded = false;
        while (i < pattern.size() && kFlags.find(pattern[i]) != std::string_view::npos) {
            if (pattern[i] == '_' || pattern[i] == '-') unpadded = true;
            ++i;
        }
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
            ++i;  // width
        char modifier = 0;
        if (i < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'O')) modifier = pattern[i++];
        if (i >= pattern.size()) {
            out.literals.back() += '%';
            break;
        }
        const char conv = pattern[i++];
        std::string_view expansion;
        switch (conv) {
            case '%':
                out.literals.back() += '%';
                continue;
            case 'n':
            case 't':
                out.literals.back() += ' ';
                continue;
            case 'c':
                expansion = aliases.dateTime;
                break;
            case 'x':
                expansion = aliases.date;
                break;
            case 'X':
                expansion = aliases.time;
                break;
            case 'r':
                expansion = aliases.time12;
                break;
            case 'T':
                expansion = "%H:%M:%S";
                break;
            case 'R':
                expansion = "%H:%M";
                break;
            case 'D':
                expansion = "%m/%d/%y";
                break;
            case 'F':
                expansion = "%Y-%m-%d";
                break;
            default:
                out.fields.push_back(FieldFor(conv, modifier, unpadded));
                out.literals.emplace_back();
                continue;
        }
        if (depth < kMaxAliasDepth) Tokenize(expansion, aliases, depth + 1, out);
    }
}

Tokens Tokenize(std::string_view pattern, const Aliases& aliases) {
    Tokens tokens;
    Tokenize(pattern, aliases, 0, tokens);
    return tokens;
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsAsciiPunct(unsigned char c) {
    return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

// The literal between two fields, in three parts. Around white space, the text before it
// belongs to the field on the left ("日" in "%d日 %H") and the text after it to the field on
// the right; the rest separates the two. Without white space, ASCII text (":", ".", "-")
// separates, and other text is a unit written after the field on the left ("時", "分").
struct LiteralParts {
    std::string_view left, sep, right;
};

LiteralParts SplitBetween(std::string_view literal) {
    const std::size_t first =
        std::find_if(literal.begin(), literal.end(), IsAsciiSpace) - literal.begin();
    if (first == literal.size()) {
        const bool ascii = std::all_of(literal.begin(), literal.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        return ascii ? LiteralParts{{}, literal, {}} : LiteralParts{literal, {}, {}};
    }
    const std::size_t last =
        literal.size() - 1 -
        (std::find_if(literal.rbegin(), literal.rend(), IsAsciiSpace) - literal.rbegin());
    return {literal.substr(0, first), literal.substr(first, last + 1 - first),
            literal.substr(last + 1)};
}

bool Keeps(FieldClass cls, TStrftimeUse use) {
    switch (cls) {
        case FieldClass::Unsupported:
            return false;
        case FieldClass::Date:
        case FieldClass::Era:
            return true;
        case FieldClass::Second:
            return use == TStrftimeUse::AsWritten;
        default:
            return use != TStrftimeUse::LongDate;
    }
}

// Writes fields and literal text into a date pattern. Literal text holding letters (which
// the pattern language would read as elements) or quote characters is quoted. Minutes are
// written "mm" straight after an hour element, where the language reads "m" as minutes,
// and "nn" anywhere else.
class PatternWriter {
  public:
    void Literal(std::string_view text) { pending_ += text; }

    void AddField(const Field& field, bool longDate) {
        FlushLiteral();
        std::string_view text = longDate ? field.longText : field.text;
        if (field.cls == FieldClass::Minute) {
            const bool afterHour = lastWasHour_ && !quotedSince_;
            text = afterHour ? (field.unpadded ? "m" : "mm") : (field.unpadded ? "n" : "nn");
        }
        out_.append(text.begin(), text.end());  // elements are ASCII
        lastWasHour_ = field.cls == FieldClass::Hour;
        quotedSince_ = false;
    }

    std::u16string Finish() {
        FlushLiteral();
        return std::move(out_);
    }

  private:
    void FlushLiteral() {
        if (pending_.empty()) return;
        const std::u16string text = Utf8ToUtf16(pending_);
        pending_.clear();
        const bool quote = std::any_of(text.begin(), text.end(), [](char16_t c) {
            return IsAsciiLetter(c) || c == u'"' || c == u'\'';
        });
        if (!quote) {
            out_ += text;
            return;
        }
        // Double quotes around the text; a double quote itself goes between single ones.
        bool open = false;
        for (char16_t c : text) {
            if (c == u'"') {
                if (open) out_ += u'"';
                out_ += u"'\"'";
                open = false;
                continue;
            }
            if (!open) out_ += u'"';
            open = true;
            out_ += c;
        }
        if (open) out_ += u'"';
        quotedSince_ = true;
    }

    std::string pending_;
    std::u16string out_;
    bool lastWasHour_ = false;
    bool quotedSince_ = false;
};

// The fields `use` keeps, with the literal text that belongs to them. Where fields were
// left out between two kept ones, the separator before the next kept field stays.
std::u16string Render(const Tokens& tokens, TStrftimeUse use) {
    const std::size_t n = tokens.fields.size();
    PatternWriter writer;
    if (n == 0) {
        writer.Literal(tokens.literals.front());
        return writer.Finish();
    }
    std::vector<LiteralParts> parts(n + 1);
    parts[0] = {{}, {}, tokens.literals[0]};
    parts[n] = {tokens.literals[n], {}, {}};
    for (std::size_t i = 1; i < n; ++i)
        parts[i] = SplitBetween(tokens.literals[i]);

    std::optional<std::size_t> prev;
    for (std::size_t j = 0; j < n; ++j) {
        if (!Keeps(tokens.fields[j].cls, use)) continue;
        if (prev) {
            writer.Literal(parts[*prev + 1].left);
            const bool adjacent = j == *prev + 1;
            writer.Literal(adjacent || !parts[j].sep.empty() ? parts[j].sep : parts[*prev + 1].sep);
        }
        writer.Literal(parts[j].right);
        writer.AddField(tokens.fields[j], use == TStrftimeUse::LongDate);
        prev = j;
    }
    if (prev) writer.Literal(parts[*prev + 1].left);
    return writer.Finish();
}

bool IsDateClass(FieldClass cls) {
    return cls == FieldClass::Date;
}
bool IsClockClass(FieldClass cls) {
    return cls == FieldClass::Hour || cls == FieldClass::Minute || cls == FieldClass::Second;
}

// The first ASCII punctuation character written between two fields of a group: "." in
// "%d.%m.%Y", ":" in "%H:%M"; none in "%Y年%m月%d日".
std::optional<char16_t> SeparatorBetween(const Tokens& tokens, bool (*inGroup)(FieldClass)) {
    for (std::size_t i = 1; i < tokens.fields.size(); ++i) {
        if (!inGroup(tokens.fields[i - 1].cls) || !inGroup(tokens.fields[i].cls)) continue;
        for (char c : tokens.literals[i]) {
            const auto u = static_cast<unsigned char>(c);
            if (IsAsciiPunct(u) && c != '"' && c != '\'' && c != '%') return char16_t{u};
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Reading a locale

struct LocaleDeleter {
    void operator()(locale_t loc) const { freelocale(loc); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

// Converts a locale's text from its code set into UTF-8; UTF-8 locales pass through.
class Utf8Converter {
  public:
    explicit Utf8Converter(const std::string& codeset) {
        std::string lower;
        for (char c : codeset) {
            if (c != '-' && c != '_') lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        }
        if (lower != "utf8" && !codeset.empty()) handle_ = iconv_open("UTF-8", codeset.c_str());
    }
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;
    ~Utf8Converter() {
        if (Valid()) iconv_close(handle_);
    }

    // A byte that is not a character of the code set becomes U+FFFD.
    std::string operator()(std::string_view text) const {
        if (!Valid()) return std::string(text);
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        char buffer[256];
        char* src = const_cast<char*>(text.data());
        std::size_t srcLeft = text.size();
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t r = iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out += "\xEF\xBF\xBD";
                ++src;
                --srcLeft;
                iconv(handle_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        iconv(handle_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return out;
    }

  private:
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle_ = reinterpret_cast<iconv_t>(-1);
};

bool IsPosixLocaleName(std::string_view name) {
    return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("C@");
}

std::string CategoryLocaleName(locale_t loc, int category) {
    const char* name = nl_langinfo_l(_NL_LOCALE_NAME(category), loc);
    return name ? name : "C";
}

// The code set that a category's texts are written in: that of the locale the category
// was loaded from, which need not be the LC_CTYPE locale of `loc`.
std::string CategoryCodeset(locale_t loc, const std::string& name) {
    const LocalePtr ctype(newlocale(LC_CTYPE_MASK, name.c_str(), nullptr));
    const char* codeset = nl_langinfo_l(CODESET, ctype ? ctype.get() : loc);
    return codeset ? codeset : "";
}

// The items of one category of a locale, as UTF-8 or UTF-16 text or as small numbers.
class CategoryReader {
  public:
    CategoryReader(locale_t loc, int category)
        : loc_(loc),
          name_(CategoryLocaleName(loc, category)),
          convert_(IsPosixLocaleName(name_) ? std::string() : CategoryCodeset(loc, name_)) {}

    // The C/POSIX locale: the category keeps the U.S. English values.
    bool UsesDefaults() const { return IsPosixLocaleName(name_); }

    const char* Raw(nl_item item) const {
        const char* text = nl_langinfo_l(item, loc_);
        return text ? text : "";
    }
    std::string Utf8(nl_item item) const { return convert_(Raw(item)); }
    std::u16string Text(nl_item item) const { return Utf8ToUtf16(Utf8(item)); }
    std::u16string Text(std::string_view raw) const { return Utf8ToUtf16(convert_(raw)); }

    // A one-byte numeric item (frac_digits, p_cs_precedes, ...); CHAR_MAX, or -1 as the C
    // locale stores it, means the locale has no value.
    std::optional<int> Small(nl_item item) const {
        const auto value = static_cast<unsigned char>(Raw(item)[0]);
        if (value >= 127) return std::nullopt;
        return value;
    }

    // A one-word item, which glibc hands back in the place of the string pointer.
    std::uint32_t Word(nl_item item) const {
        auto bits = reinterpret_cast<std::uintptr_t>(nl_langinfo_l(item, loc_));
        if constexpr (std::endian::native == std::endian::big && sizeof bits > 4) bits >>= 32;
        return static_cast<std::uint32_t>(bits);
    }

  private:
    locale_t loc_;
    std::string name_;
    Utf8Converter convert_;
};

std::optional<char16_t> SingleChar(const std::u16string& text) {
    if (text.empty() || (text[0] >= 0xD800 && text[0] <= 0xDFFF)) return std::nullopt;
    return text[0];
}

std::u16string TrimSpaces(std::u16string text) {
    const auto space = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && space(text.back()))
        text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), space);
    return std::u16string(first, text.end());
}

void ReadNumeric(locale_t loc, TRegionalSettings& s) {
    const CategoryReader r(loc, LC_NUMERIC);
    if (r.UsesDefaults()) return;
    if (auto c = SingleChar(r.Text(RADIXCHAR))) s.DecimalSeparator = *c;
    // Some locales group without a separator; the program always has one, and it must
    // differ from the decimal separator.
    const auto thousands = SingleChar(r.Text(THOUSEP));
    if (thousands && *thousands != s.DecimalSeparator) {
        s.ThousandSeparator = *thousands;
    } else {
        s.ThousandSeparator = s.DecimalSeparator == u',' ? u'.' : u',';
    }
}

// Positive placement: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $". p_sep_by_space 2 puts the space
// next to the sign, which a positive amount does not show.
int PositivePlacement(int csPrecedes, int sepBySpace) {
    const bool space = sepBySpace == 1;
    if (csPrecedes) return space ? 2 : 0;
    return space ? 3 : 1;
}

// Negative style from n_cs_precedes, n_sep_by_space (0 none, 1 between symbol and value,
// 2 between sign and what it touches) and n_sign_posn (0 parentheses, 1 sign first, 2 sign
// last, 3 sign right before the symbol, 4 sign right after it). Where no style matches a
// combination exactly the nearest one is taken: "- $1" as "-$1", "$- 1" as "$ -1".
int NegativeStyle(int csPrecedes, int sepBySpace, int signPosn) {
    static constexpr int kSymbolFirst[3][5] = {
        {0, 1, 3, 1, 2},     // ($1)   -$1    $1-    -$1    $-1
        {14, 9, 11, 9, 12},  // ($ 1)  -$ 1   $ 1-   -$ 1   $ -1
        {0, 1, 3, 1, 12},    // ($1)   -$1    $1-    -$1    $ -1
    };
    static constexpr int kSymbolLast[3][5] = {
        {4, 5, 7, 6, 7},      // (1$)   -1$    1$-    1-$    1$-
        {15, 8, 10, 13, 10},  // (1 $)  -1 $   1 $-   1- $   1 $-
        {4, 5, 7, 13, 7},     // (1$)   -1$    1$-    1- $   1$-
    };
    const int sep = std::clamp(sepBySpace, 0, 2);
    return csPrecedes ? kSymbolFirst[sep][signPosn] : kSymbolLast[sep][signPosn];
}

void ReadMonetary(locale_t loc, TRegionalSettings& s) {
    const CategoryReader r(loc, LC_MONETARY);
    if (r.UsesDefaults()) return;
    std::u16string currency = TrimSpaces(r.Text(CURRENCY_SYMBOL));
    if (currency.empty()) currency = TrimSpaces(r.Text(INT_CURR_SYMBOL));
    if (!currency.empty()) s.CurrencyString = std::move(currency);

    if (auto digits = r.Small(FRAC_DIGITS)) {
        s.CurrencyDecimals = *digits;
    } else if (auto intDigits = r.Small(INT_FRAC_DIGITS)) {
        s.CurrencyDecimals = *intDigits;
    }

    const auto pPrecedes = r.Small(P_CS_PRECEDES);
    const auto pSep = r.Small(P_SEP_BY_SPACE);
    if (pPrecedes || pSep) {
        s.CurrencyFormat = PositivePlacement(pPrecedes.value_or(1), pSep.value_or(0));
    }

    const auto nPosn = r.Small(N_SIGN_POSN);
    if (nPosn && *nPosn <= 4) {
        const int precedes = r.Small(N_CS_PRECEDES).value_or(pPrecedes.value_or(1));
        const int sep = r.Small(N_SEP_BY_SPACE).value_or(pSep.value_or(0));
        s.NegCurrFormat = NegativeStyle(precedes, sep, *nPosn);
    }
}

std::optional<TEra> ParseEra(std::string_view entry, const CategoryReader& r) {
    // direction:offset:start_date:end_date:era_name:era_format
    std::string_view parts[6];
    for (int i = 0; i < 5; ++i) {
        const std::size_t colon = entry.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        parts[i] = entry.substr(0, colon);
        entry.remove_prefix(colon + 1);
    }
    parts[5] = entry;

    TEra era;
    if (parts[0] == "+") {
        era.Direction = 1;
    } else if (parts[0] == "-") {
        era.Direction = -1;
    } else {
        return std::nullopt;
    }
    const auto number = [](std::string_view& text, int& value) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc()) return false;
        text.remove_prefix(static_cast<std::size_t>(end - text.data()));
        return true;
    };
    const auto slash = [](std::string_view& text) {
        if (text.empty() || text.front() != '/') return false;
        text.remove_prefix(1);
        return true;
    };
    std::string_view offset = parts[1];
    std::string_view start = parts[2];
    if (!number(offset, era.Offset) || !offset.empty()) return std::nullopt;
    if (!number(start, era.StartYear) || !slash(start) || !number(start, era.StartMonth) ||
        !slash(start) || !number(start, era.StartDay) || !start.empty()) {
        return std::nullopt;
    }
    era.Name = r.Text(parts[4]);
    era.Format = r.Text(parts[5]);
    return era;
}

void ReadEras(const CategoryReader& r, TRegionalSettings& s) {
    // The entries follow one another as NUL-terminated strings; their number is a separate
    // item.
    constexpr std::uint32_t kMaxEras = 64;
    const std::uint32_t count = std::min(r.Word(_NL_TIME_ERA_NUM_ENTRIES), kMaxEras);
    const char* entry = r.Raw(ERA);
    for (std::uint32_t i = 0; i < count && *entry != '\0'; ++i) {
        const std::string_view text(entry);
        if (auto era = ParseEra(text, r)) s.Eras.push_back(std::move(*era));
        entry += text.size() + 1;
    }
}

void ReadNames(const CategoryReader& r, TRegionalSettings& s) {
    const auto read = [&r](nl_item item, std::u16string& target) {
        std::u16string text = TrimSpaces(r.Text(item));
        if (!text.empty()) target = std::move(text);
    };
    // The names a month has on its own ("январь"), where the C library has them, rather
    // than the form used inside a date ("января").
#ifdef ALTMON_1
    constexpr nl_item kLongMonth = ALTMON_1, kShortMonth = _NL_ABALTMON_1;
#else
    constexpr nl_item kLongMonth = MON_1, kShortMonth = ABMON_1;
#endif
    for (int i = 0; i < 12; ++i) {
        read(kLongMonth + i, s.LongMonthNames[i]);
        read(kShortMonth + i, s.ShortMonthNames[i]);
    }
    for (int i = 0; i < 7; ++i) {
        read(DAY_1 + i, s.LongDayNames[i]);
        read(ABDAY_1 + i, s.ShortDayNames[i]);
    }
}

void ReadTime(locale_t loc, TRegionalSettings& s) {
    const CategoryReader r(loc, LC_TIME);
    if (r.UsesDefaults()) return;

    Aliases aliases;
    const auto alias = [&r](nl_item item, std::string& target) {
        std::string text = r.Utf8(item);
        if (!text.empty()) target = std::move(text);
    };
    alias(D_T_FMT, aliases.dateTime);
    alias(D_FMT, aliases.date);
    alias(T_FMT, aliases.time);
    alias(T_FMT_AMPM, aliases.time12);

    const auto assign = [](std::u16string pattern, std::u16string& target) {
        if (!pattern.empty()) target = std::move(pattern);
    };
    if (const std::string date = r.Utf8(D_FMT); !date.empty()) {
        const Tokens tokens = Tokenize(date, aliases);
        assign(Render(tokens, TStrftimeUse::AsWritten), s.ShortDateFormat);
        if (auto sep = SeparatorBetween(tokens, IsDateClass)) s.DateSeparator = *sep;
        // The C library has no long date; the date part of the locale's date and time
        // pattern, with names in full, stands in for it.
        std::u16string longDate =
            Render(Tokenize(aliases.dateTime, aliases), TStrftimeUse::LongDate);
        if (longDate.empty()) longDate = Render(tokens, TStrftimeUse::LongDate);
        assign(std::move(longDate), s.LongDateFormat);
    }
    std::string time = r.Utf8(T_FMT);
    if (time.empty()) time = r.Utf8(T_FMT_AMPM);
    if (!time.empty()) {
        const Tokens tokens = Tokenize(time, aliases);
        assign(Render(tokens, TStrftimeUse::AsWritten), s.LongTimeFormat);
        assign(Render(tokens, TStrftimeUse::ShortTime), s.ShortTimeFormat);
        if (auto sep = SeparatorBetween(tokens, IsClockClass)) s.TimeSeparator = *sep;
    }
    // Locales on the 24-hour clock have empty AM/PM strings and keep them: their time
    // patterns have no AM/PM element.
    s.TimeAMString = r.Text(AM_STR);
    s.TimePMString = r.Text(PM_STR);
    ReadNames(r, s);
    ReadEras(r, s);
}

TRegionalSettings Read(locale_t loc) {
    TRegionalSettings s;
    ReadNumeric(loc, s);
    ReadMonetary(loc, s);
    ReadTime(loc, s);
    s.ListSeparator = s.DecimalSeparator == u',' ? u';' : u',';
    return s;
}

// The environment's locale, category by category, so that one category naming a locale
// that is not installed leaves the others as the environment says; that category stays C.
LocalePtr EnvironmentLocale() {
    LocalePtr loc(newlocale(LC_ALL_MASK, "C", nullptr));
    if (!loc) return loc;
    for (int mask : {LC_CTYPE_MASK, LC_NUMERIC_MASK, LC_MONETARY_MASK, LC_TIME_MASK}) {
        // On success the base locale is reused or freed by newlocale; on failure it stays.
        if (locale_t next = newlocale(mask, "", loc.get())) {
            static_cast<void>(loc.release());
            loc.reset(next);
        }
    }
    return loc;
}

TRegionalSettings& Current() {
    static TRegionalSettings settings = TRegionalSettings::FromSystem();
    return settings;
}

}  // namespace

std::u16string StrftimeToDatePattern(std::string_view pattern, TStrftimeUse use) {
    return Render(Tokenize(pattern, Aliases{}), use);
}

TRegionalSettings TRegionalSettings::FromSystem() {
    const LocalePtr loc = EnvironmentLocale();
    return loc ? Read(loc.get()) : TRegionalSettings{};
}

bool TRegionalSettings::FromLocale(const std::string& name, TRegionalSettings& out) {
    if (name.empty()) return false;  // "" would mean the environment's locale
    const LocalePtr loc(newlocale(LC_ALL_MASK, name.c_str(), nullptr));
    if (!loc) return false;
    out = Read(loc.get());
    return true;
}

const TRegionalSettings& RegionalSettings() {
    return Current();
}

namespace {
std::uint64_t generation = 0;
}  // namespace

void SetRegionalSettings(const TRegionalSettings& settings) {
    Current() = settings;
    ++generation;
}

std::uint64_t RegionalSettingsGeneration() {
    return generation;
}

}  // namespace vorlix::platform
