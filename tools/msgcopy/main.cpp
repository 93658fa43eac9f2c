// brindlemoor-msgcopy: copies every message of a store into MSG files, and lists property keys
// of stores and MSG files, for the tests and the fidelity bench. Not part of the product.
//
//   brindlemoor-msgcopy STORE.pst OUT_DIR      OUT_DIR/<node id>.msg for each message; a
//                                              summary line (messages, failures, seconds)
//   brindlemoor-msgcopy --stored-keys STORE.pst  one JSON line a message: nid, subject, keys
//   brindlemoor-msgcopy --msg-keys FILE.msg...   one JSON line a file: file, subject, keys
//
// Warnings and errors go to stderr; exit status 1 when anything failed, 2 on bad usage.
#include <gsf/gsf-utils.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "msg/msg_copy.h"
#include "tools/msgcopy/keys.h"

namespace {

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void PrintKeys(const std::string& field, const std::string& value, const bm::msgcopy::KeySet& set) {
  std::string line =
      "{" + Json(field) + ":" + value + ",\"subject\":" + Json(set.subject) + ",\"keys\":[";
  bool first = true;
  for (const std::string& key : set.keys) {
    if (!first) line += ",";
    line += Json(key);
    first = false;
  }
  std::puts((line + "]}").c_str());
}

// Calls `visit` with each message of the store, in folder order.
void ForEachMessage(const pst::Store& store, const std::function<void(pst::Nid)>& visit) {
  std::function<void(pst::Nid, int)> walk = [&](pst::Nid folder, int depth) {
    if (depth > 256) return;
    for (const pst::Nid nid : store.Messages(folder)) visit(nid);
    for (const pst::Nid child : store.SubFolders(folder)) walk(child, depth + 1);
  };
  walk(store.root_folder(), 0);
}

int Copy(const pst::Store& store, const std::filesystem::path& out) {
  const auto started = std::chrono::steady_clock::now();
  bm::msg::CopyOptions options;
  options.warn = [](const std::string& text) {
    std::fprintf(stderr, "warning: %s\n", text.c_str());
  };
  std::size_t messages = 0, failures = 0;
  ForEachMessage(store, [&](pst::Nid nid) {
    ++messages;
    auto message = store.OpenMessage(nid);
    const bm::Status written =
        message
            ? bm::msg::WriteMsgCopy(store, *message, out / (std::to_string(nid) + ".msg"), options)
            : bm::Status(message.error());
    if (!written) {
      ++failures;
      std::fprintf(stderr, "error: message %u: %s\n", nid, written.error().message().c_str());
    }
  });
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
  std::printf("messages %zu failures %zu seconds %.3f\n", messages, failures, seconds.count());
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view usage =
      "usage: brindlemoor-msgcopy STORE.pst OUT_DIR | --stored-keys STORE.pst | "
      "--msg-keys FILE.msg...\n";
  if (argc < 3) {
    std::fputs(usage.data(), stderr);
    return 2;
  }
  gsf_init();
  const std::string_view command = argv[1];
  if (command == "--msg-keys") {
    int status = 0;
    for (int i = 2; i < argc; ++i) {
      const auto set = bm::msgcopy::MsgKeys(argv[i]);
      if (!set) {
        std::fprintf(stderr, "error: %s is not a compound file\n", argv[i]);
        status = 1;
        continue;
      }
      PrintKeys("file", Json(argv[i]), *set);
    }
    return status;
  }
  if (argc != 3) {
    std::fputs(usage.data(), stderr);
    return 2;
  }
  const bool keys = command == "--stored-keys";
  auto store = pst::Store::Open(argv[keys ? 2 : 1]);
  if (!store) {
    std::fprintf(stderr, "error: %s\n", store.error().message().c_str());
    return 1;
  }
  if (!keys) return Copy(*store, argv[2]);
  int status = 0;
  ForEachMessage(*store, [&](pst::Nid nid) {
    auto message = store->OpenMessage(nid);
    if (!message) {
      std::fprintf(stderr, "error: message %u: %s\n", nid, message.error().message().c_str());
      status = 1;
      return;
    }
    PrintKeys("nid", std::to_string(nid), bm::msgcopy::StoredKeys(*store, *message));
  });
  return status;
}
