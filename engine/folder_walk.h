// The folder walk: every folder of the store becomes a folder node and a tree item.
#pragma once

#include <string>
#include <string_view>

#include "engine/main_window.h"
#include "pst/store.h"

namespace bm {

class AppState;

// Deepest level the desktop tree shows (MainWindow::ShownTreeDepth's default).
inline constexpr int kMaxTreeDepth = kShownTreeDepth;

// The walk step for one folder of the open store: names it, inserts its tree item and node,
// walks its sub-folders. A folder whose name cannot be read is walked under
// UnreadableFolderName, its node carrying the cause. 1, or -1 when an input is missing.
int export_handle_export_folder(AppState& state, pst::Nid folder, int item_index,
                                std::u16string_view parent_directory_path);

// The display name made safe for tree texts and paths: at most 255 characters, control
// characters and / \ ! $ % & * + : ; < > ? @ ~ | replaced by '_'.
std::u16string SanitiseFolderName(std::u16string name);

// The name a folder whose properties cannot be read goes by ("Folder 0x00008062"): unique in
// the store and a safe file name.
std::u16string UnreadableFolderName(pst::Nid folder);

// The folder kind word for a container class (nothing when the class is absent).
std::u16string FolderKindText(const std::u16string* container_class);

// The part of `parent_directory_path` after the first "xxxexportdata", up to a second one.
std::u16string RelativeFolderPath(std::u16string_view parent_directory_path);

}  // namespace bm
