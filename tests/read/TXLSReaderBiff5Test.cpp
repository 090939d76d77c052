// Excel 5.0 and 95 workbooks (BIFF5/7) read from whole files: 8-bit texts in the
// workbook's code page, the older layouts of the globals and cell records, formulas with
// the older token layouts, and the stream names under which workbooks of either version
// are found.
#include <gtest/gtest.h>

#include <bit>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TCells.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/records/Biff5Records.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// Record ids, written out here so that a wrong id in the reader's table shows.
constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kCodePage = 0x0042;
constexpr std::uint16_t kFont = 0x0031;
constexpr std::uint16_t kFormat = 0x041E;
constexpr std::uint16_t kXf = 0x00E0;
constexpr std::uint16_t kBoundSheet = 0x0085;
constexpr std::uint16_t kExternSheet = 0x0017;
constexpr std::uint16_t kName = 0x0018;
constexpr std::uint16_t kLabel = 0x0204;
constexpr std::uint16_t kRString = 0x00D6;
constexpr std::uint16_t kNumber = 0x0203;
constexpr std::uint16_t kRk = 0x027E;
constexpr std::uint16_t kMulRk = 0x00BD;
constexpr std::uint16_t kBoolErr = 0x0205;
constexpr std::uint16_t kFormula = 0x0006;
constexpr std::uint16_t kString = 0x0207;
constexpr std::uint16_t kShrFmla = 0x04BC;
constexpr std::uint16_t kHeader = 0x0014;

// A FORMULA's cached result that says a STRING record follows.
const double kTextResult = std::bit_cast<double>(0xFFFF000000000000ull);

Bytes Bof5(std::uint16_t type) {
    return Body().u16(0x0500).u16(type).u16(0x0DBB).u16(0x07CC);
}

// A text with an 8-bit count, its bytes as given (in the workbook's code page).
Body& Short8(Body& b, const std::string& bytes) {
    return b.u8(static_cast<std::uint32_t>(bytes.size())).ascii(bytes);
}

Bytes Xf5(std::uint16_t font, std::uint16_t format) {
    return Body().u16(font).u16(format).u16(0x0001).u8(0x20).u8(0).u32(0).u32(0);
}

// The globals of a BIFF5 workbook: the code page (none when 0), a font, XF 0 (General)
// and XF 1 (built-in date format 14), the sheets, then `extra`.
RecordList Globals5(std::uint16_t codePage, const std::vector<std::string>& sheets,
                    const RecordList& extra = {}) {
    RecordList r;
    if (codePage != 0) r.push_back({kCodePage, Body().u16(codePage)});
    Body font;
    font.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0);
    r.push_back({kFont, Short8(font, "Arial")});
    r.push_back({kXf, Xf5(0, 0)});
    r.push_back({kXf, Xf5(0, 14)});
    for (const std::string& name : sheets) {
        Body b;
        b.u32(0).u16(0);
        r.push_back({kBoundSheet, Short8(b, name)});
    }
    r.insert(r.end(), extra.begin(), extra.end());
    return r;
}

Bytes Stream5(const RecordList& globals, const std::vector<RecordList>& sheets) {
    BiffBuilder b;
    b.Record(kBof, Bof5(kGlobalsSubstream));
    for (const auto& [id, body] : globals)
        b.Record(id, body);
    b.Record(kEof, {});
    for (const RecordList& sheet : sheets) {
        b.Record(kBof, Bof5(kWorksheetSubstream));
        for (const auto& [id, body] : sheet)
            b.Record(id, body);
        b.Record(kEof, {});
    }
    return b.Build();
}

void Open(TXLSFile& file, const std::vector<Entry>& entries) {
    TempDir dir;
    WriteCompound(dir / "book.xls", entries);
    ExpectBodiesReadWhole(file);
    file.OpenFile(U16Path(dir / "book.xls"), u"");
    file.SetOnRecord(nullptr);
}

Bytes Label5(std::uint16_t row, std::uint16_t col, const std::string& bytes) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(0)
        .u16(static_cast<std::uint32_t>(bytes.size()))
        .ascii(bytes);
}

Bytes Formula5(std::uint16_t row, std::uint16_t col, const Bytes& tokens, double result,
               std::uint16_t options = 0) {
    return Body()
        .u16(row)
        .u16(col)
        .u16(0)
        .f64(result)
        .u16(options)
        .u32(0)
        .u16(static_cast<std::uint32_t>(tokens.size()))
        .bytes(tokens);
}

