// `vorlix-cli info`, `search` and `export`: the program's file information report, text
// search and export to CSV or tab separated text, without the window.
#pragma once

#include <ostream>
#include <string>

#include "app/Commands.h"

namespace vorlix::cli {

// Replaces the regional settings with those of an installed locale ("de_DE.UTF-8").
// Returns false after writing the error to `err` when there is no such locale.
bool UseLocale(const std::string& name, std::ostream& err);

// The report's lines, one per output line. Returns the exit status: 0, or 2 after writing
// the refusal (unsupported, protected) or the read error to `err`.
int PrintInformation(const std::string& file, bool contents, const std::string& password,
                     std::ostream& out, std::ostream& err);

struct TSearchRequest {
    std::string Text;
    std::string Path;  // a workbook, or a folder whose workbooks are all searched
    bool Match = false;
    bool CaseSensitive = false;
    std::string Password;
};

// One line per hit: file, sheet, row, column and contents separated by tabs (bytes below
// 0x20 in them written \xHH). Returns 0 after hits, 1 after "No match found" on `err`, 2
// after an error, an unsupported or a protected workbook.
int PrintSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err);

struct TExportRequest {
    std::string Path;  // a workbook, or a folder for the batch export
    app::TExportMode Mode = app::TExportMode::OneSheet;
    TTextFileKind Kind = tkCSV;
    // The output name a single workbook's files derive from; empty: the workbook's name up
    // to its first "." + "CSV" or "TXT", next to the workbook. Not for a folder.
    std::string OutputName;
    std::string Password;  // a single workbook's (a folder's protected workbooks are skipped)
    std::ostream* Progress = nullptr;  // a line per workbook of a folder, when set
};

// Writes the files and lists their names on `out`. Returns 0, or 2 after writing the
// refusal or the error to `err`.
int RunExport(const TExportRequest& request, std::ostream& out, std::ostream& err);

}  // namespace vorlix::cli
