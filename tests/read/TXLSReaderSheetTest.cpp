#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "platform/ScreenMetrics.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using test::BlankCellBody;
using test::Body;
using test::BoolErrBody;
using test::Bytes;
using test::CountedChars;
using test::DvBody;
using test::FileLink;
using test::HLinkHead;
using test::kAbsolute;
using test::kFileMoniker;
using test::kHasDisplayName;
using test::kHasFrameName;
using test::kHasLocation;
using test::kHasMoniker;
using test::kMonikerSavedAsText;
using test::kSiteGaveDisplayName;
using test::kUrlMoniker;
using test::LabelCellBody;
using test::LocationLink;
using test::RecordList;
using test::UrlLink;

namespace {

// XF positions of DateFormats(): General, built-in date 14, "yyyy-mm-dd", "#,##0.00".
constexpr std::uint16_t kGeneralXF = 0;
constexpr std::uint16_t kDateXF = 1;
constexpr std::uint16_t kCustomDateXF = 2;
constexpr std::uint16_t kCustomNumberXF = 3;

RecordList DateFormats() {
    return {
        {rec::kFormat, test::FormatBody(164, "yyyy-mm-dd")},
        {rec::kFormat, test::FormatBody(165, "#,##0.00")},
        {rec::kXf, test::XfBody(0, 0)},
        {rec::kXf, test::XfBody(0, 14)},
        {rec::kXf, test::XfBody(0, 164)},
        {rec::kXf, test::XfBody(0, 165)},
    };
}

Bytes RkBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint32_t rk) {
    return Body().u16(row).u16(col).u16(xf).u32(rk);
}

// MULRK without its closing last-column field: row, first column, then XF and RK pairs.
Body MulRkStart(std::uint16_t row, std::uint16_t firstCol,
                const std::vector<std::pair<std::uint16_t, std::uint32_t>>& pairs) {
    Body b;
    b.u16(row).u16(firstCol);
    for (const auto& [xf, rk] : pairs)
        b.u16(xf).u32(rk);
    return b;
}

// MULBLANK without its closing last-column field: row, first column, then XFs.
Body MulBlankStart(std::uint16_t row, std::uint16_t firstCol,
                   const std::vector<std::uint16_t>& xfs) {
    Body b;
    b.u16(row).u16(firstCol);
    for (const std::uint16_t xf : xfs)
        b.u16(xf);
    return b;
}

// MERGEDCELLS: the area count, then first row, last row, first column, last column of each.
Body MergedCellsBody(std::uint16_t count, const std::vector<std::array<std::uint16_t, 4>>& areas) {
    Body b;
    b.u16(count);
    for (const auto& a : areas)
        b.u16(a[0]).u16(a[1]).u16(a[2]).u16(a[3]);
    return b;
}

// A FORMULA record with the token bytes of "1" (ptgInt).
Bytes FormulaBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, const Bytes& result) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(xf)
        .bytes(result)  // 8 bytes: a double, or a typed result ending in 0xFFFF
        .u16(0)         // options
        .u32(0)         // unused
        .u16(3)         // token bytes
        .u8(0x1E)       // ptgInt
        .u16(1);
}

Bytes NumberResult(double value) {
    return Body().f64(value);
}
// Result types: 0 text (a STRING record follows), 1 boolean, 2 error, 3 empty text.
Bytes TypedResult(std::uint8_t type, std::uint8_t value) {
    return Body().u8(type).u8(0).u8(value).u8(0).u16(0).u16(0xFFFF);
}

Bytes HeaderBody(const std::string& text) {
    return Body()
        .u16(static_cast<std::uint32_t>(text.size()))  // characters
        .u8(0)                                         // 8-bit characters
        .ascii(text);
}

Bytes RowBody(std::uint16_t row, std::uint16_t twips, std::uint16_t options, std::uint16_t xf) {
    return Body()
        .u16(row)
        .u16(0)  // first column
        .u16(4)  // last column + 1
        .u16(twips)
        .u16(0)  // unused
        .u16(0)  // reserved
        .u16(options)
        .u16(xf);
}

Bytes ColInfoBody(std::uint16_t first, std::uint16_t last, std::uint16_t width, std::uint16_t xf,
                  std::uint16_t options) {
    return Body().u16(first).u16(last).u16(width).u16(xf).u16(options).u16(0);  // + reserved
}

struct Failure {
    std::string type;  // "none" when the read succeeded
    int code = -1;
    std::string message;
};

class TXLSReaderSheetTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetScreenDpi(96); }
    void TearDown() override { platform::SetScreenDpi(savedDpi_); }

    // Globals with one worksheet "Sheet1" and `globals`, then the sheet with `sheet`.
    static Bytes OneSheet(const RecordList& sheet, const RecordList& globals = {}) {
        test::BiffBuilder b;
        test::AppendGlobals(b, {"Sheet1"}, globals);
        test::AppendSubstream(b, test::kWorksheetSubstream, sheet);
        return b.Build();
    }
    void Load(const RecordList& sheet, const RecordList& globals = {}) {
        test::OpenWorkbook(file_, OneSheet(sheet, globals));
    }
    // The same for bodies of other lengths than the format's, on purpose: bytes left
    // unread are not a fault here.
    void LoadOddBodies(const RecordList& sheet, const RecordList& globals = {}) {
        test::TempDir dir;
        test::WriteWorkbook(dir / "odd.xls", OneSheet(sheet, globals));
        file_.OpenFile(test::U16Path(dir / "odd.xls"));
    }
    Failure LoadFailure(const Bytes& stream) {
        try {
            test::OpenWorkbook(file_, stream);
        } catch (const EXLSError& e) {
            return {"EXLSError", e.ErrorCode(), e.what()};
        } catch (const ERangeError& e) {
            return {"ERangeError", -1, e.what()};
        } catch (const EListError& e) {
            return {"EListError", -1, e.what()};
        } catch (const std::exception& e) {
            return {"other", -1, e.what()};
        }
        return {"none", -1, ""};
    }

    TSheet& Sheet(int index = 0) { return file_.Workbook().Sheets().Items(index); }
    TCells& Cells(int index = 0) { return Sheet(index).Cells(); }
    TPageSetup& PageSetup() { return Sheet().PageSetup(); }
    // The value at an address; empty (and a failure) when there is no cell.
    TCellValue ValueAt(std::uint16_t row, std::uint16_t col) {
        const auto cell = Cells().Find(row, col);
        if (!cell) {
            ADD_FAILURE() << "no cell at " << row << "," << col;
            return {};
        }
        return cell->Value();
    }

    const int savedDpi_ = platform::ScreenDpi();
    TXLSFile file_;
};

struct RkCase {
    const char* name;
    std::uint32_t rk;
    double value;
};

class TXLSReaderRkTest : public TXLSReaderSheetTest,
                         public ::testing::WithParamInterface<RkCase> {};

}  // namespace

