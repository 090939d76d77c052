// vorlix-cli's standard input and output: a workbook read from standard input under the
// name "-", and standard output written through a buffer that remembers why a write
// failed, so that every command can tell a full disk or a closed pipe from success.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace vorlix::cli {

// The name that stands for standard input where a command takes a workbook, and how the
// messages call it.
inline constexpr const char* kStandardInputName = "-";
inline constexpr const char* kStandardInputDisplay = "standard input";
// The most that is read from a pipe on standard input (a workbook is held in memory while
// it is read; a larger one is better read from a file).
inline constexpr std::size_t kStandardInputLimit = std::size_t{1} << 30;

// Makes "-" stand for the workbook on standard input (platform::RegisterInput): a regular
// file redirected to it is read where it is, anything else (a pipe) is read into memory,
// up to `limit` bytes. False after writing why to `err`: a terminal (nothing was piped in),
// more than `limit` bytes, or a read error.
bool UseStandardInput(std::ostream& err, std::size_t limit = kStandardInputLimit);

// Standard output's buffer for the life of the object: text goes to descriptor 1 through
// it, and the first failed write is remembered (later text is dropped).
class TStandardOutput : public std::streambuf {
  public:
    // Takes the place of std::cout's buffer. On a terminal every line is written as it is
    // complete, elsewhere the buffer when it is full.
    TStandardOutput();
    // Flushes and gives std::cout its own buffer back.
    ~TStandardOutput() override;
    TStandardOutput(const TStandardOutput&) = delete;
    TStandardOutput& operator=(const TStandardOutput&) = delete;

    // Writes what is buffered. Empty when everything was written, else the message of the
    // exit status 2: "Cannot write to standard output: No space left on device".
    std::string Finish();

  protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    bool Drain();
    bool WriteAll(const char* bytes, std::size_t count);

    std::vector<char> buffer_;
    bool lineBuffered_;
    std::streambuf* previous_ = nullptr;
    int error_ = 0;
};

}  // namespace vorlix::cli
