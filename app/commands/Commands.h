// The program's commands without any widget: the file information report, the text search
// over one workbook or a folder, the export to comma or tab separated text, and the
// pictures of a workbook written as image files.
// The window, the command line and the tests all call these.
//
// Texts are UTF-8 (the system code page). Errors raised while a workbook is read are not
// caught here: they end the command and reach the caller, after the command has freed
// its workbook.
//
// The long commands take an optional TJobControl (JobControl.h): they report their progress
// to it and check it for a cancellation while they read a workbook, between the cells they
// go through and between the workbooks of a folder. A cancelled command frees what it made
// and returns its outcome marked as cancelled, with what it did until then.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands/FolderListing.h"
#include "app/commands/JobControl.h"
#include "xls/model/TCellValue.h"
#include "xls/model/TFormulaSettings.h"
#include "xls/model/TWorkbook.h"
#include "xls/model/TWorkbookSettings.h"
#include "xls/write/TXLSWriterTXT.h"

namespace vorlix::app {

// Messages the commands give, word for word.
inline constexpr const char* kApplicationTitle = "VRX Excel Utilities";
inline constexpr const char* kNoExcelFiles = "No Excel files in this directory";
inline constexpr const char* kOnlyExcel97 = "Only Excel 97 - 2003 files are supported at this time";
inline constexpr const char* kPasswordProtected = "This File is Password Protected";
inline constexpr const char* kNoMatchFound = "No match found";
inline constexpr const char* kExportDone = "        Done.  File(s) Created.          ";
inline constexpr const char* kBatchExportDone = "  Done.  All Files have Been Output  ";
inline constexpr const char* kChooseWorkbook =
    "Select the Excel file to export in the file list, or type its name in File:";
inline constexpr const char* kNoOutputName = "No output file name was given";
inline constexpr const char* kNoCellsToWrite = "No file was created: there are no cells to write";
inline constexpr const char* kExportCancelled = "The export was cancelled.";
// "File not found: " and the file's name.
std::string FileNotFoundMessage(const std::string& file);
// "Cannot read folder FOLDER: reason", for a folder that could not be listed.
std::string FolderUnreadableMessage(const std::filesystem::path& folder, std::error_code error);

// A cell value as the report, the search and the one-file export show it: numbers in the
// general form with 15 significant digits, date-times as "dd.mm.yyyy hh:nn:ss.zzz", errors
// as a spreadsheet shows them ("#DIV/0!"), texts as they are, anything else empty; the
// separators and the code page are the cell's workbook's.
std::string RenderCellText(const TCell& cell);
// The same for a value, with the process-wide settings.
std::string RenderCellText(const TCellValue& value);
// The same text appended to `out`.
void AppendCellText(std::string& out, const TCellValue& value, const TWorkbookSettings& settings);
void AppendCellText(std::string& out, const TCell& cell);

// A workbook of a folder (or a file of it) that a command passed over, and why.
struct TSkippedFile {
    std::filesystem::path File;
    std::string Reason;
    // The workbook was read and has nothing to write (an export's "there are no cells to
    // write"): nothing of it is missing.
    bool NothingToWrite = false;
};

// --- Checks on the files read and written ------------------------------------------------

enum class TWorkbookState { Readable, NotFound, Damaged, Unsupported, Protected };

struct TWorkbookCheck {
    TWorkbookState State = TWorkbookState::Readable;
    // Why it cannot be read: the message that names the file and the reason (missing, a
    // folder, permission denied, empty, a text or HTML file, cut short, damaged; see
    // DocumentFailureMessage), kOnlyExcel97 for a compound document without a workbook
    // stream and for other kinds of file, or kPasswordProtected; empty when readable.
    std::string Message;
    // The same without the file's name, for lists that name the file before it.
    std::string Reason;
    // For a file of another program's format: what it is ("xlsx", "ods", "opendocument",
    // "zip", "xml_spreadsheet", "html", "csv", "text"); empty otherwise.
    std::string Kind;
    // The file as the checks opened it, for the read that follows (readable files only).
    std::shared_ptr<TXLSDocument> Document;
};

// Why reading a workbook failed, without the file's name, for lists that name the file
// before it: the reason of a compound-document failure, else the error's message.
std::string FailureReason(const std::exception& error);

// What the commands check before they read a workbook. With a password, a workbook
// encrypted with a user password passes (reading it tells whether the password is right).
TWorkbookCheck CheckWorkbook(const std::filesystem::path& file,
                             const std::u16string& password = u"");
// True when the file starts with the compound-document signature.
bool IsCompoundDocument(const std::filesystem::path& file);
// Why text must not be written to `target`, or empty: it is an existing ".xls" file (any
// letter case) or compound document, so writing would destroy a workbook or office file.
std::string OutputRefusal(const std::filesystem::path& target);

// --- File information report -------------------------------------------------------------

struct TReport {
    std::vector<std::string> Lines;
    // When not empty the workbook was refused (see CheckWorkbook): show this message; there
    // are no lines.
    std::string Message;
    // What the read worked around in a damaged workbook (TWorkbook::Warnings).
    std::vector<std::string> Warnings;
    bool Cancelled = false;
};

// Takes the lines of a report as they are made, a batch at a time.
using TLineSink = std::function<void(std::vector<std::string>&& lines)>;

// The report of one workbook. A non-empty password opens an encrypted workbook instead of
// refusing it as protected. With `onLines` the lines go there instead of into the report:
// the summary as soon as the workbook is read, then the contents in batches.
TReport FileInformation(const std::filesystem::path& file, bool showContents,
                        const std::u16string& password = u"", TJobControl* job = nullptr,
                        const TLineSink& onLines = {});

// --- Text search ------------------------------------------------------------------------

struct TSearchOptions {
    std::string Text;    // as typed
    bool Match = false;  // whole text, else "includes"
    bool CaseSensitive = false;
    std::u16string Password;
    // When set, it decides whether a cell's rendered text matches, in place of the test of
    // CellMatches (see PatternMatcher). A folder search with more than one job calls it
    // from several threads at once.
    std::function<bool(const std::string& cellText)> Matcher;
    // How many workbooks of a folder are read and searched at once (see SearchDirectory);
    // 1 searches them one after the other. DefaultJobs() (JobControl.h) gives one per core.
    int Jobs = 1;
    // The decoder that gives the hits' formula texts.
    TFormulaSettings FormulaSettings;
};

struct TSearchHit {
    std::string File;     // bare file name
    int Sheet = 0;        // 1-based
    int Row = 0;          // 1-based
    int Col = 0;          // 1-based
    std::string Text;     // the cell's text as rendered
    std::string Formula;  // the cell's formula text without "=", empty when it has none
};

// The text searched for: as typed when case-sensitive, else with every letter folded by its
// Unicode case (so that "MÜLLER", "Müller" and "müller" search alike).
std::string SearchTextFor(const std::string& typed, bool caseSensitive);
// The match test of one rendered cell text against the searched text.
bool CellMatches(const std::string& cellText, const std::string& searchText,
                 const TSearchOptions& options);

// A matcher for regular expressions and whole words. `pattern` is an ECMAScript regular
// expression when `regex`, else a text found as it is; it must cover the whole cell text
// with `match`, else it may lie anywhere in it. With `wholeWord` only a match that no
// letter, digit or "_" touches on either side counts. Letters compare by their Unicode
// case unless `caseSensitive`. Raises std::regex_error for a malformed expression.
std::function<bool(const std::string& cellText)> PatternMatcher(const std::string& pattern,
                                                                bool regex, bool wholeWord,
                                                                bool match, bool caseSensitive);

// Called for hit number k (counted from 1 across the whole run).
using THitSink = std::function<void(const TSearchHit& hit, int k)>;
// Called after each workbook of a folder search (for progress).
using TFileDone = std::function<void(const std::string& bareName)>;

struct TSearchOutcome {
    int Hits = 0;
    // The message to show at the end, if any: kOnlyExcel97 for an unsupported workbook,
    // kNoMatchFound when nothing matched, why a folder could not be read, empty for a
    // protected workbook, after hits or once cancelled.
    std::string Message;
    bool Cancelled = false;
    // The workbooks of a folder that could not be searched, with the reason, in the
    // folder's order.
    std::vector<TSkippedFile> Skipped;
};

// A non-empty password opens an encrypted workbook instead of passing over it. When reading
// fails the error reaches the caller after the hits found so far were reported; the
// program shows kNoMatchFound first when no hit was reported, then the error.
TSearchOutcome SearchThisFile(const std::filesystem::path& file, const TSearchOptions& options,
                              const THitSink& onHit, TJobControl* job = nullptr);
// Searches the workbooks of the folder that ListVisibleWorkbooks lists. A password opens
// the workbooks encrypted with it. A workbook that cannot be searched (refused by
// CheckWorkbook, or failing to read) is listed in the outcome's Skipped with the reason, and
// the search goes on; `onFileDone` is called for every workbook of the folder, skipped ones
// included. Only an error other than the reader's (out of memory) ends the search.
// With options.Jobs above 1 that many workbooks are read and searched at once by worker
// threads, and the outcome is that of the search one after the other: the callbacks run
// on the calling thread in the folder's order (the hits of a workbook after those of the
// workbooks before it, numbered on), and what the workbooks after one that failed or was
// cancelled found is dropped. Progress then sums the shares of the workbooks under way.
TSearchOutcome SearchDirectory(const std::filesystem::path& folder, const TSearchOptions& options,
                               const THitSink& onHit, const TFileDone& onFileDone = {},
                               TJobControl* job = nullptr);
// The message the program shows at the end of a search: the outcome's message, and the
// workbooks that could not be searched, each with its reason ("Not searched:"); empty when
// there is neither.
std::string SearchSummary(const TSearchOutcome& outcome);

// --- Export -----------------------------------------------------------------------------

enum class TExportMode { OneSheet, SeparateFiles, OneFile };

// The output name for a current file name (the name up to and including its first "."
// followed by "CSV" or "TXT"); empty for an empty name.
std::string OutputNameFor(const std::string& fileName, TTextFileKind kind);
// The output name after switching the file type ("data.CSV" becomes "data.TXT"); an
// empty name stays empty.
std::string SwitchOutputType(const std::string& outputName, TTextFileKind kind);
// The file a sheet goes to: "One Sheet" writes `outputName` itself, "Separate Files" the
// part before the first "." + "_S" + sheet number + ".csv"/".txt", "One File" the part up
// to and including the first "." + "csv"/"txt".
// These rules (and those of OutputNameFor) apply to the file name after the last "/"; a
// folder part before it is kept as it is.
std::string ExportFileName(const std::string& outputName, TExportMode mode, TTextFileKind kind,
                           int sheetNumber = 1);
// The file a sheet goes to when the output name is taken as it is given: "One Sheet" writes
// `outputName`, "One File" too, with ".csv"/".txt" added when it has no extension, and
// "Separate Files" the name without its extension + "_S" + sheet number + ".csv"/".txt".
std::string GivenExportFileName(const std::string& outputName, TExportMode mode, TTextFileKind kind,
                                int sheetNumber = 1);
// The name a workbook's files are derived from in a batch (and by default on the command
// line): its file name before the first ".", or its whole name without the extension when
// that part is empty (a name starting with ".") or it has no ".".
std::string ExportStem(const std::string& bareName);

// Asked with the existing files an export is about to replace; false leaves them, and
// what would have gone into them is not written.
using TConfirmReplace = std::function<bool(const std::vector<std::filesystem::path>& existing)>;

struct TExportSettings {
    TExportMode Mode = TExportMode::OneSheet;
    TTextFileKind Kind = tkCSV;
    // Separator, line end, code page, byte order mark, raw values, formulas. In "One File"
    // the plain values are those of RenderCellText, raw ones those of RawValueText.
    TTextWriteOptions Text;
    // The sheets to write, by name or by number counted from 1 (a name that a sheet has
    // wins); empty: the first sheet for "One Sheet", every sheet else. Files are numbered
    // and headed by the sheet's position either way.
    std::vector<std::string> Sheets;
    std::u16string Password;
    // When set, a single workbook's text goes here instead of into files.
    std::ostream* Output = nullptr;
    // Asked before existing files are replaced; without it they are replaced.
    TConfirmReplace ConfirmReplace;
    // How many workbooks of a folder are read and written at once (see ExportDirectory);
    // 1 exports them one after the other. DefaultJobs() (JobControl.h) gives one per core.
    int Jobs = 1;
    // A single workbook's output name gives its files by GivenExportFileName instead of
    // ExportFileName.
    bool NameAsGiven = false;
    // The decoder that gives the formula texts (with Text.Formulas).
    TFormulaSettings FormulaSettings;
};

struct TExportOutcome {
    bool Done = false;  // the export ran to its end: Message is kExportDone, kBatchExportDone
                        // or kNoCellsToWrite
    bool Batch = false;
    // Message is kExportCancelled; Files lists the files written whole before, the file
    // being written when it was cancelled is removed.
    bool Cancelled = false;
    std::vector<std::filesystem::path> Files;  // the files written, in order
    std::vector<TSkippedFile> Skipped;         // workbooks (in a batch) not written, and why
    // kExportDone, kBatchExportDone, kNoCellsToWrite, kExportCancelled, or why nothing was
    // written; empty when replacing existing files was declined.
    std::string Message;
};

// Exports one workbook; `outputName` is a path (a relative one is taken from the current
// directory). Nothing is written when the workbook is refused, when an output file is a
// workbook or compound document (OutputRefusal), or when replacing was declined.
TExportOutcome ExportFile(const std::filesystem::path& file, const std::string& outputName,
                          const TExportSettings& settings, TJobControl* job = nullptr);
TExportOutcome ExportFile(const std::filesystem::path& file, TExportMode mode, TTextFileKind kind,
                          const std::string& outputName, const std::u16string& password = u"");
// A workbook of a batch export and the folder its files go to (made when missing).
struct TBatchSource {
    std::filesystem::path Workbook;
    std::filesystem::path OutputFolder;
};

// Exports every readable workbook of the list into its output folder, each under a name
// derived from a stem: the stem + ".csv" or ".txt" ("One Sheet" and "One File"), or the
// stem + "_S" + sheet number + ".csv"/".txt" ("Separate Files"). The stem is ExportStem of
// the workbook's name, unless another workbook of the list writes to the same folder under
// that stem: then the workbook's whole name without its extension is taken, and when that
// is taken too, the whole name + "_2", "_3", ... A workbook whose name is its own stem +
// ".xls" ("x.xls") keeps its stem before any other workbook ("x.v2.xls"). Stems go by the
// names of the list alone, so no workbook is ever skipped for a name. Workbooks that cannot
// be read or written are skipped with the reason; only an error other than the reader's
// ends the run. `onFile` is called before each workbook, skipped ones included. The
// settings' password and output stream are not used.
// With settings.Jobs above 1 that many workbooks are read and written at once by worker
// threads, with the outcome, the files and the questions of the export one after the
// other: names are given, questions asked, and `onFile` and the outcome's lists filled,
// in the folder's order on the calling thread; each file is written beside its name and
// takes it in that order, so that when a workbook fails or the export is cancelled, what
// the workbooks after it wrote is removed (as is what a workbook skipped at its turn, a
// question declined among the reasons, wrote ahead). Before a question (and around a
// workbook writing to anything other than a regular file) the workbooks before are
// finished first.
TExportOutcome ExportWorkbooks(const std::vector<TBatchSource>& workbooks,
                               const TExportSettings& settings, const TFileDone& onFile = {},
                               TJobControl* job = nullptr);
// ExportWorkbooks of the workbooks of the folder that ListVisibleWorkbooks lists, each
// written into the folder; a folder that cannot be listed ends it with
// FolderUnreadableMessage.
TExportOutcome ExportDirectory(const std::filesystem::path& folder, const TExportSettings& settings,
                               const TFileDone& onFile = {}, TJobControl* job = nullptr);
TExportOutcome ExportDirectory(const std::filesystem::path& folder, TExportMode mode,
                               TTextFileKind kind, const TFileDone& onFile = {});
// The message the program shows at the end: the outcome's message, and after a batch or a
// cancelled export the names of the files written and of the workbooks skipped, each with
// its reason.
std::string ExportSummary(const TExportOutcome& outcome);

// The one-file writer: every sheet's cells, row by row, with the values of RenderCellText
// (RawValueText with raw values); fields that hold the separator, a double quote or a line
// break are quoted in CSV, fields that hold the separator or a line break, or begin with a
// double quote, in tab separated text. `sheets` lists the positions to write (empty: all);
// each is headed by an empty line and its number, and its cells' lines follow, the first
// from its first cell on, then an empty line. The sheets are gone through one after the
// other; `written` hears of each once its lines are written.
void WriteOneFile(const TWorkbook& workbook, std::ostream& out, TTextFileKind kind,
                  const TTextWriteOptions& options = {}, const std::vector<int>& sheets = {},
                  const std::function<void(int position)>& written = {});
void WriteOneFile(const TWorkbook& workbook, const std::filesystem::path& file, TTextFileKind kind,
                  const TTextWriteOptions& options = {}, const std::vector<int>& sheets = {});

// --- Pictures ---------------------------------------------------------------------------

struct TPicturesOutcome {
    std::vector<std::filesystem::path> Files;  // the files written, in order
    // One line per picture written as stored (".bin") or not written at all: the file's
    // name and why.
    std::vector<std::string> Notes;
    // Why the pictures were not written, or why writing stopped (Files then lists what was
    // written before); empty when every picture was handled.
    std::string Message;
    int Pictures = 0;  // the pictures of the workbook's sheets
};

// Writes every picture of every sheet into `folder` (created when missing; empty: the
// current directory), sheet by sheet in their order, as MakePictureFile makes them,
// named PictureFileStem + the file's extension ("Sheet1_B3_1.png"). A name that an earlier
// picture of the run took (letter case ignored) gets "_2", "_3", ... before the
// extension. A picture that cannot be made into an image file is written as stored with
// the extension ".bin", and one without any bytes is left out; both are noted. Other
// existing files are replaced, but nothing at all is written when one of the names is an
// existing workbook or compound document (OutputRefusal).
TPicturesOutcome ExtractPictures(const TWorkbook& workbook, const std::filesystem::path& folder);
// The same for a workbook file, refused as CheckWorkbook says; read errors reach the
// caller.
TPicturesOutcome ExtractPictures(const std::filesystem::path& file,
                                 const std::filesystem::path& folder,
                                 const std::u16string& password = u"");

}  // namespace vorlix::app
