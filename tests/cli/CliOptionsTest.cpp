// vorlix-cli's JSON output, regular-expression and whole-word search, password sources,
// version, help, manual page and shell completion, run as a separate program.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
// GCC 12 reports members of its own <regex> automaton as maybe uninitialised when it
// optimises; they are not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <set>
#include <sstream>

#include "app/commands/Commands.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/TestPaths.h"

using namespace vorlix::test;
namespace fs = std::filesystem;
namespace app = vorlix::app;
using json = nlohmann::json;

namespace {

using CliOptionsTest = CliFolderTest;

const std::vector<std::string> kCommands = {"info", "search",  "export",
                                            "dump", "streams", "records"};

// The options a command's --help lists ("--json", "-o", ...), the help option aside.
std::set<std::string> HelpOptions(const std::string& command) {
    const CommandResult r = Cli({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    // Each option's line starts with its names: "  -o,--output TEXT  Output file ...".
    std::set<std::string> options;
    const std::regex names(R"(^  (-[^\s]+))");
    for (const std::string& line : Lines(r.out)) {
        std::smatch match;
        if (!std::regex_search(line, match, names)) continue;
        std::istringstream list(match[1].str());
        for (std::string name; std::getline(list, name, ',');) {
            if (name != "-h" && name != "--help") options.insert(name);
        }
    }
    return options;
}

std::string FileText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST_F(CliOptionsTest, InfoAndSearchAsJson) {
    const std::string book = Example("book.xls").string();
    CommandResult r = Cli({"info", book, "--json", "--contents", "--locale", "C"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json info = json::parse(r.out);
    EXPECT_EQ(info["file"], book);
    EXPECT_EQ(info["worksheets"], 2);
    ASSERT_EQ(info["sheets"].size(), 2u);
    EXPECT_EQ(info["sheets"][1]["name"], "Sheet2");
    EXPECT_EQ(info["sheets"][0]["cells"], 3);
    EXPECT_EQ(info["sheets"][0]["contents"][2],
              json({{"row", 3}, {"col", 1}, {"text", "2.5"}, {"value", 2.5}}));
    EXPECT_EQ(info["sheets"][0]["contents"][1]["value"], "abc");
    EXPECT_FALSE(json::parse(Cli({"info", book, "--json"}).out)["sheets"][0].contains("contents"));
    r = Cli({"info", TextFile("text.xls").string(), "--json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, Line(TextFileMessage("text.xls")));

    r = Cli({"search", "needle", book, "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> hits = Lines(r.out);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(
        json::parse(hits[1]),
        json({{"file", "book.xls"}, {"sheet", 2}, {"row", 2}, {"col", 2}, {"text", "a\tneedle"}}));
}

TEST_F(CliOptionsTest, SearchByRegularExpressionOrWholeWord) {
    const std::string book = Example("book.xls").string();
    struct TCase {
        std::vector<std::string> args;  // after "search"
        std::string out;
        int status;
    };
    const std::vector<TCase> cases = {
        {{"^n.*E$", book, "--regex"}, "book.xls\t2\t1\t1\tNeedle\n", 0},
        {{"^n.*E$", book, "--regex", "--case-sensitive"}, "", 1},
        {{"[0-9]\\.[0-9]", book, "--regex", "--match"}, "book.xls\t1\t3\t1\t2.5\n", 0},
        {{"needle", book, "--whole-word"},
         "book.xls\t2\t1\t1\tNeedle\nbook.xls\t2\t2\t2\ta\\x09needle\n",
         0},
        {{"need", book, "--whole-word"}, "", 1},
        {{"need\\w+", book, "--regex", "--whole-word"},
         "book.xls\t2\t1\t1\tNeedle\nbook.xls\t2\t2\t2\ta\\x09needle\n",
         0},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args{"search"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << ' ' << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
    }
    const CommandResult bad = Cli({"search", "(", book, "--regex"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.rfind("Invalid regular expression: ", 0), 0u) << bad.err;
}

TEST_F(CliOptionsTest, PasswordsStayOffTheCommandLine) {
    const std::string secret = Stream("secret.xls", EncryptedWorkbookStream(u"pa ss")).string();
    WriteFile(dir / "password", Body().ascii("pa ss\r\n"));
    const std::string report = "This file contains: 1 Worksheets\n";
    EXPECT_EQ(Cli({"info", secret, "--password-file", In("password")}).out.substr(0, 33), report);
    EXPECT_EQ(Cli({"info", secret}, {"VORLIX_PASSWORD=pa ss"}).out.substr(0, 33), report);
    EXPECT_EQ(Cli({"search", "1", secret, "--match"}, {"VORLIX_PASSWORD=pa ss"}).out,
              "secret.xls\t1\t1\t1\t1\n");
    EXPECT_EQ(Cli({"dump", secret, "--password-file", In("password")}).status, 0);
    // --password wins over the environment.
    EXPECT_EQ(Cli({"info", secret, "--password", "wrong"}, {"VORLIX_PASSWORD=pa ss"}).status, 2);

    CommandResult r = Cli({"info", secret, "--password-file", In("missing")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, Line("Cannot read the password file " + In("missing") +
                          ": No such file or directory"));
    EXPECT_EQ(Cli({"info", secret, "--password", "x", "--password-file", In("password")}).status,
              2);

    // At a terminal the password is asked for, and what is typed is not shown.
    r = RunInTerminal(VORLIX_CLI, {"info", secret}, "Password for secret.xls: ", "pa ss");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 33), report);
    const std::size_t prompt = r.err.find("Password for secret.xls: ");
    ASSERT_NE(prompt, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("pa ss", prompt), std::string::npos) << r.err;
    // A workbook that needs none is read without a question.
    r = RunInTerminal(VORLIX_CLI, {"info", Example("book.xls").string()}, "Password", "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("Password"), std::string::npos) << r.err;
}

TEST_F(CliOptionsTest, VersionHelpAndManualPage) {
    const CommandResult version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Line(std::string("vorlix-cli ") + VORLIX_VERSION));

    // Every option of every command is in the manual page, with the exit codes.
    std::string manual = FileText(SourceDir() / "docs" / "vorlix-cli.1");
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
    for (const std::string& command : kCommands) {
        const CommandResult help = Cli({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("Usage: vorlix-cli " + command), std::string::npos) << command;
        for (const std::string& option : HelpOptions(command))
            EXPECT_NE(manual.find(option), std::string::npos) << command << ' ' << option;
    }
    for (const char* status : {"EXIT STATUS", "VORLIX_PASSWORD"})
        EXPECT_NE(manual.find(status), std::string::npos) << status;
}

TEST_F(CliOptionsTest, ShellCompletionOffersEveryOption) {
    const fs::path bash = SourceDir() / "data" / "completion" / "vorlix-cli.bash";
    const std::string zsh = FileText(SourceDir() / "data" / "completion" / "_vorlix-cli");
    for (const std::string& command : kCommands) {
        std::set<std::string> wanted = HelpOptions(command);
        wanted.insert("--help");
        // What bash completes after "vorlix-cli COMMAND -".
        const CommandResult r =
            RunCommand("/bin/bash", {"-c",
                                     "source \"$0\"; COMP_WORDS=(vorlix-cli " + command +
                                         " -); COMP_CWORD=2; _vorlix_cli; printf '%s\\n' "
                                         "\"${COMPREPLY[@]}\"",
                                     bash.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> offered = Lines(r.out);
        EXPECT_EQ(std::set<std::string>(offered.begin(), offered.end()), wanted) << command;
        for (const std::string& option : wanted) {
            if (option.starts_with("--")) {
                EXPECT_NE(zsh.find(option + "["), std::string::npos) << command << ' ' << option;
            }
        }
    }
}

TEST(CliInstallTest, InstallPutsTheManualAndCompletionInPlace) {
    TempDir prefix;
    const CommandResult r = RunCommand(VORLIX_CMAKE, {"--install", VORLIX_BINARY_DIR, "--component",
                                                      "cli", "--prefix", prefix.path().string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char* file :
         {"bin/vorlix-cli", "share/man/man1/vorlix-cli.1",
          "share/bash-completion/completions/vorlix-cli", "share/zsh/site-functions/_vorlix-cli"})
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
}
