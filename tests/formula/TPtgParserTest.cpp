// The formula token decoder with the common subset of tokens and functions, fed with
// token bytes written one token per line.
#include <gtest/gtest.h>

#include "tests/formula/PtgTestSupport.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

const std::string kNo = "<not recognised>";

}  // namespace

TEST_F(PtgTest, OperatorsAndParentheses) {
    const Bytes sum = Body()
                          .bytes(Int(1))  // 1
                          .bytes(Int(2))  // 2
                          .u8(0x03);      // +
    EXPECT_EQ(Decode(sum), "1+2");
    EXPECT_EQ(Decode(Body().bytes(sum).u8(0x15)), "(1+2)");  // parentheses
    const Bytes comparison = Body()
                                 .bytes(Int(1))
                                 .bytes(Int(2))
                                 .u8(0x0E)  // <>
                                 .bytes(Int(3))
                                 .u8(0x08)  // &
                                 .bytes(Int(4))
                                 .u8(0x0A);  // <=
    EXPECT_EQ(Decode(comparison), "1<>2&3<=4");
}

TEST_F(PtgTest, CellReferencesShowTheirAbsoluteParts) {
    EXPECT_EQ(Decode(Ref(0x24, 4, 2, 0xC0)), "C5");
    EXPECT_EQ(Decode(Ref(0x24, 4, 2, 0x00)), "$C$5");
    EXPECT_EQ(Decode(Ref(0x44, 4, 2, 0x80)), "$C5");  // value class
    EXPECT_EQ(Decode(Ref(0x64, 4, 2, 0x40)), "C$5");  // array class
    EXPECT_EQ(Decode(Ref(0x24, 65535, 255, 0)), "$IV$65536");
    // A plain reference holds its cell, not an offset, whatever cell the formula is in.
    EXPECT_EQ(Decode(Ref(0x24, 4, 2, 0xC0), 0, 100, 50), "C5");
    const Bytes area = Body()
                           .u8(0x25)   // area
                           .u16(0)     // first row
                           .u16(3)     // last row
                           .u8(0)      // first column
                           .u8(0x00)   // absolute
                           .u8(1)      // last column
                           .u8(0xC0);  // relative
    EXPECT_EQ(Decode(area), "$A$1:B4");
}

TEST_F(PtgTest, RelativeReferencesCountFromTheFormulaCellAndWrap) {
    // Row offset -1 from row 10 (0-based): row 9, shown as 10.
    EXPECT_EQ(Decode(Ref(0x2C, 0xFFFF, 0, 0x80), 0, 10, 0), "$A10");
    // Column offset -1 from column A wraps to IV; row offset +1 from the last row to 1.
    EXPECT_EQ(Decode(Ref(0x4C, 1, 0xFF, 0xC0), 0, 65535, 0), "IV1");
    // Absolute parts of a relative token are kept as stored.
    EXPECT_EQ(Decode(Ref(0x6C, 7, 3, 0x00), 0, 10, 10), "$D$8");
    const Bytes area = Body()
                           .u8(0x2D)   // relative area
                           .u16(0)     // first row offset 0
                           .u16(2)     // last row offset +2
                           .u8(0xFF)   // first column offset -1
                           .u8(0xC0)   // relative
                           .u8(5)      // last column 5
                           .u8(0x80);  // column absolute
    EXPECT_EQ(Decode(area, 0, 4, 3), "C5:$F7");
}

TEST_F(PtgTest, FunctionsFromTheCommonTable) {
    const Bytes twoCells = Body().bytes(Ref(0x24, 0, 0, 0xC0)).bytes(Ref(0x24, 0, 1, 0xC0));
    EXPECT_EQ(Decode(Body().bytes(twoCells).u8(0x22).u8(2).u16(4)), "SUM(A1,B1)");
    SetSeparators(u';', u',');
    EXPECT_EQ(Decode(Body().bytes(twoCells).u8(0x42).u8(2).u16(4)), "SUM(A1;B1)");
    EXPECT_EQ(Decode(Body().u8(0x21).u16(74)), "NOW()");  // fixed, no arguments
    EXPECT_EQ(Decode(Body().bytes(Int(4)).u8(0x41).u16(20)), "SQRT(4)");
    // SUM takes its count from the token, so a fixed-argument SUM is not recognised;
    // neither is a function outside the table (ISNA, 2).
    EXPECT_EQ(Decode(Body().bytes(twoCells).u8(0x21).u16(4)), kNo);
    EXPECT_EQ(Decode(Body().bytes(Int(1)).u8(0x21).u16(2)), kNo);
    // A count beyond the operands the tokens left.
    EXPECT_EQ(Decode(Body().bytes(twoCells).u8(0x22).u8(3).u16(4)), kNo);
}

