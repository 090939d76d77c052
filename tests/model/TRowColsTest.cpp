#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ScreenMetrics.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TWorkbook.h"

using namespace vorlix;

namespace {

// Every case runs at a known screen resolution and gives the previous one back.
class TRowColsTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetScreenDpi(96); }
    void TearDown() override { platform::SetScreenDpi(savedDpi_); }

    TSheet& Sheet() { return workbook_.Sheets().Items(0); }
    TCells& Cells() { return Sheet().Cells(); }
    TCell Listed(std::uint16_t row, std::uint16_t col) {
        TCell cell = Cells().GetCell(row, col);
        cell.SetValue(TCellValue::Number(row * 1000 + col));
        return cell;
    }

    const int savedDpi_ = platform::ScreenDpi();
    TWorkbook workbook_;
};

using TRangeTest = TRowColsTest;

}  // namespace

TEST_F(TRowColsTest, MetricsAt96Dpi) {
    const TScreenMetrics m = ScreenMetrics();
    EXPECT_EQ(m.DefaultColumnPixels, 64);
    EXPECT_EQ(m.DefaultRowPixels, 17);
    EXPECT_EQ(m.DigitPixels, 7);
    EXPECT_EQ(m.PaddingPixels, 5);
    EXPECT_DOUBLE_EQ(m.NarrowFactor, 0.0834);
    EXPECT_DOUBLE_EQ(m.PointsPerPixel, 0.75);

    // Up to 11 pixels the narrow factor, above that the digit rule.
    EXPECT_DOUBLE_EQ(PixelsToChars(11), 0.9174);
    EXPECT_DOUBLE_EQ(PixelsToChars(12), 1.0);
    EXPECT_DOUBLE_EQ(CharsToPixels(1), 12);
    EXPECT_DOUBLE_EQ(CharsToPixels(0.5), 0.5 / 0.0834);
    EXPECT_DOUBLE_EQ(PointsToPixels(15), 20);
    EXPECT_DOUBLE_EQ(PixelsToPoints(20), 15);
    EXPECT_NEAR(ColumnUnitsToChars(2340), 8.43, 0.005);

    const TRow* row = Sheet().Rows().GetRow(0);
    EXPECT_DOUBLE_EQ(row->Height(), 12.75);
    EXPECT_EQ(row->PixelHeight(), 17);
    const TColumn* column = Sheet().Columns().GetColumn(0);
    EXPECT_EQ(column->PixelWidth(), 64);
    EXPECT_DOUBLE_EQ(column->Width(), 59.0 / 7);
}

TEST_F(TRowColsTest, MetricsAtAnyOtherDpi) {
    for (const int dpi : {72, 120, 144}) {
        SCOPED_TRACE(dpi);
        platform::SetScreenDpi(dpi);
        const TScreenMetrics m = ScreenMetrics();
        EXPECT_EQ(m.DefaultColumnPixels, 80);
        EXPECT_EQ(m.DefaultRowPixels, 22);
        EXPECT_EQ(m.DigitPixels, 9);
        EXPECT_EQ(m.PaddingPixels, 7);
        EXPECT_DOUBLE_EQ(m.NarrowFactor, 0.0626);
        EXPECT_DOUBLE_EQ(m.PointsPerPixel, 0.6);
    }
    platform::SetScreenDpi(120);
    EXPECT_DOUBLE_EQ(PixelsToChars(11), 11 * 0.0626);
    EXPECT_DOUBLE_EQ(PixelsToChars(25), 2.0);
    EXPECT_DOUBLE_EQ(ColumnUnitsToChars(2340), (2340.0 / 256 * 9 - 7) / 9);

    TRow* row = Sheet().Rows().GetRow(0);
    EXPECT_DOUBLE_EQ(row->Height(), 22 * 0.6);
    EXPECT_EQ(row->PixelHeight(), 22);
    row->SetHeight(15);
    EXPECT_EQ(row->PixelHeight(), 25);
    TColumn* column = Sheet().Columns().GetColumn(0);
    EXPECT_EQ(column->PixelWidth(), 80);
    EXPECT_DOUBLE_EQ(column->Width(), 73.0 / 9);
}

