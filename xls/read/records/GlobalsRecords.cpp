#include "xls/read/records/GlobalsRecords.h"

namespace vorlix::records {

TBofRecord DecodeBof(TByteCursor& body) {
    TBofRecord r;
    r.Version = body.U16();
    r.Type = body.U16();
    return r;
}

TBoundSheetRecord DecodeBoundSheet(TByteCursor& body) {
    TBoundSheetRecord r;
    r.Position = body.U32();
    r.Options = body.U16();
    r.Name = body.ShortString();
    return r;
}

TFormatRecord DecodeFormat(TByteCursor& body) {
    TFormatRecord r;
    r.Index = body.U16();
    r.Text = body.LongString();
    return r;
}

TFontRecord DecodeFont(TByteCursor& body) {
    TFontRecord r;
    r.HeightTwips = body.U16();
    r.Options = body.U16();
    r.Color = body.U16();
    r.Weight = body.U16();
    r.Script = body.U16();
    r.Underline = body.U8();
    body.Skip(3);  // family, character set, reserved
    r.Name = body.ShortString();
    return r;
}

TXfRecord DecodeXf(TByteCursor& body) {
    TXfRecord r;
    r.Font = body.U16();
    r.Format = body.U16();
    const std::uint16_t protection = body.U16();
    r.Locked = (protection & 0x0001) != 0;
    r.StyleXF = (protection & 0x0004) != 0;
    const std::uint16_t alignment = body.U16();
    r.HAlign = static_cast<std::uint8_t>(alignment & 0x07);
    r.Wrap = (alignment & 0x08) != 0;
    r.VAlign = static_cast<std::uint8_t>(alignment >> 4 & 0x07);
    r.Rotation = static_cast<std::uint8_t>(alignment >> 8);
    r.Indent = body.U8() & 0x0F;  // the level; shrink to fit and merging above it
    body.Skip(1);                 // attributes used
    const std::uint16_t styles = body.U16();
    for (std::size_t side = 0; side < 4; ++side)
        r.BorderStyles[side] = static_cast<std::uint8_t>(styles >> (4 * side) & 0x0F);
    // Two 7-bit colour codes share a 16-bit field (and the low half of the 32-bit one).
    const std::uint16_t sides = body.U16();
    const std::uint32_t topBottomFill = body.U32();
    r.BorderColors = {static_cast<std::uint8_t>(sides & 0x7F),
                      static_cast<std::uint8_t>(sides >> 7 & 0x7F),
                      static_cast<std::uint8_t>(topBottomFill & 0x7F),
                      static_cast<std::uint8_t>(topBottomFill >> 7 & 0x7F)};
    r.Pattern = static_cast<std::uint8_t>(topBottomFill >> 26);
    const std::uint16_t fill = body.U16();
    r.PatternForeground = static_cast<std::uint8_t>(fill & 0x7F);
    r.PatternBackground = static_cast<std::uint8_t>(fill >> 7 & 0x7F);
    return r;
}

void DecodeSst(TRecordCursor& body, std::vector<TSstString>& out) {
    constexpr std::uint8_t kWide = 0x01;
    constexpr std::uint8_t kFarEast = 0x04;
    constexpr std::uint8_t kRich = 0x08;
    body.Skip(8);
    while (body.Remaining() >= 2) {
        const std::uint16_t count = body.U16();
        if (body.AtEnd()) return;
        const std::uint8_t options = body.U8();
        std::uint32_t runs = 0;
        std::uint32_t farEast = 0;
        if ((options & kRich) != 0) {
            if (body.AtEnd()) return;
            runs = body.U16();
        }
        if ((options & kFarEast) != 0) {
            if (body.AtEnd()) return;
            farEast = body.U32();
        }
        TSstString& s = out.emplace_back();
        if (!body.ContinuedChars(count, (options & kWide) != 0, s.Text, s.Wide)) return;
        // Formatting runs and far-east data are not kept.
        const std::uint64_t skipped = 4ull * runs + farEast;
        if (skipped > body.Remaining()) return;
        body.Skip(static_cast<std::size_t>(skipped));
    }
}

std::vector<std::uint32_t> DecodePalette(TByteCursor& body) {
    std::vector<std::uint32_t> colors;
    const std::uint16_t count = body.U16();
    while (colors.size() < count && body.Remaining() >= 4)
        colors.push_back(body.U32());
    if (colors.size() < count) body.Skip(4);  // the body ends before the colours do
    return colors;
}

}  // namespace vorlix::records
