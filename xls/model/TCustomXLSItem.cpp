#include "xls/model/TCustomXLSItem.h"

#include <algorithm>

#include "xls/model/FormatTables.h"
#include "xls/model/Palette.h"

namespace vorlix {

namespace {

constexpr std::uint8_t kMaxIndent = 15;

std::uint8_t Byte(const std::string& record, std::size_t offset) {
    return static_cast<std::uint8_t>(record[offset]);
}

}  // namespace

const std::string& TCustomXLSItem::XFRecord() const {
    return Context().XFTable->RecordAt(GetXFIndex());
}

const std::string& TCustomXLSItem::FontRecord() const {
    return Context().FontTable->RecordAt(FontIndex());
}

bool TCustomXLSItem::ChangeXFByte(std::size_t offset, std::uint8_t value, bool compare) {
    TVirtualXFTable& table = *Context().XFTable;
    std::string& buffer = table.Fetch(GetXFIndex());
    if (compare && Byte(buffer, offset) == value) return false;
    buffer[offset] = static_cast<char>(value);
    PutXFIndex(table.Store());
    return true;
}

bool TCustomXLSItem::ChangeFontByte(std::size_t offset, std::uint8_t value, bool compare) {
    std::string& buffer = Context().FontTable->Fetch(FontIndex());
    if (compare && Byte(buffer, offset) == value) return false;
    buffer[offset] = static_cast<char>(value);
    StoreFont();
    return true;
}

void TCustomXLSItem::StoreFont() {
    SetFontIndex(static_cast<std::uint16_t>(Context().FontTable->Store()));
    Commit();
}

// Getters.

std::uint8_t TCustomXLSItem::FillColorIndex() const {
    return Byte(XFRecord(), xfrec::kFillColor);
}
std::uint8_t TCustomXLSItem::PatternColorIndex() const {
    return Byte(XFRecord(), xfrec::kPatternColor);
}
std::uint32_t TCustomXLSItem::FillColor() const {
    return PaletteColor(Context().Settings.Palette, FillColorIndex());
}
std::uint32_t TCustomXLSItem::PatternColor() const {
    return PaletteColor(Context().Settings.Palette, PatternColorIndex());
}
std::uint8_t TCustomXLSItem::FillPattern() const {
    return Byte(XFRecord(), xfrec::kPattern);
}
std::uint8_t TCustomXLSItem::HorizontalAlignment() const {
    return Byte(XFRecord(), xfrec::kHAlign);
}
std::uint8_t TCustomXLSItem::VerticalAlignment() const {
    return Byte(XFRecord(), xfrec::kVAlign);
}
bool TCustomXLSItem::Merged() const {
    return Byte(XFRecord(), xfrec::kMerged) != 0;
}
bool TCustomXLSItem::WrapText() const {
    return Byte(XFRecord(), xfrec::kWrap) != 0;
}
std::uint8_t TCustomXLSItem::Rotation() const {
    return Byte(XFRecord(), xfrec::kRotation);
}
std::uint8_t TCustomXLSItem::Indent() const {
    return Byte(XFRecord(), xfrec::kIndent);
}
bool TCustomXLSItem::Locked() const {
    return Byte(XFRecord(), xfrec::kLocked) != 0;
}

std::uint8_t TCustomXLSItem::BorderColorIndex(std::uint8_t side) const {
    return side < 4 ? Byte(XFRecord(), xfrec::kBorderColor + side) : kAutoBackground;
}
std::uint32_t TCustomXLSItem::BorderColor(std::uint8_t side) const {
    return PaletteColor(Context().Settings.Palette, BorderColorIndex(side));
}
std::uint8_t TCustomXLSItem::BorderStyle(std::uint8_t side) const {
    return side < 4 ? Byte(XFRecord(), xfrec::kBorderStyle + side) : 0;
}
std::uint16_t TCustomXLSItem::NumberFormat() const {
    return RecordGet16(XFRecord(), xfrec::kNumberFormat);
}
std::uint16_t TCustomXLSItem::FontIndex() const {
    return RecordGet16(XFRecord(), xfrec::kFont);
}

bool TCustomXLSItem::FontBold() const {
    return Byte(FontRecord(), fontrec::kBold) != 0;
}
bool TCustomXLSItem::FontItalic() const {
    return Byte(FontRecord(), fontrec::kItalic) != 0;
}
bool TCustomXLSItem::FontUnderline() const {
    return Byte(FontRecord(), fontrec::kUnderline) != 0;
}
bool TCustomXLSItem::FontStrikeOut() const {
    return Byte(FontRecord(), fontrec::kStrikeOut) != 0;
}
std::uint8_t TCustomXLSItem::FontUnderlineStyle() const {
    return Byte(FontRecord(), fontrec::kUnderlineStyle);
}
std::uint8_t TCustomXLSItem::FontScript() const {
    return Byte(FontRecord(), fontrec::kScript);
}
std::u16string TCustomXLSItem::FontName() const {
    return TVirtualFontTable::GetFontName(FontRecord());
}
std::uint8_t TCustomXLSItem::FontColorIndex() const {
    return Byte(FontRecord(), fontrec::kColor);
}
std::uint32_t TCustomXLSItem::FontColor() const {
    return PaletteColor(Context().Settings.Palette, FontColorIndex());
}
std::int16_t TCustomXLSItem::FontSize() const {
    return static_cast<std::int16_t>(RecordGet16(FontRecord(), fontrec::kSize16));
}

// Setters of XF fields.

void TCustomXLSItem::SetFillColorIndex(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kFillColor, value) && value != kAutoBackground) Commit();
}

void TCustomXLSItem::SetPatternColorIndex(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kPatternColor, value) && value != kAutoForeground) Commit();
}

