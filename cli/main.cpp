// vorlix-cli: the command-line front end of the workbook utilities.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "app/commands/JobControl.h"
#include "cli/AppCommands.h"
#include "cli/DumpCommand.h"
#include "cli/Interrupts.h"
#include "cli/Password.h"
#include "cli/StandardStreams.h"
#include "cli/StructureCommands.h"

#ifndef VORLIX_VERSION
#define VORLIX_VERSION "unknown"
#endif

namespace {

// The password options of every command that reads cell data.
void AddPasswordOptions(CLI::App& command, vorlix::cli::TPasswordSource& source) {
    auto* given = command.add_option(
        "--password", source.Password,
        "Password of an encrypted workbook (shown to other users of the machine: prefer "
        "--password-file, VORLIX_PASSWORD or the prompt)");
    auto* file = command.add_option("--password-file", source.PasswordFile,
                                    "Read the password from the first line of FILE");
    given->excludes(file);
}

// The options every command of the program's own (info, search, export) takes.
struct CommonOptions {
    vorlix::cli::TPasswordSource password;
    std::string locale;
    std::vector<CLI::Option*> localeOptions;  // one per command

    bool LocaleGiven() const {
        for (const CLI::Option* option : localeOptions) {
            if (option->count() > 0) return true;
        }
        return false;
    }
};

void AddCommonOptions(CLI::App& command, CommonOptions& options) {
    AddPasswordOptions(command, options.password);
    options.localeOptions.push_back(command.add_option(
        "--locale", options.locale,
        "Regional settings of this locale (e.g. de_DE.UTF-8) instead of the environment's"));
}

// How many workbooks of a folder are read at once.
void AddJobsOption(CLI::App& command, int& jobs) {
    jobs = vorlix::app::DefaultJobs();
    command
        .add_option("-j,--jobs", jobs,
                    "Workbooks of a folder read at once (default: the number of cores, " +
                        std::to_string(jobs) + " here)")
        ->check(CLI::Range(1, 1024));
}

// The export's text options as given, checked and turned into the writer's options.
struct TextOptions {
    std::string delimiter;
    std::string encoding;
    std::string eol = "crlf";
    std::string values = "display";
    bool bom = false;
    bool formulas = false;
    bool allFormulas = false;

    // False after writing the problem to `err`.
    bool Apply(vorlix::TTextWriteOptions& text, std::ostream& err) const {
        if (!delimiter.empty()) {
            const std::string& d = delimiter;
            const char c = d == "\\t" || d == "tab" ? '\t' : d.size() == 1 ? d[0] : '\0';
            if (c == '\0' || c == '"' || c == '\r' || c == '\n' ||
                static_cast<unsigned char>(c) >= 0x80) {
                err << "The delimiter must be one ASCII character other than a double quote or "
                       "a line break (or \\t for a tab): "
                    << d << '\n';
                return false;
            }
            text.Separator = c;
        }
        if (!encoding.empty() && !vorlix::cli::ParseEncoding(encoding, text.CodePage)) {
            err << "Unknown encoding: " << encoding << '\n';
            return false;
        }
        if (bom && vorlix::ByteOrderMark(text.CodePage).empty()) {
            err << "--bom needs UTF-8, UTF-16LE or UTF-16BE: " << encoding << " has no byte "
                << "order mark\n";
            return false;
        }
        text.ByteOrderMark = bom;
        text.LineEnd = eol == "lf" ? "\n" : "\r\n";
        text.RawValues = values == "raw";
        text.Formulas = formulas || allFormulas;
        return true;
    }
};

// The first argument when it is meant as a command that does not exist, else empty.
std::string UnknownCommand(const CLI::App& app, int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') return {};
    const std::string name = argv[1];
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == name) return {};
    }
    return name;
}

