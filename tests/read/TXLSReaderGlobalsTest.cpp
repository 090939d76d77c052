#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/TCFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

constexpr std::uint16_t kChartSheetOptions = 0x0200;  // sheet type 2 in the high byte

const std::string kInvalidPassword = "Error: file is protected, and password is invalid!";

std::unique_ptr<TXLSFile> Read(const Bytes& stream, const std::u16string& password = u"") {
    auto file = std::make_unique<TXLSFile>();
    OpenWorkbook(*file, stream, password);
    return file;
}

// What a read of the stream raises: "" when it succeeds, else the message, with the code
// in front for EXLSError ("6: ...").
std::string ReadError(const Bytes& stream, const std::u16string& password = u"",
                      TXLSFile* into = nullptr) {
    TXLSFile own;
    TXLSFile& file = into != nullptr ? *into : own;
    try {
        OpenWorkbook(file, stream, password);
    } catch (const EXLSError& e) {
        return std::to_string(e.ErrorCode()) + ": " + e.what();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

TSheet& SheetOf(const TXLSFile& file, int index) {
    return file.Workbook().Sheets().Items(index);
}

std::vector<std::u16string> SheetNames(const TXLSFile& file) {
    std::vector<std::u16string> names;
    for (int i = 0; i < file.Workbook().Sheets().Count(); ++i)
        names.push_back(SheetOf(file, i).Name());
    return names;
}

// The numbers of a sheet's cells as "row,col=value" in cell order.
std::vector<std::string> Numbers(const TSheet& sheet) {
    std::vector<std::string> out;
    for (int i = 0; i < sheet.Cells().Count(); ++i) {
        const TCell cell = sheet.Cells().Items(i);
        out.push_back(std::to_string(cell.Row()) + "," + std::to_string(cell.Col()) + "=" +
                      std::to_string(static_cast<long long>(cell.Value().AsDouble())));
    }
    return out;
}

// A workbook whose globals hold `globals` after one BOUNDSHEET "S", and whose sheet shows
// shared strings 0..count-1 in rows 0..count-1 of column 0.
Bytes StringsWorkbook(const RecordList& globals, int count) {
    BiffBuilder b;
    AppendGlobals(b, {"S"}, globals);
    RecordList cells;
    for (int i = 0; i < count; ++i) {
        cells.push_back({rec::kLabelSst, LabelSstBody(static_cast<std::uint16_t>(i), 0, 0, i)});
    }
    return AppendSubstream(b, kWorksheetSubstream, cells).Build();
}

// The values of column 0 of the first sheet, in row order.
std::vector<TCellValue> Column0(const TXLSFile& file, int count) {
    std::vector<TCellValue> values;
    for (int row = 0; row < count; ++row) {
        const auto cell = SheetOf(file, 0).Cells().Find(row, 0);
        values.push_back(cell ? cell->Value() : TCellValue());
    }
    return values;
}

TCellValue Narrow(const std::string& s) {
    return TCellValue::Ansi(s);
}
TCellValue Wide(const std::u16string& s) {
    return TCellValue::Wide(s);
}

// Reads the shared strings of an SST given as records and checks them one by one, and
// that the string table holds no more than that.
void ExpectStrings(const RecordList& globals, const std::vector<TCellValue>& expected) {
    const int n = static_cast<int>(expected.size());
    const auto file = Read(StringsWorkbook(globals, n));
    const std::vector<TCellValue> got = Column0(*file, n);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(got[i].Kind(), expected[i].Kind()) << "string " << i;
        EXPECT_EQ(got[i].AsWideText(), expected[i].AsWideText()) << "string " << i;
    }
    // One reference past the table leaves its cell empty.
    const auto more = Read(StringsWorkbook(globals, n + 1));
    EXPECT_FALSE(SheetOf(*more, 0).Cells().Find(n, 0));
}

Bytes SstHeader(std::uint32_t total, std::uint32_t unique) {
    return Body().u32(total).u32(unique);  // references, unique strings
}

}  // namespace

// Sheets and substreams.

TEST(TXLSReaderGlobalsTest, EachBoundSheetMakesASheetAndSubstreamsFollowTheirOrder) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Data"));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Chart1", kChartSheetOptions));
    b.Record(rec::kBoundSheet8, BoundSheetBodyWide(u"\u0417\u0430\u043C\u0435\u0442\u043A\u0438"));
    b.Record(rec::kEof, {});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(0, 0, 0, 1)}});
    // A chart sheet keeps its series data in cell records: they make no cells.
    AppendSubstream(b, kChartSubstream, {{rec::kNumber, NumberBody(0, 0, 0, 2)}});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(4, 2, 0, 3)}});

    TXLSFile file;
    ASSERT_EQ(SheetNames(file), std::vector<std::u16string>{u"Sheet1"});
    OpenWorkbook(file, b.Build());
    EXPECT_TRUE(file.Loaded());
    EXPECT_EQ(file.Workbook().LoadState(), lsRead);
    EXPECT_EQ(SheetNames(file),
              (std::vector<std::u16string>{u"Data", u"Chart1",
                                           u"\u0417\u0430\u043C\u0435\u0442\u043A\u0438"}));
    EXPECT_EQ(Numbers(SheetOf(file, 0)), std::vector<std::string>{"0,0=1"});
    EXPECT_EQ(Numbers(SheetOf(file, 1)), std::vector<std::string>{});
    EXPECT_EQ(Numbers(SheetOf(file, 2)), std::vector<std::string>{"4,2=3"});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SheetOf(file, i).Index(), i);
}

TEST(TXLSReaderGlobalsTest, NestedChartKeepsTheFollowingRecordsOnItsSheet) {
    BiffBuilder b;
    AppendGlobals(b, {"First", "Second"});
    b.Record(rec::kBof, BofBody(kWorksheetSubstream));
    b.Record(rec::kNumber, NumberBody(0, 0, 0, 10));
    b.Record(rec::kBof, BofBody(kChartSubstream));  // a chart embedded in the sheet
    b.Record(rec::kNumber, NumberBody(7, 7, 0, 99));
    b.Record(rec::kPassword, Body().u16(0xBEEF));  // still the first sheet's record
    b.Record(rec::kEof, {});
    b.Record(rec::kNumber, NumberBody(1, 0, 0, 11));
    b.Record(rec::kEof, {});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(2, 0, 0, 20)}});

    const auto file = Read(b.Build());
    EXPECT_EQ(Numbers(SheetOf(*file, 0)), (std::vector<std::string>{"0,0=10", "1,0=11"}));
    EXPECT_EQ(Numbers(SheetOf(*file, 1)), std::vector<std::string>{"2,0=20"});
    EXPECT_EQ(SheetOf(*file, 0).PasswordHash, 0xBEEF);
    EXPECT_EQ(SheetOf(*file, 1).PasswordHash, 0);
}