TEST_P(TXLSReaderRkTest, DecodesToAFloatingNumber) {
    const RkCase& c = GetParam();
    Load({{rec::kRk, RkBody(0, 0, 0, c.rk)},
          {rec::kMulRk, MulRkStart(1, 0, {{0, c.rk}, {0, c.rk}}).u16(1)}});  // + last column
    for (const auto& [row, col] : {std::pair{0, 0}, {1, 0}, {1, 1}}) {
        const TCellValue value = ValueAt(row, col);
        EXPECT_EQ(value.Kind(), vkDouble);
        EXPECT_EQ(value.AsDouble(), c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RkValues, TXLSReaderRkTest,
    ::testing::Values(RkCase{"DoubleOne", 0x3FF00000, 1.0},
                      RkCase{"DoubleOneHundredth", 0x3FF00001, 0.01},
                      RkCase{"DoubleMinusTwo", 0xC0000000, -2.0},
                      RkCase{"DoubleHundredDividedByHundred", 0x40590001, 1.0},
                      RkCase{"IntegerOne", 6, 1.0}, RkCase{"IntegerOneHundredth", 7, 0.01},
                      RkCase{"IntegerZero", 2, 0.0}, RkCase{"IntegerMinusOne", 0xFFFFFFFE, -1.0},
                      RkCase{"IntegerMinusOneHundredth", 0xFFFFFFFF, -0.01},
                      RkCase{"IntegerDividedByHundred", 12345 * 4 + 3, 123.45},
                      RkCase{"LargestInteger", 0x7FFFFFFE, 536870911.0},
                      RkCase{"SmallestInteger", 0x80000002, -536870912.0}),
    [](const ::testing::TestParamInfo<RkCase>& row) { return std::string(row.param.name); });

// Cell values and the date decision.

TEST_F(TXLSReaderSheetTest, NumbersUnderDateFormatsBecomeDateTimes) {
    Load({{rec::kNumber, test::NumberBody(0, 0, kDateXF, 60)},
          {rec::kNumber, test::NumberBody(1, 0, kDateXF, 61)},
          {rec::kNumber, test::NumberBody(2, 0, kDateXF, 1)},
          {rec::kNumber, test::NumberBody(3, 0, kDateXF, 45000.75)},
          {rec::kNumber, test::NumberBody(4, 0, kCustomDateXF, 45000.5)},
          {rec::kNumber, test::NumberBody(5, 0, kCustomNumberXF, 45000.5)},
          {rec::kNumber, test::NumberBody(6, 0, kGeneralXF, 60)},
          {rec::kRk, RkBody(7, 0, kCustomDateXF, 6)}},
         DateFormats());
    const std::vector<std::pair<TValueKind, double>> expected = {
        {vkDate, 61},        // 60, the 29 February 1900 that never was: 1 March 1900
        {vkDate, 61},        // 1 March 1900
        {vkDate, 2},         // 1 January 1900
        {vkDate, 45000.75},  // serials above 60 keep their number
        {vkDate, 45000.5},   // a workbook format of year, month and day codes
        {vkDouble, 45000.5}, {vkDouble, 60}, {vkDate, 2},
    };
    for (std::size_t row = 0; row < expected.size(); ++row) {
        SCOPED_TRACE(row);
        const TCellValue value = ValueAt(static_cast<std::uint16_t>(row), 0);
        EXPECT_EQ(value.Kind(), expected[row].first);
        EXPECT_EQ(value.AsDouble(), expected[row].second);
    }
    EXPECT_EQ(Cells().Find(4, 0)->XFIndex(), kCustomDateXF);
}

TEST_F(TXLSReaderSheetTest, FormatKindFollowsEachCellsXF) {
    Load({{rec::kNumber, test::NumberBody(0, 0, kDateXF, 5)},
          {rec::kNumber, test::NumberBody(1, 0, kGeneralXF, 5)},
          {rec::kNumber, test::NumberBody(2, 0, kGeneralXF, 5)},
          {rec::kNumber, test::NumberBody(3, 0, kDateXF, 5)},
          {rec::kNumber, test::NumberBody(4, 0, kCustomNumberXF, 5)},
          {rec::kNumber, test::NumberBody(5, 0, kCustomDateXF, 5)}},
         DateFormats());
    const TValueKind expected[] = {vkDate, vkDouble, vkDouble, vkDate, vkDouble, vkDate};
    for (std::uint16_t row = 0; row < 6; ++row)
        EXPECT_EQ(ValueAt(row, 0).Kind(), expected[row]) << row;
}

TEST_F(TXLSReaderSheetTest, BooleansAndTextsUnderDateFormatsKeepTheirKind) {
    Load({{rec::kBoolErr, BoolErrBody(0, 0, kDateXF, 1, 0)},
          {rec::kLabel, LabelCellBody(1, 0, kDateXF, "7")},
          {rec::kFormula, FormulaBody(2, 0, kDateXF, TypedResult(1, 1))},
          {rec::kFormula, FormulaBody(3, 0, kDateXF, NumberResult(100))}},
         DateFormats());
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkBoolean);
    EXPECT_EQ(ValueAt(1, 0).Kind(), vkString);
    EXPECT_EQ(ValueAt(1, 0).AnsiText(), "7");
    EXPECT_EQ(ValueAt(2, 0).Kind(), vkBoolean);
    EXPECT_EQ(ValueAt(3, 0).Kind(), vkDate);
    EXPECT_EQ(ValueAt(3, 0).AsDouble(), 100);
}

TEST_F(TXLSReaderSheetTest, DateSystem1904ShiftsWithoutFold) {
    RecordList globals = DateFormats();
    globals.push_back({rec::kDate1904, Body().u16(1)});
    Load({{rec::kNumber, test::NumberBody(0, 0, kDateXF, 0)},
          {rec::kNumber, test::NumberBody(1, 0, kDateXF, 60)},
          {rec::kNumber, test::NumberBody(2, 0, kDateXF, 59.25)},
          {rec::kNumber, test::NumberBody(3, 0, kGeneralXF, 60)}},
         globals);
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 1462);  // 1 January 1904
    EXPECT_EQ(ValueAt(1, 0).AsDouble(), 1522);
    EXPECT_EQ(ValueAt(2, 0).AsDouble(), 1521.25);
    EXPECT_EQ(ValueAt(3, 0).Kind(), vkDouble);

    // The value 0, and a later workbook without the record, keep the 1900 system.
    globals.back().second = Body().u16(0);
    Load({{rec::kNumber, test::NumberBody(0, 0, kDateXF, 60)}}, globals);
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 61);
    globals.back().second = Body().u16(1);
    Load({{rec::kNumber, test::NumberBody(0, 0, kDateXF, 60)}}, globals);
    Load({{rec::kNumber, test::NumberBody(0, 0, kDateXF, 60)}}, DateFormats());
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 61);
}

// Elapsed time ("[h]:mm:ss") shows a duration: its serial is a count of days, which neither
// the 1900 system's missing 29 February nor the 1904 system's start shifts. Nor do they
// shift a time of day, a serial below one day under a format of times alone.
TEST_F(TXLSReaderSheetTest, TimesOfDayAndDurationsKeepTheirSerialInBothDateSystems) {
    RecordList globals = DateFormats();
    globals.push_back({rec::kFormat, test::FormatBody(166, "[H]:MM")});
    globals.push_back({rec::kFormat, test::FormatBody(167, "hh:mm:ss.000")});
    globals.push_back({rec::kXf, test::XfBody(0, 166)});
    globals.push_back({rec::kXf, test::XfBody(0, 46)});  // built in: "[h]:mm:ss"
    globals.push_back({rec::kXf, test::XfBody(0, 167)});
    globals.push_back({rec::kXf, test::XfBody(0, 18)});  // built in: "h:mm AM/PM"
    constexpr std::uint16_t kHoursXF = 4, kBuiltInHoursXF = 5, kTimeXF = 6, kBuiltInTimeXF = 7;
    const double sixThirtyFour = (6 * 60 + 34) / 1440.0;
    const RecordList cells = {{rec::kNumber, test::NumberBody(0, 0, kBuiltInHoursXF, 1.5)},
                              {rec::kNumber, test::NumberBody(1, 0, kHoursXF, 2.1875)},
                              {rec::kNumber, test::NumberBody(2, 0, kDateXF, 1.5)},
                              {rec::kNumber, test::NumberBody(3, 0, kTimeXF, sixThirtyFour)},
                              {rec::kRk, RkBody(4, 0, kBuiltInTimeXF, 2)},  // 0: midnight
                              {rec::kNumber, test::NumberBody(5, 0, kTimeXF, 1.25)}};
    for (const std::uint16_t mode : {0, 1}) {
        SCOPED_TRACE(mode);
        globals.push_back({rec::kDate1904, Body().u16(mode)});
        Load(cells, globals);
        globals.pop_back();
        EXPECT_EQ(ValueAt(0, 0), TCellValue::Duration(1.5));
        EXPECT_EQ(Cells().Find(0, 0)->DisplayText(), u"36:00:00");
        EXPECT_EQ(Cells().Find(1, 0)->DisplayText(), u"52:30");
        // A date of the same serial still moves with its date system.
        EXPECT_EQ(ValueAt(2, 0), TCellValue::DateTime(mode == 0 ? 2.5 : 1463.5));
        EXPECT_EQ(ValueAt(3, 0), TCellValue::TimeOfDay(sixThirtyFour));
        EXPECT_EQ(Cells().Find(3, 0)->DisplayText(), u"06:34:00.000");
        EXPECT_EQ(ValueAt(4, 0), TCellValue::TimeOfDay(0));
        EXPECT_EQ(Cells().Find(4, 0)->DisplayText(), u"12:00 AM");
        // A day and more under a time format is a date and time.
        EXPECT_EQ(ValueAt(5, 0), TCellValue::DateTime(mode == 0 ? 2.25 : 1463.25));
    }
}

TEST_F(TXLSReaderSheetTest, XFIndexBeyondTheTableIsIgnored) {
    Load({{rec::kNumber, test::NumberBody(0, 0, 4, 60)},
          {rec::kLabel, LabelCellBody(0, 1, 0xFFFF, "x")},
          {rec::kNumber, test::NumberBody(0, 2, kCustomNumberXF, 1)}},
         DateFormats());
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkDouble);
    EXPECT_EQ(Cells().Find(0, 0)->XFIndex(), 0);
    EXPECT_EQ(Cells().Find(0, 1)->XFIndex(), 0);
    EXPECT_EQ(Cells().Find(0, 2)->XFIndex(), kCustomNumberXF);

    // Without XF records only the default record (position 0) exists.
    Load({{rec::kNumber, test::NumberBody(0, 0, 1, 60)}});
    EXPECT_EQ(Cells().Find(0, 0)->XFIndex(), 0);
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 60);
}

