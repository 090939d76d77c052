// `vorlix-cli info`, `search`, `export` and `images`: the program's file information
// report, text search, export to CSV or tab separated text and the pictures of a workbook,
// without the window.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "app/Commands.h"

namespace vorlix::cli {

// Replaces the regional settings with those of an installed locale ("de_DE.UTF-8").
// Returns false after writing the error to `err` when there is no such locale.
bool UseLocale(const std::string& name, std::ostream& err);

// The report's lines, one per output line; with `json` one JSON object instead: the file,
// the number of worksheets and per sheet its number, name and cell count, and with
// `contents` its cells (row, column, the report's text and the value: a number, an ISO 8601
// date-time text, true or false, a text or null). Returns the exit status: 0, or 2 after
// writing the refusal (see app::CheckWorkbook) or the read error to `err`.
int PrintInformation(const std::string& file, bool contents, bool json, const std::string& password,
                     std::ostream& out, std::ostream& err);

struct TSearchRequest {
    std::string Text;
    std::string Path;  // a workbook, or a folder whose workbooks are all searched
    bool Match = false;
    bool CaseSensitive = false;
    bool Regex = false;      // Text is an ECMAScript regular expression
    bool WholeWord = false;  // no letter, digit or "_" right before or after a match
    bool Json = false;       // one JSON object per hit
    std::string Password;
    int Jobs = 1;  // workbooks of a folder searched at once (app::TSearchOptions::Jobs)
};

// One line per hit: file, sheet, row, column and contents separated by tabs (bytes below
// 0x20 in them written \xHH), or with Json an object {"file", "sheet", "row", "col",
// "text"}. Returns 0 after hits, 1 after "No match found" on `err`, 2 after an error, a
// malformed expression, an unsupported or a protected workbook.
int PrintSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err);

struct TExportRequest {
    std::string Path;  // a workbook, or a folder for the batch export
    // Mode, kind, sheets, text options and the workbooks of a folder written at once; the
    // password and the output stream are set from the fields below.
    app::TExportSettings Settings;
    // The output name a single workbook's files derive from; empty: the workbook's name up
    // to its first "." + "CSV" or "TXT", next to the workbook; "-": standard output ("One
    // Sheet" and "One File" only). Not for a folder.
    std::string OutputName;
    std::string Password;  // a single workbook's (a folder's protected workbooks are skipped)
    std::ostream* Progress = nullptr;  // a line per workbook of a folder, when set
    // Cancels the export when set (see Interrupts.h).
    app::TJobControl* Job = nullptr;
};

// Writes the files and lists their names on `out`, and what was skipped, with the reason,
// on `err`. Returns 0, or 2 after writing the refusal or the error to `err`. Once the job
// is cancelled it lists the files written whole before, says that the export was
// cancelled and returns InterruptedStatus().
int RunExport(const TExportRequest& request, std::ostream& out, std::ostream& err);

struct TImagesRequest {
    std::string File;    // the workbook
    std::string Folder;  // where the files go; empty: the current directory
    std::string Password;
};

// Writes the pictures of the workbook's sheets as image files (app::ExtractPictures) and
// lists the files written on `out`, one per line; pictures written as stored or left out
// are listed with the reason on `err`, and "The workbook has no pictures" when there are
// none. Returns 0, or 2 after writing the refusal or the error to `err`.
int RunImages(const TImagesRequest& request, std::ostream& out, std::ostream& err);

// The code page of an encoding name: "UTF-8", "UTF-16LE", "UTF-16BE", a Windows code page
// number alone or as "CP1252" or "windows-1252", "ISO-8859-1" to "ISO-8859-9",
// "ISO-8859-15", "latin1", "US-ASCII", "KOI8-R", "KOI8-U", "Shift_JIS", "GB18030" (letter
// case ignored). False for an unknown name or one that cannot be converted here.
bool ParseEncoding(const std::string& name, std::uint32_t& codePage);

}  // namespace vorlix::cli
