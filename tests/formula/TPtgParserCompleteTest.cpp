// The complete decoder: every token and built-in function of the format, array formulas
// and data tables, and bounded work on hostile token streams.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/formula/PtgTestSupport.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

const std::string kNo = "<not recognised>";

Body A1() {
    return Ref(0x24, 0, 0, 0xC0);
}
Body B1() {
    return Ref(0x24, 0, 1, 0xC0);
}

}  // namespace

TEST_F(PtgCompleteTest, OperatorsBeyondTheCommonSubset) {
    EXPECT_EQ(Decode(Body().bytes(Int(2)).bytes(Int(3)).u8(0x07)), "2^3");
    EXPECT_EQ(Decode(Body().bytes(A1()).u8(0x13).u8(0x14)), "-A1%");  // unary minus, percent
    EXPECT_EQ(Decode(Body().bytes(A1()).u8(0x12)), "+A1");
    // Union inside parentheses, as a function argument; intersection with a space.
    const Bytes unionOf = Body().bytes(A1()).bytes(B1()).u8(0x10).u8(0x15).u8(0x22).u8(1).u16(4);
    EXPECT_EQ(Decode(unionOf), "SUM((A1,B1))");
    EXPECT_EQ(Decode(Body().bytes(A1()).bytes(B1()).u8(0x0F)), "A1 B1");
}

TEST_F(PtgCompleteTest, ErrorsAndReferenceErrors) {
    const std::pair<std::uint8_t, std::string> errors[] = {
        {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
        {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"}};
    for (const auto& [code, text] : errors)
        EXPECT_EQ(Decode(Body().u8(0x1C).u8(code)), text);
    EXPECT_EQ(Decode(Body().u8(0x1C).u8(0x99)), kNo);      // no such error
    EXPECT_EQ(Decode(Body().u8(0x2A).u32(0)), "#REF!");    // deleted cell
    EXPECT_EQ(Decode(Body().u8(0x4B).zeros(8)), "#REF!");  // deleted area
    EXPECT_EQ(Decode(Body().u8(0x3C).u16(kSheetData).u32(0)), "'Data'!#REF!");
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(kDeletedSheet).u16(0).u8(0).u8(0xC0)), "#REF!A1");
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(kWholeBook).u16(0).u8(0).u8(0xC0)), "A1");
}

TEST_F(PtgCompleteTest, ArrayConstantsTakeTheirValuesAfterTheTokens) {
    const Bytes tokens = Body().u8(0x60).zeros(7);  // array constant, 7 unused bytes
    const Bytes values = Body()
                             .u8(1)   // columns - 1
                             .u16(1)  // rows - 1
                             .u8(0x01)
                             .f64(1.5)  // number
                             .u8(0x02)
                             .u16(3)
                             .u8(0)
                             .ascii("a\"b")  // text
                             .u8(0x04)
                             .u8(1)
                             .zeros(7)  // TRUE
                             .u8(0x10)
                             .u8(0x07)
                             .zeros(7);  // #DIV/0!
    EXPECT_EQ(Decode(tokens, 0, 0, 0, values), "{1.5,\"a\"\"b\";TRUE,#DIV/0!}");
    SetSeparators(u';', u',');
    EXPECT_EQ(Decode(tokens, 0, 0, 0, values), "{1,5;\"a\"\"b\"|TRUE;#DIV/0!}");
    // A count far beyond the values present, or an unknown type, is not recognised.
    EXPECT_EQ(Decode(tokens, 0, 0, 0, Body().u8(255).u16(65535).u8(0x01).f64(1)), kNo);
    EXPECT_EQ(Decode(tokens, 0, 0, 0, Body().u8(0).u16(0).u8(0x03).zeros(8)), kNo);
}

TEST_F(PtgCompleteTest, MemoryTokensLeaveTheirSubExpression) {
    // A memory area with its area list in the extra data, before an array constant's
    // values: both in token order.
    const Bytes tokens = Body()
                             .u8(0x26)
                             .u32(0)
                             .u16(7)  // memory area, sub-expression of 7
                             .bytes(Ref(0x24, 0, 0, 0xC0))
                             .bytes(Ref(0x24, 1, 0, 0xC0))
                             .u8(0x10)  // union
                             .u8(0x15)
                             .u8(0x40)
                             .zeros(7)  // array constant
                             .u8(0x22)
                             .u8(2)
                             .u16(4);  // SUM
    const Bytes extra = Body()
                            .u16(2)
                            .zeros(16)  // two areas of the memory area
                            .u8(0)
                            .u16(0)
                            .u8(0x01)
                            .f64(9);  // {9}
    EXPECT_EQ(Decode(tokens, 0, 0, 0, extra), "SUM((A1,A2),{9})");
    EXPECT_EQ(Decode(Body().u8(0x27).zeros(6).bytes(A1())), "A1");  // memory error
    EXPECT_EQ(Decode(Body().u8(0x49).u16(7).bytes(A1())), "A1");    // memory function
    EXPECT_EQ(Decode(Body().u8(0x2E).u16(7).bytes(A1())), "A1");
    EXPECT_EQ(Decode(tokens, 0, 0, 0, Body().u16(5)), kNo);  // its areas are missing
}

