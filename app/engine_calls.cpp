#include "app/engine_calls.h"

#include "engine/convert_command.h"
#include "engine/dispatch.h"
#include "engine/item_click.h"
#include "engine/scan_worker.h"

namespace bm::app {

EngineCalls RealEngine() {
  return {
      .prepare_scan = PrepareScan,
      .scan = RunScanWorker,
      .load_folder = RunFolderLoad,
      .convert_command =
          [](AppState& state, std::u16string& destination) {
            return ConvertCommand(state, destination);
          },
      .convert = RunConversionWorker,
      .click = [](AppState& state,
                  const std::optional<ClickedRow>& row) { OnClickItemList(state, row); },
  };
}

}  // namespace bm::app
