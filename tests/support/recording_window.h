// A MainWindow that records every call in order and answers questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/main_window.h"

namespace bm::test {

class RecordingWindow : public MainWindow {
 public:
  struct Call {
    std::string op;  // "status", "range", "pos", "box", "enable", "menu", "tree", "clear", "row",
                     // "browse", "navigate", "open"
    std::u16string text;
    std::u16string detail;  // box caption, tree kind
    long long a = 0;        // range min, position, style, id, parent, list position
    long long b = 0;        // range max, enable flag, new tree item, box owner
    ListRow row{};
  };

  struct TreeNode {
    TreeItem parent;
    std::u16string text;
    std::u16string kind;
  };

  void SetStatusText(std::u16string_view text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPos(int position) override;
  int MessageBox(std::u16string_view text, std::u16string_view caption, unsigned style,
                 BoxOwner owner) override;
  void EnableControl(int control_id, bool enable) override;
  void EnableMenuCommand(int command_id, bool enable) override;
  TreeItem InsertTreeItem(TreeItem parent, std::u16string_view text,
                          std::u16string_view kind) override;
  bool IsTreeItemChecked(TreeItem item) override;
  void DeleteAllListRows() override;
  void InsertListRow(int position, const ListRow& row) override;
  std::optional<std::u16string> BrowseForFolder(std::u16string_view title) override;
  void Navigate(std::u16string_view file_path) override;
  void OpenExternal(std::u16string_view url_or_path) override;

  // Script: answers for the next message boxes (default mb::kIdOk), the next folder browses
  // (default: cancelled), and which tree items are checked.
  void QueueBoxAnswer(int answer);
  void QueueBrowseAnswer(std::optional<std::u16string> folder);
  void SetChecked(TreeItem item, bool checked);
  // Called after every recorded call, outside the lock (tests use it to press Stop mid-run).
  void SetObserver(std::function<void(const Call&)> observer);

  // What happened.
  std::vector<Call> Calls() const;
  std::vector<Call> CallsOf(const std::string& op) const;
  std::vector<std::u16string> StatusTexts() const;
  std::vector<std::u16string> BoxTexts() const;
  std::vector<ListRow> Rows() const;  // the list as it stands, in position order
  std::map<TreeItem, TreeNode> Tree() const;
  std::optional<std::u16string> LastNavigation() const;
  void ClearCalls();

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::deque<int> box_answers_;
  std::deque<std::optional<std::u16string>> browse_answers_;
  std::map<TreeItem, bool> checked_;
  std::map<TreeItem, TreeNode> tree_;
  std::vector<ListRow> rows_;
  TreeItem next_item_ = 1;
  std::function<void(const Call&)> observer_;

  void Record(Call call);
};

}  // namespace bm::test
