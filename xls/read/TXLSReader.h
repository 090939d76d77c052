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
    std::uint8_t GetXLSFileVersion(const std::u16string& fileName);
    std::int32_t GetXLSFileProtection(const std::u16string& fileName);
    // The compound document of a file, opened (raises as TCFile does).
    static std::shared_ptr<TCFile> OpenCompoundDocument(const std::u16string& fileName);
    static std::uint8_t DocumentVersion(TCFile& file);
    // The stream of a document's workbook records, or null.
    static TCFileStream* WorkbookStream(TCFile& file);
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
    void Dispatch(const TJoinedRecord& record);
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
    std::unique_ptr<TMSOData> noDrawings_;
};

}  // namespace vorlix
