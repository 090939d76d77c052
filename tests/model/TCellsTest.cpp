#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/RegionalSettings.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCells.h"
#include "xls/model/TFormulaSource.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TWorkbook.h"

using namespace vorlix;

namespace {

// The tag marker that opens and closes every property bag entry.
const std::string kMarker("\xFF\x00\xFF\x63", 4);

std::string BagEntry(const std::string& tag, const std::string& value) {
    return kMarker + tag + kMarker + value + kMarker;
}

// Code and message of the EXLSError `f` raises; code 0 when it raises none.
std::pair<int, std::string> XlsErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EXLSError& e) {
        return {e.ErrorCode(), e.what()};
    }
    return {0, ""};
}

class TCellsTest : public ::testing::Test {
  protected:
    TSheet& Sheet() { return workbook_.Sheets().Items(0); }
    TCells& Cells() { return Sheet().Cells(); }

    TWorkbook workbook_;
};

}  // namespace

TEST_F(TCellsTest, LookedUpCellJoinsOnlyOnFirstCommit) {
    EXPECT_EQ(Cells().Count(), 0);
    TCell cell = Cells().GetCell(3, 4);
    EXPECT_EQ(cell.Row(), 3);
    EXPECT_EQ(cell.Col(), 4);
    EXPECT_TRUE(cell.Pending());
    EXPECT_EQ(Cells().Count(), 0);
    EXPECT_FALSE(Cells().Find(3, 4).has_value());
    EXPECT_EQ(Cells().IndexOf(cell), -1);

    cell.SetValue(TCellValue::Number(2.5));
    EXPECT_FALSE(cell.Pending());
    EXPECT_EQ(Cells().Count(), 1);
    ASSERT_TRUE(Cells().Find(3, 4).has_value());
    EXPECT_EQ(Cells().Find(3, 4)->Value().AsDouble(), 2.5);
    // The listed cell is what later lookups return.
    EXPECT_EQ(Cells().GetCell(3, 4).Value().AsDouble(), 2.5);
    EXPECT_EQ(Cells().IndexOf(cell), 0);
}

TEST_F(TCellsTest, DefaultValuedPropertiesLeaveCellPending) {
    TCell cell = Cells().GetCell(1, 1);
    cell.SetFillColorIndex(58);
    cell.SetPatternColorIndex(57);
    cell.SetLocked(true);
    cell.SetMerged(false);
    cell.SetWrapText(false);
    cell.SetIndent(0);
    cell.SetFontBold(false);
    cell.SetFontName(u"Arial");
    cell.SetFontSize(10);
    EXPECT_TRUE(cell.Pending());
    EXPECT_EQ(Cells().Count(), 0);

    cell.SetFontBold(true);
    EXPECT_FALSE(cell.Pending());
    EXPECT_EQ(Cells().Count(), 1);
    EXPECT_TRUE(Cells().Find(1, 1)->FontBold());
}

TEST_F(TCellsTest, ChangesThatCommitListTheCell) {
    const std::vector<std::pair<const char*, std::function<void(TCell&)>>> setters = {
        {"FillColorIndex 10", [](TCell& c) { c.SetFillColorIndex(10); }},
        {"Locked false", [](TCell& c) { c.SetLocked(false); }},
        {"Indent 20", [](TCell& c) { c.SetIndent(20); }},
        {"BorderStyle of no side", [](TCell& c) { c.SetBorderStyle(9, 1); }},
        {"BorderColorIndex default", [](TCell& c) { c.SetBorderColorIndex(bsLeft, 58); }},
        {"FontColor", [](TCell& c) { c.SetFontColor(0x000000); }},
        {"Formula", [](TCell& c) { c.SetFormula("1+1"); }},
        {"NumberFormat 2", [](TCell& c) { c.SetNumberFormat(2); }},
    };
    std::uint16_t row = 0;
    for (const auto& [name, set] : setters) {
        SCOPED_TRACE(name);
        TCell cell = Cells().GetCell(row, 0);
        set(cell);
        EXPECT_FALSE(cell.Pending());
        EXPECT_TRUE(Cells().Find(row, 0).has_value());
        ++row;
    }
    EXPECT_EQ(Cells().Find(2, 0)->Indent(), 15);
    EXPECT_EQ(Cells().Find(3, 0)->BorderStyle(0), 0);
    EXPECT_EQ(Cells().Find(3, 0)->BorderStyle(9), 0);
}

