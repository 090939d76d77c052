#include "xls/model/TCells.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "xls/format/TFormatStrings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/StringHelpers.h"
#include "xls/model/TFormulaSource.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TWorkbook.h"

namespace vorlix {

namespace {

// Value kinds a cell can hold, by their position in a cell slot. A date-time is at one of
// three positions, by what it counts (TDateTimeUse).
constexpr std::array<TValueKind, 19> kKinds = {
    vkEmpty,    vkSmallInt, vkInteger,    vkSingle,  vkDouble,   vkCurrency, vkDate,
    vkDate,     vkDate,     vkWideString, vkBoolean, vkShortInt, vkByte,     vkWord,
    vkLongWord, vkInt64,    vkString,     vkUString, vkError};
constexpr std::uint8_t kDatePosition = 6;  // then the time of day and the duration

int KindSlot(TValueKind kind) {
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (kKinds[i] == kind) return static_cast<int>(i);
    }
    return -1;
}

int DateSlot(TDateTimeUse use) {
    return kDatePosition + static_cast<int>(use);
}

bool IsIntegerKind(TValueKind kind) {
    switch (kind) {
        case vkSmallInt:
        case vkInteger:
        case vkShortInt:
        case vkByte:
        case vkWord:
        case vkLongWord:
        case vkInt64:
        case vkCurrency:
        case vkBoolean:
        case vkError:
            return true;
        default:
            return false;
    }
}

// Texts hold at most 65535 characters (UTF-16 units, whatever their 8-bit form takes).
constexpr std::size_t kMaxTextLength = 65535;

bool TooLong(std::string_view ansi, std::uint32_t codePage) {
    return ansi.size() > kMaxTextLength && AnsiToWide(codePage, ansi).size() > kMaxTextLength;
}
constexpr std::uint16_t kDateFormatPosition = 13;  // built-in index 14, "mm/dd/yy"

// Property bag entries are marker, tag, marker, value, marker.
constexpr std::string_view kMarker("\xFF\x00\xFF\x63", 4);
constexpr std::string_view kFormulaTag = "F";
constexpr std::string_view kHyperlinkTag = "H";
constexpr std::string_view kHyperlinkKindTag = "L";
// Where a kept formula stands in a bag that holds other properties too.
constexpr std::string_view kKeptFormulaMark = "=";

constexpr std::uint8_t kHyperlinkColor = 5;  // blue in the default palette

std::uint64_t IndexKey(std::uint16_t row, std::uint8_t col) {
    return (static_cast<std::uint64_t>(row) << 8 | col) + 1;
}

// The row is scattered over the table, its columns follow one another from there: the
// cells of a row, which the file gives left to right, share a few cache lines.
std::size_t IndexHome(std::uint64_t key, std::size_t mask) {
    const std::uint64_t row = (key - 1) >> 8;
    const std::uint64_t col = (key - 1) & 0xFF;
    return static_cast<std::size_t>(((row * 0x9E3779B97F4A7C15ull) >> 32) + col) & mask;
}

std::string BagTagKey(std::string_view tag) {
    std::string key(kMarker);
    key += tag;
    key += kMarker;
    return key;
}

// Writes the entry of a tag: in place of the one there, else at the end; an empty value
// removes it.
void EditBag(std::string& bag, std::string_view tag, std::string_view value) {
    const std::string key = BagTagKey(tag);
    const std::size_t at = bag.find(key);
    if (at == std::string::npos) {
        if (value.empty()) return;
        bag += key;
        bag += value;
        bag += kMarker;
        return;
    }
    const std::size_t start = at + key.size();
    const std::size_t close = bag.find(kMarker, start);
    if (close == std::string::npos) {
        bag.clear();
        return;
    }
    // In place: the value between the tag and its closing marker, or the whole entry.
    if (value.empty()) {
        bag.erase(at, close + kMarker.size() - at);
    } else {
        bag.replace(start, close - start, value);
    }
}

}  // namespace

// The cell handle.

TCellValue TCell::Value() const {
    return owner_->ValueOf(owner_->Resolve(*this));
}

TValueKind TCell::ValueKind() const {
    return kKinds[owner_->Resolve(*this).kind & TCells::kKindMask];
}

