// brindlemoor-cli: the converter's engine without a window.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string_view>

#include "cli/commands.h"
#include "cli/visible_text.h"

namespace {

// CLI11 would call a misspelt subcommand a missing one; say what was not understood.
bool IsUnknownSubcommand(const CLI::App& app, int argc, char** argv) {
  if (argc < 2) return false;
  const std::string_view first = argv[1];
  if (first.empty() || first.front() == '-') return false;
  for (const CLI::App* command : app.get_subcommands({})) {
    if (command->check_name(std::string(first))) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "brindlemoor-cli: scan, list, preview and convert Outlook personal folder files (PST) "
      "without a window."};
  app.require_subcommand(1);
  app.set_version_flag("--version", "brindlemoor-cli " BRINDLEMOOR_VERSION);
  app.footer(std::string(bm::cli::kExitStatusHelp) + "\n");
  int exit_status = bm::cli::kExitDone;
  bm::cli::AddScanCommand(app, exit_status);
  bm::cli::AddListCommand(app, exit_status);
  bm::cli::AddPreviewCommand(app, exit_status);
  bm::cli::AddConvertCommand(app, exit_status);
  if (IsUnknownSubcommand(app, argc, argv)) {
    std::fprintf(stderr,
                 "brindlemoor-cli: unknown subcommand '%s' (scan, list, preview or convert)\n"
                 "Run with --help for more information.\n",
                 bm::cli::VisibleUtf8(argv[1]).c_str());
    return bm::cli::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end here too, successfully; every other parse error is a usage
    // error, whatever CLI11's own number for it.
    return app.exit(e) == 0 ? bm::cli::kExitDone : bm::cli::kExitUsage;
  }
  return exit_status;
}
