// The command-line tool's window: reports go to standard error, the tree and the list are kept
// so the commands can print them, and questions are answered from what the command was given.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/main_window.h"

namespace bm::cli {

class ConsoleWindow : public MainWindow {
 public:
  struct TreeEntry {
    TreeItem item;
    TreeItem parent;
    std::u16string text;
    std::u16string kind;
  };

  explicit ConsoleWindow(std::FILE* report_stream = stderr) : report_(report_stream) {}

  void SetStatusText(std::u16string_view text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPos(int position) override;
  int MessageBox(std::u16string_view text, std::u16string_view caption, unsigned style,
                 BoxOwner owner) override;
  void EnableControl(int, bool) override {}
  void EnableMenuCommand(int, bool) override {}
  TreeItem InsertTreeItem(TreeItem parent, std::u16string_view text,
                          std::u16string_view kind) override;
  bool IsTreeItemChecked(TreeItem item) override;
  void DeleteAllListRows() override;
  void InsertListRow(int position, const ListRow& row) override;
  std::optional<std::u16string> BrowseForFolder(std::u16string_view title) override;
  void Navigate(std::u16string_view file_path) override;
  void OpenExternal(std::u16string_view url_or_path) override;

  // The command line has no tree to keep short: every folder gets a tree item, so every
  // folder can be listed and selected.
  int ShownTreeDepth() const override;

  // Status texts are printed only when asked for; message boxes unless told not to (a
  // command that says the outcome in its own words).
  void set_show_status(bool show) { show_status_ = show; }
  void set_show_boxes(bool show) {
    std::lock_guard lock(mutex_);
    show_boxes_ = show;
  }
  void set_browse_answer(std::optional<std::u16string> folder) {
    browse_answer_ = std::move(folder);
  }
  void SetChecked(TreeItem item, bool checked);
  // A progress call of the engine: a new range (a folder starts; `position` is 0) or a new
  // position within the range.
  struct ProgressChange {
    bool new_range = false;
    int maximum = 0;
    int position = 0;
  };
  // Called on every progress change.
  void set_progress_observer(std::function<void(const ProgressChange&)> observer) {
    progress_observer_ = std::move(observer);
  }

  // Called before each report is printed (a progress line makes room for it).
  void set_before_report(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    before_report_ = std::move(hook);
  }

  std::vector<TreeEntry> Tree() const;
  std::vector<ListRow> Rows() const;
  std::optional<std::u16string> LastNavigation() const;
  std::u16string LastStatus() const;
  std::vector<std::u16string> BoxTexts() const;

 private:
  void Report(std::u16string_view text);

  mutable std::mutex mutex_;
  std::FILE* report_;
  bool show_status_ = false;
  bool show_boxes_ = true;
  std::optional<std::u16string> browse_answer_;
  std::function<void(const ProgressChange&)> progress_observer_;
  std::function<void()> before_report_;
  int progress_max_ = 0;
  std::vector<TreeEntry> tree_;
  std::set<TreeItem> checked_;
  std::vector<ListRow> rows_;
  std::optional<std::u16string> navigation_;
  std::u16string last_status_;
  std::vector<std::u16string> boxes_;
};

}  // namespace bm::cli
