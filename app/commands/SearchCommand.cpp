// The text search over the cells of one workbook or of every workbook of a folder.
#include <algorithm>
#include <exception>

#include "app/commands/CellBlocks.h"
#include "app/commands/Commands.h"
#include "platform/CaseFolding.h"
#include "platform/CodePage.h"
#include "platform/OrderedParallel.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"
#include "xls/write/TXLSWriterTXT.h"

namespace vorlix::app {

namespace {

// How many cells are searched at a time, between two looks at the job control.
constexpr std::size_t kCellsPerBlock = 8192;

// Reads one workbook and reports its hits, numbered on from `hits`.
void SearchWorkbook(const std::filesystem::path& file, TXLSDocument& document,
                    const std::u16string& password, const std::string& searchText,
                    const TSearchOptions& options, const THitSink& onHit, int& hits,
                    TWorkbookStep& step) {
    TXLSFile xls;
    xls.SetFormulaSettings(options.FormulaSettings);
    step.Read(xls, password, &document);
    const std::string bareName = file.filename().string();
    const TSheets& sheets = xls.Workbook().Sheets();
    std::size_t total = 0;
    for (int i = 0; i < sheets.Count(); ++i)
        total += static_cast<std::size_t>(sheets.Items(i).Cells().Count());
    // Blocks of cells are rendered and matched side by side; their hits are reported in
    // order.
    struct THit {
        std::size_t Cell;
        std::string Text;
    };
    std::vector<int> positions;
    for (int i = 0; i < sheets.Count(); ++i)
        positions.push_back(i);
    const std::vector<TCellBlock> blocks = CellBlocks(sheets, positions, kCellsPerBlock);
    std::size_t done = 0;
    platform::OrderedParallel<std::vector<THit>>(
        blocks.size(), platform::WorkThreads(),
        [&](std::size_t b) {
            const TCellBlock& block = blocks[b];
            const TCells& cells = sheets.Items(block.Sheet).Cells();
            std::vector<THit> found;
            std::string text;
            for (std::size_t k = block.First; k < block.End; ++k) {
                text.clear();
                AppendCellText(text, cells.Items(static_cast<long long>(k)));
                if (CellMatches(text, searchText, options)) found.push_back({k, text});
            }
            return found;
        },
        [&](std::size_t b, std::vector<THit>& found) {
            const TCellBlock& block = blocks[b];
            step.Pass(done, total);
            const TCells& cells = sheets.Items(block.Sheet).Cells();
            for (THit& hit : found) {
                const TCell cell = cells.Items(static_cast<long long>(hit.Cell));
                ++hits;
                if (!onHit) continue;
                std::string formula = FormulaFieldText(cell);
                if (!formula.empty()) formula.erase(0, 1);  // its "="
                onHit({bareName, block.Sheet + 1, cell.Row() + 1, cell.Col() + 1,
                       std::move(hit.Text), std::move(formula)},
                      hits);
            }
            done += block.End - block.First;
            return true;
        });
    step.Finish();
}

// Searches one workbook of a folder, its hits numbered on from `hits`. Returns why it could
// not be searched (CheckWorkbook's refusal or the reader's error), or empty.
std::string SearchFolderWorkbook(const std::filesystem::path& file, const std::string& searchText,
                                 const TSearchOptions& options, const THitSink& onHit, int& hits,
                                 TWorkbookStep& step) {
    step.Start();
    try {
        const TWorkbookCheck check = CheckWorkbook(file, options.Password);
        if (check.State != TWorkbookState::Readable) {
            step.Finish();  // skipped: its share of the progress is full
            return check.Reason;
        }
        SearchWorkbook(file, *check.Document, options.Password, searchText, options, onHit, hits,
                       step);
        return {};
    } catch (const Exception& e) {
        step.Finish();
        return FailureReason(e);
    }
}

// What was found in one workbook of a folder, kept until the workbooks before it are
// handed on.
struct TFoundInWorkbook {
    std::vector<TSearchHit> Hits;
    std::string Skip;  // why it could not be searched
    // What ended the workbook's search (TCancelled among them), after the hits before it.
    std::exception_ptr Error;
};

}  // namespace

std::string SearchTextFor(const std::string& typed, bool caseSensitive) {
    return caseSensitive ? typed : platform::FoldCaseUtf8(typed);
}

bool CellMatches(const std::string& cellText, const std::string& searchText,
                 const TSearchOptions& options) {
    if (options.Matcher) return options.Matcher(cellText);
    // Texts without capital ASCII letters or other than ASCII characters (numbers, dates)
    // are their own folding.
    const bool fold =
        !options.CaseSensitive && std::any_of(cellText.begin(), cellText.end(), [](char ch) {
            return (ch >= 'A' && ch <= 'Z') || static_cast<unsigned char>(ch) >= 0x80;
        });
    const std::string folded = fold ? platform::FoldCaseUtf8(cellText) : std::string();
    const std::string& text = fold ? folded : cellText;
    if (options.Match) return text == searchText;
    return !searchText.empty() && text.find(searchText) != std::string::npos;
}

TSearchOutcome SearchThisFile(const std::filesystem::path& file, const TSearchOptions& options,
                              const THitSink& onHit, TJobControl* job) {
    TSearchOutcome outcome;
    const TWorkbookCheck check = CheckWorkbook(file, options.Password);
    // A protected workbook ends the search without any message.
    if (check.State == TWorkbookState::Protected) return outcome;
    if (check.State != TWorkbookState::Readable) {
        outcome.Message = check.Message;
        return outcome;
    }
    TWorkbookStep step(job, file, "Searching");
    try {
        SearchWorkbook(file, *check.Document, options.Password,
                       SearchTextFor(options.Text, options.CaseSensitive), options, onHit,
                       outcome.Hits, step);
    } catch (const TCancelled&) {
        outcome.Cancelled = true;
        return outcome;
    }
    if (outcome.Hits == 0) outcome.Message = kNoMatchFound;
    return outcome;
}

TSearchOutcome SearchDirectory(const std::filesystem::path& folder, const TSearchOptions& options,
                               const THitSink& onHit, const TFileDone& onFileDone,
                               TJobControl* job) {
    TSearchOutcome outcome;
    const std::string searchText = SearchTextFor(options.Text, options.CaseSensitive);
    std::error_code listing;
    const std::vector<std::filesystem::path> files = ListVisibleWorkbooks(folder, &listing);
    if (listing) {
        outcome.Message = FolderUnreadableMessage(folder, listing);
        return outcome;
    }
    // options.Jobs workbooks are searched at once, each on a thread of its own (one at a
    // time on this thread with one job); this thread hands their hits on in the folder's
    // order.
    const int count = static_cast<int>(files.size());
    TJobControl workers(job);
    TFolderProgress progress(job, count);
    platform::TOrderedSteps<TFoundInWorkbook> steps;
    // As one after the other, a cancellation ends the search before a workbook.
    steps.Turn = [job](std::size_t) {
        if (job != nullptr) job->Check();
    };
    steps.Make = [&](std::size_t n) {
        TWorkbookStep step(&workers, files[n], "Searching", static_cast<int>(n + 1), count,
                           &progress);
        TFoundInWorkbook found;
        int hits = 0;
        try {
            found.Skip = SearchFolderWorkbook(
                files[n], searchText, options,
                [&found](const TSearchHit& hit, int) { found.Hits.push_back(hit); }, hits, step);
        } catch (...) {
            found.Error = std::current_exception();
        }
        return found;
    };
    steps.Take = [&](std::size_t n, TFoundInWorkbook& found) {
        for (const TSearchHit& hit : found.Hits) {
            ++outcome.Hits;
            if (onHit) onHit(hit, outcome.Hits);
        }
        if (found.Error) std::rethrow_exception(found.Error);
        if (!found.Skip.empty()) outcome.Skipped.push_back({files[n], std::move(found.Skip)});
        if (onFileDone) onFileDone(files[n].filename().string());
        return true;
    };
    steps.Stop = [&workers] { workers.Cancel(); };
    try {
        platform::OrderedParallel(files.size(), static_cast<unsigned>(std::max(options.Jobs, 1)),
                                  steps);
    } catch (const TCancelled&) {
        outcome.Cancelled = true;
        return outcome;
    }
    if (outcome.Hits == 0) outcome.Message = kNoMatchFound;
    return outcome;
}

std::string SearchSummary(const TSearchOutcome& outcome) {
    std::string text = outcome.Message;
    if (outcome.Skipped.empty()) return text;
    text += text.empty() ? "Not searched:" : "\n\nNot searched:";
    for (const TSkippedFile& skipped : outcome.Skipped)
        text += "\n" + skipped.File.filename().string() + ": " + skipped.Reason;
    return text;
}

}  // namespace vorlix::app
