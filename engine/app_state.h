// The application state: the session's paths, flags and lists, owned by one object rather
// than held in globals, so that tests can build several independent instances.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/run_temp_folder.h"
#include "engine/conversion_report.h"
#include "engine/export_handle.h"
#include "engine/folder_node.h"
#include "engine/main_window.h"
#include "pst/store.h"
#include "writers/output_format.h"
#include "writers/row_records.h"

namespace bm {

class MessagingSession;

struct SharedPaths {
  std::u16string pst_path;
  std::u16string system_temp_path;  // ends with a separator
  // Where the user wants the run's temp folder made (the open-and-scan dialog's choice).
  std::u16string temp_parent;
  // The run's private folder ".../QelTempXXXXXX/", ends with a separator; empty when none
  // could be made.
  std::u16string temp_folder_path;
  std::u16string log_file_path;
  std::u16string program_directory;  // ends with a separator
};

// Only one worker (scan, folder load or conversion) runs at a time; a second start request
// while one runs is refused, not queued.
class WorkerGate {
 public:
  bool TryStart() {
    bool expected = false;
    return busy_.compare_exchange_strong(expected, true);
  }
  void Finish() { busy_.store(false); }
  bool Busy() const { return busy_.load(); }

 private:
  std::atomic<bool> busy_{false};
};

class AppState {
 public:
  explicit AppState(MainWindow& window);
  ~AppState();
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  MainWindow& main_window;
  // The run's private temp folder; declared first so that it goes last, after everything
  // that writes into it. Replaced at every scan; removed (its log kept) with the state.
  std::unique_ptr<RunTempFolder> temp_folder;
  // Why the last scan has no temp folder (empty when it has one).
  std::u16string temp_folder_error;
  SharedPaths paths;

  // The open store: live from a scan's success until the next scan's teardown.
  std::unique_ptr<export_handle> session;
  std::optional<pst::Store> store;
  FolderNodeList folder_nodes;
  TreeItem root_tree_item = kNoTreeItem;
  // Entry d: the tree item inserted last at depth d; entry 0 is the root tree item. Grows
  // with the walk when the window shows more than the desktop's 27 levels.
  std::vector<TreeItem> depth_parent_table = std::vector<TreeItem>(kShownTreeDepth + 1);

  // Export state of the dispatch and the loops. The running item number is the number
  // dispatch gave the last item of the folder being listed or converted.
  std::atomic<bool> conversion_mode{false};
  std::atomic<int> stop_flag{0};
  // Workers that write a conversion's items; 0: one per core.
  unsigned conversion_jobs = 0;
  std::int32_t running_item_number = 0;
  // What a conversion writes e-mails as; the desktop program keeps MSG.
  OutputFormat output_format = OutputFormat::kMsg;
  RowRecordLists row_records;

  // The messaging session made by Convert and its creation result.
  std::unique_ptr<MessagingSession> messaging_session;
  std::int32_t messaging_session_status = -1;

  // What the current or last conversion wrote, skipped and failed to write.
  ConversionReport report;

  WorkerGate worker;

  // Appends an entry to the log file of the current scan.
  void Log(std::u16string_view message) const;

  // In a conversion, an item written under `kind` ("email", "contact", ...), or one that did
  // not reach the disk in full, named in the report and in the log (with the item's target
  // folder and number when it is one item's). A folder load keeps neither.
  void ReportWritten(std::u16string_view kind);
  void ReportFailure(std::u16string item, std::u16string reason, std::u16string folder = {},
                     int number = 0);

  // Empties the folder node list and closes the store.
  void CloseStore();
};

}  // namespace bm
