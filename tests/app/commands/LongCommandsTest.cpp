// The long commands under a job control: the progress they report, and how a cancellation
// ends them (while a workbook is read, between the cells and lines of a pass, between the
// workbooks of a folder) with what they did until then.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/commands/Commands.h"
#include "platform/RegionalSettings.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WorkbookFixtures.h"
#include "tests/support/XlsBuilder.h"
#include "xls/model/TXLSFile.h"

using namespace vorlix;
using namespace vorlix::app;
using namespace vorlix::test;
namespace fs = std::filesystem;

namespace {

// `rows` rows of `cols` numbers (row * 1000 + col) from A1 on.
RecordList Numbers(int rows, int cols) {
    RecordList records;
    records.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            records.emplace_back(rec::kNumber,
                                 NumberBody(static_cast<std::uint16_t>(r),
                                            static_cast<std::uint16_t>(c), 0, r * 1000.0 + c));
        }
    }
    return records;
}

TSearchOptions Options(const std::string& text) {
    TSearchOptions options;
    options.Text = text;
    return options;
}

// What a job control hears, and a rule for when to cancel it: the rule sees each progress.
class TRecordedJob {
  public:
    explicit TRecordedJob(std::function<bool(const TProgress&)> cancelWhen = {})
        : cancelWhen_(std::move(cancelWhen)) {}

    TJobControl& Control() { return control_; }
    const std::vector<TProgress>& Seen() const { return seen_; }
    bool Saw(const std::string& text) const {
        return std::any_of(seen_.begin(), seen_.end(),
                           [&text](const TProgress& p) { return p.Text == text; });
    }
    double Last() const { return seen_.empty() ? -1.0 : seen_.back().Fraction; }
    bool NeverWentBack() const {
        return std::is_sorted(seen_.begin(), seen_.end(),
                              [](const auto& a, const auto& b) { return a.Fraction < b.Fraction; });
    }

  private:
    std::function<bool(const TProgress&)> cancelWhen_;
    std::vector<TProgress> seen_;
    TJobControl control_{[this](const TProgress& progress) {
        seen_.push_back(progress);
        if (cancelWhen_ && cancelWhen_(progress)) control_.Cancel();
    }};
};

class LongCommandsTest : public FolderTest {
  protected:
    void SetUp() override { platform::SetRegionalSettings(platform::TRegionalSettings{}); }
    void TearDown() override { platform::SetRegionalSettings(saved_); }

    fs::path NumberBook(const std::string& name, int rows, int cols) {
        return Stream(name, WorkbookStream({{"Numbers", Numbers(rows, cols)}}));
    }

    const platform::TRegionalSettings saved_ = platform::RegionalSettings();
};

}  // namespace

TEST(TJobControlTest, ReportsOnlyWhatTheProgressBarCanShow) {
    std::vector<TProgress> seen;
    TJobControl job([&seen](const TProgress& p) { seen.push_back(p); });
    job.Report("Reading a.xls", 0.0);
    job.Report("Reading a.xls", 0.0004);  // the same thousandth
    job.Report("Reading a.xls", 0.0015);
    job.Report("Listing a.xls", 0.0015);  // another text
    job.Report("Listing a.xls", 7.0);     // kept in range
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_DOUBLE_EQ(seen[1].Fraction, 0.001);
    EXPECT_EQ(seen[2].Text, "Listing a.xls");
    EXPECT_DOUBLE_EQ(seen[3].Fraction, 1.0);

    EXPECT_NO_THROW(job.Check());
    job.Cancel();
    EXPECT_TRUE(job.Cancelled());
    EXPECT_THROW(job.Check(), TCancelled);
}

// --- Progress ----------------------------------------------------------------------------

TEST_F(LongCommandsTest, CommandsReportTheirProgressFromReadingToTheEnd) {
    const fs::path big = NumberBook("big.xls", 3000, 2);
    TRecordedJob report;
    const TReport lines = FileInformation(big, true, u"", &report.Control());
    EXPECT_FALSE(lines.Cancelled);
    EXPECT_EQ(lines.Lines.size(), 3u + 3u + 3000u + 1u);
    EXPECT_TRUE(report.Saw("Reading big.xls"));
    EXPECT_TRUE(report.Saw("Listing big.xls"));
    EXPECT_TRUE(report.NeverWentBack());
    EXPECT_GT(report.Seen().size(), 50u);  // the read and the listing move the bar on
    EXPECT_GT(report.Last(), 0.99);

    NumberBook("small.xls", 1, 1);
    TRecordedJob search;
    int hits = 0;
    const TSearchOutcome found = SearchDirectory(
        dir.path(), Options("2999001"), [&hits](const TSearchHit&, int) { ++hits; }, {},
        &search.Control());
    EXPECT_EQ(found.Hits, 1);
    EXPECT_TRUE(search.Saw("Reading big.xls (1 of 2)"));
    EXPECT_TRUE(search.Saw("Searching big.xls (1 of 2)"));
    EXPECT_TRUE(search.Saw("Reading small.xls (2 of 2)"));
    EXPECT_TRUE(search.NeverWentBack());
    EXPECT_GT(search.Last(), 0.99);

    TRecordedJob exported;
    const TExportOutcome written =
        ExportFile(big, (dir / "big.csv").string(), TExportSettings{}, &exported.Control());
    EXPECT_EQ(written.Message, kExportDone);
    EXPECT_TRUE(exported.Saw("Writing big.xls"));
    EXPECT_TRUE(exported.NeverWentBack());
}

