#include "xls/model/TWorkbookSettings.h"

#include <atomic>

#include "platform/CodePage.h"

namespace vorlix {

namespace {
// The default of new workbooks; atomic, as files may be created on any thread.
std::atomic<char16_t> gFormulaListSeparator{u','};
}  // namespace

char16_t FormulaListSeparator() {
    return gFormulaListSeparator.load(std::memory_order_relaxed);
}

void SetFormulaListSeparator(char16_t separator) {
    gFormulaListSeparator.store(separator, std::memory_order_relaxed);
}

TWorkbookSettings TWorkbookSettings::FromDefaults() {
    TWorkbookSettings s;
    s.CodePage = platform::LibraryCodePage();
    s.ListSeparator = FormulaListSeparator();
    s.Palette = ProcessPalette();
    s.Regional = platform::RegionalSettingsSnapshot();
    return s;
}

}  // namespace vorlix
