#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "platform/CodePage.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCells.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

// The code and message of the EXLSError an action raises; code -1 when it raises none.
struct Raised {
    int code = -1;
    std::string message;
};
Raised XlsErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EXLSError& e) {
        return {e.ErrorCode(), e.what()};
    }
    return {};
}

void AddCell(TSheet& sheet, std::uint32_t row, std::uint32_t col) {
    sheet.Cells().GetCell(row, col).SetValue(TCellValue::Number(1));
}

// A FILEPASS body of the RC4 layout with the given type fields and zero key fields.
Bytes FilePassBody(std::uint16_t type, std::uint16_t minor) {
    return Body()
        .u16(type)   // encryption type
        .u16(1)      // major version
        .u16(minor)  // minor version
        .zeros(48);  // salt, encrypted verifier, encrypted verifier hash
}

BiffBuilder GlobalsBof() {
    BiffBuilder b;
    b.Record(0x0809, BofBody(kGlobalsSubstream));
    return b;
}

// A workbook with one sheet holding one number; `b` holds the first records of the
// globals, BOF included.
Bytes OneSheetWorkbook(BiffBuilder b = GlobalsBof()) {
    b.Record(0x0085, BoundSheetBody("Data")).Record(0x000A, {});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(0, 0, 0, 42)}});
    return b.Build();
}

}  // namespace

// The file object and the workbook.

TEST(TXLSFileTest, FreshFileHoldsOneDefaultSheet) {
    TXLSFile file;
    EXPECT_FALSE(file.Loaded());
    TWorkbook& book = file.Workbook();
    ASSERT_EQ(book.Sheets().Count(), 1);
    TSheet& sheet = book.Sheets().Items(0);
    EXPECT_EQ(sheet.Name(), u"Sheet1");
    EXPECT_EQ(sheet.Index(), 0);
    EXPECT_EQ(&sheet.Workbook(), &book);
    EXPECT_EQ(&sheet.Context(), &book.FormatContext());
    EXPECT_EQ(sheet.Cells().Count(), 0);
    EXPECT_EQ(sheet.PasswordHash, 0);
    EXPECT_EQ(sheet.ProtectionOptions, 0x4400);
    EXPECT_TRUE(sheet.Visible);
    EXPECT_TRUE(sheet.ShowGridLines);
    EXPECT_FALSE(sheet.RightToLeft);
    EXPECT_TRUE(sheet.ShowHeaders);
    EXPECT_TRUE(sheet.ShowZeros);
    EXPECT_EQ(sheet.SplitRows, 0);
    EXPECT_EQ(sheet.SplitColumns, 0);
    EXPECT_EQ(sheet.Zoom, 100);
    EXPECT_FALSE(sheet.PageBreakPreview);

    EXPECT_EQ(book.PasswordHash, 0);
    EXPECT_EQ(book.LoadState(), lsBuilt);
    EXPECT_EQ(book.DateMode, 1900);
    EXPECT_EQ(book.FormatContext().FontTable, &book.FontTable());
    EXPECT_EQ(book.FormatContext().XFTable, &book.XFTable());
    EXPECT_EQ(book.FormatContext().FormatTable, &book.FormatTable());

    const TReadOptions& options = file.ReadOptions();
    EXPECT_TRUE(options.ReadBlankCells);
    EXPECT_TRUE(options.ReadRowInfo);
    EXPECT_TRUE(options.ReadColumnInfo);
    EXPECT_TRUE(options.ReadFormulas);
    EXPECT_FALSE(options.StrictFormulas);
    EXPECT_TRUE(options.ReadDrawings);
    EXPECT_FALSE(file.OnProgress());
}