TEST_F(TXLSReaderSheetTest, MulRkSetsConsecutiveCells) {
    Load({{rec::kMulRk, MulRkStart(3, 2,
                                   {{kGeneralXF, 6},        // 1
                                    {kDateXF, 0x3FF00000},  // 1.0 as a date
                                    {kGeneralXF, 7}})       // 0.01
                            .u16(200)}},                    // last column: not used
         DateFormats());
    ASSERT_EQ(Cells().Count(), 3);
    EXPECT_EQ(ValueAt(3, 2).AsDouble(), 1.0);
    EXPECT_EQ(ValueAt(3, 3).Kind(), vkDate);
    EXPECT_EQ(ValueAt(3, 3).AsDouble(), 2);
    EXPECT_EQ(Cells().Find(3, 3)->XFIndex(), kDateXF);
    EXPECT_EQ(ValueAt(3, 4).AsDouble(), 0.01);
}

TEST_F(TXLSReaderSheetTest, MulRkAndMulBlankOfOddLengths) {
    TReadOptions options;
    options.ReadBlankCells = true;
    file_.SetReadOptions(options);
    LoadOddBodies(
        {// a pair and 5 bytes of the next: one cell
         {rec::kMulRk, MulRkStart(0, 0, {{0, 6}}).u16(0).u16(0).u8(0)},
         // two pairs and one byte: two cells
         {rec::kMulRk, MulRkStart(1, 0, {{0, 6}, {0, 10}}).u8(9)},
         // one pair without the last-column field: no cell
         {rec::kMulRk, MulRkStart(2, 0, {{0, 6}})},
         // row and first column only, and a row alone
         {rec::kMulRk, MulRkStart(3, 0, {})},
         {rec::kMulRk, Body().u16(3)},
         // three XFs and one byte: three cells
         {rec::kMulBlank, MulBlankStart(5, 0, {kDateXF, kDateXF, kDateXF}).u8(2)},
         // a plain XF in the middle makes no cell; the last column is not an XF
         {rec::kMulBlank, MulBlankStart(6, 0, {kDateXF, kGeneralXF, kDateXF}).u16(2)},
         {rec::kMulBlank, Body().u16(7).u8(0)}},
        DateFormats());
    EXPECT_TRUE(Cells().Find(0, 0).has_value());
    EXPECT_FALSE(Cells().Find(0, 1).has_value());
    EXPECT_EQ(ValueAt(1, 1).AsDouble(), 2.0);
    EXPECT_FALSE(Cells().Find(1, 2).has_value());
    EXPECT_FALSE(Cells().Find(2, 0).has_value());
    for (std::uint16_t col = 0; col < 3; ++col) {
        ASSERT_TRUE(Cells().Find(5, col).has_value()) << col;
        EXPECT_TRUE(Cells().Find(5, col)->Value().IsEmpty());
        EXPECT_EQ(Cells().Find(5, col)->XFIndex(), kDateXF);
    }
    EXPECT_TRUE(Cells().Find(6, 0).has_value());
    EXPECT_FALSE(Cells().Find(6, 1).has_value());
    EXPECT_TRUE(Cells().Find(6, 2).has_value());
    EXPECT_EQ(Cells().Count(), 8);
}

TEST_F(TXLSReaderSheetTest, BoolErrMakesBooleansAndErrors) {
    Load({{rec::kBoolErr, BoolErrBody(0, 0, 0, 1, 0)},
          {rec::kBoolErr, BoolErrBody(0, 1, 0, 0, 0)},
          {rec::kBoolErr, BoolErrBody(0, 2, 0, 0x07, 1)},    // #DIV/0!
          {rec::kBoolErr, BoolErrBody(0, 3, 0, 0x00, 1)},    // #NULL!
          {rec::kBoolErr, BoolErrBody(0, 4, 0, 0x2A, 1)},    // #N/A
          {rec::kBoolErr, BoolErrBody(0, 5, 0, 2, 0)},       // neither
          {rec::kBoolErr, BoolErrBody(0, 6, 0, 0x63, 1)}});  // a code the format lacks
    ASSERT_EQ(Cells().Count(), 6);
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkBoolean);
    EXPECT_TRUE(ValueAt(0, 0).AsBoolean());
    EXPECT_FALSE(ValueAt(0, 1).AsBoolean());
    EXPECT_EQ(ValueAt(0, 2), TCellValue::Error(ecDivisionByZero));
    EXPECT_EQ(ValueAt(0, 3).ErrorText(), "#NULL!");
    EXPECT_EQ(ValueAt(0, 4).ErrorText(), "#N/A");
    EXPECT_FALSE(Cells().Find(0, 5).has_value());
    EXPECT_EQ(ValueAt(0, 6).ErrorCode(), 0x63);
    EXPECT_EQ(Cells().Find(0, 6)->DisplayText(), u"#N/A");
    EXPECT_FALSE(ValueAt(0, 2).IsNumeric());
}

TEST_F(TXLSReaderSheetTest, BlankCellsOnlyWithFormattingAndTheSwitch) {
    const RecordList blanks = {{rec::kBlank, BlankCellBody(0, 0, kDateXF)},
                               {rec::kBlank, BlankCellBody(0, 1, kGeneralXF)},  // plain: no cell
                               {rec::kBlank, BlankCellBody(0, 2, 9)},           // beyond the table
                               {rec::kMulBlank, MulBlankStart(1, 0, {kDateXF, kDateXF}).u16(1)}};
    Load(blanks, DateFormats());
    EXPECT_EQ(Cells().Count(), 3);
    EXPECT_TRUE(Cells().Find(0, 0)->Value().IsEmpty());
    EXPECT_EQ(Cells().Find(0, 0)->XFIndex(), kDateXF);

    TReadOptions options;
    options.ReadBlankCells = false;
    file_.SetReadOptions(options);
    Load(blanks, DateFormats());
    EXPECT_EQ(Cells().Count(), 0);
}

TEST_F(TXLSReaderSheetTest, LabelTexts) {
    Load({{rec::kLabel, LabelCellBody(0, 0, 0, "Hello")},
          {rec::kLabel,
           Body().bytes(BlankCellBody(0, 1, 0)).u16(5).u8(1).utf16(u"Ωmega")},  // 16-bit
          {rec::kLabel,
           Body().bytes(BlankCellBody(0, 2, 0)).u16(0)},     // no characters, no option byte
          {rec::kLabel, LabelCellBody(0, 3, 0, "caf\xE9")},  // Latin-1 é
          {rec::kLabel,
           Body().bytes(BlankCellBody(0, 4, 0)).u16(10).u8(0).ascii("abc")}});  // 10 announced
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkString);
    EXPECT_EQ(ValueAt(0, 0).AnsiText(), "Hello");
    EXPECT_EQ(ValueAt(0, 1).Kind(), vkWideString);
    EXPECT_EQ(ValueAt(0, 1).WideText(), u"Ωmega");
    EXPECT_EQ(ValueAt(0, 2).Kind(), vkString);
    EXPECT_EQ(ValueAt(0, 2).AnsiText(), "");
    EXPECT_EQ(ValueAt(0, 3).Kind(), vkString);
    EXPECT_EQ(ValueAt(0, 3).AsWideText(), u"café");
    EXPECT_EQ(ValueAt(0, 4).AnsiText(), "");
}

TEST_F(TXLSReaderSheetTest, LabelSstTakesSharedStrings) {
    const Bytes sst = Body()
                          .u32(3)  // references
                          .u32(3)  // strings
                          .u16(3)  // characters
                          .u8(0)   // 8-bit
                          .ascii("one")
                          .u16(3)  // characters
                          .u8(1)   // 16-bit
                          .utf16(u"Ωtw")
                          .u16(4)  // characters
                          .u8(0)   // 8-bit: Latin-1 ü and ß
                          .ascii("s\xFC\xDF!");
    Load({{rec::kLabelSst, test::LabelSstBody(0, 0, 0, 0)},
          {rec::kLabelSst, test::LabelSstBody(0, 1, 0, 1)},
          {rec::kLabelSst, test::LabelSstBody(0, 2, kDateXF, 2)}},
         {{rec::kSst, sst}, {rec::kXf, test::XfBody(0, 0)}, {rec::kXf, test::XfBody(0, 14)}});
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkString);
    EXPECT_EQ(ValueAt(0, 0).AnsiText(), "one");
    EXPECT_EQ(ValueAt(0, 1).Kind(), vkWideString);
    EXPECT_EQ(ValueAt(0, 1).WideText(), u"Ωtw");
    EXPECT_EQ(ValueAt(0, 2).AsWideText(), u"süß!");
}

