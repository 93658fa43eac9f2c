#include "mapi/records.h"

#include <memory>
#include <string_view>
#include <utility>

#include "base/compressed_rtf.h"

namespace bm::mapi {

std::optional<std::uint16_t> IdIn(const pst::Store& store, const PropertyKey& key) {
  if (!key.named) return key.id;
  return store.IdOfName(key.named_id.name());
}

namespace {

std::string MessageText(pst::Nid nid) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string digits;
  for (pst::Nid rest = nid; rest != 0 || digits.empty(); rest >>= 4)
    digits.insert(digits.begin(), kHex[rest & 0xF]);
  return "message 0x" + digits;
}

// Reads values of one bag; the first unreadable value stops the record with its cause.
class BagReader {
 public:
  BagReader(const pst::Store& store, const pst::PropertyBag& bag, int code_page)
      : store_(store), bag_(bag), code_page_(code_page) {}

  std::optional<std::int32_t> Int32(const PropertyKey& key) const {
    const auto id = IdIn(store_, key);
    return id ? bag_.Int32(*id) : std::nullopt;
  }
  std::optional<bool> Boolean(const PropertyKey& key) const {
    const auto id = IdIn(store_, key);
    return id ? bag_.Boolean(*id) : std::nullopt;
  }
  std::optional<StoredTime> Time(const PropertyKey& key) const {
    const auto id = IdIn(store_, key);
    if (!id) return std::nullopt;
    if (const auto value = bag_.FileTime(*id)) return StoredTime{*value};
    return std::nullopt;
  }
  // The text, empty when absent or not a string.
  Result<std::u16string> Text(const PropertyKey& key) const {
    const auto id = IdIn(store_, key);
    if (!id) return std::u16string();
    Result<std::optional<std::u16string>> text = bag_.String(*id, code_page_);
    if (!text) return text.error().Within(PropertyName(*id));
    return std::move(*text).value_or(std::u16string());
  }
  Result<FieldValue> Field(const PropertyKey& key) const {
    return ReadFieldValue(store_, bag_, key, code_page_);
  }

  static std::string PropertyName(std::uint16_t id) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name = "property 0x";
    for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(id >> shift) & 0xF];
    return name;
  }

 private:
  const pst::Store& store_;
  const pst::PropertyBag& bag_;
  int code_page_;
};

// Assigns `from` to `to`, or adds the error to the caller's list.
template <typename T>
bool Take(Result<T> from, T& to, std::vector<Error>& errors) {
  if (!from) {
    errors.push_back(from.error());
    return false;
  }
  to = std::move(*from);
  return true;
}

// The same, keeping the first error only: for fields whose loss costs nothing but themselves.
template <typename T>
bool Take(Result<T> from, T& to, std::optional<Error>& error) {
  if (!from) {
    if (!error) error = from.error();
    return false;
  }
  to = std::move(*from);
  return true;
}

std::vector<std::uint8_t> WithoutTrailingZeros(std::vector<std::uint8_t> bytes, std::size_t unit) {
  while (bytes.size() >= unit) {
    bool zero = true;
    for (std::size_t i = bytes.size() - unit; i < bytes.size(); ++i) zero = zero && bytes[i] == 0;
    if (!zero) break;
    bytes.resize(bytes.size() - unit);
  }
  return bytes;
}

Result<std::optional<Body>> ReadStoredBody(const pst::PropertyBag& bag, std::uint16_t id,
                                           BodyKind kind, int code_page) {
  const std::optional<pst::PropertyInfo> info = bag.Find(id);
  if (!info) return std::optional<Body>();
  Result<std::optional<std::vector<std::uint8_t>>> bytes = bag.Binary(id);
  const char* what = kind == BodyKind::kHtml  ? "the HTML body"
                     : kind == BodyKind::kRtf ? "the RTF body"
                                              : "the plain-text body";
  if (!bytes) return bytes.error().Within(std::string(what) + " cannot be read");
  if (!*bytes) return std::optional<Body>();  // stored with a type that holds no bytes
  Body body;
  body.kind = kind;
  body.code_page = code_page;
  if (kind == BodyKind::kRtf) {
    std::optional<std::vector<std::uint8_t>> rtf = DecompressRtf(**bytes);
    if (!rtf) return Error(std::string(what) + " is damaged: its compressed form does not unpack");
    body.bytes = WithoutTrailingZeros(std::move(*rtf), 1);
  } else if (kind == BodyKind::kText && info->type == pst::type::kUnicode) {
    body.code_page = kUtf16CodePage;
    body.bytes = WithoutTrailingZeros(std::move(**bytes), 2);
  } else {
    body.bytes = WithoutTrailingZeros(std::move(**bytes), 1);
  }
  return std::optional<Body>(std::move(body));
}

