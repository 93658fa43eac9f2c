// Worker updates reach the window in the order posted, with stale status texts and progress
// positions dropped, never an ordered update.
#include "app/ui_update_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace bm::app {
namespace {

using Slot = UiUpdateQueue::Slot;

struct Recorder {
  std::vector<std::string> log;
  UiUpdateQueue::Update Say(std::string what) {
    return [this, what = std::move(what)] { log.push_back(what); };
  }
};

TEST(UiUpdateQueue, KeepsOrderAndDropsOnlyStaleStatusAndPosition) {
  UiUpdateQueue queue;
  Recorder seen;
  EXPECT_TRUE(queue.Post(Slot::kStatusText, seen.Say("status 1")));
  EXPECT_FALSE(queue.Post(Slot::kProgressPos, seen.Say("pos 1")));
  queue.Post(Slot::kStatusText, seen.Say("status 2"));
  queue.Post(Slot::kProgressPos, seen.Say("pos 2"));
  // A new range is a barrier: the position after it is not folded into the one before.
  queue.Post(Slot::kOrdered, seen.Say("range"));
  queue.Post(Slot::kProgressPos, seen.Say("pos 3"));
  queue.Post(Slot::kOrdered, seen.Say("row 1"));
  queue.Post(Slot::kOrdered, seen.Say("row 2"));
  queue.Post(Slot::kStatusText, seen.Say("status 3"));

  for (const auto& update : queue.Take()) update();
  EXPECT_EQ(seen.log, (std::vector<std::string>{"status 2", "pos 2", "range", "pos 3", "row 1",
                                                "row 2", "status 3"}));
  EXPECT_TRUE(queue.Take().empty());
  // Empty again: the next post asks for a flush.
  EXPECT_TRUE(queue.Post(Slot::kOrdered, seen.Say("later")));
}

TEST(UiUpdateQueue, PostsFromManyThreadsAreAllKept) {
  UiUpdateQueue queue;
  std::atomic<int> applied{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) queue.Post(Slot::kOrdered, [&] { ++applied; });
    });
  }
  int drained = 0;
  while (drained < 4000) {
    for (const auto& update : queue.Take()) {
      update();
      ++drained;
    }
  }
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(applied.load(), 4000);
}

}  // namespace
}  // namespace bm::app
