#include <gtest/gtest.h>

#include "tests/read/records/RecordTestSupport.h"
#include "xls/read/records/SheetRecords.h"

using namespace vorlix;
using namespace vorlix::records;
using test::Body;
using test::CursorOver;
using test::Fields;

TEST(SheetRecordsTest, Row) {
    const Body body = Body()
                          .u16(12)      // row
                          .u16(0)       // first column
                          .u16(4)       // last column + 1
                          .u16(300)     // height: 15 points in twips
                          .u32(0)       // unused, cached place
                          .u16(0x00E2)  // options: outline 2, hidden, height set, formatted
                          .u16(17);     // XF
    const auto fields = [](const TRowRecord& r) {
        return Fields(r.Row, r.HeightTwips, r.Options, r.XF);
    };
    auto c = CursorOver(body);
    EXPECT_EQ(fields(DecodeRow(c)), Fields(12, 300, 0xE2, 17));
    test::ExpectEachCutGivesDefaults(body, {2, 8, 14, 16}, DecodeRow, fields);
}

TEST(SheetRecordsTest, ColInfo) {
    const Body body = Body()
                          .u16(2)        // first column
                          .u16(5)        // last column
                          .u16(0x0900)   // width: 9 characters
                          .u16(16)       // XF
                          .u16(0x0101);  // options: hidden, outline level 1
    const auto fields = [](const TColInfoRecord& r) {
        return Fields(r.First, r.Last, r.Width, r.XF, r.Options);
    };
    auto c = CursorOver(body);
    EXPECT_EQ(fields(DecodeColInfo(c)), Fields(2, 5, 0x900, 16, 0x101));
    test::ExpectEachCutGivesDefaults(body, {2, 4, 6, 8, 10}, DecodeColInfo, fields);
}

TEST(SheetRecordsTest, MergeCellsTakesTheAreasTheBodyHolds) {
    const Body body = Body()
                          .u16(5)  // area count: not trusted
                          .u16(0)  // first row
                          .u16(1)  // last row
                          .u16(2)  // first column
                          .u16(3)  // last column
                          .u16(4)  // a second area, cut short
                          .u16(4);
    auto c = CursorOver(body);
    const std::vector<TCellArea> areas = DecodeMergeCells(c);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(Fields(areas[0].FirstRow, areas[0].LastRow, areas[0].FirstCol, areas[0].LastCol),
              Fields(0, 1, 2, 3));
}

TEST(SheetRecordsTest, SetupAndMargins) {
    const Body body = Body()
                          .u16(9)       // paper size: A4
                          .u16(85)      // scale
                          .u16(3)       // first page number
                          .u16(1)       // fit to 1 page wide
                          .u16(2)       // by 2 pages high
                          .u16(0x0082)  // options: portrait, use the page number
                          .u32(600)     // print and vertical resolution
                          .f64(0.25)    // header margin
                          .f64(0.5);    // footer margin
    const auto fields = [](const TSetupRecord& r) {
        return Fields(r.PaperSize, r.Scale, r.FirstPageNumber, r.FitWidth, r.FitHeight, r.Options,
                      r.HeaderMargin, r.FooterMargin);
    };
    auto c = CursorOver(body);
    EXPECT_EQ(fields(DecodeSetup(c)), Fields(9, 85, 3, 1, 2, 0x82, 0.25, 0.5));
    // A cut in the resolution loses the margins as one inside them does.
    test::ExpectEachCutGivesDefaults(body, {2, 4, 6, 8, 10, 12, 24, 32}, DecodeSetup, fields);

    const Body margin = Body().f64(0.75);  // inches
    auto d = CursorOver(margin);
    EXPECT_EQ(DecodeMargin(d), 0.75);
    const Body flag = Body().u16(1);
    auto e = CursorOver(flag);
    EXPECT_TRUE(DecodePrintFlag(e));
}

TEST(SheetRecordsTest, HeaderFooterTextAndNoText) {
    const Body text = Body()
                          .u16(5)  // character count
                          .u8(0)   // 8-bit characters
                          .ascii("&CTop");
    auto c = CursorOver(text);
    EXPECT_EQ(DecodeHeaderFooter(c), u"&CTop");
    // An empty body: no header at all; characters cut short: an empty one.
    platform::TByteCursor d;
    EXPECT_FALSE(DecodeHeaderFooter(d).has_value());
    const test::Bytes cut(text.data().begin(), text.data().end() - 1);
    auto e = CursorOver(cut);
    EXPECT_EQ(DecodeHeaderFooter(e), u"");
    EXPECT_TRUE(e.Short());
}

TEST(SheetRecordsTest, WindowPaneZoomAndProtection) {
    const Body pane = Body()
                          .u16(2)   // columns left of the split
                          .u16(1);  // rows above it
    const auto paneFields = [](const TPaneRecord& r) { return Fields(r.Horizontal, r.Vertical); };
    test::ExpectEachCutGivesDefaults(pane, {2, 4}, DecodePane, paneFields);

    const Body scl = Body()
                         .u16(3)   // numerator
                         .u16(4);  // denominator: 75%
    const auto sclFields = [](const TSclRecord& r) { return Fields(r.Numerator, r.Denominator); };
    test::ExpectEachCutGivesDefaults(scl, {2, 4}, DecodeScl, sclFields);

    const Body featHdr = Body()
                             .zeros(12)     // the record's own header
                             .u16(2)        // feature: sheet protection
                             .u8(1)         // reserved
                             .u32(0xFFFF)   // size
                             .u16(0x4403);  // protection options
    auto c = CursorOver(featHdr);
    EXPECT_EQ(DecodeFeatHdrProtection(c), 0x4403);
    const test::Bytes cut(featHdr.data().begin(), featHdr.data().end() - 1);
    auto d = CursorOver(cut);
    EXPECT_FALSE(DecodeFeatHdrProtection(d).has_value());
}
