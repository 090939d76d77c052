// The formula decoder in its common and its complete mode. Input: the sheet, row, column
// and option flags of the formula, then the token bytes (length first), then the data
// after the tokens (array constants).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzLinks.h"
#include "fuzz/FuzzSupport.h"
#include "platform/RegionalSettings.h"
#include "xls/format/ValueFormatter.h"
#include "xls/formula/TPtgParser.h"
#include "xls/model/Errors.h"

using namespace vorlix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TXLSLinkTable& links = fuzz::FuzzLinkTable();
    fuzz::TInputSplitter in(data, size);
    const std::uint16_t sheet = in.U8() % 5;
    const std::uint16_t row = in.U16();
    const std::uint8_t col = in.U8();
    const std::uint16_t options = in.U16();
    const std::string_view tokens = in.Piece();
    const std::string_view extra = in.Rest();
    for (const bool all : {false, true}) {
        TPtgParser parser(links, TFormulaSettings{all}, &GeneralNumberText);
        try {
            const int status = parser.Decode(sheet, row, tokens, options, col, extra);
            if (status != TPtgParser::kRecognised && !parser.FormulaText().empty())
                __builtin_trap();
        } catch (const Exception&) {
        }
    }
    return 0;
}
