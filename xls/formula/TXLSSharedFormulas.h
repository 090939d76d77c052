// Formulas that other cells point to: shared formulas (SHRFMLA), array formulas (ARRAY)
// and data tables (TABLE), each with the cell range it covers on its sheet.
//
// A cell of a shared formula stores only a pointer to the range's first cell; the shared
// tokens hold their relative references as offsets, so one entry gives each cell of the
// range its own formula text. Lookups stay fast for many thousands of entries: each entry
// is filed under the blocks of rows it spans, and an entry that spans too many blocks is
// kept in one list of tall entries that every lookup looks through. Hostile files (a
// great many overlapping ranges) cannot make lookups run away: after a budget of
// comparisons for the whole read, lookups find nothing, which leaves the formulas of
// such a file not recognised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vorlix {

// One formula and the range of cells it covers.
struct TSharedFormula {
    std::uint16_t Sheet = 0;  // the sheet whose records held it
    std::uint16_t FirstRow = 0;
    std::uint16_t LastRow = 0;
    std::uint8_t FirstCol = 0;
    std::uint8_t LastCol = 0;
    // The token bytes and the extra data after them (array constants, area lists). The
    // store keeps the whole rest of the record: Tokens() with Extra() appended.
    std::string Body;
    std::uint16_t TokenLength = 0;  // as stored; the tokens are at most the whole body

    bool Contains(std::uint16_t row, std::uint8_t col) const {
        return row >= FirstRow && row <= LastRow && col >= FirstCol && col <= LastCol;
    }
    std::string_view Tokens() const;
    std::string_view Extra() const;
};

// A data table (TABLE): its range, which cells feed it, and how.
struct TDataTable {
    std::uint16_t Sheet = 0;
    std::uint16_t FirstRow = 0;
    std::uint16_t LastRow = 0;
    std::uint8_t FirstCol = 0;
    std::uint8_t LastCol = 0;
    std::uint16_t Flags = 0;  // 0x04: the input cell is a row input; 0x08: two input cells
    std::uint16_t RowInputRow = 0;
    std::uint16_t RowInputCol = 0;
    std::uint16_t ColInputRow = 0;
    std::uint16_t ColInputCol = 0;
};

class TXLSSharedFormulas {
  public:
    TXLSSharedFormulas();

    // A SHRFMLA record body: first row, last row (16 bits each), first and last column
    // (8 bits), a reserved byte, the count of cells that use it, the 16-bit token length,
    // then the tokens and any extra data to the end.
    void AddSharedFormula(std::uint16_t sheet, std::string_view body);
    // The tokens (and extra data) of the first entry added whose sheet is `sheet` and
    // whose range holds the cell; empty when none does.
    std::string_view FindSharedFormula(std::uint16_t sheet, std::uint16_t row,
                                       std::uint8_t col) const;
    // The same entry itself, or nullptr.
    const TSharedFormula* FindShared(std::uint16_t sheet, std::uint16_t row,
                                     std::uint8_t col) const;
    // The first shared formula whose range starts at the cell, or nullptr.
    const TSharedFormula* FindSharedStartingAt(std::uint16_t sheet, std::uint16_t row,
                                               std::uint8_t col) const;

    // An ARRAY record body: the range (first row, last row, first column, last column as
    // 16, 16, 8, 8 bits), 16-bit options, 4 unused bytes, the 16-bit token length, the
    // tokens and the extra data.
    void AddArrayFormula(std::uint16_t sheet, std::string_view body);
    // The first array formula whose range starts at the cell, or nullptr.
    const TSharedFormula* FindArrayFormula(std::uint16_t sheet, std::uint16_t row,
                                           std::uint8_t col) const;

    // A TABLE record body: the range, 16-bit options, then the row and column of the row
    // input cell and of the column input cell (16 bits each).
    void AddTable(std::uint16_t sheet, std::string_view body);
    // The first data table whose range starts at the cell, or nullptr.
    const TDataTable* FindTable(std::uint16_t sheet, std::uint16_t row, std::uint8_t col) const;

    // Entries by their positions in the order added, and the positions of entries found.
    const TSharedFormula& SharedAt(std::uint32_t position) const { return shared_[position]; }
    const TSharedFormula& ArrayAt(std::uint32_t position) const { return arrays_[position]; }
    const TDataTable& TableAt(std::uint32_t position) const { return tables_[position]; }
    std::uint32_t SharedPosition(const TSharedFormula& entry) const {
        return static_cast<std::uint32_t>(&entry - shared_.data());
    }
    std::uint32_t ArrayPosition(const TSharedFormula& entry) const {
        return static_cast<std::uint32_t>(&entry - arrays_.data());
    }
    std::uint32_t TablePosition(const TDataTable& table) const {
        return static_cast<std::uint32_t>(&table - tables_.data());
    }

    std::size_t SharedFormulaCount() const { return shared_.size(); }
    // Changes whenever an entry is added (entries found before may have moved).
    std::size_t Generation() const { return shared_.size() + arrays_.size(); }

  private:
    // Entries are filed under blocks of this many rows.
    static constexpr std::uint32_t kBlockRows = 32;
    // An entry spanning more blocks than this is a tall one.
    static constexpr std::uint32_t kMaxBlocks = 64;

    static std::uint64_t SheetBlock(std::uint16_t sheet, std::uint32_t block) {
        return static_cast<std::uint64_t>(sheet) << 32 | block;
    }
    static std::uint64_t CellKey(std::uint16_t sheet, std::uint16_t row, std::uint8_t col) {
        return static_cast<std::uint64_t>(sheet) << 24 | static_cast<std::uint64_t>(row) << 8 | col;
    }

    std::vector<TSharedFormula> shared_;
    // Positions in shared_, in the order added, by sheet and block of rows.
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> blocks_;
    // Tall entries by sheet, in the order added.
    std::unordered_map<std::uint16_t, std::vector<std::uint32_t>> tall_;
    // The first entry starting at each cell.
    std::unordered_map<std::uint64_t, std::uint32_t> sharedStarts_;
    std::vector<TSharedFormula> arrays_;
    std::unordered_map<std::uint64_t, std::uint32_t> arrayStarts_;
    std::vector<TDataTable> tables_;
    std::unordered_map<std::uint64_t, std::uint32_t> tableStarts_;
    // Entries the lookups may still compare with.
    mutable std::uint64_t budget_;
};

}  // namespace vorlix
