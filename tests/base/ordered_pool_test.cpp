// Items run on several threads come back in item order, memory stays within the window, and
// a stop or a failure ends the run with every item accounted for.
#include "base/ordered_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace bm {
namespace {

// Sleeps a pseudo-random few microseconds so that items finish out of order.
void Jitter(std::size_t index) {
  std::this_thread::sleep_for(std::chrono::microseconds((index * 7919) % 300));
}

TEST(OrderedPool, ResultsComeInItemOrderForAnyNumberOfWorkersAndBatches) {
  // Batches of one, of the default, larger than what is left at the end (500 is no multiple
  // of 7), and larger than the window.
  for (const auto& [workers, batch] : {std::pair{1u, 8u}, std::pair{2u, 1u}, std::pair{2u, 7u},
                                       std::pair{8u, 8u}, std::pair{3u, 64u}}) {
    SCOPED_TRACE(testing::Message() << workers << " workers, batch " << batch);
    std::vector<std::size_t> consumed;
    std::atomic<int> running{0};
    std::atomic<int> most_running{0};
    RunOrdered<std::size_t>(
        500, {.workers = workers, .window = 16, .batch = batch},
        [&](std::size_t index) {
          const int now = ++running;
          for (int seen = most_running;
               now > seen && !most_running.compare_exchange_weak(seen, now);) {
          }
          Jitter(index);
          --running;
          return index * 3;
        },
        [&](std::size_t index, std::optional<std::size_t> result) {
          ASSERT_TRUE(result.has_value());
          EXPECT_EQ(*result, index * 3);
          consumed.push_back(index);
        },
        [] { return false; });
    ASSERT_EQ(consumed.size(), 500u);
    for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
    EXPECT_LE(most_running.load(), static_cast<int>(workers));
  }
}

TEST(OrderedPool, NoItemRunsMoreThanAWindowAheadOfTheConsumer) {
  std::atomic<std::size_t> consumed{0};
  std::atomic<std::size_t> furthest_ahead{0};
  RunOrdered<int>(
      300, {.workers = 4, .window = 8},
      [&](std::size_t index) {
        const std::size_t ahead = index - consumed.load();
        for (std::size_t seen = furthest_ahead;
             ahead > seen && !furthest_ahead.compare_exchange_weak(seen, ahead);) {
        }
        return 0;
      },
      [&](std::size_t, std::optional<int>) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));  // a slow consumer
        ++consumed;
      },
      [] { return false; });
  EXPECT_EQ(consumed.load(), 300u);
  // The item being consumed counts as delivered, so one more may start while it is handled.
  EXPECT_LE(furthest_ahead.load(), 8u);
}

TEST(OrderedPool, AStopEndsTheRunWithEveryItemConsumedOnce) {
  for (unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> produced{0};
    std::vector<std::optional<int>> seen;
    RunOrdered<int>(
        1000, {.workers = workers, .window = 32},
        [&](std::size_t index) {
          ++produced;
          if (index == 100) stop = true;
          Jitter(index);
          return 1;
        },
        [&](std::size_t, std::optional<int> result) { seen.push_back(result); },
        [&] { return stop.load(); });
    ASSERT_EQ(seen.size(), 1000u);
    std::size_t with_result = 0;
    for (const auto& result : seen) with_result += result.has_value();
    // Every item that ran is consumed with its result; the rest are named as not run, and
    // only the items already under way when the stop came ran past it.
    EXPECT_EQ(with_result, produced.load());
    EXPECT_LE(produced.load(), 101u + workers);
    for (std::size_t i = 0; i <= 100; ++i) EXPECT_TRUE(seen[i].has_value()) << i;
  }
}

TEST(OrderedPool, AFailingItemStopsTheRunAndIsRethrownInItsTurn) {
  std::vector<std::size_t> consumed;
  EXPECT_THROW(RunOrdered<int>(
                   200, {.workers = 2, .window = 8},
                   [&](std::size_t index) {
                     Jitter(index);
                     if (index == 50) throw std::runtime_error("item 50 cannot be read");
                     return 0;
                   },
                   [&](std::size_t index, std::optional<int>) { consumed.push_back(index); },
                   [] { return false; }),
               std::runtime_error);
  ASSERT_EQ(consumed.size(), 50u);  // everything before the failing item, in order
  for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
}

}  // namespace
}  // namespace bm
