// brindlemoor-readfloor: reads everything a conversion reads from a store and writes nothing.
//
// Every property of every record set, the three bodies, the recipients and every attachment's
// data (embedded messages recursively) of every message, in the order the conversion visits
// them. Its time is the floor that libpff sets; the conversion's time over it is what
// composing and writing the output costs.
//
//   brindlemoor-readfloor STORE.pst [--folder /Top of Personal Folders/Inbox] [--dump]
//
// Prints one JSON object: messages, attachments, properties, bytes read, and the seconds the
// opening of the store and the reading took. With --dump
// it first prints one JSON line per message with what the store holds (subject, sender,
// recipients, attachments, the start of the plain text), which the benchmark's fidelity check
// compares the converters' output with.
#include <libpff.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "bench/pff_handles.h"

namespace {

using bm::pff::Error;
using bm::pff::Item;

// libpff's decoding of 8-bit strings depends on the code page; the conversion uses 1252.
constexpr int kAsciiCodepage = 1252;
constexpr std::size_t kChunk = 1 << 16;

struct Tally {
  std::uint64_t messages = 0;
  std::uint64_t attachments = 0;
  std::uint64_t properties = 0;
  std::uint64_t bytes = 0;
};

class FloorReader {
 public:
  void ReadMessage(libpff_item_t* message, int depth = 0);
  const Tally& tally() const { return tally_; }

 private:
  void ReadRecordSets(libpff_item_t* item);
  void ReadBodies(libpff_item_t* message);
  void ReadRecipients(libpff_item_t* message);
  void ReadAttachments(libpff_item_t* message, int depth);
  void ReadAttachmentData(libpff_item_t* attachment);

