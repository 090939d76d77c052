#include "xls/read/TXLSReader.h"

#include <array>
#include <optional>

#include "platform/CodePage.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/read/BodyReader.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"

namespace vorlix {

namespace {

constexpr const char* kWorkbookStream = "Workbook";
constexpr int kProtectionScanRecords = 5;

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

// Record ids and their handlers. Ids not listed here (CONTINUE included, when it reaches
// the loop) are skipped.
struct ReaderTable {
    using R = TXLSReader;
    static constexpr auto kHandlers = std::to_array<TXLSReader::Handler>({
        {rec::kFormula, "FORMULA", &R::ReadFormula, true},
        {rec::kEof, "EOF", &R::ReadBofEof},
        {rec::kPassword, "PASSWORD", &R::ReadPassword},
        {rec::kHeader, "HEADER", &R::ReadHeader},
        {rec::kFooter, "FOOTER", &R::ReadFooter},
        {rec::kExternSheet, "EXTERNSHEET", &R::ReadExternSheet},
        {rec::kLbl, "NAME", &R::ReadName},
        {rec::kNote, "NOTE", &R::Skip},
        {rec::kDate1904, "DATEMODE", &R::ReadDateMode},
        {rec::kExternName, "EXTERNNAME", &R::ReadExternName},
        {rec::kLeftMargin, "LEFTMARGIN", &R::ReadMargin},
        {rec::kRightMargin, "RIGHTMARGIN", &R::ReadMargin},
        {rec::kTopMargin, "TOPMARGIN", &R::ReadMargin},
        {rec::kBottomMargin, "BOTTOMMARGIN", &R::ReadMargin},
        {rec::kPrintRowCol, "PRINTHEADERS", &R::ReadPrintFlag},
        {rec::kPrintGrid, "PRINTGRIDLINES", &R::ReadPrintFlag},
        {rec::kFilePass, "FILEPASS", &R::ReadFilePass},
        {rec::kFont, "FONT", &R::ReadFont},
        {rec::kPane, "PANE", &R::ReadPane},
        {rec::kObj, "OBJ", &R::Skip},
        {rec::kColInfo, "COLINFO", &R::ReadColInfo},
        {rec::kWsBool, "WSBOOL", &R::ReadWsBool},
        {rec::kHCenter, "HCENTER", &R::ReadPrintFlag},
        {rec::kVCenter, "VCENTER", &R::ReadPrintFlag},
        {rec::kBoundSheet8, "BOUNDSHEET", &R::ReadBoundSheet},
        {rec::kPalette, "PALETTE", &R::ReadPalette},
        {rec::kScl, "SCL", &R::ReadScl},
        {rec::kSetup, "SETUP", &R::ReadSetup},
        {rec::kMulRk, "MULRK", &R::ReadMulRk, true},
        {rec::kMulBlank, "MULBLANK", &R::ReadMulBlank, true},
        {rec::kXf, "XF", &R::ReadXf},
        {rec::kMergeCells, "MERGEDCELLS", &R::ReadMergedCells, true},
        {rec::kMsoDrawingGroup, "MSODRAWINGGROUP", &R::Skip},
        {rec::kMsoDrawing, "MSODRAWING", &R::Skip},
        {rec::kSst, "SST", &R::ReadSst},
        {rec::kLabelSst, "LABELSST", &R::ReadLabelSst, true},
        {rec::kSupBook, "SUPBOOK", &R::ReadSupbook},
        {rec::kTxo, "TXO", &R::Skip},
        {rec::kHLink, "HLINK", &R::ReadHLink, true},
        {rec::kDv, "DV", &R::ReadDv},
        {rec::kBlank, "BLANK", &R::ReadBlank, true},
        {rec::kNumber, "NUMBER", &R::ReadNumber, true},
        {rec::kLabel, "LABEL", &R::ReadLabel, true},
        {rec::kBoolErr, "BOOLERR", &R::ReadBoolErr, true},
        {rec::kString, "STRING", &R::ReadString, true},
        {rec::kRow, "ROW", &R::ReadRow},
        {rec::kWindow2, "WINDOW2", &R::ReadWindow2},
        {rec::kRk, "RK", &R::ReadRk, true},
        {rec::kFormat, "FORMAT", &R::ReadFormat},
        {rec::kShrFmla, "SHRFMLA", &R::ReadShrFmla},
        {rec::kBof, "BOF", &R::ReadBofEof},
        {rec::kFeatHdr, "FEATHDR", &R::ReadFeatHdr},
    });

