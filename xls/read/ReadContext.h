// What the globals, sheet and drawing readers of one read share: the workbook and the read
// options, where in the file the read is, the shared strings, the XF cache that decides
// how a number shows, the limits that bound what a small file may make the reader build,
// and the formula decoder. One context lives for one read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "xls/model/TCellValue.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/records/Biff5Records.h"

namespace vorlix {

class TBIFFStream;
class TPtgParser;
class TSheet;

// The flags of a record's handler (Records.def).
enum THandlerFlags : std::uint8_t {
    kPlain = 0,
    kCells = 0x01,      // makes cells: passed over inside a chart, whose cached data they are
    kDrawing = 0x02,    // pictures and comments: only with ReadDrawings, not inside charts
    kContinued = 0x04,  // reads the bodies of the CONTINUE records after it
    kChecked = 0x08,    // its decoder reads the whole layout: bytes left are reported
};

// A text as the model keeps it: 8-bit characters in the library code page, or UTF-16.
struct TSharedString {
    bool Wide = false;
    std::string Ansi;
    std::u16string Text;
};
// The one place where text read from records becomes model text: characters that were
// all stored as 8-bit ones (code points 0..255) become 8-bit text in the library code
// page, others stay UTF-16.
TSharedString ToSharedString(std::u16string text, bool wide, std::uint32_t codePage);
// Text decoded from a code page (BIFF5's 8-bit texts): 8-bit when every character is one
// of code points 0..255, UTF-16 otherwise.
TSharedString DecodedToSharedString(std::u16string text, std::uint32_t codePage);

class TReadContext {
  public:
    TReadContext(TWorkbook& workbook, const TReadOptions& options,
                 const TFormulaSettings& formulaSettings, TBIFFStream& stream);
    ~TReadContext();
    TReadContext(const TReadContext&) = delete;
    TReadContext& operator=(const TReadContext&) = delete;

    TWorkbook& Workbook;
    const TReadOptions Options;
    const TFormulaSettings FormulaSettings;
    TBIFFStream& Stream;

    // The record layouts of the file: BIFF8, or BIFF5 when the version field of the first
    // BOF record says so (whatever the stream's name).
    TFileFormat Format = TFileFormat::Biff8;
    bool Biff5() const { return Format == TFileFormat::Biff5; }
    // BIFF5: the code page of the 8-bit texts (the CODEPAGE record's), and the EXTERNSHEET
    // records in order (3-D references name them by their position from 1).
    std::uint32_t TextCodePage = records::kDefaultTextCodePage;
    std::vector<records::TExternSheet5Record> ExternSheets5;
    // BIFF5 formula tokens and the data after them as BIFF8 ones (their 3-D references
    // then name entries of the link table's EXTERNSHEET table, added as needed). False
    // when the formula cannot be rewritten.
    bool TranslateFormula5(std::string_view tokens, std::string_view extra, std::string& tokensOut,
                           std::string& extraOut);

    // Where the read is. The first top-level substream is the globals; the n-th one after
    // it is sheet n, whatever kind of sheet it is. Nested substreams (charts in a sheet)
    // do not move on.
    std::int32_t SheetIndex = 0;
    bool GlobalsDone = false;
    std::int32_t Depth = 0;
    // Substream types (BOF type field) from the outermost in.
    std::vector<std::uint16_t> Substreams;
    bool InChart() const;
    // Where each sheet's BOF record starts in the stream, as the BOUNDSHEET records say.
    std::vector<std::uint32_t> SheetOffsets;
    TSheet& CurrentSheet();

    // The height in pixels of the rows that no ROW record describes, by sheet index, for
    // the sheets whose DEFAULTROWHEIGHT record gives it (0: hidden); other sheets have the
    // screen's default.
    std::unordered_map<std::int32_t, std::int32_t> DefaultRowPixels;
    // By sheet index: the rows that a ROW record gives the screen's default height. The
    // model lists no such row (a row starts at that height, so nothing changes it).
    std::unordered_map<std::int32_t, std::vector<bool>> ScreenDefaultRows;

    // The shared strings of the SST records.
    std::vector<TSharedString> Strings;

    // The XF cache: how a number under an XF position is kept (remembered until the XF or
    // format tables change): as a number, a point in time, a point in time that below one
    // day is a time of day (a format of times alone), or a duration (elapsed time).
    enum class TNumberUse : std::uint8_t { Unknown, Number, DateTime, Time, Duration };
    TNumberUse NumberUseOfXF(std::uint32_t xf);
    void ForgetNumberUses() { numberUseOfXF_.clear(); }
    bool ValidXF(std::uint32_t xf) const;
    // The date-time value of a serial number under a use other than Number.
    TCellValue ToDateTime(double serial, TNumberUse use) const;

    // Limits that grow with the size of the workbook stream (its size in bytes here).
    const std::uint64_t StreamBytes;
    // Cells that merged areas and hyperlinks may still bring into being.
    std::uint64_t AreaCellBudget;

    // The formula decoder, made the first time a formula or validation needs it.
    TPtgParser& Parser();

  private:
    std::optional<std::uint16_t> SheetRange5(std::int16_t externSheet, std::uint16_t first,
                                             std::uint16_t last);

    std::vector<TNumberUse> numberUseOfXF_;
    // The EXTERNSHEET entries added for BIFF5 3-D references, by (first sheet, last sheet).
    std::map<std::tuple<std::uint16_t, std::uint16_t>, std::uint16_t> sheetRanges5_;
    std::unique_ptr<TPtgParser> parser_;
};

}  // namespace vorlix
