// brindlemoor-cli list: selects one folder and lists its items as the desktop's item list
// shows them, through the same folder load.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/store_session.h"
#include "engine/dispatch.h"

namespace bm::cli {

namespace {

struct ListOptions {
  std::string pst;
  std::string folder;
  std::string temp;
};

constexpr const char* kHeader = "NO\tItems\tFrom\tE-mail Subject\tDate/time\tFlag\tSize";

// Tabs and line breaks inside a value would break the columns; they print as blanks.
std::string Cell(const std::u16string& text) {
  std::string cell = ToUtf8(text);
  for (char& c : cell) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return cell;
}

void PrintRows(const std::vector<ListRow>& rows) {
  std::printf("%s\n", kHeader);
  for (const ListRow& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      std::printf("%s%s", column == 0 ? "" : "\t", Cell(row[column]).c_str());
    }
    std::printf("\n");
  }
}

int RunList(const ListOptions& options) {
  StoreSession session;
  if (!session.Scan(options.pst, options.temp)) {
    std::fprintf(stderr, "brindlemoor-cli: scan of %s failed: %s\n", options.pst.c_str(),
                 ToUtf8(session.window().LastStatus()).c_str());
    return 1;
  }
  std::string error;
  const FolderNode* node = session.FindFolder(options.folder, error);
  if (node == nullptr) {
    std::fprintf(stderr, "brindlemoor-cli: %s\n", error.c_str());
    return 2;
  }
  RunFolderLoad(session.state(), node->tree_item);
  PrintRows(session.window().Rows());
  return 0;
}

}  // namespace

void AddListCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* list = app.add_subcommand(
      "list",
      "Select one folder and print its item list as the desktop shows it: a header line, then "
      "one tab-separated line per item (NO, Items, From, E-mail Subject, Date/time, Flag, Size).");
  list->add_option("PST", options->pst, "The PST file to open")->required();
  list->add_option("FOLDER", options->folder,
                   "The folder: its folder path (e.g. \"/Top of Personal Folders/Inbox\") or its "
                   "1-based position in the tree, as 'scan' prints it")
      ->required();
  list->add_option("--temp", options->temp,
                   "Directory in which the working folder QelTemp is made (it is emptied first); "
                   "default: the system temp directory");
  list->callback([options, &exit_status] { exit_status = RunList(*options); });
}

}  // namespace bm::cli
