// MAPI property tags and the property model of a message as the MSG writer stores it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace bm::mapi {

// Property types (MS-OXCDATA 2.11.1) that messages here carry.
enum class PropType : std::uint16_t {
  kInteger32 = 0x0003,
  kBoolean = 0x000B,
  kObject = 0x000D,
  kInteger64 = 0x0014,
  kString8 = 0x001E,
  kUnicode = 0x001F,
  kTime = 0x0040,
  kBinary = 0x0102,
};

constexpr std::uint32_t Tag(std::uint16_t id, PropType type) {
  return (std::uint32_t{id} << 16) | static_cast<std::uint16_t>(type);
}
constexpr std::uint16_t IdOf(std::uint32_t tag) {
  return static_cast<std::uint16_t>(tag >> 16);
}
constexpr PropType TypeOf(std::uint32_t tag) {
  return static_cast<PropType>(tag & 0xFFFF);
}

namespace tag {
inline constexpr std::uint32_t kImportance = Tag(0x0017, PropType::kInteger32);
inline constexpr std::uint32_t kMessageClass = Tag(0x001A, PropType::kUnicode);
inline constexpr std::uint32_t kPriority = Tag(0x0026, PropType::kInteger32);
inline constexpr std::uint32_t kSensitivity = Tag(0x0036, PropType::kInteger32);
inline constexpr std::uint32_t kSubject = Tag(0x0037, PropType::kUnicode);
inline constexpr std::uint32_t kClientSubmitTime = Tag(0x0039, PropType::kTime);
inline constexpr std::uint32_t kSentRepresentingName = Tag(0x0042, PropType::kUnicode);
inline constexpr std::uint32_t kSentRepresentingAddressType = Tag(0x0064, PropType::kUnicode);
inline constexpr std::uint32_t kSentRepresentingEmailAddress = Tag(0x0065, PropType::kUnicode);
inline constexpr std::uint32_t kConversationTopic = Tag(0x0070, PropType::kUnicode);
inline constexpr std::uint32_t kTransportMessageHeaders = Tag(0x007D, PropType::kUnicode);
inline constexpr std::uint32_t kRecipientType = Tag(0x0C15, PropType::kInteger32);
inline constexpr std::uint32_t kSenderName = Tag(0x0C1A, PropType::kUnicode);
inline constexpr std::uint32_t kSenderAddressType = Tag(0x0C1E, PropType::kUnicode);
inline constexpr std::uint32_t kSenderEmailAddress = Tag(0x0C1F, PropType::kUnicode);
inline constexpr std::uint32_t kDisplayBcc = Tag(0x0E02, PropType::kUnicode);
inline constexpr std::uint32_t kDisplayCc = Tag(0x0E03, PropType::kUnicode);
inline constexpr std::uint32_t kDisplayTo = Tag(0x0E04, PropType::kUnicode);
inline constexpr std::uint32_t kMessageDeliveryTime = Tag(0x0E06, PropType::kTime);
inline constexpr std::uint32_t kMessageFlags = Tag(0x0E07, PropType::kInteger32);
inline constexpr std::uint32_t kMessageSize = Tag(0x0E08, PropType::kInteger32);
inline constexpr std::uint32_t kHasAttachments = Tag(0x0E1B, PropType::kBoolean);
inline constexpr std::uint32_t kNormalizedSubject = Tag(0x0E1D, PropType::kUnicode);
inline constexpr std::uint32_t kRtfInSync = Tag(0x0E1F, PropType::kBoolean);
inline constexpr std::uint32_t kAttachSize = Tag(0x0E20, PropType::kInteger32);
inline constexpr std::uint32_t kAttachNumber = Tag(0x0E21, PropType::kInteger32);
inline constexpr std::uint32_t kObjectType = Tag(0x0FFE, PropType::kInteger32);
inline constexpr std::uint32_t kBody = Tag(0x1000, PropType::kUnicode);
inline constexpr std::uint32_t kRtfCompressed = Tag(0x1009, PropType::kBinary);
inline constexpr std::uint32_t kHtml = Tag(0x1013, PropType::kBinary);
inline constexpr std::uint32_t kInternetMessageId = Tag(0x1035, PropType::kUnicode);
inline constexpr std::uint32_t kInternetReferences = Tag(0x1039, PropType::kUnicode);
inline constexpr std::uint32_t kInReplyToId = Tag(0x1042, PropType::kUnicode);
inline constexpr std::uint32_t kRowid = Tag(0x3000, PropType::kInteger32);
inline constexpr std::uint32_t kDisplayName = Tag(0x3001, PropType::kUnicode);
inline constexpr std::uint32_t kAddressType = Tag(0x3002, PropType::kUnicode);
inline constexpr std::uint32_t kEmailAddress = Tag(0x3003, PropType::kUnicode);
inline constexpr std::uint32_t kCreationTime = Tag(0x3007, PropType::kTime);
inline constexpr std::uint32_t kLastModificationTime = Tag(0x3008, PropType::kTime);
inline constexpr std::uint32_t kStoreSupportMask = Tag(0x340D, PropType::kInteger32);
inline constexpr std::uint32_t kAttachDataBinary = Tag(0x3701, PropType::kBinary);
inline constexpr std::uint32_t kAttachDataObject = Tag(0x3701, PropType::kObject);
inline constexpr std::uint32_t kAttachExtension = Tag(0x3703, PropType::kUnicode);
inline constexpr std::uint32_t kAttachFilename = Tag(0x3704, PropType::kUnicode);
inline constexpr std::uint32_t kAttachMethod = Tag(0x3705, PropType::kInteger32);
inline constexpr std::uint32_t kAttachLongFilename = Tag(0x3707, PropType::kUnicode);
inline constexpr std::uint32_t kRenderingPosition = Tag(0x370B, PropType::kInteger32);
inline constexpr std::uint32_t kAttachMimeTag = Tag(0x370E, PropType::kUnicode);
inline constexpr std::uint32_t kAttachContentId = Tag(0x3712, PropType::kUnicode);
inline constexpr std::uint32_t kDisplayType = Tag(0x3900, PropType::kInteger32);
inline constexpr std::uint32_t kSmtpAddress = Tag(0x39FE, PropType::kUnicode);
inline constexpr std::uint32_t kInternetCodepage = Tag(0x3FDE, PropType::kInteger32);
inline constexpr std::uint32_t kMessageCodepage = Tag(0x3FFD, PropType::kInteger32);
inline constexpr std::uint32_t kSenderSmtpAddress = Tag(0x5D01, PropType::kUnicode);
inline constexpr std::uint32_t kSentRepresentingSmtpAddress = Tag(0x5D02, PropType::kUnicode);
inline constexpr std::uint32_t kRecipientDisplayName = Tag(0x5FF6, PropType::kUnicode);
inline constexpr std::uint32_t kRecipientFlags = Tag(0x5FFD, PropType::kInteger32);
}  // namespace tag

