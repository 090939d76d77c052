#include "xls/read/TXLSReader.h"

#include <array>
#include <optional>
#include <type_traits>

#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/read/Decryption.h"
#include "xls/read/DrawingReader.h"
#include "xls/read/GlobalsReader.h"
#include "xls/read/ReadContext.h"
#include "xls/read/RecordCursor.h"
#include "xls/read/RecordIds.h"
#include "xls/read/SheetReader.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"
#include "xls/read/TMSOData.h"
#include "xls/read/records/Biff5Records.h"

namespace vorlix {

namespace {

constexpr const char* kWorkbookStream = "Workbook";
constexpr const char* kBookStream = "Book";  // Excel 5.0 and 95
constexpr int kProtectionScanRecords = 5;

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

// "Workbook" (BIFF8) or, without one, "Book" (BIFF5/7, though some writers put BIFF8
// there), whatever their letter case. A "Book" stream counts only when it starts with a
// BOF record: other programs' documents may hold a stream of that name.
TCFileStream* TXLSReader::WorkbookStream(TCFile& file) {
    if (auto* stream = dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream)))
        return stream;
    auto* book = dynamic_cast<TCFileStream*>(file.Root().FindItem(kBookStream));
    return book != nullptr && BofVersion(*book) ? book : nullptr;
}

// The handler table: the records of Records.def that have a handler, in id order. Each
// row calls its method on the reader the method belongs to.
struct ReaderTable {
    template <class Part>
    static Part& PartOf(TXLSReader& r) {
        if constexpr (std::is_same_v<Part, TGlobalsReader>) {
            return *r.globals_;
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
    onProgress_ = owner_.OnProgress();
    onRecord_ = owner_.OnRecord();
    drawing_.reset();
    sheet_.reset();
    globals_.reset();
    context_.reset();
    owner_.Clear();
    StartRead(owner_.Workbook());

    TCFileStream* workbookStream = WorkbookStream(file);
    if (workbookStream == nullptr) throw EXLSError(xeStreamNotFound, kWorkbookStream);
    try {
        workbook_.SetLoadState(lsReading);
        stream_ = std::make_unique<TBIFFStream>(*workbookStream);
        progressBlocks_ = -1;
        context_ =
            std::make_unique<TReadContext>(workbook_, options, owner_.FormulaSettings(), *stream_);
        globals_ = std::make_unique<TGlobalsReader>(*context_, password);
        sheet_ = std::make_unique<TSheetReader>(*context_);
        drawing_ = std::make_unique<TDrawingReader>(*context_);
        stream_->Rewind();
        while (stream_->ReadJoinedRecord()) {
            ReportProgress();
            Dispatch(stream_->Joined());
            // Inside a substream, records of id 0 are passed over; after the last EOF they
            // are the padding that ends the stream.
            stream_->SetZeroIdEnds(context_->Depth <= 0);
        }
        ReportProgress();  // the read that found the end
        stream_.reset();
        workbook_.SetLoadState(lsRead);

        globals_->ApplyDefinedNames();
        sheet_->FinishFormulas();
        workbook_.XFTable().LocateDefaultXF();
        workbook_.LinkTable().ResetOwnDocument();
        if (options.ReadDrawings) drawing_->PlaceDrawings();
    } catch (...) {
        stream_.reset();
        throw;
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

void TXLSReader::Dispatch(const TJoinedRecord& record) {
    const std::uint8_t at = ReaderTable::Positions()[record.Id];
    const Handler* handler = at == 0 ? nullptr : &ReaderTable::kHandlers[at - 1];
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

// The version of the workbook stream's first BOF record: 5 for BIFF5/7, 8 otherwise.
std::uint8_t TXLSReader::DocumentVersion(TCFile& file) {
    TCFileStream* workbookStream = WorkbookStream(file);
    if (workbookStream == nullptr) return 0;
    return BofVersion(*workbookStream) == records::kBiff5Version ? 5 : 8;
}

std::int32_t TXLSReader::GetXLSFileProtection(const std::u16string& fileName) {
    TCFile file(fileName, cfOpen);
    return DocumentProtection(file);
}

std::int32_t TXLSReader::DocumentProtection(TCFile& file) {
    TCFileStream* workbookStream = WorkbookStream(file);
    if (workbookStream == nullptr) throw EXLSError(xeStreamNotFound, kWorkbookStream);
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

}  // namespace vorlix
