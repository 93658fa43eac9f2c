// brindlemoor-cli: the converter's engine without a window.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{
      "brindlemoor-cli: scan, list, preview and convert Outlook personal folder files (PST) "
      "without a window."};
  app.require_subcommand(1);
  int exit_status = 0;
  bm::cli::AddScanCommand(app, exit_status);
  bm::cli::AddListCommand(app, exit_status);
  bm::cli::AddPreviewCommand(app, exit_status);
  bm::cli::AddConvertCommand(app, exit_status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return exit_status;
}