// A 3-D reference to the cell (row, col) of the sheets `first` to `last` through the
// EXTERNSHEET index `externSheet` (negative: the workbook itself), with row field flags.
Bytes Ref3d5(std::int16_t externSheet, std::uint16_t first, std::uint16_t last,
             std::uint16_t rowField, std::uint8_t col) {
    return Body()
        .u8(0x3A)
        .u16(static_cast<std::uint16_t>(externSheet))
        .zeros(8)
        .u16(first)
        .u16(last)
        .u16(rowField)
        .u8(col);
}

std::u16string TextAt(const TXLSFile& file, int sheet, std::uint16_t row, std::uint8_t col) {
    const auto cell = file.Workbook().Sheets().Items(sheet).Cells().Find(row, col);
    return cell ? cell->Value().AsWideText() : u"<no cell>";
}

std::string FormulaAt(const TXLSFile& file, int sheet, std::uint16_t row, std::uint8_t col) {
    const auto cell = file.Workbook().Sheets().Items(sheet).Cells().Find(row, col);
    return cell ? cell->Formula() : "<no cell>";
}

}  // namespace

TEST(TXLSReaderBiff5Test, ReadsCellsTextsAndFormulasOfTheOlderLayouts) {
    const std::string sheetName = "\xCB\xE8\xF1\xF2\x31";  // "Лист1" in code page 1251
    Body name;
    name.u16(0).u8(0).u8(5).u16(21).u16(0).u16(0).u8(0).u8(0).u8(0).u8(0).ascii("Total");
    name.bytes(Body()
                   .u8(0x3B)
                   .u16(0xFFFF)  // the workbook itself
                   .zeros(8)
                   .u16(1)
                   .u16(1)  // sheet Data
                   .u16(0)
                   .u16(1)
                   .u8(0)
                   .u8(1));  // $A$1:$B$2
    Body externSheet;
    externSheet.u8(5).u8(0x03).ascii("Data");
    const RecordList globals =
        Globals5(1251, {sheetName, "Data"}, {{kExternSheet, externSheet}, {kName, name}});

    Body rstring;
    rstring.u16(2).u16(0).u16(0).u16(4).ascii("Rich").u8(1).u8(0).u8(0);  // one run
    Body header;
    const RecordList sheet = {
        {kLabel, Label5(0, 0, "\xCF\xF0\xE8\xE2\xE5\xF2")},  // "Привет"
        {kNumber, Body().u16(0).u16(1).u16(1).f64(61)},      // a date
        {kRk, Body().u16(0).u16(2).u16(0).u32(0x3FF00000)},  // 1.0
        {kMulRk, Body().u16(1).u16(0).u16(0).u32(0x00000006).u16(0).u32(0x0000000A).u16(1)},
        {kBoolErr, Body().u16(1).u16(2).u16(0).u8(1).u8(0)},
        {kRString, rstring},
        // 'Data'!$A$1+1 through the workbook's own sheets.
        {kFormula,
         Formula5(3, 0, Body().bytes(Ref3d5(-1, 1, 1, 0, 0)).u8(0x1E).u16(1).u8(0x03), 43)},
        // The text constant "абв", with its text result.
        {kFormula, Formula5(3, 1, Body().u8(0x17).u8(3).ascii("\xE0\xE1\xE2"), kTextResult)},
        {kString, Body().u16(3).ascii("\xE0\xE1\xE2")},
        // SUM(Total): a name of the 14-byte layout.
        {kFormula, Formula5(3, 2, Body().u8(0x23).u16(1).zeros(12).u8(0x22).u8(1).u16(4), 3)},
        // B3+SUM($A$1:$B$2): a relative reference and an absolute area.
        {kFormula, Formula5(3, 3,
                            Body()
                                .u8(0x24)
                                .u16(0xC002)
                                .u8(1)
                                .u8(0x25)
                                .u16(0)
                                .u16(1)
                                .u8(0)
                                .u8(1)
                                .u8(0x22)
                                .u8(1)
                                .u16(4)
                                .u8(0x03),
                            5)},
        // An external name is not translated: the cached result stays, without formula.
        {kFormula, Formula5(3, 4, Body().u8(0x39).u16(1).zeros(22), 7)},
        // Data!A1 through the EXTERNSHEET record that names the sheet.
        {kFormula, Formula5(3, 5, Ref3d5(1, 0, 0, 0xC000, 0), 42)},
        // A shared formula over A5:A6: the cell above, a 14-bit offset of -1.
        {kFormula, Formula5(4, 0, Body().u8(0x01).u16(4).u16(0), 1, 0x0008)},
        {kShrFmla, Body().u16(4).u16(5).u8(0).u8(0).u8(0).u8(2).u16(4).u8(0x2C).u16(0xFFFF).u8(0)},
        {kFormula, Formula5(5, 0, Body().u8(0x01).u16(4).u16(0), 1, 0x0008)},
        {kHeader, Short8(header, "&C\xC7\xE0\xE3\xEE\xEB\xEE\xE2\xEE\xEA")},  // "Заголовок"
    };
    const RecordList data = {{kNumber, Body().u16(0).u16(0).u16(0).f64(42)}};

    TXLSFile file;
    Open(file, {{"Book", Stream5(globals, {sheet, data})}});
    TWorkbook& book = file.Workbook();
    EXPECT_EQ(book.Format, TFileFormat::Biff5);
    ASSERT_EQ(book.Sheets().Count(), 2);
    EXPECT_EQ(book.Sheets().Items(0).Name(), u"Лист1");

    EXPECT_EQ(TextAt(file, 0, 0, 0), u"Привет");
    const TCells& cells = book.Sheets().Items(0).Cells();
    EXPECT_EQ(cells.Find(0, 1)->Value().Kind(), vkDate);
    EXPECT_EQ(cells.Find(0, 2)->Value().AsDouble(), 1.0);
    EXPECT_EQ(cells.Find(1, 0)->Value().AsDouble(), 1.0);
    EXPECT_EQ(cells.Find(1, 1)->Value().AsDouble(), 2.0);
    EXPECT_TRUE(cells.Find(1, 2)->Value().AsBoolean());
    EXPECT_EQ(TextAt(file, 0, 2, 0), u"Rich");

    EXPECT_EQ(FormulaAt(file, 0, 3, 0), "'Data'!$A$1+1");
    EXPECT_EQ(cells.Find(3, 0)->Value().AsDouble(), 43.0);
    EXPECT_EQ(FormulaAt(file, 0, 3, 1), "\"абв\"");
    EXPECT_EQ(TextAt(file, 0, 3, 1), u"абв");
    EXPECT_EQ(FormulaAt(file, 0, 3, 2), "SUM(Total)");
    EXPECT_EQ(FormulaAt(file, 0, 3, 3), "B3+SUM($A$1:$B$2)");
    EXPECT_EQ(FormulaAt(file, 0, 3, 4), "");
    EXPECT_EQ(cells.Find(3, 4)->Value().AsDouble(), 7.0);
    EXPECT_EQ(FormulaAt(file, 0, 3, 5), "'Data'!A1");
    EXPECT_EQ(FormulaAt(file, 0, 4, 0), "A4");
    EXPECT_EQ(FormulaAt(file, 0, 5, 0), "A5");
    EXPECT_EQ(book.Sheets().Items(0).PageSetup().HeaderCenter, u"Заголовок");
}

