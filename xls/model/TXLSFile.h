// The entry point of the library: a workbook file object that reads an .xls file into its
// workbook model, and the two cheap checks a caller runs on a path before reading it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "xls/model/TFormulaSettings.h"
#include "xls/model/TWorkbook.h"

namespace vorlix {

// What the reader reads besides values and formats.
struct TReadOptions {
    bool ReadBlankCells = true;  // formatted empty cells
    bool ReadRowInfo = true;
    bool ReadColumnInfo = true;
    bool ReadFormulas = true;
    bool StrictFormulas = false;  // an undecodable formula fails the read
    // Without StrictFormulas: the formula text a formula that cannot be decoded keeps.
    // Empty, such a cell keeps its cached result and no formula.
    std::string UnreadableFormula;
    bool ReadDrawings = true;
    // Reads the workbook globals on opening and each sheet's records the first time the
    // sheet is handed out (TSheets::Items), found where its BOUNDSHEET record says. Only
    // without ReadDrawings and StrictFormulas; otherwise, and when the BOUNDSHEET
    // positions cannot be right, the whole workbook is read on opening as without it. An
    // error in a sheet's records is raised when the sheet is read, by the call that hands
    // it out. The workbook's defined names stay in the link table's own document then.
    // One thread at a time uses such a workbook, as any other.
    bool LazySheets = false;
};

using TProgressEvent = std::function<void(double fraction)>;

// What the reader made of one record (with the CONTINUE records after it): where its
// header starts in the workbook stream, its id and body length, whether its handler
// wanted bytes the record does not hold, and, in debug and test builds, how many bytes of
// its body a decoder that reads the record's whole layout left unread (0 elsewhere): a
// layout other than the file's.
struct TRecordReport {
    std::int64_t Offset = 0;
    std::uint16_t Id = 0;
    std::uint16_t Length = 0;
    bool Short = false;
    std::uint32_t Unread = 0;
};
using TRecordEvent = std::function<void(const TRecordReport& record)>;

class TCFile;
class TXLSDocument;
class TXLSReader;

class TXLSFile {
  public:
    // A workbook with one sheet "Sheet1", with the process-wide settings of this moment
    // (the code page of the system, the list separator of the regional settings, which
    // also become the process-wide code page and list separator as before).
    TXLSFile();
    ~TXLSFile();
    TXLSFile(const TXLSFile&) = delete;
    TXLSFile& operator=(const TXLSFile&) = delete;

    TWorkbook& Workbook() const { return *workbook_; }
    bool Loaded() const { return loaded_; }

    // Reads the file into Workbook(); raises on failure (Loaded() stays false then).
    void OpenFile(const std::u16string& fileName);
    void OpenFile(const std::u16string& fileName, const std::u16string& password);
    // Reads a workbook file opened for its checks, as OpenFile reads its name.
    void OpenDocument(TXLSDocument& document, const std::u16string& password = u"");
    void Clear();

    // A workbook read with LazySheets: whether the sheet at a position is still unread.
    bool SheetUnread(int position) const;
    // Reads an unread sheet's rows up to `rows` (at least those; it may read more, and reads
    // every row of a sheet whose cells do not come in row order). The sheet then counts as
    // read: it keeps those cells until ReleaseSheet.
    void ReadSheetRows(int position, std::uint32_t rows);
    // Empties a sheet read from its records (ClearContents); it is read again when next
    // handed out. Nothing happens in a workbook read whole.
    void ReleaseSheet(int position);

    // The workbook's own settings. Setting the code page or the list separator also
    // makes it the process-wide one that new workbooks and the string helpers start from.
    std::uint32_t CodePage() const { return workbook_->Settings().CodePage; }
    void SetCodePage(std::uint32_t codePage);
    char16_t ListSeparator() const { return workbook_->Settings().ListSeparator; }
    void SetListSeparator(char16_t separator);
    // The regional settings its values are shown in: those of the process when the file
    // was created, until replaced here.
    const platform::TRegionalSettings& RegionalSettings() const {
        return workbook_->Settings().Region();
    }
    void SetRegionalSettings(platform::TRegionalSettingsPtr settings);
    const TWorkbookSettings& Settings() const { return workbook_->Settings(); }
    const TProgressEvent& OnProgress() const { return onProgress_; }
    void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }
    // Called after each record the reader has dispatched.
    const TRecordEvent& OnRecord() const { return onRecord_; }
    void SetOnRecord(TRecordEvent handler) { onRecord_ = std::move(handler); }
    const TReadOptions& ReadOptions() const { return readOptions_; }
    void SetReadOptions(const TReadOptions& options) { readOptions_ = options; }
    // How formulas become text (with ReadFormulas on).
    const TFormulaSettings& FormulaSettings() const { return formulaSettings_; }
    void SetFormulaSettings(const TFormulaSettings& settings) { formulaSettings_ = settings; }

  private:
    void ReadLazily(std::shared_ptr<TCFile> file, const std::u16string& password);

    std::unique_ptr<TWorkbook> workbook_;
    TProgressEvent onProgress_;
    TRecordEvent onRecord_;
    TReadOptions readOptions_;
    TFormulaSettings formulaSettings_;
    bool loaded_ = false;
    // The reader of a workbook read sheet by sheet, while sheets are left to read.
    std::unique_ptr<TXLSReader> sheetReader_;
};

// A workbook file opened once for the checks and the read of one command: the compound
// document stays open, and locked, from the first check to the end of the read, instead of
// being opened and checked anew for each. Opening never raises; what would fail to open
// fails in Protection() and TXLSFile::OpenDocument as it does by name.
class TXLSDocument {
  public:
    explicit TXLSDocument(const std::u16string& fileName);
    ~TXLSDocument();
    TXLSDocument(const TXLSDocument&) = delete;
    TXLSDocument& operator=(const TXLSDocument&) = delete;

    const std::u16string& FileName() const { return fileName_; }
    // As GetXLSFileVersion and GetXLSFileProtection below.
    std::uint8_t Version();
    std::int32_t Protection();

  private:
    friend class TXLSFile;
    // The open document; opened again by name (so that the failure is raised) when it
    // could not be opened at first.
    TCFile& File();

    std::u16string fileName_;
    std::shared_ptr<TCFile> file_;
};

// For a compound document whose root holds a workbook stream ("Workbook", else "Book", in
// any letter case) the BIFF version of its records: 5 (Excel 5.0 and 95) when its first
// BOF record says so, else 8; 0 for other files. Never raises.
std::uint8_t GetXLSFileVersion(const std::u16string& fileName);
// 0 readable without a user password, 10 encrypted with a user password, -1 encrypted
// with an unsupported scheme. Failures to open are raised.
std::int32_t GetXLSFileProtection(const std::u16string& fileName);

}  // namespace vorlix
