#include "engine/scan_worker.h"

#include <chrono>
#include <filesystem>
#include <new>
#include <system_error>

#include "base/log.h"
#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/dispatch.h"
#include "engine/folder_walk.h"
#include "engine/store_file_check.h"

namespace bm {

namespace {

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

// The items pass of the store export: walks the folders under the root folder. A store whose
// root folder cannot be read has nothing to show: that fails the export with the reason;
// failures below the root do not.
Status ExportItems(AppState& state) {
  std::error_code ec;
  std::filesystem::create_directory(ToPath(state.session->items_export_path), ec);
  const pst::Nid root = state.store->root_folder();
  if (const Result<pst::Folder> opened = state.store->OpenFolder(root); !opened) {
    return opened.error().Within("its root folder cannot be read (the file is damaged)");
  }
  for (const pst::Nid folder : state.store->SubFolders(root)) {
    export_handle_export_folder(state, folder, 0, state.session->items_export_path);
  }
  return {};
}

// Opens the store for the scan; soft faults the reader meets later go to the run's log.
Result<pst::Store> OpenStore(AppState& state, const std::string& pst_path) {
  pst::OpenOptions options;
  const std::u16string log_path = state.paths.log_file_path;
  options.warn = [log_path](const std::string& warning) {
    AppendLog(ToPath(log_path), u"Warning: " + FromUtf8(warning));
  };
  return pst::Store::Open(pst_path, std::move(options));
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
  // Without its private temp folder the scan would put its files in the current directory.
  if (state.paths.temp_folder_path.empty()) {
    const std::u16string reason =
        state.temp_folder_error.empty() ? u"no temp folder" : state.temp_folder_error;
    window.SetStatusText(u"unable to open file: " + reason);
    window.MessageBox(reason, kCaption14, mb::kReport, BoxOwner::kNone);
    return Error(ToUtf8(reason));
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

  state.Log(u"Opening file.");
  window.SetStatusText(u"please wait... Opening file.");
  const std::string pst_path = ToPath(state.paths.pst_path).string();
  if (const Status usable = CheckStoreFile(pst_path); !usable)
    return FailOpen(state, usable.error());
  Result<pst::Store> opened = OpenStore(state, pst_path);
  if (!opened) {
    return FailOpen(state, opened.error().Within("it cannot be read as a PST file"));
  }
  state.store.emplace(std::move(*opened));

  window.SetStatusText(u"please wait... Extract folder tree structure.");
  try {
    if (const Status exported = ExportItems(state); !exported) {
      return FailOpen(state, exported.error());
    }
  } catch (const std::bad_alloc&) {
    state.CloseStore();
    return Fail(state, u"Not enough memory to show the folder tree.");
  }

  window.EnableMenuCommand(command::kConvert, true);
  state.Log(u"Scanning completed");
  window.SetStatusText(u"Scanning completed");
  window.EnableControl(control::kConvertButton, true);
  window.MessageBox(u"Scanning completed", kCaption14, mb::kReport, BoxOwner::kNone);
  return {};
}

Status PrepareScan(AppState& state, const std::u16string& pst_path,
                   const std::u16string& temp_parent,
                   std::chrono::system_clock::time_point started) {
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
  const std::u16string log_name = BuildLogFileName(started);
  state.temp_folder->KeepOnRemoval(ToPath(log_name));
  state.paths.temp_folder_path = WithTrailingSeparator(FromPath(state.temp_folder->path()));
  state.paths.log_file_path = state.paths.temp_folder_path + log_name;
  return {};
}

}  // namespace bm
