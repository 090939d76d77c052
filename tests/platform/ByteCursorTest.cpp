#include <gtest/gtest.h>

#include <string>

#include "platform/ByteCursor.h"

using vorlix::platform::TByteCursor;

namespace {

TByteCursor Over(const std::string& bytes) {
    return TByteCursor(std::string_view(bytes));
}

}  // namespace

TEST(ByteCursorTest, ReadsLittleEndianFieldsInOrder) {
    const std::string bytes(
        "\x01"                              // u8 1
        "\x34\x12"                          // u16 0x1234
        "\x78\x56\x34\x12"                  // u32 0x12345678
        "\xFE\xFF"                          // i16 -2
        "\x00\x00\x00\x00\x00\x00\xF8\x3F"  // double 1.5
        "\xAA",
        18);
    TByteCursor c = Over(bytes);
    EXPECT_EQ(c.U8(), 1);
    EXPECT_EQ(c.U16(), 0x1234);
    EXPECT_EQ(c.U32(), 0x12345678u);
    EXPECT_EQ(c.I16(), -2);
    EXPECT_EQ(c.F64(), 1.5);
    EXPECT_EQ(c.Remaining(), 1u);
    EXPECT_FALSE(c.Short());
    // Reads at an offset leave the position alone.
    EXPECT_EQ(c.U16At(1), 0x1234);
    EXPECT_EQ(c.U32At(3), 0x12345678u);
    EXPECT_EQ(c.F64At(9), 1.5);
    EXPECT_EQ(c.Position(), 17u);
    EXPECT_FALSE(c.Short());
}

// A field the bytes do not wholly hold reads as zero, from there on everything is at the
// end, and the flag stays set.
TEST(ByteCursorTest, ReadsPastTheEndGiveZeroAndSetTheShortFlag) {
    const std::string bytes("\x01\x02\x03", 3);
    TByteCursor c = Over(bytes);
    EXPECT_EQ(c.U16(), 0x0201);
    EXPECT_EQ(c.U16(), 0);  // one byte left: not a partial value
    EXPECT_TRUE(c.Short());
    EXPECT_TRUE(c.AtEnd());
    EXPECT_EQ(c.U8(), 0);
    EXPECT_EQ(c.F64(), 0.0);

    TByteCursor d = Over(bytes);
    EXPECT_EQ(d.U32At(0), 0u);
    EXPECT_EQ(d.U16At(2), 0);
    EXPECT_EQ(d.U8At(3), 0);
    EXPECT_EQ(d.U8At(static_cast<std::size_t>(-1)), 0);
    EXPECT_EQ(d.Position(), 0u);  // offset reads never move
    EXPECT_TRUE(d.Short());

    TByteCursor e = Over(bytes);
    e.Seek(4);
    EXPECT_TRUE(e.AtEnd());
    EXPECT_TRUE(e.Short());
    TByteCursor f = Over(bytes);
    f.Skip(3);
    EXPECT_FALSE(f.Short());
    f.Skip(1);
    EXPECT_TRUE(f.Short());
}

TEST(ByteCursorTest, BytesGiveWhatIsLeft) {
    const std::string bytes("abcde");
    TByteCursor c = Over(bytes);
    EXPECT_EQ(c.Bytes(2), "ab");
    EXPECT_FALSE(c.Short());
    EXPECT_EQ(c.Bytes(10), "cde");
    EXPECT_TRUE(c.Short());
    EXPECT_EQ(c.Rest(), "");
}

TEST(ByteCursorTest, CharactersOfEitherWidth) {
    const std::string bytes(
        "\xE9x"             // 8-bit: e acute, x
        "\x3A\x04\x00\xD8"  // 16-bit: Cyrillic, a lone high surrogate
        "\x01",
        7);
    TByteCursor c = Over(bytes);
    EXPECT_EQ(c.Chars8(2), u"\u00E9x");
    EXPECT_EQ(c.Chars16(2), std::u16string(u"\u043A") + char16_t(0xD800));
    // Characters that run past the end give nothing and end the cursor, like any other
    // short read: the byte they left is not read as the next field.
    EXPECT_EQ(c.Chars16(1), u"");
    EXPECT_TRUE(c.Short());
    EXPECT_TRUE(c.AtEnd());
    EXPECT_EQ(c.Chars8(1), u"");
    TByteCursor eight = Over(bytes);
    EXPECT_EQ(eight.Chars8(8), u"");
    EXPECT_TRUE(eight.Short());
    EXPECT_EQ(eight.U8(), 0);
}

TEST(ByteCursorTest, BiffStrings) {
    const std::string bytes(
        "\x03\x00"
        "abc"  // short: count 3, 8-bit
        "\x02\x00\x01"
        "A\0B\0"  // long: count 2, 16-bit
        "\x05\x00"
        "ab",  // short: count 5, but only two characters
        16);
    TByteCursor c = Over(bytes);
    EXPECT_EQ(c.ShortString(), u"abc");
    EXPECT_EQ(c.LongString(), u"AB");
    EXPECT_FALSE(c.Short());
    EXPECT_EQ(c.ShortString(), u"");
    EXPECT_TRUE(c.Short());
    // The characters of the cut string are not read as what follows it.
    EXPECT_EQ(c.U16(), 0);
    const std::string cut("\x09\x00\x00xy\x07\x00", 7);  // 9 characters, two there
    TByteCursor cutLong = Over(cut);
    EXPECT_EQ(cutLong.LongString(), u"");
    EXPECT_EQ(cutLong.U16(), 0);
    EXPECT_TRUE(cutLong.AtEnd());
}