TEST(TXLSFileTest, CodePageAndListSeparatorArePublishedProcessWide) {
    TXLSFile file;
    EXPECT_EQ(file.CodePage(), platform::SystemCodePage());
    EXPECT_EQ(platform::LibraryCodePage(), platform::SystemCodePage());
    EXPECT_EQ(FormulaListSeparator(), file.ListSeparator());

    file.SetCodePage(1252);
    file.SetListSeparator(u';');
    EXPECT_EQ(platform::LibraryCodePage(), 1252u);
    EXPECT_EQ(FormulaListSeparator(), u';');

    // The last file created decides again.
    TXLSFile other;
    EXPECT_EQ(platform::LibraryCodePage(), platform::SystemCodePage());
    EXPECT_EQ(FormulaListSeparator(), other.ListSeparator());
}

TEST(TXLSFileTest, OpenFileReplacesTheSheetsAndClearEmptiesThem) {
    TXLSFile file;
    OpenWorkbook(file, OneSheetWorkbook());
    EXPECT_TRUE(file.Loaded());
    ASSERT_EQ(file.Workbook().Sheets().Count(), 1);
    EXPECT_EQ(file.Workbook().Sheets().Items(0).Name(), u"Data");
    EXPECT_EQ(file.Workbook().Sheets().Items(0).Cells().Count(), 1);
    EXPECT_EQ(file.Workbook().LoadState(), lsRead);

    file.Clear();
    EXPECT_FALSE(file.Loaded());
    EXPECT_EQ(file.Workbook().Sheets().Count(), 0);
}

TEST(TXLSFileTest, FailedOpenLeavesLoadedFalse) {
    TXLSFile file;
    OpenWorkbook(file, OneSheetWorkbook());
    ASSERT_TRUE(file.Loaded());
    TempDir dir;
    EXPECT_THROW(file.OpenFile(U16Path(dir / "missing.xls")), ECFileError);
    EXPECT_FALSE(file.Loaded());
}

TEST(TWorkbookTest, ConstructionNamesTheSheetsAndClearDropsThem) {
    TWorkbook book(3);
    ASSERT_EQ(book.Sheets().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(book.Sheets().Items(i).Name(), u"Sheet" + std::u16string(1, u'1' + i));
        EXPECT_EQ(book.Sheets().Items(i).Index(), i);
    }
    EXPECT_EQ(TWorkbook(0).Sheets().Count(), 0);

    book.SetLoadState(lsReading);
    book.PasswordHash = 0x1234;
    book.DateMode = 1904;
    book.FormatTable().SetFormat(u"0.000", 164);
    book.Clear();
    EXPECT_EQ(book.Sheets().Count(), 0);
    EXPECT_EQ(book.PasswordHash, 0);
    EXPECT_EQ(book.DateMode, 1900);
    EXPECT_EQ(book.LoadState(), lsReading);  // kept
    EXPECT_EQ(book.FormatTable().FindFormat(164), -1);
    EXPECT_EQ(book.FormatContext().FontTable, &book.FontTable());
    EXPECT_EQ(book.FormatContext().XFTable, &book.XFTable());
    EXPECT_EQ(book.FormatContext().FormatTable, &book.FormatTable());
    // Sheets added after Clear use the new tables.
    book.Sheets().Add(u"New");
    EXPECT_EQ(&book.Sheets().Items(0).Context(), &book.FormatContext());
}

// The sheet list.

TEST(TSheetsTest, ItemsOutsideTheListRaiseARangeError) {
    TWorkbook book(2);
    for (long long index : {-1LL, 2LL, 1000LL}) {
        try {
            book.Sheets().Items(index);
            ADD_FAILURE() << "no error for " << index;
        } catch (const EXLSError&) {
            ADD_FAILURE() << "EXLSError for " << index;
        } catch (const ERangeError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "List index (" + std::to_string(index) + ") out of bounds !");
        }
    }
    EXPECT_EQ(book.Sheets().Items(1).Name(), u"Sheet2");
}

