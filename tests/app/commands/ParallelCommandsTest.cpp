// Folder export and search with several workbooks read at once: the outcome, the callbacks,
// the questions and the files left behind are those of the same command one workbook after
// the other, also when a workbook ends the run or the run is cancelled.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/commands/Commands.h"
#include "platform/RegionalSettings.h"
#include "tests/support/WorkbookFixtures.h"

using namespace vorlix;
using namespace vorlix::app;
using namespace vorlix::test;
namespace fs = std::filesystem;

namespace {

using Events = std::vector<std::string>;

// Everything a folder command let be seen: its outcome or the error that ended it, the
// callbacks and questions in the order they came, and the files of the folder afterwards.
struct TExportRun {
    TExportOutcome Outcome;
    std::string Error;
    Events Heard;
    std::map<std::string, std::string> Files;
};

struct TSearchRun {
    TSearchOutcome Outcome;
    std::string Error;
    Events Heard;  // "hit K FILE SHEET ROW COL TEXT" and "done FILE"
};

// Stops the command once `when` holds for something it heard ("file NAME", "done NAME").
using TCancelRule = std::function<bool(const std::string& heard)>;

class ParallelCommandsTest : public FolderTest {
  protected:
    void SetUp() override { platform::SetRegionalSettings(platform::TRegionalSettings{}); }
    void TearDown() override { platform::SetRegionalSettings(saved_); }

    // Builds the folder afresh and exports it with `jobs` workbooks at once.
    TExportRun Export(const std::function<void()>& build, TExportSettings settings, int jobs,
                      const TCancelRule& cancelWhen = {}) {
        EmptyFolder();
        build();
        TExportRun run;
        TJobControl job;
        settings.Jobs = jobs;
        if (TConfirmReplace answer = settings.ConfirmReplace) {
            settings.ConfirmReplace = [&run, answer](const std::vector<fs::path>& existing) {
                std::string names = "ask";
                for (const fs::path& file : existing)
                    names += " " + file.filename().string();
                run.Heard.push_back(names);
                return answer(existing);
            };
        }
        const auto onFile = [&](const std::string& name) {
            run.Heard.push_back("file " + name);
            if (cancelWhen && cancelWhen(run.Heard.back())) job.Cancel();
        };
        try {
            run.Outcome = ExportDirectory(dir.path(), settings, onFile, &job);
        } catch (const std::exception& e) {
            run.Error = e.what();
        }
        run.Files = Snapshot();
        return run;
    }

    TSearchRun Search(const std::string& text, int jobs, const TCancelRule& cancelWhen = {},
                      const std::function<bool(const std::string&)>& matcher = {}) {
        TSearchRun run;
        TJobControl job;
        TSearchOptions options;
        options.Text = text;
        options.Jobs = jobs;
        options.Matcher = matcher;
        const auto onHit = [&run](const TSearchHit& hit, int k) {
            run.Heard.push_back("hit " + std::to_string(k) + " " + hit.File + " " +
                                std::to_string(hit.Sheet) + " " + std::to_string(hit.Row) + " " +
                                std::to_string(hit.Col) + " " + hit.Text);
        };
        const auto onDone = [&](const std::string& name) {
            run.Heard.push_back("done " + name);
            if (cancelWhen && cancelWhen(run.Heard.back())) job.Cancel();
        };
        try {
            run.Outcome = SearchDirectory(dir.path(), options, onHit, onDone, &job);
        } catch (const std::exception& e) {
            run.Error = e.what();
        }
        return run;
    }

