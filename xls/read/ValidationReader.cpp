#include "xls/read/ValidationReader.h"

#include "xls/formula/TPtgParser.h"
#include "xls/model/Errors.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

namespace {

using records::TDvRecord;

// Stored type codes in order: any, whole, decimal, list, date, time, text length, custom.
constexpr std::uint8_t kTypes[8] = {vtAny,  vtWholeNumber, vtDecimal,    vtList,
                                    vtDate, vtTime,        vtTextLength, vtCustom};

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

std::unique_ptr<TCellValidation> MakeValidation(const records::TDvRecord& dv, TPtgParser& parser,
                                                bool strict, std::uint16_t sheetIndex) {
    auto v = std::make_unique<TCellValidation>();
    const std::uint32_t options = dv.Options;
    v->Type = kTypes[options & TDvRecord::kTypeMask];
    if (v->Type == vtList && (options & TDvRecord::kExplicitList) != 0) v->Type = vtExplicitList;
    const std::uint32_t errorStyle =
        options >> TDvRecord::kErrorStyleShift & TDvRecord::kErrorStyleMask;
    if (errorStyle < 3) v->ErrorStyle = static_cast<std::uint8_t>(errorStyle);
    v->Operator = static_cast<std::uint8_t>(
        (options >> TDvRecord::kOperatorShift & TDvRecord::kOperatorMask) + 1);
    v->AllowBlank = (options & TDvRecord::kAllowBlank) != 0;
    v->ShowDropDown = (options & TDvRecord::kSuppressDropDown) == 0;
    v->ShowInputMessage = (options & TDvRecord::kShowInput) != 0;
    v->ShowErrorMessage = (options & TDvRecord::kShowError) != 0;

    v->PromptTitle = dv.PromptTitle;
    v->ErrorTitle = dv.ErrorTitle;
    v->Prompt = dv.Prompt;
    v->ErrorText = dv.ErrorText;
    for (const records::TCellArea& a : dv.Areas) {
        v->Areas.AddRect(a.FirstRow, a.LastRow, static_cast<std::uint8_t>(a.FirstCol),
                         static_cast<std::uint8_t>(a.LastCol));
    }
    const std::string_view formula1 = dv.Formula1;
    const std::string_view formula2 = dv.Formula2;

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

std::unique_ptr<TCellValidation> ReadValidation(platform::TByteCursor& body, TPtgParser& parser,
                                                bool strict, std::uint16_t sheetIndex) {
    return MakeValidation(records::DecodeDv(body), parser, strict, sheetIndex);
}

}  // namespace vorlix
