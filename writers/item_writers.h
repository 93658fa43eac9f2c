// The item writers: one item of each kind becomes a list row and row record (preview mode) or
// an output file (conversion mode). Each returns 1 once it has handled the item, also after an
// internal failure, and -1 only when an input is missing.
#pragma once

#include <libpff.h>

#include <string_view>

namespace bm {

class AppState;

int WriteEmailItem(AppState& state, libpff_item_t* item, int item_index,
                   std::u16string_view folder_path);
int WriteContactItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path);
int WriteAppointmentItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path);
int WriteTaskItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path);
int WriteNoteItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path);

}  // namespace bm