TEST(TXLSReaderGlobalsTest, NoCellRecordOfAChartMakesACell) {
    const Bytes rk = Body()
                         .u16(2)            // row
                         .u16(0)            // column
                         .u16(0)            // XF
                         .u32(0x3FF00000);  // RK: 1.0
    const Bytes mulRk = Body()
                            .u16(3)           // row
                            .u16(0)           // first column
                            .u16(0)           // XF
                            .u32(0x3FF00000)  // RK
                            .u16(0)           // XF
                            .u32(0x3FF00000)  // RK
                            .u16(1);          // last column
    const Bytes label = Body()
                            .u16(4)  // row
                            .u16(0)  // column
                            .u16(0)  // XF
                            .u16(1)  // characters
                            .u8(0)   // 8-bit
                            .ascii("x");
    const Bytes boolErr = Body()
                              .u16(5)  // row
                              .u16(0)  // column
                              .u16(0)  // XF
                              .u8(1)   // true
                              .u8(0);  // a boolean, not an error
    const Bytes formula = Body()
                              .u16(6)    // row
                              .u16(0)    // column
                              .u16(0)    // XF
                              .f64(3)    // result
                              .u16(0)    // options
                              .u32(0)    // chain
                              .u16(3)    // token bytes
                              .u8(0x1E)  // integer token
                              .u16(3);   // its value
    BiffBuilder b;
    AppendGlobals(b, {"Chart"}, {{rec::kSst, SstBody({"s"})}});
    AppendSubstream(b, kChartSubstream,
                    {{rec::kNumber, NumberBody(0, 0, 0, 1)},
                     {rec::kLabelSst, LabelSstBody(1, 0, 0, 0)},
                     {0x027E, rk},
                     {0x00BD, mulRk},
                     {0x0204, label},
                     {0x0205, boolErr},
                     {0x0006, formula}});
    const auto file = Read(b.Build());
    EXPECT_EQ(SheetOf(*file, 0).Cells().Count(), 0);
}

TEST(TXLSReaderGlobalsTest, CellRecordsOfTheGlobalsGoToTheFirstSheet) {
    BiffBuilder b;
    AppendGlobals(b, {"A", "B"}, {{rec::kNumber, NumberBody(3, 3, 0, 5)}});
    AppendSubstream(b, kWorksheetSubstream, {});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(0, 1, 0, 6)}});
    const auto file = Read(b.Build());
    EXPECT_EQ(Numbers(SheetOf(*file, 0)), std::vector<std::string>{"3,3=5"});
    EXPECT_EQ(Numbers(SheetOf(*file, 1)), std::vector<std::string>{"0,1=6"});
}

TEST(TXLSReaderGlobalsTest, OnlyTheHiddenBitOfTheOptionsHidesASheet) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Shown", 0x0000));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Hidden", 0x0001));
    b.Record(rec::kBoundSheet8, BoundSheetBody("VeryHidden", 0x0002));  // visibility byte 2
    b.Record(rec::kBoundSheet8, BoundSheetBody("HiddenChart", 0x0201));
    b.Record(rec::kEof, {});
    const auto file = Read(b.Build());
    ASSERT_EQ(file->Workbook().Sheets().Count(), 4);
    EXPECT_TRUE(SheetOf(*file, 0).Visible);
    EXPECT_FALSE(SheetOf(*file, 1).Visible);
    EXPECT_TRUE(SheetOf(*file, 2).Visible);
    EXPECT_FALSE(SheetOf(*file, 3).Visible);
    // The stored state tells a hidden sheet from a very hidden one.
    EXPECT_EQ(SheetOf(*file, 0).Visibility, 0);
    EXPECT_EQ(SheetOf(*file, 1).Visibility, 1);
    EXPECT_EQ(SheetOf(*file, 2).Visibility, 2);
    EXPECT_EQ(SheetOf(*file, 3).Visibility, 1);
}

TEST(TXLSReaderGlobalsTest, SheetNamesInLatin1AndNamesThatRunPastTheirRecord) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Bl\xE4tter"));  // 8-bit characters are Latin-1
    b.Record(rec::kEof, {});
    const auto file = Read(b.Build());
    EXPECT_EQ(SheetNames(*file), std::vector<std::u16string>{u"Bl\u00E4tter"});

    // A name whose characters run past the body reads as empty, which the sheet list
    // refuses.
    const Bytes cut = Body()
                          .u32(0)          // stream position
                          .u16(0)          // options
                          .u8(10)          // characters announced
                          .u8(0)           // 8-bit
                          .ascii("Shor");  // four present
    BiffBuilder c;
    c.Record(rec::kBof, BofBody(kGlobalsSubstream))
        .Record(rec::kBoundSheet8, cut)
        .Record(rec::kEof, {});
    EXPECT_EQ(ReadError(c.Build()), "7: Sheet name must have a length 1..255.");
}

TEST(TXLSReaderGlobalsTest, RefusedSheetNameEndsTheReadWithTheSheetsSoFar) {
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    b.Record(rec::kBoundSheet8, BoundSheetBody("One"));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Two"));
    b.Record(rec::kBoundSheet8, BoundSheetBody("One"));
    b.Record(rec::kEof, {});
    TXLSFile file;
    EXPECT_EQ(ReadError(b.Build(), u"", &file), "6: Invalid or duplicated sheet name.");
    EXPECT_FALSE(file.Loaded());
    EXPECT_EQ(file.Workbook().LoadState(), lsReading);
    EXPECT_EQ(SheetNames(file), (std::vector<std::u16string>{u"One", u"Two"}));

    BiffBuilder blank;
    blank.Record(rec::kBof, BofBody(kGlobalsSubstream))
        .Record(rec::kBoundSheet8, BoundSheetBody("  "));
    EXPECT_EQ(ReadError(blank.Record(rec::kEof, {}).Build()),
              "6: Invalid or duplicated sheet name.");
    BiffBuilder empty;
    empty.Record(rec::kBof, BofBody(kGlobalsSubstream))
        .Record(rec::kBoundSheet8, BoundSheetBody(""));
    EXPECT_EQ(ReadError(empty.Record(rec::kEof, {}).Build()),
              "7: Sheet name must have a length 1..255.");
}

TEST(TXLSReaderGlobalsTest, FileWithoutAWorkbookStreamIsRefused) {
    TempDir dir;
    BiffBuilder b;
    AppendGlobals(b, {"S"});
    WriteCompound(dir / "other.xls", {{"WordDocument", b.Build()}});
    TXLSFile file;
    try {
        file.OpenFile(U16Path(dir / "other.xls"));
        ADD_FAILURE() << "no error";
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_EQ(std::string(e.what()),
                  "Stream not found: Workbook. File format is not Excel 97 or higher.");
    }
    EXPECT_FALSE(file.Loaded());
    EXPECT_EQ(file.Workbook().Sheets().Count(), 0);  // cleared before anything was read

    WriteFile(dir / "text.xls", Body().ascii("not a workbook"));
    try {
        file.OpenFile(U16Path(dir / "text.xls"));
        ADD_FAILURE() << "no error";
    } catch (const ECFileError& e) {
        EXPECT_EQ(e.Code(), 3);
    }
}

