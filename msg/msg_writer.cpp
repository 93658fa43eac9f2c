#include "msg/msg_writer.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "msg/file_bytes.h"
#include "msg/glib_ptr.h"

namespace bm {

namespace {

using mapi::PropType;

// {0006F046-0000-0000-C000-000000000046} in the byte order of a compound file directory entry.
constexpr std::array<guint8, 16> kMsgClassId = {0x46, 0xF0, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// Readable and writable; what Outlook writes for ordinary properties.
constexpr std::uint32_t kPropertyFlags = 0x06;
constexpr std::uint32_t kObjectSize = 0xFFFFFFFF;

enum class StorageKind { kTopLevel, kEmbedded, kRecipient, kAttachment };

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutU64(Bytes& out, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::string HexTag(std::uint32_t tag) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(tag));
  return text;
}

std::string StreamName(std::uint32_t tag) {
  return "__substg1.0_" + HexTag(tag);
}

Bytes Utf16LeBytes(const std::u16string& text) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return out;
}

// The property stream header: its length depends on the storage (MS-OXMSG 2.4.1).
Bytes PropertyHeader(StorageKind kind, const MessageContent* message) {
  Bytes header(8, 0);
  if (kind == StorageKind::kTopLevel || kind == StorageKind::kEmbedded) {
    const auto recipients = static_cast<std::uint32_t>(message->recipients.size());
    const auto attachments = static_cast<std::uint32_t>(message->attachments.size());
    PutU32(header, recipients);   // next recipient id
    PutU32(header, attachments);  // next attachment id
    PutU32(header, recipients);
    PutU32(header, attachments);
    if (kind == StorageKind::kTopLevel) header.resize(header.size() + 8, 0);
  }
  return header;
}

void PutFixedEntry(Bytes& out, std::uint32_t tag, std::uint64_t value) {
  PutU32(out, tag);
  PutU32(out, kPropertyFlags);
  PutU64(out, value);
}

void PutVariableEntry(Bytes& out, std::uint32_t tag, std::uint32_t size) {
  PutU32(out, tag);
  PutU32(out, kPropertyFlags);
  PutU32(out, size);
  PutU32(out, 0);
}

// Writes one stream and closes it; libgsf's OLE writer wants one open stream at a time.
bool WriteStream(GsfOutfile* parent, const std::string& name, const Bytes& data) {
  GObjectPtr<GsfOutput> stream(gsf_outfile_new_child(parent, name.c_str(), FALSE));
  if (!stream) return false;
  const bool written = data.empty() || gsf_output_write(stream.get(), data.size(), data.data());
  return gsf_output_close(stream.get()) && written;
}

class StorageWriter {
 public:
  explicit StorageWriter(int depth) : depth_(depth) {}

  bool WriteMessage(GsfOutfile* storage, const MessageContent& message, StorageKind kind) {
    Bytes table = PropertyHeader(kind, &message);
    if (!WriteProperties(storage, message.properties, table)) return false;
    if (!WriteStream(storage, "__properties_version1.0", table)) return false;
    for (std::size_t i = 0; i < message.recipients.size(); ++i) {
      if (!WriteRecipient(storage, message.recipients[i], i)) return false;
    }
    for (std::size_t i = 0; i < message.attachments.size(); ++i) {
      if (!WriteAttachment(storage, message.attachments[i], i)) return false;
    }
    return kind != StorageKind::kTopLevel || WriteNameIdStorage(storage);
  }

 private:
  // Adds every property's entry to `table`; variable-length values go to their own streams.
  bool WriteProperties(GsfOutfile* storage, const mapi::PropertyBag& bag, Bytes& table) {
    for (const auto& [tag, value] : bag.Values()) {
      if (!WriteProperty(storage, tag, value, table)) return false;
    }
    return true;
  }

  bool WriteProperty(GsfOutfile* storage, std::uint32_t tag, const mapi::PropertyValue& value,
                     Bytes& table) {
    switch (mapi::TypeOf(tag)) {
      case PropType::kInteger32:
        PutFixedEntry(table, tag, static_cast<std::uint32_t>(std::get<std::int32_t>(value)));
        return true;
      case PropType::kBoolean:
        PutFixedEntry(table, tag, std::get<bool>(value) ? 1 : 0);
        return true;
      case PropType::kInteger64:
        PutFixedEntry(table, tag, static_cast<std::uint64_t>(std::get<std::int64_t>(value)));
        return true;
      case PropType::kTime:
        PutFixedEntry(table, tag, std::get<mapi::FileTime>(value).ticks);
        return true;
      case PropType::kUnicode: {
        const Bytes data = Utf16LeBytes(std::get<std::u16string>(value));
        // The size counts the terminating null that the stream leaves out.
        PutVariableEntry(table, tag, static_cast<std::uint32_t>(data.size() + 2));
        return WriteStream(storage, StreamName(tag), data);
      }
      case PropType::kBinary: {
        const Bytes& data = std::get<mapi::Binary>(value);
        PutVariableEntry(table, tag, static_cast<std::uint32_t>(data.size()));
        return WriteStream(storage, StreamName(tag), data);
      }
      case PropType::kString8:
      case PropType::kObject:
        break;
    }
    return false;
  }