TEST(TSheetsTest, AddAppendsAndFindMatchesExactly) {
    TWorkbook book(0);
    EXPECT_EQ(book.Sheets().Add(u"Alpha"), 0);
    EXPECT_EQ(book.Sheets().Add(u"alpha"), 1);  // letter case makes another name
    EXPECT_EQ(book.Sheets().Add(u"Bl\u00E4tter"), 2);
    EXPECT_EQ(book.Sheets().Items(2).Index(), 2);
    EXPECT_EQ(book.Sheets().Find(u"alpha"), &book.Sheets().Items(1));
    EXPECT_EQ(book.Sheets().Find(u"Bl\u00E4tter"), &book.Sheets().Items(2));
    EXPECT_EQ(book.Sheets().Find(u"ALPHA"), nullptr);
    EXPECT_EQ(book.Sheets().Find(u"Alpha "), nullptr);
    EXPECT_EQ(book.Sheets().Find(u""), nullptr);
}

TEST(TSheetsTest, ValidateNameChecksLengthBlanksAndDuplicates) {
    TWorkbook book(1);
    const TSheets& sheets = book.Sheets();
    EXPECT_EQ(sheets.ValidateName(u""), 7);
    EXPECT_EQ(sheets.ValidateName(std::u16string(256, u'x')), 7);
    EXPECT_EQ(sheets.ValidateName(std::u16string(255, u'x')), 0);
    // Lengths count characters, not the bytes of their 8-bit form.
    EXPECT_EQ(sheets.ValidateName(std::u16string(255, u'\u00E4')), 0);
    EXPECT_EQ(sheets.ValidateName(std::u16string(256, u'\u00E4')), 7);
    EXPECT_EQ(sheets.ValidateName(u" "), 6);
    EXPECT_EQ(sheets.ValidateName(u"  \t\r\n\x01 "), 6);
    EXPECT_EQ(sheets.ValidateName(u"Sheet1"), 6);
    EXPECT_EQ(sheets.ValidateName(u"sheet1"), 0);
    EXPECT_EQ(sheets.ValidateName(u" Sheet1"), 0);  // the duplicate test uses the name as given
    EXPECT_EQ(sheets.ValidateName(u"\u65E5\u672C"), 0);
}

TEST(TSheetsTest, AddRefusesBadNamesWithTheirMessages) {
    TWorkbook book(1);
    Raised r = XlsErrorOf([&] { book.Sheets().Add(u""); });
    EXPECT_EQ(r.code, 7);
    EXPECT_EQ(r.message, "Sheet name must have a length 1..255.");
    r = XlsErrorOf([&] { book.Sheets().Add(u"Sheet1"); });
    EXPECT_EQ(r.code, 6);
    EXPECT_EQ(r.message, "Invalid or duplicated sheet name.");
    r = XlsErrorOf([&] { book.Sheets().Add(u"   "); });
    EXPECT_EQ(r.code, 6);
    EXPECT_EQ(book.Sheets().Count(), 1);
}

// One sheet.

TEST(TSheetTest, SetNameValidatesAgainstEverySheetIncludingItself) {
    TWorkbook book(2);
    TSheet& first = book.Sheets().Items(0);
    EXPECT_EQ(XlsErrorOf([&] { first.SetName(u"Sheet1"); }).code, 6);  // its own name
    EXPECT_EQ(XlsErrorOf([&] { first.SetName(u"Sheet2"); }).code, 6);
    EXPECT_EQ(XlsErrorOf([&] { first.SetName(std::u16string(256, u'n')); }).code, 7);
    EXPECT_EQ(first.Name(), u"Sheet1");
    EXPECT_EQ(XlsErrorOf([&] { first.SetName(u"Summary"); }).code, -1);
    EXPECT_EQ(first.Name(), u"Summary");
    EXPECT_EQ(book.Sheets().Find(u"Summary"), &first);
    EXPECT_EQ(book.Sheets().Find(u"Sheet1"), nullptr);
}

