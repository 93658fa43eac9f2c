// Records built from stores that pstgen writes: structured values, named properties resolved
// through the store's own name map, and unreadable parts reported with the reader's cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

#include "base/text.h"
#include "mapi/message_kind.h"
#include "mapi/records.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::mapi {
namespace {

using pstgen::RecipientType;

constexpr std::uint64_t kSent = 130'000'000'000'000'000ULL;
constexpr std::uint64_t kMade = 129'000'000'000'000'123ULL;

std::vector<std::uint8_t> Utf16Le(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class Records : public testing::Test {
 protected:
  // Writes `store` and opens it; the single message of its first folder under Top.
  pst::Message WriteAndOpen(const pstgen::Store& store) {
    const auto path = dir_.path() / "records.pst";
    pstgen::Write(store, path);
    auto opened = pst::Store::Open(path);
    EXPECT_TRUE(opened.ok()) << opened.error().message();
    store_.emplace(std::move(*opened));
    return OpenFirstMessage();
  }

  pst::Message OpenFirstMessage() {
    const pst::Nid top = store_->SubFolders(store_->root_folder()).front();
    for (const pst::Nid folder : store_->SubFolders(top)) {
      if (!store_->Messages(folder).empty()) {
        auto message = store_->OpenMessage(store_->Messages(folder).front());
        EXPECT_TRUE(message.ok()) << message.error().message();
        return *message;
      }
    }
    ADD_FAILURE() << "no message";
    return *store_->OpenMessage(0);
  }

  const pst::Store& store() const { return *store_; }
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  test::TempDir dir_;
  std::optional<pst::Store> store_;
};

pstgen::Message& MakeEmail(pstgen::Store& store) {
  pstgen::Message& mail = store.top().AddFolder(u"Inbox", u"IPF.Note").AddMessage("IPM.Note");
  mail.SetSubject(u"\x01\x01Quarterly report");
  mail.Set(0x0C1A, u"Doe, John").Set(0x0C1E, u"EX").Set(0x0C1F, u"/O=ORG/CN=JDOE");
  mail.Set(0x5D01, u"john@example.org");
  mail.Set(0x0039, pstgen::FileTime{kSent}).Set(0x3007, pstgen::FileTime{kMade});
  mail.Set(0x0E07, std::int32_t{0x11}).Set(0x0E08, std::int32_t{4321});
  mail.AddRecipient(u"Doe, Jane", u"jane@example.org", RecipientType::kTo)
      .Set(0x39FE, u"jane.smtp@example.org");
  mail.AddRecipient(u"Ann", u"ann@example.org", RecipientType::kCc);
  mail.AddRecipient(u"Bob, Jr.", u"bob@example.org", RecipientType::kBcc);
  return mail;
}

TEST_F(Records, EmailKeepsMailboxesWholeTimesAsFiletimesAndEveryBody) {
  pstgen::Store store;
  pstgen::Message& mail = MakeEmail(store);
  mail.SetBody(u"Plain \u00e9t\u00e9").SetHtml("<p>Hi</p>").SetRtf("{\\rtf1 Hi}");

  const auto record = ReadEmailRecord(this->store(), WriteAndOpen(store));
  ASSERT_TRUE(record.ok()) << record.error().message();
  EXPECT_EQ(record->message_class, u"IPM.Note");
  EXPECT_EQ(record->subject, u"\x01\x01Quarterly report");
  EXPECT_EQ(record->sender, (Mailbox{u"Doe, John", u"EX", u"/O=ORG/CN=JDOE", u"john@example.org"}));
  ASSERT_EQ(record->recipients.size(), 3u);
  EXPECT_EQ(record->recipients[0].type, recipient_type::kTo);
  EXPECT_EQ(record->recipients[0].mailbox,
            (Mailbox{u"Doe, Jane", u"SMTP", u"jane@example.org", u"jane.smtp@example.org"}));
  EXPECT_EQ(record->recipients[1].type, recipient_type::kCc);
  EXPECT_EQ(record->recipients[1].mailbox.name, u"Ann");
  EXPECT_EQ(record->recipients[2].type, recipient_type::kBcc);
  EXPECT_EQ(record->recipients[2].mailbox.name, u"Bob, Jr.");

  EXPECT_EQ(record->submit_time, StoredTime{kSent});
  EXPECT_EQ(record->creation_time, StoredTime{kMade});
  EXPECT_EQ(record->message_flags, 0x11);
  EXPECT_EQ(record->message_size, 4321);

  ASSERT_TRUE(record->bodies.html && record->bodies.rtf && record->bodies.text);
  EXPECT_EQ(record->bodies.html->kind, BodyKind::kHtml);
  EXPECT_EQ(record->bodies.html->bytes, Bytes("<p>Hi</p>"));
  EXPECT_EQ(record->bodies.rtf->kind, BodyKind::kRtf);
  EXPECT_EQ(record->bodies.rtf->bytes, Bytes("{\\rtf1 Hi}"));
  EXPECT_EQ(record->bodies.text->kind, BodyKind::kText);
  EXPECT_EQ(record->bodies.text->code_page, kUtf16CodePage);
  EXPECT_EQ(record->bodies.text->bytes, Utf16Le(u"Plain \u00e9t\u00e9"));
}

TEST_F(Records, AbsentBodiesAreAbsentAndEightBitTextsFollowTheMessageCodePage) {
  pstgen::Store store;
  pstgen::Message& mail = MakeEmail(store);
  // Cyrillic "Привет" in Windows-1251, with the message saying so.
  mail.Set(0x0037, std::string("\xCF\xF0\xE8\xE2\xE5\xF2"));
  mail.Set(0x3FFD, std::int32_t{1251});

  const auto record = ReadEmailRecord(this->store(), WriteAndOpen(store));
  ASSERT_TRUE(record.ok()) << record.error().message();
  EXPECT_EQ(record->code_page, 1251);
  EXPECT_EQ(record->subject, u"\u041f\u0440\u0438\u0432\u0435\u0442");
  EXPECT_FALSE(record->bodies.html);
  EXPECT_FALSE(record->bodies.rtf);
  EXPECT_FALSE(record->bodies.text);
}

TEST_F(Records, AnsiStoreBodiesAreEightBitInTheirCodePage) {
  pstgen::Store store;
  store.set_format(pstgen::FileFormat::kAnsi);
  MakeEmail(store).SetBody(u"caf\u00e9");

  const auto record = ReadEmailRecord(this->store(), WriteAndOpen(store));
  ASSERT_TRUE(record.ok()) << record.error().message();
  ASSERT_TRUE(record->bodies.text);
  EXPECT_EQ(record->bodies.text->code_page, 1252);
  EXPECT_EQ(record->bodies.text->bytes, Bytes("caf\xE9"));
  EXPECT_EQ(record->recipients[0].mailbox.name, u"Doe, Jane");
}

TEST_F(Records, AttachmentsAreListedWithoutTheirData) {
  pstgen::Store store;
  pstgen::Message& mail = MakeEmail(store);
  mail.AddAttachment(u"chart.png", pstgen::Bytes("\x89PNG 12345"))
      .Set(0x3712, u"chart@1")
      .Set(0x7FFE, true);
  mail.AddAttachment(std::nullopt, pstgen::Bytes("no name"));
  mail.AddEmbeddedMessage(u"Forwarded").SetSubject(u"Inner");

  const auto record = ReadEmailRecord(this->store(), WriteAndOpen(store));
  ASSERT_TRUE(record.ok()) << record.error().message();
  ASSERT_EQ(record->attachments.size(), 3u);
  const AttachmentEntry& chart = record->attachments[0];
  EXPECT_EQ(chart.index, 0u);
  EXPECT_EQ(chart.name, u"chart.png");
  EXPECT_EQ(chart.size, 10u);
  EXPECT_EQ(chart.method, attach_method::kByValue);
  EXPECT_EQ(chart.content_id, u"chart@1");
  EXPECT_TRUE(chart.hidden);
  EXPECT_FALSE(chart.error);
  EXPECT_EQ(record->attachments[1].name, u"");
  EXPECT_EQ(record->attachments[1].size, 7u);
  EXPECT_FALSE(record->attachments[1].hidden);
  EXPECT_EQ(record->attachments[2].method, attach_method::kEmbeddedMessage);
}

TEST_F(Records, ContactFieldsResolveNamedPropertiesThroughTheStoresMap) {
  pstgen::Store store;
  pstgen::Message& contact =
      store.top().AddFolder(u"Contacts", u"IPF.Contact").AddMessage("IPM.Contact");
  // Another set's property first, so that no id in the map equals a LID by chance.
  contact.SetNamed(pstgen::kPsetidCommon, 0x8580, u"other");
  contact.SetNamed(pstgen::kPsetidAddress, 0x8083, u"jane@example.org");
  contact.SetNamed(pstgen::kPsetidAddress, 0x8005, u"Doe, Jane");
  contact.SetNamed(pstgen::kPsetidAddress, 0x8046, u"Springfield");
  contact.Set(0x3A06, u"Jane").Set(0x3A42, pstgen::FileTime{kMade});
  // The same LID in a set the table does not name is not the contact's field.
  contact.SetNamed(pstgen::kPsetidTask, 0x8049, u"not a country");

  const auto record = ReadContactRecord(this->store(), WriteAndOpen(store));
  ASSERT_TRUE(record.ok()) << record.error().message();
  const auto field = [&](std::u16string_view label) -> const FieldValue& {
    const auto at = std::find_if(kContactFields.begin(), kContactFields.end(),
                                 [&](const ContactField& f) { return f.page_label == label; });
    const auto position = static_cast<std::size_t>(at - kContactFields.begin());
    static const FieldValue kNoSuchLabel = std::u16string(u"(no such label)");
    return position < kContactFieldCount ? record->fields[position] : kNoSuchLabel;
  };
  EXPECT_EQ(field(u"File Under"), FieldValue(std::u16string(u"Doe, Jane")));
  EXPECT_EQ(field(u"Email Address1"), FieldValue(std::u16string(u"jane@example.org")));
  EXPECT_EQ(field(u"Work City"), FieldValue(std::u16string(u"Springfield")));
  EXPECT_EQ(field(u"Given Name"), FieldValue(std::u16string(u"Jane")));
  EXPECT_EQ(field(u"Birth Day"), FieldValue(StoredTime{kMade}));
  EXPECT_EQ(field(u"Work Country"), FieldValue());
  EXPECT_EQ(field(u"Sur Name"), FieldValue());
}

TEST(ContactFieldTable, LabelsAreDistinctAndTheMarkedPositionsAreTheirFields) {
  std::set<std::u16string_view> file_labels;
  std::set<std::u16string_view> page_labels;
  for (const ContactField& f : kContactFields) {
    file_labels.insert(f.file_label);
    page_labels.insert(f.page_label);
  }
  EXPECT_EQ(file_labels.size(), kContactFieldCount);
  EXPECT_EQ(page_labels.size(), kContactFieldCount);
  EXPECT_EQ(kContactFields[contact_field::kEmailAddress1].page_label, u"Email Address1");
  EXPECT_EQ(kContactFields[contact_field::kWeddingAnniversary].page_label, u"Wedding Anniversary");
  EXPECT_EQ(kContactFields[contact_field::kBirthday].page_label, u"Birth Day");
}

TEST_F(Records, AppointmentAndTaskValuesKeepTheirStoredTypes) {
  pstgen::Store store;
  pstgen::Message& meeting =
      store.top().AddFolder(u"Calendar", u"IPF.Appointment").AddMessage("IPM.Appointment");
  meeting.SetSubject(u"Review");
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x820D, pstgen::FileTime{kSent});
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x820E, pstgen::FileTime{kSent + 36'000'000'000});
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x8213, std::int32_t{60});
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x8208, u"Room 4");
  meeting.SetNamed(pstgen::kPsetidAppointment, 0x8205, std::int32_t{2});

