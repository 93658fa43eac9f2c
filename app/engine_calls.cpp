#include "app/engine_calls.h"

#ifdef BRINDLEMOOR_APP_HAVE_CONVERT
#include "convert/convert_command.h"
#endif
#include "engine/dispatch.h"
#include "engine/scan_worker.h"

namespace bm::app {

EngineCalls RealEngine() {
  return {
      .prepare_scan = PrepareScan,
      .scan = RunScanWorker,
      .load_folder = RunFolderLoad,
#ifdef BRINDLEMOOR_APP_HAVE_CONVERT
      .convert_command = ConvertCommand,
      .convert = RunConversionWorker,
#endif
#ifdef BRINDLEMOOR_APP_HAVE_PREVIEW
      .click = [](AppState& state,
                  const std::optional<ClickedRow>& row) { OnClickItemList(state, row); },
#endif
  };
}

}  // namespace bm::app
