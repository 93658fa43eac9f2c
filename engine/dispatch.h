// Item export dispatch: every item that leaves the store is routed here by its libpff type.
#pragma once

#include <libpff.h>

#include <string_view>

#include "engine/main_window.h"
#include "engine/pff.h"

namespace bm {

class AppState;

// Routes one item to its writer (or skips it). Takes ownership of the item: a folder item
// passes to its folder node, anything else is released when its writer returns.
// Returns 1 for every item routed or skipped, -1 only when there is no export session.
int export_handle_export_item(AppState& state, pff::Item item, int item_index,
                              std::u16string_view target_directory);

// Dispatches each sub-item of `item`. 1 when all were visited, -1 when one cannot be read.
int export_handle_export_sub_items(AppState& state, libpff_item_t* item,
                                   std::u16string_view target_directory);

// Dispatches each message of one folder, with progress and the stop check. 1 when all were
// visited; -1 when an input is missing, a read fails or the stop flag ended the loop.
int export_handle_export_folder_items(AppState& state, libpff_item_t* folder,
                                      std::u16string_view target_directory);

// The folder-load thread's work: lists the folder whose tree item is `selected` in preview mode.
void RunFolderLoad(AppState& state, TreeItem selected);

}  // namespace bm