TEST_F(TCellsTest, EnumerationFollowsFirstCommitNotAddress) {
    Cells().GetCell(5, 0).SetValue(TCellValue::Number(1));
    Cells().GetCell(2, 3).SetValue(TCellValue::Number(2));
    Cells().GetCell(5, 1).SetValue(TCellValue::Number(3));
    // A later change of the first cell keeps its place.
    Cells().GetCell(5, 0).SetValue(TCellValue::Number(4));

    ASSERT_EQ(Cells().Count(), 3);
    const std::vector<std::pair<int, int>> expected = {{5, 0}, {2, 3}, {5, 1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Cells().Items(i).Row(), expected[i].first) << i;
        EXPECT_EQ(Cells().Items(i).Col(), expected[i].second) << i;
    }
    EXPECT_EQ(Cells().Items(0).Value().AsDouble(), 4);
}

TEST_F(TCellsTest, ManyCellsStayFindableInListingOrder) {
    // Addresses in a scattered order, enough to make the address index grow several times.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> order;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        order.emplace_back(static_cast<std::uint16_t>(i * 7919 % 65536), i * 31 % 256);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        Cells().GetCell(order[i].first, order[i].second).SetValue(TCellValue::Number(i));
    }
    ASSERT_EQ(Cells().Count(), 5000);
    for (std::size_t i = 0; i < order.size(); i += 97) {
        const auto cell = Cells().Find(order[i].first, order[i].second);
        ASSERT_TRUE(cell.has_value()) << i;
        EXPECT_EQ(cell->Value().AsDouble(), static_cast<double>(i));
        EXPECT_EQ(Cells().Items(static_cast<long long>(i)).Row(), order[i].first);
        EXPECT_EQ(Cells().IndexOf(*cell), static_cast<int>(i));
    }
    EXPECT_FALSE(Cells().Find(1, 1).has_value());
}

TEST_F(TCellsTest, ColumnAbove255IsRefusedAndPendingCellStays) {
    TCell pending = Cells().GetCell(7, 7);
    const auto [code, message] = XlsErrorOf([&] { Cells().GetCell(0, 256); });
    EXPECT_EQ(code, 5);
    EXPECT_EQ(message, "Invalid row or column number.");
    EXPECT_EQ(Cells().Count(), 0);

    pending.SetValue(TCellValue::Number(1));
    EXPECT_EQ(Cells().Count(), 1);

    TCell corner = Cells().GetCell(65535, 255);
    EXPECT_EQ(corner.Row(), 65535);
    EXPECT_EQ(corner.Col(), 255);
    EXPECT_EQ(Cells().GetCell(65536 + 3, 1).Row(), 3);  // the row is taken as 16-bit
}

TEST_F(TCellsTest, ItemsOutsideTheListRaiseRangeError) {
    Cells().GetCell(0, 0).SetValue(TCellValue::Number(1));
    Cells().GetCell(0, 1).SetValue(TCellValue::Number(2));
    const auto messageOf = [&](long long index) -> std::string {
        try {
            Cells().Items(index);
        } catch (const ERangeError& e) {
            return e.what();
        }
        return "(no error)";
    };
    EXPECT_EQ(messageOf(-1), "List index (-1) out of bounds");
    EXPECT_EQ(messageOf(2), "List index (2) out of bounds");
    EXPECT_EQ(messageOf(1), "(no error)");
}

