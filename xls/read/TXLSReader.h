// The workbook reader: one forward pass over the records of the "Workbook" stream, each
// dispatched by id to a handler that fills the workbook model, then the finishing steps
// that need the whole file.
//
// The reader keeps one record in hand. A handler marks the record consumed; one that
// reads ahead (for CONTINUE records) and meets another record leaves that record
// unconsumed, and the loop dispatches it next. A record left unconsumed twice is a fault.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/format/TFormatStrings.h"
#include "xls/model/TXLSFile.h"

namespace vorlix {

class TBIFFStream;
class TCFile;
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
    std::uint8_t GetXLSFileVersion(const std::u16string& fileName);
    std::int32_t GetXLSFileProtection(const std::u16string& fileName);

    // The name of the handler for a record id ("SST"), or null for ids the reader skips.
    static const char* HandlerName(std::uint16_t id);

    // The handler table, in id order.
    struct Handler {
        std::uint16_t Id;
        const char* Name;
        void (TXLSReader::*Read)();
        // Records that make cells; inside a chart they are the chart's cached data.
        bool MakesCells = false;
    };

  private:
    // A shared string: 8-bit characters (already in the library code page) or UTF-16.
    struct SharedString {
        bool Wide = false;
        std::string Ansi;
        std::u16string Text;
    };

    bool NextRecord();
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

    void ApplyCellFormat(TCell& cell, std::uint32_t xf);
    // How a number under an XF position is kept (remembered until the XF or format tables
    // change): as a number, a point in time, or a duration (a format of elapsed time).
    enum class TNumberUse : std::uint8_t { Unknown, Number, DateTime, Duration };
    TNumberUse NumberUseOfXF(std::uint32_t xf);
    bool ValidXF(std::uint32_t xf) const;
    double ToDateTime(double serial, TNumberUse use) const;
    // A number, text or boolean cell with its XF, as GetCell, SetValue and ApplyCellFormat
    // would leave it.
    void PutNumber(std::uint32_t row, std::uint32_t col, std::uint32_t xf, double value);
    void PutText(std::uint32_t row, std::uint32_t col, std::uint32_t xf, const SharedString& text);
    void FinishFormulas();
    void ApplyDefinedNames();

    // Globals.
    void ReadBofEof();
    void ReadBoundSheet();
    void ReadSst();
    void ReadFont();
    void ReadFormat();
    void ReadXf();
    void ReadPalette();
    void ReadFilePass();
    void ReadPassword();
    void ReadDateMode();
    void ReadName();
    void ReadExternSheet();
    void ReadExternName();
    void ReadSupbook();
    // Sheets.
    void ReadNumber();
    void ReadRk();
    void ReadMulRk();
    void ReadLabel();
    void ReadLabelSst();
    void ReadBlank();
    void ReadMulBlank();
    void ReadBoolErr();
    void ReadFormula();
    void ReadString();
    void ReadShrFmla();
    void ReadRow();
    void ReadColInfo();
    void ReadMergedCells();
    void ReadHLink();
    void ReadDv();
    void ReadHeader();
    void ReadFooter();
    void ReadSetup();
    void ReadMargin();
    void ReadPrintFlag();
    void ReadWsBool();
    void ReadWindow2();
    void ReadPane();
    void ReadScl();
    void ReadFeatHdr();
    void Skip() { Consume(); }

    void ReadHeaderFooter(bool header);
    void Blank(std::uint32_t row, std::uint32_t col, std::uint32_t xf);

    friend struct ReaderTable;

    TXLSFile& owner_;
    TWorkbook& workbook_;
    std::unique_ptr<TCFile> file_;
    std::unique_ptr<TBIFFStream> stream_;
    TProgressEvent onProgress_;
    TReadOptions options_;
    std::u16string password_;
    bool consumed_ = true;
    bool ended_ = false;
    std::uint8_t redispatchCount_ = 0;
    std::int32_t depth_ = 0;
    // Substream types (BOF type field) from the outermost in; 0x0020 is a chart.
    std::vector<std::uint16_t> substreams_;
    bool InChart() const;
    bool globalsDone_ = false;
    std::int32_t sheetIndex_ = 0;
    std::vector<SharedString> stringTable_;
    std::vector<std::string> formulaTable_;
    // Bodies of shared formulas with their sheet, for the formula decoder.
    std::vector<std::pair<std::uint16_t, std::string>> sharedFormulas_;
    std::int32_t pendingRow_ = -1, pendingCol_ = -1, pendingXF_ = -1;
    std::vector<TNumberUse> numberUseOfXF_;
    // Cells that merged areas and hyperlinks may still bring into being in this read. An
    // area names up to 16.7 million cells in 8 bytes; without a budget a small hostile
    // file could demand gigabytes.
    std::uint64_t areaCellBudget_;  // TFormatKind + 1 by XF position, 0 not yet known
    bool fontsStarted_ = false;
    bool xfsStarted_ = false;
};

}  // namespace vorlix
