#include "msg/msg_copy.h"

#include <fcntl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "base/pending_file.h"
#include "base/safe_files.h"
#include "msg/compound_file.h"
#include "msg/name_map.h"
#include "msg/property_rules.h"

namespace bm::msg {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Storage = CompoundFileWriter::Entry;

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

// {0006F046-0000-0000-C000-000000000046}, the class of an MSG file's root, in directory order.
constexpr CompoundFileWriter::ClassId kMsgClassId = {
    0x46, 0xF0, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kPropertyFlags = 0x06;  // readable and writable
constexpr std::uint32_t kObjectSize = 0xFFFFFFFF;
constexpr std::uint32_t kStoreUnicodeOk = 0x00040000;
constexpr std::uint16_t kStoreSupportMask = 0x340D;
constexpr std::uint16_t kAttachDataObject = 0x3701;
constexpr std::uint16_t kAttachMethod = 0x3705;
constexpr std::int32_t kAttachEmbeddedMessage = 5;
constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::size_t kFileBufferSize = 128 * 1024;
// The most recipient or attachment storages an MSG file may have (MS-OXMSG 2.2.1, 2.2.2).
constexpr std::size_t kMaxObjects = 2048;
// Storages nested deeper than this inside an OLE attachment are not followed.
constexpr int kMaxOleDepth = 32;

std::string Hex(std::uint32_t value, int digits) {
  char text[11];
  std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string PropertyText(std::uint16_t id) {
  return "property 0x" + Hex(id, 4);
}

void PutU32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutU64(Bytes& out, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Copies a stored value block by block, never holding it whole. A block the store cannot give
// ends the value there: what came before it is kept and `unreadable` says what is missing.
// The bytes copied; errors are the output's.
Result<std::uint64_t> WriteValue(CompoundFileWriter& file, Storage parent, const std::string& name,
                                 pst::ValueStream& value, std::optional<Error>& unreadable) {
  if (Status opened = file.OpenStream(parent, name); !opened) return opened.error();
  // No larger than the value: most are a few bytes, and a message has dozens of them.
  std::vector<std::uint8_t> chunk(
      static_cast<std::size_t>(std::clamp<std::uint64_t>(value.size(), 1, kChunkSize)));
  std::uint64_t copied = 0;
  while (true) {
    Result<std::size_t> read = value.Read(chunk);
    if (!read) {
      unreadable = read.error();
      break;
    }
    if (*read == 0) break;
    if (Status written = file.Append(std::span(chunk).first(*read)); !written) {
      return written.error();
    }
    copied += *read;
  }
  if (copied != value.size()) {
    const Error short_value("the store gives " + std::to_string(copied) + " of its " +
                            std::to_string(value.size()) + " bytes");
    unreadable = unreadable ? unreadable->Within(short_value.message()) : short_value;
  }
  if (Status closed = file.CloseStream(); !closed) return closed.error();
  return copied;
}

// The entries of one property stream (MS-OXMSG 2.4): the header, then 16 bytes a property.
class PropertyTable {
 public:
  // Top-level message (32-byte header), embedded message (24) or recipient/attachment (8).
  PropertyTable(ObjectKind kind, std::uint32_t recipients, std::uint32_t attachments) {
    bytes_.assign(8, 0);
    if (kind == ObjectKind::kMessage || kind == ObjectKind::kEmbeddedMessage) {
      PutU32(bytes_, recipients);   // next recipient id
      PutU32(bytes_, attachments);  // next attachment id
      PutU32(bytes_, recipients);
      PutU32(bytes_, attachments);
      if (kind == ObjectKind::kMessage) bytes_.resize(bytes_.size() + 8, 0);
    }
  }

  // A message's header counts what was written: an attachment the store cannot give is left
  // out. Only for a message's or embedded message's table.
  void SetAttachmentCount(std::uint32_t attachments) {
    for (const std::size_t at : {std::size_t{12}, std::size_t{20}}) {
      for (std::size_t i = 0; i < 4; ++i) {
        bytes_[at + i] = static_cast<std::uint8_t>(attachments >> (8 * i));
      }
    }
  }

  void Fixed(std::uint32_t tag, std::uint64_t value) {
    PutU32(bytes_, tag);
    PutU32(bytes_, kPropertyFlags);
    PutU64(bytes_, value);
  }

  void Variable(std::uint32_t tag, std::uint32_t size) {
    PutU32(bytes_, tag);
    PutU32(bytes_, kPropertyFlags);
    PutU32(bytes_, size);
    PutU32(bytes_, 0);
  }

  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A GLib time as a FILETIME: 100 ns units since 1601.
std::uint64_t Filetime(GDateTime* time) {
  constexpr std::int64_t kUnixEpoch = 116444736000000000;  // 1970 in FILETIME units
  const std::int64_t units = g_date_time_to_unix(time) * 10000000 +
                             std::int64_t{g_date_time_get_microsecond(time)} * 10 + kUnixEpoch;
  return units > 0 ? static_cast<std::uint64_t>(units) : 0;
}

// The rest of `input` as the stream `name` of `target`.
Status CopyInput(CompoundFileWriter& file, GsfInput* input, Storage target,
                 const std::string& name) {
  if (Status opened = file.OpenStream(target, name); !opened) return opened;
  gsf_off_t left = gsf_input_remaining(input);
  std::vector<std::uint8_t> chunk(
      static_cast<std::size_t>(std::clamp<gsf_off_t>(left, 1, kChunkSize)));
  while (left > 0) {
    const auto size = static_cast<std::size_t>(std::min<gsf_off_t>(left, kChunkSize));
    if (gsf_input_read(input, size, chunk.data()) == nullptr) {
      return Error("the OLE object's stream " + name + " cannot be read");
    }
    if (Status written = file.Append(std::span(chunk).first(size)); !written) return written;
    left -= static_cast<gsf_off_t>(size);
  }
  return file.CloseStream();
}

// Copies an OLE compound file's tree (storages, streams, class ids and times) under `target`.
class OleCopier {
 public:
  explicit OleCopier(CompoundFileWriter& file) : file_(file) {}

  // Why the tree at `source` cannot be copied entry for entry, or nullopt when it can: the
  // copy must not fail half way, or the object would be lost with its message.
  static std::optional<std::string> Unfit(GsfInfile* source, int depth) {
    if (depth > kMaxOleDepth) return "it nests storages too deep";
    std::set<std::u16string> keys;
    const int count = gsf_infile_num_children(source);
    for (int i = 0; i < count; ++i) {
      const char* name = gsf_infile_name_by_index(source, i);
      GPtr<GsfInput> child(gsf_infile_child_by_index(source, i));
      if (name == nullptr || !child) return "an entry cannot be read";
      const std::optional<std::u16string> key = CompoundFileWriter::SiblingKey(name);
      if (!key) return std::string("an entry is named \"") + name + "\"";
      if (!keys.insert(*key).second) return std::string("two entries are named \"") + name + "\"";
      if (IsStorage(child.get())) {
        if (auto unfit = Unfit(GSF_INFILE(child.get()), depth + 1)) return unfit;
      }
    }
    return std::nullopt;
  }

  Status Copy(GsfInfile* source, Storage target) {
    CompoundFileWriter::ClassId class_id{};
    if (GSF_IS_INFILE_MSOLE(source) &&
        gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(source), class_id.data())) {
      file_.SetClassId(target, class_id);
    }
    // Storage times are part of the object (and some readers need them).
    if (GDateTime* time = gsf_input_get_modtime(GSF_INPUT(source))) {
      file_.SetModified(target, Filetime(time));
    }
    const int count = gsf_infile_num_children(source);
    for (int i = 0; i < count; ++i) {
      const char* name = gsf_infile_name_by_index(source, i);
      GPtr<GsfInput> child(gsf_infile_child_by_index(source, i));
      if (name == nullptr || !child) return Error("the OLE object has an unreadable entry");
      if (IsStorage(child.get())) {
        Result<Storage> out = file_.AddStorage(target, name);
        if (!out) return out.error();
        if (Status copied = Copy(GSF_INFILE(child.get()), *out); !copied) return copied;
      } else if (Status copied = CopyInput(file_, child.get(), target, name); !copied) {
        return copied;
      }
    }
    return {};
  }

 private:
  static bool IsStorage(GsfInput* entry) {
    return GSF_IS_INFILE(entry) && gsf_infile_num_children(GSF_INFILE(entry)) >= 0;
  }

  CompoundFileWriter& file_;
};

class CopyWriter {
 public:
  CopyWriter(CompoundFileWriter& file, const pst::Store& store, const CopyOptions& options,
             std::filesystem::path directory)
      : file_(file), store_(store), options_(options), directory_(std::move(directory)) {}

  Status WriteTopLevel(const pst::Message& message) {
    const Storage root = CompoundFileWriter::kRoot;
    if (Status written = WriteMessage(root, message, ObjectKind::kMessage, 0, ""); !written) {
      return written;
    }
    return WriteNameIds(root);
  }

 private:
  void Warn(const std::string& where, const std::string& text) const {
    if (options_.warn) options_.warn(where.empty() ? text : where + ": " + text);
  }

  // A part of the message the store cannot give in full: the file is written with the rest
  // (and what was readable of the part), and the warning says what is missing.
  void Unreadable(const std::string& where, const Error& error) const {
    Warn(where, "not copied in full: " + error.message());
  }

  Status WriteMessage(Storage storage, const pst::Message& message, ObjectKind kind, int depth,
                      const std::string& where) {
    Result<std::vector<pst::PropertyBag>> recipients = message.Recipients();
    if (!recipients) {
      Unreadable(Place(where, "recipients"), recipients.error());
      recipients = std::vector<pst::PropertyBag>();
    }
    const Result<pst::Table> attachment_table = message.AttachmentTable();
    if (!attachment_table) Unreadable(Place(where, "attachments"), attachment_table.error());
    const std::size_t attachments = attachment_table ? attachment_table->row_count() : 0;
    // Everything is still written, so nothing is lost; the reader may refuse the file.
    if (recipients->size() > kMaxObjects || attachments > kMaxObjects) {
      Warn(where, "more than " + std::to_string(kMaxObjects) +
                      " recipients or attachments: some MSG readers refuse such a file");
    }
    PropertyTable table(kind, static_cast<std::uint32_t>(recipients->size()),
                        static_cast<std::uint32_t>(attachments));
    if (store_.format() == pst::FileFormat::kUnicode) {
      table.Fixed(std::uint32_t{kStoreSupportMask} << 16 | pst::type::kInt32, kStoreUnicodeOk);
    }
    if (Status copied = CopyBag(storage, message.properties(), kind, table, where); !copied) {
      return copied;
    }
    for (std::size_t i = 0; i < recipients->size(); ++i) {
      const std::string place = Place(where, "recipient " + std::to_string(i));
      Result<Storage> child =
          file_.AddStorage(storage, "__recip_version1.0_#" + Hex(static_cast<std::uint32_t>(i), 8));
      if (!child) return child.error().Within(place);
      PropertyTable recipient_table(ObjectKind::kRecipient, 0, 0);
      if (Status written =
              CopyBag(*child, (*recipients)[i], ObjectKind::kRecipient, recipient_table, place);
          !written) {
        return written;
      }
      if (Status written = WriteProperties(*child, recipient_table); !written) return written;
    }
    std::uint32_t written_attachments = 0;
    for (std::size_t i = 0; i < attachments; ++i) {
      Result<bool> written =
          WriteAttachment(storage, message, i, written_attachments, depth, where);
      if (!written) return written.error();
      if (*written) ++written_attachments;
    }
    table.SetAttachmentCount(written_attachments);
    return WriteProperties(storage, table);
  }

  Status WriteProperties(Storage storage, const PropertyTable& table) {
    return file_.AddStream(storage, "__properties_version1.0", table.bytes());
  }

  // Attachment `index` as the MSG's attachment `slot`; false when the store cannot give the
  // attachment object at all (a warning says so).
  Result<bool> WriteAttachment(Storage parent, const pst::Message& message, std::size_t index,
                               std::uint32_t slot, int depth, const std::string& where) {
    const std::string place = Place(where, "attachment " + std::to_string(index));
    Result<pst::Attachment> attachment = message.OpenAttachment(index);
    if (!attachment) {
      Unreadable(place, attachment.error());
      return false;
    }
    Result<Storage> storage = file_.AddStorage(parent, "__attach_version1.0_#" + Hex(slot, 8));
    if (!storage) return storage.error().Within(place);
    PropertyTable table(ObjectKind::kAttachment, 0, 0);
    Status written =
        CopyBag(*storage, attachment->properties(), ObjectKind::kAttachment, table, place);
    const std::optional<pst::PropertyInfo> data = attachment->properties().Find(kAttachDataObject);
    if (written && data && data->type == pst::type::kObject) {
      written = WriteObject(*storage, *attachment, table, depth, place);
    }
    if (written) written = WriteProperties(*storage, table);
    if (!written) return written.error();
    return true;
  }

  // PidTagAttachDataObject: an embedded message or an OLE storage, each as a sub-storage.
  Status WriteObject(Storage storage, const pst::Attachment& attachment, PropertyTable& table,
                     int depth, const std::string& where) {
    const std::uint32_t object_tag = std::uint32_t{kAttachDataObject} << 16 | pst::type::kObject;
    if (attachment.properties().Int32(kAttachMethod) == kAttachEmbeddedMessage) {
      if (depth + 1 > options_.max_embedding_depth) {
        Warn(where, "the embedded message is nested deeper than " +
                        std::to_string(options_.max_embedding_depth) +
                        " levels and is not copied; the attachment keeps its other properties");
        return {};
      }
      Result<pst::Message> embedded = attachment.OpenEmbeddedMessage();
      if (!embedded) {
        Unreadable(Place(where, "embedded message"), embedded.error());
        return {};
      }
      Result<Storage> child = file_.AddStorage(storage, StreamName(object_tag));
      if (!child) return child.error().Within(where);
      if (Status written = WriteMessage(*child, *embedded, ObjectKind::kEmbeddedMessage, depth + 1,
                                        Place(where, "embedded message"));
          !written) {
        return written;
      }
      table.Variable(object_tag, kObjectSize);
      return {};
    }
    return WriteOleObject(storage, attachment, table, where);
  }

  // A compound file needs random access to be read, so the object's bytes go to an unnamed
  // file in the target directory (gone once closed) or, where the file system has no such
  // files, to `memory`.
  // A block the store cannot give ends the bytes there, and `unreadable` says why.
  Result<GPtr<GsfInput>> ObjectInput(pst::ValueStream& stream, Bytes& memory,
                                     std::optional<Error>& unreadable) {
    std::vector<std::uint8_t> chunk(kChunkSize);
    FileDescriptor fd(::open(directory_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd.valid()) memory.reserve(static_cast<std::size_t>(stream.size()));
    while (true) {
      Result<std::size_t> read = stream.Read(chunk);
      if (!read) {
        unreadable = read.error();
        break;
      }
      if (*read == 0) break;
      const std::span<const std::uint8_t> bytes(chunk.data(), *read);
      if (!fd.valid()) {
        memory.insert(memory.end(), bytes.begin(), bytes.end());
      } else if (Status written = WriteAll(fd.get(), bytes); !written) {
        return written.error();
      }
    }
    if (!fd.valid()) {
      return GPtr<GsfInput>(
          gsf_input_memory_new(memory.data(), static_cast<gsf_off_t>(memory.size()), FALSE));
    }
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) {
      return Error("the OLE object cannot be read back: " + ErrnoText(errno));
    }
    std::FILE* file = ::fdopen(fd.get(), "rb");
    if (file == nullptr) return Error("the OLE object cannot be read back: " + ErrnoText(errno));
    fd.Release();
    GPtr<GsfInput> input(gsf_input_stdio_new_FILE("OLE object", file, FALSE));
    if (!input) std::fclose(file);
    return input;
  }

  Status WriteOleObject(Storage storage, const pst::Attachment& attachment, PropertyTable& table,
                        const std::string& where) {
    Result<pst::ValueStream> stream = attachment.OpenObjectData();
    if (!stream) {
      Unreadable(Place(where, "OLE object"), stream.error());
      return {};
    }
    Bytes memory;
    std::optional<Error> unreadable;
    Result<GPtr<GsfInput>> input = ObjectInput(*stream, memory, unreadable);
    if (!input) return input.error().Within(where);
    if (unreadable) Unreadable(Place(where, "OLE object"), *unreadable);
    if (!*input) return Error("the OLE object cannot be read back").Within(where);
    GPtr<GsfInfile> ole(gsf_infile_msole_new(input->get(), nullptr));
    const std::uint32_t object_tag = std::uint32_t{kAttachDataObject} << 16 | pst::type::kObject;
    const std::optional<std::string> unfit =
        ole ? OleCopier::Unfit(ole.get(), 0) : "it is not a compound file";
    if (unfit) {
      // Kept as data, so nothing is lost.
      Warn(where, "the OLE object cannot be copied as a storage (" + *unfit +
                      "); its bytes are kept as binary data");
      const std::uint32_t binary_tag = std::uint32_t{kAttachDataObject} << 16 | pst::type::kBinary;
      const gsf_off_t size = gsf_input_size(input->get());
      if (size >= kObjectSize) return Error("the OLE object is too large for an MSG file");
      table.Variable(binary_tag, static_cast<std::uint32_t>(size));
      // gsf_input_seek is TRUE on failure.
      if (gsf_input_seek(input->get(), 0, G_SEEK_SET)) {
        return Error("the OLE object cannot be read back").Within(where);
      }
      if (Status copied = CopyInput(file_, input->get(), storage, StreamName(binary_tag));
          !copied) {
        return copied.error().Within(where);
      }
      return {};
    }
    Result<Storage> child = file_.AddStorage(storage, StreamName(object_tag));
    if (!child) return child.error().Within(where);
    if (Status copied = OleCopier(file_).Copy(ole.get(), *child); !copied) {
      return copied.error().Within(where);
    }
    table.Variable(object_tag, kObjectSize);
    return {};
  }

  // Every property of `bag` except the bookkeeping: fixed values into `table`, the others
  // into their streams. PT_OBJECT values are left to the caller.
  Status CopyBag(Storage storage, const pst::PropertyBag& bag, ObjectKind kind,
                 PropertyTable& table, const std::string& where) {
    for (const pst::PropertyInfo& info : bag.properties()) {
      if (LeftOutReason(kind, info)) continue;
      if (info.type == pst::type::kObject) {
        if (!(kind == ObjectKind::kAttachment && info.id == kAttachDataObject)) {
          Warn(where,
               PropertyText(info.id) + " refers to an object in the store and is not copied");
        }
        continue;
      }
      const std::optional<std::uint16_t> id = MsgId(info.id, where);
      if (!id) continue;
      const std::uint32_t tag = std::uint32_t{*id} << 16 | info.type;
      std::optional<Error> unreadable;
      if (Status copied = CopyProperty(storage, bag, info, tag, table, unreadable); !copied) {
        return copied.error().Within(Place(where, PropertyText(info.id)));
      }
      if (unreadable) Unreadable(Place(where, PropertyText(info.id)), *unreadable);
    }
    return {};
  }

  // The MSG's id: a named property gets its id in the MSG's own name map.
  std::optional<std::uint16_t> MsgId(std::uint16_t stored, const std::string& where) {
    if (stored < 0x8000) return stored;
    const std::optional<pst::PropertyName> name = store_.NameOfId(stored);
    if (!name) {
      Warn(where,
           PropertyText(stored) + " has no name in the store's name-to-id map and is not copied");
      return std::nullopt;
    }
    const std::optional<std::uint16_t> id = names_.IdFor(*name);
    if (!id) Warn(where, PropertyText(stored) + ": the MSG file holds no more named properties");
    return id;
  }

  // One property into `table` and its stream. What the store cannot give of it is left out
  // (a variable-size value keeps what was readable), and `unreadable` says why; the result's
  // errors are the output's.
  Status CopyProperty(Storage storage, const pst::PropertyBag& bag, pst::PropertyInfo info,
                      std::uint32_t tag, PropertyTable& table, std::optional<Error>& unreadable) {
    switch (LayoutOf(info.type)) {
      case Layout::kFixed: {
        Result<Bytes> raw = bag.Raw(info.id);
        if (!raw) {
          unreadable = raw.error();
          return {};
        }
        if (raw->size() != FixedSize(info.type)) {
          unreadable = Error("the stored value has a wrong size");
          return {};
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < raw->size(); ++i) value |= std::uint64_t{(*raw)[i]} << (8 * i);
        if (info.type == pst::type::kBoolean) value = value != 0 ? 1 : 0;
        table.Fixed(tag, value);
        return {};
      }
      case Layout::kVariable: {
        Result<pst::ValueStream> stream = bag.Stream(info.id);
        if (!stream) {
          unreadable = stream.error();
          return {};
        }
        // The size counts the terminator that string streams leave out.
        const std::uint64_t terminator = info.type == pst::type::kUnicode   ? 2
                                         : info.type == pst::type::kString8 ? 1
                                                                            : 0;
        if (stream->size() + terminator >= kObjectSize) {
          unreadable = Error("the value is too large for an MSG file");
          return {};
        }
        Result<std::uint64_t> copied =
            WriteValue(file_, storage, StreamName(tag), *stream, unreadable);
        if (!copied) return copied.error();
        table.Variable(tag, static_cast<std::uint32_t>(*copied + terminator));
        return {};
      }
      case Layout::kMultipleFixed: {
        Result<Bytes> raw = bag.Raw(info.id);
        if (!raw) {
          unreadable = raw.error();
          return {};
        }
        table.Variable(tag, static_cast<std::uint32_t>(raw->size()));
        return file_.AddStream(storage, StreamName(tag), *raw);
      }
      case Layout::kMultipleVariable:
        return CopyMultipleVariable(storage, bag, info, tag, table, unreadable);
      case Layout::kObject:
      case Layout::kUnsupported:
        break;
    }
    return {};
  }

  // A length stream, and one stream per value named by the tag and the value's index; string
  // values carry their terminator (MS-OXMSG 2.1.4.2).
  Status CopyMultipleVariable(Storage storage, const pst::PropertyBag& bag, pst::PropertyInfo info,
                              std::uint32_t tag, PropertyTable& table,
                              std::optional<Error>& unreadable) {
    Result<std::vector<Bytes>> elements = bag.Elements(info.id);
    if (!elements) {
      unreadable = elements.error();
      return {};
    }
    const auto element_type = static_cast<std::uint16_t>(info.type & ~pst::type::kMultiple);
    const std::size_t terminator = element_type == pst::type::kUnicode   ? 2
                                   : element_type == pst::type::kString8 ? 1
                                                                         : 0;
    Bytes lengths;
    for (std::size_t i = 0; i < elements->size(); ++i) {
      Bytes& value = (*elements)[i];
      value.resize(value.size() + terminator, 0);
      PutU32(lengths, static_cast<std::uint32_t>(value.size()));
      if (element_type == pst::type::kBinary) PutU32(lengths, 0);
      const std::string name = StreamName(tag) + "-" + Hex(static_cast<std::uint32_t>(i), 8);
      if (Status written = file_.AddStream(storage, name, value); !written) return written;
    }
    table.Variable(tag, static_cast<std::uint32_t>(lengths.size()));
    return file_.AddStream(storage, StreamName(tag), lengths);
  }

  Status WriteNameIds(Storage root) {
    Result<Storage> storage = file_.AddStorage(root, "__nameid_version1.0");
    if (!storage) return storage.error();
    for (const auto& [name, bytes] : names_.Streams()) {
      if (Status written = file_.AddStream(*storage, name, bytes); !written) return written;
    }
    return {};
  }

  static std::string Place(const std::string& where, const std::string& what) {
    return where.empty() ? what : where + ": " + what;
  }

  CompoundFileWriter& file_;
  const pst::Store& store_;
  const CopyOptions& options_;
  const std::filesystem::path directory_;  // where the MSG file is written
  NameMap names_;
};

// Writes the compound file into the pending file at `path` through its descriptor `fd`.
Status WriteCompoundFile(Result<FileDescriptor> fd, const std::filesystem::path& path,
                         const pst::Store& store, const pst::Message& message,
                         const CopyOptions& options) {
  if (!fd) return fd.error();
  // Declared before the stream, so it outlives the stream on every way out. Most MSG files fit
  // in it whole: one write each instead of one per 4 KB.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kFileBufferSize);
  Result<bm::Stream> file = StreamFor(std::move(*fd));
  if (!file) return file.error();
  std::setvbuf(file->get(), buffer.get(), _IOFBF, kFileBufferSize);
  CompoundFileWriter compound_file(file->get());
  compound_file.SetClassId(CompoundFileWriter::kRoot, kMsgClassId);
  if (Status written =
          CopyWriter(compound_file, store, options, path.parent_path()).WriteTopLevel(message);
      !written) {
    return written;
  }
  if (Status finished = compound_file.Finish(); !finished) return finished;
  std::FILE* stream = file->release();
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  const int flush_error = errno;
  const bool closed = std::fclose(stream) == 0;
  if (!flushed || !closed) {
    return Error("the MSG file cannot be written: " + ErrnoText(flushed ? errno : flush_error));
  }
  return {};
}

}  // namespace

Status WriteMsgCopy(const pst::Store& store, const pst::Message& message,
                    const std::filesystem::path& target, const CopyOptions& options) {
  static std::once_flag gsf_ready;
  std::call_once(gsf_ready, [] { gsf_init(); });
  const std::filesystem::path directory =
      target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  Result<PendingFile> pending = PendingFile::Create(directory);
  if (!pending) return pending.error().Within(target.string());
  if (Status written = WriteCompoundFile(pending->DuplicateDescriptor(), pending->path(), store,
                                         message, options);
      !written) {
    return written.error().Within(target.string());
  }
  if (Status closed = pending->Write({}); !closed) return closed.error().Within(target.string());
  const std::filesystem::path name = options.name_when_whole ? options.name_when_whole() : target;
  Result<bool> placed = pending->PlaceAs(name);
  if (!placed) return placed.error().Within(name.string());
  // Carries EEXIST, so the caller can tell a taken name from a failed write.
  if (!*placed) return Error(name.string() + ": a file of that name already exists", EEXIST);
  return {};
}

Status WriteMsgCopy(const pst::Store& store, const pst::Message& message,
                    const std::filesystem::path& target) {
  return WriteMsgCopy(store, message, target, CopyOptions{});
}

}  // namespace bm::msg