TEST_F(TRowColsTest, SetHeightConvertsPointsAndCommits) {
    TRow* row = Sheet().Rows().GetRow(3);
    row->SetHeight(12.75);  // the height it has: nothing happens
    EXPECT_FALSE(row->Customized());
    EXPECT_FALSE(row->SizeSet());
    EXPECT_EQ(Sheet().Rows().Count(), 0);

    row->SetHeight(15);
    EXPECT_DOUBLE_EQ(row->Height(), 15);
    EXPECT_EQ(row->PixelHeight(), 20);
    EXPECT_TRUE(row->Customized());
    EXPECT_TRUE(row->SizeSet());
    EXPECT_EQ(Sheet().Rows().Count(), 1);
    EXPECT_EQ(Sheet().Rows().Find(3), row);

    row->ClearSizeSet();
    EXPECT_FALSE(row->SizeSet());
    EXPECT_DOUBLE_EQ(row->Height(), 15);
    EXPECT_TRUE(row->Customized());

    // Pixels are rounded to the nearest integer, halves to the even neighbour.
    row->SetHeight(0.375);  // 0.5 pixels
    EXPECT_EQ(row->PixelSize(), 0);
    row->SetHeight(1.125);  // 1.5 pixels
    EXPECT_EQ(row->PixelSize(), 2);
    row->SetHeight(1.875);  // 2.5 pixels
    EXPECT_EQ(row->PixelSize(), 2);
    row->SetHeight(2.1);  // 2.8 pixels
    EXPECT_EQ(row->PixelSize(), 3);
}

TEST_F(TRowColsTest, SetWidthOfStoredColumnUnits) {
    TColumn* column = Sheet().Columns().GetColumn(5);
    column->SetWidth(ColumnUnitsToChars(2340));
    EXPECT_EQ(column->PixelWidth(), 64);
    EXPECT_NEAR(column->Width(), 8.43, 0.005);
    EXPECT_TRUE(column->SizeSet());
    EXPECT_EQ(Sheet().Columns().Count(), 1);

    column->SetWidth(0.5);
    EXPECT_EQ(column->PixelWidth(), 6);  // 0.5 / 0.0834 = 5.995
    column->SetWidth(20);
    EXPECT_EQ(column->PixelWidth(), 145);
}

TEST_F(TRowColsTest, HiddenDescriptorReportsZeroPixelsAndKeepsItsSize) {
    TColumn* column = Sheet().Columns().GetColumn(2);
    column->SetHidden(false);  // already visible: nothing happens
    EXPECT_EQ(Sheet().Columns().Count(), 0);
    EXPECT_FALSE(column->Customized());

    column->SetWidth(10);
    column->SetHidden(true);
    EXPECT_TRUE(column->Hidden());
    EXPECT_EQ(column->PixelWidth(), 0);
    EXPECT_EQ(column->PixelSize(), 75);
    EXPECT_DOUBLE_EQ(column->Width(), 10);

    // A hidden descriptor cannot be shown again.
    column->SetHidden(false);
    EXPECT_TRUE(column->Hidden());

    TRow* row = Sheet().Rows().GetRow(9);
    row->SetHidden(true);
    EXPECT_EQ(Sheet().Rows().Count(), 1);
    EXPECT_EQ(row->PixelHeight(), 0);
    EXPECT_DOUBLE_EQ(row->Height(), 12.75);
    EXPECT_TRUE(row->Customized());
}

TEST_F(TRowColsTest, OutlineLevelStopsAtSeven) {
    TRow* row = Sheet().Rows().GetRow(4);
    row->IncreaseOutline();
    EXPECT_EQ(Sheet().Rows().Count(), 1);
    EXPECT_TRUE(row->Customized());
    for (int i = 0; i < 7; ++i)
        row->IncreaseOutline();
    EXPECT_EQ(row->OutlineLevel(), 7);

    TColumn* column = Sheet().Columns().GetColumn(4);
    for (int i = 0; i < 9; ++i)
        column->IncreaseOutline();
    EXPECT_EQ(column->OutlineLevel(), 7);

    for (int i = 0; i < 8; ++i)
        Sheet().GroupRows(6, 6);
    EXPECT_EQ(Sheet().Rows().Find(6)->OutlineLevel(), 7);
}

TEST_F(TRowColsTest, DescriptorsJoinOnFirstCommit) {
    TRows& rows = Sheet().Rows();
    rows.GetRow(3)->SetFontBold(false);  // the default: stays pending
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_FALSE(rows.Exists(3));
    EXPECT_EQ(rows.Find(3), nullptr);

    TRow* row = rows.GetRow(3);
    row->SetFillColorIndex(10);
    EXPECT_TRUE(rows.Exists(3));
    EXPECT_EQ(rows.GetRow(3), row);
    EXPECT_EQ(rows.Items(0), row);
    EXPECT_EQ(rows.IndexOf(*row), 0);

    const auto messageOf = [&](long long index) -> std::string {
        try {
            rows.Items(index);
        } catch (const ERangeError& e) {
            return e.what();
        }
        return "(no error)";
    };
    EXPECT_EQ(messageOf(-1), "List index (-1) out of bounds");
    EXPECT_EQ(messageOf(1), "List index (1) out of bounds");
}

