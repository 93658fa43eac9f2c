// The application object: prepares the process for the browser engine, opens the main window
// maximised (and the store named on the command line) and runs until the Exit command ends
// the process.
#pragma once

#include <QString>
#include <optional>

namespace bm::app {

class CTarnwickApp {
 public:
  // Settings that must be in place before the QApplication exists.
  static void PrepareProcess();

  // Shows the main window, opens and scans `pst_file` when one is given, and runs the event
  // loop. Returns the process's exit code.
  int InitInstance(const std::optional<QString>& pst_file = std::nullopt);
};

}  // namespace bm::app
