#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "xls/model/StringHelpers.h"

using namespace vorlix;

namespace {

// Switches the library code page for one test.
class CodePageScope {
  public:
    explicit CodePageScope(std::uint32_t cp) : saved_(platform::LibraryCodePage()) {
        platform::SetLibraryCodePage(cp);
    }
    ~CodePageScope() { platform::SetLibraryCodePage(saved_); }

  private:
    std::uint32_t saved_;
};

}  // namespace

TEST(StringHelpersTest, ByteImagesOfWideText) {
    EXPECT_EQ(WideToBytes(u"AB"), std::string("A\0B\0", 4));
    EXPECT_EQ(BytesToWide(std::string("A\0B", 3)), u"A");
    EXPECT_EQ(BytesToWide(WideToBytes(u"\u20AC\U0001F600")), u"\u20AC\U0001F600");
    EXPECT_EQ(ExpandCompressedBytes("A\xE9"), std::string("A\0\xE9\0", 4));
}

TEST(StringHelpersTest, FlaggedBytesOnlyReplaceWhenFlagIsOne) {
    std::u16string out = u"unchanged";
    FlaggedBytesToWide(std::string("\0AB", 3), out);
    EXPECT_EQ(out, u"unchanged");
    FlaggedBytesToWide("", out);
    EXPECT_EQ(out, u"unchanged");
    FlaggedBytesToWide(std::string("\x01"
                                   "A\0B\0",
                                   5),
                       out);
    EXPECT_EQ(out, u"AB");
}

TEST(StringHelpersTest, ReplaceAllLeftToRightWithoutOverlap) {
    EXPECT_EQ(WideReplaceAll(u"aXbXc", u"X", u"--"), u"a--b--c");
    EXPECT_EQ(WideReplaceAll(u"XXX", u"XX", u"-"), u"-X");
    EXPECT_EQ(WideReplaceAll(u"abc", u"", u"-"), u"abc");
    EXPECT_EQ(WideReplaceAll(u"abc", u"B", u"-"), u"abc");
}

TEST(StringHelpersTest, ConversionsFollowTheLibraryCodePage) {
    {
        CodePageScope utf8(65001);
        EXPECT_EQ(WideToAnsi(u"Caf\u00E9"), "Caf\xC3\xA9");
        EXPECT_EQ(AnsiToWide("Caf\xC3\xA9"), u"Caf\u00E9");
        EXPECT_EQ(WideBytesToAnsi(WideToBytes(u"\u00E9")), "\xC3\xA9");
    }
    {
        CodePageScope latin(1252);
        EXPECT_EQ(WideToAnsi(u"Caf\u00E9 \u20AC"), "Caf\xE9 \x80");
        EXPECT_EQ(AnsiToWide("Caf\xE9 \x80"), u"Caf\u00E9 \u20AC");
        // A character outside the code page becomes '?'.
        EXPECT_EQ(WideToAnsi(u"\u0416"), "?");
    }
}

TEST(StringHelpersTest, WideToAnsiTakesCountCharacters) {
    EXPECT_EQ(WideToAnsi(u"abcdef", 3), "abc");
    EXPECT_EQ(WideToAnsi(u"abcdef", 0), "");
    EXPECT_EQ(WideToAnsi(u"ab", 10), "ab");
}

TEST(StringHelpersTest, AnsiToWideStopsAtTheFirstZeroByte) {
    EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(AnsiToWide(""), u"");
}

TEST(StringHelpersTest, LongTextsConvertCompletely) {
    // Texts of 1024 characters and more, in characters that take three UTF-8 bytes each:
    // nothing may be cut off by a fixed buffer.
    CodePageScope utf8(65001);
    const std::u16string text(5000, u'\u20AC');
    const std::string ansi = WideToAnsi(text);
    EXPECT_EQ(ansi.size(), 15000u);
    EXPECT_EQ(AnsiToWide(ansi), text);
}

TEST(StringHelpersTest, CaseMappingByteByByte) {
    {
        CodePageScope utf8(65001);
        EXPECT_EQ(AnsiUpperCaseBytes("abc\xC3\xA9"), "ABC\xC3\xA9");  // ASCII letters only
        EXPECT_EQ(WideLowerCaseBytes(u"GENERAL"), u"general");
        // The high byte of a code unit is mapped on its own too: U+0141 is 41 01.
        EXPECT_EQ(WideLowerCaseBytes(u"\u0141"), u"\u0161");
    }
    {
        CodePageScope latin(1252);
        EXPECT_EQ(AnsiUpperCaseBytes("caf\xE9"), "CAF\xC9");
        EXPECT_EQ(WideLowerCaseBytes(u"\u00C9"), u"\u00E9");
    }
}