// Values of some of the properties above.
inline constexpr std::int32_t kMessageFlagRead = 0x01;
inline constexpr std::int32_t kMessageFlagHasAttachments = 0x10;
inline constexpr std::int32_t kRecipientTo = 1;
inline constexpr std::int32_t kRecipientCc = 2;
inline constexpr std::int32_t kRecipientBcc = 3;
inline constexpr std::int32_t kAttachByValue = 1;
inline constexpr std::int32_t kAttachEmbeddedMessage = 5;
inline constexpr std::int32_t kObjectTypeMessage = 5;
inline constexpr std::int32_t kObjectTypeMailUser = 6;
inline constexpr std::int32_t kObjectTypeAttachment = 7;
inline constexpr std::int32_t kStoreUnicodeOk = 0x00040000;
inline constexpr std::int32_t kCodepageUtf8 = 65001;

// A point in time as FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
  std::uint64_t ticks = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

using Binary = std::vector<std::uint8_t>;

// One value; which alternative it holds follows from the type in its tag.
using PropertyValue =
    std::variant<std::int32_t, bool, std::int64_t, FileTime, std::u16string, Binary>;

// The properties of one object, ordered by tag. Object-typed properties (embedded messages)
// are not values here: they live in the attachment that owns them.
class PropertyBag {
 public:
  void SetInt32(std::uint32_t tag, std::int32_t value) { values_[tag] = value; }
  void SetBool(std::uint32_t tag, bool value) { values_[tag] = value; }
  void SetTime(std::uint32_t tag, FileTime value) { values_[tag] = value; }
  void SetText(std::uint32_t tag, std::u16string value) { values_[tag] = std::move(value); }
  void SetBinary(std::uint32_t tag, Binary value) { values_[tag] = std::move(value); }
  void Erase(std::uint32_t tag) { values_.erase(tag); }

  const PropertyValue* Find(std::uint32_t tag) const;
  std::optional<std::int32_t> Int32(std::uint32_t tag) const;
  std::optional<std::u16string> Text(std::uint32_t tag) const;
  const Binary* BinaryValue(std::uint32_t tag) const;

  const std::map<std::uint32_t, PropertyValue>& Values() const { return values_; }

 private:
  std::map<std::uint32_t, PropertyValue> values_;
};

}  // namespace bm::mapi

namespace bm {

struct MessageContent;

struct AttachmentContent {
  mapi::PropertyBag properties;
  // Set for an attached message (attach method 5): stored as its own message object.
  std::unique_ptr<MessageContent> embedded;
};

// A message: its own properties, one property bag per recipient, its attachments.
struct MessageContent {
  mapi::PropertyBag properties;
  std::vector<mapi::PropertyBag> recipients;
  std::vector<AttachmentContent> attachments;
};

}  // namespace bm
