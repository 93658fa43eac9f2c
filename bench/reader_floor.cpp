// brindlemoor-readerfloor: the read floor of our own reader (pst/), beside brindlemoor-readfloor
// which measures libpff's. Reads every property of every message, its recipients and every
// attachment's data (embedded messages recursively), and writes nothing.
//
//   brindlemoor-readerfloor STORE.pst [--threads N] [--scan-only] [--rows] [--mmap]
//
// --rows reads only what a folder load shows of each message (its list-row properties).
// Prints one JSON object: messages, attachments, properties, bytes read, the seconds the
// opening (with the folder scan) and the reading took, and the peak resident memory. With
// --threads N the messages are split into N contiguous parts read at once from one store.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "pst/store.h"

namespace {

struct Tally {
  std::uint64_t messages = 0;
  std::uint64_t attachments = 0;
  std::uint64_t properties = 0;
  std::uint64_t bytes = 0;
  std::uint64_t errors = 0;
  void Add(const Tally& other) {
    messages += other.messages;
    attachments += other.attachments;
    properties += other.properties;
    bytes += other.bytes;
    errors += other.errors;
  }
};

class FloorReader {
 public:
  explicit FloorReader(const pst::Store& store) : store_(store), buffer_(1 << 16) {}

  void Read(pst::Nid nid, bool rows_only) {
    auto message = store_.OpenMessage(nid);
    if (!message) {
      ++tally_.errors;
      return;
    }
    if (rows_only) {
      ReadRow(*message);
    } else {
      ReadMessage(*message, 0);
    }
  }
  const Tally& tally() const { return tally_; }

 private:
  void ReadBag(const pst::PropertyBag& bag) {
    for (const pst::PropertyInfo& info : bag.properties()) {
      ++tally_.properties;
      auto raw = bag.Raw(info.id);
      if (raw) {
        tally_.bytes += raw->size();
      } else {
        ++tally_.errors;
      }
    }
  }

  // What a folder load shows of a message in its list row.
  void ReadRow(const pst::Message& message) {
    static constexpr std::uint16_t kRowProperties[] = {0x001A, 0x0037, 0x0C1A, 0x0E06,
                                                       0x0E07, 0x0E08, 0x0017, 0x3007};
    ++tally_.messages;
    for (const std::uint16_t id : kRowProperties) {
      if (!message.properties().Has(id)) continue;
      ++tally_.properties;
      if (auto raw = message.properties().Raw(id)) tally_.bytes += raw->size();
    }
  }

  void ReadStream(pst::Result<pst::ValueStream> stream) {
    if (!stream) {
      ++tally_.errors;
      return;
    }
    while (true) {
      auto n = stream->Read(buffer_);
      if (!n) {
        ++tally_.errors;
        return;
      }
      if (*n == 0) return;
      tally_.bytes += *n;
    }
  }

  void ReadMessage(const pst::Message& message, int depth) {
    ++tally_.messages;
    ReadBag(message.properties());
    auto recipients = message.Recipients();
    if (recipients) {
      for (const pst::PropertyBag& row : *recipients) ReadBag(row);
    } else {
      ++tally_.errors;
    }
    const std::size_t count = message.attachment_count();
    for (std::size_t i = 0; i < count; ++i) {
      auto attachment = message.OpenAttachment(i);
      if (!attachment) {
        ++tally_.errors;
        continue;
      }
      ++tally_.attachments;
      ReadBag(attachment->properties());
      if (attachment->method() == 5 && depth < 16) {
        auto embedded = attachment->OpenEmbeddedMessage();
        if (embedded) {
          ReadMessage(*embedded, depth + 1);
        } else {
          ++tally_.errors;
        }
      } else if (attachment->properties().Find(0x3701)) {
        ReadStream(attachment->method() == 6 ? attachment->OpenObjectData()
                                             : attachment->OpenData());
      }
    }
  }

  const pst::Store& store_;
  std::vector<std::uint8_t> buffer_;
  Tally tally_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: brindlemoor-readerfloor STORE.pst [--threads N] [--scan-only] [--rows] [--mmap]\n");
    return 2;
  }
  int threads = 1;
  bool scan_only = false;
  bool rows_only = false;
  pst::OpenOptions options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
      threads = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--scan-only") == 0) {
      scan_only = true;
    } else if (std::strcmp(argv[i], "--rows") == 0) {
      rows_only = true;
    } else if (std::strcmp(argv[i], "--mmap") == 0) {
      options.memory_map = true;  // mapped pages count in the resident size
    }
  }
  const auto open_start = std::chrono::steady_clock::now();
  auto store = pst::Store::Open(argv[1], options);
  if (!store) {
    std::fprintf(stderr, "%s\n", store.error().message().c_str());
    return 1;
  }
  // The scan: the folder tree, each folder's properties and its item list.
  std::vector<pst::Nid> messages;
  std::function<void(pst::Nid, int)> visit = [&](pst::Nid folder, int depth) {
    (void)store->OpenFolder(folder);
    for (const pst::Nid nid : store->Messages(folder)) messages.push_back(nid);
    if (depth < 1000) {
      for (const pst::Nid child : store->SubFolders(folder)) visit(child, depth + 1);
    }
  };
  visit(store->root_folder(), 0);
  const double open_seconds = Seconds(open_start);

  const auto read_start = std::chrono::steady_clock::now();
  Tally total;
  if (!scan_only) {
    std::vector<FloorReader> readers(static_cast<std::size_t>(threads), FloorReader(*store));
    std::vector<std::thread> workers;
    const std::size_t part = (messages.size() + threads - 1) / threads;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        const std::size_t begin = std::min(messages.size(), part * t);
        const std::size_t end = std::min(messages.size(), begin + part);
        for (std::size_t i = begin; i < end; ++i) readers[t].Read(messages[i], rows_only);
      });
    }
    for (std::thread& worker : workers) worker.join();
    for (const FloorReader& reader : readers) total.Add(reader.tally());
  }
  const double read_seconds = Seconds(read_start);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "{\"items\": %zu, \"messages\": %llu, \"attachments\": %llu, \"properties\": %llu, "
      "\"bytes\": %llu, \"errors\": %llu, \"threads\": %d, \"open_scan_seconds\": %.3f, "
      "\"read_seconds\": %.3f, \"peak_rss_mb\": %.1f}\n",
      messages.size(), static_cast<unsigned long long>(total.messages),
      static_cast<unsigned long long>(total.attachments),
      static_cast<unsigned long long>(total.properties),
      static_cast<unsigned long long>(total.bytes), static_cast<unsigned long long>(total.errors),
      threads, open_seconds, read_seconds, usage.ru_maxrss / 1024.0);
  return 0;
}