// The code page of a workbook's 8-bit texts, as its CODEPAGE record gives it: none is
// Windows Latin 1, and the numbers some writers use for Mac Roman, Windows Latin 1 and
// UTF-16 mean what those writers meant.
TEST(TXLSReaderBiff5Test, EightBitTextsReadInTheWorkbooksCodePage) {
    struct Case {
        std::uint16_t codePage;
        char byte;
        char16_t expected;
    };
    const Case cases[] = {
        {0, '\x80', u'€'},     {1252, '\x80', u'€'},  {21010, '\x80', u'€'},
        {32769, '\x80', u'€'}, {10000, '\x8E', u'é'}, {32768, '\x8E', u'é'},
        {10029, '\x84', u'Ą'}, {1257, '\xC0', u'Ą'},  {1251, '\xCB', u'Л'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        TXLSFile file;
        const std::string text = std::string("x") + c.byte;
        Open(file,
             {{"Book", Stream5(Globals5(c.codePage, {text}), {{{kLabel, Label5(0, 0, text)}}})}});
        const std::u16string expected = {u'x', c.expected};
        EXPECT_EQ(file.Workbook().Sheets().Items(0).Name(), expected);
        EXPECT_EQ(TextAt(file, 0, 0, 0), expected);
    }
}

// The version comes from the BOF record, not from the stream's name; "Workbook" wins over
// "Book" in a document holding both.
TEST(TXLSReaderBiff5Test, StreamNamesAndVersions) {
    TempDir dir;
    const Bytes biff8 = WorkbookStream({{"Eight", {{rec::kNumber, NumberBody(0, 0, 0, 8)}}}});
    const Bytes biff5 =
        Stream5(Globals5(0, {"Five"}), {{{kNumber, Body().u16(0).u16(0).u16(0).f64(5)}}});
    const struct {
        std::vector<Entry> entries;
        std::u16string sheet;
        TFileFormat format;
        std::uint8_t version;
    } cases[] = {
        {{{"BOOK", biff8}}, u"Eight", TFileFormat::Biff8, 8},
        {{{"WorkBook", biff8}}, u"Eight", TFileFormat::Biff8, 8},
        {{{"book", biff5}}, u"Five", TFileFormat::Biff5, 5},
        {{{"Book", biff5}, {"Workbook", biff8}}, u"Eight", TFileFormat::Biff8, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entries.front().path);
        WriteCompound(dir / "book.xls", c.entries);
        EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "book.xls")), c.version);
        TXLSDocument document(U16Path(dir / "book.xls"));
        EXPECT_EQ(document.Version(), c.version);
        TXLSFile file;
        file.OpenFile(U16Path(dir / "book.xls"), u"");
        EXPECT_EQ(file.Workbook().Format, c.format);
        EXPECT_EQ(file.Workbook().Sheets().Items(0).Name(), c.sheet);
    }
}

