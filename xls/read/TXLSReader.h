// The workbook reader: one forward pass over the records of the "Workbook" stream, each
// dispatched by id to a handler that fills the workbook model, then the finishing steps
// that need the whole file.
//
// Handlers are data: a table maps each record id to its handler. The dispatcher hands the
// handler a cursor over the record's body and marks the record consumed afterwards. The
// handlers of records whose data goes on in CONTINUE records read ahead themselves; one
// that meets another record leaves that record unconsumed, and the loop dispatches it
// next. A record left unconsumed twice is a fault. Each handler decodes its record with a
// pure decoder (records/*.h) and applies the result to the model.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/TCellValue.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/records/CellRecords.h"

namespace vorlix {

class TBIFFStream;
class TCFile;
class TMSOData;
class TPtgParser;
class TCell;
class TSheet;
struct TBIFFRecord;

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
    static std::int32_t DocumentProtection(TCFile& file);

    using Body = platform::TByteCursor;

    // The handler table, in id order.
    struct Handler {
        std::uint16_t Id;
        void (TXLSReader::*Read)(Body& body);
        // Records that make cells; inside a chart they are the chart's cached data.
        bool MakesCells = false;
        // The handler reads on into CONTINUE records and consumes what it read itself.
        bool ReadsOn = false;
        // A record of pictures and comments: read only with ReadDrawings.
        bool Drawing = false;
    };
    // Whether the reader has a handler for the id.
    static bool Handles(std::uint16_t id);

    // The pictures and shapes collected in the last read (after pruning, when it got that
    // far).
    const TMSOData& Drawings() const { return *drawings_; }

  private:
    // A shared string: 8-bit characters (already in the library code page) or UTF-16.
    struct SharedString {
        bool Wide = false;
        std::string Ansi;
        std::u16string Text;
    };

    bool NextRecord();
    // Consumes the record in hand and fetches the next one; true when it is a CONTINUE,
    // whose body the cursor `body_` then reads.
    bool PeekContinue();
    void Dispatch();
    void Consume() { consumed_ = true; }
    TBIFFRecord& Record();
    TSheet& CurrentSheet();

    // Characters of a text that may continue in CONTINUE records, each of which starts
    // with an option byte giving the width of what follows. Returns false when the text
    // was cut short by a record that is not a CONTINUE.
    bool ReadContinuedChars(std::uint32_t count, bool wide, SharedString& out);
    // Skips bytes that may continue in CONTINUE records (which carry no option byte here).
    bool SkipContinued(std::uint32_t bytes);

    // Whether cells, rows or columns already point into the font and XF tables.
    bool FormatTablesInUse() const;
    void ApplyCellFormat(TCell& cell, std::uint32_t xf);
    // How a number under an XF position is kept (remembered until the XF or format tables
    // change): as a number, a point in time, a point in time that below one day is a time of
    // day (a format of times alone), or a duration (a format of elapsed time).
    enum class TNumberUse : std::uint8_t { Unknown, Number, DateTime, Time, Duration };
    TNumberUse NumberUseOfXF(std::uint32_t xf);
    bool ValidXF(std::uint32_t xf) const;
    // The date-time value of a serial number under a use other than Number.
    TCellValue ToDateTime(double serial, TNumberUse use) const;
    // A number, text or boolean cell with its XF, as GetCell, SetValue and ApplyCellFormat
    // would leave it.
    void PutNumber(std::uint32_t row, std::uint32_t col, std::uint32_t xf, double value);
    void PutText(std::uint32_t row, std::uint32_t col, std::uint32_t xf, const SharedString& text);
    void FinishFormulas();
    void ApplyDefinedNames();
    // The formula decoder, made the first time a formula or validation needs it.
    TPtgParser& Parser();

