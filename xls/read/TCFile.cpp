#include "xls/read/TCFile.h"

#include <array>
#include <filesystem>

#include "platform/CodePage.h"
#include "platform/StructuredStorage.h"
#include "xls/model/TEasyStream.h"

namespace vorlix {

namespace {

constexpr std::array<const char*, 8> kMessages = {
    "Can not create a file",
    "Can not create a stream",
    "Can not create a storage",
    "Can not open a file (probably it is already opened or does not exist)",
    "Can not open a stream",
    "Can not open a storage",
    "Can not set stream position",
    "Can not commit a storage",
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

TCFileStream::TCFileStream(std::string name, std::unique_ptr<platform::StreamHandle> stream)
    : TCFileItem(std::move(name)), stream_(std::move(stream)) {}

TCFileStream::~TCFileStream() = default;

std::int32_t TCFileStream::Read(void* buffer, std::int32_t count) {
    if (!stream_ || buffer == nullptr || count <= 0) return 0;
    return static_cast<std::int32_t>(stream_->Read(buffer, count));
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

void TCFileStorage::LoadElements(std::unique_ptr<platform::StorageHandle> storage) {
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
            raw->LoadElements(std::move(handle));
        } else if (elements[i].type == platform::ElementType::Stream) {
            auto handle = storage_->OpenStream(i);
            if (!handle) throw ECFileError(ceOpenStream);
            items_.push_back(std::make_unique<TCFileStream>(name, std::move(handle)));
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
            auto storage = platform::OpenStorageFile(ToPath(fileName));
            if (!storage) throw ECFileError(ceOpenFile);
            root_->LoadElements(std::move(storage));
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
    file->root_->LoadElements(std::move(storage));
    return file;
}

}  // namespace vorlix
