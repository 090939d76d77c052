// Handlers of row and column descriptors and of merged areas.
#include <algorithm>
#include <cmath>

#include "xls/model/FormatTables.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"
#include "xls/read/ReadContext.h"
#include "xls/read/SheetReader.h"
#include "xls/read/records/SheetRecords.h"

namespace vorlix {

namespace {

constexpr std::uint32_t kLastColumn = 255;
constexpr std::size_t kRowCount = 65536;

}  // namespace

void TSheetReader::ReadRow(TRecordCursor& body) {
    using records::TRowRecord;
    const TRowRecord r = records::DecodeRow(body);
    if (!context_.Options.ReadRowInfo) return;
    TSheet& sheet = context_.CurrentSheet();
    TRow* row = sheet.Rows().GetRow(r.Row);
    row->SetHeight(r.HeightTwips / 20.0);
    if ((r.Options & TRowRecord::kHidden) != 0) row->SetHidden(true);
    for (int level = r.Options & TRowRecord::kOutlineMask; level > 0; --level)
        sheet.GroupRows(r.Row, r.Row);
    // Grouping looks the row up again; a row nothing committed on is replaced then.
    row = sheet.Rows().GetRow(r.Row);
    if ((r.Options & TRowRecord::kHeightSet) == 0) row->ClearSizeSet();
    if ((r.Options & TRowRecord::kFormatted) != 0 && r.XF < context_.Workbook.XFTable().Count()) {
        row->SetXFIndex(r.XF);
    }
    if (sheet.Rows().Find(r.Row) == nullptr) {
        std::vector<bool>& rows = context_.ScreenDefaultRows[context_.SheetIndex];
        rows.resize(kRowCount);
        rows[r.Row] = true;
    }
}

// The height of the rows without a ROW record, which places pictures and comment boxes.
void TSheetReader::ReadDefaultRowHeight(TRecordCursor& body) {
    using records::TDefaultRowHeightRecord;
    const TDefaultRowHeightRecord r = records::DecodeDefaultRowHeight(body);
    if (body.Short() || context_.InChart()) return;
    const bool hidden = (r.Options & TDefaultRowHeightRecord::kHidden) != 0;
    context_.DefaultRowPixels[context_.SheetIndex] =
        hidden ? 0
               : static_cast<std::int32_t>(std::nearbyint(PointsToPixels(r.HeightTwips / 20.0)));
}

void TSheetReader::ReadColInfo(TRecordCursor& body) {
    if (!context_.Options.ReadColumnInfo) return;
    using records::TColInfoRecord;
    const TColInfoRecord r = records::DecodeColInfo(body);
    const std::uint32_t first = r.First;
    const std::uint32_t last = std::min<std::uint32_t>(r.Last, kLastColumn);
    TSheet& sheet = context_.CurrentSheet();
    for (std::uint32_t n = first; n <= last; ++n) {
        TColumn* column = sheet.Columns().GetColumn(static_cast<std::uint16_t>(n));
        column->SetWidth(ColumnUnitsToChars(r.Width));
        if ((r.Options & TColInfoRecord::kHidden) != 0) column->SetHidden(true);
        if (r.XF < context_.Workbook.XFTable().Count()) column->SetXFIndex(r.XF);
    }
    if (first > last) return;
    const int levels =
        r.Options >> TColInfoRecord::kOutlineShift & records::TRowRecord::kOutlineMask;
    for (int level = levels; level > 0; --level) {
        sheet.GroupColumns(static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last));
    }
}

// Each area becomes a merged range; its cells come into being within the budget of cells
// that areas may create, beyond it the area is kept without them.
void TSheetReader::ReadMergeCells(TRecordCursor& body) {
    TSheet& sheet = context_.CurrentSheet();
    for (const records::TCellArea& a : records::DecodeMergeCells(body)) {
        TRange& range = sheet.Ranges().Add();
        range.AddRect(a.FirstRow, a.LastRow, static_cast<std::uint8_t>(a.FirstCol),
                      static_cast<std::uint8_t>(a.LastCol));
        const std::uint64_t cells = range.CellCount();
        if (cells <= context_.AreaCellBudget) {
            context_.AreaCellBudget -= cells;
            range.Merge();
        } else {
            range.MarkMerged();
        }
    }
}

}  // namespace vorlix
