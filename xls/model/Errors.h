// Error types of the workbook library. Every failure is an exception derived from
// `Exception`, which carries the message shown to the user.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vorlix {

// The general error: a fixed English message and nothing else.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A position outside a list of the containers ("List index out of bounds (5)").
class EListError : public Exception {
  public:
    explicit EListError(long long index);
};

// A position outside a collection of workbook items ("List index (5) out of bounds").
class ERangeError : public Exception {
  public:
    explicit ERangeError(const std::string& message) : Exception(message) {}
};

// The workbook library's own failures: a code into a fixed message table.
class EXLSError : public Exception {
  public:
    explicit EXLSError(std::uint8_t code);
    EXLSError(std::uint8_t code, const std::string& argument);
    std::uint8_t ErrorCode() const { return code_; }

    // The message table entry for a code ("" for 0 and unknown codes).
    static const char* MessageFormat(std::uint8_t code);

  private:
    std::uint8_t code_;
};

}  // namespace vorlix
