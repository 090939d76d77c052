// Record bodies of a minimal BIFF8 workbook, built field by field, and a helper that
// writes a workbook stream to a file and reads it with the library.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TXLSFile.h"
#include "xls/read/RecordIds.h"

namespace vorlix::test {

// BOF substream types.
inline constexpr std::uint16_t kGlobalsSubstream = 0x0005;
inline constexpr std::uint16_t kWorksheetSubstream = 0x0010;
inline constexpr std::uint16_t kChartSubstream = 0x0020;

// BOF: BIFF8 version, the substream type, build and year, history and lowest version.
Bytes BofBody(std::uint16_t type);
// BOUNDSHEET with an 8-bit (Latin-1) or a 16-bit name. Options: bit 0 hidden (the byte
// 0..2 is the visibility), the high byte the sheet type (0 worksheet, 2 chart).
Bytes BoundSheetBody(const std::string& name, std::uint16_t options = 0);
Bytes BoundSheetBodyWide(const std::u16string& name, std::uint16_t options = 0);
// SST holding 8-bit strings, without formatting runs, in one record.
Bytes SstBody(const std::vector<std::string>& strings);
// FONT with an 8-bit name; the other fields zero.
Bytes FontBody(std::uint16_t heightTwips, std::uint16_t options, std::uint16_t colorCode,
               std::uint16_t weight, const std::string& name);
// XF of a cell (locked), bottom aligned, no borders, no fill.
Bytes XfBody(std::uint16_t font, std::uint16_t formatIndex);
// FORMAT with a 16-bit-counted 8-bit text.
Bytes FormatBody(std::uint16_t index, const std::string& text);
Bytes NumberBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, double value);
Bytes LabelSstBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint32_t index);

// Link records. SUPBOOK of the workbook itself, for `sheetCount` sheets.
Bytes SelfSupbookBody(std::uint16_t sheetCount);
// EXTERNSHEET: (document index, first sheet, last sheet) entries.
Bytes ExternSheetBody(const std::vector<std::array<std::uint16_t, 3>>& entries);
// NAME with 8-bit characters (for a built-in name, its one code character) and the
// definition's tokens. Flags: 0x0001 hidden, 0x0002 function, 0x0020 built in.
Bytes NameBody(std::uint16_t flags, const std::string& chars, const Bytes& definition = {});
// A 3-D area token of the given id (0x3B, 0x5B or 0x7B) over an EXTERNSHEET entry.
Bytes Area3d(std::uint16_t externSheet, std::uint16_t firstRow, std::uint16_t lastRow,
             std::uint16_t firstCol, std::uint16_t lastCol, std::uint8_t token = 0x3B);

// HLINK bodies. Class ids as stored (the first three groups little-endian) and flags.
extern const Bytes kUrlMoniker;
extern const Bytes kFileMoniker;
inline constexpr std::uint32_t kHasMoniker = 0x01;
inline constexpr std::uint32_t kAbsolute = 0x02;
inline constexpr std::uint32_t kSiteGaveDisplayName = 0x04;
inline constexpr std::uint32_t kHasLocation = 0x08;
inline constexpr std::uint32_t kHasDisplayName = 0x10;
inline constexpr std::uint32_t kHasFrameName = 0x80;
inline constexpr std::uint32_t kMonikerSavedAsText = 0x100;
// The fixed 32 bytes of an HLINK body: the range, the link object's class id and version,
// the flags.
Body HLinkHead(std::uint16_t firstRow, std::uint16_t lastRow, std::uint16_t firstCol,
               std::uint16_t lastCol, std::uint32_t flags);
// Appends a character-counted UTF-16 string with its terminating zero.
Body& CountedChars(Body& b, const std::u16string& text);
// A web address over the range.
Bytes UrlLink(std::uint16_t r1, std::uint16_t r2, std::uint16_t c1, std::uint16_t c2,
              const std::u16string& url);
// A file moniker on A1: up-level count, 8-bit short path, 24 reserved bytes, then the
// extended UTF-16 path when `longPath` is not empty.
Bytes FileLink(const std::string& shortPath, const std::u16string& longPath);
// A place in the workbook on A1, with the extra flags.
Bytes LocationLink(std::uint32_t flags, const std::u16string& location);

// DV with the given options: texts "Title", an error title of one zero character, a
// UTF-16 prompt "Pick ä" and no error text, formula 1 the integer 5, no formula 2, the
// areas A2:A6 and E3:?4 (last column 260).
Bytes DvBody(std::uint32_t options);

using RecordList = std::vector<std::pair<std::uint16_t, Bytes>>;
// BOF of the given type, the records, EOF.
BiffBuilder& AppendSubstream(BiffBuilder& b, std::uint16_t type, const RecordList& records);
// Globals BOF, one BOUNDSHEET per name, the extra globals records, EOF.
BiffBuilder& AppendGlobals(BiffBuilder& b, const std::vector<std::string>& sheetNames,
                           const RecordList& records = {});

