#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ScreenMetrics.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellComments.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRangeRects.h"
#include "xls/model/TWorkbook.h"

using namespace vorlix;

namespace {

// Comment boxes are measured in screen pixels: each case sets the resolution it needs.
class TCellCommentsTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetScreenDpi(96); }
    void TearDown() override { platform::SetScreenDpi(savedDpi_); }

    const int savedDpi_ = platform::ScreenDpi();
    TCellComments comments_;
};

}  // namespace

TEST(TRangeRectsTest, RectanglesKeepTheirOrderAndFields) {
    TRangeRects rects;
    EXPECT_EQ(rects.AddRect(1, 5, 0, 3), 0);
    EXPECT_EQ(rects.AddRect(TRangeRect{65535, 65535, 255, 255, 0}), 1);
    ASSERT_EQ(rects.RectCount(), 2);
    EXPECT_EQ(rects.GetRect(0), (TRangeRect{1, 5, 0, 3, 0}));
    EXPECT_EQ(rects.GetRect(1).FirstRow, 65535);
    EXPECT_EQ(rects.GetRect(1).LastCol, 255);
}

TEST(TRangeRectsTest, AddRectsAppendsAfterTheExistingOnes) {
    TRangeRects target;
    target.AddRect(1, 1, 1, 1);
    target.AddRect(2, 2, 2, 2);
    TRangeRects source;
    source.AddRect(7, 8, 3, 4);
    source.AddRect(9, 9, 5, 5);

    target.AddRects(source);
    ASSERT_EQ(target.RectCount(), 4);
    EXPECT_EQ(target.GetRect(0).FirstRow, 1);
    EXPECT_EQ(target.GetRect(1).FirstRow, 2);
    EXPECT_EQ(target.GetRect(2), (TRangeRect{7, 8, 3, 4, 0}));
    EXPECT_EQ(target.GetRect(3), (TRangeRect{9, 9, 5, 5, 0}));
    EXPECT_EQ(source.RectCount(), 2);

    // A list appended to itself doubles.
    source.AddRects(source);
    ASSERT_EQ(source.RectCount(), 4);
    EXPECT_EQ(source.GetRect(2), source.GetRect(0));
    EXPECT_EQ(source.GetRect(3), source.GetRect(1));
}

TEST(TRangeRectsTest, PositionOutsideTheListIsAListError) {
    TRangeRects rects;
    rects.AddRect(0, 0, 0, 0);
    EXPECT_THROW(rects.GetRect(1), EListError);
    try {
        rects.GetRect(-1);
        FAIL() << "no error";
    } catch (const EListError& e) {
        EXPECT_EQ(std::string(e.what()), "List index out of bounds (-1)");
    }
}

TEST(ColumnNameTest, LettersInBijectiveBase26) {
    const std::pair<int, const char*> cases[] = {
        {0, "A"},   {1, "B"},   {25, "Z"},   {26, "AA"},  {27, "AB"},
        {51, "AZ"}, {52, "BA"}, {255, "IV"}, {701, "ZZ"}, {702, "AAA"},
    };
    for (const auto& [col, name] : cases)
        EXPECT_EQ(ColumnName(col), name) << col;
}

TEST_F(TCellCommentsTest, LookupWithoutContentLeavesCollectionEmpty) {
    comments_.GetComment(2, 3);
    comments_.GetComment(2, 3);
    EXPECT_EQ(comments_.Count(), 0);
    EXPECT_EQ(comments_.Find(2, 3), nullptr);

    TCellComment& comment = comments_.GetComment(2, 3);
    comment.SetText(u"");
    comment.SetAuthor(u"");
    comment.SetRichText("");
    EXPECT_FALSE(comment.Inserted());
    EXPECT_EQ(comments_.Count(), 0);

    comment.SetWidth(comment.Width());  // a size inserts even when it does not change
    EXPECT_TRUE(comment.Inserted());
    EXPECT_EQ(comments_.Count(), 1);
    EXPECT_EQ(comments_.Find(2, 3), &comment);
    EXPECT_EQ(&comments_.GetComment(2, 3), &comment);
    EXPECT_EQ(&comments_.Items(0), &comment);
}

