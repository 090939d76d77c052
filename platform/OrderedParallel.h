// Work split into numbered pieces, made on several threads and taken in order on the
// calling thread. The one way the program spreads work over cores: the cells of a large
// sheet are formatted on every core while the text still goes out row after row, and the
// workbooks of a folder are read side by side while their hits and files are handed on in
// the folder's order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vorlix::platform {

// The cores this process may run on (as `nproc` counts them), at least 1.
unsigned Cores();
// The threads a piece of work may use: Cores(), or 1 inside a TSingleThreaded scope (work
// that already runs beside other work of its kind, as every piece of an OrderedParallel
// run with threads of its own does).
unsigned WorkThreads();

// While it lives, WorkThreads() is 1 on the thread that made it, and OrderedParallel runs
// there inline whatever threads it is given.
class TSingleThreaded {
  public:
    TSingleThreaded();
    ~TSingleThreaded();
    TSingleThreaded(const TSingleThreaded&) = delete;
    TSingleThreaded& operator=(const TSingleThreaded&) = delete;

    // True on a thread inside such a scope.
    static bool Here();

  private:
    bool before_;
};

// What an OrderedParallel run does with its pieces.
template <typename Piece>
struct TOrderedSteps {
    // Makes piece i, on any of the run's threads; what it raises comes out of the run at
    // the piece's turn.
    std::function<Piece(std::size_t i)> Make;
    // Takes piece i on the calling thread, in the order of i; false ends the run there.
    std::function<bool(std::size_t i, Piece& piece)> Take;
    // Optional: opens piece i's turn on the calling thread, after the piece before was
    // taken and before piece i is waited for; when the run has no threads of its own,
    // before piece i is made. What it raises ends the run.
    std::function<void(std::size_t i)> Turn;
    // Optional: called on the calling thread when the run ends before its last piece (an
    // exception, or a false from Take) while pieces may still be made on other threads,
    // before the run waits for them: a chance to tell them to stop early.
    std::function<void()> Stop;
};

// Runs piece i = 0, 1, ... count-1 through the steps: with `threads` above 1 (and more
// than one piece) on that many threads of the run's own (at most one per piece), else
// inline on the calling thread, where Turn(i), Make(i) and Take(i) follow each other piece
// by piece; inside a TSingleThreaded scope it runs inline too. With threads, at most twice
// as many pieces as threads are made ahead of the one taken, so that a slow taker holds
// few; pieces not yet started when the run ends are never made. An exception from Make
// comes out at that piece's turn, one from Turn or Take at once; either way the threads
// have ended by then, and the pieces made but not taken are gone. The run's threads make
// their pieces inside a TSingleThreaded scope: a run started inside a piece runs inline.
template <typename Piece>
void OrderedParallel(std::size_t count, unsigned threads, const TOrderedSteps<Piece>& steps) {
    if (threads > count) threads = static_cast<unsigned>(count);
    if (threads <= 1 || TSingleThreaded::Here()) {
        for (std::size_t i = 0; i < count; ++i) {
            if (steps.Turn) steps.Turn(i);
            Piece piece = steps.Make(i);
            if (!steps.Take(i, piece)) return;
        }
        return;
    }
    const std::size_t window = 2 * static_cast<std::size_t>(threads);
    struct TSlot {
        std::optional<Piece> piece;
        std::exception_ptr error;
        bool ready = false;
    };
    std::mutex mutex;
    std::condition_variable changed;
    // Declared before the threads, so that the pieces they made outlive them.
    std::vector<TSlot> slots(window);
    std::size_t next = 0;   // the next piece to make
    std::size_t taken = 0;  // pieces taken so far
    bool stop = false;

    const auto work = [&] {
        const TSingleThreaded single;
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || next >= count || next < taken + window; });
                if (stop || next >= count) return;
                i = next++;
            }
            TSlot made;
            try {
                made.piece.emplace(steps.Make(i));
            } catch (...) {
                made.error = std::current_exception();
            }
            made.ready = true;
            {
                std::lock_guard lock(mutex);
                slots[i % window] = std::move(made);
            }
            changed.notify_all();
        }
    };

    // Ends the threads however the taking ends.
    struct TCrew {
        std::vector<std::thread> threads;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~TCrew() {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread& t : threads)
                t.join();
        }
    } crew{{}, mutex, changed, stop};
    const auto stopEarly = [&] {
        if (steps.Stop) steps.Stop();
    };
    try {
        for (unsigned t = 0; t < threads; ++t)
            crew.threads.emplace_back(work);
        for (std::size_t i = 0; i < count; ++i) {
            if (steps.Turn) steps.Turn(i);
            TSlot slot;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return slots[i % window].ready; });
                slot = std::move(slots[i % window]);
                slots[i % window] = TSlot{};
                taken = i + 1;
            }
            changed.notify_all();
            if (slot.error) std::rethrow_exception(slot.error);
            if (!steps.Take(i, *slot.piece)) {
                stopEarly();
                return;
            }
        }
    } catch (...) {
        stopEarly();
        throw;
    }
}

// The same with Make and Take alone.
template <typename Piece>
void OrderedParallel(std::size_t count, unsigned threads, std::function<Piece(std::size_t)> make,
                     std::function<bool(std::size_t, Piece&)> take) {
    TOrderedSteps<Piece> steps;
    steps.Make = std::move(make);
    steps.Take = std::move(take);
    OrderedParallel<Piece>(count, threads, steps);
}

}  // namespace vorlix::platform
