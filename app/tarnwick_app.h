// The application object: prepares the process for the browser engine, opens the main window
// maximised and runs until the Exit command ends the process.
#pragma once

namespace bm::app {

class CTarnwickApp {
 public:
  // Settings that must be in place before the QApplication exists.
  static void PrepareProcess();

  // Shows the main window and runs the event loop. Returns the process's exit code.
  int InitInstance();
};

}  // namespace bm::app
