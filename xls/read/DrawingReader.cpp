// The drawing reader. Dispatch runs its handlers only with ReadDrawings, and not inside
// charts.
#include "xls/read/DrawingReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCellComments.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRangeRects.h"
#include "xls/model/TRowCols.h"
#include "xls/read/ReadContext.h"
#include "xls/read/TMSOData.h"
#include "xls/read/records/DrawingRecords.h"

namespace vorlix {

namespace {

// Copies of pictures that one read may place: 16 MB plus 8 bytes per byte of the workbook
// stream, at most 256 MB. A picture store entry can be shown by any number of picture
// frames, each of which gets its own copy; a small hostile file could otherwise ask for far
// more memory than it holds. Real workbooks stay far below it.
constexpr std::uint64_t kImageByteBase = 16ull << 20;
constexpr std::uint64_t kImageBytesPerByte = 8;
constexpr std::uint64_t kImageByteMost = 256ull << 20;
// How many pictures over the budget a read names one by one.
constexpr int kNotKeptNamedMost = 20;

constexpr std::uint16_t kNoFontFour = 3;  // font indexes above 3 skip the missing 4
constexpr std::size_t kRunSize = 8;       // first character, font index, 4 unused bytes
constexpr std::int32_t kLastRow = 65535;
constexpr std::int32_t kLastColumn = 255;
constexpr std::int32_t kMaxBoxSide = 0xFFFF;

[[noreturn]] void DrawingError() {
    throw EXLSError(xeDrawingStream);
}

std::int64_t RoundHalfEven(double v) {
    return static_cast<std::int64_t>(std::nearbyint(v));
}

// Pixel sizes of a sheet's columns and rows (0 when hidden, the default size where no
// descriptor is listed: the screen's for columns, the sheet's default row height for rows)
// and their running sums, computed as far as anchors reach.
class TSheetGrid {
  public:
    // `screenDefaultRows`: the rows that ROW records give the screen's default height, which
    // the sheet does not list (null or empty: none).
    TSheetGrid(TSheet& sheet, std::int32_t defaultRowPixels,
               const std::vector<bool>* screenDefaultRows)
        : sheet_(sheet),
          defaultRowPixels_(defaultRowPixels),
          screenDefaultRows_(screenDefaultRows) {}

    std::int64_t Width(std::int32_t col) const {
        const TColumn* c = sheet_.Columns().Find(static_cast<std::uint16_t>(col));
        return c != nullptr ? c->PixelWidth() : ScreenMetrics().DefaultColumnPixels;
    }
    std::int64_t Height(std::int32_t row) const {
        const TRow* r = sheet_.Rows().Find(static_cast<std::uint16_t>(row));
        if (r != nullptr) return r->PixelHeight();
        const auto n = static_cast<std::size_t>(row);
        if (screenDefaultRows_ != nullptr && n < screenDefaultRows_->size() &&
            (*screenDefaultRows_)[n]) {
            return ScreenMetrics().DefaultRowPixels;
        }
        return defaultRowPixels_;
    }
    // The sum of the sizes from `first` up to, not including, `last` (0 when last <= first).
    std::int64_t Widths(std::int32_t first, std::int32_t last) {
        return Span(columns_, first, last, [this](std::int32_t i) { return Width(i); });
    }
    std::int64_t Heights(std::int32_t first, std::int32_t last) {
        return Span(rows_, first, last, [this](std::int32_t i) { return Height(i); });
    }
    // The column or row that holds the pixel `at` pixels from the sheet's left or top edge
    // (the last one for a pixel past it), and the pixel's offset in it.
    std::pair<std::int32_t, std::int64_t> ColumnAt(std::int64_t at) {
        return Find(columns_, at, kLastColumn, [this](std::int32_t i) { return Width(i); });
    }
    std::pair<std::int32_t, std::int64_t> RowAt(std::int64_t at) {
        return Find(rows_, at, kLastRow, [this](std::int32_t i) { return Height(i); });
    }

  private:
    template <typename Size>
    static std::pair<std::int32_t, std::int64_t> Find(std::vector<std::int64_t>& sums,
                                                      std::int64_t at, std::int32_t last,
                                                      Size size) {
        at = std::max<std::int64_t>(at, 0);
        if (sums.empty()) sums.push_back(0);
        while (sums.back() <= at && sums.size() <= static_cast<std::size_t>(last) + 1) {
            const auto i = static_cast<std::int32_t>(sums.size() - 1);
            sums.push_back(sums.back() + size(i));
        }
        const auto above = std::upper_bound(sums.begin(), sums.end(), at);
        const auto index = std::min<std::ptrdiff_t>(above - sums.begin() - 1, last);
        return {static_cast<std::int32_t>(index), at - sums[static_cast<std::size_t>(index)]};
    }

