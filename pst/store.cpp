// The messaging layer: the store object, the name-to-id map, folders, messages, recipients
// and attachments, over the LTP and NDB layers.
#include "pst/store.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <unordered_map>

#include "base/text.h"
#include "pst/format.h"
#include "pst/ltp.h"
#include "pst/ndb.h"

namespace pst {
namespace fmt = pst::format;
using ndb::Bytes;
using ndb::Hex;

namespace {

constexpr std::uint16_t kTagAttachMethod = 0x3705;
constexpr std::uint16_t kTagAttachData = 0x3701;
// Embedded messages nest this deep at most; deeper is a loop or damage. Above what the MSG
// copy follows (msg/), so the copy's own limit, which keeps what lies below it, is met first.
constexpr int kMaxEmbeddingDepth = 128;

bool IsFolderType(std::uint32_t nid) {
  const std::uint32_t t = fmt::NidType(nid);
  return t == fmt::kNidTypeNormalFolder || t == fmt::kNidTypeSearchFolder;
}

bool IsMultiValued(std::uint16_t t) {
  return (t & type::kMultiple) != 0;
}

}  // namespace

// ---- ValueStream --------------------------------------------------------------------------

class ValueStream::Source {
 public:
  virtual ~Source() = default;
  virtual std::uint64_t size() const = 0;
  virtual Result<std::size_t> ReadAt(std::uint64_t position, std::span<std::uint8_t> out) = 0;
};

namespace {

class MemorySource final : public ValueStream::Source {
 public:
  explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  Result<std::size_t> ReadAt(std::uint64_t position, std::span<std::uint8_t> out) override {
    if (position >= bytes_.size()) return std::size_t{0};
    const std::size_t n = std::min<std::size_t>(out.size(), bytes_.size() - position);
    std::memcpy(out.data(), bytes_.data() + position, n);
    return n;
  }

 private:
  Bytes bytes_;
};

// Reads a data tree one block at a time, keeping only the last block read.
class BlockSource final : public ValueStream::Source {
 public:
  BlockSource(std::shared_ptr<const ndb::Database> db, std::vector<ndb::BlockRef> blocks,
              std::string where)
      : db_(std::move(db)), blocks_(std::move(blocks)), where_(std::move(where)) {
    starts_.reserve(blocks_.size() + 1);
    std::uint64_t at = 0;
    for (const ndb::BlockRef& block : blocks_) {
      starts_.push_back(at);
      at += block.size;
    }
    starts_.push_back(at);
  }
  std::uint64_t size() const override { return starts_.back(); }
  Result<std::size_t> ReadAt(std::uint64_t position, std::span<std::uint8_t> out) override {
    if (position >= size() || out.empty()) return std::size_t{0};
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), position);
    const std::size_t index = static_cast<std::size_t>(it - starts_.begin()) - 1;
    if (index != current_index_) {
      auto block = db_->ReadBlock(blocks_[index].bid);
      if (!block) return block.error().Within(where_);
      if (block->size() != blocks_[index].size) {
        return Error(where_ + ": block " + Hex(blocks_[index].bid) + " changed size");
      }
      current_ = std::move(*block);
      current_index_ = index;
    }
    const std::size_t offset = static_cast<std::size_t>(position - starts_[index]);
    const std::size_t n = std::min(out.size(), current_.size() - offset);
    std::memcpy(out.data(), current_.data() + offset, n);
    return n;
  }

 private:
  std::shared_ptr<const ndb::Database> db_;
  std::vector<ndb::BlockRef> blocks_;
  std::vector<std::uint64_t> starts_;
  std::string where_;
  Bytes current_;
  std::size_t current_index_ = SIZE_MAX;
};

}  // namespace

ValueStream::ValueStream(std::shared_ptr<Source> source) : source_(std::move(source)) {}
ValueStream::~ValueStream() = default;
ValueStream::ValueStream(ValueStream&&) noexcept = default;
ValueStream& ValueStream::operator=(ValueStream&&) noexcept = default;

std::uint64_t ValueStream::size() const {
  return source_ ? source_->size() : 0;
}

Result<std::size_t> ValueStream::Read(std::span<std::uint8_t> out) {
  if (!source_) return std::size_t{0};
  std::size_t done = 0;
  while (done < out.size()) {
    auto n = source_->ReadAt(position_, out.subspan(done));
    if (!n) {
      if (done > 0) break;  // what was read is delivered; the error comes with the next call
      return n.error();
    }
    if (*n == 0) break;
    done += *n;
    position_ += *n;
  }
  return done;
}

// ---- PropertyBag --------------------------------------------------------------------------