void TCell::SetValue(const TCellValue& value) {
    const TValueKind kind = value.Kind();
    if (KindSlot(kind) <= 0) throw EXLSError(xeInvalidCellValue);
    if (kind == vkWideString && value.WideText().size() > kMaxTextLength)
        throw EXLSError(xeInvalidCellValue);
    if ((kind == vkString || kind == vkUString) &&
        TooLong(value.AnsiText(), Context().Settings.CodePage))
        throw EXLSError(xeInvalidCellValue);
    TCells::Slot& slot = owner_->Resolve(*this);
    if (kind == vkDate && kKinds[slot.kind & TCells::kKindMask] != vkDate && NumberFormat() == 0) {
        SetNumberFormat(kDateFormatPosition);
    }
    TCells::Slot& current = owner_->Resolve(*this);
    if (!(owner_->ValueOf(current) == value)) owner_->StoreValue(current, value);
    Commit();
}

std::string TCell::BagRead(std::string_view tag) const {
    const std::string* bag = owner_->BagOf(*this, false);
    if (bag == nullptr) return {};
    const std::string key = BagTagKey(tag);
    const std::size_t at = bag->find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size();
    const std::size_t end = bag->find(kMarker, start);
    if (end == std::string::npos) return {};
    return bag->substr(start, end - start);
}

void TCell::BagWrite(std::string_view tag, std::string_view value) {
    std::string* found = owner_->BagOf(*this, false);
    if (found == nullptr) {
        if (value.empty()) return;
        found = owner_->BagOf(*this, true);
    }
    EditBag(*found, tag, value);
}

bool TCell::HasKeptFormula() const {
    return (owner_->Resolve(*this).kind & TCells::kHasFormula) != 0;
}

std::string TCell::Formula() const {
    if (HasKeptFormula()) return owner_->KeptFormulaText(*this);
    return BagRead(kFormulaTag);
}

// A kept formula stands where its text would: first when it was set before any other
// property, else where a mark in the bag holds its place.
void TCell::SetFormula(const std::string& text) {
    if (Formula() == text) return;
    if (HasKeptFormula()) {
        owner_->DropKept(*this);
        std::string* bag = owner_->BagOf(*this, false);
        if (bag != nullptr && !text.empty() &&
            bag->find(BagTagKey(kFormulaTag)) == std::string::npos) {
            std::string entry;
            EditBag(entry, kFormulaTag, text);
            bag->insert(0, entry);
            Commit();
            return;
        }
    }
    BagWrite(kFormulaTag, text);
    Commit();
}

void TCell::KeepFormula(std::uint64_t formula) {
    if (!HasKeptFormula() && owner_->BagOf(*this, false) != nullptr)
        BagWrite(kFormulaTag, kKeptFormulaMark);
    owner_->Keep(*this, formula);
    Commit();
}

std::u16string TCell::Hyperlink() const {
    return BytesToWide(BagRead(kHyperlinkTag));
}

void TCell::SetHyperlink(const std::u16string& address) {
    const std::string bytes = WideToBytes(address);
    if (BagRead(kHyperlinkTag) == bytes) return;
    BagWrite(kHyperlinkTag, bytes);
    SetFontColorIndex(kHyperlinkColor);
    SetFontUnderline(true);
    if (Value().IsEmpty()) SetValue(TCellValue::Wide(address));
    Commit();
}

void TCell::SetHyperlinkKind(std::uint8_t kind) {
    BagWrite(kHyperlinkKindTag, std::string(1, static_cast<char>(kind)));
}

std::uint8_t TCell::HyperlinkKind() const {
    const std::string kind = BagRead(kHyperlinkKindTag);
    return kind.empty() ? 0 : static_cast<std::uint8_t>(kind[0]);
}

std::string TCell::PropertyBag() const {
    const std::string* found = owner_->BagOf(*this, false);
    std::string bag = found == nullptr ? std::string() : *found;
    if (!HasKeptFormula()) return bag;
    const std::string text = Formula();
    if (bag.find(BagTagKey(kFormulaTag)) == std::string::npos) {
        std::string entry;
        EditBag(entry, kFormulaTag, text);
        return entry + bag;
    }
    EditBag(bag, kFormulaTag, text);
    return bag;
}

