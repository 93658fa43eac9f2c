// The e-mail writer in conversion mode: the MSG file, a copy of the stored message, read back
// with an independent MSG reader.
#include <gtest/gtest.h>

#include <fstream>

#include "msg/embedded_message.h"
#include "msg/messaging_session.h"
#include "writer_fixture.h"

namespace bm {
namespace {

using test::Quote;
using test::ReadFile;
using test::WriterFixture;

// The MSG file as MIME text, through msgconvert.
std::string MsgAsMime(const std::filesystem::path& msg) {
  const test::CommandResult result =
      test::Run("msgconvert --outfile - " + Quote(msg.string()) + " 2>/dev/null");
  return result.exit_code == 0 ? result.output : std::string();
}

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

class EmailConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("msgconvert")) GTEST_SKIP() << "msgconvert is not installed";
  }

  // Scans `store`, opens the messaging session and converts folder "Inbox".
  std::filesystem::path Convert(const pstgen::Store& store, bool with_session = true,
                                std::filesystem::path target = {}) {
    if (!fixture_.ScanStore(store)) return {};
    if (with_session) {
      fixture_.state.messaging_session_status =
          MessagingSession::Create(fixture_.state.messaging_session);
    }
    const FolderNode* inbox = fixture_.Folder(u"/Inbox");
    if (inbox == nullptr) return {};
    return fixture_.Convert(*inbox, std::move(target));
  }

  static pstgen::Message& AddMail(pstgen::Folder& folder, std::u16string_view subject) {
    pstgen::Message& mail = folder.AddMessage("IPM.Note");
    mail.SetSubject(subject);
    mail.Set(pstgen::tag::kSenderName, u"Ann Example");
    mail.Set(pstgen::tag::kSenderEmailAddress, u"ann@example.com");
    return mail;
  }

  WriterFixture fixture_;
};

TEST_F(EmailConversion, AnHtmlMessageKeepsItsHtmlRecipientsAndAttachments) {
  pstgen::Store store;
  pstgen::Message& mail = AddMail(store.top().AddFolder(u"Inbox", u"IPF.Note"), u"Quarterly");
  mail.SetHtml("<html><body><p>Numbers <b>inside</b></p></body></html>");
  mail.AddRecipient(u"To One", u"one@example.com", pstgen::RecipientType::kTo);
  mail.AddRecipient(u"Cc Two", u"two@example.com", pstgen::RecipientType::kCc);
  mail.AddRecipient(u"Bcc Three", u"three@example.com", pstgen::RecipientType::kBcc);
  mail.AddAttachment(u"report.pdf", pstgen::Bytes("%PDF-1.4 quarterly"));
  mail.AddAttachment(u"Me0.html", pstgen::Bytes("an attachment, not the body"));
  pstgen::Message& inner = mail.AddEmbeddedMessage(u"Forwarded note");
  inner.SetSubject(u"Inner subject").SetBody(u"inner words");
  inner.Set(pstgen::tag::kSenderName, u"Bob");
  inner.AddAttachment(u"report.pdf", pstgen::Bytes("%PDF-1.4 inner"));

  const std::filesystem::path target = Convert(store);
  ASSERT_FALSE(target.empty());
  const std::filesystem::path msg = target / "Quarterly--1.msg";
  ASSERT_TRUE(std::filesystem::exists(msg)) << ToUtf8(fixture_.window.StatusTexts().back());
  const std::string mime = MsgAsMime(msg);
  EXPECT_TRUE(Contains(mime, "Subject: Quarterly")) << mime;
  EXPECT_TRUE(Contains(mime, "one@example.com")) << mime;
  EXPECT_TRUE(Contains(mime, "two@example.com")) << mime;
  EXPECT_TRUE(Contains(mime, "text/html")) << mime;
  EXPECT_TRUE(Contains(mime, "<b>inside</b>")) << mime;
  EXPECT_TRUE(Contains(mime, "report.pdf")) << mime;
  EXPECT_TRUE(Contains(mime, "Me0.html")) << mime;  // its stored name, whatever the temp holds
  EXPECT_TRUE(Contains(mime, "Inner subject")) << mime;
  // Copied from the store: nothing is composed or staged in the temp folder.
  EXPECT_FALSE(std::filesystem::exists(fixture_.TempFolder() / "temp.eml"));
  EXPECT_FALSE(std::filesystem::exists(fixture_.TempFolder() / "report.pdf"));
  EXPECT_EQ(fixture_.window.StatusTexts().back(), u"Mail [1]" + FromPath(target) + u"/Quarterly");
}

TEST_F(EmailConversion, PlainAndRtfBodiesArriveAsStored) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  AddMail(inbox, u"plain").SetBody(u"caf\u00e9 au lait");
  AddMail(inbox, u"rich").SetRtf("{\\rtf1\\ansi Rich {\\b bold} words\\par}");
  const std::filesystem::path target = Convert(store);
  ASSERT_FALSE(target.empty());
  const std::string plain = MsgAsMime(target / "plain--1.msg");
  EXPECT_TRUE(Contains(plain, "caf\xC3\xA9 au lait") || Contains(plain, "caf=C3=A9 au lait"))
      << plain;
  // The RTF body stays RTF (readers that show no RTF give it as a part of its own).
  const std::string rich = MsgAsMime(target / "rich--2.msg");
  EXPECT_TRUE(Contains(rich, "Subject: rich")) << rich;
  EXPECT_TRUE(Contains(rich, "application/rtf")) << rich;
}

