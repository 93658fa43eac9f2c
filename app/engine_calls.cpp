#include "app/engine_calls.h"

#include "engine/dispatch.h"
#include "engine/scan_worker.h"
#ifdef BRINDLEMOOR_APP_HAVE_CONVERT
#include "convert/convert_command.h"
#endif

namespace bm::app {

EngineCalls RealEngine() {
  EngineCalls calls;
  calls.prepare_scan = PrepareScan;
  calls.scan = RunScanWorker;
  calls.load_folder = RunFolderLoad;
#ifdef BRINDLEMOOR_APP_HAVE_CONVERT
  calls.convert_command = [](AppState& state, std::u16string& destination) {
    return ConvertCommand(state, destination);
  };
  calls.convert = RunConversionWorker;
#endif
#ifdef BRINDLEMOOR_APP_HAVE_PREVIEW
  calls.click = [](AppState& state, const std::optional<ClickedRow>& row) {
    OnClickItemList(state, row);
  };
#endif
  return calls;
}

}  // namespace bm::app
