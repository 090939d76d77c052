#include "xls/read/TCFile.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/CodePage.h"
#include "xls/model/TEasyStream.h"

namespace vorlix {

namespace {

constexpr std::array<const char*, 9> kMessages = {
    "Can not create a file",
    "Can not create a stream",
    "Can not create a storage",
    "Can not open a file (probably it is already opened or does not exist)",
    "Can not open a stream",
    "Can not open a storage",
    "Can not set stream position",
    "Can not commit a storage",
    "Can not read a stream",
};

constexpr const char* kRootName = "Root Entry";
constexpr std::int64_t kCopyChunk = 100000;

std::string SystemName(const std::u16string& name) {
    return platform::WideToMultiByte(platform::SystemCodePage(), name);
}

std::filesystem::path ToPath(const std::u16string& fileName) {
    return std::filesystem::path(platform::Utf16ToFileName(fileName));
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    const std::uint32_t cp = platform::SystemCodePage();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (platform::CharUpperA(cp, static_cast<unsigned char>(a[i])) !=
            platform::CharUpperA(cp, static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* ECFileError::Message(std::uint8_t code) {
    return code < kMessages.size() ? kMessages[code] : "";
}

ECFileError::ECFileError(std::uint8_t code) : Exception(Message(code)), code_(code) {}

ECFileError::ECFileError(std::uint8_t code, const platform::DocumentFailure& failure,
                         const std::string& message)
    : Exception(message), code_(code), failure_(failure) {}

std::string DocumentFailureMessage(const std::string& name,
                                   const platform::DocumentFailure& failure) {
    using platform::DocumentProblem;
    switch (failure.Problem) {
        case DocumentProblem::None:
            break;
        case DocumentProblem::Missing:
            return "File not found: " + name;
        case DocumentProblem::System:
            return "Cannot read file " + name + ": " +
                   std::generic_category().message(failure.Error);
        case DocumentProblem::Folder:
            return name + " is a folder, not a workbook";
        case DocumentProblem::NotAFile:
            return name + " is not a regular file (a device, pipe or socket)";
        case DocumentProblem::Empty:
            return name + " is empty";
        case DocumentProblem::Text:
            return name + " is a text file, not an Excel workbook";
        case DocumentProblem::Html:
            return name +
                   " is an HTML file (a web page or a table saved as HTML), not an Excel workbook";
        case DocumentProblem::Other:
            return name + " is not an Excel 97-2003 workbook (not a compound document)";
        case DocumentProblem::OfficeOpenXml:
        case DocumentProblem::OpenDocument:
        case DocumentProblem::Zip:
        case DocumentProblem::XmlSpreadsheet:
        case DocumentProblem::Csv:
            return name + " is " + DocumentFailureReason(failure);
        case DocumentProblem::CutShort:
            return name + " is cut short: " + failure.Detail;
        case DocumentProblem::Damaged:
            return name + ": the compound document is damaged: " + failure.Detail;
        case DocumentProblem::Changed:
            return name + " changed while it was read: " + failure.Detail;
    }
    return "Cannot read file " + name;
}

std::string DocumentFailureReason(const platform::DocumentFailure& failure) {
    using platform::DocumentProblem;
    switch (failure.Problem) {
        case DocumentProblem::None:
            break;
        case DocumentProblem::Missing:
            return "file not found";
        case DocumentProblem::System:
            return std::generic_category().message(failure.Error);
        case DocumentProblem::Folder:
            return "a folder, not a workbook";
        case DocumentProblem::NotAFile:
            return "not a regular file (a device, pipe or socket)";
        case DocumentProblem::Empty:
            return "an empty file";
        case DocumentProblem::Text:
            return "a text file, not an Excel workbook";
        case DocumentProblem::Html:
            return "an HTML file (a web page or a table saved as HTML), not an Excel workbook";
        case DocumentProblem::Other:
            return "not an Excel 97-2003 workbook (not a compound document)";
        case DocumentProblem::OfficeOpenXml:
            return "an Excel 2007+ (.xlsx) workbook, not an Excel 97-2003 one";
        case DocumentProblem::OpenDocument:
            if (failure.Detail == "application/vnd.oasis.opendocument.spreadsheet")
                return "an OpenDocument spreadsheet (.ods), not an Excel workbook";
            return "an OpenDocument file (" + failure.Detail + "), not an Excel workbook";
        case DocumentProblem::Zip:
            return "a zip archive, not an Excel workbook";
        case DocumentProblem::XmlSpreadsheet:
            return "an XML Spreadsheet 2003 file, not an Excel 97-2003 workbook";
        case DocumentProblem::Csv:
            return "a CSV or other delimited text file, not an Excel workbook";
        case DocumentProblem::CutShort:
            return "cut short: " + failure.Detail;
        case DocumentProblem::Damaged:
            return "the compound document is damaged: " + failure.Detail;
        case DocumentProblem::Changed:
            return "changed while it was read: " + failure.Detail;
    }
    return {};
}

TCFileStream::TCFileStream(std::string name, std::unique_ptr<platform::StreamHandle> stream,
                           std::string document)
    : TCFileItem(std::move(name)), stream_(std::move(stream)), document_(std::move(document)) {}

TCFileStream::~TCFileStream() = default;

std::int32_t TCFileStream::Read(void* buffer, std::int32_t count) {
    if (!stream_ || buffer == nullptr || count <= 0) return 0;
    const std::int64_t read = stream_->Read(buffer, count);
    if (read < 0) {
        const platform::DocumentFailure failure = stream_->Failure();
        throw ECFileError(ceReadStream, failure, DocumentFailureMessage(document_, failure));
    }
    return static_cast<std::int32_t>(read);
}

bool TCFileStream::ReadBuffer(void* buffer, std::int32_t count) {
    return buffer != nullptr && Read(buffer, count) > 0;
}

std::int32_t TCFileStream::Seek(std::int32_t offset, std::uint16_t origin) {
    if (!stream_) return 0;
    const auto from = origin == 0   ? platform::SeekOrigin::Begin
                      : origin == 1 ? platform::SeekOrigin::Current
                                    : platform::SeekOrigin::End;
    std::int64_t position = 0;
    stream_->Seek(static_cast<std::int64_t>(offset), from, position);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(position & 0xFFFFFFFF));
}

std::int32_t TCFileStream::Size() {
    const std::int32_t keep = Position();
    const std::int32_t size = Seek(0, 2);
    Seek(keep, 0);
    return size;
}

void TCFileStream::SetPosition(std::int32_t position) {
    if (Seek(position, 0) != position) throw ECFileError(ceSetPosition);
}

TCFileStorage::TCFileStorage(std::string name) : TCFileItem(std::move(name)) {}

TCFileStorage::~TCFileStorage() {
    items_.clear();  // children go before the storage that holds them
    storage_.reset();
}

void TCFileStorage::LoadElements(std::unique_ptr<platform::StorageHandle> storage,
                                 const std::string& document) {
    items_.clear();
    storage_ = std::move(storage);
    if (!storage_) return;
    const std::vector<platform::ElementInfo> elements = storage_->Elements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::string name = SystemName(elements[i].name);
        if (elements[i].type == platform::ElementType::Storage) {
            auto child = std::make_unique<TCFileStorage>(name);
            auto handle = storage_->OpenStorage(i);
            if (!handle) throw ECFileError(ceOpenStorage);
            TCFileStorage* raw = child.get();
            items_.push_back(std::move(child));
            raw->LoadElements(std::move(handle), document);
        } else if (elements[i].type == platform::ElementType::Stream) {
            auto handle = storage_->OpenStream(i);
            if (!handle) throw ECFileError(ceOpenStream);
            items_.push_back(std::make_unique<TCFileStream>(name, std::move(handle), document));
        }
    }
}

TCFileItem* TCFileStorage::FindItem(const std::string& name) const {
    for (const auto& item : items_) {
        if (SameNameIgnoringCase(item->Name(), name)) return item.get();
    }
    return nullptr;
}

TCFile::TCFile(const std::u16string& fileName, std::uint8_t mode)
    : fileName_(fileName), root_(std::make_unique<TCFileStorage>(kRootName)) {
    switch (mode) {
        case cfOpen: {
            const std::filesystem::path path = ToPath(fileName);
            const std::string name = platform::InputDisplayName(path);
            platform::DocumentFailure failure;
            auto storage = platform::OpenStorageFile(path, &failure);
            if (!storage)
                throw ECFileError(ceOpenFile, failure, DocumentFailureMessage(name, failure));
            warnings_ = storage->Warnings();
            root_->LoadElements(std::move(storage), name);
            break;
        }
        case cfCreate: {
            auto storage = platform::CreateStorageFile(ToPath(fileName));
            if (!storage) throw ECFileError(ceCreateFile);
            root_->LoadElements(std::move(storage));
            break;
        }
        case cfMemory: {
            auto storage = platform::CreateMemoryStorage();
            if (!storage) throw ECFileError(ceCreateFile);
            root_->LoadElements(std::move(storage));
            break;
        }
        default:
            throw ECFileError(ceOpenFile);
    }
}

TCFile::~TCFile() = default;

std::unique_ptr<TCFile> TCFile::CreateFromStream(TEasyStream& source) {
    std::vector<std::uint8_t> bytes;
    source.SetPosition(0);
    std::vector<std::uint8_t> chunk(kCopyChunk);
    for (;;) {
        const std::int64_t n = source.Read(chunk.data(), kCopyChunk);
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    auto storage = platform::OpenStorageOnBytes(std::move(bytes));
    if (!storage) throw ECFileError(ceCreateFile);
    auto file = std::make_unique<TCFile>(Passkey{});
    file->root_ = std::make_unique<TCFileStorage>(kRootName);
    file->warnings_ = storage->Warnings();
    file->root_->LoadElements(std::move(storage), "the workbook in memory");
    return file;
}

std::unique_ptr<TCFile> TCFile::FromStreams(std::vector<platform::NamedBytes> streams) {
    auto file = std::make_unique<TCFile>(Passkey{});
    file->root_ = std::make_unique<TCFileStorage>(kRootName);
    file->root_->LoadElements(platform::OpenStreamsInMemory(std::move(streams)),
                              "the workbook in memory");
    return file;
}

}  // namespace vorlix
