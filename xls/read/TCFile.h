// Compound document access: the tree of named storages and streams of a compound file,
// opened in full when the file is opened, with case-insensitive lookup by name and
// streams that read with seek, position and size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/StructuredStorage.h"
#include "xls/model/Errors.h"

namespace vorlix {

class TEasyStream;

// Failures of the compound-document layer; the message comes from a fixed table by code.
// The codes of ECFileError, each with its message in the table of TCFile.cpp.
enum TCFileErrorCode : std::uint8_t {
    ceCreateFile = 0,     // "Can not create a file"
    ceCreateStream = 1,   // "Can not create a stream"
    ceCreateStorage = 2,  // "Can not create a storage"
    ceOpenFile = 3,       // "Can not open a file (probably it is already opened or ...)"
    ceOpenStream = 4,     // "Can not open a stream"
    ceOpenStorage = 5,    // "Can not open a storage"
    ceSetPosition = 6,    // "Can not set stream position"
    ceCommit = 7,         // "Can not commit a storage"
    ceReadStream = 8,     // "Can not read a stream"
};

class ECFileError : public Exception {
  public:
    explicit ECFileError(std::uint8_t code);
    // With the message that names the file and says what is wrong with it.
    ECFileError(std::uint8_t code, const platform::DocumentFailure& failure,
                const std::string& message);
    std::uint8_t Code() const { return code_; }
    // Why an existing file could not be opened or read (None for the other codes).
    const platform::DocumentFailure& Failure() const { return failure_; }
    static const char* Message(std::uint8_t code);

  private:
    std::uint8_t code_;
    platform::DocumentFailure failure_;
};

// What the user is told about a file that cannot be opened or read: its name (as
// platform::InputDisplayName gives it) and the reason ("x.xls is empty", "x.xls is a
// text file, not an Excel workbook", "x.xls: the compound document is damaged: ...").
std::string DocumentFailureMessage(const std::string& name,
                                   const platform::DocumentFailure& failure);
// The same reason without the file's name, for lists that name the file before it ("x.xls:
// a text file, not an Excel workbook"); empty when the failure has no problem set.
std::string DocumentFailureReason(const platform::DocumentFailure& failure);

enum TCFileMode : std::uint8_t { cfCreate = 0, cfOpen = 1, cfMemory = 2 };

class TCFileItem {
  public:
    virtual ~TCFileItem() = default;
    // The element's name in the system code page.
    const std::string& Name() const { return name_; }

  protected:
    explicit TCFileItem(std::string name) : name_(std::move(name)) {}

  private:
    std::string name_;
};

class TCFileStream : public TCFileItem {
  public:
    // `document` names the file in the message of a read that fails.
    TCFileStream(std::string name, std::unique_ptr<platform::StreamHandle> stream,
                 std::string document = {});
    ~TCFileStream() override;

    // Bytes copied into the buffer; 0 at the end. Raises ECFileError(ceReadStream) when the
    // file's bytes cannot be read (it was cut short or changed since it was opened).
    std::int32_t Read(void* buffer, std::int32_t count);
    // True when the buffer is not null and at least one byte was read.
    bool ReadBuffer(void* buffer, std::int32_t count);
    // origin 0 from the start, 1 from the current position, 2 from the end. Returns the
    // low 32 bits of the resulting position (unchanged when the target is refused).
    std::int32_t Seek(std::int32_t offset, std::uint16_t origin);
    std::int32_t Position() { return Seek(0, 1); }
    // The stream's size; the position is left as it was.
    std::int32_t Size();
    // Raises ECFileError(ceSetPosition) when the stream does not end up at `position`.
    void SetPosition(std::int32_t position);

  private:
    std::unique_ptr<platform::StreamHandle> stream_;
    std::string document_;
};

class TCFileStorage : public TCFileItem {
  public:
    explicit TCFileStorage(std::string name);
    ~TCFileStorage() override;

    // Rebuilds Items from a platform storage, opening every child (depth first). `document`
    // names the file in the messages of the streams' read errors.
    void LoadElements(std::unique_ptr<platform::StorageHandle> storage,
                      const std::string& document = {});
    // The first direct child whose name matches, letters compared without regard to case.
    TCFileItem* FindItem(const std::string& name) const;
    std::size_t Count() const { return items_.size(); }
    TCFileItem* Items(std::size_t index) const { return items_.at(index).get(); }

  private:
    std::unique_ptr<platform::StorageHandle> storage_;
    std::vector<std::unique_ptr<TCFileItem>> items_;
};

class TCFile {
  public:
    // Opens (cfOpen), creates on disk (cfCreate) or creates in memory (cfMemory).
    // Raises ECFileError: code 3 when an existing file cannot be opened (its message names
    // the file and the reason, see DocumentFailureMessage), 0 when one cannot be created,
    // 4 or 5 when an element of an opened file cannot be opened.
    TCFile(const std::u16string& fileName, std::uint8_t mode);
    ~TCFile();
    TCFile(const TCFile&) = delete;
    TCFile& operator=(const TCFile&) = delete;

    // Copies the whole source into memory and opens the copy (ECFileError 0 on failure).
    static std::unique_ptr<TCFile> CreateFromStream(TEasyStream& source);
    // A root that holds the given streams and nothing else, without a compound document
    // (see platform::OpenStreamsInMemory).
    static std::unique_ptr<TCFile> FromStreams(std::vector<platform::NamedBytes> streams);

    TCFileStorage& Root() { return *root_; }
    // Damage of the document that opening worked around (see StorageHandle::Warnings).
    const std::vector<std::string>& Warnings() const { return warnings_; }
    const std::u16string& FileName() const { return fileName_; }

    // Only CreateFromStream can make one of these: the passkey of the empty constructor.
    class Passkey {
        friend class TCFile;
        Passkey() = default;
    };
    explicit TCFile(Passkey) {}

  private:
    std::u16string fileName_;
    std::unique_ptr<TCFileStorage> root_;
    std::vector<std::string> warnings_;
};

}  // namespace vorlix
