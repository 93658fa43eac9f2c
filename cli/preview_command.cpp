// brindlemoor-cli preview: selects one folder, clicks one row of its item list and prints the
// file the preview browser is pointed at, after the same page writers as the desktop wrote it.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/store_session.h"
#include "engine/dispatch.h"
#include "preview/click_dispatch.h"

namespace bm::cli {

namespace {

struct PreviewOptions {
  std::string pst;
  std::string folder;
  std::int32_t row = 0;
  std::string temp;
};

// The listed row whose "NO" is `number`, read as the click handler reads it.
std::optional<ClickedRow> RowNumbered(const std::vector<ListRow>& rows, std::int32_t number) {
  for (const ListRow& row : rows) {
    if (ParseRowNumber(row[0]) == number) return ClickedRowOf(row);
  }
  return std::nullopt;
}

int RunPreview(const PreviewOptions& options) {
  StoreSession session;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return 1;
  const FolderNode* node = session.FindFolderOrSayWhy(options.folder);
  if (node == nullptr) return 2;
  RunFolderLoad(session.state(), node->tree_item);

  const auto row = RowNumbered(session.window().Rows(), options.row);
  if (!row) {
    std::fprintf(stderr, "brindlemoor-cli: the folder lists no row %d\n", options.row);
    return 3;
  }
  const int shown = OnClickItemList(session.state(), row);
  if (shown < 0) {
    // A page cut short (a full or read-only temp disk) is never printed as the preview.
    std::fprintf(stderr, "brindlemoor-cli: %s\n", ToUtf8(session.window().LastStatus()).c_str());
    return 1;
  }
  if (shown == 0) {
    std::fprintf(stderr, "brindlemoor-cli: row %d has nothing to preview\n", options.row);
    return 3;
  }
  const auto target = session.window().LastNavigation();
  if (!target) return 3;
  // The printed page must still be there when the command has ended.
  session.state().temp_folder->KeepWhole();
  std::printf("%s\n", ToUtf8(*target).c_str());
  return 0;
}

}  // namespace

void AddPreviewCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<PreviewOptions>();
  CLI::App* preview = app.add_subcommand(
      "preview",
      "Select one folder, click the item-list row with the given NO and write its preview "
      "pages into the run's working folder, which is kept; prints the path the preview browser "
      "would show. Prints nothing and exits with 3 when no item matches, with 1 when the pages "
      "cannot be written whole.");
  AddPstArgument(*preview, options->pst, "The PST file to open");
  AddFolderArgument(*preview, options->folder);
  preview->add_option("ROW", options->row, "The row's NO, as 'list' prints it")->required();
  AddTempOption(*preview, options->temp);
  preview->callback([options, &exit_status] { exit_status = RunPreview(*options); });
}

}  // namespace bm::cli
