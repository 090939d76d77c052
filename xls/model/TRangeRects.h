// Lists of cell rectangles, the areas of merged ranges, named ranges, print areas and
// data validations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorlix {

struct TRangeRect {
    std::uint16_t FirstRow = 0;
    std::uint16_t LastRow = 0;
    std::uint8_t FirstCol = 0;
    std::uint8_t LastCol = 0;
    std::uint8_t Spare = 0;  // carried along, never interpreted

    bool operator==(const TRangeRect&) const = default;
};

class TRangeRects {
  public:
    virtual ~TRangeRects() = default;
    int AddRect(std::uint16_t firstRow, std::uint16_t lastRow, std::uint8_t firstCol,
                std::uint8_t lastCol);
    int AddRect(const TRangeRect& rect);
    // Copies of all rectangles of another list, after the existing ones.
    void AddRects(const TRangeRects& other);
    // EListError outside 0..RectCount()-1.
    TRangeRect GetRect(int index) const;
    int RectCount() const { return static_cast<int>(rects_.size()); }

  private:
    std::vector<TRangeRect> rects_;
};

// The letters of a 0-based column number: 0 "A", 25 "Z", 26 "AA", 255 "IV".
std::string ColumnName(int col);

}  // namespace vorlix