std::pair<std::uint16_t, std::u16string_view> TCell::FormatToShow() const {
    const TFormatContext& context = owner_->Context();
    const TFormatStrings& formats = *context.FormatTable;
    const int position = NumberFormat();
    std::uint16_t index = 0;
    std::u16string_view text;
    if (position >= 0 && position < formats.FormatCount()) {
        const TFormatEntry& entry = formats.Entry(position);
        index = entry.Index;
        if (context.LoadState == lsRead || IsCustomFormatIndex(entry.Index)) text = entry.Text;
    }
    return {index, text};
}

std::u16string TCell::DisplayText() const {
    const auto [index, text] = FormatToShow();
    return FormatCellValue(Value(), index, text, Context().Settings);
}

bool TCell::DisplaysTextAsIs() const {
    const auto [index, text] = FormatToShow();
    return FormatShowsTextAsIs(index, text, Context().Settings.Regional);
}

bool TCell::AnsiTextView(std::string_view& text) const {
    const TCells::Slot& slot = owner_->Resolve(*this);
    const TValueKind kind = kKinds[slot.kind & TCells::kKindMask];
    if (kind != vkString && kind != vkUString) return false;
    std::uint32_t length = 0;
    std::memcpy(&length, owner_->ansiArena_.data() + slot.payload, 4);
    text = std::string_view(owner_->ansiArena_).substr(slot.payload + 4, length);
    return true;
}

bool TCell::Pending() const {
    owner_->Resolve(*this);
    return position_ == TCells::kPendingPosition;
}

std::int32_t TCell::GetXFIndex() const {
    return owner_->Resolve(*this).xf;
}

void TCell::PutXFIndex(std::int32_t position) {
    owner_->Resolve(*this).xf = position;
}

void TCell::Commit() {
    owner_->Changed(*this);
}

TFormatContext& TCell::Context() const {
    return owner_->Context();
}

// The collection.

TCells::TCells(TSheet& sheet, TFormatContext& context) : sheet_(&sheet), context_(&context) {}

TCells::~TCells() = default;

std::uint32_t TCells::ResolvePosition(const TCell& cell) const {
    if (cell.position_ != kPendingPosition) return cell.position_;
    if (hasPending_ && pendingGeneration_ == cell.generation_) return kPendingPosition;
    // Another copy of the handle may have committed the cell since.
    const std::int64_t at = Lookup(cell.row_, static_cast<std::uint8_t>(cell.col_));
    if (at >= 0 && CommittedGeneration(static_cast<std::uint32_t>(at)) == cell.generation_) {
        cell.position_ = static_cast<std::uint32_t>(at);
        return cell.position_;
    }
    throw std::logic_error("a pending cell was used after another absent cell was requested");
}

TCells::Slot& TCells::Resolve(const TCell& cell) const {
    auto& self = const_cast<TCells&>(*this);
    const std::uint32_t position = ResolvePosition(cell);
    return position == kPendingPosition ? self.pending_ : self.cells_[position];
}

std::string* TCells::BagOf(const TCell& cell, bool create) {
    const std::uint32_t position = ResolvePosition(cell);
    Slot& slot = position == kPendingPosition ? pending_ : cells_[position];
    if ((slot.kind & kHasBag) == 0) {
        if (!create) return nullptr;
        slot.kind |= kHasBag;
        if (position == kPendingPosition) pendingBag_.clear();
    }
    if (position == kPendingPosition) return &pendingBag_;
    // Found without inserting: cells are read from several threads at once.
    const auto it = bags_.find(position);
    return it != bags_.end() ? &it->second : &bags_[position];
}

void TCells::Keep(const TCell& cell, std::uint64_t formula) {
    const std::uint32_t position = ResolvePosition(cell);
    if (position == kPendingPosition) {
        pending_.kind |= kHasFormula;
        pendingFormula_ = formula;
        return;
    }
    cells_[position].kind |= kHasFormula;
    if (!kept_.empty() && kept_.back().Position >= position) {
        if (kept_.back().Position == position) {
            kept_.back().Formula = formula;
            return;
        }
        keptSorted_ = false;
    }
    kept_.push_back({formula, position});
}

