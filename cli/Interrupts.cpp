#include "cli/Interrupts.h"

#include <atomic>
#include <csignal>

#include "app/commands/JobControl.h"

namespace vorlix::cli {

namespace {

// What the handler touches: lock-free atomics only, as a signal handler may.
std::atomic<app::TJobControl*> gJob{nullptr};
std::atomic<int> gSignal{0};
static_assert(std::atomic<app::TJobControl*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction gPreviousInt {};
struct sigaction gPreviousTerm {};

extern "C" void OnInterrupt(int signal) {
    int none = 0;
    gSignal.compare_exchange_strong(none, signal);
    // TJobControl::Cancel sets a lock-free atomic flag.
    if (app::TJobControl* job = gJob.load()) job->Cancel();
}

}  // namespace

TInterruptScope::TInterruptScope(app::TJobControl& job) {
    gJob = &job;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Once handled, the signal's default comes back: a second Ctrl-C ends the program.
    // System calls go on where they were; the job notices the cancellation at its next
    // check.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &gPreviousInt);
    sigaction(SIGTERM, &action, &gPreviousTerm);
}

TInterruptScope::~TInterruptScope() {
    sigaction(SIGINT, &gPreviousInt, nullptr);
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
    gJob = nullptr;
}

TStoppingBuffer::int_type TStoppingBuffer::overflow(int_type ch) {
    if (job_.Cancelled()) return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    return target_.sputc(traits_type::to_char_type(ch));
}

std::streamsize TStoppingBuffer::xsputn(const char* text, std::streamsize count) {
    return job_.Cancelled() ? 0 : target_.sputn(text, count);
}

int InterruptSignal() {
    return gSignal.load();
}

int InterruptedStatus() {
    return 128 + gSignal.load();
}

}  // namespace vorlix::cli
