// Pictures and comments read from drawing records: the picture store, shapes, objects,
// text objects and notes, placed on their sheets after the last record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/DrawingBuilder.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/Errors.h"
#include "xls/model/TCellComments.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRangeRects.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using namespace vorlix::test;

namespace {

const Bytes kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};
const Bytes kJpeg = {0xFF, 0xD8, 0xFF, 0xE0, 4, 5, 6, 0xFF, 0xD9};
const Bytes kDib = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 9, 9, 9};
const Bytes kMetafile = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};

Bytes DataOf(const TXLSImage& image) {
    return Bytes(image.Data.Memory(), image.Data.Memory() + image.Data.Size());
}

// One sheet "Sheet1" with `records`, a picture store of `entries` when there are any.
Bytes Book(const RecordList& records, const std::vector<Bytes>& entries = {},
           const RecordList& globals = {}) {
    RecordList g = globals;
    if (!entries.empty()) g.push_back({rec::kMsoDrawingGroup, DrawingGroupBody(entries)});
    return WorkbookStream({{"Sheet1", records}}, g);
}

void Read(TXLSFile& file, const Bytes& stream, bool drawings = true) {
    TReadOptions options;
    options.ReadDrawings = drawings;
    file.SetReadOptions(options);
    OpenWorkbook(file, stream);
}

RecordList Concat(std::initializer_list<RecordList> lists) {
    RecordList out;
    for (const RecordList& l : lists)
        out.insert(out.end(), l.begin(), l.end());
    return out;
}

// The drawing-stream error, or "" when the read succeeds.
std::string ReadError(const Bytes& stream, bool drawings = true) {
    TXLSFile file;
    try {
        Read(file, stream, drawings);
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.ErrorCode(), xeDrawingStream);
        return e.what();
    }
    return "";
}

// Five fonts: workbook indexes 0, 1, 2, 3 and 5 (the format has no font 4); 5 is bold.
RecordList Fonts() {
    RecordList fonts;
    for (int i = 0; i < 4; ++i)
        fonts.push_back({rec::kFont, FontBody(200, 0, 8, 400, "Arial")});
    fonts.push_back({rec::kFont, FontBody(180, 0, 8, 700, "Tahoma")});
    return fonts;
}

}  // namespace

TEST(TXLSReaderDrawingsTest, CommentOnB3HasItsAuthorTextBoxAndRuns) {
    const std::u16string text = u"Ann:\nHello";
    RecordList comment = CommentRecords(7, text, {2, 0, 1, 0, 4, 0, 5, 0});
    // Two runs: "Ann:" in font 5 (the fifth font of the table), the rest in font 0.
    comment.back().second = TxoRunsBody({{0, 5}, {4, 0}}, 10);
    TXLSFile file;
    Read(file, Book(Concat({comment, {{rec::kNote, NoteBody(2, 1, 7, u"Ann")}}}), {}, Fonts()));

    const TCellComments& comments = file.Workbook().Sheets().Items(0).Comments();
    ASSERT_EQ(comments.Count(), 1);
    const TCellComment& c = comments.Items(0);
    EXPECT_EQ(c.Row(), 2);
    EXPECT_EQ(c.Col(), 1);
    EXPECT_EQ(c.Author(), u"Ann");
    EXPECT_EQ(c.Text(), text);
    // Columns C and D, rows 2 to 5 at the default sizes.
    EXPECT_EQ(c.Width(), 2 * 64);
    EXPECT_EQ(c.Height(), 4 * 17);
    // The closing run at the end of the text describes no character.
    EXPECT_EQ(c.RichText(),
              "1-4(style:b;color:000000;size:9;font:Tahoma;);"
              "5-10(color:000000;size:10;font:Arial;);");
    EXPECT_EQ(file.Workbook().Sheets().Items(0).Images().Count(), 0);
}

