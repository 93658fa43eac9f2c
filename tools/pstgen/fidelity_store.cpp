// The MSG fidelity store: one folder of items that carry what a faithful MSG copy must keep
// and the demo and sample stores lack.
#include <algorithm>
#include <array>

#include "tools/pstgen/presets.h"

namespace pstgen {

namespace {

FileTime At(std::int64_t unix_seconds, std::uint64_t extra_ticks = 0) {
  return FileTime{FileTime::FromUnixSeconds(unix_seconds).ticks + extra_ticks};
}

void Put16(Binary& out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Binary& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::size_t kSector = 512;
constexpr std::size_t kStreamSize = 4096;  // the mini-stream cutoff: big-block streams only

struct DirectoryEntry {
  std::u16string name;
  std::uint8_t type;  // 1 storage, 2 stream, 5 root
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  std::uint32_t start = kEndOfChain;
  std::uint32_t size = 0;
  std::array<std::uint8_t, 16> class_id{};
};

void PutEntry(Binary& out, std::size_t at, const DirectoryEntry& entry) {
  for (std::size_t i = 0; i < entry.name.size(); ++i) Put16(out, at + 2 * i, entry.name[i]);
  Put16(out, at + 64, static_cast<std::uint16_t>(2 * (entry.name.size() + 1)));
  out[at + 66] = entry.type;
  out[at + 67] = 1;  // black
  Put32(out, at + 68, kNoStream);
  Put32(out, at + 72, entry.right);
  Put32(out, at + 76, entry.child);
  std::copy(entry.class_id.begin(), entry.class_id.end(), out.begin() + at + 80);
  // Created and modified 2024-01-01 00:00 UTC, as a storage made by an application would be.
  if (entry.type != 2) {
    constexpr std::uint64_t kTime = 133485408000000000;
    for (const std::size_t field : {at + 100, at + 108}) {
      Put32(out, field, static_cast<std::uint32_t>(kTime));
      Put32(out, field + 4, static_cast<std::uint32_t>(kTime >> 32));
    }
  }
  Put32(out, at + 116, entry.start);
  Put32(out, at + 120, entry.size);
}

}  // namespace

Binary MinimalCompoundFile(bool with_storage) {
  // Header, then sector 0 the FAT, 1 the directory, 2-9 "CONTENTS", 10-17 "Sub/Inner".
  constexpr std::size_t kSectors = 18;
  Binary file((1 + kSectors) * kSector, 0);
  constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(kSignature), std::end(kSignature), file.begin());
  Put16(file, 24, 0x003E);  // minor version
  Put16(file, 26, 3);       // major version: 512-byte sectors
  Put16(file, 28, 0xFFFE);  // little-endian
  Put16(file, 30, 9);       // sector shift
  Put16(file, 32, 6);       // mini sector shift
  Put32(file, 44, 1);       // FAT sectors
  Put32(file, 48, 1);       // first directory sector
  Put32(file, 56, kStreamSize);
  Put32(file, 60, kEndOfChain);  // no mini FAT
  Put32(file, 68, kEndOfChain);  // no DIFAT sectors
  Put32(file, 76, 0);            // the FAT is sector 0
  for (std::size_t at = 80; at < kSector; at += 4) Put32(file, at, kNoStream);

  const std::size_t fat = kSector;
  for (std::size_t i = 0; i < kSector / 4; ++i) Put32(file, fat + 4 * i, kNoStream);
  Put32(file, fat, kFatSector);
  Put32(file, fat + 4, kEndOfChain);
  for (std::uint32_t first : {2u, 10u}) {
    for (std::uint32_t s = first; s < first + 7; ++s) Put32(file, fat + 4 * s, s + 1);
    Put32(file, fat + 4 * (first + 7), kEndOfChain);
  }

