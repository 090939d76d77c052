#include "xls/model/TRangeRects.h"

#include <algorithm>

#include "xls/model/Errors.h"

namespace vorlix {

int TRangeRects::AddRect(std::uint16_t firstRow, std::uint16_t lastRow, std::uint8_t firstCol,
                         std::uint8_t lastCol) {
    return AddRect(TRangeRect{firstRow, lastRow, firstCol, lastCol, 0});
}

int TRangeRects::AddRect(const TRangeRect& rect) {
    rects_.push_back(rect);
    return static_cast<int>(rects_.size()) - 1;
}

void TRangeRects::AddRects(const TRangeRects& other) {
    // A copy first: the other list may be this one.
    const std::vector<TRangeRect> copy = other.rects_;
    rects_.insert(rects_.end(), copy.begin(), copy.end());
}

TRangeRect TRangeRects::GetRect(int index) const {
    if (index < 0 || index >= RectCount()) throw EListError(index);
    return rects_[static_cast<std::size_t>(index)];
}

std::string ColumnName(int col) {
    std::string name;
    for (long n = static_cast<long>(col) + 1; n > 0;) {
        const long r = n % 26;
        if (r > 0) {
            name.insert(name.begin(), static_cast<char>('A' + r - 1));
            n /= 26;
        } else {
            name.insert(name.begin(), 'Z');
            n = n / 26 - 1;
        }
    }
    return name;
}

}  // namespace vorlix
