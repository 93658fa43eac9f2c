// Runs many independent items on a few threads and hands their results back one by one in
// item order, so that what the caller does with them (numbering, reports, list rows) is the
// same however many threads ran and however long each item took.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace bm {

struct OrderedPoolOptions {
  // Threads that run items; 1 runs every item on the calling thread.
  unsigned workers = 1;
  // Results that may wait for their turn at most: bounds memory whatever the item count.
  std::size_t window = 64;
  // Results the consumer, once it has to wait, waits for before it wakes: short items (a
  // folder load's rows) would otherwise cost a thread switch each. Never more than the window.
  std::size_t batch = 8;
};

// Runs `produce(index)` (returning T) for every index in [0, count) and calls
// `consume(index, std::optional<T>)` on the calling thread for every index, in index order.
//
// `stopped()` is asked before an item starts; once it says true no further item starts. Items
// already started still finish and are consumed with their results; items never started are
// consumed with an empty optional, so the caller can name each of them.
//
// An exception from `produce` stops the run like `stopped()`; it is rethrown once the
// threads have ended and every index before it has been consumed. `produce` runs on the
// worker threads and must be safe to call concurrently; `consume` never runs concurrently.
template <class T, class Produce, class Consume, class Stopped>
void RunOrdered(std::size_t count, OrderedPoolOptions options, Produce&& produce, Consume&& consume,
                Stopped&& stopped) {
  if (options.workers <= 1 || count <= 1) {
    std::size_t index = 0;
    for (; index < count && !stopped(); ++index) consume(index, std::optional<T>(produce(index)));
    for (; index < count; ++index) consume(index, std::optional<T>());
    return;
  }
  const std::size_t window = std::max<std::size_t>(options.window, options.workers);
  const std::size_t batch = std::clamp<std::size_t>(options.batch, 1, window);

  std::mutex mutex;
  std::condition_variable result_ready;
  std::condition_variable slot_free;
  std::vector<std::optional<T>> results(window);
  std::vector<char> finished(window, 0);
  std::size_t next = 0;       // the next index a worker takes
  std::size_t delivered = 0;  // indexes consumed so far
  bool stopping = false;
  std::exception_ptr error;
  std::size_t error_index = 0;
  // While the consumer waits: the last index of the batch it waits for.
  std::optional<std::size_t> wake_at;

  // Whether the consumer, waiting for item `delivered`, may go on: its whole batch is there,
  // or a stop means no more of it is coming.
  auto consumer_may_go = [&] {
    const std::size_t index = delivered;
    if (stopping) return finished[index % window] != 0 || index >= next;
    for (std::size_t i = index; i <= *wake_at; ++i) {
      if (!finished[i % window]) return false;
    }
    return true;
  };
  auto finish = [&](std::size_t index, std::optional<T> result) {
    std::lock_guard lock(mutex);
    results[index % window] = std::move(result);
    finished[index % window] = 1;
    if (wake_at && index <= *wake_at && consumer_may_go()) result_ready.notify_one();
  };
  auto stop = [&] {
    stopping = true;
    result_ready.notify_all();
    slot_free.notify_all();
  };
  auto work = [&] {
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex);
        slot_free.wait(lock,
                       [&] { return stopping || next >= count || next < delivered + window; });
        if (stopping || next >= count) return;
        index = next++;
      }
      if (stopped()) {
        std::lock_guard lock(mutex);
        finished[index % window] = 1;  // started in name only: consumed without a result
        stop();
        return;
      }
      try {
        finish(index, std::optional<T>(produce(index)));
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!error) {
          error = std::current_exception();
          error_index = index;
        }
        finished[index % window] = 1;
        stop();
        return;
      }
    }
  };

  std::vector<std::jthread> threads;
  threads.reserve(options.workers);
  // However the consumer leaves, no thread outlives the state it works on.
  struct JoinAll {
    std::vector<std::jthread>& threads;
    std::mutex& mutex;
    decltype(stop)& stop_all;
    ~JoinAll() {
      {
        std::lock_guard lock(mutex);
        stop_all();
      }
      for (std::jthread& thread : threads) {
        if (thread.joinable()) thread.join();
      }
    }
  } join_all{threads, mutex, stop};
  for (unsigned i = 0; i < options.workers; ++i) threads.emplace_back(work);

  for (std::size_t index = 0; index < count; ++index) {
    std::optional<T> result;
    {
      std::unique_lock lock(mutex);
      if (!finished[index % window] && !(stopping && index >= next)) {
        wake_at = std::min(index + batch, count) - 1;
        result_ready.wait(lock, consumer_may_go);
        wake_at.reset();
      }
      if (finished[index % window]) {
        result = std::move(results[index % window]);
        results[index % window].reset();
        finished[index % window] = 0;
      }
      ++delivered;
      slot_free.notify_all();
      if (error && index == error_index) {
        // The item whose producer threw: everything before it has been consumed.
        lock.unlock();
        for (std::jthread& thread : threads) thread.join();
        std::rethrow_exception(error);
      }
    }
    consume(index, std::move(result));
  }
}

}  // namespace bm
