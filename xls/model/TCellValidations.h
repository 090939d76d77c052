// Data validations: the rule, messages and cell areas of each DV record of a sheet.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/TRangeRects.h"

namespace vorlix {

enum TValidationType : std::uint8_t {
    vtAny = 0,
    vtWholeNumber = 1,
    vtDecimal = 2,
    vtList = 3,
    vtExplicitList = 4,
    vtDate = 5,
    vtTime = 6,
    vtTextLength = 7,
    vtCustom = 8,
};

struct TCellValidation {
    std::uint8_t Type = vtAny;
    std::uint8_t Operator = 0;    // 1 between .. 8 less or equal; 0 none
    std::uint8_t ErrorStyle = 0;  // 0 stop, 1 warning, 2 information
    bool ShowInputMessage = true;
    bool ShowErrorMessage = true;
    bool AllowBlank = true;
    bool ShowDropDown = true;
    std::u16string PromptTitle, Prompt, ErrorTitle, ErrorText;
    std::string Formula1, Formula2;
    TRangeRects Areas;
};

class TCellValidations {
  public:
    void Add(std::unique_ptr<TCellValidation> validation) {
        items_.push_back(std::move(validation));
    }
    int Count() const { return static_cast<int>(items_.size()); }
    const TCellValidation& Items(int index) const;

  private:
    std::vector<std::unique_ptr<TCellValidation>> items_;
};

}  // namespace vorlix
