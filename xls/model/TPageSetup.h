// A sheet's printing layout and its pictures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/TEasyStream.h"
#include "xls/model/TRanges.h"

namespace vorlix {

class TSheet;

struct TPageSetup {
    explicit TPageSetup(TSheet* sheet) : Sheet(sheet), PrintArea(sheet) {}

    TSheet* Sheet;
    TRange PrintArea;
    std::int32_t TitleFirstRow = -1;
    std::int32_t TitleLastRow = -1;
    std::int32_t TitleFirstCol = -1;
    std::int32_t TitleLastCol = -1;
    std::uint8_t PaperSize = 0;
    bool UseScale = true;
    std::int16_t Scale = 100;
    std::int16_t FirstPageNumber = -1;
    std::int16_t FitWidth = 1;
    std::int16_t FitHeight = 1;
    bool LeftToRight = false;
    bool Portrait = true;
    double HeaderMargin = 0.5;
    double FooterMargin = 0.5;
    double TopMargin = 1.0;
    double BottomMargin = 1.0;
    double LeftMargin = 0.8;
    double RightMargin = 0.8;
    bool BlackAndWhite = false;
    bool Draft = false;
    bool PrintGridLines = false;
    bool PrintHeadings = false;
    bool CenterHorizontally = false;
    bool CenterVertically = false;
    std::u16string HeaderCenter, HeaderRight, HeaderLeft;
    std::u16string FooterCenter, FooterRight, FooterLeft;
    bool SummaryRowsAbove = false;
    bool SummaryColumnsLeft = false;
};

struct TXLSImage {
    std::string Name;
    std::int32_t FirstCol = 0;
    std::int32_t FirstRow = 0;
    std::int32_t Reserved1 = -1;
    std::int32_t Reserved2 = -1;
    std::int32_t Width = 1;
    std::int32_t Height = 1;
    std::int32_t LeftOffset = 0;
    std::int32_t TopOffset = 0;
    // The picture store's type of the picture: 2 EMF, 3 WMF, 4 PICT, 5 JPEG, 6 PNG, 7 DIB
    // (0 unknown). The bytes of Data depend on it.
    std::uint8_t BlipType = 0;
    TEasyStream Data;  // the picture's bytes as stored in the workbook
};

class TXLSImages {
  public:
    // Copies `size` bytes of `source` from `offset` into a new picture placed as given.
    TXLSImage& Add(TEasyStream& source, std::int64_t offset, std::int32_t height,
                   std::int32_t width, std::int32_t topOffset, std::int32_t leftOffset,
                   std::int32_t firstRow, std::int32_t firstCol, std::int64_t size);
    int Count() const { return static_cast<int>(items_.size()); }
    // EListError outside 0..Count()-1.
    const TXLSImage& Items(int index) const;

  private:
    std::vector<std::unique_ptr<TXLSImage>> items_;
};

}  // namespace vorlix