TEST(TSheetTest, UsedAreaBoundsTheCells) {
    TWorkbook book(1);
    TSheet& sheet = book.Sheets().Items(0);
    TUsedArea area{11, 22, 33, 44};
    EXPECT_FALSE(sheet.GetUsedArea(area));
    EXPECT_EQ(area.FirstRow, 11);  // untouched
    EXPECT_EQ(area.LastRow, 22);
    EXPECT_EQ(area.FirstCol, 33);
    EXPECT_EQ(area.LastCol, 44);

    AddCell(sheet, 5, 3);
    AddCell(sheet, 2, 7);
    ASSERT_TRUE(sheet.GetUsedArea(area));
    EXPECT_EQ(area.FirstRow, 2);
    EXPECT_EQ(area.LastRow, 5);
    EXPECT_EQ(area.FirstCol, 3);
    EXPECT_EQ(area.LastCol, 7);

    // The extremes compare as unsigned numbers.
    TWorkbook other(1);
    TSheet& edges = other.Sheets().Items(0);
    AddCell(edges, 65535, 255);
    AddCell(edges, 0, 128);
    AddCell(edges, 40000, 0);
    ASSERT_TRUE(edges.GetUsedArea(area));
    EXPECT_EQ(area.FirstRow, 0);
    EXPECT_EQ(area.LastRow, 65535);
    EXPECT_EQ(area.FirstCol, 0);
    EXPECT_EQ(area.LastCol, 255);
}

TEST(TSheetTest, GroupingRaisesOutlineLevelsUpToSeven) {
    TWorkbook book(1);
    TSheet& sheet = book.Sheets().Items(0);
    for (int i = 0; i < 8; ++i)
        sheet.GroupRows(4, 4);
    ASSERT_NE(sheet.Rows().Find(4), nullptr);
    EXPECT_EQ(sheet.Rows().Find(4)->OutlineLevel(), 7);
    EXPECT_EQ(sheet.Rows().Count(), 1);

    sheet.GroupRows(9, 8);  // last below first: nothing
    EXPECT_EQ(sheet.Rows().Count(), 1);
    sheet.GroupRows(65534, 65535);  // up to the last row without wrapping around
    EXPECT_EQ(sheet.Rows().Count(), 3);
    EXPECT_EQ(sheet.Rows().Find(65535)->OutlineLevel(), 1);

    sheet.GroupColumns(2, 3);
    sheet.GroupColumns(3, 3);
    EXPECT_EQ(sheet.Columns().Find(2)->OutlineLevel(), 1);
    EXPECT_EQ(sheet.Columns().Find(3)->OutlineLevel(), 2);
    sheet.GroupColumns(254, 255);
    EXPECT_EQ(sheet.Columns().Count(), 4);
    EXPECT_EQ(sheet.Columns().Find(255)->OutlineLevel(), 1);
    sheet.GroupColumns(7, 6);
    EXPECT_EQ(sheet.Columns().Count(), 4);
}

// The checks a caller runs on a path before reading it.

TEST(TXLSFileChecksTest, VersionIsGivenOnlyForACompoundDocumentWithAWorkbookStream) {
    TempDir dir;
    WriteWorkbook(dir / "book.xls", OneSheetWorkbook());
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "book.xls")), 8);

    WriteFile(dir / "text.xls", Body().ascii("Name,Value\r\nA,1\r\n"));
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "text.xls")), 0);
    WriteFile(dir / "empty.xls", {});
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "empty.xls")), 0);
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "missing.xls")), 0);
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir.path())), 0);  // a folder
    // BIFF8 records in the stream of Excel 5.0 and 95; a stream of that name that does not
    // start with a BOF record belongs to some other program.
    WriteCompound(dir / "book8.xls", {{"Book", OneSheetWorkbook()}});
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "book8.xls")), 8);
    WriteCompound(dir / "other.xls", {{"Book", Bytes(100, 0x41)}});
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "other.xls")), 0);
    WriteCompound(dir / "nested.xls", {{"Sub/Workbook", OneSheetWorkbook()}});
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "nested.xls")), 0);
    WriteCompound(dir / "lower.xls", {{"workbook", OneSheetWorkbook()}});
    EXPECT_EQ(GetXLSFileVersion(U16Path(dir / "lower.xls")), 8);
}