  DirectoryEntry root{u"Root Entry", 5};
  root.child = 1;
  root.class_id = {0x0C, 0x00, 0x02, 0x13, 0x00, 0x00, 0x00, 0x00,
                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  DirectoryEntry contents{u"CONTENTS", 2};
  if (with_storage) contents.right = 2;
  contents.start = 2;
  contents.size = kStreamSize;
  DirectoryEntry sub{u"Sub", 1};
  sub.child = 3;
  DirectoryEntry inner{u"Inner", 2};
  inner.start = 10;
  inner.size = kStreamSize;
  const std::size_t directory = 2 * kSector;
  PutEntry(file, directory, root);
  PutEntry(file, directory + 128, contents);
  PutEntry(file, directory + 256, sub);
  PutEntry(file, directory + 384, inner);

  for (std::size_t i = 0; i < kStreamSize; ++i) {
    file[3 * kSector + i] = static_cast<std::uint8_t>('A' + i % 26);
    file[11 * kSector + i] = static_cast<std::uint8_t>(i % 251);
  }
  return file;
}

Store MsgFidelityStore(bool nested_ole_storage) {
  Store store(u"MSG fidelity");
  Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  const Guid custom = Guid::Parse("a1b2c3d4-1111-2222-3333-444455556666");

  Message& mail = inbox.AddMessage("IPM.Note");
  mail.SetSubject(u"Fidelity: every property")
      .Set(tag::kConversationTopic, u"Fidelity")
      .Set(0x0039, At(1704103200, 1234567))  // PidTagClientSubmitTime, fractional
      .Set(0x0E06, At(1704103260, 7654321))  // PidTagMessageDeliveryTime
      .Set(tag::kCreationTime, At(1704200000))
      .Set(tag::kLastModificationTime, At(1704200100, 5))
      .Set(tag::kMessageFlags, std::int32_t{0x08})  // unsent (a draft), unread
      .Set(0x0017, std::int32_t{2})                 // PidTagImportance: high
      .Set(0x0036, std::int32_t{3})                 // PidTagSensitivity: confidential
      .Set(0x0026, std::int32_t{1})                 // PidTagPriority: urgent
      .Set(0x007D, u"Received: from mx.example.com\r\nX-Mailer: Fidelity 1.0\r\n\r\n")
      .Set(0x1035, u"<fidelity-1@example.com>")                 // PidTagInternetMessageId
      .Set(0x1042, u"<parent@example.com>")                     // PidTagInReplyToId
      .Set(0x1039, u"<root@example.com> <parent@example.com>")  // PidTagInternetReferences
      .Set(0x0071, Binary{0x01, 0xD9, 0x3C, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                          0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 0x10, 0x20, 0x30})
      .Set(0x3FDE, std::int32_t{65001})  // PidTagInternetCodepage
      .Set(0x0C1A, u"Ann Archer")
      .Set(0x0C1E, u"EX")
      .Set(0x0C1F, u"/O=EXAMPLE/OU=FIRST/CN=RECIPIENTS/CN=ANN")
      .Set(0x5D01, u"ann.archer@example.com")  // PidTagSenderSmtpAddress
      .Set(0x0042, u"Ann Archer")
      .Set(0x0064, u"EX")
      .Set(0x0065, u"/O=EXAMPLE/OU=FIRST/CN=RECIPIENTS/CN=ANN")
      .Set(0x5D02, u"ann.archer@example.com")  // PidTagSentRepresentingSmtpAddress
      .Set(0x6001, std::int16_t{7})            // custom values of the other fixed types
      .Set(0x6002, std::int64_t{0x0123456789ABCDEF})
      .Set(0x6003, 2.5)
      .Set(0x6004, 1.25f);
  mail.SetBody(u"The plain body, which differs from the others.\r\n")
      .SetHtml(
          "<html><body><p>The <b>HTML</b> body.</p><img src=\"cid:chart@fidelity\"></body>"
          "</html>")
      .SetRtf("{\\rtf1\\ansi\\deff0 The \\b RTF\\b0  body.\\par}");
  mail.SetNamed(kPsPublicStrings, u"Keywords", Strings{{u"Red category", u"Project X"}})
      .SetNamed(kPsetidCommon, 0x8580, u"fidelity-reminder")  // a LID name
      .SetNamed(kPsetidCommon, 0x8503, true)                  // PidLidReminderSet
      .SetNamed(custom, u"x-fidelity-field", u"custom string name")
      .SetNamed(kPsMapi, 0x0037, u"named in PS_MAPI");
  mail.AddRecipient(u"Bob Baker", u"/O=EXAMPLE/OU=FIRST/CN=RECIPIENTS/CN=BOB", RecipientType::kTo)
      .Set(tag::kAddressType, u"EX")
      .Set(tag::kSmtpAddress, u"bob.baker@example.com")
      .Set(0x0FFF, Binary{0x00, 0x00, 0x00, 0x00, 0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42});
  mail.AddRecipient(u"Cy Clark", u"cy.clark@example.com", RecipientType::kCc);
  mail.AddRecipient(u"Di Dean", u"di.dean@example.com", RecipientType::kBcc);

  mail.AddAttachment(u"chart.png", Binary(5000, 0x5A))
      .Set(tag::kAttachMimeTag, u"image/png")
      .Set(0x3712, u"chart@fidelity")                // PidTagAttachContentId
      .Set(0x3713, u"http://example.com/chart.png")  // PidTagAttachContentLocation
      .Set(0x3714, std::int32_t{4})                  // PidTagAttachFlags: referenced by HTML
      .Set(0x7FFE, true);                            // PidTagAttachmentHidden
  mail.AddAttachment(u"notes.txt", Bytes("Notes, in plain text.\r\n"))
      .Set(tag::kAttachMimeTag, u"text/plain");
  Message& forwarded = mail.AddEmbeddedMessage(u"Forwarded: the plan");
  forwarded.SetSubject(u"The plan")
      .SetBody(u"The embedded message's body.\r\n")
      .Set(0x0039, At(1703000000, 99))
      .SetNamed(custom, u"x-embedded-field", u"named inside the embedded message")
      .SetNamed(kPsPublicStrings, u"Keywords", Strings{{u"Embedded"}});
  forwarded.AddRecipient(u"Eve Evans", u"eve.evans@example.com", RecipientType::kTo);
  forwarded.AddAttachment(u"plan.txt", Bytes("Step one. Step two.\r\n"));
  Message& inner = forwarded.AddEmbeddedMessage(u"Inner note");
  inner.SetSubject(u"Inner note").SetBody(u"Two levels down.\r\n");
  mail.AddOleAttachment(u"Embedded object", MinimalCompoundFile(nested_ole_storage))
      .Set(0x370A, Binary{0x2A, 0x03});

  Message& signed_mail = inbox.AddMessage("IPM.Note.SMIME.MultipartSigned");
  signed_mail.SetSubject(u"Signed message").SetBody(u"Signed text.\r\n");
  signed_mail.Set(0x0C1A, u"Ann Archer").Set(0x0C1F, u"ann.archer@example.com");
  signed_mail.AddRecipient(u"Bob Baker", u"bob.baker@example.com", RecipientType::kTo);
  signed_mail
      .AddAttachment(u"smime.p7m",
                     Bytes("Content-Type: multipart/signed; protocol=\"application/pkcs7-signature"
                           "\"; boundary=\"b1\"\r\n\r\n--b1\r\n\r\nSigned text.\r\n--b1--\r\n"))
      .Set(tag::kAttachMimeTag, u"multipart/signed");

  Message& meeting = inbox.AddMessage("IPM.Schedule.Meeting.Request");
  meeting.SetSubject(u"Planning meeting").SetBody(u"Let us plan.\r\n");
  meeting
      .SetNamed(kPsetidAppointment, 0x820D, At(1704276000))    // PidLidAppointmentStartWhole
      .SetNamed(kPsetidAppointment, 0x820E, At(1704279600))    // PidLidAppointmentEndWhole
      .SetNamed(kPsetidAppointment, 0x8208, u"Room 4.12")      // PidLidLocation
      .SetNamed(kPsetidAppointment, 0x8217, std::int32_t{3});  // PidLidAppointmentStateFlags
  meeting.AddRecipient(u"Bob Baker", u"bob.baker@example.com", RecipientType::kTo);

  Message& list = inbox.AddMessage("IPM.DistList");
  list.SetSubject(u"Team list").Set(tag::kDisplayName, u"Team list");
  list.SetNamed(kPsetidAddress, 0x8053, u"Team list");  // PidLidDistributionListName
  return store;
}

}  // namespace pstgen
