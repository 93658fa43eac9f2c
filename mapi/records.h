// Plain records of the items the program writes, built once from a stored message: what the
// text files, list rows, row records, preview pages and composed messages show, as structured
// values (mailboxes, FILETIMEs, body bytes with their kind and code page), never as texts.
//
//   auto message = store.OpenMessage(nid);
//   auto email = mapi::ReadEmailRecord(store, *message);  // an error says what was unreadable
//
// A record holds no handle on the store: it can be kept, copied and rendered on any thread.
// Attachment data stays in the store; an entry's index opens it from the message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "base/text.h"
#include "mapi/body_kind.h"
#include "mapi/contact_fields.h"
#include "pst/store.h"

namespace bm::mapi {

// A point in time as the store keeps it: 100-nanosecond intervals since 1601-01-01 UTC.
struct StoredTime {
  std::uint64_t filetime = 0;
  friend bool operator==(const StoredTime&, const StoredTime&) = default;
};

// A value whose text follows the type the store gave it (the contact fields hold numbers,
// dates and texts alike). Empty for an absent value or a type no text is made of.
using FieldValue =
    std::variant<std::monostate, std::int32_t, double, bool, std::u16string, StoredTime>;

// Someone who sends or receives: the display name stays whole ("Doe, Jane" is one name).
struct Mailbox {
  std::u16string name;
  std::u16string address_type;  // "SMTP", "EX", ...
  std::u16string address;
  std::u16string smtp_address;  // empty when the store keeps none
  friend bool operator==(const Mailbox&, const Mailbox&) = default;
};

// Recipient types as the store keeps them; other numbers are kept as they are.
namespace recipient_type {
inline constexpr std::int32_t kOriginator = 0;
inline constexpr std::int32_t kTo = 1;
inline constexpr std::int32_t kCc = 2;
inline constexpr std::int32_t kBcc = 3;
}  // namespace recipient_type

struct Recipient {
  std::int32_t type = recipient_type::kOriginator;  // 0 when the store gives none
  Mailbox mailbox;
  friend bool operator==(const Recipient&, const Recipient&) = default;
};

// One stored form of the body.
struct Body {
  BodyKind kind = BodyKind::kText;
  // HTML as stored; RTF decompressed; plain text as stored: UTF-16LE (code page 1200) or
  // 8-bit text in `code_page`. Without a terminating zero.
  std::vector<std::uint8_t> bytes;
  int code_page = 1252;
};

inline constexpr int kUtf16CodePage = kUtf16LeCodePage;

// The bodies a message holds; each form is absent when the message does not store it.
struct Bodies {
  std::optional<Body> html;
  std::optional<Body> rtf;
  std::optional<Body> text;
};

struct AttachmentEntry {
  std::size_t index = 0;            // in attachment-table order: Message::OpenAttachment(index)
  std::u16string name;              // the long file name as stored; may be empty
  std::uint64_t size = 0;           // the data's bytes (by-value attachments)
  std::int32_t method = 0;          // 1 by value, 5 embedded message, 6 OLE, 2-4 by reference
  std::u16string content_id;        // for pictures an HTML body refers to
  std::u16string content_location;  // the URL an HTML body may name such a picture by
  std::u16string mime_type;         // as stored; may be empty
  bool hidden = false;
  std::optional<Error> error;  // set when the attachment object cannot be read
};

// PidTagAttachMethod values the program treats apart.
namespace attach_method {
inline constexpr std::int32_t kByValue = 1;
inline constexpr std::int32_t kEmbeddedMessage = 5;
inline constexpr std::int32_t kOle = 6;
}  // namespace attach_method

// What every kind of item has.
struct MessageRecord {
  pst::Nid nid = 0;
  std::u16string message_class;
  std::u16string subject;  // as stored, prefix markers included
  std::u16string conversation_topic;
  std::optional<std::int32_t> message_flags;
  std::optional<std::int32_t> message_size;
  std::optional<StoredTime> creation_time;
  int code_page = 1252;  // of the message's 8-bit strings
  Bodies bodies;
  std::vector<AttachmentEntry> attachments;
  // What the store could not give (a body, a recipient, a field), each with its cause; the
  // rest of the record holds what was readable. Empty unless read with Damage::kKeepReadable.
  std::vector<Error> unreadable;
};

// What an e-mail keeps of its internet form; each empty or absent when not stored.
struct InternetFields {
  std::u16string message_id;  // with its angle brackets, as stored
  std::u16string in_reply_to;
  std::u16string references;
  std::u16string transport_headers;         // the headers the message arrived with
  std::optional<std::int32_t> importance;   // 0 low, 1 normal, 2 high
  std::optional<std::int32_t> priority;     // -1 non-urgent, 0 normal, 1 urgent
  std::optional<std::int32_t> sensitivity;  // 0 none, 1 personal, 2 private, 3 confidential
  std::optional<Error> error;               // why a text above could not be read (it is then empty)
};

struct EmailRecord : MessageRecord {
  Mailbox sender;             // who sent it
  Mailbox sent_representing;  // on whose behalf; empty when the store keeps none
  std::optional<StoredTime> submit_time;
  std::optional<StoredTime> delivery_time;
  std::vector<Recipient> recipients;  // in stored order
  InternetFields internet;
};

struct ContactRecord : MessageRecord {
  std::array<FieldValue, kContactFieldCount> fields;  // in kContactFields order
};

struct AppointmentRecord : MessageRecord {
  std::optional<StoredTime> start_time;
  std::optional<StoredTime> end_time;
  FieldValue duration;  // minutes
  std::u16string location;
  std::u16string recurrence_pattern;
  std::optional<StoredTime> first_effective_time;
  std::optional<StoredTime> last_effective_time;
  FieldValue busy_status;
};

struct TaskRecord : MessageRecord {
  std::u16string sender_name;
  std::optional<StoredTime> start_date;
  std::optional<StoredTime> due_date;
  FieldValue status;
  FieldValue percent_complete;
  FieldValue actual_effort;  // minutes
  FieldValue total_effort;   // minutes
  FieldValue complete;
  FieldValue version;
};

using NoteRecord = MessageRecord;

// What a record read does with a part the store cannot give: kRefuse makes no record (a
// preview never shows a message as having no body when its body is lost); kKeepReadable (a
// conversion, which writes what is readable and names the rest) keeps the other parts and
// lists each cause in MessageRecord::unreadable.
enum class Damage { kRefuse, kKeepReadable };

// Each builds the record from `message` of `store` (which resolves the named properties).
// Errors carry the reader's cause.
Result<EmailRecord> ReadEmailRecord(const pst::Store& store, const pst::Message& message,
                                    Damage damage = Damage::kRefuse);
Result<ContactRecord> ReadContactRecord(const pst::Store& store, const pst::Message& message,
                                        Damage damage = Damage::kRefuse);
Result<AppointmentRecord> ReadAppointmentRecord(const pst::Store& store,
                                                const pst::Message& message,
                                                Damage damage = Damage::kRefuse);
Result<TaskRecord> ReadTaskRecord(const pst::Store& store, const pst::Message& message,
                                  Damage damage = Damage::kRefuse);
Result<NoteRecord> ReadNoteRecord(const pst::Store& store, const pst::Message& message,
                                  Damage damage = Damage::kRefuse);

// The value of `key` in `bag` by its stored type: PT_LONG as int32, PT_FLOAT and PT_DOUBLE as
// double, PT_BOOLEAN, PT_STRING8 (decoded with `code_page`) and PT_UNICODE as text,
// PT_SYSTIME as StoredTime; empty for an absent key or another type. An error when a text in
// a damaged subnode cannot be read.
Result<FieldValue> ReadFieldValue(const pst::Store& store, const pst::PropertyBag& bag,
                                  const PropertyKey& key, int code_page);

// The code page of a message's 8-bit strings: PidTagMessageCodepage, else
// PidTagInternetCodepage, else 1252.
int MessageCodePage(const pst::PropertyBag& bag);

}  // namespace bm::mapi