TEST(TXLSReaderGlobalsTest, WorkbookStreamIsFoundWhateverItsLetterCase) {
    TempDir dir;
    BiffBuilder b;
    AppendGlobals(b, {"S"});
    WriteCompound(dir / "upper.xls", {{"WORKBOOK", b.Build()}});
    TXLSFile file;
    file.OpenFile(U16Path(dir / "upper.xls"));
    EXPECT_EQ(SheetNames(file), std::vector<std::u16string>{u"S"});
}

TEST(TXLSReaderGlobalsTest, RecordCutShortByTheEndOfTheStreamIsNotRead) {
    BiffBuilder b;
    AppendGlobals(b, {"S"});
    b.Record(rec::kBof, BofBody(kWorksheetSubstream));
    b.Record(rec::kNumber, NumberBody(0, 0, 0, 1));
    const Bytes whole = NumberBody(1, 0, 0, 2);
    b.Raw(Body().u16(rec::kNumber).u16(static_cast<std::uint32_t>(whole.size())));  // header
    b.Raw(Bytes(whole.begin(), whole.begin() + 6));  // row, column and XF only
    const auto file = Read(b.Build());
    EXPECT_EQ(Numbers(SheetOf(*file, 0)), std::vector<std::string>{"0,0=1"});
}

// Debug and test builds report the bytes a decoder of a whole layout leaves unread: a
// layout other than the file's. Records without such a decoder, records a handler does
// not read (cells inside a chart) and zero bytes some writers pad records with are not
// reported.
TEST(TXLSReaderGlobalsTest, BytesLeftUnreadByAWholeLayoutAreReported) {
#ifdef NDEBUG
    GTEST_SKIP() << "reported in debug and test builds only";
#endif
    Bytes longNumber = NumberBody(0, 0, 0, 1);
    longNumber.push_back(0xAA);
    longNumber.push_back(0xBB);
    Bytes paddedNumber = NumberBody(2, 0, 0, 3);
    paddedNumber.insert(paddedNumber.end(), {0, 0});
    const Bytes longColInfo = Body().u16(0).u16(0).u16(256).u16(0).u16(0).u16(0).u16(7);
    BiffBuilder b;
    AppendGlobals(b, {"S"});
    AppendSubstream(b, kWorksheetSubstream,
                    {{rec::kColInfo, longColInfo},
                     {rec::kBof, BofBody(kChartSubstream)},
                     {rec::kNumber, longNumber},
                     {rec::kEof, {}},
                     {rec::kNumber, NumberBody(1, 0, 0, 2)},
                     {rec::kNumber, longNumber},
                     {rec::kNumber, paddedNumber}});
    TempDir dir;
    WriteWorkbook(dir / "long.xls", b.Build());
    TXLSFile file;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> unread;
    file.SetOnRecord([&unread](const TRecordReport& r) {
        if (r.Unread != 0) unread.emplace_back(r.Id, r.Unread);
    });
    file.OpenFile(U16Path(dir / "long.xls"));
    EXPECT_EQ(unread, (std::vector<std::pair<std::uint16_t, std::uint32_t>>{{rec::kNumber, 2}}));
    std::vector<std::string> numbers = Numbers(SheetOf(file, 0));
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<std::string>{"0,0=1", "1,0=2", "2,0=3"}));
}

// Shared strings.

TEST(TXLSReaderGlobalsTest, SstStringsSplitAcrossContinueChangeWidth) {
    const Bytes sst = Body()
                          .bytes(SstHeader(4, 4))
                          .u16(6)  // string 0: 6 characters
                          .u8(0)   // 8-bit
                          .ascii("abc")
                          .data();
    const Bytes continue1 = Body()
                                .u8(1)  // the rest of string 0 is 16-bit
                                .utf16(u"d\u0100f")
                                .u16(4)  // string 1: 4 characters
                                .u8(1)   // 16-bit
                                .utf16(u"\u0416\u0417")
                                .data();
    const Bytes continue2 = Body()
                                .u8(0)  // the rest of string 1 is 8-bit
                                .ascii("gh")
                                .u16(5)  // string 2: 5 characters
                                .u8(0)   // 8-bit
                                .ascii("ij")
                                .data();
    const Bytes continue3 = Body()
                                .u8(0)  // still 8-bit
                                .ascii("klm")
                                .u16(0)  // string 3: empty
                                .u8(0)
                                .data();
    ExpectStrings({{rec::kSst, sst},
                   {rec::kContinue, continue1},
                   {rec::kContinue, continue2},
                   {rec::kContinue, continue3}},
                  {Wide(u"abcd\u0100f"), Wide(u"\u0416\u0417gh"), Narrow("ijklm"), Narrow("")});
}

TEST(TXLSReaderGlobalsTest, SstLatin1CharactersKeepTheirMeaning) {
    const Bytes sst = Body()
                          .bytes(SstHeader(2, 2))
                          .u16(4)  // characters
                          .u8(0)   // 8-bit
                          .ascii("caf\xE9")
                          .u16(3)  // characters
                          .u8(0)   // 8-bit
                          .ascii("\xA3\xFC\xFF")
                          .data();
    ExpectStrings({{rec::kSst, sst}}, {Narrow("caf\u00E9"), Narrow("\u00A3\u00FC\u00FF")});
}

TEST(TXLSReaderGlobalsTest, EmptyContinueInsideAStringIsPassedOver) {
    const Bytes sst = Body()
                          .bytes(SstHeader(2, 2))
                          .u16(4)  // characters
                          .u8(0)   // 8-bit
                          .ascii("ab")
                          .data();
    const Bytes rest = Body()
                           .u8(0)  // 8-bit
                           .ascii("cd")
                           .u16(1)  // next string
                           .u8(0)
                           .ascii("e")
                           .data();
    ExpectStrings({{rec::kSst, sst}, {rec::kContinue, {}}, {rec::kContinue, rest}},
                  {Narrow("abcd"), Narrow("e")});
}

TEST(TXLSReaderGlobalsTest, StringHeaderSplitFromItsCharacters) {
    // The count ends the SST record; the option byte opens the CONTINUE.
    const Bytes sst = Body()
                          .bytes(SstHeader(2, 2))
                          .u16(1)  // string 0
                          .u8(0)
                          .ascii("x")
                          .u16(3)  // string 1: count only
                          .data();
    const Bytes rest = Body()
                           .u8(1)  // string 1's own option byte: 16-bit
                           .utf16(u"\u03B1\u03B2\u03B3")
                           .data();
    ExpectStrings({{rec::kSst, sst}, {rec::kContinue, rest}},
                  {Narrow("x"), Wide(u"\u03B1\u03B2\u03B3")});

    // The option byte ends the SST record; the CONTINUE opens with its own option byte.
    const Bytes upToOptions = Body()
                                  .bytes(SstHeader(1, 1))
                                  .u16(2)  // characters
                                  .u8(0)   // 8-bit
                                  .data();
    const Bytes chars = Body()
                            .u8(1)  // the characters are 16-bit after all
                            .utf16(u"\u0101\u0102")
                            .data();
    ExpectStrings({{rec::kSst, upToOptions}, {rec::kContinue, chars}}, {Wide(u"\u0101\u0102")});
}