// --- Cancellation ------------------------------------------------------------------------

TEST_F(LongCommandsTest, CancelledReadEndsAtTheNextRecord) {
    const fs::path big = NumberBook("big.xls", 4000, 5);
    // Cancelled a tenth into the stream: no further progress, nothing listed; the reader
    // freed what it had made (the sanitizers see to that) and closed the file.
    TRecordedJob job([](const TProgress& p) { return p.Fraction >= 0.05; });
    const TReport report = FileInformation(big, true, u"", &job.Control());
    EXPECT_TRUE(report.Cancelled);
    EXPECT_TRUE(report.Lines.empty());
    EXPECT_TRUE(report.Message.empty());
    EXPECT_LT(job.Last(), 0.06);
    EXPECT_EQ(job.Seen().back().Text, "Reading big.xls");
    EXPECT_EQ(GetXLSFileVersion(U16Path(big)), 8);

    // A job cancelled before it starts reads nothing at all.
    TRecordedJob early;
    early.Control().Cancel();
    int hits = 0;
    const TSearchOutcome search = SearchThisFile(
        big, Options("1"), [&hits](const TSearchHit&, int) { ++hits; }, &early.Control());
    EXPECT_TRUE(search.Cancelled);
    EXPECT_TRUE(search.Message.empty());  // not "No match found"
    EXPECT_EQ(hits, 0);
    EXPECT_TRUE(early.Seen().empty());
}

// The commands stop a read by raising TCancelled from the reader's progress event, which
// comes after every record, inside the handlers of records continued in CONTINUE records
// too. Stopped at each of them in turn, a read of a real workbook lets the cancellation
// through, frees what it made and leaves the file closed.
TEST_F(LongCommandsTest, ReadStoppedAfterAnyRecordEndsCleanly) {
    // A shared string table whose second text goes on in a CONTINUE record.
    const std::string split = "a text that goes on in the next record";
    const Bytes sst = Body()
                          .u32(2)
                          .u32(2)
                          .u16(5)
                          .u8(0)
                          .ascii("first")
                          .u16(static_cast<std::uint32_t>(split.size()))
                          .u8(0)
                          .ascii(split.substr(0, 10));
    const Bytes rest = Body().u8(0).ascii(split.substr(10));
    BiffBuilder b;
    AppendGlobals(b, {"S"}, {{0x00FC, sst}, {0x003C, rest}});
    AppendSubstream(b, kWorksheetSubstream, {{0x00FD, LabelSstBody(0, 0, 0, 1)}});
    Stream("continued.xls", b.Build());
    ASSERT_EQ(FileInformation(dir / "continued.xls", true).Lines.at(6), split);

    // The examples are read where they are, while other tests may read them too.
    const fs::path examples = SourceDir() / "examples";
    for (const fs::path& path : {dir / "continued.xls", examples / "sales.xls",
                                 examples / "inventory.xls", examples / "empty-and-odd.xls"}) {
        const std::u16string file = U16Path(path);
        const std::string name = path.filename().string();
        int records = 0;
        {
            TXLSFile xls;
            xls.SetOnProgress([&records](double) { ++records; });
            xls.OpenFile(file);
        }
        ASSERT_GE(records, 8) << name;
        for (int stop = 1; stop <= records; ++stop) {
            TXLSFile xls;
            int seen = 0;
            xls.SetOnProgress([&seen, stop](double) {
                if (++seen == stop) throw TCancelled();
            });
            EXPECT_THROW(xls.OpenFile(file), TCancelled) << name << " record " << stop;
            EXPECT_FALSE(xls.Loaded());
        }
        EXPECT_EQ(GetXLSFileVersion(file), 8) << name;
    }
}

