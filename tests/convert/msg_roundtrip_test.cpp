// E-mails composed, loaded into a message and committed as MSG files, then read back by an
// independent reader (msgconvert) and by libgsf's compound file reader.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "base/paths.h"
#include "msg/eml_import.h"
#include "msg/mapi_properties.h"
#include "msg/messaging_session.h"
#include "msg/mimelib.h"
#include "msg/msg_writer.h"
#include "msg_inspect.h"
#include "support/test_support.h"

namespace bm {
namespace {

namespace tag = mapi::tag;

struct Email {
  std::string body;
  std::u16string kind = u"txt";
  std::u16string sender = u"From:Ann Lee <ann@example.org > ";
  std::u16string to = u"Bob Stone [bob@example.org],";
  std::u16string cc;
  std::u16string bcc;
  std::u16string date = u"01/05/2013 14:03:22.123456700";
  std::u16string subject = u"Plain subject";
  std::vector<std::u16string> attachments;
};

class MsgRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Mimelib::Create(mimelib_), S_OK);
    ASSERT_EQ(MessagingSession::Create(session_), S_OK);
  }

  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    const auto path = dir_.path() / name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
  }

  // Composes `email` as `eml_name` in the work folder and returns its path.
  std::u16string ComposeEml(const Email& email, const std::string& eml_name) {
    const std::u16string body = FromPath(Write("body-" + eml_name, email.body));
    const std::u16string eml = FromPath(dir_.path() / eml_name);
    EXPECT_GE(mimelib_->ComposeEmlFile(eml, body, email.sender, email.to, email.date, email.kind,
                                       email.attachments, email.subject, email.cc, email.bcc),
              0);
    return eml;
  }

  // The e-mail writer's sequence: compose, make, load, commit.
  std::filesystem::path Convert(const Email& email, const std::string& msg_name = "out.msg") {
    const std::u16string eml = ComposeEml(email, "temp.eml");
    const std::filesystem::path msg = dir_.path() / msg_name;
    std::unique_ptr<MsgMessage> message;
    EXPECT_EQ(session_->MakeMsgFileMessage(FromPath(msg), u"IPM.Note", kMsgFormat, message), S_OK);
    if (!message) return msg;
    EXPECT_EQ(message->LoadMessageFromFile(eml, kRfc822Type), S_OK);
    EXPECT_EQ(message->CommitMessage(), S_OK);
    return msg;
  }

  // msgconvert's reading of the MSG file, parsed.
  GObjectPtr<GMimeMessage> ReadWithMsgconvert(const std::filesystem::path& msg) {
    const std::filesystem::path out = dir_.path() / "msgconvert.eml";
    const test::CommandResult result =
        test::Run("TZ=UTC msgconvert --outfile " + test::Quote(out.string()) + " " +
                  test::Quote(msg.string()) + " 2>&1");
    EXPECT_EQ(result.exit_code, 0) << result.output;
    return test::ParseMessageFile(out);
  }

  test::TempDir dir_;
  std::unique_ptr<Mimelib> mimelib_;
  std::unique_ptr<MessagingSession> session_;
};

#define REQUIRE_MSGCONVERT()                                                       \
  if (!test::HaveProgram("msgconvert")) {                                          \
    GTEST_SKIP() << "msgconvert (libemail-outlook-message-perl) is not installed"; \
  }

TEST_F(MsgRoundTrip, PlainTextEmailReadsBackThroughMsgconvert) {
  REQUIRE_MSGCONVERT();
  Email email;
  email.body = "First line\r\nZweite Zeile: \xC3\xA4\xC3\xB6\xC3\xBC \xE4\xB8\xAD\xE6\x96\x87\r\n";
  email.subject = u"Gr\u00FC\u00DFe aus K\u00F6ln \u4E2D\u6587";
  email.sender = u"From:Zo\u00EB M\u00FCller <zoe@example.de > ";
  email.to = u"Bob Stone [bob@example.org],\u5C71\u7530 \u592A\u90CE [taro@example.jp],";
  email.cc = u"Carl Diaz [carl@example.org],";
  email.bcc = u"Dora Eck [dora@example.org],";
  GObjectPtr<GMimeMessage> read = ReadWithMsgconvert(Convert(email));
  ASSERT_TRUE(read);
  EXPECT_STREQ(g_mime_message_get_subject(read.get()),
               "Gr\xC3\xBC\xC3\x9F"
               "e aus K\xC3\xB6ln \xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_from(read.get())),
            "Zo\xC3\xAB M\xC3\xBCller <zoe@example.de>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_to(read.get())),
            "Bob Stone <bob@example.org>, \xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E "
            "<taro@example.jp>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_cc(read.get())), "Carl Diaz <carl@example.org>");
  GDateTime* date = g_mime_message_get_date(read.get());
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(g_date_time_to_unix(date), 1357394602);
  const std::optional<std::string> text =
      test::FindPartContent(g_mime_message_get_mime_part(read.get()), "text", "plain");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, email.body);
}

