#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/format/DecimalDigits.h"
#include "xls/format/TFormatStrings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellValue.h"

using namespace vorlix;
using platform::TRegionalSettings;

namespace {

std::string U8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}
std::u16string U16(const std::string& text) {
    return platform::Utf8ToUtf16(text);
}

// Custom formats (index 164) under the settings in effect.
std::string Number(double x, const std::string& format) {
    return U8(FormatCellValue(TCellValue::Number(x), 164, U16(format)));
}
std::string DateTime(double x, const std::string& format) {
    return U8(FormatCellValue(TCellValue::DateTime(x), 164, U16(format)));
}

// Wednesday 5 February 2003, 14:07:09.
const double kWednesday = 37657 + (14 * 3600 + 7 * 60 + 9) / 86400.0;
// Saturday 1 January 2000, 18:00.
constexpr double kNewYear = 36526.75;

// Every test starts from the U.S. English settings (the values of a default-constructed
// TRegionalSettings) and puts the process's settings back afterwards.
class ValueFormatterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = platform::RegionalSettings();
        platform::SetRegionalSettings(TRegionalSettings{});
    }
    void TearDown() override { platform::SetRegionalSettings(saved_); }

  private:
    TRegionalSettings saved_;
};

struct FormatCase {
    double value;
    const char* format;
    const char* expected;
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
    return os << c.value << " under " << c.format;
}

class NumberPatternTest : public ValueFormatterTest,
                          public ::testing::WithParamInterface<FormatCase> {};
class DatePatternTest : public ValueFormatterTest,
                        public ::testing::WithParamInterface<FormatCase> {};

}  // namespace

TEST_F(ValueFormatterTest, NonNumericValuesIgnoreTheFormat) {
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Boolean(true), 2, u"0.00")), "TRUE");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Boolean(false), 0, u"")), "FALSE");
    EXPECT_EQ(U8(FormatCellValue(TCellValue(), 2, u"0.00")), "");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Null(), 14, u"")), "");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Wide(u"12.5"), 2, u"0.00")), "12.5");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Ansi("abc"), 14, u"dd/mm/yyyy")), "abc");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Error(ecDivisionByZero), 2, u"0.00")), "#DIV/0!");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Error(0x63), 0, u"")), "#N/A");  // no such code
}

// A text shows through the section holding "@", or else a fourth section, literals and all.
TEST_F(ValueFormatterTest, TextSectionsKeepTheirLiterals) {
    const auto text = [](const std::string& format) {
        return U8(FormatCellValue(TCellValue::Ansi("pf1"), 164, U16(format)));
    };
    EXPECT_EQ(text("\\C\\O\\B\\ \\o\\n\\ @"), "COB on pf1");
    EXPECT_EQ(text("0.00;-0.00;0;[Blue]\"<\"@\">\" @"), "<pf1> pf1");
    EXPECT_EQ(text("0;-0;0;\"none\""), "none");
    EXPECT_EQ(text("0;-0;0;"), "");
    EXPECT_EQ(text("[$€-407]* @_)"), "€pf1");
    EXPECT_EQ(text("0;0;0;[Red]general"), "pf1");
    EXPECT_EQ(text("0.00"), "pf1");  // no text section
    // The accounting formats pad their text section only to line it up.
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Wide(u"pf1"), 44,
                                 u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)")),
              "pf1");
}

// The built-in date formats never cut the year to two digits; a workbook's own "yy" stays.
TEST_F(ValueFormatterTest, BuiltInDateFormatsShowTheYearWhole) {
    const TCellValue day = TCellValue::DateTime(5480.25);  // 1 January 1915, 6:00
    const auto shown = [&day](std::uint16_t index, std::u16string_view format) {
        return U8(FormatCellValue(day, index, format));
    };
    EXPECT_EQ(shown(14, u"mm/dd/yy"), "1/1/1915");
    EXPECT_EQ(shown(22, u"mm/dd/yy h:mm"), "1/1/1915 6:00");
    EXPECT_EQ(shown(15, u"dd-mmm-yy"), "01-Jan-1915");
    EXPECT_EQ(shown(14, u"d.m.yy"), "1.1.1915");  // a workbook's text for a built-in index
    EXPECT_EQ(shown(164, u"mm/dd/yy"), "01/01/15");
    TRegionalSettings s;
    s.ShortDateFormat = u"dd/mm/yy";
    platform::SetRegionalSettings(s);
    EXPECT_EQ(shown(14, u""), "01/01/1915");
}

TEST_F(ValueFormatterTest, OtherNumericKindsFormatAsNumbers) {
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Integer(vkInteger, 42), 164, u"0.0")), "42.0");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Currency(15000), 164, u"0.00")), "1.50");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Single(2.5f), 164, u"0")), "3");
}

