// The scan: opens a store, walks its folders into the folder node list and the tree.
#pragma once

#include <chrono>

#include <string>

#include "base/result.h"

namespace bm {

class AppState;

// The fourteen-step scan worker. Reports through the state's main window and log. Succeeds
// when the scan ended with "Scanning completed"; otherwise the error is the reason, one line
// ("the file is empty", "its root folder cannot be read ..."), which the failure's message
// box also shows. A store that cannot be opened, or whose root folder cannot be read, fails.
Status ScanStore(AppState& state);

// ScanStore for callers that need only whether it completed.
bool RunScanWorker(AppState& state);

// Steps of Open & Scan that follow the dialog, short of starting the worker: clears the
// conversion mode, replaces the run's private temp folder by a new one inside `temp_parent`
// (the user's runtime or temp directory when empty) and names the log file, which is kept in
// `temp_parent` when the folder goes. The caller empties its tree and list and inserts the
// root tree item (kept in state.root_tree_item). The log is named by `started`, when the user
// asked for the scan. Fails with the reason when no temp folder can be made; the temp folder
// path is empty then and the scan refuses to start.
Status PrepareScan(
    AppState& state, const std::u16string& pst_path, const std::u16string& temp_parent,
    std::chrono::system_clock::time_point started = std::chrono::system_clock::now());

}  // namespace bm