TEST(TXLSReaderGlobalsTest, ExtSstAfterTheLastContinueIsSkippedWithoutLoss) {
    const Bytes sst = Body()
                          .bytes(SstHeader(2, 2))
                          .u16(5)  // characters
                          .u8(0)
                          .ascii("hel")
                          .data();
    const Bytes rest = Body()
                           .u8(0)  // 8-bit
                           .ascii("lo")
                           .u16(5)  // next string
                           .u8(0)
                           .ascii("world")
                           .data();
    const Bytes extSst = Body()
                             .u16(8)   // strings per bucket
                             .u32(12)  // stream position of a string
                             .u16(12)  // its offset in its record
                             .u16(0)   // reserved
                             .data();
    ExpectStrings({{rec::kSst, sst},
                   {rec::kContinue, rest},
                   {rec::kExtSst, extSst},
                   {rec::kPassword, Body().u16(0x4321)}},
                  {Narrow("hello"), Narrow("world")});
    const auto file = Read(StringsWorkbook({{rec::kSst, sst},
                                            {rec::kContinue, rest},
                                            {rec::kExtSst, extSst},
                                            {rec::kPassword, Body().u16(0x4321)}},
                                           2));
    EXPECT_EQ(file->Workbook().PasswordHash, 0x4321);

    // The record right after the SST is not lost either.
    const auto direct = Read(
        StringsWorkbook({{rec::kSst, SstBody({"a"})}, {rec::kPassword, Body().u16(0x1111)}}, 1));
    EXPECT_EQ(direct->Workbook().PasswordHash, 0x1111);
}

TEST(TXLSReaderGlobalsTest, RichTextRunsAndFarEastDataAreSkippedAcrossContinues) {
    const Bytes sst = Body()
                          .bytes(SstHeader(4, 4))
                          .u16(3)    // string 0: 3 characters
                          .u8(0x08)  // rich text, 8-bit
                          .u16(2)    // 2 formatting runs
                          .ascii("abc")
                          .u16(0)  // run 1: first character
                          .u16(1)  // run 1: font
                          .data();
    const Bytes c1 = Body()
                         .u16(2)    // run 2: first character (no option byte before runs)
                         .u16(0)    // run 2: font
                         .u16(2)    // string 1: 2 characters
                         .u8(0x04)  // far-east data, 8-bit
                         .u32(6)    // 6 far-east bytes
                         .ascii("de")
                         .bytes({0xF1, 0xF2})  // far-east bytes 1..2
                         .data();
    const Bytes c2 = Body()
                         .bytes({0xF3, 0xF4, 0xF5, 0xF6})  // far-east bytes 3..6
                         .u16(4)                           // string 2: 4 characters
                         .u8(0x0D)                         // rich text, far-east data, 16-bit
                         .u16(1)                           // 1 run
                         .u32(2)                           // 2 far-east bytes
                         .utf16(u"\u00C0\u00C1")
                         .data();
    const Bytes c3 = Body()
                         .u8(1)  // characters continue 16-bit
                         .utf16(u"\u00C2\u00C3")
                         .u16(0)               // its run: first character
                         .u16(3)               // its run: font
                         .bytes({0xEE, 0xEF})  // its far-east bytes
                         .u16(2)               // string 3
                         .u8(0)
                         .ascii("fg")
                         .data();
    ExpectStrings(
        {{rec::kSst, sst}, {rec::kContinue, c1}, {rec::kContinue, c2}, {rec::kContinue, c3}},
        {Narrow("abc"), Narrow("de"), Wide(u"\u00C0\u00C1\u00C2\u00C3"), Narrow("fg")});
}

TEST(TXLSReaderGlobalsTest, SstCountsAreNotTrusted) {
    const std::vector<std::string> strings = {"one", "two", "three"};
    Bytes many = SstBody(strings);
    many[0] = 0xE8;  // total references: 1000
    many[1] = 0x03;
    many[4] = 0xE8;  // unique strings: 1000
    many[5] = 0x03;
    ExpectStrings({{rec::kSst, many}}, {Narrow("one"), Narrow("two"), Narrow("three")});

    Bytes none = SstBody(strings);
    for (int i = 0; i < 8; ++i)
        none[i] = 0;  // both counts 0
    ExpectStrings({{rec::kSst, none}}, {Narrow("one"), Narrow("two"), Narrow("three")});
}

TEST(TXLSReaderGlobalsTest, StringRunningPastItsRecordsEndsTheTable) {
    // The last string announces 10 characters; the SST ends after 4 and the next record
    // is no CONTINUE. The text so far is kept and that record is read as usual.
    const Bytes sst = Body()
                          .bytes(SstHeader(2, 2))
                          .u16(2)  // string 0
                          .u8(0)
                          .ascii("ok")
                          .u16(10)  // string 1: 10 characters announced
                          .u8(0)
                          .ascii("part")
                          .data();
    ExpectStrings({{rec::kSst, sst}, {rec::kPassword, Body().u16(0x0101)}},
                  {Narrow("ok"), Narrow("part")});
    EXPECT_EQ(Read(StringsWorkbook({{rec::kSst, sst}, {rec::kPassword, Body().u16(0x0101)}}, 2))
                  ->Workbook()
                  .PasswordHash,
              0x0101);

    // Cut inside the character count, and between the count and the option byte: no
    // string is made.
    const Bytes halfCount = Body()
                                .bytes(SstHeader(2, 2))
                                .u16(1)  // string 0: 1 character
                                .u8(0)   // 8-bit
                                .ascii("a")
                                .u8(5)  // half a count
                                .data();
    ExpectStrings({{rec::kSst, halfCount}, {rec::kPassword, Body().u16(1)}}, {Narrow("a")});
    const Bytes noOptions = Body()
                                .bytes(SstHeader(2, 2))
                                .u16(1)  // string 0: 1 character
                                .u8(0)   // 8-bit
                                .ascii("a")
                                .u16(5)  // string 1: the count and nothing more
                                .data();
    ExpectStrings({{rec::kSst, noOptions}, {rec::kPassword, Body().u16(1)}}, {Narrow("a")});

    // Formatting runs that the records do not hold.
    const Bytes runs = Body()
                           .bytes(SstHeader(1, 1))
                           .u16(1)
                           .u8(0x08)  // rich text
                           .u16(100)  // 400 bytes of runs announced
                           .ascii("r")
                           .u16(0)  // the one run present: first character
                           .u16(1)  // font
                           .data();
    ExpectStrings({{rec::kSst, runs}, {rec::kPassword, Body().u16(1)}}, {Narrow("r")});
}

TEST(TXLSReaderGlobalsTest, SstSpanningManyBlocksAndContinues) {
    std::string big(3000, 'x');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    // The string's characters are split into pieces of 1000 over three records.
    const Bytes sst = Body()
                          .bytes(SstHeader(2, 2))
                          .u16(3000)  // characters
                          .u8(0)
                          .ascii(big.substr(0, 1000))
                          .data();
    const Bytes c1 = Body()
                         .u8(0)  // 8-bit
                         .ascii(big.substr(1000, 1000))
                         .data();
    const Bytes c2 = Body()
                         .u8(0)  // 8-bit
                         .ascii(big.substr(2000))
                         .u16(3)  // string 1: 3 characters
                         .u8(0)   // 8-bit
                         .ascii("end")
                         .data();
    ExpectStrings({{rec::kSst, sst}, {rec::kContinue, c1}, {rec::kContinue, c2}},
                  {Narrow(big), Narrow("end")});
}

