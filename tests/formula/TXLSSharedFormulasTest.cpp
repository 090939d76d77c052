// The store of shared formulas, array formulas and data tables.
#include <gtest/gtest.h>

#include "tests/support/XlsBuilder.h"
#include "xls/formula/TXLSSharedFormulas.h"

using namespace vorlix;
using test::Body;
using test::Bytes;

namespace {

std::string Shrfmla(std::uint16_t firstRow, std::uint16_t lastRow, std::uint8_t firstCol,
                    std::uint8_t lastCol, const std::string& tokens, std::size_t extra = 0) {
    Bytes b = Body()
                  .u16(firstRow)                                           // first row
                  .u16(lastRow)                                            // last row
                  .u8(firstCol)                                            // first column
                  .u8(lastCol)                                             // last column
                  .u8(0)                                                   // reserved
                  .u8(1)                                                   // cells that use it
                  .u16(static_cast<std::uint32_t>(tokens.size() - extra))  // token length
                  .ascii(tokens);  // tokens, then any extra data
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(TXLSSharedFormulasTest, RangesHoldTheirBoundsOnTheirSheet) {
    TXLSSharedFormulas store;
    store.AddSharedFormula(0, Shrfmla(5, 9, 2, 2, "t"));
    EXPECT_EQ(store.FindSharedFormula(0, 5, 2), "t");
    EXPECT_EQ(store.FindSharedFormula(0, 9, 2), "t");
    EXPECT_EQ(store.FindSharedFormula(0, 10, 2), "");
    EXPECT_EQ(store.FindSharedFormula(0, 4, 2), "");
    EXPECT_EQ(store.FindSharedFormula(0, 5, 3), "");
    EXPECT_EQ(store.FindSharedFormula(1, 5, 2), "");  // another sheet
}

TEST(TXLSSharedFormulasTest, FirstAddedWinsWhereRangesOverlap) {
    TXLSSharedFormulas store;
    store.AddSharedFormula(0, Shrfmla(0, 9, 0, 3, "first"));
    store.AddSharedFormula(0, Shrfmla(5, 60000, 0, 0, "tall"));  // spans many row blocks
    store.AddSharedFormula(0, Shrfmla(8, 8, 0, 0, "late"));
    EXPECT_EQ(store.FindSharedFormula(0, 8, 0), "first");
    EXPECT_EQ(store.FindSharedFormula(0, 10, 0), "tall");
    EXPECT_EQ(store.FindSharedFormula(0, 59999, 0), "tall");
    // A tall range added first wins over a short one added later.
    TXLSSharedFormulas tallFirst;
    tallFirst.AddSharedFormula(0, Shrfmla(0, 65535, 0, 0, "tall"));
    tallFirst.AddSharedFormula(0, Shrfmla(100, 100, 0, 0, "short"));
    EXPECT_EQ(tallFirst.FindSharedFormula(0, 100, 0), "tall");
    EXPECT_EQ(tallFirst.FindSharedStartingAt(0, 100, 0)->Tokens(), "short");
}

TEST(TXLSSharedFormulasTest, TokensAndTheDataAfterThem) {
    TXLSSharedFormulas store;
    store.AddSharedFormula(0, Shrfmla(0, 0, 0, 0, "tokXY", 2));
    const TSharedFormula* entry = store.FindShared(0, 0, 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(store.FindSharedFormula(0, 0, 0), "tokXY");  // all of the rest
    EXPECT_EQ(entry->Tokens(), "tok");
    EXPECT_EQ(entry->Extra(), "XY");
    // Bodies cut short keep what they hold.
    store.AddSharedFormula(1, std::string("\x00\x00\x05\x00\x01\x01", 6));  // no tokens
    EXPECT_EQ(store.FindSharedFormula(1, 3, 1), "");
    EXPECT_NE(store.FindShared(1, 3, 1), nullptr);
}

TEST(TXLSSharedFormulasTest, ArrayFormulasAndTablesByTheirFirstCell) {
    TXLSSharedFormulas store;
    const Bytes array = Body()
                            .u16(2)
                            .u16(4)
                            .u8(1)
                            .u8(2)        // B3:C5
                            .u16(0)       // options
                            .u32(0)       // unused
                            .u16(2)       // token length
                            .ascii("ab")  // tokens
                            .ascii("c");  // extra data
    store.AddArrayFormula(0, std::string(array.begin(), array.end()));
    ASSERT_NE(store.FindArrayFormula(0, 2, 1), nullptr);
    EXPECT_EQ(store.FindArrayFormula(0, 2, 1)->Tokens(), "ab");
    EXPECT_EQ(store.FindArrayFormula(0, 2, 1)->Extra(), "c");
    EXPECT_EQ(store.FindArrayFormula(0, 3, 1), nullptr);  // not its first cell
    const Bytes table = Body().u16(5).u16(9).u8(2).u8(3).u16(0x08).u16(1).u16(2).u16(3).u16(4);
    store.AddTable(0, std::string(table.begin(), table.end()));
    const TDataTable* t = store.FindTable(0, 5, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Flags, 0x08);
    EXPECT_EQ(t->RowInputRow, 1);
    EXPECT_EQ(t->ColInputCol, 4);
    EXPECT_EQ(store.FindTable(1, 5, 2), nullptr);
}
