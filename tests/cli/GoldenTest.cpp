// What vorlix-cli prints for the bundled examples, compared with the files of
// tests/golden. After an intended change, run the tests with VORLIX_UPDATE_GOLDEN=1 to write
// the files afresh, and review their diff like code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/cli/CliFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/XlsBuilder.h"

using namespace vorlix::test;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first lines where two texts differ, numbered, to show in a failure.
std::string LineDiff(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> a = Lines(expected), b = Lines(actual);
    std::ostringstream out;
    int shown = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) && shown < 8; ++i) {
        const std::string* x = i < a.size() ? &a[i] : nullptr;
        const std::string* y = i < b.size() ? &b[i] : nullptr;
        if (x != nullptr && y != nullptr && *x == *y) continue;
        out << "line " << i + 1 << "\n  golden: " << (x ? *x : "(none)")
            << "\n  now:    " << (y ? *y : "(none)") << '\n';
        ++shown;
    }
    if (a.size() != b.size()) out << a.size() << " golden lines, " << b.size() << " now\n";
    return out.str();
}

void ExpectGolden(const std::string& name, const std::string& actual) {
    const fs::path file = SourceDir() / "tests" / "golden" / name;
    const char* update = std::getenv("VORLIX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(file, std::ios::binary) << actual;
        return;
    }
    ASSERT_TRUE(fs::exists(file)) << file << " is missing: run with VORLIX_UPDATE_GOLDEN=1";
    const std::string expected = Slurp(file);
    EXPECT_TRUE(expected == actual) << name << " differs:\n" << LineDiff(expected, actual);
}

const std::vector<std::string> kExamples = {"sales", "inventory", "empty-and-odd"};

// The examples' workbooks, read where they are (other tests read them at the same time).
fs::path ExamplesFolder() {
    return SourceDir() / "examples";
}

fs::path ExampleFile(const std::string& name) {
    return ExamplesFolder() / (name + ".xls");
}

// Commands run with the C locale's regional settings, so the output is the same anywhere.
CommandResult RunInC(std::vector<std::string> args) {
    args.insert(args.end(), {"--locale", "C"});
    return Cli(args);
}

}  // namespace

TEST(GoldenTest, ReportOfEachExample) {
    for (const std::string& name : kExamples) {
        SCOPED_TRACE(name);
        const CommandResult r = RunInC({"info", "--contents", ExampleFile(name).string()});
        ASSERT_EQ(r.status, 0) << r.err;
        ExpectGolden(name + ".info.txt", r.out);
    }
}

TEST(GoldenTest, DumpOfEachExample) {
    for (const std::string& name : kExamples) {
        SCOPED_TRACE(name);
        const CommandResult r = Cli({"dump", ExampleFile(name).string()}, {"LC_ALL=C"});
        ASSERT_EQ(r.status, 0) << r.err;
        ExpectGolden(name + ".dump.json", r.out);
    }
}

TEST(GoldenTest, SearchOverTheExamplesFolder) {
    std::string all;
    for (const std::string text : {"Müller", "4", "needle-that-is-nowhere"}) {
        const CommandResult r = RunInC({"search", text, ExamplesFolder().string()});
        all += "$ search " + text + " (status " + std::to_string(r.status) + ")\n" + r.out;
    }
    ExpectGolden("search.txt", all);
}

// Every sheet to its own file, as CSV and as tab-separated text: the display texts.
TEST(GoldenTest, ExportOfEachExample) {
    for (const std::string& name : kExamples) {
        SCOPED_TRACE(name);
        std::string all;
        for (const std::string kind : {"--csv", "--txt"}) {
            TempDir dir;
            const fs::path out = dir / (name + ".out");
            const CommandResult r = RunInC(
                {"export", ExampleFile(name).string(), "--separate", kind, "-o", out.string()});
            ASSERT_EQ(r.status, 0) << r.err;
            std::vector<fs::path> files;
            for (const auto& e : fs::directory_iterator(dir.path()))
                files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& f : files)
                all += "=== " + f.filename().string() + "\n" + Slurp(f);
        }
        ExpectGolden(name + ".export.txt", all);
    }
}