TEST_F(PtgTest, AttributeTokens) {
    const Bytes area = Body().u8(0x25).u16(0).u16(2).u8(0).u8(0xC0).u8(0).u8(0xC0);  // A1:A3
    EXPECT_EQ(Decode(Body().bytes(area).u8(0x19).u8(0x10).u16(0)), "SUM(A1:A3)");
    // IF with its jumps, a volatile mark and a space: all left out.
    const Bytes iff = Body()
                          .u8(0x19)
                          .u8(0x01)
                          .u16(0)         // volatile
                          .bytes(Int(1))  // condition
                          .u8(0x19)
                          .u8(0x02)
                          .u16(7)  // if: jump over the true branch
                          .u8(0x19)
                          .u8(0x40)
                          .u16(1)         // one space
                          .bytes(Int(2))  // true
                          .u8(0x19)
                          .u8(0x08)
                          .u16(7)         // goto the end
                          .bytes(Int(3))  // false
                          .u8(0x19)
                          .u8(0x08)
                          .u16(3)  // goto the end
                          .u8(0x42)
                          .u8(3)
                          .u16(1);  // IF, three arguments
    EXPECT_EQ(Decode(iff), "IF(1,2,3)");
    // CHOOSE's jump table is beyond the common subset.
    EXPECT_EQ(Decode(Body().bytes(Int(1)).u8(0x19).u8(0x04).u16(0).u16(4)), kNo);
}

TEST_F(PtgTest, ConstantsInTheirTextForms) {
    EXPECT_EQ(Decode(Body().u8(0x17).u8(0).u8(0)), "\"\"");
    EXPECT_EQ(Decode(Body().u8(0x17).u8(4).u8(0).ascii("Caf\xE9")), "\"Caf\xC3\xA9\"");
    EXPECT_EQ(Decode(Body().u8(0x17).u8(2).u8(1).utf16(u"\u03A9\u20AC")),
              "\"\xCE\xA9\xE2\x82\xAC\"");
    // A quote inside is doubled, as a formula writes it.
    EXPECT_EQ(Decode(Body().u8(0x17).u8(3).u8(0).ascii("a\"b")), "\"a\"\"b\"");
    EXPECT_EQ(Decode(Body().u8(0x1D).u8(1)), "TRUE");
    EXPECT_EQ(Decode(Body().u8(0x1D).u8(0)), "FALSE");
    EXPECT_EQ(Decode(Int(65535)), "65535");
    EXPECT_EQ(Decode(Body().u8(0x1F).f64(0.5)), "0.5");
    EXPECT_EQ(Decode(Body().u8(0x1F).f64(1.0 / 3)), "0.333333333333333");
    SetSeparators(u';', u',');
    EXPECT_EQ(Decode(Body().u8(0x1F).f64(0.5)), "0,5");
    // A missing argument is empty.
    EXPECT_EQ(Decode(Body().bytes(Int(1)).u8(0x16).u8(0x22).u8(2).u16(4)), "SUM(1;)");
}

TEST_F(PtgTest, TokensBeyondTheCommonSubsetAreNotRecognised) {
    const Bytes one = Int(1);
    for (const std::uint8_t id :
         {0x01, 0x02, 0x07, 0x0F, 0x10, 0x12, 0x13, 0x14, 0x18, 0x1C, 0x20, 0x26, 0x27,
          0x28, 0x2A, 0x2B, 0x2E, 0x2F, 0x3C, 0x3D, 0x49, 0x69, 0x00, 0x80, 0xFF}) {
        // Each after two operands, with room for its operand bytes.
        EXPECT_EQ(Decode(Body().bytes(one).bytes(one).u8(id).zeros(10)), kNo) << +id;
    }
    EXPECT_EQ(Decode(Body().u8(0x29).u16(3).bytes(one)), "1");  // memory function: skipped
}