TEST_F(PtgCompleteTest, EveryBuiltInFunction) {
    EXPECT_EQ(Decode(Body().bytes(A1()).u8(0x41).u16(2)), "ISNA(A1)");
    EXPECT_EQ(Decode(Body().u8(0x21).u16(19)), "PI()");
    EXPECT_EQ(Decode(Body().bytes(A1()).bytes(B1()).u8(0x42).u8(2).u16(97)), "ATAN2(A1,B1)");
    EXPECT_EQ(Decode(Body().bytes(A1()).u8(0x22).u8(0x81).u16(379)), "RTD(A1)");  // prompt bit
    EXPECT_EQ(Decode(Body().bytes(A1()).u8(0x22).u8(1).u16(0x8000 | 5)), kNo);    // a command
    EXPECT_EQ(Decode(Body().bytes(A1()).u8(0x22).u8(1).u16(202)), kNo);           // unassigned
    // CHOOSE with its jump table.
    const Bytes choose = Body()
                             .bytes(Int(2))
                             .u8(0x19)
                             .u8(0x04)
                             .u16(2)
                             .u16(6)
                             .u16(13)
                             .u16(20)  // 2 choices
                             .bytes(A1())
                             .u8(0x19)
                             .u8(0x08)
                             .u16(10)
                             .bytes(B1())
                             .u8(0x19)
                             .u8(0x08)
                             .u16(3)
                             .u8(0x42)
                             .u8(3)
                             .u16(100);
    EXPECT_EQ(Decode(choose), "CHOOSE(2,A1,B1)");
    // Functions newer than the format: a hidden name and a call by name.
    const Bytes iferror =
        Body().u8(0x23).u16(4).u16(0).bytes(A1()).bytes(Int(0)).u8(0x42).u8(3).u16(255);
    EXPECT_EQ(Decode(iferror), "IFERROR(A1,0)");
    EXPECT_EQ(Decode(Body().u8(0x23).u16(3).u16(0)), "Secret");  // a hidden name
}

TEST_F(PtgCompleteTest, WholeColumnsAndRows) {
    const auto area = [](std::uint16_t r1, std::uint16_t r2, std::uint8_t c1, std::uint8_t c2,
                         std::uint8_t flags) {
        return Bytes(Body().u8(0x25).u16(r1).u16(r2).u8(c1).u8(flags).u8(c2).u8(flags));
    };
    EXPECT_EQ(Decode(area(0, 65535, 2, 3, 0x80)), "$C:$D");
    EXPECT_EQ(Decode(area(0, 2, 0, 255, 0x40)), "$1:$3");
    EXPECT_EQ(Decode(area(0, 65534, 2, 2, 0xC0)), "C1:C65535");
}

TEST_F(PtgCompleteTest, ArrayFormulasAndDataTablesByTheirFirstCell) {
    TXLSSharedFormulas& store = Parser().SharedFormulas();
    store.AddArrayFormula(0, Str(Body()
                                     .u16(2)
                                     .u16(3)  // rows 3 to 4
                                     .u8(1)
                                     .u8(1)    // column B
                                     .u16(0)   // options
                                     .u32(0)   // unused
                                     .u16(14)  // token length
                                     .bytes(Ref(0x24, 0, 0, 0xC0))
                                     .u8(0x60)
                                     .zeros(7)  // array constant
                                     .u8(0x05)  // *
                                     .u8(0)
                                     .u16(0)
                                     .u8(0x01)
                                     .f64(2)));  // {2}
    EXPECT_EQ(Decode(Body().u8(0x01).u16(2).u16(1), 0, 3, 1), "A1*{2}");
    store.AddTable(0, Str(Body()
                              .u16(5)
                              .u16(9)
                              .u8(2)
                              .u8(3)      // C6:D10
                              .u16(0x08)  // two input cells
                              .u16(0)
                              .u16(0)  // row input A1
                              .u16(1)
                              .u16(1)));  // column input B2
    store.AddTable(0, Str(Body().u16(20).u16(29).u8(2).u8(2).u16(0x04).u16(0).u16(0)));
    store.AddTable(0, Str(Body().u16(40).u16(49).u8(2).u8(2).u16(0).u16(0).u16(0)));
    EXPECT_EQ(Decode(Body().u8(0x02).u16(5).u16(2), 0, 7, 3), "TABLE(A1,B2)");
    EXPECT_EQ(Decode(Body().u8(0x02).u16(20).u16(2), 0, 21, 2), "TABLE(A1,)");
    EXPECT_EQ(Decode(Body().u8(0x02).u16(40).u16(2), 0, 41, 2), "TABLE(,A1)");
    EXPECT_EQ(Decode(Body().u8(0x02).u16(6).u16(2), 0, 7, 3), kNo);  // no table starts there
    // A pointer that is not the whole formula.
    EXPECT_EQ(Decode(Body().bytes(Int(1)).u8(0x01).u16(2).u16(1)), kNo);
}

TEST_F(PtgCompleteTest, HostileStreamsStopWithinBounds) {
    // Thousands of parentheses around one operand: the text is written once, not copied
    // over and over.
    Body parens;
    parens.bytes(Int(1));
    for (int i = 0; i < 30000; ++i)
        parens.u8(0x15);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Decode(parens), std::string(30000, '(') + "1" + std::string(30000, ')'));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    Body nested;
    nested.bytes(Int(1));
    for (int i = 0; i < 100; ++i)
        nested.u8(0x15);
    EXPECT_EQ(Decode(nested).size(), 201u);
    // A jump table of 65536 entries that is not there.
    EXPECT_EQ(Decode(Body().bytes(Int(1)).u8(0x19).u8(0x04).u16(65535)), kNo);
}