// Each body the store gives; one it cannot give adds its error and leaves the others.
Bodies ReadBodies(const pst::PropertyBag& bag, int code_page, std::vector<Error>& errors) {
  Bodies bodies;
  Take(ReadStoredBody(bag, 0x1013, BodyKind::kHtml, code_page), bodies.html, errors);
  Take(ReadStoredBody(bag, 0x1009, BodyKind::kRtf, code_page), bodies.rtf, errors);
  Take(ReadStoredBody(bag, 0x1000, BodyKind::kText, code_page), bodies.text, errors);
  return bodies;
}

AttachmentEntry ReadAttachmentEntry(const pst::Store& store, const pst::Message& message,
                                    std::size_t index, int code_page) {
  AttachmentEntry entry;
  entry.index = index;
  Result<pst::Attachment> attachment = message.OpenAttachment(index);
  if (!attachment) {
    entry.error = attachment.error();
    return entry;
  }
  const pst::PropertyBag& bag = attachment->properties();
  const BagReader read(store, bag, code_page);
  entry.method = attachment->method();
  std::vector<Error> errors;
  Take(read.Text(pid::kAttachLongFilename), entry.name, errors);
  Take(read.Text(pid::kAttachContentId), entry.content_id, errors);
  Take(read.Text(pid::kAttachContentLocation), entry.content_location, errors);
  Take(read.Text(pid::kAttachMimeTag), entry.mime_type, errors);
  entry.hidden = read.Boolean(pid::kAttachmentHidden).value_or(false);
  if ((entry.method == attach_method::kByValue || entry.method == attach_method::kOle) &&
      bag.Has(pid::kAttachDataBinary)) {
    Result<pst::ValueStream> data =
        entry.method == attach_method::kOle ? attachment->OpenObjectData() : attachment->OpenData();
    if (data) {
      entry.size = data->size();
    } else {
      errors.push_back(data.error());
    }
  }
  if (!errors.empty())
    entry.error = errors.front().Within("attachment " + std::to_string(index + 1));
  return entry;
}

// The part every kind shares; what the store cannot give is in `unreadable`.
MessageRecord ReadMessageRecord(const pst::Store& store, const pst::Message& message) {
  MessageRecord record;
  const pst::PropertyBag& bag = message.properties();
  record.nid = message.nid();
  record.code_page = MessageCodePage(bag);
  const BagReader read(store, bag, record.code_page);
  std::vector<Error>& errors = record.unreadable;
  Take(read.Text(pid::kMessageClass), record.message_class, errors);
  Take(read.Text(pid::kSubject), record.subject, errors);
  Take(read.Text(pid::kConversationTopic), record.conversation_topic, errors);
  record.message_flags = read.Int32(pid::kMessageFlags);
  record.message_size = read.Int32(pid::kMessageSize);
  record.creation_time = read.Time(pid::kCreationTime);
  record.bodies = ReadBodies(bag, record.code_page, errors);
  // A table that cannot be read costs every attachment: that is named, never taken for none.
  const Result<pst::Table> attachments = message.AttachmentTable();
  if (!attachments) {
    errors.push_back(attachments.error().Within("attachment table"));
    return record;
  }
  for (std::size_t i = 0; i < attachments->row_count(); ++i) {
    record.attachments.push_back(ReadAttachmentEntry(store, message, i, record.code_page));
  }
  return record;
}

// Named properties the message holds that the store's name-to-id map does not name (a
// damaged map): a record looks its values up by name, so they would be taken for absent.
void NameUnnamedProperties(const pst::Store& store, const pst::PropertyBag& bag,
                           std::vector<Error>& errors) {
  std::string ids;
  std::size_t count = 0;
  for (const pst::PropertyInfo& info : bag.properties()) {
    if (info.id < 0x8000 || store.NameOfId(info.id)) continue;
    if (++count <= 4) ids += (ids.empty() ? "" : ", ") + BagReader::PropertyName(info.id);
  }
  if (count == 0) return;
  if (count > 4) ids += " and " + std::to_string(count - 4) + " more";
  errors.push_back(Error(std::to_string(count) +
                         " named properties have no name in the store's name-to-id map (" + ids +
                         "), so their values are missing"));
}

