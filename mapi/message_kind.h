// Which writer a message goes to, by its message class.
#pragma once

#include <string_view>

namespace bm::mapi {

enum class MessageKind { kEmail, kContact, kAppointment, kTask, kNote, kRssFeed, kOther };

// Compared without regard to case. E-mails: "IPM.Note" and its sub-classes except the fax,
// voicemail and mobile ones, S/MIME, documents, conflict messages and delivery reports of
// e-mails. Exactly "IPM.Contact", "IPM.Appointment" (and the appointment OLE class), "IPM.Task"
// and "IPM.StickyNote" are their kinds, "IPM.Post.RSS" a feed; everything else (distribution
// lists, meeting and task requests, journal entries, posts, ...) is kOther.
MessageKind KindOfMessageClass(std::u16string_view message_class);

}  // namespace bm::mapi