  const auto appointment = ReadAppointmentRecord(this->store(), WriteAndOpen(store));
  ASSERT_TRUE(appointment.ok()) << appointment.error().message();
  EXPECT_EQ(appointment->start_time, StoredTime{kSent});
  EXPECT_EQ(appointment->end_time, StoredTime{kSent + 36'000'000'000});
  EXPECT_EQ(appointment->duration, FieldValue(std::int32_t{60}));
  EXPECT_EQ(appointment->location, u"Room 4");
  EXPECT_EQ(appointment->busy_status, FieldValue(std::int32_t{2}));
  EXPECT_FALSE(appointment->first_effective_time);

  pstgen::Store tasks;
  pstgen::Message& task = tasks.top().AddFolder(u"Tasks", u"IPF.Task").AddMessage("IPM.Task");
  task.Set(0x0C1A, u"Boss");
  task.SetNamed(pstgen::kPsetidTask, 0x8105, pstgen::FileTime{kSent});
  task.SetNamed(pstgen::kPsetidTask, 0x8102, 0.5);
  task.SetNamed(pstgen::kPsetidTask, 0x811C, true);
  task.SetNamed(pstgen::kPsetidTask, 0x8101, std::int32_t{1});

  const auto record = ReadTaskRecord(this->store(), WriteAndOpen(tasks));
  ASSERT_TRUE(record.ok()) << record.error().message();
  EXPECT_EQ(record->sender_name, u"Boss");
  EXPECT_EQ(record->due_date, StoredTime{kSent});
  EXPECT_FALSE(record->start_date);
  EXPECT_EQ(record->percent_complete, FieldValue(0.5));
  EXPECT_EQ(record->complete, FieldValue(true));
  EXPECT_EQ(record->status, FieldValue(std::int32_t{1}));
  EXPECT_EQ(record->version, FieldValue());
}

// A body that lies in a block of its own whose trailer is damaged: the record is refused with
// the reader's cause, never built as a message without a body; read to keep what is readable,
// it holds the rest and names the body.
TEST_F(Records, DamagedBodyIsAnErrorWithTheReadersCause) {
  pstgen::Store store;
  const std::string html = "<p>" + std::string(6000, 'Q') + "</p>";
  MakeEmail(store).SetHtml(html).SetBody(u"plain").SetSubject(u"kept");
  const auto path = dir() / "damaged.pst";
  pstgen::Write(store, path);

  std::string bytes = test::ReadFile(path);
  const std::size_t at = bytes.find(html);
  ASSERT_NE(at, std::string::npos);
  // The block's last 16 bytes (after padding to 64) are its trailer: size, signature, CRC,
  // then the block's own id, which is what gets damaged here.
  const std::size_t block_size = (html.size() + 16 + 63) / 64 * 64;
  const std::size_t block_id = at + block_size - 8;
  for (std::size_t i = 0; i < 8; ++i) bytes[block_id + i] = static_cast<char>(0x5A);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

  auto opened = pst::Store::Open(path);
  ASSERT_TRUE(opened.ok()) << opened.error().message();
  const pst::Nid top = opened->SubFolders(opened->root_folder()).front();
  pst::Nid inbox = 0;
  for (const pst::Nid folder : opened->SubFolders(top)) {
    if (!opened->Messages(folder).empty()) inbox = folder;
  }
  auto message = opened->OpenMessage(opened->Messages(inbox).front());
  ASSERT_TRUE(message.ok()) << message.error().message();
  const auto record = ReadEmailRecord(*opened, *message);
  ASSERT_FALSE(record.ok());
  EXPECT_NE(record.error().message().find("the HTML body cannot be read"), std::string::npos)
      << record.error().message();
  EXPECT_NE(record.error().message().find("block"), std::string::npos) << record.error().message();

  const auto partial = ReadEmailRecord(*opened, *message, Damage::kKeepReadable);
  ASSERT_TRUE(partial.ok()) << partial.error().message();
  EXPECT_EQ(partial->subject, u"kept");
  EXPECT_FALSE(partial->bodies.html);
  ASSERT_TRUE(partial->bodies.text);
  ASSERT_EQ(partial->unreadable.size(), 1u);
  EXPECT_NE(partial->unreadable[0].message().find("the HTML body cannot be read"),
            std::string::npos)
      << partial->unreadable[0].message();
}

TEST_F(Records, RtfThatDoesNotUnpackIsAnError) {
  pstgen::Store store;
  MakeEmail(store).Set(0x1009, pstgen::Binary{1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                              11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
  const auto record = ReadEmailRecord(this->store(), WriteAndOpen(store));
  ASSERT_FALSE(record.ok());
  EXPECT_NE(record.error().message().find("RTF body is damaged"), std::string::npos)
      << record.error().message();
}

}  // namespace
}  // namespace bm::mapi

namespace bm::mapi {
namespace {

TEST(KindOfMessageClass, FollowsWholeClassesBeforePrefixesWithoutRegardToCase) {
  const std::vector<std::pair<std::u16string_view, MessageKind>> cases = {
      {u"IPM.Note", MessageKind::kEmail},
      {u"ipm.note", MessageKind::kEmail},
      {u"IPM.Note.Custom.Form", MessageKind::kEmail},
      {u"IPM.Note.SMIME.MultipartSigned", MessageKind::kEmail},
      {u"REPORT.IPM.Note.NDR", MessageKind::kEmail},
      {u"IPM.Document.Word.Document.8", MessageKind::kEmail},
      {u"IPM.Conflict.Message", MessageKind::kEmail},
      {u"IPM.Note.Fax", MessageKind::kOther},
      {u"IPM.Note.Mobile.SMS", MessageKind::kOther},
      {u"IPM.Note.Voicemail", MessageKind::kOther},
      {u"IPM.Contact", MessageKind::kContact},
      {u"IPM.Contact.Custom", MessageKind::kOther},
      {u"IPM.Appointment", MessageKind::kAppointment},
      {u"IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}", MessageKind::kAppointment},
      {u"IPM.Schedule.Meeting.Request", MessageKind::kOther},
      {u"IPM.Task", MessageKind::kTask},
      {u"IPM.TaskRequest.Accept", MessageKind::kOther},
      {u"IPM.StickyNote", MessageKind::kNote},
      {u"IPM.Post.RSS", MessageKind::kRssFeed},
      {u"IPM.Post", MessageKind::kOther},
      {u"IPM.DistList", MessageKind::kOther},
      {u"", MessageKind::kOther},
  };
  for (const auto& [message_class, kind] : cases) {
    EXPECT_EQ(KindOfMessageClass(message_class), kind) << ToUtf8(std::u16string(message_class));
  }
}

}  // namespace
}  // namespace bm::mapi
