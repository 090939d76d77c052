// The worker threads of the folder commands.
#include "app/WorkPool.h"

#include <algorithm>

#include "platform/OrderedParallel.h"

namespace vorlix::app {

int DefaultJobs() {
    return static_cast<int>(platform::Cores());
}

TWorkPool::TWorkPool(int threads) {
    const int count = std::max(threads, 1);
    threads_.reserve(static_cast<std::size_t>(count));
    try {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] { Work(); });
    } catch (...) {
        // The threads started so far are stopped again before the error goes on.
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
        throw;
    }
}

TWorkPool::~TWorkPool() {
    std::deque<TTask> dropped;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        dropped.swap(tasks_);
    }
    changed_.notify_all();
    for (TTask& task : dropped)
        task(false);
    for (std::thread& thread : threads_)
        thread.join();
}

void TWorkPool::Queue(TTask task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_one();
}

void TWorkPool::Work() {
    // The workbooks side by side already keep the cores busy: each renders its cells on
    // its own thread.
    const platform::TSingleThreaded single;
    for (;;) {
        TTask task;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // closing
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        // The task catches what its work raises; nothing escapes to end the thread.
        task(true);
    }
}

}  // namespace vorlix::app
