// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

/// The one engine every batch of the program runs on: gaptool's detect, lint and defrag over many
/// files, and the Voice Pack window's scan, Detect and Defrag. Commands and windows give it the
/// tasks and take the results; none starts threads of its own.
namespace ravik::voicepack {

/// Gets the tasks done so far and all; called from the batch's threads, one call at a time.
using BatchProgress = std::function<void(std::size_t done, std::size_t total)>;

/// How a batch runs.
struct BatchRun {
    unsigned jobs = 1; ///< tasks worked on at once (at least 1)
    /// Once set, no task is started; those under way finish.
    const std::atomic<bool>* cancel = nullptr;
    BatchProgress progress;
};

/// The reason a task gives when it runs out of memory, the same for every batch.
[[nodiscard]] inline Failure outOfMemory(std::string action, std::string path) {
    return Failure{std::move(action), std::move(path),
                   reasonText(std::make_error_code(std::errc::not_enough_memory))};
}

/// Runs `work(i)` for every task i below `count` on `run.jobs` threads, each taking the next task
/// not yet taken, and hands each result to `take(i, result)` on the calling thread in the tasks'
/// order, as soon as it and those before it are done: a report comes out in order, and at most a
/// few results per thread wait to be taken, however many tasks there are. A task that runs out of
/// memory gives `failed(i, outOfMemory(...))`'s result instead. Stops starting tasks once
/// `run.cancel` is set or `take` returns false. Returns how many tasks were taken, the first
/// ones: the rest were not done, or are dropped.
template <class Result, class Work, class Failed, class Take>
std::size_t runInOrder(std::size_t count, const BatchRun& run, Work work, Failed failed,
                       Take take) {
    const std::size_t jobs = std::clamp<std::size_t>(run.jobs, 1, std::max<std::size_t>(count, 1));
    // Results wait in a ring of this many places; a task is started only when its place is free.
    const std::size_t places = 4 * jobs;
    std::vector<std::optional<Result>> ring(places);
    std::mutex mutex;
    std::condition_variable ready; // a result came in
    std::condition_variable roomy; // a slot was freed
    std::size_t next = 0;          // the next task to start
    std::size_t taken = 0;         // the next task to take
    std::size_t done = 0;
    bool stopped = false;
    const auto cancelled = [&] { return stopped || (run.cancel != nullptr && *run.cancel); };
    const auto attempt = [&](std::size_t task) {
        std::optional<Result> result;
        try {
            result.emplace(work(task));
        } catch (const std::bad_alloc&) {
            result.reset();
            result.emplace(failed(task));
        }
        return result;
    };

    const auto worker = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            roomy.wait(lock, [&] { return cancelled() || next >= count || next < taken + places; });
            if (cancelled() || next >= count) {
                ready.notify_all(); // the taker may be waiting for a task nobody starts now
                return;
            }
            const std::size_t task = next++;
            lock.unlock();
            std::optional<Result> result = attempt(task);
            lock.lock();
            ring[task % places] = std::move(result);
            ++done;
            if (run.progress)
                run.progress(done, count);
            ready.notify_all();
        }
    };
    // One task at a time needs no thread; a thread the system refuses (no memory for its stack)
    // leaves the work to those it gave, or to this one.
    std::vector<std::jthread> threads;
    for (std::size_t j = 0; j < jobs && jobs > 1 && count > 1; ++j) {
        try {
            threads.emplace_back(worker);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (threads.empty()) {
        std::size_t task = 0;
        for (; task < count && !cancelled(); ++task) {
            std::optional<Result> result = attempt(task);
            if (run.progress)
                run.progress(task + 1, count);
            if (!take(task, *result))
                return task + 1;
        }
        return task;
    }

    std::unique_lock lock(mutex);
    while (taken < count) {
        ready.wait(lock, [&] {
            return ring[taken % places].has_value() || (cancelled() && next <= taken);
        });
        std::optional<Result>& slot = ring[taken % places];
        if (!slot)
            break; // cancelled before this task was started
        Result result = std::move(*slot);
        slot.reset();
        const std::size_t task = taken++;
        roomy.notify_all();
        lock.unlock();
        const bool goOn = take(task, result);
        lock.lock();
        if (!goOn) {
            stopped = true;
            roomy.notify_all();
            break;
        }
    }
    stopped = true;
    roomy.notify_all();
    lock.unlock();
    threads.clear(); // joins: the tasks under way finish, their results are dropped
    return taken;
}

} // namespace ravik::voicepack
