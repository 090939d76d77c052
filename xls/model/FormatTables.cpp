#include "xls/model/FormatTables.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ByteCursor.h"
#include "xls/model/Palette.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

namespace {

constexpr std::uint32_t kRecordBuckets = 16383;

std::uint8_t Byte(const std::string& record, std::size_t offset) {
    return offset < record.size() ? static_cast<std::uint8_t>(record[offset]) : 0;
}

void SetByte(std::string& record, std::size_t offset, std::uint32_t value) {
    record.at(offset) = static_cast<char>(value & 0xFF);
}

constexpr std::size_t kMaxFontNameLength = fontrec::kNameBytes / 2;

std::string Hex6(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(6, '0');
    for (int i = 5; i >= 0; --i, value >>= 4)
        out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return out;
}

}  // namespace

// --- TVirtualDataTable -----------------------------------------------------------------

TVirtualDataTable::TVirtualDataTable() : records_(kRecordBuckets) {}

const std::string& TVirtualDataTable::RecordAt(int index) const {
    return records_.Strings(index);
}

int TVirtualDataTable::IndexOf(const std::string& bytes) {
    return static_cast<int>(records_.IndexOf(bytes));
}

int TVirtualDataTable::FindOrAdd(const std::string& bytes) {
    const int index = IndexOf(bytes);
    return index >= 0 ? index : Append(bytes);
}

int TVirtualDataTable::Append(const std::string& bytes) {
    records_.Add(bytes);
    return Count() - 1;
}

int TVirtualDataTable::Update(const std::string& old, const std::string& newer) {
    return old == newer ? IndexOf(old) : FindOrAdd(newer);
}

void TVirtualDataTable::Clear() {
    records_.Clear();
}

std::uint16_t RecordGet16(const std::string& record, std::size_t offset) {
    return platform::TByteCursor(record).U16At(offset);
}

void RecordSet16(std::string& record, std::size_t offset, std::uint16_t value) {
    if (offset > record.size() || 2 > record.size() - offset) {
        throw std::logic_error("record field outside the record");
    }
    record[offset] = static_cast<char>(value & 0xFF);
    record[offset + 1] = static_cast<char>(value >> 8);
}

// --- TVirtualFontTable -----------------------------------------------------------------

TRecordEditTable::TRecordEditTable(std::string defaultRecord) : default_(std::move(defaultRecord)) {
    Reset();
    Store();
}

std::string& TRecordEditTable::Fetch(int index) {
    editBuffer_ = records_.RecordAt(index);
    lastFetched_ = editBuffer_;
    return editBuffer_;
}

int TRecordEditTable::Store() {
    return records_.Update(lastFetched_, editBuffer_);
}

int TRecordEditTable::AppendBuffer() {
    return records_.Append(editBuffer_);
}

void TRecordEditTable::Reset() {
    editBuffer_ = default_;
    lastFetched_.clear();
}

void TRecordEditTable::Clear() {
    records_.Clear();
    Reset();
}

TVirtualFontTable::TVirtualFontTable() : TRecordEditTable(DefaultRecord()) {}

std::string TVirtualFontTable::DefaultRecord() {
    std::string record(fontrec::kSize, '\0');
    SetByte(record, fontrec::kColor, kAutoForeground);
    RecordSet16(record, fontrec::kSize16, 10);
    SetFontName(record, u"Arial");
    return record;
}

std::string TVirtualFontTable::DescribeRun(int first, int last, int fontIndex) const {
    return DescribeRun(first, last, fontIndex, TWorkbookSettings::FromDefaults());
}

std::string TVirtualFontTable::DescribeRun(int first, int last, int fontIndex,
                                           const TWorkbookSettings& settings) const {
    if (fontIndex < 0 || fontIndex >= Count()) return {};
    const std::string& r = RecordAt(fontIndex);
    std::string items;
    std::string style;
    if (Byte(r, fontrec::kBold)) style += 'b';
    if (Byte(r, fontrec::kItalic)) style += 'i';
    if (Byte(r, fontrec::kUnderline)) style += 'u';
    if (!style.empty()) items += "style:" + style + ";";
    items += "color:" + Hex6(PaletteColor(settings.Palette, Byte(r, fontrec::kColor))) + ";";
    items +=
        "size:" + std::to_string(static_cast<std::int16_t>(RecordGet16(r, fontrec::kSize16))) + ";";
    items += "font:" + WideToAnsi(settings.CodePage, GetFontName(r)) + ";";
    switch (Byte(r, fontrec::kScript)) {
        case 1:
            items += "script:super;";
            break;
        case 2:
            items += "script:sub;";
            break;
        default:
            break;
    }
    return std::to_string(first) + "-" + std::to_string(last) + "(" + items + ");";
}

std::u16string TVirtualFontTable::GetFontName(const std::string& record) {
    std::u16string name;
    for (std::size_t i = 0; i < kMaxFontNameLength; ++i) {
        const char16_t c = static_cast<char16_t>(RecordGet16(record, fontrec::kName + 2 * i));
        if (c == u'\0') break;
        name += c;
    }
    return name;
}

void TVirtualFontTable::SetFontName(std::string& record, std::u16string_view name) {
    // The field holds 100 characters; longer names keep their first 100.
    if (record.size() < fontrec::kSize) record.resize(fontrec::kSize, '\0');
    std::fill_n(record.begin() + fontrec::kName, fontrec::kNameBytes, '\0');
    const std::size_t length = std::min(name.size(), kMaxFontNameLength);
    for (std::size_t i = 0; i < length; ++i)
        RecordSet16(record, fontrec::kName + 2 * i, name[i]);
}

// --- TVirtualXFTable -------------------------------------------------------------------

TVirtualXFTable::TVirtualXFTable() : TRecordEditTable(DefaultRecord()) {}

std::string TVirtualXFTable::DefaultRecord() {
    std::string record(xfrec::kSize, '\0');
    SetByte(record, xfrec::kVAlign, 2);  // bottom
    SetByte(record, xfrec::kPatternColor, kAutoForeground);
    SetByte(record, xfrec::kFillColor, kAutoBackground);
    for (std::size_t side = 0; side < 4; ++side) {
        SetByte(record, xfrec::kBorderColor + side, kAutoBackground);
    }
    SetByte(record, xfrec::kLocked, 1);
    return record;
}

void TVirtualXFTable::LocateDefaultXF() {
    defaultXF_ = IndexOf(Default());
    if (defaultXF_ < 0) {
        Reset();
        defaultXF_ = Store();
    }
}

bool TVirtualXFTable::IsPlainXF(int index) const {
    const std::string& r = RecordAt(index);
    for (std::size_t side = 0; side < 4; ++side) {
        if (Byte(r, xfrec::kBorderStyle + side) != 0) return false;
    }
    return RecordGet16(r, xfrec::kNumberFormat) == 0 && Byte(r, xfrec::kWrap) == 0 &&
           Byte(r, xfrec::kPattern) == 0 && Byte(r, xfrec::kMerged) == 0 &&
           Byte(r, xfrec::kIndent) == 0 && Byte(r, xfrec::kLocked) == 1;
}

}  // namespace vorlix
