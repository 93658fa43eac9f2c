#include "writers/row_records.h"

#include <algorithm>

namespace bm {

namespace {

auto HasNumber(std::int32_t number) {
  return [number](const auto& record) { return record.number == number; };
}

template <typename Record>
void MoveNumbered(std::vector<Record>& from, std::vector<Record>& to, std::int32_t number) {
  for (Record& record : from) {
    record.number = number;
    to.push_back(std::move(record));
  }
  from.clear();
}

}  // namespace

template <typename Record>
void RowRecordLists::AppendTo(std::vector<Record>& records, Record record) {
  std::lock_guard lock(mutex_);
  records.push_back(std::move(record));
}

template <typename Record, typename Matches>
std::optional<Record> RowRecordLists::FindIn(const std::vector<Record>& records,
                                             Matches matches) const {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(records.begin(), records.end(), matches);
  if (it == records.end()) return std::nullopt;
  return *it;
}

void RowRecordLists::Clear() {
  std::lock_guard lock(mutex_);
  emails_.clear();
  contacts_.clear();
  appointments_.clear();
  tasks_.clear();
  notes_.clear();
}

void RowRecordLists::Append(EmailRowRecord record) {
  AppendTo(emails_, std::move(record));
}

void RowRecordLists::Append(ContactRowRecord record) {
  AppendTo(contacts_, std::move(record));
}

void RowRecordLists::Append(AppointmentRowRecord record) {
  AppendTo(appointments_, std::move(record));
}

void RowRecordLists::Append(TaskRowRecord record) {
  AppendTo(tasks_, std::move(record));
}

void RowRecordLists::Append(NoteRowRecord record) {
  AppendTo(notes_, std::move(record));
}

void RowRecordLists::MoveTo(RowRecordLists& target, std::int32_t number) {
  if (&target == this) return;
  std::scoped_lock lock(mutex_, target.mutex_);
  MoveNumbered(emails_, target.emails_, number);
  MoveNumbered(contacts_, target.contacts_, number);
  MoveNumbered(appointments_, target.appointments_, number);
  MoveNumbered(tasks_, target.tasks_, number);
  MoveNumbered(notes_, target.notes_, number);
}

std::optional<EmailRowRecord> RowRecordLists::FindEmail(std::int32_t number,
                                                        std::u16string_view sender) const {
  return FindIn(emails_, [&](const EmailRowRecord& record) {
    return record.number == number && record.sender == sender;
  });
}

std::optional<ContactRowRecord> RowRecordLists::FindContact(std::int32_t number) const {
  return FindIn(contacts_, HasNumber(number));
}

std::optional<AppointmentRowRecord> RowRecordLists::FindAppointment(std::int32_t number) const {
  return FindIn(appointments_, HasNumber(number));
}

std::optional<TaskRowRecord> RowRecordLists::FindTask(std::int32_t number) const {
  return FindIn(tasks_, HasNumber(number));
}

std::optional<NoteRowRecord> RowRecordLists::FindNote(std::int32_t number) const {
  return FindIn(notes_, HasNumber(number));
}

std::size_t RowRecordLists::Size() const {
  std::lock_guard lock(mutex_);
  return emails_.size() + contacts_.size() + appointments_.size() + tasks_.size() + notes_.size();
}

}  // namespace bm
