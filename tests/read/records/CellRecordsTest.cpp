#include <gtest/gtest.h>

#include "tests/read/records/RecordTestSupport.h"
#include "xls/read/records/CellRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Body;
using test::CursorOver;
using test::Fields;

namespace {

auto NumberFields = [](const TNumberRecord& r) {
    return Fields(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Value);
};

}  // namespace

TEST(CellRecordsTest, Number) {
    const Body body = Body()
                          .u16(7)      // row
                          .u16(3)      // column
                          .u16(21)     // XF
                          .f64(-2.5);  // value
    auto c = CursorOver(body);
    EXPECT_EQ(NumberFields(DecodeNumber(c)), Fields(7, 3, 21, -2.5));
    test::ExpectEachCutGivesDefaults(body, {2, 4, 6, 14}, DecodeNumber, NumberFields);
}

TEST(CellRecordsTest, RkNumbers) {
    EXPECT_EQ(RkValue(0x3FF00000), 1.0);    // the high 30 bits of a double
    EXPECT_EQ(RkValue(0x3FF00001), 0.01);   // ... divided by 100
    EXPECT_EQ(RkValue(0x00000192), 100.0);  // an integer: 100 << 2 | 2
    EXPECT_EQ(RkValue(0x00000193), 1.0);    // ... divided by 100
    EXPECT_EQ(RkValue(0xFFFFFFFE), -1.0);   // a negative integer
    const Body body = Body()
                          .u16(1)            // row
                          .u16(2)            // column
                          .u16(3)            // XF
                          .u32(0x3FF00000);  // RK: 1.0
    auto c = CursorOver(body);
    EXPECT_EQ(NumberFields(DecodeRk(c)), Fields(1, 2, 3, 1.0));
    test::ExpectEachCutGivesDefaults(body, {2, 4, 6, 10}, DecodeRk, NumberFields);
}

TEST(CellRecordsTest, MulRkTakesThePairsBeforeTheLastColumn) {
    const Body body = Body()
                          .u16(4)           // row
                          .u16(2)           // first column
                          .u16(15)          // XF of column 2
                          .u32(0x00000192)  // RK: 100
                          .u16(16)          // XF of column 3
                          .u32(0x3FF00000)  // RK: 1.0
                          .u16(3);          // last column
    TMulRkRecord r;
    auto c = CursorOver(body);
    DecodeMulRk(c, r);
    EXPECT_EQ(Fields(r.Row, r.FirstCol), Fields(4, 2));
    ASSERT_EQ(r.Cells.size(), 2u);
    EXPECT_EQ(Fields(r.Cells[0].XF, r.Cells[0].Value, r.Cells[1].XF, r.Cells[1].Value),
              Fields(15, 100.0, 16, 1.0));
    // Without its closing field the last pair is not taken; the storage is reused.
    const test::Bytes cut(body.data().begin(), body.data().end() - 2);
    auto d = CursorOver(cut);
    DecodeMulRk(d, r);
    EXPECT_EQ(r.Cells.size(), 1u);

    TMulBlankRecord b;
    const Body blanks = Body()
                            .u16(9)   // row
                            .u16(0)   // first column
                            .u16(15)  // XF of column 0
                            .u16(16)  // XF of column 1
                            .u16(1);  // last column
    auto e = CursorOver(blanks);
    DecodeMulBlank(e, b);
    EXPECT_EQ(Fields(b.Row, b.FirstCol), Fields(9, 0));
    EXPECT_EQ(b.XFs, (std::vector<std::uint16_t>{15, 16}));
}

TEST(CellRecordsTest, LabelKeepsItsCharactersAsStored) {
    const auto fields = [](const TLabelRecord& r) {
        return Fields(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Wide, r.Chars);
    };
    const Body narrow = Body()
                            .u16(0)            // row
                            .u16(1)            // column
                            .u16(15)           // XF
                            .u16(3)            // character count
                            .u8(0)             // 8-bit characters
                            .ascii("M\xFCn");  // Latin-1 bytes
    auto c = CursorOver(narrow);
    EXPECT_EQ(fields(DecodeLabel(c)), Fields(0, 1, 15, false, std::string_view("M\xFCn")));
    // A cut in the count or option byte leaves 8-bit characters, none of them.
    test::ExpectEachCutGivesDefaults(narrow, {2, 4, 6, 9, 12}, DecodeLabel, fields);

    const Body wide = Body()
                          .u16(0)   // row
                          .u16(1)   // column
                          .u16(15)  // XF
                          .u16(2)   // character count
                          .u8(1)    // UTF-16 characters
                          .utf16(u"\u041A\u0438");
    auto d = CursorOver(wide);
    const TLabelRecord r = DecodeLabel(d);
    EXPECT_TRUE(r.Wide);
    EXPECT_EQ(r.Chars.size(), 4u);
    // No characters: no option byte either.
    const Body empty = Body().u16(0).u16(1).u16(15).u16(0);
    auto e = CursorOver(empty);
    EXPECT_EQ(fields(DecodeLabel(e)), Fields(0, 1, 15, false, std::string_view()));
    EXPECT_FALSE(e.Short());
}