TEST_F(ValueFormatterTest, GeneralNumberText) {
    const struct {
        double value;
        const char* expected;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1.0 / 3, "0.333333333333333"},
        {-2.5, "-2.5"},
        {0.1 + 0.2, "0.3"},
        {1e20, "1E20"},
        {1.5e20, "1.5E20"},
        {123456789012, "123456789012"},
        {123456789012345, "123456789012345"},
        {1e15, "1E15"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {-1.25e-7, "-1.25E-7"},
        // Sixteen digits: the fifteenth rounds, a half away from zero.
        {1000000000000005, "1.00000000000001E15"},
        {999999999999999.5, "1E15"},
        {5e-324, "4.94065645841247E-324"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
        {-std::numeric_limits<double>::infinity(), "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(U8(GeneralNumberText(c.value)), c.expected) << c.value;
    // The short way to the digits agrees with rounding the first 18, over numbers of every
    // size and with 14 to 17 significant digits; the 8-bit text is the same text.
    std::mt19937_64 random(15);
    for (int i = 0; i < 200000; ++i) {
        // Decimal texts of 1 to 17 digits read as numbers, and arbitrary ones.
        const int digits = 1 + i % 17;
        const std::uint64_t low = static_cast<std::uint64_t>(std::pow(10.0, digits - 1));
        const std::uint64_t n = low + random() % (9 * low);
        // Numbers of every size, and numbers with up to six decimals, as sheets hold them.
        const int exponent =
            i % 3 == 0 ? static_cast<int>(random() % 60) - 30 : -static_cast<int>(random() % 7);
        double x = std::stod(std::to_string(n) + "e" + std::to_string(exponent));
        if (i % 7 == 0) x = x / 3 + 0.1;
        format::TDecimal d = format::SignificantDigits(x);
        format::RoundDigits(d, 15);
        const std::u16string text = GeneralNumberText(x);
        std::string digitsOf;
        for (const char16_t ch : text.substr(0, text.find(u'E'))) {
            if (ch >= u'0' && ch <= u'9') digitsOf += static_cast<char>(ch);
        }
        digitsOf.erase(0, digitsOf.find_first_not_of('0'));
        digitsOf.erase(digitsOf.find_last_not_of('0') + 1);
        ASSERT_EQ(digitsOf, std::string(d.Digits, static_cast<std::size_t>(d.Count))) << x;
        ASSERT_NEAR(std::stod(U8(text)), x, std::fabs(x) * 1e-14) << x;
        std::string ascii;
        ASSERT_TRUE(AppendGeneralNumberText(ascii, x, u'.'));
        ASSERT_EQ(ascii, U8(text));
    }
    // The general and text formats, by text or by built-in index.
    EXPECT_EQ(Number(1.0 / 3, "General"), "0.333333333333333");
    EXPECT_EQ(Number(1e20, "@"), "1E20");
    EXPECT_EQ(Number(123456789012, "[$-409]General"), "123456789012");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Number(0.5), 0, u"")), "0.5");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Number(0.5), 49, u"")), "0.5");
}

TEST_P(NumberPatternTest, Formats) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(Number(c.value, c.format), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, NumberPatternTest,
    ::testing::Values(FormatCase{1234.5, "#,##0.00", "1,234.50"}, FormatCase{1234.5, "0", "1235"},
                      FormatCase{2.5, "0", "3"},
                      FormatCase{1234567.891, "#,##0.00", "1,234,567.89"},
                      FormatCase{1234, "0,000", "1,234"},  // a comma between digits groups
                      FormatCase{0, "#,###", ""}, FormatCase{0, "#,##0", "0"},
                      FormatCase{105, "###", "105"}, FormatCase{5, "#0#", "05"},
                      FormatCase{5, "0,000", "0,005"}, FormatCase{5, "0.##", "5"},
                      FormatCase{0.05, "0.##", "0.05"}, FormatCase{0.5, "#.##", ".5"},
                      FormatCase{1.5, "0.0#", "1.5"}, FormatCase{1.25, "0.0#", "1.25"},
                      FormatCase{12.5, ".00", "12.50"}, FormatCase{1234, "0.0.0", "1234.00"},
                      FormatCase{0.125, "0.00", "0.13"}, FormatCase{-0.125, "0.00", "-0.13"},
                      FormatCase{1e-300, "0.00", "0.00"},
                      // 15 significant digits, then zeros.
                      FormatCase{123456789012345678.0, "#,##0", "123,456,789,012,346,000"},
                      FormatCase{1e18, "0", "1E18"}, FormatCase{-1e20, "0.00", "-1E20"}));

INSTANTIATE_TEST_SUITE_P(
    Signs, NumberPatternTest,
    ::testing::Values(FormatCase{-1234.5, "#,##0.00;(#,##0.00)", "(1,234.50)"},
                      FormatCase{-1234.5, "#,##0.00", "-1,234.50"}, FormatCase{-0.4, "0", "-0"},
                      FormatCase{-1e-300, "0.00", "-0.00"}, FormatCase{-5, "\"$\"#,##0", "-$5"},
                      FormatCase{0, "0;(0)", "0"},
                      FormatCase{-5, "(0)", "(5)"},  // one section, parenthesised
                      // A section of their own shows negatives without their "-": the
                      // section writes the sign it wants (an empty one gives the general
                      // number text).
                      FormatCase{-5, "0;\"neg\"", "neg"}, FormatCase{-5, "0;[Red]-0", "-5"},
                      FormatCase{-5, "0;", "-5"}, FormatCase{5, "\"abc\";0", "abc"},
                      FormatCase{-5, "\"abc\";0", "5"}));

