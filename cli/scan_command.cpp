// brindlemoor-cli scan: the scan worker against the console window, then the folder tree.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/store_session.h"

namespace bm::cli {

namespace {

struct ScanOptions {
  std::string pst;
  std::string temp;
  bool json = false;
};

int MessageCount(const FolderNode& node) {
  pff::Error error;
  int count = 0;
  if (libpff_folder_get_number_of_sub_messages(node.folder_item.get(), &count, error.out()) != 1) {
    return -1;
  }
  return count;
}

void PrintTree(const AppState& state) {
  std::printf("%s\n", ToUtf8(state.paths.pst_path).c_str());
  for (const FolderNode& node : state.folder_nodes) {
    std::printf("%*s%s  [%s, %d messages]\n", node.depth * 2, "", ToUtf8(node.name).c_str(),
                ToUtf8(node.folder_kind).c_str(), MessageCount(node));
  }
}

void PrintJson(const AppState& state) {
  std::printf("[");
  bool first = true;
  for (const FolderNode& node : state.folder_nodes) {
    std::printf(
        "%s\n  {\"name\": %s, \"depth\": %d, \"relative_folder_path\": %s, "
        "\"folder_path\": %s, \"kind\": %s, \"messages\": %d}",
        first ? "" : ",", JsonString(ToUtf8(node.name)).c_str(), node.depth,
        JsonString(ToUtf8(node.relative_folder_path)).c_str(),
        JsonString(FolderPathText(node)).c_str(), JsonString(ToUtf8(node.folder_kind)).c_str(),
        MessageCount(node));
    first = false;
  }
  std::printf("\n]\n");
}

int RunScan(const ScanOptions& options) {
  StoreSession session;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return 1;
  if (options.json) {
    PrintJson(session.state());
  } else {
    PrintTree(session.state());
  }
  return 0;
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* scan = app.add_subcommand(
      "scan",
      "Open a PST file read-only and print its folder tree: one line per folder, "
      "indented by depth, with its kind and number of messages.");
  AddPstArgument(*scan, options->pst, "The PST file to scan");
  AddTempOption(*scan, options->temp);
  scan->add_flag("--json", options->json,
                 "Print the folder node list as JSON (name, depth, relative folder path, folder "
                 "path, kind, message count)");
  scan->callback([options, &exit_status] { exit_status = RunScan(*options); });
}

}  // namespace bm::cli