TEST_F(TXLSReaderSheetTest, FormulaResultsAndFormulaText) {
    Load({{rec::kFormula, FormulaBody(0, 0, 0, NumberResult(3.5))},
          {rec::kFormula, FormulaBody(1, 0, 0, TypedResult(1, 1))},
          {rec::kFormula, FormulaBody(2, 0, 0, TypedResult(1, 0))},
          {rec::kFormula, FormulaBody(3, 0, 0, TypedResult(2, 0x07))},  // error
          {rec::kFormula, FormulaBody(4, 0, 0, TypedResult(0, 0))},     // text in STRING
          {rec::kString, HeaderBody("hello")},
          {rec::kString, HeaderBody("stray")}});  // no formula waits for it
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkDouble);
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 3.5);
    EXPECT_EQ(ValueAt(1, 0).Kind(), vkBoolean);
    EXPECT_TRUE(ValueAt(1, 0).AsBoolean());
    EXPECT_FALSE(ValueAt(2, 0).AsBoolean());
    EXPECT_EQ(ValueAt(3, 0), TCellValue::Error(ecDivisionByZero));
    EXPECT_EQ(ValueAt(4, 0).Kind(), vkString);
    EXPECT_EQ(ValueAt(4, 0).AnsiText(), "hello");
    // The tokens ptgInt 1 decode to "1" whatever the result; the cached results stay.
    for (int i = 0; i < Cells().Count(); ++i)
        EXPECT_EQ(Cells().Items(i).Formula(), "1") << i;

    TReadOptions options;
    options.ReadFormulas = false;
    file_.SetReadOptions(options);
    Load({{rec::kFormula, FormulaBody(0, 0, 0, NumberResult(3.5))},
          {rec::kFormula, FormulaBody(1, 0, 0, TypedResult(0, 0))},
          {rec::kString, HeaderBody("x")}});
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 3.5);
    EXPECT_EQ(ValueAt(1, 0).AnsiText(), "x");
    EXPECT_EQ(Cells().Find(0, 0)->Formula(), "");
}

TEST_F(TXLSReaderSheetTest, StringResultContinuesWithAnotherWidth) {
    Load({{rec::kFormula, FormulaBody(0, 0, 0, TypedResult(0, 0))},
          {rec::kString, Body().u16(6).u8(0).ascii("abc")},  // 6 characters, 3 here, 8-bit
          {rec::kContinue, Body().u8(1).utf16(u"déf")},      // the rest in UTF-16
          {rec::kFormula, FormulaBody(1, 0, 0, TypedResult(0, 0))},
          {rec::kString, Body().u16(4).u8(1).utf16(u"ab")},  // 16-bit first
          {rec::kContinue, Body().u8(0).ascii("cd")},        // then 8-bit: widened
          {rec::kFormula, FormulaBody(2, 0, 0, TypedResult(0, 0))},
          {rec::kString, Body().u16(10).u8(0).ascii("abc")},  // cut short by the next record
          {rec::kNumber, test::NumberBody(3, 0, 0, 5)},
          {rec::kFormula, FormulaBody(4, 0, 0, TypedResult(0, 0))},
          {rec::kString, Body().u16(4).u8(0).ascii("ab")},
          {rec::kContinue, Bytes{}},  // an empty CONTINUE is passed over
          {rec::kContinue, Body().u8(0).ascii("cd")}});
    EXPECT_EQ(ValueAt(0, 0).Kind(), vkWideString);
    EXPECT_EQ(ValueAt(0, 0).WideText(), u"abcdéf");
    EXPECT_EQ(ValueAt(1, 0).Kind(), vkWideString);
    EXPECT_EQ(ValueAt(1, 0).WideText(), u"abcd");
    EXPECT_EQ(ValueAt(2, 0).AsWideText(), u"abc");
    EXPECT_EQ(ValueAt(3, 0).AsDouble(), 5);  // the record that cut the text is read
    EXPECT_EQ(ValueAt(4, 0).AsWideText(), u"abcd");
}

TEST_F(TXLSReaderSheetTest, CellsAreListedInRecordOrder) {
    Load({{rec::kNumber, test::NumberBody(5, 0, 0, 1)},
          {rec::kLabel, LabelCellBody(2, 3, 0, "x")},
          {rec::kMergeCells, MergedCellsBody(1, {{0, 0, 0, 1}})},  // A1:B1
          {rec::kNumber, test::NumberBody(1, 0, 0, 2)},
          {rec::kNumber, test::NumberBody(2, 3, 0, 3)}});  // a later record for the same cell
    const std::vector<std::pair<int, int>> order = {{5, 0}, {2, 3}, {0, 0}, {0, 1}, {1, 0}};
    ASSERT_EQ(Cells().Count(), static_cast<int>(order.size()));
    for (int i = 0; i < Cells().Count(); ++i) {
        EXPECT_EQ(Cells().Items(i).Row(), order[i].first) << i;
        EXPECT_EQ(Cells().Items(i).Col(), order[i].second) << i;
    }
    EXPECT_EQ(ValueAt(2, 3).Kind(), vkDouble);
    EXPECT_EQ(ValueAt(2, 3).AsDouble(), 3);
}

// Rows, columns and merged areas.

TEST_F(TXLSReaderSheetTest, RowRecordsSetDescriptors) {
    Load({{rec::kRow, RowBody(2, 300, 0x40 | 0x20 | 0x80 | 2, kDateXF)},  // set, hidden, formatted
          {rec::kRow, RowBody(3, 400, 0, kDateXF)},                       // height not set by hand
          {rec::kRow, RowBody(4, 255, 0, 0)},                             // all defaults
          {rec::kRow, RowBody(5, 255, 0x80, kDateXF)},
          {rec::kRow, RowBody(6, 255, 0x01, 0)},
          {rec::kRow, RowBody(7, 300, 0x80, 99)}},  // XF beyond the table
         DateFormats());
    TRows& rows = Sheet().Rows();
    const TRow* r2 = rows.Find(2);
    ASSERT_NE(r2, nullptr);
    EXPECT_DOUBLE_EQ(r2->Height(), 15);
    EXPECT_EQ(r2->PixelSize(), 20);
    EXPECT_TRUE(r2->Hidden());
    EXPECT_EQ(r2->PixelHeight(), 0);
    EXPECT_EQ(r2->OutlineLevel(), 2);
    EXPECT_TRUE(r2->SizeSet());
    EXPECT_EQ(r2->XFIndex(), kDateXF);

    ASSERT_NE(rows.Find(3), nullptr);
    EXPECT_DOUBLE_EQ(rows.Find(3)->Height(), 20);
    EXPECT_FALSE(rows.Find(3)->SizeSet());
    EXPECT_NE(rows.Find(3)->XFIndex(), kDateXF);

    EXPECT_FALSE(rows.Exists(4));
    ASSERT_NE(rows.Find(5), nullptr);
    EXPECT_EQ(rows.Find(5)->XFIndex(), kDateXF);
    ASSERT_NE(rows.Find(6), nullptr);
    EXPECT_EQ(rows.Find(6)->OutlineLevel(), 1);
    ASSERT_NE(rows.Find(7), nullptr);
    EXPECT_EQ(rows.Find(7)->XFIndex(), 0);
    EXPECT_EQ(rows.Count(), 5);

    TReadOptions options;
    options.ReadRowInfo = false;
    file_.SetReadOptions(options);
    Load({{rec::kRow, RowBody(2, 300, 0x40, 0)}});
    EXPECT_EQ(Sheet().Rows().Count(), 0);
}

TEST_F(TXLSReaderSheetTest, ColInfoCoversAtMostColumn255) {
    Load({{rec::kColInfo, ColInfoBody(0, 300, 2340, kDateXF, 0x0001 | 1 << 8)}}, DateFormats());
    TColumns& columns = Sheet().Columns();
    EXPECT_EQ(columns.Count(), 256);
    for (const std::uint16_t n : {0, 128, 255}) {
        SCOPED_TRACE(n);
        const TColumn* column = columns.Find(n);
        ASSERT_NE(column, nullptr);
        EXPECT_NEAR(column->Width(), 8.43, 0.005);
        EXPECT_EQ(column->PixelSize(), 64);
        EXPECT_TRUE(column->Hidden());
        EXPECT_EQ(column->OutlineLevel(), 1);
        EXPECT_EQ(column->XFIndex(), kDateXF);
    }
}

