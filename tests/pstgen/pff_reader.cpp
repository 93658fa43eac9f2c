#include "pstgen/pff_reader.h"

#include "base/text.h"

#include <libpff.h>

#include <array>
#include <stdexcept>

namespace pstgen::test {
namespace {

struct ErrorDeleter {
  void operator()(libpff_error_t* error) const { libpff_error_free(&error); }
};
using ErrorPtr = std::unique_ptr<libpff_error_t, ErrorDeleter>;

// Collects a libpff error into an exception.
class ErrorSlot {
 public:
  libpff_error_t** get() { return &raw_; }
  ~ErrorSlot() { ErrorPtr owned(raw_); }
  [[noreturn]] void Throw(const char* what) {
    std::array<char, 2048> text{};
    if (raw_ != nullptr) libpff_error_sprint(raw_, text.data(), text.size());
    throw std::runtime_error(std::string(what) + ": " + text.data());
  }

 private:
  libpff_error_t* raw_ = nullptr;
};

struct FileDeleter {
  void operator()(libpff_file_t* file) const {
    libpff_file_close(file, nullptr);
    libpff_file_free(&file, nullptr);
  }
};
struct ItemDeleter {
  void operator()(libpff_item_t* item) const { libpff_item_free(&item, nullptr); }
};
struct RecordSetDeleter {
  void operator()(libpff_record_set_t* set) const { libpff_record_set_free(&set, nullptr); }
};
struct RecordEntryDeleter {
  void operator()(libpff_record_entry_t* entry) const { libpff_record_entry_free(&entry, nullptr); }
};
using Item = std::unique_ptr<libpff_item_t, ItemDeleter>;
using RecordSet = std::unique_ptr<libpff_record_set_t, RecordSetDeleter>;
using RecordEntry = std::unique_ptr<libpff_record_entry_t, RecordEntryDeleter>;

std::map<std::uint32_t, PffProperty> ReadRecordSet(libpff_record_set_t* set) {
  std::map<std::uint32_t, PffProperty> properties;
  ErrorSlot error;
  int count = 0;
  if (libpff_record_set_get_number_of_entries(set, &count, error.get()) != 1)
    error.Throw("entries");
  for (int i = 0; i < count; ++i) {
    libpff_record_entry_t* raw = nullptr;
    if (libpff_record_set_get_entry_by_index(set, i, &raw, error.get()) != 1) error.Throw("entry");
    RecordEntry entry(raw);
    std::uint32_t entry_type = 0;
    PffProperty property;
    libpff_record_entry_get_entry_type(entry.get(), &entry_type, nullptr);
    libpff_record_entry_get_value_type(entry.get(), &property.value_type, nullptr);
    std::size_t size = 0;
    if (libpff_record_entry_get_data_size(entry.get(), &size, nullptr) == 1 && size > 0) {
      property.data.resize(size);
      libpff_record_entry_get_data(entry.get(), property.data.data(), size, nullptr);
    }
    libpff_name_to_id_map_entry_t* name = nullptr;
    if (libpff_record_entry_get_name_to_id_map_entry(entry.get(), &name, nullptr) == 1 && name) {
      std::vector<std::uint8_t> guid(16);
      if (libpff_name_to_id_map_entry_get_guid(name, guid.data(), guid.size(), nullptr) == 1) {
        property.guid = guid;
      }
      std::uint32_t number = 0;
      if (libpff_name_to_id_map_entry_get_number(name, &number, nullptr) == 1)
        property.lid = number;
    }
    properties[entry_type] = std::move(property);
  }
  return properties;
}

std::map<std::uint32_t, PffProperty> ReadProperties(libpff_item_t* item, int set_index = 0) {
  ErrorSlot error;
  libpff_record_set_t* raw = nullptr;
  if (libpff_item_get_record_set_by_index(item, set_index, &raw, error.get()) != 1) {
    error.Throw("record set");
  }
  return ReadRecordSet(RecordSet(raw).get());
}

std::optional<std::u16string> Utf16Entry(const std::map<std::uint32_t, PffProperty>& properties,
                                         std::uint32_t entry_type) {
  const auto it = properties.find(entry_type);
  if (it == properties.end()) return std::nullopt;
  return Utf16Of(it->second);
}

using BodyGetter = int (*)(libpff_item_t*, std::uint8_t*, std::size_t, libpff_error_t**);
using BodySizeGetter = int (*)(libpff_item_t*, std::size_t*, libpff_error_t**);

std::optional<std::string> ReadBody(libpff_item_t* message, BodySizeGetter size_of,
                                    BodyGetter get) {
  ErrorSlot error;
  std::size_t size = 0;
  const int result = size_of(message, &size, error.get());
  if (result == -1) error.Throw("body size");
  if (result == 0) return std::nullopt;
  std::string body(size, '\0');
  if (get(message, reinterpret_cast<std::uint8_t*>(body.data()), size, error.get()) != 1) {
    error.Throw("body");
  }
  while (!body.empty() && body.back() == '\0') body.pop_back();
  return body;
}

PffMessage ReadMessage(libpff_item_t* item);

PffAttachment ReadAttachment(libpff_item_t* attachment) {
  ErrorSlot error;
  PffAttachment result;
  if (libpff_attachment_get_type(attachment, &result.type, error.get()) != 1)
    error.Throw("attachment type");
  result.properties = ReadProperties(attachment);
  result.long_filename = Utf16Entry(result.properties, 0x3707);
  if (result.type == LIBPFF_ATTACHMENT_TYPE_DATA) {
    size64_t size = 0;
    if (libpff_attachment_get_data_size(attachment, &size, error.get()) != 1)
      error.Throw("data size");
    result.data.resize(size);
    if (size > 0 && libpff_attachment_data_read_buffer(attachment, result.data.data(), size,
                                                       error.get()) != static_cast<ssize_t>(size)) {
      error.Throw("attachment data");
    }
  } else if (result.type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
    libpff_item_t* raw = nullptr;
    if (libpff_attachment_get_item(attachment, &raw, error.get()) != 1)
      error.Throw("embedded item");
    Item embedded(raw);
    result.embedded = std::make_shared<PffMessage>(ReadMessage(embedded.get()));
  }
  return result;
}

std::vector<PffRecipient> ReadRecipients(libpff_item_t* message) {
  ErrorSlot error;
  libpff_item_t* raw = nullptr;
  const int found = libpff_message_get_recipients(message, &raw, error.get());
  if (found == -1) error.Throw("recipients");
  std::vector<PffRecipient> recipients;
  if (found == 0) return recipients;
  Item table(raw);
  int sets = 0;
  if (libpff_item_get_number_of_record_sets(table.get(), &sets, error.get()) != 1)
    error.Throw("sets");
  for (int i = 0; i < sets; ++i) {
    PffRecipient recipient;
    recipient.properties = ReadProperties(table.get(), i);
    recipient.name = Utf16Entry(recipient.properties, 0x3001).value_or(u"");
    recipient.address = Utf16Entry(recipient.properties, 0x3003).value_or(u"");
    if (const auto it = recipient.properties.find(0x0C15); it != recipient.properties.end()) {
      recipient.type = static_cast<std::int32_t>(IntegerOf(it->second).value_or(-1));
    }
    recipients.push_back(std::move(recipient));
  }
  return recipients;
}

PffMessage ReadMessage(libpff_item_t* item) {
  ErrorSlot error;
  PffMessage message;
  message.properties = ReadProperties(item);
  message.message_class = Utf16Entry(message.properties, 0x001A).value_or(u"");
  message.subject = Utf16Entry(message.properties, 0x0037);
  message.plain_body =
      ReadBody(item, libpff_message_get_plain_text_body_size, libpff_message_get_plain_text_body);
  message.html_body =
      ReadBody(item, libpff_message_get_html_body_size, libpff_message_get_html_body);
  message.rtf_body = ReadBody(item, libpff_message_get_rtf_body_size, libpff_message_get_rtf_body);
  message.recipients = ReadRecipients(item);
  int count = 0;
  if (libpff_message_get_number_of_attachments(item, &count, error.get()) != 1)
    error.Throw("attachments");
  for (int i = 0; i < count; ++i) {
    libpff_item_t* raw = nullptr;
    if (libpff_message_get_attachment(item, i, &raw, error.get()) != 1) error.Throw("attachment");
    Item attachment(raw);
    message.attachments.push_back(ReadAttachment(attachment.get()));
  }
  return message;
}

PffFolder ReadFolder(libpff_item_t* folder, std::size_t message_limit) {
  ErrorSlot error;
  PffFolder result;
  const auto properties = ReadProperties(folder);
  result.name = Utf16Entry(properties, 0x3001).value_or(u"");
  result.container_class = Utf16Entry(properties, 0x3613);
  int count = 0;
  if (libpff_folder_get_number_of_sub_folders(folder, &count, error.get()) != 1)
    error.Throw("sub folders");
  for (int i = 0; i < count; ++i) {
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_folder(folder, i, &raw, error.get()) != 1) error.Throw("sub folder");
    Item child(raw);
    result.folders.push_back(ReadFolder(child.get(), message_limit));
  }
  if (libpff_folder_get_number_of_sub_messages(folder, &count, error.get()) != 1)
    error.Throw("messages");
  for (int i = 0; i < count; ++i) {
    libpff_item_t* raw = nullptr;
    if (libpff_folder_get_sub_message(folder, i, &raw, error.get()) != 1) error.Throw("message");
    Item message(raw);
    if (static_cast<std::size_t>(i) < message_limit) {
      result.messages.push_back(ReadMessage(message.get()));
    } else {
      PffMessage light;
      light.properties = ReadProperties(message.get());
      light.message_class = Utf16Entry(light.properties, 0x001A).value_or(u"");
      light.subject = Utf16Entry(light.properties, 0x0037);
      result.messages.push_back(std::move(light));
    }
  }
  if (libpff_folder_get_number_of_sub_associated_contents(folder, &result.associated_count,
                                                          nullptr) != 1) {
    result.associated_count = -1;  // libpff cannot tell (seen on real search folders)
  }
  return result;
}

}  // namespace