INSTANTIATE_TEST_SUITE_P(Scientific, NumberPatternTest,
                         ::testing::Values(FormatCase{1234567, "0.00E+00", "1.23E+06"},
                                           FormatCase{1234.5, "00.0E+0", "12.3E+2"},
                                           FormatCase{12345, ".00E+00", ".12E+05"},
                                           FormatCase{0.000123, "0.0E+0", "1.2E-4"},
                                           FormatCase{123, "0E-0", "1E2"},
                                           FormatCase{0.0123, "0.00e-00", "1.23e-02"},
                                           FormatCase{1e100, "0.0E+0000000", "1.0E+0100"},
                                           FormatCase{9.99, "0.0E+0", "1.0E+1"},
                                           FormatCase{0, "0.00E+00", "0.00E+00"},
                                           FormatCase{-1234567, "0.00E+00", "-1.23E+06"},
                                           FormatCase{1e20, "0.00E+00", "1.00E+20"}));

// The value is taken to 15 significant digits, then rounded half away from zero to the
// places shown: a number stored just below a half (34.775 is 34.77499999999999857891...)
// rounds up as it was typed, also once scaled by percent or thousands.
INSTANTIATE_TEST_SUITE_P(
    RoundingFromFifteenDigits, NumberPatternTest,
    ::testing::Values(FormatCase{34.775, "\"$\"#,##0.00", "$34.78"},
                      FormatCase{2521.165, "#,##0.00", "2,521.17"},
                      FormatCase{2.675, "0.00", "2.68"}, FormatCase{1.005, "0.00", "1.01"},
                      FormatCase{-2.675, "0.00", "-2.68"}, FormatCase{0.345, "0%", "35%"},
                      FormatCase{34775, "0.00,", "34.78"},
                      FormatCase{1234.5678901234567, "0.0000000000", "1234.5678901235"}));

// Several integer placeholders before the point that are not all "0" ask for engineering
// notation: the exponent a multiple of their count.
INSTANTIATE_TEST_SUITE_P(Engineering, NumberPatternTest,
                         ::testing::Values(FormatCase{-12345.6, "##0.0E+0", "-12.3E+3"},
                                           FormatCase{123456, "##0.0E+0", "123.5E+3"},
                                           FormatCase{1234.5, "##0.0E+0", "1.2E+3"},
                                           FormatCase{0.0012345, "##0.0E+0", "1.2E-3"},
                                           FormatCase{0.012345, "##0.0E+0", "12.3E-3"},
                                           FormatCase{999960, "##0.0E+0",
                                                      "1.0E+6"},  // rounds to the next power
                                           FormatCase{12345, "#0.00E+00", "1.23E+04"},
                                           FormatCase{0, "##0.0E+0", "0.0E+0"}));

INSTANTIATE_TEST_SUITE_P(
    LiteralsAndRewriting, NumberPatternTest,
    ::testing::Values(FormatCase{5, "\"abc\" 0 'x'", "abc 5 x"}, FormatCase{5, "0 \"kg", "5 kg"},
                      FormatCase{5, "0 Eur", "5 Eur"}, FormatCase{5, "0?", "05"},
                      FormatCase{0.125, "0.00%", "12.50%"}, FormatCase{-0.25, "0%;-0%", "-25%"},
                      FormatCase{-0.25, "0%;(0%)", "(25%)"},
                      FormatCase{0.5, "0%\" off\"", "50% off"},
                      FormatCase{0.5, "0\"%\"", "1%"},  // a quoted "%" is text
                      FormatCase{5, "_$0_)", " 5"},
                      // Padding is a space, never its character; fills are dropped.
                      FormatCase{5, "0_x", "5 "}, FormatCase{5, "\\$0", "$5"},
                      FormatCase{5, "0*x", "5"}, FormatCase{5, "_-* 0", "5"},
                      FormatCase{-5, "( (0)", "(5)"}, FormatCase{5, "(0", "5"},
                      FormatCase{5, "0)", "5"}, FormatCase{-5, "(0", "-5"},
                      FormatCase{5, "[Blue][>0]0", "5"}, FormatCase{-5, "0;_)", "-5"}));

