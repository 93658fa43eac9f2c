// The folder load: lists one folder's items in the item list, reading them on a few threads
// and showing their rows in folder order as they come.
#pragma once

#include "base/result.h"
#include "engine/main_window.h"

namespace bm {

class AppState;

struct FolderLoadOptions {
  // Threads that read and render items; 0 takes one per core, 1 reads on the calling thread.
  unsigned workers = 0;
};

// Lists the folder whose tree item is `selected`: every e-mail, contact, appointment, task and
// note gets a list row and a row record, numbered in folder order from 1, whatever the number
// of workers. Stop (the state's stop flag) ends it before the next row. Running out of memory
// ends the listing with that reason (also shown as the status text).
Status RunFolderLoad(AppState& state, TreeItem selected, FolderLoadOptions options);

}  // namespace bm
