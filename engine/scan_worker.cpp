#include "engine/scan_worker.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/log.h"
#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "engine/store_file_check.h"

namespace bm {

namespace {

constexpr int kAsciiCodepage = 1252;

// Failing a step: the log entry, then the status line, and the worker ends with the reason.
Status Fail(AppState& state, std::u16string_view log_entry) {
  state.Log(log_entry);
  state.main_window.SetStatusText(u"unable to open file");
  return Error(ToUtf8(log_entry));
}

// A store that cannot be read: the log names the reason, the box shows it under the fixed
// text, and the worker ends with it.
Status FailOpen(AppState& state, const Error& reason) {
  state.Log(u"Error opening file: " + FromUtf8(reason.message()));
  state.main_window.MessageBox(
      u"Unable to open file. Please select valid pst file\n\n" + FromUtf8(reason.message()),
      kCaption14, mb::kReport, BoxOwner::kNone);
  state.main_window.SetStatusText(u"unable to open file");
  return reason;
}

// Where the scan roots its layout: the temp folder, or failing that the PST file's name.
std::u16string ScanTargetPath(const SharedPaths& paths) {
  if (!paths.temp_folder_path.empty()) return paths.temp_folder_path;
  const std::size_t slash = paths.pst_path.rfind(kSeparator);
  return slash == std::u16string::npos ? paths.pst_path : paths.pst_path.substr(slash + 1);
}

// The items pass of the store export. A store whose root folder cannot be read has nothing to
// show: that fails the export with the reason; failures below the root do not.
Status ExportItems(AppState& state) {
  if (state.notify_stream != nullptr) std::fputs("Exporting items.\n", state.notify_stream);
  std::error_code ec;
  std::filesystem::create_directory(ToPath(state.session->items_export_path), ec);

  pff::Error error;
  libpff_item_t* raw_root = nullptr;
  if (libpff_file_get_root_folder(state.store.get(), &raw_root, error.out()) != 1) {
    return Error("its root folder cannot be read (the file is damaged)");
  }
  const pff::Item root(raw_root);
  int count = 0;
  if (libpff_item_get_number_of_sub_items(root.get(), &count, error.out()) != 1) {
    return Error("the folders of its root folder cannot be read (the file is damaged)");
  }
  if (count > 0) {
    export_handle_export_sub_items(state, root.get(), state.session->items_export_path);
  }
  if (state.notify_stream != nullptr) std::fputs("\n", state.notify_stream);
  return {};
}

// libpff's error text is a stack of lines, innermost first; its last line says the most.
std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) {
    trimmed.pop_back();
  }
  const std::size_t newline = trimmed.rfind('\n');
  return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

}  // namespace

bool RunScanWorker(AppState& state) {
  return ScanStore(state).ok();
}

Status ScanStore(AppState& state) {
  MainWindow& window = state.main_window;
  state.Log(u"start scanning process");

  state.CloseStore();
  export_handle_free(state.session);
  state.depth_parent_table.assign(kShownTreeDepth + 1, kNoTreeItem);
  state.depth_parent_table[0] = state.root_tree_item;

  window.SetStatusText(u"please wait... initialize your file");
  const std::u16string target_path = ScanTargetPath(state.paths);

  if (export_handle_initialize(state.session) != 1) {
    return Fail(state, u"Unable to create export handle.");
  }
  if (export_handle_set_target_path(state.session.get(), target_path) != 1) {
    return Fail(state, u"Unable to set target path");
  }
  if (export_handle_set_export_paths(state.session.get()) != 1) {
    return Fail(state, u"Unable to create items export path");
  }
  state.session->notify_stream = state.notify_stream;

  pff::Error error;
  libpff_file_t* raw_file = nullptr;
  if (libpff_file_initialize(&raw_file, error.out()) != 1) {
    return Fail(state, u"Unable to create file");
  }
  state.store.reset(raw_file);
  if (libpff_file_set_ascii_codepage(state.store.get(), kAsciiCodepage, error.out()) != 1) {
    return Fail(state, u"Unable to set ASCII codepage.");
  }

  state.Log(u"Opening file.");
  window.SetStatusText(u"please wait... Opening file.");
  const std::string pst_path = ToPath(state.paths.pst_path).string();
  if (const Status usable = CheckStoreFile(pst_path); !usable)
    return FailOpen(state, usable.error());
  if (libpff_file_open(state.store.get(), pst_path.c_str(), LIBPFF_OPEN_READ, error.out()) != 1) {
    return FailOpen(state, Error("it cannot be read as a PST file: " + LastLine(error.Message())));
  }

  window.SetStatusText(u"please wait... Extract folder tree structure.");
  if (const Status exported = ExportItems(state); !exported) {
    return FailOpen(state, exported.error());
  }

  window.EnableMenuCommand(command::kConvert, true);
  state.Log(u"Scanning completed");
  window.SetStatusText(u"Scanning completed");
  window.EnableControl(control::kConvertButton, true);
  window.MessageBox(u"Scanning completed", kCaption14, mb::kReport, BoxOwner::kNone);
  return {};
}

void PrepareScan(AppState& state, const std::u16string& pst_path,
                 const std::u16string& temp_folder_path) {
  state.conversion_mode = false;
  state.paths.pst_path = pst_path;
  state.paths.temp_folder_path = WithTrailingSeparator(temp_folder_path);
  CleanTempFolder(state.paths.temp_folder_path);
  std::error_code ec;
  std::filesystem::create_directories(ToPath(state.paths.temp_folder_path), ec);
  state.paths.log_file_path =
      state.paths.temp_folder_path + BuildLogFileName(std::chrono::system_clock::now());
}

bool CleanTempFolder(const std::u16string& directory) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path root = ToPath(directory);
  const fs::file_status status = fs::symlink_status(root, ec);
  if (ec || !fs::is_directory(status)) return false;  // a link is never followed

  // Entries are gathered first so removing them cannot disturb the directory scan.
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(*it);
  }
  if (ec) return false;
  for (const fs::directory_entry& entry : entries) {
    const bool is_real_directory = entry.is_directory(ec) && !entry.is_symlink(ec);
    if (is_real_directory) {
      if (!CleanTempFolder(FromPath(entry.path()))) return false;
    } else if (!fs::remove(entry.path(), ec) || ec) {
      return false;
    }
  }
  return fs::remove(root, ec) && !ec;
}

}  // namespace bm
