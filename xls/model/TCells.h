// A sheet's cells: values, formats and extra properties (formula text, hyperlink) keyed by
// row and column, enumerated in the order they came into being.
//
// GetCell of an address without a cell gives a pending cell: it joins the collection
// (is counted, enumerated and found) the first time something commits on it, and it is
// discarded when another absent address is requested. A TCell is a small handle; a
// handle to a pending cell that was discarded raises std::logic_error when used, so such
// misuse fails loudly instead of touching another cell.
//
// Cells are held in one contiguous array with an open-addressed index by address, and
// their texts in per-collection arenas, so a cell costs a few dozen bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xls/model/TCellValue.h"
#include "xls/model/TCustomXLSItem.h"

namespace vorlix {

class TCells;
class TFormulaSource;
class TSheet;

// Hyperlink kinds kept with a cell's address.
enum THyperlinkKind : std::uint8_t { hkURL = 1, hkFile = 2, hkNetwork = 3, hkLocation = 4 };

class TCell final : public TCustomXLSItem {
  public:
    std::uint16_t Row() const { return row_; }
    std::uint16_t Col() const { return col_; }

    TCellValue Value() const;
    // The kind of Value(), without making the value.
    TValueKind ValueKind() const;
    // EXLSError 3 for a kind outside 2..8, 10, 11, 16..20, 256, 258 or a text longer than
    // 65535 characters.
    void SetValue(const TCellValue& value);

    // The formula text (8-bit, without "="), empty when the cell has none.
    std::string Formula() const;
    void SetFormula(const std::string& text);
    // A formula read from a file, kept as the number that stands for it to the
    // collection's formula source (TFormulaSource), which spells it out each time
    // Formula() asks. Replaces the cell's formula text, and commits.
    void KeepFormula(std::uint64_t formula);
    std::u16string Hyperlink() const;
    void SetHyperlink(const std::u16string& address);
    void SetHyperlinkKind(std::uint8_t kind);
    // The kind stored with the hyperlink, 0 when none.
    std::uint8_t HyperlinkKind() const;
    // The tagged extra properties as stored; a kept formula shows there as its text would.
    std::string PropertyBag() const;

    // The value as a spreadsheet shows it, through the cell's number format.
    std::u16string DisplayText() const;
    // Whether a text value shows as it is (no text section of the cell's number format
    // changes it).
    bool DisplaysTextAsIs() const;
    // For an 8-bit text value, a view of its text (valid until the collection changes).
    bool AnsiTextView(std::string_view& text) const;

    // True while the cell is pending (looked up, not yet part of the collection).
    bool Pending() const;
    // The settings of the cell's workbook.
    const TWorkbookSettings& Settings() const { return Context().Settings; }

  protected:
    std::int32_t GetXFIndex() const override;
    void PutXFIndex(std::int32_t position) override;
    void Commit() override;
    TFormatContext& Context() const override;

  private:
    friend class TCells;
    TCell(TCells* owner, std::uint32_t position, std::uint32_t generation, std::uint16_t row,
          std::uint16_t col)
        : owner_(owner), position_(position), generation_(generation), row_(row), col_(col) {}

    // The format index and the format text (empty for a built-in shown in its regional
    // form) that DisplayText formats with.
    std::pair<std::uint16_t, std::u16string_view> FormatToShow() const;
    std::string BagRead(std::string_view tag) const;
    void BagWrite(std::string_view tag, std::string_view value);
    bool HasKeptFormula() const;