TEST(TXLSReaderDrawingsTest, CommentTextGoesOnInLaterContinueRecords) {
    // A 16-bit author, and a text whose characters fill two CONTINUE records; drawing data
    // after the runs goes on in a CONTINUE too (here: a picture frame).
    const std::u16string first = u"Zoë ", second = u"writes";
    RecordList records = {
        {rec::kMsoDrawing,
         Join({SheetDrawingStart(), ShapeContainer(kShapeTextBox, std::nullopt, Anchor{})})},
        {rec::kObj, ObjBody(kObjComment, 1)},
        {rec::kMsoDrawing, MsoRecord(kMsoClientTextbox, 0, {})},
        {rec::kTxo, TxoBody(10, 16)},
        {rec::kContinue, TxoTextBody(first, true)},
        {rec::kContinue, TxoTextBody(second, false)},
        {rec::kContinue, TxoRunsBody({{0, 0}}, 10)},
        {rec::kContinue, ShapeContainer(kShapePictureFrame, 1, Anchor{0, 0, 0, 0, 1, 0, 1, 0})},
        {rec::kObj, ObjBody(kObjPicture, 2)},
        {rec::kNote, NoteBody(0, 0, 1, u"Zoë", true)}};
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng)}));
    const TSheet& sheet = file.Workbook().Sheets().Items(0);
    ASSERT_EQ(sheet.Comments().Count(), 1);
    EXPECT_EQ(sheet.Comments().Items(0).Text(), u"Zoë writes");
    EXPECT_EQ(sheet.Comments().Items(0).Author(), u"Zoë");
    ASSERT_EQ(sheet.Images().Count(), 1);
    EXPECT_EQ(DataOf(sheet.Images().Items(0)), kPng);
}

TEST(TXLSReaderDrawingsTest, PicturesKeepTheirBytesAndType) {
    RecordList records;
    for (std::uint16_t i = 1; i <= 8; ++i) {
        const RecordList p = PictureRecords(i, i, Anchor{i, 0, 0, 0, i, 512, 1, 0}, i == 1);
        records.insert(records.end(), p.begin(), p.end());
    }
    // Two with a second identifier in their picture record.
    TXLSFile file;
    Read(file, Book(records,
                    {BseEntry(kBlipPng, kPng), BseEntry(kBlipJpeg, kJpeg), BseEntry(kBlipDib, kDib),
                     BseEntry(kBlipEmf, kMetafile), BseEntry(kBlipWmf, kMetafile),
                     BseEntry(kBlipPng, kPng, false, true),
                     BseEntry(kBlipEmf, kMetafile, false, true), BseEntry(kBlipCmykJpeg, kJpeg)}));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 8);
    EXPECT_EQ(DataOf(images.Items(5)), kPng);
    EXPECT_EQ(DataOf(images.Items(6)), DataOf(images.Items(3)));
    // A JPEG in CMYK colours is a JPEG.
    EXPECT_EQ(DataOf(images.Items(7)), kJpeg);
    EXPECT_EQ(images.Items(7).BlipType, kBlipJpeg);
    EXPECT_EQ(DataOf(images.Items(0)), kPng);
    EXPECT_EQ(images.Items(0).BlipType, kBlipPng);
    EXPECT_EQ(DataOf(images.Items(1)), kJpeg);
    EXPECT_EQ(images.Items(1).BlipType, kBlipJpeg);
    // A bitmap behind the signature of a bitmap file header with no size or offset.
    Bytes dib = {0x42, 0x4D, 0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    dib.insert(dib.end(), kDib.begin(), kDib.end());
    EXPECT_EQ(DataOf(images.Items(2)), dib);
    EXPECT_EQ(images.Items(2).BlipType, kBlipDib);
    // Metafiles: FF x 8, the type, FF, then the picture record's body: its identifier, the
    // metafile header and the compressed bytes.
    for (int k : {3, 4}) {
        const Bytes data = DataOf(images.Items(k));
        const std::uint8_t type = k == 3 ? kBlipEmf : kBlipWmf;
        ASSERT_EQ(data.size(), 10u + 16 + 34 + kMetafile.size());
        EXPECT_EQ(Bytes(data.begin(), data.begin() + 10),
                  (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, type, 0xFF}));
        EXPECT_EQ(Bytes(data.end() - static_cast<std::ptrdiff_t>(kMetafile.size()), data.end()),
                  kMetafile);
        EXPECT_EQ(images.Items(k).BlipType, type);
    }
    // Each picture sits in its own column, half a column wide, one row high.
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(images.Items(k).FirstCol, k + 1);
        EXPECT_EQ(images.Items(k).FirstRow, 0);
        EXPECT_EQ(images.Items(k).Width, 32);
        EXPECT_EQ(images.Items(k).Height, 17);
    }
}

