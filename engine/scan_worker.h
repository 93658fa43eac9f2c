// The scan: opens a store, walks its folders into the folder node list and the tree.
#pragma once

#include <string>

#include "base/result.h"

namespace bm {

class AppState;

// The fourteen-step scan worker. Reports through the state's main window and log. Returns
// true when the scan ended with "Scanning completed".
bool RunScanWorker(AppState& state);

// Steps of Open & Scan that follow the dialog, short of starting the worker: clears the
// conversion mode, replaces the run's private temp folder by a new one inside `temp_parent`
// (the user's runtime or temp directory when empty) and names the log file, which is kept in
// `temp_parent` when the folder goes. The caller empties its tree and list and inserts the
// root tree item (kept in state.root_tree_item). Fails with the reason when no temp folder can
// be made; the temp folder path is empty then and the scan refuses to start.
Status PrepareScan(AppState& state, const std::u16string& pst_path,
                   const std::u16string& temp_parent);

}  // namespace bm
