// vorlix-cli: the command-line front end of the workbook utilities.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/DumpCommand.h"
#include "cli/StructureCommands.h"

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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    if (*streams) return vorlix::cli::ListStreams(file, std::cout, std::cerr);
    if (*records) return vorlix::cli::ListRecords(file, std::cout, std::cerr);
    if (*dump) return vorlix::cli::DumpWorkbook(file, password, std::cout, std::cerr);
    return 2;
}