// Every frame that shows a picture gets its own copy. What one read may copy grows with
// the workbook (16 MB plus 8 bytes per byte), so one picture of 1 MB shown by 40 frames
// is placed about 24 times, not 40; each frame left out is named among the warnings.
TEST(TXLSReaderDrawingsTest, PictureCopiesStayWithinABudgetThatGrowsWithTheWorkbook) {
    Bytes big = kPng;
    big.resize(1u << 20, 0x55);
    RecordList records;
    for (std::uint16_t i = 1; i <= 40; ++i) {
        const RecordList p = PictureRecords(i, 1, Anchor{i, 0, 0, 0, i, 512, 1, 0}, i == 1);
        records.insert(records.end(), p.begin(), p.end());
    }
    // The picture store in records of 8224 bytes, the first an MSODRAWINGGROUP.
    const Bytes group = DrawingGroupBody({BseEntry(kBlipPng, big)});
    RecordList globals;
    for (std::size_t at = 0; at < group.size(); at += 8224) {
        const auto from = group.begin() + static_cast<std::ptrdiff_t>(at);
        globals.push_back({at == 0 ? rec::kMsoDrawingGroup : rec::kContinue,
                           Bytes(from, from + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                  8224, group.size() - at)))});
    }
    TXLSFile file;
    Read(file, Book(records, {}, globals));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    EXPECT_GE(images.Count(), 20);
    EXPECT_LE(images.Count(), 26);
    EXPECT_EQ(DataOf(images.Items(images.Count() - 1)), big);
    const std::vector<std::string>& warnings = file.Workbook().Warnings;
    ASSERT_EQ(warnings.size(), static_cast<std::size_t>(40 - images.Count()));
    // The first frame left out is the one after the last placed (frame i in column i).
    EXPECT_EQ(warnings.front(), "picture at Sheet1!" + ColumnName(images.Count() + 1) +
                                    "1 (1048576 bytes) not kept: the pictures of this "
                                    "workbook are over what one read copies (24 MB)");
}

TEST(TXLSReaderDrawingsTest, PictureFromTheMiddleOfBToTheMiddleOfD) {
    // C is 13 characters wide (91 pixels); F is hidden.
    const Bytes widthC = Body().u16(2).u16(2).u16(13 * 256).u16(0).u16(0);
    const Bytes hiddenF = Body().u16(5).u16(5).u16(10 * 256).u16(0).u16(1);
    const RecordList records =
        Concat({{{rec::kColInfo, widthC}, {rec::kColInfo, hiddenF}},
                PictureRecords(1, 1, Anchor{1, 512, 2, 128, 3, 512, 4, 128}),
                // Over E, the hidden F and G; inside one cell of H: the offsets' difference.
                PictureRecords(2, 1, Anchor{4, 0, 0, 0, 7, 0, 1, 0}, false),
                PictureRecords(3, 1, Anchor{7, 256, 0, 0, 7, 768, 0, 64}, false),
                PictureRecords(4, 1, Anchor{8, 768, 0, 0, 8, 256, 0, 0}, false)});
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng)}));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 4);
    const TXLSImage& b = images.Items(0);
    EXPECT_EQ(b.FirstCol, 1);
    EXPECT_EQ(b.FirstRow, 2);
    EXPECT_EQ(b.LeftOffset, 32);
    // Half of 17 rounds to the even 8.
    EXPECT_EQ(b.TopOffset, 8);
    EXPECT_EQ(b.Width, 32 + 91 + 32);
    EXPECT_EQ(b.Height, 9 + 17 + 8);
    EXPECT_EQ(images.Items(1).Width, 64 + 0 + 64);
    EXPECT_EQ(images.Items(1).Height, 17);
    EXPECT_EQ(images.Items(2).LeftOffset, 16);
    EXPECT_EQ(images.Items(2).Width, 32);
    EXPECT_EQ(images.Items(2).Height, 4);
    // An anchor that ends before it starts still gives a picture of one pixel.
    EXPECT_EQ(images.Items(3).Width, 1);
}