class PropertyBag::Data {
 public:
  std::shared_ptr<const ltp::Node> node;
  std::vector<ltp::StoredValue> values;  // id order
  std::vector<PropertyInfo> infos;

  // Builds a bag, reading fixed-size values stored in the heap so their getters cannot fail.
  static Result<std::shared_ptr<const Data>> Make(std::shared_ptr<const ltp::Node> node,
                                                  std::vector<ltp::StoredValue> values) {
    auto data = std::make_shared<Data>();
    for (ltp::StoredValue& value : values) {
      const std::size_t fixed = ltp::FixedSize(value.type);
      if (value.by_reference && fixed != 0 && fixed <= 8) {
        auto bytes = node->ReadHnid(value.hnid);
        if (!bytes) return bytes.error();
        if (bytes->size() != fixed) {
          return Error(node->where + ": property " + Hex(value.id) + " has " +
                       std::to_string(bytes->size()) + " bytes, not " + std::to_string(fixed));
        }
        std::copy(bytes->begin(), bytes->end(), value.inline_bytes);
        value.size = static_cast<std::uint8_t>(fixed);
        value.by_reference = false;
      }
      data->infos.push_back({value.id, value.type});
    }
    data->values = std::move(values);
    data->node = std::move(node);
    return std::shared_ptr<const Data>(std::move(data));
  }

  const ltp::StoredValue* Find(std::uint16_t id) const {
    const auto it = std::lower_bound(
        values.begin(), values.end(), id,
        [](const ltp::StoredValue& value, std::uint16_t key) { return value.id < key; });
    return it != values.end() && it->id == id ? &*it : nullptr;
  }
};

PropertyBag::PropertyBag() : data_(std::make_shared<const Data>()) {}
PropertyBag::PropertyBag(std::shared_ptr<const Data> data) : data_(std::move(data)) {}

std::span<const PropertyInfo> PropertyBag::properties() const {
  return data_->infos;
}

std::optional<PropertyInfo> PropertyBag::Find(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr) return std::nullopt;
  return PropertyInfo{value->id, value->type};
}

namespace {

std::uint64_t InlineValue(const ltp::StoredValue& value) {
  std::uint64_t v = 0;
  for (int i = value.size - 1; i >= 0; --i) v = v << 8 | value.inline_bytes[i];
  return v;
}

}  // namespace

std::optional<std::int16_t> PropertyBag::Int16(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr || value->by_reference || value->type != type::kInt16) return std::nullopt;
  return static_cast<std::int16_t>(InlineValue(*value));
}

std::optional<std::int32_t> PropertyBag::Int32(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr || value->by_reference || value->type != type::kInt32) return std::nullopt;
  return static_cast<std::int32_t>(InlineValue(*value));
}

std::optional<std::int64_t> PropertyBag::Int64(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr || value->by_reference ||
      (value->type != type::kInt64 && value->type != type::kCurrency)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(InlineValue(*value));
}

std::optional<bool> PropertyBag::Boolean(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr || value->by_reference || value->type != type::kBoolean) return std::nullopt;
  return value->inline_bytes[0] != 0;
}

std::optional<double> PropertyBag::Double(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr || value->by_reference) return std::nullopt;
  const std::uint64_t bits = InlineValue(*value);
  if (value->type == type::kFloat) {
    float f;
    const auto b32 = static_cast<std::uint32_t>(bits);
    std::memcpy(&f, &b32, sizeof f);
    return f;
  }
  if (value->type != type::kDouble && value->type != type::kAppTime) return std::nullopt;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::optional<std::uint64_t> PropertyBag::FileTime(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr || value->by_reference || value->type != type::kFileTime) {
    return std::nullopt;
  }
  return InlineValue(*value);
}

Result<std::vector<std::uint8_t>> PropertyBag::Raw(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr) return Error("property " + Hex(id) + " absent");
  if (!value->by_reference) return Bytes(value->inline_bytes, value->inline_bytes + value->size);
  return data_->node->ReadHnid(value->hnid);
}

Result<std::optional<std::vector<std::uint8_t>>> PropertyBag::Binary(std::uint16_t id) const {
  const auto info = Find(id);
  if (!info) return std::optional<Bytes>();
  switch (info->type) {
    case type::kBinary:
    case type::kString8:
    case type::kUnicode:
    case type::kGuid:
    case type::kServerId:
      break;
    default:
      return std::optional<Bytes>();
  }
  auto raw = Raw(id);
  if (!raw) return raw.error();
  return std::optional<Bytes>(std::move(*raw));
}