  bool WriteRecipient(GsfOutfile* parent, const mapi::PropertyBag& recipient, std::size_t index) {
    GObjectPtr<GsfOutfile> storage(ChildStorage(parent, "__recip_version1.0_#", index));
    if (!storage) return false;
    Bytes table = PropertyHeader(StorageKind::kRecipient, nullptr);
    const bool written = WriteProperties(storage.get(), recipient, table) &&
                         WriteStream(storage.get(), "__properties_version1.0", table);
    return gsf_output_close(GSF_OUTPUT(storage.get())) && written;
  }

  bool WriteAttachment(GsfOutfile* parent, const AttachmentContent& attachment, std::size_t index) {
    GObjectPtr<GsfOutfile> storage(ChildStorage(parent, "__attach_version1.0_#", index));
    if (!storage) return false;
    Bytes table = PropertyHeader(StorageKind::kAttachment, nullptr);
    bool written = WriteProperties(storage.get(), attachment.properties, table);
    if (written && attachment.embedded) {
      PutVariableEntry(table, mapi::tag::kAttachDataObject, kObjectSize);
      written = WriteEmbedded(storage.get(), *attachment.embedded);
    }
    written = written && WriteStream(storage.get(), "__properties_version1.0", table);
    return gsf_output_close(GSF_OUTPUT(storage.get())) && written;
  }

  bool WriteEmbedded(GsfOutfile* attachment_storage, const MessageContent& message) {
    if (depth_ >= kMaxEmbeddingDepth) return false;
    GObjectPtr<GsfOutput> child(gsf_outfile_new_child(
        attachment_storage, StreamName(mapi::tag::kAttachDataObject).c_str(), TRUE));
    if (!child) return false;
    StorageWriter inner(depth_ + 1);
    const bool written =
        inner.WriteMessage(GSF_OUTFILE(child.get()), message, StorageKind::kEmbedded);
    return gsf_output_close(child.get()) && written;
  }

  // The named property mapping: this writer defines no named properties, but readers expect
  // the storage and its three streams.
  static bool WriteNameIdStorage(GsfOutfile* root) {
    GObjectPtr<GsfOutput> storage(gsf_outfile_new_child(root, "__nameid_version1.0", TRUE));
    if (!storage) return false;
    auto* outfile = GSF_OUTFILE(storage.get());
    const bool written = WriteStream(outfile, "__substg1.0_00020102", {}) &&
                         WriteStream(outfile, "__substg1.0_00030102", {}) &&
                         WriteStream(outfile, "__substg1.0_00040102", {});
    return gsf_output_close(storage.get()) && written;
  }

  static GsfOutfile* ChildStorage(GsfOutfile* parent, const char* prefix, std::size_t index) {
    const std::string name = prefix + HexTag(static_cast<std::uint32_t>(index));
    return GSF_OUTFILE(gsf_outfile_new_child(parent, name.c_str(), TRUE));
  }

  int depth_;
};

}  // namespace

HResult SerialiseMsg(const MessageContent& message, std::vector<std::uint8_t>& out) {
  GObjectPtr<GsfOutput> sink(gsf_output_memory_new());
  GObjectPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
  if (!sink || !root) return E_OUTOFMEMORY;
  gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root.get()), kMsgClassId.data());
  StorageWriter writer(0);
  const bool written = writer.WriteMessage(root.get(), message, StorageKind::kTopLevel);
  if (!gsf_output_close(GSF_OUTPUT(root.get())) || !written) return E_FAIL;
  const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
  const auto size = static_cast<std::size_t>(gsf_output_size(sink.get()));
  out.assign(bytes, bytes + size);
  return S_OK;
}

HResult WriteMsgFile(const MessageContent& message, const std::filesystem::path& target) {
  std::vector<std::uint8_t> bytes;
  if (const HResult serialised = SerialiseMsg(message, bytes); Failed(serialised)) {
    return serialised;
  }
  // Written beside the target and moved into place, so no half file is ever seen there.
  return WriteFileBytes(target,
                        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                        ExistingFile::kKeep);
}

}  // namespace bm