  // One buffer reused for every value, as a reader that keeps nothing would.
  std::vector<std::uint8_t> buffer_;
  Tally tally_;
};

void FloorReader::ReadRecordSets(libpff_item_t* item) {
  Error error;
  int sets = 0;
  if (libpff_item_get_number_of_record_sets(item, &sets, error.out()) != 1) return;
  for (int s = 0; s < sets; ++s) {
    libpff_record_set_t* raw_set = nullptr;
    if (libpff_item_get_record_set_by_index(item, s, &raw_set, error.out()) != 1) continue;
    const bm::pff::RecordSet set(raw_set);
    int entries = 0;
    if (libpff_record_set_get_number_of_entries(set.get(), &entries, error.out()) != 1) continue;
    for (int e = 0; e < entries; ++e) {
      libpff_record_entry_t* raw_entry = nullptr;
      if (libpff_record_set_get_entry_by_index(set.get(), e, &raw_entry, error.out()) != 1) {
        continue;
      }
      const bm::pff::RecordEntry entry(raw_entry);
      std::size_t size = 0;
      if (libpff_record_entry_get_data_size(entry.get(), &size, error.out()) != 1) continue;
      ++tally_.properties;
      if (size == 0) continue;
      if (buffer_.size() < size) buffer_.resize(size);
      if (libpff_record_entry_get_data(entry.get(), buffer_.data(), size, error.out()) == 1) {
        tally_.bytes += size;
      }
    }
  }
}

void FloorReader::ReadBodies(libpff_item_t* message) {
  using SizeCall = int (*)(libpff_item_t*, std::size_t*, libpff_error_t**);
  using ReadCall = int (*)(libpff_item_t*, std::uint8_t*, std::size_t, libpff_error_t**);
  struct Body {
    SizeCall size;
    ReadCall read;
  };
  static constexpr Body kBodies[] = {
      {libpff_message_get_html_body_size, libpff_message_get_html_body},
      {libpff_message_get_rtf_body_size, libpff_message_get_rtf_body},
      {libpff_message_get_plain_text_body_size, libpff_message_get_plain_text_body},
  };
  for (const Body& body : kBodies) {
    Error error;
    std::size_t size = 0;
    if (body.size(message, &size, error.out()) != 1 || size == 0) continue;
    if (buffer_.size() < size) buffer_.resize(size);
    if (body.read(message, buffer_.data(), size, error.out()) == 1) tally_.bytes += size;
  }
}

void FloorReader::ReadRecipients(libpff_item_t* message) {
  Error error;
  libpff_item_t* raw = nullptr;
  if (libpff_message_get_recipients(message, &raw, error.out()) != 1) return;
  const Item recipients(raw);
  ReadRecordSets(recipients.get());
}

void FloorReader::ReadAttachmentData(libpff_item_t* attachment) {
  Error error;
  size64_t size = 0;
  if (libpff_attachment_get_data_size(attachment, &size, error.out()) != 1 || size == 0) return;
  if (buffer_.size() < kChunk) buffer_.resize(kChunk);
  for (;;) {
    const ssize_t read =
        libpff_attachment_data_read_buffer(attachment, buffer_.data(), kChunk, error.out());
    if (read <= 0) break;
    tally_.bytes += static_cast<std::uint64_t>(read);
  }
}

void FloorReader::ReadAttachments(libpff_item_t* message, int depth) {
  Error error;
  int count = 0;
  if (libpff_message_get_number_of_attachments(message, &count, error.out()) != 1) return;
  for (int a = 0; a < count; ++a) {
    libpff_item_t* raw = nullptr;
    if (libpff_message_get_attachment(message, a, &raw, error.out()) != 1) continue;
    const Item attachment(raw);
    ++tally_.attachments;
    ReadRecordSets(attachment.get());
    int type = 0;
    if (libpff_attachment_get_type(attachment.get(), &type, error.out()) != 1) continue;
    if (type == LIBPFF_ATTACHMENT_TYPE_DATA) {
      ReadAttachmentData(attachment.get());
    } else if (type == LIBPFF_ATTACHMENT_TYPE_ITEM && depth < 8) {
      libpff_item_t* raw_embedded = nullptr;
      if (libpff_attachment_get_item(attachment.get(), &raw_embedded, error.out()) == 1) {
        const Item embedded(raw_embedded);
        ReadMessage(embedded.get(), depth + 1);
      }
    }
  }
}

void FloorReader::ReadMessage(libpff_item_t* message, int depth) {
  if (depth == 0) ++tally_.messages;
  ReadRecordSets(message);
  ReadBodies(message);
  ReadRecipients(message);
  ReadAttachments(message, depth);
}

// --- The store's own account of each message, for the fidelity check ----------------------

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  for (const char c : bm::ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::u16string Text(libpff_item_t* item, int record_set, std::uint32_t property_id) {
  const bm::pff::RecordEntry entry = bm::pff::FindEntry(item, record_set, property_id);
  if (!entry) return {};
  return bm::pff::ReadUtf16(entry.get()).value_or(std::u16string());
}

std::string RecipientsJson(libpff_item_t* message) {
  Error error;
  libpff_item_t* raw = nullptr;
  if (libpff_message_get_recipients(message, &raw, error.out()) != 1) return "[]";
  const Item recipients(raw);
  int sets = 0;
  libpff_item_get_number_of_record_sets(recipients.get(), &sets, error.out());
  std::string json = "[";
  for (int s = 0; s < sets; ++s) {
    const bm::pff::RecordEntry type = bm::pff::FindEntry(recipients.get(), s, 0x0C15);
    json += std::string(s == 0 ? "" : ", ") +
            "{\"name\": " + JsonString(Text(recipients.get(), s, 0x3001)) +
            ", \"address\": " + JsonString(Text(recipients.get(), s, 0x3003)) +
            ", \"type\": " + std::to_string(type ? bm::pff::ReadInt32(type.get()).value_or(0) : 0) +
            "}";
  }
  return json + "]";
}

std::string AttachmentsJson(libpff_item_t* message) {
  Error error;
  int count = 0;
  libpff_message_get_number_of_attachments(message, &count, error.out());
  std::string json = "[";
  for (int a = 0; a < count; ++a) {
    libpff_item_t* raw = nullptr;
    if (libpff_message_get_attachment(message, a, &raw, error.out()) != 1) continue;
    const Item attachment(raw);
    int type = 0;
    libpff_attachment_get_type(attachment.get(), &type, error.out());
    size64_t size = 0;
    if (type == LIBPFF_ATTACHMENT_TYPE_DATA) {
      libpff_attachment_get_data_size(attachment.get(), &size, error.out());
    }
    std::u16string name = Text(attachment.get(), 0, 0x3707);
    if (name.empty()) name = Text(attachment.get(), 0, 0x3704);
    json += std::string(a == 0 ? "" : ", ") + "{\"name\": " + JsonString(name) +
            ", \"size\": " + std::to_string(size) +
            ", \"embedded\": " + (type == LIBPFF_ATTACHMENT_TYPE_ITEM ? "true" : "false") + "}";
  }
  return json + "]";
}

std::u16string PlainTextStart(libpff_item_t* message) {
  constexpr std::size_t kStart = 200;
  Error error;
  std::size_t size = 0;
  if (libpff_message_get_plain_text_body_size(message, &size, error.out()) != 1 || size == 0) {
    return {};
  }
  std::vector<std::uint8_t> body(size);
  if (libpff_message_get_plain_text_body(message, body.data(), size, error.out()) != 1) return {};
  std::string text(body.begin(), body.end() - 1);
  return bm::FromUtf8(text).substr(0, kStart);
}

void DumpMessage(libpff_item_t* message, const std::string& folder) {
  std::printf(
      "{\"folder\": %s, \"subject\": %s, \"sender_name\": %s, \"sender_address\": %s, "
      "\"recipients\": %s, \"attachments\": %s, \"plain_text\": %s}\n",
      JsonString(bm::FromUtf8(folder)).c_str(), JsonString(Text(message, 0, 0x0037)).c_str(),
      JsonString(Text(message, 0, 0x0C1A)).c_str(), JsonString(Text(message, 0, 0x0C1F)).c_str(),
      RecipientsJson(message).c_str(), AttachmentsJson(message).c_str(),
      JsonString(PlainTextStart(message)).c_str());
}

// --- Walking the store ------------------------------------------------------------------------

struct WalkOptions {
  bool recurse = true;
  bool dump = false;
};

std::u16string DisplayName(libpff_item_t* folder) {
  return bm::pff::Utf16Property(folder, 0x3001).value_or(std::u16string());
}

// Reads every message of `folder` (whose path is `path`), then of its sub-folders.
void ReadFolder(FloorReader& reader, libpff_item_t* folder, const std::string& path,
                const WalkOptions& options) {
  Error error;
  int messages = 0;
  if (libpff_folder_get_number_of_sub_messages(folder, &messages, error.out()) == 1) {
    for (int m = 0; m < messages; ++m) {
      libpff_item_t* raw = nullptr;
      if (libpff_folder_get_sub_message(folder, m, &raw, error.out()) != 1) break;
      const Item message(raw);
      reader.ReadMessage(message.get());
      if (options.dump) DumpMessage(message.get(), path);
    }
  }
  if (!options.recurse) return;
  int folders = 0;
  if (libpff_folder_get_number_of_sub_folders(folder, &folders, error.out()) != 1) return;
  for (int f = 0; f < folders; ++f) {
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_folder(folder, f, &raw, error.out()) != 1) break;
    const Item sub_folder(raw);
    const std::string sub_path = path + "/" + bm::ToUtf8(DisplayName(sub_folder.get()));
    ReadFolder(reader, sub_folder.get(), sub_path, options);
  }
}

// The sub-folder of `folder` reached by the '/'-separated display names in `path`.
Item FindFolder(libpff_item_t* folder, std::string_view path) {
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  const std::size_t slash = path.find('/');
  const std::string_view name = path.substr(0, slash);
  Error error;
  int folders = 0;
  if (libpff_folder_get_number_of_sub_folders(folder, &folders, error.out()) != 1) return nullptr;
  for (int f = 0; f < folders; ++f) {
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_folder(folder, f, &raw, error.out()) != 1) return nullptr;
    Item sub_folder(raw);
    if (bm::ToUtf8(DisplayName(sub_folder.get())) != name) continue;
    if (slash == std::string_view::npos) return sub_folder;
    return FindFolder(sub_folder.get(), path.substr(slash + 1));
  }
  return nullptr;
}