INSTANTIATE_TEST_SUITE_P(
    Fractions, NumberPatternTest,
    // The whole part is cut, not rounded, before its fraction; the sign shows once.
    ::testing::Values(FormatCase{1.5, "# ?/?", "1 1/2"}, FormatCase{1.25, "# ?/?", "1 1/4"},
                      FormatCase{0.333, "# ?\?/??", " 1/3"}, FormatCase{0.1, "0 ?/?", "0 1/9"},
                      FormatCase{2.75, "# ?/8", "2 6/8"}, FormatCase{2, "# ?/?", "2 "},
                      FormatCase{3.14159, "0 ??\?/???", "3 16/113"},
                      FormatCase{12345.6789, "#\\ ?\?/??", "12345 55/81"},
                      FormatCase{-1.5, "# ?/?", "-1 1/2"}, FormatCase{-0.25, "?/?", "-1/4"},
                      // Never "-0": a negative fraction below one shows no whole part,
                      // what rounds to nothing no sign.
                      FormatCase{-0.25, "0 ?/?", "-1/4"}, FormatCase{-0.25, "# ?/?", "-1/4"},
                      FormatCase{-0.25, "\\~0 ?/?", "-~1/4"}, FormatCase{-0.01, "0 ?/?", "0 "},
                      FormatCase{-0.01, "?/?", "0"}, FormatCase{-1.5, "# ?/?;(# ?/?)", "(1 1/2)"},
                      // Without a whole part the fraction carries the whole value.
                      FormatCase{1.5, "?/?", "3/2"}, FormatCase{0, "?/?", "0"},
                      // Nothing for the fraction: the whole part shows, zero as "0".
                      FormatCase{0, "# ?/?", "0 "}, FormatCase{0.99, "# ?/?", "1 "},
                      FormatCase{2.5, "# ?/? \"in\"", "2 1/2 in"},
                      FormatCase{1.5, "0 \"a ?/10 b\"", "2 a ?/10 b"},
                      // No usable denominator: the general number text.
                      FormatCase{1.5, "# ?/x", "1.5"}, FormatCase{-0.5, "0 ?/", "-0.5"}));

// Formats as real workbooks carry them, shown as a spreadsheet shows them.
INSTANTIATE_TEST_SUITE_P(
    WorkbookFormats, NumberPatternTest,
    ::testing::Values(
        // An escaped "-" before a fill is the negative section's sign.
        FormatCase{-1234.5,
                   "_-* #,##0.00\\ _z_ł_-;\\-* #,##0.00\\ _z_ł_-;_-* \"-\"??\\ _z_ł_-;_-@_-",
                   "-1,234.50   "},
        FormatCase{1234.5, "_-* #,##0.00\\ _z_ł_-;\\-* #,##0.00\\ _z_ł_-", "1,234.50   "},
        FormatCase{46.4, "_-* #,##0.0\\ _F_-", "46.4  "}, FormatCase{5, "0.00_ ", "5.00 "},
        FormatCase{-5, "_(* #,##0_)", "-5"},  // padding parentheses show no sign
        // Thousands scaling: a comma after the digits or before the point.
        FormatCase{25051542.178, "#,##0,", "25,052"}, FormatCase{25051542, "0.0,,", "25.1"},
        FormatCase{1234567, "#,##0,.0", "1,234.6"}, FormatCase{2500, "0,\"K\"", "3K"},
        // Currency and locale tags.
        FormatCase{44.99, "[$€-2]\\ #,##0.00", "€ 44.99"},
        FormatCase{370823.75, "[$$-409]#,##0", "$370,824"},
        FormatCase{-1253.66, "[$$-0409]#,##0.00_);([$$-0409]#,##0.00)", "($1,253.66)"},
        FormatCase{-1.2, "#,##0.00\\ [$€-407]", "-1.20 €"},
        FormatCase{1, "_([$ANG]\\ * #,##0.0_)", "ANG 1.0"}, FormatCase{5, "[$-409]0.00", "5.00"},
        FormatCase{5, "0[$-F400]", "5"},
        // Percent anywhere outside quotes.
        FormatCase{0.123, "0.0%_)", "12.3%"}, FormatCase{0.5, "[Red]0%;[Blue]-0%", "50%"},
        // Bracketed codes, escapes and "General" inside a section.
        FormatCase{1, "[Black]@", "1"}, FormatCase{0.5, "[Blue]General", "0.5"},
        FormatCase{6552, "General_)", "6552"}, FormatCase{6552, "General\" kg\"", "6552 kg"},
        FormatCase{-2.5, "General;-General", "-2.5"}, FormatCase{3000, "\\#\\r\\e\\c", "#rec"},
        FormatCase{5, "#,##0[Red]", "5"},
        // A text section is never a number's: negatives keep the first section.
        FormatCase{-5, "#,##0.00;@", "-5.00"},
        // Conditions choose the section; the value keeps its sign.
        FormatCase{5551234, "[<=9999999]###-####;(###) ###-####", "555-1234"},
        FormatCase{5551234567, "[<=9999999]###-####;(###) ###-####", "(555) 123-4567"},
        FormatCase{12345.6789, "[>=100000]0.000\\ \\<;[Red]0.000\\ \\>", "12345.679 >"},
        FormatCase{-5, "[<0]\"neg \"0;0", "-neg 5"},
        FormatCase{0, "[>0]\"+\";[<0]\"-\";\"0\"", "0"}, FormatCase{5, "[>9]0", "5"}));