TEST_F(TCellCommentsTest, TextsInsertWhenNotEmpty) {
    TCellComment& a = comments_.GetComment(0, 0);
    a.SetText(u"Note");
    EXPECT_TRUE(a.Inserted());
    EXPECT_EQ(a.Text(), u"Note");

    TCellComment& b = comments_.GetComment(5, 255);
    b.SetAuthor(u"Ann");
    TCellComment& c = comments_.GetComment(7, 1);
    c.SetRichText("0-3(style:b;);");
    TCellComment& d = comments_.GetComment(8, 1);
    d.SetHeight(40);
    EXPECT_EQ(comments_.Count(), 4);
    EXPECT_EQ(&comments_.Items(1), &b);
    EXPECT_EQ(comments_.Find(5, 255)->Author(), u"Ann");
    EXPECT_EQ(comments_.Find(7, 1)->RichText(), "0-3(style:b;);");
    EXPECT_EQ(comments_.Find(8, 1)->Height(), 40);
    EXPECT_EQ(b.Key(), std::string("\x05\x00\xFF\x00", 4));
}

TEST_F(TCellCommentsTest, ColumnOf256OrMoreIsRefused) {
    try {
        comments_.GetComment(0, 256);
        FAIL() << "no error";
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.ErrorCode(), 5);
        EXPECT_EQ(std::string(e.what()), "Invalid row or column number.");
    }
    EXPECT_EQ(comments_.Count(), 0);
}

TEST_F(TCellCommentsTest, DefaultBoxFollowsTheScreen) {
    TCellComment& at96 = comments_.GetComment(1, 1);
    EXPECT_EQ(at96.Width(), 128);
    EXPECT_EQ(at96.Height(), 75);

    platform::SetScreenDpi(120);
    TCellComment& other = comments_.GetComment(2, 2);
    EXPECT_EQ(other.Width(), 160);
    EXPECT_EQ(other.Height(), 100);
}

TEST(TCellValidationsTest, DefaultsAndListErrors) {
    TCellValidations validations;
    auto v = std::make_unique<TCellValidation>();
    EXPECT_EQ(v->Type, vtAny);
    EXPECT_EQ(v->Operator, 0);
    EXPECT_EQ(v->ErrorStyle, 0);
    EXPECT_TRUE(v->ShowInputMessage);
    EXPECT_TRUE(v->ShowErrorMessage);
    EXPECT_TRUE(v->AllowBlank);
    EXPECT_TRUE(v->ShowDropDown);
    EXPECT_EQ(v->Areas.RectCount(), 0);
    validations.Add(std::move(v));
    EXPECT_EQ(validations.Count(), 1);
    EXPECT_THROW(validations.Items(1), EListError);
}

TEST(TPageSetupTest, SheetStartsWithPrintingDefaults) {
    TWorkbook workbook;
    const TPageSetup& setup = workbook.Sheets().Items(0).PageSetup();
    EXPECT_EQ(setup.Sheet, &workbook.Sheets().Items(0));
    EXPECT_EQ(setup.PrintArea.RectCount(), 0);
    EXPECT_EQ(setup.TitleFirstRow, -1);
    EXPECT_EQ(setup.TitleLastRow, -1);
    EXPECT_EQ(setup.TitleFirstCol, -1);
    EXPECT_EQ(setup.TitleLastCol, -1);
    EXPECT_EQ(setup.PaperSize, 0);
    EXPECT_TRUE(setup.UseScale);
    EXPECT_EQ(setup.Scale, 100);
    EXPECT_EQ(setup.FirstPageNumber, -1);
    EXPECT_EQ(setup.FitWidth, 1);
    EXPECT_EQ(setup.FitHeight, 1);
    EXPECT_FALSE(setup.LeftToRight);
    EXPECT_TRUE(setup.Portrait);
    EXPECT_DOUBLE_EQ(setup.HeaderMargin, 0.5);
    EXPECT_DOUBLE_EQ(setup.FooterMargin, 0.5);
    EXPECT_DOUBLE_EQ(setup.TopMargin, 1.0);
    EXPECT_DOUBLE_EQ(setup.BottomMargin, 1.0);
    EXPECT_DOUBLE_EQ(setup.LeftMargin, 0.8);
    EXPECT_DOUBLE_EQ(setup.RightMargin, 0.8);
    EXPECT_FALSE(setup.BlackAndWhite || setup.Draft || setup.PrintGridLines ||
                 setup.PrintHeadings || setup.CenterHorizontally || setup.CenterVertically);
    EXPECT_TRUE(setup.HeaderLeft.empty() && setup.HeaderCenter.empty() &&
                setup.HeaderRight.empty() && setup.FooterLeft.empty() &&
                setup.FooterCenter.empty() && setup.FooterRight.empty());
    EXPECT_FALSE(setup.SummaryRowsAbove);
    EXPECT_FALSE(setup.SummaryColumnsLeft);
}
