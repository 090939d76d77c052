// vorlix-cli export: the sheets chosen, the text options, standard output, and the files
// it refuses to write over, run as a separate program.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/commands/Commands.h"
#include "tests/cli/CliFixture.h"

using namespace vorlix::test;
namespace fs = std::filesystem;
namespace app = vorlix::app;

namespace {

using CliExportTest = CliFolderTest;

// One sheet holding "Müller" (a Latin-1 label) in A1 and 1.5 in B1.
Bytes UmlautStream() {
    return WorkbookStream({{"S",
                            {{vorlix::rec::kLabel, LabelCellBody(0, 0, 0, "M\xFCller")},
                             {vorlix::rec::kNumber, NumberBody(0, 1, 0, 1.5)}}}});
}

}  // namespace

TEST_F(CliExportTest, SheetsStandardOutputAndTextOptions) {
    const std::string book = Example("book.xls").string();
    const std::string umlaut = Stream("umlaut.xls", UmlautStream()).string();
    struct TCase {
        std::vector<std::string> args;  // after "export"
        std::string out;
    };
    const std::vector<TCase> cases = {
        {{book, "--sheet", "Sheet2", "--txt", "-o", "-"}, "Needle\t\r\n\t\"a\tneedle\"\r\n"},
        {{book, "-o", "-", "--values", "raw", "--formulas"},
         "\"5\",\"abc\"\r\n\"\",\"\"\r\n\"2.5\",\"\"\r\n"},
        {{book, "--all-in-one", "--sheet", "1", "--delimiter", ";", "--eol", "lf", "-o", "-"},
         "\nSheet 1\n5;abc\n2.5\n\n"},
        {{book, "--sheet", "2", "--txt", "--delimiter", "\\t", "-o", "-"},
         "Needle\t\r\n\t\"a\tneedle\"\r\n"},
        {{umlaut, "--encoding", "latin1", "-o", "-"}, "\"M\xFCller\",\"1.5\"\r\n"},
        {{umlaut, "--encoding", "Windows-1252", "--txt", "-o", "-"}, "M\xFCller\t1.5\r\n"},
        {{umlaut, "--bom", "--txt", "-o", "-"}, "\xEF\xBB\xBFM\xC3\xBCller\t1.5\r\n"},
        {{umlaut, "--encoding", "UTF-16LE", "--bom", "--txt", "--eol", "lf", "-o", "-"},
         std::string("\xFF\xFEM\0\xFC\0l\0l\0e\0r\0\t\0"
                     "1\0.\0"
                     "5\0\n\0",
                     24)},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args{"export"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.status, 0) << c.args[1] << ' ' << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[1];
        EXPECT_EQ(r.err, "");
    }
    // Standard output only: no file beside the workbooks.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    // Several sheets, in the order given, each numbered as in the workbook.
    const CommandResult r =
        Cli({"export", book, "--separate", "--sheet", "Sheet2", "--sheet", "1", "-o", In("x.csv")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line(In("x_S2.csv")) + Line(In("x_S1.csv")));
}

TEST_F(CliExportTest, OptionsThatCannotBeMet) {
    const std::string book = Example("book.xls").string();
    struct TCase {
        std::vector<std::string> args;  // after "export" and the workbook
        std::string err;                // empty: only the status is checked
    };
    const std::vector<TCase> cases = {
        {{"--delimiter", "ab"}, ""},
        {{"--delimiter", "\""}, ""},
        {{"--encoding", "klingon"}, Line("Unknown encoding: klingon")},
        {{"--encoding", "windows-1252", "--bom"}, ""},
        {{"--sheet", "Sheet1", "--sheet", "Sheet2"}, ""},
        {{"--separate", "-o", "-"}, ""},
        {{"--sheet", "Nope"}, Line("There is no sheet \"Nope\" in book.xls")},
        {{"--sheet", "3"}, Line("There is no sheet \"3\" in book.xls")},
        {{"--eol", "cr"}, ""},
        {{"--values", "pretty"}, ""},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args{"export", book};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.status, 2) << c.args[0] << ' ' << c.args[1];
        EXPECT_EQ(r.out, "") << c.args[0];
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        } else {
            EXPECT_NE(r.err, "") << c.args[0];
        }
    }
    EXPECT_FALSE(fs::exists(dir / "book.CSV"));
}

TEST_F(CliExportTest, NeverWritesOverAWorkbook) {
    const fs::path book = Example("book.xls");
    const fs::path other = Stream("OTHER.XLS", UmlautStream());
    const fs::path odd = Stream("OTHER.csv", UmlautStream());  // a workbook under a text name
    const Bytes workbook = ReadFile(other);
    for (const std::string mode : {"--one-sheet", "--all-in-one"}) {
        // --all-in-one adds ".csv" to a name without an extension.
        const std::string output = mode == "--one-sheet" ? In("OTHER.XLS") : In("OTHER");
        const CommandResult r = Cli({"export", book.string(), mode, "-o", output});
        EXPECT_EQ(r.status, 2) << mode;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  mode == "--one-sheet"
                      ? Line("Cannot write file " + In("OTHER.XLS") + ": it is an Excel workbook")
                      : Line("Cannot write file " + In("OTHER.csv") +
                             ": it is a compound document (a workbook or another office "
                             "file)"));
    }
    EXPECT_EQ(ReadFile(other), workbook);
    EXPECT_EQ(ReadFile(odd), workbook);

    // An existing text file is replaced without a question.
    WriteFile(dir / "book.csv", Body().ascii("old"));
    const CommandResult r = Cli({"export", book.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Content(dir / "book.csv"), "\"5\",\"abc\"\r\n\"\",\"\"\r\n\"2.50\",\"\"\r\n");
}

