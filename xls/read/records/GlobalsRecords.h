// Records of the workbook globals decoded from their bodies: substream starts, sheets,
// number formats and the palette. (Fonts and cell formats are decoded by their tables,
// FILEPASS by the decryption, the link records by the link table, shared strings by the
// reader, as they continue across records.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"

namespace vorlix::records {

using platform::TByteCursor;

// BOF: the format version and the type of the substream it opens.
struct TBofRecord {
    std::uint16_t Version = 0;
    std::uint16_t Type = 0;
    static constexpr std::uint16_t kChart = 0x0020;
};
TBofRecord DecodeBof(TByteCursor& body);

// BOUNDSHEET: the stream position of the sheet's BOF, options (bit 0 hidden, the byte
// 0..2 is the visibility, the high byte the sheet type) and the name (8-bit count).
struct TBoundSheetRecord {
    std::uint32_t Position = 0;
    std::uint16_t Options = 0;
    std::u16string Name;
    static constexpr std::uint16_t kHidden = 0x0001;
    static constexpr std::uint16_t kState = 0x0003;  // visible, hidden, very hidden
};
TBoundSheetRecord DecodeBoundSheet(TByteCursor& body);

// FORMAT: a format index and its text (16-bit count).
struct TFormatRecord {
    std::uint16_t Index = 0;
    std::u16string Text;
};
TFormatRecord DecodeFormat(TByteCursor& body);

// PALETTE: a colour count, then that many colours as 0x00BBGGRR (the colours the body
// holds whole).
std::vector<std::uint32_t> DecodePalette(TByteCursor& body);

}  // namespace vorlix::records