TEST_F(TCellsTest, SetValueKeepsEveryAcceptedKind) {
    struct Case {
        const char* name;
        TCellValue value;
    };
    const std::vector<Case> cases = {
        {"16-bit integer", TCellValue::Integer(vkSmallInt, -2)},
        {"32-bit integer", TCellValue::Integer(vkInteger, -70000)},
        {"32-bit float", TCellValue::Single(1.5f)},
        {"64-bit float", TCellValue::Number(0.1)},
        {"currency", TCellValue::Currency(12345)},
        {"date-time", TCellValue::DateTime(45000.25)},
        {"wide string", TCellValue::Wide(u"Grüße")},
        {"boolean", TCellValue::Boolean(true)},
        {"8-bit signed", TCellValue::Integer(vkShortInt, -5)},
        {"8-bit unsigned", TCellValue::Integer(vkByte, 200)},
        {"16-bit unsigned", TCellValue::Integer(vkWord, 65535)},
        {"32-bit unsigned", TCellValue::Integer(vkLongWord, 0xFFFFFFFF)},
        {"64-bit integer", TCellValue::Integer(vkInt64, -(std::int64_t{1} << 40))},
        {"8-bit string", TCellValue::Ansi("abc")},
        {"string", TCellValue::Ansi("def", vkUString)},
        {"time of day", TCellValue::TimeOfDay(0.25)},
        {"duration", TCellValue::Duration(9.5)},
        {"error", TCellValue::Error(ecValue)},
    };
    std::uint16_t row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCell cell = Cells().GetCell(row++, 0);
        cell.SetValue(c.value);
        EXPECT_EQ(cell.Value().Kind(), c.value.Kind());
        EXPECT_TRUE(cell.Value() == c.value);
    }
    EXPECT_EQ(Cells().Count(), static_cast<int>(cases.size()));
    EXPECT_DOUBLE_EQ(Cells().Find(4, 0)->Value().AsDouble(), 1.2345);
}

TEST_F(TCellsTest, SetValueRefusesOtherKindsAndKeepsOldValue) {
    TCell cell = Cells().GetCell(0, 0);
    cell.SetValue(TCellValue::Number(7));
    for (const TCellValue& bad :
         {TCellValue(), TCellValue::Null(), TCellValue::Integer(static_cast<TValueKind>(9), 1),
          TCellValue::Integer(static_cast<TValueKind>(14), 1)}) {
        SCOPED_TRACE(bad.Kind());
        const auto [code, message] = XlsErrorOf([&] { cell.SetValue(bad); });
        EXPECT_EQ(code, 3);
        EXPECT_EQ(message, "Invalid cell value or type.");
        EXPECT_EQ(cell.Value().Kind(), vkDouble);
        EXPECT_EQ(cell.Value().AsDouble(), 7);
    }
    // A refused value on a pending cell does not list it.
    TCell pending = Cells().GetCell(1, 0);
    EXPECT_EQ(XlsErrorOf([&] { pending.SetValue(TCellValue()); }).first, 3);
    EXPECT_TRUE(pending.Pending());
}

TEST_F(TCellsTest, TextsOver65535CharactersAreRefused) {
    TCell cell = Cells().GetCell(0, 0);
    cell.SetValue(TCellValue::Wide(std::u16string(65535, u'a')));
    EXPECT_EQ(cell.Value().WideText().size(), 65535u);
    cell.SetValue(TCellValue::Ansi(std::string(65535, 'b')));
    EXPECT_EQ(cell.Value().AnsiText().size(), 65535u);

    EXPECT_EQ(
        XlsErrorOf([&] { cell.SetValue(TCellValue::Wide(std::u16string(65536, u'a'))); }).first, 3);
    EXPECT_EQ(XlsErrorOf([&] { cell.SetValue(TCellValue::Ansi(std::string(65536, 'b'))); }).first,
              3);
    EXPECT_EQ(XlsErrorOf([&] {
                  cell.SetValue(TCellValue::Ansi(std::string(65536, 'c'), vkUString));
              }).first,
              3);
    EXPECT_EQ(cell.Value().AnsiText(), std::string(65535, 'b'));
}