TEST_F(MsgRoundTrip, HtmlBodyKeepsItsHtmlAndGainsPlainText) {
  REQUIRE_MSGCONVERT();
  Email email;
  email.kind = u"html";
  email.body =
      "<html><head><style>p{}</style></head><body><p>Hello <b>w\xC3\xB6rld</b></p>"
      "<p><a href=\"https://example.org/\">site</a></p></body></html>";
  GObjectPtr<GMimeMessage> read = ReadWithMsgconvert(Convert(email));
  ASSERT_TRUE(read);
  GMimeObject* body = g_mime_message_get_mime_part(read.get());
  EXPECT_EQ(test::FindPartContent(body, "text", "html"), email.body);
  EXPECT_EQ(test::FindPartContent(body, "text", "plain"),
            "Hello w\xC3\xB6rld\r\n\r\nsite <https://example.org/>");
}

TEST_F(MsgRoundTrip, RtfBodyIsStoredCompressedWithItsPlainText) {
  REQUIRE_MSGCONVERT();
  Email email;
  email.kind = u"rtf";
  email.body =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 Caf\\'e9 "
      "{\\b bold}\\par Line \\u8364? two\\par}";
  GObjectPtr<GMimeMessage> read = ReadWithMsgconvert(Convert(email));
  ASSERT_TRUE(read);
  GMimeObject* body = g_mime_message_get_mime_part(read.get());
  // msgconvert decompresses PidTagRtfCompressed itself.
  EXPECT_EQ(test::FindPartContent(body, "application", "rtf"), email.body);
  EXPECT_EQ(test::FindPartContent(body, "text", "plain"),
            "Caf\xC3\xA9 bold\r\nLine \xE2\x82\xAC two");
}

TEST_F(MsgRoundTrip, AttachmentsKeepTheirNamesAndBytes) {
  REQUIRE_MSGCONVERT();
  std::string large(3 * 1024 * 1024 + 123, '\0');
  std::uint32_t seed = 12345;
  for (char& byte : large) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<char>(seed >> 24);
  }
  const std::vector<std::pair<std::string, std::string>> files = {
      {"report.pdf", "%PDF-1.4 tiny"},
      {"\xE5\xA0\xB1\xE5\x91\x8A\xE6\x9B\xB8.docx", "PK\x03\x04 cjk"},
      {"r\xC3\xA9sum\xC3\xA9 final.txt", "accents\r\n"},
      {"big.bin", large},
      {"empty.dat", ""},
  };
  Email email;
  email.body = "see attached";
  for (const auto& [name, data] : files) email.attachments.push_back(FromPath(Write(name, data)));
  GObjectPtr<GMimeMessage> read = ReadWithMsgconvert(Convert(email));
  ASSERT_TRUE(read);
  const auto found = test::FindAttachments(g_mime_message_get_mime_part(read.get()));
  ASSERT_EQ(found.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(found[i].name, files[i].first);
    EXPECT_TRUE(found[i].data == files[i].second) << files[i].first << " differs";
  }
  EXPECT_EQ(found[0].content_type, "application/pdf");
}

