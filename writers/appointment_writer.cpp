// The appointment writer: a list row and row record in preview mode, a labelled UTF-16 text
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
constexpr std::uint32_t kBusyStatus = 0x8205;
constexpr std::uint32_t kLocation = 0x8208;
constexpr std::uint32_t kStartWhole = 0x820D;
constexpr std::uint32_t kEndWhole = 0x820E;
constexpr std::uint32_t kDuration = 0x8213;
constexpr std::uint32_t kRecurrencePattern = 0x8232;
constexpr std::uint32_t kClipStart = 0x8235;
constexpr std::uint32_t kClipEnd = 0x8236;
}  // namespace lid

struct AppointmentTexts {
  std::u16string start_time;
  std::u16string end_time;
  std::u16string duration;
  std::u16string location;
  std::u16string recurrence_pattern;
  std::u16string first_effective_time;
  std::u16string last_effective_time;
  std::u16string busy_status;
};

AppointmentTexts ReadAppointmentTexts(libpff_item_t* item) {
  AppointmentTexts texts;
  texts.start_time = PropertyTextOrEmpty(item, 0, lid::kStartWhole);
  texts.end_time = PropertyTextOrEmpty(item, 0, lid::kEndWhole);
  texts.duration = PropertyTextOrEmpty(item, 0, lid::kDuration);
  texts.location = PropertyTextOrEmpty(item, 0, lid::kLocation);
  texts.recurrence_pattern = PropertyTextOrEmpty(item, 0, lid::kRecurrencePattern);
  texts.first_effective_time = PropertyTextOrEmpty(item, 0, lid::kClipStart);
  texts.last_effective_time = PropertyTextOrEmpty(item, 0, lid::kClipEnd);
  texts.busy_status = PropertyTextOrEmpty(item, 0, lid::kBusyStatus);
  return texts;
}

std::u16string AppointmentFileText(const std::u16string& subject, const AppointmentTexts& values,
                                   const AttachmentFiles& attachments) {
  std::u16string text;
  AppendLine(text, u"SUBJECT:\t\t", subject);
  AppendLine(text, u"StartTime:\t\t", RewriteDateText(values.start_time));
  AppendLine(text, u"EndTime:\t\t", RewriteDateText(values.end_time));
  AppendLine(text, u"Duration:\t\t", values.duration);
  AppendLine(text, u"Location:\t\t", values.location);
  AppendLine(text, u"RecurrencePattern:\t\t", values.recurrence_pattern);
  AppendLine(text, u"FirstEffectiveTime:\t\t", RewriteDateText(values.first_effective_time));
  AppendLine(text, u"LastEffectiveTime:\t\t", RewriteDateText(values.last_effective_time));
  AppendLine(text, u"BusyStatus:\t\t", values.busy_status);
  AppendAttachmentLine(text, attachments, u"\r\n\r\n\r\n");
  text += u"Message Notes:\r\n\r\n";
  return text;
}

}  // namespace

int WriteAppointmentItem(AppState& state, libpff_item_t* item, std::u16string_view folder_path) {
  if (!WriterInputsPresent(state, item, folder_path)) return -1;
  return HandleItem(state, folder_path, [&] {
    const CommonTexts common = ReadCommonTexts(item);
    AppointmentTexts values = ReadAppointmentTexts(item);
    ItemBody body = ReadItemBody(item);
    const std::u16string number = NextNumberText(state);
    const AttachmentFiles attachments =
        TextItemAttachments(state, item, folder_path, common.subject, number);

    if (state.conversion_mode) {
      WriteConvertedTextFile(state, u"appointment", folder_path, common.subject, number,
                             AppointmentFileText(common.subject, values, attachments), body.record,
                             attachments);
      state.main_window.SetStatusText(u"Saving Appointment [" + number + u"]" +
                                      StatusPath(folder_path, common.subject));
      return;
    }
    state.main_window.InsertListRow(state.running_item_number,
                                    ListRow{number, u"appointment", values.location, common.subject,
                                            common.creation_time, common.flags, common.size});
    AppointmentRowRecord record;
    record.number = state.running_item_number;
    record.folder_path = std::u16string(folder_path);
    record.creation_time = common.creation_time;
    record.size = common.size;
    record.flags = common.flags;
    record.subject = common.subject;
    record.start_time = std::move(values.start_time);
    record.end_time = std::move(values.end_time);
    record.duration = std::move(values.duration);
    record.location = std::move(values.location);
    record.recurrence_pattern = std::move(values.recurrence_pattern);
    record.first_effective_time = std::move(values.first_effective_time);
    record.last_effective_time = std::move(values.last_effective_time);
    record.busy_status = std::move(values.busy_status);
    record.body = std::move(body.record);
    record.attachment_list = AttachmentListText(attachments.paths);
    state.row_records.Append(std::move(record));
  });
}

}  // namespace bm
