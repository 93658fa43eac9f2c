#include "app/ui_update_queue.h"

#include <utility>

namespace bm::app {

bool UiUpdateQueue::Post(Slot slot, Update update) {
  std::lock_guard lock(mutex_);
  const bool was_empty = entries_.empty();
  if (slot != Slot::kOrdered) {
    // Only the updates since the last ordered one may be replaced.
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
      if (entry->slot == Slot::kOrdered) break;
      if (entry->slot == slot) {
        entry->update = std::move(update);
        return was_empty;
      }
    }
  }
  entries_.push_back({slot, std::move(update)});
  return was_empty;
}

std::vector<UiUpdateQueue::Update> UiUpdateQueue::Take() {
  std::vector<Entry> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(entries_);
  }
  std::vector<Update> updates;
  updates.reserve(taken.size());
  for (Entry& entry : taken) updates.push_back(std::move(entry.update));
  return updates;
}

}  // namespace bm::app
