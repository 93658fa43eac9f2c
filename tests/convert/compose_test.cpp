// The mimelib component's message composition: the writer's texts become a proper MIME message.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "msg/eml_compose.h"
#include "msg/mimelib.h"
#include "msg_inspect.h"
#include "support/test_support.h"

namespace bm {
namespace {

TEST(WriterTexts, SenderTextGivesNameAndAddress) {
  EXPECT_EQ(ParseSenderText(u"From:Ann Lee <ann@example.org > "),
            (Mailbox{"Ann Lee", "ann@example.org"}));
  EXPECT_EQ(ParseSenderText(u"From:Ann Lee"), (Mailbox{"Ann Lee", ""}));
  EXPECT_EQ(ParseSenderText(u"From:"), (Mailbox{"", ""}));
  EXPECT_EQ(ParseSenderText(u"From:Zo\u00EB <z@x.fr >"), (Mailbox{"Zo\xC3\xAB", "z@x.fr"}));
}

TEST(WriterTexts, RecipientListsKeepCommasInsideNames) {
  EXPECT_EQ(ParseRecipientList(u"Ann [ann@x.org],Bob,Doe, Jane [jane@x.org],"),
            (std::vector<Mailbox>{{"Ann", "ann@x.org"}, {"Bob", ""}, {"Doe, Jane", "jane@x.org"}}));
  EXPECT_EQ(ParseRecipientList(u"Solo [s@x.org]"), (std::vector<Mailbox>{{"Solo", "s@x.org"}}));
  EXPECT_TRUE(ParseRecipientList(u"").empty());
  EXPECT_TRUE(ParseRecipientList(u",,").empty());
}

TEST(WriterTexts, DateTextMustBeAValidUtcTime) {
  const std::optional<DateParts> date = ParseDateText(u"01/05/2013 14:03:22.123456700");
  ASSERT_TRUE(date.has_value());
  EXPECT_EQ(date->year, 2013);
  EXPECT_EQ(date->month, 1);
  EXPECT_EQ(date->day, 5);
  EXPECT_EQ(date->hour, 14);
  EXPECT_EQ(date->second, 22);
  EXPECT_EQ(date->nanoseconds, 123456700);
  EXPECT_TRUE(ParseDateText(u"12/31/1999 23:59:59").has_value());
  EXPECT_FALSE(ParseDateText(u"").has_value());
  EXPECT_FALSE(ParseDateText(u"Jan 05, 2013 14:03:22.123456700").has_value());
  EXPECT_FALSE(ParseDateText(u"02/30/2013 14:03:22.000000000").has_value());
  EXPECT_FALSE(ParseDateText(u"01/05/2013 14:03:22.123x").has_value());
}

TEST(WriterTexts, ContentTypesByExtension) {
  EXPECT_EQ(ContentTypeForName("Report.PDF"), "application/pdf");
  EXPECT_EQ(ContentTypeForName("noextension"), "application/octet-stream");
}

class Compose : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Mimelib::Create(mimelib_), S_OK); }

  std::u16string Write(const std::string& name, const std::string& bytes) {
    const auto path = dir_.path() / name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return FromPath(path);
  }

  // Composes with the given body and attachments and parses the result back.
  GObjectPtr<GMimeMessage> ComposeAndParse(const std::string& body, const std::u16string& kind,
                                           const std::vector<std::u16string>& attachments = {},
                                           HResult expected = S_OK) {
    const std::u16string body_path = Write("Me0.txt", body);
    EXPECT_EQ(mimelib_->ComposeEmlFile(eml_, body_path, u"From:Ann Lee <ann@example.org > ",
                                       u"Bob [bob@example.org],Doe, Jane [jane@example.org],",
                                       u"01/05/2013 14:03:22.123456700", kind, attachments,
                                       u"Gr\u00FC\u00DFe \u4E2D\u6587", u"Carl [carl@example.org],",
                                       u"Dora [dora@example.org],"),
              expected);
    raw_ = test::ReadFile(ToPath(eml_));
    return test::ParseMessageFile(ToPath(eml_));
  }

  test::TempDir dir_;
  std::unique_ptr<Mimelib> mimelib_;
  std::u16string eml_ = FromPath(dir_.path() / "temp.eml");
  std::string raw_;
};

TEST_F(Compose, HeadersCarryEveryAddressListTheDateAndAnEncodedSubject) {
  GObjectPtr<GMimeMessage> message = ComposeAndParse("Hello", u"txt");
  ASSERT_TRUE(message);
  EXPECT_STREQ(g_mime_message_get_subject(message.get()),
               "Gr\xC3\xBC\xC3\x9F"
               "e \xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_NE(raw_.find("Subject: =?"), std::string::npos) << raw_;
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_from(message.get())),
            "Ann Lee <ann@example.org>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_to(message.get())),
            "Bob <bob@example.org>, Doe, Jane <jane@example.org>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_cc(message.get())), "Carl <carl@example.org>");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_bcc(message.get())), "Dora <dora@example.org>");
  GDateTime* date = g_mime_message_get_date(message.get());
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(g_date_time_to_unix(date), 1357394602);
  EXPECT_EQ(test::FindPartContent(g_mime_message_get_mime_part(message.get()), "text", "plain"),
            "Hello");
}

TEST_F(Compose, NameOnlySenderAndRecipientsStayNames) {
  const std::u16string body = Write("b.txt", "x");
  ASSERT_EQ(mimelib_->ComposeEmlFile(eml_, body, u"From:Ann Lee", u"Bob,Carl [c@x.org],",
                                     u"not a date", u"txt", {}, u"s", u"", u""),
            S_OK);
  GObjectPtr<GMimeMessage> message = test::ParseMessageFile(ToPath(eml_));
  ASSERT_TRUE(message);
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_from(message.get())), "Ann Lee");
  EXPECT_EQ(test::MailboxesText(g_mime_message_get_to(message.get())), "Bob, Carl <c@x.org>");
  EXPECT_EQ(g_mime_message_get_date(message.get()), nullptr);  // no invented date
}