void TCustomXLSItem::SetFillColor(std::uint32_t rgb) {
    TCustomXLSItem::SetFillColorIndex(NearestPaletteIndex(Context().Settings.Palette, rgb));
}

void TCustomXLSItem::SetPatternColor(std::uint32_t rgb) {
    TCustomXLSItem::SetPatternColorIndex(NearestPaletteIndex(Context().Settings.Palette, rgb));
}

void TCustomXLSItem::SetFillPattern(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kPattern, value) && value != 0) Commit();
}

void TCustomXLSItem::SetHorizontalAlignment(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kHAlign, value) && value != 0) Commit();
}

void TCustomXLSItem::SetVerticalAlignment(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kVAlign, value) && value != 0) Commit();
}

void TCustomXLSItem::SetMerged(bool value) {
    if (ChangeXFByte(xfrec::kMerged, value ? 1 : 0) && value) Commit();
}

void TCustomXLSItem::SetWrapText(bool value) {
    if (ChangeXFByte(xfrec::kWrap, value ? 1 : 0) && value) Commit();
}

void TCustomXLSItem::SetRotation(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kRotation, value) && value != 0) Commit();
}

void TCustomXLSItem::SetIndent(std::uint8_t value) {
    if (ChangeXFByte(xfrec::kIndent, std::min(value, kMaxIndent)) && value != 0) Commit();
}

void TCustomXLSItem::SetLocked(bool value) {
    if (ChangeXFByte(xfrec::kLocked, value ? 1 : 0) && !value) Commit();
}

void TCustomXLSItem::SetBorderColorIndex(std::uint8_t side, std::uint8_t value) {
    TVirtualXFTable& table = *Context().XFTable;
    std::string& buffer = table.Fetch(GetXFIndex());
    for (std::uint8_t s = 0; s < 4; ++s) {
        if (side == s || side == bsAll) buffer[xfrec::kBorderColor + s] = static_cast<char>(value);
    }
    PutXFIndex(table.Store());
    Commit();
}

void TCustomXLSItem::SetBorderColor(std::uint8_t side, std::uint32_t rgb) {
    TCustomXLSItem::SetBorderColorIndex(side, NearestPaletteIndex(Context().Settings.Palette, rgb));
}

void TCustomXLSItem::SetBorderStyle(std::uint8_t side, std::uint8_t value) {
    TVirtualXFTable& table = *Context().XFTable;
    std::string& buffer = table.Fetch(GetXFIndex());
    for (std::uint8_t s = 0; s < 4; ++s) {
        if (side == s || side == bsAll) buffer[xfrec::kBorderStyle + s] = static_cast<char>(value);
    }
    PutXFIndex(table.Store());
    Commit();
}

void TCustomXLSItem::SetNumberFormat(std::uint16_t position) {
    TVirtualXFTable& table = *Context().XFTable;
    std::string& buffer = table.Fetch(GetXFIndex());
    if (RecordGet16(buffer, xfrec::kNumberFormat) == position) return;
    RecordSet16(buffer, xfrec::kNumberFormat, position);
    PutXFIndex(table.Store());
    Commit();
}

void TCustomXLSItem::SetFontIndex(std::uint16_t position) {
    TVirtualXFTable& table = *Context().XFTable;
    std::string& buffer = table.Fetch(GetXFIndex());
    if (RecordGet16(buffer, xfrec::kFont) == position) return;
    RecordSet16(buffer, xfrec::kFont, position);
    PutXFIndex(table.Store());
    if (position != 0) Commit();
}

void TCustomXLSItem::SetXFIndex(std::int32_t position) {
    if (position == GetXFIndex()) return;
    PutXFIndex(position);
    Commit();
}

// Setters of font fields.

void TCustomXLSItem::SetFontBold(bool value) {
    ChangeFontByte(fontrec::kBold, value ? 1 : 0);
}
void TCustomXLSItem::SetFontItalic(bool value) {
    ChangeFontByte(fontrec::kItalic, value ? 1 : 0);
}
void TCustomXLSItem::SetFontUnderline(bool value) {
    ChangeFontByte(fontrec::kUnderline, value ? 1 : 0);
}
void TCustomXLSItem::SetFontStrikeOut(bool value) {
    ChangeFontByte(fontrec::kStrikeOut, value ? 1 : 0);
}
void TCustomXLSItem::SetFontUnderlineStyle(std::uint8_t value) {
    ChangeFontByte(fontrec::kUnderlineStyle, value);
}
void TCustomXLSItem::SetFontScript(std::uint8_t value) {
    ChangeFontByte(fontrec::kScript, value);
}
void TCustomXLSItem::SetFontColorIndex(std::uint8_t value) {
    ChangeFontByte(fontrec::kColor, value);
}
void TCustomXLSItem::SetFontColor(std::uint32_t rgb) {
    ChangeFontByte(fontrec::kColor, NearestPaletteIndex(Context().Settings.Palette, rgb), false);
}

void TCustomXLSItem::SetFontName(const std::u16string& value) {
    std::string& buffer = Context().FontTable->Fetch(FontIndex());
    if (TVirtualFontTable::GetFontName(buffer) == value) return;
    TVirtualFontTable::SetFontName(buffer, value);
    StoreFont();
}

void TCustomXLSItem::SetFontSize(std::int16_t value) {
    std::string& buffer = Context().FontTable->Fetch(FontIndex());
    if (static_cast<std::int16_t>(RecordGet16(buffer, fontrec::kSize16)) == value) return;
    RecordSet16(buffer, fontrec::kSize16, static_cast<std::uint16_t>(value));
    StoreFont();
}

}  // namespace vorlix
