// The scan: opens a store, walks its folders into the folder node list and the tree.
#pragma once

#include <string>

namespace bm {

class AppState;

// The fourteen-step scan worker. Reports through the state's main window and log. Returns
// true when the scan ended with "Scanning completed".
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
