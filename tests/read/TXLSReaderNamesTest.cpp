// Defined names applied to the sheets at the end of a read: named ranges and print
// titles, from NAME records as real writers store them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TCells.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

constexpr std::uint16_t kOrdinary = 0x0000;
constexpr std::uint16_t kHidden = 0x0001;
constexpr std::uint16_t kFunction = 0x0002;
constexpr std::uint16_t kBuiltIn = 0x0020;
const std::string kPrintTitles = "\x07";

constexpr std::uint16_t kLastRow = 0xFFFF;
constexpr std::uint16_t kLastCol = 0xFF;

// Sheets "One" and "Two", each holding a number in A1; EXTERNSHEET entry 0 is sheet
// One, entry 1 sheet Two; then the NAME records.
void ReadNames(TXLSFile& file, const std::vector<Bytes>& names) {
    RecordList globals = {{rec::kSupBook, SelfSupbookBody(2)},
                          {rec::kExternSheet, ExternSheetBody({{0, 0, 0}, {0, 1, 1}})}};
    for (const Bytes& name : names)
        globals.push_back({rec::kLbl, name});
    const RecordList cell = {{rec::kNumber, NumberBody(0, 0, 0, 1)}};
    OpenWorkbook(file, WorkbookStream({{"One", cell}, {"Two", cell}}, globals));
}

TSheet& SheetOf(const TXLSFile& file, int index) {
    return file.Workbook().Sheets().Items(index);
}

// A definition of several areas as Excel stores it: behind a memory-function prefix,
// joined by union tokens.
Bytes Union(const std::vector<Bytes>& areas) {
    Body tokens;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        tokens.bytes(areas[i]);
        if (i > 0) tokens.u8(0x10);  // union
    }
    return Body()
        .u8(0x29)                                        // memory function
        .u16(static_cast<std::uint32_t>(tokens.size()))  // its size
        .bytes(tokens);
}

}  // namespace

TEST(TXLSReaderNamesTest, NameWithASpaceIsSkippedAndTheReadGoesOn) {
    // Some writers store names with spaces, which a range cannot carry.
    TXLSFile file;
    ReadNames(file,
              {NameBody(kOrdinary, "Before", Area3d(1, 0, 1, 0, 1)),
               NameBody(kOrdinary, "Excel_BuiltIn__FilterDatabase_1 1", Area3d(1, 0, 9, 0, 2)),
               NameBody(kOrdinary, "After", Area3d(1, 2, 3, 4, 5))});
    const TRanges& ranges = SheetOf(file, 1).Ranges();
    ASSERT_EQ(ranges.Count(), 2);
    EXPECT_EQ(ranges.Items(0).Name(), u"Before");
    EXPECT_EQ(ranges.Items(1).Name(), u"After");
    ASSERT_EQ(ranges.Items(1).RectCount(), 1);
    EXPECT_EQ(ranges.Items(1).GetRect(0), (TRangeRect{2, 3, 4, 5, 0}));
    EXPECT_EQ(SheetOf(file, 1).Cells().Count(), 1);
}

TEST(TXLSReaderNamesTest, NamesWithoutTextMakeNoRange) {
    // Hidden, function and macro names are kept without text or areas, and so is a
    // built-in name of no known code.
    TXLSFile file;
    ReadNames(file, {NameBody(kHidden, "Hidden", Area3d(0, 0, 9, 0, 2)),
                     NameBody(kFunction, "Macro1", Area3d(1, 0, 0, 0, 0)),
                     NameBody(kBuiltIn | kHidden, "\x0D", Area3d(1, 0, 9, 0, 2)),
                     NameBody(kBuiltIn, "\x1F", Area3d(0, 4, 4, 4, 4)),
                     NameBody(kOrdinary, "Total", Area3d(0, 0, 1, 0, 1))});
    const TRanges& ranges = SheetOf(file, 0).Ranges();
    ASSERT_EQ(ranges.Count(), 1);
    EXPECT_EQ(ranges.Items(0).Name(), u"Total");
    EXPECT_EQ(SheetOf(file, 1).Ranges().Count(), 0);
}

TEST(TXLSReaderNamesTest, PrintTitlesAreToldApartByTheirShape) {
    const Bytes rows = Area3d(1, 0, 1, 0, kLastCol);          // rows 1-2
    const Bytes columns = Area3d(1, 0, kLastRow, 2, 3);       // columns C-D
    const Bytes cells = Area3d(1, 4, 5, 6, 7);                // neither shape
    const Bytes sheet = Area3d(1, 0, kLastRow, 0, kLastCol);  // both shapes
    struct Case {
        const char* what;
        Bytes definition;
        int firstRow, lastRow, firstCol, lastCol;
    };
    const std::vector<Case> cases = {
        {"columns first, as Excel stores them", Union({columns, rows}), 0, 1, 2, 3},
        {"rows only", rows, 0, 1, -1, -1},
        {"columns only", columns, -1, -1, 2, 3},
        {"two areas of neither shape, by position", Union({cells, Area3d(1, 8, 9, 1, 2)}), 4, 5, 1,
         2},
        {"the whole sheet counts as neither", Union({columns, sheet}), -1, -1, 2, 3},
        {"a shaped area wins over one by position", Union({cells, rows}), 0, 1, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TXLSFile file;
        ReadNames(file, {NameBody(kBuiltIn, kPrintTitles, c.definition)});
        const TPageSetup& setup = SheetOf(file, 1).PageSetup();
        EXPECT_EQ(setup.TitleFirstRow, c.firstRow);
        EXPECT_EQ(setup.TitleLastRow, c.lastRow);
        EXPECT_EQ(setup.TitleFirstCol, c.firstCol);
        EXPECT_EQ(setup.TitleLastCol, c.lastCol);
        EXPECT_EQ(SheetOf(file, 0).PageSetup().TitleFirstRow, -1);
    }
}
