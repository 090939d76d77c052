#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/RegionalSettings.h"

using namespace vorlix::platform;

namespace {

// Every field but the eras, for comparing whole values.
auto Fields(const TRegionalSettings& s) {
    return std::tie(s.DecimalSeparator, s.ThousandSeparator, s.ListSeparator, s.DateSeparator,
                    s.TimeSeparator, s.CurrencyString, s.CurrencyFormat, s.NegCurrFormat,
                    s.CurrencyDecimals, s.ShortDateFormat, s.LongDateFormat, s.ShortTimeFormat,
                    s.LongTimeFormat, s.TimeAMString, s.TimePMString, s.ShortMonthNames,
                    s.LongMonthNames, s.ShortDayNames, s.LongDayNames);
}

std::optional<TRegionalSettings> Load(const std::string& name) {
    TRegionalSettings s;
    if (!TRegionalSettings::FromLocale(name, s)) return std::nullopt;
    return s;
}

// The test run compiles the locales these tests read into a folder of the build and names
// it in LOCPATH: a locale missing there is a fault of the build. A test program started by
// hand, without LOCPATH, reads the installed locales, and the machine may lack one.
bool LocalesAreCompiled() {
    const char* path = std::getenv("LOCPATH");
    return path && *path;
}

#define MISSING_LOCALE(what)                                                    \
    do {                                                                        \
        if (LocalesAreCompiled()) FAIL() << what << " is missing from LOCPATH"; \
        GTEST_SKIP() << what << " is not installed";                            \
    } while (false)

#define LOAD_LOCALE(var, name)                               \
    const std::optional<TRegionalSettings> var = Load(name); \
    if (!var) MISSING_LOCALE("locale " << (name))

// Sets environment variables for one test and puts the old values back.
class EnvironmentGuard {
  public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvironmentGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            it->second ? setenv(it->first.c_str(), it->second->c_str(), 1)
                       : unsetenv(it->first.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

TEST(RegionalSettingsTest, PosixLocalesGiveUsDefaults) {
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        SCOPED_TRACE(name);
        // Other starting values show that every field is written.
        TRegionalSettings s;
        s.DecimalSeparator = s.DateSeparator = u'x';
        s.ShortDateFormat = s.TimeAMString = s.LongMonthNames[0] = u"x";
        s.NegCurrFormat = 9;
        s.Eras.emplace_back();
        if (!TRegionalSettings::FromLocale(name, s)) {
            if (LocalesAreCompiled()) ADD_FAILURE() << "missing from LOCPATH";
            continue;  // C.UTF-8 may be missing from a machine
        }
        EXPECT_TRUE(Fields(s) == Fields(TRegionalSettings{}));
        EXPECT_TRUE(s.Eras.empty());
    }
}

TEST(RegionalSettingsTest, MissingLocaleIsRefusedAndLeavesTheOutputAlone) {
    TRegionalSettings s;
    s.ShortDateFormat = u"x";
    EXPECT_FALSE(TRegionalSettings::FromLocale("xx_YY.UTF-8", s));
    EXPECT_FALSE(TRegionalSettings::FromLocale("", s));
    EXPECT_EQ(s.ShortDateFormat, u"x");
}

TEST(RegionalSettingsTest, CommaDecimalGivesSemicolonListSeparator) {
    std::optional<TRegionalSettings> s;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "nl_NL.UTF-8", "pt_BR.UTF-8",
                             "es_ES.UTF-8", "it_IT.UTF-8", "ru_RU.UTF-8"}) {
        if ((s = Load(name))) break;
    }
    if (!s) MISSING_LOCALE("a locale with a decimal comma");
    EXPECT_EQ(s->DecimalSeparator, u',');
    EXPECT_EQ(s->ListSeparator, u';');
    EXPECT_NE(s->ThousandSeparator, u',');
}

TEST(RegionalSettingsTest, GermanLocale) {
    LOAD_LOCALE(s, "de_DE.UTF-8");
    EXPECT_EQ(s->ThousandSeparator, u'.');
    EXPECT_EQ(s->DateSeparator, u'.');
    EXPECT_EQ(s->ShortDateFormat, u"dd.mm.yyyy");
    EXPECT_EQ(s->LongTimeFormat, u"hh:mm:ss");
    EXPECT_EQ(s->ShortTimeFormat, u"hh:mm");
    // 24-hour clock: the empty AM/PM strings stay empty.
    EXPECT_EQ(s->TimeAMString, u"");
    EXPECT_EQ(s->CurrencyString, u"€");
    EXPECT_EQ(s->LongMonthNames[2], u"März");
    EXPECT_EQ(s->ShortDayNames[0], u"So");
}