void TCells::DropKept(const TCell& cell) {
    // The entry stays behind, unused.
    Resolve(cell).kind &= static_cast<std::uint8_t>(~kHasFormula);
}

std::string TCells::KeptFormulaText(const TCell& cell) const {
    const std::uint32_t position = ResolvePosition(cell);
    std::uint64_t formula = pendingFormula_;
    if (position != kPendingPosition) {
        const auto before = [](const TKeptFormula& e, std::uint32_t p) { return e.Position < p; };
        if (keptSorted_) {
            formula = std::lower_bound(kept_.begin(), kept_.end(), position, before)->Formula;
        } else {
            formula = std::find_if(kept_.rbegin(), kept_.rend(), [position](const TKeptFormula& e) {
                          return e.Position == position;
                      })->Formula;
        }
    }
    return formulaSource_ ? formulaSource_->FormulaText(formula, cell.row_,
                                                        static_cast<std::uint8_t>(cell.col_))
                          : std::string();
}

void TCells::SetFormulaSource(std::shared_ptr<const TFormulaSource> source) {
    formulaSource_ = std::move(source);
}

std::span<TCells::TKeptFormula> TCells::KeptFormulas() {
    if (!keptSorted_) {
        // The last one kept for a cell counts.
        std::stable_sort(
            kept_.begin(), kept_.end(),
            [](const TKeptFormula& a, const TKeptFormula& b) { return a.Position < b.Position; });
        std::vector<TKeptFormula> unique;
        for (std::size_t i = 0; i < kept_.size(); ++i) {
            if (i + 1 < kept_.size() && kept_[i + 1].Position == kept_[i].Position) continue;
            unique.push_back(kept_[i]);
        }
        kept_ = std::move(unique);
        keptSorted_ = true;
    }
    std::erase_if(kept_, [this](const TKeptFormula& e) {
        return (cells_[e.Position].kind & kHasFormula) == 0;
    });
    return kept_;
}

std::uint32_t TCells::CommittedGeneration(std::uint32_t position) const {
    const auto it = std::lower_bound(committed_.begin(), committed_.end(), position,
                                     [](const std::pair<std::uint32_t, std::uint32_t>& e,
                                        std::uint32_t p) { return e.first < p; });
    return it != committed_.end() && it->first == position ? it->second : 0;
}

std::int64_t TCells::Lookup(std::uint16_t row, std::uint8_t col) const {
    const std::uint64_t key = IndexKey(row, col);
    if (key > maxKey_) return -1;
    if (ordered_) {
        // Keys rise with the position: the last cell first (the one just listed is asked
        // for again as its record is completed), then a binary search.
        std::size_t high = cells_.size();
        const auto keyAt = [this](std::size_t i) { return IndexKey(cells_[i].row, cells_[i].col); };
        if (keyAt(high - 1) == key) return static_cast<std::int64_t>(high - 1);
        std::size_t low = 0;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            const std::uint64_t at = keyAt(mid);
            if (at == key) return static_cast<std::int64_t>(mid);
            if (at < key) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return -1;
    }
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = IndexHome(key, mask);; i = (i + 1) & mask) {
        const std::uint64_t entry = index_[i];
        if (entry == 0) return -1;
        if ((entry >> 32) == key) return static_cast<std::int64_t>(entry & 0xFFFFFFFF);
    }
}

void TCells::BuildIndex() {
    // Kept at most 70% full: room for the cells listed and as many again.
    std::size_t size = 1024;
    while (size * 7 < (cells_.size() + 1) * 2 * 10)
        size *= 2;
    index_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t p = 0; p < cells_.size(); ++p) {
        const std::uint64_t key = IndexKey(cells_[p].row, cells_[p].col);
        std::size_t i = IndexHome(key, mask);
        while (index_[i] != 0)
            i = (i + 1) & mask;
        index_[i] = key << 32 | p;
    }
}

