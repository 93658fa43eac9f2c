#include "msg/msg_reader.h"

#include <cstdio>
#include <fstream>
#include <set>

#include "support/test_support.h"

namespace bm::test {

namespace {

constexpr std::uint16_t kMultiple = 0x1000;

// Fixed-size types and their sizes (MS-OXCDATA); the MSG keeps them in the 8-byte field.
std::size_t FixedSizeOf(std::uint16_t type) {
  switch (type) {
    case 0x000B:
      return 1;
    case 0x0002:
      return 2;
    case 0x0003:
    case 0x0004:
    case 0x000A:
      return 4;
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x0014:
    case 0x0040:
      return 8;
    default:
      return 0;
  }
}

std::size_t TerminatorOf(std::uint16_t type) {
  return type == 0x001F ? 2 : type == 0x001E ? 1 : 0;
}

std::string Hex(std::uint32_t value, int digits) {
  char text[12];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string Name(std::uint32_t tag) {
  return "__substg1.0_" + Hex(tag, 8);
}

Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::uint16_t U16At(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                    static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

const pst::Guid kPsMapi{{0x28, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const pst::Guid kPsPublicStrings{{0x29, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::vector<pst::PropertyName> ReadNames(const Storage& root, std::vector<std::string>& faults) {
  std::vector<pst::PropertyName> names;
  const auto storage = root.storages.find("__nameid_version1.0");
  if (storage == root.storages.end()) {
    faults.push_back("no __nameid_version1.0 storage");
    return names;
  }
  const auto& streams = storage->second.streams;
  const auto find = [&](std::uint32_t tag) -> std::string {
    const auto found = streams.find(Name(tag));
    if (found == streams.end()) faults.push_back("name map stream " + Name(tag) + " missing");
    return found == streams.end() ? std::string() : found->second;
  };
  const std::string guids = find(0x00020102);
  const std::string entries = find(0x00030102);
  const std::string strings = find(0x00040102);
  if (guids.size() % 16 != 0 || entries.size() % 8 != 0) faults.push_back("name map sizes");
  for (std::size_t at = 0; at + 8 <= entries.size(); at += 8) {
    const std::uint32_t identifier = U32At(entries, at);
    const std::uint32_t index_and_kind = U32At(entries, at + 4);
    const std::uint32_t guid_index = (index_and_kind & 0xFFFF) >> 1;
    if ((index_and_kind >> 16) != at / 8) faults.push_back("name map entry index");
    pst::PropertyName name;
    if (guid_index == 1) {
      name.set = kPsMapi;
    } else if (guid_index == 2) {
      name.set = kPsPublicStrings;
    } else if (guid_index >= 3 && (guid_index - 3) * 16 + 16 <= guids.size()) {
      std::copy_n(guids.begin() + (guid_index - 3) * 16, 16, name.set.bytes.begin());
    } else {
      faults.push_back("name map GUID index " + std::to_string(guid_index));
    }
    if (index_and_kind & 1) {
      std::u16string text;
      if (identifier + 4 <= strings.size()) {
        const std::uint32_t length = U32At(strings, identifier);
        for (std::size_t i = 0; i + 1 < length && identifier + 4 + i + 1 < strings.size() + 1;
             i += 2) {
          text.push_back(static_cast<char16_t>(U16At(strings, identifier + 4 + i)));
        }
      } else {
        faults.push_back("name map string offset");
      }
      name.id = text;
    } else {
      name.id = identifier;
    }
    names.push_back(std::move(name));
  }
  return names;
}

class Reader {
 public:
  Reader(const std::vector<pst::PropertyName>& names, std::vector<std::string>& faults)
      : names_(names), faults_(faults) {}

  // `kind`: 0 top-level message, 1 embedded message, 2 recipient or attachment.
  MsgObject ReadObject(const Storage& storage, int kind, const std::string& where) {
    MsgObject object;
    const std::size_t header = kind == 0 ? 32 : kind == 1 ? 24 : 8;
    const auto stream = storage.streams.find("__properties_version1.0");
    if (stream == storage.streams.end()) {
      Fault(where, "no property stream");
      return object;
    }
    const PropertyStream table = ParsePropertyStream(storage, header);
    if (!table.whole_entries) Fault(where, "property stream is not whole entries");
    std::set<std::string> used = {"__properties_version1.0"};
    for (const auto& [tag, entry] : table.entries) ReadEntry(storage, entry, object, used, where);
    for (const auto& [name, bytes] : storage.streams) {
      if (!used.count(name)) Fault(where, "stream " + name + " belongs to no property");
    }
    if (kind == 2) return object;

    std::size_t recipients = 0, attachments = 0;
    for (const auto& [name, child] : storage.storages) {
      if (name.starts_with("__recip_version1.0_#")) ++recipients;
      if (name.starts_with("__attach_version1.0_#")) ++attachments;
    }
    if (table.header.size() >= 24) {
      if (U32At(table.header, 8) != recipients || U32At(table.header, 16) != recipients)
        Fault(where, "header recipient count/next id");
      if (U32At(table.header, 12) != attachments || U32At(table.header, 20) != attachments)
        Fault(where, "header attachment count/next id");
    }
    for (std::size_t i = 0; i < recipients; ++i) {
      const auto child = storage.storages.find("__recip_version1.0_#" + Hex(i, 8));
      if (child == storage.storages.end()) {
        Fault(where, "recipient storages are not numbered 0..n-1");
        continue;
      }
      object.recipients.push_back(
          ReadObject(child->second, 2, where + "/recipient " + std::to_string(i)));
    }
    for (std::size_t i = 0; i < attachments; ++i) {
      const auto child = storage.storages.find("__attach_version1.0_#" + Hex(i, 8));
      if (child == storage.storages.end()) {
        Fault(where, "attachment storages are not numbered 0..n-1");
        continue;
      }
      const std::string place = where + "/attachment " + std::to_string(i);
      MsgObject attachment = ReadObject(child->second, 2, place);
      const auto object_storage = child->second.storages.find(Name(0x3701000D));
      if (object_storage != child->second.storages.end()) {
        const PropKey method{std::uint16_t{0x3705}, 0x0003};
        const auto found = attachment.properties.find(method);
        const bool embedded = found != attachment.properties.end() && found->second.size() == 1 &&
                              found->second[0] == Bytes{5, 0, 0, 0};
        if (embedded) {
          attachment.embedded = std::make_shared<MsgObject>(
              ReadObject(object_storage->second, 1, place + "/embedded"));
        } else {
          attachment.ole = object_storage->second;
        }
      }
      object.attachments.push_back(std::move(attachment));
    }
    return object;
  }

 private:
  void Fault(const std::string& where, const std::string& what) {
    faults_.push_back(where + ": " + what);
  }

  void ReadEntry(const Storage& storage, const PropertyEntry& entry, MsgObject& object,
                 std::set<std::string>& used, const std::string& where) {
    const auto id = static_cast<std::uint16_t>(entry.tag >> 16);
    const auto type = static_cast<std::uint16_t>(entry.tag & 0xFFFF);
    const std::string place = where + " " + Hex(entry.tag, 8);
    PropKey key{id, type};
    if (id >= 0x8000) {
      if (static_cast<std::size_t>(id - 0x8000) >= names_.size()) {
        Fault(place, "named id beyond the name map");
        return;
      }
      key.id = names_[id - 0x8000];
    }
    if (object.properties.count(key)) Fault(place, "property twice");
    std::vector<Bytes>& values = object.properties[key];
    const auto stream = [&](const std::string& name) -> std::optional<std::string> {
      used.insert(name);
      const auto found = storage.streams.find(name);
      if (found == storage.streams.end()) {
        Fault(place, "stream " + name + " missing");
        return std::nullopt;
      }
      return found->second;
    };
    const auto size = static_cast<std::uint32_t>(entry.value);
    if (type == 0x000D) {
      object.properties.erase(key);
      object.object_size = size;
      return;
    }
    if (const std::size_t fixed = FixedSizeOf(type)) {
      Bytes value(fixed);
      for (std::size_t i = 0; i < fixed; ++i)
        value[i] = static_cast<std::uint8_t>(entry.value >> (8 * i));
      if (fixed < 8 && (entry.value >> (8 * fixed)) != 0) Fault(place, "reserved bytes not zero");
      values.push_back(std::move(value));
      return;
    }
    if ((type & kMultiple) == 0) {
      const auto bytes = stream(Name(entry.tag));
      if (!bytes) return;
      if (bytes->size() + TerminatorOf(type) != size) Fault(place, "size field");
      values.push_back(ToBytes(*bytes));
      return;
    }
    const auto element = static_cast<std::uint16_t>(type & ~kMultiple);
    const auto bytes = stream(Name(entry.tag));
    if (!bytes) return;
    if (bytes->size() != size) Fault(place, "size field");
    if (const std::size_t fixed = element == 0x0048 ? 16 : FixedSizeOf(element)) {
      if (bytes->size() % fixed != 0) Fault(place, "not whole values");
      for (std::size_t at = 0; at + fixed <= bytes->size(); at += fixed)
        values.emplace_back(bytes->begin() + at, bytes->begin() + at + fixed);
      return;
    }
    const std::size_t step = element == 0x0102 ? 8 : 4;
    for (std::size_t i = 0; (i + 1) * step <= bytes->size(); ++i) {
      const std::uint32_t length = U32At(*bytes, i * step);
      const auto value = stream(Name(entry.tag) + "-" + Hex(static_cast<std::uint32_t>(i), 8));
      if (!value) continue;
      const std::size_t terminator = TerminatorOf(element);
      if (value->size() != length) Fault(place, "length stream entry " + std::to_string(i));
      if (value->size() < terminator ||
          value->find_first_not_of('\0', value->size() - terminator) != std::string::npos) {
        Fault(place, "value " + std::to_string(i) + " lacks its terminator");
        values.push_back(ToBytes(*value));
      } else {
        values.push_back(ToBytes(value->substr(0, value->size() - terminator)));
      }
    }
  }

  const std::vector<pst::PropertyName>& names_;
  std::vector<std::string>& faults_;
};

// The store's bookkeeping, as the MSG copy must leave it out.
bool IsBookkeeping(std::uint16_t id, bool is_message) {
  if (id == 0x0E30 || (id >= 0x0E33 && id <= 0x0E38) || id == 0x0E3C || id == 0x0E3D) return true;
  if (id >= 0x6700 && id <= 0x67FF) return true;
  return is_message && (id == 0x0E12 || id == 0x0E13 || id == 0x340D);
}

void CompareStorage(const Storage& expected, const Storage& actual, const std::string& where,
                    std::vector<std::string>& out) {
  if (expected.class_id != actual.class_id) out.push_back(where + ": class id differs");
  if (expected.streams != actual.streams) out.push_back(where + ": streams differ");
  if (expected.storages.size() != actual.storages.size()) {
    out.push_back(where + ": storage count differs");
    return;
  }
  for (const auto& [name, storage] : expected.storages) {
    const auto found = actual.storages.find(name);
    if (found == actual.storages.end()) {
      out.push_back(where + ": storage " + name + " missing");
    } else {
      CompareStorage(storage, found->second, where + "/" + name, out);
    }
  }
}

void CompareMaps(const PropertyMap& expected, const PropertyMap& actual, const std::string& where,
                 std::vector<std::string>& out) {
  for (const auto& [key, values] : expected) {
    const auto found = actual.find(key);
    if (found == actual.end()) {
      out.push_back(where + ": " + KeyText(key) + " missing");
    } else if (found->second != values) {
      out.push_back(where + ": " + KeyText(key) + " differs");
    }
  }
  for (const auto& [key, values] : actual) {
    if (!expected.count(key)) out.push_back(where + ": " + KeyText(key) + " not in the store");
  }
}

void CompareMessage(const pst::Store& store, const pst::Message& message, const MsgObject& copy,
                    const std::string& where, std::vector<std::string>& out);

void CompareAttachment(const pst::Store& store, const pst::Attachment& attachment,
                       const MsgObject& copy, const std::string& where,
                       std::vector<std::string>& out) {
  CompareMaps(ExpectedProperties(store, attachment.properties(), false), copy.properties, where,
              out);
  const auto object = attachment.properties().Find(0x3701);
  if (!object || object->type != 0x000D) return;
  if (copy.object_size != 0xFFFFFFFF) out.push_back(where + ": object size field");
  if (attachment.method() == 5) {
    auto embedded = attachment.OpenEmbeddedMessage();
    if (!embedded) {
      out.push_back(where + ": " + embedded.error().message());
    } else if (!copy.embedded) {
      out.push_back(where + ": embedded message missing");
    } else {
      CompareMessage(store, *embedded, *copy.embedded, where + "/embedded", out);
    }
    return;
  }
  auto data = attachment.OpenObjectData();
  if (!data) {
    out.push_back(where + ": " + data.error().message());
    return;
  }
  std::string bytes(data->size(), '\0');
  auto read = data->Read(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  TempDir dir;
  const auto path = dir.path() / "object.ole";
  std::ofstream(path, std::ios::binary) << bytes;
  const std::optional<Storage> expected = ReadCompoundFile(path);
  if (!expected || !copy.ole) {
    out.push_back(where + ": OLE storage missing");
    return;
  }
  CompareStorage(*expected, *copy.ole, where + "/ole", out);
}

void CompareMessage(const pst::Store& store, const pst::Message& message, const MsgObject& copy,
                    const std::string& where, std::vector<std::string>& out) {
  PropertyMap actual = copy.properties;
  actual.erase(PropKey{std::uint16_t{0x340D}, 0x0003});  // the MSG's own
  CompareMaps(ExpectedProperties(store, message.properties(), true), actual, where, out);
  auto recipients = message.Recipients();
  if (!recipients) {
    out.push_back(where + ": " + recipients.error().message());
    return;
  }
  if (recipients->size() != copy.recipients.size()) {
    out.push_back(where + ": recipient count differs");
  } else {
    for (std::size_t i = 0; i < recipients->size(); ++i) {
      CompareMaps(ExpectedProperties(store, (*recipients)[i], false), copy.recipients[i].properties,
                  where + "/recipient " + std::to_string(i), out);
    }
  }
  if (message.attachment_count() != copy.attachments.size()) {
    out.push_back(where + ": attachment count differs");
    return;
  }
  for (std::size_t i = 0; i < copy.attachments.size(); ++i) {
    auto attachment = message.OpenAttachment(i);
    if (!attachment) {
      out.push_back(where + ": " + attachment.error().message());
      continue;
    }
    CompareAttachment(store, *attachment, copy.attachments[i],
                      where + "/attachment " + std::to_string(i), out);
  }
}

}  // namespace

std::string KeyText(const PropKey& key) {
  std::string text;
  if (const auto* id = std::get_if<std::uint16_t>(&key.id)) {
    text = "0x" + Hex(*id, 4);
  } else {
    const auto& name = std::get<pst::PropertyName>(key.id);
    if (const auto* lid = std::get_if<std::uint32_t>(&name.id)) {
      text = "LID 0x" + Hex(*lid, 4);
    } else {
      for (char16_t c : std::get<std::u16string>(name.id)) text += static_cast<char>(c);
    }
  }
  return text + " type 0x" + Hex(key.type, 4);
}

std::optional<MsgFile> ReadMsg(const std::filesystem::path& path) {
  std::optional<Storage> root = ReadCompoundFile(path);
  if (!root) return std::nullopt;
  MsgFile file;
  file.root = std::move(*root);
  file.names = ReadNames(file.root, file.faults);
  Reader reader(file.names, file.faults);
  file.message = reader.ReadObject(file.root, 0, "message");
  return file;
}

PropertyMap ExpectedProperties(const pst::Store& store, const pst::PropertyBag& bag,
                               bool is_message) {
  PropertyMap map;
  for (const pst::PropertyInfo& info : bag.properties()) {
    if (IsBookkeeping(info.id, is_message) || info.type == 0x000D) continue;
    PropKey key{info.id, info.type};
    if (info.id >= 0x8000) {
      const auto name = store.NameOfId(info.id);
      if (!name) continue;
      key.id = *name;
    }
    std::vector<Bytes> values;
    if (info.type & kMultiple) {
      auto elements = bag.Elements(info.id);
      if (elements) values = std::move(*elements);
    } else {
      auto raw = bag.Raw(info.id);
      if (raw) values.push_back(std::move(*raw));
    }
    map[key] = std::move(values);
  }
  return map;
}

std::vector<std::string> CompareWithStore(const pst::Store& store, const pst::Message& message,
                                          const MsgObject& copy) {
  std::vector<std::string> out;
  CompareMessage(store, message, copy, "message", out);
  return out;
}

}  // namespace bm::test
