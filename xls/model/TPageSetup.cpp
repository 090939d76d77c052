#include "xls/model/TPageSetup.h"

#include <algorithm>
#include <vector>

#include "xls/model/Errors.h"

namespace vorlix {

TXLSImage& TXLSImages::Add(TEasyStream& source, std::int64_t offset, std::int32_t height,
                           std::int32_t width, std::int32_t topOffset, std::int32_t leftOffset,
                           std::int32_t firstRow, std::int32_t firstCol, std::int64_t size) {
    auto image = std::make_unique<TXLSImage>();
    image->FirstCol = firstCol;
    image->FirstRow = firstRow;
    image->Width = width;
    image->Height = height;
    image->LeftOffset = leftOffset;
    image->TopOffset = topOffset;
    source.SetPosition(offset);
    const std::int64_t take = std::clamp<std::int64_t>(size, 0, source.Remaining());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(take));
    source.Read(bytes.data(), take);
    image->Data.Write(bytes.data(), take);
    image->Data.SetPosition(0);
    items_.push_back(std::move(image));
    return *items_.back();
}

const TXLSImage& TXLSImages::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return *items_[static_cast<std::size_t>(index)];
}

}  // namespace vorlix