void TCells::IndexInsert(std::uint16_t row, std::uint8_t col, std::uint32_t position) {
    const std::uint64_t key = IndexKey(row, col);
    if (ordered_) {
        if (key > maxKey_) {
            maxKey_ = key;
            return;
        }
        ordered_ = false;
        BuildIndex();
    } else if ((cells_.size() + 1) * 10 > index_.size() * 7) {
        BuildIndex();
    }
    const std::size_t mask = index_.size() - 1;
    std::size_t i = IndexHome(key, mask);
    while (index_[i] != 0)
        i = (i + 1) & mask;
    index_[i] = key << 32 | position;
    if (key > maxKey_) maxKey_ = key;
}

TCell TCells::GetCell(std::uint32_t row, std::uint32_t col) {
    if (col > 255) throw EXLSError(xeInvalidRowOrColumn);
    const auto r = static_cast<std::uint16_t>(row);
    const auto c = static_cast<std::uint8_t>(col);
    if (const std::int64_t at = Lookup(r, c); at >= 0) {
        return TCell(this, static_cast<std::uint32_t>(at), 0, r, c);
    }
    pending_ = Slot{};
    pending_.row = r;
    pending_.col = c;
    pending_.xf = context_->XFTable->DefaultXF();
    pendingGeneration_ = nextGeneration_++;
    hasPending_ = true;
    TCell cell(this, kPendingPosition, pendingGeneration_, r, c);
    if (context_->LoadState != lsReading) InheritRowColumnFormat(cell);
    return cell;
}

std::optional<TCell> TCells::Find(std::uint32_t row, std::uint32_t col) const {
    if (col > 255) return std::nullopt;
    const auto r = static_cast<std::uint16_t>(row);
    const auto c = static_cast<std::uint8_t>(col);
    const std::int64_t at = Lookup(r, c);
    if (at < 0) return std::nullopt;
    return TCell(const_cast<TCells*>(this), static_cast<std::uint32_t>(at), 0, r, c);
}

void TCells::RaiseRange(long long index) {
    throw ERangeError("List index (" + std::to_string(index) + ") out of bounds");
}

int TCells::IndexOf(const TCell& cell) const {
    return static_cast<int>(Lookup(cell.Row(), static_cast<std::uint8_t>(cell.Col())));
}

void TCells::Changed(const TCell& cell) {
    if (updating_ || cell.position_ != kPendingPosition) return;
    if (!hasPending_ || pendingGeneration_ != cell.generation_) {
        ResolvePosition(cell);  // listed through another handle, or discarded (raises)
        return;
    }
    const auto position = static_cast<std::uint32_t>(cells_.size());
    IndexInsert(pending_.row, pending_.col, position);
    cells_.push_back(pending_);
    if ((pending_.kind & kHasBag) != 0) bags_[position] = std::move(pendingBag_);
    if ((pending_.kind & kHasFormula) != 0) kept_.push_back({pendingFormula_, position});
    committed_.emplace_back(position, pendingGeneration_);
    hasPending_ = false;
    cell.position_ = position;
}

TCells::Slot& TCells::LoadSlot(std::uint32_t row, std::uint32_t col) {
    if (col > 255) throw EXLSError(xeInvalidRowOrColumn);
    const auto r = static_cast<std::uint16_t>(row);
    const auto c = static_cast<std::uint8_t>(col);
    if (const std::int64_t at = Lookup(r, c); at >= 0) return cells_[static_cast<std::size_t>(at)];
    // As GetCell would: the pending cell, if any, is discarded.
    hasPending_ = false;
    Slot slot;
    slot.row = r;
    slot.col = c;
    slot.xf = context_->XFTable->DefaultXF();
    const auto position = static_cast<std::uint32_t>(cells_.size());
    IndexInsert(r, c, position);
    cells_.push_back(slot);
    return cells_[position];
}

void TCells::LoadNumber(std::uint32_t row, std::uint32_t col, TValueKind kind, double value,
                        std::int32_t xf) {
    Slot& slot = LoadSlot(row, col);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | KindSlot(kind));
    slot.payload = std::bit_cast<std::uint64_t>(value);
    if (xf >= 0) slot.xf = xf;
}

