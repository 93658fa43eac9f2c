#include "msg/eml_import.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/compressed_rtf.h"
#include "base/text.h"
#include "msg/charset.h"
#include "msg/glib_ptr.h"
#include "msg/html_text.h"
#include "msg/msg_writer.h"
#include "msg/rtf_text.h"

namespace bm {

namespace {

namespace tag = mapi::tag;

constexpr long long kUnixEpochInFileTimeSeconds = 11644473600LL;
constexpr std::int32_t kRenderingPositionNone = -1;
constexpr std::int32_t kDisplayTypeMailUser = 0;
constexpr std::int32_t kRecipientFlagSendable = 1;
constexpr std::int32_t kImportanceNormal = 1;

std::u16string Text(const char* utf8) {
  return utf8 == nullptr ? std::u16string() : FromUtf8(utf8);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

mapi::Binary ToBinary(std::string_view bytes) {
  return mapi::Binary(bytes.begin(), bytes.end());
}

std::string MemoryStreamBytes(GMimeStream* stream) {
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// The content of a leaf part with its transfer encoding undone.
std::string DecodedContent(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return {};
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, stream.get());
  return MemoryStreamBytes(stream.get());
}

// A text part's content as UTF-8, decoded from its declared charset.
std::string TextContent(GMimePart* part) {
  const std::string bytes = DecodedContent(part);
  const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  if (charset != nullptr) {
    const std::string name = Lower(charset);
    if (name != "utf-8" && name != "us-ascii" && name != "iso-8859-1") {
      if (std::optional<std::string> text =
              CharsetToUtf8(bytes, g_mime_charset_iconv_name(charset))) {
        return *text;
      }
    }
  }
  return Utf8OrWindows1252(bytes);
}

// The object as a message file would hold it.
std::string ObjectBytes(GMimeObject* object) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_object_write_to_stream(object, nullptr, stream.get());
  return MemoryStreamBytes(stream.get());
}

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
  return g_mime_content_type_is_type(g_mime_object_get_content_type(object), type, subtype);
}

bool IsAttachment(GMimeObject* object) {
  const char* disposition = g_mime_object_get_disposition(object);
  return disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

struct Bodies {
  std::optional<std::string> plain;  // UTF-8
  std::optional<std::string> html;   // UTF-8
  std::optional<std::string> rtf;    // raw RTF
};

struct Address {
  std::string name;
  std::string address;
};

void CollectAddresses(InternetAddressList* list, std::vector<Address>& out) {
  if (list == nullptr) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    const char* name = internet_address_get_name(address);
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
      out.push_back({name ? name : "", addr ? addr : ""});
    } else if (INTERNET_ADDRESS_IS_GROUP(address)) {
      InternetAddressList* members =
          internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
      // A group without members is how a recipient known only by name travels.
      if (members == nullptr || internet_address_list_length(members) == 0) {
        out.push_back({name ? name : "", ""});
      } else {
        CollectAddresses(members, out);
      }
    }
  }
}

constexpr std::u16string_view kSmtpType = u"SMTP";

// Store senders may carry Exchange distinguished names ("/O=ORG/OU=..."), which are not
// Internet addresses.
std::u16string AddressType(const std::string& address) {
  return std::u16string(address.find('@') != std::string::npos ? kSmtpType : u"EX");
}

std::u16string ShownName(const Address& address) {
  return FromUtf8(address.name.empty() ? address.address : address.name);
}

class MessageImporter {
 public:
  explicit MessageImporter(int depth) : depth_(depth) {}

  void Import(GMimeMessage* message, MessageContent& out) {
    ImportHeaders(message, out.properties);
    ImportSender(message, out.properties);
    ImportRecipients(message, out);
    if (GMimeObject* body = g_mime_message_get_mime_part(message)) Visit(body, out);
    StoreBodies(out.properties);
    StoreFlags(out);
  }

