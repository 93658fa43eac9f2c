// brindlemoor-cli list: selects one folder and lists its items as the desktop's item list
// shows them, through the same folder load.
#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/store_session.h"
#include "cli/visible_text.h"
#include "engine/dispatch.h"

namespace bm::cli {

namespace {

struct ListOptions {
  std::string pst;
  std::string folder;
  std::string temp;
  bool json = false;
};

constexpr const char* kHeader = "NO\tItems\tFrom\tE-mail Subject\tDate/time\tFlag\tSize";

// The JSON keys of the seven columns, in column order.
constexpr std::array<const char*, 7> kJsonKeys = {"no",        "items", "from", "subject",
                                                  "date_time", "flag",  "size"};

// Tabs separate the columns and lines the rows, so every control character inside a value,
// these too, is printed as its visible symbol.
void PrintRows(const std::vector<ListRow>& rows) {
  std::printf("%s\n", kHeader);
  for (const ListRow& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      std::printf("%s%s", column == 0 ? "" : "\t", VisibleText(row[column]).c_str());
    }
    std::printf("\n");
  }
}

void PrintJson(const std::vector<ListRow>& rows) {
  std::printf("[");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::printf("%s\n  {", i == 0 ? "" : ",");
    for (std::size_t column = 0; column < rows[i].size(); ++column) {
      std::printf("%s\"%s\": %s", column == 0 ? "" : ", ", kJsonKeys[column],
                  JsonString(ToUtf8(rows[i][column])).c_str());
    }
    std::printf("}");
  }
  std::printf("%s]\n", rows.empty() ? "" : "\n");
}

int RunList(const ListOptions& options) {
  StoreSession session;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return kExitNotStarted;
  const FolderNode* node = session.FindFolderOrSayWhy(options.folder);
  if (node == nullptr) return kExitNotStarted;
  if (const Status listed = RunFolderLoad(session.state(), node->tree_item); !listed) {
    std::fprintf(stderr, "brindlemoor-cli: %s\n", listed.error().message().c_str());
    return 1;
  }
  if (options.json) {
    PrintJson(session.window().Rows());
  } else {
    PrintRows(session.window().Rows());
  }
  return kExitDone;
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
  AddJsonFlag(*list, options->json,
              "Print the rows as a JSON array of objects (no, items, from, subject, date_time, "
              "flag, size)");
  list->callback([options, &exit_status] { exit_status = RunList(*options); });
}

}  // namespace bm::cli