void TCells::LoadBoolean(std::uint32_t row, std::uint32_t col, bool value, std::int32_t xf) {
    Slot& slot = LoadSlot(row, col);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | KindSlot(vkBoolean));
    slot.payload = value ? 1 : 0;
    if (xf >= 0) slot.xf = xf;
}

void TCells::LoadDateTime(std::uint32_t row, std::uint32_t col, double value, TDateTimeUse use,
                          std::int32_t xf) {
    Slot& slot = LoadSlot(row, col);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | DateSlot(use));
    slot.payload = std::bit_cast<std::uint64_t>(value);
    if (xf >= 0) slot.xf = xf;
}

void TCells::LoadError(std::uint32_t row, std::uint32_t col, std::uint8_t code, std::int32_t xf) {
    Slot& slot = LoadSlot(row, col);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | KindSlot(vkError));
    slot.payload = code;
    if (xf >= 0) slot.xf = xf;
}

std::uint64_t TCells::LoadText(std::uint32_t row, std::uint32_t col, std::string_view ansi,
                               std::int32_t xf) {
    if (TooLong(ansi, context_->Settings.CodePage)) throw EXLSError(xeInvalidCellValue);
    Slot& slot = LoadSlot(row, col);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | KindSlot(vkString));
    slot.payload = StoreAnsi(ansi);
    if (xf >= 0) slot.xf = xf;
    return slot.payload;
}

std::uint64_t TCells::LoadText(std::uint32_t row, std::uint32_t col, std::u16string_view wide,
                               std::int32_t xf) {
    if (wide.size() > kMaxTextLength) throw EXLSError(xeInvalidCellValue);
    Slot& slot = LoadSlot(row, col);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | KindSlot(vkWideString));
    slot.payload = StoreWide(wide);
    if (xf >= 0) slot.xf = xf;
    return slot.payload;
}

void TCells::LoadStoredText(std::uint32_t row, std::uint32_t col, std::uint64_t place, bool wide,
                            std::int32_t xf) {
    // Texts in the arenas are never changed in place, so cells may share one.
    Slot& slot = LoadSlot(row, col);
    slot.kind =
        static_cast<std::uint8_t>((slot.kind & kFlags) | KindSlot(wide ? vkWideString : vkString));
    slot.payload = place;
    if (xf >= 0) slot.xf = xf;
}

void TCells::InheritRowColumnFormat(TCell& cell) {
    const std::int32_t d = context_->XFTable->DefaultXF();
    TRow* row = sheet_->Rows().Find(cell.Row());
    TColumn* column = sheet_->Columns().Find(cell.Col());
    const std::int32_t r = row != nullptr ? row->XFIndex() : d;
    const std::int32_t c = column != nullptr ? column->XFIndex() : d;
    if (r == d) {
        pending_.xf = c;
        return;
    }
    if (c == d) {
        pending_.xf = r;
        return;
    }
    // Both carry formatting: the cell takes each property from the row unless the row
    // leaves it at its default.
    updating_ = true;
    for (std::uint8_t side = 0; side < 4; ++side) {
        const std::uint8_t rc = row->BorderColorIndex(side);
        cell.SetBorderColorIndex(side, rc == 58 ? column->BorderColorIndex(side) : rc);
    }
    for (std::uint8_t side = 0; side < 4; ++side) {
        const std::uint8_t rs = row->BorderStyle(side);
        cell.SetBorderStyle(side, rs != 0 ? rs : column->BorderStyle(side));
    }
    const auto pick = [](auto fromRow, auto fromColumn, auto rowDefault) {
        return fromRow == rowDefault ? fromColumn : fromRow;
    };
    cell.SetFillColorIndex(pick(row->FillColorIndex(), column->FillColorIndex(), 58));
    cell.SetPatternColorIndex(pick(row->PatternColorIndex(), column->PatternColorIndex(), 57));
    cell.SetFillPattern(pick(row->FillPattern(), column->FillPattern(), 0));
    cell.SetNumberFormat(pick(row->NumberFormat(), column->NumberFormat(), 0));
    cell.SetHorizontalAlignment(pick(row->HorizontalAlignment(), column->HorizontalAlignment(), 0));
    cell.SetVerticalAlignment(pick(row->VerticalAlignment(), column->VerticalAlignment(), 0));
    cell.SetWrapText(row->WrapText() || column->WrapText());
    cell.SetRotation(pick(row->Rotation(), column->Rotation(), 0));
    cell.SetIndent(pick(row->Indent(), column->Indent(), 0));
    cell.SetFontBold(row->FontBold() || column->FontBold());
    cell.SetFontItalic(row->FontItalic() || column->FontItalic());
    cell.SetFontUnderline(row->FontUnderline() || column->FontUnderline());
    cell.SetFontStrikeOut(row->FontStrikeOut() || column->FontStrikeOut());
    cell.SetFontUnderlineStyle(pick(row->FontUnderlineStyle(), column->FontUnderlineStyle(), 0));
    cell.SetFontScript(pick(row->FontScript(), column->FontScript(), 0));
    cell.SetFontName(row->FontName() != u"Arial" ? row->FontName() : column->FontName());
    cell.SetFontColorIndex(pick(row->FontColorIndex(), column->FontColorIndex(), 57));
    cell.SetFontSize(pick(row->FontSize(), column->FontSize(), std::int16_t{10}));
    updating_ = false;
}

