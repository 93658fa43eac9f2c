// Window updates that workers post without waiting for the interface thread: status text,
// progress and list rows are applied in the order they were posted, a few times a second,
// and a newer status text or progress position replaces one not yet shown.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace bm::app {

class UiUpdateQueue {
 public:
  // What an update sets. Updates of the same slot replace each other while waiting; kOrdered
  // updates (a progress range, a list row, an enabled control) are all kept, and an update
  // of a slot never moves across one of them.
  enum class Slot { kOrdered, kStatusText, kProgressPos };

  using Update = std::function<void()>;

  // Adds `update`; true when the queue was empty, so the caller arranges a flush.
  bool Post(Slot slot, Update update);

  // Everything posted so far, in order; the queue is then empty.
  std::vector<Update> Take();

 private:
  struct Entry {
    Slot slot;
    Update update;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace bm::app
