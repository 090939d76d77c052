// Worksheet files of BIFF versions 2, 3 and 4 (bare record streams, no compound document),
// Excel 4.0 workbooks, and FORMULA records of later versions stored under version 4's id.
#include <gtest/gtest.h>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/records/EarlyBiffRecords.h"

using namespace vorlix;
using test::BiffBuilder;
using test::Body;
using test::Bytes;

namespace {

constexpr std::uint16_t kWorksheet = 0x0010;
constexpr std::uint16_t kWorkbookGlobals = 0x0100;
constexpr std::uint16_t kEof = 0x000A;

// A BIFF2 cell: row, column and the three attribute bytes.
Body Cell2(std::uint16_t row, std::uint16_t col, std::uint8_t xf, std::uint8_t format = 0,
           std::uint8_t look = 0) {
    return std::move(Body().u16(row).u16(col).u8(xf).u8(format).u8(look));
}

// A cell of versions 3 and 4: row, column, XF index.
Body Cell3(std::uint16_t row, std::uint16_t col, std::uint16_t xf) {
    return std::move(Body().u16(row).u16(col).u16(xf));
}

Body Counted8(const std::string& text) {
    return std::move(Body().u8(static_cast<std::uint32_t>(text.size())).ascii(text));
}

// A cached text result: its STRING record follows.
Body TextResult() {
    return std::move(Body().u8(0).zeros(5).u16(0xFFFF));
}

struct Opened {
    std::unique_ptr<TXLSFile> file = std::make_unique<TXLSFile>();
    TWorkbook& Book() { return file->Workbook(); }
    TCellValue Value(int sheet, std::uint16_t row, std::uint16_t col) {
        const auto cell = Book().Sheets().Items(sheet).Cells().Find(row, col);
        return cell ? cell->Value() : TCellValue();
    }
    std::u16string FormatText(int sheet, std::uint16_t row, std::uint16_t col) {
        const auto cell = Book().Sheets().Items(sheet).Cells().Find(row, col);
        if (!cell) return u"<no cell>";
        return Book().FormatTable().Entry(cell->NumberFormat()).Text;
    }
};

// The stream written as a file of its own, as the old versions save it, and read.
Opened OpenBare(const Bytes& stream) {
    test::TempDir dir;
    test::WriteFile(dir / "old.xls", stream);
    Opened o;
    o.file->OpenFile(test::U16Path(dir / "old.xls"));
    return o;
}

}  // namespace

// Every BIFF2 cell record, with XFs named by the attribute bytes and, for XF 63, by the
// IXFE record before the cell; the DIMENSIONS record (id zero) does not end the records.
TEST(EarlyBiffTest, Biff2CellsFormatsAndFonts) {
    BiffBuilder b;
    b.Record(rec::kBof2, Body().u16(0x0002).u16(kWorksheet))
        .Record(0x0000, Body().u16(0).u16(9).u16(0).u16(4))  // DIMENSIONS
        .Record(rec::kFont2, Body().u16(200).u16(0x0001).bytes(Counted8("Helv")))
        .Record(rec::kFont2, Body().u16(240).u16(0x0002).bytes(Counted8("Courier")))
        .Record(rec::kFormat2, Counted8("General"))
        .Record(rec::kFormat2, Counted8("0.00"))
        .Record(rec::kFormat2, Counted8("d-mmm-yy"));
    // XFs 0..63: XF n has font n % 2 and format n % 3; XF 63 is only reached through IXFE.
    for (int n = 0; n < 70; ++n)
        b.Record(rec::kXf2, Body().u8(n % 2).u8(0).u8(n % 3).u8(0));
    b.Record(rec::kInteger2, Body(Cell2(0, 0, 1)).u16(65535))
        .Record(rec::kNumber2, Body(Cell2(0, 1, 2)).f64(36526))
        .Record(rec::kLabel2, Body(Cell2(0, 2, 0)).bytes(Counted8("old text")))
        .Record(rec::kBoolErr2, Body(Cell2(1, 0, 0)).u8(1).u8(0))
        .Record(rec::kBoolErr2, Body(Cell2(1, 1, 0)).u8(0x07).u8(1))
        .Record(rec::kIxfe2, Body().u16(68))
        .Record(rec::kNumber2, Body(Cell2(1, 2, 63)).f64(1.5))
        .Record(rec::kFormula2, Body(Cell2(2, 0, 1)).f64(42).u8(0).u8(3).u8(0x1E).u16(42))
        .Record(rec::kFormula2, Body(Cell2(2, 1, 0)).bytes(TextResult()).u8(0).u8(0))
        .Record(rec::kString2, Counted8("result"))
        .Record(kEof, {});
    Opened o = OpenBare(b.Build());
    TWorkbook& book = o.Book();
    EXPECT_EQ(book.Format, TFileFormat::Biff2);
    ASSERT_EQ(book.Sheets().Count(), 1);
    EXPECT_EQ(book.Sheets().Items(0).Name(), u"Sheet1");
    EXPECT_EQ(o.Value(0, 0, 0), TCellValue::Number(65535));
    EXPECT_EQ(o.FormatText(0, 0, 0), u"0.00");
    EXPECT_EQ(o.Value(0, 0, 1), TCellValue::DateTime(36526));  // 1 January 2000
    EXPECT_EQ(o.Value(0, 0, 2).AsWideText(), u"old text");
    EXPECT_EQ(o.Value(0, 1, 0), TCellValue::Boolean(true));
    EXPECT_EQ(o.Value(0, 1, 1), TCellValue::Error(0x07));
    EXPECT_EQ(o.FormatText(0, 1, 2), u"d-mmm-yy");  // XF 68 % 3 = 2
    EXPECT_EQ(o.Value(0, 2, 0), TCellValue::Number(42));
    EXPECT_EQ(o.Value(0, 2, 1).AsWideText(), u"result");
    const TVirtualFontTable& fonts = book.FontTable();
    ASSERT_EQ(fonts.Count(), 2);
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.RecordAt(1)), u"Courier");
    EXPECT_EQ(fonts.RecordAt(0).at(fontrec::kBold), 1);
    EXPECT_EQ(fonts.RecordAt(1).at(fontrec::kItalic), 1);
}

