// Records of BIFF versions 2, 3 and 4 (the worksheet files of Excel 2.x to 4.0, which are a
// bare record stream, and Excel 4.0 workbooks) decoded from their bodies, where their
// layouts differ from the later versions'. Texts are 8-bit, in the file's code page, kept
// here as the stored bytes.
//
// A BIFF2 cell record has no XF index of its own but three bytes of cell attributes: the
// XF index (63: the one the IXFE record before it gives), the number format and font, the
// alignment and borders. Versions 3 and 4 store an XF index as the later versions do.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/ByteCursor.h"

namespace vorlix::records {

using platform::TByteCursor;

// The three attribute bytes of a BIFF2 cell.
struct TCellAttributes {
    std::array<std::uint8_t, 3> Bytes{};
    static constexpr std::uint8_t kXfFromIxfe = 63;
    std::uint8_t XF() const { return Bytes[0] & 0x3F; }
    bool Locked() const { return (Bytes[0] & 0x40) == 0; }
    std::uint8_t Format() const { return Bytes[1] & 0x3F; }
    std::uint8_t Font() const { return static_cast<std::uint8_t>(Bytes[1] >> 6); }
    std::uint8_t HAlign() const { return Bytes[2] & 0x07; }
    // Left, right, top, bottom: a thin border or none.
    bool Border(int side) const { return (Bytes[2] & (0x08 << side)) != 0; }
    bool Shaded() const { return (Bytes[2] & 0x80) != 0; }
};

// Row, column and, for BIFF2, the cell attributes; for BIFF3 and 4 the XF index.
struct TEarlyCell {
    std::uint16_t Row = 0;
    std::uint16_t Col = 0;
    bool HasAttributes = false;  // the BIFF2 layout
    TCellAttributes Attributes;  // BIFF2
    std::uint16_t XF = 0;        // BIFF3 and 4
};
// `biff2` selects the three attribute bytes instead of a 16-bit XF index.
TEarlyCell DecodeEarlyCell(TByteCursor& body, bool biff2);

// BIFF2 INTEGER: the cell and an unsigned 16-bit value.
struct TIntegerRecord {
    TEarlyCell Cell;
    std::uint16_t Value = 0;
};
TIntegerRecord DecodeInteger(TByteCursor& body);

// LABEL: the cell and its 8-bit characters (BIFF2 an 8-bit count, BIFF3 and 4 a 16-bit
// one). Characters that run past the end are those that are there.
struct TEarlyLabelRecord {
    TEarlyCell Cell;
    std::string_view Chars;  // views the body
};
TEarlyLabelRecord DecodeEarlyLabel(TByteCursor& body, bool biff2);

// STRING, the text result of the formula before it: 8-bit characters with an 8-bit
// (BIFF2) or 16-bit count.
std::string_view DecodeEarlyString(TByteCursor& body, bool biff2);

// FORMULA: the cell, the cached result (as in later versions: a double, or a typed result
// whose last two bytes are 0xFFFF), option flags (1 byte in BIFF2, 2 after), then the
// token count (same sizes) and the tokens.
struct TEarlyFormulaRecord {
    TEarlyCell Cell;
    std::array<std::uint8_t, 8> Result{};
    std::uint16_t Options = 0;
    std::string_view Tokens;  // views the body; the tokens that are there
    bool IsNumber() const { return Result[6] != 0xFF || Result[7] != 0xFF; }
    double Number() const;
};
TEarlyFormulaRecord DecodeEarlyFormula(TByteCursor& body, bool biff2);

// FONT: height in twips, options (bit 0 bold, 1 italic, 2 underline, 3 struck out), from
// BIFF3 on a colour code, and the name with an 8-bit count.
struct TEarlyFontRecord {
    std::uint16_t HeightTwips = 0;
    std::uint16_t Options = 0;
    std::uint16_t Color = 0x7FFF;  // BIFF2 (before its FONTCOLOR): the window text colour
    std::string_view Name;
    static constexpr std::uint16_t kBold = 0x0001;
    static constexpr std::uint16_t kItalic = 0x0002;
    static constexpr std::uint16_t kUnderline = 0x0004;
    static constexpr std::uint16_t kStrikeOut = 0x0008;
};
TEarlyFontRecord DecodeEarlyFont(TByteCursor& body, bool biff2);

// FORMAT: the text, 8-bit with an 8-bit count; BIFF4 puts two unused bytes before it.
// Formats have no index of their own: XFs count them in the order of their records.
std::string_view DecodeEarlyFormat(TByteCursor& body, bool biff4);

// XF of versions 2, 3 and 4 in the fields the model keeps: font and format positions,
// protection, style flag, alignment, wrap, borders and fill. BIFF2 knows only thin
// borders and a shaded (grey dotted) fill.
struct TEarlyXfRecord {
    std::uint8_t Font = 0;
    std::uint8_t Format = 0;
    bool Locked = true;
    bool StyleXF = false;
    std::uint8_t HAlign = 0;
    bool Wrap = false;
    std::uint8_t VAlign = 0;
    std::uint8_t Rotation = 0;
    std::array<std::uint8_t, 4> BorderStyles{};  // left, right, top, bottom
    std::array<std::uint8_t, 4> BorderColors{};  // colour codes, in the same order
    std::uint8_t Pattern = 0;
    std::uint8_t PatternForeground = 0;  // colour codes
    std::uint8_t PatternBackground = 0;
};
// `version` is 2, 3 or 4.
TEarlyXfRecord DecodeEarlyXf(TByteCursor& body, int version);
// The XF a BIFF2 cell's attributes describe (a file without XF records has no other).
TEarlyXfRecord XfOfAttributes(const TCellAttributes& attributes);

// BUNDLESHEET of an Excel 4.0 workbook: the stream position of the sheet, its options
// (the low byte its visibility) and its name (8-bit count).
struct TBundleSheetRecord {
    std::uint32_t Position = 0;
    std::uint16_t Options = 0;
    std::string_view Name;
};
TBundleSheetRecord DecodeBundleSheet(TByteCursor& body);

}  // namespace vorlix::records

