// brindlemoor-bench-load: times the scan of a store and the preview load of one of its folders
// through the same path the desktop takes on a tree selection, with the console window.
//
//   brindlemoor-bench-load STORE.pst [FOLDER] [--temp DIR]
//
// FOLDER is a folder path ("/Top of Personal Folders/Inbox") or tree position; without it only
// the scan is timed. Prints one JSON object: folders, scan_seconds, rows, load_seconds.
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/store_session.h"
#include "engine/dispatch.h"

namespace {

struct Options {
  std::string pst;
  std::string folder;
  std::string temp;
};

bool Parse(int argc, char** argv, Options& options) {
  std::vector<std::string_view> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--temp") {
      if (i + 1 >= argc) return false;
      options.temp = argv[++i];
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
    std::fprintf(stderr, "Usage: brindlemoor-bench-load STORE.pst [FOLDER] [--temp DIR]\n");
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
  if (!options.folder.empty()) {
    std::string error;
    const bm::FolderNode* node = session.FindFolder(options.folder, error);
    if (node == nullptr) {
      std::fprintf(stderr, "brindlemoor-bench-load: %s\n", error.c_str());
      return 1;
    }
    load_seconds = SecondsOf([&] { (void)bm::RunFolderLoad(session.state(), node->tree_item); });
    rows = session.window().Rows().size();
  }
  std::printf("{\"folders\": %zu, \"scan_seconds\": %.6f, \"rows\": %zu, \"load_seconds\": %.6f}\n",
              folders, scan_seconds, rows, load_seconds);
  return 0;
}
