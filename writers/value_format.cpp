#include "writers/value_format.h"

#include <array>
#include <utility>
#include <variant>
#include <vector>

#include "base/text.h"
#include "base/value_text.h"

namespace bm {

namespace {

std::u16string* ListFor(RecipientLists& lists, std::u16string_view type) {
  if (type == u"To") return &lists.to;
  if (type == u"CC") return &lists.cc;
  if (type == u"BCC") return &lists.bcc;
  return nullptr;
}

struct FieldTextOf {
  std::optional<std::u16string> operator()(std::monostate) const { return std::nullopt; }
  std::optional<std::u16string> operator()(std::int32_t value) const { return Int32Text(value); }
  std::optional<std::u16string> operator()(double value) const { return FloatText(value); }
  std::optional<std::u16string> operator()(bool value) const {
    return std::u16string(value ? u"yes" : u"no");
  }
  std::optional<std::u16string> operator()(const std::u16string& value) const { return value; }
  std::optional<std::u16string> operator()(mapi::StoredTime value) const {
    return FiletimeText(value.filetime);
  }
};

}  // namespace

std::optional<std::u16string> FieldText(const mapi::FieldValue& value) {
  return std::visit(FieldTextOf{}, value);
}

std::u16string FieldTextOrEmpty(const mapi::FieldValue& value) {
  return FieldText(value).value_or(std::u16string());
}

std::u16string TimeText(const std::optional<mapi::StoredTime>& time) {
  if (!time) return {};
  return FiletimeText(time->filetime).value_or(std::u16string());
}

std::u16string Int32TextOrEmpty(const std::optional<std::int32_t>& value) {
  return value ? Int32Text(*value) : std::u16string();
}

std::u16string MessageFlagsWord(std::int32_t flags) {
  static constexpr std::array<std::pair<std::uint32_t, std::u16string_view>, 10> kTests = {{
      {0x10, u"Has attachments"},
      {0x02, u"Unmodified"},
      {0x04, u"Submit"},
      {0x08, u"Unsent"},
      {0x20, u"From me"},
      {0x40, u"Associated"},
      {0x80, u"Resend"},
      {0x100, u"RN pending"},
      {0x200, u"NRN pending"},
      {0x01, u"Read"},
  }};
  const auto bits = static_cast<std::uint32_t>(flags);
  for (const auto& [bit, text] : kTests) {
    if ((bits & bit) != 0) return std::u16string(text);
  }
  return u"Unread";
}

std::optional<std::u16string> MessageFlagsText(const std::optional<std::int32_t>& flags) {
  if (!flags) return std::nullopt;
  return MessageFlagsWord(*flags);
}

std::u16string SubjectText(const mapi::MessageRecord& record) {
  return Utf16ToText(record.subject);
}

std::u16string SubjectOrTopic(const mapi::MessageRecord& record) {
  std::u16string subject = SubjectText(record);
  if (subject.empty()) subject = record.conversation_topic;
  return subject;
}

std::u16string RecipientTypeText(std::int32_t type) {
  switch (type) {
    case 0:
      return u"Originator";
    case 1:
      return u"To";
    case 2:
      return u"CC";
    case 3:
      return u"BCC";
    default:
      return u"Unknown";
  }
}

bool IsUsableAddress(std::u16string_view address) {
  int marks = 0;
  for (const char16_t c : address) {
    if (c == u'.' || c == u'@') ++marks;
  }
  return marks > 1;
}

void CollectRecipients(const std::vector<mapi::Recipient>& recipients, RecipientLists& lists) {
  for (const mapi::Recipient& recipient : recipients) {
    std::u16string* list = ListFor(lists, RecipientTypeText(recipient.type));
    if (list == nullptr) continue;
    list->append(recipient.mailbox.name);
    if (IsUsableAddress(recipient.mailbox.address)) {
      list->append(u" [");
      list->append(recipient.mailbox.address);
      list->append(u"]");
    }
    list->append(u",");
  }
}

std::u16string RewriteDateText(std::u16string text) {
  static constexpr std::array<std::u16string_view, 12> kMonths = {
      u"Jan ", u"Feb ", u"Mar ", u"Apr ", u"May ", u"Jun ",
      u"Jul ", u"Aug ", u"Sep ", u"Oct ", u"Nov ", u"Dec "};
  static constexpr std::array<std::u16string_view, 12> kNumbers = {u"01/", u"02/", u"03/", u"04/",
                                                                   u"05/", u"06/", u"07/", u"08/",
                                                                   u"09/", u"10/", u"11/", u"12/"};
  ReplaceAll(text, u", ", u"/");
  for (std::size_t i = 0; i < kMonths.size(); ++i) ReplaceAll(text, kMonths[i], kNumbers[i]);
  return text;
}

std::u16string FileNameSubject(std::u16string_view subject) {
  static constexpr std::u16string_view kForbidden = u"\\/:!?*<>|\"";
  std::u16string name(subject);
  for (char16_t& c : name) {
    if (c < 32 || c == 0x7F || kForbidden.find(c) != std::u16string_view::npos) c = u' ';
  }
  return name;
}

}  // namespace bm