// Fonts, formats, cell formats and palette.

TEST(TXLSReaderGlobalsTest, FontsReplaceTheDefaultAndKeepRecordOrder) {
    const Bytes bold = FontBody(240, 0x0002, 10, 700, "Times");  // 12 pt, italic, red, bold
    const Bytes same = FontBody(200, 0, 0x7FFF, 400, "Arial");
    const auto file = Read(StringsWorkbook({{rec::kFont, same},
                                            {rec::kFont, same},
                                            {rec::kFont, bold},
                                            {rec::kFont, Bytes{}},
                                            {rec::kFont, Body().u16(300)}},
                                           0));
    TVirtualFontTable& fonts = file->Workbook().FontTable();
    ASSERT_EQ(fonts.Count(), 5);  // identical records are kept apart
    EXPECT_EQ(fonts.RecordAt(0), fonts.RecordAt(1));
    const std::string& r = fonts.RecordAt(2);
    EXPECT_EQ(TVirtualFontTable::GetFontName(r), u"Times");
    EXPECT_EQ(RecordGet16(r, fontrec::kSize16), 12);
    EXPECT_EQ(r[fontrec::kBold], 1);
    EXPECT_EQ(r[fontrec::kItalic], 1);
    EXPECT_EQ(r[fontrec::kColor], 3);  // colour code 10
    // Bodies too short for their fields read them as 0 and the name as empty.
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.RecordAt(3)), u"");
    EXPECT_EQ(RecordGet16(fonts.RecordAt(3), fontrec::kSize16), 0);
    EXPECT_EQ(TVirtualFontTable::GetFontName(fonts.RecordAt(4)), u"");
    EXPECT_EQ(RecordGet16(fonts.RecordAt(4), fontrec::kSize16), 15);

    const Bytes cutName = Body()
                              .u16(200)  // height
                              .u16(0)    // options
                              .u16(8)    // colour
                              .u16(400)  // weight
                              .u16(0)    // script
                              .u8(0)     // underline
                              .u8(0)     // family
                              .u8(0)     // character set
                              .u8(0)     // reserved
                              .u8(20)    // name: 20 characters announced
                              .u8(0)     // 8-bit
                              .ascii("Cour")
                              .data();
    const auto cut = Read(StringsWorkbook({{rec::kFont, cutName}}, 0));
    ASSERT_EQ(cut->Workbook().FontTable().Count(), 1);
    EXPECT_EQ(TVirtualFontTable::GetFontName(cut->Workbook().FontTable().RecordAt(0)), u"");

    // Without FONT records the default font stays.
    const auto plain = Read(StringsWorkbook({}, 0));
    ASSERT_EQ(plain->Workbook().FontTable().Count(), 1);
    EXPECT_EQ(TVirtualFontTable::GetFontName(plain->Workbook().FontTable().RecordAt(0)), u"Arial");
}

TEST(TXLSReaderGlobalsTest, FormatRecordsAddOrReplaceFormats) {
    const Bytes wide = Body()
                           .u16(165)  // format index
                           .u16(3)    // characters
                           .u8(1)     // 16-bit
                           .utf16(u"0\u20AC0")
                           .data();
    const Bytes cut = Body()
                          .u16(166)  // format index
                          .u16(20)   // characters announced
                          .u8(0)
                          .ascii("0.00")
                          .data();
    const auto file = Read(StringsWorkbook({{rec::kFormat, FormatBody(164, "0.000")},
                                            {rec::kFormat, FormatBody(14, "yyyy-mm-dd")},
                                            {rec::kFormat, wide},
                                            {rec::kFormat, cut},
                                            {rec::kFormat, FormatBody(164, "#,##0.0")}},
                                           0));
    const TFormatStrings& formats = file->Workbook().FormatTable();
    const TFormatStrings builtIn;
    EXPECT_EQ(formats.FormatCount(), builtIn.FormatCount() + 3);
    EXPECT_EQ(formats.FindFormat(14), builtIn.FindFormat(14));
    EXPECT_EQ(formats.GetFormat(formats.FindFormat(14)).Text, u"yyyy-mm-dd");
    ASSERT_GE(formats.FindFormat(164), 0);
    EXPECT_EQ(formats.GetFormat(formats.FindFormat(164)).Text, u"#,##0.0");  // replaced
    ASSERT_GE(formats.FindFormat(165), 0);
    EXPECT_EQ(formats.GetFormat(formats.FindFormat(165)).Text, u"0\u20AC0");
    // A text longer than its record reads as empty.
    ASSERT_GE(formats.FindFormat(166), 0);
    EXPECT_EQ(formats.GetFormat(formats.FindFormat(166)).Text, u"");
}

TEST(TXLSReaderGlobalsTest, XfFontIndexesSkipFontFourAndFormatsBecomePositions) {
    const auto file = Read(StringsWorkbook({{rec::kFormat, FormatBody(164, "0.000")},
                                            {rec::kXf, XfBody(0, 0)},
                                            {rec::kXf, XfBody(3, 14)},
                                            {rec::kXf, XfBody(4, 164)},
                                            {rec::kXf, XfBody(5, 300)},  // no such format
                                            {rec::kXf, XfBody(200, 49)},
                                            {rec::kXf, XfBody(5, 300)},
                                            {rec::kXf, Body().u16(6).data()},  // font only
                                            {rec::kXf, Bytes{}}},
                                           0));
    const TVirtualXFTable& xfs = file->Workbook().XFTable();
    const TFormatStrings& formats = file->Workbook().FormatTable();
    ASSERT_GE(xfs.Count(), 8);  // the default record may follow
    const auto font = [&](int i) { return RecordGet16(xfs.RecordAt(i), xfrec::kFont); };
    const auto format = [&](int i) { return RecordGet16(xfs.RecordAt(i), xfrec::kNumberFormat); };
    EXPECT_EQ(font(0), 0);
    EXPECT_EQ(font(1), 3);
    EXPECT_EQ(font(2), 3);
    EXPECT_EQ(font(3), 4);
    EXPECT_EQ(font(4), 199);
    EXPECT_EQ(font(6), 5);
    EXPECT_EQ(font(7), 0);
    EXPECT_EQ(format(0), formats.FindFormat(0));
    EXPECT_EQ(format(1), formats.FindFormat(14));
    EXPECT_EQ(format(2), formats.FindFormat(164));
    EXPECT_EQ(format(3), 0);
    EXPECT_EQ(format(4), formats.FindFormat(49));
    EXPECT_NE(formats.FindFormat(14), formats.FindFormat(164));
    EXPECT_EQ(xfs.RecordAt(3), xfs.RecordAt(5));  // identical records are kept apart
}

