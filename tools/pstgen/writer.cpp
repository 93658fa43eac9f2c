// The messaging layer: the message store, the name-to-id map, folders with their three
// tables, messages with recipients and attachments.
#include <algorithm>
#include <bit>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "pst/format.h"
#include "tools/pstgen/ltp.h"
#include "tools/pstgen/ndb.h"
#include "tools/pstgen/pstgen.h"

namespace pstgen {
namespace {

namespace fmt = pst::format;
using ltp::Bytes;
using ltp::EncodedValue;

constexpr std::uint16_t kTypeObject = 0x000D;
constexpr std::int32_t kMsgFlagRead = 0x01;
constexpr std::int32_t kMsgFlagHasAttach = 0x10;
constexpr std::int32_t kAttachByValue = 1;
constexpr std::int32_t kAttachEmbeddedMessage = 5;
constexpr std::int32_t kAttachOle = 6;
constexpr std::uint32_t kNameIdBuckets = 251;

// Columns Outlook's own table templates carry.
constexpr std::uint32_t kHierarchyColumns[] = {
    0x0E300003, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003, 0x36030003,
    0x360A000B, 0x3613001F, 0x66350003, 0x66360003, 0x67F20003, 0x67F30003};
constexpr std::uint32_t kContentsColumns[] = {
    0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x00390040, 0x0042001F, 0x0057000B,
    0x0058000B, 0x0070001F, 0x00710102, 0x0E03001F, 0x0E04001F, 0x0E060040, 0x0E070003,
    0x0E080003, 0x0E170003, 0x0E300003, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3C0102,
    0x0E3D0102, 0x0E4A0102, 0x10970003, 0x30080040, 0x65C60003, 0x67F20003, 0x67F30003};
constexpr std::uint32_t kAssocContentsColumns[] = {0x001A001F, 0x0E070003, 0x0E170003, 0x3001001F,
                                                   0x30080040, 0x67F20003, 0x67F30003};
constexpr std::uint32_t kRecipientColumns[] = {
    0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001F, 0x3002001F,
    0x3003001F, 0x300B0102, 0x39000003, 0x39FF001F, 0x3A40000B, 0x67F20003, 0x67F30003};
constexpr std::uint32_t kAttachmentColumns[] = {0x0E200003, 0x3704001F, 0x37050003,
                                                0x370B0003, 0x67F20003, 0x67F30003};

Bytes Utf16Bytes(std::u16string_view text) {
  Bytes bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

template <typename T>
Bytes LittleEndian(T value, std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return bytes;
}

// A multi-valued variable-size value as a store holds it: the count, each value's offset,
// then the values.
Bytes MultipleVariable(const std::vector<Bytes>& values) {
  Bytes bytes = LittleEndian(static_cast<std::uint32_t>(values.size()), 4);
  std::size_t offset = 4 + 4 * values.size();
  for (const Bytes& value : values) {
    const Bytes field = LittleEndian(static_cast<std::uint32_t>(offset), 4);
    bytes.insert(bytes.end(), field.begin(), field.end());
    offset += value.size();
  }
  for (const Bytes& value : values) bytes.insert(bytes.end(), value.begin(), value.end());
  return bytes;
}

Bytes EncodeBytes(const Value& value) {
  struct Visitor {
    Bytes operator()(std::int16_t v) const {
      return LittleEndian(static_cast<std::uint16_t>(v), 2);
    }
    Bytes operator()(std::int32_t v) const {
      return LittleEndian(static_cast<std::uint32_t>(v), 4);
    }
    Bytes operator()(bool v) const { return Bytes{static_cast<std::uint8_t>(v ? 1 : 0)}; }
    Bytes operator()(float v) const { return LittleEndian(std::bit_cast<std::uint32_t>(v), 4); }
    Bytes operator()(double v) const { return LittleEndian(std::bit_cast<std::uint64_t>(v), 8); }
    Bytes operator()(std::int64_t v) const {
      return LittleEndian(static_cast<std::uint64_t>(v), 8);
    }
    Bytes operator()(FileTime v) const { return LittleEndian(v.ticks, 8); }
    Bytes operator()(const std::string& v) const { return Bytes(v.begin(), v.end()); }
    Bytes operator()(const std::u16string& v) const { return Utf16Bytes(v); }
    Bytes operator()(const Binary& v) const { return v; }
    Bytes operator()(const Strings& v) const {
      std::vector<Bytes> values;
      for (const std::u16string& text : v.values) values.push_back(Utf16Bytes(text));
      return MultipleVariable(values);
    }
  };
  return std::visit(Visitor{}, value.storage());
}

constexpr std::uint16_t kTypeString8 = 0x001E;
constexpr std::uint16_t kTypeUnicode = 0x001F;

// A value as a Unicode store holds it.
EncodedValue EncodeUnicode(std::uint16_t id, const Value& value) {
  return {id, static_cast<std::uint16_t>(value.type()), EncodeBytes(value)};
}

// Text columns of an ANSI store's tables are PT_STRING8.
std::vector<std::uint32_t> ColumnsFor(FileFormat format, std::span<const std::uint32_t> tags) {
  std::vector<std::uint32_t> columns(tags.begin(), tags.end());
  if (format == FileFormat::kAnsi) {
    for (std::uint32_t& tag : columns) {
      if ((tag & 0xFFFF) == kTypeUnicode) tag = (tag & 0xFFFF0000u) | kTypeString8;
    }
  }
  return columns;
}

std::u16string Join(const std::vector<std::u16string>& parts) {
  std::u16string joined;
  for (const auto& part : parts) {
    if (!joined.empty()) joined += u"; ";
    joined += part;
  }
  return joined;
}

// Properties of one object, keyed by id, later ones replacing earlier ones.
class ValueSet {
 public:
  void Put(EncodedValue value) { values_[value.id] = std::move(value); }
  void PutIfAbsent(EncodedValue value) { values_.try_emplace(value.id, std::move(value)); }
  bool Has(std::uint16_t id) const { return values_.count(id) != 0; }
  const EncodedValue* Find(std::uint16_t id) const {
    const auto it = values_.find(id);
    return it == values_.end() ? nullptr : &it->second;
  }
  std::vector<EncodedValue> List() const {
    std::vector<EncodedValue> list;
    list.reserve(values_.size());
    for (const auto& [id, value] : values_) list.push_back(value);
    return list;
  }
  std::size_t ByteCount() const {
    std::size_t total = 0;
    for (const auto& [id, value] : values_) total += value.bytes.size() + 8;
    return total;
  }

 private:
  std::map<std::uint16_t, EncodedValue> values_;
};

// Gives each named property its id from 0x8000 on and writes the map at the end.
class NameMap {
 public:
  std::uint16_t IdFor(const PropertyName& name) {
    const auto [it, inserted] = ids_.try_emplace(name, 0);
    if (inserted) {
      if (order_.size() >= 0x7FFF) throw std::invalid_argument("pstgen: too many named properties");
      it->second = static_cast<std::uint16_t>(0x8000 + order_.size());
      order_.push_back(name);
    }
    return it->second;
  }

  std::vector<EncodedValue> Properties() {
    // Readers (libpff) reject a map without entries or with an empty GUID stream, which is
    // what a store naming nothing, or naming only in PS_MAPI and PS_PUBLIC_STRINGS, would
    // have. Such a store lists PidLidReminderDelta, as every store Outlook makes does.
    const bool own_guid = std::any_of(order_.begin(), order_.end(), [](const PropertyName& name) {
      return name.set != kPsMapi && name.set != kPsPublicStrings;
    });
    if (!own_guid) IdFor(PropertyName{kPsetidCommon, std::uint32_t{0x8501}});
    std::vector<Guid> guids;
    Bytes entries;
    Bytes strings;
    std::vector<Bytes> buckets(kNameIdBuckets);
    for (std::size_t i = 0; i < order_.size(); ++i) {
      const PropertyName& name = order_[i];
      const std::uint16_t guid_index = GuidIndex(name.set, guids);
      const bool is_string = std::holds_alternative<std::u16string>(name.id);
      const auto guid_field = static_cast<std::uint16_t>(guid_index << 1 | (is_string ? 1 : 0));
      std::uint32_t property_id = 0;
      std::uint32_t hash = 0;
      if (is_string) {
        const Bytes text = Utf16Bytes(std::get<std::u16string>(name.id));
        property_id = static_cast<std::uint32_t>(strings.size());
        fmt::ByteWriter(strings).U32(static_cast<std::uint32_t>(text.size())).Raw(text);
        strings.resize(fmt::AlignUp(strings.size(), 4), 0);
        hash = fmt::Crc(text);
      } else {
        property_id = std::get<std::uint32_t>(name.id);
        hash = property_id;
      }
      const auto index = static_cast<std::uint16_t>(i);
      fmt::ByteWriter(entries).U32(property_id).U16(guid_field).U16(index);
      fmt::ByteWriter(buckets[(hash ^ guid_field) % kNameIdBuckets])
          .U32(hash)
          .U16(guid_field)
          .U16(index);
    }
    Bytes guid_stream;
    for (const Guid& guid : guids)
      guid_stream.insert(guid_stream.end(), guid.bytes.begin(), guid.bytes.end());

    std::vector<EncodedValue> values;
    values.push_back({0x0001, 0x0003, LittleEndian(kNameIdBuckets, 4)});
    values.push_back({0x0002, 0x0102, guid_stream});
    values.push_back({0x0003, 0x0102, entries});
    values.push_back({0x0004, 0x0102, strings});
    for (std::uint32_t b = 0; b < kNameIdBuckets; ++b) {
      if (!buckets[b].empty())
        values.push_back({static_cast<std::uint16_t>(0x1000 + b), 0x0102, buckets[b]});
    }
    return values;
  }

 private:
  // 1 is PS_MAPI, 2 PS_PUBLIC_STRINGS, 3 and up index the GUID stream.
  static std::uint16_t GuidIndex(const Guid& set, std::vector<Guid>& guids) {
    if (set == kPsMapi) return 1;
    if (set == kPsPublicStrings) return 2;
    auto it = std::find(guids.begin(), guids.end(), set);
    if (it == guids.end()) {
      guids.push_back(set);
      it = guids.end() - 1;
    }
    return static_cast<std::uint16_t>(3 + (it - guids.begin()));
  }

  std::map<PropertyName, std::uint16_t> ids_;
  std::vector<PropertyName> order_;
};

class StoreWriter {
 public:
  StoreWriter(const Store& store, const std::filesystem::path& path)
      : store_(store),
        ndb_(path, store.encryption(), store.format()),
        hierarchy_columns_(ColumnsFor(store.format(), kHierarchyColumns)),
        contents_columns_(ColumnsFor(store.format(), kContentsColumns)),
        assoc_contents_columns_(ColumnsFor(store.format(), kAssocContentsColumns)),
        recipient_columns_(ColumnsFor(store.format(), kRecipientColumns)),
        attachment_columns_(ColumnsFor(store.format(), kAttachmentColumns)) {
    next_index_.fill(0x400);
    next_index_[fmt::kNidTypeSearchFolder] = 0x4000;
    next_index_[fmt::kNidTypeNormalMessage] = 0x10000;
    next_index_[fmt::kNidTypeAssocMessage] = 0x8000;
    store_uid_ = StoreUid(store.display_name());
  }

  void Run() {
    folder_nids_[&store_.root()] = fmt::kNidRootFolder;
    AssignFolderNids(store_.root());
    WriteFolder(store_.root(), fmt::kNidRootFolder);
    WriteMessageStore();
    WriteTemplates();
    ltp::SubnodeSet subnodes;
    WriteNode(fmt::kNidNameToIdMap, 0, ltp::BuildPc(names_.Properties(), ndb_, subnodes), subnodes);
    // Table nodes share their folder's index: keep their counters past it too.
    for (const std::uint32_t type : {fmt::kNidTypeHierarchyTable, fmt::kNidTypeContentsTable,
                                     fmt::kNidTypeAssocContentsTable}) {
      next_index_[type] = std::max(next_index_[type], next_index_[fmt::kNidTypeNormalFolder]);
    }
    ndb_.Finish(next_index_);
  }

 private:
  struct Summary {
    ltp::Row row;
    bool unread = false;
  };

  static std::array<std::uint8_t, 16> StoreUid(std::u16string_view name) {
    std::array<std::uint8_t, 16> uid{};
    const Bytes bytes = Utf16Bytes(name);
    std::uint32_t crc = fmt::Crc(bytes);
    for (std::size_t i = 0; i < uid.size(); ++i) {
      crc = crc * 1103515245u + 12345u + static_cast<std::uint32_t>(i);
      uid[i] = static_cast<std::uint8_t>(crc >> 16);
    }
    return uid;
  }

  std::uint32_t NewNid(std::uint32_t type) {
    if (next_index_[type] >= (1u << 27)) throw std::invalid_argument("pstgen: node ids exhausted");
    return fmt::MakeNid(type, next_index_[type]++);
  }

  void AssignFolderNids(const Folder& folder) {
    for (const auto& child : folder.folders()) {
      folder_nids_[child.get()] = NewNid(fmt::kNidTypeNormalFolder);
      AssignFolderNids(*child);
    }
  }

  void WriteNode(std::uint32_t nid, std::uint32_t parent, const std::vector<Bytes>& blocks,
                 const ltp::SubnodeSet& subnodes) {
    const ltp::WrittenObject written = ltp::WriteObject(ndb_, blocks, subnodes);
    ndb_.AddNode({nid, written.bid_data, written.bid_sub, parent});
  }

  // A value as this store holds it: in ANSI, UTF-16 text becomes Windows-1252 PT_STRING8.
  EncodedValue Encode(std::uint16_t id, const Value& value) const {
    if (const auto* list = std::get_if<Strings>(&value.storage());
        list != nullptr && store_.format() == FileFormat::kAnsi) {
      std::vector<Bytes> values;
      for (const std::u16string& text : list->values) {
        const std::string ansi = ToWindows1252(text);
        values.emplace_back(ansi.begin(), ansi.end());
      }
      return {id, 0x101E, MultipleVariable(values)};
    }
    const auto* text = std::get_if<std::u16string>(&value.storage());
    if (text == nullptr || store_.format() != FileFormat::kAnsi) return EncodeUnicode(id, value);
    const std::string ansi = ToWindows1252(*text);
    return {id, kTypeString8, Bytes(ansi.begin(), ansi.end())};
  }

  EncodedValue EncodeProperty(const Property& property) {
    if (const auto* id = std::get_if<std::uint16_t>(&property.key))
      return Encode(*id, property.value);
    return Encode(names_.IdFor(std::get<PropertyName>(property.key)), property.value);
  }

  void PutAll(ValueSet& values, const PropertyList& list) {
    for (const Property& property : list.items()) values.Put(EncodeProperty(property));
  }

  static ltp::Row RowOf(std::uint32_t row_id, const ValueSet& values,
                        std::span<const std::uint32_t> columns) {
    ltp::Row row;
    row.row_id = row_id;
    for (const std::uint32_t tag : columns) {
      const EncodedValue* value = values.Find(static_cast<std::uint16_t>(tag >> 16));
      if (value && value->type == (tag & 0xFFFF)) row.cells.push_back(*value);
    }
    return row;
  }

  // Columns: the template's plus every tag some row carries.
  static std::vector<std::uint32_t> ColumnsOf(std::span<const std::uint32_t> base,
                                              const std::vector<ValueSet>& rows,
                                              std::uint16_t excluded_id = 0) {
    std::vector<std::uint32_t> columns(base.begin(), base.end());
    for (const ValueSet& row : rows) {
      for (const EncodedValue& value : row.List()) {
        if (value.id != excluded_id) columns.push_back(std::uint32_t{value.id} << 16 | value.type);
      }
    }
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    // One type per id (the lowest); rows whose value has another type leave that cell empty.
    columns.erase(std::unique(columns.begin(), columns.end(),
                              [](std::uint32_t a, std::uint32_t b) { return a >> 16 == b >> 16; }),
                  columns.end());
    return columns;
  }

  void WriteFolder(const Folder& folder, std::uint32_t parent) {
    const std::uint32_t nid = folder_nids_.at(&folder);
    std::vector<ltp::Row> contents;
    std::size_t unread = 0;
    const auto add = [&](const Message& message, std::uint32_t type, std::vector<ltp::Row>& rows,
                         std::span<const std::uint32_t> columns) {
      Summary summary = WriteTopMessage(message, type, nid, columns);
      unread += summary.unread && type == fmt::kNidTypeNormalMessage;
      rows.push_back(std::move(summary.row));
    };
    for (const auto& message : folder.messages()) {
      add(*message, fmt::kNidTypeNormalMessage, contents, contents_columns_);
    }
    for (std::size_t i = 0; i < folder.streamed_count(); ++i) {
      add(folder.source()(i), fmt::kNidTypeNormalMessage, contents, contents_columns_);
    }
    std::vector<ltp::Row> associated;
    for (const auto& message : folder.associated()) {
      add(*message, fmt::kNidTypeAssocMessage, associated, assoc_contents_columns_);
    }
    std::vector<ltp::Row> hierarchy;
    for (const auto& child : folder.folders()) {
      WriteFolder(*child, nid);
      const std::uint32_t child_nid = folder_nids_.at(child.get());
      hierarchy.push_back(
          RowOf(child_nid, FolderValues(*child, child_unread_.at(child_nid)), hierarchy_columns_));
    }
    child_unread_[nid] = unread;

    WriteTable(fmt::WithType(nid, fmt::kNidTypeHierarchyTable), hierarchy_columns_, hierarchy);
    WriteTable(fmt::WithType(nid, fmt::kNidTypeContentsTable), contents_columns_, contents);
    WriteTable(fmt::WithType(nid, fmt::kNidTypeAssocContentsTable), assoc_contents_columns_,
               associated);
    ltp::SubnodeSet subnodes;
    WriteNode(nid, parent, ltp::BuildPc(FolderValues(folder, unread).List(), ndb_, subnodes),
              subnodes);
  }

  void WriteTable(std::uint32_t nid, std::span<const std::uint32_t> columns,
                  const std::vector<ltp::Row>& rows) {
    ltp::SubnodeSet subnodes;
    const auto blocks = ltp::BuildTc(std::vector<std::uint32_t>(columns.begin(), columns.end()),
                                     rows, ndb_, subnodes);
    WriteNode(nid, 0, blocks, subnodes);
  }

  ValueSet FolderValues(const Folder& folder, std::size_t unread) {
    ValueSet values;
    values.Put(Encode(tag::kDisplayName, folder.name()));
    values.Put(Encode(0x3602, static_cast<std::int32_t>(folder.message_count())));
    values.Put(Encode(0x3603, static_cast<std::int32_t>(unread)));
    values.Put(Encode(0x360A, !folder.folders().empty()));
    if (!folder.container_class().empty()) {
      values.Put(Encode(tag::kContainerClass, folder.container_class()));
    }
    PutAll(values, folder.properties());
    return values;
  }

  Summary WriteTopMessage(const Message& message, std::uint32_t type, std::uint32_t folder_nid,
                          std::span<const std::uint32_t> columns) {
    const std::uint32_t nid = NewNid(type);
    ValueSet values;
    const ltp::WrittenObject written = WriteMessageObject(message, values);
    ndb_.AddNode({nid, written.bid_data, written.bid_sub, folder_nid});
    Summary summary;
    summary.row = RowOf(nid, values, columns);
    const EncodedValue* flags = values.Find(tag::kMessageFlags);
    summary.unread = flags && flags->bytes.size() == 4 && (flags->bytes[0] & kMsgFlagRead) == 0;
    return summary;
  }

  // Writes a message's PC with its recipient and attachment tables and attachment objects;
  // `values` receives the properties stored.
  ltp::WrittenObject WriteMessageObject(const Message& message, ValueSet& values) {
    ltp::SubnodeSet subnodes;
    values.Put(Encode(tag::kMessageClass, FromAscii(message.message_class())));
    PutAll(values, message.properties());
    AddRecipientSummaries(message, values);

    WriteRecipientTable(message, subnodes);
    std::size_t attachment_bytes = 0;
    if (!message.attachments().empty()) attachment_bytes = WriteAttachments(message, subnodes);

    const FileTime now = store_.default_time();
    values.PutIfAbsent(
        Encode(tag::kMessageFlags,
               kMsgFlagRead | (message.attachments().empty() ? 0 : kMsgFlagHasAttach)));
    values.PutIfAbsent(Encode(0x0E17, 0));  // PidTagMessageStatus
    values.PutIfAbsent(Encode(tag::kCreationTime, now));
    values.PutIfAbsent(Encode(tag::kLastModificationTime, now));
    values.PutIfAbsent(Encode(0x300B, SearchKey()));  // PidTagSearchKey
    values.PutIfAbsent(
        Encode(tag::kMessageSize, static_cast<std::int32_t>(std::min<std::size_t>(
                                      values.ByteCount() + attachment_bytes, 0x7FFFFFFF))));
    const auto blocks = ltp::BuildPc(values.List(), ndb_, subnodes);
    return ltp::WriteObject(ndb_, blocks, subnodes);
  }

  Binary SearchKey() {
    Binary key(16, 0);
    const std::uint64_t serial = ++search_key_serial_;
    std::copy(store_uid_.begin(), store_uid_.begin() + 8, key.begin());
    for (int i = 0; i < 8; ++i) key[8 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
    return key;
  }

  static std::u16string FromAscii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
  }

  void AddRecipientSummaries(const Message& message, ValueSet& values) const {
    std::vector<std::u16string> to, cc, bcc;
    for (const Recipient& recipient : message.recipients()) {
      if (recipient.type == RecipientType::kTo) to.push_back(recipient.name);
      if (recipient.type == RecipientType::kCc) cc.push_back(recipient.name);
      if (recipient.type == RecipientType::kBcc) bcc.push_back(recipient.name);
    }
    values.PutIfAbsent(Encode(0x0E04, Join(to)));   // PidTagDisplayTo
    values.PutIfAbsent(Encode(0x0E03, Join(cc)));   // PidTagDisplayCc
    values.PutIfAbsent(Encode(0x0E02, Join(bcc)));  // PidTagDisplayBcc
  }

  void WriteRecipientTable(const Message& message, ltp::SubnodeSet& message_subnodes) {
    std::vector<ValueSet> rows;
    for (std::size_t i = 0; i < message.recipients().size(); ++i) {
      const Recipient& recipient = message.recipients()[i];
      ValueSet values;
      values.Put(Encode(tag::kRecipientType, static_cast<std::int32_t>(recipient.type)));
      values.Put(Encode(tag::kDisplayName, recipient.name));
      values.Put(Encode(tag::kAddressType, u"SMTP"));
      values.Put(Encode(tag::kEmailAddress, recipient.address));
      values.Put(Encode(tag::kSmtpAddress, recipient.address));
      values.Put(Encode(0x39FF, recipient.name));                // PidTag7BitDisplayName
      values.Put(Encode(0x0FFE, static_cast<std::int32_t>(6)));  // PidTagObjectType: mail user
      values.Put(Encode(0x3900, static_cast<std::int32_t>(0)));  // PidTagDisplayType: mail user
      values.Put(Encode(0x0E0F, true));                          // PidTagResponsibility
      values.Put(Encode(0x3000, static_cast<std::int32_t>(i)));  // PidTagRowid
      PutAll(values, recipient.properties);
      rows.push_back(std::move(values));
    }
    const std::vector<std::uint32_t> columns = ColumnsOf(recipient_columns_, rows);
    std::vector<ltp::Row> table_rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      table_rows.push_back(RowOf(static_cast<std::uint32_t>(i), rows[i], columns));
    }
    ltp::SubnodeSet subnodes;
    const auto blocks = ltp::BuildTc(columns, table_rows, ndb_, subnodes);
    const ltp::WrittenObject written = ltp::WriteObject(ndb_, blocks, subnodes);
    message_subnodes.Add(fmt::kNidRecipientTable, written.bid_data, written.bid_sub);
  }

  // Returns the bytes the attachments hold, for the message size.
  std::size_t WriteAttachments(const Message& message, ltp::SubnodeSet& message_subnodes) {
    std::vector<ValueSet> rows;
    std::vector<std::uint32_t> nids;
    std::size_t total = 0;
    for (const Attachment& attachment : message.attachments()) {
      const std::uint32_t nid = message_subnodes.NewNid(fmt::kNidTypeAttachment);
      ValueSet values;
      const ltp::WrittenObject written = WriteAttachmentObject(attachment, values);
      message_subnodes.Add(nid, written.bid_data, written.bid_sub);
      total += values.ByteCount();
      rows.push_back(std::move(values));
      nids.push_back(nid);
    }
    // The attachment data itself stays out of the table.
    const std::vector<std::uint32_t> columns =
        ColumnsOf(attachment_columns_, rows, tag::kAttachDataBinary);
    std::vector<ltp::Row> table_rows;
    for (std::size_t i = 0; i < rows.size(); ++i)
      table_rows.push_back(RowOf(nids[i], rows[i], columns));
    ltp::SubnodeSet subnodes;
    const auto blocks = ltp::BuildTc(columns, table_rows, ndb_, subnodes);
    const ltp::WrittenObject written = ltp::WriteObject(ndb_, blocks, subnodes);
    message_subnodes.Add(fmt::kNidAttachmentTable, written.bid_data, written.bid_sub);
    return total;
  }

  ltp::WrittenObject WriteAttachmentObject(const Attachment& attachment, ValueSet& values) {
    ltp::SubnodeSet subnodes;
    if (attachment.long_filename) {
      values.Put(Encode(tag::kAttachLongFilename, *attachment.long_filename));
    }
    values.Put(Encode(0x370B, static_cast<std::int32_t>(-1)));  // PidTagRenderingPosition
    std::size_t size = 0;
    if (const Message* embedded = attachment.embedded()) {
      values.Put(Encode(tag::kAttachMethod, kAttachEmbeddedMessage));
      ValueSet embedded_values;
      const ltp::WrittenObject written = WriteMessageObject(*embedded, embedded_values);
      const std::uint32_t nid = subnodes.NewNid(fmt::kNidTypeNormalMessage);
      subnodes.Add(nid, written.bid_data, written.bid_sub);
      size = embedded_values.ByteCount();
      Bytes object;
      fmt::ByteWriter(object).U32(nid).U32(
          static_cast<std::uint32_t>(std::min<std::size_t>(size, 0xFFFFFFFF)));
      values.Put({tag::kAttachDataBinary, kTypeObject, object});
    } else if (attachment.ole_storage) {
      // The object's bytes lie in a subnode that PidTagAttachDataObject names.
      values.Put(Encode(tag::kAttachMethod, kAttachOle));
      const std::uint32_t nid = subnodes.NewNid(fmt::kNidTypeLtp);
      subnodes.Add(nid, ndb_.WriteData(attachment.data), 0);
      size = attachment.data.size();
      Bytes object;
      fmt::ByteWriter(object).U32(nid).U32(static_cast<std::uint32_t>(size));
      values.Put({tag::kAttachDataBinary, kTypeObject, object});
    } else {
      values.Put(Encode(tag::kAttachMethod, kAttachByValue));
      values.Put({tag::kAttachDataBinary, 0x0102, attachment.data});
      size = attachment.data.size();
    }
    PutAll(values, attachment.properties);
    values.PutIfAbsent(Encode(tag::kAttachSize,
                              static_cast<std::int32_t>(std::min<std::size_t>(size, 0x7FFFFFFF))));
    const auto blocks = ltp::BuildPc(values.List(), ndb_, subnodes);
    return ltp::WriteObject(ndb_, blocks, subnodes);
  }

  Binary EntryId(const Folder& folder) const {
    Binary id(4, 0);
    id.insert(id.end(), store_uid_.begin(), store_uid_.end());
    const Bytes nid = LittleEndian(folder_nids_.at(&folder), 4);
    id.insert(id.end(), nid.begin(), nid.end());
    return id;
  }

  void WriteMessageStore() {
    ValueSet values;
    values.Put(Encode(0x0FF9, Binary(store_uid_.begin(), store_uid_.end())));  // PidTagRecordKey
    values.Put(Encode(tag::kDisplayName, store_.display_name()));
    values.Put(Encode(0x35DF, static_cast<std::int32_t>(0x89)));  // PidTagValidFolderMask
    values.Put(Encode(0x35E0, EntryId(store_.top())));            // PidTagIpmSubTreeEntryId
    values.Put(Encode(0x35E3, EntryId(store_.deleted_items())));  // PidTagIpmWastebasketEntryId
    values.Put(Encode(0x35E7, EntryId(store_.search_root())));    // PidTagFinderEntryId
    values.Put(Encode(0x6633, true));                             // PidTagPstLrNoRestrictions
    values.Put(Encode(0x67FF, static_cast<std::int32_t>(0)));     // PidTagPstPassword
    ltp::SubnodeSet subnodes;
    WriteNode(fmt::kNidMessageStore, 0, ltp::BuildPc(values.List(), ndb_, subnodes), subnodes);
  }

  void WriteTemplates() {
    WriteTable(fmt::kNidHierarchyTableTemplate, hierarchy_columns_, {});
    WriteTable(fmt::kNidContentsTableTemplate, contents_columns_, {});
    WriteTable(fmt::kNidAssocContentsTableTemplate, assoc_contents_columns_, {});
    WriteTable(fmt::kNidSearchContentsTableTemplate, contents_columns_, {});
    WriteTable(fmt::kNidAttachmentTable, attachment_columns_, {});
    WriteTable(fmt::kNidRecipientTable, recipient_columns_, {});
    // Idle search queues: nodes without data, as Outlook leaves them.
    ndb_.AddNode({fmt::kNidSearchManagementQueue, 0, 0, 0});
    ndb_.AddNode({fmt::kNidSearchActivityList, 0, 0, 0});
    ndb_.AddNode({fmt::kNidSearchDomainObject, 0, 0, 0});
  }

  const Store& store_;
  ndb::NdbWriter ndb_;
  NameMap names_;
  std::array<std::uint32_t, 32> next_index_{};
  std::array<std::uint8_t, 16> store_uid_{};
  std::unordered_map<const Folder*, std::uint32_t> folder_nids_;
  std::unordered_map<std::uint32_t, std::size_t> child_unread_;
  std::uint64_t search_key_serial_ = 0;
  const std::vector<std::uint32_t> hierarchy_columns_;
  const std::vector<std::uint32_t> contents_columns_;
  const std::vector<std::uint32_t> assoc_contents_columns_;
  const std::vector<std::uint32_t> recipient_columns_;
  const std::vector<std::uint32_t> attachment_columns_;
};

}  // namespace

void Write(const Store& store, const std::filesystem::path& path) {
  StoreWriter(store, path).Run();
}

}  // namespace pstgen