std::optional<std::u16string> Utf16Of(const PffProperty& property) {
  if (property.value_type == 0x001E) {  // 8-bit text, as ANSI stores hold it: Windows-1252
    std::string bytes(property.data.begin(), property.data.end());
    while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    return bm::FromUtf8(bm::Cp1252ToUtf8(bytes));
  }
  if (property.value_type != 0x001F) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < property.data.size(); i += 2) {
    text.push_back(static_cast<char16_t>(property.data[i] | property.data[i + 1] << 8));
  }
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::optional<std::int64_t> IntegerOf(const PffProperty& property) {
  const auto& d = property.data;
  switch (property.value_type) {
    case 0x0002:
      if (d.size() >= 2) return static_cast<std::int16_t>(d[0] | d[1] << 8);
      break;
    case 0x0003:
      if (d.size() >= 4)
        return static_cast<std::int32_t>(d[0] | d[1] << 8 | d[2] << 16 | std::uint32_t{d[3]} << 24);
      break;
    case 0x000B:
      if (!d.empty()) return d[0] != 0;
      break;
    case 0x0014:
    case 0x0040:
      if (d.size() >= 8) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | d[i];
        return static_cast<std::int64_t>(v);
      }
      break;
    default:
      break;
  }
  return std::nullopt;
}

PffStore ReadWithLibpff(const std::filesystem::path& path, std::size_t message_limit) {
  ErrorSlot error;
  libpff_file_t* raw_file = nullptr;
  if (libpff_file_initialize(&raw_file, error.get()) != 1) error.Throw("initialize");
  std::unique_ptr<libpff_file_t, FileDeleter> file(raw_file);
  if (libpff_file_open(file.get(), path.c_str(), LIBPFF_OPEN_READ, error.get()) != 1) {
    error.Throw("open");
  }
  PffStore store;
  store.corrupted = libpff_file_is_corrupted(file.get(), nullptr) == 1;
  std::uint8_t encryption = 0;
  libpff_file_get_encryption_type(file.get(), &encryption, nullptr);
  store.encryption_type = encryption;
  libpff_item_t* raw_root = nullptr;
  if (libpff_file_get_root_folder(file.get(), &raw_root, error.get()) != 1)
    error.Throw("root folder");
  Item root(raw_root);
  store.root = ReadFolder(root.get(), message_limit);
  return store;
}

}  // namespace pstgen::test
