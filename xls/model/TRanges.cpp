#include "xls/model/TRanges.h"

#include "platform/CodePage.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"

namespace vorlix {

bool TRange::IsValidName(const std::u16string& name) {
    return name.find(u' ') == std::u16string::npos;
}

void TRange::SetName(const std::u16string& name) {
    if (!IsValidName(name))
        throw EXLSError(xeInvalidRangeName,
                        WideToAnsi(sheet_ != nullptr ? sheet_->Workbook().Settings().CodePage
                                                     : platform::LibraryCodePage(),
                                   name));
    if (name != name_) name_ = name;
}

void TRange::Merge() {
    merged_ = true;
    if (sheet_ == nullptr) return;
    TCells& cells = sheet_->Cells();
    for (int i = 0; i < RectCount(); ++i) {
        const TRangeRect r = GetRect(i);
        if (r.LastRow < r.FirstRow) continue;
        for (std::uint32_t row = r.FirstRow; row <= r.LastRow; ++row) {
            for (std::uint32_t col = r.FirstCol; col <= r.LastCol; ++col) {
                cells.GetCell(row, col).SetMerged(true);
            }
        }
    }
}

std::uint64_t TRange::CellCount() const {
    std::uint64_t total = 0;
    for (int i = 0; i < RectCount(); ++i) {
        const TRangeRect r = GetRect(i);
        if (r.LastRow < r.FirstRow || r.LastCol < r.FirstCol) continue;
        total +=
            static_cast<std::uint64_t>(r.LastRow - r.FirstRow + 1) * (r.LastCol - r.FirstCol + 1);
    }
    return total;
}

TRange& TRanges::Add() {
    ranges_.push_back(std::make_unique<TRange>(sheet_));
    return *ranges_.back();
}

TRange& TRanges::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return *ranges_[static_cast<std::size_t>(index)];
}

}  // namespace vorlix
