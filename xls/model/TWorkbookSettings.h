// The settings a workbook is read and shown with: the code page of its 8-bit texts, the
// separator of formula arguments, its colours and the regional settings that numbers and
// dates follow.
//
// Each workbook holds its own, seeded from the process-wide defaults (LibraryCodePage,
// the list separator and the palette of the process, RegionalSettingsSnapshot) when it is
// created, and nothing that reads or shows it looks at those defaults again. So workbooks
// with different settings can be read and shown at once on any threads.
#pragma once

#include <cstdint>

#include "platform/RegionalSettings.h"
#include "xls/model/Palette.h"

namespace vorlix {

struct TWorkbookSettings {
    std::uint32_t CodePage = 0;
    char16_t ListSeparator = u',';
    TPalette Palette = DefaultPalette();
    platform::TRegionalSettingsPtr Regional;  // never null

    // The process-wide defaults as they are now.
    static TWorkbookSettings FromDefaults();
    const platform::TRegionalSettings& Region() const { return *Regional; }
};

// The process-wide formula argument separator: the last one a TXLSFile set.
char16_t FormulaListSeparator();
void SetFormulaListSeparator(char16_t separator);

}  // namespace vorlix
