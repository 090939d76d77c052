// vorlix-cli info, search, export and images, run as a separate program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <nlohmann/json.hpp>

#include "app/commands/Commands.h"
#include "platform/RegionalSettings.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/DrawingBuilder.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"

using namespace vorlix::test;
namespace fs = std::filesystem;
namespace app = vorlix::app;

namespace {

using CliCommandsTest = CliFolderTest;

}  // namespace

TEST_F(CliCommandsTest, InfoPrintsTheReport) {
    const std::string book = Example("book.xls").string();
    CommandResult r = Cli({"info", book, "--locale", "C"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "This file contains: 2 Worksheets\n\nSheet 1 (named Sheet1) has 3 cells\n"
              "Sheet 2 (named Sheet2) has 2 cells\n");

    r = Cli({"info", "--contents", book, "--locale", "C"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{
                  "This file contains: 2 Worksheets", "", "Sheet 1 (named Sheet1) has 3 cells",
                  "Sheet 2 (named Sheet2) has 2 cells", "", "Sheet 1", "--------", "5; abc", "2.5",
                  "", "Sheet 2", "--------", "Needle", "a\tneedle", ""}));

    // The test run compiles de_DE.UTF-8 into the folder LOCPATH names; run by hand, the
    // test uses it only where it is installed.
    vorlix::platform::TRegionalSettings german;
    const char* compiledLocales = std::getenv("LOCPATH");
    if ((compiledLocales && *compiledLocales) ||
        vorlix::platform::TRegionalSettings::FromLocale("de_DE.UTF-8", german)) {
        r = Cli({"info", "--contents", "--locale", "de_DE.UTF-8", book});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(Lines(r.out).at(8), "2,5");
    }
}

TEST_F(CliCommandsTest, InfoRefusalsAndErrorsGoToStderr) {
    const std::string text = TextFile("text.xls").string();
    const std::string secret = Stream("secret.xls", EncryptedWorkbookStream(u"pw")).string();
    const std::string late = Stream("late.xls", LateFilePassStream()).string();
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"info", text}, Line(TextFileMessage("text.xls"))},
        {{"info", secret}, Line(app::kPasswordProtected)},
        {{"info", late, "--contents"}, "Error: file is protected, and password is invalid!\n"},
        {{"info", secret, "--locale", "xx_XX.nowhere"}, "Unknown locale: xx_XX.nowhere\n"},
    };
    for (const Case& c : cases) {
        const CommandResult r = Cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args[1];
        EXPECT_EQ(r.out, "") << c.args[1];
        EXPECT_EQ(r.err, c.message) << c.args[1];
    }
    const CommandResult opened = Cli({"info", secret, "--password", "pw"});
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(Lines(opened.out).at(2), "Sheet 1 (named Data) has 1 cell");
}

TEST_F(CliCommandsTest, SearchPrintsOneLinePerHitAndTellsByItsStatus) {
    const std::string book = Example("book.xls").string();
    CommandResult r = Cli({"search", "needle", book});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "book.xls\t2\t1\t1\tNeedle\nbook.xls\t2\t2\t2\ta\\x09needle\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Cli({"search", "needle", book, "--case-sensitive"}).out,
              "book.xls\t2\t2\t2\ta\\x09needle\n");
    EXPECT_EQ(Cli({"search", "NEEDLE", book, "--match"}).out, "book.xls\t2\t1\t1\tNeedle\n");

    // A folder is searched workbook by workbook; the password opens the encrypted one.
    Stream("secret.xls", EncryptedWorkbookStream(u"pw"));
    EXPECT_EQ(Cli({"search", "1", dir.path().string(), "--match", "--password", "pw"}).out,
              "secret.xls\t1\t1\t1\t1\n");

    r = Cli({"search", "2.50", book, "--locale", "C"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Line(app::kNoMatchFound));

    const std::vector<std::pair<std::string, std::string>> failures = {
        {TextFile("text.xls").string(), Line(TextFileMessage("text.xls"))},
        {(dir / "secret.xls").string(), Line(app::kPasswordProtected)},
        {Stream("late.xls", LateFilePassStream()).string(),
         "Error: file is protected, and password is invalid!\n"},
    };
    for (const auto& [file, message] : failures) {
        r = Cli({"search", "x", file});
        EXPECT_EQ(r.status, 2) << file;
        EXPECT_EQ(r.err, message);
    }
}

