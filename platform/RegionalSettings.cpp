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
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/CodePage.h"
#include "platform/StrftimePattern.h"

namespace vorlix::platform {

namespace {

using strftime::Aliases;
using strftime::IsClockClass;
using strftime::IsDateClass;
using strftime::Render;
using strftime::SeparatorBetween;
using strftime::Tokenize;
using strftime::Tokens;

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
// The snapshot of Current(), made on first use and again after each replacement. The lock
// only guards the pointer: snapshots themselves never change.
std::mutex snapshotLock;
TRegionalSettingsPtr snapshot;
}  // namespace

void SetRegionalSettings(const TRegionalSettings& settings) {
    Current() = settings;
    const std::lock_guard lock(snapshotLock);
    snapshot.reset();
}

TRegionalSettingsPtr RegionalSettingsSnapshot() {
    const std::lock_guard lock(snapshotLock);
    if (!snapshot) snapshot = MakeRegionalSettings(Current());
    return snapshot;
}

TRegionalSettingsPtr MakeRegionalSettings(const TRegionalSettings& settings) {
    return std::make_shared<const TRegionalSettings>(settings);
}

}  // namespace vorlix::platform
