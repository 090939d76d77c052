#include <gtest/gtest.h>

#include "tests/read/records/RecordTestSupport.h"
#include "xls/read/RecordCursor.h"

using namespace vorlix;
using test::Body;
using test::Bytes;
using test::JoinedBodies;

TEST(RecordCursorTest, NumbersAndSkipsReadThroughTheJoins) {
    const JoinedBodies joined{
        Body().u8(0x01).u8(0x02).u8(0x03), Body().u8(0x04), {}, Body().u8(0x05).u8(0x06).u8(0x07)};
    TRecordCursor c = joined.Cursor();
    EXPECT_EQ(c.BodyCount(), 4u);
    EXPECT_EQ(c.U16(), 0x0201);
    EXPECT_EQ(c.U32(), 0x06050403u);  // across an empty body too
    c.Skip(1);
    EXPECT_TRUE(c.AtEnd());
    EXPECT_FALSE(c.Short());
    EXPECT_EQ(c.U8(), 0);
    EXPECT_TRUE(c.Short());
}

TEST(RecordCursorTest, BodiesAndTheirEnds) {
    const JoinedBodies joined{Body().u16(1).u16(2), Body().u16(3), {}, Body().u8(4)};
    TRecordCursor c = joined.Cursor();
    EXPECT_EQ(c.InBody(), 4u);
    c.Skip(4);
    // Where one body ends and the next starts, the position is in the first until NextBody.
    EXPECT_EQ(c.InBody(), 0u);
    ASSERT_TRUE(c.NextBody());
    EXPECT_EQ(c.InBody(), 2u);
    EXPECT_EQ(c.U8(), 3);
    ASSERT_TRUE(c.NextBody());  // leaves the rest of the body
    EXPECT_EQ(c.InBody(), 0u);  // the empty one
    ASSERT_TRUE(c.NextBody());
    EXPECT_EQ(c.U8(), 4);
    EXPECT_FALSE(c.NextBody());
    EXPECT_TRUE(c.AtEnd());
    EXPECT_EQ(c.Body(1).U16(), 3);
    EXPECT_EQ(c.Body(2).Size(), 0u);
    EXPECT_EQ(c.Body(4).Size(), 0u);
    TRecordCursor single(0, joined.Cursor().Data(), 4);
    EXPECT_EQ(single.BodyCount(), 1u);
    EXPECT_FALSE(single.NextBody());
}

TEST(RecordCursorTest, CharactersSayTheirWidthAgainInEachBody) {
    // Eight-bit "ab", then the text goes on as 16-bit characters, then as 8-bit ones
    // again; the last byte of the 16-bit body is odd and is not a character.
    const JoinedBodies joined{
        Body().ascii("ab"), Body().u8(1).utf16(u"\u0441d").u8(0xEE), {}, Body().u8(0).ascii("ef")};
    TRecordCursor c = joined.Cursor();
    std::u16string text;
    bool wide = false;
    EXPECT_TRUE(c.ContinuedChars(6, false, text, wide));
    EXPECT_EQ(text, u"ab\u0441def");
    EXPECT_TRUE(wide);
    EXPECT_TRUE(c.AtEnd());

    // A text that ends exactly at a body's end takes no option byte from the next body.
    TRecordCursor d = joined.Cursor();
    std::u16string two;
    bool twoWide = false;
    EXPECT_TRUE(d.ContinuedChars(2, false, two, twoWide));
    EXPECT_EQ(two, u"ab");
    EXPECT_FALSE(twoWide);
    EXPECT_TRUE(d.NextBody());
    EXPECT_EQ(d.U8(), 1);
}

TEST(RecordCursorTest, CharactersCutShortByTheRecordsEnd) {
    const JoinedBodies joined{Body().ascii("abc"), Body().u8(0).ascii("d")};
    TRecordCursor c = joined.Cursor();
    std::u16string text;
    bool wide = false;
    EXPECT_FALSE(c.ContinuedChars(10, false, text, wide));
    EXPECT_EQ(text, u"abcd");
    EXPECT_FALSE(c.Short());
    // A text whose first body holds no character starts in the next one, with its width.
    const JoinedBodies late{Body().u16(2), Body().u8(1).utf16(u"xy")};
    TRecordCursor d = late.Cursor();
    d.Skip(2);
    std::u16string xy;
    EXPECT_TRUE(d.ContinuedChars(2, false, xy, wide));
    EXPECT_EQ(xy, u"xy");
}
