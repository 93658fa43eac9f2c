// The arguments several subcommands share.
#include "cli/commands.h"

namespace bm::cli {

void AddPstArgument(CLI::App& command, std::string& pst, const char* description) {
  command.add_option("PST", pst, description)->required();
}

void AddFolderArgument(CLI::App& command, std::string& folder) {
  command
      .add_option("FOLDER", folder,
                  "The folder: its folder path (e.g. \"/Top of Personal Folders/Inbox\") or its "
                  "1-based position in the tree, as 'scan' prints it")
      ->required();
}

void AddTempOption(CLI::App& command, std::string& temp) {
  command.add_option("--temp", temp,
                     "Directory in which the run's private working folder QelTempXXXXXX is made "
                     "(mode 0700, removed when the run ends; the run's log, "
                     "log-data-<time>.txt, is moved into DIR then); default: $XDG_RUNTIME_DIR, "
                     "else $TMPDIR, else /tmp");
}

void AddJsonFlag(CLI::App& command, bool& json, const char* description) {
  command.add_flag("--json", json, description);
}

}  // namespace bm::cli