TEST_F(ValueFormatterTest, LongNumberFormatsFormatLikeShortOnes) {
    const std::string text(300, 'x');
    EXPECT_EQ(Number(1234.5, "#,##0.00 \"" + text + "\""), "1,234.50 " + text);
    EXPECT_EQ(Number(1234.5, std::string(300, '#') + "0"), "1235");
    EXPECT_EQ(Number(1, "0." + std::string(400, '0')), "1." + std::string(400, '0'));
}

TEST_P(DatePatternTest, Formats) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(DateTime(c.value, c.format), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Elements, DatePatternTest,
    ::testing::Values(
        FormatCase{kNewYear, "dd-mmm-yy", "01-Jan-00"}, FormatCase{kNewYear, "mmmmm", "J"},
        FormatCase{kWednesday, "yyyy-mm-dd", "2003-02-05"},
        FormatCase{kWednesday, "d/m/y", "5/2/03"}, FormatCase{kWednesday, "yyy YYYYY", "2003 2003"},
        FormatCase{kWednesday, "dddd, mmmm d", "Wednesday, February 5"},
        FormatCase{kWednesday, "ddd mmm", "Wed Feb"},
        FormatCase{kWednesday, "aaa aaaa", "Wed Wednesday"},
        FormatCase{kWednesday, "ddddd", "2/5/2003"},
        FormatCase{kWednesday, "dddddd", "Wednesday, February 5, 2003"},
        FormatCase{kWednesday, "t|tt", "2:07 PM|2:07:09 PM"},
        FormatCase{kWednesday, "c", "2/5/2003 2:07:09 PM"}, FormatCase{37657, "c", "2/5/2003"},
        FormatCase{kWednesday, "h:mm:ss", "14:07:09"},
        FormatCase{kWednesday, "n:s nnn:sss hhh", "7:9 07:09 14"},
        FormatCase{kWednesday, "d z \"q\" 'r' x", "5 z q r x"},
        FormatCase{kWednesday, "d \"abc", "5 abc"}, FormatCase{kWednesday, "d;m", "5"}));

INSTANTIATE_TEST_SUITE_P(
    MinutesAndHours, DatePatternTest,
    ::testing::Values(
        FormatCase{kNewYear, "h:mm AM/PM", "6:00 PM"},
        FormatCase{kWednesday, "hh:mm AM/PM", "02:07 PM"},
        FormatCase{kWednesday, "h:mm a/p", "2:07 p"},
        FormatCase{kWednesday, "H:MM Am/pM", "2:07 pM"},
        FormatCase{kWednesday, "h:mm ampm", "2:07 PM"}, FormatCase{0.25, "h:mm A/P", "6:00 A"},
        FormatCase{0.0, "h AM/PM", "12 AM"}, FormatCase{0.5, "h AM/PM", "12 PM"},
        // The first "a" after the hour decides, unless an "h" comes first.
        FormatCase{kWednesday, "AM/PM h:mm", "PM 2:07"},
        FormatCase{kWednesday, "h:mm h AM/PM", "14:07 2 PM"},
        FormatCase{kWednesday, "h:mm a", "14:07 a"},
        FormatCase{kWednesday, "h \"a\" AM/PM", "2 a PM"},
        FormatCase{kWednesday, "h \"o'clock\" AM/PM", "2 o'clock PM"},
        FormatCase{kWednesday, "h ax AM/PM", "14 ax PM"},
        // "m" is a minute when the letter element before it is an hour.
        FormatCase{kWednesday, "h m", "14 7"}, FormatCase{kWednesday, "h x m", "14 x 2"},
        FormatCase{kWednesday, "h \"x\" m", "14 x 7"}, FormatCase{kWednesday, "h m m", "14 7 2"},
        FormatCase{kWednesday, "h mmm", "14 Feb"}));

INSTANTIATE_TEST_SUITE_P(
    RewritingAndElapsedTime, DatePatternTest,
    ::testing::Values(FormatCase{1.5, "[h]:mm:ss", "36:00:00"},
                      FormatCase{1.5 + 61 / 86400.0, "[mm]:ss", "2161:01"},
                      FormatCase{1.5, "[ss]", "129600"}, FormatCase{-1.25, "[h]", "-30"},
                      // Rounding to the millisecond carries into the next day.
                      FormatCase{0.9999999999, "[h] d", "24 31"},
                      FormatCase{kWednesday, "dd_-mm", "05 02"},
                      FormatCase{kWednesday, "d\\-m", "5-2"}, FormatCase{kWednesday, "d-*m*", "5-"},
                      FormatCase{kWednesday, "d_)m", "5 2"}, FormatCase{kWednesday, "d\\hm", "5h2"},
                      FormatCase{37960, "\"x mmmmm\" d", "x mmmmm 5"},
                      FormatCase{1.5, "\"[h]\" h", "[h] 12"}));

