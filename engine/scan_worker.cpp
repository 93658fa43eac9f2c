#include "engine/scan_worker.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "base/log.h"
#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"

namespace bm {

namespace {

constexpr int kAsciiCodepage = 1252;

// Failing a step: the log entry, then the status line, and the worker ends.
bool Fail(AppState& state, std::u16string_view log_entry) {
  state.Log(log_entry);
  state.main_window.SetStatusText(u"unable to open file");
  return false;
}

// The items pass of the store export; its result is reported but never fails the export.
int ExportItems(AppState& state) {
  if (state.notify_stream != nullptr) std::fputs("Exporting items.\n", state.notify_stream);
  std::error_code ec;
  std::filesystem::create_directory(ToPath(state.session->items_export_path), ec);

  pff::Error error;
  libpff_item_t* raw_root = nullptr;
  if (libpff_file_get_root_folder(state.store.get(), &raw_root, error.out()) != 1) return -1;
  const pff::Item root(raw_root);
  int count = 0;
  if (libpff_item_get_number_of_sub_items(root.get(), &count, error.out()) != 1) return -1;
  int result = 1;
  if (count > 0) {
    result = export_handle_export_sub_items(state, root.get(), state.session->items_export_path);
  }
  if (state.notify_stream != nullptr) std::fputs("\n", state.notify_stream);
  return result;
}

int export_handle_export_file(AppState& state) {
  ExportItems(state);
  return 1;
}

}  // namespace

bool RunScanWorker(AppState& state) {
  MainWindow& window = state.main_window;
  state.Log(u"start scanning process");

  state.CloseStore();
  export_handle_free(state.session);
  state.depth_parent_table.fill(kNoTreeItem);
  state.depth_parent_table[0] = state.root_tree_item;

  window.SetStatusText(u"please wait... initialize your file");
  // Without its private temp folder the scan would put its files in the current directory.
  if (state.paths.temp_folder_path.empty()) {
    const std::u16string reason =
        state.temp_folder_error.empty() ? u"no temp folder" : state.temp_folder_error;
    window.SetStatusText(u"unable to open file: " + reason);
    window.MessageBox(reason, kCaption14, mb::kReport, BoxOwner::kNone);
    return false;
  }
  const std::u16string& target_path = state.paths.temp_folder_path;

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
  if (libpff_file_open(state.store.get(), pst_path.c_str(), LIBPFF_OPEN_READ, error.out()) != 1) {
    state.Log(u"Error opening file:");
    window.MessageBox(u"Unable to open file. Please select valid pst file", kCaption14, mb::kReport,
                      BoxOwner::kNone);
    window.SetStatusText(u"unable to open file");
    return false;
  }

  window.SetStatusText(u"please wait... Extract folder tree structure.");
  if (export_handle_export_file(state) != 1) return Fail(state, u"Unable to export file");

  window.EnableMenuCommand(command::kConvert, true);
  state.Log(u"Scanning completed");
  window.SetStatusText(u"Scanning completed");
  window.EnableControl(control::kConvertButton, true);
  window.MessageBox(u"Scanning completed", kCaption14, mb::kReport, BoxOwner::kNone);
  return true;
}

Status PrepareScan(AppState& state, const std::u16string& pst_path,
                   const std::u16string& temp_parent) {
  state.conversion_mode = false;
  state.paths.pst_path = pst_path;
  state.paths.temp_folder_path.clear();
  state.paths.log_file_path.clear();
  // The previous scan's folder goes first (its log kept), so a run holds one folder at a time.
  state.temp_folder.reset();
  Result<std::unique_ptr<RunTempFolder>> made = RunTempFolder::Create(ToPath(temp_parent));
  if (!made) {
    state.temp_folder_error = FromUtf8(made.error().message());
    return made.error();
  }
  state.temp_folder = std::move(*made);
  state.temp_folder_error.clear();
  const std::u16string log_name = BuildLogFileName(std::chrono::system_clock::now());
  state.temp_folder->KeepOnRemoval(ToPath(log_name));
  state.paths.temp_folder_path = WithTrailingSeparator(FromPath(state.temp_folder->path()));
  state.paths.log_file_path = state.paths.temp_folder_path + log_name;
  return {};
}

}  // namespace bm