Result<std::optional<std::u16string>> PropertyBag::String(std::uint16_t id, int code_page) const {
  const auto info = Find(id);
  if (!info || (info->type != type::kUnicode && info->type != type::kString8)) {
    return std::optional<std::u16string>();
  }
  auto raw = Raw(id);
  if (!raw) return raw.error();
  std::u16string text =
      info->type == type::kUnicode ? bm::Utf16LeToText(*raw) : bm::DecodeCodePage(*raw, code_page);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return std::optional<std::u16string>(std::move(text));
}

Result<std::vector<std::vector<std::uint8_t>>> PropertyBag::Elements(std::uint16_t id) const {
  const auto info = Find(id);
  if (!info) return Error("property " + Hex(id) + " absent");
  if (!IsMultiValued(info->type)) return Error("property " + Hex(id) + " is not multi-valued");
  auto raw = Raw(id);
  if (!raw) return raw.error();
  const std::string where = data_->node->where + ": property " + Hex(id);
  std::vector<Bytes> elements;
  const std::size_t fixed = ltp::FixedSize(info->type & ~type::kMultiple);
  if (fixed != 0) {
    if (raw->size() % fixed != 0) return Error(where + ": not a whole number of values");
    for (std::size_t at = 0; at < raw->size(); at += fixed) {
      elements.emplace_back(raw->begin() + static_cast<std::ptrdiff_t>(at),
                            raw->begin() + static_cast<std::ptrdiff_t>(at + fixed));
    }
    return elements;
  }
  if (raw->empty()) return elements;
  if (raw->size() < 4) return Error(where + ": no value count");
  const std::size_t count = fmt::Get32(raw->data());
  if (count > (raw->size() - 4) / 4) return Error(where + ": value count exceeds the value");
  const std::size_t data_start = 4 + 4 * count;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t begin = fmt::Get32(raw->data() + 4 + 4 * i);
    const std::size_t end = i + 1 < count ? fmt::Get32(raw->data() + 8 + 4 * i) : raw->size();
    if (begin < data_start || begin > end || end > raw->size()) {
      return Error(where + ": value " + std::to_string(i) + " lies outside the value");
    }
    elements.emplace_back(raw->begin() + static_cast<std::ptrdiff_t>(begin),
                          raw->begin() + static_cast<std::ptrdiff_t>(end));
  }
  return elements;
}

namespace {

Result<ValueStream> StreamOf(const std::shared_ptr<const ltp::Node>& node, std::uint32_t hnid) {
  if (hnid == 0 || (hnid & 0x1F) == fmt::kNidTypeHid) {
    auto bytes = node->ReadHnid(hnid);
    if (!bytes) return bytes.error();
    return ValueStream(std::make_shared<MemorySource>(std::move(*bytes)));
  }
  const ndb::SubnodeEntry* sub = node->FindSubnode(hnid);
  if (sub == nullptr) return Error(node->where + ": subnode " + Hex(hnid) + " missing");
  const std::string where = node->where + ", subnode " + Hex(hnid);
  auto blocks = node->db->DataBlocks(sub->bid_data);
  if (!blocks) return blocks.error().Within(where);
  return ValueStream(std::make_shared<BlockSource>(node->db, std::move(*blocks), where));
}

}  // namespace

Result<ValueStream> PropertyBag::Stream(std::uint16_t id) const {
  const ltp::StoredValue* value = data_->Find(id);
  if (value == nullptr) return Error("property " + Hex(id) + " absent");
  if (!value->by_reference) {
    return ValueStream(std::make_shared<MemorySource>(
        Bytes(value->inline_bytes, value->inline_bytes + value->size)));
  }
  return StreamOf(data_->node, value->hnid);
}

// ---- Table --------------------------------------------------------------------------------

class Table::Data {
 public:
  std::shared_ptr<const ltp::Node> node;
  ltp::Table table;
  std::vector<PropertyInfo> columns;
};

Table::Table(std::shared_ptr<const Data> data) : data_(std::move(data)) {}

std::size_t Table::row_count() const {
  return data_->table.row_count();
}
std::span<const PropertyInfo> Table::columns() const {
  return data_->columns;
}
std::uint32_t Table::RowId(std::size_t row) const {
  return row < row_count() ? data_->table.RowId(row) : 0;
}
Result<PropertyBag> Table::Row(std::size_t row) const {
  if (row >= row_count()) return Error("row " + std::to_string(row) + " does not exist");
  auto bag = PropertyBag::Data::Make(data_->node, data_->table.Cells(row));
  if (!bag) return bag.error();
  return PropertyBag(std::move(*bag));
}