TEST_F(TXLSReaderSheetTest, ColInfoWidthsOutlinesAndEmptyRanges) {
    Load({{rec::kColInfo, ColInfoBody(2, 3, 512, 0, 3 << 8)},  // 2 characters: 14 pixels
          {rec::kColInfo, ColInfoBody(7, 5, 512, 0, 0)},       // last before first
          {rec::kColInfo, ColInfoBody(300, 400, 512, 0, 0)},   // beyond the sheet
          {rec::kColInfo, ColInfoBody(9, 9, 256, 99, 0)}});    // 7 pixels; XF beyond the table
    TColumns& columns = Sheet().Columns();
    EXPECT_EQ(columns.Count(), 3);
    ASSERT_NE(columns.Find(3), nullptr);
    EXPECT_DOUBLE_EQ(columns.Find(3)->Width(), 9.0 / 7);
    EXPECT_EQ(columns.Find(3)->PixelWidth(), 14);
    EXPECT_EQ(columns.Find(3)->OutlineLevel(), 3);
    EXPECT_FALSE(columns.Find(3)->Hidden());
    ASSERT_NE(columns.Find(9), nullptr);
    EXPECT_DOUBLE_EQ(columns.Find(9)->Width(), 7 * 0.0834);
    EXPECT_EQ(columns.Find(9)->XFIndex(), 0);
    EXPECT_FALSE(columns.Exists(6));

    TReadOptions options;
    options.ReadColumnInfo = false;
    file_.SetReadOptions(options);
    Load({{rec::kColInfo, ColInfoBody(2, 3, 512, 0, 0)}});
    EXPECT_EQ(Sheet().Columns().Count(), 0);
}

TEST_F(TXLSReaderSheetTest, MergedCellsMakeMergedRangesAndCells) {
    LoadOddBodies(
        {{rec::kNumber, test::NumberBody(2, 1, 0, 7)},
         {rec::kMergeCells, MergedCellsBody(3, {{1, 2, 0, 1},   // A2:B3
                                                {5, 5, 3, 4},   // D6:E6
                                                {9, 8, 0, 0}})  // last row above the first
                                .u16(9)
                                .u16(9)
                                .u8(0)}});  // 5 bytes: no area
    TRanges& ranges = Sheet().Ranges();
    ASSERT_EQ(ranges.Count(), 3);
    EXPECT_TRUE(ranges.Items(0).Merged());
    ASSERT_EQ(ranges.Items(0).RectCount(), 1);
    EXPECT_EQ(ranges.Items(0).GetRect(0), (TRangeRect{1, 2, 0, 1, 0}));
    EXPECT_EQ(ranges.Items(1).GetRect(0), (TRangeRect{5, 5, 3, 4, 0}));
    EXPECT_EQ(Cells().Count(), 6);
    for (const auto& [row, col] : {std::pair{1, 0}, {1, 1}, {2, 0}, {2, 1}, {5, 3}, {5, 4}}) {
        ASSERT_TRUE(Cells().Find(row, col).has_value());
        EXPECT_TRUE(Cells().Find(row, col)->Merged());
    }
    EXPECT_EQ(ValueAt(2, 1).AsDouble(), 7);
    EXPECT_TRUE(ValueAt(1, 0).IsEmpty());
}

// Eight bytes of MERGEDCELLS or HLINK may name a whole sheet. The cells areas create in one
// read are limited by the size of the workbook (256 Ki cells plus one per two bytes here,
// for a stream of a few hundred bytes); an area beyond that keeps its rectangle.
TEST_F(TXLSReaderSheetTest, AreasCreateCellsWithinABudgetThatGrowsWithTheWorkbook) {
    Load({{rec::kMergeCells, MergedCellsBody(4, {{0, 0xFFFF, 0, 0xFF},  // A1:IV65536
                                                 {0, 0xFFFF, 0, 2},     // A:C, 196,608 cells
                                                 {0, 0xFFFF, 3, 3},     // D, 65,536 more
                                                 {0, 0xFFFF, 4, 4}})},  // E: beyond
          {rec::kHLink, UrlLink(0, 0xFFFF, 5, 0xFF, u"http://example.com/")}});
    TRanges& ranges = Sheet().Ranges();
    ASSERT_EQ(ranges.Count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(ranges.Items(i).Merged());
    EXPECT_EQ(ranges.Items(0).GetRect(0), (TRangeRect{0, 0xFFFF, 0, 0xFF, 0}));
    EXPECT_EQ(Cells().Count(), 4 * 65536);
    EXPECT_TRUE(Cells().Find(65535, 3).has_value());
    EXPECT_FALSE(Cells().Find(0, 4).has_value());
    EXPECT_FALSE(Cells().Find(0, 5).has_value());

    // A hyperlink's cells weigh by the length of its address, which each of them keeps: a
    // long address over a few columns would need gigabytes.
    const std::u16string longAddress(4000, u'x');
    Load({{rec::kHLink, UrlLink(0, 0xFFFF, 0, 3, longAddress)},
          {rec::kHLink, UrlLink(0, 99, 0, 0, longAddress)}});
    EXPECT_EQ(Cells().Count(), 100);
    EXPECT_EQ(Cells().Find(99, 0)->Hyperlink(), longAddress);
}

// Hyperlinks.

TEST_F(TXLSReaderSheetTest, UrlHyperlinkCoversItsRange) {
    Load({{rec::kLabel, LabelCellBody(1, 1, 0, "kept")},
          {rec::kHLink, UrlLink(0, 1, 0, 1, u"http://example.com/ä")}});
    EXPECT_EQ(Cells().Count(), 4);
    for (const auto& [row, col] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 1}}) {
        SCOPED_TRACE(testing::Message() << row << "," << col);
        const auto cell = Cells().Find(row, col);
        ASSERT_TRUE(cell.has_value());
        EXPECT_EQ(cell->Hyperlink(), u"http://example.com/ä");
        EXPECT_EQ(cell->HyperlinkKind(), hkURL);
        EXPECT_TRUE(cell->FontUnderline());
    }
    EXPECT_EQ(ValueAt(0, 0).WideText(), u"http://example.com/ä");
    EXPECT_EQ(ValueAt(1, 1).AnsiText(), "kept");
}

TEST_F(TXLSReaderSheetTest, FileHyperlinks) {
    const auto linkOf = [&](const Bytes& body) {
        Load({{rec::kHLink, body}});
        const auto cell = Cells().Find(0, 0);
        EXPECT_TRUE(cell.has_value());
        if (cell) {
            EXPECT_EQ(cell->HyperlinkKind(), hkFile);
        }
        return cell ? cell->Hyperlink() : u"(none)";
    };
    EXPECT_EQ(linkOf(FileLink("..\\docs\\a.xls", u"")), u"..\\docs\\a.xls");
    // The short path is 8-bit text in the library code page (UTF-8 here).
    EXPECT_EQ(linkOf(FileLink("D\xC3\xBCr.xls", u"")), u"Dür.xls");
    // The UTF-16 path wins unless it is the shorter one.
    EXPECT_EQ(linkOf(FileLink("BUCHER~1.XLS", u"C:\\Docs\\Bücher 2024.xls")),
              u"C:\\Docs\\Bücher 2024.xls");
    EXPECT_EQ(linkOf(FileLink("LONGSHORTNAME.XLS", u"a.xls")), u"LONGSHORTNAME.XLS");
    EXPECT_EQ(linkOf(FileLink("ABC.XLS", u"abc.xls")), u"abc.xls");  // equal lengths
}

TEST_F(TXLSReaderSheetTest, NetworkAndLocationHyperlinks) {
    const auto linkOf = [&](const Bytes& body, std::uint8_t kind) {
        Load({{rec::kHLink, body}});
        const auto cell = Cells().Find(0, 0);
        EXPECT_TRUE(cell.has_value());
        if (cell) {
            EXPECT_EQ(cell->HyperlinkKind(), kind);
        }
        return cell ? cell->Hyperlink() : u"(none)";
    };
    Body network = HLinkHead(0, 0, 0, 0, kMonikerSavedAsText | kHasMoniker | kAbsolute);
    EXPECT_EQ(linkOf(CountedChars(network, u"\\\\server\\share\\f.xls"), hkNetwork),
              u"\\\\server\\share\\f.xls");

    EXPECT_EQ(linkOf(LocationLink(0, u"Sheet2!A1"), hkLocation), u"Sheet2!A1");

    // A display name is read (and dropped) only when both of its flags are set.
    Body named = HLinkHead(0, 0, 0, 0, kHasDisplayName | kSiteGaveDisplayName | kHasLocation);
    CountedChars(named, u"Go there");
    EXPECT_EQ(linkOf(CountedChars(named, u"Sheet2!B2"), hkLocation), u"Sheet2!B2");
    EXPECT_EQ(linkOf(LocationLink(kHasDisplayName, u"Sheet2!C3"), hkLocation), u"Sheet2!C3");

    Body framed = HLinkHead(0, 0, 0, 0, kHasFrameName | kHasLocation);
    CountedChars(framed, u"_top");
    EXPECT_EQ(linkOf(CountedChars(framed, u"Sheet3!A1"), hkLocation), u"Sheet3!A1");

    // A location after a moniker is not read.
    Body urlAndPlace = HLinkHead(0, 0, 0, 0, kHasMoniker | kHasLocation);
    urlAndPlace.bytes(kUrlMoniker).u32(2 * 9).utf16(u"http://x").u16(0);
    EXPECT_EQ(linkOf(CountedChars(urlAndPlace, u"Sheet2!A1"), hkURL), u"http://x");

    // A text cut at its first zero character.
    Body zero = HLinkHead(0, 0, 0, 0, kHasLocation);
    zero.u32(6).utf16(u"A1").u16(0).utf16(u"xy").u16(0);
    EXPECT_EQ(linkOf(zero, hkLocation), u"A1");
}

