// Records of the workbook globals decoded from their bodies: substream starts, sheets,
// number formats, the palette, fonts, cell formats (XF) and the shared strings. (FILEPASS
// is decoded by the decryption, the link records by the link table.)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteCursor.h"
#include "xls/read/RecordCursor.h"

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

// FONT: height in twips, options, colour code, weight (400 normal, 700 bold), script
// (1 superscript, 2 subscript), underline style, family, character set, a reserved byte,
// then the name with an 8-bit count and an option byte (bit 0: 16-bit characters). A name
// whose characters run past the end is empty.
struct TFontRecord {
    std::uint16_t HeightTwips = 0;
    std::uint16_t Options = 0;
    std::uint16_t Color = 0;
    std::uint16_t Weight = 0;
    std::uint16_t Script = 0;
    std::uint8_t Underline = 0;
    std::u16string Name;
    static constexpr std::uint16_t kItalic = 0x0002;
    static constexpr std::uint16_t kStrikeOut = 0x0008;
    static constexpr std::uint16_t kBoldWeight = 700;
};
TFontRecord DecodeFont(TByteCursor& body);

// XF: font and format index, protection (bit 0 locked, bit 2 a style XF), alignment
// (horizontal, wrap, vertical, rotation), indent, a byte of attributes used, the four
// border styles, the colour codes of the borders and the fill pattern with its two colour
// codes (the pattern's foreground first).
struct TXfRecord {
    std::uint16_t Font = 0;
    std::uint16_t Format = 0;
    bool Locked = false;
    bool StyleXF = false;
    std::uint8_t HAlign = 0;
    bool Wrap = false;
    std::uint8_t VAlign = 0;
    std::uint8_t Rotation = 0;
    std::uint8_t Indent = 0;
    std::array<std::uint8_t, 4> BorderStyles{};  // left, right, top, bottom
    std::array<std::uint8_t, 4> BorderColors{};  // colour codes, in the same order
    std::uint8_t Pattern = 0;
    std::uint8_t PatternForeground = 0;  // colour codes
    std::uint8_t PatternBackground = 0;
    static constexpr std::uint8_t kSolidPattern = 1;
};
TXfRecord DecodeXf(TByteCursor& body);

// A shared string: its characters, 16-bit ones when any part of it was stored so.
struct TSstString {
    std::u16string Text;
    bool Wide = false;
};

// SST with its CONTINUE bodies: total and unique counts (not trusted), then strings to the
// end of the record. Each string has a 16-bit character count, an option byte (bit 0
// 16-bit characters, bit 2 far-east data, bit 3 formatting runs), the run count and the
// far-east data size when flagged, the characters (going on in the next body with an option
// byte of their own), the runs (4 bytes each) and the far-east data, which are skipped.
// A string the record cuts short inside its characters is kept with the characters
// there; the record's end anywhere else ends the strings.
void DecodeSst(TRecordCursor& body, std::vector<TSstString>& out);

}  // namespace vorlix::records