bm::pff::File OpenStore(const std::string& path) {
  Error error;
  libpff_file_t* raw = nullptr;
  if (libpff_file_initialize(&raw, error.out()) != 1) return nullptr;
  bm::pff::File file(raw);
  if (libpff_file_set_ascii_codepage(file.get(), kAsciiCodepage, error.out()) != 1 ||
      libpff_file_open(file.get(), path.c_str(), LIBPFF_OPEN_READ, error.out()) != 1) {
    std::fprintf(stderr, "brindlemoor-readfloor: cannot open %s: %s\n", path.c_str(),
                 error.Message().c_str());
    return nullptr;
  }
  return file;
}

int Usage() {
  std::fprintf(stderr, "Usage: brindlemoor-readfloor STORE.pst [--folder PATH] [--dump]\n");
  return 2;
}

struct Arguments {
  std::string store;
  std::optional<std::string> folder_path;
  WalkOptions walk;
};

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--dump") {
      arguments.walk.dump = true;
    } else if (arg == "--folder" && i + 1 < argc) {
      arguments.folder_path = argv[++i];
    } else if (arguments.store.empty() && !arg.starts_with("--")) {
      arguments.store = arg;
    } else {
      return std::nullopt;
    }
  }
  if (arguments.store.empty()) return std::nullopt;
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> arguments = Parse(argc, argv);
  if (!arguments) return Usage();
  const auto start = std::chrono::steady_clock::now();
  const bm::pff::File file = OpenStore(arguments->store);
  // libpff builds its whole item tree while opening; that part is timed on its own.
  const auto opened = std::chrono::steady_clock::now();
  if (!file) return 1;
  Error error;
  libpff_item_t* raw_root = nullptr;
  if (libpff_file_get_root_folder(file.get(), &raw_root, error.out()) != 1) {
    std::fprintf(stderr, "brindlemoor-readfloor: no root folder in %s\n", arguments->store.c_str());
    return 1;
  }
  const Item root(raw_root);
  FloorReader reader;
  WalkOptions walk = arguments->walk;
  if (const auto& path = arguments->folder_path) {
    const Item folder = FindFolder(root.get(), *path);
    if (!folder) {
      std::fprintf(stderr, "brindlemoor-readfloor: no folder %s\n", path->c_str());
      return 1;
    }
    walk.recurse = walk.dump;  // a dump covers the sub-folders, a timing the folder alone
    ReadFolder(reader, folder.get(), *path, walk);
  } else {
    ReadFolder(reader, root.get(), "", walk);
  }
  const auto end = std::chrono::steady_clock::now();
  const Tally& tally = reader.tally();
  std::printf(
      "{\"messages\": %llu, \"attachments\": %llu, \"properties\": %llu, \"bytes\": %llu, "
      "\"open_seconds\": %.6f, \"read_seconds\": %.6f}\n",
      static_cast<unsigned long long>(tally.messages),
      static_cast<unsigned long long>(tally.attachments),
      static_cast<unsigned long long>(tally.properties),
      static_cast<unsigned long long>(tally.bytes),
      std::chrono::duration<double>(opened - start).count(),
      std::chrono::duration<double>(end - opened).count());
  return 0;
}
