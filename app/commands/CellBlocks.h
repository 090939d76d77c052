// The cells of a workbook's sheets cut into blocks, for work spread over threads that must
// still come out in the order of the sheets and their cells.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"

namespace vorlix::app {

// Cells First..End-1 of the sheet at position Sheet.
struct TCellBlock {
    int Sheet = 0;
    std::size_t First = 0;
    std::size_t End = 0;
    bool FirstOfSheet = false;
    bool LastOfSheet = false;
};

// The sheets at `positions`, in that order, in blocks of at most `size` cells; a sheet
// without cells has one empty block.
inline std::vector<TCellBlock> CellBlocks(const TSheets& sheets, const std::vector<int>& positions,
                                          std::size_t size) {
    std::vector<TCellBlock> blocks;
    for (const int sheet : positions) {
        const auto count = static_cast<std::size_t>(sheets.Items(sheet).Cells().Count());
        std::size_t first = 0;
        do {
            const std::size_t end = std::min(count, first + size);
            blocks.push_back(TCellBlock{sheet, first, end, first == 0, end == count});
            first = end;
        } while (first < count);
    }
    return blocks;
}

}  // namespace vorlix::app
