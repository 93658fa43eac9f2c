#include "writers/value_format.h"

#include <array>
#include <utility>
#include <vector>

#include "base/text.h"
#include "base/value_text.h"
#include "engine/app_state.h"
#include "engine/pff.h"

namespace bm {

namespace {

std::optional<std::u16string> EntryText(libpff_record_entry_t* entry) {
  const std::optional<std::uint32_t> value_type = pff::ValueType(entry);
  if (!value_type) return std::nullopt;
  switch (*value_type) {
    case pff::type::kInt32:
      if (const auto value = pff::ReadInt32(entry)) return Int32Text(*value);
      return std::nullopt;
    case pff::type::kFloat32:
    case pff::type::kFloat64:
      if (const auto value = pff::ReadFloat(entry)) return FloatText(*value);
      return std::nullopt;
    case pff::type::kBoolean:
      if (const auto value = pff::ReadBoolean(entry)) return *value ? u"yes" : u"no";
      return std::nullopt;
    case pff::type::kString8:
    case pff::type::kUnicode:
      return pff::ReadUtf16(entry);
    case pff::type::kFiletime:
      if (const auto value = pff::ReadFiletime(entry)) return FiletimeText(*value);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// A string property of a message, decoded with the message's own code page when 8-bit.
std::optional<std::u16string> MessageString(libpff_item_t* item, std::uint32_t property_id) {
  std::size_t size = 0;
  pff::Error error;
  if (libpff_message_get_entry_value_utf16_string_size(item, property_id, &size, error.out()) !=
      1) {
    return std::nullopt;
  }
  if (size == 0) return std::u16string();
  std::vector<std::uint16_t> units(size);
  if (libpff_message_get_entry_value_utf16_string(item, property_id, units.data(), units.size(),
                                                  error.out()) != 1) {
    return std::nullopt;
  }
  std::u16string text(units.begin(), units.end());
  if (const auto nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
  return text;
}

std::u16string* ListFor(RecipientLists& lists, std::u16string_view type) {
  if (type == u"To") return &lists.to;
  if (type == u"CC") return &lists.cc;
  if (type == u"BCC") return &lists.bcc;
  return nullptr;
}

}  // namespace

std::optional<std::u16string> PropertyText(libpff_item_t* item, int record_set,
                                           std::uint32_t property_id) {
  const pff::RecordEntry entry = pff::FindEntry(item, record_set, property_id);
  if (!entry) return std::nullopt;
  return EntryText(entry.get());
}

std::u16string PropertyTextOrEmpty(libpff_item_t* item, int record_set, std::uint32_t property_id) {
  return PropertyText(item, record_set, property_id).value_or(std::u16string());
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

std::optional<std::u16string> MessageFlagsText(libpff_item_t* item) {
  const pff::RecordEntry entry = pff::FindEntry(item, 0, prop::kMessageFlags);
  if (!entry) return std::nullopt;
  const std::optional<std::int32_t> flags = pff::ReadInt32(entry.get());
  if (!flags) return std::nullopt;
  return MessageFlagsWord(*flags);
}

std::u16string SubjectText(libpff_item_t* item) {
  return Utf16ToText(MessageString(item, prop::kSubject).value_or(std::u16string()));
}

std::u16string SubjectOrTopic(libpff_item_t* item) {
  std::u16string subject = SubjectText(item);
  if (subject.empty()) subject = PropertyTextOrEmpty(item, 0, prop::kConversationTopic);
  return subject;
}

std::u16string RecipientTypeText(libpff_item_t* recipients, int record_set) {
  std::int32_t type = 0;
  if (const pff::RecordEntry entry = pff::FindEntry(recipients, record_set, prop::kRecipientType)) {
    type = pff::ReadInt32(entry.get()).value_or(0);
  }
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

void CollectRecipients(libpff_item_t* item, RecipientLists& lists) {
  libpff_item_t* raw_recipients = nullptr;
  pff::Error error;
  if (libpff_message_get_recipients(item, &raw_recipients, error.out()) != 1) return;
  const pff::Item recipients(raw_recipients);
  int count = 0;
  if (libpff_item_get_number_of_record_sets(recipients.get(), &count, error.out()) != 1) return;
  for (int index = 0; index < count; ++index) {
    // An empty display name is as good as none: the recipient display name may still help.
    std::u16string name = PropertyTextOrEmpty(recipients.get(), index, prop::kDisplayName);
    if (name.empty())
      name = PropertyTextOrEmpty(recipients.get(), index, prop::kRecipientDisplayName);
    std::u16string address = PropertyTextOrEmpty(recipients.get(), index, prop::kEmailAddress);
    if (!IsUsableAddress(address)) address.clear();
    std::u16string* list = ListFor(lists, RecipientTypeText(recipients.get(), index));
    if (list == nullptr) continue;
    list->append(name);
    if (!address.empty()) {
      list->append(u" [");
      list->append(address);
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
