#include "cli/StandardStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <system_error>

#include "platform/StructuredStorage.h"

namespace vorlix::cli {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

bool UseStandardInput(std::ostream& err, std::size_t limit) {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) != 0) {
        err << "Cannot read standard input: " << std::generic_category().message(errno) << '\n';
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        // A file redirected to standard input is read where it lies, like any file.
        const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            err << "Cannot read standard input: " << std::generic_category().message(errno) << '\n';
            return false;
        }
        platform::RegisterInput(kStandardInputName, fd, kStandardInputDisplay);
        return true;
    }
    if (isatty(STDIN_FILENO)) {
        err << "- reads a workbook from standard input, but it is a terminal: pipe or redirect "
               "a workbook into it (vorlix-cli info - < book.xls)\n";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> chunk(kBufferSize);
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err << "Cannot read standard input: " << std::generic_category().message(errno) << '\n';
            return false;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > limit) {
            err << "Standard input holds more than " << (limit >> 20)
                << " MB: save the workbook to a file and give its name\n";
            return false;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    platform::RegisterInput(kStandardInputName, std::move(bytes), kStandardInputDisplay);
    return true;
}

TStandardOutput::TStandardOutput() : buffer_(kBufferSize), lineBuffered_(isatty(STDOUT_FILENO)) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    previous_ = std::cout.rdbuf(this);
}

TStandardOutput::~TStandardOutput() {
    Drain();
    std::cout.rdbuf(previous_);
}

std::string TStandardOutput::Finish() {
    std::cout.flush();
    Drain();
    if (error_ == 0 && !std::cout.good()) error_ = EIO;
    if (error_ == 0) return {};
    return "Cannot write to standard output: " + std::generic_category().message(error_);
}

bool TStandardOutput::WriteAll(const char* bytes, std::size_t count) {
    while (count > 0 && error_ == 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = errno;
            break;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return error_ == 0;
}

bool TStandardOutput::Drain() {
    const bool written = WriteAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return written;
}

TStandardOutput::int_type TStandardOutput::overflow(int_type ch) {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    if (lineBuffered_ && ch == '\n' && !Drain()) return traits_type::eof();
    return ch;
}

std::streamsize TStandardOutput::xsputn(const char* text, std::streamsize count) {
    if (error_ != 0) return 0;
    const auto n = static_cast<std::size_t>(count);
    if (n > static_cast<std::size_t>(epptr() - pptr())) {
        // Too much for what is left of the buffer: out goes the buffer, and a text larger
        // than the whole buffer goes out at once.
        if (!Drain()) return 0;
        if (n >= buffer_.size()) return WriteAll(text, n) ? count : 0;
    }
    std::memcpy(pptr(), text, n);
    pbump(static_cast<int>(n));
    // On a terminal each line shows as soon as it is complete.
    if (lineBuffered_ && std::memchr(text, '\n', n) != nullptr && !Drain()) return 0;
    return count;
}

int TStandardOutput::sync() {
    return Drain() ? 0 : -1;
}

}  // namespace vorlix::cli
