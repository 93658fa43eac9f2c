// Test-side reading of an MSG file property by property, and its comparison with the stored
// message it was copied from. Independent of msg/: layouts and the bookkeeping list are
// restated here from MS-OXMSG, so a fault in the writer's tables shows.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "convert/msg_inspect.h"
#include "pst/store.h"

namespace bm::test {

using Bytes = std::vector<std::uint8_t>;

// A property: its id (named ones by name) and type.
struct PropKey {
  std::variant<std::uint16_t, pst::PropertyName> id;
  std::uint16_t type = 0;
  friend auto operator<=>(const PropKey&, const PropKey&) = default;
  friend bool operator==(const PropKey&, const PropKey&) = default;
};

// Values as stored bytes: one element for a single value (a fixed value at its own size, a
// string without terminator), each value's bytes for a multi-valued one.
using PropertyMap = std::map<PropKey, std::vector<Bytes>>;

struct MsgObject {
  PropertyMap properties;
  std::vector<MsgObject> recipients;
  std::vector<MsgObject> attachments;
  std::shared_ptr<MsgObject> embedded;  // an attachment's embedded message
  std::optional<Storage> ole;           // an attachment's OLE storage
  std::uint32_t object_size = 0;        // the PidTagAttachDataObject entry's size field
};

struct MsgFile {
  MsgObject message;
  std::vector<pst::PropertyName> names;  // the MSG's id 0x8000 + i is names[i]
  std::vector<std::string> faults;       // layout faults met while reading
  Storage root;
};

// nullopt when the file is not a compound file.
std::optional<MsgFile> ReadMsg(const std::filesystem::path& path);

// What the MSG copy of `message` must hold: every stored property but the bookkeeping.
PropertyMap ExpectedProperties(const pst::Store& store, const pst::PropertyBag& bag,
                               bool is_message);

// Every difference between the stored message (with its recipients, attachments and
// embedded messages) and the MSG object, each as a line naming where; empty when equal.
std::vector<std::string> CompareWithStore(const pst::Store& store, const pst::Message& message,
                                          const MsgObject& copy);

std::string KeyText(const PropKey& key);

}  // namespace bm::test
