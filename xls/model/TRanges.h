// A sheet's ranges: merged areas and named ranges, each a list of rectangles.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "xls/model/TRangeRects.h"

namespace vorlix {

class TSheet;

class TRange : public TRangeRects {
  public:
    explicit TRange(TSheet* sheet) : sheet_(sheet) {}
    TSheet* Sheet() const { return sheet_; }
    const std::u16string& Name() const { return name_; }
    // Whether SetName accepts the name (it holds no space).
    static bool IsValidName(const std::u16string& name);
    // EXLSError 11 ("Invalid range name: %s.") for a name that is not valid.
    void SetName(const std::u16string& name);
    bool Merged() const { return merged_; }
    // Marks the range merged and every cell of its rectangles merged (which lists them).
    void Merge();
    // Marks the range merged without touching its cells.
    void MarkMerged() { merged_ = true; }
    // The number of cells its rectangles cover (rectangles upside down count none).
    std::uint64_t CellCount() const;

  private:
    TSheet* sheet_;
    std::u16string name_;
    bool merged_ = false;
};

class TRanges {
  public:
    explicit TRanges(TSheet& sheet) : sheet_(&sheet) {}
    TRange& Add();
    int Count() const { return static_cast<int>(ranges_.size()); }
    // EListError outside 0..Count()-1.
    TRange& Items(int index) const;

  private:
    TSheet* sheet_;
    std::vector<std::unique_ptr<TRange>> ranges_;
};

}  // namespace vorlix
