// The workbook model: the workbook with its formatting tables, link table and sheets, and
// each sheet with its cells, row and column descriptors, ranges, page setup, pictures,
// comments, validations and window settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/TFormatContext.h"

namespace vorlix {

class TCells;
class TRows;
class TColumns;
class TRanges;
struct TPageSetup;
class TXLSImages;
class TCellValidations;
class TCellComments;
class TVirtualFontTable;
class TVirtualXFTable;
class TFormatStrings;
class TXLSLinkTable;
class TWorkbook;
class TSheets;

enum TTextFileKind : std::uint8_t { tkCSV = 0, tkTXT = 1 };

// The record layouts of a workbook file: Excel 2.x, 3.0 and 4.0 worksheets (BIFF2/3/4, a bare
// record stream), Excel 4.0 workbooks (BIFF4W), Excel 5.0 and 95 (BIFF5, which BIFF7 shares)
// and Excel 97-2003 (BIFF8).
enum class TFileFormat : std::uint8_t { Biff2, Biff3, Biff4, Biff4W, Biff5, Biff8 };
// How the workbook stream was encrypted: not at all, with the XOR obfuscation, with RC4 and
// an MD5 key, or with RC4 through the CryptoAPI (SHA-1 key).
enum class TEncryption : std::uint8_t { None, Xor, Rc4, Rc4CryptoApi };
// "BIFF2" ... "BIFF8"; "none", "xor", "rc4", "rc4-cryptoapi".
const char* FileFormatName(TFileFormat format);
const char* EncryptionName(TEncryption encryption);

// The bounding rectangle of a sheet's cells.
struct TUsedArea {
    std::uint16_t FirstRow = 0;
    std::uint16_t LastRow = 0;
    std::uint8_t FirstCol = 0;
    std::uint8_t LastCol = 0;
};

class TSheet {
  public:
    explicit TSheet(TSheets& owner);
    ~TSheet();
    TSheet(const TSheet&) = delete;
    TSheet& operator=(const TSheet&) = delete;

    TWorkbook& Workbook() const;
    TFormatContext& Context() const;
    TCells& Cells() const { return *cells_; }
    TRows& Rows() const { return *rows_; }
    TColumns& Columns() const { return *columns_; }
    TRanges& Ranges() const { return *ranges_; }
    TPageSetup& PageSetup() const { return *pageSetup_; }
    TXLSImages& Images() const { return *images_; }
    TCellValidations& Validations() const { return *validations_; }
    TCellComments& Comments() const { return *comments_; }

    std::int32_t Index() const { return index_; }
    const std::u16string& Name() const { return name_; }
    // EXLSError 7 or 6 when the workbook refuses the name (also the sheet's own name).
    void SetName(const std::u16string& name);

    // False (and `area` untouched) for a sheet without cells.
    bool GetUsedArea(TUsedArea& area) const;
    // Raises the outline level of every row or column from first to last by one.
    void GroupRows(std::uint16_t first, std::uint16_t last);
    void GroupColumns(std::uint8_t first, std::uint8_t last);
    // Writes the used area as CSV or tab-separated text; nothing at all for a sheet
    // without cells.
    void SaveAsText(const std::string& fileName, TTextFileKind kind);

    // Forgets what the sheet's own records brought: its cells, rows, columns, ranges, page
    // setup, pictures, validations and comments, its password, protection and window
    // settings. Its name, position and visibility (the workbook's records) stay.
    void ClearContents();

    std::uint16_t PasswordHash = 0;
    std::uint16_t ProtectionOptions = 0x4400;
    // False for a hidden sheet (bit 0 of the stored state): a "very hidden" sheet, which
    // only a macro shows again, stays visible here; Visibility tells them apart.
    bool Visible = true;
    // The state as the workbook stores it: 0 visible, 1 hidden, 2 very hidden.
    std::uint8_t Visibility = 0;
    bool ShowGridLines = true;
    bool RightToLeft = false;
    bool ShowHeaders = true;
    bool ShowZeros = true;
    std::uint16_t SplitRows = 0;
    std::uint8_t SplitColumns = 0;
    std::uint8_t Zoom = 100;
    bool PageBreakPreview = false;

