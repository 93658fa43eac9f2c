// Row records: what the item writers keep for each listed item so a click can preview it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/body_kind.h"
#include "mapi/contact_fields.h"

namespace bm {

inline constexpr std::size_t kContactFieldCount = mapi::kContactFieldCount;

// An attachment an HTML body may show as a picture: by its content id ("cid:" references) or
// by its content location. The file name is the one the writer gave the attachment, and the
// index opens it from the stored message when a click shows the body.
struct InlinePart {
  std::u16string content_id;
  std::u16string content_location;
  std::size_t attachment_index = 0;
  std::u16string file_name;
  std::uint64_t size = 0;

  bool operator==(const InlinePart&) const = default;
};

// What every listed item's row record starts with: its number in the list, the folder it was
// found in, the texts of its list row, and the attachment files the writer gave it.
struct RowRecordHead {
  std::int32_t number = 0;
  std::u16string folder_path;
  std::u16string creation_time;
  std::u16string size;
  std::u16string flags;
  std::u16string subject;
  std::u16string attachment_list;

  bool operator==(const RowRecordHead&) const = default;
};

struct EmailRowRecord : RowRecordHead {
  // The stored message, so a click can write the pictures its body shows.
  std::uint32_t message_nid = 0;
  std::int32_t item_index = 0;
  std::u16string body_file_path;
  std::u16string sender;
  std::u16string sender_address;
  std::uint64_t body_size = 0;
  BodyKind body_kind = BodyKind::kText;
  std::u16string to_list;
  std::u16string cc_list;
  std::u16string bcc_list;
  std::vector<InlinePart> inline_parts;

  bool operator==(const EmailRowRecord&) const = default;
};

// Body bytes exactly as the writer read them; their count is the body size.
struct RecordBody {
  std::vector<std::uint8_t> bytes;
  BodyKind kind = BodyKind::kText;

  bool operator==(const RecordBody&) const = default;
};

struct ContactRowRecord : RowRecordHead {
  std::array<std::u16string, kContactFieldCount> fields;
  RecordBody body;

  bool operator==(const ContactRowRecord&) const = default;
};

// An appointment's own fields as display texts: its text file and its preview page both show
// them.
struct AppointmentTexts {
  std::u16string start_time;
  std::u16string end_time;
  std::u16string duration;
  std::u16string location;
  std::u16string recurrence_pattern;
  std::u16string first_effective_time;
  std::u16string last_effective_time;
  std::u16string busy_status;

  bool operator==(const AppointmentTexts&) const = default;
};

struct AppointmentRowRecord : RowRecordHead {
  AppointmentTexts texts;
  RecordBody body;

  bool operator==(const AppointmentRowRecord&) const = default;
};

// A task's own fields as display texts: its text file and its preview page both show them.
struct TaskTexts {
  std::u16string sender_name;
  std::u16string start_date;
  std::u16string due_date;
  std::u16string status;
  std::u16string percent_complete;
  std::u16string actual_effort;
  std::u16string total_effort;
  std::u16string complete;
  std::u16string version;

  bool operator==(const TaskTexts&) const = default;
};

struct TaskRowRecord : RowRecordHead {
  TaskTexts texts;
  RecordBody body;

  bool operator==(const TaskRowRecord&) const = default;
};

struct NoteRowRecord : RowRecordHead {
  RecordBody body;

  bool operator==(const NoteRowRecord&) const = default;
};

// The five row record lists. Writers append from a worker thread while a click may look a
// record up on the interface thread, so every access holds one lock and lookups hand out
// copies that stay valid whatever the worker does next.
class RowRecordLists {
 public:
  void Clear();

  void Append(EmailRowRecord record);
  void Append(ContactRowRecord record);
  void Append(AppointmentRowRecord record);
  void Append(TaskRowRecord record);
  void Append(NoteRowRecord record);

  // Moves every record of these lists to the end of `target`'s, each under `number`: a folder
  // load renders each item into lists of its own on a worker and numbers it in list order.
  void MoveTo(RowRecordLists& target, std::int32_t number);

  // The e-mail record with this number whose sender equals `sender`.
  std::optional<EmailRowRecord> FindEmail(std::int32_t number, std::u16string_view sender) const;
  std::optional<ContactRowRecord> FindContact(std::int32_t number) const;
  std::optional<AppointmentRowRecord> FindAppointment(std::int32_t number) const;
  std::optional<TaskRowRecord> FindTask(std::int32_t number) const;
  std::optional<NoteRowRecord> FindNote(std::int32_t number) const;

  std::size_t Size() const;

 private:
  // Every append and lookup is the same locked step on one of the lists.
  template <typename Record>
  void AppendTo(std::vector<Record>& records, Record record);
  template <typename Record, typename Matches>
  std::optional<Record> FindIn(const std::vector<Record>& records, Matches matches) const;

  mutable std::mutex mutex_;
  std::vector<EmailRowRecord> emails_;
  std::vector<ContactRowRecord> contacts_;
  std::vector<AppointmentRowRecord> appointments_;
  std::vector<TaskRowRecord> tasks_;
  std::vector<NoteRowRecord> notes_;
};

}  // namespace bm
