// brindlemoor-bench-load: times the scan of a store and the preview load of one of its folders
// through the same path the desktop takes on a tree selection, with the console window.
//
//   brindlemoor-bench-load STORE.pst [FOLDER] [--temp DIR] [--workers N] [--first-rows N]
//
// FOLDER is a folder path ("/Top of Personal Folders/Inbox") or tree position; without it only
// the scan is timed. --workers N lists with N threads (default: one per core); --first-rows N
// (default 100) times how long the first N rows take to reach the window. Prints one JSON
// object: folders, scan_seconds, rows, load_seconds, workers, first_rows, first_rows_seconds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/store_session.h"
#include "engine/folder_load.h"

namespace {

struct Options {
  std::string pst;
  std::string folder;
  std::string temp;
  unsigned workers = 0;
  std::size_t first_rows = 100;
};

bool ParseCount(const char* text, std::size_t& count) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0') return false;
  count = static_cast<std::size_t>(value);
  return true;
}

bool Parse(int argc, char** argv, Options& options) {
  std::vector<std::string_view> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--temp") {
      if (i + 1 >= argc) return false;
      options.temp = argv[++i];
    } else if (arg == "--workers" || arg == "--first-rows") {
      std::size_t count = 0;
      if (i + 1 >= argc || !ParseCount(argv[++i], count)) return false;
      if (arg == "--workers") {
        options.workers = static_cast<unsigned>(count);
      } else {
        options.first_rows = count;
      }
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty() || positional.size() > 2) return false;
  options.pst = positional[0];
  if (positional.size() == 2) options.folder = positional[1];
  return true;
}

template <typename Work>
double SecondsOf(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "Usage: brindlemoor-bench-load STORE.pst [FOLDER] [--temp DIR] [--workers N] "
                 "[--first-rows N]\n");
    return 2;
  }
  bm::cli::StoreSession session;
  bool scanned = false;
  const double scan_seconds =
      SecondsOf([&] { scanned = session.Scan(options.pst, options.temp).ok(); });
  if (!scanned) {
    std::fprintf(stderr, "brindlemoor-bench-load: scan of %s failed\n", options.pst.c_str());
    return 1;
  }
  const std::size_t folders = session.state().folder_nodes.size();
  std::size_t rows = 0;
  double load_seconds = 0;
  double first_rows_seconds = 0;
  if (!options.folder.empty()) {
    std::string error;
    const bm::FolderNode* node = session.FindFolder(options.folder, error);
    if (node == nullptr) {
      std::fprintf(stderr, "brindlemoor-bench-load: %s\n", error.c_str());
      return 1;
    }
    // The consumer moves the progress back to 0 after each item's row: the moment to count.
    std::chrono::steady_clock::time_point start;
    bool reached = options.first_rows == 0;
    session.window().set_progress_observer(
        [&](const bm::cli::ConsoleWindow::ProgressChange& change) {
          if (reached || change.new_range || change.position != 0) return;
          if (session.window().Rows().size() < options.first_rows) return;
          reached = true;
          first_rows_seconds =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
    load_seconds = SecondsOf([&] {
      start = std::chrono::steady_clock::now();
      (void)bm::RunFolderLoad(session.state(), node->tree_item,
                              bm::FolderLoadOptions{.workers = options.workers});
    });
    session.window().set_progress_observer(nullptr);
    if (!reached) first_rows_seconds = load_seconds;
    rows = session.window().Rows().size();
  }
  std::printf(
      "{\"folders\": %zu, \"scan_seconds\": %.6f, \"rows\": %zu, \"load_seconds\": %.6f, "
      "\"workers\": %u, \"first_rows\": %zu, \"first_rows_seconds\": %.6f}\n",
      folders, scan_seconds, rows, load_seconds, options.workers, options.first_rows,
      first_rows_seconds);
  return 0;
}