int Run(int argc, char** argv) {
    CLI::App app{"Vorlix Excel Utilities: read Excel 97-2003 (.xls) workbooks", "vorlix-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "vorlix-cli " VORLIX_VERSION);
    app.footer(
        "FILE or PATH - reads a workbook from standard input.\n"
        "Exit status: 0 success (search: hits found), 1 search found nothing, 2 error (also\n"
        "when standard output cannot be written; a batch export or folder search: no\n"
        "workbook could be written or searched), 3 some workbooks were skipped, each named\n"
        "on stderr with the reason (the others' results are complete), 130 (143) an export\n"
        "ended by Ctrl-C (SIGTERM): files not yet whole are removed, those written are listed.\n"
        "Every command takes --help.");

    std::string file;
    auto* streams =
        app.add_subcommand("streams",
                           "List the elements of FILE's compound document: 'stream SIZE PATH' or "
                           "'storage - PATH', depth first");
    streams->add_option("FILE", file, "Workbook or other compound document")->required();

    auto* records = app.add_subcommand(
        "records", "List the records of FILE's Workbook stream: 'OFFSET ID LENGTH [NAME]'");
    records->add_option("FILE", file, "Excel 97-2003 workbook")->required();

    vorlix::cli::TPasswordSource dumpPassword;
    auto* dump = app.add_subcommand("dump", "Print the workbook model of FILE as JSON");
    dump->add_option("FILE", file, "Excel 97-2003 workbook")->required();
    AddPasswordOptions(*dump, dumpPassword);
    vorlix::cli::TDumpOptions dumpOptions;
    dump->add_flag("--strict-formulas", dumpOptions.StrictFormulas,
                   "Fail when a formula cannot be decoded instead of leaving its text empty");
    dump->add_flag("--all-formulas", dumpOptions.AllFormulas,
                   "Decode every formula token and built-in function, array formulas and data "
                   "tables, not only the common subset");
    dump->add_flag("--no-drawings", dumpOptions.NoDrawings,
                   "Read without the drawing records: no pictures and no comments");

    CommonOptions common;
    bool contents = false;
    bool infoJson = false;
    bool infoAllFormulas = false;
    auto* info = app.add_subcommand(
        "info", "Report FILE's worksheets and cell counts, and with --contents every cell value");
    info->add_option("FILE", file, "Excel 97-2003 workbook")->required();
    info->add_flag("--contents", contents, "Also list the cell values, one line per row");
    info->add_flag("--json", infoJson,
                   "Print one JSON object: the sheets with their names and cell counts (and "
                   "with --contents their cells, with their formula texts)");
    info->add_flag("--all-formulas", infoAllFormulas,
                   "Formula texts (of --json --contents) from the complete decoder: every token "
                   "and built-in function, array formulas and data tables");
    AddCommonOptions(*info, common);

    vorlix::cli::TSearchRequest search;
    auto* searchCommand = app.add_subcommand(
        "search",
        "Find cells whose text contains TEXT (or equals it, with --match) in a workbook or in "
        "every workbook of a folder; prints 'FILE SHEET ROW COL CONTENTS' per hit, tab "
        "separated, and the workbooks that could not be searched, with the reason, on stderr; "
        "exit status 1 when nothing matches, 3 when some workbooks could not be searched");
    searchCommand->add_option("TEXT", search.Text, "Text to find")->required();
    searchCommand->add_option("PATH", search.Path, "Workbook or folder")->required();
    searchCommand->add_flag("--match", search.Match, "The whole cell text must equal TEXT");
    searchCommand->add_flag("--case-sensitive", search.CaseSensitive,
                            "Tell upper from lower case letters");
    searchCommand->add_flag("--regex", search.Regex,
                            "TEXT is a regular expression (ECMAScript syntax)");
    searchCommand->add_flag("--whole-word", search.WholeWord,
                            "Only matches that no letter, digit or '_' touches on either side");
    searchCommand->add_flag("--json", search.Json,
                            "Print one JSON object per hit: file, sheet, row, col, text, and "
                            "formula where the cell has one");
    searchCommand->add_flag("--all-formulas", search.AllFormulas,
                            "Formula texts (of --json) from the complete decoder");
    AddJobsOption(*searchCommand, search.Jobs);
    AddCommonOptions(*searchCommand, common);

    vorlix::cli::TExportRequest exportRequest;
    bool oneSheet = false, separate = false, allInOne = false, csv = false, txt = false;
    TextOptions text;
    auto* exportCommand = app.add_subcommand(
        "export",
        "Write workbooks (one, or several and every workbook of the folders given) as CSV or "
        "tab separated text; prints the names of the files written, and what was skipped, "
        "with the reason, on stderr; exit status 3 when some workbooks were skipped, 2 when "
        "all were");
    exportCommand
        ->add_option("PATH", exportRequest.Paths,
                     "Workbooks and folders (more than one workbook, or a folder: batch mode)")
        ->required();
    auto* outputDir = exportCommand
                          ->add_option("--output-dir", exportRequest.OutputFolder,
                                       "Write the files into DIR (made when missing) instead of "
                                       "beside each workbook")
                          ->type_name("DIR");
    exportCommand->add_flag("-r,--recursive", exportRequest.Recursive,
                            "The workbooks of the folders' subfolders too, at any depth; with "
                            "--output-dir their files go to the same subfolders under DIR");
    auto* oneSheetFlag =
        exportCommand->add_flag("--one-sheet", oneSheet, "The first sheet only (the default)");
    auto* separateFlag = exportCommand->add_flag(
        "--separate", separate, "Every sheet that has cells into its own file NAME_Sn.csv");
    auto* allInOneFlag = exportCommand->add_flag(
        "--all-in-one", allInOne, "All sheets into one file, their cells row by row");
    oneSheetFlag->excludes(separateFlag)->excludes(allInOneFlag);
    separateFlag->excludes(allInOneFlag);
    auto* csvFlag = exportCommand->add_flag("--csv", csv, "Comma separated (the default)");
    auto* txtFlag = exportCommand->add_flag("--txt", txt, "Tab separated");
    csvFlag->excludes(txtFlag);
    exportCommand
        ->add_option("-o,--output", exportRequest.OutputName,
                     "Output file name of a single workbook: --one-sheet writes NAME, "
                     "--all-in-one NAME (NAME.csv or NAME.txt when it has no extension), "
                     "--separate NAME_S1.csv ... (NAME without its extension); default: the "
                     "workbook's name before its first '.' + .csv or .txt, beside it; - writes "
                     "to standard output")
        ->excludes(outputDir);
    exportCommand
        ->add_option("--sheet", exportRequest.Settings.Sheets,
                     "A sheet to write, by name or by number from 1 (a sheet's name wins); "
                     "repeat it for several")
        ->allow_extra_args(false);
    exportCommand->add_option("--delimiter", text.delimiter,
                              "Field separator: one character, \\t for a tab (default: , for "
                              "CSV, a tab for TXT)");
    exportCommand->add_option("--encoding", text.encoding,
                              "UTF-8 (the default), UTF-16LE, UTF-16BE, a Windows code page "
                              "(1252, CP1252, windows-1252), ISO-8859-1..9 and -15, latin1, "
                              "US-ASCII, KOI8-R, KOI8-U, Shift_JIS, GB18030");
    exportCommand->add_flag("--bom", text.bom,
                            "Start with a byte order mark (UTF-8 and UTF-16), for spreadsheet "
                            "programs that need one");
    exportCommand->add_option("--eol", text.eol, "Line ends: crlf (the default) or lf")
        ->check(CLI::IsMember({"crlf", "lf"}));
    exportCommand
        ->add_option("--values", text.values,
                     "display (the default): as the sheet shows them (--all-in-one: as info "
                     "--contents lists them); raw: numbers in full precision, dates in ISO "
                     "8601, booleans TRUE/FALSE")
        ->check(CLI::IsMember({"display", "raw"}));
    exportCommand->add_flag("--formulas", text.formulas,
                            "'=' and the formula text where a cell has one (its value where "
                            "the workbook gives no formula text)");
    exportCommand->add_flag("--all-formulas", text.allFormulas,
                            "--formulas with the complete decoder: every token and built-in "
                            "function, array formulas and data tables");
    AddJobsOption(*exportCommand, exportRequest.Settings.Jobs);
    AddCommonOptions(*exportCommand, common);

    vorlix::cli::TImagesRequest imagesRequest;
    vorlix::cli::TPasswordSource imagesPassword;
    auto* images = app.add_subcommand(
        "images",
        "Write every picture of FILE's sheets as an image file named after its sheet, its "
        "cell and its number on the sheet (Sheet1_B3_1.png); prints the names of the files "
        "written");
    images->add_option("FILE", imagesRequest.File, "Excel 97-2003 workbook")->required();
    images->add_option("-o,--output", imagesRequest.Folder,
                       "Folder for the files, made when missing (default: the current one)");
    AddPasswordOptions(*images, imagesPassword);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (const std::string unknown = UnknownCommand(app, argc, argv); !unknown.empty()) {
            std::cerr << "Unknown command: " << unknown
                      << " (the commands are info, search, export, images, dump, streams and "
                         "records; --help tells more)\n";
            return 2;
        }
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    // "-" reads the workbook from standard input.
    const std::vector<std::string>& exportPaths = exportRequest.Paths;
    const bool exportsInput =
        *exportCommand && std::find(exportPaths.begin(), exportPaths.end(),
                                    vorlix::cli::kStandardInputName) != exportPaths.end();
    if (exportsInput && exportPaths.size() > 1) {
        std::cerr << "- reads one workbook from standard input: give it as the only PATH\n";
        return 2;
    }
    const std::string& input = *images          ? imagesRequest.File
                               : *searchCommand ? search.Path
                               : exportsInput   ? exportPaths.front()
                                                : file;
    if (input == vorlix::cli::kStandardInputName) {
        if (*exportCommand && exportRequest.OutputName.empty()) {
            std::cerr << "export - needs -o NAME (or -o - for standard output): a workbook on "
                         "standard input has no name to derive the output's from\n";
            return 2;
        }
        if (!vorlix::cli::UseStandardInput(std::cerr)) return 2;
    }

    if (*streams) return vorlix::cli::ListStreams(file, std::cout, std::cerr);
    if (*records) return vorlix::cli::ListRecords(file, std::cout, std::cerr);
    std::string password;
    if (*dump) {
        if (!vorlix::cli::ResolvePassword(dumpPassword, file, std::cerr, password)) return 2;
        return vorlix::cli::DumpWorkbook(file, password, std::cout, std::cerr, dumpOptions);
    }

    if (*images) {
        if (!vorlix::cli::ResolvePassword(imagesPassword, imagesRequest.File, std::cerr,
                                          imagesRequest.Password))
            return 2;
        return vorlix::cli::RunImages(imagesRequest, std::cout, std::cerr);
    }

    if (common.LocaleGiven() && !vorlix::cli::UseLocale(common.locale, std::cerr)) {
        return 2;
    }
    if (*info) {
        if (!vorlix::cli::ResolvePassword(common.password, file, std::cerr, password)) return 2;
        return vorlix::cli::PrintInformation(file, contents, infoJson, password, std::cout,
                                             std::cerr, infoAllFormulas);
    }
    if (*searchCommand) {
        if (!vorlix::cli::ResolvePassword(common.password, search.Path, std::cerr, search.Password))
            return 2;
        return vorlix::cli::PrintSearch(search, std::cout, std::cerr);
    }
    if (*exportCommand) {
        using vorlix::app::TExportMode;
        vorlix::app::TExportSettings& settings = exportRequest.Settings;
        settings.Mode = separate   ? TExportMode::SeparateFiles
                        : allInOne ? TExportMode::OneFile
                                   : TExportMode::OneSheet;
        settings.Kind = txt ? vorlix::tkTXT : vorlix::tkCSV;
        if (!text.Apply(settings.Text, std::cerr)) return 2;
        settings.FormulaSettings.AllFormulas = text.allFormulas;
        if (settings.Mode == TExportMode::OneSheet && settings.Sheets.size() > 1) {
            std::cerr << "--one-sheet writes one sheet: give --sheet once, or use --separate or "
                         "--all-in-one\n";
            return 2;
        }
        if (settings.Mode == TExportMode::SeparateFiles && exportRequest.OutputName == "-") {
            std::cerr << "-o - writes one text to standard output: use it with --one-sheet or "
                         "--all-in-one\n";
            return 2;
        }
        // Only a workbook exported by itself is opened with a password.
        const std::string single =
            exportRequest.Paths.size() == 1 ? exportRequest.Paths.front() : std::string();
        if (!vorlix::cli::ResolvePassword(common.password, single, std::cerr,
                                          exportRequest.Password))
            return 2;
        if (isatty(STDERR_FILENO)) exportRequest.Progress = &std::cerr;
        vorlix::app::TJobControl job;
        vorlix::cli::TInterruptScope interrupts(job);
        exportRequest.Job = &job;
        return vorlix::cli::RunExport(exportRequest, std::cout, std::cerr);
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    vorlix::cli::TStandardOutput output;
    const int status = Run(argc, argv);
    // A command that could not write all it printed failed, whatever it did besides.
    const std::string failure = output.Finish();
    if (!failure.empty() && status < 128) {
        std::cerr << failure << '\n';
        return 2;
    }
    return status;
}