TCellValue TCells::ValueOf(const Slot& slot) const {
    const TValueKind kind = kKinds[slot.kind & kKindMask];
    switch (kind) {
        case vkEmpty:
            return {};
        case vkWideString: {
            const std::size_t at = slot.payload;
            const std::size_t length = wideArena_[at] | static_cast<std::size_t>(wideArena_[at + 1])
                                                            << 16;
            return TCellValue::Wide(wideArena_.substr(at + 2, length));
        }
        case vkString:
        case vkUString: {
            const std::size_t at = slot.payload;
            std::uint32_t length = 0;
            std::memcpy(&length, ansiArena_.data() + at, 4);
            return TCellValue::Ansi(ansiArena_.substr(at + 4, length), kind);
        }
        case vkBoolean:
            return TCellValue::Boolean(slot.payload != 0);
        case vkCurrency:
            return TCellValue::Currency(static_cast<std::int64_t>(slot.payload));
        case vkSingle:
            return TCellValue::Single(static_cast<float>(std::bit_cast<double>(slot.payload)));
        case vkDouble:
            return TCellValue::Number(std::bit_cast<double>(slot.payload));
        case vkDate:
            return TCellValue::DateTime(
                std::bit_cast<double>(slot.payload),
                static_cast<TDateTimeUse>((slot.kind & kKindMask) - kDatePosition));
        case vkError:
            return TCellValue::Error(static_cast<std::uint8_t>(slot.payload));
        default:
            return TCellValue::Integer(kind, static_cast<std::int64_t>(slot.payload));
    }
}

std::uint64_t TCells::StoreWide(std::u16string_view text) {
    const std::uint64_t at = wideArena_.size();
    wideArena_ += static_cast<char16_t>(text.size() & 0xFFFF);
    wideArena_ += static_cast<char16_t>(text.size() >> 16);
    wideArena_ += text;
    return at;
}

std::uint64_t TCells::StoreAnsi(std::string_view text) {
    const std::uint64_t at = ansiArena_.size();
    const auto length = static_cast<std::uint32_t>(text.size());
    ansiArena_.append(reinterpret_cast<const char*>(&length), 4);
    ansiArena_ += text;
    return at;
}

void TCells::StoreValue(Slot& slot, const TCellValue& value) {
    const TValueKind kind = value.Kind();
    const int position = kind == vkDate ? DateSlot(value.DateTimeUse()) : KindSlot(kind);
    slot.kind = static_cast<std::uint8_t>((slot.kind & kFlags) | position);
    if (kind == vkWideString) {
        slot.payload = StoreWide(value.WideText());
    } else if (kind == vkString || kind == vkUString) {
        slot.payload = StoreAnsi(value.AnsiText());
    } else if (IsIntegerKind(kind)) {
        slot.payload = static_cast<std::uint64_t>(kind == vkBoolean ? (value.AsBoolean() ? 1 : 0)
                                                                    : value.IntegerPart());
    } else {
        slot.payload = std::bit_cast<std::uint64_t>(value.AsDouble());
    }
}

}  // namespace vorlix
