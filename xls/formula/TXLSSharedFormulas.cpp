#include "xls/formula/TXLSSharedFormulas.h"

#include <algorithm>

#include "platform/ByteCursor.h"

namespace vorlix {

namespace {

using platform::TByteCursor;

// Comparisons of entries with looked-up cells for one read: a few hundred times what a
// real workbook with hundreds of thousands of shared formula cells needs.
constexpr std::uint64_t kLookupBudget = std::uint64_t{1} << 28;

// The range at the start of SHRFMLA, ARRAY and TABLE records: rows as 16 bits, columns
// as 8 bits.
void ReadRange(TByteCursor& in, std::uint16_t& firstRow, std::uint16_t& lastRow,
               std::uint8_t& firstCol, std::uint8_t& lastCol) {
    firstRow = in.U16();
    lastRow = in.U16();
    firstCol = in.U8();
    lastCol = in.U8();
}

}  // namespace

std::string_view TSharedFormula::Tokens() const {
    return std::string_view(Body).substr(0, TokenLength);
}

std::string_view TSharedFormula::Extra() const {
    return std::string_view(Body).substr(std::min<std::size_t>(TokenLength, Body.size()));
}

TXLSSharedFormulas::TXLSSharedFormulas() : budget_(kLookupBudget) {}

void TXLSSharedFormulas::AddSharedFormula(std::uint16_t sheet, std::string_view body) {
    TByteCursor in(body);
    TSharedFormula entry;
    entry.Sheet = sheet;
    ReadRange(in, entry.FirstRow, entry.LastRow, entry.FirstCol, entry.LastCol);
    in.Skip(2);  // reserved, count of cells that use it
    entry.TokenLength = in.U16();
    in.Seek(10);
    entry.Body = std::string(in.Rest());

    const auto position = static_cast<std::uint32_t>(shared_.size());
    sharedStarts_.try_emplace(CellKey(sheet, entry.FirstRow, entry.FirstCol), position);
    if (entry.FirstRow <= entry.LastRow) {
        const std::uint32_t first = entry.FirstRow / kBlockRows;
        const std::uint32_t last = entry.LastRow / kBlockRows;
        if (last - first >= kMaxBlocks) {
            tall_[sheet].push_back(position);
        } else {
            for (std::uint32_t block = first; block <= last; ++block)
                blocks_[SheetBlock(sheet, block)].push_back(position);
        }
    }
    shared_.push_back(std::move(entry));
}

const TSharedFormula* TXLSSharedFormulas::FindShared(std::uint16_t sheet, std::uint16_t row,
                                                     std::uint8_t col) const {
    // The first entry added that holds the cell: the first in its block's list, unless a
    // tall entry added earlier holds it too.
    std::uint32_t best = UINT32_MAX;
    const auto look = [&](const std::vector<std::uint32_t>& positions) {
        for (const std::uint32_t position : positions) {
            if (position >= best || budget_ == 0) return;
            --budget_;
            if (shared_[position].Contains(row, col)) {
                best = position;
                return;
            }
        }
    };
    if (const auto it = blocks_.find(SheetBlock(sheet, row / kBlockRows)); it != blocks_.end())
        look(it->second);
    if (const auto it = tall_.find(sheet); it != tall_.end()) look(it->second);
    return best == UINT32_MAX ? nullptr : &shared_[best];
}

std::string_view TXLSSharedFormulas::FindSharedFormula(std::uint16_t sheet, std::uint16_t row,
                                                       std::uint8_t col) const {
    const TSharedFormula* entry = FindShared(sheet, row, col);
    return entry == nullptr ? std::string_view() : std::string_view(entry->Body);
}

const TSharedFormula* TXLSSharedFormulas::FindSharedStartingAt(std::uint16_t sheet,
                                                               std::uint16_t row,
                                                               std::uint8_t col) const {
    const auto it = sharedStarts_.find(CellKey(sheet, row, col));
    return it == sharedStarts_.end() ? nullptr : &shared_[it->second];
}

void TXLSSharedFormulas::AddArrayFormula(std::uint16_t sheet, std::string_view body) {
    TByteCursor in(body);
    TSharedFormula entry;
    entry.Sheet = sheet;
    ReadRange(in, entry.FirstRow, entry.LastRow, entry.FirstCol, entry.LastCol);
    in.Skip(6);  // options, a cache of the formula's place in the calculation chain
    entry.TokenLength = in.U16();
    in.Seek(14);
    entry.Body = std::string(in.Rest());
    arrayStarts_.try_emplace(CellKey(sheet, entry.FirstRow, entry.FirstCol),
                             static_cast<std::uint32_t>(arrays_.size()));
    arrays_.push_back(std::move(entry));
}

const TSharedFormula* TXLSSharedFormulas::FindArrayFormula(std::uint16_t sheet, std::uint16_t row,
                                                           std::uint8_t col) const {
    const auto it = arrayStarts_.find(CellKey(sheet, row, col));
    return it == arrayStarts_.end() ? nullptr : &arrays_[it->second];
}

void TXLSSharedFormulas::AddTable(std::uint16_t sheet, std::string_view body) {
    TByteCursor in(body);
    TDataTable table;
    table.Sheet = sheet;
    ReadRange(in, table.FirstRow, table.LastRow, table.FirstCol, table.LastCol);
    table.Flags = in.U16();
    table.RowInputRow = in.U16();
    table.RowInputCol = in.U16();
    table.ColInputRow = in.U16();
    table.ColInputCol = in.U16();
    tableStarts_.try_emplace(CellKey(sheet, table.FirstRow, table.FirstCol),
                             static_cast<std::uint32_t>(tables_.size()));
    tables_.push_back(table);
}

const TDataTable* TXLSSharedFormulas::FindTable(std::uint16_t sheet, std::uint16_t row,
                                                std::uint8_t col) const {
    const auto it = tableStarts_.find(CellKey(sheet, row, col));
    return it == tableStarts_.end() ? nullptr : &tables_[it->second];
}

}  // namespace vorlix
