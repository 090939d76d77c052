#include "xls/read/TXLSReader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "platform/CodePage.h"
#include "platform/StructuredStorage.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/read/Decryption.h"
#include "xls/read/DrawingReader.h"
#include "xls/read/EarlyBiffReader.h"
#include "xls/read/GlobalsReader.h"
#include "xls/read/ReadContext.h"
#include "xls/read/RecordCursor.h"
#include "xls/read/RecordIds.h"
#include "xls/read/SheetReader.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"
#include "xls/read/TMSOData.h"
#include "xls/read/records/Biff5Records.h"
#include "xls/read/records/EarlyBiffRecords.h"
#include "xls/read/records/GlobalsRecords.h"

namespace vorlix {

namespace {

constexpr const char* kWorkbookStream = "Workbook";
// The one stream of a file that is a bare record stream (Excel 2.x to 4.0 files).
const std::string kRecordStream = platform::Utf16ToUtf8(platform::kRecordStreamName);
constexpr const char* kBookStream = "Book";  // Excel 5.0 and 95
constexpr int kProtectionScanRecords = 5;
constexpr std::uint16_t kExcel4Workbook = 0x0100;  // BOF type of an Excel 4.0 workbook's globals

#ifdef NDEBUG
constexpr bool kReportUnread = false;
#else
constexpr bool kReportUnread = true;
#endif

// A read starts from the default colours and keeps sheet names in the workbook's code page.
void StartRead(TWorkbook& workbook) {
    workbook.Settings().Palette = DefaultPalette();
    workbook.LinkTable().SetCodePage(workbook.Settings().CodePage);
}

// The bytes a decoder left unread, when any of them is not zero: some writers pad records
// (LABEL, BOOLERR) with zero bytes, which are no layout of their own.
std::uint32_t UnreadData(TRecordCursor& body) {
    const auto left = static_cast<std::uint32_t>(body.Remaining());
    for (std::uint32_t i = 0; i < left; ++i) {
        if (body.U8() != 0) return left;
    }
    return 0;
}

// Where a read that wants only the rows above a limit may leave a sheet's cell table. The
// table comes in blocks: the ROW records of up to 32 rows, the cells of those rows, a
// DBCELL record; the INDEX record before it gives where each DBCELL record is. Cells
// from a block that starts at or past the limit on need not be read, as long as every
// cell seen so far lay in the rows of its block (then rows come in order); the read goes
// on at the last DBCELL record, after which come the records that are not cells of the
// table (merged areas, hyperlinks, window settings).
class TRowLimit {
  public:
    explicit TRowLimit(std::uint32_t limit) : limit_(limit) {}

    // Whether the records from this one (a record of the sheet itself, not of a chart in
    // it) to the end of the cell table may be passed over.
    bool Ends(const TJoinedRecord& record) {
        if (limit_ == TXLSReader::kAllRows) return false;
        platform::TByteCursor body(record.Data, record.Size);
        switch (record.Id) {
            case rec::kIndex:
                // Reserved, first row, row after the last, DEFCOLWIDTH position, then
                // the DBCELL positions.
                tableEnd_ = -1;
                if (body.Remaining() >= 16) {
                    body.Skip(16);
                    while (body.Remaining() >= 4)
                        tableEnd_ = body.U32();
                }
                return false;
            case rec::kDbCell:
                blockEnded_ = true;
                return false;
            case rec::kRow: {
                const std::uint16_t row = body.Remaining() >= 2 ? body.U16() : 0;
                // The format's writers give each block the rows of one band of 32, band
                // after band; a table laid out otherwise is read whole.
                const int band = row / kRowsPerBlock;
                if (blockEnded_) {
                    if (band <= band_) inOrder_ = false;
                    if (row >= limit_ && inOrder_ && tableEnd_ > record.Offset) return true;
                    blockEnded_ = false;
                    band_ = band;
                    first_ = last_ = row;
                } else {
                    if (band != band_) inOrder_ = false;
                    first_ = std::min(first_, row);
                    last_ = std::max(last_, row);
                }
                inBlock_ = true;
                return false;
            }
            case rec::kNumber:
            case rec::kRk:
            case rec::kMulRk:
            case rec::kLabelSst:
            case rec::kLabel:
            case rec::kBlank:
            case rec::kMulBlank:
            case rec::kBoolErr:
            case rec::kFormula: {
                const std::uint16_t row = body.Remaining() >= 2 ? body.U16() : 0;
                if (!inBlock_ || row < first_ || row > last_) inOrder_ = false;
                return false;
            }
            default:
                return false;
        }
    }
    std::int64_t TableEnd() const { return tableEnd_; }
    // No more stops.
    void Drop() { limit_ = TXLSReader::kAllRows; }