 private:
  void ImportHeaders(GMimeMessage* message, mapi::PropertyBag& bag) {
    const std::u16string subject = Text(g_mime_message_get_subject(message));
    bag.SetText(tag::kSubject, subject);
    bag.SetText(tag::kConversationTopic, subject);
    if (GDateTime* date = g_mime_message_get_date(message)) {
      const mapi::FileTime time = FileTimeFromUnixMicroseconds(
          g_date_time_to_unix(date) * 1000000LL + g_date_time_get_microsecond(date));
      bag.SetTime(tag::kClientSubmitTime, time);
      bag.SetTime(tag::kMessageDeliveryTime, time);
    }
    if (const char* id = g_mime_message_get_message_id(message)) {
      bag.SetText(tag::kInternetMessageId, u"<" + Text(id) + u">");
    }
    GMimeObject* object = GMIME_OBJECT(message);
    if (const char* reply = g_mime_object_get_header(object, "In-Reply-To")) {
      bag.SetText(tag::kInReplyToId, Text(reply));
    }
    if (const char* references = g_mime_object_get_header(object, "References")) {
      bag.SetText(tag::kInternetReferences, Text(references));
    }
    const GMemoryPtr<char> headers(g_mime_object_get_headers(object, nullptr));
    if (headers) {
      bag.SetText(tag::kTransportMessageHeaders,
                  FromUtf8(ToCrLf(Utf8OrWindows1252(headers.get()))));
    }
    bag.SetInt32(tag::kImportance, kImportanceNormal);
    bag.SetInt32(tag::kPriority, 0);
    bag.SetInt32(tag::kSensitivity, 0);
    bag.SetInt32(tag::kInternetCodepage, mapi::kCodepageUtf8);
    bag.SetInt32(tag::kStoreSupportMask, mapi::kStoreUnicodeOk);
  }

  void ImportSender(GMimeMessage* message, mapi::PropertyBag& bag) {
    std::vector<Address> senders;
    CollectAddresses(g_mime_message_get_from(message), senders);
    if (senders.empty()) return;
    const Address& sender = senders.front();
    bag.SetText(tag::kSenderName, ShownName(sender));
    bag.SetText(tag::kSentRepresentingName, ShownName(sender));
    if (sender.address.empty()) return;
    const std::u16string address = FromUtf8(sender.address);
    const std::u16string type = AddressType(sender.address);
    bag.SetText(tag::kSenderEmailAddress, address);
    bag.SetText(tag::kSentRepresentingEmailAddress, address);
    bag.SetText(tag::kSenderAddressType, type);
    bag.SetText(tag::kSentRepresentingAddressType, type);
    if (type == kSmtpType) {
      bag.SetText(tag::kSenderSmtpAddress, address);
      bag.SetText(tag::kSentRepresentingSmtpAddress, address);
    }
  }

  void ImportRecipients(GMimeMessage* message, MessageContent& out) {
    const struct {
      GMimeAddressType type;
      std::int32_t recipient_type;
      std::uint32_t display_tag;
    } kKinds[] = {{GMIME_ADDRESS_TYPE_TO, mapi::kRecipientTo, tag::kDisplayTo},
                  {GMIME_ADDRESS_TYPE_CC, mapi::kRecipientCc, tag::kDisplayCc},
                  {GMIME_ADDRESS_TYPE_BCC, mapi::kRecipientBcc, tag::kDisplayBcc}};
    for (const auto& kind : kKinds) {
      std::vector<Address> addresses;
      CollectAddresses(g_mime_message_get_addresses(message, kind.type), addresses);
      std::u16string display;
      for (const Address& address : addresses) {
        if (!display.empty()) display += u"; ";
        display += ShownName(address);
        out.recipients.push_back(RecipientRow(address, kind.recipient_type, out.recipients.size()));
      }
      out.properties.SetText(kind.display_tag, display);
    }
  }

