// The text search over the cells of one workbook or of every workbook of a folder.
#include "app/Commands.h"
#include "platform/CaseFolding.h"
#include "platform/CodePage.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

namespace vorlix::app {

namespace {

std::u16string WideName(const std::filesystem::path& file) {
    return platform::Utf8ToUtf16(file.string());
}

// Reads one workbook and reports its hits, numbered on from `hits`.
void SearchWorkbook(const std::filesystem::path& file, const std::u16string& password,
                    const std::string& searchText, const TSearchOptions& options,
                    const THitSink& onHit, int& hits) {
    TXLSFile xls;
    xls.OpenFile(WideName(file), password);
    const std::string bareName = file.filename().string();
    const TSheets& sheets = xls.Workbook().Sheets();
    for (int i = 0; i < sheets.Count(); ++i) {
        const TCells& cells = sheets.Items(i).Cells();
        for (int k = 0; k < cells.Count(); ++k) {
            const TCell cell = cells.Items(k);
            std::string text = RenderCellText(cell.Value());
            if (!CellMatches(text, searchText, options)) continue;
            ++hits;
            if (onHit)
                onHit({bareName, i + 1, cell.Row() + 1, cell.Col() + 1, std::move(text)}, hits);
        }
    }
}

}  // namespace

std::string SearchTextFor(const std::string& typed, bool caseSensitive) {
    return caseSensitive ? typed : platform::FoldCaseUtf8(typed);
}

bool CellMatches(const std::string& cellText, const std::string& searchText,
                 const TSearchOptions& options) {
    if (options.Matcher) return options.Matcher(cellText);
    const std::string folded =
        options.CaseSensitive ? std::string() : platform::FoldCaseUtf8(cellText);
    const std::string& text = options.CaseSensitive ? cellText : folded;
    if (options.Match) return text == searchText;
    return !searchText.empty() && text.find(searchText) != std::string::npos;
}

TSearchOutcome SearchThisFile(const std::filesystem::path& file, const TSearchOptions& options,
                              const THitSink& onHit) {
    TSearchOutcome outcome;
    const TWorkbookCheck check = CheckWorkbook(file, options.Password);
    // A protected workbook ends the search without any message.
    if (check.State == TWorkbookState::Protected) return outcome;
    if (check.State != TWorkbookState::Readable) {
        outcome.Message = check.Message;
        return outcome;
    }
    SearchWorkbook(file, options.Password, SearchTextFor(options.Text, options.CaseSensitive),
                   options, onHit, outcome.Hits);
    if (outcome.Hits == 0) outcome.Message = kNoMatchFound;
    return outcome;
}

TSearchOutcome SearchDirectory(const std::filesystem::path& folder, const TSearchOptions& options,
                               const THitSink& onHit, const TFileDone& onFileDone) {
    TSearchOutcome outcome;
    const std::string searchText = SearchTextFor(options.Text, options.CaseSensitive);
    for (const std::filesystem::path& file : ListWorkbooks(folder)) {
        const std::u16string name = WideName(file);
        if (GetXLSFileVersion(name) != 0) {
            // A password opens workbooks encrypted with it; other schemes stay skipped.
            const std::int32_t protection = GetXLSFileProtection(name);
            if (protection == 0 || (protection == 10 && !options.Password.empty()))
                SearchWorkbook(file, options.Password, searchText, options, onHit, outcome.Hits);
        }
        if (onFileDone) onFileDone(file.filename().string());
    }
    if (outcome.Hits == 0) outcome.Message = kNoMatchFound;
    return outcome;
}

}  // namespace vorlix::app