TEST_F(PtgTest, MalformedTokenStreamsAreNotRecognised) {
    EXPECT_EQ(Decode(Body().u8(0x03)), kNo);  // + without operands
    EXPECT_EQ(Decode(Body().bytes(Int(1)).u8(0x15).u8(0x04)), kNo);
    EXPECT_EQ(Decode(Body().u8(0x1E).u8(1)), kNo);  // integer cut short
    EXPECT_EQ(Decode(Body().u8(0x17).u8(5).u8(0).ascii("ab")), kNo);
    EXPECT_EQ(Decode(Body().u8(0x25).u16(0).u16(0)), kNo);  // area cut short
    // A failure leaves nothing behind: the next formula decodes alone.
    EXPECT_EQ(Decode(Int(7)), "7");
    // Two expressions without an operator between them give the first.
    EXPECT_EQ(Decode(Body().bytes(Int(1)).bytes(Int(2))), "1");
    EXPECT_EQ(Decode({}), "");
}

TEST_F(PtgTest, ReferencesToOtherSheetsAndWorkbooks) {
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(kSheetData).u16(0).u8(0).u8(0x00)), "'Data'!$A$1");
    EXPECT_EQ(
        Decode(Body().u8(0x5B).u16(kSheetsJanMar).u16(0).u16(9).u8(1).u8(0xC0).u8(1).u8(0xC0)),
        "'Jan:Mar'!B1:B10");
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(kBookSheet1).u16(1).u8(2).u8(0xC0)),
              "'C:\\dir\\[Book.xls]Sheet1'!C2");
    // A plain 3-D reference holds its cell, not an offset.
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(kSheetData).u16(1).u8(2).u8(0xC0), 0, 9, 9), "'Data'!C2");
    // An EXTERNSHEET entry the table lacks, or a sheet it does not name.
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(99).u16(0).u8(0).u8(0)), kNo);
    EXPECT_EQ(Decode(Body().u8(0x3A).u16(kDeletedSheet).u16(0).u8(0).u8(0)), kNo);
    EXPECT_EQ(Decode(Int(1)), "1");
}

TEST_F(PtgTest, NamesOwnAndExternal) {
    EXPECT_EQ(Decode(Body().u8(0x23).u16(1).u16(0)), "Total");  // 1-based
    EXPECT_EQ(Decode(Body().u8(0x43).u16(2).u16(0)), "'My Total'");
    EXPECT_EQ(Decode(Body().u8(0x23).u16(0).u16(0)), kNo);  // no name 0
    EXPECT_EQ(Decode(Body().u8(0x23).u16(9).u16(0)), kNo);
    // A hidden name keeps no text in the link table: a formula with it would lose it.
    EXPECT_EQ(Decode(Body().u8(0x23).u16(3).u16(0)), kNo);
    EXPECT_EQ(Decode(Body().u8(0x39).u16(kBookSheet1).u16(1).u16(0)), "'C:\\dir\\Book.xls'!Rate");
    // An add-in function: its name, then the arguments, then the call by name.
    const Bytes effect = Body()
                             .u8(0x39)
                             .u16(kAddIns)
                             .u16(1)
                             .u16(0)                        // EFFECT
                             .bytes(Ref(0x24, 0, 0, 0xC0))  // A1
                             .bytes(Int(4))                 // 4
                             .u8(0x42)
                             .u8(3)
                             .u16(255);  // call, 3 operands
    EXPECT_EQ(Decode(effect), "EFFECT(A1,4)");
    EXPECT_EQ(Decode(Body().u8(0x42).u8(0).u16(255)), kNo);  // a call without a name
}

