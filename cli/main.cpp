// vorlix-cli: the command-line front end of the workbook utilities.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <vector>

#include "cli/AppCommands.h"
#include "cli/DumpCommand.h"
#include "cli/StructureCommands.h"

namespace {

// The options every command of the program's own (info, search, export) takes.
struct CommonOptions {
    std::string password;
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
    command.add_option("--password", options.password, "Password of an encrypted workbook");
    options.localeOptions.push_back(command.add_option(
        "--locale", options.locale,
        "Regional settings of this locale (e.g. de_DE.UTF-8) instead of the environment's"));
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CLI::App app{"Vorlix Excel Utilities: read Excel 97-2003 (.xls) workbooks", "vorlix-cli"};
    app.require_subcommand(1);

    std::string file;
    auto* streams =
        app.add_subcommand("streams",
                           "List the elements of FILE's compound document: 'stream SIZE PATH' or "
                           "'storage - PATH', depth first");
    streams->add_option("FILE", file, "Workbook or other compound document")->required();

    auto* records = app.add_subcommand(
        "records", "List the records of FILE's Workbook stream: 'OFFSET ID LENGTH [NAME]'");
    records->add_option("FILE", file, "Excel 97-2003 workbook")->required();

    std::string password;
    auto* dump = app.add_subcommand("dump", "Print the workbook model of FILE as JSON");
    dump->add_option("FILE", file, "Excel 97-2003 workbook")->required();
    dump->add_option("--password", password, "Password of an encrypted workbook");

    CommonOptions common;
    bool contents = false;
    auto* info = app.add_subcommand(
        "info", "Report FILE's worksheets and cell counts, and with --contents every cell value");
    info->add_option("FILE", file, "Excel 97-2003 workbook")->required();
    info->add_flag("--contents", contents, "Also list the cell values, one line per row");
    AddCommonOptions(*info, common);

    vorlix::cli::TSearchRequest search;
    auto* searchCommand = app.add_subcommand(
        "search",
        "Find cells whose text contains TEXT (or equals it, with --match) in a workbook or in "
        "every workbook of a folder; prints 'FILE SHEET ROW COL CONTENTS' per hit, tab "
        "separated; exit status 1 when nothing matches");
    searchCommand->add_option("TEXT", search.Text, "Text to find")->required();
    searchCommand->add_option("PATH", search.Path, "Workbook or folder")->required();
    searchCommand->add_flag("--match", search.Match, "The whole cell text must equal TEXT");
    searchCommand->add_flag("--case-sensitive", search.CaseSensitive,
                            "Tell upper from lower case letters a-z");
    AddCommonOptions(*searchCommand, common);

    vorlix::cli::TExportRequest exportRequest;
    bool oneSheet = false, separate = false, allInOne = false, csv = false, txt = false;
    auto* exportCommand = app.add_subcommand(
        "export",
        "Write a workbook (or every workbook of a folder) as CSV or tab separated text; prints "
        "the names of the files written");
    exportCommand->add_option("PATH", exportRequest.Path, "Workbook or folder (batch mode)")
        ->required();
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
    exportCommand->add_option("-o,--output", exportRequest.OutputName,
                              "Output file name of a single workbook (default: the workbook's "
                              "name with CSV or TXT after its first '.', beside it)");
    AddCommonOptions(*exportCommand, common);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    if (*streams) return vorlix::cli::ListStreams(file, std::cout, std::cerr);
    if (*records) return vorlix::cli::ListRecords(file, std::cout, std::cerr);
    if (*dump) return vorlix::cli::DumpWorkbook(file, password, std::cout, std::cerr);

    if (common.LocaleGiven() && !vorlix::cli::UseLocale(common.locale, std::cerr)) {
        return 2;
    }
    if (*info) {
        return vorlix::cli::PrintInformation(file, contents, common.password, std::cout, std::cerr);
    }
    if (*searchCommand) {
        search.Password = common.password;
        return vorlix::cli::PrintSearch(search, std::cout, std::cerr);
    }
    if (*exportCommand) {
        using vorlix::app::TExportMode;
        exportRequest.Mode = separate   ? TExportMode::SeparateFiles
                             : allInOne ? TExportMode::OneFile
                                        : TExportMode::OneSheet;
        exportRequest.Kind = txt ? vorlix::tkTXT : vorlix::tkCSV;
        exportRequest.Password = common.password;
        if (isatty(STDERR_FILENO)) exportRequest.Progress = &std::cerr;
        return vorlix::cli::RunExport(exportRequest, std::cout, std::cerr);
    }
    return 2;
}