TEST(TXLSReaderDrawingsTest, WhatIsNoPictureOrCommentIsDropped) {
    const RecordList chart = {
        {rec::kMsoDrawing, ShapeContainer(kShapeHostControl, std::nullopt, Anchor{})},
        {rec::kObj, ObjBody(kObjChart, 2)}};
    const RecordList button = {
        {rec::kMsoDrawing, ShapeContainer(kShapeHostControl, std::nullopt, Anchor{})},
        {rec::kObj, ObjBody(kObjButton, 3)},
        {rec::kMsoDrawing, MsoRecord(kMsoClientTextbox, 0, {})},
        {rec::kTxo, TxoBody(2, 16)},
        {rec::kContinue, TxoTextBody(u"OK", false)},
        {rec::kContinue, TxoRunsBody({{0, 0}}, 2)}};
    // A picture frame with an empty store entry, one whose index is past the store, one
    // that no object names.
    const RecordList records =
        Concat({PictureRecords(1, 1, Anchor{}),
                chart,
                button,
                PictureRecords(4, 3, Anchor{}, false),
                {{rec::kMsoDrawing, ShapeContainer(kShapePictureFrame, 2, Anchor{})}},
                PictureRecords(5, 2, Anchor{}, false)});
    RecordList withChart = records;
    // The chart's own substream follows its object.
    withChart.insert(withChart.begin() + 4, {rec::kBof, BofBody(kChartSubstream)});
    withChart.insert(withChart.begin() + 5, {rec::kEof, {}});
    TXLSFile file;
    Read(file, Book(withChart, {BseEntry(kBlipPng, kPng, true), BseEntry(kBlipJpeg, kJpeg)}));
    const TSheet& sheet = file.Workbook().Sheets().Items(0);
    ASSERT_EQ(sheet.Images().Count(), 1);
    EXPECT_EQ(DataOf(sheet.Images().Items(0)), kJpeg);
    EXPECT_EQ(sheet.Comments().Count(), 0);
}

TEST(TXLSReaderDrawingsTest, ShapesDrawnOnAChartAreTheChartsOwn) {
    // A picture inside an embedded chart whose object id is that of a comment on the sheet:
    // the chart's picture is not the sheet's, and the note finds the comment.
    RecordList chart = {{rec::kBof, BofBody(kChartSubstream)}};
    const RecordList inChart = PictureRecords(1, 1, Anchor{}, false);
    chart.insert(chart.end(), inChart.begin(), inChart.end());
    chart.push_back({rec::kEof, {}});
    const RecordList records =
        Concat({PictureRecords(9, 1, Anchor{}),
                {{rec::kMsoDrawing, ShapeContainer(kShapeHostControl, std::nullopt, Anchor{})},
                 {rec::kObj, ObjBody(kObjChart, 2)}},
                chart,
                CommentRecords(1, u"on the sheet", Anchor{}, false),
                {{rec::kNote, NoteBody(4, 4, 1, u"A")}}});
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng)}));
    const TSheet& sheet = file.Workbook().Sheets().Items(0);
    EXPECT_EQ(sheet.Images().Count(), 1);
    ASSERT_EQ(sheet.Comments().Count(), 1);
    EXPECT_EQ(sheet.Comments().Items(0).Text(), u"on the sheet");
}