// Times as a spreadsheet shows them: rounded to the second (or to the decimals shown),
// minutes before seconds, elapsed time in any letter case.
INSTANTIATE_TEST_SUITE_P(
    WorkbookFormats, DatePatternTest,
    ::testing::Values(FormatCase{kWednesday, "mm:ss", "07:09"},
                      FormatCase{kWednesday + 0.26 / 86400, "mm:ss.0", "07:09.3"},
                      FormatCase{kWednesday + 0.123 / 86400, "h:mm:ss.000", "14:07:09.123"},
                      FormatCase{12345.6789, "h:mm:ss", "16:17:37"},
                      FormatCase{12345.6789, "mm:ss.0;@", "17:37.0"},
                      FormatCase{12345.6789, "mmss.0", "1737.0"},
                      FormatCase{1.5, "[hh]:mm", "36:00"}, FormatCase{0.5, "[ss]", "43200"},
                      FormatCase{2.1880208333, "[H]:MM", "52:30"},
                      FormatCase{1.0 / 48, "[hh]:mm:ss", "00:30:00"},
                      FormatCase{-1.2, "[h]:mm:ss", "-28:48:00"},
                      FormatCase{kWednesday, "[$-F400]h:mm:ss\\ AM/PM", "2:07:09 PM"},
                      FormatCase{kWednesday, "[$-409]d\\-mmm;@", "5-Feb"},
                      FormatCase{kWednesday, "[Red]yyyy\\-mm\\-dd", "2003-02-05"}));

TEST_F(ValueFormatterTest, DateKindsAndBuiltInIndexes) {
    // A plain number under a date format counts days from 30 December 1899.
    EXPECT_EQ(Number(2, "dd/mm/yyyy"), "01/01/1900");
    EXPECT_EQ(Number(kWednesday, "[$-409]h:mm"), "14:07");
    // A date-time under a format of another kind shows as the short date.
    EXPECT_EQ(DateTime(kWednesday, "#,##0.00"), "2/5/2003");
    EXPECT_EQ(DateTime(kWednesday, "General"), "2/5/2003");

    const auto builtIn = [](const TCellValue& v, std::uint16_t index) {
        return U8(FormatCellValue(v, index, u""));
    };
    const TCellValue newYear = TCellValue::DateTime(kNewYear);
    EXPECT_EQ(builtIn(newYear, 15), "01/Jan/2000");
    EXPECT_EQ(builtIn(newYear, 14), "1/1/2000");
    EXPECT_EQ(builtIn(newYear, 22), "1/1/2000 6:00 PM");
    EXPECT_EQ(builtIn(TCellValue::Number(1.5), 46), "36:00:00");
    // A trailing "_" pads with three spaces.
    EXPECT_EQ(builtIn(TCellValue::Number(1234), 5), "$1,234   ");
    EXPECT_EQ(builtIn(TCellValue::Number(-1234), 5), "($1,234)");
    EXPECT_EQ(builtIn(TCellValue::Number(1234.5), 43), "$1,234.50");
    EXPECT_EQ(builtIn(TCellValue::Number(-1234.5), 43), "($1,234.50)");
    EXPECT_EQ(builtIn(TCellValue::Number(0.5), 9), "50%");
    EXPECT_EQ(builtIn(TCellValue::Number(1.25), 12), "1 1/4");
    // The text wins over the index.
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Number(1.5), 14, u"0.00")), "1.50");
}

// "A/P" and "AM/PM" are time markers, on their own too.
TEST_F(ValueFormatterTest, AmPmMarkersAloneAreTimes) {
    EXPECT_EQ(FormatKindOfText(u"A/P"), TFormatKind::Date);
    EXPECT_EQ(FormatKindOfText(u"am/pm"), TFormatKind::Date);
    EXPECT_EQ(Number(1.0, "A/P"), "A");
    EXPECT_EQ(Number(0.75, "a/p"), "p");
    EXPECT_EQ(Number(0.75, "AM/PM"), "PM");
    EXPECT_EQ(Number(-1.0, "A/P"), "A");  // no sign, no code text
}

TEST_F(ValueFormatterTest, ErasComeFromTheLocale) {
    // Without eras the year stands in and the era name is empty.
    EXPECT_EQ(DateTime(kWednesday, "|g| e ee"), "|| 2003 2003");

    TRegionalSettings s;
    s.Eras = {{u"令和", u"", 2020, 1, 1, 2, 1},
              {u"令和", u"", 2019, 5, 1, 1, 1},
              {u"平成", u"", 1990, 1, 1, 2, 1},
              {u"平成", u"", 1989, 1, 8, 1, 1},
              {u"前", u"", 1899, 12, 31, 1, -1}};
    platform::SetRegionalSettings(s);
    EXPECT_EQ(DateTime(kWednesday, "ggge\"年\"m\"月\""), "平成15年2月");
    EXPECT_EQ(DateTime(34759, "g e ee gg"), "平 7 07 平成");  // 1 March 1995
    EXPECT_EQ(DateTime(43617, "gge"), "令和1");               // 1 June 2019
    EXPECT_EQ(DateTime(43617 + 365, "gge"), "令和2");
    EXPECT_EQ(DateTime(0, "gge"), "前1");  // counts back from its start
    EXPECT_EQ(DateTime(-366, "gge"), "前2");
    // After the last era's start, before the first: no era applies.
    s.Eras.pop_back();
    platform::SetRegionalSettings(s);
    EXPECT_EQ(DateTime(29221, "|gg| e"), "|| 1980");
}

