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

// The codes of EXLSError, each with its message in the table of Errors.cpp.
enum TXLSErrorCode : std::uint8_t {
    xeBufferTooSmall = 1,         // "Buffer size is too small."
    xeStreamNotFound = 2,         // "Stream not found: %s. ..."
    xeInvalidCellValue = 3,       // "Invalid cell value or type."
    xeInvalidCellProperty = 4,    // "Invalid cell property value."
    xeInvalidRowOrColumn = 5,     // "Invalid row or column number."
    xeInvalidSheetName = 6,       // "Invalid or duplicated sheet name."
    xeSheetNameLength = 7,        // "Sheet name must have a length 1..255."
    xeInvalidFormula = 8,         // "Invalid formula."
    xeInvalidFunction = 9,        // "Invalid function in formula: %s."
    xeFormulaStringLength = 10,   // "String constants in formula must have a length 0..255."
    xeInvalidRangeName = 11,      // "Invalid range name: %s."
    xeNoSheets = 12,              // "There are no sheets in the workbook."
    xeFormulaNotRecognized = 13,  // "Formula not recognized."
    xeLinkTable = 14,             // "Invalid data. Error in link table."
    xeDrawingStream = 15,         // "Invalid data. Error in drawing stream."
    xeHyperlink = 16,             // "Invalid data. Error in hyperlink."
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
