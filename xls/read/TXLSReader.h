// The workbook reader: one forward pass over the logical records of the "Workbook" stream
// (each record with the bodies of the CONTINUE records after it, as TBIFFStream joins
// them), each dispatched by id to a handler that fills the workbook model, then the
// finishing steps that need the whole file.
//
// Handlers are data: the table generated from Records.def maps each record id to a method
// of the globals, sheet or drawing reader and its flags. The three readers share one read
// context (ReadContext.h); each decodes its records with pure decoders (records/*.h) and
// applies the result to the model. No handler sees a CONTINUE record: a handler of a
// record that continues reads its CONTINUE bodies through the record's cursor, and the
// others see their first body.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/TXLSFile.h"

namespace vorlix {

class TBIFFStream;
class TCFile;
class TCFileStream;
class TDrawingReader;
class TEarlyBiffReader;
class TGlobalsReader;
class TMSOData;
class TReadContext;
class TRecordCursor;
class TSheetReader;
struct TJoinedRecord;

class TXLSReader {
  public:
    explicit TXLSReader(TXLSFile& owner);
    ~TXLSReader();
    TXLSReader(const TXLSReader&) = delete;
    TXLSReader& operator=(const TXLSReader&) = delete;

    void ReadFile(const std::u16string& fileName, const std::u16string& password,
                  const TReadOptions& options);
    // The same, from a compound document already open.
    void ReadDocument(TCFile& file, const std::u16string& password, const TReadOptions& options);
    // Reads the globals of a compound document that stays open, and leaves the sheets to
    // ReadSheet: true then. Each sheet is found where its BOUNDSHEET record says its BOF
    // is. When those positions cannot be right (outside the stream, out of order, the first
    // not where the globals end), or the options want drawings (whose data spans the
    // sheets) or a strict read, the whole workbook is read at once as ReadDocument reads
    // it: false.
    bool ReadGlobals(std::shared_ptr<TCFile> file, const std::u16string& password,
                     const TReadOptions& options);
    // After ReadGlobals: reads the records of the sheet at `position` into that sheet, which
    // holds nothing yet, and finishes them (formula texts, its defined names). With a row
    // limit the read may stop early at a block of the cell table that starts at or past
    // that row; the records after the cell table are still read. Raises what a read of
    // the whole workbook raises for the sheet's records.
    void ReadSheet(int position, std::uint32_t rowLimit = kAllRows);
    // The sheet at `position` was emptied: what the reader kept of it goes.
    void ForgetSheet(int position);
    static constexpr std::uint32_t kAllRows = 0xFFFFFFFF;
    std::uint8_t GetXLSFileVersion(const std::u16string& fileName);
    std::int32_t GetXLSFileProtection(const std::u16string& fileName);
    // The compound document of a file, opened (raises as TCFile does).
    static std::shared_ptr<TCFile> OpenCompoundDocument(const std::u16string& fileName);
    // 8 for a compound document with a "Workbook" stream; for a bare record stream its
    // version (2, 3, 4, 5 or 8); else 0.
    static std::uint8_t DocumentVersion(TCFile& file);
    // The stream of a document's workbook records ("Workbook", "Book" or the one stream of
    // a bare record stream), or null.
    static TCFileStream* FindWorkbookStream(TCFile& file);
    static std::int32_t DocumentProtection(TCFile& file);

    // A row of the handler table: the record id, the call of its reader's method and the
    // handler's flags (THandlerFlags).
    struct Handler {
        std::uint16_t Id;
        void (*Call)(TXLSReader& reader, TRecordCursor& body);
        std::uint8_t Flags;
    };
    // Whether the reader has a handler for the id.
    static bool Handles(std::uint16_t id);

    // The pictures and shapes collected in the last read (after pruning, when it got that
    // far).
    const TMSOData& Drawings() const;

  private:
    // The start and the finishing steps of a read.
    void Start(TCFile& file, const std::u16string& password, const TReadOptions& options);
    void Finish(const TReadOptions& options);
    // Reads on to the end of the records.
    void ReadRest();
    // Whether the sheets' BOUNDSHEET positions can be where their substreams start.
    bool PositionsPlausible();
    // A sheet read from its BOUNDSHEET position; false, with nothing read into the sheet,
    // when no BOF record starts there.
    bool ReadSheetAt(int position, std::uint32_t rowLimit);
    // A sheet read as the whole read finds it: the substreams after the globals counted
    // from the first, only the sheet's own records handled.
    void ScanForSheet(int position);
    // The read context set for the records of the sheet at `position`.
    void EnterSheet(int position);
    void Dispatch(const TJoinedRecord& record);
    // The file's version, from its first record: versions 2 to 4 are read with early_.
    void StartVersion(const TJoinedRecord& first);
    void ReportProgress();

    friend struct ReaderTable;

    TXLSFile& owner_;
    TWorkbook& workbook_;
    std::unique_ptr<TBIFFStream> stream_;
    TProgressEvent onProgress_;
    TRecordEvent onRecord_;
    // The blocks of the stream loaded at the last progress report, and its fraction.
    std::int64_t progressBlocks_ = -1;
    double progress_ = 0;
    // The read context and the three readers of the last read.
    std::unique_ptr<TReadContext> context_;
    std::unique_ptr<TGlobalsReader> globals_;
    std::unique_ptr<TSheetReader> sheet_;
    std::unique_ptr<TDrawingReader> drawing_;
    // The reader of the records of versions 2 to 4, for a file of those versions.
    std::unique_ptr<TEarlyBiffReader> early_;
    bool versionPending_ = false;
    std::unique_ptr<TMSOData> noDrawings_;
    // A read sheet by sheet: the document it reads, where the globals end (the first
    // sheet's BOF), and whether the sheets are taken from their BOUNDSHEET positions (each
    // sheet read so far ended where the next one starts).
    std::shared_ptr<TCFile> file_;
    std::int64_t sheetsStart_ = -1;
    bool positionsTrusted_ = false;
};

}  // namespace vorlix