namespace {

Result<Table> OpenTable(std::shared_ptr<const ltp::Node> node) {
  auto tc = ltp::ReadTc(*node);
  if (!tc) return tc.error();
  auto data = std::make_shared<Table::Data>();
  for (const auto& column : tc->columns) {
    data->columns.push_back(
        {static_cast<std::uint16_t>(column.tag >> 16), static_cast<std::uint16_t>(column.tag)});
  }
  data->table = std::move(*tc);
  data->node = std::move(node);
  return Table(std::shared_ptr<const Table::Data>(std::move(data)));
}

Result<Table> EmptyTable() {
  return Table(std::make_shared<const Table::Data>());
}

}  // namespace

// ---- Store data ---------------------------------------------------------------------------

// Children of one kind, by parent then node id: two parallel arrays so a folder's children
// are one contiguous span.
struct ChildIndex {
  std::vector<std::uint32_t> parents;
  std::vector<Nid> nids;
  std::span<const Nid> Of(Nid parent) const {
    const auto range = std::equal_range(parents.begin(), parents.end(), parent);
    return std::span<const Nid>(nids).subspan(
        static_cast<std::size_t>(range.first - parents.begin()),
        static_cast<std::size_t>(range.second - range.first));
  }
};

class Store::Data {
 public:
  std::shared_ptr<const ndb::Database> db;
  PropertyBag properties;
  std::vector<std::pair<Nid, Nid>> parent_of;  // (nid, parent), by nid
  std::vector<Nid> rehung;                     // sorted; see FolderParents
  ChildIndex folders;
  ChildIndex messages;
  ChildIndex associated;
  std::vector<PropertyName> names;  // by id - 0x8000
  std::map<PropertyName, std::uint16_t> ids;

  Result<std::shared_ptr<const ltp::Node>> OpenNodeOf(Nid nid) const {
    auto entry = db->FindNode(nid);
    if (!entry) return entry.error();
    return ltp::OpenNode(db, nid, entry->bid_data, entry->bid_sub, "node " + Hex(nid));
  }
};