// Without XF records a BIFF2 cell's attributes are its format: the number format, font,
// alignment, thin borders and shading each cell names.
TEST(EarlyBiffTest, Biff2CellAttributesWithoutXfRecords) {
    BiffBuilder b;
    b.Record(rec::kBof2, Body().u16(0x0002).u16(kWorksheet))
        .Record(rec::kFormat2, Counted8("General"))
        .Record(rec::kFormat2, Counted8("yyyy-mm-dd"))
        .Record(rec::kNumber2, Body(Cell2(0, 0, 0, 1, 0x02 | 0x08)).f64(36526))
        .Record(rec::kNumber2, Body(Cell2(0, 1, 0, 0, 0x80)).f64(2))
        .Record(rec::kNumber2, Body(Cell2(0, 2, 0, 1, 0x02 | 0x08)).f64(1))
        .Record(kEof, {});
    Opened o = OpenBare(b.Build());
    EXPECT_EQ(o.Value(0, 0, 0), TCellValue::DateTime(36526));
    EXPECT_EQ(o.FormatText(0, 0, 0), u"yyyy-mm-dd");
    EXPECT_EQ(o.Value(0, 0, 1), TCellValue::Number(2));
    TCells& cells = o.Book().Sheets().Items(0).Cells();
    const TVirtualXFTable& xfs = o.Book().XFTable();
    const std::string& dated = xfs.RecordAt(cells.Find(0, 0)->XFIndex());
    EXPECT_EQ(dated.at(xfrec::kHAlign), 2);
    EXPECT_EQ(dated.at(xfrec::kBorderStyle), 1);  // left
    EXPECT_NE(xfs.RecordAt(cells.Find(0, 1)->XFIndex()).at(xfrec::kPattern), 0);
    // Cells of the same attributes share one XF.
    EXPECT_EQ(cells.Find(0, 2)->XFIndex(), cells.Find(0, 0)->XFIndex());
}

// BIFF3: 8-bit texts in the file's code page (here the Macintosh one), the version's
// FONT, FORMAT and XF layouts, NUMBER and RK of the later layout, a formula's boolean.
TEST(EarlyBiffTest, Biff3TextsInTheCodePageAndFormats) {
    BiffBuilder b;
    b.Record(rec::kBof3, Body().u16(0x0300).u16(kWorksheet).u16(0))
        .Record(rec::kCodePage2, Body().u16(32768))
        .Record(rec::kFont3, Body().u16(200).u16(0x0004).u16(10).bytes(Counted8("Geneva")))
        .Record(rec::kFormat2, Counted8("General"))
        .Record(rec::kFormat2, Counted8("0.0%"))
        // Font 0, format 1, locked, centred with wrap, a solid fill, a thin top border.
        .Record(rec::kXf3, Body()
                               .u8(0)
                               .u8(1)
                               .u8(0x01)
                               .u8(0)
                               .u16(0x0002 | 0x0008)
                               .u16(1 | (10 << 6))
                               .u32(1 | (8 << 3)))
        .Record(rec::kLabel3, Body(Cell3(0, 0, 0)).u16(4).ascii("Caf\x8E"))
        .Record(rec::kNumber, Body(Cell3(1, 0, 0)).f64(0.25))
        .Record(rec::kRk, Body(Cell3(2, 0, 0)).u32((7 << 2) | 2))
        .Record(rec::kFormula3,
                Body(Cell3(3, 0, 0)).u8(1).u8(0).u8(1).zeros(3).u16(0xFFFF).u16(0).u16(0))
        .Record(kEof, {});
    Opened o = OpenBare(b.Build());
    EXPECT_EQ(o.Book().Format, TFileFormat::Biff3);
    EXPECT_EQ(o.Value(0, 0, 0).AsWideText(), u"Caf\u00E9");
    EXPECT_EQ(o.Value(0, 1, 0), TCellValue::Number(0.25));
    EXPECT_EQ(o.FormatText(0, 1, 0), u"0.0%");
    EXPECT_EQ(o.Value(0, 2, 0), TCellValue::Number(7));
    EXPECT_EQ(o.Value(0, 3, 0), TCellValue::Boolean(true));
    const std::string& xf = o.Book().XFTable().RecordAt(0);
    EXPECT_EQ(xf.at(xfrec::kHAlign), 2);
    EXPECT_EQ(xf.at(xfrec::kWrap), 1);
    EXPECT_EQ(xf.at(xfrec::kPattern), 1);
    EXPECT_EQ(xf.at(xfrec::kBorderStyle + 2), 1);  // top
    EXPECT_EQ(o.Book().FontTable().RecordAt(0).at(fontrec::kUnderline), 1);
}