TEST(TXLSReaderGlobalsTest, CellXfIndexIsThePositionOfTheXfRecord) {
    BiffBuilder b;
    AppendGlobals(b, {"S"},
                  {{rec::kXf, XfBody(0, 0)},
                   {rec::kXf, XfBody(0, 0)},
                   {rec::kXf, XfBody(0, 14)},
                   {rec::kXf, XfBody(0, 0)}});
    AppendSubstream(b, kWorksheetSubstream,
                    {{rec::kNumber, NumberBody(0, 0, 1, 100)},
                     {rec::kNumber, NumberBody(1, 0, 2, 100)},  // a date format
                     {rec::kNumber, NumberBody(2, 0, 3, 100)}});
    const auto file = Read(b.Build());
    TCells& cells = SheetOf(*file, 0).Cells();
    EXPECT_EQ(cells.Find(0, 0)->Value().Kind(), vkDouble);
    EXPECT_EQ(cells.Find(1, 0)->Value().Kind(), vkDate);
    EXPECT_EQ(cells.Find(2, 0)->Value().Kind(), vkDouble);
}

// Fonts and XFs out of place, in a sheet after its cells, would clear the tables the cells
// already point into; they are ignored, and every cell still formats its text.
TEST(TXLSReaderGlobalsTest, FontAndXfRecordsAfterTheGlobalsLeaveTheTablesAlone) {
    // Globals without fonts and XFs: the cells point into the default tables.
    const TXLSFile fresh;
    const int defaultXfs = fresh.Workbook().XFTable().Count();
    const int defaultFonts = fresh.Workbook().FontTable().Count();
    BiffBuilder b;
    AppendGlobals(b, {"S"});
    AppendSubstream(b, kWorksheetSubstream,
                    {{rec::kNumber, NumberBody(0, 0, 15, 1.5)},
                     {rec::kXf, XfBody(0, 14)},
                     {rec::kFont, FontBody(240, 0, 10, 700, "Times")},
                     {rec::kNumber, NumberBody(1, 0, 15, 2.5)}});
    const auto file = Read(b.Build());
    const TWorkbook& book = file->Workbook();
    EXPECT_EQ(book.XFTable().Count(), defaultXfs);
    EXPECT_EQ(book.FontTable().Count(), defaultFonts);
    TCells& cells = SheetOf(*file, 0).Cells();
    ASSERT_EQ(cells.Count(), 2);
    EXPECT_EQ(cells.Find(0, 0)->DisplayText(), u"1.5");
    EXPECT_EQ(cells.Find(1, 0)->DisplayText(), u"2.5");
    EXPECT_EQ(cells.Find(1, 0)->FontName(), u"Arial");

    // Cells of the globals (a stream without BOF) go to the first sheet; an XF after them
    // is out of place as well.
    BiffBuilder flat;
    flat.Record(rec::kBoundSheet8, BoundSheetBody("S"))
        .Record(rec::kNumber, NumberBody(0, 0, 15, 1.5))
        .Record(rec::kXf, XfBody(0, 14))
        .Record(rec::kNumber, NumberBody(1, 0, 15, 2.5));
    const auto globals = Read(flat.Build());
    EXPECT_EQ(globals->Workbook().XFTable().Count(), defaultXfs);
    EXPECT_EQ(SheetOf(*globals, 0).Cells().Find(1, 0)->DisplayText(), u"2.5");
}

// The colours of the workbook read; the process-wide palette new workbooks start from
// stays as it was.
TPalette PaletteOf(const Bytes& paletteBody) {
    const TPalette before = ProcessPalette();
    const auto file = Read(StringsWorkbook({{rec::kPalette, paletteBody}}, 0));
    EXPECT_EQ(ProcessPalette(), before);
    return file->Workbook().Settings().Palette;
}

TEST(TXLSReaderGlobalsTest, PaletteReplacesEntriesFromTheFirst) {
    Body palette;
    palette.u16(3);                            // colours
    palette.u8(0x11).u8(0x22).u8(0x33).u8(0);  // red, green, blue, reserved
    palette.u8(0x44).u8(0x55).u8(0x66).u8(0);
    palette.u8(0x77).u8(0x88).u8(0x99).u8(0);
    const TPalette read = PaletteOf(palette);
    EXPECT_EQ(PaletteColor(read, 1), 0x00332211u);  // red in the low byte
    EXPECT_EQ(PaletteColor(read, 2), 0x00665544u);
    EXPECT_EQ(PaletteColor(read, 3), 0x00998877u);
    EXPECT_EQ(PaletteColor(read, 4), PaletteColor(DefaultPalette(), 4));
}

TEST(TXLSReaderGlobalsTest, PaletteCountLargerThanItsBodyReadsWhatIsThere) {
    Body palette;
    palette.u16(56);        // colours announced
    palette.u32(0x0A0B0C);  // colour 1
    palette.u32(0x0D0E0F);  // colour 2
    palette.u16(0xFFFF);    // half a colour
    TPalette expected = DefaultPalette();
    expected[0] = 0x0A0B0C;
    expected[1] = 0x0D0E0F;
    EXPECT_EQ(PaletteOf(palette), expected);
}

TEST(TXLSReaderGlobalsTest, PaletteOfSixtyColoursChangesEntriesOneToFiftyEight) {
    Body palette;
    palette.u16(60);  // colours
    for (std::uint32_t i = 1; i <= 60; ++i)
        palette.u32(0x010000 * i + i);
    const TPalette read = PaletteOf(palette);
    for (int i = 1; i <= kPaletteSize; ++i) {
        EXPECT_EQ(PaletteColor(read, i), 0x010000u * i + i) << i;
    }
    EXPECT_EQ(PaletteColor(read, 59), 0u);
    EXPECT_EQ(PaletteColor(read, 0), 0u);
}

// Passwords, date system, progress.

TEST(TXLSReaderGlobalsTest, PasswordGoesToTheWorkbookOrToTheCurrentSheet) {
    BiffBuilder b;
    AppendGlobals(b, {"A", "B", "C"}, {{rec::kPassword, Body().u16(0xCE4B)}});
    AppendSubstream(b, kWorksheetSubstream, {});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kPassword, Body().u16(0x83AF)}});
    AppendSubstream(b, kWorksheetSubstream, {{rec::kPassword, Bytes{}}});  // no hash at all
    const auto file = Read(b.Build());
    EXPECT_EQ(file->Workbook().PasswordHash, 0xCE4B);
    EXPECT_EQ(SheetOf(*file, 0).PasswordHash, 0);
    EXPECT_EQ(SheetOf(*file, 1).PasswordHash, 0x83AF);
    EXPECT_EQ(SheetOf(*file, 2).PasswordHash, 0);
}

TEST(TXLSReaderGlobalsTest, FieldCutInHalfByTheBodyEndReadsAsZero) {
    BiffBuilder b;
    AppendGlobals(b, {"S"}, {{rec::kPassword, Body().u8(0x7F)}});  // half a hash
    EXPECT_EQ(Read(b.Build())->Workbook().PasswordHash, 0);
}

