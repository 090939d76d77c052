// Decoding of HLINK records: the cell range a hyperlink covers, its address and its kind
// (web address, local file, network path as text, or a place in the workbook).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix {

struct THyperlink {
    std::uint16_t FirstRow = 0, LastRow = 0, FirstCol = 0, LastCol = 0;
    std::uint8_t Kind = 0;  // THyperlinkKind
    std::u16string Text;
};

// Raises EXLSError 16 ("Invalid data. Error in hyperlink.") for a malformed body.
THyperlink DecodeHyperlink(std::string_view body);

}  // namespace vorlix