TEST(TXLSReaderDrawingsTest, PictureStoreRunsOnAcrossRecords) {
    const Bytes group = DrawingGroupBody({BseEntry(kBlipPng, kPng), BseEntry(kBlipJpeg, kJpeg)});
    const auto at = [&](std::size_t n) { return group.begin() + static_cast<std::ptrdiff_t>(n); };
    const RecordList globals = {{rec::kMsoDrawingGroup, Bytes(group.begin(), at(40))},
                                {rec::kContinue, Bytes(at(40), at(80))},
                                {rec::kMsoDrawingGroup, Bytes(at(80), group.end())}};
    TXLSFile file;
    Read(file, Book(Concat({PictureRecords(1, 2, Anchor{}), PictureRecords(2, 1, Anchor{}, false)}),
                    {}, globals));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 2);
    EXPECT_EQ(DataOf(images.Items(0)), kJpeg);
    EXPECT_EQ(DataOf(images.Items(1)), kPng);
}

TEST(TXLSReaderDrawingsTest, ObjectFollowedByDrawingDataInAContinue) {
    const RecordList records = {
        {rec::kMsoDrawing,
         Join({SheetDrawingStart(), ShapeContainer(kShapePictureFrame, 1, Anchor{})})},
        {rec::kObj, ObjBody(kObjPicture, 1)},
        {rec::kContinue, ShapeContainer(kShapePictureFrame, 1, Anchor{2, 0, 3, 0, 3, 0, 4, 0})},
        {rec::kObj, ObjBody(kObjPicture, 2)}};
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng)}));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 2);
    EXPECT_EQ(images.Items(1).FirstCol, 2);
    EXPECT_EQ(images.Items(1).FirstRow, 3);
}

