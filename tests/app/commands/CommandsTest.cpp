#include "app/commands/Commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/OrderedParallel.h"
#include "platform/RegionalSettings.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/DateTime.h"
#include "xls/model/Errors.h"

using namespace vorlix;
using namespace vorlix::app;
using namespace vorlix::test;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// XF positions of Formats(): General, built-in date 14, "0.00".
constexpr std::uint16_t kGeneralXF = 0;
constexpr std::uint16_t kDateXF = 1;
constexpr std::uint16_t kTwoDecimalsXF = 2;

RecordList Formats() {
    return {{rec::kFormat, FormatBody(164, "0.00")},
            {rec::kXf, XfBody(0, 0)},
            {rec::kXf, XfBody(0, 14)},
            {rec::kXf, XfBody(0, 164)}};
}

// 5 in A1, abc in B1, 2.5 in A3.
RecordList ExampleCells() {
    return {{rec::kNumber, NumberBody(0, 0, kGeneralXF, 5)},
            {rec::kLabel, LabelCellBody(0, 1, kGeneralXF, "abc")},
            {rec::kNumber, NumberBody(2, 0, kGeneralXF, 2.5)}};
}

double March1st2010At140509250() {
    return static_cast<double>(DaysFromDate(2010, 3, 1)) + (14 * 3600 + 5 * 60 + 9.25) / 86400.0;
}

// U.S. English regional settings while it lives; the former ones afterwards.
class UsSettings {
  public:
    UsSettings() { platform::SetRegionalSettings(platform::TRegionalSettings{}); }
    ~UsSettings() { platform::SetRegionalSettings(saved_); }
    UsSettings(const UsSettings&) = delete;
    UsSettings& operator=(const UsSettings&) = delete;

  private:
    const platform::TRegionalSettings saved_ = platform::RegionalSettings();
};

// Commands run on workbooks in a fresh folder, under U.S. English regional settings.
class CommandsTest : public FolderTest {
  protected:
    UsSettings settings_;

    fs::path Book(const std::string& name, const std::vector<SheetRecords>& sheets,
                  const RecordList& globals = Formats()) {
        return Stream(name, WorkbookStream(sheets, globals));
    }
    std::vector<std::string> FolderListing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

// --- Rendering ----------------------------------------------------------------------------

TEST_F(CommandsTest, RenderCellTextGivesTheRawValue) {
    const std::vector<std::pair<TCellValue, std::string>> cases = {
        {TCellValue::Number(1e20), "1E20"},
        {TCellValue::Number(0.00005), "5E-5"},
        {TCellValue::Number(0.0001), "0.0001"},
        {TCellValue::Number(123.45), "123.45"},
        {TCellValue::Number(1.0 / 3.0), "0.333333333333333"},
        {TCellValue::Integer(vkSmallInt, -7), "-7"},
        {TCellValue::Integer(vkByte, 200), "200"},
        {TCellValue::Single(0.5f), "0.5"},
        {TCellValue::DateTime(March1st2010At140509250()), "01.03.2010 14:05:09.250"},
        {TCellValue::Wide(u"\u00C4rger \"q\""), "\xC3\x84rger \"q\""},
        {TCellValue::Ansi("caf\xC3\xA9"), "caf\xC3\xA9"},
        // Kinds the raw rendering leaves empty, numbers among them.
        {TCellValue(), ""},
        {TCellValue::Boolean(true), ""},
        {TCellValue::Currency(12345), ""},
        {TCellValue::Integer(vkWord, 1), ""},
        {TCellValue::Integer(vkInt64, 1), ""},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(RenderCellText(cases[i].first), cases[i].second) << "case " << i;
}

TEST_F(CommandsTest, RenderingFollowsTheLocaleSeparators) {
    platform::TRegionalSettings german;
    german.DecimalSeparator = u',';
    german.ThousandSeparator = u'.';
    german.TimeSeparator = u'.';
    platform::SetRegionalSettings(german);
    EXPECT_EQ(RenderCellText(TCellValue::Number(123.45)), "123,45");
    EXPECT_EQ(RenderCellText(TCellValue::Number(1234567.5)), "1234567,5");
    EXPECT_EQ(RenderCellText(TCellValue::Number(1.5e20)), "1,5E20");
    EXPECT_EQ(RenderCellText(TCellValue::DateTime(March1st2010At140509250())),
              "01.03.2010 14.05.09.250");
}

// --- File information report --------------------------------------------------------------

TEST_F(CommandsTest, ReportOfTheExampleWorkbook) {
    const fs::path book = Book("book.xls", {{"Sheet1", ExampleCells()}});
    const TReport full = FileInformation(book, true);
    EXPECT_EQ(full.Message, "");
    EXPECT_EQ(full.Lines,
              (Lines{"This file contains: 1 Worksheets", "", "Sheet 1 (named Sheet1) has 3 cells",
                     "", "Sheet 1", "--------", "5; abc", "2.5", ""}));
    EXPECT_EQ(FileInformation(book, false).Lines, (Lines{"This file contains: 1 Worksheets", "",
                                                         "Sheet 1 (named Sheet1) has 3 cells"}));
}

TEST_F(CommandsTest, ReportCountsCellsPerSheet) {
    const fs::path empty = Book("empty.xls", {{"Sheet1", {}}});
    EXPECT_EQ(FileInformation(empty, true).Lines,
              (Lines{"This file contains: 1 Worksheets", "", "Sheet 1 (named Sheet1) is empty", "",
                     "Sheet 1", "--------", "", ""}));

    // One cell is singular; a sheet's first line is that of its first cell, whatever its
    // row; rows without cells give no line.
    const fs::path book =
        Book("book.xls", {{"One", {{rec::kLabel, LabelCellBody(1, 1, kGeneralXF, "x")}}},
                          {"Two",
                           {{rec::kNumber, NumberBody(3, 0, kGeneralXF, 1)},
                            {rec::kNumber, NumberBody(7, 2, kGeneralXF, 2)}}},
                          {"Bl\xE4tter", {}}});
    EXPECT_EQ(FileInformation(book, true).Lines,
              (Lines{"This file contains: 3 Worksheets", "", "Sheet 1 (named One) has 1 cell",
                     "Sheet 2 (named Two) has 2 cells", "Sheet 3 (named Bl\xC3\xA4tter) is empty",
                     "", "Sheet 1", "--------", "x", "", "Sheet 2", "--------", "1", "2", "",
                     "Sheet 3", "--------", "", ""}));
}

TEST_F(CommandsTest, ReportGivesBooleansAndFormattedEmptyCellsEmptyTexts) {
    const fs::path book = Book(
        "book.xls", {{"Sheet1",
                      {{rec::kBlank, BlankCellBody(1, 0, kTwoDecimalsXF)},
                       {rec::kBoolErr, BooleanCellBody(1, 1, kGeneralXF, true)},
                       {rec::kNumber, NumberBody(1, 2, kTwoDecimalsXF, 7)},
                       {rec::kNumber, NumberBody(2, 0, kDateXF, March1st2010At140509250())}}}});
    const TReport report = FileInformation(book, true);
    EXPECT_EQ(report.Lines[2], "Sheet 1 (named Sheet1) has 4 cells");
    EXPECT_EQ(Lines(report.Lines.begin() + 6, report.Lines.end()),
              (Lines{"; ; 7", "01.03.2010 14:05:09.250", ""}));
}

TEST_F(CommandsTest, ReportRefusesUnsupportedAndProtectedFiles) {
    WriteCompound(dir / "doc.xls", {{"Book", Bytes(100, 0)}});
    WriteFile(dir / "damaged.xls", DamagedCompoundBytes());
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {dir / "missing.xls", FileNotFoundMessage((dir / "missing.xls").string())},
        // The file's name and what is wrong with it, as the command line prints it.
        {dir / "damaged.xls",
         (dir / "damaged.xls").string() + ": the compound document is damaged: bad sector size"},
        {TextFile("text.xls"), TextFileMessage("text.xls")},
        {dir / "doc.xls", kOnlyExcel97},
        {Stream("secret.xls", EncryptedWorkbookStream(u"secret")), kPasswordProtected},
        {Stream("aes.xls", UnsupportedEncryptionStream()), kPasswordProtected},
    };
    for (const auto& [file, message] : cases) {
        const TReport report = FileInformation(file, true);
        EXPECT_EQ(report.Message, message) << file;
        EXPECT_TRUE(report.Lines.empty()) << file;
    }
    // With its password the encrypted workbook reads.
    const TReport opened = FileInformation(dir / "secret.xls", true, u"secret");
    EXPECT_EQ(opened.Message, "");
    EXPECT_EQ(opened.Lines.at(2), "Sheet 1 (named Data) has 1 cell");
}

TEST_F(CommandsTest, ReadErrorsReachTheCallerAndReleaseTheFile) {
    const fs::path book = Stream("late.xls", LateFilePassStream());
    EXPECT_THROW(FileInformation(book, false), Exception);
    // The workbook was closed on the way out.
    EXPECT_EQ(GetXLSFileVersion(U16Path(book)), 8);
}

// --- Text search ---------------------------------------------------------------------------

namespace {

struct SearchRun {
    TSearchOutcome outcome;
    std::vector<TSearchHit> hits;
    std::vector<int> numbers;  // k of each hit
    std::vector<std::string> filesDone;

