// brindlemoor-cli convert: scan, tick folders, and run the Convert command and its worker.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/progress_bar.h"
#include "cli/stop_signals.h"
#include "cli/store_session.h"
#include "cli/visible_text.h"
#include "engine/convert_command.h"

namespace bm::cli {

namespace {

struct ConvertOptions {
  std::string pst;
  std::string destination;
  std::vector<std::string> folders;
  std::string temp;
  std::string format = "msg";
  bool json = false;
  unsigned jobs = 0;  // 0: one per core
};

// Ticks the named folders with everything below them, or every folder when none is named.
bool TickFolders(StoreSession& session, const std::vector<std::string>& names) {
  const FolderNodeList& nodes = session.state().folder_nodes;
  if (names.empty()) {
    for (const FolderNode& node : nodes) session.window().SetChecked(node.tree_item, true);
    return true;
  }
  for (const std::string& name : names) {
    const FolderNode* folder = session.FindFolderOrSayWhy(name);
    if (folder == nullptr) return false;
    const auto first = static_cast<std::size_t>(folder - nodes.data());
    session.window().SetChecked(folder->tree_item, true);
    for (std::size_t i = first + 1; i < nodes.size() && nodes[i].depth > folder->depth; ++i) {
      session.window().SetChecked(nodes[i].tree_item, true);
    }
  }
  return true;
}

// The messages the ticked folders hold, as the node tree gives them: the progress bar's whole.
long long TickedMessageCount(StoreSession& session) {
  const AppState& state = session.state();
  if (!state.store) return 0;
  long long total = 0;
  for (const FolderNode& node : state.folder_nodes) {
    if (!session.window().IsTreeItemChecked(node.TickItem())) continue;
    total += static_cast<long long>(state.store->Messages(node.folder_nid).size());
  }
  return total;
}

// Per item: a stop signal caught while the worker was not yet looking is made to count, and
// on a terminal the progress bar is brought up to date.
void WatchProgress(ConsoleWindow& window, const StopSignals& signals,
                   std::shared_ptr<ProgressDisplay> display) {
  window.set_progress_observer([display, &signals](const ConsoleWindow::ProgressChange& change) {
    signals.Reassert();
    if (!display) return;
    if (change.new_range) {
      display->OnRange(change.maximum);
    } else {
      display->OnPosition(change.position);
    }
  });
}

void PrintSummary(const ConversionReport& report, int stop_signal) {
  std::printf("Destination: %s\n", VisibleText(report.DestinationRoot()).c_str());
  for (const auto& [kind, count] : report.WrittenByKind()) {
    std::printf("written  %-12s %d\n", VisibleText(kind).c_str(), count);
  }
  for (const auto& [message_class, count] : report.SkippedByClass()) {
    std::printf("skipped  %-30s %d\n", VisibleText(message_class).c_str(), count);
  }
  for (const auto& failure : report.Failures()) {
    std::printf("FAILED   %s: %s\n", VisibleText(failure.item).c_str(),
                VisibleText(failure.reason).c_str());
  }
  if (stop_signal != 0) {
    std::printf("STOPPED  by %s: the items named above as stopped were not converted\n",
                SignalName(stop_signal));
  }
}

void PrintJsonReport(const ConversionReport& report, int stop_signal, int exit_status) {
  std::printf("{\"destination\": %s,\n \"written\": {",
              JsonString(ToUtf8(report.DestinationRoot())).c_str());
  const char* separator = "";
  for (const auto& [kind, count] : report.WrittenByKind()) {
    std::printf("%s%s: %d", separator, JsonString(ToUtf8(kind)).c_str(), count);
    separator = ", ";
  }
  std::printf("},\n \"skipped\": {");
  separator = "";
  for (const auto& [message_class, count] : report.SkippedByClass()) {
    std::printf("%s%s: %d", separator, JsonString(ToUtf8(message_class)).c_str(), count);
    separator = ", ";
  }
  std::printf("},\n \"failed\": [");
  separator = "";
  for (const auto& failure : report.Failures()) {
    // A failure also says where its files belong: the target folder, and the item's number
    // there when it is one item's.
    std::string place;
    if (!failure.folder.empty()) place = ", \"folder\": " + JsonString(ToUtf8(failure.folder));
    if (failure.number > 0) place += ", \"number\": " + std::to_string(failure.number);
    std::printf("%s\n  {\"item\": %s, \"reason\": %s%s}", separator,
                JsonString(ToUtf8(failure.item)).c_str(),
                JsonString(ToUtf8(failure.reason)).c_str(), place.c_str());
    separator = ",";
  }
  std::printf("%s],\n \"stopped_by\": %s,\n \"exit_status\": %d}\n",
              report.Failures().empty() ? "" : "\n",
              stop_signal != 0 ? JsonString(SignalName(stop_signal)).c_str() : "null", exit_status);
}

int ExitStatus(const ConversionReport& report, int stop_signal) {
  if (stop_signal != 0) return kExitSignalBase + stop_signal;
  return report.Failures().empty() ? kExitDone : kExitSomeNotWritten;
}

int RunConvert(const ConvertOptions& options) {
  const std::optional<OutputFormat> format = OutputFormatNamed(options.format);
  if (!format) {
    // A malformed argument, like any other usage error: nothing is read or written.
    std::fprintf(stderr, "brindlemoor-cli: unknown --format '%s' (msg or eml)\n",
                 VisibleUtf8(options.format).c_str());
    return kExitUsage;
  }
  StoreSession session;
  AppState& state = session.state();
  state.output_format = *format;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return kExitNotStarted;
  if (state.folder_nodes.empty()) {
    std::fprintf(stderr, "brindlemoor-cli: the store has no folders to convert\n");
    return kExitNotStarted;
  }
  if (!TickFolders(session, options.folders)) return kExitNotStarted;
  state.conversion_jobs = options.jobs;

  // Until here a signal ends the run at once: nothing was written outside the temp folder.
  // From here on it stops the run cleanly.
  const StopSignals signals(state.stop_flag);
  session.window().set_browse_answer(
      FromPath(std::filesystem::absolute(std::filesystem::path(options.destination))));
  std::u16string destination;
  if (!ConvertCommand(state, destination)) return kExitNotStarted;

  // Only a person at a terminal sees the bar: a log or a pipe gets the report alone.
  std::shared_ptr<ProgressDisplay> display;
  if (::isatty(STDERR_FILENO) != 0) {
    display = std::make_shared<ProgressDisplay>(stderr, TickedMessageCount(session),
                                                TerminalColumns(STDERR_FILENO));
  }
  WatchProgress(session.window(), signals, display);
  if (display) session.window().set_before_report([display] { display->MakeRoomForText(); });
  RunConversionWorker(state, destination);
  session.window().set_progress_observer(nullptr);  // it refers to `signals`
  session.window().set_before_report(nullptr);

  const int stop_signal = signals.Caught();
  if (display) display->Finish(stop_signal == 0);
  const int exit_status = ExitStatus(state.report, stop_signal);
  if (options.json) {
    PrintJsonReport(state.report, stop_signal, exit_status);
  } else {
    PrintSummary(state.report, stop_signal);
  }
  std::fflush(stdout);
  return exit_status;
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* convert = app.add_subcommand(
      "convert",
      "Convert folders of a PST file into a new directory tree under DEST: e-mails (and every "
      "other class without a text file) become .msg files, or .eml files with --format eml; "
      "contacts, appointments, tasks and notes UTF-16 text files. When standard error is "
      "a terminal, a progress bar there shows the items done, the rate and the time left. "
      "Ctrl+C (or SIGTERM, SIGHUP) stops every worker after its current item and still prints the "
      "summary, naming the items not written. "
      "Exit status: 0 all written, 2 some items not written, 1 the run could not start, 128+N "
      "stopped by signal N (130 Ctrl+C).");
  AddPstArgument(*convert, options->pst, "The PST file to convert");
  convert
      ->add_option("DEST", options->destination,
                   "Directory under which the convertPSTFile<time> tree is made")
      ->required();
  convert->add_option("--folder", options->folders,
                      "A folder to convert, with everything below it, by its folder path "
                      "(\"/Top of Personal Folders/Inbox\") or tree position; repeatable; "
                      "default: every folder");
  convert->add_option("--format", options->format,
                      "What e-mails become: msg (Outlook MSG files, copies of the stored "
                      "messages; the default) or eml (internet message files composed from "
                      "them, with their attachments)");
  AddTempOption(*convert, options->temp);
  convert
      ->add_option("--jobs", options->jobs,
                   "Items written at once, each by a worker of its own; the output is the same "
                   "whatever the number. Default: one per core")
      ->check(CLI::Range(1u, 256u));
  AddJsonFlag(*convert, options->json,
              "Print the final report as a JSON object (destination, written, skipped, failed "
              "(each with item and reason, and an item's target folder and number), stopped_by, "
              "exit_status) instead of the summary");
  convert->callback([options, &exit_status] { exit_status = RunConvert(*options); });
}

}  // namespace bm::cli