// In the UTF-8 code page a character may take up to three bytes; the limit is on characters.
TEST_F(TCellsTest, TextLimitCountsCharactersNotBytes) {
    TCell cell = Cells().GetCell(0, 0);
    const std::u16string cjk(30000, u'\u4E2D');
    EXPECT_EQ(XlsErrorOf([&] { cell.SetValue(TCellValue::Wide(cjk)); }).first, 0);
    EXPECT_EQ(cell.Value().WideText(), cjk);

    std::string accented;
    for (int i = 0; i < 40000; ++i)
        accented += "\xC3\xA9";  // é in the UTF-8 code page
    EXPECT_EQ(XlsErrorOf([&] { cell.SetValue(TCellValue::Ansi(accented)); }).first, 0);
}

TEST_F(TCellsTest, FirstDateTimeValueGivesDateFormat) {
    TCell cell = Cells().GetCell(0, 0);
    cell.SetValue(TCellValue::DateTime(45000));
    EXPECT_EQ(cell.NumberFormat(), 13);  // built-in index 14, "mm/dd/yy"

    // A second date-time value does not bring the format back.
    cell.SetNumberFormat(0);
    cell.SetValue(TCellValue::DateTime(45001));
    EXPECT_EQ(cell.NumberFormat(), 0);

    // Nor does a date-time value on a cell with a format of its own.
    TCell other = Cells().GetCell(1, 0);
    other.SetNumberFormat(2);
    other.SetValue(TCellValue::DateTime(45000));
    EXPECT_EQ(other.NumberFormat(), 2);

    // A number turning into a date-time gets the format too.
    TCell number = Cells().GetCell(2, 0);
    number.SetValue(TCellValue::Number(3));
    number.SetValue(TCellValue::DateTime(3));
    EXPECT_EQ(number.NumberFormat(), 13);
}

TEST_F(TCellsTest, EqualFormattingSharesOneXFRecordUntilOneChanges) {
    TCell a = Cells().GetCell(0, 0);
    a.SetFontBold(true);
    a.SetFillColorIndex(10);
    TCell b = Cells().GetCell(0, 1);
    b.SetFontBold(true);
    b.SetFillColorIndex(10);
    EXPECT_EQ(a.XFIndex(), b.XFIndex());
    EXPECT_NE(a.XFIndex(), workbook_.XFTable().DefaultXF());
    const int count = workbook_.XFTable().Count();

    const std::int32_t shared = b.XFIndex();
    a.SetFillColorIndex(12);
    EXPECT_NE(a.XFIndex(), shared);
    EXPECT_EQ(b.XFIndex(), shared);
    EXPECT_EQ(b.FillColorIndex(), 10);
    EXPECT_TRUE(b.FontBold());
    EXPECT_EQ(a.FillColorIndex(), 12);
    EXPECT_TRUE(a.FontBold());
    EXPECT_EQ(workbook_.XFTable().Count(), count + 1);

    // Going back to the shared formatting finds the shared record again.
    a.SetFillColorIndex(10);
    EXPECT_EQ(a.XFIndex(), shared);
}

TEST_F(TCellsTest, NewCellInheritsRowAndColumnFormat) {
    TRow* row = Sheet().Rows().GetRow(4);
    row->SetFontBold(true);
    row->SetLocked(false);
    TColumn* column = Sheet().Columns().GetColumn(2);
    column->SetFillColorIndex(10);
    column->SetHorizontalAlignment(3);

    TCell both = Cells().GetCell(4, 2);
    EXPECT_TRUE(both.FontBold());
    EXPECT_EQ(both.FillColorIndex(), 10);
    EXPECT_EQ(both.HorizontalAlignment(), 3);
    EXPECT_TRUE(both.Locked());  // Locked is not taken over
    EXPECT_TRUE(both.Pending());
    EXPECT_EQ(Cells().Count(), 0);

    // Only the row carries formatting: the cell takes the row's record as it is.
    TCell rowOnly = Cells().GetCell(4, 7);
    EXPECT_EQ(rowOnly.XFIndex(), row->XFIndex());
    EXPECT_TRUE(rowOnly.FontBold());
    EXPECT_EQ(rowOnly.FillColorIndex(), 58);

    TCell columnOnly = Cells().GetCell(1, 2);
    EXPECT_EQ(columnOnly.XFIndex(), column->XFIndex());
    EXPECT_FALSE(columnOnly.FontBold());
    EXPECT_TRUE(columnOnly.Pending());
    EXPECT_EQ(Cells().Count(), 0);
}

