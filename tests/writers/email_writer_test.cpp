// The e-mail writer in preview mode: body choice and body file, sender texts, list row and
// row record.
#include <gtest/gtest.h>

#include "msg/email_writer.h"
#include "writer_fixture.h"
#include "writers/item_writers.h"

namespace bm {
namespace {

using test::ReadFile;
using test::WriterFixture;

pstgen::Message& AddMail(pstgen::Folder& folder, std::u16string_view subject) {
  pstgen::Message& mail = folder.AddMessage("IPM.Note");
  mail.SetSubject(subject);
  mail.Set(pstgen::tag::kSenderName, u"Ann Example");
  mail.Set(pstgen::tag::kSenderEmailAddress, u"ann@example.com");
  return mail;
}

constexpr std::u16string_view kSenderText = u"From:Ann Example <ann@example.com > ";

class EmailPreview : public ::testing::Test {
 protected:
  void SetUp() override {
    pstgen::Store store;
    pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    AddMail(inbox, u"html and text").SetHtml("<p>caf\xC3\xA9</p>").SetBody(u"ignored");
    pstgen::Message& text = AddMail(inbox, u"text");
    text.SetBody(u"caf\u00e9");
    text.AddRecipient(u"To One", u"one@example.com", pstgen::RecipientType::kTo);
    text.AddRecipient(u"Cc Two", u"two@example", pstgen::RecipientType::kCc);
    text.AddRecipient(u"Bcc Three", u"three@example.com", pstgen::RecipientType::kBcc);
    text.AddAttachment(u"a.pdf", pstgen::Bytes("%PDF"));
    AddMail(inbox, u"no body");
    AddMail(inbox, u"rtf").SetRtf("{\\rtf1\\ansi Hello {\\b RTF} world\\par}");
    inbox.AddMessage("IPM.Note")
        .SetSubject(u"nameless")
        .SetBody(u"x")
        .Set(pstgen::tag::kSenderName, u"Bo");
    ASSERT_TRUE(fixture_.ScanStore(store));
    const FolderNode* folder = fixture_.Folder(u"/Inbox");
    ASSERT_NE(folder, nullptr);
    fixture_.Preview(*folder);
    rows_ = fixture_.window.Rows();
    ASSERT_EQ(rows_.size(), 5u);
  }

  std::filesystem::path Temp(std::string_view name) const { return fixture_.TempFolder() / name; }

  WriterFixture fixture_;
  std::vector<ListRow> rows_;
};

TEST_F(EmailPreview, AnHtmlBodyWinsAndTheSenderStaysItsName) {
  EXPECT_EQ(ReadFile(Temp("Me0.html")), "<p>caf\xC3\xA9</p>");
  EXPECT_FALSE(std::filesystem::exists(Temp("Me0.txt")));
  EXPECT_EQ(rows_[0], (ListRow{u"1", u"email", u"Ann Example", u"html and text",
                               u"Jan 15, 2024 10:00:00.000000000", u"Read", rows_[0][6]}));
  const auto record = fixture_.state.row_records.FindEmail(1, u"Ann Example");
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->body_kind, BodyKind::kHtml);
  EXPECT_EQ(ToPath(record->body_file_path), Temp("Me0.html"));
  EXPECT_EQ(record->sender_address, u"ann@example.com");
  EXPECT_EQ(record->item_index, 0);
  EXPECT_EQ(record->folder_path, fixture_.Folder(u"/Inbox")->FolderPath());
}

TEST_F(EmailPreview, APlainTextBodyShowsTheSenderTextAndKeepsTheRecipients) {
  EXPECT_EQ(ReadFile(Temp("Me1.txt")), "caf\xC3\xA9");
  EXPECT_EQ(rows_[1][2], kSenderText);
  EXPECT_EQ(rows_[1][5], u"Has attachments");
  const auto record = fixture_.state.row_records.FindEmail(2, kSenderText);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->body_kind, BodyKind::kText);
  EXPECT_EQ(record->body_size, 6u);  // as reported, with the terminating zero
  EXPECT_EQ(record->to_list, u"To One [one@example.com],");
  EXPECT_EQ(record->cc_list, u"Cc Two,");  // one at sign and no point: no address
  EXPECT_EQ(record->bcc_list, u"Bcc Three [three@example.com],");
  EXPECT_EQ(record->attachment_list, fixture_.state.paths.temp_folder_path + u"a.pdf;");
  EXPECT_FALSE(std::filesystem::exists(Temp("a.pdf")));
  // The lists belong to one e-mail at a time.
  EXPECT_TRUE(fixture_.state.row_records.FindEmail(3, u"Ann Example")->to_list.empty());
}

TEST_F(EmailPreview, NoBodyGivesAnEmptyTextFile) {
  ASSERT_TRUE(std::filesystem::exists(Temp("Me2.txt")));
  EXPECT_EQ(std::filesystem::file_size(Temp("Me2.txt")), 0u);
  EXPECT_EQ(rows_[2][2], u"Ann Example");
  const auto record = fixture_.state.row_records.FindEmail(3, u"Ann Example");
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->body_kind, BodyKind::kText);
  EXPECT_EQ(record->body_size, 0u);
}