TEST_F(ValueFormatterTest, LocalePatternsNestTwoDeep) {
    TRegionalSettings s;
    s.ShortDateFormat = u"d/m ddddd";
    s.LongTimeFormat = u"hh'h'nn tt";
    platform::SetRegionalSettings(s);
    EXPECT_EQ(DateTime(kWednesday, "ddddd"), "5/2 ");
    EXPECT_EQ(DateTime(kWednesday, "tt"), "14h07 ");
    EXPECT_EQ(DateTime(kWednesday, "c!"), "5/2  14h07 !");
    EXPECT_EQ(DateTime(37657, "c!"), "5/2 !");
}

TEST_F(ValueFormatterTest, LocaleSeparatorsAndNames) {
    TRegionalSettings s;
    s.DecimalSeparator = u'\u066B';  // Arabic decimal separator
    s.ThousandSeparator = u'\'';
    s.DateSeparator = u'-';
    s.TimeSeparator = u'.';
    s.CurrencyString = u"kr";
    s.TimeAMString = u"vm";
    s.TimePMString = u"nm";
    s.LongMonthNames[1] = u"Ünner";
    s.ShortDayNames[3] = u"Mi";
    platform::SetRegionalSettings(s);
    EXPECT_EQ(Number(1234567.891, "#,##0.00"), "1'234'567٫89");
    EXPECT_EQ(Number(1234567, "0.00E+00"), "1٫23E+06");
    EXPECT_EQ(Number(2.5, "General"), "2٫5");
    EXPECT_EQ(U8(GeneralNumberText(-0.5)), "-0٫5");
    EXPECT_EQ(DateTime(kWednesday, "d/m/yy h:mm ampm"), "5-2-03 2.07 nm");
    EXPECT_EQ(DateTime(kWednesday, "mmmmm mmmm ddd"), "Ü Ünner Mi");
    // "_k_r", the width of the currency string, is one space.
    EXPECT_EQ(Number(5, "0_k_r!"), "5 !");
    EXPECT_EQ(Number(5, "_$0"), " 5");
}

TEST_F(ValueFormatterTest, ReplacedSettingsTakeEffectAtTheNextCall) {
    const TCellValue date = TCellValue::DateTime(kWednesday);
    EXPECT_EQ(Number(1234.5, "#,##0.00"), "1,234.50");
    EXPECT_EQ(U8(FormatCellValue(date, 14, u"")), "2/5/2003");
    EXPECT_EQ(DateTime(kWednesday, "0.00"), "2/5/2003");
    EXPECT_EQ(DateTime(kWednesday, "mmmm"), "February");

    TRegionalSettings german;
    german.DecimalSeparator = u',';
    german.ThousandSeparator = u'.';
    german.DateSeparator = u'.';
    german.ShortDateFormat = u"dd/mm/yyyy";
    german.LongMonthNames[1] = u"Februar";
    platform::SetRegionalSettings(german);
    EXPECT_EQ(Number(1234.5, "#,##0.00"), "1.234,50");
    EXPECT_EQ(U8(FormatCellValue(date, 14, u"")), "05.02.2003");
    EXPECT_EQ(DateTime(kWednesday, "0.00"), "05.02.2003");
    EXPECT_EQ(DateTime(kWednesday, "mmmm"), "Februar");

    platform::SetRegionalSettings(TRegionalSettings{});
    EXPECT_EQ(Number(1234.5, "#,##0.00"), "1,234.50");
    EXPECT_EQ(U8(FormatCellValue(date, 14, u"")), "2/5/2003");
}

