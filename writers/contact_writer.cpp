// The contact writer: a list row and row record in preview mode, a labelled UTF-16 text file
// in conversion mode.
#include <array>
#include <string_view>

#include "mapi/contact_fields.h"
#include "writers/item_body.h"
#include "writers/item_files.h"
#include "writers/item_writers.h"
#include "writers/value_format.h"
#include "writers/writer_support.h"

namespace bm {

namespace {

using mapi::kContactFields;
namespace field = mapi::contact_field;
using ContactFields = std::array<std::u16string, kContactFieldCount>;

ContactFields ContactFieldTexts(const mapi::ContactRecord& record) {
  ContactFields fields;
  for (std::size_t i = 0; i < kContactFields.size(); ++i) {
    fields[i] = FieldTextOrEmpty(record.fields[i]);
  }
  return fields;
}

std::u16string ContactFileText(const CommonTexts& common, ContactFields fields,
                               const AttachmentFiles& attachments) {
  for (const std::size_t date : {field::kWeddingAnniversary, field::kBirthday}) {
    if (!fields[date].empty()) fields[date] = RewriteDateText(std::move(fields[date]));
  }
  std::u16string text = u"Creationtime:\t\t" + RewriteDateText(common.creation_time) + u"\r\n";
  AppendLine(text, u"Subject:\t\t", common.subject);
  for (std::size_t i = 0; i < kContactFields.size(); ++i) {
    AppendLine(text, kContactFields[i].file_label, fields[i]);
  }
  AppendAttachmentLine(text, attachments, u"\r\n");
  text += u"\r\nMessage Note:\t\t\r\n\r\n";
  return text;
}

}  // namespace

int WriteContactItem(const WriterEnv& env, const mapi::ContactRecord& contact,
                     const ItemTarget& target) {
  if (target.folder_path.empty()) return -1;
  return HandleItem(env, target.folder_path, [&] {
    const CommonTexts common = ReadCommonTexts(contact);
    ContactFields fields = ContactFieldTexts(contact);
    ItemBody body = TextItemBody(contact.bodies);
    const std::u16string number = target.NumberText();
    const AttachmentFiles attachments = TextItemAttachments(env, target, contact, common.subject);
    if (!IsUsableAddress(fields[field::kEmailAddress1])) fields[field::kEmailAddress1].clear();

    if (env.conversion_mode) {
      WriteConvertedTextFile(env, u"contact", target, common.subject,
                             ContactFileText(common, fields, attachments), body.record,
                             attachments);
      env.window.SetStatusText(u"Saving Contact [" + number + u"]" +
                               StatusPath(target.folder_path, common.subject));
      return;
    }
    env.window.InsertListRow(
        target.number, ListRow{number, u"contact", fields[field::kEmailAddress1], common.subject,
                               common.creation_time, common.flags, common.size});
    env.row_records.Append(
        ContactRowRecord{RowRecordHeadOf(target, common, AttachmentListText(attachments.paths)),
                         std::move(fields), std::move(body.record)});
  });
}

}  // namespace bm