TEST_F(EmailPreview, AnRtfBodyFileIsTurnedIntoItsText) {
  const std::string body = ReadFile(Temp("Me3.txt"));
  EXPECT_EQ(body.find("\\rtf1"), std::string::npos);
  EXPECT_NE(body.find("Hello"), std::string::npos);
  EXPECT_NE(body.find("RTF"), std::string::npos);
  EXPECT_EQ(rows_[3][2], u"Ann Example");
  EXPECT_EQ(fixture_.state.row_records.FindEmail(4, u"Ann Example")->body_kind, BodyKind::kRtf);
}

TEST_F(EmailPreview, AnEmptySenderAddressLeavesTheBareSenderText) {
  EXPECT_EQ(rows_[4][2], u"From:Bo");
}

TEST(EmailPreviewOfWrappedHtml, AnRtfBodyThatWrapsHtmlIsPreviewedAsThatHtml) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  // Its text alone is empty (a picture only): as text the preview would be blank.
  AddMail(inbox, u"picture only")
      .SetRtf(
          "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0 Arial;}}\r\n"
          "{\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}"
          "{\\*\\htmltag84 <img src=\"cid:image001.png\">}{\\*\\htmltag84 &nbsp;}"
          "{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}")
      .AddAttachment(u"Me0.html", pstgen::Bytes("attached page"));
  WriterFixture fixture;
  ASSERT_TRUE(fixture.ScanStore(store));
  const FolderNode* folder = fixture.Folder(u"/Inbox");
  ASSERT_NE(folder, nullptr);
  fixture.Preview(*folder);

  const auto record = fixture.state.row_records.FindEmail(1, u"Ann Example");
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->body_kind, BodyKind::kRtf);  // what the store holds
  EXPECT_EQ(ToPath(record->body_file_path), fixture.TempFolder() / "Me0.html");
  const std::string page = ReadFile(fixture.TempFolder() / "Me0.html");
  EXPECT_TRUE(page.starts_with("\xEF\xBB\xBF<html><body><img src=\"cid:image001.png\">"));
  EXPECT_NE(page.find("</html>"), std::string::npos);
  // An attachment of the same name gets a name of its own.
  EXPECT_EQ(record->attachment_list.find(u"/Me0.html;"), std::u16string::npos);
  EXPECT_NE(record->attachment_list.find(u"/Me0 (2).html;"), std::u16string::npos);
}

TEST(EmailWriter, AMissingTargetFolderIsRefusedWithoutAnyOutput) {
  WriterFixture fixture;
  const std::optional<pst::Message> message =
      fixture.ScanOne([](pstgen::Message& m) { m.SetSubject(u"unplaced"); });
  ASSERT_TRUE(message.has_value());
  fixture.window.ClearCalls();
  const ReportSink sink;
  const WriterEnv env{.window = fixture.window,
                      .row_records = fixture.state.row_records,
                      .sink = sink,
                      .store = *fixture.state.store,
                      .temp_folder_path = fixture.state.paths.temp_folder_path,
                      .await_placement_turn = {},
                      .declare_numbered_name_only = {}};
  const ItemTarget target{.message = *message, .folder_path = u"", .item_index = 0, .number = 1};
  EXPECT_EQ(WriteEmailItem(env, mapi::EmailRecord{}, target), -1);
  EXPECT_EQ(WriteContactItem(env, mapi::ContactRecord{}, target), -1);
  EXPECT_EQ(WriteAppointmentItem(env, mapi::AppointmentRecord{}, target), -1);
  EXPECT_EQ(WriteTaskItem(env, mapi::TaskRecord{}, target), -1);
  EXPECT_EQ(WriteNoteItem(env, mapi::NoteRecord{}, target), -1);
  EXPECT_EQ(fixture.state.row_records.Size(), 0u);
  EXPECT_TRUE(fixture.window.Calls().empty());
}

TEST(EmailWriter, SampleStoreEmailIsListed) {
  BM_SAMPLE_OR_SKIP(pst, "outlook.pst");
  WriterFixture fixture;
  ASSERT_TRUE(fixture.Scan(pst));
  const FolderNode* inbox = fixture.Folder(u"/Top of Personal Folders/Inbox");
  ASSERT_NE(inbox, nullptr);
  fixture.Preview(*inbox);
  const std::vector<ListRow> rows = fixture.window.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], u"email");
  EXPECT_EQ(rows[0][3], u"Welcome to Microsoft Office Outlook 2003");
  const auto record = fixture.state.row_records.FindEmail(1, rows[0][2]);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(std::count(record->attachment_list.begin(), record->attachment_list.end(), u';'), 11);
  EXPECT_TRUE(std::filesystem::exists(ToPath(record->body_file_path)));
}

}  // namespace
}  // namespace bm
