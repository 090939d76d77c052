// The window's long commands run here, on a thread of their own and one at a time, so that
// the window goes on answering while a workbook is read, searched or written.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/commands/JobControl.h"

namespace vorlix::app {

// The work runs on the job's thread with a TJobControl. Its progress reaches Progress() on
// the window's thread; what it makes for the window it hands over through Post(), and it
// asks the user through Ask(). It returns what is left to do on the window's thread, which
// runs after everything it posted and after Ended(); an error it lets through reaches
// Failed() instead.
//
// The work must not touch the window: everything it does there goes through Post() and
// Ask(). Nothing it posted runs once the job object is gone or the job was stopped.
// The folder commands spread their workbooks over threads of their own (OrderedParallel.h)
// and end them before they return; their progress comes from those threads, their other
// callbacks, and so every Post() and Ask(), from the job's thread.
class TBackgroundJob : public QObject {
    Q_OBJECT
  public:
    using TFinish = std::function<void()>;
    using TWork = std::function<TFinish(TJobControl& control)>;

    explicit TBackgroundJob(QObject* parent = nullptr);
    // Stops the work that runs.
    ~TBackgroundJob() override;

    // From the start of a work until it ended (Ended()) or was stopped.
    bool Busy() const { return busy_; }
    // Starts `work`; false, and nothing started, while another work runs.
    bool Start(TWork work);
    // Asks the work to stop at its next check; its finish still runs.
    void Cancel();
    // Cancels the work and waits for its thread; nothing it posted runs any more, nor its
    // finish.
    void Stop();

    // From the work: runs `task` on the window's thread, in the order posted. While a few
    // tasks still wait to run it waits for them first, so that the window keeps up with
    // the work (unless cancelled).
    void Post(std::function<void()> task);
    // From the work: runs `question` on the window's thread and gives its answer; raises
    // TCancelled when the work is cancelled before the answer comes.
    bool Ask(std::function<bool()> question);

  Q_SIGNALS:
    void Progress(const QString& text, double fraction);
    // The work is over (no longer Busy()); its finish follows.
    void Ended();
    void Failed(const QString& message);

  private:
    // Runs `task` on the window's thread unless the work it came from was stopped.
    void Deliver(std::function<void()> task);
    void ShowProgress();
    void Finish(const TFinish& finish);

    static constexpr int kMaxWaitingTasks = 4;

    // Changed on the window's thread only while no work runs, so that the job's thread
    // reads them freely.
    std::thread thread_;
    std::unique_ptr<TJobControl> control_;
    std::uint64_t generation_ = 0;  // which work the posted tasks belong to

    bool busy_ = false;

    // Shared with the job's thread.
    std::mutex mutex_;
    std::condition_variable changed_;
    int waitingTasks_ = 0;
    std::optional<TProgress> progress_;  // the latest progress not yet shown
};

}  // namespace vorlix::app