  private:
    static constexpr int kRowsPerBlock = 32;
    std::uint32_t limit_;
    int band_ = -1;
    std::int64_t tableEnd_ = -1;
    bool blockEnded_ = true;
    bool inBlock_ = false;
    bool inOrder_ = true;
    std::uint16_t first_ = 0;
    std::uint16_t last_ = 0;
};

}  // namespace

namespace {

// The version field of a stream's first record when that is a BOF record of BIFF5 or
// later (id 0x0809); nullopt otherwise.
std::optional<std::uint16_t> BofVersion(TCFileStream& source) {
    try {
        TBIFFStream stream(source);
        stream.Rewind();
        if (!stream.ReadRecord() || stream.Record().Id != rec::kBof) return std::nullopt;
        TRecordCursor body(rec::kBof, stream.Record().Data.Memory(), stream.Record().Length);
        return records::DecodeBof(body).Version;
    } catch (...) {
        return std::nullopt;  // a stream that cannot be read is left to the read to report
    }
}

}  // namespace

// The handler table: the records of Records.def that have a handler, in id order. Each
// row calls its method on the reader the method belongs to.
struct ReaderTable {
    template <class Part>
    static Part& PartOf(TXLSReader& r) {
        if constexpr (std::is_same_v<Part, TGlobalsReader>) {
            return *r.globals_;
        } else if constexpr (std::is_same_v<Part, TEarlyBiffReader>) {
            return *r.early_;
        } else if constexpr (std::is_same_v<Part, TSheetReader>) {
            return *r.sheet_;
        } else {
            return *r.drawing_;
        }
    }

    template <class Part, void (Part::*Method)(TRecordCursor&)>
    static void Call(TXLSReader& r, TRecordCursor& body) {
        (PartOf<Part>(r).*Method)(body);
    }

    // The class of a handler method.
    template <class Method>
    struct PartOfMethod;
    template <class Part>
    struct PartOfMethod<void (Part::*)(TRecordCursor&)> {
        using Type = Part;
    };

    static constexpr auto kHandlers = std::to_array<TXLSReader::Handler>({
#define RECORD(id, identifier, name)
#define HANDLED(id, identifier, name, handler, flags) \
    {id, &Call<PartOfMethod<decltype(&handler)>::Type, &handler>, static_cast<std::uint8_t>(flags)},
#include "xls/read/Records.def"
#undef HANDLED
#undef RECORD
    });