    template <typename Size>
    static std::int64_t Span(std::vector<std::int64_t>& sums, std::int32_t first, std::int32_t last,
                             Size size) {
        if (last <= first) return 0;
        if (sums.empty()) sums.push_back(0);
        while (sums.size() <= static_cast<std::size_t>(last)) {
            const auto i = static_cast<std::int32_t>(sums.size() - 1);
            sums.push_back(sums.back() + size(i));
        }
        return sums[static_cast<std::size_t>(last)] - sums[static_cast<std::size_t>(first)];
    }

    TSheet& sheet_;
    std::int32_t defaultRowPixels_;
    const std::vector<bool>* screenDefaultRows_;
    std::vector<std::int64_t> columns_;  // columns_[i]: the widths of columns 0..i-1
    std::vector<std::int64_t> rows_;
};

// A shape's place on its sheet in pixels.
struct TPixelBox {
    std::int64_t Left = 0, Top = 0, Width = 0, Height = 0;
};

TPixelBox Box(TSheetGrid& grid, const TMSOShape& s) {
    TPixelBox b;
    b.Left = RoundHalfEven(s.Dx1 * static_cast<double>(grid.Width(s.Col1)) / 1024);
    b.Top = RoundHalfEven(s.Dy1 * static_cast<double>(grid.Height(s.Row1)) / 256);
    b.Width = RoundHalfEven(s.Dx2 * static_cast<double>(grid.Width(s.Col2)) / 1024) - b.Left +
              grid.Widths(s.Col1, s.Col2);
    b.Height = RoundHalfEven(s.Dy2 * static_cast<double>(grid.Height(s.Row2)) / 256) - b.Top +
               grid.Heights(s.Row1, s.Row2);
    return b;
}

// A place in pixels from the sheet's top left corner.
struct TSheetBox {
    double Left = 0, Top = 0, Width = 0, Height = 0;
};

TSheetBox SheetBox(TSheetGrid& grid, const TMSOGroup& g) {
    TMSOShape anchor(g.SheetIndex);
    anchor.Col1 = g.Col1;
    anchor.Dx1 = g.Dx1;
    anchor.Row1 = g.Row1;
    anchor.Dy1 = g.Dy1;
    anchor.Col2 = g.Col2;
    anchor.Dx2 = g.Dx2;
    anchor.Row2 = g.Row2;
    anchor.Dy2 = g.Dy2;
    const TPixelBox b = Box(grid, anchor);
    return {static_cast<double>(grid.Widths(0, g.Col1) + b.Left),
            static_cast<double>(grid.Heights(0, g.Row1) + b.Top), static_cast<double>(b.Width),
            static_cast<double>(b.Height)};
}

// A group member's place: its child anchor in the coordinates the group gives its members,
// which span the group's place.
TSheetBox MemberBox(const TSheetBox& group, const records::TDrawingRect& bounds,
                    const records::TDrawingRect& child) {
    const double spanX = static_cast<double>(bounds.Right) - bounds.Left;
    const double spanY = static_cast<double>(bounds.Bottom) - bounds.Top;
    const double sx = spanX != 0 ? group.Width / spanX : 0;
    const double sy = spanY != 0 ? group.Height / spanY : 0;
    return {group.Left + (static_cast<double>(child.Left) - bounds.Left) * sx,
            group.Top + (static_cast<double>(child.Top) - bounds.Top) * sy,
            (static_cast<double>(child.Right) - child.Left) * sx,
            (static_cast<double>(child.Bottom) - child.Top) * sy};
}

// A picture's side: at least one pixel.
std::int32_t ImageSide(std::int64_t pixels) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(pixels, 1, std::numeric_limits<std::int32_t>::max()));
}

// A comment box's side, which the model keeps in 16 bits.
std::uint16_t BoxSide(std::int64_t pixels) {
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(pixels, 1, kMaxBoxSide));
}

