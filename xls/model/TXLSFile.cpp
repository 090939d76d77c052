#include "xls/model/TXLSFile.h"

#include <atomic>

#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/read/TXLSReader.h"

namespace vorlix {

namespace {
// Atomic: every TXLSFile sets it, also on the threads that read workbooks at once.
std::atomic<char16_t> gFormulaListSeparator{u','};
}  // namespace

char16_t FormulaListSeparator() {
    return gFormulaListSeparator.load(std::memory_order_relaxed);
}

TXLSFile::TXLSFile() : workbook_(std::make_unique<TWorkbook>(1)) {
    SetCodePage(platform::SystemCodePage());
    SetListSeparator(platform::RegionalSettings().ListSeparator);
}

TXLSFile::~TXLSFile() = default;

void TXLSFile::SetCodePage(std::uint32_t codePage) {
    codePage_ = codePage;
    platform::SetLibraryCodePage(codePage);
}

void TXLSFile::SetListSeparator(char16_t separator) {
    listSeparator_ = separator;
    gFormulaListSeparator.store(separator, std::memory_order_relaxed);
}

void TXLSFile::OpenFile(const std::u16string& fileName) {
    OpenFile(fileName, u"");
}

void TXLSFile::OpenFile(const std::u16string& fileName, const std::u16string& password) {
    TXLSReader reader(*this);
    reader.ReadFile(fileName, password, readOptions_);
    loaded_ = true;
}

void TXLSFile::OpenDocument(TXLSDocument& document, const std::u16string& password) {
    TXLSReader reader(*this);
    Clear();
    reader.ReadDocument(document.File(), password, readOptions_);
    loaded_ = true;
}

void TXLSFile::Clear() {
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