TEST_F(LongCommandsTest, CancelledContentsKeepTheLinesHandedOnAndStop) {
    const fs::path big = NumberBook("big.xls", 9000, 2);
    TRecordedJob job;
    std::vector<std::vector<std::string>> batches;
    const TReport report =
        FileInformation(big, true, u"", &job.Control(), [&](std::vector<std::string>&& lines) {
            batches.push_back(std::move(lines));
            if (batches.size() == 2) job.Control().Cancel();  // the first batch of contents
        });
    EXPECT_TRUE(report.Cancelled);
    EXPECT_TRUE(report.Lines.empty());  // they went to the sink
    // The summary came first, on its own, as soon as the workbook was read.
    ASSERT_GE(batches.size(), 2u);
    EXPECT_EQ(batches[0], (std::vector<std::string>{"This file contains: 1 Worksheets", "",
                                                    "Sheet 1 (named Numbers) has 18000 cells"}));
    EXPECT_EQ(batches[1][0], "");
    EXPECT_EQ(batches[1][1], "Sheet 1");
    EXPECT_EQ(batches[1][3], "0; 1");
    std::size_t handed = 0;
    for (const auto& batch : batches)
        handed += batch.size();
    EXPECT_LT(handed, 3u + 9000u);  // stopped well before the last row
    EXPECT_LE(batches.size(), 3u);

    // Without cancelling, the batches join into the whole report.
    std::vector<std::string> joined;
    const TReport whole =
        FileInformation(big, true, u"", nullptr, [&joined](std::vector<std::string>&& lines) {
            joined.insert(joined.end(), lines.begin(), lines.end());
        });
    EXPECT_FALSE(whole.Cancelled);
    EXPECT_EQ(joined, FileInformation(big, true).Lines);
}

TEST_F(LongCommandsTest, CancelledFolderSearchStopsBetweenWorkbooks) {
    for (const char* name : {"a.xls", "b.xls", "c.xls"})
        Stream(name, WorkbookStream({{"S", {{rec::kLabel, LabelCellBody(0, 0, 0, "hit")}}}}));
    TRecordedJob job;
    std::vector<std::string> hits;
    std::vector<std::string> done;
    const TSearchOutcome outcome = SearchDirectory(
        dir.path(), Options("hit"),
        [&hits](const TSearchHit& hit, int) { hits.push_back(hit.File); },
        [&](const std::string& name) {
            done.push_back(name);
            if (name == "a.xls") job.Control().Cancel();
        },
        &job.Control());
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_EQ(outcome.Hits, 1);
    EXPECT_TRUE(outcome.Message.empty());
    EXPECT_EQ(hits, (std::vector<std::string>{"a.xls"}));
    EXPECT_EQ(done, (std::vector<std::string>{"a.xls"}));
    EXPECT_FALSE(job.Saw("Reading b.xls (2 of 3)"));
}

TEST_F(LongCommandsTest, CancelledExportKeepsTheFilesWrittenWholeAndNoPart) {
    NumberBook("a.xls", 10, 2);
    NumberBook("b.xls", 3000, 4);
    NumberBook("c.xls", 10, 2);
    TExportSettings settings;
    settings.Mode = TExportMode::OneFile;

    // Cancelled while b.xls is written: a.csv stays, b.csv goes, c.xls is not read.
    TRecordedJob job([](const TProgress& p) { return p.Text == "Writing b.xls (2 of 3)"; });
    const TExportOutcome batch = ExportDirectory(dir.path(), settings, {}, &job.Control());
    EXPECT_TRUE(batch.Cancelled);
    EXPECT_FALSE(batch.Done);
    EXPECT_EQ(batch.Files, (std::vector<fs::path>{dir / "a.csv"}));
    EXPECT_TRUE(fs::exists(dir / "a.csv"));
    EXPECT_FALSE(fs::exists(dir / "b.csv"));
    EXPECT_FALSE(fs::exists(dir / "c.csv"));
    EXPECT_FALSE(job.Saw("Reading c.xls (3 of 3)"));
    EXPECT_EQ(ExportSummary(batch), std::string(kExportCancelled) + "\n\nWritten:\na.csv");

    // One workbook, one sheet's used area through the sheet writer: the same.
    TRecordedJob one([](const TProgress& p) { return p.Text == "Writing b.xls"; });
    const TExportOutcome sheet =
        ExportFile(dir / "b.xls", (dir / "b.CSV").string(), TExportSettings{}, &one.Control());
    EXPECT_TRUE(sheet.Cancelled);
    EXPECT_EQ(sheet.Message, kExportCancelled);
    EXPECT_TRUE(sheet.Files.empty());
    EXPECT_FALSE(fs::exists(dir / "b.CSV"));
    // A file the cancelled export would have replaced stays as it was, and no part of the
    // new one is left beside it.
    WriteFile(dir / "b.CSV", Body().ascii("old"));
    TRecordedJob again([](const TProgress& p) { return p.Text == "Writing b.xls"; });
    EXPECT_TRUE(
        ExportFile(dir / "b.xls", (dir / "b.CSV").string(), TExportSettings{}, &again.Control())
            .Cancelled);
    EXPECT_EQ(Content(dir / "b.CSV"), "old");
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    fs::remove(dir / "b.CSV");

    // A question about replacing files may end in a cancellation too.
    WriteFile(dir / "c.csv", Body().ascii("kept"));
    settings.ConfirmReplace = [](const std::vector<fs::path>&) -> bool { throw TCancelled(); };
    const TExportOutcome asked = ExportFile(dir / "c.xls", (dir / "c.csv").string(), settings);
    EXPECT_TRUE(asked.Cancelled);
    EXPECT_EQ(Content(dir / "c.csv"), "kept");
}