    const platform::TRegionalSettings saved_ = platform::RegionalSettings();
};

void ExpectSame(const TExportRun& parallel, const TExportRun& sequential,
                const std::string& context) {
    SCOPED_TRACE(context);
    EXPECT_EQ(parallel.Error, sequential.Error);
    EXPECT_EQ(parallel.Outcome.Done, sequential.Outcome.Done);
    EXPECT_EQ(parallel.Outcome.Cancelled, sequential.Outcome.Cancelled);
    EXPECT_EQ(parallel.Outcome.Files, sequential.Outcome.Files);
    // The summary names the skipped workbooks with their reasons, in order.
    EXPECT_EQ(ExportSummary(parallel.Outcome), ExportSummary(sequential.Outcome));
    EXPECT_EQ(parallel.Heard, sequential.Heard);
    EXPECT_EQ(parallel.Files, sequential.Files);
}

void ExpectSame(const TSearchRun& parallel, const TSearchRun& sequential,
                const std::string& context) {
    SCOPED_TRACE(context);
    EXPECT_EQ(parallel.Error, sequential.Error);
    EXPECT_EQ(parallel.Outcome.Hits, sequential.Outcome.Hits);
    // The message and the workbooks not searched, with their reasons, in order.
    EXPECT_EQ(SearchSummary(parallel.Outcome), SearchSummary(sequential.Outcome));
    EXPECT_EQ(parallel.Outcome.Cancelled, sequential.Outcome.Cancelled);
    EXPECT_EQ(parallel.Heard, sequential.Heard);
}

}  // namespace

// --- Export ------------------------------------------------------------------------------

// A protected, an unsupported, a damaged and an unreadable workbook among good ones, names
// that clash, and files that exist already: the first question is declined, the others
// accepted, so a workbook in the middle is skipped and later ones replace what was there.
TEST_F(ParallelCommandsTest, ExportGivesTheOutcomeAndFilesOfOneAfterTheOther) {
    const auto build = [this] {
        MixedFolder(300, true);
        for (const char* name : {"e.csv", "e_S1.csv", "z.csv", "z_S1.csv"})
            WriteFile(dir / name, Body().ascii("earlier"));
    };
    for (const TExportMode mode :
         {TExportMode::OneSheet, TExportMode::SeparateFiles, TExportMode::OneFile}) {
        int asked = 0;
        TExportSettings settings;
        settings.Mode = mode;
        settings.ConfirmReplace = [&asked](const std::vector<fs::path>&) { return ++asked > 1; };
        const TExportRun sequential = Export(build, settings, 1);
        ASSERT_EQ(sequential.Error, "");
        EXPECT_EQ(sequential.Outcome.Message, kBatchExportDone);
        EXPECT_EQ(asked, 2);
        EXPECT_GE(sequential.Outcome.Files.size(), 4u);
        EXPECT_EQ(sequential.Outcome.Skipped.size(), 5u);  // b to f, e's files declined
        for (const int jobs : {2, 3, 16}) {
            asked = 0;
            ExpectSame(Export(build, settings, jobs), sequential,
                       "mode " + std::to_string(static_cast<int>(mode)) + ", " +
                           std::to_string(jobs) + " jobs");
        }
    }
}

// A workbook without sheets cannot give its first sheet: the error ends the export. The
// workbooks after it may have been read and written already; nothing of theirs is left.
TEST_F(ParallelCommandsTest, AnErrorEndsTheExportWhereItWouldOneAfterTheOther) {
    const auto build = [this] {
        MixedFolder(300, false);
        Stream("m-no-sheets.xls", WorkbookStream({}));
    };
    const TExportRun sequential = Export(build, TExportSettings{}, 1);
    ASSERT_NE(sequential.Error, "");
    EXPECT_EQ(sequential.Heard.back(), "file m-no-sheets.xls");
    EXPECT_EQ(sequential.Files.count("z.csv"), 0u);
    for (const int jobs : {2, 4})
        ExpectSame(Export(build, TExportSettings{}, jobs), sequential, std::to_string(jobs));
}

// Cancelled as a workbook's turn comes: one refused by the checks is still skipped, a
// readable one is not written, and the files of those before stay.
TEST_F(ParallelCommandsTest, ExportCancelledAtAWorkbookEndsAsOneAfterTheOther) {
    const auto build = [this] { MixedFolder(300, true); };
    for (const char* at : {"file a.xls", "file c-text.xls", "file e.xls", "file report.v2.xls"}) {
        TExportSettings settings;
        settings.Mode = TExportMode::SeparateFiles;
        const auto rule = [at](const std::string& heard) { return heard == at; };
        const TExportRun sequential = Export(build, settings, 1, rule);
        EXPECT_TRUE(sequential.Outcome.Cancelled) << at;
        for (const int jobs : {2, 5})
            ExpectSame(Export(build, settings, jobs, rule), sequential, at);
    }
}

