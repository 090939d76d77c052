#include "xls/model/TRowCols.h"

#include <cmath>
#include <stdexcept>

#include "platform/ScreenMetrics.h"
#include "xls/model/Errors.h"
#include "xls/model/FormatTables.h"
#include "xls/model/TCells.h"
#include "xls/model/TWorkbook.h"

namespace vorlix {

namespace {

constexpr std::uint8_t kMaxOutline = 7;
constexpr int kStandardDpi = 96;

std::int32_t RoundHalfEven(double v) {
    return static_cast<std::int32_t>(std::nearbyint(v));
}

}  // namespace

TScreenMetrics ScreenMetrics() {
    if (platform::ScreenDpi() == kStandardDpi) return {64, 17, 7, 5, 0.0834, 0.75};
    return {80, 22, 9, 7, 0.0626, 0.6};
}

double PixelsToChars(double pixels) {
    const TScreenMetrics m = ScreenMetrics();
    return pixels > 11 ? (pixels - m.PaddingPixels) / m.DigitPixels : pixels * m.NarrowFactor;
}

double CharsToPixels(double chars) {
    const TScreenMetrics m = ScreenMetrics();
    return chars >= 1 ? chars * m.DigitPixels + m.PaddingPixels : chars / m.NarrowFactor;
}

double ColumnUnitsToChars(double units) {
    return PixelsToChars(units / 256.0 * ScreenMetrics().DigitPixels);
}

double PixelsToPoints(double pixels) {
    return pixels * ScreenMetrics().PointsPerPixel;
}
double PointsToPixels(double points) {
    return points / ScreenMetrics().PointsPerPixel;
}

// Descriptors.

TCustomRowCol::TCustomRowCol(TCustomRowCols& owner, std::uint16_t number)
    : owner_(&owner), xf_(owner.Context().XFTable->DefaultXF()), number_(number) {}

TFormatContext& TCustomRowCol::Context() const {
    return owner_->Context();
}

void TCustomRowCol::Commit() {
    owner_->Changed(*this);
}

void TCustomRowCol::SetHidden(bool hidden) {
    if (!hidden) return;
    hidden_ = true;
    customized_ = true;
    Commit();
}

void TCustomRowCol::IncreaseOutline() {
    if (outlineLevel_ >= kMaxOutline) return;
    ++outlineLevel_;
    customized_ = true;
    Commit();
}

void TCustomRowCol::ChangeSize(double size, std::int32_t pixels) {
    if (size == size_) return;
    size_ = size;
    pixelSize_ = pixels;
    customized_ = true;
    sizeSet_ = true;
    Commit();
}

template <typename Apply>
void TCustomRowCol::ForEachCell(Apply apply) {
    TCells& cells = owner_->Sheet().Cells();
    for (int i = 0; i < cells.Count(); ++i) {
        TCell cell = cells.Items(i);
        if (Covers(cell)) apply(cell);
    }
}

// Each override: the descriptor first, then its cells with the same arguments.
#define VORLIX_PROPAGATE(Setter, Type)                         \
    void TCustomRowCol::Setter(Type value) {                   \
        TCustomXLSItem::Setter(value);                         \
        ForEachCell([&](TCell& cell) { cell.Setter(value); }); \
    }
#define VORLIX_PROPAGATE_SIDE(Setter, Type)                          \
    void TCustomRowCol::Setter(std::uint8_t side, Type value) {      \
        TCustomXLSItem::Setter(side, value);                         \
        ForEachCell([&](TCell& cell) { cell.Setter(side, value); }); \
    }

VORLIX_PROPAGATE(SetFillColorIndex, std::uint8_t)
VORLIX_PROPAGATE(SetPatternColorIndex, std::uint8_t)
VORLIX_PROPAGATE(SetFillColor, std::uint32_t)
VORLIX_PROPAGATE(SetPatternColor, std::uint32_t)
VORLIX_PROPAGATE(SetFillPattern, std::uint8_t)
VORLIX_PROPAGATE(SetHorizontalAlignment, std::uint8_t)
VORLIX_PROPAGATE(SetVerticalAlignment, std::uint8_t)
VORLIX_PROPAGATE(SetWrapText, bool)
VORLIX_PROPAGATE(SetRotation, std::uint8_t)
VORLIX_PROPAGATE(SetIndent, std::uint8_t)
VORLIX_PROPAGATE_SIDE(SetBorderColorIndex, std::uint8_t)
VORLIX_PROPAGATE_SIDE(SetBorderColor, std::uint32_t)
VORLIX_PROPAGATE_SIDE(SetBorderStyle, std::uint8_t)
VORLIX_PROPAGATE(SetNumberFormat, std::uint16_t)
VORLIX_PROPAGATE(SetFontBold, bool)
VORLIX_PROPAGATE(SetFontItalic, bool)
VORLIX_PROPAGATE(SetFontUnderline, bool)
VORLIX_PROPAGATE(SetFontStrikeOut, bool)
VORLIX_PROPAGATE(SetFontUnderlineStyle, std::uint8_t)
VORLIX_PROPAGATE(SetFontScript, std::uint8_t)
VORLIX_PROPAGATE(SetFontName, const std::u16string&)
VORLIX_PROPAGATE(SetFontColorIndex, std::uint8_t)
VORLIX_PROPAGATE(SetFontColor, std::uint32_t)
VORLIX_PROPAGATE(SetFontSize, std::int16_t)

#undef VORLIX_PROPAGATE
#undef VORLIX_PROPAGATE_SIDE

void TCustomRowCol::SetMerged(bool value) {
    TCustomXLSItem::SetMerged(value);
}

TRow::TRow(TCustomRowCols& owner, std::uint16_t number) : TCustomRowCol(owner, number) {
    const int pixels = ScreenMetrics().DefaultRowPixels;
    PutSize(PixelsToPoints(pixels), pixels);
}

void TRow::SetHeight(double points) {
    ChangeSize(points, RoundHalfEven(PointsToPixels(points)));
}

bool TRow::Covers(const TCell& cell) const {
    return cell.Row() == Number();
}

TColumn::TColumn(TCustomRowCols& owner, std::uint16_t number) : TCustomRowCol(owner, number) {
    const int pixels = ScreenMetrics().DefaultColumnPixels;
    PutSize(PixelsToChars(pixels), pixels);
}

void TColumn::SetWidth(double chars) {
    ChangeSize(chars, RoundHalfEven(CharsToPixels(chars)));
}

bool TColumn::Covers(const TCell& cell) const {
    return cell.Col() == Number();
}

// Collections.

TCustomRowCols::TCustomRowCols(TSheet& sheet, TFormatContext& context)
    : sheet_(&sheet), context_(&context) {}

TCustomRowCols::~TCustomRowCols() = default;

TCustomRowCol* TCustomRowCols::FindItem(std::uint16_t number) const {
    const auto it = index_.find(number);
    return it == index_.end() ? nullptr : items_[it->second].get();
}

TCustomRowCol* TCustomRowCols::ItemAt(long long index) const {
    if (index < 0 || index >= static_cast<long long>(items_.size())) {
        throw ERangeError("List index (" + std::to_string(index) + ") out of bounds");
    }
    return items_[static_cast<std::size_t>(index)].get();
}

TCustomRowCol* TCustomRowCols::GetItem(std::uint16_t number) {
    if (TCustomRowCol* listed = FindItem(number)) return listed;
    pending_ = Create(number);
    return pending_.get();
}

int TCustomRowCols::IndexOf(const TCustomRowCol& item) const {
    const auto it = index_.find(item.Number());
    return it == index_.end() ? -1 : static_cast<int>(it->second);
}

void TCustomRowCols::Changed(TCustomRowCol& item) {
    if (updating_ || item.listed_) return;
    if (pending_.get() != &item) {
        // Every descriptor starts as this collection's pending one.
        throw std::logic_error("descriptor committed to a collection that did not create it");
    }
    item.listed_ = true;
    index_.emplace(item.Number(), static_cast<std::uint32_t>(items_.size()));
    items_.push_back(std::move(pending_));
}

std::unique_ptr<TCustomRowCol> TRows::Create(std::uint16_t number) {
    return std::make_unique<TRow>(*this, number);
}

std::unique_ptr<TCustomRowCol> TColumns::Create(std::uint16_t number) {
    return std::make_unique<TColumn>(*this, number);
}

}  // namespace vorlix