TEST_F(PtgTest, SharedFormulasGiveEachCellItsOwnReferences) {
    TXLSSharedFormulas& store = Parser().SharedFormulas();
    store.AddSharedFormula(0, Str(Body()
                                      .u16(1)
                                      .u16(3)  // rows 2 to 4
                                      .u8(2)
                                      .u8(2)                                 // column C
                                      .u8(0)                                 // reserved
                                      .u8(3)                                 // cells that use it
                                      .u16(9)                                // token length
                                      .bytes(Ref(0x2C, 0xFFFF, 0xFE, 0xC0))  // up one, left two
                                      .bytes(Int(1))
                                      .u8(0x03)));
    const Bytes pointer = Body().u8(0x01).u16(1).u16(2);  // to C2
    EXPECT_EQ(Decode(pointer, TPtgParser::kSharedFormula, 1, 2), "A1+1");
    EXPECT_EQ(Decode(pointer, TPtgParser::kSharedFormula, 3, 2), "A3+1");
    // Outside the range, or without the shared flag, the pointer is not recognised.
    EXPECT_EQ(Decode(pointer, TPtgParser::kSharedFormula, 4, 2), kNo);
    EXPECT_EQ(Decode(pointer, 0, 2, 2), kNo);
}

TEST_F(PtgTest, OverlappingSharedFormulasFollowThePointer) {
    TXLSSharedFormulas& store = Parser().SharedFormulas();
    const auto add = [&](std::uint16_t first, std::uint16_t value) {
        store.AddSharedFormula(
            0, Str(Body().u16(first).u16(9).u8(0).u8(0).u16(0).u16(3).bytes(Int(value))));
    };
    add(0, 1);  // rows 1 to 10
    add(4, 2);  // rows 5 to 10, added later
    EXPECT_EQ(Decode(Body().u8(0x01).u16(4).u16(0), TPtgParser::kSharedFormula, 6, 0), "2");
    // A pointer to no range's first cell: the first range added that holds the cell.
    EXPECT_EQ(Decode(Body().u8(0x01).u16(5).u16(0), TPtgParser::kSharedFormula, 6, 0), "1");
}

TEST_F(PtgTest, SharedThreeDReferencesTakeNoOffset) {
    // D1:D10 share tokens holding a 3-D reference to Data!A1 (row and column marked
    // relative): every cell reads Data!A1, as only names offset 3-D references.
    Parser().SharedFormulas().AddSharedFormula(0, Str(Body()
                                                          .u16(0)  // rows 1 to 10
                                                          .u16(9)
                                                          .u8(3)  // column D
                                                          .u8(3)
                                                          .u16(0)
                                                          .u16(7)    // token length
                                                          .u8(0x5A)  // Ref3d
                                                          .u16(kSheetData)
                                                          .u16(0)       // row 1
                                                          .u8(0x00)     // column A
                                                          .u8(0xC0)));  // both relative
    for (const std::uint16_t row : {0, 5, 9})
        EXPECT_EQ(Decode(Body().u8(0x01).u16(0).u16(3), TPtgParser::kSharedFormula, row, 3),
                  "'Data'!A1");
}

// A text stops at 64 KB; a longer one is not recognised.
TEST_F(PtgTest, TextsAreBounded) {
    // CONCATENATE("a...","b...",...) of 255 texts whose text takes `length` bytes.
    const auto concatenation = [](std::size_t length) {
        std::size_t characters = length - std::string_view("CONCATENATE()").size() - 254 - 2 * 255;
        Body tokens;
        for (int i = 0; i < 255; ++i) {
            const std::size_t n = std::min<std::size_t>(characters, 255);
            characters -= n;
            tokens.u8(0x17).u8(static_cast<std::uint8_t>(n)).u8(0).ascii(std::string(n, 'a'));
        }
        return tokens.u8(0x42).u8(255).u16(336);
    };
    EXPECT_EQ(Decode(concatenation(TPtgParser::kMaxTextLength)).size(), TPtgParser::kMaxTextLength);
    EXPECT_EQ(Decode(concatenation(TPtgParser::kMaxTextLength + 1)), kNo);
    // Operands left over below the text count too.
    EXPECT_EQ(Decode(Body().bytes(Int(1)).bytes(concatenation(TPtgParser::kMaxTextLength + 1))),
              kNo);
    EXPECT_EQ(Decode(Body().bytes(Int(1)).bytes(Int(2))), "1");
}