// The XF layout of BIFF5 in BIFF8's terms: orientation as rotation, the borders and the
// fill from their packed fields.
TEST(TXLSReaderBiff5Test, CellFormatsOfTheOlderLayout) {
    const Bytes body = Body()
                           .u16(5)                               // font
                           .u16(164)                             // format
                           .u16(0x0005)                          // locked, a style XF
                           .u8(0x2B)                             // right aligned, wrapped, bottom
                           .u8(0x02)                             // turned to read upwards
                           .u32(0x01410000u | 0x0A | 0x09 << 7)  // fill, bottom border
                           .u32(0x1 | 0x2 << 3 | 0x3 << 6 | 0x0C << 9 | 0x0D << 16 | 0x0E << 23);
    platform::TByteCursor in(body.data(), body.size());
    const records::TXfRecord xf = records::DecodeXf5(in);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(xf.Font, 5);
    EXPECT_EQ(xf.Format, 164);
    EXPECT_TRUE(xf.Locked);
    EXPECT_TRUE(xf.StyleXF);
    EXPECT_EQ(xf.HAlign, 3);
    EXPECT_TRUE(xf.Wrap);
    EXPECT_EQ(xf.VAlign, 2);
    EXPECT_EQ(xf.Rotation, 90);
    EXPECT_EQ(xf.Pattern, 1);
    EXPECT_EQ(xf.PatternForeground, 0x0A);
    EXPECT_EQ(xf.PatternBackground, 0x09);
    // Left, right, top, bottom.
    EXPECT_EQ(xf.BorderStyles, (std::array<std::uint8_t, 4>{2, 3, 1, 5}));
    EXPECT_EQ(xf.BorderColors, (std::array<std::uint8_t, 4>{0x0D, 0x0E, 0x0C, 0x00}));
}

// Some writers put empty records of id 0 between the records of a sheet: the records after
// them are read. After the last EOF, zero bytes are the padding that ends the stream.
TEST(TXLSReaderBiff5Test, RecordsOfIdZeroInsideASubstreamArePassedOver) {
    BiffBuilder b;
    AppendGlobals(b, {"Sheet1"});
    b.Record(rec::kBof, BofBody(kWorksheetSubstream))
        .Record(rec::kNumber, NumberBody(0, 0, 0, 1))
        .Raw(Bytes(8, 0))
        .Record(rec::kNumber, NumberBody(1, 0, 0, 2))
        .Record(rec::kEof, {})
        .Raw(Bytes(4, 0))
        .Record(rec::kBof, BofBody(kWorksheetSubstream))  // no sheet of its own
        .Record(rec::kNumber, NumberBody(0, 0, 0, 3));
    TXLSFile file;
    OpenWorkbook(file, b.Build());
    const TCells& cells = file.Workbook().Sheets().Items(0).Cells();
    EXPECT_EQ(cells.Count(), 2);
    EXPECT_EQ(cells.Find(1, 0)->Value().AsDouble(), 2.0);
}
