// The appointment writer: a list row and row record in preview mode, a labelled UTF-16 text
// file in conversion mode.
#include <string_view>

#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/item_writers.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

AppointmentTexts ReadAppointmentTexts(const mapi::AppointmentRecord& record) {
  AppointmentTexts texts;
  texts.start_time = TimeText(record.start_time);
  texts.end_time = TimeText(record.end_time);
  texts.duration = FieldTextOrEmpty(record.duration);
  texts.location = record.location;
  texts.recurrence_pattern = record.recurrence_pattern;
  texts.first_effective_time = TimeText(record.first_effective_time);
  texts.last_effective_time = TimeText(record.last_effective_time);
  texts.busy_status = FieldTextOrEmpty(record.busy_status);
  return texts;
}

std::u16string AppointmentFileText(const std::u16string& subject, const AppointmentTexts& texts,
                                   const AttachmentFiles& attachments) {
  std::u16string text;
  AppendLine(text, u"SUBJECT:\t\t", subject);
  AppendLine(text, u"StartTime:\t\t", RewriteDateText(texts.start_time));
  AppendLine(text, u"EndTime:\t\t", RewriteDateText(texts.end_time));
  AppendLine(text, u"Duration:\t\t", texts.duration);
  AppendLine(text, u"Location:\t\t", texts.location);
  AppendLine(text, u"RecurrencePattern:\t\t", texts.recurrence_pattern);
  AppendLine(text, u"FirstEffectiveTime:\t\t", RewriteDateText(texts.first_effective_time));
  AppendLine(text, u"LastEffectiveTime:\t\t", RewriteDateText(texts.last_effective_time));
  AppendLine(text, u"BusyStatus:\t\t", texts.busy_status);
  AppendAttachmentLine(text, attachments, u"\r\n\r\n\r\n");
  text += u"Message Notes:\r\n\r\n";
  return text;
}

}  // namespace

int WriteAppointmentItem(const WriterEnv& env, const mapi::AppointmentRecord& appointment,
                         const ItemTarget& target) {
  if (target.folder_path.empty()) return -1;
  const std::u16string_view folder_path = target.folder_path;
  return HandleItem(env, folder_path, [&] {
    const CommonTexts common = ReadCommonTexts(appointment);
    AppointmentTexts texts = ReadAppointmentTexts(appointment);
    ItemBody body = TextItemBody(appointment.bodies);
    const std::u16string number = target.NumberText();
    const AttachmentFiles attachments =
        TextItemAttachments(env, target, appointment, common.subject);

    if (env.conversion_mode) {
      WriteConvertedTextFile(env, u"appointment", target, common.subject,
                             AppointmentFileText(common.subject, texts, attachments), body.record,
                             attachments);
      env.window.SetStatusText(u"Saving Appointment [" + number + u"]" +
                               StatusPath(folder_path, common.subject));
      return;
    }
    env.window.InsertListRow(target.number,
                             ListRow{number, u"appointment", texts.location, common.subject,
                                     common.creation_time, common.flags, common.size});
    env.row_records.Append(
        AppointmentRowRecord{RowRecordHeadOf(target, common, AttachmentListText(attachments.paths)),
                             std::move(texts), std::move(body.record)});
  });
}

}  // namespace bm
