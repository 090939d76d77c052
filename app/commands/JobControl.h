// Long commands: how they tell how far they got, and how they learn that they are to stop.
// The window runs them on a thread of their own and cancels them from its own; the command
// line runs them without either.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vorlix {
class TXLSDocument;
class TXLSFile;
}  // namespace vorlix

namespace vorlix::app {

// The number of workbooks the folder commands read at once unless told otherwise: one per
// core (at least one).
int DefaultJobs();

// Raised inside a command at its next check once it is cancelled. The commands catch it,
// free what they made and return an outcome marked as cancelled.
class TCancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "Cancelled"; }
};

struct TProgress {
    std::string Text;       // what is being done: "Reading big.xls (2 of 5)"
    double Fraction = 0.0;  // of the whole command, 0 to 1
};

// Shared by the thread that runs a command and the one that may cancel it. The progress
// sink runs on the command's thread, or, while a folder command reads several workbooks at
// once, on the thread of any of its workers, one report at a time (see TFolderProgress).
class TJobControl {
  public:
    using TProgressSink = std::function<void(const TProgress&)>;

    explicit TJobControl(TProgressSink onProgress = {}) : onProgress_(std::move(onProgress)) {}
    // The control of a command's workers: cancelled with `parent` (when given) or on its
    // own, so that the command can stop its workers without cancelling its caller's job.
    // It reports nothing.
    explicit TJobControl(const TJobControl* parent) : parent_(parent) {}
    TJobControl(const TJobControl&) = delete;
    TJobControl& operator=(const TJobControl&) = delete;

    // From any thread: the command stops at its next check.
    void Cancel() noexcept { cancelled_ = true; }
    bool Cancelled() const noexcept {
        return cancelled_ || (parent_ != nullptr && parent_->Cancelled());
    }
    // Raises TCancelled once cancelled.
    void Check() const {
        if (Cancelled()) throw TCancelled();
    }
    // The work done so far. The sink hears of it when the text changed or the fraction
    // moved by a thousandth, so that a caller may report as often as it likes.
    void Report(const std::string& text, double fraction);

  private:
    std::atomic<bool> cancelled_{false};
    const TJobControl* parent_ = nullptr;
    TProgressSink onProgress_;
    std::string text_;
    int permille_ = -1;
};

// The progress of a folder command whose workbooks are read at once, by several threads:
// each workbook's share of its own step counts, and the bar shows their sum over the
// number of workbooks (it never goes back); the text is that of the workbook heard of
// last. Without a job control nothing is reported.
class TFolderProgress {
  public:
    TFolderProgress(TJobControl* job, int count);
    TFolderProgress(const TFolderProgress&) = delete;
    TFolderProgress& operator=(const TFolderProgress&) = delete;

    // From any thread: workbook `number` (from 1) is `share` (0 to 1) through its step.
    void Report(int number, const std::string& text, double share);

  private:
    // Shares are counted in millionths, so that the sum is exact and all shares full make
    // the whole.
    static constexpr std::int64_t kWhole = 1000000;

    std::mutex mutex_;
    TJobControl* job_;
    std::vector<std::int64_t> shares_;
    std::int64_t sum_ = 0;
};

// One workbook's share of a command's progress: workbook `number` (from 1) of `count`.
// Reading it is the first half of its share, the pass over its cells or sheets (listing,
// searching, writing) the second. Without a job control nothing is reported and nothing
// is ever cancelled. With a folder progress the shares go there instead of to the job
// control, which is then only checked for a cancellation.
class TWorkbookStep {
  public:
    TWorkbookStep(TJobControl* job, const std::filesystem::path& file, const char* passVerb,
                  int number = 1, int count = 1, TFolderProgress* folder = nullptr);

    // Reports the start of the workbook; raises TCancelled once cancelled.
    void Start();
    // Reads the file into `xls` (from `document` when the checks opened it), reporting the
    // share of the stream read; a cancellation ends the read at the next record with
    // TCancelled (the reader frees what it made).
    void Read(TXLSFile& xls, const std::u16string& password, TXLSDocument* document = nullptr);
    // `done` of `total` items of the pass are through; raises TCancelled once cancelled.
    void Pass(std::size_t done, std::size_t total);
    // The workbook is done with.
    void Finish();

  private:
    double At(double share) const { return (number_ - 1 + share) / count_; }
    void Report(const std::string& text, double share);

    TJobControl* job_;
    TFolderProgress* folder_;
    std::filesystem::path file_;
    std::string readText_;
    std::string passText_;
    int number_;
    int count_;
};

}  // namespace vorlix::app
