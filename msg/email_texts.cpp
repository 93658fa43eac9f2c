#include "msg/email_texts.h"

#include "base/paths.h"
#include "base/text.h"
#include "writers/item_files.h"
#include "writers/value_format.h"

namespace bm {

EmailTexts ReadEmailTexts(const mapi::EmailRecord& record) {
  EmailTexts texts;
  texts.common = ReadCommonTexts(record);
  texts.sender_name = record.sender.name;
  texts.sender_address = record.sender.address;
  return texts;
}

std::u16string SenderText(std::u16string_view name, std::u16string_view address) {
  std::u16string text = u"From:";
  text += name;
  if (!address.empty()) {
    text += u" <";
    text += address;
    text += u" > ";
  }
  return text;
}

std::u16string BodyKindText(BodyKind kind) {
  switch (kind) {
    case BodyKind::kHtml:
      return u"html";
    case BodyKind::kRtf:
      return u"rtf";
    case BodyKind::kText:
      break;
  }
  return u"txt";
}

std::u16string BodyFileName(int item_index, BodyKind kind) {
  return u"Me" + DecimalText(item_index) + (kind == BodyKind::kHtml ? u".html" : u".txt");
}

Result<std::u16string> WriteBodyFile(std::u16string_view directory, std::u16string_view name,
                                     const RecordBody& body) {
  return WriteWorkingFile(directory, name, body.bytes);
}

}  // namespace bm
