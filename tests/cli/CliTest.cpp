#include <gtest/gtest.h>

#include "tests/support/RunCommand.h"
#include "tests/support/XlsBuilder.h"

using namespace vorlix::test;

namespace {

CommandResult Cli(const std::vector<std::string>& args) {
    return RunCommand(VORLIX_CLI, args);
}

Bytes Filled(std::size_t n) {
    return Bytes(n, 0x41);
}

class CliTest : public ::testing::Test {
  protected:
    TempDir dir;
};

}  // namespace

TEST_F(CliTest, HelpListsTheCommands) {
    const CommandResult r = Cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("streams"), std::string::npos);
    EXPECT_NE(r.out.find("records"), std::string::npos);
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"frobnicate"}).status, 2);
}

TEST_F(CliTest, StreamsListsEveryElementDepthFirst) {
    const auto file = dir / "book.xls";
    WriteCompound(file, {{"Workbook", Filled(5000)},
                         {"\x05SummaryInformation", Filled(200)},
                         {"_VBA_PROJECT_CUR", {}, true},
                         {"_VBA_PROJECT_CUR/VBA", {}, true},
                         {"_VBA_PROJECT_CUR/VBA/dir", Filled(30)},
                         {"_VBA_PROJECT_CUR/PROJECT", Filled(12)},
                         {"Bl\xC3\xA4tter", Filled(1)}});
    const CommandResult r = Cli({"streams", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines = Lines(r.out);
    // Siblings come in the document's directory order; check the set and the nesting.
    ASSERT_EQ(lines.size(), 7u) << r.out;
    std::vector<std::string> sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{
                          "storage - _VBA_PROJECT_CUR",
                          "storage - _VBA_PROJECT_CUR/VBA",
                          "stream 1 Bl\xC3\xA4tter",
                          "stream 12 _VBA_PROJECT_CUR/PROJECT",
                          "stream 200 \\x05SummaryInformation",
                          "stream 30 _VBA_PROJECT_CUR/VBA/dir",
                          "stream 5000 Workbook",
                      }));
    // A storage is followed by its whole subtree.
    const auto at =
        std::find(lines.begin(), lines.end(), "storage - _VBA_PROJECT_CUR") - lines.begin();
    for (int k = 1; k <= 3; ++k) {
        EXPECT_NE(lines[at + k].find("_VBA_PROJECT_CUR/"), std::string::npos) << lines[at + k];
    }
}

TEST_F(CliTest, RecordsListsOffsetsIdsLengthsAndNames) {
    const auto file = dir / "book.xls";
    WriteWorkbook(file, BiffBuilder()
                            .Record(0x0809, Body().u16(0x0600).u16(5).zeros(12))
                            .Record(0x1234, Filled(1020))  // no name known; header straddles
                            .Record(0x00FC, Filled(8))
                            .Record(0x000A, {})
                            .Build());
    const CommandResult r = Cli({"records", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"0 0x0809 16 BOF", "20 0x1234 1020",
                                                      "1044 0x00FC 8 SST", "1056 0x000A 0 EOF"}));
}

TEST_F(CliTest, RecordsOfAnEncryptedWorkbookNeedNoPassword) {
    const auto file = dir / "secret.xls";
    WriteWorkbook(file, BiffBuilder()
                            .Record(0x0809, Body().u16(0x0600).u16(5).zeros(12))
                            .FilePass(u"pass")
                            .Record(0x0031, Filled(30))
                            .Record(0x000A, {})
                            .Build());
    const CommandResult r = Cli({"records", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"0 0x0809 16 BOF", "20 0x002F 54 FILEPASS",
                                                      "78 0x0031 30 FONT", "112 0x000A 0 EOF"}));
}

// A record whose handler wanted more bytes than the body holds shows where a file is
// damaged.
TEST_F(CliTest, RecordsMarksBodiesCutShort) {
    const auto file = dir / "short.xls";
    WriteWorkbook(file, BiffBuilder()
                            .Record(0x0809, Body().u16(0x0600).u16(5).zeros(12))
                            .Record(0x0085, Body().u32(0).u16(0).u8(1).u8(0).ascii("S"))
                            .Record(0x000A, {})
                            .Record(0x0809, Body().u16(0x0600).u16(0x10).zeros(12))
                            .Record(0x0203, Body().u16(0).u16(0).u16(0).u32(0))  // no double
                            .Record(0x000A, {})
                            .Build());
    const CommandResult r = Cli({"records", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{"0 0x0809 16 BOF", "20 0x0085 9 BOUNDSHEET",
                                        "33 0x000A 0 EOF", "37 0x0809 16 BOF",
                                        "57 0x0203 10 NUMBER SHORT", "71 0x000A 0 EOF"}));
}

TEST_F(CliTest, ErrorsGoToStderrWithStatusTwo) {
    const std::string missing = "File not found: " + (dir / "missing.xls").string() + "\n";
    const std::string text =
        (dir / "text.xls").string() + " is a text file, not an Excel workbook\n";
    WriteFile(dir / "text.xls", Body().ascii("hello"));
    WriteCompound(dir / "doc.xls", {{"Book", Filled(100)}});
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"streams", (dir / "missing.xls").string()}, missing},
        {{"records", (dir / "missing.xls").string()}, missing},
        {{"streams", (dir / "text.xls").string()}, text},
        {{"records", (dir / "text.xls").string()}, text},
        {{"records", (dir / "doc.xls").string()},
         "Stream not found: Workbook. File format is not Excel 97 or higher.\n"},
    };
    for (const Case& c : cases) {
        const CommandResult r = Cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0] << ' ' << c.args[1];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.message);
    }
    // The document without a Workbook stream is still a document.
    EXPECT_EQ(Cli({"streams", (dir / "doc.xls").string()}).out, "stream 100 Book\n");
}
