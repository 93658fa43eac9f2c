// The builder objects: plain data that the writer walks.
#include <stdexcept>

#include "base/compressed_rtf.h"
#include "tools/pstgen/pstgen.h"

namespace pstgen {

Binary Bytes(std::string_view text) {
  return Binary(text.begin(), text.end());
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint64_t ParseHex(std::string_view text) {
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) throw std::invalid_argument("malformed GUID");
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

}  // namespace

Guid Guid::Parse(std::string_view text) {
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
      text[23] != '-') {
    throw std::invalid_argument("malformed GUID");
  }
  Guid guid;
  const std::uint64_t data1 = ParseHex(text.substr(0, 8));
  const std::uint64_t data2 = ParseHex(text.substr(9, 4));
  const std::uint64_t data3 = ParseHex(text.substr(14, 4));
  for (int i = 0; i < 4; ++i) guid.bytes[i] = static_cast<std::uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) guid.bytes[4 + i] = static_cast<std::uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) guid.bytes[6 + i] = static_cast<std::uint8_t>(data3 >> (8 * i));
  const std::string tail = std::string(text.substr(19, 4)) + std::string(text.substr(24, 12));
  for (int i = 0; i < 8; ++i) {
    guid.bytes[8 + i] =
        static_cast<std::uint8_t>(ParseHex(std::string_view(tail).substr(2 * i, 2)));
  }
  return guid;
}

const Guid kPsMapi = Guid::Parse("00020328-0000-0000-C000-000000000046");
const Guid kPsPublicStrings = Guid::Parse("00020329-0000-0000-C000-000000000046");
const Guid kPsetidCommon = Guid::Parse("00062008-0000-0000-C000-000000000046");
const Guid kPsetidAddress = Guid::Parse("00062004-0000-0000-C000-000000000046");
const Guid kPsetidAppointment = Guid::Parse("00062002-0000-0000-C000-000000000046");
const Guid kPsetidTask = Guid::Parse("00062003-0000-0000-C000-000000000046");

FileTime FileTime::FromUnixSeconds(std::int64_t seconds) {
  constexpr std::int64_t kEpochDifference = 11644473600;  // 1601-01-01 to 1970-01-01
  return FileTime{static_cast<std::uint64_t>(seconds + kEpochDifference) * 10000000u};
}

PropType Value::type() const {
  static constexpr PropType kTypes[] = {
      PropType::kInt16,   PropType::kInt32,  PropType::kBoolean,        PropType::kFloat,
      PropType::kDouble,  PropType::kInt64,  PropType::kFileTime,       PropType::kString8,
      PropType::kUnicode, PropType::kBinary, PropType::kMultipleUnicode};
  static_assert(std::size(kTypes) == std::variant_size_v<Storage>);
  return kTypes[storage_.index()];
}

void PropertyList::SetKey(std::variant<std::uint16_t, PropertyName> key, Value value) {
  for (Property& property : items_) {
    if (property.key == key) {
      property.value = std::move(value);
      return;
    }
  }
  items_.push_back(Property{std::move(key), std::move(value)});
}

void PropertyList::Set(std::uint16_t prop_id, Value value) {
  if (prop_id >= 0x8000) {
    throw std::invalid_argument("property ids from 0x8000 are named properties: use SetNamed");
  }
  SetKey(prop_id, std::move(value));
}

void PropertyList::SetNamed(PropertyName name, Value value) {
  SetKey(std::move(name), std::move(value));
}

const Value* PropertyList::Find(std::uint16_t prop_id) const {
  for (const Property& property : items_) {
    if (const auto* id = std::get_if<std::uint16_t>(&property.key); id && *id == prop_id) {
      return &property.value;
    }
  }
  return nullptr;
}

const Value* PropertyList::FindNamed(const PropertyName& name) const {
  for (const Property& property : items_) {
    if (const auto* key = std::get_if<PropertyName>(&property.key); key && *key == name) {
      return &property.value;
    }
  }
  return nullptr;
}

Attachment::Attachment() = default;
Attachment::~Attachment() = default;
Attachment::Attachment(Attachment&&) noexcept = default;
Attachment& Attachment::operator=(Attachment&&) noexcept = default;

Message& Attachment::MakeEmbedded(std::string message_class) {
  embedded_ = std::make_unique<Message>(std::move(message_class));
  return *embedded_;
}

