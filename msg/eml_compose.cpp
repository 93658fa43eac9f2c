#include "msg/eml_compose.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "base/paths.h"
#include "base/text.h"
#include "msg/charset.h"
#include "msg/file_bytes.h"
#include "msg/glib_ptr.h"
#include "msg/html_text.h"
#include "msg/rtf_text.h"

namespace bm {

namespace {

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

Mailbox MailboxOf(std::u16string_view name, std::u16string_view address) {
  return Mailbox{ToUtf8(Trim(name)), ToUtf8(Trim(address))};
}

// "Name [addr]" or "Name".
Mailbox ParseRecipientEntry(std::u16string_view entry) {
  entry = Trim(entry);
  const std::size_t open = entry.rfind(u'[');
  if (!entry.empty() && entry.back() == u']' && open != std::u16string_view::npos) {
    return MailboxOf(entry.substr(0, open), entry.substr(open + 1, entry.size() - open - 2));
  }
  return MailboxOf(entry, {});
}

bool ReadNumber(std::u16string_view& text, std::size_t digits, int& value) {
  if (text.size() < digits) return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    value = value * 10 + (text[i] - u'0');
  }
  text.remove_prefix(digits);
  return true;
}

bool Expect(std::u16string_view& text, char16_t c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

std::string LowerExtension(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(file_name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// Text parts carry LF line ends; the transfer encoding then restores CR LF where needed.
std::string ToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

GObjectPtr<GMimePart> MakePart(const char* type, const char* subtype, std::string_view bytes,
                               const char* charset, GMimeContentEncoding encoding) {
  GObjectPtr<GMimePart> part(g_mime_part_new_with_type(type, subtype));
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GObjectPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  if (charset != nullptr) {
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", charset);
  }
  g_mime_part_set_content_encoding(part.get(), encoding);
  return part;
}

// Base64 keeps the text exact: with 7bit or quoted-printable a reader cannot tell whether the
// line end before the end of the message belongs to the text.
GObjectPtr<GMimeObject> TextPart(const char* subtype, std::string_view utf8_text) {
  const std::string text = ToLf(utf8_text);
  return GObjectPtr<GMimeObject>(GMIME_OBJECT(
      MakePart("text", subtype, text, "utf-8", GMIME_CONTENT_ENCODING_BASE64).release()));
}

GObjectPtr<GMimeObject> Alternative(std::vector<GObjectPtr<GMimeObject>> parts) {
  GObjectPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
  for (const auto& part : parts) g_mime_multipart_add(alternative.get(), part.get());
  return GObjectPtr<GMimeObject>(GMIME_OBJECT(alternative.release()));
}

// HTML stays HTML (in its own charset) beside a plain text derived from it.
GObjectPtr<GMimeObject> HtmlBody(std::string_view html) {
  std::string charset = DeclaredHtmlCharset(html);
  std::string bytes(html);
  // UTF-8 is labelled only once checked, and wide forms are carried as UTF-8.
  if (charset.empty() || charset == "utf-8" || charset.rfind("utf-16", 0) == 0) {
    bytes = HtmlToUtf8(html);
    charset = "utf-8";
  }
  std::vector<GObjectPtr<GMimeObject>> parts;
  parts.push_back(TextPart("plain", HtmlToText(html)));
  GObjectPtr<GMimePart> html_part =
      MakePart("text", "html", ToLf(bytes), charset.c_str(), GMIME_CONTENT_ENCODING_BASE64);
  parts.emplace_back(GMIME_OBJECT(html_part.release()));
  return Alternative(std::move(parts));
}

// RTF is kept byte for byte (base64) beside its plain text, and beside the HTML it
// encapsulates when it does.
GObjectPtr<GMimeObject> RtfBody(std::string_view rtf) {
  std::vector<GObjectPtr<GMimeObject>> parts;
  parts.push_back(TextPart("plain", RtfToText(rtf)));
  if (std::optional<std::string> html = ExtractRtfHtml(rtf))
    parts.push_back(TextPart("html", *html));
  GObjectPtr<GMimePart> rtf_part =
      MakePart("text", "rtf", rtf, nullptr, GMIME_CONTENT_ENCODING_BASE64);
  parts.emplace_back(GMIME_OBJECT(rtf_part.release()));
  return Alternative(std::move(parts));
}

GObjectPtr<GMimeObject> BodyPart(const ComposeInput& input) {
  switch (input.body_kind) {
    case BodyKind::kHtml:
      return HtmlBody(input.body);
    case BodyKind::kRtf:
      return RtfBody(input.body);
    case BodyKind::kText:
      break;
  }
  std::string_view text = input.body;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark is no text
  return TextPart("plain", Utf8OrWindows1252(text));
}

// A message in the bytes, or nothing when they do not look like one.
GObjectPtr<GMimeMessage> ParseMessage(const std::string& bytes) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) return nullptr;
  static const char* const kMessageHeaders[] = {"From",       "Subject",      "Date",
                                                "Message-Id", "MIME-Version", "To"};
  for (const char* header : kMessageHeaders) {
    if (g_mime_object_get_header(GMIME_OBJECT(message.get()), header) != nullptr) return message;
  }
  return nullptr;
}

GObjectPtr<GMimeObject> MessageAttachmentPart(GMimeMessage* message, const std::string& name) {
  GObjectPtr<GMimeMessagePart> part(g_mime_message_part_new_with_message("rfc822", message));
  auto* object = GMIME_OBJECT(part.get());
  g_mime_object_set_disposition(object, "attachment");
  g_mime_object_set_content_disposition_parameter(object, "filename", name.c_str());
  g_mime_object_set_content_type_parameter(object, "name", name.c_str());
  return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}

// An attachment file as a part: an .eml file holding a message becomes an attached message,
// anything else a base64 part typed by its extension.
GObjectPtr<GMimeObject> AttachmentPart(const std::filesystem::path& path,
                                       const std::string& bytes) {
  const std::string name = ToUtf8(FromPath(path.filename()));
  std::string type = ContentTypeForName(name);
  if (type == "message/rfc822") {
    if (GObjectPtr<GMimeMessage> message = ParseMessage(bytes)) {
      return MessageAttachmentPart(message.get(), name);
    }
    type = "application/octet-stream";  // named .eml but no message
  }
  const std::size_t slash = type.find('/');
  GObjectPtr<GMimePart> part =
      MakePart(type.substr(0, slash).c_str(), type.substr(slash + 1).c_str(), bytes, nullptr,
               GMIME_CONTENT_ENCODING_BASE64);
  g_mime_object_set_disposition(GMIME_OBJECT(part.get()), "attachment");
  g_mime_part_set_filename(part.get(), name.c_str());
  return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}

// A recipient without an address becomes an empty group, the only address form that is
// just a name.
void AddAddress(InternetAddressList* list, const Mailbox& mailbox) {
  if (mailbox.address.empty()) {
    if (mailbox.name.empty()) return;
    GObjectPtr<InternetAddress> group(internet_address_group_new(mailbox.name.c_str()));
    internet_address_list_add(list, group.get());
    return;
  }
  GObjectPtr<InternetAddress> address(
      internet_address_mailbox_new(mailbox.name.c_str(), mailbox.address.c_str()));
  internet_address_list_add(list, address.get());
}

void AddAddresses(GMimeMessage* message, GMimeAddressType type,
                  const std::vector<Mailbox>& mailboxes) {
  InternetAddressList* list = g_mime_message_get_addresses(message, type);
  for (const Mailbox& mailbox : mailboxes) AddAddress(list, mailbox);
}

void SetDate(GMimeMessage* message, const DateParts& date) {
  const GDateTimePtr time(
      g_date_time_new_utc(date.year, date.month, date.day, date.hour, date.minute, date.second));
  if (time) g_mime_message_set_date(message, time.get());
}

}  // namespace

Mailbox ParseSenderText(std::u16string_view sender_text) {
  std::u16string_view text = Trim(sender_text);
  if (text.substr(0, 5) == u"From:") text.remove_prefix(5);
  text = Trim(text);
  const std::size_t open = text.rfind(u'<');
  if (!text.empty() && text.back() == u'>' && open != std::u16string_view::npos) {
    return MailboxOf(text.substr(0, open), text.substr(open + 1, text.size() - open - 2));
  }
  return MailboxOf(text, {});
}

std::vector<Mailbox> ParseRecipientList(std::u16string_view list) {
  std::vector<Mailbox> entries;
  std::size_t start = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] != u',') continue;
    const bool after_address = i > start && list[i - 1] == u']';
    const bool blank_follows = i + 1 < list.size() && list[i + 1] == u' ';
    if (!after_address && blank_follows) continue;  // a comma inside a name
    const std::u16string_view entry = Trim(list.substr(start, i - start));
    if (!entry.empty()) entries.push_back(ParseRecipientEntry(entry));
    start = i + 1;
  }
  if (const std::u16string_view rest = Trim(list.substr(start)); !rest.empty()) {
    entries.push_back(ParseRecipientEntry(rest));
  }
  return entries;
}

