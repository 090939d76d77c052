// vorlix-cli export and search over several workbooks: where the files go and how they are
// named, how the workbooks passed over are named and told by the exit status, and the
// formula texts of the complete decoder; run as a separate program.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/commands/Commands.h"
#include "tests/cli/CliFixture.h"

using namespace vorlix::test;
namespace fs = std::filesystem;
namespace app = vorlix::app;
using json = nlohmann::json;

namespace {

constexpr const char* kTextFile = "a text file, not an Excel workbook";

class CliOutputsTest : public CliFolderTest {
  protected:
    // The example workbook at `name`, its folders made first.
    std::string Book(const std::string& name) {
        fs::create_directories((dir / name).parent_path());
        return Example(name).string();
    }
    std::string Skipped(const std::string& name, const std::string& reason) const {
        return Line("Skipped " + In(name) + ": " + reason);
    }
};

}  // namespace

// Exit status 2 when every workbook of a batch was skipped, 3 when some were; a workbook
// without cells to write is no failure.
TEST_F(CliOutputsTest, BatchExportTellsBySkippedWorkbooks) {
    fs::create_directories(dir / "none");
    Stream("none/secret.xls", EncryptedWorkbookStream(u"pw"));
    TextFile("none/text.xls");
    CommandResult r = Cli({"export", In("none")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Skipped("none/secret.xls", app::kPasswordProtected) +
                         Skipped("none/text.xls", kTextFile));

    // A workbook without cells is named too, but it is no failure.
    Book("some/book.xls");
    Stream("some/empty.xls", WorkbookStream({{"Empty", {}}}));
    TextFile("some/text.xls");
    r = Cli({"export", In("some")});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, Line(In("some/book.csv")));
    EXPECT_EQ(r.err, Skipped("some/empty.xls", "there are no cells to write") +
                         Skipped("some/text.xls", kTextFile));
}