TEST_F(TRowColsTest, FormatChangeReachesListedCellsOfItsRowOnly) {
    Listed(4, 0);
    Listed(3, 4);
    Listed(4, 5);
    Listed(5, 4);
    TCell pending = Cells().GetCell(4, 9);

    Sheet().Rows().GetRow(4)->SetFontBold(true);
    EXPECT_TRUE(Cells().Find(4, 0)->FontBold());
    EXPECT_TRUE(Cells().Find(4, 5)->FontBold());
    EXPECT_FALSE(Cells().Find(3, 4)->FontBold());
    EXPECT_FALSE(Cells().Find(5, 4)->FontBold());
    EXPECT_FALSE(pending.FontBold());
    EXPECT_TRUE(pending.Pending());
    EXPECT_EQ(Cells().Count(), 4);

    // The setters with a side argument reach the cells too.
    Sheet().Rows().GetRow(4)->SetBorderStyle(bsAll, 2);
    EXPECT_EQ(Cells().Find(4, 5)->BorderStyle(bsTop), 2);
    EXPECT_EQ(Cells().Find(3, 4)->BorderStyle(bsTop), 0);

    // A cell created in the row afterwards inherits the row's formatting.
    TCell later = Cells().GetCell(4, 7);
    EXPECT_TRUE(later.FontBold());
    EXPECT_EQ(later.BorderStyle(bsLeft), 2);
}

TEST_F(TRowColsTest, FormatChangeReachesListedCellsOfItsColumnOnly) {
    Listed(0, 5);
    Listed(9, 5);
    Listed(5, 0);

    TColumn* column = Sheet().Columns().GetColumn(5);
    column->SetFillColorIndex(10);
    column->SetFontName(u"Courier");
    EXPECT_EQ(Cells().Find(0, 5)->FillColorIndex(), 10);
    EXPECT_EQ(Cells().Find(9, 5)->FontName(), u"Courier");
    EXPECT_EQ(Cells().Find(5, 0)->FillColorIndex(), 58);
    EXPECT_EQ(Cells().Find(5, 0)->FontName(), u"Arial");
    EXPECT_EQ(column->FillColorIndex(), 10);
    EXPECT_EQ(Sheet().Columns().Count(), 1);
}

TEST_F(TRowColsTest, LockedAndMergedChangeOnlyTheDescriptor) {
    Listed(4, 0);
    TRow* row = Sheet().Rows().GetRow(4);
    row->SetLocked(false);
    EXPECT_FALSE(row->Locked());
    EXPECT_TRUE(Cells().Find(4, 0)->Locked());

    row->SetMerged(true);
    EXPECT_TRUE(row->Merged());
    EXPECT_FALSE(Cells().Find(4, 0)->Merged());
}

TEST_F(TRangeTest, MergeListsEveryCellOfItsRectangles) {
    Listed(2, 1);
    TRange& range = Sheet().Ranges().Add();
    range.AddRect(1, 2, 0, 1);
    range.AddRect(5, 4, 0, 0);  // last row above the first: skipped
    range.Merge();

    EXPECT_TRUE(range.Merged());
    ASSERT_EQ(Cells().Count(), 4);
    // The valued cell keeps its place and value; the others follow in area order.
    const std::vector<std::pair<int, int>> order = {{2, 1}, {1, 0}, {1, 1}, {2, 0}};
    for (int i = 0; i < 4; ++i) {
        const TCell cell = Cells().Items(i);
        EXPECT_EQ(cell.Row(), order[i].first) << i;
        EXPECT_EQ(cell.Col(), order[i].second) << i;
        EXPECT_TRUE(cell.Merged()) << i;
    }
    EXPECT_TRUE(Cells().Find(1, 0)->Value().IsEmpty());
    EXPECT_EQ(Cells().Find(2, 1)->Value().AsDouble(), 2001);
    EXPECT_FALSE(Cells().Find(4, 0).has_value());
}

TEST_F(TRangeTest, NameWithASpaceIsRefused) {
    TRange& range = Sheet().Ranges().Add();
    range.SetName(u"Totals");
    try {
        range.SetName(u"two words");
        FAIL() << "no error";
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.ErrorCode(), 11);
        EXPECT_EQ(std::string(e.what()), "Invalid range name: two words.");
    }
    EXPECT_EQ(range.Name(), u"Totals");
    range.SetName(u"twowords");
    EXPECT_EQ(range.Name(), u"twowords");
    EXPECT_EQ(Sheet().Ranges().Count(), 1);
    EXPECT_EQ(&Sheet().Ranges().Items(0), &range);
}
