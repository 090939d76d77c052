#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/RegionalSettings.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"

using namespace vorlix;
using platform::TRegionalSettings;

namespace {

// Installs regional settings for one test and puts the previous ones back.
class RegionalFixture : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = platform::RegionalSettings(); }
    void TearDown() override { platform::SetRegionalSettings(saved_); }
    static void Use(const TRegionalSettings& s) { platform::SetRegionalSettings(s); }

  private:
    TRegionalSettings saved_;
};

}  // namespace

TEST(TFormatStringsTest, NewCatalogueHoldsTheBuiltInsInOrder) {
    // Index 4 follows 41 to 44, and 42 comes before 41.
    constexpr std::uint16_t kOrder[36] = {0,  1,  2,  3,  5,  6,  7,  8,  9,  10, 11, 12,
                                          13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 42, 41,
                                          44, 43, 4,  37, 38, 39, 40, 45, 46, 47, 48, 49};
    const TFormatStrings formats;
    ASSERT_EQ(formats.FormatCount(), 36);
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(formats.GetFormat(i).Index, kOrder[i]) << i;
        EXPECT_EQ(formats.GetFormat(i).Text, kBuiltInFormats[i].Text) << i;
    }
    EXPECT_EQ(formats.GetFormat(12).Text, u"# ?\?/??");
    EXPECT_EQ(formats.GetFormat(22).Text, uR"(_($* #,##0_);_($* (#,##0);_($* "-"_);_(@_))");
    EXPECT_EQ(formats.GetFormat(25).Text, uR"(_(* #,##0.00_);_(* (#,##0.00);_(* "-"??_);_(@_))");
    EXPECT_EQ(formats.GetFormat(26).Text, u"#,##0.00");
    EXPECT_EQ(formats.FindFormat(4), 26);
    EXPECT_EQ(formats.FindFormat(23), -1);
    EXPECT_EQ(formats.FindFormat(164), -1);
}

TEST(TFormatStringsTest, SetFormatAppendsOrReplaces) {
    TFormatStrings formats;
    EXPECT_EQ(formats.SetFormat(u"0.000", 164), 36);
    EXPECT_EQ(formats.FindFormat(164), 36);
    EXPECT_EQ(formats.SetFormat(u"0.0000", 164), 36);
    EXPECT_EQ(formats.FormatCount(), 37);
    EXPECT_EQ(formats.GetFormat(36).Text, u"0.0000");
    EXPECT_EQ(formats.SetFormat(u"@", 200), 37);

    // A FORMAT record for a built-in index replaces the built-in text in place.
    EXPECT_EQ(formats.SetFormat(u"dd/mm/yyyy", 14), 13);
    EXPECT_EQ(formats.GetFormat(13).Text, u"dd/mm/yyyy");
    EXPECT_EQ(formats.FormatCount(), 38);
}

TEST(TFormatStringsTest, PositionsOutsideTheListRaiseListError) {
    TFormatStrings formats;
    formats.SetFormat(u"0.0", 170);
    EXPECT_NO_THROW(formats.GetFormat(36));
    for (int position : {37, -1}) {
        try {
            formats.GetFormat(position);
            ADD_FAILURE() << "no error for " << position;
        } catch (const EListError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "List index out of bounds (" + std::to_string(position) + ")");
        }
        EXPECT_THROW(formats.Entry(position), EListError);
    }
}

TEST(TFormatStringsTest, KindOfIndex) {
    const auto kind = FormatKindOfIndex;
    EXPECT_EQ(kind(0), TFormatKind::General);
    for (std::uint16_t i : {1, 4, 13, 37, 41, 44, 48})
        EXPECT_EQ(kind(i), TFormatKind::Double) << i;
    for (std::uint16_t i : {14, 18, 22, 45, 46, 47})
        EXPECT_EQ(kind(i), TFormatKind::Date) << i;
    EXPECT_EQ(kind(49), TFormatKind::Text);
    for (std::uint16_t i : {23, 30, 36, 50, 163, 164, 65535}) {
        EXPECT_EQ(kind(i), TFormatKind::None) << i;
    }
}

