#include "mapi/message_kind.h"

#include <array>
#include <string>
#include <utility>

namespace bm::mapi {

namespace {

std::u16string Lower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lower;
}

// Whole classes with a kind of their own; checked before the prefixes below, so that
// "IPM.Note.Fax" is no e-mail although it starts with "IPM.Note.".
constexpr std::array<std::pair<std::u16string_view, MessageKind>, 16> kWholeClasses = {{
    {u"ipm", MessageKind::kOther},
    {u"ipm.fax", MessageKind::kOther},
    {u"ipm.note", MessageKind::kEmail},
    {u"ipm.post", MessageKind::kOther},
    {u"ipm.task", MessageKind::kTask},
    {u"ipm.contact", MessageKind::kContact},
    {u"ipm.activity", MessageKind::kOther},
    {u"ipm.distlist", MessageKind::kOther},
    {u"ipm.note.fax", MessageKind::kOther},
    {u"ipm.post.rss", MessageKind::kRssFeed},
    {u"ipm.stickynote", MessageKind::kNote},
    {u"ipm.appointment", MessageKind::kAppointment},
    {u"ipm.note.voicemail", MessageKind::kOther},
    {u"ipm.note.mobile.sms", MessageKind::kOther},
    {u"ipm.note.mobile.mms", MessageKind::kOther},
    {u"ipm.conflict.message", MessageKind::kEmail},
}};

// Class prefixes, in the order they are tested.
constexpr std::array<std::pair<std::u16string_view, MessageKind>, 10> kPrefixes = {{
    {u"ipm.ole.class.{00061055-0000-0000-c000-000000000046}", MessageKind::kAppointment},
    {u"ipm.sharing", MessageKind::kOther},
    {u"ipm.document", MessageKind::kEmail},
    {u"ipm.note.smime", MessageKind::kEmail},
    {u"ipm.taskrequest", MessageKind::kOther},
    {u"report.ipm.note", MessageKind::kEmail},
    {u"ipm.configuration", MessageKind::kOther},
    {u"ipm.schedule.meeting", MessageKind::kOther},
    {u"report.ipm.schedule.meeting", MessageKind::kOther},
    {u"ipm.note.", MessageKind::kEmail},
}};

}  // namespace

MessageKind KindOfMessageClass(std::u16string_view message_class) {
  const std::u16string lower = Lower(message_class);
  for (const auto& [whole, kind] : kWholeClasses) {
    if (lower == whole) return kind;
  }
  for (const auto& [prefix, kind] : kPrefixes) {
    if (lower.starts_with(prefix)) return kind;
  }
  return MessageKind::kOther;
}

}  // namespace bm::mapi