  private:
    friend class TSheets;
    TSheets* owner_;
    std::int32_t index_ = 0;
    // Its records are still to be read (a workbook read sheet by sheet).
    bool unread_ = false;
    std::u16string name_;
    std::unique_ptr<TCells> cells_;
    std::unique_ptr<TRows> rows_;
    std::unique_ptr<TColumns> columns_;
    std::unique_ptr<TRanges> ranges_;
    std::unique_ptr<TPageSetup> pageSetup_;
    std::unique_ptr<TXLSImages> images_;
    std::unique_ptr<TCellValidations> validations_;
    std::unique_ptr<TCellComments> comments_;
};

class TSheets {
  public:
    explicit TSheets(TWorkbook& workbook) : workbook_(&workbook) {}
    int Count() const { return static_cast<int>(sheets_.size()); }
    // ERangeError "List index (n) out of bounds !" outside 0..Count()-1. A sheet whose
    // records are still unread is read first (see SetReader); what that read raises
    // passes to the caller, and the sheet stays unread then.
    TSheet& Items(long long index) const;
    // The sheet as the workbook lists it, read or not: its name, position and visibility
    // are there while its records are unread. ERangeError as Items.
    TSheet& Listed(long long index) const;
    // The first sheet whose name equals `name` exactly, or null.
    TSheet* Find(const std::u16string& name) const;
    // 7: empty or over 255 characters; 6: blank, or the name of an existing sheet; else 0.
    std::uint8_t ValidateName(const std::u16string& name) const;
    // Appends a sheet with this name and returns its position (EXLSError 6 or 7).
    int Add(const std::u16string& name);
    TWorkbook& Workbook() const { return *workbook_; }

    // A workbook read sheet by sheet: `read` reads the records of the sheet at a position
    // into it, for the sheets marked unread (MarkUnread). An empty function ends it. While
    // `read` runs, Items reads no other sheet.
    using TSheetRead = std::function<void(int position)>;
    void SetReader(TSheetRead read);
    bool Unread(int position) const {
        return sheets_.at(static_cast<std::size_t>(position))->unread_;
    }
    // Whether the sheet is to be read when next handed out.
    void MarkUnread(int position, bool unread);

  private:
    TWorkbook* workbook_;
    std::vector<std::unique_ptr<TSheet>> sheets_;
    TSheetRead read_;
    mutable bool reading_ = false;
};

class TWorkbook {
  public:
    // A workbook with `sheetCount` sheets named "Sheet1", "Sheet2", ...
    explicit TWorkbook(int sheetCount = 1);
    ~TWorkbook();
    TWorkbook(const TWorkbook&) = delete;
    TWorkbook& operator=(const TWorkbook&) = delete;

    TSheets& Sheets() const { return *sheets_; }
    TFormatStrings& FormatTable() const { return *formatTable_; }
    TVirtualFontTable& FontTable() const { return *fontTable_; }
    TVirtualXFTable& XFTable() const { return *xfTable_; }
    TXLSLinkTable& LinkTable() const { return *linkTable_; }
    TFormatContext& FormatContext() { return context_; }
    // What the workbook's texts, formulas, colours and values are read and shown with.
    const TWorkbookSettings& Settings() const { return context_.Settings; }
    TWorkbookSettings& Settings() { return context_.Settings; }
    std::uint8_t LoadState() const { return context_.LoadState; }
    void SetLoadState(std::uint8_t state) { context_.LoadState = state; }

    // No sheets, fresh formatting tables, an emptied link table, no password.
    void Clear();

    std::uint16_t PasswordHash = 0;
    // 1900 or 1904: the date system of the workbook read (DATEMODE record).
    int DateMode = 1900;
    TFileFormat Format = TFileFormat::Biff8;
    TEncryption Encryption = TEncryption::None;
    // What the read worked around in a damaged file (UTF-8, one sentence each), for the
    // user to see beside the result; empty for a sound file.
    std::vector<std::string> Warnings;

  private:
    void CreateTables();

    std::unique_ptr<TFormatStrings> formatTable_;
    std::unique_ptr<TVirtualFontTable> fontTable_;
    std::unique_ptr<TVirtualXFTable> xfTable_;
    std::unique_ptr<TXLSLinkTable> linkTable_;
    TFormatContext context_;
    std::unique_ptr<TSheets> sheets_;
};

}  // namespace vorlix
