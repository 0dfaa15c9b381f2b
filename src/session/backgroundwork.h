#pragma once
// One piece of long work at a time off the event loop, as the sessions read a micrograph, compute
// its spectrum and fit it: Cancel reaches the work through its progress callback, progress reaches
// the owner's thread at most once a percent, and what went wrong comes back as a message, because
// exceptions do not cross a future.
#include "core/orvaliserror.h"
#include "micrograph/progress.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <utility>

namespace orvalis {

template <typename T> struct WorkOutcome {
    T value{};
    QString error;          // the message of a failure
    bool cancelled = false; // Cancel was pressed
};

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
        auto flag = std::make_shared<std::atomic<bool>>(false);
        m_stop = flag;
        auto last = std::make_shared<double>(-1.0);
        const ProgressCallback report = [owner = m_owner, progress = m_progress, flag, last](double f) {
            if (f - *last >= 0.01 || f >= 1.0) {
                *last = f;
                QMetaObject::invokeMethod(
                    owner, [progress, f] { progress(f); }, Qt::QueuedConnection);
            }
            return !*flag;
        };
        m_watcher.setFuture(QtConcurrent::run([work = std::move(work), report, outOfMemory] {
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
        }));
    }

    void cancel()
    {
        if (m_stop)
            *m_stop = true;
    }
    // Cancels the work under way and waits until it has ended.
    void stop()
    {
        cancel();
        m_watcher.waitForFinished();
    }
    bool busy() const { return m_watcher.isRunning(); }

private:
    QObject *m_owner;
    std::function<void(double)> m_progress;
    QFutureWatcher<WorkOutcome<T>> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace orvalis
