// brindlemoor-cli preview: selects one folder, clicks one row of its item list and prints the
// file the preview browser is pointed at, after the same page writers as the desktop wrote it;
// or, with --text, the item's header and body as text.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/file_bytes.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/store_session.h"
#include "cli/visible_text.h"
#include "engine/dispatch.h"
#include "engine/item_click.h"
#include "msg/html_text.h"
#include "msg/rtf_text.h"
#include "preview/click_dispatch.h"
#include "preview/preview_pages.h"

namespace bm::cli {

namespace {

struct PreviewOptions {
  std::string pst;
  std::string folder;
  std::int32_t row = 0;
  std::string temp;
  bool text = false;
};

// The listed row whose "NO" is `number`, read as the click handler reads it.
std::optional<ClickedRow> RowNumbered(const std::vector<ListRow>& rows, std::int32_t number) {
  for (const ListRow& row : rows) {
    if (ParseRowNumber(row[0]) == number) return ClickedRowOf(row);
  }
  return std::nullopt;
}

// A body as readable text (UTF-8): HTML and RTF rendered, plain text as it is, up to the
// store's terminating NUL.
std::string BodyText(std::string bytes, BodyKind kind) {
  if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  switch (kind) {
    case BodyKind::kHtml:
      return HtmlToText(bytes);
    case BodyKind::kRtf:
      return RtfToText(bytes);
    case BodyKind::kText:
      break;
  }
  return bytes;
}

std::string BodyText(const RecordBody& body) {
  return BodyText(std::string(body.bytes.begin(), body.bytes.end()), body.kind);
}

// The bytes of a page or body file the preview wrote in the run's temp folder; none when it
// is not there (or something other than a regular file stands in its place).
std::string FileBytes(const std::u16string& path) {
  return ReadFileBytes(ToPath(path)).value_or(std::string());
}

// The header page's text: the labels and values the desktop shows above or beside the body.
std::string HeaderText(const std::u16string& page) {
  return HtmlToText(ToUtf8(page));
}

struct ItemText {
  std::string header;
  std::string body;
};

// The clicked row's item as text, from the row record a click would preview; nothing when no
// record matches (as the click handler finds none).
std::optional<ItemText> TextOfRow(const AppState& state, const ClickedRow& row) {
  const std::int32_t number = ParseRowNumber(row.number);
  const RowRecordLists& records = state.row_records;
  const std::u16string& temp = state.paths.temp_folder_path;
  if (row.kind == u"email") {
    const auto record = records.FindEmail(number, row.from);
    if (!record) return std::nullopt;
    return ItemText{HeaderText(EmailHeaderPage(*record, temp)),
                    BodyText(FileBytes(record->body_file_path), record->body_kind)};
  }
  if (row.kind == u"contact") {
    const auto record = records.FindContact(number);
    if (!record) return std::nullopt;
    return ItemText{HeaderText(ContactHeaderPage(*record, temp)), BodyText(record->body)};
  }
  if (row.kind == u"appointment") {
    const auto record = records.FindAppointment(number);
    if (!record) return std::nullopt;
    return ItemText{HeaderText(AppointmentHeaderPage(*record, temp)), BodyText(record->body)};
  }
  if (row.kind == u"task") {
    const auto record = records.FindTask(number);
    if (!record) return std::nullopt;
    return ItemText{HeaderText(TaskHeaderPage(*record, temp)), BodyText(record->body)};
  }
  if (row.kind == u"note") {
    // A note's preview is its body alone; its subject stands in for a header.
    const auto record = records.FindNote(number);
    if (!record) return std::nullopt;
    return ItemText{"Subject: " + ToUtf8(record->subject), BodyText(record->body)};
  }
  return std::nullopt;
}

void PrintItemText(const ItemText& text) {
  std::string header = VisibleUtf8(text.header, LineBreaks::kKept);
  while (!header.empty() && header.back() == '\n') header.pop_back();
  std::string body = VisibleUtf8(text.body, LineBreaks::kKept);
  if (!body.empty() && body.back() != '\n') body += '\n';
  std::printf("%s\n\n%s", header.c_str(), body.c_str());
}

int RunPreview(const PreviewOptions& options) {
  StoreSession session;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return kExitNotStarted;
  const FolderNode* node = session.FindFolderOrSayWhy(options.folder);
  if (node == nullptr) return kExitNotStarted;
  if (const Status listed = RunFolderLoad(session.state(), node->tree_item); !listed) {
    std::fprintf(stderr, "brindlemoor-cli: %s\n", listed.error().message().c_str());
    return 1;
  }

  const auto row = RowNumbered(session.window().Rows(), options.row);
  if (!row) {
    std::fprintf(stderr, "brindlemoor-cli: the folder lists no row %d\n", options.row);
    return kExitNotStarted;
  }
  if (options.text) {
    const std::optional<ItemText> text = TextOfRow(session.state(), *row);
    if (!text) {
      std::fprintf(stderr, "brindlemoor-cli: row %d has nothing to preview\n", options.row);
      return kExitNotStarted;
    }
    PrintItemText(*text);
    return kExitDone;
  }
  const int shown = OnClickItemList(session.state(), row);
  if (shown < 0) {
    // A page cut short (a full or read-only temp disk) is never printed as the preview.
    std::fprintf(stderr, "brindlemoor-cli: %s\n", ToUtf8(session.window().LastStatus()).c_str());
    return 1;
  }
  if (shown == 0) {
    std::fprintf(stderr, "brindlemoor-cli: row %d has nothing to preview\n", options.row);
    return kExitNotStarted;
  }
  const auto target = session.window().LastNavigation();
  if (!target) return kExitNotStarted;
  // The printed page must still be there when the command has ended.
  session.state().temp_folder->KeepWhole();
  std::printf("%s\n", VisibleText(*target).c_str());
  return kExitDone;
}

}  // namespace

void AddPreviewCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<PreviewOptions>();
  CLI::App* preview = app.add_subcommand(
      "preview",
      "Select one folder, click the item-list row with the given NO and write its preview "
      "pages into the run's working folder, which is kept; prints the path the preview browser "
      "would show (with --text: the item's header and body as text). Exits with 1 when no item "
      "matches or the pages cannot be written whole.");
  AddPstArgument(*preview, options->pst, "The PST file to open");
  AddFolderArgument(*preview, options->folder);
  preview->add_option("ROW", options->row, "The row's NO, as 'list' prints it")->required();
  AddTempOption(*preview, options->temp);
  preview->add_flag("--text", options->text,
                    "Print the item's header and body as text instead of the preview page's path");
  preview->callback([options, &exit_status] { exit_status = RunPreview(*options); });
}

}  // namespace bm::cli