    // The handlers of versions 2 to 4: their own for the records those versions store
    // otherwise, the later versions' for the records that kept id and layout. Records
    // that the later versions' handlers would misread (names, headers, windows) are
    // passed over.
    static constexpr auto kEarlyHandlers = std::to_array<TXLSReader::Handler>({
        {rec::kBlank2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadBlank>, kCells},
        {rec::kInteger2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadInteger>, kCells},
        {rec::kNumber2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadNumber>, kCells},
        {rec::kLabel2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadLabel>, kCells},
        {rec::kBoolErr2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadBoolErr>, kCells},
        {rec::kFormula2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFormula>, kCells},
        {rec::kString2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadString>, kCells},
        {rec::kBof2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadBof>, kPlain},
        {rec::kEof, &Call<TGlobalsReader, &TGlobalsReader::ReadEof>, kPlain},
        {rec::kPassword, &Call<TGlobalsReader, &TGlobalsReader::ReadPassword>, kPlain},
        {rec::kFormat2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFormat>, kPlain},
        {rec::kDate1904, &Call<TGlobalsReader, &TGlobalsReader::ReadDateMode>, kPlain},
        {rec::kLeftMargin, &Call<TSheetReader, &TSheetReader::ReadMargin>, kPlain},
        {rec::kRightMargin, &Call<TSheetReader, &TSheetReader::ReadMargin>, kPlain},
        {rec::kTopMargin, &Call<TSheetReader, &TSheetReader::ReadMargin>, kPlain},
        {rec::kBottomMargin, &Call<TSheetReader, &TSheetReader::ReadMargin>, kPlain},
        {rec::kPrintRowCol, &Call<TSheetReader, &TSheetReader::ReadPrintFlag>, kPlain},
        {rec::kPrintGrid, &Call<TSheetReader, &TSheetReader::ReadPrintFlag>, kPlain},
        {rec::kFont2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFont>, kPlain},
        {rec::kCodePage2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadCodePage>, kPlain},
        {rec::kXf2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadXf>, kPlain},
        {rec::kIxfe2, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadIxfe>, kPlain},
        {rec::kColInfo, &Call<TSheetReader, &TSheetReader::ReadColInfo>, kPlain},
        {rec::kWsBool, &Call<TSheetReader, &TSheetReader::ReadWsBool>, kPlain},
        {rec::kHCenter, &Call<TSheetReader, &TSheetReader::ReadPrintFlag>, kPlain},
        {rec::kVCenter, &Call<TSheetReader, &TSheetReader::ReadPrintFlag>, kPlain},
        {rec::kBundleSheet4, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadBundleSheet>, kPlain},
        {rec::kPalette, &Call<TGlobalsReader, &TGlobalsReader::ReadPalette>, kPlain},
        {rec::kBlank, &Call<TSheetReader, &TSheetReader::ReadBlank>, kCells},
        {rec::kNumber, &Call<TSheetReader, &TSheetReader::ReadNumber>, kCells},
        {rec::kLabel3, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadLabel>, kCells},
        {rec::kBoolErr, &Call<TSheetReader, &TSheetReader::ReadBoolErr>, kCells},
        {rec::kFormula3, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFormula>, kCells},
        {rec::kString3, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadString>, kCells},
        {rec::kRow, &Call<TSheetReader, &TSheetReader::ReadRow>, kPlain},
        {rec::kBof3, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadBof>, kPlain},
        {rec::kDefaultRowHeight, &Call<TSheetReader, &TSheetReader::ReadDefaultRowHeight>, kPlain},
        {rec::kFont3, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFont>, kPlain},
        {rec::kXf3, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadXf>, kPlain},
        {rec::kRk, &Call<TSheetReader, &TSheetReader::ReadRk>, kCells},
        {rec::kFormula4, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFormula>, kCells},
        {rec::kBof4, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadBof>, kPlain},
        {rec::kFormat4, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadFormat>, kPlain},
        {rec::kXf4, &Call<TEarlyBiffReader, &TEarlyBiffReader::ReadXf>, kPlain},
    });

