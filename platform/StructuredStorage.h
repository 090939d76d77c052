// Compound documents (structured storage): a small file system of storages and streams
// inside one file. This is the platform service under the workbook reader; it is built
// on libgsf, which stays inside the implementation file.
//
// Opening a file reads and checks its whole directory and every allocation chain up
// front, so a corrupt document fails at open time, not half-way through a read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vorlix::platform {

enum class ElementType { Storage = 1, Stream = 2 };

struct ElementInfo {
    std::u16string name;
    ElementType type = ElementType::Stream;
};

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// A stream opened for reading.
class StreamHandle {
  public:
    virtual ~StreamHandle() = default;
    // Copies up to `count` bytes; returns how many were copied (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Moves the position; returns false (position unchanged) when the target lies
    // before the start or beyond the end of the stream.
    virtual bool Seek(std::int64_t offset, SeekOrigin origin, std::int64_t& newPosition) = 0;
};

// A storage opened for reading, or a new empty one opened for writing.
class StorageHandle {
  public:
    virtual ~StorageHandle() = default;
    // Direct children in the order of the document's directory.
    virtual std::vector<ElementInfo> Elements() = 0;
    // Open the child at a position of Elements(); null on failure.
    virtual std::unique_ptr<StorageHandle> OpenStorage(std::size_t index) = 0;
    virtual std::unique_ptr<StreamHandle> OpenStream(std::size_t index) = 0;
};

// Opens an existing compound document for reading and takes an exclusive advisory lock
// on the file until the returned storage (and every handle opened through it) is gone.
// Null when the file is missing, unreadable, not a regular file, locked by another
// opener, or not a well-formed compound document.
std::unique_ptr<StorageHandle> OpenStorageFile(const std::filesystem::path& path);

// Opens a compound document held in memory (the bytes are copied). Null on failure.
std::unique_ptr<StorageHandle> OpenStorageOnBytes(std::vector<std::uint8_t> bytes);

// Creates a new, empty compound document on disk (written when the handle is destroyed)
// or in memory. Null on failure.
std::unique_ptr<StorageHandle> CreateStorageFile(const std::filesystem::path& path);
std::unique_ptr<StorageHandle> CreateMemoryStorage();

}  // namespace vorlix::platform