// A folder searched with several workbooks at once prints the same hits in the same order,
// also as JSON, and names the same workbooks that cannot be read.
TEST_F(CliCommandsTest, FolderSearchWithSeveralJobsPrintsAsOneAfterTheOther) {
    for (const bool readError : {false, true}) {
        EmptyFolder();
        MixedFolder(300, readError);
        for (const std::vector<std::string>& extra :
             {std::vector<std::string>{}, {"--json", "--case-sensitive"}, {"--match"}}) {
            std::vector<std::string> args = {"search", "needle", dir.path().string()};
            args.insert(args.end(), extra.begin(), extra.end());
            args.insert(args.end(), {"-j", "1"});
            const CommandResult sequential = Cli(args);
            EXPECT_EQ(sequential.status, 3) << sequential.err;
            for (const char* jobs : {"2", "5"}) {
                args.back() = jobs;
                const CommandResult parallel = Cli(args);
                EXPECT_EQ(parallel.status, sequential.status) << jobs;
                EXPECT_EQ(parallel.out, sequential.out) << jobs;
                EXPECT_EQ(parallel.err, sequential.err) << jobs;
            }
        }
    }
}

TEST_F(CliCommandsTest, ExportWritesFilesAndListsThem) {
    const fs::path book = Example("book.xls");
    const Bytes workbook = ReadFile(book);

    CommandResult r = Cli({"export", book.string(), "--locale", "C"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line((dir / "book.csv").string()));
    EXPECT_EQ(Content(dir / "book.csv"), "\"5\",\"abc\"\r\n\"\",\"\"\r\n\"2.50\",\"\"\r\n");

    r = Cli({"export", book.string(), "--separate", "--txt", "-o", (dir / "out.x").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line((dir / "out_S1.txt").string()) + Line((dir / "out_S2.txt").string()));

    r = Cli({"export", book.string(), "--all-in-one", "--txt"});
    EXPECT_EQ(r.out, Line((dir / "book.txt").string()));
    EXPECT_EQ(Content(dir / "book.txt"),
              "\r\nSheet 1\r\n5\tabc\r\n2.5\r\n\r\n\r\nSheet 2\r\nNeedle\r\n\"a\tneedle\"\r\n\r\n");

    // A folder: every readable workbook, beside itself; the workbooks stay as they are.
    Stream("secret.xls", EncryptedWorkbookStream(u"pw"));
    TextFile("text.xls");
    r = Cli({"export", dir.path().string(), "--one-sheet", "--txt"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, Line((dir / "book.txt").string()));
    // What was skipped, and why; no progress lines when stderr is no terminal.
    EXPECT_EQ(r.err,
              Line("Skipped " + In("secret.xls") + ": " + app::kPasswordProtected) +
                  Line("Skipped " + In("text.xls") + ": " + "a text file, not an Excel workbook"));
    EXPECT_EQ(Content(dir / "book.txt"), "5\tabc\r\n\t\r\n2.50\t\r\n");
    EXPECT_EQ(ReadFile(book), workbook);
}

TEST_F(CliCommandsTest, ExportRefusalsAndUsageErrors) {
    const fs::path book = Example("book.xls");
    struct Case {
        std::vector<std::string> args;
        std::string message;  // empty: only the status is checked
    };
    const std::vector<Case> cases = {
        {{"export", TextFile("text.xls").string()}, Line(TextFileMessage("text.xls"))},
        {{"export", Stream("secret.xls", EncryptedWorkbookStream(u"pw")).string()},
         Line(app::kPasswordProtected)},
        {{"export", dir.path().string(), "-o", "x.csv"},
         "An output name applies to one workbook, not to a folder or to several\n"},
        {{"export", book.string(), "--csv", "--txt"}, ""},
    };
    for (const Case& c : cases) {
        const CommandResult r = Cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        if (!c.message.empty()) {
            EXPECT_EQ(r.err, c.message);
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_EQ(ReadFile(dir / "text.xls"), Body().ascii("not a workbook").data());
}

TEST_F(CliCommandsTest, DumpShowsDisplayTexts) {
    const CommandResult r = Cli({"dump", Example("book.xls").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"display\": \"2.50\""), std::string::npos);
    EXPECT_NE(r.out.find("\"display\": \"abc\""), std::string::npos);
}

TEST_F(CliCommandsTest, DumpListsPicturesAndCommentsUnlessToldNot) {
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};
    RecordList records = PictureRecords(1, 1, Anchor{1, 512, 2, 0, 3, 0, 4, 0});
    const RecordList comment = CommentRecords(2, u"Hi", Anchor{0, 0, 0, 0, 2, 0, 1, 0}, false);
    records.insert(records.end(), comment.begin(), comment.end());
    records.push_back({vorlix::rec::kNote, NoteBody(2, 1, 2, u"Ann")});
    const std::string book =
        Stream("pictures.xls",
               WorkbookStream({{"Sheet1", records}}, {{vorlix::rec::kMsoDrawingGroup,
                                                       DrawingGroupBody({BseEntry(6, png)})}}))
            .string();

    CommandResult r = Cli({"dump", book});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json sheet = nlohmann::json::parse(r.out)["sheets"][0];
    EXPECT_EQ(sheet["images"], nlohmann::json::parse(R"([{
        "firstRow": 2, "firstCol": 1, "leftOffset": 32, "topOffset": 0, "width": 96,
        "height": 34, "type": 6, "size": 11,
        "sha256": "7f47b756761a46e6d4a4d96f0d8a4448f8449235009d1f3ad1493f5c773c19e8"}])"));
    EXPECT_EQ(sheet["comments"], nlohmann::json::parse(R"([{
        "row": 2, "col": 1, "author": "Ann", "text": "Hi", "width": 128, "height": 17,
        "richText": "1-2(color:000000;size:10;font:Arial;);"}])"));

    r = Cli({"dump", book, "--no-drawings"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json bare = nlohmann::json::parse(r.out)["sheets"][0];
    EXPECT_TRUE(bare["images"].empty());
    EXPECT_TRUE(bare["comments"].empty());
}

// The program's report and `info --contents` agree on every real-world workbook.
TEST(CliCorpusTest, InfoMatchesTheReport) {
    const std::vector<fs::path> corpus = CorpusFiles();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    // Read where they are, while other suites may read them too.
    const std::vector<fs::path>& files = corpus;
    vorlix::platform::TRegionalSettings cLocale;
    ASSERT_TRUE(vorlix::platform::TRegionalSettings::FromLocale("C", cLocale));
    const vorlix::platform::TRegionalSettings saved = vorlix::platform::RegionalSettings();
    vorlix::platform::SetRegionalSettings(cLocale);

    // The program starts once per file; a few run at a time.
    std::vector<CommandResult> got(files.size());
    constexpr std::size_t kParallel = 4;
    for (std::size_t first = 0; first < files.size(); first += kParallel) {
        std::vector<std::future<CommandResult>> runs;
        for (std::size_t i = first; i < std::min(first + kParallel, files.size()); ++i) {
            runs.push_back(std::async(std::launch::async, [&file = files[i]] {
                return Cli({"info", "--contents", "--locale", "C", file.string()});
            }));
        }
        for (std::size_t i = 0; i < runs.size(); ++i)
            got[first + i] = runs[i].get();
    }
    // It prints the report's lines, or the refusal or error with status 2.
    for (std::size_t i = 0; i < files.size(); ++i) {
        CommandResult want;
        try {
            const app::TReport report = app::FileInformation(files[i], true);
            want.status = report.Message.empty() ? 0 : 2;
            if (!report.Message.empty()) want.err = Line(report.Message);
            for (const std::string& warning : report.Warnings)
                want.err += Line(files[i].string() + ": warning: " + warning);
            for (const std::string& line : report.Lines)
                want.out += Line(line);
        } catch (const std::exception& error) {
            want.status = 2;
            want.err = Line(error.what());
        }
        EXPECT_EQ(got[i].status, want.status) << files[i].filename();
        EXPECT_EQ(got[i].out, want.out) << files[i].filename();
        EXPECT_EQ(got[i].err, want.err) << files[i].filename();
    }
    vorlix::platform::SetRegionalSettings(saved);
}

TEST_F(CliCommandsTest, ImagesWritesEveryPictureAndPrintsItsName) {
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2, 3};
    Bytes dib = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0};  // 1 x 1, 24 bits
    dib.resize(40, 0);
    dib.insert(dib.end(), {9, 9, 9, 0});  // the pixel, its row padded to 4 bytes
    RecordList records = PictureRecords(1, 1, Anchor{1, 0, 2, 0, 2, 0, 3, 0});
    for (const RecordList& more : {PictureRecords(2, 2, Anchor{0, 0, 0, 0, 1, 0, 1, 0}, false),
                                   PictureRecords(3, 3, Anchor{3, 0, 9, 0, 4, 0, 10, 0}, false)})
        records.insert(records.end(), more.begin(), more.end());
    const RecordList globals = {{vorlix::rec::kMsoDrawingGroup,
                                 DrawingGroupBody({BseEntry(kBlipPng, png), BseEntry(kBlipDib, dib),
                                                   BseEntry(kBlipJpeg, {1, 2, 3})})}};
    const fs::path book = Stream("pictures.xls", WorkbookStream({{"Q1/Q2", records}}, globals));
    const fs::path out = dir / "out";

    const CommandResult r = Cli({"images", book.string(), "-o", out.string()});

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Line((out / "Q1_Q2_B3_1.png").string()) +
                         Line((out / "Q1_Q2_A1_2.bmp").string()) +
                         Line((out / "Q1_Q2_D10_3.bin").string()));
    EXPECT_EQ(r.err,
              "Q1_Q2_D10_3.bin: the bytes do not start like a JPEG file; written as stored\n");
    EXPECT_EQ(ReadFile(out / "Q1_Q2_B3_1.png"), png);
    Bytes bmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    bmp.insert(bmp.end(), dib.begin(), dib.end());
    EXPECT_EQ(ReadFile(out / "Q1_Q2_A1_2.bmp"), bmp);
    EXPECT_EQ(ReadFile(out / "Q1_Q2_D10_3.bin"), (Bytes{1, 2, 3}));
}

TEST_F(CliCommandsTest, ImagesRefusesAsTheOtherCommandsDo) {
    const std::string book = Example("book.xls").string();
    CommandResult r = Cli({"images", book, "-o", In("out")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "The workbook has no pictures\n");
    EXPECT_FALSE(fs::exists(dir / "out"));

    const std::string secret = Stream("secret.xls", EncryptedWorkbookStream(u"pw")).string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"images", TextFile("text.xls").string()}, Line(TextFileMessage("text.xls"))},
        {{"images", In("missing.xls")}, Line(app::FileNotFoundMessage(In("missing.xls")))},
        {{"images", secret}, Line(app::kPasswordProtected)},
    };
    for (const auto& [args, message] : refusals) {
        r = Cli(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, message);
    }
    r = Cli({"images", secret, "--password", "pw"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "The workbook has no pictures\n");
}
