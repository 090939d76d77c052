#include "xls/model/FormatTables.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ByteCursor.h"
#include "xls/model/Palette.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

namespace {

constexpr std::uint32_t kRecordBuckets = 16383;

// --- Reading record bodies -------------------------------------------------------------

struct BitField {
    std::uint32_t mask;
    unsigned shift;
};

constexpr std::uint32_t Bits(std::uint32_t value, BitField field) {
    return (value & field.mask) >> field.shift;
}

// --- FONT record body ------------------------------------------------------------------

namespace fontbody {
constexpr std::size_t kHeight = 0;  // twips
constexpr std::size_t kOptions = 2;
constexpr std::size_t kColor = 4;   // colour code
constexpr std::size_t kWeight = 6;  // 100..1000, 400 normal, 700 bold
constexpr std::size_t kScript = 8;
constexpr std::size_t kUnderline = 10;
constexpr std::size_t kNameLength = 14;  // characters
constexpr std::size_t kNameFlags = 15;
constexpr std::size_t kName = 16;

constexpr std::uint32_t kItalic = 0x0002;
constexpr std::uint32_t kStrikeOut = 0x0008;
constexpr std::uint32_t kNameIsWide = 0x01;  // else one byte per character, Latin-1
constexpr std::uint32_t kBoldWeight = 700;
constexpr std::uint32_t kTwipsPerPoint = 20;
}  // namespace fontbody

// --- XF record body --------------------------------------------------------------------

namespace xfbody {
constexpr std::size_t kFont = 0;
constexpr std::size_t kFormat = 2;
constexpr std::size_t kProtection = 4;
constexpr std::size_t kAlignment = 6;
constexpr std::size_t kIndent = 8;
constexpr std::size_t kBorderStyles = 10;
constexpr std::size_t kSideColors = 12;     // left and right border colours
constexpr std::size_t kTopBottomFill = 14;  // top and bottom border colours, fill pattern
constexpr std::size_t kFillColors = 18;

constexpr BitField kLocked{0x0001, 0};
constexpr BitField kStyleXF{0x0004, 2};

constexpr BitField kHAlign{0x0007, 0};
constexpr BitField kWrap{0x0008, 3};
constexpr BitField kVAlign{0x0070, 4};
constexpr BitField kRotation{0xFF00, 8};

constexpr BitField kIndentLevel{0x0F, 0};

// Left, right, top, bottom: the order of the model's border fields.
constexpr BitField kBorderStyle[4] = {{0x000F, 0}, {0x00F0, 4}, {0x0F00, 8}, {0xF000, 12}};

// Two 7-bit colour codes share a 16-bit field (and the low half of the 32-bit one).
constexpr BitField kFirstColor{0x007F, 0};
constexpr BitField kSecondColor{0x3F80, 7};
constexpr BitField kPattern{0xFC000000, 26};

constexpr std::uint8_t kSolidPattern = 1;
}  // namespace xfbody

std::uint8_t Byte(const std::string& record, std::size_t offset) {
    return offset < record.size() ? static_cast<std::uint8_t>(record[offset]) : 0;
}

void SetByte(std::string& record, std::size_t offset, std::uint32_t value) {
    record.at(offset) = static_cast<char>(value & 0xFF);
}

constexpr std::size_t kMaxFontNameLength = fontrec::kNameBytes / 2;

// Rounds height / 20 to the nearest whole point, a half to the even neighbour.
std::int16_t PointsFromTwips(std::uint32_t twips) {
    std::uint32_t points = twips / fontbody::kTwipsPerPoint;
    const std::uint32_t rest = twips % fontbody::kTwipsPerPoint;
    const std::uint32_t half = fontbody::kTwipsPerPoint / 2;
    if (rest > half || (rest == half && points % 2 == 1)) ++points;
    return static_cast<std::int16_t>(points);
}

// The font name of a FONT body; empty when the body does not hold the characters its
// length announces.
std::u16string FontNameFromBody(platform::TByteCursor& body) {
    const std::size_t length = body.U8At(fontbody::kNameLength);
    const bool wide = body.U8At(fontbody::kNameFlags) & fontbody::kNameIsWide;
    body.Seek(fontbody::kName);
    return body.Chars(length, wide);
}

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

// A field the body does not hold whole reads as 0: a truncated record is read as far as
// it goes.
void TVirtualFontTable::DecodeFontRecord(std::string_view bytes) {
    platform::TByteCursor body(bytes);
    std::string& r = EditBuffer();
    r = DefaultRecord();
    RecordSet16(r, fontrec::kSize16,
                static_cast<std::uint16_t>(PointsFromTwips(body.U16At(fontbody::kHeight))));
    const std::uint32_t options = body.U16At(fontbody::kOptions);
    SetByte(r, fontrec::kItalic, (options & fontbody::kItalic) != 0);
    SetByte(r, fontrec::kStrikeOut, (options & fontbody::kStrikeOut) != 0);
    SetByte(r, fontrec::kColor, PaletteIndexFromBIFF(body.U16At(fontbody::kColor)));
    // Only the weight the format writes for "bold" counts; heavier weights do not.
    SetByte(r, fontrec::kBold, body.U16At(fontbody::kWeight) == fontbody::kBoldWeight);
    SetByte(r, fontrec::kScript, body.U16At(fontbody::kScript));
    const std::uint32_t underline = body.U8At(fontbody::kUnderline);
    SetByte(r, fontrec::kUnderlineStyle, underline);
    SetByte(r, fontrec::kUnderline, underline != 0);
    SetFontName(r, FontNameFromBody(body));
}

std::string TVirtualFontTable::DescribeRun(int first, int last, int fontIndex) const {
    if (fontIndex < 0 || fontIndex >= Count()) return {};
    const std::string& r = RecordAt(fontIndex);
    std::string items;
    std::string style;
    if (Byte(r, fontrec::kBold)) style += 'b';
    if (Byte(r, fontrec::kItalic)) style += 'i';
    if (Byte(r, fontrec::kUnderline)) style += 'u';
    if (!style.empty()) items += "style:" + style + ";";
    items += "color:" + Hex6(PaletteColor(Byte(r, fontrec::kColor))) + ";";
    items +=
        "size:" + std::to_string(static_cast<std::int16_t>(RecordGet16(r, fontrec::kSize16))) + ";";
    items += "font:" + WideToAnsi(GetFontName(r)) + ";";
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

void TVirtualXFTable::DecodeXFRecord(std::string_view bytes) {
    platform::TByteCursor body(bytes);
    using namespace xfbody;
    std::string& r = EditBuffer();
    r = DefaultRecord();  // every field is set below; this only fixes the size
    RecordSet16(r, xfrec::kFont, static_cast<std::uint16_t>(body.U16At(kFont)));
    RecordSet16(r, xfrec::kNumberFormat, static_cast<std::uint16_t>(body.U16At(kFormat)));

    const std::uint32_t protection = body.U16At(kProtection);
    SetByte(r, xfrec::kLocked, Bits(protection, kLocked));
    SetByte(r, xfrec::kStyleXF, Bits(protection, kStyleXF));

    const std::uint32_t alignment = body.U16At(kAlignment);
    SetByte(r, xfrec::kHAlign, Bits(alignment, kHAlign));
    SetByte(r, xfrec::kWrap, Bits(alignment, kWrap));
    SetByte(r, xfrec::kVAlign, Bits(alignment, kVAlign));
    SetByte(r, xfrec::kRotation, Bits(alignment, kRotation));

    SetByte(r, xfrec::kMerged, 0);  // set later for the cells of merged areas
    SetByte(r, xfrec::kIndent, Bits(body.U8At(kIndent), kIndentLevel));

    const std::uint32_t styles = body.U16At(kBorderStyles);
    for (std::size_t side = 0; side < 4; ++side) {
        SetByte(r, xfrec::kBorderStyle + side, Bits(styles, kBorderStyle[side]));
    }

    const std::uint32_t sides = body.U16At(kSideColors);
    const std::uint32_t topBottomFill = body.U32At(kTopBottomFill);
    const std::uint32_t borderCodes[4] = {Bits(sides, kFirstColor), Bits(sides, kSecondColor),
                                          Bits(topBottomFill, kFirstColor),
                                          Bits(topBottomFill, kSecondColor)};
    for (std::size_t side = 0; side < 4; ++side) {
        SetByte(r, xfrec::kBorderColor + side, PaletteIndexFromBIFF(borderCodes[side]));
    }

    // The file keeps a pattern's foreground first and its background second. For a solid
    // fill the foreground is what covers the cell, so the model swaps them: its fill colour
    // is always the background a user sees.
    const std::uint32_t pattern = Bits(topBottomFill, kPattern);
    const std::uint32_t fillColors = body.U16At(kFillColors);
    const std::uint8_t foreground = PaletteIndexFromBIFF(Bits(fillColors, kFirstColor));
    const std::uint8_t background = PaletteIndexFromBIFF(Bits(fillColors, kSecondColor));
    const bool solid = pattern == kSolidPattern;
    SetByte(r, xfrec::kPattern, pattern);
    SetByte(r, xfrec::kFillColor, solid ? foreground : background);
    SetByte(r, xfrec::kPatternColor, solid ? background : foreground);
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
