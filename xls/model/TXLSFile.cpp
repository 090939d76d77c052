#include "xls/model/TXLSFile.h"

#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/read/TXLSReader.h"

namespace vorlix {

TXLSFile::TXLSFile() : workbook_(std::make_unique<TWorkbook>(1)) {
    SetCodePage(platform::SystemCodePage());
    SetListSeparator(workbook_->Settings().Region().ListSeparator);
}

TXLSFile::~TXLSFile() = default;

void TXLSFile::SetCodePage(std::uint32_t codePage) {
    workbook_->Settings().CodePage = codePage;
    platform::SetLibraryCodePage(codePage);
}

void TXLSFile::SetListSeparator(char16_t separator) {
    workbook_->Settings().ListSeparator = separator;
    SetFormulaListSeparator(separator);
}

void TXLSFile::SetRegionalSettings(platform::TRegionalSettingsPtr settings) {
    if (settings) workbook_->Settings().Regional = std::move(settings);
}

void TXLSFile::OpenFile(const std::u16string& fileName) {
    OpenFile(fileName, u"");
}

void TXLSFile::OpenFile(const std::u16string& fileName, const std::u16string& password) {
    if (readOptions_.LazySheets) {
        Clear();
        ReadLazily(TXLSReader::OpenCompoundDocument(fileName), password);
        return;
    }
    TXLSReader reader(*this);
    reader.ReadFile(fileName, password, readOptions_);
    loaded_ = true;
}

void TXLSFile::OpenDocument(TXLSDocument& document, const std::u16string& password) {
    Clear();
    if (readOptions_.LazySheets) {
        document.File();  // raises as the read would when it does not open
        ReadLazily(document.file_, password);
        return;
    }
    TXLSReader reader(*this);
    reader.ReadDocument(document.File(), password, readOptions_);
    loaded_ = true;
}

void TXLSFile::ReadLazily(std::shared_ptr<TCFile> file, const std::u16string& password) {
    auto reader = std::make_unique<TXLSReader>(*this);
    if (reader->ReadGlobals(std::move(file), password, readOptions_)) {
        sheetReader_ = std::move(reader);
        TSheets& sheets = workbook_->Sheets();
        sheets.SetReader([this](int position) { sheetReader_->ReadSheet(position); });
        for (int i = 0; i < sheets.Count(); ++i)
            sheets.MarkUnread(i, true);
    }
    loaded_ = true;
}

bool TXLSFile::SheetUnread(int position) const {
    return workbook_->Sheets().Unread(position);
}

void TXLSFile::ReadSheetRows(int position, std::uint32_t rows) {
    TSheets& sheets = workbook_->Sheets();
    if (!sheetReader_ || !sheets.Unread(position)) return;
    sheets.MarkUnread(position, false);
    try {
        sheetReader_->ReadSheet(position, rows);
    } catch (...) {
        ReleaseSheet(position);
        throw;
    }
}

void TXLSFile::ReleaseSheet(int position) {
    if (!sheetReader_) return;
    TSheets& sheets = workbook_->Sheets();
    sheets.MarkUnread(position, false);
    sheets.Items(position).ClearContents();
    sheets.MarkUnread(position, true);
    sheetReader_->ForgetSheet(position);
}

void TXLSFile::Clear() {
    if (sheetReader_) workbook_->Sheets().SetReader({});
    sheetReader_.reset();
    workbook_->Clear();
    loaded_ = false;
}

std::uint8_t GetXLSFileVersion(const std::u16string& fileName) {
    TXLSFile file;
    TXLSReader reader(file);
    return reader.GetXLSFileVersion(fileName);
}

std::int32_t GetXLSFileProtection(const std::u16string& fileName) {
    TXLSFile file;
    TXLSReader reader(file);
    return reader.GetXLSFileProtection(fileName);
}

TXLSDocument::TXLSDocument(const std::u16string& fileName) : fileName_(fileName) {
    try {
        file_ = TXLSReader::OpenCompoundDocument(fileName);
    } catch (...) {
        file_.reset();  // Protection() and the read raise the reason
    }
}

TXLSDocument::~TXLSDocument() = default;

TCFile& TXLSDocument::File() {
    if (!file_) file_ = TXLSReader::OpenCompoundDocument(fileName_);
    return *file_;
}

std::uint8_t TXLSDocument::Version() {
    return file_ ? TXLSReader::DocumentVersion(*file_) : 0;
}

std::int32_t TXLSDocument::Protection() {
    return TXLSReader::DocumentProtection(File());
}

}  // namespace vorlix