// A second locale: comma decimals, dot grouping and dates, day before month, a 24-hour
// clock without AM/PM strings.
TEST_F(ValueFormatterTest, CommaDecimalDayMonthTwentyFourHourLocale) {
    TRegionalSettings s;
    s.DecimalSeparator = u',';
    s.ThousandSeparator = u'.';
    s.DateSeparator = u'.';
    s.ListSeparator = u';';
    s.ShortDateFormat = u"dd/mm/yyyy";
    s.LongDateFormat = u"dddd, d. mmmm yyyy";
    s.ShortTimeFormat = u"hh:mm";
    s.LongTimeFormat = u"hh:mm:ss";
    s.TimeAMString = u"";
    s.TimePMString = u"";
    s.CurrencyString = u"€";
    s.CurrencyFormat = 3;  // 1 €
    s.NegCurrFormat = 8;   // -1 €
    platform::SetRegionalSettings(s);

    EXPECT_EQ(Number(1234.5, "#,##0.00"), "1.234,50");
    EXPECT_EQ(Number(-1234.5, "#,##0.00;(#,##0.00)"), "(1.234,50)");
    EXPECT_EQ(Number(0.125, "0.00%"), "12,50%");
    EXPECT_EQ(Number(1234567, "0.00E+00"), "1,23E+06");
    EXPECT_EQ(Number(2.5, "0"), "3");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Number(1.0 / 3), 0, u"")), "0,333333333333333");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Number(1.5e20), 0, u"")), "1,5E20");
    // Dates in the day-month order and the 24-hour clock.
    EXPECT_EQ(U8(FormatCellValue(TCellValue::DateTime(kNewYear), 14, u"")), "01.01.2000");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::DateTime(kNewYear), 15, u"")), "01.Jan.2000");
    EXPECT_EQ(U8(FormatCellValue(TCellValue::DateTime(kNewYear), 22, u"")), "01.01.2000 18:00");
    EXPECT_EQ(DateTime(kNewYear, "dd/mm/yyyy hh:mm:ss"), "01.01.2000 18:00:00");
    EXPECT_EQ(DateTime(kNewYear, "c"), "01.01.2000 18:00:00");
    EXPECT_EQ(DateTime(kNewYear, "h:mm"), "18:00");
    EXPECT_EQ(DateTime(kNewYear, "ampm"), "");
    // A date-time under a number format shows the locale's short date.
    EXPECT_EQ(DateTime(kNewYear, "0.00"), "01.01.2000");
    // Currency patterns of the built-in indexes follow the locale's placement and style.
    EXPECT_EQ(U8(FormatCellValue(TCellValue::Number(-1234.5), 8, u"")), "-1.234,50 €");
}

TEST_F(ValueFormatterTest, ManyFormatsInTurnKeepTheirOwnResults) {
    // More formats than the cache holds, each met twice, interleaved.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 600; ++i) {
            const std::string format = "0.0\" #" + std::to_string(i) + "\"";
            ASSERT_EQ(Number(i + 0.25, format), std::to_string(i) + ".3 #" + std::to_string(i));
        }
    }
}

TEST_F(ValueFormatterTest, NoPatternOrValueBreaksTheEngine) {
    const std::vector<std::u16string> formats = {u"",
                                                 u"\"",
                                                 u"'",
                                                 u"[",
                                                 u"]",
                                                 u"[h",
                                                 u"[$",
                                                 u"[$-409",
                                                 u"[$-409]",
                                                 u"E+",
                                                 u"0E+",
                                                 u"0E+00000000",
                                                 u"?/",
                                                 u"# ?/",
                                                 u"?/?",
                                                 u";",
                                                 u";;;",
                                                 u"(",
                                                 u")",
                                                 u"_",
                                                 u"*",
                                                 u"\\",
                                                 u"%",
                                                 u"0%",
                                                 u"mmmmm",
                                                 u"[h][mm][ss]",
                                                 u"c",
                                                 u"ddddd",
                                                 u"tt",
                                                 u"ampm",
                                                 u"a/p",
                                                 u"h\"",
                                                 u"h'",
                                                 u"\uFDD0",
                                                 u"0 ?/? \uFDD0",
                                                 u"\"\uFDD1\" mmmmm",
                                                 u"d \uFDD2 [h]",
                                                 u"\"mmmmm",
                                                 u"0\"?/?",
                                                 std::u16string(1000, u'0'),
                                                 std::u16string(1000, u'#') + u".",
                                                 u"0." + std::u16string(500, u'#'),
                                                 u"ggg eee",
                                                 u"\xD800",
                                                 u"0\xDC00"};
    const double values[] = {0,
                             -0.0,
                             1.5,
                             -1.5,
                             0.999999999,
                             1e-320,
                             1e308,
                             -1e308,
                             2e10,
                             -7e5,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    TRegionalSettings s;
    s.Eras = {{u"\xD83D\xDE00x", u"", 1900, 1, 1, 1, 1}};
    s.ShortDateFormat = u"ddddd c tt";
    s.CurrencyString = u"";
    for (const TRegionalSettings& settings : {TRegionalSettings{}, s}) {
        platform::SetRegionalSettings(settings);
        for (const std::u16string& format : formats) {
            for (double x : values) {
                for (const TCellValue& v : {TCellValue::Number(x), TCellValue::DateTime(x)}) {
                    EXPECT_NO_THROW(FormatCellValue(v, 164, format)) << U8(format);
                }
            }
        }
    }
    platform::SetRegionalSettings(TRegionalSettings{});
    EXPECT_EQ(Number(1.5, "0 ?/? \uFDD0"), U8(u"1 1/2 \uFDD0"));
    EXPECT_EQ(DateTime(1.5, "d \uFDD2 [h]"), U8(u"31 \uFDD2 36"));
}
