#include "robustness/pipeline.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "engine/app_state.h"
#include "engine/convert_command.h"
#include "engine/dispatch.h"
#include "engine/item_click.h"
#include "engine/scan_worker.h"
#include "preview/click_dispatch.h"
#include "support/recording_window.h"

namespace bm::robust {

namespace {

void Stage(const PipelineOptions& options, const std::string& stage) {
  if (options.on_stage) options.on_stage(stage);
}

bool Scan(AppState& state, test::RecordingWindow& window, const std::filesystem::path& pst,
          const std::filesystem::path& temp_parent) {
  // A temp folder that cannot be made is the scan's to report, as the program does.
  const Status prepared = PrepareScan(state, FromPath(pst), FromPath(temp_parent));
  // The sandbox's temp folder is inspected after the run (pages, names), so it stays.
  if (prepared.ok()) state.temp_folder->KeepWhole();
  state.root_tree_item = window.InsertTreeItem(kNoTreeItem, state.paths.pst_path, u"");
  return RunScanWorker(state);
}

// Selects each folder in turn and clicks each of its rows. By index: a damaged store can make
// a folder load walk a folder, which appends nodes.
void BrowseEveryFolder(AppState& state, test::RecordingWindow& window,
                       const PipelineOptions& options, PipelineOutcome& outcome) {
  for (std::size_t i = 0; i < state.folder_nodes.size(); ++i) {
    Stage(options, "list " + std::to_string(i + 1));
    if (!RunFolderLoad(state, state.folder_nodes[i].tree_item)) continue;
    const std::vector<ListRow> rows = window.Rows();
    outcome.rows += static_cast<int>(rows.size());
    if (!options.preview) continue;
    for (const ListRow& row : rows) {
      Stage(options, "preview " + std::to_string(i + 1) + "/" + ToUtf8(row[0]));
      if (OnClickItemList(state, ClickedRowOf(row)) == 1) ++outcome.previews;
    }
  }
}

int CountMessages(const AppState& state) {
  int messages = 0;
  for (const FolderNode& node : state.folder_nodes) {
    if (state.store) messages += static_cast<int>(state.store->Messages(node.folder_nid).size());
  }
  return messages;
}

int ConvertedFiles(const std::filesystem::path& root) {
  int files = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::end(it); it.increment(ec)) {
    const auto extension = it->path().extension();
    if (it->is_regular_file() && (extension == ".msg" || extension == ".txt")) ++files;
  }
  return files;
}

void ConvertEverything(AppState& state, test::RecordingWindow& window,
                       const PipelineOptions& options, PipelineOutcome& outcome) {
  Stage(options, "convert");
  for (const FolderNode& node : state.folder_nodes) window.SetChecked(node.tree_item, true);
  window.QueueBrowseAnswer(FromPath(options.destination));
  std::u16string destination;
  if (!ConvertCommand(state, destination)) return;
  RunConversionWorker(state, destination);
  outcome.converted = true;
  const std::vector<std::u16string> statuses = window.StatusTexts();
  if (!statuses.empty()) outcome.final_status = ToUtf8(statuses.back());
  outcome.destination_root = ToPath(state.report.DestinationRoot());
  outcome.files_on_disk = ConvertedFiles(outcome.destination_root);
  for (const auto& [kind, count] : state.report.WrittenByKind()) outcome.written += count;
  for (const auto& [message_class, count] : state.report.SkippedByClass()) {
    outcome.skipped += count;
  }
  for (const auto& failure : state.report.Failures()) {
    outcome.failures.push_back(ToUtf8(failure.item) + ": " + ToUtf8(failure.reason));
  }
}

}  // namespace

PipelineOutcome RunPipeline(const std::filesystem::path& pst, const PipelineOptions& options) {
  test::RecordingWindow window;
  if (options.on_window_call) {
    window.SetObserver([&options](const test::RecordingWindow::Call& call) {
      options.on_window_call(call.op, call.text);
    });
  }
  AppState state(window);
  PipelineOutcome outcome;
  Stage(options, "scan");
  outcome.scanned = Scan(state, window, pst, options.temp_parent);
  if (!outcome.scanned) return outcome;
  outcome.folders = static_cast<int>(state.folder_nodes.size());
  outcome.messages = CountMessages(state);
  BrowseEveryFolder(state, window, options, outcome);
  if (options.convert) ConvertEverything(state, window, options, outcome);
  return outcome;
}

void SaveOutcome(const PipelineOutcome& outcome, const std::filesystem::path& file) {
  std::ofstream out(file, std::ios::binary);
  out << "scanned " << outcome.scanned << "\nfolders " << outcome.folders << "\nmessages "
      << outcome.messages << "\nrows " << outcome.rows << "\npreviews " << outcome.previews
      << "\nconverted " << outcome.converted << "\nwritten " << outcome.written << "\non_disk "
      << outcome.files_on_disk << "\nskipped " << outcome.skipped << "\nroot "
      << outcome.destination_root.string() << "\nstatus " << outcome.final_status << "\n";
  for (const std::string& failure : outcome.failures) {
    std::string line = failure;
    for (char& c : line) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    out << "failure " << line << "\n";
  }
}

bool LoadOutcome(const std::filesystem::path& file, PipelineOutcome& outcome) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  outcome = {};
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
    const int number = std::atoi(value.c_str());
    if (key == "scanned") outcome.scanned = number != 0;
    if (key == "folders") outcome.folders = number;
    if (key == "messages") outcome.messages = number;
    if (key == "rows") outcome.rows = number;
    if (key == "previews") outcome.previews = number;
    if (key == "converted") outcome.converted = number != 0;
    if (key == "written") outcome.written = number;
    if (key == "on_disk") outcome.files_on_disk = number;
    if (key == "skipped") outcome.skipped = number;
    if (key == "root") outcome.destination_root = value;
    if (key == "failure") outcome.failures.push_back(value);
    if (key == "status") outcome.final_status = value;
  }
  return true;
}

}  // namespace bm::robust