TEST_F(TXLSReaderSheetTest, HyperlinkWithoutTextMakesNoCell) {
    Load({{rec::kHLink, HLinkHead(0, 3, 0, 3, 0)}});
    EXPECT_EQ(Cells().Count(), 0);
}

TEST_F(TXLSReaderSheetTest, HyperlinksThatLieAboutLengthsAreRefused) {
    const auto urlWithCount = [](std::uint32_t count) {
        Body b = HLinkHead(0, 0, 0, 0, kHasMoniker);
        b.bytes(kUrlMoniker).u32(count).utf16(u"http://x").u16(0);
        return Bytes(b);
    };
    Bytes shortPathLies = FileLink("a.xls", u"");
    shortPathLies[32 + 16 + 2] = 0xFF;  // short path count: 255 characters
    Bytes longPathLies = FileLink("a.xls", u"C:\\a.xls");
    longPathLies[longPathLies.size() - 2 * 8 - 2 - 4] = 0xFF;  // path bytes: 255
    Bytes reservedCut = FileLink("a.xls", u"");
    reservedCut.resize(32 + 16 + 2 + 4 + 6 + 10);  // inside the 24 reserved bytes
    Bytes sizeCut = FileLink("a.xls", u"");
    sizeCut.resize(sizeCut.size() - 2);  // half of the extended-path size
    Bytes unknownClass = UrlLink(0, 0, 0, 0, u"http://x");
    unknownClass[32] ^= 0x01;
    Body displayLies = HLinkHead(0, 0, 0, 0, kHasDisplayName | kSiteGaveDisplayName | kHasLocation);
    displayLies.u32(1000).utf16(u"Go").u16(0);
    Body frameLies = HLinkHead(0, 0, 0, 0, kHasFrameName);
    frameLies.u32(0x80000000).utf16(u"_top");
    Body networkLies = HLinkHead(0, 0, 0, 0, kMonikerSavedAsText);
    networkLies.u32(30).utf16(u"\\\\s\\x");

    Bytes fixedPartCut = UrlLink(0, 0, 0, 0, u"x");
    fixedPartCut.resize(31);
    Body classIdCut = HLinkHead(0, 0, 0, 0, kHasMoniker);
    classIdCut.bytes(Bytes(kUrlMoniker.begin(), kUrlMoniker.begin() + 10));

    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"fixed part cut", fixedPartCut},
        {"class id cut", classIdCut},
        {"url byte count too large", urlWithCount(1000)},
        {"url byte count near 4 GB", urlWithCount(0xFFFFFFFF)},
        {"url count cut",
         Bytes(Body(HLinkHead(0, 0, 0, 0, kHasMoniker)).bytes(kUrlMoniker).u16(4))},
        {"unknown moniker class", unknownClass},
        {"file moniker cut",
         Bytes(Body(HLinkHead(0, 0, 0, 0, kHasMoniker)).bytes(kFileMoniker).u16(0))},
        {"short path count too large", shortPathLies},
        {"reserved bytes cut", reservedCut},
        {"extended size cut", sizeCut},
        {"long path byte count too large", longPathLies},
        {"location count too large",
         Bytes(Body(HLinkHead(0, 0, 0, 0, kHasLocation)).u32(99).utf16(u"A1"))},
        {"location count cut", Bytes(Body(HLinkHead(0, 0, 0, 0, kHasLocation)).u16(2))},
        {"display name count too large", Bytes(displayLies)},
        {"frame name count too large", Bytes(frameLies)},
        {"network path count too large", Bytes(networkLies)},
    };
    for (const auto& [name, body] : cases) {
        SCOPED_TRACE(name);
        const Failure f = LoadFailure(
            OneSheet({{rec::kNumber, test::NumberBody(5, 5, 0, 1)}, {rec::kHLink, body}}));
        EXPECT_EQ(f.type, "EXLSError");
        EXPECT_EQ(f.code, 16);
        EXPECT_EQ(f.message, "Invalid data. Error in hyperlink.");
        EXPECT_FALSE(file_.Loaded());
        EXPECT_EQ(Cells().Count(), 1);  // what was read before stays
    }
}

// Data validations.

TEST_F(TXLSReaderSheetTest, ValidationFromOptionWordTextsAndAreas) {
    // Bits 0 and 1 (list), 7 (explicit values), 8 (allow blank), 19 (show error).
    Load({{rec::kDv, DvBody(0x00080183)}});
    ASSERT_EQ(Sheet().Validations().Count(), 1);
    const TCellValidation& v = Sheet().Validations().Items(0);
    EXPECT_EQ(v.Type, vtExplicitList);
    EXPECT_EQ(v.ErrorStyle, 0);
    EXPECT_EQ(v.Operator, 1);
    EXPECT_TRUE(v.AllowBlank);
    EXPECT_TRUE(v.ShowDropDown);
    EXPECT_FALSE(v.ShowInputMessage);
    EXPECT_TRUE(v.ShowErrorMessage);
    EXPECT_EQ(v.PromptTitle, u"Title");
    EXPECT_EQ(v.ErrorTitle, u"");
    EXPECT_EQ(v.Prompt, u"Pick ä");
    EXPECT_EQ(v.ErrorText, u"");
    EXPECT_EQ(v.Formula1, "5");  // ptgInt 5
    EXPECT_EQ(v.Formula2, "");   // no tokens
    ASSERT_EQ(v.Areas.RectCount(), 2);
    EXPECT_EQ(v.Areas.GetRect(0), (TRangeRect{1, 5, 0, 0, 0}));
    EXPECT_EQ(v.Areas.GetRect(1), (TRangeRect{2, 3, 4, 4, 0}));  // 260 kept in 8 bits
}

TEST_F(TXLSReaderSheetTest, ValidationOptionBits) {
    Load({{rec::kDv, DvBody(6 | 2 << 4 | 1 << 9 | 1 << 18 | 7 << 20)},  // text length, information
          {rec::kDv, DvBody(3 | 3 << 4)},            // list from a range; style 3
          {rec::kDv, DvBody(4 | 1 << 4 | 4 << 20)},  // date, warning
          {rec::kDv, DvBody(7)}});                   // custom formula
    ASSERT_EQ(Sheet().Validations().Count(), 4);
    const TCellValidation& a = Sheet().Validations().Items(0);
    EXPECT_EQ(a.Type, vtTextLength);
    EXPECT_EQ(a.ErrorStyle, 2);
    EXPECT_EQ(a.Operator, 8);
    EXPECT_FALSE(a.ShowDropDown);
    EXPECT_TRUE(a.ShowInputMessage);
    EXPECT_FALSE(a.ShowErrorMessage);
    EXPECT_FALSE(a.AllowBlank);
    EXPECT_EQ(Sheet().Validations().Items(1).Type, vtList);
    EXPECT_EQ(Sheet().Validations().Items(1).ErrorStyle, 0);
    EXPECT_EQ(Sheet().Validations().Items(2).Type, vtDate);
    EXPECT_EQ(Sheet().Validations().Items(2).ErrorStyle, 1);
    EXPECT_EQ(Sheet().Validations().Items(2).Operator, 5);
    EXPECT_EQ(Sheet().Validations().Items(3).Type, vtCustom);
}

TEST_F(TXLSReaderSheetTest, ValidationCutShortIsAddedWithWhatWasRead) {
    const Bytes full = DvBody(0x00080183);
    for (std::size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        Load({{rec::kDv, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length))}});
        ASSERT_EQ(Sheet().Validations().Count(), 1);
    }
    // Only the option word.
    Load({{rec::kDv, Bytes(full.begin(), full.begin() + 4)}});
    const TCellValidation& options = Sheet().Validations().Items(0);
    EXPECT_EQ(options.Type, vtExplicitList);
    EXPECT_TRUE(options.PromptTitle.empty());
    EXPECT_EQ(options.Areas.RectCount(), 0);
    // Cut inside the second area: the first one is there.
    Load({{rec::kDv, Bytes(full.begin(), full.end() - 3)}});
    EXPECT_EQ(Sheet().Validations().Items(0).Areas.RectCount(), 1);
    EXPECT_EQ(Sheet().Validations().Items(0).Prompt, u"Pick ä");
}

