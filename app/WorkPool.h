// A fixed set of worker threads for the folder commands, which read several workbooks at
// once. Tasks run in the order they were submitted, each on whichever thread is free; what
// a task returns, or the exception it raised, waits in its TPending until the submitter
// takes it, so that the submitter can hand results on in an order of its own (the folder's
// listing order) whatever order the threads finish in.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace vorlix::app {

// The number of workbooks the folder commands read at once unless told otherwise: one per
// core (at least one).
int DefaultJobs();

// The result of one submitted task, shared by the worker that fills it and the submitter
// that waits for it.
template <class T>
class TPending {
  public:
    TPending() = default;

    // True once the task is over (or was dropped), so that Get() does not wait.
    bool Ready() const {
        std::lock_guard lock(state_->mutex);
        return state_->done;
    }
    // Waits for the task and gives its result; an exception the task raised is raised
    // again here, on the thread that asks. A result is taken once.
    T Get() {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, [this] { return state_->done; });
        if (state_->error) std::rethrow_exception(state_->error);
        return std::move(*state_->value);
    }

  private:
    friend class TWorkPool;

    struct TState {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        std::optional<T> value;
        std::exception_ptr error;

        void Finish(std::optional<T> result, std::exception_ptr raised) {
            {
                std::lock_guard lock(mutex);
                value = std::move(result);
                error = std::move(raised);
                done = true;
            }
            changed.notify_all();
        }
    };

    explicit TPending(std::shared_ptr<TState> state) : state_(std::move(state)) {}

    std::shared_ptr<TState> state_;
};

// Raised by TPending::Get() for a task that the pool dropped unstarted when it was closed.
class TTaskDropped : public std::runtime_error {
  public:
    TTaskDropped() : std::runtime_error("The task was dropped unstarted") {}
};

class TWorkPool {
  public:
    // Starts `threads` worker threads (at least one).
    explicit TWorkPool(int threads);
    // Drops the tasks not yet started (their results raise TTaskDropped) and waits for
    // those that run.
    ~TWorkPool();
    TWorkPool(const TWorkPool&) = delete;
    TWorkPool& operator=(const TWorkPool&) = delete;

    int Threads() const { return static_cast<int>(threads_.size()); }

    // Queues `work`; it runs on one of the pool's threads.
    template <class F>
    auto Submit(F work) -> TPending<decltype(work())> {
        using T = decltype(work());
        auto state = std::make_shared<typename TPending<T>::TState>();
        // Held by a shared pointer so that a work owning what cannot be copied (a workbook)
        // still fits into the queue's copyable functions.
        auto owned = std::make_shared<F>(std::move(work));
        Queue([state, owned](bool run) {
            if (!run) {
                state->Finish(std::nullopt, std::make_exception_ptr(TTaskDropped()));
                return;
            }
            std::optional<T> result;
            std::exception_ptr raised;
            try {
                result.emplace((*owned)());
            } catch (...) {
                raised = std::current_exception();
            }
            state->Finish(std::move(result), std::move(raised));
        });
        return TPending<T>(std::move(state));
    }

  private:
    // A queued task; it is called with false instead of being run when it is dropped.
    using TTask = std::function<void(bool run)>;

    void Queue(TTask task);
    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TTask> tasks_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vorlix::app