// The formatting text of a comment: each run covers the characters from its first one to
// the next run's first, the last one to the end of the text; a run that covers nothing
// (the closing entry at the text's end, among others) describes nothing.
std::string DescribeRuns(const TVirtualFontTable& fonts, const std::string& runs,
                         std::size_t textLength, const TWorkbookSettings& settings) {
    platform::TByteCursor c(runs);
    const std::size_t count = runs.size() / kRunSize;
    std::string out;
    for (std::size_t k = 0; k < count; ++k) {
        const std::int64_t start = c.U16At(k * kRunSize);
        std::uint16_t font = c.U16At(k * kRunSize + 2);
        const std::int64_t end =
            k + 1 < count ? c.U16At((k + 1) * kRunSize) : static_cast<std::int64_t>(textLength);
        if (font > kNoFontFour) --font;
        if (end - 1 >= start) {
            out += fonts.DescribeRun(static_cast<int>(start + 1), static_cast<int>(end), font,
                                     settings);
        }
    }
    return out;
}

}  // namespace

TDrawingReader::TDrawingReader(TReadContext& context)
    : context_(context), drawings_(std::make_unique<TMSOData>()) {}

TDrawingReader::~TDrawingReader() = default;

// The picture store: this record and every CONTINUE or MSODRAWINGGROUP right after it
// make one stream, as the store's entries run on from record to record.
void TDrawingReader::ReadMsoDrawingGroup(TRecordCursor& body) {
    drawings_->ReadPictureStore(platform::TByteCursor(body.Rest()));
}

// Shape records; a writer cuts a long body into CONTINUE records anywhere, even inside a
// record, so the bodies are read as one.
void TDrawingReader::ReadMsoDrawing(TRecordCursor& body) {
    drawings_->ReadShapes(platform::TByteCursor(body.Rest()), context_.SheetIndex);
}

// An object; a CONTINUE after it goes on with drawing data.
void TDrawingReader::ReadObj(TRecordCursor& body) {
    drawings_->ReadObj(body.Body(0));
    if (body.BodyCount() > 1) drawings_->ReadShapes(body.Body(1), context_.SheetIndex);
}

// A text object and the CONTINUE records of its text and formatting runs; a CONTINUE after
// them goes on with drawing data. Only a comment's text object is kept.
void TDrawingReader::ReadTxo(TRecordCursor& body) {
    platform::TByteCursor fixed = body.Body(0);
    const records::TTxoRecord txo = records::DecodeTxo(fixed);
    const bool comment = drawings_->LastObjectType() == records::TObjRecord::kComment;
    const records::TTxoContent content = records::DecodeTxoContent(body, txo);
    if (comment && content.Text) drawings_->SetCommentText(*content.Text);
    if (comment && content.Runs) drawings_->SetCommentRuns(*content.Runs);
    if (content.Next < body.BodyCount()) {
        drawings_->ReadShapes(body.Body(content.Next), context_.SheetIndex);
    }
}

void TDrawingReader::ReadNote(TRecordCursor& body) {
    drawings_->ReadNote(body, context_.SheetIndex);
}