// Every workbook of a folder that cannot be searched is named with its reason, and the
// others are searched; hidden workbooks are left out.
TEST_F(CliOutputsTest, FolderSearchNamesWhatItCannotRead) {
    Book("a.xls");
    Stream("b-secret.xls", EncryptedWorkbookStream(u"pw"));
    Stream("c-late.xls", LateFilePassStream());
    Book("d.xls");
    Book(".hidden.xls");
    const std::string unread =
        Skipped("b-secret.xls", app::kPasswordProtected) +
        Skipped("c-late.xls", "Error: file is protected, and password is invalid!");
    CommandResult r = Cli({"search", "Needle", dir.path().string(), "--match"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "a.xls\t2\t1\t1\tNeedle\nd.xls\t2\t1\t1\tNeedle\n");
    EXPECT_EQ(r.err, unread);
    r = Cli({"search", "nowhere", dir.path().string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, unread + Line(app::kNoMatchFound));
    fs::remove(dir / "a.xls");
    fs::remove(dir / "d.xls");
    const CommandResult none = Cli({"search", "Needle", dir.path().string()});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, unread);
}

// Workbooks and folders into one output folder, sub-folders mirrored with -r, the sources
// never written to: a read-only archive converts.
TEST_F(CliOutputsTest, ExportIntoAnOutputFolder) {
    for (const char* name :
         {"src/a.xls", "src/sub/b.xls", "src/.cache/c.xls", "src/sub/.d.xls", "other/x.v1.xls"})
        Book(name);
    const auto allRead = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                         fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    for (const char* folder : {"src/sub", "src/.cache", "src"})
        fs::permissions(dir / folder, allRead);
    fs::permissions(dir.path(), allRead | fs::perms::owner_write);
    fs::create_directory(dir / "w");
    fs::permissions(dir / "w", fs::perms::all);

    CommandResult r = CliUnprivileged(
        {"export", In("src"), In("other/x.v1.xls"), "--output-dir", In("w/out"), "--txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line(In("w/out/a.txt")) + Line(In("w/out/x.txt")));
    EXPECT_EQ(Content(dir / "w/out/x.txt"), "5\tabc\r\n\t\r\n2.50\t\r\n");

    r = CliUnprivileged({"export", In("src"), "-r", "--output-dir", In("w/tree"), "--separate"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line(In("w/tree/a_S1.csv")) + Line(In("w/tree/a_S2.csv")) +
                         Line(In("w/tree/sub/b_S1.csv")) + Line(In("w/tree/sub/b_S2.csv")));
    EXPECT_FALSE(fs::exists(dir / "w/tree/.cache"));
    for (const auto& [folder, entries] : {std::pair{"src", 3}, {"src/sub", 2}, {"src/.cache", 1}}) {
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / folder), fs::directory_iterator()),
                  entries)
            << folder;
        fs::permissions(dir / folder, fs::perms::owner_all, fs::perm_options::add);
    }

    // Two workbooks of one name from two folders: the second takes a number.
    Book("other/a.xls");
    r = Cli({"export", In("src"), In("other"), "--output-dir", In("w/both")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              Line(In("w/both/a.csv")) + Line(In("w/both/a_2.csv")) + Line(In("w/both/x.csv")));
    EXPECT_EQ(Cli({"export", In("src"), "-o", In("x.csv"), "--output-dir", In("w")}).status, 2);
}

// -o NAME: --separate writes NAME_S1.csv, --all-in-one NAME (NAME.csv without an
// extension); default names end in lower case in every mode; in a batch a name taken falls
// back to the workbook's whole name, and no workbook is skipped for its name.
TEST_F(CliOutputsTest, OutputNames) {
    const std::string book = Book("book.xls");
    struct TCase {
        std::vector<std::string> args;  // after "export" and the workbook
        std::vector<std::string> files;
    };
    const std::vector<TCase> cases = {
        {{"--separate", "-o", In("report")}, {"report_S1.csv", "report_S2.csv"}},
        {{"--all-in-one", "-o", In("all")}, {"all.csv"}},
        {{"--all-in-one", "--txt", "-o", In("All.TXT")}, {"All.TXT"}},
        {{}, {"book.csv"}},
        {{"--all-in-one", "--txt"}, {"book.txt"}},
        {{"--separate"}, {"book_S1.csv", "book_S2.csv"}},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args{"export", book};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string expected;
        for (const std::string& file : c.files)
            expected += Line(In(file));
        EXPECT_EQ(r.out, expected);
    }

    fs::create_directory(dir / "batch");
    Stream("batch/x.v2.xls",
           WorkbookStream({{"S", {{vorlix::rec::kNumber, NumberBody(0, 0, 0, 2)}}}}));
    Stream("batch/x.xls",
           WorkbookStream({{"S", {{vorlix::rec::kNumber, NumberBody(0, 0, 0, 1)}}}}));
    const CommandResult r = Cli({"export", In("batch"), "--txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line(In("batch/x.v2.txt")) + Line(In("batch/x.txt")));
    EXPECT_EQ(Content(dir / "batch/x.txt"), "1\r\n");
}

// --all-formulas gives the formula texts of the complete decoder: a power operator is
// beyond the common one, which leaves such a cell its value.
TEST_F(CliOutputsTest, AllFormulasGivesTheCompleteDecodersText) {
    const Bytes power = Body().u8(0x1E).u16(2).u8(0x1E).u16(3).u8(0x07);  // 2^3
    const Bytes formula = Body()
                              .u16(0)  // row
                              .u16(0)  // column
                              .u16(0)  // XF
                              .f64(8)  // cached result
                              .u16(0)  // options
                              .u32(0)
                              .u16(static_cast<std::uint32_t>(power.size()))
                              .bytes(power);
    const std::string book =
        Stream("f.xls", WorkbookStream({{"S", {{vorlix::rec::kFormula, formula}}}})).string();
    EXPECT_EQ(Cli({"export", book, "--formulas", "-o", "-"}).out, "\"8\"\r\n");
    EXPECT_EQ(Cli({"export", book, "--all-formulas", "-o", "-"}).out, "\"=2^3\"\r\n");

    const auto cell = [&](bool all) {
        std::vector<std::string> args = {"info", book, "--json", "--contents"};
        if (all) args.push_back("--all-formulas");
        return json::parse(Cli(args).out)["sheets"][0]["contents"][0];
    };
    EXPECT_FALSE(cell(false).contains("formula"));
    EXPECT_EQ(cell(true)["formula"], "2^3");
    const CommandResult hit = Cli({"search", "8", book, "--json", "--all-formulas"});
    EXPECT_EQ(json::parse(hit.out)["formula"], "2^3");
}