TEST(RegionalSettingsTest, TwelveHourLocale) {
    LOAD_LOCALE(s, "en_US.UTF-8");
    EXPECT_EQ(s->ShortDateFormat, u"mm/dd/yyyy");
    // T_FMT is "%r", which stands for the locale's T_FMT_AMPM.
    EXPECT_EQ(s->LongTimeFormat, u"hh:mm:ss AMPM");
    EXPECT_EQ(s->ShortTimeFormat, u"hh:mm AMPM");
}

TEST(RegionalSettingsTest, MonthNamesAreTheFormsThatStandAlone) {
    LOAD_LOCALE(s, "ru_RU.UTF-8");
    EXPECT_EQ(s->LongMonthNames[0], u"Январь");  // not "января", the form inside a date
}

TEST(RegionalSettingsTest, TextOfNonUtf8LocaleIsConverted) {
    std::optional<TRegionalSettings> s;
    for (const char* name : {"de_DE.ISO-8859-1", "de_DE", "de_DE@euro"}) {
        if ((s = Load(name))) break;
    }
    if (!s) MISSING_LOCALE("a Latin-1 German locale");
    EXPECT_EQ(s->LongMonthNames[2], u"März");
}

TEST(RegionalSettingsTest, JapaneseLocaleHasErasAndKeepsDefaultSeparators) {
    LOAD_LOCALE(s, "ja_JP.UTF-8");
    EXPECT_EQ(s->ShortDateFormat, u"yyyy年mm月dd日");
    // No punctuation between the fields: the default separators stay.
    EXPECT_EQ(s->DateSeparator, u'/');
    EXPECT_EQ(s->TimeSeparator, u':');
    EXPECT_EQ(s->TimeAMString, u"午前");
    int heisei = 0;
    for (const TEra& era : s->Eras) {
        if (era.Name != u"平成" || era.Offset != 1) continue;
        ++heisei;
        EXPECT_EQ(std::tie(era.StartYear, era.StartMonth, era.StartDay, era.Direction),
                  std::make_tuple(1989, 1, 8, 1));
    }
    EXPECT_EQ(heisei, 1);
}

// The locale's monetary fields as a positive placement and a negative style.
struct MonetaryCase {
    const char* locale;
    int placement;
    int style;
};

void PrintTo(const MonetaryCase& c, std::ostream* os) {
    *os << c.locale;
}

class MonetaryStyleTest : public ::testing::TestWithParam<MonetaryCase> {};

TEST_P(MonetaryStyleTest, MapsToPlacementAndStyle) {
    LOAD_LOCALE(s, GetParam().locale);
    EXPECT_EQ(s->CurrencyFormat, GetParam().placement);
    EXPECT_EQ(s->NegCurrFormat, GetParam().style);
}

INSTANTIATE_TEST_SUITE_P(Locales, MonetaryStyleTest,
                         ::testing::Values(MonetaryCase{"en_US.UTF-8", 0, 1},    // $1, -$1
                                           MonetaryCase{"de_DE.UTF-8", 3, 8},    // 1 €, -1 €
                                           MonetaryCase{"nl_NL.UTF-8", 2, 12},   // € 1, € -1
                                           MonetaryCase{"pt_BR.UTF-8", 2, 9},    // R$ 1, -R$ 1
                                           MonetaryCase{"ja_JP.UTF-8", 0, 2}));  // ￥1, ￥-1

TEST(RegionalSettingsTest, EnvironmentIsReadCategoryByCategory) {
    if (!Load("de_DE.UTF-8")) MISSING_LOCALE("locale de_DE.UTF-8");
    EnvironmentGuard env;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LC_NUMERIC", "LC_MONETARY"}) {
        env.Set(name, nullptr);
    }
    env.Set("LANG", "de_DE.UTF-8");
    env.Set("LC_TIME", "C");
    TRegionalSettings s = TRegionalSettings::FromSystem();
    EXPECT_EQ(s.DecimalSeparator, u',');
    EXPECT_EQ(s.CurrencyString, u"€");
    EXPECT_EQ(s.ShortDateFormat, u"m/d/yyyy");
    EXPECT_EQ(s.LongMonthNames[2], u"March");

    // A category naming a locale that is not installed falls back on its own.
    env.Set("LC_TIME", "xx_YY.UTF-8");
    s = TRegionalSettings::FromSystem();
    EXPECT_EQ(s.DecimalSeparator, u',');
    EXPECT_EQ(s.ShortDateFormat, u"m/d/yyyy");

    env.Set("LC_ALL", "C");
    EXPECT_TRUE(Fields(TRegionalSettings::FromSystem()) == Fields(TRegionalSettings{}));
}

