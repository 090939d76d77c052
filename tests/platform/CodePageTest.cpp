#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/CodePage.h"

using namespace vorlix::platform;

TEST(CodePageTest, SystemAndDefaultLibraryCodePageAreUtf8) {
    EXPECT_EQ(SystemCodePage(), 65001u);
    EXPECT_EQ(LibraryCodePage(), 65001u);
}

TEST(CodePageTest, Utf8RoundTripAndMalformedInput) {
    const std::u16string text = u"A\u00E9\u20AC\U0001F600";
    EXPECT_EQ(MultiByteToWide(65001, WideToMultiByte(65001, text)), text);
    // Invalid and truncated sequences give U+FFFD per bad byte; nothing else is lost.
    EXPECT_EQ(MultiByteToWide(65001,
                              "a\xFF"
                              "b\xE2\x82"),
              u"a\uFFFDb\uFFFD\uFFFD");
    // An overlong encoding is not a character.
    EXPECT_EQ(MultiByteToWide(65001, "\xC0\xAF"), u"\uFFFD\uFFFD");
    // Unpaired surrogates cannot be written as UTF-8.
    EXPECT_EQ(WideToMultiByte(65001, std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
    // Zero bytes are characters like any other.
    EXPECT_EQ(MultiByteToWide(65001, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(CodePageTest, FileNamesConvertWithoutLoss) {
    // Any bytes, valid UTF-8 or not (a lone byte, a cut sequence, an encoded surrogate, an
    // encoded U+FFFD), come back as they were.
    const std::string names[] = {
        "plain.xls",   "M\xC3\xBCller \xF0\x9F\x98\x80.xls", "bad\xFF\xFE.xls",
        "cut\xE2\x82", "\xED\xB2\x80 and \xEF\xBF\xBD",      "\x80\xC3"};
    for (const std::string& name : names)
        EXPECT_EQ(Utf16ToFileName(FileNameToUtf16(name)), name);
    // Valid names read as UTF-8 does; a stray byte becomes an unpaired surrogate.
    EXPECT_EQ(FileNameToUtf16("M\xC3\xBCller"), u"M\u00FCller");
    EXPECT_EQ(FileNameToUtf16("a\xFF"), std::u16string(u"a") + char16_t(0xDCFF));
    // A surrogate pair stays a character.
    EXPECT_EQ(Utf16ToFileName(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(CodePageTest, SingleByteCodePages) {
    EXPECT_EQ(MultiByteToWide(1252, "\x80\xE9"), u"\u20AC\u00E9");
    EXPECT_EQ(MultiByteToWide(1251, "\xC0"), u"\u0410");
    EXPECT_EQ(WideToMultiByte(1251, u"\u0410\u00E9"), "\xC0?");
    // Holes of the 1252 table keep their byte value.
    EXPECT_EQ(MultiByteToWide(1252, "\x81"), u"\u0081");
    EXPECT_EQ(MultiByteToWide(437, "\x82"), u"\u00E9");
}

TEST(CodePageTest, MultiByteCodePages) {
    const std::u16string text = u"\u65E5\u672C\u8A9E abc";
    const std::string sjis = WideToMultiByte(932, text);
    EXPECT_EQ(sjis, "\x93\xFA\x96\x7B\x8C\xEA abc");
    EXPECT_EQ(MultiByteToWide(932, sjis), text);
    // A lead byte without its trail byte.
    EXPECT_EQ(MultiByteToWide(932, "a\x93"), u"a\uFFFD");
}

// The folder commands convert on several threads at once; a multi-byte code page's
// conversions share one converter, whose state must not mix.
TEST(CodePageTest, MultiByteConversionsOnSeveralThreadsAtOnce) {
    const std::u16string text = u"\u65E5\u672C\u8A9E abc \u00E9";  // \u00E9: none in 932
    const std::string sjis = WideToMultiByte(932, text);
    ASSERT_EQ(sjis, "\x93\xFA\x96\x7B\x8C\xEA abc ?");
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (WideToMultiByte(932, text) != sjis) ++wrong[t];
                if (MultiByteToWide(932, "a\x93") != u"a\uFFFD") ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(CodePageTest, UnsupportedCodePageReadsAsLatin1) {
    EXPECT_FALSE(IsCodePageSupported(12345));
    EXPECT_EQ(MultiByteToWide(12345, "A\xE9"), u"A\u00E9");
    EXPECT_EQ(WideToMultiByte(12345, u"A\u00E9\u20AC"), "A\xE9?");
    EXPECT_TRUE(IsCodePageSupported(1252));
    EXPECT_TRUE(IsCodePageSupported(65001));
}

TEST(CodePageTest, CaseMappingPerCodePage) {
    EXPECT_EQ(CharUpperA(65001, 'a'), 'A');
    EXPECT_EQ(CharUpperA(65001, 0xE9), 0xE9);
    EXPECT_EQ(CharLowerA(65001, 'Q'), 'q');
    EXPECT_EQ(CharUpperA(1252, 0xE9), 0xC9);
    EXPECT_EQ(CharLowerA(1252, 0xC9), 0xE9);
    EXPECT_EQ(CharUpperA(1251, 0xE0), 0xC0);
    // 0xFF is y with diaeresis in 1252; its capital lives at 0x9F.
    EXPECT_EQ(CharUpperA(1252, 0xFF), 0x9F);
    EXPECT_EQ(CharUpperA(932, 0xE0), 0xE0);  // multi-byte: ASCII only
    EXPECT_EQ(CharUpperA(1252, '1'), '1');
}
