// Turns a cell value and a number format into the text a spreadsheet shows, following
// the settings of the cell's workbook (or, without them, the process-wide defaults).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xls/model/TCellValue.h"
#include "xls/model/TWorkbookSettings.h"

namespace vorlix {

// `formatText` is the format's text, or empty to render the built-in `formatIndex` in its
// regional form. 8-bit texts are in the settings' code page.
std::u16string FormatCellValue(const TCellValue& value, std::uint16_t formatIndex,
                               std::u16string_view formatText, const TWorkbookSettings& settings);
std::u16string FormatCellValue(const TCellValue& value, std::uint16_t formatIndex,
                               std::u16string_view formatText);

// Whether texts show as they are under the format (it has no text section that changes them).
bool FormatShowsTextAsIs(std::uint16_t formatIndex, std::u16string_view formatText,
                         const platform::TRegionalSettingsPtr& settings);
bool FormatShowsTextAsIs(std::uint16_t formatIndex, std::u16string_view formatText);

// A number rounded to 15 significant digits, without trailing zeros, with this decimal
// separator (the process-wide one without); scientific ("1.5E20", "1E-5") outside
// 1E-3..1E15.
std::u16string GeneralNumberText(double value, char16_t point);
std::u16string GeneralNumberText(double value);
// The same text appended as 8-bit characters; false, and nothing appended, when the
// decimal separator is not ASCII.
bool AppendGeneralNumberText(std::string& out, double value, char16_t point);

}  // namespace vorlix
