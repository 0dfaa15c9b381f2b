#pragma once
// Items of work spread over a few threads, with progress and Cancel from the thread that waits for
// them: a tilt series' tilts, a micrograph's patches.
#include "micrograph/progress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orvalis {

// Runs work(i, stop) for i in 0 .. count - 1 on up to `threads` threads of its own while this thread
// reports the fraction done, from `from` to `to`, a few times a second. A false from `progress`, or a
// failure, sets `stop`, which work passes on to its own long steps, and no further item starts. Throws
// Cancelled when `progress` asked to stop, else rethrows the first failure.
template <typename Work>
void parallelFor(int count, int threads, const ProgressCallback &progress, double from, double to, const Work &work)
{
    std::atomic<int> next{0}, done{0}, running{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable finished;
    const auto run = [&] {
        for (int i = next++; i < count && !stop; i = next++) {
            try {
                work(i, stop);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            ++done;
            finished.notify_one();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            --running;
        }
        finished.notify_one();
    };
    std::vector<std::thread> pool;
    const int workers = std::clamp(threads, 1, std::max(1, count));
    running = workers;
    for (int t = 0; t < workers; ++t)
        pool.emplace_back(run);
    bool cancelled = false;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (running > 0)
                finished.wait_for(lock, std::chrono::milliseconds(100));
        }
        if (running == 0)
            break;
        if (progress && !cancelled && !progress(from + (to - from) * double(done) / std::max(1, count))) {
            cancelled = true;
            stop = true;
        }
    }
    for (std::thread &t : pool)
        t.join();
    if (cancelled)
        throw Cancelled();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace orvalis