TEST_F(TCellsTest, RowWinsOverColumnUnlessItKeepsTheDefault) {
    TRow* row = Sheet().Rows().GetRow(1);
    row->SetFillColorIndex(12);
    row->SetFontSize(10);
    row->SetNumberFormat(2);
    TColumn* column = Sheet().Columns().GetColumn(1);
    column->SetFillColorIndex(10);
    column->SetFontSize(14);
    column->SetNumberFormat(4);
    column->SetFontName(u"Courier");
    column->SetFontItalic(true);

    TCell cell = Cells().GetCell(1, 1);
    EXPECT_EQ(cell.FillColorIndex(), 12);
    EXPECT_EQ(cell.NumberFormat(), 2);
    EXPECT_EQ(cell.FontSize(), 14);
    EXPECT_EQ(cell.FontName(), u"Courier");
    EXPECT_TRUE(cell.FontItalic());
}

TEST_F(TCellsTest, NoInheritanceWhileAWorkbookIsRead) {
    Sheet().Rows().GetRow(4)->SetFontBold(true);
    Sheet().Columns().GetColumn(2)->SetFillColorIndex(10);
    workbook_.SetLoadState(lsReading);

    TCell cell = Cells().GetCell(4, 2);
    EXPECT_EQ(cell.XFIndex(), workbook_.XFTable().DefaultXF());
    EXPECT_FALSE(cell.FontBold());
    EXPECT_EQ(cell.FillColorIndex(), 58);
    EXPECT_EQ(Cells().GetCell(4, 9).XFIndex(), workbook_.XFTable().DefaultXF());
}

TEST_F(TCellsTest, HyperlinkOnEmptyCellBecomesItsValue) {
    TCell cell = Cells().GetCell(0, 0);
    cell.SetHyperlink(u"http://example.com/ä");
    EXPECT_FALSE(cell.Pending());
    EXPECT_EQ(cell.Hyperlink(), u"http://example.com/ä");
    EXPECT_EQ(cell.Value().Kind(), vkWideString);
    EXPECT_EQ(cell.Value().WideText(), u"http://example.com/ä");
    EXPECT_EQ(cell.FontColorIndex(), 5);
    EXPECT_TRUE(cell.FontUnderline());

    TCell valued = Cells().GetCell(1, 0);
    valued.SetValue(TCellValue::Number(42));
    valued.SetHyperlink(u"#Sheet2!A1");
    EXPECT_EQ(valued.Value().Kind(), vkDouble);
    EXPECT_EQ(valued.Value().AsDouble(), 42);
    EXPECT_EQ(valued.Hyperlink(), u"#Sheet2!A1");
    EXPECT_TRUE(valued.FontUnderline());
}

TEST_F(TCellsTest, HyperlinkKindIsStoredWithoutCommitting) {
    TCell pending = Cells().GetCell(2, 2);
    pending.SetHyperlinkKind(hkNetwork);
    EXPECT_TRUE(pending.Pending());
    EXPECT_EQ(pending.HyperlinkKind(), hkNetwork);

    TCell cell = Cells().GetCell(0, 0);
    EXPECT_EQ(cell.HyperlinkKind(), 0);
    cell.SetHyperlink(u"a");
    cell.SetHyperlinkKind(hkFile);
    EXPECT_EQ(cell.HyperlinkKind(), hkFile);
    EXPECT_EQ(cell.PropertyBag(),
              BagEntry("H", std::string("a\0", 2)) + BagEntry("L", std::string(1, '\x02')));
}