    // Globals.
    void ReadBofEof(Body& body);
    void ReadBoundSheet(Body& body);
    void ReadSst(Body& body);
    void ReadFont(Body& body);
    void ReadFormat(Body& body);
    void ReadXf(Body& body);
    void ReadPalette(Body& body);
    void ReadFilePass(Body& body);
    void ReadPassword(Body& body);
    void ReadDateMode(Body& body);
    // Links and names.
    void ReadName(Body& body);
    void ReadExternSheet(Body& body);
    void ReadExternName(Body& body);
    void ReadSupbook(Body& body);
    // Cells.
    void ReadNumber(Body& body);
    void ReadRk(Body& body);
    void ReadMulRk(Body& body);
    void ReadLabel(Body& body);
    void ReadLabelSst(Body& body);
    void ReadBlank(Body& body);
    void ReadMulBlank(Body& body);
    void ReadBoolErr(Body& body);
    void ReadFormula(Body& body);
    void ReadString(Body& body);
    void ReadShrFmla(Body& body);
    void ReadArray(Body& body);
    void ReadTable(Body& body);
    void ReadHLink(Body& body);
    void ReadDv(Body& body);
    // Rows and columns.
    void ReadRow(Body& body);
    void ReadColInfo(Body& body);
    void ReadMergeCells(Body& body);
    // Page setup and window.
    void ReadHeader(Body& body);
    void ReadFooter(Body& body);
    void ReadSetup(Body& body);
    void ReadMargin(Body& body);
    void ReadPrintFlag(Body& body);
    void ReadWsBool(Body& body);
    void ReadWindow2(Body& body);
    void ReadPane(Body& body);
    void ReadScl(Body& body);
    void ReadFeatHdr(Body& body);
    // Pictures and comments.
    void ReadMsoDrawingGroup(Body& body);
    void ReadMsoDrawing(Body& body);
    void ReadObj(Body& body);
    void ReadTxo(Body& body);
    void ReadNote(Body& body);
    // Consumes the record in hand; when the next one is a CONTINUE, gives it the id of
    // MSODRAWING, for the loop to dispatch next: drawing data that goes on after an object.
    void ContinueAsDrawing();
    // The last finishing step: pictures become sheet images, comments cell comments.
    void PlaceDrawings();
    void Skip(Body&) {}

    void ReadHeaderFooter(Body& body, bool header);
    void Blank(std::uint32_t row, std::uint32_t col, std::uint32_t xf);

    friend struct ReaderTable;

    TXLSFile& owner_;
    TWorkbook& workbook_;
    std::unique_ptr<TBIFFStream> stream_;
    // The body of the record in hand.
    Body body_;
    TProgressEvent onProgress_;
    TRecordEvent onRecord_;
    TReadOptions options_;
    TFormulaSettings formulaSettings_;
    std::u16string password_;
    bool consumed_ = true;
    bool ended_ = false;
    std::uint8_t redispatchCount_ = 0;
    // The blocks of the stream loaded at the last progress report, and its fraction.
    std::int64_t progressBlocks_ = -1;
    double progress_ = 0;
    std::int32_t depth_ = 0;
    // Substream types (BOF type field) from the outermost in; 0x0020 is a chart.
    std::vector<std::uint16_t> substreams_;
    bool InChart() const;
    bool globalsDone_ = false;
    std::int32_t sheetIndex_ = 0;
    std::vector<SharedString> stringTable_;
    // Where the sheet being read keeps each shared string it has used, plus 1 (0: not yet).
    std::vector<std::uint64_t> sharedPlaces_;
    const TCells* sharedPlacesOf_ = nullptr;
    // The stored formulas: their option flags (2 bytes as stored), the token length (2
    // bytes), the tokens and the data after them.
    std::vector<std::string> formulaTable_;
    std::unique_ptr<TPtgParser> parser_;
    std::int32_t pendingRow_ = -1, pendingCol_ = -1, pendingXF_ = -1;
    std::vector<TNumberUse> numberUseOfXF_;
    // Cells that merged areas and hyperlinks may still bring into being in this read (it
    // grows with the size of the workbook stream). An area names up to 16.7 million cells
    // in 8 bytes; without a budget a small hostile file could demand gigabytes.
    std::uint64_t areaCellBudget_;
    std::uint64_t streamBytes_ = 0;  // the size of the workbook stream
    // Decoding space of MULRK and MULBLANK records, reused from record to record.
    records::TMulRkRecord mulRk_;
    records::TMulBlankRecord mulBlank_;
    std::unique_ptr<TMSOData> drawings_;
    bool fontsStarted_ = false;
    bool xfsStarted_ = false;
};

}  // namespace vorlix
