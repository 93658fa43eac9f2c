// A click on the item list, answered from the application state: the row records of the
// listed folder, the run's temp folder and the main window's browser.
#pragma once

#include <optional>

#include "preview/click_dispatch.h"
#include "preview/preview_pages.h"

namespace bm {

class AppState;

// What the preview page writers get of the state.
PreviewEnv PreviewEnvOf(AppState& state);

// The item list's click handler (see ShowItemPreview): 1 when a preview was shown, 0 when
// nothing matched, -1 when a page could not be written.
int OnClickItemList(AppState& state, const std::optional<ClickedRow>& first_selected);

}  // namespace bm
