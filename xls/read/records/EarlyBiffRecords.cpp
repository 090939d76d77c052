#include "xls/read/records/EarlyBiffRecords.h"

namespace vorlix::records {

namespace {

constexpr std::uint8_t kThinBorder = 1;
constexpr std::uint8_t kBlack = 8;
constexpr std::uint8_t kWhite = 9;
constexpr std::uint8_t kShadedPattern = 17;  // the fine grey dots of a "shaded" BIFF2 cell

// The 5-bit colour codes of versions 3 and 4: 24 and 25 are the window's text and
// background colours, 64 and 65 in the later versions' codes.
std::uint8_t ColorCode(std::uint32_t code) {
    if (code == 24) return 0x40;
    if (code == 25) return 0x41;
    return static_cast<std::uint8_t>(code);
}

// The borders of versions 3 and 4: four 8-bit groups of a 3-bit style and a 5-bit colour,
// top, left, bottom, right.
void DecodeBorders(std::uint32_t bits, TEarlyXfRecord& r) {
    constexpr std::array<int, 4> kShift = {8, 24, 0, 16};  // left, right, top, bottom
    for (std::size_t side = 0; side < 4; ++side) {
        const std::uint32_t group = bits >> kShift[side];
        r.BorderStyles[side] = static_cast<std::uint8_t>(group & 0x07);
        r.BorderColors[side] = ColorCode((group >> 3) & 0x1F);
    }
}

// The fill of versions 3 and 4: a 6-bit pattern, the pattern's colour, the background's.
void DecodeFill(std::uint16_t bits, TEarlyXfRecord& r) {
    r.Pattern = static_cast<std::uint8_t>(bits & 0x3F);
    r.PatternForeground = ColorCode((bits >> 6) & 0x1F);
    r.PatternBackground = ColorCode((bits >> 11) & 0x1F);
}

// The thin borders and shading of a BIFF2 attribute byte (XF byte 3 or cell byte 2).
void DecodeBiff2Look(std::uint8_t bits, TEarlyXfRecord& r) {
    r.HAlign = bits & 0x07;
    for (std::size_t side = 0; side < 4; ++side) {
        if ((bits & (0x08 << side)) == 0) continue;
        r.BorderStyles[side] = kThinBorder;
        r.BorderColors[side] = kBlack;
    }
    if ((bits & 0x80) != 0) {
        r.Pattern = kShadedPattern;
        r.PatternForeground = kBlack;
        r.PatternBackground = kWhite;
    }
}

}  // namespace

TEarlyCell DecodeEarlyCell(TByteCursor& body, bool biff2) {
    TEarlyCell c;
    c.Row = body.U16();
    c.Col = body.U16();
    c.HasAttributes = biff2;
    if (biff2) {
        for (std::uint8_t& b : c.Attributes.Bytes)
            b = body.U8();
    } else {
        c.XF = body.U16();
    }
    return c;
}

TIntegerRecord DecodeInteger(TByteCursor& body) {
    TIntegerRecord r;
    r.Cell = DecodeEarlyCell(body, true);
    r.Value = body.U16();
    return r;
}

TEarlyLabelRecord DecodeEarlyLabel(TByteCursor& body, bool biff2) {
    TEarlyLabelRecord r;
    r.Cell = DecodeEarlyCell(body, biff2);
    r.Chars = DecodeEarlyString(body, biff2);
    return r;
}

std::string_view DecodeEarlyString(TByteCursor& body, bool biff2) {
    const std::uint16_t count = biff2 ? body.U8() : body.U16();
    return body.Bytes(count);
}

double TEarlyFormulaRecord::Number() const {
    return TByteCursor(Result.data(), Result.size()).F64();
}

TEarlyFormulaRecord DecodeEarlyFormula(TByteCursor& body, bool biff2) {
    TEarlyFormulaRecord r;
    r.Cell = DecodeEarlyCell(body, biff2);
    for (std::uint8_t& b : r.Result)
        b = body.U8();
    r.Options = biff2 ? body.U8() : body.U16();
    const std::uint16_t size = biff2 ? body.U8() : body.U16();
    r.Tokens = body.Bytes(size);
    return r;
}

TEarlyFontRecord DecodeEarlyFont(TByteCursor& body, bool biff2) {
    TEarlyFontRecord r;
    r.HeightTwips = body.U16();
    r.Options = body.U16();
    if (!biff2) r.Color = body.U16();
    r.Name = body.Bytes(body.U8());
    return r;
}

std::string_view DecodeEarlyFormat(TByteCursor& body, bool biff4) {
    if (biff4) body.Skip(2);
    return body.Bytes(body.U8());
}

TEarlyXfRecord DecodeEarlyXf(TByteCursor& body, int version) {
    TEarlyXfRecord r;
    r.Font = body.U8();
    if (version == 2) {
        body.Skip(1);
        const std::uint8_t format = body.U8();
        r.Format = format & 0x3F;
        r.Locked = (format & 0x40) != 0;
        DecodeBiff2Look(body.U8(), r);
        return r;
    }
    r.Format = body.U8();
    if (version == 3) {
        const std::uint8_t protection = body.U8();
        r.Locked = (protection & 0x01) != 0;
        r.StyleXF = (protection & 0x04) != 0;
        body.Skip(1);  // attributes used
        const std::uint16_t alignment = body.U16();
        r.HAlign = alignment & 0x07;
        r.Wrap = (alignment & 0x08) != 0;
    } else {
        const std::uint16_t protection = body.U16();
        r.Locked = (protection & 0x01) != 0;
        r.StyleXF = (protection & 0x04) != 0;
        const std::uint8_t alignment = body.U8();
        r.HAlign = alignment & 0x07;
        r.Wrap = (alignment & 0x08) != 0;
        r.VAlign = (alignment >> 4) & 0x03;
        // Stacked letters, then a quarter turn counter-clockwise and clockwise, in the
        // later versions' rotation codes.
        constexpr std::array<std::uint8_t, 4> kRotation = {0, 255, 90, 180};
        r.Rotation = kRotation[(alignment >> 6) & 0x03];
        body.Skip(1);  // attributes used
    }
    DecodeFill(body.U16(), r);
    DecodeBorders(body.U32(), r);
    return r;
}

TEarlyXfRecord XfOfAttributes(const TCellAttributes& attributes) {
    TEarlyXfRecord r;
    r.Font = attributes.Font();
    r.Format = attributes.Format();
    r.Locked = attributes.Locked();
    DecodeBiff2Look(attributes.Bytes[2], r);
    return r;
}

TBundleSheetRecord DecodeBundleSheet(TByteCursor& body) {
    TBundleSheetRecord r;
    r.Position = body.U32();
    r.Options = body.U16();
    r.Name = body.Bytes(body.U8());
    return r;
}

}  // namespace vorlix::records