// Cell records and whole workbooks for the program's commands.

// LABEL with 8-bit (Latin-1) characters, or with 16-bit ones.
Bytes LabelCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                    const std::string& latin1);
Bytes WideLabelCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf,
                        const std::u16string& text);
// BOOLERR: the value (a boolean, or an error code when `isError` is 1).
Bytes BoolErrBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint8_t value,
                  std::uint8_t isError);
// BOOLERR holding a boolean.
Bytes BooleanCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, bool value);
// BLANK: a formatted cell without a value.
Bytes BlankCellBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf);

// FORMULA whose cached result is an error, its tokens that error as a constant (ptgErr).
Bytes ErrorFormulaBody(std::uint16_t row, std::uint16_t col, std::uint16_t xf, std::uint8_t code);

struct SheetRecords {
    std::string name;
    RecordList records;
};
// Globals naming every sheet (plus `globals`), then each sheet's substream.
Bytes WorkbookStream(const std::vector<SheetRecords>& sheets, const RecordList& globals = {});
// One sheet "Data" holding the number 1, encrypted with RC4 under a user password.
Bytes EncryptedWorkbookStream(const std::u16string& password);
// The same sheet behind the XOR obfuscation, and behind RC4 with the CryptoAPI.
Bytes XorWorkbookStream(const std::string& password);
Bytes CryptoApiWorkbookStream(const std::u16string& password, std::uint32_t keyBits = 128);
// One sheet "Data" behind a FILEPASS of RC4 through the CryptoAPI with an AES key, a scheme
// the reader refuses.
Bytes UnsupportedEncryptionStream();
// A FILEPASS for a user password after the records the protection check looks at: the
// check finds the workbook readable, the read itself fails.
Bytes LateFilePassStream();

// A sheet "Values" of values that are easily lost or shown wrong, in the 1900 or the 1904
// date system. Row 0 holds the column names "errors", "time", "duration", "date", "text",
// "fraction" and, in G1, the error #REF!; then, from row 1 on:
//   A  #DIV/0! (BOOLERR), #N/A (a formula's cached result), error code 0x63 (undefined)
//   B  06:34:00 and 00:00:00 under "h:mm:ss"
//   C  231:10:10 under "[h]:mm:ss" (built in)
//   D  1 January 1915 under built-in format 14
//   E  the text "pf1" under \C\O\B\ \o\n\ @
//   F  -0.25 under "# ?/?" (built in)
//   G  1, 2, 3
// Five fonts and the sixteen XF records readers expect come first.
Bytes ValuesWorkbookStream(bool date1904);

// A compound document holding a workbook stream whose header names an impossible sector
// size: damaged, it cannot be opened.
Bytes DamagedCompoundBytes();

inline std::u16string U16Path(const std::filesystem::path& p) {
    return platform::Utf8ToUtf16(p.string());
}

// Writes `stream` as the "Workbook" stream of a file in a temporary folder and reads it
// into `file` (errors of the read pass to the caller).
// Fails the test for every record whose decoder leaves bytes of the layout it reads
// unread (debug and test builds report them), naming `where`, and hands each report on to
// the handler the file had.
void ExpectBodiesReadWhole(TXLSFile& file, const std::string& where = "");

inline void OpenWorkbook(TXLSFile& file, const Bytes& stream,
                         const std::u16string& password = u"") {
    TempDir dir;
    const auto path = dir / "book.xls";
    WriteWorkbook(path, stream);
    const TRecordEvent saved = file.OnRecord();
    ExpectBodiesReadWhole(file);
    try {
        file.OpenFile(U16Path(path), password);
    } catch (...) {
        file.SetOnRecord(saved);
        throw;
    }
    file.SetOnRecord(saved);
}

// A test with a folder of its own for the workbooks and other files it writes.
class FolderTest : public ::testing::Test {
  protected:
    // A workbook holding `stream` as its Workbook stream.
    std::filesystem::path Stream(const std::string& name, const Bytes& stream);
    // A file that is no workbook.
    std::filesystem::path TextFile(const std::string& name);
    // What the commands say about it.
    std::string TextFileMessage(const std::string& name) const;
    static std::string Content(const std::filesystem::path& file);

    // A folder for the folder commands: in listing order a.xls (two sheets: numbers, with
    // "needle" in the last row, and "Needle"), b-secret.xls (encrypted), c-text.xls (no
    // workbook), d-damaged.xls, e.xls (three times the rows of a.xls), and with
    // `readError` f-late.xls (passes the checks, then fails to read), then report.v1.xls,
    // report.v2.xls and report.xls, whose output names clash, and z.xls (one cell,
    // "needle").
    void MixedFolder(int rows, bool readError);
    // Every file of the folder (hidden ones included) by name, with its content.
    std::map<std::string, std::string> Snapshot() const;
    // Removes everything from the folder.
    void EmptyFolder();

    TempDir dir;
};

}  // namespace vorlix::test
