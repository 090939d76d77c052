// Row and column descriptors: sizes (in the workbook's unit and in screen pixels), hidden
// state, outline level and a default format for new cells. A formatting change on a
// descriptor is applied at once to every existing cell of its row or column.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "xls/model/TCustomXLSItem.h"

namespace vorlix {

class TCell;
class TCustomRowCols;
class TSheet;

// Pixel metrics of the screen (they depend on its resolution: 96 dots per inch or other).
struct TScreenMetrics {
    int DefaultColumnPixels;
    int DefaultRowPixels;
    int DigitPixels;
    int PaddingPixels;
    double NarrowFactor;  // characters per pixel for sizes up to 11 pixels
    double PointsPerPixel;
};
TScreenMetrics ScreenMetrics();

double PixelsToChars(double pixels);
double CharsToPixels(double chars);
// Widths stored in 1/256 of a character, as COLINFO records hold them.
double ColumnUnitsToChars(double units);
double PixelsToPoints(double pixels);
double PointsToPixels(double points);

class TCustomRowCol : public TCustomXLSItem {
  public:
    std::uint8_t OutlineLevel() const { return outlineLevel_; }
    double Size() const { return size_; }
    std::int32_t PixelSize() const { return pixelSize_; }
    bool Hidden() const { return hidden_; }
    std::uint16_t Number() const { return number_; }
    bool Customized() const { return customized_; }
    bool SizeSet() const { return sizeSet_; }
    bool Listed() const { return listed_; }

    // Hides the row or column; a descriptor cannot be made visible again.
    void SetHidden(bool hidden);
    // One level deeper, up to 7.
    void IncreaseOutline();
    void ClearSizeSet() { sizeSet_ = false; }

    // Each setter changes the descriptor, then every listed cell of its row or column.
    void SetFillColorIndex(std::uint8_t value) override;
    void SetPatternColorIndex(std::uint8_t value) override;
    void SetFillColor(std::uint32_t rgb) override;
    void SetPatternColor(std::uint32_t rgb) override;
    void SetFillPattern(std::uint8_t value) override;
    void SetHorizontalAlignment(std::uint8_t value) override;
    void SetVerticalAlignment(std::uint8_t value) override;
    void SetMerged(bool value) override;  // the descriptor only
    void SetWrapText(bool value) override;
    void SetRotation(std::uint8_t value) override;
    void SetIndent(std::uint8_t value) override;
    // SetLocked is not overridden: it changes the descriptor only.
    void SetBorderColorIndex(std::uint8_t side, std::uint8_t value) override;
    void SetBorderColor(std::uint8_t side, std::uint32_t rgb) override;
    void SetBorderStyle(std::uint8_t side, std::uint8_t value) override;
    void SetNumberFormat(std::uint16_t position) override;
    void SetFontBold(bool value) override;
    void SetFontItalic(bool value) override;
    void SetFontUnderline(bool value) override;
    void SetFontStrikeOut(bool value) override;
    void SetFontUnderlineStyle(std::uint8_t value) override;
    void SetFontScript(std::uint8_t value) override;
    void SetFontName(const std::u16string& value) override;
    void SetFontColorIndex(std::uint8_t value) override;
    void SetFontColor(std::uint32_t rgb) override;
    void SetFontSize(std::int16_t value) override;

  protected:
    TCustomRowCol(TCustomRowCols& owner, std::uint16_t number);

    std::int32_t GetXFIndex() const override { return xf_; }
    void PutXFIndex(std::int32_t position) override { xf_ = position; }
    void Commit() override;
    TFormatContext& Context() const override;

    // Sets the size in the descriptor's unit and its pixel size; commits on a change.
    void ChangeSize(double size, std::int32_t pixels);
    // The initial size, without committing.
    void PutSize(double size, std::int32_t pixels) {
        size_ = size;
        pixelSize_ = pixels;
    }
    virtual bool Covers(const TCell& cell) const = 0;

  private:
    friend class TCustomRowCols;
    // Runs `apply` on every listed cell of this row or column, in listing order.
    template <typename Apply>
    void ForEachCell(Apply apply);

    TCustomRowCols* owner_;
    std::int32_t xf_;
    std::uint8_t outlineLevel_ = 0;
    double size_ = 0;
    std::int32_t pixelSize_ = 0;
    bool hidden_ = false;
    std::uint16_t number_;
    bool customized_ = false;
    bool sizeSet_ = false;
    bool listed_ = false;
};

class TRow final : public TCustomRowCol {
  public:
    TRow(TCustomRowCols& owner, std::uint16_t number);
    double Height() const { return Size(); }
    void SetHeight(double points);
    // 0 when hidden.
    std::int32_t PixelHeight() const { return Hidden() ? 0 : PixelSize(); }

  protected:
    bool Covers(const TCell& cell) const override;
};

class TColumn final : public TCustomRowCol {
  public:
    TColumn(TCustomRowCols& owner, std::uint16_t number);
    double Width() const { return Size(); }
    void SetWidth(double chars);
    std::int32_t PixelWidth() const { return Hidden() ? 0 : PixelSize(); }

  protected:
    bool Covers(const TCell& cell) const override;
};

// Descriptors keyed by number. Like cells, a descriptor that was only looked up stays
// pending until something commits on it, and the next lookup of an absent number frees
// it.
class TCustomRowCols {
  public:
    TCustomRowCols(TSheet& sheet, TFormatContext& context);
    virtual ~TCustomRowCols();
    TCustomRowCols(const TCustomRowCols&) = delete;
    TCustomRowCols& operator=(const TCustomRowCols&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Exists(std::uint16_t number) const { return index_.count(number) != 0; }
    int IndexOf(const TCustomRowCol& item) const;
    bool Updating() const { return updating_; }
    void SetUpdating(bool value) { updating_ = value; }
    TSheet& Sheet() const { return *sheet_; }
    TFormatContext& Context() const { return *context_; }

    void Changed(TCustomRowCol& item);

  protected:
    TCustomRowCol* FindItem(std::uint16_t number) const;
    TCustomRowCol* ItemAt(long long index) const;
    TCustomRowCol* GetItem(std::uint16_t number);
    virtual std::unique_ptr<TCustomRowCol> Create(std::uint16_t number) = 0;

  private:
    TSheet* sheet_;
    TFormatContext* context_;
    std::vector<std::unique_ptr<TCustomRowCol>> items_;
    std::unordered_map<std::uint16_t, std::uint32_t> index_;
    std::unique_ptr<TCustomRowCol> pending_;
    bool updating_ = false;
};

class TRows final : public TCustomRowCols {
  public:
    using TCustomRowCols::TCustomRowCols;
    TRow* Find(std::uint16_t number) const { return static_cast<TRow*>(FindItem(number)); }
    TRow* GetRow(std::uint16_t number) { return static_cast<TRow*>(GetItem(number)); }
    TRow* Items(long long index) const { return static_cast<TRow*>(ItemAt(index)); }

  protected:
    std::unique_ptr<TCustomRowCol> Create(std::uint16_t number) override;
};

class TColumns final : public TCustomRowCols {
  public:
    using TCustomRowCols::TCustomRowCols;
    TColumn* Find(std::uint16_t number) const { return static_cast<TColumn*>(FindItem(number)); }
    TColumn* GetColumn(std::uint16_t number) { return static_cast<TColumn*>(GetItem(number)); }
    TColumn* Items(long long index) const { return static_cast<TColumn*>(ItemAt(index)); }

  protected:
    std::unique_ptr<TCustomRowCol> Create(std::uint16_t number) override;
};

}  // namespace vorlix
