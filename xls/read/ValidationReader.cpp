#include "xls/read/ValidationReader.h"

#include "xls/formula/TPtgParser.h"
#include "xls/model/Errors.h"
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

// A condition's text, decoded for the validation's base cell; empty tokens give an
// empty text.
std::string DecodeCondition(TPtgParser& parser, std::string_view tokens, bool strict,
                            std::uint16_t sheet, std::uint16_t row, std::uint8_t col) {
    if (tokens.empty()) return {};
    if (parser.Decode(sheet, row, tokens, 0, col) == TPtgParser::kRecognised) {
        return parser.FormulaText();
    }
    if (strict) throw EXLSError(xeFormulaNotRecognized);
    return {};
}

// A list of explicit values is one string constant: its text without the enclosing
// quotes, a doubled quote inside made single again.
std::string ExplicitList(const std::string& text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return text;
    std::string list;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        list += text[i];
        if (text[i] == '"' && text[i + 1] == '"' && i + 2 < text.size()) ++i;
    }
    return list;
}

}  // namespace

std::unique_ptr<TCellValidation> ReadValidation(platform::TByteCursor& body, TPtgParser& parser,
                                                bool strict, std::uint16_t sheetIndex) {
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

    const std::string_view formula1 = ReadDvFormula(body);
    const std::string_view formula2 = ReadDvFormula(body);

    const std::uint16_t areas = body.U16();
    for (std::uint32_t i = 0; i < areas && body.Remaining() >= 8; ++i) {
        const std::uint16_t firstRow = body.U16(), lastRow = body.U16();
        const std::uint16_t firstCol = body.U16(), lastCol = body.U16();
        v->Areas.AddRect(firstRow, lastRow, static_cast<std::uint8_t>(firstCol),
                         static_cast<std::uint8_t>(lastCol));
    }

    // The conditions' relative references count from the first cell of the first area.
    const TRangeRect base = v->Areas.RectCount() > 0 ? v->Areas.GetRect(0) : TRangeRect{};
    v->Formula1 =
        DecodeCondition(parser, formula1, strict, sheetIndex, base.FirstRow, base.FirstCol);
    v->Formula2 =
        DecodeCondition(parser, formula2, strict, sheetIndex, base.FirstRow, base.FirstCol);
    if (v->Type == vtExplicitList) {
        v->Formula1 = ExplicitList(v->Formula1);
        v->Formula2 = ExplicitList(v->Formula2);
    }
    return v;
}

}  // namespace vorlix
