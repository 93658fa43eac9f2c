#include "msg/email_eml.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>

#include "base/text.h"
#include "msg/charset.h"
#include "msg/component_runtime.h"
#include "msg/glib_ptr.h"
#include "msg/html_text.h"
#include "msg/rtf_text.h"

namespace bm {

namespace {

using mapi::attach_method::kByValue;
using mapi::attach_method::kEmbeddedMessage;
using mapi::attach_method::kOle;

constexpr std::size_t kReadPiece = 64 * 1024;

struct FormatOptionsDeleter {
  void operator()(GMimeFormatOptions* options) const { g_mime_format_options_free(options); }
};
using FormatOptionsPtr = std::unique_ptr<GMimeFormatOptions, FormatOptionsDeleter>;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string LowerExtension(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(file_name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string_view AsChars(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A stored text as one header line: line breaks and other control characters would end the
// header early and let the rest pass for headers of its own, so each becomes a blank.
std::string OneLine(std::u16string_view text) {
  std::u16string line(text);
  for (char16_t& c : line) {
    if (c < 0x20 || c == 0x7F) c = u' ';
  }
  return ToUtf8(line);
}

std::string Utf8Of(const mapi::Body& body) {
  return ToUtf8(DecodeCodePage(body.bytes, body.code_page));
}

// A stored subject may start with a prefix marker (0x01 and the prefix length); it is no text.
std::string SubjectOf(const mapi::EmailRecord& record) {
  std::u16string_view subject = record.subject;
  if (subject.size() >= 2 && subject[0] == u'\x01') subject.remove_prefix(2);
  return OneLine(subject);
}

// "<id@host>" as GMime takes a message id: without its angle brackets.
std::string BareMessageId(std::u16string_view id) {
  std::string text = OneLine(id);
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
  while (!text.empty() && blank(static_cast<unsigned char>(text.front()))) text.erase(0, 1);
  if (text.size() >= 2 && text.front() == '<' && text.back() == '>')
    text = text.substr(1, text.size() - 2);
  return text;
}

// A leaf part holding `bytes` as they are; base64 keeps every byte and line end exact.
GObjectPtr<GMimePart> BytesPart(std::string_view mime_type, std::string_view bytes) {
  const std::size_t slash = mime_type.find('/');
  const std::string type(mime_type.substr(0, slash));
  const std::string subtype(slash == std::string_view::npos ? "octet-stream"
                                                            : mime_type.substr(slash + 1));
  GObjectPtr<GMimePart> part(g_mime_part_new_with_type(type.c_str(), subtype.c_str()));
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GObjectPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
  return part;
}

GObjectPtr<GMimeObject> TextPart(const char* subtype, std::string_view bytes,
                                 const std::string& charset) {
  GObjectPtr<GMimePart> part = BytesPart(std::string("text/") + subtype, bytes);
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", charset.c_str());
  return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}

GObjectPtr<GMimeObject> Multipart(const char* subtype, std::vector<GObjectPtr<GMimeObject>> parts) {
  GObjectPtr<GMimeMultipart> multipart(g_mime_multipart_new_with_subtype(subtype));
  for (const auto& part : parts) g_mime_multipart_add(multipart.get(), part.get());
  return GObjectPtr<GMimeObject>(GMIME_OBJECT(multipart.release()));
}

// The HTML as stored, labelled with its code page's charset; a code page without a charset
// name (or UTF-16) is carried as UTF-8.
GObjectPtr<GMimeObject> HtmlPart(const mapi::Body& body) {
  const std::string charset = CharsetOfCodePage(body.code_page);
  if (charset.empty() || body.code_page == mapi::kUtf16CodePage) {
    return TextPart("html", Utf8Of(body), "utf-8");
  }
  return TextPart("html", AsChars(body.bytes), charset);
}

// The body's forms: the plain text and the HTML as stored; what is missing is derived as the
// preview derives it (text from HTML; text, and HTML where it is encapsulated, from RTF).
struct BodyForms {
  GObjectPtr<GMimeObject> plain;
  GObjectPtr<GMimeObject> html;
  std::string html_bytes;  // to find the pictures the HTML refers to
};

BodyForms ReadBodyForms(const mapi::Bodies& bodies) {
  BodyForms forms;
  if (bodies.html) {
    forms.html = HtmlPart(*bodies.html);
    forms.html_bytes = std::string(AsChars(bodies.html->bytes));
  } else if (bodies.rtf && !bodies.text) {
    if (std::optional<std::string> html = ExtractRtfHtml(AsChars(bodies.rtf->bytes))) {
      forms.html = TextPart("html", *html, "utf-8");
      forms.html_bytes = std::move(*html);
    }
  }
  if (bodies.text) {
    forms.plain = TextPart("plain", Utf8Of(*bodies.text), "utf-8");
  } else if (!forms.html_bytes.empty()) {
    forms.plain = TextPart("plain", ToCrLf(HtmlToText(forms.html_bytes)), "utf-8");
  } else if (bodies.rtf) {
    forms.plain = TextPart("plain", ToCrLf(RtfToText(AsChars(bodies.rtf->bytes))), "utf-8");
  }
  if (!forms.plain && !forms.html) forms.plain = TextPart("plain", "", "utf-8");
  return forms;
}

Result<std::string> ReadAll(Result<pst::ValueStream> stream) {
  if (!stream) return stream.error();
  std::string bytes;
  // A damaged store may claim any size: the reservation is bounded, the reading is not.
  constexpr std::uint64_t kMaxReserve = 64 * 1024 * 1024;
  bytes.reserve(static_cast<std::size_t>(std::min(stream->size(), kMaxReserve)));
  std::vector<std::uint8_t> piece(kReadPiece);
  while (true) {
    const Result<std::size_t> read = stream->Read(piece);
    if (!read) return read.error();
    if (*read == 0) break;
    bytes.append(reinterpret_cast<const char*>(piece.data()), *read);
  }
  if (bytes.size() != stream->size()) return Error("the store does not give its whole content");
  return bytes;
}

// The stored MIME type when it is one a leaf part may have, else the type its name suggests.
// Multipart and message types need a structure that raw bytes do not have.
std::string LeafTypeOf(const mapi::AttachmentEntry& entry) {
  std::string type = Lower(ToUtf8(entry.mime_type));
  const std::size_t slash = type.find('/');
  const bool usable = slash != std::string::npos && slash > 0 && slash + 1 < type.size() &&
                      type.find_first_of(" ;\"\r\n") == std::string::npos;
  if (!usable) type = ContentTypeForName(ToUtf8(entry.name));
  if (type.rfind("multipart/", 0) == 0 || type.rfind("message/", 0) == 0)
    return "application/octet-stream";
  return type;
}

std::string AttachmentLabel(const mapi::AttachmentEntry& entry) {
  const std::string name = ToUtf8(entry.name);
  return "attachment " + std::to_string(entry.index + 1) + (name.empty() ? "" : " (" + name + ")");
}

bool IsSmime(std::u16string_view message_class) {
  return Lower(ToUtf8(message_class)).rfind("ipm.note.smime", 0) == 0;
}

class Composer {
 public:
  Composer(const pst::Store& store, std::vector<std::string>& warnings)
      : store_(store), warnings_(warnings) {}

  // The message object of `message`, nested `depth` levels deep (0 for the e-mail itself).
  GObjectPtr<GMimeMessage> Message(const pst::Message& message, const mapi::EmailRecord& record,
                                   int depth) {
    GObjectPtr<GMimeMessage> out(g_mime_message_new(TRUE));
    SetHeaders(out.get(), record);
    if (record.internet.error) Warn("the internet headers: " + record.internet.error->message());
    GObjectPtr<GMimeObject> body;
    if (IsSmime(record.message_class)) body = SignedOrSealedBody(message, record);
    if (!body) body = Structure(message, record, depth);
    g_mime_message_set_mime_part(out.get(), body.get());
    return out;
  }

 private:
  void Warn(std::string text) { warnings_.push_back(std::move(text)); }

  // A signed or encrypted message keeps its whole MIME entity in its one attachment: that
  // entity becomes the body, so the signature still covers what it signed.
  GObjectPtr<GMimeObject> SignedOrSealedBody(const pst::Message& message,
                                             const mapi::EmailRecord& record) {
    if (record.attachments.size() != 1) return nullptr;
    const mapi::AttachmentEntry& entry = record.attachments.front();
    if (entry.error || entry.method != kByValue) return nullptr;
    Result<pst::Attachment> attachment = message.OpenAttachment(entry.index);
    if (!attachment) return nullptr;
    Result<std::string> bytes = ReadAll(attachment->OpenData());
    if (!bytes) return nullptr;
    if (Lower(ToUtf8(entry.mime_type)).rfind("multipart/signed", 0) == 0) {
      GObjectPtr<GMimeStream> stream(
          g_mime_stream_mem_new_with_buffer(bytes->data(), bytes->size()));
      GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
      GObjectPtr<GMimeObject> entity(g_mime_parser_construct_part(parser.get(), nullptr));
      if (entity && GMIME_IS_MULTIPART_SIGNED(entity.get())) return entity;
      return nullptr;
    }
    const bool sealed_type =
        Lower(ToUtf8(entry.mime_type)).find("pkcs7-mime") != std::string::npos ||
        Lower(ToUtf8(entry.name)).ends_with(".p7m");
    if (!sealed_type) return nullptr;
    GObjectPtr<GMimePart> sealed = BytesPart("application/pkcs7-mime", *bytes);
    g_mime_part_set_filename(sealed.get(), "smime.p7m");
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(sealed.release()));
  }

  // mixed(alternative(plain, related(html, pictures)), attachments), each level only where
  // it has more than one part.
  GObjectPtr<GMimeObject> Structure(const pst::Message& message, const mapi::EmailRecord& record,
                                    int depth) {
    BodyForms forms = ReadBodyForms(record.bodies);
    std::vector<GObjectPtr<GMimeObject>> pictures;
    std::vector<GObjectPtr<GMimeObject>> attachments;
    for (const mapi::AttachmentEntry& entry : record.attachments) {
      const bool picture = forms.html && IsPictureOfHtml(entry, forms.html_bytes);
      if (GObjectPtr<GMimeObject> part = Attachment(message, entry, picture, depth)) {
        (picture ? pictures : attachments).push_back(std::move(part));
      }
    }
    GObjectPtr<GMimeObject> html = std::move(forms.html);
    if (html && !pictures.empty()) {
      pictures.insert(pictures.begin(), std::move(html));
      html = Multipart("related", std::move(pictures));
      g_mime_object_set_content_type_parameter(html.get(), "type", "text/html");
    }
    GObjectPtr<GMimeObject> body;
    if (forms.plain && html) {
      std::vector<GObjectPtr<GMimeObject>> alternatives;
      alternatives.push_back(std::move(forms.plain));
      alternatives.push_back(std::move(html));
      body = Multipart("alternative", std::move(alternatives));
    } else {
      body = html ? std::move(html) : std::move(forms.plain);
    }
    if (attachments.empty()) return body;
    attachments.insert(attachments.begin(), std::move(body));
    return Multipart("mixed", std::move(attachments));
  }

  // A picture the HTML shows: it has a content id the HTML names, or it is hidden with one.
  static bool IsPictureOfHtml(const mapi::AttachmentEntry& entry, const std::string& html) {
    if (entry.content_id.empty() || entry.error) return false;
    if (entry.method != kByValue) return false;
    return entry.hidden || html.find("cid:" + BareMessageId(entry.content_id)) != std::string::npos;
  }

  // The part of one attachment; nothing for a reference to an outside file (it has no
  // content) or for one the store does not give (a warning says which).
  GObjectPtr<GMimeObject> Attachment(const pst::Message& message,
                                     const mapi::AttachmentEntry& entry, bool inline_picture,
                                     int depth) {
    if (entry.method != kByValue && entry.method != kOle && entry.method != kEmbeddedMessage)
      return nullptr;
    if (entry.error) {
      Warn(AttachmentLabel(entry) + ": " + entry.error->message());
      return nullptr;
    }
    Result<pst::Attachment> attachment = message.OpenAttachment(entry.index);
    if (!attachment) {
      Warn(AttachmentLabel(entry) + ": " + attachment.error().message());
      return nullptr;
    }
    if (entry.method == kEmbeddedMessage) return AttachedMessage(*attachment, entry, depth);
    Result<std::string> bytes =
        ReadAll(entry.method == kOle ? attachment->OpenObjectData() : attachment->OpenData());
    if (!bytes) {
      Warn(AttachmentLabel(entry) + ": " + bytes.error().message());
      return nullptr;
    }
    GObjectPtr<GMimePart> part = BytesPart(LeafTypeOf(entry), *bytes);
    auto* object = GMIME_OBJECT(part.get());
    if (!entry.name.empty()) g_mime_part_set_filename(part.get(), OneLine(entry.name).c_str());
    g_mime_object_set_disposition(object, inline_picture ? "inline" : "attachment");
    if (!entry.content_id.empty())
      g_mime_object_set_content_id(object, BareMessageId(entry.content_id).c_str());
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
  }

  GObjectPtr<GMimeObject> AttachedMessage(const pst::Attachment& attachment,
                                          const mapi::AttachmentEntry& entry, int depth) {
    if (depth + 1 > kMaxEmlNesting) {
      Warn(AttachmentLabel(entry) + ": attached messages nest deeper than " +
           std::to_string(kMaxEmlNesting) + " levels");
      return nullptr;
    }
    Result<pst::Message> inner = attachment.OpenEmbeddedMessage();
    if (!inner) {
      Warn(AttachmentLabel(entry) + ": " + inner.error().message());
      return nullptr;
    }
    Result<mapi::EmailRecord> record = mapi::ReadEmailRecord(store_, *inner);
    if (!record) {
      Warn(AttachmentLabel(entry) + ": " + record.error().message());
      return nullptr;
    }
    GObjectPtr<GMimeMessage> composed = Message(*inner, *record, depth + 1);
    GObjectPtr<GMimeMessagePart> part(
        g_mime_message_part_new_with_message("rfc822", composed.get()));
    auto* object = GMIME_OBJECT(part.get());
    g_mime_object_set_disposition(object, "attachment");
    if (!entry.name.empty()) {
      const std::string name = OneLine(entry.name) + ".eml";
      g_mime_object_set_content_disposition_parameter(object, "filename", name.c_str());
    }
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
  }

  static void AddMailbox(InternetAddressList* list, const mapi::Mailbox& mailbox) {
    const std::string name = OneLine(mailbox.name);
    const std::string address = InternetAddressOf(mailbox);
    if (address.empty()) {
      // A name alone (an Exchange entry without SMTP address) is an empty group: the only
      // address form that is just a name.
      if (name.empty()) return;
      GObjectPtr<InternetAddress> group(internet_address_group_new(name.c_str()));
      internet_address_list_add(list, group.get());
      return;
    }
    GObjectPtr<InternetAddress> box(internet_address_mailbox_new(name.c_str(), address.c_str()));
    internet_address_list_add(list, box.get());
  }

  static bool HasSomeone(const mapi::Mailbox& mailbox) {
    return !mailbox.name.empty() || !InternetAddressOf(mailbox).empty();
  }

  static void SetAddresses(GMimeMessage* out, const mapi::EmailRecord& record) {
    // The author is whom the message was sent for; the sender, when someone else, sent it.
    const mapi::Mailbox& author =
        HasSomeone(record.sent_representing) ? record.sent_representing : record.sender;
    AddMailbox(g_mime_message_get_addresses(out, GMIME_ADDRESS_TYPE_FROM), author);
    if (&author != &record.sender && HasSomeone(record.sender) &&
        Lower(InternetAddressOf(record.sender)) != Lower(InternetAddressOf(author))) {
      AddMailbox(g_mime_message_get_addresses(out, GMIME_ADDRESS_TYPE_SENDER), record.sender);
    }
    for (const mapi::Recipient& recipient : record.recipients) {
      GMimeAddressType type;
      switch (recipient.type) {
        case mapi::recipient_type::kTo:
          type = GMIME_ADDRESS_TYPE_TO;
          break;
        case mapi::recipient_type::kCc:
          type = GMIME_ADDRESS_TYPE_CC;
          break;
        case mapi::recipient_type::kBcc:
          type = GMIME_ADDRESS_TYPE_BCC;
          break;
        default:
          continue;
      }
      AddMailbox(g_mime_message_get_addresses(out, type), recipient.mailbox);
    }
  }

  // When it was sent; an unsent message's delivery or creation time. RFC 5322 dates have no
  // fraction of a second.
  static void SetDate(GMimeMessage* out, const mapi::EmailRecord& record) {
    const std::optional<mapi::StoredTime> time = record.submit_time     ? record.submit_time
                                                 : record.delivery_time ? record.delivery_time
                                                                        : record.creation_time;
    if (!time) return;
    constexpr std::int64_t kTicksPerSecond = 10'000'000;
    constexpr std::int64_t kUnixEpochSeconds = 11'644'473'600;
    const std::int64_t seconds =
        static_cast<std::int64_t>(time->filetime / kTicksPerSecond) - kUnixEpochSeconds;
    const GDateTimePtr date(g_date_time_new_from_unix_utc(seconds));
    if (date) g_mime_message_set_date(out, date.get());
  }

  static void SetHeader(GMimeMessage* out, const char* name, const std::string& value) {
    if (!value.empty()) g_mime_object_set_header(GMIME_OBJECT(out), name, value.c_str(), "utf-8");
  }

  static void SetUrgency(GMimeMessage* out, const mapi::InternetFields& internet) {
    if (internet.importance) {
      static constexpr std::array<const char*, 3> kImportance = {"low", "normal", "high"};
      static constexpr std::array<const char*, 3> kXPriority = {"5 (Lowest)", "3 (Normal)",
                                                                "1 (Highest)"};
      const std::int32_t value = *internet.importance;
      if (value >= 0 && value <= 2) {
        SetHeader(out, "Importance", kImportance[static_cast<std::size_t>(value)]);
        SetHeader(out, "X-Priority", kXPriority[static_cast<std::size_t>(value)]);
      }
    }
    if (internet.priority) {
      const std::int32_t value = *internet.priority;
      if (value >= -1 && value <= 1)
        SetHeader(out, "Priority", value < 0 ? "non-urgent" : value == 0 ? "normal" : "urgent");
    }
    if (internet.sensitivity) {
      static constexpr std::array<const char*, 4> kSensitivity = {"", "Personal", "Private",
                                                                  "Company-Confidential"};
      const std::int32_t value = *internet.sensitivity;
      if (value >= 1 && value <= 3)
        SetHeader(out, "Sensitivity", kSensitivity[static_cast<std::size_t>(value)]);
    }
  }

  static void SetHeaders(GMimeMessage* out, const mapi::EmailRecord& record) {
    SetAddresses(out, record);
    SetDate(out, record);
    g_mime_message_set_subject(out, SubjectOf(record).c_str(), "utf-8");
    const mapi::InternetFields& internet = record.internet;
    if (const std::string id = BareMessageId(internet.message_id); !id.empty())
      g_mime_message_set_message_id(out, id.c_str());
    SetHeader(out, "In-Reply-To", OneLine(internet.in_reply_to));
    SetHeader(out, "References", OneLine(internet.references));
    SetUrgency(out, internet);
    // The way the message came stays on top, in its order.
    const auto trace = TraceHeaders(internet.transport_headers);
    for (auto line = trace.rbegin(); line != trace.rend(); ++line) {
      g_mime_object_prepend_header(GMIME_OBJECT(out), line->first.c_str(), line->second.c_str(),
                                   nullptr);
    }
  }

  const pst::Store& store_;
  std::vector<std::string>& warnings_;
};

}  // namespace

std::string InternetAddressOf(const mapi::Mailbox& mailbox) {
  // Only a plain local@domain address can stand in an address field: an Exchange name or a fax
  // number would read as a broken address, and brackets, commas or line breaks as more addresses.
  const auto plain = [](std::u16string_view address) {
    if (address.find(u'@') == std::u16string_view::npos) return false;
    return std::none_of(address.begin(), address.end(), [](char16_t c) {
      return c <= 0x20 || c == 0x7F ||
             std::u16string_view(u"<>,;:\"()[]\\").find(c) != std::u16string_view::npos;
    });
  };
  const std::string type = Lower(ToUtf8(mailbox.address_type));
  if (type == "smtp" && plain(mailbox.address)) return ToUtf8(mailbox.address);
  if (plain(mailbox.smtp_address)) return ToUtf8(mailbox.smtp_address);
  if (type != "ex" && plain(mailbox.address)) return ToUtf8(mailbox.address);
  return {};
}

std::string ContentTypeForName(std::string_view file_name) {
  static const std::map<std::string, std::string, std::less<>> kTypes = {
      {"7z", "application/x-7z-compressed"},
      {"bmp", "image/bmp"},
      {"csv", "text/csv"},
      {"doc", "application/msword"},
      {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {"eml", "message/rfc822"},
      {"gif", "image/gif"},
      {"gz", "application/gzip"},
      {"htm", "text/html"},
      {"html", "text/html"},
      {"ics", "text/calendar"},
      {"jpeg", "image/jpeg"},
      {"jpg", "image/jpeg"},
      {"json", "application/json"},
      {"mp3", "audio/mpeg"},
      {"mp4", "video/mp4"},
      {"msg", "application/vnd.ms-outlook"},
      {"odt", "application/vnd.oasis.opendocument.text"},
      {"pdf", "application/pdf"},
      {"png", "image/png"},
      {"ppt", "application/vnd.ms-powerpoint"},
      {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
      {"rtf", "application/rtf"},
      {"svg", "image/svg+xml"},
      {"tar", "application/x-tar"},
      {"tif", "image/tiff"},
      {"tiff", "image/tiff"},
      {"txt", "text/plain"},
      {"vcf", "text/vcard"},
      {"wav", "audio/wav"},
      {"xls", "application/vnd.ms-excel"},
      {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {"xml", "application/xml"},
      {"zip", "application/zip"},
  };
  const auto found = kTypes.find(LowerExtension(file_name));
  return found == kTypes.end() ? "application/octet-stream" : found->second;
}

std::string CharsetOfCodePage(int code_page) {
  static const std::map<int, std::string> kCharsets = {
      {437, "ibm437"},        {850, "ibm850"},         {852, "ibm852"},
      {866, "ibm866"},        {874, "windows-874"},    {932, "shift_jis"},
      {936, "gb2312"},        {949, "ks_c_5601-1987"}, {950, "big5"},
      {1200, "utf-16le"},     {1250, "windows-1250"},  {1251, "windows-1251"},
      {1252, "windows-1252"}, {1253, "windows-1253"},  {1254, "windows-1254"},
      {1255, "windows-1255"}, {1256, "windows-1256"},  {1257, "windows-1257"},
      {1258, "windows-1258"}, {20127, "us-ascii"},     {20866, "koi8-r"},
      {21866, "koi8-u"},      {28591, "iso-8859-1"},   {28592, "iso-8859-2"},
      {28593, "iso-8859-3"},  {28594, "iso-8859-4"},   {28595, "iso-8859-5"},
      {28596, "iso-8859-6"},  {28597, "iso-8859-7"},   {28598, "iso-8859-8"},
      {28599, "iso-8859-9"},  {28605, "iso-8859-15"},  {50220, "iso-2022-jp"},
      {51932, "euc-jp"},      {51949, "euc-kr"},       {54936, "gb18030"},
      {65001, "utf-8"},
  };
  const auto found = kCharsets.find(code_page);
  return found == kCharsets.end() ? std::string() : found->second;
}

std::vector<std::pair<std::string, std::string>> TraceHeaders(std::u16string_view headers) {
  static constexpr std::array<std::string_view, 4> kTrace = {
      "return-path", "received", "received-spf", "authentication-results"};
  std::vector<std::pair<std::string, std::string>> fields;
  const std::string text = ToUtf8(headers);
  bool kept = false;  // whether the field being unfolded is kept
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;  // the end of the header block
    if (line.front() == ' ' || line.front() == '\t') {
      if (kept) fields.back().second += line;
      continue;
    }
    const std::size_t colon = line.find(':');
    kept = false;
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    if (std::find(kTrace.begin(), kTrace.end(), Lower(name)) == kTrace.end()) continue;
    std::size_t value = colon + 1;
    while (value < line.size() && (line[value] == ' ' || line[value] == '\t')) ++value;
    fields.emplace_back(std::move(name), line.substr(value));
    kept = true;
  }
  // A lone CR or another control character would break the header it lands in.
  for (auto& field : fields) {
    for (char& c : field.second) {
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) c = ' ';
    }
  }
  return fields;
}

Result<ComposedEml> ComposeEmailEml(const pst::Store& store, const pst::Message& message,
                                    const mapi::EmailRecord& record) {
  // Every caller gets a started library, not only those that made the component first.
  if (Failed(StartMimeRuntime())) return Error("the MIME library cannot be started");
  ComposedEml composed;
  Composer composer(store, composed.warnings);
  GObjectPtr<GMimeMessage> mime = composer.Message(message, record, 0);
  const FormatOptionsPtr options(g_mime_format_options_new());
  // Internet messages end their lines with CR LF, in the file as on the wire.
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(GMIME_OBJECT(mime.get()), options.get(), stream.get()) < 0)
    return Error("the message could not be composed");
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  composed.bytes.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
  return composed;
}

}  // namespace bm
