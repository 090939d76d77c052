// Helpers shared by the fuzz harnesses: a splitter that hands a harness its input piece by
// piece, and a file in memory that the library can open by path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::fuzz {

// Takes a fuzz input apart from the front: fixed-size numbers, then pieces with a length
// prefix. Reads past the end give zeros and empty pieces, so every input splits somehow.
class TInputSplitter {
  public:
    TInputSplitter(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t U8();
    std::uint16_t U16();
    std::uint64_t U64();
    // A piece whose length (up to 0xFFFF) comes from the next two bytes.
    std::string_view Piece();
    // Everything not yet taken.
    std::string_view Rest();
    bool Empty() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

// An anonymous file in memory (memfd) the library can open by its /proc path: the
// reader opens workbooks by name only. The file is reused from input to input.
class TMemoryFile {
  public:
    TMemoryFile();
    ~TMemoryFile();
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;

    // Replaces the content; false when the file could not be written.
    bool Write(const std::uint8_t* data, std::size_t size);
    // The name under which the content opens, as the library takes file names.
    const std::u16string& Path() const { return path_; }

  private:
    int fd_ = -1;
    std::u16string path_;
};

// Opens the workbook file `path` the way the program does (drawings on, every formula
// decoded, the default password), then formats the display texts of the first cells of
// every sheet. The library's own errors (a damaged or refused file) are expected; any
// other exception escapes, and so do crashes and sanitizer reports.
void ReadWorkbook(const std::u16string& path);
// The same for a workbook stream on its own, read from memory as the stream "Workbook" of
// a document that holds nothing else: no compound document is written or parsed.
void ReadWorkbookStream(const std::uint8_t* data, std::size_t size);

}  // namespace vorlix::fuzz