    // Each hit as "file sheet row col text".
    Lines Rows() const {
        Lines rows;
        for (const TSearchHit& h : hits) {
            rows.push_back(h.File + ' ' + std::to_string(h.Sheet) + ' ' + std::to_string(h.Row) +
                           ' ' + std::to_string(h.Col) + ' ' + h.Text);
        }
        return rows;
    }
    Lines Texts() const {
        Lines texts;
        for (const TSearchHit& hit : hits)
            texts.push_back(hit.Text);
        return texts;
    }
};

TSearchOptions Options(const std::string& text, bool match = false, bool caseSensitive = false) {
    TSearchOptions options;
    options.Text = text;
    options.Match = match;
    options.CaseSensitive = caseSensitive;
    return options;
}

SearchRun SearchFile(const fs::path& file, const TSearchOptions& options) {
    SearchRun run;
    run.outcome = SearchThisFile(file, options, [&run](const TSearchHit& hit, int k) {
        run.hits.push_back(hit);
        run.numbers.push_back(k);
    });
    return run;
}

SearchRun SearchFolder(const fs::path& folder, const TSearchOptions& options) {
    SearchRun run;
    run.outcome = SearchDirectory(
        folder, options,
        [&run](const TSearchHit& hit, int k) {
            run.hits.push_back(hit);
            run.numbers.push_back(k);
        },
        [&run](const std::string& name) { run.filesDone.push_back(name); });
    return run;
}

}  // namespace

// A folder of 10,000 files, most of them not workbooks at all: every one is looked at, in
// name order, and the one workbook among them is searched.
TEST_F(CommandsTest, SearchGoesThroughAFolderOfTenThousandFiles) {
    for (int i = 0; i < 9999; ++i) {
        const std::string number = std::to_string(10000 + i).substr(1);  // 0000 to 9998
        WriteFile(dir / ("f" + number + ".xls"), Bytes(i % 2 == 0 ? 0 : 600, 'x'));
    }
    Book("f5000a.xls", {{"S", {{rec::kLabel, LabelCellBody(3, 1, kGeneralXF, "needle")}}}});
    const SearchRun run = SearchFolder(dir.path(), Options("needle"));
    EXPECT_EQ(run.filesDone.size(), 10000u);
    EXPECT_EQ(run.filesDone[5001], "f5000a.xls");
    EXPECT_EQ(run.Texts(), (Lines{"needle"}));
    EXPECT_TRUE(run.outcome.Message.empty());
}

TEST_F(CommandsTest, MatchTestWithAnEmptyText) {
    EXPECT_FALSE(CellMatches("anything", "", Options("")));  // never included
    EXPECT_FALSE(CellMatches("", "", Options("")));
    EXPECT_TRUE(CellMatches("", "", Options("", true)));  // but equal to an empty cell text
}

TEST_F(CommandsTest, SearchComparesByTheCaseRule) {
    const fs::path book =
        Book("book.xls", {{"Sheet1",
                           {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "xABCx")},
                            {rec::kLabel, LabelCellBody(1, 0, kGeneralXF, "abc")},
                            {rec::kLabel, LabelCellBody(2, 0, kGeneralXF, "ab c")},
                            {rec::kLabel, LabelCellBody(3, 0, kGeneralXF, "caf\xE9")},
                            {rec::kLabel, WideLabelCellBody(4, 0, kGeneralXF, u"CAF\u00C9")}}}});
    EXPECT_EQ(SearchFile(book, Options("abc")).Texts(), (Lines{"xABCx", "abc"}));
    EXPECT_EQ(SearchFile(book, Options("abc", false, true)).Texts(), (Lines{"abc"}));
    // Accented letters follow the case rule too; case-sensitive they are compared as typed.
    for (const char* typed : {"café", "CAFÉ", "Caf"})
        EXPECT_EQ(SearchFile(book, Options(typed)).Texts(), (Lines{"café", "CAFÉ"}));
    EXPECT_EQ(SearchFile(book, Options("CAFÉ", false, true)).Texts(), (Lines{"CAFÉ"}));
    EXPECT_EQ(SearchFile(book, Options("ABC", true)).Texts(), (Lines{"abc"}));
}