TEST(TFormatStringsTest, KindNamesAndCustomIndexes) {
    EXPECT_EQ(FormatKindName(TFormatKind::Integer), "integer");
    EXPECT_EQ(FormatKindName(TFormatKind::None), "");
    EXPECT_FALSE(IsCustomFormatIndex(163));
    EXPECT_TRUE(IsCustomFormatIndex(164));
}

// ---------------------------------------------------------------------------------------
// Classification of format texts

class KindOfTextTest : public ::testing::TestWithParam<std::tuple<const char16_t*, TFormatKind>> {};

TEST_P(KindOfTextTest, Classifies) {
    EXPECT_EQ(FormatKindOfText(std::get<0>(GetParam())), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, KindOfTextTest,
    ::testing::Values(
        std::make_tuple(u"", TFormatKind::General),
        std::make_tuple(u"GENERAL", TFormatKind::General),
        std::make_tuple(u"[$-409]General", TFormatKind::General),
        std::make_tuple(u"[$-409]", TFormatKind::General), std::make_tuple(u"@", TFormatKind::Text),
        std::make_tuple(u"mm:ss.0", TFormatKind::Date), std::make_tuple(u"h:mm", TFormatKind::Date),
        std::make_tuple(u"#,##0", TFormatKind::Double),
        std::make_tuple(u"0.00", TFormatKind::Double),
        std::make_tuple(u"[$€-407]0", TFormatKind::Integer),
        std::make_tuple(u"0", TFormatKind::Integer),
        std::make_tuple(u"# ?/?", TFormatKind::Integer),
        std::make_tuple(u"?/?", TFormatKind::Integer),
        // Colours, conditions, locale tags, quoted and escaped text count for nothing.
        std::make_tuple(u"[Black]@", TFormatKind::Text),
        std::make_tuple(u"\"abc\"@", TFormatKind::Text),
        std::make_tuple(u"[Blue]General", TFormatKind::General),
        std::make_tuple(u"[$-F400]h:mm:ss\\ AM/PM", TFormatKind::Date),
        std::make_tuple(u"[>100]0", TFormatKind::Integer),
        std::make_tuple(u"0 \"days\"", TFormatKind::Integer),
        std::make_tuple(u"\\d\\a\\y 0", TFormatKind::Integer),
        // Tenths of a second are no digit placeholders.
        std::make_tuple(u"mm:ss.0;@", TFormatKind::Date),
        std::make_tuple(u"hh:mm:ss.00", TFormatKind::Date),
        std::make_tuple(u"[h]", TFormatKind::Date), std::make_tuple(u"[ss]", TFormatKind::Date),
        // Date letters against digit placeholders: the larger count wins.
        std::make_tuple(u"0.0 m", TFormatKind::Double),
        std::make_tuple(u"yyyy-mm-dd 0", TFormatKind::Date),
        std::make_tuple(u"aaa", TFormatKind::Date),
        // "General" with text of its own is a number format.
        std::make_tuple(u"General\" kg\"", TFormatKind::Integer),
        std::make_tuple(u"General_)", TFormatKind::General),
        // Literal text alone shows as it stands: a number format, never a date.
        std::make_tuple(u"\"-\"", TFormatKind::Integer),
        std::make_tuple(u"x[$-41D]", TFormatKind::Integer),
        std::make_tuple(u"[$General", TFormatKind::General)));

TEST(FormatKindTest, ElapsedTimeIsFoundOutsideQuotes) {
    EXPECT_TRUE(FormatHasElapsedTime(u"[h]:mm:ss"));
    EXPECT_TRUE(FormatHasElapsedTime(u"[HH]:MM;@"));
    EXPECT_TRUE(FormatHasElapsedTime(u"0;[ss]"));
    EXPECT_FALSE(FormatHasElapsedTime(u"\"[h]\" h:mm"));
    EXPECT_FALSE(FormatHasElapsedTime(u"[Red][hm]"));
    EXPECT_FALSE(FormatHasElapsedTime(u"h:mm"));
}

// ---------------------------------------------------------------------------------------
// Regional forms of the built-in formats

using BuiltInTextTest = RegionalFixture;

TEST_F(BuiltInTextTest, WorkedCurrencyExample) {
    Use(TRegionalSettings{});  // "$", placement 0, style 0, two decimals
    EXPECT_EQ(BuiltInFormatText(7), uR"("$"#,##0.00_;("$"#,##0.00))");
    EXPECT_EQ(BuiltInFormatText(43), uR"(_("$"#,##0.00_);("$"#,##0.00))");
    EXPECT_EQ(BuiltInFormatText(5), uR"("$"#,##0_;("$"#,##0))");
    EXPECT_EQ(BuiltInFormatText(6), BuiltInFormatText(5));
    EXPECT_EQ(BuiltInFormatText(8), BuiltInFormatText(7));
    EXPECT_EQ(BuiltInFormatText(41), uR"(_("$"#,##0_);("$"#,##0))");
    EXPECT_EQ(BuiltInFormatText(42), BuiltInFormatText(41));
    EXPECT_EQ(BuiltInFormatText(44), BuiltInFormatText(43));
}

TEST_F(BuiltInTextTest, CurrencyDecimalsAndString) {
    TRegionalSettings s;
    s.CurrencyString = u"kr.";
    s.CurrencyFormat = 3;
    s.NegCurrFormat = 8;
    s.CurrencyDecimals = 3;
    Use(s);
    EXPECT_EQ(BuiltInFormatText(7), uR"(#,##0.000 "kr."_;-#,##0.000 "kr.")");
    EXPECT_EQ(BuiltInFormatText(5), uR"(#,##0 "kr."_;-#,##0 "kr.")");
    // Only the parenthesised styles pad the positive section of 41 to 44.
    EXPECT_EQ(BuiltInFormatText(44), uR"(#,##0.000 "kr."_;-#,##0.000 "kr.")");
    s.CurrencyDecimals = 0;
    Use(s);
    EXPECT_EQ(BuiltInFormatText(8), uR"(#,##0 "kr."_;-#,##0 "kr.")");
}

// The 16 negative styles under the 4 placements, for "$" and two decimals.
class CurrencyPatternTest : public RegionalFixture,
                            public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(CurrencyPatternTest, BuildsBothSections) {
    static const std::u16string kPositive[4] = {
        uR"("$"#,##0.00_)",
        uR"(#,##0.00"$"_)",
        uR"("$" #,##0.00_)",
        uR"(#,##0.00 "$"_)",
    };
    static const std::u16string kNegative[16] = {
        uR"(("$"#,##0.00))", uR"(-"$"#,##0.00)",  uR"("$"-#,##0.00)",   uR"("$"#,##0.00-)",
        uR"((#,##0.00"$"))", uR"(-#,##0.00"$")",  uR"(#,##0.00-"$")",   uR"(#,##0.00"$"-)",
        uR"(-#,##0.00 "$")", uR"(-"$" #,##0.00)", uR"(#,##0.00 "$"-)",  uR"("$" #,##0.00-)",
        uR"("$" -#,##0.00)", uR"(#,##0.00- "$")", uR"(("$" #,##0.00))", uR"((#,##0.00 "$"))",
    };
    const auto [style, placement] = GetParam();
    TRegionalSettings s;
    s.NegCurrFormat = style;
    s.CurrencyFormat = placement;
    Use(s);
    const std::u16string& pos = kPositive[placement];
    const std::u16string& neg = kNegative[style];
    const bool parenthesised = style == 0 || style == 4 || style == 14 || style == 15;
    EXPECT_EQ(BuiltInFormatText(7), pos + u";" + neg);
    EXPECT_EQ(BuiltInFormatText(8), pos + u";" + neg);
    EXPECT_EQ(BuiltInFormatText(43), (parenthesised ? u"_(" + pos + u")" : pos) + u";" + neg);
}

INSTANTIATE_TEST_SUITE_P(StylesAndPlacements, CurrencyPatternTest,
                         ::testing::Combine(::testing::Range(0, 16), ::testing::Range(0, 4)));

TEST_F(BuiltInTextTest, OutOfRangeStylesReadAsUsForms) {
    TRegionalSettings s;
    s.CurrencyFormat = 7;
    s.NegCurrFormat = 16;
    Use(s);
    EXPECT_EQ(BuiltInFormatText(7), uR"("$"#,##0.00_;("$"#,##0.00))");
}

TEST_F(BuiltInTextTest, GroupedNumbers) {
    TRegionalSettings s;
    s.CurrencyDecimals = 3;
    for (int style : {0, 4, 14, 15}) {
        s.NegCurrFormat = style;
        Use(s);
        EXPECT_EQ(BuiltInFormatText(37), u"(#,##0_);(#,##0)") << style;
        EXPECT_EQ(BuiltInFormatText(39), u"(#,##0.000_);(#,##0.000)") << style;
        EXPECT_EQ(BuiltInFormatText(40), u"(#,##0.000_);(#,##0.000)") << style;
    }
    for (int style : {1, 8, 13}) {
        s.NegCurrFormat = style;
        Use(s);
        EXPECT_EQ(BuiltInFormatText(37), u"#,##0_;#,##0") << style;
        EXPECT_EQ(BuiltInFormatText(40), u"#,##0.000_;#,##0.000") << style;
    }
}

TEST_F(BuiltInTextTest, DatesFollowTheLocale) {
    TRegionalSettings s;
    s.DateSeparator = u'.';
    s.ShortDateFormat = u"dd.mm.yyyy";
    s.ShortTimeFormat = u"hh:mm";
    Use(s);
    EXPECT_EQ(BuiltInFormatText(14), u"dd.mm.yyyy");
    EXPECT_EQ(BuiltInFormatText(15), u"dd.mmm.yy");
    EXPECT_EQ(BuiltInFormatText(16), u"dd.mmm");
    EXPECT_EQ(BuiltInFormatText(17), u"mmm.yy");
    EXPECT_EQ(BuiltInFormatText(22), u"dd.mm.yyyy hh:mm");
    // Times keep their table text.
    EXPECT_EQ(BuiltInFormatText(18), u"h:mm AM/PM");
    EXPECT_EQ(BuiltInFormatText(45), u"mm:ss");
}

TEST_F(BuiltInTextTest, OtherIndexesGiveTheirTableTextOrNothing) {
    Use(TRegionalSettings{});
    EXPECT_EQ(BuiltInFormatText(0), u"General");
    EXPECT_EQ(BuiltInFormatText(4), u"#,##0.00");
    EXPECT_EQ(BuiltInFormatText(13), u"# ?\?/??");
    EXPECT_EQ(BuiltInFormatText(47), u"mm:ss.0");
    EXPECT_EQ(BuiltInFormatText(49), u"@");
    for (std::uint16_t index : {23, 30, 36, 50, 164}) {
        EXPECT_EQ(BuiltInFormatText(index), u"") << index;
    }
}

TEST_F(BuiltInTextTest, ReplacedSettingsTakeEffectAtTheNextCall) {
    Use(TRegionalSettings{});
    EXPECT_EQ(BuiltInFormatText(14), u"m/d/yyyy");
    EXPECT_EQ(BuiltInFormatText(15), u"dd/mmm/yy");
    TRegionalSettings s;
    s.ShortDateFormat = u"yyyy-mm-dd";
    s.DateSeparator = u'-';
    s.CurrencyString = u"€";
    Use(s);
    EXPECT_EQ(BuiltInFormatText(14), u"yyyy-mm-dd");
    EXPECT_EQ(BuiltInFormatText(15), u"dd-mmm-yy");
    EXPECT_EQ(BuiltInFormatText(5), uR"("€"#,##0_;("€"#,##0))");
}
