#include "cli/console_window.h"

#include <algorithm>
#include <limits>

#include "base/text.h"
#include "cli/visible_text.h"

namespace bm::cli {

// Engine texts can carry a store's texts (subjects in paths): their controls are shown, and
// their line breaks kept so that multi-line messages stay readable.
void ConsoleWindow::Report(std::u16string_view text) {
  if (report_ == nullptr) return;
  if (before_report_) before_report_();
  const std::string line = VisibleText(text, LineBreaks::kKept);
  std::fprintf(report_, "%s\n", line.c_str());
}

int ConsoleWindow::ShownTreeDepth() const {
  return std::numeric_limits<int>::max();
}

void ConsoleWindow::SetStatusText(std::u16string_view text) {
  std::lock_guard lock(mutex_);
  last_status_ = text;
  if (show_status_) Report(text);
}

void ConsoleWindow::SetProgressRange(int /*minimum*/, int maximum) {
  std::function<void(const ProgressChange&)> observer;
  {
    std::lock_guard lock(mutex_);
    progress_max_ = maximum;
    observer = progress_observer_;
  }
  if (observer) observer({.new_range = true, .maximum = maximum, .position = 0});
}

void ConsoleWindow::SetProgressPos(int position) {
  std::function<void(const ProgressChange&)> observer;
  int maximum = 0;
  {
    std::lock_guard lock(mutex_);
    observer = progress_observer_;
    maximum = progress_max_;
  }
  if (observer) observer({.new_range = false, .maximum = maximum, .position = position});
}

int ConsoleWindow::MessageBox(std::u16string_view text, std::u16string_view /*caption*/,
                              unsigned style, BoxOwner /*owner*/) {
  std::lock_guard lock(mutex_);
  boxes_.emplace_back(text);
  if (show_boxes_) Report(text);
  // Nobody is there to answer: confirmations go ahead, as a user running a command means to.
  return (style & mb::kYesNo) != 0 ? mb::kIdYes : mb::kIdOk;
}

TreeItem ConsoleWindow::InsertTreeItem(TreeItem parent, std::u16string_view text,
                                       std::u16string_view kind) {
  std::lock_guard lock(mutex_);
  const TreeItem item = tree_.size() + 1;
  tree_.push_back({item, parent, std::u16string(text), std::u16string(kind)});
  return item;
}

bool ConsoleWindow::IsTreeItemChecked(TreeItem item) {
  std::lock_guard lock(mutex_);
  return checked_.contains(item);
}

void ConsoleWindow::SetChecked(TreeItem item, bool checked) {
  std::lock_guard lock(mutex_);
  if (checked) {
    checked_.insert(item);
  } else {
    checked_.erase(item);
  }
}

void ConsoleWindow::DeleteAllListRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
}

void ConsoleWindow::InsertListRow(int position, const ListRow& row) {
  std::lock_guard lock(mutex_);
  const auto at =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(position, 0)), rows_.size());
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), row);
}

std::optional<std::u16string> ConsoleWindow::BrowseForFolder(std::u16string_view /*title*/) {
  std::lock_guard lock(mutex_);
  return browse_answer_;
}

void ConsoleWindow::Navigate(std::u16string_view file_path) {
  std::lock_guard lock(mutex_);
  navigation_ = std::u16string(file_path);
}

void ConsoleWindow::OpenExternal(std::u16string_view url_or_path) {
  std::lock_guard lock(mutex_);
  if (report_ != nullptr) {
    std::fprintf(report_, "see %s\n", VisibleText(url_or_path).c_str());
  }
}

std::vector<ConsoleWindow::TreeEntry> ConsoleWindow::Tree() const {
  std::lock_guard lock(mutex_);
  return tree_;
}

std::vector<ListRow> ConsoleWindow::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::optional<std::u16string> ConsoleWindow::LastNavigation() const {
  std::lock_guard lock(mutex_);
  return navigation_;
}

std::u16string ConsoleWindow::LastStatus() const {
  std::lock_guard lock(mutex_);
  return last_status_;
}

std::vector<std::u16string> ConsoleWindow::BoxTexts() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

}  // namespace bm::cli