    // Handler position + 1 for every id, 0 for ids without a handler.
    template <std::size_t N>
    static std::array<std::uint8_t, 65536> PositionsOf(
        const std::array<TXLSReader::Handler, N>& handlers) {
        std::array<std::uint8_t, 65536> p{};
        for (std::size_t i = 0; i < handlers.size(); ++i) {
            p[handlers[i].Id] = static_cast<std::uint8_t>(i + 1);
        }
        return p;
    }
    static const std::array<std::uint8_t, 65536>& Positions() {
        static const std::array<std::uint8_t, 65536> positions = PositionsOf(kHandlers);
        return positions;
    }
    static const std::array<std::uint8_t, 65536>& EarlyPositions() {
        static const std::array<std::uint8_t, 65536> positions = PositionsOf(kEarlyHandlers);
        return positions;
    }
};

static_assert(ReaderTable::kHandlers.size() < 255, "positions fit in a byte");

TXLSReader::TXLSReader(TXLSFile& owner)
    : owner_(owner), workbook_(owner.Workbook()), noDrawings_(std::make_unique<TMSOData>()) {}

TXLSReader::~TXLSReader() = default;

const TMSOData& TXLSReader::Drawings() const {
    return drawing_ ? drawing_->Drawings() : *noDrawings_;
}

void TXLSReader::ReadFile(const std::u16string& fileName, const std::u16string& password,
                          const TReadOptions& options) {
    // The model and its colours are reset first, also when the file then fails to open.
    owner_.Clear();
    StartRead(owner_.Workbook());
    TCFile file(fileName, cfOpen);
    ReadDocument(file, password, options);
}

void TXLSReader::ReadDocument(TCFile& file, const std::u16string& password,
                              const TReadOptions& options) {
    Start(file, password, options);
    try {
        ReadRest();
        Finish(options);
    } catch (...) {
        stream_.reset();
        throw;
    }
}

void TXLSReader::Start(TCFile& file, const std::u16string& password, const TReadOptions& options) {
    onProgress_ = owner_.OnProgress();
    onRecord_ = owner_.OnRecord();
    early_.reset();
    drawing_.reset();
    sheet_.reset();
    globals_.reset();
    context_.reset();
    stream_.reset();
    file_.reset();
    owner_.Clear();
    StartRead(owner_.Workbook());
    // Damage of the compound document that opening worked around.
    workbook_.Warnings.insert(workbook_.Warnings.end(), file.Warnings().begin(),
                              file.Warnings().end());

    TCFileStream* workbookStream = FindWorkbookStream(file);
    if (workbookStream == nullptr) throw EXLSError(xeStreamNotFound, kWorkbookStream);
    workbook_.SetLoadState(lsReading);
    stream_ = std::make_unique<TBIFFStream>(*workbookStream);
    progressBlocks_ = -1;
    context_ =
        std::make_unique<TReadContext>(workbook_, options, owner_.FormulaSettings(), *stream_);
    globals_ = std::make_unique<TGlobalsReader>(*context_, password);
    sheet_ = std::make_unique<TSheetReader>(*context_);
    drawing_ = std::make_unique<TDrawingReader>(*context_);
    stream_->Rewind();
    versionPending_ = true;  // the first record tells the version (StartVersion)
}

void TXLSReader::ReadRest() {
    while (stream_->ReadJoinedRecord()) {
        ReportProgress();
        Dispatch(stream_->Joined());
    }
    ReportProgress();  // the read that found the end
}

void TXLSReader::Finish(const TReadOptions& options) {
    stream_.reset();
    workbook_.SetLoadState(lsRead);

    globals_->ApplyDefinedNames();
    sheet_->FinishFormulas();
    workbook_.XFTable().LocateDefaultXF();
    workbook_.LinkTable().ResetOwnDocument();
    if (options.ReadDrawings) drawing_->PlaceDrawings();
}

bool TXLSReader::ReadGlobals(std::shared_ptr<TCFile> file, const std::u16string& password,
                             const TReadOptions& options) {
    Start(*file, password, options);
    try {
        while (!context_->GlobalsDone && stream_->ReadJoinedRecord()) {
            ReportProgress();
            Dispatch(stream_->Joined());
        }
        if (options.ReadDrawings || options.StrictFormulas || !PositionsPlausible()) {
            ReadRest();
            Finish(options);
            return false;
        }
    } catch (...) {
        stream_.reset();
        throw;
    }
    file_ = std::move(file);
    positionsTrusted_ = true;
    workbook_.SetLoadState(lsRead);
    workbook_.XFTable().LocateDefaultXF();
    // The link table keeps the defined names and the sheet names in its own document: the
    // formulas of the sheets still to read name them.
    onProgress_ = nullptr;
    onRecord_ = nullptr;
    return true;
}

bool TXLSReader::PositionsPlausible() {
    const TReadContext& c = *context_;
    const std::vector<std::uint32_t>& at = c.SheetOffsets;
    if (!c.GlobalsDone || c.Depth != 0 || c.SheetIndex != 0 || at.empty() ||
        at.size() != static_cast<std::size_t>(workbook_.Sheets().Count()))
        return false;
    sheetsStart_ = stream_->NextRecordOffset();
    if (sheetsStart_ != at.front()) return false;
    const std::int64_t size = stream_->StreamSize();
    for (std::size_t i = 0; i < at.size(); ++i) {
        if (at[i] >= size || (i > 0 && at[i] <= at[i - 1])) return false;
    }
    return true;
}

void TXLSReader::EnterSheet(int position) {
    TReadContext& c = *context_;
    c.SheetIndex = position;
    c.GlobalsDone = true;
    c.Depth = 0;
    c.Substreams.clear();
    sheet_->StartSheet();
}

void TXLSReader::ReadSheet(int position, std::uint32_t rowLimit) {
    if (!file_) throw std::logic_error("no workbook is being read sheet by sheet");
    onProgress_ = owner_.OnProgress();
    onRecord_ = owner_.OnRecord();
    workbook_.SetLoadState(lsReading);
    try {
        if (!positionsTrusted_ || !ReadSheetAt(position, rowLimit)) {
            positionsTrusted_ = false;
            ScanForSheet(position);
        }
    } catch (...) {
        workbook_.SetLoadState(lsRead);
        sheet_->ForgetFormulas();
        throw;
    }
    workbook_.SetLoadState(lsRead);
    globals_->ApplyDefinedNames(position);
    sheet_->FinishFormulas(position);
    workbook_.XFTable().LocateDefaultXF();
}

void TXLSReader::ForgetSheet(int position) {
    if (!context_) return;
    context_->DefaultRowPixels.erase(position);
    context_->ScreenDefaultRows.erase(position);
}

bool TXLSReader::ReadSheetAt(int position, std::uint32_t rowLimit) {
    const std::vector<std::uint32_t>& at = context_->SheetOffsets;
    const std::int64_t start = at[static_cast<std::size_t>(position)];
    if (!stream_->SeekRecord(start) || !stream_->ReadJoinedRecord() ||
        stream_->Joined().Id != rec::kBof || stream_->Joined().Offset != start)
        return false;
    EnterSheet(position);
    const std::size_t next = static_cast<std::size_t>(position) + 1;
    const std::int64_t sheetEnd = next < at.size() ? at[next] : stream_->StreamSize();
    TRowLimit limit(rowLimit);
    for (bool more = true; more;
         more = context_->SheetIndex == position && stream_->ReadJoinedRecord()) {
        const TJoinedRecord& record = stream_->Joined();
        ReportProgress();
        if (context_->Depth == 1 && limit.Ends(record)) {
            // The blocks of rows from here to the end of the cell table are passed over:
            // reading goes on at its last DBCELL record, or, when that is not there,
            // where it was.
            const std::int64_t here = record.Offset;
            if (limit.TableEnd() >= sheetEnd || !stream_->SeekRecord(limit.TableEnd()) ||
                !stream_->ReadJoinedRecord() || stream_->Joined().Id != rec::kDbCell ||
                stream_->Joined().Offset != limit.TableEnd()) {
                if (!stream_->SeekRecord(here) || !stream_->ReadJoinedRecord())
                    throw std::logic_error("a record read before is not there");
            }
            limit.Drop();
        }
        Dispatch(stream_->Joined());
    }
    // The full read gives the records between this sheet's EOF and the next BOF to the
    // next sheet and counts every substream: the positions are kept only while each sheet
    // ends right where the next one starts.
    const std::int64_t expected = next < at.size() ? static_cast<std::int64_t>(at[next]) : -1;
    if (context_->SheetIndex != position + 1 || stream_->NextRecordOffset() != expected)
        positionsTrusted_ = false;
    return true;
}

void TXLSReader::ScanForSheet(int position) {
    if (sheetsStart_ < 0 || !stream_->SeekRecord(sheetsStart_)) return;
    EnterSheet(0);
    while (context_->SheetIndex <= position && stream_->ReadJoinedRecord()) {
        const TJoinedRecord& record = stream_->Joined();
        ReportProgress();
        // The substreams are counted, and a FILEPASS record decides how the rest reads.
        if (context_->SheetIndex == position || record.Id == rec::kBof || record.Id == rec::kEof ||
            record.Id == rec::kFilePass)
            Dispatch(record);
    }
}

void TXLSReader::ReportProgress() {
    if (!onProgress_) return;
    // The stream is read a block at a time, so the position moves only with a new block;
    // asking the compound document for it after every record would cost more than the
    // record.
    if (stream_->BlocksLoaded() != progressBlocks_) {
        progressBlocks_ = stream_->BlocksLoaded();
        const double size = stream_->StreamSize();
        progress_ = size == 0 ? 1.0 : stream_->StreamPosition() / size;
    }
    onProgress_(progress_);
}

void TXLSReader::StartVersion(const TJoinedRecord& first) {
    switch (first.Id) {
        case rec::kBof2:
            workbook_.Format = TFileFormat::Biff2;
            break;
        case rec::kBof3:
            workbook_.Format = TFileFormat::Biff3;
            break;
        case rec::kBof4: {
            platform::TByteCursor bof(first.Data, first.Length);
            workbook_.Format = records::DecodeBof(bof).Type == kExcel4Workbook ? TFileFormat::Biff4W
                                                                               : TFileFormat::Biff4;
            break;
        }
        default:
            return;
    }
    early_ = std::make_unique<TEarlyBiffReader>(*context_);
}

void TXLSReader::Dispatch(const TJoinedRecord& record) {
    if (versionPending_) {
        versionPending_ = false;
        StartVersion(record);
    }
    const Handler* handler = nullptr;
    if (early_) {
        const std::uint8_t at = ReaderTable::EarlyPositions()[record.Id];
        if (at != 0) handler = &ReaderTable::kEarlyHandlers[at - 1];
    } else {
        // Some writers give the FORMULA records of later versions the id of version 4.
        const std::uint16_t id = record.Id == rec::kFormula4 ? rec::kFormula : record.Id;
        const std::uint8_t at = ReaderTable::Positions()[id];
        if (at != 0) handler = &ReaderTable::kHandlers[at - 1];
    }
    // A record that continues reads its CONTINUE bodies; the others see their first body.
    TRecordCursor body = handler != nullptr && (handler->Flags & kContinued) != 0
                             ? TRecordCursor(record.Id, record.Data, record.Size, record.Starts)
                             : TRecordCursor(record.Id, record.Data, record.Length);
    // A chart's substream (a chart sheet, or a chart embedded in a worksheet) caches its
    // series data in cell records; they are not the sheet's cells. Drawing records are
    // read only when asked for, and not inside a chart: shapes drawn on a chart are placed
    // relative to the chart, not to cells, and their object ids are the chart's own.
    // BIFF5 keeps comments and pictures in records of other layouts, which are not read.
    const bool run =
        handler != nullptr && !((handler->Flags & kCells) != 0 && context_->InChart()) &&
        !((handler->Flags & kDrawing) != 0 &&
          (!context_->Options.ReadDrawings || context_->InChart() || context_->Biff5()));
    if (run) handler->Call(*this, body);
    // Inside a substream, records of id 0 are passed over; after the last EOF they are the
    // padding that ends the stream.
    stream_->SetZeroIdEnds(context_->Depth <= 0);
    if (onRecord_) {
        TRecordReport report{record.Offset, record.Id, record.Length, body.Short()};
        // A decoder that reads a fixed layout and leaves data of it unread reads a layout
        // other than the file's. Debug and test builds report it.
        if (kReportUnread && run && (handler->Flags & kChecked) != 0) {
            report.Unread = UnreadData(body);
        }
        onRecord_(report);
    }
}

bool TXLSReader::Handles(std::uint16_t id) {
    return ReaderTable::Positions()[id] != 0;
}

std::uint8_t TXLSReader::GetXLSFileVersion(const std::u16string& fileName) {
    try {
        TCFile file(fileName, cfOpen);
        return DocumentVersion(file);
    } catch (...) {
        return 0;
    }
}

std::shared_ptr<TCFile> TXLSReader::OpenCompoundDocument(const std::u16string& fileName) {
    return std::make_shared<TCFile>(fileName, cfOpen);
}

// "Workbook" (BIFF8) or, without one, "Book" (BIFF5/7, though some writers put BIFF8
// there), whatever their letter case, or the one stream of a bare record stream (Excel 2.x
// to 4.0). A "Book" stream counts only when it starts with a BOF record: other programs'
// documents may hold a stream of that name.
TCFileStream* TXLSReader::FindWorkbookStream(TCFile& file) {
    if (auto* stream = dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream)))
        return stream;
    auto* book = dynamic_cast<TCFileStream*>(file.Root().FindItem(kBookStream));
    if (book != nullptr && BofVersion(*book)) return book;
    return dynamic_cast<TCFileStream*>(file.Root().FindItem(kRecordStream));
}

