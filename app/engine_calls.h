// The engine operations the main window starts. Bundled so that the window names each one in
// a single place; RealEngine() binds them to the core library.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "engine/main_window.h"
#include "preview/click_dispatch.h"

namespace bm {
class AppState;
}

namespace bm::app {

struct EngineCalls {
  // Open & Scan after the dialog: the run's private temp folder (made in `temp_parent`), log
  // file name (the time Open & Scan was given), conversion mode. A failure leaves no temp
  // folder, and the scan then says why.
  std::function<void(AppState&, const std::u16string& pst_path, const std::u16string& temp_parent,
                     std::chrono::system_clock::time_point started)>
      prepare_scan;
  // The scan worker (runs on a worker thread).
  std::function<bool(AppState&)> scan;
  // The folder-load thread's work for the newly selected tree item.
  std::function<void(AppState&, TreeItem)> load_folder;
  // The Convert command (interface thread); true: start the conversion worker.
  std::function<bool(AppState&, std::u16string& destination)> convert_command;
  // The conversion worker (runs on a worker thread).
  std::function<void(AppState&, const std::u16string& destination)> convert;
  // A click on the item list (interface thread).
  std::function<void(AppState&, const std::optional<ClickedRow>&)> click;
};

EngineCalls RealEngine();

}  // namespace bm::app