namespace vorlix::rec {

// The ids of the records of versions 2 to 4 whose ids or layouts the later versions
// changed (the rest kept both).
inline constexpr std::uint16_t kBlank2 = 0x0001;
inline constexpr std::uint16_t kInteger2 = 0x0002;
inline constexpr std::uint16_t kNumber2 = 0x0003;
inline constexpr std::uint16_t kLabel2 = 0x0004;
inline constexpr std::uint16_t kBoolErr2 = 0x0005;
inline constexpr std::uint16_t kFormula2 = 0x0006;
inline constexpr std::uint16_t kString2 = 0x0007;
inline constexpr std::uint16_t kBof2 = 0x0009;
inline constexpr std::uint16_t kFormat2 = 0x001E;  // also BIFF3
inline constexpr std::uint16_t kFont2 = 0x0031;
inline constexpr std::uint16_t kCodePage2 = 0x0042;
inline constexpr std::uint16_t kXf2 = 0x0043;
inline constexpr std::uint16_t kIxfe2 = 0x0044;
inline constexpr std::uint16_t kBundleSheet4 = 0x008F;
inline constexpr std::uint16_t kLabel3 = 0x0204;
inline constexpr std::uint16_t kFormula3 = 0x0206;
inline constexpr std::uint16_t kString3 = 0x0207;
inline constexpr std::uint16_t kBof3 = 0x0209;
inline constexpr std::uint16_t kFont3 = 0x0231;
inline constexpr std::uint16_t kXf3 = 0x0243;
inline constexpr std::uint16_t kFormula4 = 0x0406;
inline constexpr std::uint16_t kBof4 = 0x0409;
inline constexpr std::uint16_t kFormat4 = 0x041E;
inline constexpr std::uint16_t kXf4 = 0x0443;

}  // namespace vorlix::rec
