// The scan: opens a store, walks its folders into the folder node list and the tree.
#pragma once

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
// conversion mode, cleans and creates the temp folder and names the log file. The caller
// empties its tree and list and inserts the root tree item (kept in state.root_tree_item).
void PrepareScan(AppState& state, const std::u16string& pst_path,
                 const std::u16string& temp_folder_path);

// Removes `directory` and everything below it, depth first; stops at the first entry that
// cannot be removed. False then, or when the directory does not exist.
bool CleanTempFolder(const std::u16string& directory);

}  // namespace bm