    // Handler position + 1 for every id, 0 for ids without a handler.
    static const std::array<std::uint8_t, 65536>& Positions() {
        static const std::array<std::uint8_t, 65536> positions = [] {
            std::array<std::uint8_t, 65536> p{};
            for (std::size_t i = 0; i < kHandlers.size(); ++i) {
                p[kHandlers[i].Id] = static_cast<std::uint8_t>(i + 1);
            }
            return p;
        }();
        return positions;
    }
};

constexpr bool HandlersSorted() {
    for (std::size_t i = 1; i < ReaderTable::kHandlers.size(); ++i) {
        if (ReaderTable::kHandlers[i - 1].Id >= ReaderTable::kHandlers[i].Id) return false;
    }
    return true;
}
static_assert(HandlersSorted(), "handlers are listed in id order");
static_assert(ReaderTable::kHandlers.size() < 255, "positions fit in a byte");

// One full sheet's worth of cells for all merged areas and hyperlinks of a workbook;
// real workbooks stay far below it.
constexpr std::uint64_t kAreaCellBudget = 256ull * 65536;

TXLSReader::TXLSReader(TXLSFile& owner)
    : owner_(owner), workbook_(owner.Workbook()), areaCellBudget_(kAreaCellBudget) {}

TXLSReader::~TXLSReader() = default;

TBIFFRecord& TXLSReader::Record() {
    return stream_->Record();
}

TSheet& TXLSReader::CurrentSheet() {
    return workbook_.Sheets().Items(sheetIndex_);
}

void TXLSReader::ReadFile(const std::u16string& fileName, const std::u16string& password,
                          const TReadOptions& options) {
    options_ = options;
    password_ = password;
    onProgress_ = owner_.OnProgress();
    owner_.Clear();
    ResetPalette();

    file_ = std::make_unique<TCFile>(fileName, cfOpen);
    auto* workbookStream = dynamic_cast<TCFileStream*>(file_->Root().FindItem(kWorkbookStream));
    if (workbookStream == nullptr) {
        file_.reset();
        throw EXLSError(2, kWorkbookStream);
    }
    try {
        workbook_.SetLoadState(lsReading);
        stream_ = std::make_unique<TBIFFStream>(*workbookStream);
        stream_->Rewind();
        consumed_ = true;
        while (NextRecord())
            Dispatch();
        stream_.reset();
        workbook_.SetLoadState(lsRead);

        ApplyDefinedNames();
        FinishFormulas();
        workbook_.XFTable().LocateDefaultXF();
        workbook_.LinkTable().ResetOwnDocument();
    } catch (...) {
        stream_.reset();
        file_.reset();
        throw;
    }
    file_.reset();
}

bool TXLSReader::NextRecord() {
    if (ended_) return false;
    if (!consumed_) {
        if (++redispatchCount_ == 1) return true;
        throw Exception("Error: BIFF record can not be processed");
    }
    const bool fetched = stream_->ReadRecord();
    consumed_ = false;
    redispatchCount_ = 0;
    if (!fetched) ended_ = true;
    if (onProgress_) {
        const double size = stream_->StreamSize();
        onProgress_(size == 0 ? 1.0 : stream_->StreamPosition() / size);
    }
    return fetched;
}

bool TXLSReader::PeekContinue() {
    Consume();
    return NextRecord() && Record().Id == rec::kContinue;
}

void TXLSReader::Dispatch() {
    const std::uint8_t at = ReaderTable::Positions()[Record().Id];
    if (at == 0) {
        Consume();
        return;
    }
    const Handler& handler = ReaderTable::kHandlers[at - 1];
    // A chart's substream (a chart sheet, or a chart embedded in a worksheet) caches its
    // series data in cell records; they are not the sheet's cells.
    if (handler.MakesCells && InChart()) {
        Consume();
        return;
    }
    (this->*handler.Read)();
}

bool TXLSReader::InChart() const {
    constexpr std::uint16_t kChartSubstream = 0x0020;
    for (const std::uint16_t type : substreams_) {
        if (type == kChartSubstream) return true;
    }
    return false;
}

const char* TXLSReader::HandlerName(std::uint16_t id) {
    const std::uint8_t at = ReaderTable::Positions()[id];
    return at == 0 ? nullptr : ReaderTable::kHandlers[at - 1].Name;
}

std::uint8_t TXLSReader::GetXLSFileVersion(const std::u16string& fileName) {
    try {
        TCFile file(fileName, cfOpen);
        return dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream)) != nullptr ? 8
                                                                                             : 0;
    } catch (...) {
        return 0;
    }
}