TEST_F(CommandsTest, CaseInsensitiveSearchFoldsEveryLetterByItsUnicodeCase) {
    struct TCase {
        const char* cell;
        const char* typed;
        bool match;        // whole text, else "includes"
        bool insensitive;  // found with "Case Sensitive" off
        bool sensitive;    // found with it on
    };
    const TCase cases[] = {
        {"Müller GmbH", "MÜLLER", false, true, false},
        {"ΩMEGA", "Ωmega", true, true, false},
        {"ωmega", "ΩMEGA", true, true, false},
        {"ΟΔΟΣ", "οδος", true, true, false},  // final sigma
        {"МОСКВА", "моск", false, true, false},
        {"Œuvre", "œUVRE", true, true, false},
        {"Straße", "STRAẞE", true, true, false},
        {"10 \u212A", "10 k", true, true, false},  // Kelvin sign
        {"𐐀", "𐐨", true, true, false},             // beyond 16 bits
        {"Müller", "Müller", true, true, true},
        {"Müller", "MULLER", false, false, false},  // no letter loses its accent
        {"café", "CAFE", false, false, false},
        // Bytes that are not UTF-8 stay as they are and still match themselves.
        {"a\xFF", "A\xFF", true, true, false},
        {"a\xFF", "a\xFE", true, false, false},
    };
    for (const TCase& c : cases) {
        for (const bool caseSensitive : {false, true}) {
            const TSearchOptions options = Options(c.typed, c.match, caseSensitive);
            EXPECT_EQ(CellMatches(c.cell, SearchTextFor(c.typed, caseSensitive), options),
                      caseSensitive ? c.sensitive : c.insensitive)
                << c.cell << " / " << c.typed << (caseSensitive ? " (case sensitive)" : "");
        }
    }
    // The cell's text is listed as it is, not folded.
    const fs::path book = Book(
        "book.xls", {{"Sheet1", {{rec::kLabel, WideLabelCellBody(0, 0, kGeneralXF, u"ΩMEGA")}}}});
    EXPECT_EQ(SearchFile(book, Options("ωmega", true)).Texts(), (Lines{"ΩMEGA"}));
}

TEST_F(CommandsTest, RegularExpressionsAndWholeWords) {
    struct TCase {
        const char* cell;
        const char* pattern;
        bool regex;
        bool wholeWord;
        bool match;  // the whole text
        bool caseSensitive;
        bool found;
    };
    const TCase cases[] = {
        {"Order 1234 shipped", "\\d{4}", true, false, false, false, true},
        {"Order 1234 shipped", "^\\d+$", true, false, false, false, false},
        {"1234", "\\d+", true, false, true, false, true},
        {"12a34", "\\d+", true, false, true, false, false},
        // A "." stands for one character, and letters compare by their Unicode case.
        {"MÜLLER GmbH", "m.ller", true, false, false, false, true},
        {"MÜLLER GmbH", "m.ller", true, false, false, true, false},
        {"ΩMEGA", "ωmega", true, false, true, false, true},
        {"a.b", "a.b", false, false, true, false, true},  // without --regex a "." is a "."
        {"axb", "a.b", false, true, false, false, false},
        // Whole words: no letter, digit or "_" may touch the match.
        {"cat catalog", "CAT", false, true, false, false, true},
        {"catalog", "cat", false, true, false, false, false},
        {"concat", "cat", false, true, false, false, false},
        {"a_cat", "cat", false, true, false, false, false},
        {"äcat", "cat", false, true, false, false, false},
        {"x-ray 2", "ray", false, true, false, false, true},
        {"MÜLLER", "müller", false, true, false, false, true},
        {"scatter catalog", "cat\\w*", true, true, false, false, true},
        {"scatter", "cat\\w*", true, true, false, false, false},
    };
    for (const TCase& c : cases) {
        const auto matcher =
            PatternMatcher(c.pattern, c.regex, c.wholeWord, c.match, c.caseSensitive);
        TSearchOptions options = Options(c.pattern, c.match, c.caseSensitive);
        options.Matcher = matcher;
        EXPECT_EQ(CellMatches(c.cell, c.pattern, options), c.found) << c.cell << " / " << c.pattern;
    }
    EXPECT_THROW(PatternMatcher("(unclosed", true, false, false, false), std::regex_error);
}

TEST_F(CommandsTest, SearchUsesThePlainRenderingOfNumbers) {
    const fs::path book =
        Book("book.xls", {{"Sheet1",
                           {{rec::kNumber, NumberBody(0, 0, kGeneralXF, 2.5)},
                            {rec::kNumber, NumberBody(1, 0, kTwoDecimalsXF, 2.5)},
                            {rec::kNumber, NumberBody(2, 0, kGeneralXF, 12.5)}}}});
    const SearchRun run = SearchFile(book, Options("2.5", true));
    EXPECT_EQ(run.Texts(), (Lines{"2.5", "2.5"}));
    EXPECT_EQ(run.outcome.Hits, 2);
    EXPECT_EQ(run.outcome.Message, "");
    // The text the format would show is not searched.
    const SearchRun formatted = SearchFile(book, Options("2.50", true));
    EXPECT_TRUE(formatted.hits.empty());
    EXPECT_EQ(formatted.outcome.Message, kNoMatchFound);
}

TEST_F(CommandsTest, HitsGiveOneBasedPositions) {
    const fs::path book =
        Book("book.xls", {{"First", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "other")}}},
                          {"Second",
                           {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "Needle")},
                            {rec::kLabel, LabelCellBody(4, 2, kGeneralXF, "a needle")}}}});
    const SearchRun run = SearchFile(book, Options("needle"));
    EXPECT_EQ(run.Rows(), (Lines{"book.xls 2 1 1 Needle", "book.xls 2 5 3 a needle"}));
    EXPECT_EQ(run.numbers, (std::vector<int>{1, 2}));
}

TEST_F(CommandsTest, SearchThisFileOutcomes) {
    const SearchRun unsupported = SearchFile(TextFile("text.xls"), Options("a"));
    EXPECT_EQ(unsupported.outcome.Message, TextFileMessage("text.xls"));
    EXPECT_EQ(SearchFile(dir / "gone.xls", Options("a")).outcome.Message,
              FileNotFoundMessage((dir / "gone.xls").string()));
    // A protected workbook ends the search without a word, not even "No match found".
    const fs::path secret = Stream("secret.xls", EncryptedWorkbookStream(u"pw"));
    const SearchRun protectedRun = SearchFile(secret, Options("1"));
    EXPECT_EQ(protectedRun.outcome.Message, "");
    EXPECT_EQ(protectedRun.outcome.Hits, 0);
    // Its password opens it.
    TSearchOptions withPassword = Options("1");
    withPassword.Password = u"pw";
    EXPECT_EQ(SearchFile(secret, withPassword).Texts(), (Lines{"1"}));
    // A read error reaches the caller before any hit.
    const fs::path late = Stream("late.xls", LateFilePassStream());
    EXPECT_THROW(SearchFile(late, Options("1")), Exception);
}

