// Brindlemoor: the desktop program.
#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/tarnwick_app.h"
#include "app/ui_rules.h"

namespace {

constexpr const char* kProgramName = "brindlemoor";
constexpr const char* kVersionText = "Brindlemoor 5.4\n";

std::vector<std::string> Arguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// Answers --help and --version; true when the program has nothing more to do.
bool AnsweredAlready(const bm::app::CommandLine& line) {
  using Action = bm::app::CommandLine::Action;
  if (line.action == Action::kHelp) {
    std::fputs(bm::app::UsageText(kProgramName).c_str(), stdout);
    return true;
  }
  if (line.action == Action::kVersion) {
    std::fputs(kVersionText, stdout);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Help and version need no display: answered before the application object wants one.
  if (AnsweredAlready(bm::app::ParseCommandLine(Arguments(argc, argv)))) return 0;

  bm::app::CTarnwickApp::PrepareProcess();
  QApplication application(argc, argv);
  // Qt has taken its own options (-platform, -style, ...) out of argv by now.
  const bm::app::CommandLine line = bm::app::ParseCommandLine(Arguments(argc, argv));
  if (AnsweredAlready(line)) return 0;
  if (line.action == bm::app::CommandLine::Action::kError) {
    std::fprintf(stderr, "%s: %s\n%s", kProgramName, line.error.c_str(),
                 bm::app::UsageText(kProgramName).c_str());
    return 2;
  }
  std::optional<QString> pst_file;
  if (line.pst_file)
    pst_file = QFileInfo(QString::fromLocal8Bit(*line.pst_file)).absoluteFilePath();
  bm::app::CTarnwickApp program;
  return program.InitInstance(pst_file);
}
