#include "cli/progress_bar.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cstdio>

namespace bm::cli {

namespace {

constexpr int kWidestBar = 40;
constexpr int kNarrowestBar = 10;

// "m:ss", or "h:mm:ss" from an hour on.
std::string DurationText(long long seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  }
  return text;
}

std::string Bar(long long done, long long total, int width) {
  const long long filled = total > 0 ? std::min<long long>(width, done * width / total) : width;
  std::string bar = "[";
  bar.append(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(width - filled), '-');
  bar += "]  ";
  return bar;
}

}  // namespace

std::string ProgressBarText(long long done, long long total, ProgressClock::duration elapsed,
                            int columns) {
  // A count that ran past the total (a store that holds more than it said) shows as whole.
  total = std::max(total, done);
  const long long percent = total > 0 ? done * 100 / total : 100;
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::string figures =
      std::to_string(done) + "/" + std::to_string(total) + "  " + std::to_string(percent) + "%  ";
  if (done > 0 && seconds > 0) {
    const double rate = static_cast<double>(done) / seconds;
    char rate_text[32];
    std::snprintf(rate_text, sizeof rate_text, "%.1f items/s  ", rate);
    figures += rate_text;
    const double left = static_cast<double>(total - done) / rate;
    figures += DurationText(static_cast<long long>(left + 0.999)) + " left";
  } else {
    figures += "-- items/s  --:-- left";
  }
  // The cursor stays in the last column, so the line must leave one free or it wraps.
  const int room = columns - 1 - static_cast<int>(figures.size()) - 4;
  if (room < kNarrowestBar) return figures;
  return Bar(done, total, std::min(room, kWidestBar)) + figures;
}

void ItemCounter::OnRange(int maximum) {
  // The folder before is over: every item it held was written or named in the report, even
  // one it could not read last.
  finished_ += std::max<long long>(folder_done_, folder_maximum_);
  folder_maximum_ = maximum;
  folder_done_ = 0;
  current_.reset();
}

void ItemCounter::OnPosition(int position) {
  if (current_ && position == 0) {
    folder_done_ = std::max<long long>(folder_done_, *current_ + 1LL);
    current_.reset();
    return;
  }
  // An item starts: those before it in the folder are done.
  folder_done_ = std::max<long long>(folder_done_, position);
  current_ = position;
}

void ProgressDisplay::OnRange(int maximum, ProgressClock::time_point now) {
  const std::lock_guard lock(mutex_);
  counter_.OnRange(maximum);
  DrawIfDue(now);
}

void ProgressDisplay::OnPosition(int position, ProgressClock::time_point now) {
  const std::lock_guard lock(mutex_);
  counter_.OnPosition(position);
  DrawIfDue(now);
}

void ProgressDisplay::Finish(bool completed, ProgressClock::time_point now) {
  const std::lock_guard lock(mutex_);
  if (completed) counter_.OnRange(0);  // the last folder is over as well
  Draw(now);
  std::fputs("\n", out_);
  std::fflush(out_);
}

void ProgressDisplay::MakeRoomForText() {
  const std::lock_guard lock(mutex_);
  if (!shown_) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  shown_ = false;
  last_draw_.reset();
}

void ProgressDisplay::DrawIfDue(ProgressClock::time_point now) {
  if (last_draw_ && now - *last_draw_ < kRedrawInterval) return;
  Draw(now);
}

void ProgressDisplay::Draw(ProgressClock::time_point now) {
  last_draw_ = now;
  // Back to the line's start, the line, then the rest of the old line erased.
  const std::string line = ProgressBarText(counter_.done(), total_, now - start_, columns_);
  std::fprintf(out_, "\r%s\x1b[K", line.c_str());
  std::fflush(out_);
  shown_ = true;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace bm::cli
