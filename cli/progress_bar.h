// The conversion's progress bar on a terminal: items done of the items the ticked folders
// hold, the rate, and the time left, redrawn in place a few times a second.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

namespace bm::cli {

using ProgressClock = std::chrono::steady_clock;

// One progress line: "[#####---------------]  250/1000  25%  50.0 items/s  0:15 left", fitted
// to `columns` (the bar shrinks, and goes when even a short one does not fit). Before any
// item is done the rate and the time left are not known yet ("--").
std::string ProgressBarText(long long done, long long total, ProgressClock::duration elapsed,
                            int columns = 80);

// Counts items done from the window's progress calls as the conversion makes them: per folder
// the range (the folder's item count), then for each item its index before it is written
// and 0 after it. An item that could not be read gets no call after it; the next item's index
// still says it is done.
class ItemCounter {
 public:
  void OnRange(int maximum);
  void OnPosition(int position);
  long long done() const { return finished_ + folder_done_; }

 private:
  long long finished_ = 0;  // items of the folders before this one
  int folder_maximum_ = 0;
  long long folder_done_ = 0;
  std::optional<int> current_;  // the index of the item being written
};

// Draws the bar on `out` (a terminal) no more than every kRedrawInterval, and a last time
// when the run ends. Safe to call from the conversion's threads.
class ProgressDisplay {
 public:
  static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

  ProgressDisplay(std::FILE* out, long long total, int columns,
                  ProgressClock::time_point start = ProgressClock::now())
      : out_(out), total_(total), columns_(columns), start_(start) {}

  void OnRange(int maximum, ProgressClock::time_point now = ProgressClock::now());
  void OnPosition(int position, ProgressClock::time_point now = ProgressClock::now());
  // Clears the bar's line so that a report printed now stands on a line of its own; the bar
  // comes back with the next change.
  void MakeRoomForText();
  // The final line, then a line break so that what follows starts on a line of its own.
  // `completed`: the run went through every ticked folder (it was not stopped).
  void Finish(bool completed, ProgressClock::time_point now = ProgressClock::now());

 private:
  void DrawIfDue(ProgressClock::time_point now);
  void Draw(ProgressClock::time_point now);

  std::mutex mutex_;
  std::FILE* out_;
  long long total_;
  int columns_;
  ProgressClock::time_point start_;
  std::optional<ProgressClock::time_point> last_draw_;
  bool shown_ = false;  // the bar is on the line now
  ItemCounter counter_;
};

// The width of the terminal on `fd`; 80 when it cannot be told.
int TerminalColumns(int fd);

}  // namespace bm::cli
