#include "engine/item_click.h"

#include "engine/app_state.h"

namespace bm {

PreviewEnv PreviewEnvOf(AppState& state) {
  return PreviewEnv{.window = state.main_window,
                    .row_records = state.row_records,
                    .temp_folder_path = state.paths.temp_folder_path,
                    .store = state.store ? &*state.store : nullptr};
}

int OnClickItemList(AppState& state, const std::optional<ClickedRow>& first_selected) {
  return ShowItemPreview(PreviewEnvOf(state), first_selected);
}

}  // namespace bm