TEST_F(MsgRoundTrip, AttachedMessagesNestTwiceAsMessageObjects) {
  REQUIRE_MSGCONVERT();
  Email innermost;
  innermost.subject = u"Innermost \u00E9";
  innermost.body = "deepest body";
  innermost.attachments = {FromPath(Write("deep.txt", "deep data"))};
  const std::u16string innermost_eml = ComposeEml(innermost, "Innermost.eml");
  Email middle;
  middle.subject = u"Middle";
  middle.body = "middle body";
  middle.attachments = {innermost_eml};
  const std::u16string middle_eml = ComposeEml(middle, "Middle.eml");
  Email outer;
  outer.body = "outer body";
  outer.attachments = {middle_eml};
  const std::filesystem::path msg = Convert(outer);

  GObjectPtr<GMimeMessage> read = ReadWithMsgconvert(msg);
  ASSERT_TRUE(read);
  auto level1 = test::FindAttachments(g_mime_message_get_mime_part(read.get()));
  ASSERT_EQ(level1.size(), 1u);
  ASSERT_TRUE(level1[0].message);
  EXPECT_STREQ(g_mime_message_get_subject(level1[0].message.get()), "Middle");
  auto level2 = test::FindAttachments(g_mime_message_get_mime_part(level1[0].message.get()));
  ASSERT_EQ(level2.size(), 1u);
  ASSERT_TRUE(level2[0].message);
  GMimeMessage* deepest = level2[0].message.get();
  EXPECT_STREQ(g_mime_message_get_subject(deepest), "Innermost \xC3\xA9");
  EXPECT_EQ(test::FindPartContent(g_mime_message_get_mime_part(deepest), "text", "plain"),
            "deepest body");
  auto level3 = test::FindAttachments(g_mime_message_get_mime_part(deepest));
  ASSERT_EQ(level3.size(), 1u);
  EXPECT_EQ(level3[0].name, "deep.txt");
  EXPECT_EQ(level3[0].data, "deep data");

  // In the file: attach method 5 and an embedded message storage with a 24-byte header.
  const std::optional<test::Storage> root = test::ReadCompoundFile(msg);
  ASSERT_TRUE(root.has_value());
  const test::Storage& attachment = root->storages.at("__attach_version1.0_#00000000");
  const test::PropertyStream attachment_properties = test::ParsePropertyStream(attachment, 8);
  EXPECT_EQ(attachment_properties.entries.at(tag::kAttachMethod).value, 5u);
  EXPECT_EQ(attachment_properties.entries.at(tag::kAttachDataObject).value & 0xFFFFFFFF,
            0xFFFFFFFFu);
  const test::Storage& embedded = attachment.storages.at("__substg1.0_3701000D");
  const test::PropertyStream embedded_properties = test::ParsePropertyStream(embedded, 24);
  EXPECT_TRUE(embedded_properties.whole_entries);
  EXPECT_EQ(test::U32At(embedded_properties.header, 16), 1u);  // recipients
  EXPECT_EQ(test::U32At(embedded_properties.header, 20), 1u);  // attachments
  EXPECT_EQ(test::UnicodeProperty(embedded, tag::kSubject), "Middle");
  EXPECT_EQ(embedded.storages.count("__nameid_version1.0"), 0u);
  EXPECT_TRUE(
      embedded.storages.at("__attach_version1.0_#00000000").storages.count("__substg1.0_3701000D"));
}