TEST_F(EmailConversion, FileNamesAreMadeSafeFitAndNeverReplaceAFile) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  AddMail(inbox, u"a/b:c?").SetBody(u"1");
  AddMail(inbox, std::u16string(300, u'\u00e9')).SetBody(u"2");
  AddMail(inbox, u"").SetBody(u"3");
  AddMail(inbox, u"Kept").SetBody(u"4");
  const std::filesystem::path target = fixture_.temp.path() / "target";
  std::filesystem::create_directories(target);
  std::ofstream(target / "Kept--4.msg") << "converted earlier";
  ASSERT_FALSE(Convert(store, true, target).empty());
  EXPECT_TRUE(std::filesystem::exists(target / "a b c --1.msg"));
  EXPECT_TRUE(std::filesystem::exists(target / "--3.msg"));
  EXPECT_EQ(ReadFile(target / "Kept--4.msg"), "converted earlier");
  const std::string kept = MsgAsMime(target / "Kept--4 (2).msg");
  EXPECT_TRUE(Contains(kept, "Subject: Kept")) << kept;
  bool found_long = false;
  for (const std::string& name : test::FileNames(target)) {
    EXPECT_LE(name.size(), 255u);
    if (name.size() > 200) {
      found_long = true;
      EXPECT_EQ(name.substr(name.size() - 7), "--2.msg");
    }
  }
  EXPECT_TRUE(found_long);
  EXPECT_EQ(fixture_.window.StatusTexts()[0], u"Mail [1]" + FromPath(target) + u"/a/b:c?");
}

TEST_F(EmailConversion, WithoutTheMessagingSessionNothingIsWrittenAndTheReportSaysWhy) {
  pstgen::Store store;
  AddMail(store.top().AddFolder(u"Inbox", u"IPF.Note"), u"no session").SetBody(u"text");
  const std::filesystem::path target = Convert(store, false);
  ASSERT_FALSE(target.empty());
  EXPECT_TRUE(test::FileNames(target).empty());
  ASSERT_EQ(fixture_.state.report.Failures().size(), 1u);
  EXPECT_EQ(fixture_.state.report.Failures()[0].reason,
            u"the messaging component is not available");
  EXPECT_EQ(fixture_.window.StatusTexts().back(), u"Mail [1]" + FromPath(target) + u"/no session");
}

TEST_F(EmailConversion, AFailedSaveAbandonsTheMailButNotTheNext) {
  pstgen::Store store;
  pstgen::Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  AddMail(inbox, u"first")
      .SetBody(u"1")
      .AddRecipient(u"Gone", u"gone@example.com", pstgen::RecipientType::kTo);
  AddMail(inbox, u"second").SetBody(u"2");
  ASSERT_TRUE(fixture_.ScanStore(store));
  fixture_.state.messaging_session_status =
      MessagingSession::Create(fixture_.state.messaging_session);
  const FolderNode* node = fixture_.Folder(u"/Inbox");
  ASSERT_NE(node, nullptr);
  // A target folder that is not there makes every save fail.
  const std::filesystem::path missing = fixture_.temp.path() / "missing";
  fixture_.window.ClearCalls();
  fixture_.state.conversion_mode = true;
  export_handle_export_folder_items(fixture_.state, node->folder_nid, FromPath(missing));
  EXPECT_TRUE(fixture_.window.StatusTexts().empty());
  EXPECT_EQ(fixture_.state.running_item_number, 2);
  // Each names why: the folder to write into is missing.
  ASSERT_EQ(fixture_.state.report.Failures().size(), 2u);
  EXPECT_NE(fixture_.state.report.Failures()[1].reason.find(u"missing"), std::u16string::npos)
      << ToUtf8(fixture_.state.report.Failures()[1].reason);
}

TEST_F(EmailConversion, NestedMessagesAreFollowedToABoundedDepth) {
  pstgen::Store store;
  pstgen::Message* level = &AddMail(store.top().AddFolder(u"Inbox", u"IPF.Note"), u"outer");
  level->SetBody(u"outer body");
  for (int depth = 1; depth <= 10; ++depth) {
    const std::u16string subject = u"level" + DecimalText(depth);
    level = &level->AddEmbeddedMessage(subject);
    level->SetSubject(subject).SetBody(u"body of " + subject);
  }
  const std::filesystem::path target = Convert(store);
  ASSERT_FALSE(target.empty());
  const std::string mime = MsgAsMime(target / "outer--1.msg");
  EXPECT_TRUE(Contains(mime, "level1")) << mime;
  EXPECT_EQ(fixture_.window.StatusTexts().back(), u"Mail [1]" + FromPath(target) + u"/outer");
}

TEST_F(EmailConversion, SampleStoreEmailBecomesAnMsgFile) {
  BM_SAMPLE_OR_SKIP(pst, "outlook.pst");
  ASSERT_TRUE(fixture_.Scan(pst));
  fixture_.state.messaging_session_status =
      MessagingSession::Create(fixture_.state.messaging_session);
  const FolderNode* inbox = fixture_.Folder(u"/Top of Personal Folders/Inbox");
  ASSERT_NE(inbox, nullptr);
  const std::filesystem::path target = fixture_.Convert(*inbox);
  const std::filesystem::path msg = target / "Welcome to Microsoft Office Outlook 2003--1.msg";
  ASSERT_TRUE(std::filesystem::exists(msg));
  const std::string mime = MsgAsMime(msg);
  EXPECT_TRUE(Contains(mime, "Welcome to Microsoft Office Outlook 2003")) << mime.substr(0, 2000);
}

}  // namespace
}  // namespace bm