TEST(TXLSReaderDrawingsTest, InconsistentDrawingDataFailsTheReadOnlyWithDrawingsOn) {
    const std::string message = "Invalid data. Error in drawing stream.";
    const Bytes shortAnchor =
        Join({ShapeContainer(kShapePictureFrame, 1, std::nullopt),
              Body().u16(0).u16(kMsoClientAnchor).u32(18).u16(2).u16(1).u16(0).u16(1)});
    const RecordList comment = CommentRecords(1, u"x", Anchor{});
    const RecordList picture = PictureRecords(2, 1, Anchor{});
    struct Case {
        const char* what;
        Bytes stream;
    };
    const std::vector<Case> cases = {
        {"an anchor cut short", Book({{rec::kMsoDrawing, shortAnchor}})},
        {"a note without its shape", Book(Concat({comment, {{rec::kNote, NoteBody(0, 0, 9, u"")}}}))},
        {"a note naming a picture",
         Book(Concat({picture, {{rec::kNote, NoteBody(0, 0, 2, u"")}}}), {BseEntry(6, kPng)})},
        {"a note shorter than 10 bytes",
         Book(Concat({comment, {{rec::kNote, Body().u16(0).u16(0).u16(0).u16(1)}}}))},
        {"a comment's text for a picture",
         Book({{rec::kMsoDrawing, ShapeContainer(kShapePictureFrame, 1, Anchor{})},
               {rec::kObj, ObjBody(kObjComment, 1)},
               {rec::kTxo, TxoBody(1, 0)},
               {rec::kContinue, TxoTextBody(u"x", false)}})},
        {"an object's common data cut short",
         Book({{rec::kMsoDrawing, ShapeContainer(kShapeTextBox, std::nullopt, Anchor{})},
               {rec::kObj, Body().u16(0x15).u16(0x12).u16(kObjComment)}})},
        {"a comment on column 256",
         Book(Concat({comment, {{rec::kNote, NoteBody(0, 256, 1, u"")}}}))},
        {"a shape on a sheet the workbook does not list",
         [&] {
             BiffBuilder b;
             AppendGlobals(b, {"Sheet1"}, {{rec::kMsoDrawingGroup,
                                            DrawingGroupBody({BseEntry(kBlipPng, kPng)})}});
             AppendSubstream(b, kWorksheetSubstream, {});
             AppendSubstream(b, kWorksheetSubstream, picture);
             return b.Build();
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadError(c.stream), message);
        EXPECT_EQ(ReadError(c.stream, false), "");
    }
}

TEST(TXLSReaderDrawingsTest, WithoutReadDrawingsNothingIsPlaced) {
    const RecordList records = Concat({PictureRecords(1, 1, Anchor{0, 0, 0, 0, 2, 0, 2, 0}),
                                       CommentRecords(2, u"note", Anchor{}, false),
                                       {{rec::kNote, NoteBody(0, 0, 2, u"A")}}});
    const Bytes stream = Book(records, {BseEntry(kBlipPng, kPng)});
    TXLSFile on, off;
    Read(on, stream);
    Read(off, stream, false);
    EXPECT_EQ(on.Workbook().Sheets().Items(0).Images().Count(), 1);
    EXPECT_EQ(on.Workbook().Sheets().Items(0).Comments().Count(), 1);
    EXPECT_EQ(off.Workbook().Sheets().Items(0).Images().Count(), 0);
    EXPECT_EQ(off.Workbook().Sheets().Items(0).Comments().Count(), 0);
}

TEST(TXLSReaderDrawingsTest, HostileLengthsEndTheDataWithoutHarm) {
    // A store entry claiming 4 GB of picture, a record claiming more than its body holds,
    // containers nested eight thousand deep.
    Bytes huge = BseEntry(kBlipPng, kPng);
    huge[8 + 20] = huge[8 + 21] = huge[8 + 22] = huge[8 + 23] = 0xFF;
    Body nested;
    for (int i = 0; i < 8000; ++i)
        nested.u16(0x000F).u16(kMsoSpContainer).u32(0xFFFFFFFF);
    const Bytes shapes =
        Join({nested, ShapeContainer(kShapePictureFrame, 1, Anchor{}),
              MsoRecord(0xF122, 0, Bytes(4)), Body().u16(0).u16(0xF122).u32(0xFFFFFFF0)});
    TXLSFile file;
    Read(file, Book({{rec::kMsoDrawing, shapes}, {rec::kObj, ObjBody(kObjPicture, 1)}}, {huge}));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 1);
    EXPECT_EQ(DataOf(images.Items(0)), kPng);
}