namespace {

Result<PropertyBag> ReadBag(std::shared_ptr<const ltp::Node> node) {
  auto values = ltp::ReadPc(*node);
  if (!values) return values.error();
  auto bag = PropertyBag::Data::Make(std::move(node), std::move(*values));
  if (!bag) return bag.error();
  return PropertyBag(std::move(*bag));
}

// The folders' parent links with every loop broken: a folder that names itself, or one of its
// own sub-folders, as parent would take itself and everything below it out of the tree. The
// lowest folder of each loop is hung under the root folder instead (listed in `rehung`), so
// the loop's folders and their items stay in the tree; a top folder whose link alone is
// damaged lands back where it belongs.
std::unordered_map<Nid, Nid> FolderParents(const std::vector<ndb::NodeEntry>& nodes,
                                           std::vector<Nid>& rehung) {
  std::unordered_map<Nid, Nid> parent;
  for (const auto& node : nodes) {
    if (IsFolderType(node.nid)) parent[node.nid] = node.parent;
  }
  std::unordered_map<Nid, bool> reaches_top;
  for (const auto& entry : parent) {
    std::vector<Nid> chain;
    std::unordered_map<Nid, std::size_t> place;  // on this walk: the folder's index in `chain`
    Nid at = entry.first;
    while (at != fmt::kNidRootFolder && reaches_top.count(at) == 0) {
      const auto up = parent.find(at);
      if (up == parent.end()) break;  // above the folders: the chain ends here
      if (const auto seen = place.find(at); seen != place.end()) {
        const auto loop_start = chain.begin() + static_cast<std::ptrdiff_t>(seen->second);
        const Nid lowest = *std::min_element(loop_start, chain.end());
        parent[lowest] = fmt::kNidRootFolder;  // an existing key: no rehash during the loop
        rehung.push_back(lowest);
        break;
      }
      place.emplace(at, chain.size());
      chain.push_back(at);
      at = up->second;
    }
    for (const Nid nid : chain) reaches_top[nid] = true;
  }
  std::sort(rehung.begin(), rehung.end());
  return parent;
}

void BuildIndex(Store::Data& data, const std::vector<ndb::NodeEntry>& nodes) {
  const std::unordered_map<Nid, Nid> folder_parent = FolderParents(nodes, data.rehung);
  for (const Nid nid : data.rehung) {
    data.db->Warn("folder " + Hex(nid) +
                  " names itself or one of its sub-folders as parent; hung under the root folder");
  }
  std::vector<std::pair<Nid, Nid>> folders, messages, associated;  // (parent, nid)
  data.parent_of.reserve(nodes.size());
  for (const auto& node : nodes) {
    const bool is_folder = IsFolderType(node.nid);
    const Nid parent = is_folder ? folder_parent.at(node.nid) : node.parent;
    data.parent_of.emplace_back(node.nid, parent);
    // The root folder tops the tree whatever its parent link says: under one of its own
    // sub-folders it would make the tree endless.
    if (node.nid == fmt::kNidRootFolder) continue;
    if (is_folder) {
      folders.emplace_back(parent, node.nid);
      continue;
    }
    if (node.parent == node.nid) continue;
    const std::uint32_t t = fmt::NidType(node.nid);
    if (t == fmt::kNidTypeNormalMessage) {
      messages.emplace_back(node.parent, node.nid);
    } else if (t == fmt::kNidTypeAssocMessage) {
      associated.emplace_back(node.parent, node.nid);
    }
  }
  const auto fill = [](std::vector<std::pair<Nid, Nid>>& pairs, ChildIndex& index) {
    std::sort(pairs.begin(), pairs.end());
    index.parents.reserve(pairs.size());
    index.nids.reserve(pairs.size());
    for (const auto& [parent, nid] : pairs) {
      index.parents.push_back(parent);
      index.nids.push_back(nid);
    }
  };
  fill(folders, data.folders);
  fill(messages, data.messages);
  fill(associated, data.associated);
}

Guid GuidAt(const std::uint8_t* p) {
  Guid guid;
  std::copy_n(p, 16, guid.bytes.begin());
  return guid;
}

constexpr Guid kPsMapi{{0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x46}};
constexpr Guid kPsPublicStrings{{0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x46}};

// Reads the name-to-id map: its entry stream names each id by a LID or a string offset.
bm::Status ReadNameMap(Store::Data& data) {
  auto node = data.OpenNodeOf(fmt::kNidNameToIdMap);
  if (!node) return node.error();
  auto bag = ReadBag(*node);
  if (!bag) return bag.error();
  const auto stream = [&](std::uint16_t id) -> Result<Bytes> {
    if (!bag->Has(id)) return Bytes();
    return bag->Raw(id);
  };
  auto guids = stream(0x0002);
  auto entries = stream(0x0003);
  auto strings = stream(0x0004);
  if (!guids) return guids.error();
  if (!entries) return entries.error();
  if (!strings) return strings.error();
  const std::size_t count = entries->size() / 8;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = entries->data() + 8 * i;
    const std::uint32_t key = fmt::Get32(e);
    const std::uint16_t guid_index = fmt::Get16(e + 4) >> 1;
    const bool is_string = (fmt::Get16(e + 4) & 1) != 0;
    const std::uint16_t index = fmt::Get16(e + 6);
    PropertyName name;
    if (guid_index == 1) {
      name.set = kPsMapi;
    } else if (guid_index == 2) {
      name.set = kPsPublicStrings;
    } else if (guid_index >= 3 && (guid_index - 3u) * 16 + 16 <= guids->size()) {
      name.set = GuidAt(guids->data() + std::size_t{guid_index - 3u} * 16);
    } else {
      data.db->Warn("name-to-id map entry " + std::to_string(i) + ": unknown property set");
      continue;
    }
    if (is_string) {
      if (key > strings->size() || strings->size() - key < 4 ||
          fmt::Get32(strings->data() + key) > strings->size() - key - 4) {
        data.db->Warn("name-to-id map entry " + std::to_string(i) + ": name lies outside");
        continue;
      }
      const std::size_t length = fmt::Get32(strings->data() + key);
      name.id = bm::Utf16LeToText(std::span(strings->data() + key + 4, length));
    } else {
      name.id = key;
    }
    if (data.names.size() <= index) data.names.resize(std::size_t{index} + 1);
    data.ids.emplace(name, static_cast<std::uint16_t>(0x8000 + index));
    data.names[index] = std::move(name);
  }
  return {};
}

}  // namespace

Store::Store(std::shared_ptr<const Data> data) : data_(std::move(data)) {}

Result<Store> Store::Open(const std::filesystem::path& path, const OpenOptions& options) {
  auto file = ndb::File::Open(path, options.memory_map);
  if (!file) return file.error();
  auto header = ndb::ReadHeader(**file, options.warn);
  if (!header) return header.error();
  auto data = std::make_shared<Data>();
  data->db = std::make_shared<const ndb::Database>(std::move(*file), *header,
                                                   options.page_cache_bytes, options.warn);
  auto nodes = data->db->AllNodes();
  if (!nodes) return nodes.error();
  BuildIndex(*data, *nodes);
  nodes->clear();
  nodes->shrink_to_fit();
  if (auto node = data->OpenNodeOf(fmt::kNidMessageStore); !node) {
    data->db->Warn("the message store object: " + node.error().message());
  } else if (auto bag = ReadBag(*node); !bag) {
    data->db->Warn("the message store object: " + bag.error().message());
  } else {
    data->properties = std::move(*bag);
  }
  if (auto names = ReadNameMap(*data); !names) {
    data->db->Warn("the name-to-id map: " + names.error().message());
  }
  return Store(std::shared_ptr<const Data>(std::move(data)));
}

