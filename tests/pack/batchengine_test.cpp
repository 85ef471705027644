// SPDX-License-Identifier: GPL-3.0-or-later
// The batch engine every batch runs on: results come in the tasks' order however the threads
// finish, a cancel or a refusal to go on leaves exactly the first tasks taken, out of memory is a
// task's failure, and few results wait however many tasks there are.
#include "pack/batchengine.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>

namespace ravik::voicepack {
namespace {

struct EngineRow {
    std::string name;
    unsigned jobs = 1;
    std::size_t count = 0;
};

class Engine : public ::testing::TestWithParam<EngineRow> {};

// Tasks that take random times: the taker still gets them in order, each once.
TEST_P(Engine, TakesEveryResultOnceInTheTasksOrder) {
    const EngineRow& row = GetParam();
    std::vector<std::size_t> taken;
    std::atomic<std::size_t> running{0};
    std::atomic<std::size_t> mostRunning{0};
    std::size_t mostWaiting = 0;
    std::atomic<std::size_t> finished{0};
    const std::size_t total = runInOrder<std::size_t>(
        row.count, BatchRun{row.jobs, nullptr, {}},
        [&](std::size_t i) {
            const std::size_t now = ++running;
            std::size_t most = mostRunning;
            while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 500));
            --running;
            ++finished;
            return i * 3;
        },
        [](std::size_t) -> std::size_t { return 0; },
        [&](std::size_t i, std::size_t& result) {
            EXPECT_EQ(result, i * 3);
            taken.push_back(i);
            mostWaiting = std::max(mostWaiting, finished - taken.size());
            return true;
        });
    EXPECT_EQ(total, row.count);
    std::vector<std::size_t> expected(row.count);
    for (std::size_t i = 0; i < row.count; ++i)
        expected[i] = i;
    EXPECT_EQ(taken, expected);
    EXPECT_LE(mostRunning, std::max(1u, row.jobs));
    // However many tasks, a few results per thread wait to be taken.
    EXPECT_LE(mostWaiting, 4 * std::max<std::size_t>(row.jobs, 1));
}

INSTANTIATE_TEST_SUITE_P(Rows, Engine,
                         ::testing::Values(EngineRow{"no_task", 4, 0}, EngineRow{"one_task", 4, 1},
                                           EngineRow{"one_thread", 1, 50},
                                           EngineRow{"more_threads_than_tasks", 8, 3},
                                           EngineRow{"many_tasks_on_three", 3, 2'000}),
                         [](const auto& row) { return row.param.name; });

// A cancel stops the starting of tasks; every task started is taken, and only those: they are
// the first ones, so that the caller knows exactly what is left to do.
TEST(Engine, ACancelLeavesTheFirstTasksTakenAndNoOther) {
    std::atomic<bool> cancel{false};
    std::atomic<std::size_t> started{0};
    std::vector<std::size_t> taken;
    const std::size_t total = runInOrder<int>(
        1'000, BatchRun{3, &cancel, {}},
        [&](std::size_t i) {
            ++started;
            if (i == 40)
                cancel = true;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            return 0;
        },
        [](std::size_t) { return 0; },
        [&](std::size_t i, int&) {
            taken.push_back(i);
            return true;
        });
    EXPECT_GE(total, 41u);
    EXPECT_LT(total, 1'000u);
    EXPECT_EQ(total, started.load()); // every task started was taken
    EXPECT_EQ(taken.size(), total);
    EXPECT_EQ(taken.back(), total - 1);
}

// The taker refusing to go on (a report that cannot be printed) ends the batch there.
TEST(Engine, ATakerThatStopsEndsTheBatchAtItsTask) {
    std::vector<std::size_t> taken;
    const std::size_t total = runInOrder<int>(
        500, BatchRun{2, nullptr, {}}, [](std::size_t) { return 1; }, [](std::size_t) { return 0; },
        [&](std::size_t i, int&) {
            taken.push_back(i);
            return i < 9;
        });
    EXPECT_EQ(total, 10u);
    EXPECT_EQ(taken.size(), 10u);
}

// A task that runs out of memory ends with its failure's result; the others go on.
TEST(Engine, OutOfMemoryIsThatTasksFailure) {
    std::vector<std::string> results;
    runInOrder<std::string>(
        5, BatchRun{2, nullptr, {}},
        [](std::size_t i) -> std::string {
            if (i == 2)
                throw std::bad_alloc();
            return "done " + std::to_string(i);
        },
        [](std::size_t i) {
            return outOfMemory("Could not lint", "t" + std::to_string(i)).sentence();
        },
        [&](std::size_t, std::string& result) {
            results.push_back(result);
            return true;
        });
    EXPECT_EQ(results, (std::vector<std::string>{
                           "done 0", "done 1",
                           "Could not lint \"t2\": " +
                               std::make_error_code(std::errc::not_enough_memory).message() + ".",
                           "done 3", "done 4"}));
}

// The progress counts every task once, up to all of them.
TEST(Engine, ProgressCountsUpToAll) {
    std::vector<std::size_t> seen;
    runInOrder<int>(
        30,
        BatchRun{3, nullptr,
                 [&](std::size_t done, std::size_t total) {
                     EXPECT_EQ(total, 30u);
                     seen.push_back(done);
                 }},
        [](std::size_t) { return 0; }, [](std::size_t) { return 0; },
        [](std::size_t, int&) { return true; });
    ASSERT_EQ(seen.size(), 30u);
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], i + 1);
}

} // namespace
} // namespace ravik::voicepack