TEST_F(TCellsTest, PropertyBagEntriesAreReplacedInPlaceAndRemoved) {
    TCell cell = Cells().GetCell(0, 0);
    EXPECT_EQ(cell.PropertyBag(), "");
    cell.SetFormula("A1+1");
    EXPECT_FALSE(cell.Pending());
    EXPECT_EQ(cell.Formula(), "A1+1");
    EXPECT_EQ(cell.PropertyBag(), BagEntry("F", "A1+1"));

    cell.SetHyperlink(u"ab");
    const std::string hyperlink = BagEntry("H", std::string("a\0b\0", 4));
    EXPECT_EQ(cell.PropertyBag(), BagEntry("F", "A1+1") + hyperlink);

    // A longer value replaces the entry where it stands.
    cell.SetFormula("SUM(B1:B9)");
    EXPECT_EQ(cell.PropertyBag(), BagEntry("F", "SUM(B1:B9)") + hyperlink);
    EXPECT_EQ(cell.Formula(), "SUM(B1:B9)");
    EXPECT_EQ(cell.Hyperlink(), u"ab");

    // An empty formula removes the entry and leaves the others.
    cell.SetFormula("");
    EXPECT_EQ(cell.PropertyBag(), hyperlink);
    EXPECT_EQ(cell.Formula(), "");
    EXPECT_EQ(cell.Hyperlink(), u"ab");

    // Removing a tag that is absent changes nothing.
    cell.SetFormula("");
    EXPECT_EQ(cell.PropertyBag(), hyperlink);
}

namespace {

// Spells formula n of cell (row, col) as "n@row,col"; formula 0 cannot be decoded.
class TNumberedFormulas : public TFormulaSource {
  public:
    std::string FormulaText(std::uint64_t formula, std::uint16_t row,
                            std::uint8_t col) const override {
        if (formula == 0) return "";
        return std::to_string(formula) + "@" + std::to_string(row) + "," + std::to_string(col);
    }
};

}  // namespace

TEST_F(TCellsTest, KeptFormulasAreSpelledOutWhenAskedFor) {
    Cells().SetFormulaSource(std::make_shared<TNumberedFormulas>());
    // A pending cell joins with its formula.
    TCell a = Cells().GetCell(2, 1);
    a.KeepFormula(7);
    EXPECT_FALSE(a.Pending());
    EXPECT_EQ(a.Formula(), "7@2,1");
    EXPECT_EQ(a.PropertyBag(), BagEntry("F", "7@2,1"));

    // Properties set after the formula follow it in the bag; a formula kept again for the
    // same cell replaces it.
    a.SetHyperlink(u"x");
    a.KeepFormula(8);
    const std::string x = BagEntry("H", std::string("x\0", 2));
    EXPECT_EQ(a.PropertyBag(), BagEntry("F", "8@2,1") + x);
    a.SetFormula("2+2");
    EXPECT_EQ(a.PropertyBag(), BagEntry("F", "2+2") + x);

    // One kept after other properties takes its place after them.
    TCell b = Cells().GetCell(3, 0);
    b.SetHyperlink(u"y");
    b.KeepFormula(9);
    EXPECT_EQ(b.PropertyBag(), BagEntry("H", std::string("y\0", 2)) + BagEntry("F", "9@3,0"));

    // Text set over a kept formula replaces it where it stands; one that cannot be
    // decoded has no entry at all.
    b.SetFormula("1+1");
    EXPECT_EQ(b.PropertyBag(), BagEntry("H", std::string("y\0", 2)) + BagEntry("F", "1+1"));
    TCell c = Cells().GetCell(4, 0);
    c.KeepFormula(0);
    EXPECT_FALSE(c.Pending());
    EXPECT_EQ(c.Formula(), "");
    EXPECT_EQ(c.PropertyBag(), "");

    // Formulas kept for cells out of their order: the last one of each cell counts, and
    // the list the reader rewrites holds only the cells that still have one.
    Cells().GetCell(9, 9).SetValue(TCellValue::Number(1));
    a.KeepFormula(10);
    Cells().GetCell(3, 0).KeepFormula(11);
    a.KeepFormula(12);
    EXPECT_EQ(a.Formula(), "12@2,1");
    EXPECT_EQ(b.Formula(), "11@3,0");
    const std::span<TCells::TKeptFormula> kept = Cells().KeptFormulas();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].Formula, 12u);
    EXPECT_EQ(kept[1].Formula, 11u);
    EXPECT_EQ(kept[2].Formula, 0u);
    kept[0].Formula = 13;
    EXPECT_EQ(a.Formula(), "13@2,1");
    EXPECT_EQ(a.PropertyBag(), BagEntry("F", "13@2,1") + x);
    b.SetFormula("");
    EXPECT_EQ(Cells().KeptFormulas().size(), 2u);
    EXPECT_EQ(b.Formula(), "");
}