    TCells* owner_;
    mutable std::uint32_t position_;  // index of a listed cell, or kPendingPosition
    std::uint32_t generation_;        // which creation this handle refers to
    std::uint16_t row_;
    std::uint16_t col_;
};

// A growing array in chunks: the first chunk grows like a vector (a small sheet costs
// little), later ones are allocated whole, so appending never moves more than one chunk
// and a large sheet never holds its cells twice while the array grows.
template <typename T, std::size_t ChunkSize = 16384>
class TChunkedArray {
  public:
    std::size_t size() const { return size_; }
    T& operator[](std::size_t i) { return chunks_[i / ChunkSize][i % ChunkSize]; }
    const T& operator[](std::size_t i) const { return chunks_[i / ChunkSize][i % ChunkSize]; }
    void push_back(const T& value) {
        if (size_ % ChunkSize == 0) {
            chunks_.emplace_back();
            if (size_ > 0) chunks_.back().reserve(ChunkSize);
        }
        chunks_.back().push_back(value);
        ++size_;
    }

  private:
    std::vector<std::vector<T>> chunks_;
    std::size_t size_ = 0;
};

class TCells {
  public:
    TCells(TSheet& sheet, TFormatContext& context);
    TCells(const TCells&) = delete;
    TCells& operator=(const TCells&) = delete;
    ~TCells();

    // The listed cell at the address, or else a pending one. EXLSError 5 for a column
    // above 255; the row is taken as 16-bit.
    TCell GetCell(std::uint32_t row, std::uint32_t col);
    std::optional<TCell> Find(std::uint32_t row, std::uint32_t col) const;
    int Count() const { return static_cast<int>(cells_.size()); }
    // ERangeError outside 0..Count()-1.
    TCell Items(long long index) const {
        if (index < 0 || index >= static_cast<long long>(cells_.size())) RaiseRange(index);
        const Slot& slot = cells_[static_cast<std::size_t>(index)];
        return TCell(const_cast<TCells*>(this), static_cast<std::uint32_t>(index), 0, slot.row,
                     slot.col);
    }
    // Position of a listed cell with the same address, or -1.
    int IndexOf(const TCell& cell) const;
    // Row << 8 | column of the listed cell at a position (0..Count()-1, unchecked).
    std::uint32_t AddressKey(std::size_t position) const {
        const Slot& slot = cells_[position];
        return static_cast<std::uint32_t>(slot.row) << 8 | slot.col;
    }
    // True while the cells' positions follow their addresses, row by row and within a row
    // by column, as a sheet read from a file has them as a rule.
    bool Ordered() const { return ordered_; }

    bool Updating() const { return updating_; }
    void SetUpdating(bool value) { updating_ = value; }

    TSheet& Sheet() const { return *sheet_; }
    TFormatContext& Context() const { return *context_; }

    // Bulk loading while a workbook is read: the cell at the address takes the value and,
    // when `xf` is not negative, that XF position, with the outcome of GetCell, SetValue
    // and SetXFIndex but without building handles. EXLSError 5 for a column above 255.
    void LoadNumber(std::uint32_t row, std::uint32_t col, TValueKind kind, double value,
                    std::int32_t xf);
    void LoadBoolean(std::uint32_t row, std::uint32_t col, bool value, std::int32_t xf);
    void LoadDateTime(std::uint32_t row, std::uint32_t col, double value, TDateTimeUse use,
                      std::int32_t xf);
    void LoadError(std::uint32_t row, std::uint32_t col, std::uint8_t code, std::int32_t xf);
    // The text loaders return where the text is kept, which LoadStoredText takes to give
    // the same text to another cell of this collection without a copy.
    std::uint64_t LoadText(std::uint32_t row, std::uint32_t col, std::string_view ansi,
                           std::int32_t xf);
    std::uint64_t LoadText(std::uint32_t row, std::uint32_t col, std::u16string_view wide,
                           std::int32_t xf);
    void LoadStoredText(std::uint32_t row, std::uint32_t col, std::uint64_t place, bool wide,
                        std::int32_t xf);

    // The formulas the reader kept (TCell::KeepFormula), and where their texts come from:
    // one source for all sheets of a workbook.
    struct TKeptFormula {
        std::uint64_t Formula;
        std::uint32_t Position;  // of the cell
    };
    void SetFormulaSource(std::shared_ptr<const TFormulaSource> source);
    // The kept formulas, one per cell that still has one, in the order of their cells; the
    // reader may change what each stands for.
    std::span<TKeptFormula> KeptFormulas();