TEST(TXLSReaderDrawingsTest, ShapeDataGoingOnInAContinueIsOneDrawing) {
    // A writer cuts a long MSODRAWING body into CONTINUE records, anywhere: here inside the
    // picture's client anchor and inside the comment's shape record.
    const Bytes picture =
        Join({SheetDrawingStart(),
              ShapeContainer(kShapePictureFrame, 1, Anchor{2, 0, 3, 0, 4, 0, 5, 0})});
    const Bytes comment =
        ShapeContainer(kShapeTextBox, std::nullopt, Anchor{1, 0, 1, 0, 3, 0, 4, 0});
    const auto cut = [](const Bytes& b, std::size_t at) {
        const auto mid = b.begin() + static_cast<std::ptrdiff_t>(at);
        return std::pair{Bytes(b.begin(), mid), Bytes(mid, b.end())};
    };
    const auto [p1, p2] = cut(picture, picture.size() - 6);
    const auto [c1, c2] = cut(comment, 12);
    const RecordList records = {{rec::kMsoDrawing, p1},
                                {rec::kContinue, p2},
                                {rec::kObj, ObjBody(kObjPicture, 1)},
                                {rec::kMsoDrawing, c1},
                                {rec::kContinue, c2},
                                {rec::kObj, ObjBody(kObjComment, 2)},
                                {rec::kMsoDrawing, MsoRecord(kMsoClientTextbox, 0, {})},
                                {rec::kTxo, TxoBody(1, 16)},
                                {rec::kContinue, TxoTextBody(u"x", false)},
                                {rec::kContinue, TxoRunsBody({{0, 0}}, 1)},
                                {rec::kNote, NoteBody(0, 0, 2, u"A")}};
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng)}));
    const TSheet& sheet = file.Workbook().Sheets().Items(0);
    ASSERT_EQ(sheet.Images().Count(), 1);
    const TXLSImage& image = sheet.Images().Items(0);
    EXPECT_EQ(image.FirstCol, 2);
    EXPECT_EQ(image.FirstRow, 3);
    EXPECT_EQ(image.Width, 2 * 64);
    EXPECT_EQ(image.Height, 2 * 17);
    ASSERT_EQ(sheet.Comments().Count(), 1);
    EXPECT_EQ(sheet.Comments().Items(0).Width(), 2 * 64);
    EXPECT_EQ(sheet.Comments().Items(0).Height(), 3 * 17);
}

TEST(TXLSReaderDrawingsTest, RowsWithoutARowRecordHaveTheSheetsDefaultHeight) {
    const auto defaultHeight = [](std::uint16_t options, std::uint16_t twips) {
        return std::pair<std::uint16_t, Bytes>{rec::kDefaultRowHeight,
                                               Body().u16(options).u16(twips)};
    };
    const auto row = [](std::uint16_t number, std::uint16_t twips) {
        return std::pair<std::uint16_t, Bytes>{
            rec::kRow, Body().u16(number).u16(0).u16(1).u16(twips).u32(0).u16(0x40).u16(0x0F)};
    };
    // Sheet1: rows of 15 points (20 pixels) but row 1 of 12.75 (17 pixels); a picture over
    // rows 0 to 2, a comment box over rows 0 to 4 and half of row 5.
    const RecordList first =
        Concat({{defaultHeight(0, 300), row(1, 255)},
                PictureRecords(1, 1, Anchor{0, 0, 0, 0, 1, 0, 3, 0}),
                CommentRecords(2, u"x", Anchor{0, 0, 0, 0, 1, 0, 5, 128}, false),
                {{rec::kNote, NoteBody(0, 0, 2, u"A")}}});
    // Sheet2: rows hidden by default but row 2; the picture spans rows 0 to 3.
    const RecordList second = Concat({{defaultHeight(2, 300), row(2, 300)},
                                      PictureRecords(1, 1, Anchor{0, 0, 1, 0, 1, 0, 4, 0})});
    TXLSFile file;
    Read(file,
         WorkbookStream({{"Sheet1", first}, {"Sheet2", second}},
                        {{rec::kMsoDrawingGroup, DrawingGroupBody({BseEntry(kBlipPng, kPng)})}}));
    const TSheet& sheet1 = file.Workbook().Sheets().Items(0);
    ASSERT_EQ(sheet1.Images().Count(), 1);
    EXPECT_EQ(sheet1.Images().Items(0).Height, 20 + 17 + 20);
    ASSERT_EQ(sheet1.Comments().Count(), 1);
    EXPECT_EQ(sheet1.Comments().Items(0).Height(), 20 + 17 + 3 * 20 + 10);
    const TSheet& sheet2 = file.Workbook().Sheets().Items(1);
    ASSERT_EQ(sheet2.Images().Count(), 1);
    EXPECT_EQ(sheet2.Images().Items(0).Height, 20);
}

