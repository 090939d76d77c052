// vorlix-cli where things go wrong around it: readers of one file at once, standard output
// that cannot be written, Ctrl-C during an export, files that are no workbook, and a
// workbook on standard input.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/read/TCFile.h"

using namespace vorlix::test;
namespace fs = std::filesystem;

namespace {

class CliRobustTest : public CliFolderTest {
  protected:
    CommandResult CliWith(const std::vector<std::string>& args, const RunOptions& options) {
        return RunCommandWith(VORLIX_CLI, args, options);
    }
    std::string Bytes(const fs::path& file) {
        const vorlix::test::Bytes b = ReadFile(file);
        return {b.begin(), b.end()};
    }
    // A workbook large enough that writing it takes a while: 65536 rows of 5 numbers.
    fs::path Large(const std::string& name) {
        RecordList cells;
        for (std::uint32_t row = 0; row < 65536; ++row) {
            for (std::uint16_t col = 0; col < 5; ++col)
                cells.push_back(
                    {vorlix::rec::kNumber,
                     NumberBody(static_cast<std::uint16_t>(row), col, 0, row * 10.0 + col + 0.25)});
        }
        return Stream(name, WorkbookStream({{"Sheet1", cells}}));
    }
    // The files of the folder whose names start with `prefix`.
    std::vector<std::string> Named(const std::string& prefix) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(prefix)) names.push_back(name);
        }
        return names;
    }
};

}  // namespace

// Two readers of one file at once: this process holds the workbook open while the program
// reads it, and a hard link beside it is found as its own workbook.
TEST_F(CliRobustTest, ReadersDoNotExcludeEachOther) {
    const fs::path book = Example("book.xls");
    fs::create_hard_link(book, dir / "link.xls");
    vorlix::TCFile held(vorlix::platform::FileNameToUtf16(book.string()), vorlix::cfOpen);
    const CommandResult info = Cli({"info", book.string()});
    EXPECT_EQ(info.status, 0) << info.err;
    const CommandResult found = Cli({"search", "needle", dir.path().string(), "--match"});
    EXPECT_EQ(found.out, "book.xls\t2\t1\t1\tNeedle\nlink.xls\t2\t1\t1\tNeedle\n") << found.err;
}

// Every command fails with status 2 and says so when standard output cannot be written.
TEST_F(CliRobustTest, WritesToStandardOutputAreChecked) {
    const std::string book = Example("book.xls").string();
    const std::vector<std::vector<std::string>> commands = {
        {"info", book},     {"dump", book},    {"search", "needle", book},
        {"records", book},  {"streams", book}, {"export", book, "-o", "-"},
        {"info", "--help"},
    };
    RunOptions full;
    full.OutputFile = "/dev/full";
    for (const auto& args : commands) {
        const CommandResult r = CliWith(args, full);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.err, "Cannot write to standard output: No space left on device\n") << args[0];
    }
}

// Ctrl-C (or SIGTERM) while a file is written: the partial file is removed, a file it was
// to replace stays as it was, and the status tells the signal.
TEST_F(CliRobustTest, AnInterruptedExportLeavesNothingHalfWritten) {
    const std::string book = Large("big.xls").string();
    WriteFile(dir / "kept.csv", Body().ascii("old"));
    for (const auto& [signal, target, status] :
         {std::tuple{SIGINT, "new.csv", 130}, std::tuple{SIGTERM, "kept.csv", 143}}) {
        RunOptions interrupt;
        interrupt.WhileRunning = [&, signal = signal, target = std::string(target)](pid_t pid) {
            // Once the file is being written beside its name, the signal comes.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (Named("." + target).empty() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            kill(pid, signal);
        };
        const CommandResult r = CliWith({"export", book, "-o", In(target)}, interrupt);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(r.err, "The export was cancelled.\n");
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(Named("." + std::string(target)).empty());
    }
    EXPECT_FALSE(fs::exists(dir / "new.csv"));
    EXPECT_EQ(Bytes(dir / "kept.csv"), "old");
}