TEST_F(TCellsTest, HandleOfDiscardedPendingCellRaisesLogicError) {
    TCell first = Cells().GetCell(1, 1);
    TCell second = Cells().GetCell(2, 2);  // discards the pending (1, 1)
    EXPECT_THROW(first.SetValue(TCellValue::Number(1)), std::logic_error);
    EXPECT_THROW(first.Value(), std::logic_error);
    EXPECT_THROW(first.SetFontBold(true), std::logic_error);
    EXPECT_EQ(Cells().Count(), 0);

    second.SetValue(TCellValue::Number(2));
    EXPECT_EQ(Cells().Count(), 1);
    EXPECT_EQ(Cells().Items(0).Row(), 2);

    // The discarded handle stays dead when its address is brought into being again.
    Cells().GetCell(1, 1).SetValue(TCellValue::Number(3));
    EXPECT_THROW(first.Value(), std::logic_error);
}

TEST_F(TCellsTest, CopyOfHandleFollowsItsTwinsCommit) {
    TCell cell = Cells().GetCell(3, 3);
    TCell twin = cell;
    twin.SetValue(TCellValue::Number(1));
    Cells().GetCell(4, 4);  // another absent address: the cell is listed, so it survives

    EXPECT_FALSE(cell.Pending());
    EXPECT_EQ(cell.Value().AsDouble(), 1);
    cell.SetValue(TCellValue::Number(2));
    EXPECT_EQ(Cells().Count(), 1);
    EXPECT_EQ(twin.Value().AsDouble(), 2);
}

TEST_F(TCellsTest, DisplayTextGivesGeneralRendering) {
    workbook_.Settings().Regional = platform::MakeRegionalSettings({});

    const auto textOf = [&](const TCellValue& value) {
        TCell cell = Cells().GetCell(0, 0);
        cell.SetValue(value);
        return cell.DisplayText();
    };
    EXPECT_EQ(textOf(TCellValue::Number(1.0 / 3)), u"0.333333333333333");
    EXPECT_EQ(textOf(TCellValue::Number(-1234.5)), u"-1234.5");
    EXPECT_EQ(textOf(TCellValue::Number(123456789012)), u"123456789012");
    EXPECT_EQ(textOf(TCellValue::Number(1e20)), u"1E20");
    EXPECT_EQ(textOf(TCellValue::Number(0.00001)), u"1E-5");
    EXPECT_EQ(textOf(TCellValue::Number(0)), u"0");
    EXPECT_EQ(textOf(TCellValue::Integer(vkInteger, 42)), u"42");
    EXPECT_EQ(textOf(TCellValue::Boolean(true)), u"TRUE");
    EXPECT_EQ(textOf(TCellValue::Boolean(false)), u"FALSE");
    EXPECT_EQ(textOf(TCellValue::Wide(u"Grüße")), u"Grüße");
    EXPECT_EQ(textOf(TCellValue::Ansi("caf\xC3\xA9")), u"café");
    EXPECT_EQ(Cells().GetCell(5, 5).DisplayText(), u"");

    // The workbook's own settings, whatever the process-wide ones are.
    platform::TRegionalSettings comma;
    comma.DecimalSeparator = u',';
    workbook_.Settings().Regional = platform::MakeRegionalSettings(comma);
    EXPECT_EQ(textOf(TCellValue::Number(1.5)), u"1,5");
}

