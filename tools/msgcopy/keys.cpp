#include "tools/msgcopy/keys.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "msg/property_rules.h"

namespace bm::msgcopy {

namespace {

struct Unref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

std::string Hex(std::uint32_t value, int digits) {
  char text[12];
  std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string NameKey(const pst::PropertyName& name) {
  std::string key = "{";
  for (const std::uint8_t byte : name.set.bytes) key += Hex(byte, 2);
  key += "}:";
  if (const auto* lid = std::get_if<std::uint32_t>(&name.id)) return key + "0x" + Hex(*lid, 4);
  return key + Utf8(std::get<std::u16string>(name.id));
}

std::string Key(const std::string& prefix, const std::string& id, std::uint16_t type) {
  return prefix + id + "/" + Hex(type, 4);
}

void AddBag(const pst::Store& store, const pst::PropertyBag& bag, msg::ObjectKind kind,
            const std::string& prefix, std::set<std::string>& keys) {
  for (const pst::PropertyInfo& info : bag.properties()) {
    if (msg::LeftOutReason(kind, info) || info.type == pst::type::kObject) continue;
    std::string id = "0x" + Hex(info.id, 4);
    if (info.id >= 0x8000) {
      const auto name = store.NameOfId(info.id);
      if (!name) continue;
      id = NameKey(*name);
    }
    keys.insert(Key(prefix, id, info.type));
  }
}

std::string ReadStream(GsfInfile* storage, const char* name) {
  GPtr<GsfInput> input(gsf_infile_child_by_name(storage, name));
  if (!input) return {};
  std::string bytes(static_cast<std::size_t>(gsf_input_size(input.get())), '\0');
  if (!bytes.empty() &&
      !gsf_input_read(input.get(), bytes.size(), reinterpret_cast<guint8*>(bytes.data()))) {
    return {};
  }
  return bytes;
}

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

std::vector<std::string> ReadNames(GsfInfile* root) {
  std::vector<std::string> names;
  GPtr<GsfInput> input(gsf_infile_child_by_name(root, "__nameid_version1.0"));
  if (!input || !GSF_IS_INFILE(input.get())) return names;
  auto* storage = GSF_INFILE(input.get());
  const std::string guids = ReadStream(storage, "__substg1.0_00020102");
  const std::string entries = ReadStream(storage, "__substg1.0_00030102");
  const std::string strings = ReadStream(storage, "__substg1.0_00040102");
  for (std::size_t at = 0; at + 8 <= entries.size(); at += 8) {
    const std::uint32_t identifier = U32(entries, at);
    const std::uint32_t kind = U32(entries, at + 4);
    const std::uint32_t guid_index = (kind & 0xFFFF) >> 1;
    pst::PropertyName name;
    name.set.bytes = {0, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    if (guid_index == 1) name.set.bytes[0] = 0x28;
    if (guid_index == 2) name.set.bytes[0] = 0x29;
    if (guid_index >= 3 && (guid_index - 3) * 16 + 16 <= guids.size()) {
      std::copy_n(guids.begin() + (guid_index - 3) * 16, 16, name.set.bytes.begin());
    }
    if (kind & 1) {
      std::u16string text;
      if (identifier + 4 <= strings.size()) {
        const std::uint32_t length = U32(strings, identifier);
        for (std::size_t i = 0; i + 1 < length && identifier + 5 + i < strings.size(); i += 2) {
          text.push_back(
              static_cast<char16_t>(static_cast<std::uint8_t>(strings[identifier + 4 + i]) |
                                    static_cast<std::uint8_t>(strings[identifier + 5 + i]) << 8));
        }
      }
      name.id = text;
    } else {
      name.id = identifier;
    }
    names.push_back(NameKey(name));
  }
  return names;
}

void AddStorage(GsfInfile* storage, std::size_t header, const std::vector<std::string>& names,
                const std::string& prefix, std::set<std::string>& keys) {
  const std::string table = ReadStream(storage, "__properties_version1.0");
  for (std::size_t at = header; at + 16 <= table.size(); at += 16) {
    const std::uint32_t tag = U32(table, at);
    const auto id = static_cast<std::uint16_t>(tag >> 16);
    const auto type = static_cast<std::uint16_t>(tag);
    if (type == pst::type::kObject) continue;
    std::string text = "0x" + Hex(id, 4);
    if (id >= 0x8000) {
      if (static_cast<std::size_t>(id - 0x8000) >= names.size()) continue;
      text = names[id - 0x8000];
    }
    keys.insert(Key(prefix, text, type));
  }
}

}  // namespace

KeySet StoredKeys(const pst::Store& store, const pst::Message& message) {
  KeySet set;
  if (auto subject = message.properties().String(0x0037); subject && *subject) {
    set.subject = Utf8(**subject);
  }
  AddBag(store, message.properties(), msg::ObjectKind::kMessage, "", set.keys);
  if (auto recipients = message.Recipients()) {
    for (std::size_t i = 0; i < recipients->size(); ++i) {
      AddBag(store, (*recipients)[i], msg::ObjectKind::kRecipient,
             "recipient " + std::to_string(i) + " ", set.keys);
    }
  }
  for (std::size_t i = 0; i < message.attachment_count(); ++i) {
    if (auto attachment = message.OpenAttachment(i)) {
      AddBag(store, attachment->properties(), msg::ObjectKind::kAttachment,
             "attachment " + std::to_string(i) + " ", set.keys);
    }
  }
  return set;
}

std::optional<KeySet> MsgKeys(const std::filesystem::path& path) {
  GPtr<GsfInput> input(gsf_input_stdio_new(path.c_str(), nullptr));
  if (!input) return std::nullopt;
  GPtr<GsfInfile> root(gsf_infile_msole_new(input.get(), nullptr));
  if (!root) return std::nullopt;
  KeySet set;
  const std::vector<std::string> names = ReadNames(root.get());
  AddStorage(root.get(), 32, names, "", set.keys);
  const std::string subject = ReadStream(root.get(), "__substg1.0_0037001F");
  std::u16string text;
  for (std::size_t i = 0; i + 1 < subject.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(subject[i]) |
                                         static_cast<std::uint8_t>(subject[i + 1]) << 8));
  }
  set.subject = Utf8(text);
  for (int i = 0; i < gsf_infile_num_children(root.get()); ++i) {
    const std::string name = gsf_infile_name_by_index(root.get(), i);
    GPtr<GsfInput> child(gsf_infile_child_by_index(root.get(), i));
    if (!child || !GSF_IS_INFILE(child.get())) continue;
    for (const char* kind : {"__recip_version1.0_#", "__attach_version1.0_#"}) {
      if (!name.starts_with(kind)) continue;
      const unsigned long index = std::stoul(name.substr(std::string(kind).size()), nullptr, 16);
      const std::string prefix =
          std::string(kind[2] == 'r' ? "recipient " : "attachment ") + std::to_string(index) + " ";
      AddStorage(GSF_INFILE(child.get()), 8, names, prefix, set.keys);
    }
  }
  return set;
}

}  // namespace bm::msgcopy
