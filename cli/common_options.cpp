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
                     "Directory in which the working folder QelTemp is made (it is emptied "
                     "first); default: the system temp directory");
}

void AddJsonFlag(CLI::App& command, bool& json, const char* description) {
  command.add_flag("--json", json, description);
}

}  // namespace bm::cli