// Builds a record of kind T: the common part, then `fill` for the kind's own values.
template <typename T, typename Fill>
Result<T> BuildRecord(const pst::Store& store, const pst::Message& message, Damage damage,
                      Fill&& fill) {
  T record;
  static_cast<MessageRecord&>(record) = ReadMessageRecord(store, message);
  const BagReader read(store, message.properties(), record.code_page);
  fill(read, record, record.unreadable);
  // A listing shows what it can of such an item; a conversion names what it left out.
  if (damage == Damage::kKeepReadable) {
    NameUnnamedProperties(store, message.properties(), record.unreadable);
  }
  if (damage == Damage::kRefuse && !record.unreadable.empty()) {
    return record.unreadable.front().Within(MessageText(message.nid()));
  }
  return record;
}

Result<Mailbox> ReadMailbox(const BagReader& read, PropertyKey name, PropertyKey address_type,
                            PropertyKey address, PropertyKey smtp_address) {
  Mailbox mailbox;
  std::vector<Error> errors;
  Take(read.Text(name), mailbox.name, errors);
  Take(read.Text(address_type), mailbox.address_type, errors);
  Take(read.Text(address), mailbox.address, errors);
  Take(read.Text(smtp_address), mailbox.smtp_address, errors);
  if (!errors.empty()) return errors.front();
  return mailbox;
}

// The recipients the store gives; one it cannot give adds its error and is left out.
std::vector<Recipient> ReadRecipients(const pst::Store& store, const pst::Message& message,
                                      int code_page, std::vector<Error>& errors) {
  std::vector<Recipient> recipients;
  Result<std::vector<pst::PropertyBag>> rows = message.Recipients();
  if (!rows) {
    errors.push_back(rows.error().Within("the recipients cannot be read"));
    return recipients;
  }
  for (const pst::PropertyBag& row : *rows) {
    const BagReader read(store, row, code_page);
    Recipient recipient;
    recipient.type = read.Int32(pid::kRecipientType).value_or(recipient_type::kOriginator);
    Result<Mailbox> mailbox = ReadMailbox(read, pid::kDisplayName, pid::kAddressType,
                                          pid::kEmailAddress, pid::kSmtpAddress);
    if (!mailbox) {
      errors.push_back(mailbox.error().Within("a recipient cannot be read"));
      continue;
    }
    recipient.mailbox = std::move(*mailbox);
    // An empty display name is as good as none: the recipient display name may still help.
    if (recipient.mailbox.name.empty()) {
      Result<std::u16string> name = read.Text(pid::kRecipientDisplayName);
      if (!name) {
        errors.push_back(name.error().Within("a recipient cannot be read"));
        continue;
      }
      recipient.mailbox.name = std::move(*name);
    }
    recipients.push_back(std::move(recipient));
  }
  return recipients;
}

}  // namespace

int MessageCodePage(const pst::PropertyBag& bag) {
  for (const std::uint16_t id : {pid::kMessageCodepage, pid::kInternetCodepage}) {
    if (const auto code_page = bag.Int32(id); code_page && *code_page > 0) return *code_page;
  }
  return 1252;
}

Result<FieldValue> ReadFieldValue(const pst::Store& store, const pst::PropertyBag& bag,
                                  const PropertyKey& key, int code_page) {
  const std::optional<std::uint16_t> id = IdIn(store, key);
  if (!id) return FieldValue();
  const std::optional<pst::PropertyInfo> info = bag.Find(*id);
  if (!info) return FieldValue();
  switch (info->type) {
    case pst::type::kInt32:
      return FieldValue(*bag.Int32(*id));
    case pst::type::kFloat:
    case pst::type::kDouble:
      return FieldValue(*bag.Double(*id));
    case pst::type::kBoolean:
      return FieldValue(*bag.Boolean(*id));
    case pst::type::kFileTime:
      return FieldValue(StoredTime{*bag.FileTime(*id)});
    case pst::type::kString8:
    case pst::type::kUnicode: {
      Result<std::optional<std::u16string>> text = bag.String(*id, code_page);
      if (!text) return text.error().Within(BagReader::PropertyName(*id));
      return FieldValue(std::move(*text).value_or(std::u16string()));
    }
    default:
      return FieldValue();
  }
}