TEST_F(CliExportTest, BatchNeverWritesOneFileTwice) {
    Stream("report.v1.xls", UmlautStream());
    Stream("report.v2.xls", UmlautStream());
    Stream("report.xls", WorkbookStream({{"Empty", {}}}));
    const CommandResult r = Cli({"export", dir.path().string(), "--txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    // report.xls holds "report" for itself, even without cells.
    EXPECT_EQ(r.out, Line(In("report.v1.txt")) + Line(In("report.v2.txt")));
    EXPECT_EQ(r.err, Line("Skipped " + In("report.xls") + ": there are no cells to write"));
    EXPECT_EQ(Content(dir / "report.v2.txt"), "M\xC3\xBCller\t1.5\r\n");
}

TEST_F(CliExportTest, AFailedWriteLeavesTheOldFileAndNoPartOfASheet) {
    const std::string book = Example("book.xls").string();
    // A full disk.
    CommandResult r = Cli({"export", book, "-o", "/dev/full"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Line("Cannot write file /dev/full: No space left on device"));

    // A place that cannot hold the file.
    WriteFile(dir / "plain", Body().ascii("x"));
    r = Cli({"export", book, "-o", In("plain/out.csv")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, Line("Cannot create file " + In("plain/out.csv") + ": Not a directory"));

    // A folder this user may not write to: the file already there stays as it was, and no
    // temporary file is left behind.
    fs::create_directory(dir / "locked");
    WriteFile(dir / "locked" / "out.csv", Body().ascii("old"));
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(dir.path(), readOnly | fs::perms::owner_write);
    fs::permissions(dir / "locked", readOnly);
    r = CliUnprivileged({"export", book, "-o", In("locked/out.csv")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, Line("Cannot create file " + In("locked/out.csv") + ": Permission denied"));
    EXPECT_EQ(Content(dir / "locked" / "out.csv"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "locked"), fs::directory_iterator()), 1);

    // A folder this user may not read.
    fs::permissions(dir / "locked", fs::perms::owner_all);
    r = CliUnprivileged({"export", In("locked"), "--txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, Line("Cannot read folder " + In("locked") + ": Permission denied"));
    r = CliUnprivileged({"search", "x", In("locked")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, Line("Cannot read folder " + In("locked") + ": Permission denied"));
}

TEST_F(CliExportTest, FileNamesThatAreNotUtf8) {
    const fs::path odd = Stream("bad\xFF\xFE name.xls", UmlautStream());
    CommandResult r = Cli({"export", odd.string(), "--txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Content(dir / "bad\xFF\xFE name.txt"), "M\xC3\xBCller\t1.5\r\n");
    r = Cli({"search", "Müller", dir.path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("M\xC3\xBCller"), std::string::npos);
    r = Cli({"dump", odd.string()});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(CliExportTest, FoldersWithoutWorkbooks) {
    fs::create_directory(dir / "empty");
    const CommandResult r = Cli({"export", In("empty")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Line("There are no workbooks (.xls files) in " + In("empty")));
}

// A folder exported with several workbooks at once: the same files with the same contents,
// listed in the same order, the same workbooks skipped, and after a workbook that ends the
// export, nothing of the workbooks after it.
TEST_F(CliExportTest, FolderWithSeveralJobsWritesAsOneAfterTheOther) {
    const std::vector<std::vector<std::string>> modes = {
        {"--one-sheet"},
        {"--separate", "--txt", "--encoding", "shift_jis"},  // one converter for all threads
        {"--all-in-one", "--values", "raw"}};
    for (const std::vector<std::string>& mode : modes) {
        for (const bool ending : {false, true}) {
            const auto run = [&](const std::string& jobs) {
                EmptyFolder();
                MixedFolder(200, true);
                if (ending) Stream("m-no-sheets.xls", WorkbookStream({}));
                std::vector<std::string> args = {"export", dir.path().string(), "-j", jobs};
                args.insert(args.end(), mode.begin(), mode.end());
                return std::make_pair(Cli(args), Snapshot());
            };
            const auto [sequential, files] = run("1");
            // Without sheets there is no first sheet to write; the other modes skip it or
            // write its empty listing. The folder's refused workbooks make the status 3.
            EXPECT_EQ(sequential.status, ending && mode[0] == "--one-sheet" ? 2 : 3)
                << mode[0] << sequential.err;
            for (const char* jobs : {"2", "7"}) {
                const auto [parallel, parallelFiles] = run(jobs);
                const std::string context = mode[0] + " -j " + jobs + (ending ? " ending" : "");
                EXPECT_EQ(parallel.status, sequential.status) << context;
                EXPECT_EQ(parallel.out, sequential.out) << context;
                EXPECT_EQ(parallel.err, sequential.err) << context;
                EXPECT_EQ(parallelFiles, files) << context;
            }
        }
    }
    // At least one workbook at once.
    EXPECT_NE(Cli({"export", dir.path().string(), "-j", "0"}).status, 0);
    EXPECT_NE(Cli({"search", "x", dir.path().string(), "--jobs", "-1"}).status, 0);
}