// Page setup.

TEST_F(TXLSReaderSheetTest, HeaderAndFooterSections) {
    Load({{rec::kHeader, HeaderBody("&LLeft&CMiddle&RRight")},
          {rec::kFooter, HeaderBody("Intro&RPage &P of &N&LFile &F")},
          {rec::kFooter, HeaderBody("&C")}});
    EXPECT_EQ(PageSetup().HeaderLeft, u"Left");
    EXPECT_EQ(PageSetup().HeaderCenter, u"Middle");
    EXPECT_EQ(PageSetup().HeaderRight, u"Right");
    EXPECT_EQ(PageSetup().FooterLeft, u"File &F");
    EXPECT_EQ(PageSetup().FooterRight, u"Page &P of &N");
    EXPECT_EQ(PageSetup().FooterCenter, u"");

    // A later record replaces only the sections it has; a text without codes sets none.
    Load({{rec::kHeader, HeaderBody("&LA&RB")},
          {rec::kHeader, HeaderBody("&CTitle")},
          {rec::kHeader, HeaderBody("Plain title")},
          {rec::kFooter, Body().u16(4).u8(1).utf16(u"&CÜb")},
          {rec::kFooter, Bytes{}}});
    EXPECT_EQ(PageSetup().HeaderLeft, u"A");
    EXPECT_EQ(PageSetup().HeaderCenter, u"Title");
    EXPECT_EQ(PageSetup().HeaderRight, u"B");
    EXPECT_EQ(PageSetup().FooterCenter, u"Üb");
    EXPECT_EQ(PageSetup().FooterLeft, u"");

    Load({{rec::kHeader, HeaderBody("Plain title")}});
    EXPECT_TRUE(PageSetup().HeaderLeft.empty() && PageSetup().HeaderCenter.empty() &&
                PageSetup().HeaderRight.empty());
}

namespace {

Bytes SetupBody(std::uint16_t options, std::uint16_t firstPage) {
    return Body()
        .u16(0x0109)  // paper size: 9 in the low byte
        .u16(85)      // scale
        .u16(firstPage)
        .u16(2)  // fit to width
        .u16(0)  // fit to height
        .u16(options)
        .u16(600)  // print resolution
        .u16(600)  // vertical resolution
        .f64(0.3)  // header margin
        .f64(0.4)  // footer margin
        .u16(1);   // copies
}

}  // namespace

TEST_F(TXLSReaderSheetTest, SetupRecordFillsPageSetup) {
    // Page order across, landscape, black and white, draft, page number used.
    Load({{rec::kSetup, SetupBody(0x01 | 0x08 | 0x10 | 0x80, 3)}});
    EXPECT_EQ(PageSetup().PaperSize, 9);
    EXPECT_EQ(PageSetup().Scale, 85);
    EXPECT_EQ(PageSetup().FirstPageNumber, 3);
    EXPECT_EQ(PageSetup().FitWidth, 2);
    EXPECT_EQ(PageSetup().FitHeight, 0);
    EXPECT_TRUE(PageSetup().LeftToRight);
    EXPECT_FALSE(PageSetup().Portrait);
    EXPECT_TRUE(PageSetup().BlackAndWhite);
    EXPECT_TRUE(PageSetup().Draft);
    EXPECT_DOUBLE_EQ(PageSetup().HeaderMargin, 0.3);
    EXPECT_DOUBLE_EQ(PageSetup().FooterMargin, 0.4);

    // Without bit 7 the page number field is not used.
    Load({{rec::kSetup, SetupBody(0x02, 3)}});
    EXPECT_EQ(PageSetup().FirstPageNumber, -1);
    EXPECT_TRUE(PageSetup().Portrait);
    EXPECT_FALSE(PageSetup().LeftToRight || PageSetup().BlackAndWhite || PageSetup().Draft);
}

TEST_F(TXLSReaderSheetTest, MarginsPrintFlagsAndSheetOptions) {
    Load({{rec::kLeftMargin, Body().f64(0.25)},
          {rec::kRightMargin, Body().f64(0.5)},
          {rec::kTopMargin, Body().f64(0.75)},
          {rec::kBottomMargin, Body().f64(1.25)},
          {rec::kPrintRowCol, Body().u16(1)},
          {rec::kPrintGrid, Body().u16(2)},  // only 1 means on
          {rec::kHCenter, Body().u16(1)},
          {rec::kVCenter, Body().u16(0)},
          {rec::kWsBool, Body().u16(0x0141)}});  // rows below, columns left, fit to page
    EXPECT_DOUBLE_EQ(PageSetup().LeftMargin, 0.25);
    EXPECT_DOUBLE_EQ(PageSetup().RightMargin, 0.5);
    EXPECT_DOUBLE_EQ(PageSetup().TopMargin, 0.75);
    EXPECT_DOUBLE_EQ(PageSetup().BottomMargin, 1.25);
    EXPECT_TRUE(PageSetup().PrintHeadings);
    EXPECT_FALSE(PageSetup().PrintGridLines);
    EXPECT_TRUE(PageSetup().CenterHorizontally);
    EXPECT_FALSE(PageSetup().CenterVertically);
    EXPECT_FALSE(PageSetup().SummaryRowsAbove);
    EXPECT_TRUE(PageSetup().SummaryColumnsLeft);
    EXPECT_FALSE(PageSetup().UseScale);

    Load({{rec::kWsBool, Body().u16(0x0080)}});
    EXPECT_TRUE(PageSetup().SummaryRowsAbove);
    EXPECT_FALSE(PageSetup().SummaryColumnsLeft);
    EXPECT_TRUE(PageSetup().UseScale);
}

// Window and protection.

TEST_F(TXLSReaderSheetTest, WindowPaneZoomPasswordAndProtection) {
    Load({{rec::kWindow2,
           Body()
               .u16(0x0002 | 0x0010 | 0x0800)  // grid lines, zeros, page break preview
               .u16(0)                         // top row
               .u16(0)                         // left column
               .u32(64)                        // grid line colour
               .zeros(8)},                     // zoom factors, reserved
          {rec::kPane, Body()
                           .u16(0x0103)  // horizontal split: 3 columns in the low byte
                           .u16(5)       // vertical split: 5 rows
                           .u16(5)       // top row of the lower pane
                           .u16(3)       // left column of the right pane
                           .u8(0)        // active pane
                           .u8(0)},      // unused
          {rec::kScl, Body().u16(400).u16(100)},
          {rec::kPassword, Body().u16(0xCC3D)},
          {rec::kFeatHdr, Body()
                              .u16(rec::kFeatHdr)  // future record header: record id,
                              .u16(0)              // flags,
                              .zeros(8)            // reserved
                              .u16(2)              // protection feature
                              .u8(1)               // reserved
                              .u32(0xFFFFFFFF)     // header data size
                              .u16(0x4403)}},      // protection options
         {{rec::kPassword, Body().u16(0x1234)}});
    EXPECT_TRUE(Sheet().ShowGridLines);
    EXPECT_FALSE(Sheet().ShowHeaders);
    EXPECT_TRUE(Sheet().ShowZeros);
    EXPECT_FALSE(Sheet().RightToLeft);
    EXPECT_TRUE(Sheet().PageBreakPreview);
    EXPECT_EQ(Sheet().SplitColumns, 3);
    EXPECT_EQ(Sheet().SplitRows, 5);
    EXPECT_EQ(Sheet().Zoom, 144);  // 400 kept in 8 bits
    EXPECT_EQ(Sheet().PasswordHash, 0xCC3D);
    EXPECT_EQ(file_.Workbook().PasswordHash, 0x1234);
    EXPECT_EQ(Sheet().ProtectionOptions, 0x4403);

    Load({{rec::kWindow2, Body().u16(0x0044)},
          {rec::kScl, Body().u16(3).u16(4)},
          {rec::kFeatHdr, Body().zeros(19).u8(7)}});  // 20 bytes: no options
    EXPECT_FALSE(Sheet().ShowGridLines);
    EXPECT_TRUE(Sheet().ShowHeaders);
    EXPECT_FALSE(Sheet().ShowZeros);
    EXPECT_TRUE(Sheet().RightToLeft);
    EXPECT_FALSE(Sheet().PageBreakPreview);
    EXPECT_EQ(Sheet().Zoom, 75);
    EXPECT_EQ(Sheet().ProtectionOptions, 0x4400);

    Load({{rec::kScl, Body().u16(3).u16(0)}});  // no denominator: unchanged
    EXPECT_EQ(Sheet().Zoom, 100);
}

// Substreams.

