// The task and note writers: a list row and row record in preview mode, a labelled UTF-16 text
// file in conversion mode.
#include <string_view>

#include "engine/app_state.h"
#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/item_writers.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

namespace lid {
constexpr std::uint32_t kTaskStatus = 0x8101;
constexpr std::uint32_t kPercentComplete = 0x8102;
constexpr std::uint32_t kTaskStartDate = 0x8104;
constexpr std::uint32_t kTaskDueDate = 0x8105;
constexpr std::uint32_t kTaskActualEffort = 0x8110;
constexpr std::uint32_t kTaskEstimatedEffort = 0x8111;
constexpr std::uint32_t kTaskVersion = 0x8112;
constexpr std::uint32_t kTaskComplete = 0x811C;
}  // namespace lid

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
};

TaskTexts ReadTaskTexts(libpff_item_t* item) {
  TaskTexts texts;
  texts.sender_name = PropertyTextOrEmpty(item, 0, prop::kSenderName);
  texts.start_date = PropertyTextOrEmpty(item, 0, lid::kTaskStartDate);
  texts.due_date = PropertyTextOrEmpty(item, 0, lid::kTaskDueDate);
  texts.status = PropertyTextOrEmpty(item, 0, lid::kTaskStatus);
  texts.percent_complete = PropertyTextOrEmpty(item, 0, lid::kPercentComplete);
  texts.actual_effort = PropertyTextOrEmpty(item, 0, lid::kTaskActualEffort);
  texts.total_effort = PropertyTextOrEmpty(item, 0, lid::kTaskEstimatedEffort);
  texts.complete = PropertyTextOrEmpty(item, 0, lid::kTaskComplete);
  texts.version = PropertyTextOrEmpty(item, 0, lid::kTaskVersion);
  return texts;
}

std::u16string TaskFileText(const CommonTexts& common, const TaskTexts& values,
                            const AttachmentFiles& attachments) {
  // A task without a start date shows when it was made instead.
  const std::u16string start = values.start_date.empty() ? RewriteDateText(common.creation_time)
                                                         : RewriteDateText(values.start_date);
  std::u16string text;
  AppendLine(text, u"SUBJECT:\t\t", common.subject);
  AppendLine(text, u"Sender Name:\t\t", values.sender_name);
  AppendLine(text, u"Start Date:\t\t", start);
  AppendLine(text, u"Due Date:\t\t", RewriteDateText(values.due_date));
  AppendLine(text, u"Status:\t\t", values.status);
  AppendLine(text, u"Actual Effort:\t\t", values.actual_effort);
  AppendLine(text, u"Total Effort:\t\t", values.total_effort);
  AppendLine(text, u"IsComplete:\t\t", values.complete);
  AppendAttachmentLine(text, attachments, u"\r\n");
  text += u"Message Notes:\r\n";
  return text;
}

std::u16string NoteFileText(const CommonTexts& common, const AttachmentFiles& attachments) {
  std::u16string text;
  AppendLine(text, u"SUBJECT:\t\t", common.subject);
  AppendLine(text, u"Date:\t\t", RewriteDateText(common.creation_time));
  AppendAttachmentLine(text, attachments, u"\r\n");
  text += u"Message Notes:\r\n";
  return text;
}

}  // namespace

int WriteTaskItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path) {
  if (!WriterInputsPresent(state, item, folder_path)) return -1;
  return HandleItem(state, folder_path, [&] {
    TaskTexts values = ReadTaskTexts(item);
    const CommonTexts common = ReadCommonTexts(item);
    ItemBody body = ReadItemBody(item);
    const std::u16string number = NextNumberText(state);
    const AttachmentFiles attachments =
        TextItemAttachments(state, item, folder_path, common.subject, number);

    if (state.conversion_mode) {
      WriteConvertedTextFile(state, u"task", folder_path, common.subject, number,
                             TaskFileText(common, values, attachments), body.record, attachments);
      state.main_window.SetStatusText(u"Saving Task [" + number + u"]" +
                                      StatusPath(folder_path, common.subject));
      return;
    }
    state.main_window.InsertListRow(state.running_item_number,
                                    ListRow{number, u"task", values.sender_name, common.subject,
                                            common.creation_time, common.flags, common.size});
    TaskRowRecord record;
    record.number = state.running_item_number;
    record.folder_path = std::u16string(folder_path);
    record.creation_time = common.creation_time;
    record.size = common.size;
    record.flags = common.flags;
    // The task page's sender row shows who sent the task: the sender name.
    record.sender = std::move(values.sender_name);
    record.subject = common.subject;
    record.start_date = std::move(values.start_date);
    record.due_date = std::move(values.due_date);
    record.status = std::move(values.status);
    record.percent_complete = std::move(values.percent_complete);
    record.actual_effort = std::move(values.actual_effort);
    record.total_effort = std::move(values.total_effort);
    record.complete = std::move(values.complete);
    record.version = std::move(values.version);
    record.body = std::move(body.record);
    record.attachment_list = AttachmentListText(attachments.paths);
    state.row_records.Append(std::move(record));
  });
}

int WriteNoteItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path) {
  if (!WriterInputsPresent(state, item, folder_path)) return -1;
  return HandleItem(state, folder_path, [&] {
    const CommonTexts common = ReadCommonTexts(item);
    ItemBody body = ReadItemBody(item);
    const std::u16string number = NextNumberText(state);
    const AttachmentFiles attachments =
        TextItemAttachments(state, item, folder_path, common.subject, number);

    if (state.conversion_mode) {
      WriteConvertedTextFile(state, u"note", folder_path, common.subject, number,
                             NoteFileText(common, attachments), body.record, attachments);
      state.main_window.SetStatusText(u"Saving Notes [" + number + u"]" +
                                      StatusPath(folder_path, common.subject));
      return;
    }
    state.main_window.InsertListRow(state.running_item_number,
                                    ListRow{number, u"note", u"", common.subject,
                                            common.creation_time, common.flags, common.size});
    NoteRowRecord record;
    record.number = state.running_item_number;
    record.folder_path = std::u16string(folder_path);
    record.creation_time = common.creation_time;
    record.size = common.size;
    record.flags = common.flags;
    record.subject = common.subject;
    record.body = std::move(body.record);
    record.attachment_list = AttachmentListText(attachments.paths);
    state.row_records.Append(std::move(record));
  });
}

}  // namespace bm