TEST(TXLSReaderGlobalsTest, DateModeSelectsThe1904DateSystem) {
    const auto bookWith = [](const RecordList& dateMode) {
        RecordList globals = dateMode;
        globals.push_back({rec::kXf, XfBody(0, 0)});
        globals.push_back({rec::kXf, XfBody(0, 14)});  // a date format
        BiffBuilder b;
        AppendGlobals(b, {"S"}, globals);
        AppendSubstream(b, kWorksheetSubstream, {{rec::kNumber, NumberBody(0, 0, 1, 1)}});
        return b.Build();
    };
    const auto modern = Read(bookWith({{rec::kDate1904, Body().u16(1)}}));
    EXPECT_EQ(modern->Workbook().DateMode, 1904);
    const TCellValue day = SheetOf(*modern, 0).Cells().Find(0, 0)->Value();
    EXPECT_EQ(day.Kind(), vkDate);
    EXPECT_EQ(day.AsDouble(), 1463.0);  // 2 January 1904

    const auto classic = Read(bookWith({{rec::kDate1904, Body().u16(0)}}));
    EXPECT_EQ(classic->Workbook().DateMode, 1900);
    EXPECT_EQ(SheetOf(*classic, 0).Cells().Find(0, 0)->Value().AsDouble(), 2.0);  // 1 January 1900
    EXPECT_EQ(Read(bookWith({}))->Workbook().DateMode, 1900);
}

TEST(TXLSReaderGlobalsTest, ProgressReportsTheStreamPositionAfterEveryFetch) {
    // Five records in one block: every fetch after the first block load is at its end.
    BiffBuilder small;
    AppendGlobals(small, {"S"});
    AppendSubstream(small, kWorksheetSubstream, {});
    std::vector<double> seen;
    TXLSFile file;
    file.SetOnProgress([&](double f) { seen.push_back(f); });
    OpenWorkbook(file, small.Build());
    EXPECT_EQ(seen, std::vector<double>(6, 1.0));  // five records and the fetch that ends

    // Three blocks: the position moves in steps of 1024 bytes.
    BiffBuilder big;
    AppendGlobals(big, {"S"}, {{0x005C, Body().zeros(1500)}, {0x005C, Body().zeros(600)}});
    AppendSubstream(big, kWorksheetSubstream, {});
    const Bytes stream = big.Build();
    const double size = static_cast<double>(stream.size());
    ASSERT_GT(size, 2048);
    ASSERT_LT(size, 3072);
    seen.clear();
    OpenWorkbook(file, stream);
    ASSERT_FALSE(seen.empty());
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(seen[i - 1], seen[i]);
    EXPECT_EQ(seen.front(), 1024 / size);
    EXPECT_EQ(seen.back(), 1.0);
    std::vector<double> steps = seen;
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    EXPECT_EQ(steps, (std::vector<double>{1024 / size, 2048 / size, 1.0}));

    // An empty stream reports 1.
    seen.clear();
    OpenWorkbook(file, Bytes{});
    EXPECT_EQ(seen, std::vector<double>{1.0});
    EXPECT_EQ(file.Workbook().Sheets().Count(), 0);
}

// Encrypted workbooks.

namespace {

enum class Scheme { Rc4, CryptoApi, CryptoApi40, Xor };

// Globals with FILEPASS right after BOF, then sheets "Data" (one number and two shared
// strings, one of which spans a block boundary through a CONTINUE) and "Chart". Records
// the encryption leaves in clear come between encrypted ones.
Bytes EncryptedWorkbook(const std::function<void(BiffBuilder&)>& filePass) {
    std::string longText(1500, 'q');
    BiffBuilder b;
    b.Record(rec::kBof, BofBody(kGlobalsSubstream));
    filePass(b);
    b.Record(rec::kInterfaceHdr, Body().u16(1200));
    b.Record(0x0194, Body().zeros(3));  // USREXCL
    b.Record(rec::kBoundSheet8, BoundSheetBody("Data"));
    b.Record(rec::kBoundSheet8, BoundSheetBody("Chart", kChartSheetOptions));
    b.Record(rec::kFont, FontBody(200, 0, 8, 400, "Verdana"));
    b.Record(rec::kSst, Body()
                            .bytes(SstHeader(2, 2))
                            .u16(5)  // string 0: 5 characters
                            .u8(0)   // 8-bit
                            .ascii("plain")
                            .u16(1500)  // string 1: 1500 characters
                            .u8(0)      // 8-bit
                            .ascii(longText.substr(0, 900)));
    b.Record(rec::kContinue, Body()
                                 .u8(0)  // 8-bit
                                 .ascii(longText.substr(900)));
    b.Record(rec::kEof, {});
    AppendSubstream(b, kWorksheetSubstream,
                    {{rec::kNumber, NumberBody(0, 0, 0, 7)},
                     {rec::kLabelSst, LabelSstBody(1, 0, 0, 0)},
                     {rec::kLabelSst, LabelSstBody(2, 0, 0, 1)}});
    AppendSubstream(b, kChartSubstream, {{rec::kNumber, NumberBody(0, 0, 0, 8)}});
    return b.Build();
}

Bytes EncryptedWorkbook(const std::u16string& password, Scheme scheme = Scheme::Rc4) {
    return EncryptedWorkbook([&](BiffBuilder& b) {
        switch (scheme) {
            case Scheme::Rc4:
                b.FilePass(password);
                break;
            case Scheme::CryptoApi:
                b.FilePassCryptoApi(password);
                break;
            case Scheme::CryptoApi40:
                b.FilePassCryptoApi(password, 40, 2);
                break;
            case Scheme::Xor:
                b.FilePassXor(std::string(password.begin(), password.end()));
                break;
        }
    });
}

void ExpectDecrypted(const TXLSFile& file) {
    EXPECT_EQ(SheetNames(file), (std::vector<std::u16string>{u"Data", u"Chart"}));
    const TCells& cells = SheetOf(file, 0).Cells();
    ASSERT_EQ(cells.Count(), 3);
    EXPECT_EQ(cells.Find(0, 0)->Value().AsDouble(), 7.0);
    EXPECT_EQ(cells.Find(1, 0)->Value().AsWideText(), u"plain");
    EXPECT_EQ(cells.Find(2, 0)->Value().AsWideText(), std::u16string(1500, u'q'));
    EXPECT_EQ(SheetOf(file, 1).Cells().Count(), 0);  // the chart's BOF type was read plain
    EXPECT_EQ(TVirtualFontTable::GetFontName(file.Workbook().FontTable().RecordAt(0)), u"Verdana");
}

}  // namespace

TEST(TXLSReaderGlobalsTest, DefaultPasswordOpensWithoutOrWithAnyPassword) {
    const Bytes stream = EncryptedWorkbook(u"VelvetSweatshop");
    ExpectDecrypted(*Read(stream));
    ExpectDecrypted(*Read(stream, u"whatever"));  // the default is tried next
    // Too long a password fails before the default is tried.
    EXPECT_EQ(ReadError(stream, u"0123456789abcdef"),
              "File protection password must have 0-15 characters.");
}

