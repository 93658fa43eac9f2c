// brindlemoor-msgcopy: copies every message of a store into MSG files, for the tests and the
// fidelity bench. Not part of the product.
//
//   brindlemoor-msgcopy STORE.pst OUT_DIR
//
// Writes OUT_DIR/<node id>.msg for each message; prints warnings and errors on stderr and a
// summary line (messages, failures, seconds) on stdout. Exit status 1 when any copy failed.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "msg/msg_copy.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: brindlemoor-msgcopy STORE.pst OUT_DIR\n", stderr);
    return 2;
  }
  const auto started = std::chrono::steady_clock::now();
  auto store = pst::Store::Open(argv[1]);
  if (!store) {
    std::fprintf(stderr, "%s\n", store.error().message().c_str());
    return 1;
  }
  const std::filesystem::path out = argv[2];
  bm::msg::CopyOptions options;
  options.warn = [](const std::string& text) {
    std::fprintf(stderr, "warning: %s\n", text.c_str());
  };
  std::size_t messages = 0, failures = 0;
  std::function<void(pst::Nid, int)> walk = [&](pst::Nid folder, int depth) {
    if (depth > 256) return;
    for (const pst::Nid nid : store->Messages(folder)) {
      ++messages;
      auto message = store->OpenMessage(nid);
      const bm::Status written =
          message ? bm::msg::WriteMsgCopy(*store, *message, out / (std::to_string(nid) + ".msg"),
                                          options)
                  : bm::Status(message.error());
      if (!written) {
        ++failures;
        std::fprintf(stderr, "error: message %u: %s\n", nid, written.error().message().c_str());
      }
    }
    for (const pst::Nid child : store->SubFolders(folder)) walk(child, depth + 1);
  };
  walk(store->root_folder(), 0);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
  std::printf("messages %zu failures %zu seconds %.3f\n", messages, failures, seconds.count());
  return failures == 0 ? 0 : 1;
}