// What is wrong with a file that is no workbook, in its own words; an unknown command.
TEST_F(CliRobustTest, MessagesNameTheFileAndWhatIsWrong) {
    fs::create_directory(dir / "folder.xls");
    WriteFile(dir / "empty.xls", {});
    WriteFile(dir / "page.xls", Body().ascii("<html><body><table><tr><td>1</td></tr></table>"));
    const vorlix::test::Bytes doc = ReadFile(Example("book.xls"));
    WriteFile(dir / "cut.xls", vorlix::test::Bytes(doc.begin(), doc.begin() + 1000));
    WriteFile(dir / "binary.xls", Body().u32(0x04034B50).zeros(100));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.xls", "File not found: " + In("missing.xls")},
        {"folder.xls", In("folder.xls") + " is a folder, not a workbook"},
        {"empty.xls", In("empty.xls") + " is empty"},
        {"text.xls", TextFileMessage("text.xls")},
        {"page.xls", In("page.xls") + " is an HTML file (a web page or a table saved as HTML), "
                                      "not an Excel workbook"},
        {"cut.xls", In("cut.xls") + " is cut short: its tables point beyond its end"},
        {"binary.xls", In("binary.xls") + " is a zip archive, not an Excel workbook"},
    };
    TextFile("text.xls");
    for (const auto& [name, message] : cases) {
        const CommandResult r = Cli({"info", In(name)});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.err, Line(message)) << name;
    }
    if (::geteuid() == 0) {  // as root, the program runs as a user that may not read it
        fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
        WriteWorkbook(dir / "private.xls", WorkbookStream(ExampleSheets()));
        fs::permissions(dir / "private.xls", fs::perms::owner_read | fs::perms::owner_write);
        const CommandResult r = CliUnprivileged({"info", In("private.xls")});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, Line("Cannot read file " + In("private.xls") + ": Permission denied"));
    }
    const CommandResult unknown = Cli({"bogus", "x.xls"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.starts_with("Unknown command: bogus (")) << unknown.err;
}

// "-" reads the workbook from standard input, piped or redirected, in every command.
TEST_F(CliRobustTest, StandardInputIsAWorkbook) {
    const fs::path book = Example("book.xls");
    RunOptions piped;
    piped.Input = Bytes(book);
    RunOptions redirected;
    redirected.InputFile = book.string();
    const std::string csv = Cli({"export", book.string(), "-o", "-"}).out;
    ASSERT_NE(csv, "");
    for (const RunOptions* input : {&piped, &redirected}) {
        EXPECT_EQ(CliWith({"info", "-"}, *input).out, Cli({"info", book.string()}).out);
        EXPECT_EQ(CliWith({"streams", "-"}, *input).out, Cli({"streams", book.string()}).out);
        EXPECT_EQ(CliWith({"records", "-"}, *input).out, Cli({"records", book.string()}).out);
        EXPECT_EQ(CliWith({"dump", "-"}, *input).out, Cli({"dump", book.string()}).out);
        EXPECT_EQ(CliWith({"export", "-", "-o", "-"}, *input).out, csv);
        EXPECT_EQ(CliWith({"search", "needle", "-", "--match"}, *input).out,
                  "-\t2\t1\t1\tNeedle\n");
    }
    EXPECT_EQ(CliWith({"export", "-", "-o", In("out.csv")}, piped).out, Line(In("out.csv")));
    EXPECT_EQ(Bytes(dir / "out.csv"), csv);

    const CommandResult unnamed = CliWith({"export", "-"}, piped);
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_TRUE(unnamed.err.starts_with("export - needs -o NAME")) << unnamed.err;
    RunOptions text;
    text.Input = "Name,Value\n";
    EXPECT_EQ(CliWith({"info", "-"}, text).err,
              "standard input is a CSV or other delimited text file, not an Excel workbook\n");
    EXPECT_EQ(Cli({"info", "-"}).err, "standard input is empty\n");  // /dev/null
}
