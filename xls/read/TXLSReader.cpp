#include "xls/read/TXLSReader.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/CodePage.h"
#include "xls/formula/TPtgParser.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/read/Decryption.h"
#include "xls/read/RecordIds.h"
#include "xls/read/TBIFFStream.h"
#include "xls/read/TCFile.h"
#include "xls/read/TMSOData.h"
#include "xls/read/records/GlobalsRecords.h"

namespace vorlix {

namespace {

constexpr const char* kWorkbookStream = "Workbook";
constexpr int kProtectionScanRecords = 5;

}  // namespace

// Record ids and their handlers. Ids not listed here (CONTINUE included, when it reaches
// the loop) are skipped.
struct ReaderTable {
    using R = TXLSReader;
    static constexpr auto kHandlers = std::to_array<TXLSReader::Handler>({
        {rec::kFormula, &R::ReadFormula, true},
        {rec::kEof, &R::ReadBofEof},
        {rec::kPassword, &R::ReadPassword},
        {rec::kHeader, &R::ReadHeader},
        {rec::kFooter, &R::ReadFooter},
        {rec::kExternSheet, &R::ReadExternSheet},
        {rec::kLbl, &R::ReadName},
        {rec::kNote, &R::ReadNote, false, false, true},
        {rec::kDate1904, &R::ReadDateMode},
        {rec::kExternName, &R::ReadExternName},
        {rec::kLeftMargin, &R::ReadMargin},
        {rec::kRightMargin, &R::ReadMargin},
        {rec::kTopMargin, &R::ReadMargin},
        {rec::kBottomMargin, &R::ReadMargin},
        {rec::kPrintRowCol, &R::ReadPrintFlag},
        {rec::kPrintGrid, &R::ReadPrintFlag},
        {rec::kFilePass, &R::ReadFilePass},
        {rec::kFont, &R::ReadFont},
        {rec::kPane, &R::ReadPane},
        {rec::kObj, &R::ReadObj, false, true, true},
        {rec::kColInfo, &R::ReadColInfo},
        {rec::kWsBool, &R::ReadWsBool},
        {rec::kHCenter, &R::ReadPrintFlag},
        {rec::kVCenter, &R::ReadPrintFlag},
        {rec::kBoundSheet8, &R::ReadBoundSheet},
        {rec::kPalette, &R::ReadPalette},
        {rec::kScl, &R::ReadScl},
        {rec::kSetup, &R::ReadSetup},
        {rec::kMulRk, &R::ReadMulRk, true},
        {rec::kMulBlank, &R::ReadMulBlank, true},
        {rec::kXf, &R::ReadXf},
        {rec::kMergeCells, &R::ReadMergeCells, true},
        {rec::kMsoDrawingGroup, &R::ReadMsoDrawingGroup, false, true, true},
        {rec::kMsoDrawing, &R::ReadMsoDrawing, false, false, true},
        {rec::kSst, &R::ReadSst, false, true},
        {rec::kLabelSst, &R::ReadLabelSst, true},
        {rec::kSupBook, &R::ReadSupbook},
        {rec::kTxo, &R::ReadTxo, false, true, true},
        {rec::kHLink, &R::ReadHLink, true},
        {rec::kDv, &R::ReadDv},
        {rec::kBlank, &R::ReadBlank, true},
        {rec::kNumber, &R::ReadNumber, true},
        {rec::kLabel, &R::ReadLabel, true},
        {rec::kBoolErr, &R::ReadBoolErr, true},
        {rec::kString, &R::ReadString, true, true},
        {rec::kRow, &R::ReadRow},
        {rec::kArray, &R::ReadArray},
        {rec::kTable, &R::ReadTable},
        {rec::kWindow2, &R::ReadWindow2},
        {rec::kRk, &R::ReadRk, true},
        {rec::kFormat, &R::ReadFormat},
        {rec::kShrFmla, &R::ReadShrFmla},
        {rec::kBof, &R::ReadBofEof},
        {rec::kFeatHdr, &R::ReadFeatHdr},
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

// Merged areas and hyperlinks bring their cells into being, 8 bytes of record naming up to
// 16.7 million of them. What they may create in one read grows with the workbook stream:
// 256 Ki cells, plus one for every two bytes of the stream, at most one full sheet. A cell
// takes about 50 bytes, so opening a workbook of N bytes stays within 64 MB + 40 x N of
// memory; real workbooks stay far below it. An area beyond it keeps its rectangle and
// creates no cells.
constexpr std::uint64_t kAreaCellBase = 256ull * 1024;
constexpr std::uint64_t kAreaCellMost = 256ull * 65536;

std::uint64_t AreaCellBudget(std::int64_t streamSize) {
    const std::uint64_t bytes = streamSize > 0 ? static_cast<std::uint64_t>(streamSize) : 0;
    return std::min(kAreaCellBase + bytes / 2, kAreaCellMost);
}

// Formula texts grow the same way: a shared formula of 8 KB may stand for thousands of
// cells and spell out hundreds of kilobytes of text for each. What all formulas of a read
// may write is 16 MB plus 8 bytes per byte of the stream, far more than real workbooks
// need: their texts are a fraction of their records' size.
constexpr std::uint64_t kFormulaTextBase = 16ull << 20;
constexpr std::uint64_t kFormulaTextPerByte = 8;

std::uint64_t FormulaWriteBudget(std::int64_t streamSize) {
    const std::uint64_t bytes = streamSize > 0 ? static_cast<std::uint64_t>(streamSize) : 0;
    return kFormulaTextBase + kFormulaTextPerByte * bytes;
}

TXLSReader::TXLSReader(TXLSFile& owner)
    : owner_(owner),
      workbook_(owner.Workbook()),
      areaCellBudget_(kAreaCellBase),
      drawings_(std::make_unique<TMSOData>()) {}

TXLSReader::~TXLSReader() = default;

TBIFFRecord& TXLSReader::Record() {
    return stream_->Record();
}

TSheet& TXLSReader::CurrentSheet() {
    return workbook_.Sheets().Items(sheetIndex_);
}

void TXLSReader::ReadFile(const std::u16string& fileName, const std::u16string& password,
                          const TReadOptions& options) {
    // The model and the palette are reset first, also when the file then fails to open.
    owner_.Clear();
    ResetPalette();
    TCFile file(fileName, cfOpen);
    ReadDocument(file, password, options);
}

void TXLSReader::ReadDocument(TCFile& file, const std::u16string& password,
                              const TReadOptions& options) {
    options_ = options;
    formulaSettings_ = owner_.FormulaSettings();
    password_ = password;
    onProgress_ = owner_.OnProgress();
    onRecord_ = owner_.OnRecord();
    drawings_ = std::make_unique<TMSOData>();
    sharedPlaces_.clear();
    sharedPlacesOf_ = nullptr;
    owner_.Clear();
    ResetPalette();

    auto* workbookStream = dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream));
    if (workbookStream == nullptr) throw EXLSError(xeStreamNotFound, kWorkbookStream);
    try {
        workbook_.SetLoadState(lsReading);
        stream_ = std::make_unique<TBIFFStream>(*workbookStream);
        progressBlocks_ = -1;
        streamBytes_ = static_cast<std::uint64_t>(std::max<std::int64_t>(stream_->StreamSize(), 0));
        areaCellBudget_ = AreaCellBudget(stream_->StreamSize());
        Parser().SetTotalWriteBudget(FormulaWriteBudget(stream_->StreamSize()));
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
        if (options_.ReadDrawings) PlaceDrawings();
    } catch (...) {
        stream_.reset();
        throw;
    }
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
    return fetched;
}

bool TXLSReader::PeekContinue() {
    Consume();
    const bool fetched = NextRecord();
    if (fetched) body_ = Record().Data.Cursor();
    return fetched && Record().Id == rec::kContinue;
}

void TXLSReader::Dispatch() {
    body_ = Record().Data.Cursor();
    const std::int64_t offset = Record().Offset;
    const std::uint16_t id = Record().Id;
    const std::uint16_t length = Record().Length;
    const std::uint8_t at = ReaderTable::Positions()[id];
    const Handler* handler = at == 0 ? nullptr : &ReaderTable::kHandlers[at - 1];
    // A chart's substream (a chart sheet, or a chart embedded in a worksheet) caches its
    // series data in cell records; they are not the sheet's cells. Drawing records are
    // read only when asked for, and not inside a chart: shapes drawn on a chart are placed
    // relative to the chart, not to cells, and their object ids are the chart's own.
    const bool drawingSkipped =
        handler != nullptr && handler->Drawing && (!options_.ReadDrawings || InChart());
    if (handler != nullptr && !(handler->MakesCells && InChart()) && !drawingSkipped) {
        (this->*handler->Read)(body_);
        if (!handler->ReadsOn) Consume();
    } else {
        Consume();
    }
    if (onRecord_) onRecord_(TRecordReport{offset, id, length, body_.Short()});
}

bool TXLSReader::InChart() const {
    for (const std::uint16_t type : substreams_) {
        if (type == records::TBofRecord::kChart) return true;
    }
    return false;
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

std::uint8_t TXLSReader::DocumentVersion(TCFile& file) {
    return dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream)) != nullptr ? 8 : 0;
}

std::int32_t TXLSReader::GetXLSFileProtection(const std::u16string& fileName) {
    TCFile file(fileName, cfOpen);
    return DocumentProtection(file);
}

std::int32_t TXLSReader::DocumentProtection(TCFile& file) {
    auto* workbookStream = dynamic_cast<TCFileStream*>(file.Root().FindItem(kWorkbookStream));
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

// Texts continued across CONTINUE records.

bool TXLSReader::ReadContinuedChars(std::uint32_t count, bool wide, SharedString& out) {
    std::u16string text;
    bool anyWide = wide;
    bool complete = true;
    while (text.size() < count) {
        if (body_.AtEnd()) {
            if (!PeekContinue()) {
                complete = false;
                break;
            }
            if (body_.AtEnd() && !PeekContinue()) {
                complete = false;
                break;
            }
            // Each CONTINUE that goes on with characters says their width again.
            wide = (body_.U8() & 0x01) != 0;
            anyWide = anyWide || wide;
        }
        const std::size_t missing = count - text.size();
        const std::size_t n = std::min(wide ? body_.Remaining() / 2 : body_.Remaining(), missing);
        if (n == 0) {
            body_.Skip(body_.Remaining());  // a lone odd byte: nothing more in this record
            continue;
        }
        text += body_.Chars(n, wide);
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
        if (body_.AtEnd() && !PeekContinue()) return false;
        const auto take =
            static_cast<std::uint32_t>(std::min<std::size_t>(body_.Remaining(), bytes));
        body_.Skip(take);
        bytes -= take;
    }
    return true;
}

}  // namespace vorlix
