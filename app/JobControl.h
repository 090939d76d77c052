// Long commands: how they tell how far they got, and how they learn that they are to stop.
// The window runs them on a thread of their own and cancels them from its own; the command
// line runs them without either.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>

namespace vorlix {
class TXLSDocument;
class TXLSFile;
}  // namespace vorlix

namespace vorlix::app {

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
// sink runs on the command's thread.
class TJobControl {
  public:
    using TProgressSink = std::function<void(const TProgress&)>;

    explicit TJobControl(TProgressSink onProgress = {}) : onProgress_(std::move(onProgress)) {}
    TJobControl(const TJobControl&) = delete;
    TJobControl& operator=(const TJobControl&) = delete;

    // From any thread: the command stops at its next check.
    void Cancel() noexcept { cancelled_ = true; }
    bool Cancelled() const noexcept { return cancelled_; }
    // Raises TCancelled once cancelled.
    void Check() const {
        if (cancelled_) throw TCancelled();
    }
    // The work done so far. The sink hears of it when the text changed or the fraction
    // moved by a thousandth, so that a caller may report as often as it likes.
    void Report(const std::string& text, double fraction);

  private:
    std::atomic<bool> cancelled_{false};
    TProgressSink onProgress_;
    std::string text_;
    int permille_ = -1;
};

// One workbook's share of a command's progress: workbook `number` (from 1) of `count`.
// Reading it is the first half of its share, the pass over its cells or sheets (listing,
// searching, writing) the second. Without a job control nothing is reported and nothing
// is ever cancelled.
class TWorkbookStep {
  public:
    TWorkbookStep(TJobControl* job, const std::filesystem::path& file, const char* passVerb,
                  int number = 1, int count = 1);

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

    TJobControl* job_;
    std::filesystem::path file_;
    std::string readText_;
    std::string passText_;
    int number_;
    int count_;
};

}  // namespace vorlix::app
