// Compound documents (structured storage): a small file system of storages and streams
// inside one file. This is the platform service under the workbook reader; it is built
// on libgsf, which stays inside the implementation file.
//
// Opening a file reads and checks its whole directory and every allocation chain up
// front, so a corrupt document fails at open time, not half-way through a read. A stream
// whose own chain is damaged does not stop the others: it fails when it is read.
//
// Reading takes no lock: any number of readers, in any processes and threads, read one
// file at once. The file is read through its descriptor, never mapped (a mapped file that
// another program cuts short kills its reader with SIGBUS), so a file cut short or
// rewritten while it is read makes the read fail with the reason, never crash.
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

// Why a document could not be opened or read.
enum class DocumentProblem {
    None,
    Missing,   // no such file
    System,    // the system refused (Error holds errno: permission denied, ...)
    Folder,    // a folder
    NotAFile,  // a device, pipe or socket
    Empty,
    Text,   // a text file
    Html,   // an HTML file (what some programs save under a .xls name)
    Other,  // some other kind of file, not a compound document
    // Other programs' files that are saved under a .xls name too.
    OfficeOpenXml,   // an Office Open XML workbook (a zip archive with an xl/ folder)
    OpenDocument,    // an OpenDocument file (a zip archive; Detail holds its media type)
    Zip,             // some other zip archive
    XmlSpreadsheet,  // an XML spreadsheet (the XML format of Excel 2002 and 2003)
    Csv,             // text in lines of values between commas, semicolons or tabs
    CutShort,        // a compound document that ends before its data (Detail says how)
    Damaged,         // a compound document with broken tables (Detail says which)
    Changed,         // the file changed (was cut short or rewritten) while it was read
};

struct DocumentFailure {
    DocumentProblem Problem = DocumentProblem::None;
    int Error = 0;       // errno, for System
    std::string Detail;  // for CutShort, Damaged, Changed and OpenDocument
};

// A file that is no compound document but a bare BIFF record stream (the worksheet and
// workbook files of Excel 2.x to 4.0 are nothing else) opens as a storage with one stream
// of this name, which holds the whole file.
inline constexpr char16_t kRecordStreamName[] = u"BIFF record stream";

// A stream opened for reading.
class StreamHandle {
  public:
    virtual ~StreamHandle() = default;
    // Copies up to `count` bytes; returns how many were copied (0 at the end), or -1 when
    // the document's bytes could not be read (Failure() tells why).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Moves the position; returns false (position unchanged) when the target lies
    // before the start or beyond the end of the stream.
    virtual bool Seek(std::int64_t offset, SeekOrigin origin, std::int64_t& newPosition) = 0;
    // Why the last read failed.
    virtual DocumentFailure Failure() const = 0;
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
    // Sentences on damage of the document that opening worked around (streams whose
    // chains are broken were left out: reading one of them fails with the reason); given
    // by the root storage of an opened document.
    virtual std::vector<std::string> Warnings() const { return {}; }
};

// Opens an existing compound document (or bare record stream, see kRecordStreamName) for
// reading. The file stays open (not locked) until the returned storage and every handle
// opened through it are gone. Null when the file is missing, unreadable, not a regular
// file or neither a well-formed compound document nor a record stream;
// `failure` (when given) then says why. A name given to RegisterInput opens its input.
std::unique_ptr<StorageHandle> OpenStorageFile(const std::filesystem::path& path,
                                               DocumentFailure* failure = nullptr);

// Opens a compound document held in memory (the bytes are copied). Null on failure.
std::unique_ptr<StorageHandle> OpenStorageOnBytes(std::vector<std::uint8_t> bytes,
                                                  DocumentFailure* failure = nullptr);

// A storage of streams that are only bytes in memory, in the order given, with no
// compound document around them: what reads a workbook stream handed over on its own
// (a stream of another container, a test's or a fuzzer's input) opens. Never fails.
struct NamedBytes {
    std::u16string name;
    std::vector<std::uint8_t> bytes;
};
std::unique_ptr<StorageHandle> OpenStreamsInMemory(std::vector<NamedBytes> streams);

// Makes `name` stand for an input that has no name of its own (a program's standard
// input, a workbook handed over in memory), until UnregisterInput(name) or the end of the
// process: OpenStorageFile(name) opens it, as often as asked, and InputDisplayName(name)
// gives `display`. The input is bytes in memory (shared with the caller in the second
// form), or a descriptor of a regular file (taken over).
void RegisterInput(const std::filesystem::path& name, std::vector<std::uint8_t> bytes,
                   const std::string& display);
void RegisterInput(const std::filesystem::path& name,
                   std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                   const std::string& display);
void RegisterInput(const std::filesystem::path& name, int descriptor, const std::string& display);
// Lets go of a registered input (a descriptor is closed); documents opened on it keep
// reading it.
void UnregisterInput(const std::filesystem::path& name);
bool IsRegisteredInput(const std::filesystem::path& name);
// The registered display name, or the path as it is.
std::string InputDisplayName(const std::filesystem::path& name);

// Creates a new, empty compound document on disk (written when the handle is destroyed)
// or in memory. Null on failure.
std::unique_ptr<StorageHandle> CreateStorageFile(const std::filesystem::path& path);
std::unique_ptr<StorageHandle> CreateMemoryStorage();

}  // namespace vorlix::platform
