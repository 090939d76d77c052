// DV decoded from its body: a data validation's options, texts, condition formulas and
// the areas it covers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteCursor.h"
#include "xls/read/records/SheetRecords.h"

namespace vorlix::records {

using platform::TByteCursor;

// DV: the option word (type, error style, list and blank flags, operator), four texts
// (prompt title, error title, prompt, error text), two condition formulas (16-bit token
// size, 2 unused bytes, the tokens), an area count and the areas. A text is a 16-bit
// character count (0: empty, nothing follows), an option byte (bit 0: 16-bit characters)
// and the characters; it keeps the characters a short body holds, and an 8-bit text of
// one zero character is empty. Only whole areas are read (fewer than announced make the
// body short).
struct TDvRecord {
    std::uint32_t Options = 0;
    std::u16string PromptTitle;
    std::u16string ErrorTitle;
    std::u16string Prompt;
    std::u16string ErrorText;
    std::string_view Formula1;  // views the body
    std::string_view Formula2;
    std::vector<TCellArea> Areas;

    static constexpr std::uint32_t kTypeMask = 0x07;
    static constexpr std::uint32_t kExplicitList = 0x80;
    static constexpr int kErrorStyleShift = 4;
    static constexpr std::uint32_t kErrorStyleMask = 0x03;
    static constexpr std::uint32_t kAllowBlank = 0x100;
    static constexpr std::uint32_t kSuppressDropDown = 0x200;
    static constexpr std::uint32_t kShowInput = 0x40000;
    static constexpr std::uint32_t kShowError = 0x80000;
    static constexpr int kOperatorShift = 20;
    static constexpr std::uint32_t kOperatorMask = 0x07;
};
TDvRecord DecodeDv(TByteCursor& body);

}  // namespace vorlix::records
