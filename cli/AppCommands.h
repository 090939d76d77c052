// `vorlix-cli info`, `search`, `export` and `images`: the program's file information
// report, text search, export to CSV or tab separated text and the pictures of a workbook,
// without the window.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands/Commands.h"

namespace vorlix::cli {

// Replaces the regional settings with those of an installed locale ("de_DE.UTF-8").
// Returns false after writing the error to `err` when there is no such locale.
bool UseLocale(const std::string& name, std::ostream& err);

// The report's lines, one per output line; with `json` one JSON object instead: the file,
// the number of worksheets and per sheet its number, name and cell count, and with
// `contents` its cells (row, column, the report's text and the value: a number, an ISO 8601
// date-time text, true or false, a text or null; and the formula text without "=" where the
// cell has one, from the complete decoder with `allFormulas`). Returns the exit status: 0,
// or 2 after writing the refusal (see app::CheckWorkbook) or the read error to `err`.
int PrintInformation(const std::string& file, bool contents, bool json, const std::string& password,
                     std::ostream& out, std::ostream& err, bool allFormulas = false);

struct TSearchRequest {
    std::string Text;
    std::string Path;  // a workbook, or a folder whose workbooks are all searched
    bool Match = false;
    bool CaseSensitive = false;
    bool Regex = false;        // Text is an ECMAScript regular expression
    bool WholeWord = false;    // no letter, digit or "_" right before or after a match
    bool Json = false;         // one JSON object per hit
    bool AllFormulas = false;  // the hits' formula texts from the complete decoder
    std::string Password;
    int Jobs = 1;  // workbooks of a folder searched at once (app::TSearchOptions::Jobs)
};

// One line per hit: file, sheet, row, column and contents separated by tabs (bytes below
// 0x20 in them written \xHH), or with Json an object {"file", "sheet", "row", "col",
// "text"} and "formula" (without "=") where the cell has one. The workbooks of a folder that
// could not be searched are named on `err` with the reason ("Skipped FILE: reason"), and the
// search goes on. Returns 0 after hits, 1 after "No match found" on `err`, 3 when some
// workbooks of a folder could not be searched (whether or not the others gave hits), 2
// after an error, a malformed expression, an unsupported or a protected workbook, or when
// no workbook of a folder could be searched.
int PrintSearch(const TSearchRequest& request, std::ostream& out, std::ostream& err);

struct TExportRequest {
    // Workbooks and folders. One workbook alone is exported by itself; anything else is a
    // batch: the workbooks given and those of the folders given (app::ListVisibleWorkbooks).
    std::vector<std::string> Paths;
    // Mode, kind, sheets, text options and the workbooks of a folder written at once; the
    // password, the output stream and the naming are set from the fields below.
    app::TExportSettings Settings;
    // The output name of a single workbook, its files named by app::GivenExportFileName;
    // empty: app::ExportStem of the workbook's name + ".csv"/".txt", beside the workbook (or
    // in OutputFolder); "-": standard output ("One Sheet" and "One File" only). Not for a
    // batch.
    std::string OutputName;
    // Where the files go, made when missing; empty: beside each workbook.
    std::string OutputFolder;
    // The workbooks of the folders' subfolders too, at any depth; with an OutputFolder their
    // files go to the same subfolders under it.
    bool Recursive = false;
    std::string Password;  // a single workbook's (a batch's protected workbooks are skipped)
    std::ostream* Progress = nullptr;  // a line per workbook of a batch, when set
    // Cancels the export when set (see Interrupts.h).
    app::TJobControl* Job = nullptr;
};

// Writes the files and lists their names on `out`, and what was skipped, with the reason,
// on `err` ("Skipped FILE: reason", and the folders that could not be read). Returns 0, 3
// when a batch skipped some workbooks (or could not read a folder) but handled others, or
// 2 after writing the refusal or the error to `err`, or when a batch handled no workbook at
// all. A workbook without cells to write counts as handled. Once the job is cancelled it
// lists the files written whole before, says that the export was cancelled and returns
// InterruptedStatus().
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
