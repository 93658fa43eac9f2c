// Brindlemoor: the desktop program.
#include <QApplication>

#include "app/tarnwick_app.h"

int main(int argc, char** argv) {
  bm::app::CTarnwickApp::PrepareProcess();
  QApplication application(argc, argv);
  bm::app::CTarnwickApp program;
  return program.InitInstance();
}
