// What every subcommand starts with: a console window, an application state and a scanned store.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "base/result.h"
#include "cli/console_window.h"
#include "engine/app_state.h"

namespace bm::cli {

class StoreSession {
 public:
  explicit StoreSession(std::FILE* report_stream = stderr)
      : window_(report_stream), state_(window_) {}

  // Open & Scan without the dialog: makes the run's private temp folder (inside `temp_parent`,
  // or the user's runtime or temp directory when it is empty), names the log, puts the PST
  // path at the root of the tree and runs the scan worker. Succeeds on "Scanning completed";
  // otherwise the error says why the store cannot be read (or the temp folder cannot be
  // made). The scan's message boxes are not printed: the command says the outcome itself.
  Status Scan(const std::string& pst_path, const std::string& temp_parent);

  // The folder named by its folder path ("/Top of Personal Folders/Inbox"; the leading
  // separator is optional) or by its 1-based position in the tree. Nothing, with a message
  // naming the nearest folders in `error`, when there is no such folder.
  const FolderNode* FindFolder(std::string_view folder_text, std::string& error) const;

  // Scan, saying on standard error, in one line, why the store could not be opened.
  bool ScanOrSayWhy(const std::string& pst_path, const std::string& temp_parent);

  // FindFolder, saying on standard error which folders come nearest when there is none.
  const FolderNode* FindFolderOrSayWhy(std::string_view folder_text) const;

  ConsoleWindow& window() { return window_; }
  AppState& state() { return state_; }

 private:
  ConsoleWindow window_;
  AppState state_;
};

// Folder paths as the user types them: UTF-8, '/'-separated.
std::string FolderPathText(const FolderNode& node);

}  // namespace bm::cli