TEST_F(MsgRoundTrip, CompoundFileFollowsTheMsgLayout) {
  Email email;
  email.body = "text";
  email.to = u"Bob [bob@example.org],Eve [eve@example.org],";
  email.cc = u"Carl [carl@example.org],";
  email.bcc = u"Dora [dora@example.org],";
  email.subject = u"Layout \u4E2D";
  email.attachments = {FromPath(Write("a.txt", "aaa"))};
  const std::optional<test::Storage> root = test::ReadCompoundFile(Convert(email));
  ASSERT_TRUE(root.has_value());
  const std::array<std::uint8_t, 16> msg_class_id = {0x46, 0xF0, 0x06, 0, 0, 0, 0, 0,
                                                     0xC0, 0,    0,    0, 0, 0, 0, 0x46};
  EXPECT_EQ(root->class_id, msg_class_id);

  const test::PropertyStream top = test::ParsePropertyStream(*root, 32);
  ASSERT_EQ(top.header.size(), 32u);
  EXPECT_TRUE(top.whole_entries);
  EXPECT_EQ(test::U32At(top.header, 8), 4u);   // next recipient id
  EXPECT_EQ(test::U32At(top.header, 12), 1u);  // next attachment id
  EXPECT_EQ(test::U32At(top.header, 16), 4u);  // recipient count
  EXPECT_EQ(test::U32At(top.header, 20), 1u);  // attachment count
  for (const auto& [tag_value, entry] : top.entries) EXPECT_EQ(entry.flags, 0x06u);

  // Strings are Unicode, their size counts a terminating null the stream leaves out.
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kSubject), "Layout \xE4\xB8\xAD");
  EXPECT_EQ(top.entries.at(tag::kSubject).value & 0xFFFFFFFF,
            root->streams.at("__substg1.0_0037001F").size() + 2);
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kMessageClass), "IPM.Note");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kSenderName), "Ann Lee");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kSenderEmailAddress), "ann@example.org");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kSenderAddressType), "SMTP");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kSentRepresentingName), "Ann Lee");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kDisplayTo), "Bob; Eve");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kDisplayCc), "Carl");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kDisplayBcc), "Dora");
  EXPECT_EQ(test::UnicodeProperty(*root, tag::kBody), "text");
  EXPECT_TRUE(test::UnicodeProperty(*root, tag::kTransportMessageHeaders).has_value());
  const std::uint64_t expected_time = (1357394602ULL + 11644473600ULL) * 10000000ULL;
  EXPECT_EQ(top.entries.at(tag::kClientSubmitTime).value, expected_time);
  EXPECT_EQ(top.entries.at(tag::kMessageDeliveryTime).value, expected_time);
  EXPECT_EQ(top.entries.at(tag::kMessageFlags).value,
            std::uint64_t{mapi::kMessageFlagRead | mapi::kMessageFlagHasAttachments});
  EXPECT_EQ(top.entries.at(tag::kInternetCodepage).value, 65001u);
  EXPECT_EQ(top.entries.count(tag::kHtml), 0u);
  EXPECT_EQ(top.entries.count(tag::kRtfCompressed), 0u);

  const std::vector<std::pair<std::string, std::uint64_t>> recipients = {
      {"Bob", 1}, {"Eve", 1}, {"Carl", 2}, {"Dora", 3}};
  for (std::size_t i = 0; i < recipients.size(); ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "__recip_version1.0_#%08X", static_cast<unsigned>(i));
    ASSERT_TRUE(root->storages.count(name)) << name;
    const test::Storage& recipient = root->storages.at(name);
    const test::PropertyStream properties = test::ParsePropertyStream(recipient, 8);
    EXPECT_EQ(properties.header, std::string(8, '\0'));
    EXPECT_TRUE(properties.whole_entries);
    EXPECT_EQ(properties.entries.at(tag::kRecipientType).value, recipients[i].second);
    EXPECT_EQ(test::UnicodeProperty(recipient, tag::kDisplayName), recipients[i].first);
    EXPECT_EQ(test::UnicodeProperty(recipient, tag::kAddressType), "SMTP");
  }

  const test::Storage& attachment = root->storages.at("__attach_version1.0_#00000000");
  const test::PropertyStream attachment_properties = test::ParsePropertyStream(attachment, 8);
  EXPECT_EQ(attachment_properties.entries.at(tag::kAttachMethod).value, 1u);
  EXPECT_EQ(attachment_properties.entries.at(tag::kAttachSize).value, 3u);
  EXPECT_EQ(attachment_properties.entries.at(tag::kRenderingPosition).value, 0xFFFFFFFFu);
  EXPECT_EQ(test::UnicodeProperty(attachment, tag::kAttachLongFilename), "a.txt");
  EXPECT_EQ(test::UnicodeProperty(attachment, tag::kAttachFilename), "a.txt");
  EXPECT_EQ(test::UnicodeProperty(attachment, tag::kAttachExtension), ".txt");
  EXPECT_EQ(test::UnicodeProperty(attachment, tag::kAttachMimeTag), "text/plain");
  EXPECT_EQ(attachment.streams.at("__substg1.0_37010102"), "aaa");

  const test::Storage& name_ids = root->storages.at("__nameid_version1.0");
  for (const char* stream :
       {"__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"}) {
    EXPECT_TRUE(name_ids.streams.count(stream)) << stream;
  }
}

TEST_F(MsgRoundTrip, PropertiesAloneCarryTheHeadersToAnIndependentReader) {
  REQUIRE_MSGCONVERT();
  // Without the transport headers msgconvert builds every header from the properties.
  Email email;
  email.body = "body";
  email.subject = u"Nur Eigenschaften \u00FC";
  email.to = u"Bob Stone [bob@example.org],";
  email.cc = u"Carl Diaz [carl@example.org],";
  const std::u16string eml = ComposeEml(email, "props.eml");
  MessageContent content;
  ASSERT_EQ(ImportEml(test::ReadFile(ToPath(eml)), content), S_OK);
  content.properties.Erase(tag::kTransportMessageHeaders);
  content.properties.SetText(tag::kMessageClass, u"IPM.Note");
  const std::filesystem::path msg = dir_.path() / "props.msg";
  ASSERT_EQ(WriteMsgFile(content, msg), S_OK);
  GObjectPtr<GMimeMessage> read = ReadWithMsgconvert(msg);
  ASSERT_TRUE(read);
  EXPECT_STREQ(g_mime_message_get_subject(read.get()), "Nur Eigenschaften \xC3\xBC");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_from(read.get())), "Ann Lee <ann@example.org>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_to(read.get())), "Bob Stone <bob@example.org>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_cc(read.get())), "Carl Diaz <carl@example.org>");
  GDateTime* date = g_mime_message_get_date(read.get());
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(g_date_time_to_unix(date), 1357394602);
}

