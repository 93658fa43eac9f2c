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

std::u16string TaskFileText(const CommonTexts& common, const TaskTexts& texts,
                            const AttachmentFiles& attachments) {
  // A task without a start date shows when it was made instead.
  const std::u16string start = texts.start_date.empty() ? RewriteDateText(common.creation_time)
                                                        : RewriteDateText(texts.start_date);
  std::u16string text;
  AppendLine(text, u"SUBJECT:\t\t", common.subject);
  AppendLine(text, u"Sender Name:\t\t", texts.sender_name);
  AppendLine(text, u"Start Date:\t\t", start);
  AppendLine(text, u"Due Date:\t\t", RewriteDateText(texts.due_date));
  AppendLine(text, u"Status:\t\t", texts.status);
  AppendLine(text, u"Actual Effort:\t\t", texts.actual_effort);
  AppendLine(text, u"Total Effort:\t\t", texts.total_effort);
  AppendLine(text, u"IsComplete:\t\t", texts.complete);
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
    TaskTexts texts = ReadTaskTexts(task);
    const CommonTexts common = ReadCommonTexts(task);
    ItemBody body = TextItemBody(task.bodies);
    const std::u16string number = target.NumberText();
    const AttachmentFiles attachments = TextItemAttachments(env, target, task, common.subject);

    if (env.conversion_mode) {
      WriteConvertedTextFile(env, u"task", target, common.subject,
                             TaskFileText(common, texts, attachments), body.record, attachments);
      env.window.SetStatusText(u"Saving Task [" + number + u"]" +
                               StatusPath(folder_path, common.subject));
      return;
    }
    env.window.InsertListRow(target.number,
                             ListRow{number, u"task", texts.sender_name, common.subject,
                                     common.creation_time, common.flags, common.size});
    env.row_records.Append(
        TaskRowRecord{RowRecordHeadOf(target, common, AttachmentListText(attachments.paths)),
                      std::move(texts), std::move(body.record)});
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
    env.row_records.Append(
        NoteRowRecord{RowRecordHeadOf(target, common, AttachmentListText(attachments.paths)),
                      std::move(body.record)});
  });
}

}  // namespace bm