// Cancelled at any moment from the progress, on a worker's thread: the export stops as
// one after the other would have at some point, keeping a beginning of its files and no
// part of any other.
TEST_F(ParallelCommandsTest, ExportCancelledFromTheProgressKeepsABeginning) {
    MixedFolder(2000, true);
    TExportSettings settings;
    settings.Mode = TExportMode::SeparateFiles;
    settings.Jobs = 1;
    const TExportOutcome whole = ExportDirectory(dir.path(), settings);
    const std::map<std::string, std::string> written = Snapshot();
    for (const double stopAt : {0.05, 0.3, 0.6, 0.9}) {
        EmptyFolder();
        MixedFolder(2000, true);
        const std::map<std::string, std::string> before = Snapshot();
        TJobControl* self = nullptr;
        TJobControl job([&](const TProgress& progress) {
            if (progress.Fraction >= stopAt) self->Cancel();
        });
        self = &job;
        settings.Jobs = 2;
        const TExportOutcome cut = ExportDirectory(dir.path(), settings, {}, &job);
        // Cancelled as the last workbook is done, it may be over already.
        EXPECT_TRUE(cut.Cancelled || cut.Files == whole.Files) << stopAt;
        ASSERT_LE(cut.Files.size(), whole.Files.size());
        EXPECT_TRUE(std::equal(cut.Files.begin(), cut.Files.end(), whole.Files.begin()));
        ASSERT_LE(cut.Skipped.size(), whole.Skipped.size());
        for (std::size_t i = 0; i < cut.Skipped.size(); ++i)
            EXPECT_EQ(cut.Skipped[i].Reason, whole.Skipped[i].Reason);
        // The folder holds what was there and the files listed, as the whole run wrote
        // them, and nothing else (no part of a file beside its name).
        std::map<std::string, std::string> expected = before;
        for (const fs::path& file : cut.Files) {
            const std::string name = file.filename().string();
            expected[name] = written.at(name);
        }
        EXPECT_EQ(Snapshot(), expected) << stopAt;
    }
}

// Files that cannot be written beside their names ahead of their turn are written at it:
// into a folder that the first of them makes, and through a link to a file elsewhere,
// which is replaced while the link stays. The outcome and the files are those of one after
// the other.
TEST_F(ParallelCommandsTest, FilesThatCannotBeWrittenAheadAreWrittenAtTheirTurn) {
    const fs::path made = dir / "made" / "here";
    const fs::path real = dir / "target" / "real.csv";
    const auto run = [&](int jobs) {
        EmptyFolder();
        MixedFolder(300, false);
        fs::create_directory(dir / "target");
        WriteFile(real, Body().ascii("old"));
        fs::create_symlink(real, dir / "z.csv");
        std::vector<TBatchSource> sources;
        for (const fs::path& file : ListVisibleWorkbooks(dir.path()))
            sources.push_back({file, file.filename() == "z.xls" ? dir.path() : made});
        TExportSettings settings;
        settings.Jobs = jobs;
        TExportRun result;
        result.Outcome = ExportWorkbooks(sources, settings, [&result](const std::string& name) {
            result.Heard.push_back("file " + name);
        });
        // Every file below the folder; a link by what it names.
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            const std::string name = entry.path().lexically_relative(dir.path()).string();
            if (entry.is_symlink()) {
                result.Files[name] = "link to " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_regular_file()) {
                result.Files[name] = Content(entry.path());
            }
        }
        return result;
    };
    const TExportRun sequential = run(1);
    EXPECT_EQ(sequential.Outcome.Message, kBatchExportDone);
    EXPECT_EQ(sequential.Outcome.Files.front(), made / "a.csv");
    EXPECT_EQ(sequential.Outcome.Files.back(), dir / "z.csv");
    EXPECT_EQ(sequential.Files.at("z.csv"), "link to " + real.string());
    EXPECT_NE(sequential.Files.at("target/real.csv").find("needle"), std::string::npos);
    for (const int jobs : {2, 4})
        ExpectSame(run(jobs), sequential, std::to_string(jobs) + " jobs");
}