    static constexpr std::uint32_t kPendingPosition = 0xFFFFFFFF;

  private:
    friend class TCell;

    // One cell in 16 bytes. Numbers live in `payload`; a text's payload is its offset in an
    // arena. Positions are never reused, so a listed handle needs nothing more to stay valid;
    // the few cells with formulas or hyperlinks keep them in `bags_`.
    struct Slot {
        std::uint64_t payload = 0;
        std::int32_t xf = 0;
        std::uint16_t row = 0;
        std::uint8_t col = 0;
        // Position in the table of value kinds, kHasBag set with a bag, kHasFormula with a
        // kept formula.
        std::uint8_t kind = 0;
    };
    static constexpr std::uint8_t kHasBag = 0x80;
    static constexpr std::uint8_t kHasFormula = 0x40;
    static constexpr std::uint8_t kFlags = kHasBag | kHasFormula;
    static constexpr std::uint8_t kKindMask = 0x3F;

    [[noreturn]] static void RaiseRange(long long index);
    Slot& Resolve(const TCell& cell) const;
    // The listed position of a handle's cell, or kPendingPosition for the pending cell
    // (raises for a discarded one).
    std::uint32_t ResolvePosition(const TCell& cell) const;
    // The property bag of a handle's cell; nullptr when it has none and `create` is false.
    std::string* BagOf(const TCell& cell, bool create);
    void Keep(const TCell& cell, std::uint64_t formula);
    void DropKept(const TCell& cell);
    std::string KeptFormulaText(const TCell& cell) const;
    // The generation a listed cell was created with through a pending handle, 0 for cells
    // loaded in bulk.
    std::uint32_t CommittedGeneration(std::uint32_t position) const;
    void Changed(const TCell& cell);
    std::int64_t Lookup(std::uint16_t row, std::uint8_t col) const;
    void IndexInsert(std::uint16_t row, std::uint8_t col, std::uint32_t position);
    void BuildIndex();
    void InheritRowColumnFormat(TCell& cell);

    TCellValue ValueOf(const Slot& slot) const;
    void StoreValue(Slot& slot, const TCellValue& value);
    std::uint64_t StoreAnsi(std::string_view text);
    std::uint64_t StoreWide(std::u16string_view text);
    // The listed slot at an address, appended (with the default XF) when absent.
    Slot& LoadSlot(std::uint32_t row, std::uint32_t col);

    TSheet* sheet_;
    TFormatContext* context_;
    TChunkedArray<Slot> cells_;
    Slot pending_;
    std::string pendingBag_;
    std::uint32_t pendingGeneration_ = 0;
    bool hasPending_ = false;
    std::uint32_t nextGeneration_ = 1;
    bool updating_ = false;
    // Cells arrive in address order as a rule: while every listed cell's address is above
    // the one before, a binary search over the cells finds them and no index is kept. The
    // first cell out of order builds the open-addressed index: (row << 8 | col) + 1 in the
    // key half, position in the other; 0 marks a free entry.
    bool ordered_ = true;
    std::vector<std::uint64_t> index_;
    // The largest key listed so far: a larger key cannot be listed.
    std::uint64_t maxKey_ = 0;
    // (position, generation) of the cells listed through a pending handle, by position.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> committed_;
    // Text arenas: each text is a 32-bit length followed by its units.
    std::u16string wideArena_;
    std::string ansiArena_;
    std::unordered_map<std::uint32_t, std::string> bags_;
    // Kept formulas by position: rising as the reader lists cells as a rule, else in the
    // order kept, the last one of a cell counting.
    std::vector<TKeptFormula> kept_;
    bool keptSorted_ = true;
    std::uint64_t pendingFormula_ = 0;
    std::shared_ptr<const TFormulaSource> formulaSource_;
};

}  // namespace vorlix
