#include "msg_inspect.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

#include "base/text.h"
#include "support/test_support.h"

namespace bm::test {

namespace {

std::string ReadStream(GsfInput* input) {
  const auto size = static_cast<std::size_t>(gsf_input_size(input));
  std::string data(size, '\0');
  if (size > 0 && gsf_input_read(input, size, reinterpret_cast<guint8*>(data.data())) == nullptr) {
    return {};
  }
  return data;
}

Storage ReadStorage(GsfInfile* infile) {
  Storage storage;
  if (GSF_IS_INFILE_MSOLE(infile)) {
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(infile), storage.class_id.data());
  }
  const int count = gsf_infile_num_children(infile);
  for (int i = 0; i < count; ++i) {
    GObjectPtr<GsfInput> child(gsf_infile_child_by_index(infile, i));
    const std::string name = gsf_infile_name_by_index(infile, i);
    if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
      storage.storages[name] = ReadStorage(GSF_INFILE(child.get()));
    } else {
      storage.streams[name] = ReadStream(child.get());
    }
  }
  return storage;
}

void CollectAttachments(GMimeObject* object, std::vector<FoundAttachment>& out) {
  if (GMIME_IS_MULTIPART(object)) {
    for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(object)); ++i) {
      CollectAttachments(g_mime_multipart_get_part(GMIME_MULTIPART(object), i), out);
    }
    return;
  }
  const char* disposition = g_mime_object_get_disposition(object);
  const bool attachment =
      disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0;
  if (GMIME_IS_MESSAGE_PART(object)) {
    FoundAttachment found;
    const char* name = g_mime_object_get_content_disposition_parameter(object, "filename");
    found.name = name ? name : "";
    found.content_type = "message/rfc822";
    found.message = Share(g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)));
    out.push_back(std::move(found));
  } else if (GMIME_IS_PART(object) && attachment) {
    FoundAttachment found;
    const char* name = g_mime_part_get_filename(GMIME_PART(object));
    found.name = name ? name : "";
    GMemoryPtr<char> type(
        g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
    found.content_type = type.get();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(object)), stream.get());
    const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    found.data.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
    out.push_back(std::move(found));
  }
}

}  // namespace

std::optional<Storage> ReadCompoundFile(const std::filesystem::path& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.empty()) return std::nullopt;
  GObjectPtr<GsfInput> input(gsf_input_memory_new_clone(
      reinterpret_cast<const guint8*>(bytes.data()), static_cast<gsf_off_t>(bytes.size())));
  GError* error = nullptr;
  GObjectPtr<GsfInfile> infile(gsf_infile_msole_new(input.get(), &error));
  if (error != nullptr) g_error_free(error);
  if (!infile) return std::nullopt;
  return ReadStorage(infile.get());
}

std::uint32_t U32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<std::uint8_t>(bytes.at(offset + i));
  return value;
}

PropertyStream ParsePropertyStream(const Storage& storage, std::size_t header_size) {
  PropertyStream parsed;
  const auto found = storage.streams.find("__properties_version1.0");
  if (found == storage.streams.end()) return parsed;
  const std::string& data = found->second;
  parsed.header = data.substr(0, std::min(header_size, data.size()));
  parsed.whole_entries = data.size() >= header_size && (data.size() - header_size) % 16 == 0;
  for (std::size_t offset = header_size; offset + 16 <= data.size(); offset += 16) {
    PropertyEntry entry;
    entry.tag = U32At(data, offset);
    entry.flags = U32At(data, offset + 4);
    entry.value = U32At(data, offset + 8) | (std::uint64_t{U32At(data, offset + 12)} << 32);
    parsed.entries[entry.tag] = entry;
  }
  return parsed;
}

std::optional<std::string> UnicodeProperty(const Storage& storage, std::uint32_t tag) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
  const auto found = storage.streams.find(name);
  if (found == storage.streams.end()) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < found->second.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(found->second[i]) |
                                         (static_cast<std::uint8_t>(found->second[i + 1]) << 8)));
  }
  return ToUtf8(text);
}

GObjectPtr<GMimeMessage> ParseMessageBytes(const std::string& bytes) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

GObjectPtr<GMimeMessage> ParseMessageFile(const std::filesystem::path& path) {
  return ParseMessageBytes(ReadFile(path));
}

std::optional<std::string> FindPartContent(GMimeObject* root, const char* type,
                                           const char* subtype) {
  if (root == nullptr) return std::nullopt;
  if (GMIME_IS_MULTIPART(root)) {
    for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(root)); ++i) {
      if (auto found =
              FindPartContent(g_mime_multipart_get_part(GMIME_MULTIPART(root), i), type, subtype)) {
        return found;
      }
    }
    return std::nullopt;
  }
  if (!GMIME_IS_PART(root) ||
      !g_mime_content_type_is_type(g_mime_object_get_content_type(root), type, subtype)) {
    return std::nullopt;
  }
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(root)), stream.get());
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

std::vector<FoundAttachment> FindAttachments(GMimeObject* root) {
  std::vector<FoundAttachment> found;
  if (root != nullptr) CollectAttachments(root, found);
  return found;
}

std::string MailboxesText(InternetAddressList* list) {
  std::string text;
  for (int i = 0; list != nullptr && i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (!text.empty()) text += ", ";
    const char* name = internet_address_get_name(address);
    text += name ? name : "";
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      text += " <";
      text += internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
      text += ">";
    }
  }
  return text;
}

}  // namespace bm::test