std::int32_t TXLSReader::GetXLSFileProtection(const std::u16string& fileName) {
    TCFile file(fileName, cfOpen);
    auto* workbookStream = dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream));
    if (workbookStream == nullptr) throw EXLSError(2, kWorkbookStream);
    TBIFFStream stream(*workbookStream);
    stream.Rewind();
    for (int n = 0; n < kProtectionScanRecords && stream.ReadRecord(); ++n) {
        if (stream.Record().Id != rec::kFilePass) continue;
        const TFilePass filePass = vorlix::ReadFilePass(stream.Record().Data);
        if (filePass.EncryptionType != 1 || filePass.MinorVersion != 1) return -1;
        KeyMaterial key{};
        return VerifyPassword(kDefaultPassword, filePass, key) ? 0 : 10;
    }
    return 0;
}

// Texts continued across CONTINUE records.

bool TXLSReader::ReadContinuedChars(std::uint32_t count, bool wide, SharedString& out) {
    std::u16string text;
    bool anyWide = wide;
    bool complete = true;
    while (text.size() < count) {
        if (Record().Data.Remaining() == 0) {
            if (!PeekContinue()) {
                complete = false;
                break;
            }
            if (Record().Data.Remaining() == 0 && !PeekContinue()) {
                complete = false;
                break;
            }
            wide = (BodyReader(Record().Data).U8() & 0x01) != 0;
            anyWide = anyWide || wide;
        }
        TEasyStream& data = Record().Data;
        const std::size_t missing = count - text.size();
        const std::size_t avail = static_cast<std::size_t>(data.Remaining());
        const std::size_t n = std::min(wide ? avail / 2 : avail, missing);
        if (n == 0) {
            data.Skip(data.Remaining());  // a lone odd byte: nothing more in this record
            continue;
        }
        const std::uint8_t* p = data.Memory() + data.Position();
        if (wide) {
            for (std::size_t i = 0; i < n; ++i) {
                text += static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
            }
            data.Skip(static_cast<std::int64_t>(2 * n));
        } else {
            for (std::size_t i = 0; i < n; ++i)
                text += static_cast<char16_t>(p[i]);
            data.Skip(static_cast<std::int64_t>(n));
        }
    }
    out.Wide = anyWide;
    if (anyWide) {
        out.Text = std::move(text);
    } else {
        // 8-bit characters are code points 0..255; the model keeps them in the library
        // code page. Plain ASCII needs no conversion.
        bool ascii = true;
        for (char16_t c : text)
            ascii = ascii && c < 0x80;
        if (ascii) {
            out.Ansi.assign(text.begin(), text.end());
        } else {
            out.Ansi = WideToAnsi(text);
        }
    }
    return complete;
}

bool TXLSReader::SkipContinued(std::uint32_t bytes) {
    while (bytes > 0) {
        if (Record().Data.Remaining() == 0 && !PeekContinue()) return false;
        const auto take =
            static_cast<std::uint32_t>(std::min<std::int64_t>(Record().Data.Remaining(), bytes));
        Record().Data.Skip(take);
        bytes -= take;
    }
    return true;
}

// Finishing steps.

void TXLSReader::ApplyDefinedNames() {
    const TXLSLinkDocument& own = workbook_.LinkTable().OwnDocument();
    TSheets& sheets = workbook_.Sheets();
    for (const auto& name : own.Names) {
        if (name->Sheet < 0 || name->Sheet >= sheets.Count()) continue;
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