TEST(TXLSReaderDrawingsTest, PicturesInGroupsArePlacedInsideTheirGroups) {
    // A group over columns B and C and rows 2 to 5 (128 x 68 pixels) whose members use
    // coordinates of 0 to 1000; a group inside it over its bottom left quarter, with
    // coordinates of 0 to 100. A picture in each, over the right half of the outer group
    // and the bottom right quarter of the inner one.
    const Bytes outerShape =
        GroupShapeContainer({0, 0, 1000, 1000}, Anchor{1, 0, 2, 0, 3, 0, 6, 0}, std::nullopt);
    const Bytes outerPicture = MemberPictureContainer(1, {500, 0, 1000, 500});
    const Bytes innerShape =
        GroupShapeContainer({0, 0, 100, 100}, std::nullopt, Rect{0, 500, 500, 1000});
    const Bytes innerPicture = MemberPictureContainer(1, {50, 50, 100, 100});
    const std::size_t inner = innerShape.size() + innerPicture.size();
    const std::size_t outer = outerShape.size() + outerPicture.size() + 8 + inner;
    const RecordList records = {
        {rec::kMsoDrawing, Join({SheetDrawingStart(), GroupContainerHeader(outer), outerShape})},
        {rec::kObj, ObjBody(0, 1)},  // the group's object
        {rec::kMsoDrawing, outerPicture},
        {rec::kObj, ObjBody(kObjPicture, 2)},
        {rec::kMsoDrawing, Join({GroupContainerHeader(inner), innerShape})},
        {rec::kObj, ObjBody(0, 3)},
        {rec::kMsoDrawing, innerPicture},
        {rec::kObj, ObjBody(kObjPicture, 4)},
        // After the groups: a picture anchored to cells again.
        PictureRecords(5, 1, Anchor{4, 0, 1, 0, 5, 0, 2, 0}, false)[0],
        {rec::kObj, ObjBody(kObjPicture, 5)}};
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng)}));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 3);
    const TXLSImage& right = images.Items(0);
    EXPECT_EQ((std::vector{right.FirstCol, right.FirstRow, right.LeftOffset, right.TopOffset,
                           right.Width, right.Height}),
              (std::vector{2, 2, 0, 0, 64, 34}));
    // 32 pixels into B, 51 below the top of row 2: the top of row 5.
    const TXLSImage& quarter = images.Items(1);
    EXPECT_EQ((std::vector{quarter.FirstCol, quarter.FirstRow, quarter.LeftOffset,
                           quarter.TopOffset, quarter.Width, quarter.Height}),
              (std::vector{1, 5, 32, 0, 32, 17}));
    EXPECT_EQ((std::vector{images.Items(2).FirstCol, images.Items(2).FirstRow}),
              (std::vector{4, 1}));
}

TEST(TXLSReaderDrawingsTest, APictureObjectWhoseShapeNamesAPictureIsAPicture) {
    // A control shown by a picture of itself: a host control shape naming a picture, with a
    // picture object. A chart's shape that names a picture stays no picture.
    const RecordList records = {
        {rec::kMsoDrawing,
         Join({SheetDrawingStart(),
               ShapeContainer(kShapeHostControl, 2, Anchor{3, 0, 4, 0, 4, 0, 5, 0})})},
        {rec::kObj, ObjBody(kObjPicture, 1)},
        {rec::kMsoDrawing, ShapeContainer(kShapeHostControl, 2, Anchor{})},
        {rec::kObj, ObjBody(kObjChart, 2)}};
    TXLSFile file;
    Read(file, Book(records, {BseEntry(kBlipPng, kPng, true), BseEntry(kBlipEmf, kMetafile)}));
    const TXLSImages& images = file.Workbook().Sheets().Items(0).Images();
    ASSERT_EQ(images.Count(), 1);
    EXPECT_EQ(images.Items(0).BlipType, kBlipEmf);
    EXPECT_EQ((std::vector{images.Items(0).FirstCol, images.Items(0).FirstRow}),
              (std::vector{3, 4}));
}
