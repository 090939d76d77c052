#include "xls/model/TWorkbook.h"

#include "platform/CodePage.h"
#include "xls/format/TFormatStrings.h"
#include "xls/formula/TXLSLinkTable.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCellComments.h"
#include "xls/model/TCellValidations.h"
#include "xls/model/TCells.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"

namespace vorlix {

namespace {

constexpr std::size_t kMaxSheetName = 255;
constexpr std::uint8_t kOutlineMax = 7;

// Leading and trailing blanks and control characters off.
std::string Trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

}  // namespace

// Sheets.

TSheet::TSheet(TSheets& owner) : owner_(&owner) {
    TFormatContext& context = Context();
    cells_ = std::make_unique<TCells>(*this, context);
    rows_ = std::make_unique<TRows>(*this, context);
    columns_ = std::make_unique<TColumns>(*this, context);
    ranges_ = std::make_unique<TRanges>(*this);
    pageSetup_ = std::make_unique<TPageSetup>(this);
    images_ = std::make_unique<TXLSImages>();
    validations_ = std::make_unique<TCellValidations>();
    comments_ = std::make_unique<TCellComments>();
}

TSheet::~TSheet() = default;

void TSheet::ClearContents() {
    TFormatContext& context = Context();
    cells_ = std::make_unique<TCells>(*this, context);
    rows_ = std::make_unique<TRows>(*this, context);
    columns_ = std::make_unique<TColumns>(*this, context);
    ranges_ = std::make_unique<TRanges>(*this);
    pageSetup_ = std::make_unique<TPageSetup>(this);
    images_ = std::make_unique<TXLSImages>();
    validations_ = std::make_unique<TCellValidations>();
    comments_ = std::make_unique<TCellComments>();
    PasswordHash = 0;
    ProtectionOptions = 0x4400;
    ShowGridLines = true;
    RightToLeft = false;
    ShowHeaders = true;
    ShowZeros = true;
    SplitRows = 0;
    SplitColumns = 0;
    Zoom = 100;
    PageBreakPreview = false;
}

TWorkbook& TSheet::Workbook() const {
    return owner_->Workbook();
}

TFormatContext& TSheet::Context() const {
    return owner_->Workbook().FormatContext();
}

void TSheet::SetName(const std::u16string& name) {
    if (const std::uint8_t code = owner_->ValidateName(name); code != 0) throw EXLSError(code);
    if (name != name_) name_ = name;
}

bool TSheet::GetUsedArea(TUsedArea& area) const {
    if (cells_->Count() == 0) return false;
    TUsedArea a{0xFFFF, 0, 0xFF, 0};
    for (int i = 0; i < cells_->Count(); ++i) {
        const TCell cell = cells_->Items(i);
        const auto col = static_cast<std::uint8_t>(cell.Col());
        if (cell.Row() > a.LastRow) a.LastRow = cell.Row();
        if (cell.Row() < a.FirstRow) a.FirstRow = cell.Row();
        if (col > a.LastCol) a.LastCol = col;
        if (col < a.FirstCol) a.FirstCol = col;
    }
    area = a;
    return true;
}

void TSheet::GroupRows(std::uint16_t first, std::uint16_t last) {
    for (std::uint32_t n = first; n <= last; ++n) {
        TRow* row = rows_->GetRow(static_cast<std::uint16_t>(n));
        if (row->OutlineLevel() < kOutlineMax) row->IncreaseOutline();
    }
}

void TSheet::GroupColumns(std::uint8_t first, std::uint8_t last) {
    for (std::uint32_t n = first; n <= last; ++n) {
        TColumn* column = columns_->GetColumn(static_cast<std::uint16_t>(n));
        if (column->OutlineLevel() < kOutlineMax) column->IncreaseOutline();
    }
}

// The sheet list.

TSheet& TSheets::Listed(long long index) const {
    if (index < 0 || index >= Count()) {
        throw ERangeError("List index (" + std::to_string(index) + ") out of bounds !");
    }
    return *sheets_[static_cast<std::size_t>(index)];
}

TSheet& TSheets::Items(long long index) const {
    TSheet& sheet = Listed(index);
    if (sheet.unread_ && read_ && !reading_) {
        reading_ = true;
        sheet.unread_ = false;
        try {
            read_(static_cast<int>(index));
        } catch (...) {
            reading_ = false;
            sheet.ClearContents();
            sheet.unread_ = true;
            throw;
        }
        reading_ = false;
    }
    return sheet;
}

void TSheets::SetReader(TSheetRead read) {
    read_ = std::move(read);
    if (read_) return;
    for (const auto& sheet : sheets_)
        sheet->unread_ = false;
}

void TSheets::MarkUnread(int position, bool unread) {
    sheets_.at(static_cast<std::size_t>(position))->unread_ = unread && static_cast<bool>(read_);
}

TSheet* TSheets::Find(const std::u16string& name) const {
    for (const auto& sheet : sheets_) {
        if (sheet->Name() == name) return sheet.get();
    }
    return nullptr;
}

std::uint8_t TSheets::ValidateName(const std::u16string& name) const {
    if (name.empty() || name.size() > kMaxSheetName) return xeSheetNameLength;
    if (Trim(WideToAnsi(workbook_->Settings().CodePage, name)).empty() || Find(name) != nullptr)
        return xeInvalidSheetName;
    return 0;
}

int TSheets::Add(const std::u16string& name) {
    if (const std::uint8_t code = ValidateName(name); code != 0) throw EXLSError(code);
    auto sheet = std::make_unique<TSheet>(*this);
    sheet->SetName(name);
    sheets_.push_back(std::move(sheet));
    sheets_.back()->index_ = Count() - 1;
    return Count() - 1;
}

// The workbook.

TWorkbook::TWorkbook(int sheetCount) {
    CreateTables();
    linkTable_ = std::make_unique<TXLSLinkTable>(context_.Settings.CodePage);
    sheets_ = std::make_unique<TSheets>(*this);
    for (int i = 1; i <= sheetCount; ++i) {
        sheets_->Add(u"Sheet" + platform::Utf8ToUtf16(std::to_string(i)));
    }
}

TWorkbook::~TWorkbook() = default;

void TWorkbook::CreateTables() {
    formatTable_ = std::make_unique<TFormatStrings>();
    fontTable_ = std::make_unique<TVirtualFontTable>();
    xfTable_ = std::make_unique<TVirtualXFTable>();
    context_.FontTable = fontTable_.get();
    context_.XFTable = xfTable_.get();
    context_.FormatTable = formatTable_.get();
}

void TWorkbook::Clear() {
    sheets_ = std::make_unique<TSheets>(*this);
    CreateTables();
    linkTable_->Clear();
    PasswordHash = 0;
    DateMode = 1900;
    Format = TFileFormat::Biff8;
    Encryption = TEncryption::None;
    Warnings.clear();
}

const char* FileFormatName(TFileFormat format) {
    switch (format) {
        case TFileFormat::Biff2:
            return "BIFF2";
        case TFileFormat::Biff3:
            return "BIFF3";
        case TFileFormat::Biff4:
            return "BIFF4";
        case TFileFormat::Biff4W:
            return "BIFF4W";
        case TFileFormat::Biff5:
            return "BIFF5";
        case TFileFormat::Biff8:
            break;
    }
    return "BIFF8";
}

const char* EncryptionName(TEncryption encryption) {
    switch (encryption) {
        case TEncryption::Xor:
            return "xor";
        case TEncryption::Rc4:
            return "rc4";
        case TEncryption::Rc4CryptoApi:
            return "rc4-cryptoapi";
        case TEncryption::None:
            break;
    }
    return "none";
}

}  // namespace vorlix
