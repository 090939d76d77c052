// Work split into numbered pieces, made on several threads and taken in order on the
// calling thread: the cells of a large sheet are formatted on every core while the text
// still goes out row after row.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vorlix::platform {

// The cores this process may run on (as `nproc` counts them), at least 1.
unsigned Cores();
// The threads a piece of work may use: Cores(), or 1 inside a TSingleThreaded scope (work
// that already runs beside other work of its kind).
unsigned WorkThreads();

// While it lives, WorkThreads() is 1 on the thread that made it.
class TSingleThreaded {
  public:
    TSingleThreaded();
    ~TSingleThreaded();
    TSingleThreaded(const TSingleThreaded&) = delete;
    TSingleThreaded& operator=(const TSingleThreaded&) = delete;

  private:
    bool before_;
};

// Calls make(i) for every i in [0, count), on up to `threads` threads, and take(i, piece)
// on the calling thread for i = 0, 1, ... in order. At most twice as many pieces as
// threads are made ahead of the one taken. take returns false to stop: pieces not yet
// made are not made. An exception from make comes out of the call at that piece's turn,
// one from take at once; either way the threads have ended by then. With one thread or
// one piece everything runs on the calling thread.
template <typename Piece>
void OrderedParallel(std::size_t count, unsigned threads,
                     const std::function<Piece(std::size_t)>& make,
                     const std::function<bool(std::size_t, Piece&)>& take) {
    if (threads > count) threads = static_cast<unsigned>(count);
    if (threads <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            Piece piece = make(i);
            if (!take(i, piece)) return;
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
    std::vector<TSlot> slots(window);
    std::size_t next = 0;   // the next piece to make
    std::size_t taken = 0;  // pieces taken so far
    bool stop = false;

    const auto work = [&] {
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
                made.piece.emplace(make(i));
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

    // Joins the threads however the taking ends.
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
    for (unsigned t = 0; t < threads; ++t)
        crew.threads.emplace_back(work);

    for (std::size_t i = 0; i < count; ++i) {
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
        if (!take(i, *slot.piece)) return;
    }
}

}  // namespace vorlix::platform