void TDrawingReader::PlaceDrawings() {
    TMSOData& drawings = *drawings_;
    drawings.Prune();
    TSheets& sheets = context_.Workbook.Sheets();
    std::vector<std::unique_ptr<TSheetGrid>> grids(static_cast<std::size_t>(sheets.Count()));
    const auto gridOf = [&](std::int32_t index) -> TSheetGrid& {
        auto& grid = grids[static_cast<std::size_t>(index)];
        if (!grid) {
            const auto it = context_.DefaultRowPixels.find(index);
            const auto rows = context_.ScreenDefaultRows.find(index);
            grid = std::make_unique<TSheetGrid>(
                sheets.Items(index),
                it != context_.DefaultRowPixels.end() ? it->second
                                                      : ScreenMetrics().DefaultRowPixels,
                rows != context_.ScreenDefaultRows.end() ? &rows->second : nullptr);
        }
        return *grid;
    };
    // The groups' places, each group after the one it belongs to.
    const std::vector<TMSOGroup>& groups = drawings.Groups();
    std::vector<TSheetBox> groupBoxes(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const TMSOGroup& group = groups[g];
        if (group.SheetIndex < 0 || group.SheetIndex >= sheets.Count()) continue;
        if (group.Parent < 0 || static_cast<std::size_t>(group.Parent) >= g) {
            groupBoxes[g] = SheetBox(gridOf(group.SheetIndex), group);
        } else {
            const auto parent = static_cast<std::size_t>(group.Parent);
            groupBoxes[g] = MemberBox(groupBoxes[parent], groups[parent].Bounds, group.Child);
        }
    }
    std::uint64_t budget =
        std::min(kImageByteBase + kImageBytesPerByte * context_.StreamBytes, kImageByteMost);
    // A picture over the budget is not copied, but named among the read's warnings (the
    // first ones by sheet and cell, the rest counted), so that none goes missing unseen.
    std::vector<std::string>& warnings = context_.Workbook.Warnings;
    const std::string limit = std::to_string(budget >> 20) + " MB";
    int notKeptCount = 0;
    const auto notKept = [&](const TSheet& sheet, std::int32_t row, std::int32_t col,
                             std::uint64_t size) {
        if (++notKeptCount > kNotKeptNamedMost) return;
        warnings.push_back("picture at " + platform::Utf16ToUtf8(sheet.Name()) + "!" +
                           ColumnName(std::max(0, col)) + std::to_string(std::max(0, row) + 1) +
                           " (" + std::to_string(size) + " bytes) not kept: the pictures of " +
                           "this workbook are over what one read copies (" + limit + ")");
    };
    for (int i = 0; i < drawings.ShapeCount(); ++i) {
        const TMSOShape& shape = drawings.Shape(i);
        if (shape.SheetIndex < 0 || shape.SheetIndex >= sheets.Count()) DrawingError();
        TSheet& sheet = sheets.Items(shape.SheetIndex);
        TSheetGrid& grid = gridOf(shape.SheetIndex);
        TPixelBox box = Box(grid, shape);
        std::int32_t row = shape.Row1, col = shape.Col1;
        if (shape.Group >= 0 && static_cast<std::size_t>(shape.Group) < groups.size()) {
            // A group member: its cell and its offsets in it from its place on the sheet.
            const auto g = static_cast<std::size_t>(shape.Group);
            const TSheetBox at = MemberBox(groupBoxes[g], groups[g].Bounds, shape.Child);
            const std::int64_t left = RoundHalfEven(at.Left), top = RoundHalfEven(at.Top);
            const auto [c, dx] = grid.ColumnAt(left);
            const auto [r, dy] = grid.RowAt(top);
            col = c;
            row = r;
            box.Left = dx;
            box.Top = dy;
            box.Width = RoundHalfEven(at.Left + at.Width) - left;
            box.Height = RoundHalfEven(at.Top + at.Height) - top;
        }
        if (shape.Kind() == TMSOShapeKind::Image) {
            const std::int32_t blip = static_cast<const TMSOShapeImage&>(shape).BlipIndex;
            if (blip < 1 || blip > drawings.PictureCount()) DrawingError();
            TMSOBLIP& picture = drawings.Picture(blip - 1);
            const auto size = static_cast<std::uint64_t>(picture.Data.Size());
            if (size > budget) {
                notKept(sheet, row, col, size);
                continue;
            }
            budget -= size;
            TXLSImage& image = sheet.Images().Add(
                picture.Data, 0, ImageSide(box.Height), ImageSide(box.Width),
                static_cast<std::int32_t>(box.Top), static_cast<std::int32_t>(box.Left), row, col,
                picture.Data.Size());
            image.BlipType = picture.BlipType;
        } else {
            const auto& note = static_cast<const TMSOShapeComment&>(shape);
            if (note.Row < 0 || note.Row > kLastRow || note.Col < 0 || note.Col > kLastColumn) {
                DrawingError();
            }
            TCellComment& comment = sheet.Comments().GetComment(
                static_cast<std::uint32_t>(note.Row), static_cast<std::uint32_t>(note.Col));
            comment.SetText(note.Text);
            comment.SetAuthor(note.Author);
            comment.SetWidth(BoxSide(box.Width));
            comment.SetHeight(BoxSide(box.Height));
            comment.SetRichText(DescribeRuns(context_.Workbook.FontTable(), note.Runs,
                                             note.Text.size(), context_.Workbook.Settings()));
        }
    }
    if (notKeptCount > kNotKeptNamedMost) {
        warnings.push_back(std::to_string(notKeptCount - kNotKeptNamedMost) +
                           " more pictures not kept: the pictures of this workbook are over " +
                           "what one read copies (" + limit + ")");
    }
}

}  // namespace vorlix
