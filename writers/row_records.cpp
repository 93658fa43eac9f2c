#include "writers/row_records.h"

#include <algorithm>

namespace bm {

namespace {

template <typename Record>
std::optional<Record> FindByNumber(const std::vector<Record>& records, std::int32_t number) {
  const auto it = std::find_if(records.begin(), records.end(),
                               [number](const Record& r) { return r.number == number; });
  if (it == records.end()) return std::nullopt;
  return *it;
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

void RowRecordLists::Clear() {
  std::lock_guard lock(mutex_);
  emails_.clear();
  contacts_.clear();
  appointments_.clear();
  tasks_.clear();
  notes_.clear();
}

void RowRecordLists::Append(EmailRowRecord record) {
  std::lock_guard lock(mutex_);
  emails_.push_back(std::move(record));
}

void RowRecordLists::Append(ContactRowRecord record) {
  std::lock_guard lock(mutex_);
  contacts_.push_back(std::move(record));
}

void RowRecordLists::Append(AppointmentRowRecord record) {
  std::lock_guard lock(mutex_);
  appointments_.push_back(std::move(record));
}

void RowRecordLists::Append(TaskRowRecord record) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(record));
}

void RowRecordLists::Append(NoteRowRecord record) {
  std::lock_guard lock(mutex_);
  notes_.push_back(std::move(record));
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
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(emails_.begin(), emails_.end(), [&](const EmailRowRecord& r) {
    return r.number == number && r.sender == sender;
  });
  if (it == emails_.end()) return std::nullopt;
  return *it;
}

std::optional<ContactRowRecord> RowRecordLists::FindContact(std::int32_t number) const {
  std::lock_guard lock(mutex_);
  return FindByNumber(contacts_, number);
}

std::optional<AppointmentRowRecord> RowRecordLists::FindAppointment(std::int32_t number) const {
  std::lock_guard lock(mutex_);
  return FindByNumber(appointments_, number);
}

std::optional<TaskRowRecord> RowRecordLists::FindTask(std::int32_t number) const {
  std::lock_guard lock(mutex_);
  return FindByNumber(tasks_, number);
}

std::optional<NoteRowRecord> RowRecordLists::FindNote(std::int32_t number) const {
  std::lock_guard lock(mutex_);
  return FindByNumber(notes_, number);
}

std::size_t RowRecordLists::Size() const {
  std::lock_guard lock(mutex_);
  return emails_.size() + contacts_.size() + appointments_.size() + tasks_.size() + notes_.size();
}

}  // namespace bm