// The version of the workbook stream's first BOF record: by the record's id up to version
// 4 (a bare record stream), by its version field from 5 on (5 for BIFF5/7, else 8).
std::uint8_t TXLSReader::DocumentVersion(TCFile& file) {
    TCFileStream* workbookStream = FindWorkbookStream(file);
    if (workbookStream == nullptr) return 0;
    std::uint8_t head[2] = {};
    std::int32_t got = 0;
    try {
        workbookStream->SetPosition(0);
        got = workbookStream->Read(head, sizeof head);
        workbookStream->SetPosition(0);
    } catch (const Exception&) {
        got = 0;  // a stream that cannot be read is left to the read to report
    }
    if (got == 2) {
        switch (static_cast<std::uint16_t>(head[0] | head[1] << 8)) {
            case rec::kBof2:
                return 2;
            case rec::kBof3:
                return 3;
            case rec::kBof4:
                return 4;
            default:
                break;
        }
    }
    return BofVersion(*workbookStream) == records::kBiff5Version ? 5 : 8;
}

std::int32_t TXLSReader::GetXLSFileProtection(const std::u16string& fileName) {
    TCFile file(fileName, cfOpen);
    return DocumentProtection(file);
}

std::int32_t TXLSReader::DocumentProtection(TCFile& file) {
    TCFileStream* workbookStream = FindWorkbookStream(file);
    if (workbookStream == nullptr) throw EXLSError(xeStreamNotFound, kWorkbookStream);
    const bool early = DocumentVersion(file) < 5;
    TBIFFStream stream(*workbookStream);
    stream.Rewind();
    // Before BIFF8 (a BOF of version 5) FILEPASS has no encryption type.
    constexpr std::uint16_t kBiff5Version = 0x0500;
    bool typed = true;
    for (int n = 0; n < kProtectionScanRecords && stream.ReadRecord(); ++n) {
        TBIFFRecord& record = stream.Record();
        if (n == 0 && record.Id == rec::kBof) typed = record.Data.Cursor().U16() != kBiff5Version;
        if (record.Id != rec::kFilePass) continue;
        if (early) return -1;  // the older versions' own scheme, not decrypted here
        platform::TByteCursor body = record.Data.Cursor();
        try {
            const TFilePassScheme scheme = TFilePassScheme::Decode(body, typed);
            return scheme.Open(kDefaultPassword) ? 0 : 10;
        } catch (const Exception&) {
            return -1;  // a scheme no password opens
        }
    }
    return 0;
}

}  // namespace vorlix