// The checks open the file and the read that follows uses it: a workbook cut short in
// between fails to read with the reason, instead of giving the cells before the cut as
// if they were all.
TEST(TXLSFileChecksTest, AWorkbookCutShortAfterItsChecksFailsToRead) {
    TempDir dir;
    const auto path = dir / "book.xls";
    RecordList cells;
    for (std::uint16_t row = 0; row < 8000; ++row)
        cells.push_back({rec::kNumber, NumberBody(row, 0, 0, row)});
    WriteWorkbook(path, WorkbookStream({{"Sheet1", cells}}));
    TXLSDocument document(U16Path(path));
    ASSERT_EQ(document.Version(), 8);
    ASSERT_EQ(::truncate(path.c_str(), 20000), 0);
    TXLSFile xls;
    try {
        xls.OpenDocument(document);
        ADD_FAILURE() << "no error";
    } catch (const ECFileError& e) {
        EXPECT_EQ(e.what(), path.string() + " changed while it was read: it was cut short");
    }
    EXPECT_FALSE(xls.Loaded());
}

TEST(TXLSFileChecksTest, ProtectionOfPlainAndEncryptedWorkbooks) {
    TempDir dir;
    const auto check = [&](const Bytes& stream) {
        WriteWorkbook(dir / "book.xls", stream);
        return GetXLSFileProtection(U16Path(dir / "book.xls"));
    };
    const auto bof = [] { return GlobalsBof(); };

    EXPECT_EQ(check(OneSheetWorkbook()), 0);
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePass(u"VelvetSweatshop"))), 0);
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePass(u"secret"))), 10);
    // XOR and RC4 with the CryptoAPI as RC4: the default password opens without asking.
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePassXor("VelvetSweatshop"))), 0);
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePassXor("secret"))), 10);
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePassCryptoApi(u"VelvetSweatshop", 40))), 0);
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePassCryptoApi(u"secret"))), 10);
    BiffBuilder biff5;  // before BIFF8, FILEPASS holds the XOR key and verifier alone
    biff5.Record(0x0809, Body().u16(0x0500).u16(kGlobalsSubstream).zeros(4));
    EXPECT_EQ(check(OneSheetWorkbook(BiffBuilder(biff5).FilePassXor("VelvetSweatshop", false))), 0);
    EXPECT_EQ(check(OneSheetWorkbook(BiffBuilder(biff5).FilePassXor("secret", false))), 10);
    // Schemes no password opens.
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePassRaw(FilePassBody(1, 2)))), -1);
    EXPECT_EQ(check(OneSheetWorkbook(bof().FilePassRaw(FilePassBody(2, 1)))), -1);
    EXPECT_EQ(check(UnsupportedEncryptionStream()), -1);
    EXPECT_EQ(check(Bytes{}), 0);  // no records at all

    // Only the first five records are looked at.
    const auto after = [&](int records) {
        BiffBuilder b;
        b.Record(0x0809, BofBody(kGlobalsSubstream));
        for (int i = 1; i < records; ++i)
            b.Record(rec::kWriteAccess, Body().zeros(112));
        return b;
    };
    EXPECT_EQ(check(OneSheetWorkbook(after(4).FilePass(u"secret"))), 10);  // fifth
    EXPECT_EQ(check(OneSheetWorkbook(after(5).FilePass(u"secret"))), 0);   // sixth
    EXPECT_EQ(check(OneSheetWorkbook(after(5).FilePassRaw(FilePassBody(0, 1)))), 0);
}

TEST(TXLSFileChecksTest, ProtectionRaisesWhenTheFileCannotBeRead) {
    TempDir dir;
    WriteCompound(dir / "other.xls", {{"WordDocument", OneSheetWorkbook()}});
    const Raised r = XlsErrorOf([&] { GetXLSFileProtection(U16Path(dir / "other.xls")); });
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.message, "Stream not found: Workbook. File format is not Excel 97 or higher.");

    WriteFile(dir / "text.xls", Body().ascii("plain text"));
    EXPECT_THROW(GetXLSFileProtection(U16Path(dir / "text.xls")), ECFileError);
    EXPECT_THROW(GetXLSFileProtection(U16Path(dir / "missing.xls")), ECFileError);
}