// Workbooks that cannot be searched are named with their reasons, and the search goes on
// past them (a read error too); hidden workbooks are left out as in the window's list.
TEST_F(CommandsTest, SearchDirectoryCountsAcrossWorkbooksInNameOrder) {
    const auto oneText = [](const std::string& text) {
        return std::vector<SheetRecords>{
            {"Sheet1", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, text)}}}};
    };
    Book("b.xls", oneText("apple pie"));
    Book("A.XLS", oneText("apple"));
    Stream("c.xls", EncryptedWorkbookStream(u"pw"));
    Stream("d.xls", UnsupportedEncryptionStream());
    TextFile("e.xls");
    Book("f.xlsx", oneText("apple"));  // not an .xls name
    fs::create_directory(dir / "g.xls");
    Stream("h-late.xls", LateFilePassStream());
    Book("i.xls", oneText("apple"));
    Book(".hidden.xls", oneText("apple"));

    const SearchRun run = SearchFolder(dir.path(), Options("APPLE"));
    EXPECT_EQ(run.Rows(),
              (Lines{"A.XLS 1 1 1 apple", "b.xls 1 1 1 apple pie", "i.xls 1 1 1 apple"}));
    EXPECT_EQ(run.numbers, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(run.outcome.Message, "");
    EXPECT_EQ(run.filesDone,
              (Lines{"A.XLS", "b.xls", "c.xls", "d.xls", "e.xls", "h-late.xls", "i.xls"}));
    ASSERT_EQ(run.outcome.Skipped.size(), 4u);
    EXPECT_EQ(run.outcome.Skipped[3].File, dir / "h-late.xls");
    EXPECT_EQ(SearchSummary(run.outcome),
              std::string("Not searched:\nc.xls: ") + kPasswordProtected +
                  "\nd.xls: " + kPasswordProtected + "\ne.xls: a text file, not an Excel workbook" +
                  "\nh-late.xls: " + run.outcome.Skipped[3].Reason);

    // A password opens the workbooks encrypted with it.
    TSearchOptions withPassword = Options("1");
    withPassword.Password = u"pw";
    const SearchRun opened = SearchFolder(dir.path(), withPassword);
    EXPECT_EQ(opened.Rows(), (Lines{"c.xls 1 1 1 1"}));
    EXPECT_EQ(opened.outcome.Skipped.size(), 3u);  // d.xls's scheme, e.xls, h-late.xls
}

TEST_F(CommandsTest, SearchDirectoryWithoutReadableWorkbook) {
    // A folder that cannot be listed says so instead of finding nothing.
    EXPECT_EQ(SearchFolder(dir / "missing", Options("x")).outcome.Message,
              "Cannot read folder " + (dir / "missing").string() + ": No such file or directory");
    Stream("c.xls", EncryptedWorkbookStream(u"pw"));
    TextFile("e.xls");
    const SearchRun run = SearchFolder(dir.path(), Options("1"));
    EXPECT_EQ(run.outcome.Hits, 0);
    EXPECT_EQ(SearchSummary(run.outcome), std::string(kNoMatchFound) +
                                              "\n\nNot searched:\nc.xls: " + kPasswordProtected +
                                              "\ne.xls: a text file, not an Excel workbook");
}

// --- Export --------------------------------------------------------------------------------

TEST_F(CommandsTest, OutputNames) {
    EXPECT_EQ(OutputNameFor("sales.final.xls", tkCSV), "sales.CSV");
    EXPECT_EQ(OutputNameFor("book", tkTXT), "TXT");
    EXPECT_EQ(OutputNameFor("", tkCSV), "");
    EXPECT_EQ(SwitchOutputType("data.CSV", tkTXT), "data.TXT");
    EXPECT_EQ(SwitchOutputType("data.TXT", tkCSV), "data.CSV");
    EXPECT_EQ(SwitchOutputType("", tkTXT), "");

    EXPECT_EQ(ExportFileName("Book1.CSV", TExportMode::OneSheet, tkTXT), "Book1.CSV");
    EXPECT_EQ(ExportFileName("Book1.CSV", TExportMode::SeparateFiles, tkCSV, 3), "Book1_S3.csv");
    EXPECT_EQ(ExportFileName("Book1.CSV", TExportMode::SeparateFiles, tkTXT, 12), "Book1_S12.txt");
    EXPECT_EQ(ExportFileName("Book1.CSV", TExportMode::OneFile, tkCSV), "Book1.csv");
    EXPECT_EQ(ExportFileName("Book1.CSV", TExportMode::OneFile, tkTXT), "Book1.txt");
    EXPECT_EQ(ExportFileName("a.b.CSV", TExportMode::OneFile, tkTXT), "a.txt");
    // Without a ".": nothing before the suffix.
    EXPECT_EQ(ExportFileName("Book1", TExportMode::SeparateFiles, tkCSV, 1), "_S1.csv");
    EXPECT_EQ(ExportFileName("Book1", TExportMode::OneFile, tkCSV), "csv");
    // A dot in a folder's name does not count.
    EXPECT_EQ(ExportFileName("/tmp/v1.2/Book1.CSV", TExportMode::SeparateFiles, tkCSV, 2),
              "/tmp/v1.2/Book1_S2.csv");
    EXPECT_EQ(ExportFileName("/tmp/v1.2/Book1", TExportMode::OneFile, tkTXT), "/tmp/v1.2/txt");
    EXPECT_EQ(OutputNameFor("/tmp/v1.2/book.xls", tkCSV), "/tmp/v1.2/book.CSV");

    // A name taken as given (the command line's -o).
    EXPECT_EQ(GivenExportFileName("out/my.data.csv", TExportMode::SeparateFiles, tkTXT, 2),
              "out/my.data_S2.txt");
    EXPECT_EQ(GivenExportFileName("report", TExportMode::SeparateFiles, tkCSV, 1), "report_S1.csv");
    EXPECT_EQ(GivenExportFileName("report", TExportMode::OneFile, tkCSV), "report.csv");
    EXPECT_EQ(GivenExportFileName("v1.2/All.TXT", TExportMode::OneFile, tkCSV), "v1.2/All.TXT");
    EXPECT_EQ(GivenExportFileName("report", TExportMode::OneSheet, tkCSV), "report");
    EXPECT_EQ(ExportStem("x.v2.xls"), "x");
    EXPECT_EQ(ExportStem(".hidden.xls"), ".hidden");
    EXPECT_EQ(ExportStem("book"), "book");
}

TEST_F(CommandsTest, OneFileWriterListsCellsRowByRow) {
    const fs::path book = Book("book.xls", {{"Sheet1", ExampleCells()}, {"Empty", {}}});
    const std::string output = (dir / "Book1.CSV").string();
    const TExportOutcome csv = ExportFile(book, TExportMode::OneFile, tkCSV, output);
    EXPECT_EQ(csv.Message, kExportDone);
    ASSERT_EQ(csv.Files, (std::vector<fs::path>{dir / "Book1.csv"}));
    EXPECT_EQ(Content(dir / "Book1.csv"),
              "\r\nSheet 1\r\n5,abc\r\n2.5\r\n\r\n"
              "\r\nSheet 2\r\n\r\n\r\n");

    const TExportOutcome txt = ExportFile(book, TExportMode::OneFile, tkTXT, output);
    ASSERT_EQ(txt.Files, (std::vector<fs::path>{dir / "Book1.txt"}));
    EXPECT_EQ(Content(dir / "Book1.txt"),
              "\r\nSheet 1\r\n5\tabc\r\n2.5\r\n\r\n"
              "\r\nSheet 2\r\n\r\n\r\n");
}

