#include "engine/dispatch.h"

#include <cstdio>

#include "base/text.h"
#include "engine/app_state.h"
#include "engine/folder_walk.h"
#include "writers/item_writers.h"

namespace bm {

namespace {

constexpr std::uint32_t kPidTagMessageClass = 0x001A;

void Notify(const AppState& state, const char* format, int a, int b) {
  if (state.notify_stream != nullptr) std::fprintf(state.notify_stream, format, a, b);
}

// A conversion names every item it could not write: a message the store cannot give must not
// vanish from the run without a word.
void ReportUnreadable(AppState& state, std::u16string_view folder, int item_index,
                      std::u16string_view reason) {
  state.ReportFailure(std::u16string(folder) + u" item " + DecimalText(item_index + 1),
                      std::u16string(reason));
}

}  // namespace

int export_handle_export_item(AppState& state, pff::Item item, int item_index,
                              std::u16string_view target_directory) {
  if (!state.session) return -1;
  if (!item) return 1;
  pff::Error error;
  std::uint8_t item_type = 0;
  if (libpff_item_get_type(item.get(), &item_type, error.out()) != 1) {
    ReportUnreadable(state, target_directory, item_index,
                     u"its kind cannot be read from the store");
    return 1;
  }

  libpff_item_t* raw = item.get();
  switch (item_type) {
    case LIBPFF_ITEM_TYPE_APPOINTMENT:
      WriteAppointmentItem(state, raw, target_directory);
      break;
    case LIBPFF_ITEM_TYPE_CONFLICT_MESSAGE:
    case LIBPFF_ITEM_TYPE_DOCUMENT:
    case LIBPFF_ITEM_TYPE_EMAIL:
    case LIBPFF_ITEM_TYPE_EMAIL_SMIME:
      WriteEmailItem(state, raw, item_index, target_directory);
      break;
    case LIBPFF_ITEM_TYPE_CONTACT:
      WriteContactItem(state, raw, target_directory);
      break;
    case LIBPFF_ITEM_TYPE_FOLDER:
      export_handle_export_folder(state, std::move(item), item_index, target_directory);
      break;
    case LIBPFF_ITEM_TYPE_NOTE:
      WriteNoteItem(state, raw, target_directory);
      break;
    case LIBPFF_ITEM_TYPE_RSS_FEED:
      // Feeds are converted like e-mails but not listed.
      if (state.conversion_mode) WriteEmailItem(state, raw, item_index, target_directory);
      break;
    case LIBPFF_ITEM_TYPE_TASK:
      WriteTaskItem(state, raw, target_directory);
      break;
    default:
      // Distribution lists, meeting and task requests, journal entries, ...: not converted,
      // but a conversion says how many of each it left out.
      if (state.conversion_mode) {
        state.report.Skipped(pff::Utf16Property(raw, kPidTagMessageClass).value_or(u"(unknown)"));
      }
      break;
  }
  return 1;
}

int export_handle_export_sub_items(AppState& state, libpff_item_t* item,
                                   std::u16string_view target_directory) {
  pff::Error error;
  int count = 0;
  if (libpff_item_get_number_of_sub_items(item, &count, error.out()) != 1 || count <= 0) return 1;
  for (int index = 0; index < count; ++index) {
    libpff_item_t* raw = nullptr;
    if (libpff_item_get_sub_item(item, index, &raw, error.out()) != 1) return -1;
    if (export_handle_export_item(state, pff::Item(raw), index, target_directory) != 1) {
      Notify(state, "Unable to export sub item %d out of %d.\n", index + 1, count);
    }
  }
  return 1;
}

int export_handle_export_folder_items(AppState& state, libpff_item_t* folder,
                                      std::u16string_view target_directory) {
  state.running_item_number = 0;
  state.row_records.Clear();
  if (!state.session || folder == nullptr || target_directory.empty()) return -1;

  pff::Error error;
  int count = 0;
  if (libpff_folder_get_number_of_sub_messages(folder, &count, error.out()) != 1) {
    state.ReportFailure(std::u16string(target_directory),
                        u"the folder's messages cannot be counted in the store");
    return -1;
  }
  // The progress range is a 16-bit value, as the window's progress bar takes it: a larger
  // folder's range wraps.
  state.main_window.SetProgressRange(0, count & 0xFFFF);
  if (count <= 0) return 1;

  int result = 1;
  for (int index = 0; index < count; ++index) {
    if (state.stop_flag.load() != 0) return -1;
    state.main_window.SetProgressPos(index);
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_message(folder, index, &raw, error.out()) != 1) {
      // An unreadable message in a damaged store must not cost the readable ones after it.
      ReportUnreadable(state, target_directory, index, u"it cannot be read from the store");
      result = -1;
      continue;
    }
    export_handle_export_item(state, pff::Item(raw), index, target_directory);
    state.main_window.SetProgressPos(0);
  }
  return result;
}

void RunFolderLoad(AppState& state, TreeItem selected) {
  state.main_window.DeleteAllListRows();
  state.running_item_number = 0;
  state.conversion_mode = false;
  state.stop_flag = 0;
  // By index: a damaged store can make the export walk a folder, which appends nodes.
  for (std::size_t i = 0; i < state.folder_nodes.size(); ++i) {
    if (selected == kNoTreeItem || state.folder_nodes[i].tree_item != selected) continue;
    libpff_item_t* folder = state.folder_nodes[i].folder_item.get();
    const std::u16string folder_path = state.folder_nodes[i].FolderPath();
    state.main_window.EnableControl(control::kFolderTree, false);
    export_handle_export_folder_items(state, folder, folder_path);
    state.main_window.EnableControl(control::kFolderTree, true);
  }
}

}  // namespace bm
