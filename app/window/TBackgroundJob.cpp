#include "app/window/TBackgroundJob.h"

#include <exception>
#include <utility>

namespace vorlix::app {

TBackgroundJob::TBackgroundJob(QObject* parent) : QObject(parent) {}

TBackgroundJob::~TBackgroundJob() {
    Stop();
}

bool TBackgroundJob::Start(TWork work) {
    if (busy_) return false;
    if (thread_.joinable()) thread_.join();
    ++generation_;
    {
        std::lock_guard lock(mutex_);
        waitingTasks_ = 0;
        progress_.reset();
    }
    // The progress shown is the latest: while one update waits to be shown, later ones
    // take its place instead of queueing up behind it.
    control_ = std::make_unique<TJobControl>([this](const TProgress& progress) {
        bool post = false;
        {
            std::lock_guard lock(mutex_);
            post = !progress_.has_value();
            progress_ = progress;
        }
        if (post) Deliver([this] { ShowProgress(); });
    });
    busy_ = true;
    thread_ = std::thread([this, work = std::move(work)] {
        TFinish finish;
        try {
            finish = work(*control_);
        } catch (const TCancelled&) {
            // A work that lets its cancellation through ends without a finish.
        } catch (const std::exception& e) {
            finish = [this, message = QString::fromUtf8(e.what())] { Q_EMIT Failed(message); };
        }
        Deliver([this, finish = std::move(finish)] { Finish(finish); });
    });
    return true;
}

void TBackgroundJob::Cancel() {
    if (!control_) return;
    control_->Cancel();
    // Under the lock, so that a wait of the work's thread cannot miss it.
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

void TBackgroundJob::Stop() {
    Cancel();
    if (thread_.joinable()) thread_.join();
    ++generation_;
    busy_ = false;
}

void TBackgroundJob::Post(std::function<void()> task) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock,
                      [this] { return waitingTasks_ < kMaxWaitingTasks || control_->Cancelled(); });
        ++waitingTasks_;
    }
    Deliver([this, task = std::move(task)] {
        task();
        {
            std::lock_guard lock(mutex_);
            --waitingTasks_;
        }
        changed_.notify_all();
    });
}

bool TBackgroundJob::Ask(std::function<bool()> question) {
    auto answer = std::make_shared<std::optional<bool>>();
    Deliver([this, answer, question = std::move(question)] {
        const bool yes = !control_->Cancelled() && question();
        {
            std::lock_guard lock(mutex_);
            *answer = yes;
        }
        changed_.notify_all();
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return answer->has_value() || control_->Cancelled(); });
    if (control_->Cancelled()) throw TCancelled();
    return **answer;
}

void TBackgroundJob::Deliver(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this,
        [this, generation = generation_, task = std::move(task)] {
            if (generation == generation_) task();
        },
        Qt::QueuedConnection);
}

void TBackgroundJob::ShowProgress() {
    std::optional<TProgress> progress;
    {
        std::lock_guard lock(mutex_);
        progress.swap(progress_);
    }
    if (progress) Q_EMIT Progress(QString::fromStdString(progress->Text), progress->Fraction);
}

void TBackgroundJob::Finish(const TFinish& finish) {
    if (thread_.joinable()) thread_.join();
    busy_ = false;
    Q_EMIT Ended();
    if (finish) finish();
}

}  // namespace vorlix::app