TEST_F(CommandsTest, OneFileWriterQuotesOnlyFieldsThatWouldSplitTheLine) {
    const fs::path book =
        Book("book.xls", {{"Sheet1",
                           {{rec::kLabel, LabelCellBody(1, 0, kGeneralXF, "a,b")},
                            {rec::kBlank, BlankCellBody(1, 1, kTwoDecimalsXF)},
                            {rec::kLabel, LabelCellBody(1, 2, kGeneralXF, "say \"hi\"")},
                            {rec::kLabel, LabelCellBody(1, 3, kGeneralXF, "two\nlines")},
                            {rec::kLabel, LabelCellBody(1, 4, kGeneralXF, "tab\there")},
                            {rec::kNumber, NumberBody(1, 5, kGeneralXF, 1.5)},
                            {rec::kLabel, LabelCellBody(1, 6, kGeneralXF, "\"q\" first")}}}});
    const std::string output = (dir / "out.x").string();
    ExportFile(book, TExportMode::OneFile, tkCSV, output);
    EXPECT_EQ(Content(dir / "out.csv"),
              "\r\nSheet 1\r\n\"a,b\",,\"say \"\"hi\"\"\",\"two\nlines\",tab\there,1.5,"
              "\"\"\"q\"\" first\"\r\n\r\n");
    // Tab separated: a field that begins with a double quote is quoted, one that holds one
    // further on is not.
    ExportFile(book, TExportMode::OneFile, tkTXT, output);
    EXPECT_EQ(Content(dir / "out.txt"),
              "\r\nSheet 1\r\na,b\t\tsay \"hi\"\t\"two\nlines\"\t\"tab\there\"\t1.5\t"
              "\"\"\"q\"\" first\"\r\n\r\n");
}

TEST_F(CommandsTest, OneFileWriterRaisesWhenItCannotCreateTheFile) {
    EXPECT_THROW(WriteOneFile(TWorkbook(1), dir / "missing" / "out.csv", tkCSV), Exception);
}

TEST_F(CommandsTest, SheetModesWriteFormattedTextsAndSkipEmptySheets) {
    const fs::path book =
        Book("book.xls", {{"One", {{rec::kNumber, NumberBody(0, 0, kTwoDecimalsXF, 3.5)}}},
                          {"Two", {}},
                          {"Three", {{rec::kLabel, LabelCellBody(1, 1, kGeneralXF, "x")}}}});
    const std::string output = (dir / "Book1.CSV").string();
    const TExportOutcome separate = ExportFile(book, TExportMode::SeparateFiles, tkCSV, output);
    EXPECT_EQ(separate.Message, kExportDone);
    EXPECT_EQ(separate.Files, (std::vector<fs::path>{dir / "Book1_S1.csv", dir / "Book1_S3.csv"}));
    EXPECT_EQ(Content(dir / "Book1_S1.csv"), "\"3.50\"\r\n");
    EXPECT_EQ(Content(dir / "Book1_S3.csv"), "\"x\"\r\n");

    const TExportOutcome one = ExportFile(book, TExportMode::OneSheet, tkTXT, output);
    EXPECT_EQ(one.Files, (std::vector<fs::path>{dir / "Book1.CSV"}));
    EXPECT_EQ(Content(dir / "Book1.CSV"), "3.50\r\n");
    EXPECT_EQ(FolderListing(), (Lines{"Book1.CSV", "Book1_S1.csv", "Book1_S3.csv", "book.xls"}));

    // An empty first sheet gives no file; the export ends saying so, not "File(s) Created".
    const fs::path emptyFirst = Book("empty.xls", {{"Two", {}}});
    const TExportOutcome none =
        ExportFile(emptyFirst, TExportMode::OneSheet, tkCSV, (dir / "none.CSV").string());
    EXPECT_TRUE(none.Files.empty());
    EXPECT_TRUE(none.Done);
    EXPECT_EQ(none.Message, kNoCellsToWrite);
    EXPECT_FALSE(fs::exists(dir / "none.CSV"));
}

TEST_F(CommandsTest, ExportOfAWorkbookWithoutSheetsFailsForOneSheet) {
    const fs::path book = Book("nosheets.xls", {});
    try {
        ExportFile(book, TExportMode::OneSheet, tkCSV, (dir / "x.CSV").string());
        ADD_FAILURE() << "no error";
    } catch (const ERangeError& e) {
        EXPECT_EQ(std::string(e.what()), "List index (0) out of bounds !");
    }
    EXPECT_TRUE(ExportFile(book, TExportMode::SeparateFiles, tkCSV, (dir / "x.CSV").string())
                    .Files.empty());
}

TEST_F(CommandsTest, ExportRefusesUnsupportedAndProtectedWorkbooks) {
    const fs::path text = TextFile("text.xls");
    const fs::path secret = Stream("secret.xls", EncryptedWorkbookStream(u"pw"));
    const fs::path aesBook = Stream("aes.xls", UnsupportedEncryptionStream());
    const std::string output = (dir / "out.CSV").string();
    EXPECT_EQ(ExportFile(text, TExportMode::OneFile, tkCSV, output).Message,
              TextFileMessage("text.xls"));
    EXPECT_EQ(ExportFile(secret, TExportMode::OneFile, tkCSV, output).Message, kPasswordProtected);
    EXPECT_EQ(ExportFile(aesBook, TExportMode::OneFile, tkCSV, output).Message, kPasswordProtected);
    EXPECT_EQ(FolderListing(), (Lines{"aes.xls", "secret.xls", "text.xls"}));

    const TExportOutcome opened = ExportFile(secret, TExportMode::OneSheet, tkCSV, output, u"pw");
    EXPECT_EQ(opened.Files, (std::vector<fs::path>{output}));
    EXPECT_EQ(Content(output), "\"1\"\r\n");
}

