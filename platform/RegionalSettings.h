// The user's regional settings that numbers, dates and formula texts follow: separators,
// currency, date and time patterns, names of months and days, AM/PM strings and eras.
//
// One value type holds them all. The process-wide accessor, which tests and the command
// line's --locale replace, gives the defaults: each workbook takes an immutable snapshot of
// them when it is created and is read and shown with that snapshot alone. FromSystem() reads the C
// library's locale; what a locale lacks (and the C/POSIX locale as a whole) takes the
// U.S. English values that a default-constructed value holds.
//
// Date and time patterns are in the date pattern language of the value formatting engine
// ("dd/mm/yyyy", "h:mm:ss AMPM"): strftime patterns are translated when read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::platform {

// One era of the locale's calendar (only some locales, Japanese for one, have eras).
struct TEra {
    std::u16string Name;    // "平成"
    std::u16string Format;  // how a year is written, e.g. "%EC%Ey年"; may be empty
    // First day of the era and the year number it starts with ("offset").
    int StartYear = 0, StartMonth = 1, StartDay = 1;
    int Offset = 1;
    // +1 when years count up from the start, -1 when they count down.
    int Direction = 1;
};

struct TRegionalSettings {
    char16_t DecimalSeparator = u'.';
    char16_t ThousandSeparator = u',';
    char16_t ListSeparator = u',';
    char16_t DateSeparator = u'/';
    char16_t TimeSeparator = u':';
    std::u16string CurrencyString = u"$";
    int CurrencyFormat = 0;  // positive placement 0..3: $1, 1$, $ 1, 1 $
    int NegCurrFormat = 0;   // negative style 0..15: ($1), -$1, $-1, $1-, (1$), ...
    int CurrencyDecimals = 2;
    std::u16string ShortDateFormat = u"m/d/yyyy";
    std::u16string LongDateFormat = u"dddd, mmmm d, yyyy";
    std::u16string ShortTimeFormat = u"h:mm AMPM";
    std::u16string LongTimeFormat = u"h:mm:ss AMPM";
    std::u16string TimeAMString = u"AM";
    std::u16string TimePMString = u"PM";
    std::array<std::u16string, 12> ShortMonthNames = {u"Jan", u"Feb", u"Mar", u"Apr",
                                                      u"May", u"Jun", u"Jul", u"Aug",
                                                      u"Sep", u"Oct", u"Nov", u"Dec"};
    std::array<std::u16string, 12> LongMonthNames = {
        u"January", u"February", u"March",     u"April",   u"May",      u"June",
        u"July",    u"August",   u"September", u"October", u"November", u"December"};
    // Sunday first.
    std::array<std::u16string, 7> ShortDayNames = {u"Sun", u"Mon", u"Tue", u"Wed",
                                                   u"Thu", u"Fri", u"Sat"};
    std::array<std::u16string, 7> LongDayNames = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                                  u"Thursday", u"Friday", u"Saturday"};
    std::vector<TEra> Eras;  // newest first, as the C library lists them

    // The settings of the environment's locale (LC_ALL / LC_* / LANG).
    static TRegionalSettings FromSystem();
    // The settings of a named locale ("de_DE.UTF-8"); false when it is not installed.
    static bool FromLocale(const std::string& name, TRegionalSettings& out);
};

// The settings in effect for the whole process; FromSystem() until replaced. Replace them
// before other threads start reading them (at start-up, or in a test's set-up).
const TRegionalSettings& RegionalSettings();
void SetRegionalSettings(const TRegionalSettings& settings);

// An immutable copy of a set of settings, shared by whatever is shown with it. Two
// snapshots are the same settings exactly when they are the same pointer, so that what is
// derived from one (the formatting engine's rewritten patterns) can be kept with it.
using TRegionalSettingsPtr = std::shared_ptr<const TRegionalSettings>;
// The process-wide settings as a snapshot: the same pointer until they are replaced.
TRegionalSettingsPtr RegionalSettingsSnapshot();
TRegionalSettingsPtr MakeRegionalSettings(const TRegionalSettings& settings);

// What a strftime pattern is translated for.
enum class TStrftimeUse {
    AsWritten,  // every field the date pattern language can express
    LongDate,   // the date fields only, day and month names written in full
    ShortTime,  // without the seconds
};

// A strftime pattern (UTF-8) in the date pattern language: "%d/%m/%Y" gives "dd/mm/yyyy",
// "%I:%M:%S %p" gives "hh:mm:ss AMPM". %c, %x, %X and %r take their POSIX forms. Fields the
// language cannot express (time zones, week and day-of-year numbers) are left out with the
// separator that led to them; literal text holding letters or quotes is quoted.
std::u16string StrftimeToDatePattern(std::string_view pattern,
                                     TStrftimeUse use = TStrftimeUse::AsWritten);

}  // namespace vorlix::platform
