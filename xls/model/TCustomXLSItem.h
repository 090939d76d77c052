// The formatted item that cells, rows and columns share. An item holds only the position
// of its cell-format (XF) record; every formatting property is a field of that record (or
// of the font record it names), and every change stores a possibly shared record and
// points the item at it.
//
// Setters compare first and do nothing on an equal value (except where noted). A change
// "commits" the item: a cell or descriptor that was only looked up joins its collection
// then. Which changes commit is fixed per property: setting a property to its default
// value does not bring an item into being.
#pragma once

#include <cstdint>
#include <string>

#include "xls/model/TFormatContext.h"

namespace vorlix {

enum TBorderSide : std::uint8_t { bsLeft = 0, bsRight = 1, bsTop = 2, bsBottom = 3, bsAll = 4 };

class TCustomXLSItem {
  public:
    virtual ~TCustomXLSItem() = default;

    // Getters: plain reads of the item's XF (or font) record.
    std::uint8_t FillColorIndex() const;
    std::uint8_t PatternColorIndex() const;
    std::uint32_t FillColor() const;
    std::uint32_t PatternColor() const;
    std::uint8_t FillPattern() const;
    std::uint8_t HorizontalAlignment() const;
    std::uint8_t VerticalAlignment() const;
    bool Merged() const;
    bool WrapText() const;
    std::uint8_t Rotation() const;
    std::uint8_t Indent() const;
    bool Locked() const;
    // Sides 0..3; 58 (colour) and 0 (style) for any other side.
    std::uint8_t BorderColorIndex(std::uint8_t side) const;
    std::uint32_t BorderColor(std::uint8_t side) const;
    std::uint8_t BorderStyle(std::uint8_t side) const;
    std::uint16_t NumberFormat() const;
    bool FontBold() const;
    bool FontItalic() const;
    bool FontUnderline() const;
    bool FontStrikeOut() const;
    std::uint8_t FontUnderlineStyle() const;
    std::uint8_t FontScript() const;
    std::u16string FontName() const;
    std::uint8_t FontColorIndex() const;
    std::uint32_t FontColor() const;
    std::int16_t FontSize() const;
    std::uint16_t FontIndex() const;
    std::int32_t XFIndex() const { return GetXFIndex(); }

    // Setters, in their fixed order.
    virtual void SetFillColorIndex(std::uint8_t value);
    virtual void SetPatternColorIndex(std::uint8_t value);
    virtual void SetFillColor(std::uint32_t rgb);
    virtual void SetPatternColor(std::uint32_t rgb);
    virtual void SetFillPattern(std::uint8_t value);
    virtual void SetHorizontalAlignment(std::uint8_t value);
    virtual void SetVerticalAlignment(std::uint8_t value);
    virtual void SetMerged(bool value);
    virtual void SetWrapText(bool value);
    virtual void SetRotation(std::uint8_t value);
    virtual void SetIndent(std::uint8_t value);  // above 15 stored as 15
    virtual void SetLocked(bool value);
    // The three border setters store and commit without comparing.
    virtual void SetBorderColorIndex(std::uint8_t side, std::uint8_t value);
    virtual void SetBorderColor(std::uint8_t side, std::uint32_t rgb);
    virtual void SetBorderStyle(std::uint8_t side, std::uint8_t value);
    virtual void SetNumberFormat(std::uint16_t position);
    virtual void SetFontBold(bool value);
    virtual void SetFontItalic(bool value);
    virtual void SetFontUnderline(bool value);
    virtual void SetFontStrikeOut(bool value);
    virtual void SetFontUnderlineStyle(std::uint8_t value);
    virtual void SetFontScript(std::uint8_t value);
    virtual void SetFontName(const std::u16string& value);
    virtual void SetFontColorIndex(std::uint8_t value);
    virtual void SetFontColor(std::uint32_t rgb);  // stores and commits without comparing
    virtual void SetFontSize(std::int16_t value);

    void SetFontIndex(std::uint16_t position);
    // Points the item at another XF record; commits when it differs.
    void SetXFIndex(std::int32_t position);

  protected:
    virtual std::int32_t GetXFIndex() const = 0;
    virtual void PutXFIndex(std::int32_t position) = 0;  // without committing
    virtual void Commit() = 0;
    virtual TFormatContext& Context() const = 0;

  private:
    const std::string& XFRecord() const;
    const std::string& FontRecord() const;
    // Writes one byte of the XF record; false when it already held the value.
    bool ChangeXFByte(std::size_t offset, std::uint8_t value, bool compare = true);
    // Writes one byte of the font record; false when it already held the value.
    bool ChangeFontByte(std::size_t offset, std::uint8_t value, bool compare = true);
    void StoreFont();
};

}  // namespace vorlix