TEST_F(CommandsTest, ExportNeverWritesOverAWorkbookOrCompoundDocument) {
    const fs::path book = Book("book.xls", {{"Sheet1", ExampleCells()}, {"Two", ExampleCells()}});
    Book("other.XLS", {{"Sheet1", {}}});
    WriteCompound(dir / "notes.doc", {{"WordDocument", Bytes(600, 1)}});
    Book("data.csv", {{"Sheet1", ExampleCells()}});  // a workbook under a text file's name
    WriteFile(dir / "old.xls", Body().ascii("plain text"));
    std::map<std::string, Bytes> before;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        before[entry.path().filename().string()] = ReadFile(entry.path());

    struct TCase {
        TExportMode mode;
        std::string output;  // in the folder
        std::string refused;
    };
    const std::string workbook = ": it is an Excel workbook";
    const std::string compound = ": it is a compound document (a workbook or another office file)";
    const std::vector<TCase> cases = {
        {TExportMode::OneSheet, "book.xls", workbook},   // itself
        {TExportMode::OneSheet, "other.XLS", workbook},  // another workbook
        {TExportMode::OneSheet, "old.xls", ": it has the name of an Excel workbook"},
        {TExportMode::OneSheet, "notes.doc", compound},  // any compound document
        {TExportMode::OneFile, "data.x", compound},      // data.csv
        {TExportMode::SeparateFiles, "old.x", ""},       // old_S1.csv, old_S2.csv are new
    };
    for (const TCase& c : cases) {
        const TExportOutcome outcome = ExportFile(book, c.mode, tkCSV, (dir / c.output).string());
        if (c.refused.empty()) {
            EXPECT_EQ(outcome.Message, kExportDone) << c.output;
            continue;
        }
        const fs::path target = dir / ExportFileName(c.output, c.mode, tkCSV);
        EXPECT_EQ(outcome.Message, "Cannot write file " + target.string() + c.refused);
        EXPECT_FALSE(outcome.Done);
        EXPECT_TRUE(outcome.Files.empty());
    }
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(ReadFile(dir / name), bytes) << name;

    // "Separate Files" checks every file before it writes the first.
    Book("two_S2.csv", {{"Sheet1", {}}});
    const TExportOutcome separate =
        ExportFile(book, TExportMode::SeparateFiles, tkCSV, (dir / "two.x").string());
    EXPECT_EQ(separate.Message, "Cannot write file " + (dir / "two_S2.csv").string() + compound);
    EXPECT_FALSE(fs::exists(dir / "two_S1.csv"));
}

TEST_F(CommandsTest, ReplacingExistingFilesIsAskedFirst) {
    const fs::path book = Book("book.xls", {{"One", ExampleCells()}, {"Two", ExampleCells()}});
    WriteFile(dir / "out_S2.csv", Body().ascii("keep"));
    std::vector<std::vector<fs::path>> asked;
    bool answer = false;
    TExportSettings settings;
    settings.Mode = TExportMode::SeparateFiles;
    settings.ConfirmReplace = [&](const std::vector<fs::path>& existing) {
        asked.push_back(existing);
        return answer;
    };
    const std::string output = (dir / "out.CSV").string();
    const TExportOutcome declined = ExportFile(book, output, settings);
    EXPECT_EQ(asked, (std::vector<std::vector<fs::path>>{{dir / "out_S2.csv"}}));
    EXPECT_FALSE(declined.Done);
    EXPECT_EQ(declined.Message, "");
    EXPECT_EQ(Content(dir / "out_S2.csv"), "keep");
    EXPECT_FALSE(fs::exists(dir / "out_S1.csv"));  // nothing at all is written

    answer = true;
    const TExportOutcome replaced = ExportFile(book, output, settings);
    EXPECT_EQ(replaced.Message, kExportDone);
    EXPECT_EQ(Content(dir / "out_S2.csv"), "\"5\",\"abc\"\r\n\"\",\"\"\r\n\"2.5\",\"\"\r\n");
    // New files only: no question.
    settings.Mode = TExportMode::OneFile;
    ExportFile(book, (dir / "new.x").string(), settings);
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(CommandsTest, ChosenSheetsAndTextOptions) {
    const fs::path book =
        Book("book.xls", {{"One", {{rec::kNumber, NumberBody(0, 0, kTwoDecimalsXF, 0.1)}}},
                          {"2", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "second")}}},
                          {"Three", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "a;b")}}}});
    TExportSettings settings;
    settings.Mode = TExportMode::SeparateFiles;
    // By number or by name; a sheet named "2" is found by its name.
    settings.Sheets = {"3", "2", "One", "3"};
    const TExportOutcome separate = ExportFile(book, (dir / "s.x").string(), settings);
    EXPECT_EQ(separate.Files,
              (std::vector<fs::path>{dir / "s_S3.csv", dir / "s_S2.csv", dir / "s_S1.csv"}));
    settings.Sheets = {"1"};
    settings.Mode = TExportMode::OneFile;
    settings.Text.Separator = ';';
    settings.Text.LineEnd = "\n";
    settings.Text.RawValues = true;
    std::ostringstream out;
    settings.Output = &out;
    const TExportOutcome toStream = ExportFile(book, "", settings);
    EXPECT_EQ(toStream.Message, kExportDone);
    EXPECT_TRUE(toStream.Files.empty());
    EXPECT_EQ(out.str(), "\nSheet 1\n0.1\n\n");
    settings.Sheets = {"Three", "2"};
    settings.Text.RawValues = false;
    out.str("");
    ExportFile(book, "", settings);
    EXPECT_EQ(out.str(), "\nSheet 3\n\"a;b\"\n\n\nSheet 2\nsecond\n\n");

    settings.Sheets = {"4"};
    EXPECT_EQ(ExportFile(book, "", settings).Message, "There is no sheet \"4\" in book.xls");
    settings.Sheets = {"two"};
    EXPECT_EQ(ExportFile(book, "", settings).Message, "There is no sheet \"two\" in book.xls");
}

// Errors, times of day, durations, built-in dates and text sections in the report, the
// search and the export, read in either date system.
TEST_F(CommandsTest, ValuesThatAreEasilyLostKeepTheirTexts) {
    for (const bool date1904 : {false, true}) {
        SCOPED_TRACE(date1904);
        const fs::path book = Stream("values.xls", ValuesWorkbookStream(date1904));
        const TReport report = FileInformation(book, true);
        EXPECT_EQ(Lines(report.Lines.begin() + 6, report.Lines.end()),
                  (Lines{"errors; time; duration; date; text; fraction; #REF!",
                         "#DIV/0!; 30.12.1899 06:34:00.000; 08.01.1900 15:10:10.000; "
                         "01.01.1915 00:00:00.000; pf1; -0.25; 1",
                         "#N/A; 30.12.1899 00:00:00.000; 2", "#N/A; 3", ""}));
        EXPECT_EQ(SearchFile(book, Options("#N/A", true)).Texts(), (Lines{"#N/A", "#N/A"}));

        TExportSettings settings;
        settings.Kind = tkTXT;
        settings.Text.LineEnd = "\n";
        std::ostringstream shown, raw;
        settings.Output = &shown;
        ExportFile(book, "", settings);
        EXPECT_EQ(shown.str(),
                  "errors\ttime\tduration\tdate\ttext\tfraction\t#REF!\n"
                  "#DIV/0!\t6:34:00\t231:10:10\t1/1/1915\tCOB on pf1\t-1/4\t1\n"
                  "#N/A\t0:00:00\t\t\t\t\t2\n#N/A\t\t\t\t\t\t3\n");
        settings.Text.RawValues = true;
        settings.Output = &raw;
        ExportFile(book, "", settings);
        EXPECT_EQ(raw.str(),
                  "errors\ttime\tduration\tdate\ttext\tfraction\t#REF!\n"
                  "#DIV/0!\t06:34:00\t231:10:10\t1915-01-01\tpf1\t-0.25\t1\n"
                  "#N/A\t00:00:00\t\t\t\t\t2\n#N/A\t\t\t\t\t\t3\n");
    }
}

