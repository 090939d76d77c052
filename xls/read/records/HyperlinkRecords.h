// HLINK decoded from its body: the cell range a hyperlink covers, its kind (web address,
// local file, network path as text, or a place in the workbook) and its address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ByteCursor.h"

namespace vorlix::records {

using platform::TByteCursor;

// HLINK: first and last row, first and last column, the class id of the link object and
// its version (skipped), flags, then the parts the flags announce: a display name and a
// frame name (skipped), then by kind the moniker (a class id and the web address, or the
// file's 8-bit short path with a 16-bit long path after it), the network path or the
// place in the workbook.
struct THyperlinkRecord {
    std::uint16_t FirstRow = 0, LastRow = 0, FirstCol = 0, LastCol = 0;
    std::uint8_t Kind = 0;  // THyperlinkKind
    // The address: the web address, network path or place (each to its first zero); for a
    // local file the long path, when the file moniker has one.
    std::u16string Text;
    // A local file's short path: 8-bit characters in the workbook's code page, as stored.
    std::string_view ShortPath;
    bool HasLongPath = false;
};

// Raises EXLSError 16 ("Invalid data. Error in hyperlink.") for a malformed body: one that
// lacks a part its flags announce, or whose moniker is neither of a web address nor of a
// file.
THyperlinkRecord DecodeHyperlink(TByteCursor& body);

}  // namespace vorlix::records