std::optional<DateParts> ParseDateText(std::u16string_view text) {
  text = Trim(text);
  DateParts date;
  if (!ReadNumber(text, 2, date.month) || !Expect(text, u'/') || !ReadNumber(text, 2, date.day) ||
      !Expect(text, u'/') || !ReadNumber(text, 4, date.year) || !Expect(text, u' ') ||
      !ReadNumber(text, 2, date.hour) || !Expect(text, u':') || !ReadNumber(text, 2, date.minute) ||
      !Expect(text, u':') || !ReadNumber(text, 2, date.second)) {
    return std::nullopt;
  }
  if (Expect(text, u'.')) {
    const std::size_t digits = std::min<std::size_t>(text.size(), 9);
    int fraction = 0;
    if (digits == 0 || !ReadNumber(text, digits, fraction)) return std::nullopt;
    for (std::size_t i = digits; i < 9; ++i) fraction *= 10;
    date.nanoseconds = fraction;
  }
  if (!text.empty()) return std::nullopt;
  const GDateTimePtr valid(
      g_date_time_new_utc(date.year, date.month, date.day, date.hour, date.minute, date.second));
  if (!valid) return std::nullopt;
  return date;
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

BodyKind ParseBodyKind(std::u16string_view kind_text) {
  if (kind_text == u"html") return BodyKind::kHtml;
  if (kind_text == u"rtf") return BodyKind::kRtf;
  return BodyKind::kText;
}

HResult ComposeMessage(const ComposeInput& input, ComposeOutput& output) {
  GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  if (!message) return E_OUTOFMEMORY;
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_FROM, {input.sender});
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_TO, input.to);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_CC, input.cc);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_BCC, input.bcc);
  if (input.date) SetDate(message.get(), *input.date);
  g_mime_message_set_subject(message.get(), input.subject.c_str(), "utf-8");

  GObjectPtr<GMimeObject> body = BodyPart(input);
  std::vector<GObjectPtr<GMimeObject>> attachments;
  for (const std::filesystem::path& path : input.attachments) {
    if (std::optional<std::string> bytes = ReadFileBytes(path)) {
      attachments.push_back(AttachmentPart(path, *bytes));
    } else {
      output.unreadable.push_back(path);
    }
  }
  if (attachments.empty()) {
    g_mime_message_set_mime_part(message.get(), body.get());
  } else {
    GObjectPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), body.get());
    for (const auto& attachment : attachments) g_mime_multipart_add(mixed.get(), attachment.get());
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
  }

  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, stream.get()) < 0) {
    return E_FAIL;
  }
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  output.message.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
  return S_OK;
}

}  // namespace bm