// --- Search ------------------------------------------------------------------------------

// Hits numbered across the folder in its order, the workbooks that cannot be searched named
// with their reasons (a read error among them) while the search goes on, and a
// cancellation between workbooks, as one after the other.
TEST_F(ParallelCommandsTest, SearchGivesTheHitsAndOutcomeOfOneAfterTheOther) {
    MixedFolder(500, false);
    const TSearchRun sequential = Search("needle", 1);
    EXPECT_EQ(sequential.Outcome.Hits, 7);  // a (2), e, the reports' second sheets, z
    EXPECT_EQ(sequential.Error, "");
    const auto regex = PatternMatcher("ne+dle$", true, false, false, false);
    const TSearchRun byRegex = Search("", 1, {}, regex);
    for (const int jobs : {2, 3, 16}) {
        const std::string context = std::to_string(jobs) + " jobs";
        ExpectSame(Search("needle", jobs), sequential, context);
        ExpectSame(Search("", jobs, {}, regex), byRegex, context);
        ExpectSame(Search("nothing like it", jobs), Search("nothing like it", 1), context);
        for (const char* at : {"done a.xls", "done d-damaged.xls", "done report.v1.xls"}) {
            const auto rule = [at](const std::string& heard) { return heard == at; };
            ExpectSame(Search("needle", jobs, rule), Search("needle", 1, rule), at);
        }
    }

    Stream("f-late.xls", LateFilePassStream());
    const TSearchRun failed = Search("needle", 1);
    EXPECT_EQ(failed.Error, "");
    EXPECT_EQ(failed.Outcome.Hits, 7);
    ASSERT_EQ(failed.Outcome.Skipped.size(), 4u);  // b to d, and f's read error
    EXPECT_EQ(failed.Outcome.Skipped[3].File, dir / "f-late.xls");
    EXPECT_NE(failed.Outcome.Skipped[3].Reason, "");
    EXPECT_EQ(failed.Heard.back(), "done z.xls");
    for (const int jobs : {2, 4})
        ExpectSame(Search("needle", jobs), failed, std::to_string(jobs) + " jobs, read error");
}

// --- Progress ----------------------------------------------------------------------------

// Reports come from several workers at once: the bar sums their shares, never goes back and
// reaches the end, and each workbook's steps are named with its place in the folder.
TEST_F(ParallelCommandsTest, ProgressOfWorkbooksAtOnceNeverGoesBack) {
    MixedFolder(2000, false);
    const auto check = [](const std::vector<TProgress>& seen, const char* verb) {
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), [](const auto& a, const auto& b) {
            return a.Fraction < b.Fraction;
        })) << verb;
        EXPECT_DOUBLE_EQ(seen.back().Fraction, 1.0) << verb;
        for (const char* text : {"Reading a.xls (1 of 9)", "Reading z.xls (9 of 9)"}) {
            EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                                    [text](const TProgress& p) { return p.Text == text; }))
                << verb << ' ' << text;
        }
        EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [verb](const TProgress& p) {
            return p.Text == std::string(verb) + " e.xls (5 of 9)";
        })) << verb;
    };
    std::vector<TProgress> searched;
    TJobControl searchJob([&searched](const TProgress& p) { searched.push_back(p); });
    TSearchOptions options;
    options.Text = "needle";
    options.Jobs = 3;
    EXPECT_EQ(SearchDirectory(dir.path(), options, {}, {}, &searchJob).Hits, 7);
    check(searched, "Searching");

    std::vector<TProgress> written;
    TJobControl exportJob([&written](const TProgress& p) { written.push_back(p); });
    TExportSettings settings;
    settings.Jobs = 3;
    EXPECT_EQ(ExportDirectory(dir.path(), settings, {}, &exportJob).Message, kBatchExportDone);
    check(written, "Writing");
}