// BIFF4: FORMAT with its two leading bytes, XF of version 4 (vertical alignment), the
// FORMULA of id 0x0406 and a text result in a STRING of 16-bit count.
TEST(EarlyBiffTest, Biff4WorksheetFile) {
    BiffBuilder b;
    b.Record(rec::kBof4, Body().u16(0x0400).u16(kWorksheet).u16(0))
        .Record(rec::kFormat4, Body().u16(0).bytes(Counted8("General")))
        .Record(rec::kFormat4, Body().u16(0).bytes(Counted8("h:mm")))
        .Record(rec::kXf4, Body().u8(0).u8(0).u16(0x0001).u8(0x20).u8(0).u16(0).u32(0))
        .Record(rec::kXf4, Body().u8(0).u8(1).u16(0x0001).u8(0).u8(0).u16(0).u32(0))
        .Record(rec::kNumber, Body(Cell3(0, 0, 1)).f64(0.5))
        .Record(rec::kFormula4, Body(Cell3(0, 1, 0)).f64(3).u16(0).u16(0))
        .Record(rec::kFormula4, Body(Cell3(0, 2, 0)).bytes(TextResult()).u16(0).u16(0))
        .Record(rec::kString3, Body().u16(2).ascii("ok"))
        .Record(kEof, {});
    Opened o = OpenBare(b.Build());
    EXPECT_EQ(o.Book().Format, TFileFormat::Biff4);
    EXPECT_EQ(o.Value(0, 0, 0), TCellValue::TimeOfDay(0.5));
    EXPECT_EQ(o.Value(0, 0, 1), TCellValue::Number(3));
    EXPECT_EQ(o.Value(0, 0, 2).AsWideText(), u"ok");
    EXPECT_EQ(o.Book().XFTable().RecordAt(0).at(xfrec::kVAlign), 2);
}

// An Excel 4.0 workbook: globals naming the sheets, then a substream per sheet.
TEST(EarlyBiffTest, Biff4WorkbookSheets) {
    BiffBuilder b;
    b.Record(rec::kBof4, Body().u16(0x0400).u16(kWorkbookGlobals).u16(0))
        .Record(rec::kBundleSheet4, Body().u32(0).u16(0).bytes(Counted8("First")))
        .Record(rec::kBundleSheet4, Body().u32(0).u16(1).bytes(Counted8("Second")))
        .Record(kEof, {});
    for (int sheet = 0; sheet < 2; ++sheet) {
        b.Record(rec::kBof4, Body().u16(0x0400).u16(kWorksheet).u16(0))
            .Record(rec::kNumber, Body(Cell3(0, 0, 0)).f64(sheet + 1))
            .Record(kEof, {});
    }
    Opened o = OpenBare(b.Build());
    TWorkbook& book = o.Book();
    EXPECT_EQ(book.Format, TFileFormat::Biff4W);
    ASSERT_EQ(book.Sheets().Count(), 2);
    EXPECT_EQ(book.Sheets().Items(0).Name(), u"First");
    EXPECT_EQ(book.Sheets().Items(1).Name(), u"Second");
    EXPECT_FALSE(book.Sheets().Items(1).Visible);
    EXPECT_EQ(o.Value(0, 0, 0), TCellValue::Number(1));
    EXPECT_EQ(o.Value(1, 0, 0), TCellValue::Number(2));
}

// Some writers store the FORMULA records of a BIFF8 workbook under version 4's id: they
// are formulas all the same.
TEST(EarlyBiffTest, Biff8FormulaUnderTheOlderId) {
    const Bytes formula = Body().u16(0).u16(0).u16(0).f64(7).u16(0).u32(0).u16(3).bytes(
        Body().u8(0x1E).u16(7));  // the integer 7
    TXLSFile file;
    test::OpenWorkbook(file, test::WorkbookStream({{"Data", {{rec::kFormula4, formula}}}}));
    const auto cell = file.Workbook().Sheets().Items(0).Cells().Find(0, 0);
    ASSERT_TRUE(cell.has_value());
    EXPECT_EQ(cell->Value(), TCellValue::Number(7));
    EXPECT_EQ(cell->Formula(), "7");
    EXPECT_EQ(file.Workbook().Format, TFileFormat::Biff8);
}
