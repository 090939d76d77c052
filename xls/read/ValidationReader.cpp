#include "xls/read/ValidationReader.h"

#include "xls/model/StringHelpers.h"

namespace vorlix {

namespace {

// The option word of a DV record.
constexpr std::uint32_t kTypeMask = 0x07;
constexpr std::uint32_t kExplicitList = 0x80;
constexpr int kErrorStyleShift = 4;
constexpr std::uint32_t kErrorStyleMask = 0x03;
constexpr std::uint32_t kAllowBlank = 0x100;
constexpr std::uint32_t kSuppressDropDown = 0x200;
constexpr std::uint32_t kShowInput = 0x40000;
constexpr std::uint32_t kShowError = 0x80000;
constexpr int kOperatorShift = 20;
constexpr std::uint32_t kOperatorMask = 0x07;

// Stored type codes in order: any, whole, decimal, list, date, time, text length, custom.
constexpr std::uint8_t kTypes[8] = {vtAny,  vtWholeNumber, vtDecimal,    vtList,
                                    vtDate, vtTime,        vtTextLength, vtCustom};

// A 16-bit character count (0: empty, nothing follows), a flag byte, the characters. A
// text that is one zero character counts as empty.
std::u16string ReadDvText(platform::TByteCursor& body) {
    const std::uint16_t count = body.U16();
    if (count == 0) return {};
    const bool wide = (body.U8() & 0x01) != 0;
    const std::string_view raw = body.Bytes(wide ? 2 * std::size_t{count} : count);
    std::u16string text = wide ? BytesToWide(raw) : ExpandLatin1(raw);
    if (!wide && text == std::u16string(1, u'\0')) text.clear();
    return text;
}

// A condition formula: 16-bit token size, 2 unused bytes, the tokens.
std::string_view ReadDvFormula(platform::TByteCursor& body) {
    const std::uint16_t size = body.U16();
    body.Skip(2);
    return body.Bytes(size);
}

}  // namespace

std::unique_ptr<TCellValidation> ReadValidation(platform::TByteCursor& body, bool /*strict*/,
                                                std::uint16_t /*sheetIndex*/) {
    auto v = std::make_unique<TCellValidation>();
    const std::uint32_t options = body.U32();
    v->Type = kTypes[options & kTypeMask];
    if (v->Type == vtList && (options & kExplicitList) != 0) v->Type = vtExplicitList;
    const std::uint32_t errorStyle = options >> kErrorStyleShift & kErrorStyleMask;
    if (errorStyle < 3) v->ErrorStyle = static_cast<std::uint8_t>(errorStyle);
    v->Operator = static_cast<std::uint8_t>((options >> kOperatorShift & kOperatorMask) + 1);
    v->AllowBlank = (options & kAllowBlank) != 0;
    v->ShowDropDown = (options & kSuppressDropDown) == 0;
    v->ShowInputMessage = (options & kShowInput) != 0;
    v->ShowErrorMessage = (options & kShowError) != 0;

    v->PromptTitle = ReadDvText(body);
    v->ErrorTitle = ReadDvText(body);
    v->Prompt = ReadDvText(body);
    v->ErrorText = ReadDvText(body);

    // The condition tokens are kept out of the model: there is no token decoder yet, so
    // each condition reads as not recognised, which leaves its text empty.
    ReadDvFormula(body);
    ReadDvFormula(body);

    const std::uint16_t areas = body.U16();
    for (std::uint32_t i = 0; i < areas && body.Remaining() >= 8; ++i) {
        const std::uint16_t firstRow = body.U16(), lastRow = body.U16();
        const std::uint16_t firstCol = body.U16(), lastCol = body.U16();
        v->Areas.AddRect(firstRow, lastRow, static_cast<std::uint8_t>(firstCol),
                         static_cast<std::uint8_t>(lastCol));
    }
    return v;
}

}  // namespace vorlix