FileFormat Store::format() const {
  return data_->db->header().format;
}
Encryption Store::encryption() const {
  return data_->db->header().encryption;
}
std::uint64_t Store::file_size() const {
  return data_->db->file().size();
}
const PropertyBag& Store::properties() const {
  return data_->properties;
}
Nid Store::root_folder() const {
  return fmt::kNidRootFolder;
}
std::span<const Nid> Store::SubFolders(Nid folder) const {
  return data_->folders.Of(folder);
}
std::span<const Nid> Store::Messages(Nid folder) const {
  return data_->messages.Of(folder);
}
std::span<const Nid> Store::AssociatedMessages(Nid folder) const {
  return data_->associated.Of(folder);
}

std::optional<Nid> Store::Parent(Nid nid) const {
  const auto& v = data_->parent_of;
  const auto it = std::lower_bound(v.begin(), v.end(), std::pair<Nid, Nid>(nid, 0));
  if (it == v.end() || it->first != nid) return std::nullopt;
  return it->second;
}

bool Store::Rehung(Nid folder) const {
  return std::binary_search(data_->rehung.begin(), data_->rehung.end(), folder);
}

bool Store::Contains(Nid nid) const {
  return Parent(nid).has_value();
}

std::optional<std::uint16_t> Store::IdOfName(const PropertyName& name) const {
  const auto it = data_->ids.find(name);
  if (it == data_->ids.end()) return std::nullopt;
  return it->second;
}

std::optional<PropertyName> Store::NameOfId(std::uint16_t id) const {
  if (id < 0x8000 || std::size_t{id} - 0x8000 >= data_->names.size()) return std::nullopt;
  const PropertyName& name = data_->names[id - 0x8000];
  if (name.set == Guid{} && std::holds_alternative<std::uint32_t>(name.id) &&
      std::get<std::uint32_t>(name.id) == 0) {
    return std::nullopt;  // a gap in the map
  }
  return name;
}

// ---- Folder -------------------------------------------------------------------------------

namespace {

// A folder's tables are nodes of their own: they stay readable when the folder's property
// node is damaged, so its items can still be found.
Result<Table> FolderTable(const Store::Data& store, Nid folder, std::uint32_t type) {
  auto node = store.OpenNodeOf(fmt::WithType(folder, type));
  if (!node) return node.error();
  return OpenTable(std::move(*node));
}

}  // namespace

class Folder::Data {
 public:
  std::shared_ptr<const Store::Data> store;
  Nid nid = 0;
  PropertyBag properties;

  Result<Table> TableOf(std::uint32_t type) const { return FolderTable(*store, nid, type); }
};

