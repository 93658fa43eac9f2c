// The task and note writers: a list row and row record in preview mode, a labelled UTF-16 text
// file in conversion mode.
#include <string_view>

#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/item_writers.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

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

TaskTexts ReadTaskTexts(const mapi::TaskRecord& record) {
  TaskTexts texts;
  texts.sender_name = record.sender_name;
  texts.start_date = TimeText(record.start_date);
  texts.due_date = TimeText(record.due_date);
  texts.status = FieldTextOrEmpty(record.status);
  texts.percent_complete = FieldTextOrEmpty(record.percent_complete);
  texts.actual_effort = FieldTextOrEmpty(record.actual_effort);
  texts.total_effort = FieldTextOrEmpty(record.total_effort);
  texts.complete = FieldTextOrEmpty(record.complete);
  texts.version = FieldTextOrEmpty(record.version);
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

int WriteTaskItem(const WriterEnv& env, const mapi::TaskRecord& task, const ItemTarget& target) {
  if (target.folder_path.empty()) return -1;
  const std::u16string_view folder_path = target.folder_path;
  return HandleItem(env, folder_path, [&] {
    TaskTexts values = ReadTaskTexts(task);
    const CommonTexts common = ReadCommonTexts(task);
    ItemBody body = TextItemBody(task.bodies);
    const std::u16string number = target.NumberText();
    const AttachmentFiles attachments = TextItemAttachments(env, target, task, common.subject);

    if (env.conversion_mode) {
      WriteConvertedTextFile(env, u"task", target, common.subject,
                             TaskFileText(common, values, attachments), body.record, attachments);
      env.window.SetStatusText(u"Saving Task [" + number + u"]" +
                               StatusPath(folder_path, common.subject));
      return;
    }
    env.window.InsertListRow(target.number,
                             ListRow{number, u"task", values.sender_name, common.subject,
                                     common.creation_time, common.flags, common.size});
    TaskRowRecord record;
    record.number = target.number;
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
    env.row_records.Append(std::move(record));
  });
}

int WriteNoteItem(const WriterEnv& env, const mapi::NoteRecord& note, const ItemTarget& target) {
  if (target.folder_path.empty()) return -1;
  const std::u16string_view folder_path = target.folder_path;
  return HandleItem(env, folder_path, [&] {
    const CommonTexts common = ReadCommonTexts(note);
    ItemBody body = TextItemBody(note.bodies);
    const std::u16string number = target.NumberText();
    const AttachmentFiles attachments = TextItemAttachments(env, target, note, common.subject);

    if (env.conversion_mode) {
      WriteConvertedTextFile(env, u"note", target, common.subject,
                             NoteFileText(common, attachments), body.record, attachments);
      env.window.SetStatusText(u"Saving Notes [" + number + u"]" +
                               StatusPath(folder_path, common.subject));
      return;
    }
    env.window.InsertListRow(target.number,
                             ListRow{number, u"note", u"", common.subject, common.creation_time,
                                     common.flags, common.size});
    NoteRowRecord record;
    record.number = target.number;
    record.folder_path = std::u16string(folder_path);
    record.creation_time = common.creation_time;
    record.size = common.size;
    record.flags = common.flags;
    record.subject = common.subject;
    record.body = std::move(body.record);
    record.attachment_list = AttachmentListText(attachments.paths);
    env.row_records.Append(std::move(record));
  });
}

}  // namespace bm