TEST(TXLSReaderGlobalsTest, UserPasswordIsRequired) {
    const Bytes stream = EncryptedWorkbook(u"Geheim");
    ExpectDecrypted(*Read(stream, u"Geheim"));
    TXLSFile file;
    EXPECT_EQ(ReadError(stream, u"", &file), kInvalidPassword);
    EXPECT_FALSE(file.Loaded());
    EXPECT_EQ(file.Workbook().LoadState(), lsReading);
    EXPECT_EQ(ReadError(stream, u"geheim"), kInvalidPassword);
    EXPECT_EQ(ReadError(stream, u"Geheim "), kInvalidPassword);

    const std::u16string longest = u"\u043F\u0430\u0440\u043E\u043B\u044C-12345678";  // 15 units
    ASSERT_EQ(longest.size(), 15u);
    ExpectDecrypted(*Read(EncryptedWorkbook(longest), longest));
    EXPECT_EQ(ReadError(EncryptedWorkbook(longest), longest + u"!"),
              "File protection password must have 0-15 characters.");
}

// XOR and RC4 with the CryptoAPI open as RC4 does: with the default password without
// asking, with a user password only when it is given; nothing is read past a FILEPASS
// that the password does not open.
TEST(TXLSReaderGlobalsTest, EveryEncryptionOpensWithItsPassword) {
    const std::pair<Scheme, TEncryption> schemes[] = {
        {Scheme::Rc4, TEncryption::Rc4},
        {Scheme::CryptoApi, TEncryption::Rc4CryptoApi},
        {Scheme::CryptoApi40, TEncryption::Rc4CryptoApi},
        {Scheme::Xor, TEncryption::Xor}};
    for (const auto& [scheme, encryption] : schemes) {
        SCOPED_TRACE(static_cast<int>(scheme));
        const Bytes byDefault = EncryptedWorkbook(u"VelvetSweatshop", scheme);
        const auto opened = Read(byDefault);
        ExpectDecrypted(*opened);
        EXPECT_EQ(opened->Workbook().Encryption, encryption);
        ExpectDecrypted(*Read(byDefault, u"other"));

        const Bytes secret = EncryptedWorkbook(u"Geheim", scheme);
        ExpectDecrypted(*Read(secret, u"Geheim"));
        for (const std::u16string wrong : {u"", u"geheim", u"Geheim "}) {
            TXLSFile file;
            EXPECT_EQ(ReadError(secret, wrong, &file), kInvalidPassword);
            EXPECT_FALSE(file.Loaded());
            EXPECT_EQ(file.Workbook().Sheets().Count(), 0);
        }
    }
    EXPECT_EQ(Read(WorkbookStream({{"S", {}}}))->Workbook().Encryption, TEncryption::None);
}

// CryptoAPI keys of 40 bits (also written as 0) to 128 bits, headers of versions 2 to 4.
TEST(TXLSReaderGlobalsTest, CryptoApiKeySizesAndVersions) {
    const std::pair<std::uint32_t, std::uint16_t> headers[] = {
        {0, 2}, {40, 3}, {56, 3}, {96, 4}, {128, 2}};
    for (const auto& [bits, major] : headers) {
        SCOPED_TRACE(bits);
        const Bytes stream =
            EncryptedWorkbook([&](BiffBuilder& b) { b.FilePassCryptoApi(u"pw", bits, major); });
        ExpectDecrypted(*Read(stream, u"pw"));
        EXPECT_EQ(ReadError(stream, u"pv"), kInvalidPassword);
    }
    const Bytes oddKey =
        EncryptedWorkbook([&](BiffBuilder& b) { b.FilePassCryptoApi(u"pw", 44, 4); });
    EXPECT_EQ(ReadError(oddKey, u"pw"),
              "Error: data is protected, and this encryption type not supported.");
    EXPECT_EQ(ReadError(UnsupportedEncryptionStream(), u"pw"),
              "Error: data is protected, and this encryption type not supported.");
}

TEST(TXLSReaderGlobalsTest, LongPasswordOnlyMattersForAnEncryptedWorkbook) {
    BiffBuilder b;
    AppendGlobals(b, {"S"});
    EXPECT_EQ(ReadError(b.Build(), std::u16string(40, u'p')), "");
}

TEST(TXLSReaderGlobalsTest, UnsupportedEncryptionIsRefused) {
    const auto withFilePass = [](std::uint16_t type, std::uint16_t minor) {
        BiffBuilder b;
        b.Record(rec::kBof, BofBody(kGlobalsSubstream));
        b.FilePassRaw(Body()
                          .u16(type)    // encryption type
                          .u16(1)       // major version
                          .u16(minor)   // minor version
                          .zeros(48));  // salt, verifier, verifier hash
        b.Record(rec::kBoundSheet8, BoundSheetBody("S")).Record(rec::kEof, {});
        return b.Build();
    };
    EXPECT_EQ(ReadError(withFilePass(2, 1)),
              "Error: data is protected, and this encryption type not supported.");
    EXPECT_EQ(ReadError(withFilePass(1, 2)), "Error: strong encryption not supported.");
    EXPECT_EQ(ReadError(withFilePass(1, 1)), kInvalidPassword);  // right layout, wrong keys
    // Type 0 is the XOR obfuscation: key 1 and verifier 1 belong to no password.
    EXPECT_EQ(ReadError(withFilePass(0, 1)), kInvalidPassword);
    // A body too short for its minor version reads it as 0.
    BiffBuilder shortBook;
    shortBook.Record(rec::kBof, BofBody(kGlobalsSubstream));
    shortBook.FilePassRaw(Body().u16(1).u16(1));
    EXPECT_EQ(ReadError(shortBook.Record(rec::kEof, {}).Build()),
              "Error: strong encryption not supported.");
}

// A file opened once for its checks and its read answers as the checks by name do, and
// reads, or fails to read, as a read by name.
TEST(TXLSDocumentTest, AnswersAndFailsAsTheChecksByName) {
    TempDir dir;
    WriteWorkbook(dir / "plain.xls", WorkbookStream({{"S", {}}}));
    WriteWorkbook(dir / "secret.xls", EncryptedWorkbookStream(u"pw"));
    WriteFile(dir / "text.xls", Body().ascii("not a workbook"));
    for (const char* name : {"plain.xls", "secret.xls", "text.xls", "missing.xls"}) {
        SCOPED_TRACE(name);
        const std::u16string path = U16Path(dir / name);
        const auto failure = [](const std::function<void()>& run) -> std::string {
            try {
                run();
            } catch (const std::exception& e) {
                return e.what();
            }
            return "";
        };
        // By name first: the open document keeps the file locked.
        const std::uint8_t version = GetXLSFileVersion(path);
        const std::string protection = failure([&] { (void)GetXLSFileProtection(path); });
        TXLSFile byName;
        const std::string read = failure([&] { byName.OpenFile(path, u"pw"); });

        TXLSDocument document(path);
        EXPECT_EQ(document.Version(), version);
        EXPECT_EQ(failure([&] { (void)document.Protection(); }), protection);
        TXLSFile opened;
        EXPECT_EQ(failure([&] { opened.OpenDocument(document, u"pw"); }), read);
        EXPECT_EQ(opened.Loaded(), byName.Loaded());
    }
}
