// Ctrl-C (SIGINT) and SIGTERM while vorlix-cli writes files: the first one cancels the
// command's job, which then removes the file it was writing (files are written beside
// their names and take them only when whole) and stops; the command lists what it had
// written and exits with 128 + the signal's number (130, 143). A second one ends the
// program at once, as if there were no handler.
#pragma once

#include <streambuf>

namespace vorlix::app {
class TJobControl;
}

namespace vorlix::cli {

// Cancels `job` on the first SIGINT or SIGTERM for the life of the object; the handlers
// that were there before come back afterwards.
class TInterruptScope {
  public:
    explicit TInterruptScope(app::TJobControl& job);
    ~TInterruptScope();
    TInterruptScope(const TInterruptScope&) = delete;
    TInterruptScope& operator=(const TInterruptScope&) = delete;
};

// Passes text on to another buffer until `job` is cancelled, then takes no more: a writer
// to standard output stops at its next line.
class TStoppingBuffer : public std::streambuf {
  public:
    TStoppingBuffer(std::streambuf& target, const app::TJobControl& job)
        : target_(target), job_(job) {}

  protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override { return target_.pubsync(); }

  private:
    std::streambuf& target_;
    const app::TJobControl& job_;
};

// The signal that cancelled the job, or 0.
int InterruptSignal();
// The exit status after that signal: 128 + its number.
int InterruptedStatus();

}  // namespace vorlix::cli
