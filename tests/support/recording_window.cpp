#include "support/recording_window.h"

namespace bm::test {

namespace {

RecordingWindow::Call MakeCall(std::string op, std::u16string_view text = {},
                               std::u16string_view detail = {}, long long a = 0, long long b = 0) {
  RecordingWindow::Call call;
  call.op = std::move(op);
  call.text = std::u16string(text);
  call.detail = std::u16string(detail);
  call.a = a;
  call.b = b;
  return call;
}

}  // namespace

void RecordingWindow::Record(Call call) {
  std::function<void(const Call&)> observer;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    observer = observer_;
  }
  if (observer) observer(call);
}

void RecordingWindow::SetObserver(std::function<void(const Call&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void RecordingWindow::SetStatusText(std::u16string_view text) {
  Record(MakeCall("status", text));
}

void RecordingWindow::SetProgressRange(int minimum, int maximum) {
  Record(MakeCall("range", {}, {}, minimum, maximum));
}

void RecordingWindow::SetProgressPos(int position) {
  Record(MakeCall("pos", {}, {}, position));
}

int RecordingWindow::MessageBox(std::u16string_view text, std::u16string_view caption,
                                unsigned style, BoxOwner owner) {
  std::lock_guard lock(mutex_);
  calls_.push_back(MakeCall("box", text, caption, style, owner == BoxOwner::kMainWindow ? 1 : 0));
  if (box_answers_.empty()) return mb::kIdOk;
  const int answer = box_answers_.front();
  box_answers_.pop_front();
  return answer;
}

void RecordingWindow::EnableControl(int control_id, bool enable) {
  Record(MakeCall("enable", {}, {}, control_id, enable));
}

void RecordingWindow::EnableMenuCommand(int command_id, bool enable) {
  Record(MakeCall("menu", {}, {}, command_id, enable));
}

TreeItem RecordingWindow::InsertTreeItem(TreeItem parent, std::u16string_view text,
                                         std::u16string_view kind) {
  std::lock_guard lock(mutex_);
  const TreeItem item = next_item_++;
  tree_[item] = {parent, std::u16string(text), std::u16string(kind)};
  calls_.push_back(
      MakeCall("tree", text, kind, static_cast<long long>(parent), static_cast<long long>(item)));
  return item;
}

bool RecordingWindow::IsTreeItemChecked(TreeItem item) {
  std::lock_guard lock(mutex_);
  const auto it = checked_.find(item);
  return it != checked_.end() && it->second;
}

void RecordingWindow::DeleteAllListRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  calls_.push_back(MakeCall("clear"));
}

void RecordingWindow::InsertListRow(int position, const ListRow& row) {
  std::lock_guard lock(mutex_);
  const auto at = std::min<std::size_t>(position < 0 ? 0 : position, rows_.size());
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), row);
  Call call = MakeCall("row", {}, {}, position);
  call.row = row;
  calls_.push_back(std::move(call));
}

std::optional<std::u16string> RecordingWindow::BrowseForFolder(std::u16string_view title) {
  std::lock_guard lock(mutex_);
  calls_.push_back(MakeCall("browse", title));
  if (browse_answers_.empty()) return std::nullopt;
  auto answer = browse_answers_.front();
  browse_answers_.pop_front();
  return answer;
}

void RecordingWindow::Navigate(std::u16string_view file_path) {
  Record(MakeCall("navigate", file_path));
}

void RecordingWindow::OpenExternal(std::u16string_view url_or_path) {
  Record(MakeCall("open", url_or_path));
}

void RecordingWindow::QueueBoxAnswer(int answer) {
  std::lock_guard lock(mutex_);
  box_answers_.push_back(answer);
}

void RecordingWindow::QueueBrowseAnswer(std::optional<std::u16string> folder) {
  std::lock_guard lock(mutex_);
  browse_answers_.push_back(std::move(folder));
}

void RecordingWindow::SetChecked(TreeItem item, bool checked) {
  std::lock_guard lock(mutex_);
  checked_[item] = checked;
}

std::vector<RecordingWindow::Call> RecordingWindow::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<RecordingWindow::Call> RecordingWindow::CallsOf(const std::string& op) const {
  std::lock_guard lock(mutex_);
  std::vector<Call> out;
  for (const auto& call : calls_) {
    if (call.op == op) out.push_back(call);
  }
  return out;
}

std::vector<std::u16string> RecordingWindow::StatusTexts() const {
  std::vector<std::u16string> out;
  for (const auto& call : CallsOf("status")) out.push_back(call.text);
  return out;
}

std::vector<std::u16string> RecordingWindow::BoxTexts() const {
  std::vector<std::u16string> out;
  for (const auto& call : CallsOf("box")) out.push_back(call.text);
  return out;
}

std::vector<ListRow> RecordingWindow::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::map<TreeItem, RecordingWindow::TreeNode> RecordingWindow::Tree() const {
  std::lock_guard lock(mutex_);
  return tree_;
}

std::optional<std::u16string> RecordingWindow::LastNavigation() const {
  const auto calls = CallsOf("navigate");
  if (calls.empty()) return std::nullopt;
  return calls.back().text;
}

void RecordingWindow::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

}  // namespace bm::test