TEST_F(MsgRoundTrip, LoadRejectsWhatIsNotAMessage) {
  std::unique_ptr<MsgMessage> message;
  ASSERT_EQ(session_->MakeMsgFileMessage(FromPath(dir_.path() / "x.msg"), u"IPM.Note", kMsgFormat,
                                         message),
            S_OK);
  EXPECT_EQ(message->LoadMessageFromFile(FromPath(dir_.path() / "missing.eml"), kRfc822Type),
            STG_E_FILENOTFOUND);
  const std::u16string empty = FromPath(Write("empty.eml", ""));
  EXPECT_EQ(message->LoadMessageFromFile(empty, kRfc822Type), MAPI_E_CORRUPT_DATA);
  const std::u16string eml = ComposeEml(Email{}, "ok.eml");
  EXPECT_EQ(message->LoadMessageFromFile(eml, 0), E_INVALIDARG);
  EXPECT_EQ(message->LoadMessageFromFile(eml, kRfc822Type), S_OK);
  EXPECT_EQ(message->Content().properties.Text(tag::kMessageClass), u"IPM.Note");
}

TEST_F(MsgRoundTrip, MakeRefusesMissingArguments) {
  std::unique_ptr<MsgMessage> message;
  const std::u16string path = FromPath(dir_.path() / "x.msg");
  EXPECT_EQ(session_->MakeMsgFileMessage(u"", u"IPM.Note", kMsgFormat, message), E_INVALIDARG);
  EXPECT_EQ(session_->MakeMsgFileMessage(path, u"", kMsgFormat, message), E_INVALIDARG);
  EXPECT_EQ(session_->MakeMsgFileMessage(path, u"IPM.Note", 0, message), E_INVALIDARG);
  EXPECT_EQ(message, nullptr);
  EXPECT_EQ(session_->MakeMsgFileMessage(path, u"IPM.Note", kMsgUnicodeFormat, message), S_OK);
  EXPECT_NE(message, nullptr);
}

TEST_F(MsgRoundTrip, FailedCommitLeavesNoFile) {
  const std::u16string eml = ComposeEml(Email{}, "c.eml");
  const auto commit_to = [&](const std::filesystem::path& msg) {
    std::unique_ptr<MsgMessage> message;
    EXPECT_EQ(session_->MakeMsgFileMessage(FromPath(msg), u"IPM.Note", kMsgFormat, message), S_OK);
    EXPECT_EQ(message->LoadMessageFromFile(eml, kRfc822Type), S_OK);
    return message->CommitMessage();
  };
  EXPECT_EQ(commit_to(dir_.path() / "no-such-folder" / "a.msg"), STG_E_PATHNOTFOUND);

  // An existing file is never replaced.
  const std::filesystem::path existing = Write("taken.msg", "keep me");
  EXPECT_EQ(commit_to(existing), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(test::ReadFile(existing), "keep me");

  const std::filesystem::path locked = dir_.path() / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(
      locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::FILE* probe = std::fopen((locked / "probe").c_str(), "wb");
  if (probe != nullptr) {  // running with rights that ignore permissions
    std::fclose(probe);
    std::filesystem::remove(locked / "probe");
  } else {
    EXPECT_LT(commit_to(locked / "a.msg"), 0);
    EXPECT_TRUE(std::filesystem::is_empty(locked));
  }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST(MessagingSessionCreation, FailsWhenItsRuntimeCannotStart) {
  std::unique_ptr<MessagingSession> session;
  EXPECT_EQ(MessagingSession::Create(session, [] { return REGDB_E_CLASSNOTREG; }),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(MessagingSession::Create(session, ComponentStarter()), E_POINTER);
  EXPECT_EQ(MessagingSession::Create(session), S_OK);
  EXPECT_NE(session, nullptr);
}

}  // namespace
}  // namespace bm
