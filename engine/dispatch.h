// Item export dispatch: every message that leaves the store is read once into its record and
// routed here, by its message class, to the writer of its kind.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/main_window.h"
#include "pst/soft_faults.h"
#include "pst/store.h"
#include "writers/writer_support.h"

namespace bm {

class AppState;

// Reads one message into the record of its kind and hands it to that kind's writer (or skips
// it, counting its class in a conversion). A message whose record cannot be read is named in
// a conversion's report with the reader's cause. Returns 1 for every message routed or
// skipped, -1 only when there is no export session or open store.
int export_handle_export_item(AppState& state, const pst::Message& message, int item_index,
                              std::u16string_view target_directory);

// The messages of `folder`, with those that only its contents table still names (a damaged
// node tree loses them); a message the table names but the store does not hold is named in a
// conversion's report.
std::vector<pst::Nid> FolderMessages(AppState& state, pst::Nid folder,
                                     std::u16string_view target_directory);

// Names in a conversion's report the item whose reads met data that fails the store's own
// checks (`faults`, the scope its reads ran in): it is written, but perhaps not as stored.
void ReportSoftFaults(const ReportSink& sink, std::u16string_view folder, int item_index,
                      const pst::SoftFaultScope& faults);

// One message of a folder load, with nothing but `env` (a listing's): its rows and row records
// go to env's window and lists, and `number` is asked, once its record is read, for the
// number they show. Safe to run for many items at once.
void ListItem(const WriterEnv& env, const pst::Message& message, int item_index,
              std::u16string_view folder_path, const std::function<std::int32_t()>& number);

// The same for one message of a conversion, with nothing but `env`: safe to run for many items
// at once. The item's number is its position in its folder (item_index + 1).
void ConvertItem(const WriterEnv& env, const pst::Message& message, int item_index,
                 std::u16string_view target_directory);

// Dispatches each message of one folder, with progress and the stop check. 1 when all were
// visited; -1 when an input is missing, a read fails or the stop flag ended the loop.
int export_handle_export_folder_items(AppState& state, pst::Nid folder,
                                      std::u16string_view target_directory);

// The folder-load thread's work: lists the folder whose tree item is `selected` in preview mode,
// one worker per core (engine/folder_load.h). Running out of memory ends the listing with that
// reason (also shown as the status text).
Status RunFolderLoad(AppState& state, TreeItem selected);

}  // namespace bm