Message::Message(std::string message_class) : message_class_(std::move(message_class)) {}
Message::Message(Message&&) noexcept = default;
Message& Message::operator=(Message&&) noexcept = default;
Message::~Message() = default;

Message& Message::Set(std::uint16_t prop_id, Value value) {
  if (prop_id == tag::kMessageClass) {
    if (const auto* text = std::get_if<std::string>(&value.storage())) message_class_ = *text;
  }
  properties_.Set(prop_id, std::move(value));
  return *this;
}

Message& Message::SetNamed(const Guid& set, std::uint32_t lid, Value value) {
  properties_.SetNamed(PropertyName{set, lid}, std::move(value));
  return *this;
}

Message& Message::SetNamed(const Guid& set, std::u16string name, Value value) {
  properties_.SetNamed(PropertyName{set, std::move(name)}, std::move(value));
  return *this;
}

Message& Message::SetSubject(std::u16string_view subject) {
  return Set(tag::kSubject, std::u16string(subject));
}

Message& Message::SetBody(std::u16string_view body) {
  return Set(tag::kBody, std::u16string(body));
}

Message& Message::SetHtml(std::string_view html) {
  return Set(tag::kHtml, Bytes(html));
}

Message& Message::SetRtf(std::string_view rtf) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(rtf.data());
  return Set(tag::kRtfCompressed, bm::CompressRtf(std::span(bytes, rtf.size())));
}

Recipient& Message::AddRecipient(std::u16string name, std::u16string address, RecipientType type) {
  Recipient& recipient = recipients_.emplace_back();
  recipient.name = std::move(name);
  recipient.address = std::move(address);
  recipient.type = type;
  return recipient;
}

Attachment& Message::AddAttachment(std::optional<std::u16string> long_filename, Binary data) {
  Attachment& attachment = attachments_.emplace_back();
  attachment.long_filename = std::move(long_filename);
  attachment.data = std::move(data);
  return attachment;
}

Attachment& Message::AddOleAttachment(std::u16string display_name, Binary compound_file) {
  Attachment& attachment = attachments_.emplace_back();
  attachment.Set(tag::kDisplayName, std::move(display_name));
  attachment.data = std::move(compound_file);
  attachment.ole_storage = true;
  return attachment;
}

Message& Message::AddEmbeddedMessage(std::u16string display_name, std::string message_class) {
  Attachment& attachment = attachments_.emplace_back();
  attachment.Set(tag::kDisplayName, std::move(display_name));
  return attachment.MakeEmbedded(std::move(message_class));
}

Folder::Folder(std::u16string name, std::u16string container_class)
    : name_(std::move(name)), container_class_(std::move(container_class)) {}

Folder& Folder::AddFolder(std::u16string name, std::u16string container_class) {
  folders_.push_back(std::make_unique<Folder>(std::move(name), std::move(container_class)));
  return *folders_.back();
}

Message& Folder::AddMessage(std::string message_class) {
  messages_.push_back(std::make_unique<Message>(std::move(message_class)));
  return *messages_.back();
}

Message& Folder::AddAssociatedMessage(std::string message_class) {
  associated_.push_back(std::make_unique<Message>(std::move(message_class)));
  return *associated_.back();
}

void Folder::AddMessages(std::size_t count, MessageSource source) {
  if (source_) throw std::invalid_argument("a folder takes one message source");
  streamed_count_ = count;
  source_ = std::move(source);
}

Store::Store(std::u16string display_name, Encryption encryption)
    : display_name_(std::move(display_name)),
      encryption_(encryption),
      default_time_(FileTime::FromUnixSeconds(1705312800)),  // 2024-01-15 10:00 UTC
      root_(u""),
      top_(&root_.AddFolder(u"Top of Personal Folders")),
      search_root_(&root_.AddFolder(u"Search Root")),
      deleted_items_(&top_->AddFolder(u"Deleted Items", u"IPF.Note")) {}

namespace {

// Windows-1252 bytes 0x80-0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ToWindows1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < std::size(kWindows1252High); ++i) {
    if (kWindows1252High[i] != 0 && kWindows1252High[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string ToWindows1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] < 0xE000;
    if (pair) ++i;
    out.push_back(pair ? '?' : ToWindows1252(c));
  }
  return out;
}

}  // namespace pstgen