TEST_F(CommandsTest, ExportTellsWhenNothingIsWritten) {
    const fs::path book = Book("book.xls", {{"Data", ExampleCells()}});
    EXPECT_EQ(ExportFile(book, TExportMode::OneSheet, tkCSV, "").Message, kNoOutputName);
    EXPECT_EQ(ExportFile(dir / "missing.xls", TExportMode::OneSheet, tkCSV, "x.CSV").Message,
              FileNotFoundMessage((dir / "missing.xls").string()));
}

TEST_F(CommandsTest, BatchExportWritesBesideEachReadableWorkbook) {
    Book("a.xls", {{"S1", ExampleCells()}, {"S2", {{rec::kNumber, NumberBody(0, 0, 0, 9)}}}});
    Book("B.XLS", {{"Only", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "b")}}}});
    Stream("c.xls", EncryptedWorkbookStream(u"pw"));
    Stream("d.xls", UnsupportedEncryptionStream());
    TextFile("e.xls");
    std::vector<Bytes> workbooks;
    for (const char* name : {"a.xls", "B.XLS", "c.xls", "d.xls", "e.xls"})
        workbooks.push_back(ReadFile(dir / name));

    std::vector<std::string> seen;
    const TExportOutcome one =
        ExportDirectory(dir.path(), TExportMode::OneSheet, tkCSV,
                        [&seen](const std::string& name) { seen.push_back(name); });
    EXPECT_EQ(one.Message, kBatchExportDone);
    EXPECT_EQ(one.Files, (std::vector<fs::path>{dir / "B.csv", dir / "a.csv"}));
    EXPECT_EQ(seen, (Lines{"B.XLS", "a.xls", "c.xls", "d.xls", "e.xls"}));
    EXPECT_EQ(ExportSummary(one), std::string(kBatchExportDone) +
                                      "\n\nWritten:\nB.csv\na.csv\n\nSkipped:\n"
                                      "c.xls: This File is Password Protected\n"
                                      "d.xls: This File is Password Protected\n"
                                      "e.xls: a text file, not an Excel workbook");
    EXPECT_EQ(Content(dir / "a.csv"), "\"5\",\"abc\"\r\n\"\",\"\"\r\n\"2.5\",\"\"\r\n");

    EXPECT_EQ(ExportDirectory(dir.path(), TExportMode::SeparateFiles, tkTXT).Files,
              (std::vector<fs::path>{dir / "B_S1.txt", dir / "a_S1.txt", dir / "a_S2.txt"}));
    EXPECT_EQ(ExportDirectory(dir.path(), TExportMode::OneFile, tkTXT).Files,
              (std::vector<fs::path>{dir / "B.txt", dir / "a.txt"}));
    EXPECT_EQ(Content(dir / "a.txt"),
              "\r\nSheet 1\r\n5\tabc\r\n2.5\r\n\r\n\r\nSheet 2\r\n9\r\n\r\n");

    int i = 0;
    for (const char* name : {"a.xls", "B.XLS", "c.xls", "d.xls", "e.xls"})
        EXPECT_EQ(ReadFile(dir / name), workbooks[i++]) << name;
}

TEST_F(CommandsTest, BatchExportWithNothingReadable) {
    Stream("c.xls", EncryptedWorkbookStream(u"pw"));
    const TExportOutcome outcome = ExportDirectory(dir.path(), TExportMode::OneFile, tkCSV);
    EXPECT_EQ(outcome.Message, kBatchExportDone);
    EXPECT_TRUE(outcome.Files.empty());
    EXPECT_EQ(ExportSummary(outcome), std::string(kBatchExportDone) +
                                          "\n\nSkipped:\nc.xls: This File is Password Protected");
    EXPECT_EQ(FolderListing(), (Lines{"c.xls"}));

    const TExportOutcome missing = ExportDirectory(dir / "gone", TExportMode::OneFile, tkCSV);
    EXPECT_FALSE(missing.Done);
    EXPECT_EQ(missing.Message,
              "Cannot read folder " + (dir / "gone").string() + ": No such file or directory");
}

// Whatever a folder holds under a workbook's name, the batch goes on and names what it
// could not read: links that lead nowhere or loop, a workbook whose records fail to read
// after its checks passed, and files that vanish or change after the folder was listed.
// Pipes are never opened (that could wait forever).
TEST_F(CommandsTest, BatchExportNamesWhatItCannotReadAndGoesOn) {
    fs::create_symlink(dir / "nowhere.xls", dir / "a-dangling.xls");
    fs::create_symlink(dir / "b-loop.xls", dir / "b-loop.xls");
    ASSERT_EQ(::mkfifo((dir / "c-pipe.xls").c_str(), 0600), 0);
    Book("d-bad-link.xls",
         {{"S",
           {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "x")}, {rec::kHLink, Bytes(10, 0)}}}});
    Book("e-good.xls", {{"S", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, "kept")}}}});
    // Two workbooks that go away or change between the listing and their turn.
    Book("f-vanishing.xls", {{"S", {}}});
    Book("g-changing.xls", {{"S", {}}});
    const auto meanwhile = [this](const std::string& name) {
        if (name == "f-vanishing.xls") fs::remove(dir / name);
        if (name == "g-changing.xls") TextFile(name);
    };

    const TExportOutcome outcome =
        ExportDirectory(dir.path(), TExportMode::OneSheet, tkCSV, meanwhile);
    EXPECT_EQ(outcome.Message, kBatchExportDone);
    EXPECT_EQ(outcome.Files, (std::vector<fs::path>{dir / "e-good.csv"}));
    EXPECT_EQ(ExportSummary(outcome),
              std::string(kBatchExportDone) + "\n\nWritten:\ne-good.csv\n\nSkipped:\n" +
                  "a-dangling.xls: file not found\n"
                  "b-loop.xls: Too many levels of symbolic links\nd-bad-link.xls: " +
                  EXLSError(xeHyperlink).what() +
                  "\nf-vanishing.xls: file not found\n"
                  "g-changing.xls: a text file, not an Excel workbook");
    EXPECT_EQ(Content(dir / "e-good.csv"), "\"kept\"\r\n");
}