  static mapi::PropertyBag RecipientRow(const Address& address, std::int32_t type,
                                        std::size_t row) {
    mapi::PropertyBag bag;
    bag.SetInt32(tag::kRecipientType, type);
    bag.SetInt32(tag::kRowid, static_cast<std::int32_t>(row));
    bag.SetText(tag::kDisplayName, ShownName(address));
    bag.SetText(tag::kRecipientDisplayName, ShownName(address));
    bag.SetInt32(tag::kObjectType, mapi::kObjectTypeMailUser);
    bag.SetInt32(tag::kDisplayType, kDisplayTypeMailUser);
    bag.SetInt32(tag::kRecipientFlags, kRecipientFlagSendable);
    if (!address.address.empty()) {
      const std::u16string text = FromUtf8(address.address);
      const std::u16string address_type = AddressType(address.address);
      bag.SetText(tag::kEmailAddress, text);
      bag.SetText(tag::kAddressType, address_type);
      if (address_type == kSmtpType) bag.SetText(tag::kSmtpAddress, text);
    }
    return bag;
  }

  // Walks the MIME tree: the first inline plain, HTML and RTF parts are the bodies, every
  // other leaf is an attachment, every attached message an embedded message.
  void Visit(GMimeObject* object, MessageContent& out) {
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      const int count = g_mime_multipart_get_count(multipart);
      for (int i = 0; i < count; ++i) Visit(g_mime_multipart_get_part(multipart, i), out);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
      AddEmbeddedMessage(GMIME_MESSAGE_PART(object), out);
    } else if (GMIME_IS_PART(object)) {
      if (!TakeAsBody(GMIME_PART(object))) AddAttachment(GMIME_PART(object), out);
    }
  }

  bool TakeAsBody(GMimePart* part) {
    GMimeObject* object = GMIME_OBJECT(part);
    if (IsAttachment(object)) return false;
    if (IsType(object, "text", "plain") && !bodies_.plain) {
      bodies_.plain = TextContent(part);
    } else if (IsType(object, "text", "html") && !bodies_.html) {
      const bool declared = g_mime_object_get_content_type_parameter(object, "charset") != nullptr;
      bodies_.html = declared ? TextContent(part) : HtmlToUtf8(DecodedContent(part));
    } else if ((IsType(object, "text", "rtf") || IsType(object, "application", "rtf")) &&
               !bodies_.rtf) {
      bodies_.rtf = DecodedContent(part);
    } else {
      return false;
    }
    return true;
  }

  void StoreBodies(mapi::PropertyBag& bag) {
    std::string plain;
    if (bodies_.plain) {
      plain = *bodies_.plain;
    } else if (bodies_.html) {
      plain = HtmlToText(*bodies_.html);
    } else if (bodies_.rtf) {
      plain = RtfToText(*bodies_.rtf);
    }
    bag.SetText(tag::kBody, FromUtf8(ToCrLf(plain)));
    if (bodies_.html) bag.SetBinary(tag::kHtml, ToBinary(*bodies_.html));
    if (bodies_.rtf) {
      const auto* data = reinterpret_cast<const std::uint8_t*>(bodies_.rtf->data());
      bag.SetBinary(tag::kRtfCompressed, CompressRtf(std::span(data, bodies_.rtf->size())));
      bag.SetBool(tag::kRtfInSync, true);
    }
  }

  void StoreFlags(MessageContent& out) {
    std::int32_t flags = mapi::kMessageFlagRead;
    if (!out.attachments.empty()) flags |= mapi::kMessageFlagHasAttachments;
    out.properties.SetInt32(tag::kMessageFlags, flags);
    out.properties.SetBool(tag::kHasAttachments, !out.attachments.empty());
  }

  static void SetCommonAttachmentProperties(mapi::PropertyBag& bag, std::size_t number) {
    bag.SetInt32(tag::kAttachNumber, static_cast<std::int32_t>(number));
    bag.SetInt32(tag::kRenderingPosition, kRenderingPositionNone);
    bag.SetInt32(tag::kObjectType, mapi::kObjectTypeAttachment);
  }

  static void SetFileName(mapi::PropertyBag& bag, const std::string& name) {
    const std::u16string text = FromUtf8(name);
    bag.SetText(tag::kAttachLongFilename, text);
    bag.SetText(tag::kAttachFilename, text);
    bag.SetText(tag::kDisplayName, text);
    if (const std::size_t dot = text.rfind(u'.'); dot != std::u16string::npos && dot > 0) {
      bag.SetText(tag::kAttachExtension, text.substr(dot));
    }
  }

  void AddFileAttachment(const std::string& name, const std::string& mime_type,
                         std::string_view data, const char* content_id, MessageContent& out) {
    AttachmentContent attachment;
    mapi::PropertyBag& bag = attachment.properties;
    SetCommonAttachmentProperties(bag, out.attachments.size());
    bag.SetInt32(tag::kAttachMethod, mapi::kAttachByValue);
    SetFileName(bag, name);
    bag.SetText(tag::kAttachMimeTag, FromUtf8(mime_type));
    bag.SetInt32(tag::kAttachSize,
                 static_cast<std::int32_t>(std::min<std::size_t>(data.size(), INT32_MAX)));
    bag.SetBinary(tag::kAttachDataBinary, ToBinary(data));
    if (content_id != nullptr) bag.SetText(tag::kAttachContentId, FromUtf8(content_id));
    out.attachments.push_back(std::move(attachment));
  }

  void AddAttachment(GMimePart* part, MessageContent& out) {
    GMimeObject* object = GMIME_OBJECT(part);
    const GMemoryPtr<char> mime_type(
        g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
    const char* file_name = g_mime_part_get_filename(part);
    const std::string name =
        file_name != nullptr && *file_name != '\0'
            ? std::string(file_name)
            : "attachment" + std::to_string(out.attachments.size() + 1) + ".dat";
    AddFileAttachment(name, mime_type ? mime_type.get() : "application/octet-stream",
                      DecodedContent(part), g_mime_object_get_content_id(object), out);
  }

  void AddEmbeddedMessage(GMimeMessagePart* part, MessageContent& out) {
    GMimeMessage* inner = g_mime_message_part_get_message(part);
    if (inner == nullptr) return;
    GMimeObject* object = GMIME_OBJECT(part);
    const char* file_name = g_mime_object_get_content_disposition_parameter(object, "filename");
    const std::string subject =
        g_mime_message_get_subject(inner) ? g_mime_message_get_subject(inner) : "";
    if (depth_ + 1 >= kMaxEmbeddingDepth) {
      // Too deep to nest another message object: keep it whole as a message file.
      const std::string name = file_name != nullptr ? file_name : subject + ".eml";
      AddFileAttachment(name, "message/rfc822", ObjectBytes(GMIME_OBJECT(inner)), nullptr, out);
      return;
    }
    AttachmentContent attachment;
    attachment.embedded = std::make_unique<MessageContent>();
    MessageImporter(depth_ + 1).Import(inner, *attachment.embedded);
    attachment.embedded->properties.SetText(tag::kMessageClass, u"IPM.Note");
    mapi::PropertyBag& bag = attachment.properties;
    SetCommonAttachmentProperties(bag, out.attachments.size());
    bag.SetInt32(tag::kAttachMethod, mapi::kAttachEmbeddedMessage);
    if (file_name != nullptr) SetFileName(bag, file_name);
    bag.SetText(tag::kDisplayName, FromUtf8(subject));
    bag.SetText(tag::kAttachMimeTag, u"message/rfc822");
    const std::size_t size = ObjectBytes(GMIME_OBJECT(inner)).size();
    bag.SetInt32(tag::kAttachSize,
                 static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX)));
    out.attachments.push_back(std::move(attachment));
  }

  int depth_;
  Bodies bodies_;
};

}  // namespace

mapi::FileTime FileTimeFromUnixMicroseconds(long long microseconds) {
  const long long ticks = (microseconds + kUnixEpochInFileTimeSeconds * 1000000LL) * 10;
  return mapi::FileTime{static_cast<std::uint64_t>(std::max(0LL, ticks))};
}

HResult ImportEml(std::string_view eml, MessageContent& out) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(eml.data(), eml.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) return MAPI_E_CORRUPT_DATA;
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message.get()));
  if (headers == nullptr || g_mime_header_list_get_count(headers) == 0) return MAPI_E_CORRUPT_DATA;
  MessageContent content;
  MessageImporter(0).Import(message.get(), content);
  out = std::move(content);
  return S_OK;
}

}  // namespace bm
