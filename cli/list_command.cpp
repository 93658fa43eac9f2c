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
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return 1;
  const FolderNode* node = session.FindFolderOrSayWhy(options.folder);
  if (node == nullptr) return 2;
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
  AddPstArgument(*list, options->pst, "The PST file to open");
  AddFolderArgument(*list, options->folder);
  AddTempOption(*list, options->temp);
  list->callback([options, &exit_status] { exit_status = RunList(*options); });
}

}  // namespace bm::cli