TEST(RegionalSettingsTest, ProcessWideSettingsCanBeReplaced) {
    const TRegionalSettings saved = RegionalSettings();
    TRegionalSettings mine;
    mine.ShortDateFormat = u"yyyy-mm-dd";
    SetRegionalSettings(mine);
    EXPECT_EQ(RegionalSettings().ShortDateFormat, u"yyyy-mm-dd");
    SetRegionalSettings(saved);
    EXPECT_EQ(RegionalSettings().ShortDateFormat, saved.ShortDateFormat);
}

// ---------------------------------------------------------------------------------------
// strftime patterns in the date pattern language

struct PatternCase {
    const char* strftime;
    TStrftimeUse use;
    const char16_t* expected;
};

void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << '"' << c.strftime << '"';
}

class StrftimePatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(StrftimePatternTest, Translates) {
    EXPECT_EQ(StrftimeToDatePattern(GetParam().strftime, GetParam().use), GetParam().expected);
}

constexpr TStrftimeUse kAll = TStrftimeUse::AsWritten;
constexpr TStrftimeUse kLongDate = TStrftimeUse::LongDate;
constexpr TStrftimeUse kShortTime = TStrftimeUse::ShortTime;

INSTANTIATE_TEST_SUITE_P(
    Conversions, StrftimePatternTest,
    ::testing::Values(
        PatternCase{"%d/%m/%Y", kAll, u"dd/mm/yyyy"}, PatternCase{"%-d.%-m.%Y", kAll, u"d.m.yyyy"},
        PatternCase{"%e %b %Y", kAll, u"d mmm yyyy"},
        PatternCase{"%A %B %Od", kAll, u"dddd mmmm dd"}, PatternCase{"%F", kAll, u"yyyy-mm-dd"},
        PatternCase{"%x", kAll, u"mm/dd/yy"}, PatternCase{"%Y年%m月%d日", kAll, u"yyyy年mm月dd日"},
        PatternCase{"%EC%Ey年", kAll, u"ggge年"}, PatternCase{"%H:%M:%S", kAll, u"hh:mm:ss"},
        PatternCase{"%R", kAll, u"hh:mm"}, PatternCase{"%r", kAll, u"hh:mm:ss AMPM"},
        PatternCase{"%l:%M %P", kAll, u"h:mm AMPM"}, PatternCase{"%k.%M", kAll, u"h.mm"},
        PatternCase{"%p%I時%M分%S秒", kAll, u"AMPMhh時mm分ss秒"},
        // Without an hour before it, "mm" would be the month.
        PatternCase{"%M:%S", kAll, u"nn:ss"}, PatternCase{"%H:%-M", kAll, u"hh:m"}));

INSTANTIATE_TEST_SUITE_P(Literals, StrftimePatternTest,
                         ::testing::Values(PatternCase{"%d de %B de %Y", kAll,
                                                       u"dd\" de \"mmmm\" de \"yyyy"},
                                           // A quoted literal ends the hour's hold on "m".
                                           PatternCase{"%Hh%M", kAll, u"hh\"h\"nn"},
                                           PatternCase{"%d\"%m", kAll, u"dd'\"'mm"},
                                           PatternCase{"100%% %n%d", kAll, u"100%  dd"},
                                           PatternCase{"no fields", kAll, u"\"no fields\""},
                                           PatternCase{"%d%", kAll, u"dd%"}));

INSTANTIATE_TEST_SUITE_P(
    DroppedFields, StrftimePatternTest,
    ::testing::Values(
        PatternCase{"%H:%M:%S %Z", kAll, u"hh:mm:ss"}, PatternCase{"%j %d.%m.", kAll, u"dd.mm."},
        PatternCase{"%a %d %b %Y %r %Z", kLongDate, u"dddd dd mmmm yyyy"},
        PatternCase{"%A, %H:%M %e. %B", kLongDate, u"dddd, d. mmmm"},
        PatternCase{"%Y年%m月%d日 %H時%M分%S秒", kLongDate, u"yyyy年mm月dd日"},
        PatternCase{"%Y년 %m월 %d일 (%a) %p %I시 %M분 %S초", kLongDate, u"yyyy년 mm월 dd일 (dddd)"},
        PatternCase{"%H:%M", kLongDate, u""}, PatternCase{"%I:%M:%S %p", kShortTime, u"hh:mm AMPM"},
        PatternCase{"%l:%M:%S %P %Z", kShortTime, u"h:mm AMPM"},
        PatternCase{"%p %I시 %M분 %S초", kShortTime, u"AMPM hh시 mm분"}));