TEST(CellRecordsTest, LabelSstAndBoolErr) {
    const Body sst = Body()
                         .u16(5)       // row
                         .u16(6)       // column
                         .u16(15)      // XF
                         .u32(70000);  // shared string index
    const auto sstFields = [](const TLabelSstRecord& r) {
        return Fields(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Index);
    };
    auto c = CursorOver(sst);
    EXPECT_EQ(sstFields(DecodeLabelSst(c)), Fields(5, 6, 15, 70000));
    test::ExpectEachCutGivesDefaults(sst, {2, 4, 6, 10}, DecodeLabelSst, sstFields);

    const auto boolFields = [](const TBoolErrRecord& r) {
        return Fields(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.Value, r.Error);
    };
    const Body boolean = Body()
                             .u16(1)   // row
                             .u16(2)   // column
                             .u16(15)  // XF
                             .u8(1)    // TRUE
                             .u8(0);   // not an error
    auto d = CursorOver(boolean);
    EXPECT_EQ(boolFields(DecodeBoolErr(d)), Fields(1, 2, 15, 1, false));
    const Body error = Body().u16(1).u16(2).u16(15).u8(0x07).u8(1);  // #DIV/0!
    auto e = CursorOver(error);
    EXPECT_EQ(boolFields(DecodeBoolErr(e)), Fields(1, 2, 15, 7, true));
    // The value and the flag are one field: half of it reads as nothing.
    const Body half = Body().u16(1).u16(2).u16(15).u8(1);
    auto f = CursorOver(half);
    EXPECT_EQ(boolFields(DecodeBoolErr(f)), Fields(1, 2, 15, 0, false));
    EXPECT_TRUE(f.Short());
}

TEST(CellRecordsTest, FormulaResultsAndTokens) {
    const auto fields = [](const TFormulaRecord& r) {
        return Fields(r.Cell.Row, r.Cell.Col, r.Cell.XF, r.IsNumber(), r.Number(), r.Options[0],
                      r.Options[1], r.Tokens);
    };
    const Body number = Body()
                            .u16(3)       // row
                            .u16(4)       // column
                            .u16(15)      // XF
                            .f64(42.5)    // cached result
                            .u16(0x0008)  // options: shared formula
                            .u32(0)       // calculation chain
                            .u16(3)       // token bytes
                            .u8(0x1E)     // tInt
                            .u16(7);      // 7
    auto c = CursorOver(number);
    const TFormulaRecord r = DecodeFormula(c);
    EXPECT_EQ(fields(r), Fields(3, 4, 15, true, 42.5, 8, 0, std::string_view("\x1E\x07\x00", 3)));
    EXPECT_FALSE(c.Short());
    // A body cut short keeps the bytes it holds: no result after the address, part of the
    // tokens inside them.
    const test::Bytes& bytes = number;
    const test::Bytes address(bytes.begin(), bytes.begin() + 6);
    auto d = CursorOver(address);
    EXPECT_EQ(fields(DecodeFormula(d)), Fields(3, 4, 15, true, 0.0, 0, 0, std::string_view()));
    EXPECT_TRUE(d.Short());
    const test::Bytes tokens(bytes.begin(), bytes.end() - 1);
    auto e = CursorOver(tokens);
    EXPECT_EQ(DecodeFormula(e).Tokens, std::string_view("\x1E\x07", 2));
    EXPECT_TRUE(e.Short());

    const Body text = Body()
                          .u16(0)
                          .u16(0)
                          .u16(15)
                          .u8(TFormulaRecord::kResultString)  // a text result follows
                          .zeros(5)
                          .u16(0xFFFF)  // not a number
                          .zeros(8);    // options, chain, no tokens
    auto f = CursorOver(text);
    const TFormulaRecord t = DecodeFormula(f);
    EXPECT_FALSE(t.IsNumber());
    EXPECT_EQ(t.Result[0], TFormulaRecord::kResultString);
    EXPECT_TRUE(t.Tokens.empty());

    // The values of an array constant follow the tokens.
    const Body array = Body()
                           .u16(0)
                           .u16(0)
                           .u16(15)
                           .f64(0)
                           .u16(0)
                           .u32(0)    // address ... chain
                           .u16(1)    // token bytes
                           .u8(0x60)  // tArray (its 7 unused bytes cut for the test)
                           .u8(0)     // columns - 1
                           .u16(0);   // rows - 1
    auto g = CursorOver(array);
    const TFormulaRecord a = DecodeFormula(g);
    EXPECT_EQ(a.Tokens, std::string_view("\x60", 1));
    EXPECT_EQ(a.Extra, std::string_view("\x00\x00\x00", 3));
}