Folder::Folder(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
Nid Folder::nid() const {
  return data_->nid;
}
const PropertyBag& Folder::properties() const {
  return data_->properties;
}
Result<Table> Folder::ContentsTable() const {
  return data_->TableOf(fmt::kNidTypeContentsTable);
}
Result<Table> Folder::HierarchyTable() const {
  return data_->TableOf(fmt::kNidTypeHierarchyTable);
}
Result<Table> Folder::AssociatedContentsTable() const {
  return data_->TableOf(fmt::kNidTypeAssocContentsTable);
}

namespace {

// The ids of a table's rows, sorted; an error when the table cannot be read.
Result<std::vector<Nid>> SortedRowIds(const Result<Table>& table) {
  if (!table) return table.error();
  std::vector<Nid> ids;
  ids.reserve(table->row_count());
  for (std::size_t row = 0; row < table->row_count(); ++row) ids.push_back(table->RowId(row));
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Warns about each way a table's rows and the node tree's children of a folder disagree.
std::size_t CompareChildren(const ndb::Database& db, Nid folder, std::string_view table_name,
                            const Result<Table>& table, std::span<const Nid> children) {
  auto rows = SortedRowIds(table);
  const std::string where = "folder " + Hex(folder) + ": " + std::string(table_name);
  if (!rows) {
    db.Warn(where + " cannot be read (" + rows.error().message() + "); the node tree is used");
    return 1;
  }
  std::vector<Nid> listed(children.begin(), children.end());
  std::sort(listed.begin(), listed.end());
  std::vector<Nid> only_in_table;
  std::vector<Nid> only_in_tree;
  std::set_difference(rows->begin(), rows->end(), listed.begin(), listed.end(),
                      std::back_inserter(only_in_table));
  std::set_difference(listed.begin(), listed.end(), rows->begin(), rows->end(),
                      std::back_inserter(only_in_tree));
  for (Nid nid : only_in_table)
    db.Warn(where + " lists " + Hex(nid) + ", which the node tree has not");
  for (Nid nid : only_in_tree) db.Warn(where + " misses " + Hex(nid) + ", which the node tree has");
  return only_in_table.size() + only_in_tree.size();
}

}  // namespace

std::size_t Store::CrossCheckTables(Nid nid) const {
  // A search folder has no sub-folders, and its contents are references to messages
  // elsewhere, in a table of its own.
  if (fmt::NidType(nid) != fmt::kNidTypeNormalFolder || !Contains(nid)) return 0;
  const ndb::Database& db = *data_->db;
  return CompareChildren(db, nid, "hierarchy table",
                         FolderTable(*data_, nid, fmt::kNidTypeHierarchyTable), SubFolders(nid)) +
         CompareChildren(db, nid, "contents table",
                         FolderTable(*data_, nid, fmt::kNidTypeContentsTable), Messages(nid));
}

Store::FolderMessages Store::MessagesWithContentsTable(Nid nid) const {
  FolderMessages found;
  const std::span<const Nid> in_tree = Messages(nid);
  found.messages.assign(in_tree.begin(), in_tree.end());
  if (fmt::NidType(nid) != fmt::kNidTypeNormalFolder || !Contains(nid)) return found;
  auto rows = SortedRowIds(FolderTable(*data_, nid, fmt::kNidTypeContentsTable));
  if (!rows) return found;
  rows->erase(std::unique(rows->begin(), rows->end()), rows->end());
  std::vector<Nid> listed(in_tree.begin(), in_tree.end());
  std::sort(listed.begin(), listed.end());
  std::vector<Nid> only_in_table;
  std::set_difference(rows->begin(), rows->end(), listed.begin(), listed.end(),
                      std::back_inserter(only_in_table));
  const bool table_whole = std::includes(rows->begin(), rows->end(), listed.begin(), listed.end());
  std::vector<Nid> added;
  for (const Nid message : only_in_table) {
    // A row id that is no message's cannot be one of this folder's items.
    if (fmt::NidType(message) != fmt::kNidTypeNormalMessage) continue;
    const bool held = Contains(message);
    (held ? found.recovered : found.missing).push_back(message);
    if (held || table_whole) added.push_back(message);
  }
  if (added.empty()) return found;
  std::vector<Nid> merged;
  merged.reserve(found.messages.size() + added.size());
  std::merge(found.messages.begin(), found.messages.end(), added.begin(), added.end(),
             std::back_inserter(merged));
  found.messages = std::move(merged);
  return found;
}

Result<Folder> Store::OpenFolder(Nid nid) const {
  if (!IsFolderType(nid)) return Error("node " + Hex(nid) + " is not a folder");
  auto node = data_->OpenNodeOf(nid);
  if (!node) return node.error();
  auto bag = ReadBag(std::move(*node));
  if (!bag) return bag.error();
  auto data = std::make_shared<Folder::Data>();
  data->store = data_;
  data->nid = nid;
  data->properties = std::move(*bag);
  return Folder(std::move(data));
}

// ---- Message and Attachment --------------------------------------------------------------

class Message::Data {
 public:
  std::shared_ptr<const Store::Data> store;
  Nid nid = 0;
  int depth = 0;  // embedding depth: 0 for a message in a folder
  std::shared_ptr<const ltp::Node> node;
  PropertyBag properties;

  Result<std::shared_ptr<const ltp::Node>> Subnode(std::uint32_t sub_nid, bool& present) const {
    const ndb::SubnodeEntry* sub = node->FindSubnode(sub_nid);
    present = sub != nullptr;
    if (!present) return std::shared_ptr<const ltp::Node>();
    return ltp::OpenNode(node->db, sub_nid, sub->bid_data, sub->bid_sub,
                         node->where + ", subnode " + Hex(sub_nid));
  }
};

class Attachment::Data {
 public:
  std::shared_ptr<const Message::Data> message;
  Nid nid = 0;
  std::shared_ptr<const ltp::Node> node;
  PropertyBag properties;
};

namespace {

Result<Message> MakeMessage(std::shared_ptr<const Store::Data> store, Nid nid, int depth,
                            std::shared_ptr<const ltp::Node> node) {
  auto bag = ReadBag(node);
  if (!bag) return bag.error();
  auto data = std::make_shared<Message::Data>();
  data->store = std::move(store);
  data->nid = nid;
  data->depth = depth;
  data->node = std::move(node);
  data->properties = std::move(*bag);
  return Message(std::move(data));
}

}  // namespace

Result<Message> Store::OpenMessage(Nid nid) const {
  auto node = data_->OpenNodeOf(nid);
  if (!node) return node.error();
  return MakeMessage(data_, nid, 0, std::move(*node));
}

Message::Message(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
Nid Message::nid() const {
  return data_->nid;
}
const PropertyBag& Message::properties() const {
  return data_->properties;
}

Result<std::vector<PropertyBag>> Message::Recipients() const {
  bool present = false;
  auto node = data_->Subnode(fmt::kNidRecipientTable, present);
  if (!node) return node.error();
  std::vector<PropertyBag> rows;
  if (!present) return rows;
  auto table = OpenTable(std::move(*node));
  if (!table) return table.error();
  rows.reserve(table->row_count());
  for (std::size_t i = 0; i < table->row_count(); ++i) {
    auto row = table->Row(i);
    if (!row) return row.error();
    rows.push_back(std::move(*row));
  }
  return rows;
}

Result<Table> Message::AttachmentTable() const {
  bool present = false;
  auto node = data_->Subnode(fmt::kNidAttachmentTable, present);
  if (!node) return node.error();
  if (!present) return EmptyTable();
  return OpenTable(std::move(*node));
}

std::size_t Message::attachment_count() const {
  auto table = AttachmentTable();
  return table ? table->row_count() : 0;
}

Result<Attachment> Message::OpenAttachment(std::size_t index) const {
  auto table = AttachmentTable();
  if (!table) return table.error();
  if (index >= table->row_count()) {
    return Error(data_->node->where + ": attachment " + std::to_string(index) + " does not exist");
  }
  const Nid nid = table->RowId(index);
  bool present = false;
  auto node = data_->Subnode(nid, present);
  if (!node) return node.error();
  if (!present) return Error(data_->node->where + ": subnode " + Hex(nid) + " missing");
  auto bag = ReadBag(*node);
  if (!bag) return bag.error();
  auto data = std::make_shared<Attachment::Data>();
  data->message = data_;
  data->nid = nid;
  data->node = std::move(*node);
  data->properties = std::move(*bag);
  return Attachment(std::move(data));
}

Attachment::Attachment(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
Nid Attachment::nid() const {
  return data_->nid;
}
const PropertyBag& Attachment::properties() const {
  return data_->properties;
}
std::int32_t Attachment::method() const {
  return data_->properties.Int32(kTagAttachMethod).value_or(0);
}

Result<ValueStream> Attachment::OpenData() const {
  const auto info = data_->properties.Find(kTagAttachData);
  if (!info || info->type != type::kBinary) {
    return Error(data_->node->where + ": no attachment data");
  }
  return data_->properties.Stream(kTagAttachData);
}

namespace {

// PidTagAttachDataObject names the subnode holding the object: a heap item with the subnode's
// id and size, or (as some writers store it) the subnode id itself.
Result<Nid> ObjectSubnode(const Attachment::Data& data) {
  const auto info = data.properties.Find(kTagAttachData);
  if (!info || info->type != type::kObject) {
    return Error(data.node->where + ": no attached object");
  }
  auto raw = data.properties.Raw(kTagAttachData);
  if (!raw) return raw.error();
  if (raw->size() < 4) return Error(data.node->where + ": attached object reference too short");
  return fmt::Get32(raw->data());
}

}  // namespace

Result<Message> Attachment::OpenEmbeddedMessage() const {
  auto sub_nid = ObjectSubnode(*data_);
  if (!sub_nid) return sub_nid.error();
  const Message::Data& parent = *data_->message;
  if (parent.depth + 1 > kMaxEmbeddingDepth) {
    return Error(data_->node->where + ": embedded messages nest too deep");
  }
  const ndb::SubnodeEntry* sub = data_->node->FindSubnode(*sub_nid);
  if (sub == nullptr) return Error(data_->node->where + ": subnode " + Hex(*sub_nid) + " missing");
  auto node = ltp::OpenNode(data_->node->db, *sub_nid, sub->bid_data, sub->bid_sub,
                            data_->node->where + ", subnode " + Hex(*sub_nid));
  if (!node) return node.error();
  return MakeMessage(parent.store, *sub_nid, parent.depth + 1, std::move(*node));
}

Result<ValueStream> Attachment::OpenObjectData() const {
  auto sub_nid = ObjectSubnode(*data_);
  if (!sub_nid) return sub_nid.error();
  return StreamOf(data_->node, *sub_nid);
}

}  // namespace pst