TEST_F(TXLSReaderSheetTest, ChartSubstreamsMakeNoCells) {
    test::BiffBuilder b;
    test::AppendGlobals(b, {"Data", "Chart1"}, {{rec::kSst, test::SstBody({"s"})}});
    b.Record(rec::kBof, test::BofBody(test::kWorksheetSubstream));
    b.Record(rec::kNumber, test::NumberBody(0, 0, 0, 1));
    b.Record(rec::kBof, test::BofBody(test::kChartSubstream));  // a chart inside the sheet
    b.Record(rec::kNumber, test::NumberBody(5, 5, 0, 9));
    b.Record(rec::kLabel, LabelCellBody(6, 5, 0, "series"));
    b.Record(rec::kLabelSst, test::LabelSstBody(7, 5, 0, 0));
    b.Record(rec::kRk, RkBody(8, 5, 0, 6));
    b.Record(rec::kBoolErr, BoolErrBody(9, 5, 0, 1, 0));
    b.Record(rec::kFormula, FormulaBody(10, 5, 0, NumberResult(1)));
    b.Record(rec::kMulRk, MulRkStart(11, 5, {{0, 6}}).u16(5));
    b.Record(rec::kHLink, UrlLink(12, 12, 5, 5, u"http://x"));
    b.Record(rec::kMergeCells, MergedCellsBody(1, {{13, 13, 5, 6}}));
    b.Record(rec::kHeader, HeaderBody("&CChart title"));
    b.Record(rec::kLeftMargin, Body().f64(2.5));
    b.Record(rec::kSetup, SetupBody(0x80, 4));
    b.Record(rec::kEof, {});
    b.Record(rec::kNumber, test::NumberBody(1, 0, 0, 2));  // back in the sheet
    b.Record(rec::kEof, {});
    test::AppendSubstream(b, test::kChartSubstream,
                          {{rec::kNumber, test::NumberBody(0, 0, 0, 3)},
                           {rec::kLabel, LabelCellBody(0, 1, 0, "x")},
                           {rec::kHeader, HeaderBody("&LChart sheet")}});
    test::OpenWorkbook(file_, b.Build());

    ASSERT_EQ(file_.Workbook().Sheets().Count(), 2);
    ASSERT_EQ(Cells(0).Count(), 2);
    EXPECT_EQ(ValueAt(0, 0).AsDouble(), 1);
    EXPECT_EQ(ValueAt(1, 0).AsDouble(), 2);
    EXPECT_EQ(Sheet(0).Ranges().Count(), 0);
    EXPECT_EQ(PageSetup().HeaderCenter, u"Chart title");
    EXPECT_DOUBLE_EQ(PageSetup().LeftMargin, 2.5);
    EXPECT_EQ(PageSetup().FirstPageNumber, 4);
    EXPECT_EQ(Cells(1).Count(), 0);
    EXPECT_EQ(Sheet(1).PageSetup().HeaderLeft, u"Chart sheet");
}

// Bad input.

TEST_F(TXLSReaderSheetTest, ColumnOf256InACellRecordIsRefused) {
    RecordList globals = DateFormats();
    globals.push_back({rec::kSst, test::SstBody({"s"})});
    const std::vector<std::pair<const char*, std::pair<std::uint16_t, Bytes>>> cases = {
        {"NUMBER", {rec::kNumber, test::NumberBody(0, 256, 0, 1)}},
        {"RK", {rec::kRk, RkBody(0, 256, 0, 6)}},
        {"LABEL", {rec::kLabel, LabelCellBody(0, 256, 0, "x")}},
        {"LABELSST", {rec::kLabelSst, test::LabelSstBody(0, 256, 0, 0)}},
        {"BOOLERR", {rec::kBoolErr, BoolErrBody(0, 0xFFFF, 0, 1, 0)}},
        {"FORMULA", {rec::kFormula, FormulaBody(0, 256, 0, NumberResult(1))}},
        {"BLANK", {rec::kBlank, BlankCellBody(0, 256, kDateXF)}},
        {"MULRK", {rec::kMulRk, MulRkStart(0, 255, {{0, 6}, {0, 6}}).u16(256)}},
        {"MULBLANK", {rec::kMulBlank, MulBlankStart(0, 255, {kDateXF, kDateXF}).u16(256)}},
        {"HLINK", {rec::kHLink, LocationLink(0, u"A1")}},
    };
    for (auto [name, record] : cases) {
        SCOPED_TRACE(name);
        if (record.first == rec::kHLink) {
            record.second[4] = 0xFF;  // first column 255, last column 256
            record.second[6] = 0x00;
            record.second[7] = 0x01;
        }
        const Failure f = LoadFailure(OneSheet({record}, globals));
        EXPECT_EQ(f.type, "EXLSError");
        EXPECT_EQ(f.code, 5);
        EXPECT_EQ(f.message, "Invalid row or column number.");
    }
}

// A shared-string table that holds fewer strings than its cells use (a wrong count, a
// table cut short) leaves those cells empty, with one warning; the read goes on.
TEST_F(TXLSReaderSheetTest, SharedStringIndexOutsideTheTableLeavesTheCellEmpty) {
    const std::vector<std::string> warning = {
        "cells refer to shared strings that the workbook's string table does not hold; they "
        "were left empty"};
    Load({{rec::kNumber, test::NumberBody(0, 0, 0, 1)},
          {rec::kLabelSst, test::LabelSstBody(0, 1, 0, 2)},
          {rec::kLabelSst, test::LabelSstBody(0, 2, 0, 1)},
          {rec::kLabelSst, test::LabelSstBody(0, 3, 0, 7)}},
         {{rec::kSst, test::SstBody({"a", "b"})}});
    EXPECT_EQ(Cells().Count(), 2);
    EXPECT_FALSE(Cells().Find(0, 1));
    EXPECT_EQ(ValueAt(0, 2), TCellValue::Ansi("b"));
    EXPECT_EQ(file_.Workbook().Warnings, warning);

    // A LABELSST before the SST finds no strings at all.
    Load({}, {{rec::kLabelSst, test::LabelSstBody(0, 0, 0, 0)}, {rec::kSst, test::SstBody({"a"})}});
    EXPECT_EQ(Cells().Count(), 0);
    EXPECT_EQ(file_.Workbook().Warnings, warning);
}

TEST_F(TXLSReaderSheetTest, RecordsOfAnUndeclaredSheetAreRefused) {
    test::BiffBuilder b;
    test::AppendGlobals(b, {"Only"});
    test::AppendSubstream(b, test::kWorksheetSubstream,
                          {{rec::kNumber, test::NumberBody(0, 0, 0, 1)}});
    test::AppendSubstream(b, test::kWorksheetSubstream, {{rec::kHeader, HeaderBody("&Cx")}});
    Failure f = LoadFailure(b.Build());
    EXPECT_EQ(f.type, "ERangeError");
    EXPECT_EQ(f.message, "List index (1) out of bounds !");
    EXPECT_EQ(Cells(0).Count(), 1);

    // Without any BOUNDSHEET even the first sheet is missing.
    test::BiffBuilder none;
    test::AppendSubstream(none, test::kGlobalsSubstream, {});
    test::AppendSubstream(none, test::kWorksheetSubstream,
                          {{rec::kNumber, test::NumberBody(0, 0, 0, 1)}});
    f = LoadFailure(none.Build());
    EXPECT_EQ(f.type, "ERangeError");
    EXPECT_EQ(f.message, "List index (0) out of bounds !");
}

TEST_F(TXLSReaderSheetTest, EmptyAndOneByteBodiesReadAsZero) {
    const std::uint16_t ids[] = {
        rec::kFormula,   rec::kString,       rec::kNumber,      rec::kRk,         rec::kMulRk,
        rec::kLabel,     rec::kLabelSst,     rec::kBlank,       rec::kMulBlank,   rec::kBoolErr,
        rec::kShrFmla,   rec::kRow,          rec::kColInfo,     rec::kMergeCells, rec::kDv,
        rec::kHeader,    rec::kFooter,       rec::kSetup,       rec::kLeftMargin, rec::kRightMargin,
        rec::kTopMargin, rec::kBottomMargin, rec::kPrintRowCol, rec::kPrintGrid,  rec::kHCenter,
        rec::kVCenter,   rec::kWsBool,       rec::kWindow2,     rec::kPane,       rec::kScl,
        rec::kPassword,  rec::kFeatHdr};
    RecordList globals = DateFormats();
    globals.push_back({rec::kSst, test::SstBody({"s"})});
    for (const std::uint16_t id : ids) {
        for (const Bytes& body : {Bytes{}, Bytes{0xFF}}) {
            SCOPED_TRACE(testing::Message() << std::hex << id << " body " << body.size());
            const Failure f = LoadFailure(OneSheet({{id, body}}, globals));
            EXPECT_EQ(f.type, "none") << f.message;
        }
    }
    // A hyperlink needs its fixed part.
    const Failure f = LoadFailure(OneSheet({{rec::kHLink, {}}}));
    EXPECT_EQ(f.code, 16);
}