// Cells loaded in address order are found without an index; the first one out of order
// builds it, and every cell stays findable, before and after.
TEST_F(TCellsTest, CellsFoundWhetherLoadedInOrderOrNot) {
    TCells& cells = Cells();
    for (std::uint32_t row = 0; row < 300; ++row) {
        for (std::uint32_t col = 0; col < 40; col += 3)
            cells.LoadNumber(row, col, vkDouble, row * 1000.0 + col, -1);
    }
    const auto check = [&cells](std::uint32_t row, std::uint32_t col, bool listed) {
        const auto cell = cells.Find(row, col);
        ASSERT_EQ(cell.has_value(), listed) << row << "," << col;
        if (listed) {
            EXPECT_EQ(cell->Value().AsDouble(), row * 1000.0 + col);
            EXPECT_EQ(cells.Items(cells.IndexOf(*cell)).Row(), row);
        }
    };
    EXPECT_TRUE(cells.Ordered());
    for (std::uint32_t row = 0; row < 300; row += 7) {
        for (std::uint32_t col = 0; col < 42; ++col)
            check(row, col, col % 3 == 0 && col < 40);
    }
    check(300, 0, false);
    // The same address again changes the cell in place; an earlier one comes out of order.
    cells.LoadNumber(299, 39, vkDouble, 299039, -1);
    EXPECT_TRUE(cells.Ordered());
    cells.LoadNumber(5, 1, vkDouble, 5001, -1);
    EXPECT_FALSE(cells.Ordered());
    ASSERT_EQ(cells.Count(), 300 * 14 + 1);
    for (std::uint32_t row = 0; row < 300; row += 7) {
        for (std::uint32_t col = 0; col < 42; ++col)
            check(row, col, (col % 3 == 0 && col < 40) || (row == 5 && col == 1));
    }
    // Listing goes on past the index's growth.
    for (std::uint32_t row = 400; row < 1400; ++row)
        cells.GetCell(row, 2).SetValue(TCellValue::Number(row * 1000.0 + 2));
    check(1399, 2, true);
    check(0, 0, true);
    check(5, 1, true);
}

// Formulas and hyperlinks are kept beside the cells: one made on a pending cell goes with
// its commit, and a cell without any reads as empty.
TEST_F(TCellsTest, PropertiesOfPendingCellsFollowTheirCommit) {
    TCell cell = Cells().GetCell(2, 2);
    cell.SetFormula("SUM(A1:A2)");
    EXPECT_FALSE(cell.Pending());
    cell.SetValue(TCellValue::Number(3));
    EXPECT_EQ(Cells().Find(2, 2)->Formula(), "SUM(A1:A2)");
    EXPECT_EQ(Cells().Find(2, 2)->Value().AsDouble(), 3);

    Cells().LoadNumber(3, 3, vkDouble, 1, -1);
    EXPECT_EQ(Cells().Find(3, 3)->Formula(), "");
    EXPECT_EQ(Cells().Find(3, 3)->PropertyBag(), "");
    // A discarded pending cell leaves no property to the next one.
    TCell dropped = Cells().GetCell(4, 4);
    dropped.SetHyperlinkKind(hkURL);
    TCell next = Cells().GetCell(5, 5);
    next.SetValue(TCellValue::Number(1));
    EXPECT_EQ(next.HyperlinkKind(), 0);
    EXPECT_EQ(next.PropertyBag(), "");
}

// A text stored once serves every cell that has it; changing one of them leaves the others.
TEST_F(TCellsTest, StoredTextIsSharedButChangedPerCell) {
    TCells& cells = Cells();
    const std::uint64_t ansi = cells.LoadText(0, 0, std::string_view("shared"), -1);
    const std::uint64_t wide = cells.LoadText(0, 1, std::u16string_view(u"\u00E9t\u00E9"), -1);
    cells.LoadStoredText(1, 0, ansi, false, -1);
    cells.LoadStoredText(1, 1, wide, true, -1);
    EXPECT_EQ(cells.Find(1, 0)->Value().AnsiText(), "shared");
    EXPECT_EQ(cells.Find(1, 1)->Value().WideText(), u"\u00E9t\u00E9");
    cells.GetCell(1, 0).SetValue(TCellValue::Wide(u"own"));
    EXPECT_EQ(cells.Find(0, 0)->Value().AnsiText(), "shared");
    EXPECT_EQ(cells.Find(1, 0)->Value().WideText(), u"own");
}
