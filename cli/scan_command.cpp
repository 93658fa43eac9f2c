// brindlemoor-cli scan: the scan worker against the console window, then the folder tree.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/store_session.h"
#include "cli/visible_text.h"

namespace bm::cli {

namespace {

struct ScanOptions {
  std::string pst;
  std::string temp;
  bool json = false;
};

int MessageCount(const AppState& state, const FolderNode& node) {
  if (!state.store) return -1;
  return static_cast<int>(state.store->Messages(node.folder_nid).size());
}

int DigitCount(std::size_t value) {
  int digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

// One line per folder: its position (what FOLDER accepts), indentation by depth, its name,
// kind and number of messages.
void PrintTree(const AppState& state) {
  const FolderNodeList& nodes = state.folder_nodes;
  const int width = DigitCount(nodes.size());
  std::printf("%s\n", VisibleText(state.paths.pst_path).c_str());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const FolderNode& node = nodes[i];
    std::printf("%*zu %*s%s  [%s, %d messages]\n", width, i + 1, node.depth * 2, "",
                VisibleText(node.name).c_str(), VisibleText(node.folder_kind).c_str(),
                MessageCount(state, node));
  }
}

void PrintJson(const AppState& state) {
  const FolderNodeList& nodes = state.folder_nodes;
  std::printf("[");
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const FolderNode& node = nodes[i];
    std::printf(
        "%s\n  {\"position\": %zu, \"name\": %s, \"depth\": %d, \"relative_folder_path\": %s, "
        "\"folder_path\": %s, \"kind\": %s, \"messages\": %d}",
        i == 0 ? "" : ",", i + 1, JsonString(ToUtf8(node.name)).c_str(), node.depth,
        JsonString(ToUtf8(node.relative_folder_path)).c_str(),
        JsonString(FolderPathText(node)).c_str(), JsonString(ToUtf8(node.folder_kind)).c_str(),
        MessageCount(state, node));
  }
  std::printf("%s]\n", nodes.empty() ? "" : "\n");
}

int RunScan(const ScanOptions& options) {
  StoreSession session;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return kExitNotStarted;
  if (options.json) {
    PrintJson(session.state());
  } else {
    PrintTree(session.state());
  }
  return kExitDone;
}

}  // namespace

void AddScanCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* scan = app.add_subcommand(
      "scan",
      "Open a PST file read-only and print its folder tree: one line per folder with its "
      "position (which FOLDER accepts), indented by depth, with its kind and number of "
      "messages.");
  AddPstArgument(*scan, options->pst, "The PST file to scan");
  AddTempOption(*scan, options->temp);
  AddJsonFlag(*scan, options->json,
              "Print the folder node list as a JSON array (position, name, depth, relative "
              "folder path, folder path, kind, message count)");
  scan->callback([options, &exit_status] { exit_status = RunScan(*options); });
}

}  // namespace bm::cli
