// Drawing records decoded from bytes: what the end-to-end reads do not show field by field.
#include <gtest/gtest.h>

#include <optional>

#include "tests/read/records/RecordTestSupport.h"
#include "tests/support/DrawingBuilder.h"
#include "xls/read/records/DrawingRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Body;
using test::CursorOver;
using test::Fields;

TEST(DrawingRecordsTest, PictureStoreEntrySkipsItsNameToThePicture) {
    const Body body = Body()
                          .u8(6)
                          .u8(6)         // platform types
                          .zeros(16)     // identifier
                          .u16(0xFF)     // tag
                          .u32(700)      // picture size
                          .u32(1)        // references
                          .u32(0)        // delay offset
                          .u8(0)         // usage
                          .u8(6)         // name length in bytes, terminator included
                          .u16(0)        // unused
                          .utf16(u"ab")  // name
                          .u16(0)        // terminator
                          .u8(0x77);     // the picture record starts here
    auto c = CursorOver(body);
    const TBseRecord r = DecodeBse(c);
    EXPECT_EQ(Fields(r.PictureSize, r.NameLength), Fields(700, 6));
    EXPECT_EQ(c.U8(), 0x77);
}

TEST(DrawingRecordsTest, ObjTakesTheCommonObjectDataThatOpensIt) {
    const Body body = Body()
                          .u16(0x15)  // common object data
                          .u16(0x12)
                          .u16(25)  // comment
                          .u16(7)   // object id
                          .zeros(14);
    auto c = CursorOver(body);
    const TObjRecord r = DecodeObj(c);
    ASSERT_TRUE(r.ObjectType.has_value());
    EXPECT_EQ(Fields(*r.ObjectType, r.ObjectId, r.Truncated), Fields(25, 7, false));

    const Body cut = Body().u16(0x15).u16(0x12).u16(25);
    auto d = CursorOver(cut);
    EXPECT_TRUE(DecodeObj(d).Truncated);
    // The older format's layout (object count, type, id ...) has no sub-records: its
    // first word is no common object data, not even when it counts 0x15 objects, and a
    // 0x15 further on is no sub-record.
    for (const std::uint32_t count : {1u, 0x15u}) {
        const Body older = Body().u32(count).u16(1).u16(1).u16(0x15).u16(0x12).u16(25);
        auto e = CursorOver(older);
        const TObjRecord none = DecodeObj(e);
        EXPECT_FALSE(none.ObjectType.has_value());
        EXPECT_FALSE(none.Truncated);
    }
}

TEST(DrawingRecordsTest, NoteAndItsAuthor) {
    const Body body = Body()
                          .u16(2)  // row
                          .u16(1)  // column
                          .u16(0)  // options
                          .u16(7)  // object id
                          .u16(3)  // author characters
                          .u8(1)   // 16-bit
                          .utf16(u"Zoë")
                          .u8(0);
    auto c = CursorOver(body);
    const TNoteRecord n = DecodeNote(c);
    EXPECT_EQ(Fields(n.Row, n.Col, n.ObjectId, n.Author), Fields(2, 1, 7, std::u16string(u"Zoë")));
    // An author cut short is no author; the fields before it stay.
    const test::Bytes cut(body.data().begin(), body.data().begin() + 14);
    auto d = CursorOver(cut);
    const TNoteRecord m = DecodeNote(d);
    EXPECT_EQ(Fields(m.Row, m.Col, m.ObjectId, m.Author), Fields(2, 1, 7, std::u16string()));
    EXPECT_TRUE(d.Short());
}

TEST(DrawingRecordsTest, TextObjectLengthsAndText) {
    const Body txo = Body().u16(0x0212).u16(0).zeros(6).u16(11).u16(16).zeros(4);
    auto c = CursorOver(txo);
    const TTxoRecord r = DecodeTxo(c);
    EXPECT_EQ(Fields(r.TextLength, r.RunsLength), Fields(11, 16));

    // 8-bit characters are code points 0..255; 16-bit ones drop an odd last byte.
    const Body narrow = Body().u8(0).u8('e').u8(0xE9);
    auto n = CursorOver(narrow);
    EXPECT_EQ(DecodeTxoText(n), u"eé");
    const Body wide = Body().u8(1).utf16(u"Ω!").u8(0x41);
    auto w = CursorOver(wide);
    EXPECT_EQ(DecodeTxoText(w), u"Ω!");
}

// The bodies after a TXO: text until its length is reached, runs until theirs is, then
// whatever follows (drawing data).
TEST(DrawingRecordsTest, TxoContentTakesTheBodiesItAnnounces) {
    const TTxoRecord txo{5, 16};
    const test::Bytes runs = test::TxoRunsBody({{0, 1}}, 5);
    const test::JoinedBodies whole{test::TxoBody(5, 16), test::TxoTextBody(u"abc", false),
                                   test::TxoTextBody(u"\u03A9e", true), runs,
                                   test::Body().u32(0xF00D)};
    const TTxoContent c = DecodeTxoContent(whole.Cursor(), txo);
    ASSERT_TRUE(c.Text && c.Runs);
    EXPECT_EQ(*c.Text, u"abc\u03A9e");
    EXPECT_EQ(*c.Runs, std::string(runs.begin(), runs.end()));
    EXPECT_EQ(c.Next, 4u);

    // Runs split over two bodies; nothing after them.
    const test::Bytes first(runs.begin(), runs.begin() + 6), rest(runs.begin() + 6, runs.end());
    const test::JoinedBodies split{test::TxoBody(5, 16), test::TxoTextBody(u"abcde", false), first,
                                   rest};
    const TTxoContent s = DecodeTxoContent(split.Cursor(), txo);
    EXPECT_EQ(*s.Runs, std::string(runs.begin(), runs.end()));
    EXPECT_EQ(s.Next, 4u);

    // A text the record cuts short has no runs; a record without bodies after its own has
    // neither.
    const test::JoinedBodies cut{test::TxoBody(5, 16), test::TxoTextBody(u"ab", false)};
    const TTxoContent t = DecodeTxoContent(cut.Cursor(), txo);
    EXPECT_EQ(t.Text, std::optional<std::u16string>(u"ab"));
    EXPECT_FALSE(t.Runs);
    EXPECT_EQ(t.Next, 2u);
    const test::JoinedBodies alone{test::TxoBody(5, 16)};
    const TTxoContent a = DecodeTxoContent(alone.Cursor(), txo);
    EXPECT_FALSE(a.Text || a.Runs);
    EXPECT_EQ(a.Next, 1u);
}
