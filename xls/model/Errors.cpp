#include "xls/model/Errors.h"

#include <array>

namespace vorlix {

namespace {

constexpr std::array<const char*, 17> kXlsMessages = {
    "",
    "Buffer size is too small.",
    "Stream not found: %s. File format is not Excel 97 or higher.",
    "Invalid cell value or type.",
    "Invalid cell property value.",
    "Invalid row or column number.",
    "Invalid or duplicated sheet name.",
    "Sheet name must have a length 1..255.",
    "Invalid formula.",
    "Invalid function in formula: %s.",
    "String constants in formula must have a length 0..255.",
    "Invalid range name: %s.",
    "There are no sheets in the workbook.",
    "Formula not recognized.",
    "Invalid data. Error in link table.",
    "Invalid data. Error in drawing stream.",
    "Invalid data. Error in hyperlink.",
};

std::string FormatOne(const char* format, const std::string& argument) {
    std::string out = format;
    if (const auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, argument);
    return out;
}

}  // namespace

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

const char* EXLSError::MessageFormat(std::uint8_t code) {
    return code < kXlsMessages.size() ? kXlsMessages[code] : "";
}

EXLSError::EXLSError(std::uint8_t code) : Exception(MessageFormat(code)), code_(code) {}

EXLSError::EXLSError(std::uint8_t code, const std::string& argument)
    : Exception(FormatOne(MessageFormat(code), argument)), code_(code) {}

}  // namespace vorlix
