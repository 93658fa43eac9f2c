#include "writers/writer_support.h"

#include "base/paths.h"
#include "base/text.h"
#include "writers/item_files.h"
#include "writers/value_format.h"

namespace bm {

std::u16string ItemTarget::NumberText() const {
  return DecimalText(number);
}

CommonTexts ReadCommonTexts(const mapi::MessageRecord& record) {
  CommonTexts texts;
  texts.size = Int32TextOrEmpty(record.message_size);
  texts.flags = MessageFlagsText(record.message_flags).value_or(std::u16string());
  texts.creation_time = TimeText(record.creation_time);
  texts.subject = SubjectOrTopic(record);
  return texts;
}

RowRecordHead RowRecordHeadOf(const ItemTarget& target, const CommonTexts& common,
                              std::u16string attachment_list) {
  RowRecordHead head;
  head.number = target.number;
  head.folder_path = std::u16string(target.folder_path);
  head.creation_time = common.creation_time;
  head.size = common.size;
  head.flags = common.flags;
  head.subject = common.subject;
  head.attachment_list = std::move(attachment_list);
  return head;
}

AttachmentContext AttachmentContextFor(const WriterEnv& env) {
  AttachmentContext context;
  context.temp_folder_path = env.temp_folder_path;
  context.conversion_mode = env.conversion_mode;
  context.store = &env.store;
  if (context.conversion_mode) context.compose_embedded = env.compose_embedded;
  return context;
}

AttachmentFiles TextItemAttachments(const WriterEnv& env, const ItemTarget& target,
                                    const mapi::MessageRecord& record,
                                    std::u16string_view subject) {
  AttachmentContext context = AttachmentContextFor(env);
  if (context.conversion_mode) {
    // The attachment files' names are chosen as they are written, and the item's text names
    // them: the item places everything in its turn.
    env.AwaitPlacementTurn();
    context.target_folder = std::u16string(target.folder_path);
    context.name_prefix = TargetFileStem(subject) + u"--" + target.NumberText() + u" ";
  }
  return ExportAttachments(context, target.message, record.attachments);
}

void AppendAttachmentLine(std::u16string& text, const AttachmentFiles& files,
                          std::u16string_view line_ends) {
  if (files.paths.empty()) return;
  text += u"Attachment:\t\t";
  text += AttachmentListText(files.paths);
  text += line_ends;
}

std::u16string StatusPath(std::u16string_view folder_path, std::u16string_view subject) {
  std::u16string text(folder_path);
  text += kSeparatorText;
  text += subject;
  return text;
}

void ReportFailed(const WriterEnv& env, std::u16string_view folder_path,
                  std::u16string_view subject, std::u16string_view reason) {
  env.sink.Failed(StatusPath(folder_path, subject), std::u16string(reason));
}

void ReportAbandonedItem(const WriterEnv& env, std::u16string_view folder_path,
                         const std::exception& error) {
  env.sink.Failed(std::u16string(folder_path),
                  u"an item could not be converted: " + FromUtf8(error.what()));
}

void WriteConvertedTextFile(const WriterEnv& env, std::u16string_view kind,
                            const ItemTarget& target, std::u16string_view subject,
                            std::u16string_view text, const RecordBody& body,
                            const AttachmentFiles& attachments) {
  env.AwaitPlacementTurn();
  const Result<std::u16string> path = WriteTargetTextFile(
      target.folder_path, TargetFileStem(subject), target.NumberText(), u".txt", text, body);
  if (!path) {
    ReportFailed(env, target.folder_path, subject, FromUtf8(path.error().message()));
    return;
  }
  if (!attachments.failures.empty()) {
    ReportFailed(env, target.folder_path, subject, attachments.failures.front());
    return;
  }
  env.sink.Written(kind);
}

}  // namespace bm