TEST_F(Compose, TextBodyThatIsNotUtf8IsReadAsWindows1252) {
  GObjectPtr<GMimeMessage> message = ComposeAndParse("caf\xE9 \x80 5", u"txt");
  ASSERT_TRUE(message);
  EXPECT_EQ(test::FindPartContent(g_mime_message_get_mime_part(message.get()), "text", "plain"),
            "caf\xC3\xA9 \xE2\x82\xAC 5");
  message = ComposeAndParse(
      "\xEF\xBB\xBF"
      "caf\xC3\xA9",
      u"txt");
  ASSERT_TRUE(message);
  EXPECT_EQ(test::FindPartContent(g_mime_message_get_mime_part(message.get()), "text", "plain"),
            "caf\xC3\xA9");
}

TEST_F(Compose, HtmlBodyStaysHtmlBesideItsText) {
  GObjectPtr<GMimeMessage> message =
      ComposeAndParse("<html><body><p>Hi &amp; bye</p></body></html>", u"html");
  ASSERT_TRUE(message);
  GMimeObject* body = g_mime_message_get_mime_part(message.get());
  EXPECT_TRUE(g_mime_content_type_is_type(g_mime_object_get_content_type(body), "multipart",
                                          "alternative"));
  EXPECT_EQ(test::FindPartContent(body, "text", "plain"), "Hi & bye");
  EXPECT_EQ(test::FindPartContent(body, "text", "html"),
            "<html><body><p>Hi &amp; bye</p></body></html>");
}

TEST_F(Compose, RtfBodyTravelsWholeBesideItsText) {
  const std::string rtf = "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9\\par ok}";
  GObjectPtr<GMimeMessage> message = ComposeAndParse(rtf, u"rtf");
  ASSERT_TRUE(message);
  GMimeObject* body = g_mime_message_get_mime_part(message.get());
  EXPECT_EQ(test::FindPartContent(body, "text", "plain"), "caf\xC3\xA9\nok");
  EXPECT_EQ(test::FindPartContent(body, "text", "rtf"), rtf);
}

TEST_F(Compose, AttachmentsKeepNamesAndBytes) {
  std::string binary(70000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);
  const std::u16string pdf = Write("report.pdf", "%PDF-1.4 data");
  const std::u16string cjk = Write("\xE6\x8A\xA5\xE5\x91\x8A \xC3\xA9t\xC3\xA9.bin", binary);
  const std::u16string missing = FromPath(dir_.path() / "gone.txt");
  GObjectPtr<GMimeMessage> message =
      ComposeAndParse("b", u"txt", {pdf, missing, cjk}, 1 /* S_FALSE */);
  ASSERT_TRUE(message);
  const auto found = test::FindAttachments(g_mime_message_get_mime_part(message.get()));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "report.pdf");
  EXPECT_EQ(found[0].content_type, "application/pdf");
  EXPECT_EQ(found[0].data, "%PDF-1.4 data");
  EXPECT_EQ(found[1].name, "\xE6\x8A\xA5\xE5\x91\x8A \xC3\xA9t\xC3\xA9.bin");
  EXPECT_EQ(found[1].data, binary);
  EXPECT_NE(raw_.find("filename*=UTF-8''%E6%8A%A5"), std::string::npos);  // RFC 2231
  EXPECT_NE(raw_.find("Content-Transfer-Encoding: base64"), std::string::npos);
}

TEST_F(Compose, EmlAttachmentsThatAreMessagesAreAttachedAsMessages) {
  const std::u16string inner = Write("Inner.eml",
                                     "From: x@y.org\nSubject: inner one\nDate: Sat, 05 Jan 2013 "
                                     "14:03:22 +0000\n\nInner body\n");
  const std::u16string not_message = Write("Attactment2.eml", "\x01\x02 no headers at all");
  GObjectPtr<GMimeMessage> message = ComposeAndParse("b", u"txt", {inner, not_message});
  ASSERT_TRUE(message);
  const auto found = test::FindAttachments(g_mime_message_get_mime_part(message.get()));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].content_type, "message/rfc822");
  EXPECT_EQ(found[0].name, "Inner.eml");
  ASSERT_TRUE(found[0].message);
  EXPECT_STREQ(g_mime_message_get_subject(found[0].message.get()), "inner one");
  EXPECT_EQ(found[1].content_type, "application/octet-stream");
  EXPECT_EQ(found[1].data, "\x01\x02 no headers at all");
}

TEST_F(Compose, UnwritableTargetFails) {
  const std::u16string body = Write("b.txt", "x");
  const std::u16string target = FromPath(dir_.path() / "no-such-dir" / "temp.eml");
  EXPECT_LT(mimelib_->ComposeEmlFile(target, body, u"From:a", u"", u"", u"txt", {}, u"s", u"", u""),
            0);
}

TEST(MimelibCreation, FailsWhenItsRuntimeCannotStart) {
  std::unique_ptr<Mimelib> mimelib;
  EXPECT_EQ(Mimelib::Create(mimelib, [] { return REGDB_E_CLASSNOTREG; }), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(mimelib, nullptr);
  EXPECT_EQ(Mimelib::Create(mimelib, ComponentStarter()), E_POINTER);
  EXPECT_EQ(mimelib, nullptr);
  EXPECT_EQ(Mimelib::Create(mimelib), S_OK);
  EXPECT_NE(mimelib, nullptr);
}

}  // namespace
}  // namespace bm
