#pragma once
// One piece of long work at a time off the event loop, as the sessions read a micrograph, compute
// its spectrum and fit it: Cancel reaches the work through its progress callback, progress reaches
// the owner's thread at most once a percent, and what went wrong comes back as a message, because
// exceptions do not cross a future.
//
// Stopping never waits long: work that does not end within kStopPatience of being cancelled (a read
// blocked in the kernel, on a network file system that went away, asks no progress) is left to end
// on its own. It runs on a pool of threads nobody joins, so not even the program's exit waits for
// it, and what it gives is dropped: neither its progress nor its outcome reaches the owner again.
#include "core/orvaliserror.h"
#include "micrograph/progress.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace orvalis {

// Responsive work sees Cancel at its next progress report, a few milliseconds away.
inline constexpr std::chrono::milliseconds kStopPatience{3000};

template <typename T> struct WorkOutcome {
    T value{};
    QString error;          // the message of a failure
    bool cancelled = false; // Cancel was pressed
};

namespace detail {

// The threads of all background work. Never destroyed (QCoreApplication joins the global pool as
// it goes, which would wait for work blocked in the kernel), and never short of a thread while
// some are blocked.
inline QThreadPool *backgroundPool()
{
    static QThreadPool *const pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(256);
        return p;
    }();
    return pool;
}

// One piece of work, shared by its thread and its owner for as long as either needs it.
struct WorkRun {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;       // the work has returned
    QObject *owner = nullptr; // who hears of its progress; null once the work is left to itself
};

// What `work(report)` gives, or how it failed: an OrvalisError keeps its message, running out of
// memory gives `outOfMemory`, and any other exception a message that says so.
template <typename T, typename Work>
WorkOutcome<T> outcomeOf(const Work &work, const ProgressCallback &report, const QString &outOfMemory)
{
    WorkOutcome<T> outcome;
    try {
        outcome.value = work(report);
    } catch (const Cancelled &) {
        outcome.cancelled = true;
    } catch (const OrvalisError &e) {
        outcome.error = e.text();
    } catch (const std::bad_alloc &) {
        outcome.error = outOfMemory;
    } catch (const std::exception &e) {
        // Nothing may leave the worker: the future would hand it to the event loop.
        outcome.error =
            QStringLiteral("The work stopped on an internal error: %1").arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        outcome.error = QStringLiteral("The work stopped on an internal error.");
    }
    return outcome;
}

} // namespace detail

template <typename T> class BackgroundWork {
public:
    // `progress` and `done` run on `owner`'s thread, and not once `owner` is gone; `done` runs for
    // the latest work only, not for work that newer work replaced.
    BackgroundWork(QObject *owner, std::function<void(double)> progress,
                   std::function<void(const WorkOutcome<T> &)> done)
        : m_owner(owner), m_progress(std::move(progress))
    {
        QObject::connect(&m_watcher, &QFutureWatcher<WorkOutcome<T>>::finished, owner, [this, done = std::move(done)] {
            const QFuture<WorkOutcome<T>> future = m_watcher.future();
            if (future.resultCount() > 0)
                done(future.result());
        });
    }
    ~BackgroundWork() { stop(); }
    BackgroundWork(const BackgroundWork &) = delete;
    BackgroundWork &operator=(const BackgroundWork &) = delete;

    // Stops the work under way and starts `work(progress)`. An OrvalisError keeps its message,
    // running out of memory gives `outOfMemory`, and any other exception a message that says so.
    template <typename Work> void start(Work work, const QString &outOfMemory)
    {
        stop();
        auto run = std::make_shared<detail::WorkRun>();
        run->owner = m_owner;
        m_run = run;
        auto last = std::make_shared<double>(-1.0);
        const ProgressCallback report = [progress = m_progress, run, last](double f) {
            if (f - *last >= 0.01 || f >= 1.0) {
                *last = f;
                const std::lock_guard<std::mutex> lock(run->mutex);
                if (run->owner)
                    QMetaObject::invokeMethod(
                        run->owner, [progress, f] { progress(f); }, Qt::QueuedConnection);
            }
            return !run->stop;
        };
        m_watcher.setFuture(
            QtConcurrent::run(detail::backgroundPool(), [work = std::move(work), report, outOfMemory, run] {
                struct Ended {
                    detail::WorkRun &run;
                    ~Ended()
                    {
                        {
                            const std::lock_guard<std::mutex> lock(run.mutex);
                            run.ended = true;
                        }
                        run.endedChanged.notify_all();
                    }
                } ended{*run};
                return detail::outcomeOf<T>(work, report, outOfMemory);
            }));
    }

    // The same work on this thread, once the work under way has stopped: for the shell and the
    // tests, which wait for it. Never cancelled.
    template <typename Work> WorkOutcome<T> runHere(Work work, const QString &outOfMemory)
    {
        stop();
        return detail::outcomeOf<T>(
            work, [](double) { return true; }, outOfMemory);
    }

    void cancel()
    {
        if (m_run)
            m_run->stop = true;
    }
    // Cancels the work under way and waits until it has ended, or leaves it to end on its own
    // after kStopPatience.
    void stop()
    {
        cancel();
        if (!m_run)
            return;
        std::unique_lock<std::mutex> lock(m_run->mutex);
        const bool ended = m_run->endedChanged.wait_for(lock, kStopPatience, [this] { return m_run->ended; });
        if (!ended)
            m_run->owner = nullptr;
        lock.unlock();
        if (ended)
            m_watcher.waitForFinished(); // the work has returned: its future is all but finished
        else
            m_watcher.setFuture(QFuture<WorkOutcome<T>>()); // one that has ended, with no outcome
        m_run.reset();
    }
    bool busy() const { return m_watcher.isRunning(); }

private:
    QObject *m_owner;
    std::function<void(double)> m_progress;
    QFutureWatcher<WorkOutcome<T>> m_watcher;
    std::shared_ptr<detail::WorkRun> m_run;
};

} // namespace orvalis