// Every workbook gets names of its own: "x.xls" keeps "x.csv" although "x.v2.xls" comes
// first, a name taken falls back to the whole name, then to a number; hidden workbooks are
// left out as in the window's file list.
TEST_F(CommandsTest, BatchExportNeverWritesOneFileTwiceNorSkipsAWorkbookForItsName) {
    const auto book = [this](const std::string& name) {
        Book(name, {{"S", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, name)}}},
                    {"T", {{rec::kLabel, LabelCellBody(0, 0, kGeneralXF, name)}}}});
    };
    for (const char* name : {"report.v1.xls", "report.v2.xls", "a.b.XLS", "a.b.xls", "a.xls",
                             ".hidden.xls", "x.v2.xls", "x.xls"})
        book(name);
    const TExportOutcome one = ExportDirectory(dir.path(), TExportMode::OneSheet, tkCSV);
    EXPECT_EQ(one.Files, (std::vector<fs::path>{dir / "a.b.csv", dir / "a.b_2.csv", dir / "a.csv",
                                                dir / "report.csv", dir / "report.v2.csv",
                                                dir / "x.v2.csv", dir / "x.csv"}));
    EXPECT_TRUE(one.Skipped.empty());
    EXPECT_EQ(Content(dir / "a.b_2.csv"), "\"a.b.xls\"\r\n");
    EXPECT_EQ(Content(dir / "x.csv"), "\"x.xls\"\r\n");
    EXPECT_EQ(Content(dir / "x.v2.csv"), "\"x.v2.xls\"\r\n");

    const TExportOutcome separate = ExportDirectory(dir.path(), TExportMode::SeparateFiles, tkTXT);
    EXPECT_EQ(separate.Files.at(3), dir / "a.b_2_S2.txt");
    EXPECT_EQ(Content(dir / "report.v2_S2.txt"), "report.v2.xls\r\n");
}

TEST_F(CommandsTest, BatchExportSkipsWhatItMayNotWrite) {
    Book("a.xls", {{"S", ExampleCells()}});
    Book("b.xls", {{"S", ExampleCells()}});
    Book("c.xls", {{"Empty", {}}});
    Book("b.csv", {{"S", {}}});  // a workbook where b.xls's text would go
    WriteFile(dir / "a.csv", Body().ascii("earlier"));
    int questions = 0;
    TExportSettings settings;
    settings.ConfirmReplace = [&questions](const std::vector<fs::path>& existing) {
        ++questions;
        EXPECT_EQ(existing.size(), 1u);
        return false;
    };
    settings.Sheets = {"S"};
    const TExportOutcome outcome = ExportDirectory(dir.path(), settings);
    EXPECT_TRUE(outcome.Files.empty());
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(ExportSummary(outcome),
              std::string(kBatchExportDone) +
                  "\n\nSkipped:\na.xls: the existing a.csv was not replaced\n"
                  "b.xls: Cannot write file " +
                  (dir / "b.csv").string() +
                  ": it is a compound document (a workbook or another office file)\n"
                  "c.xls: There is no sheet \"S\" in c.xls");
    EXPECT_EQ(Content(dir / "a.csv"), "earlier");
    settings.Sheets.clear();
    EXPECT_EQ(ExportDirectory(dir.path(), settings).Skipped.back().Reason,
              "there are no cells to write");
}

// The folder listings: workbooks in name order whatever the letter case of ".xls", hidden
// ones left to the program's own list, subfolders without hidden ones, the ancestors.
TEST_F(CommandsTest, FolderListings) {
    for (const char* name : {"b.XLS", "a.xls", ".hidden.xls", "c.xlsx", "notes.txt"})
        TextFile(name);
    std::filesystem::create_directories(dir / "sub" / "inner");
    std::filesystem::create_directories(dir / ".cache");
    std::filesystem::create_directories(dir / "folder.xls");  // a folder, not a workbook
    fs::create_symlink(dir / "a.xls", dir / "link.xls");
    fs::create_symlink(dir / "nowhere", dir / "dangling.xls");  // listed, to be named later
    ASSERT_EQ(::mkfifo((dir / "pipe.xls").c_str(), 0600), 0);   // never listed
    fs::create_directory_symlink(dir / "sub", dir / "sublink");
    const auto names = [](const std::vector<std::filesystem::path>& paths) {
        std::vector<std::string> out;
        for (const auto& p : paths)
            out.push_back(p.filename().string());
        return out;
    };
    EXPECT_EQ(names(ListWorkbooks(dir.path())),
              (Lines{".hidden.xls", "a.xls", "b.XLS", "dangling.xls", "link.xls"}));
    EXPECT_EQ(names(ListVisibleWorkbooks(dir.path())),
              (Lines{"a.xls", "b.XLS", "dangling.xls", "link.xls"}));
    EXPECT_EQ(names(ListSubfolders(dir.path())), (Lines{"folder.xls", "sub", "sublink"}));
    EXPECT_TRUE(ListSubfolders(dir / "missing").empty());
    std::error_code error;
    EXPECT_TRUE(ListWorkbooks(dir / "missing", &error).empty());
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(ListWorkbooks(dir.path(), &error).empty());
    EXPECT_FALSE(error);

    // The walk through the subfolders leaves hidden ones out and goes through a folder
    // reached again through a link once.
    for (const char* name : {"sub/s.xls", "sub/.h.xls", "sub/inner/i.xls", ".cache/c.xls"})
        TextFile(name);
    fs::create_directory_symlink(dir.path(), dir / "sub" / "inner" / "up");
    const TFolderWalk walk = WalkWorkbooks(dir.path());
    std::vector<std::string> walked;
    for (const fs::path& workbook : walk.Workbooks)
        walked.push_back(workbook.lexically_relative(dir.path()).string());
    EXPECT_EQ(walked, (Lines{"a.xls", "b.XLS", "dangling.xls", "link.xls", "sub/s.xls",
                             "sub/inner/i.xls"}));
    EXPECT_TRUE(walk.Unreadable.empty());
    ASSERT_EQ(WalkWorkbooks(dir / "missing").Unreadable.size(), 1u);

    const std::vector<std::filesystem::path> up = FolderAncestors("/usr/share/doc");
    EXPECT_EQ(up,
              (std::vector<std::filesystem::path>{"/", "/usr", "/usr/share", "/usr/share/doc"}));
}

// Large sheets are rendered in blocks on several threads; the search's hits, their numbers
// and the one-file text are those of a run on one thread.
TEST_F(CommandsTest, LargeWorkbooksSearchAndWriteAsOnOneThread) {
    RecordList first;
    RecordList second;
    for (std::uint16_t row = 0; row < 1500; ++row) {
        for (std::uint16_t col = 0; col < 12; ++col) {
            first.push_back({rec::kNumber, NumberBody(row, col, kGeneralXF, row * 12 + col)});
            if (col % 4 == 0)
                second.push_back({rec::kLabel, LabelCellBody(row, col, kGeneralXF,
                                                             "row " + std::to_string(row))});
        }
    }
    const fs::path book = Book("large.xls", {{"First", first}, {"Second", second}});
    const auto search = [&] { return SearchFile(book, Options("17")); };
    const auto write = [&] {
        std::ostringstream out;
        TExportSettings settings;
        settings.Mode = TExportMode::OneFile;
        settings.Output = &out;
        EXPECT_EQ(ExportFile(book, "-", settings).Message, kExportDone);
        return out.str();
    };
    const SearchRun parallel = search();
    const std::string text = write();
    platform::TSingleThreaded one;
    const SearchRun single = search();
    EXPECT_EQ(parallel.Rows(), single.Rows());
    EXPECT_EQ(parallel.numbers, single.numbers);
    EXPECT_EQ(parallel.outcome.Hits, single.outcome.Hits);
    EXPECT_GT(parallel.outcome.Hits, 500);
    EXPECT_EQ(text, write());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * (3 + 1500));
}
