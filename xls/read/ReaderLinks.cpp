// Handlers of the link-table records (sheet references, names, other workbooks) and the
// finishing step that turns defined names into print areas, print titles and named
// ranges: part of the globals reader. The link table decodes the record bodies itself.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/read/GlobalsReader.h"
#include "xls/read/ReadContext.h"
#include "xls/read/records/Biff5Records.h"

namespace vorlix {

namespace {

// The last row and column of a sheet: an area from 0 to these spans the whole sheet.
constexpr std::uint16_t kLastRow = 0xFFFF;
constexpr std::uint8_t kLastColumn = 0xFF;

// Print titles are the rows and the columns repeated on every page, stored as one name
// of up to two areas. Rows span every column and columns span every row, so the shape of
// an area says what it is; the order does not (Excel stores the columns first). An area
// of neither shape (or of both) falls back to its position, the first for the rows and
// the second for the columns, where no area of the right shape gave them.
enum class TitleShape { Rows, Columns, Unknown };

TitleShape ShapeOf(const TRangeRect& r) {
    const bool allColumns = r.FirstCol == 0 && r.LastCol == kLastColumn;
    const bool allRows = r.FirstRow == 0 && r.LastRow == kLastRow;
    if (allColumns == allRows) return TitleShape::Unknown;
    return allColumns ? TitleShape::Rows : TitleShape::Columns;
}

void ApplyPrintTitles(const TRangeRects& areas, TPageSetup& setup) {
    std::optional<TRangeRect> rows;
    std::optional<TRangeRect> columns;
    for (int i = 0; i < areas.RectCount(); ++i) {
        const TRangeRect r = areas.GetRect(i);
        const TitleShape shape = ShapeOf(r);
        if (shape == TitleShape::Rows && !rows) rows = r;
        if (shape == TitleShape::Columns && !columns) columns = r;
    }
    const auto byPosition = [&](int i) -> std::optional<TRangeRect> {
        if (i >= areas.RectCount() || ShapeOf(areas.GetRect(i)) != TitleShape::Unknown) return {};
        return areas.GetRect(i);
    };
    if (!rows) rows = byPosition(0);
    if (!columns) columns = byPosition(1);
    if (rows) {
        setup.TitleFirstRow = rows->FirstRow;
        setup.TitleLastRow = rows->LastRow;
    }
    if (columns) {
        setup.TitleFirstCol = columns->FirstCol;
        setup.TitleLastCol = columns->LastCol;
    }
}

}  // namespace

// A link table whose records do not fit together (an EXTERNNAME before any SUPBOOK, an
// EXTERNSHEET shorter than its count, a name whose areas use a sheet reference the table
// lacks) does not stop the read, as it does not in other readers: the record is left out
// (a name keeps its place and text, without its areas), and the formulas that refer to
// what is missing are the ones that fail to decode. The workbook gets one warning.
// False when the record was refused.
namespace {

template <class Add>
bool AddLinks(TReadContext& context, Add add) {
    try {
        add();
        return true;
    } catch (const EXLSError& e) {
        if (e.ErrorCode() != xeLinkTable) throw;
        const std::string warning =
            "the link table (references to sheets, names and other workbooks) is inconsistent; "
            "formulas that use the parts that could not be read show as unreadable";
        std::vector<std::string>& warnings = context.Workbook.Warnings;
        if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end())
            warnings.push_back(warning);
        return false;
    }
}

}  // namespace

// A BIFF5 name is read as the BIFF8 name of the same text and translated definition; a
// definition that cannot be translated leaves the name without areas.
void TGlobalsReader::ReadName(TRecordCursor& body) {
    if (context_.Biff5()) {
        const records::TName5Record name = records::DecodeName5(body, context_.TextCodePage);
        std::string tokens, extra;
        if (!context_.TranslateFormula5(name.Formula, {}, tokens, extra)) tokens.clear();
        context_.Workbook.LinkTable().AddName(records::Name8Body(name, tokens));
        return;
    }
    const std::string record(body.Rest());
    TXLSLinkTable& table = context_.Workbook.LinkTable();
    if (!AddLinks(context_, [&] { table.AddName(record); })) {
        // Refused: the name is added without its definition, so that the names after it
        // keep their numbers.
        std::string bare = record;
        constexpr std::size_t kDefinitionLength = 4;
        if (bare.size() >= kDefinitionLength + 2) {
            bare[kDefinitionLength] = 0;
            bare[kDefinitionLength + 1] = 0;
        }
        table.AddName(bare);
    }
}

// BIFF5 has one EXTERNSHEET record per entry, kept for the formulas that name them.
void TGlobalsReader::ReadExternSheet(TRecordCursor& body) {
    if (context_.Biff5()) {
        context_.ExternSheets5.push_back(records::DecodeExternSheet5(body, context_.TextCodePage));
        return;
    }
    AddLinks(context_,
             [&] { context_.Workbook.LinkTable().AddExternSheets(std::string(body.Rest())); });
}

// BIFF5's external names are not read: formulas that use them are not translated.
void TGlobalsReader::ReadExternName(TRecordCursor& body) {
    if (context_.Biff5()) return;
    AddLinks(context_,
             [&] { context_.Workbook.LinkTable().AddExternName(std::string(body.Rest())); });
}

void TGlobalsReader::ReadSupbook(TRecordCursor& body) {
    context_.Workbook.LinkTable().AddSupbook(std::string(body.Rest()));
}

void TGlobalsReader::ApplyDefinedNames(int position) {
    const TXLSLinkDocument& own = context_.Workbook.LinkTable().OwnDocument();
    TSheets& sheets = context_.Workbook.Sheets();
    for (const auto& name : own.Names) {
        if (name->Sheet < 0 || name->Sheet >= sheets.Count()) continue;
        if (position >= 0 && name->Sheet != position) continue;
        TSheet& sheet = sheets.Items(name->Sheet);
        if (name->BuiltInCode == 7) {  // Print_Area
            sheet.PageSetup().PrintArea.AddRects(name->Areas);
        } else if (name->BuiltInCode == 8) {  // Print_Titles
            ApplyPrintTitles(name->Areas, sheet.PageSetup());
        } else if (name->BuiltInCode == 0) {
            // Names the link table leaves without text (hidden, function and macro names,
            // built-in names of unknown codes) make no range, and neither does a name a
            // range cannot carry (some writers store names with spaces).
            if (name->Name.empty() || !TRange::IsValidName(name->Name)) continue;
            TRange& range = sheet.Ranges().Add();
            range.AddRects(name->Areas);
            range.SetName(name->Name);
        }
    }
}

}  // namespace vorlix
