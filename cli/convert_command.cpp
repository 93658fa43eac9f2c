// brindlemoor-cli convert: scan, tick folders, and run the Convert command and its worker.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/store_session.h"
#include "convert/convert_command.h"

namespace bm::cli {

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitNotStarted = 1;
constexpr int kExitSomeFailed = 2;
constexpr int kExitStopped = 130;

struct ConvertOptions {
  std::string pst;
  std::string destination;
  std::vector<std::string> folders;
  std::string temp;
};

// A signal handler can reach nothing but a global; it only sets the run's stop flag.
std::atomic<int>* g_stop_flag = nullptr;

extern "C" void OnInterrupt(int) {
  if (g_stop_flag != nullptr) g_stop_flag->store(1);
}

class InterruptStops {
 public:
  explicit InterruptStops(std::atomic<int>& stop_flag) {
    g_stop_flag = &stop_flag;
    previous_ = std::signal(SIGINT, OnInterrupt);
  }
  ~InterruptStops() {
    std::signal(SIGINT, previous_);
    g_stop_flag = nullptr;
  }
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;

 private:
  void (*previous_)(int) = SIG_DFL;
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

// A one-line progress display on a terminal: the item within its folder, items done, rate.
void ShowProgress(ConsoleWindow& window) {
  struct Progress {
    long long items = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  };
  auto progress = std::make_shared<Progress>();
  window.set_progress_observer([progress](int maximum, int position) {
    // The bar goes to each item's index before it is written and back to 0 after it.
    if (position > 0) ++progress->items;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - progress->start).count();
    std::fprintf(stderr, "\r  item %d of %d in this folder, %lld done, %.1f items/s   ",
                 position + 1, maximum, progress->items,
                 seconds > 0 ? static_cast<double>(progress->items) / seconds : 0.0);
  });
}

void PrintSummary(const AppState& state) {
  const ConversionReport& report = state.report;
  std::printf("Destination: %s\n", ToUtf8(report.DestinationRoot()).c_str());
  for (const auto& [kind, count] : report.WrittenByKind()) {
    std::printf("written  %-12s %d\n", ToUtf8(kind).c_str(), count);
  }
  for (const auto& [message_class, count] : report.SkippedByClass()) {
    std::printf("skipped  %-30s %d\n", ToUtf8(message_class).c_str(), count);
  }
  for (const auto& failure : report.Failures()) {
    std::printf("FAILED   %s: %s\n", ToUtf8(failure.item).c_str(), ToUtf8(failure.reason).c_str());
  }
}

int RunConvert(const ConvertOptions& options) {
  StoreSession session;
  if (!session.ScanOrSayWhy(options.pst, options.temp)) return kExitNotStarted;
  if (!TickFolders(session, options.folders)) return kExitNotStarted;

  AppState& state = session.state();
  session.window().set_browse_answer(
      FromPath(std::filesystem::absolute(std::filesystem::path(options.destination))));
  std::u16string destination;
  if (!ConvertCommand(state, destination)) return kExitNotStarted;

  const InterruptStops interrupt(state.stop_flag);
  if (::isatty(STDERR_FILENO)) ShowProgress(session.window());
  RunConversionWorker(state, destination);
  if (::isatty(STDERR_FILENO)) std::fputs("\n", stderr);

  PrintSummary(state);
  if (state.stop_flag.load() == 1) return kExitStopped;
  return state.report.Failures().empty() ? kExitConverted : kExitSomeFailed;
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* convert = app.add_subcommand(
      "convert",
      "Convert folders of a PST file into a new directory tree under DEST: e-mails become .msg "
      "files, contacts, appointments, tasks and notes UTF-16 text files. Ctrl+C stops after the "
      "current item. Exit status: 0 all written, 2 some items failed, 1 the run could not "
      "start, 130 stopped.");
  AddPstArgument(*convert, options->pst, "The PST file to convert");
  convert
      ->add_option("DEST", options->destination,
                   "Directory under which the convertPSTFile<time> tree is made")
      ->required();
  convert->add_option("--folder", options->folders,
                      "A folder to convert, with everything below it, by its folder path "
                      "(\"/Top of Personal Folders/Inbox\") or tree position; repeatable; "
                      "default: every folder");
  AddTempOption(*convert, options->temp);
  convert->callback([options, &exit_status] { exit_status = RunConvert(*options); });
}

}  // namespace bm::cli