Result<EmailRecord> ReadEmailRecord(const pst::Store& store, const pst::Message& message,
                                    Damage damage) {
  return BuildRecord<EmailRecord>(
      store, message, damage,
      [&](const BagReader& read, EmailRecord& record, std::vector<Error>& errors) {
        Take(ReadMailbox(read, pid::kSenderName, pid::kSenderAddressType, pid::kSenderEmailAddress,
                         pid::kSenderSmtpAddress),
             record.sender, errors);
        Take(ReadMailbox(read, pid::kSentRepresentingName, pid::kSentRepresentingAddressType,
                         pid::kSentRepresentingEmailAddress, pid::kSentRepresentingSmtpAddress),
             record.sent_representing, errors);
        record.submit_time = read.Time(pid::kClientSubmitTime);
        record.delivery_time = read.Time(pid::kMessageDeliveryTime);
        record.recipients = ReadRecipients(store, message, record.code_page, errors);
        // Only the internet form needs these: one that cannot be read is noted, and the
        // e-mail is still read, listed and copied.
        InternetFields& internet = record.internet;
        Take(read.Text(pid::kInternetMessageId), internet.message_id, internet.error);
        Take(read.Text(pid::kInReplyToId), internet.in_reply_to, internet.error);
        Take(read.Text(pid::kInternetReferences), internet.references, internet.error);
        Take(read.Text(pid::kTransportMessageHeaders), internet.transport_headers, internet.error);
        internet.importance = read.Int32(pid::kImportance);
        internet.priority = read.Int32(pid::kPriority);
        internet.sensitivity = read.Int32(pid::kSensitivity);
      });
}

Result<ContactRecord> ReadContactRecord(const pst::Store& store, const pst::Message& message,
                                        Damage damage) {
  return BuildRecord<ContactRecord>(
      store, message, damage,
      [](const BagReader& read, ContactRecord& record, std::vector<Error>& errors) {
        for (std::size_t i = 0; i < kContactFields.size(); ++i) {
          Take(read.Field(kContactFields[i].property), record.fields[i], errors);
        }
      });
}

Result<AppointmentRecord> ReadAppointmentRecord(const pst::Store& store,
                                                const pst::Message& message, Damage damage) {
  return BuildRecord<AppointmentRecord>(
      store, message, damage,
      [](const BagReader& read, AppointmentRecord& record, std::vector<Error>& errors) {
        record.start_time = read.Time(lid::kAppointmentStartWhole);
        record.end_time = read.Time(lid::kAppointmentEndWhole);
        Take(read.Field(lid::kAppointmentDuration), record.duration, errors);
        Take(read.Text(lid::kLocation), record.location, errors);
        Take(read.Text(lid::kRecurrencePattern), record.recurrence_pattern, errors);
        record.first_effective_time = read.Time(lid::kClipStart);
        record.last_effective_time = read.Time(lid::kClipEnd);
        Take(read.Field(lid::kBusyStatus), record.busy_status, errors);
      });
}

Result<TaskRecord> ReadTaskRecord(const pst::Store& store, const pst::Message& message,
                                  Damage damage) {
  return BuildRecord<TaskRecord>(
      store, message, damage,
      [](const BagReader& read, TaskRecord& record, std::vector<Error>& errors) {
        Take(read.Text(pid::kSenderName), record.sender_name, errors);
        record.start_date = read.Time(lid::kTaskStartDate);
        record.due_date = read.Time(lid::kTaskDueDate);
        Take(read.Field(lid::kTaskStatus), record.status, errors);
        Take(read.Field(lid::kPercentComplete), record.percent_complete, errors);
        Take(read.Field(lid::kTaskActualEffort), record.actual_effort, errors);
        Take(read.Field(lid::kTaskEstimatedEffort), record.total_effort, errors);
        Take(read.Field(lid::kTaskComplete), record.complete, errors);
        Take(read.Field(lid::kTaskVersion), record.version, errors);
      });
}

Result<NoteRecord> ReadNoteRecord(const pst::Store& store, const pst::Message& message,
                                  Damage damage) {
  return BuildRecord<NoteRecord>(store, message, damage,
                                 [](const BagReader&, NoteRecord&, std::vector<Error>&) {});
}

}  // namespace bm::mapi
