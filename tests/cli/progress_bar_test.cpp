// The convert command's progress bar: its text, the item count it is fed, and how often it is
// drawn.
#include "cli/progress_bar.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace bm::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ProgressBarText, ShowsCountPercentRateAndTimeLeft) {
  EXPECT_EQ(ProgressBarText(250, 1000, seconds(5), 200),
            "[##########------------------------------]  250/1000  25%  50.0 items/s  0:15 left");
  // Hours from an hour on; a partial second left counts as one.
  EXPECT_EQ(ProgressBarText(1, 4000, seconds(1), 0), "1/4000  0%  1.0 items/s  1:06:39 left");
  EXPECT_EQ(ProgressBarText(3, 4, seconds(3), 0), "3/4  75%  1.0 items/s  0:01 left");
  EXPECT_EQ(ProgressBarText(2, 3, milliseconds(1000), 0), "2/3  66%  2.0 items/s  0:01 left");
}

TEST(ProgressBarText, EdgesOfTheRun) {
  // Nothing done yet: no rate to tell the time left from.
  EXPECT_EQ(ProgressBarText(0, 10, seconds(0), 0), "0/10  0%  -- items/s  --:-- left");
  EXPECT_EQ(ProgressBarText(0, 10, seconds(3), 0), "0/10  0%  -- items/s  --:-- left");
  EXPECT_EQ(ProgressBarText(10, 10, seconds(2), 0), "10/10  100%  5.0 items/s  0:00 left");
  // Folders without messages: the run is whole at once.
  EXPECT_EQ(ProgressBarText(0, 0, seconds(1), 0), "0/0  100%  -- items/s  --:-- left");
  // More items than the folders said they hold: never past 100%, never a negative time.
  EXPECT_EQ(ProgressBarText(12, 10, seconds(4), 0), "12/12  100%  3.0 items/s  0:00 left");
}

TEST(ProgressBarText, FitsTheTerminalWidth) {
  for (const int columns : {20, 40, 60, 79, 80, 200}) {
    const std::string line = ProgressBarText(123456, 200000, seconds(99), columns);
    // One column stays free, or the terminal wraps the line and the redraw goes wrong.
    EXPECT_LT(static_cast<int>(line.size()), std::max(columns, 60)) << columns;
  }
  // Narrow: the figures alone; wide: the bar grows to its widest and no further.
  EXPECT_EQ(ProgressBarText(1, 2, seconds(1), 40).front(), '1');
  const std::string wide = ProgressBarText(1, 2, seconds(1), 200);
  EXPECT_EQ(wide.find(']'), 41u);
  EXPECT_EQ(std::count(wide.begin(), wide.end(), '#'), 20);
}

// The calls the conversion makes for a folder of `count` items, item `unreadable` getting no
// call after it (it could not be read).
void FeedFolder(ItemCounter& counter, int count, int unreadable = -1) {
  counter.OnRange(count);
  for (int index = 0; index < count; ++index) {
    counter.OnPosition(index);
    if (index != unreadable) counter.OnPosition(0);
  }
}

TEST(ItemCounter, CountsEveryItemOnceAcrossFolders) {
  ItemCounter counter;
  EXPECT_EQ(counter.done(), 0);
  counter.OnRange(3);
  counter.OnPosition(0);
  EXPECT_EQ(counter.done(), 0) << "the first item is being written, not done";
  counter.OnPosition(0);
  EXPECT_EQ(counter.done(), 1);
  counter.OnPosition(1);
  EXPECT_EQ(counter.done(), 1);
  counter.OnPosition(0);
  counter.OnPosition(2);
  counter.OnPosition(0);
  EXPECT_EQ(counter.done(), 3);

  FeedFolder(counter, 0);  // an empty folder
  FeedFolder(counter, 5);
  EXPECT_EQ(counter.done(), 8);
}

TEST(ItemCounter, UnreadableItemsStillCountAsDone) {
  ItemCounter counter;
  FeedFolder(counter, 4, 1);
  EXPECT_EQ(counter.done(), 4);
  FeedFolder(counter, 3, 0);
  EXPECT_EQ(counter.done(), 7);
  // Unreadable as a folder's last item: done once the next folder starts.
  FeedFolder(counter, 2, 1);
  EXPECT_EQ(counter.done(), 8);
  counter.OnRange(0);
  EXPECT_EQ(counter.done(), 9);
}

// What a display wrote, read back from a memory stream.
class DisplayOutput {
 public:
  DisplayOutput() : file_(::open_memstream(&buffer_, &size_)) {}
  ~DisplayOutput() {
    std::fclose(file_);
    std::free(buffer_);
  }
  DisplayOutput(const DisplayOutput&) = delete;
  DisplayOutput& operator=(const DisplayOutput&) = delete;
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

TEST(ProgressDisplay, RedrawsAtMostTenTimesASecondAndEndsTheLine) {
  DisplayOutput out;
  const ProgressClock::time_point start{};
  ProgressDisplay display(out.file(), 1000, 80, start);
  display.OnRange(1000, start);
  // 1000 items in one second: far more changes than redraws.
  for (int index = 0; index < 1000; ++index) {
    const ProgressClock::time_point now = start + milliseconds(index);
    display.OnPosition(index, now);
    display.OnPosition(0, now);
  }
  display.Finish(true, start + milliseconds(1000));
  const std::string text = out.text();
  const auto draws = std::count(text.begin(), text.end(), '\r');
  EXPECT_GE(draws, 10);
  EXPECT_LE(draws, 12);
  EXPECT_TRUE(text.ends_with("1000/1000  100%  1000.0 items/s  0:00 left\x1b[K\n")) << text;
}

TEST(ProgressDisplay, MakesRoomForReportsAndComesBackAtOnce) {
  DisplayOutput out;
  const ProgressClock::time_point start{};
  ProgressDisplay display(out.file(), 10, 0, start);
  display.MakeRoomForText();
  EXPECT_EQ(out.text(), "") << "nothing to clear before the bar is shown";
  display.OnRange(10, start);
  display.MakeRoomForText();
  EXPECT_TRUE(out.text().ends_with("\r\x1b[K"));
  // Within the redraw interval, yet drawn: the line was cleared.
  display.OnPosition(1, start + milliseconds(1));
  EXPECT_TRUE(out.text().ends_with("1/10  10%  1000.0 items/s  0:01 left\x1b[K")) << out.text();
}

}  // namespace
}  // namespace bm::cli
