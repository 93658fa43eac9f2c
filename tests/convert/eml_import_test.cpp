// Messages that the composer does not make itself (inline images, Exchange senders, deep
// nesting) still map onto sound MSG properties.
#include <gtest/gtest.h>

#include <string>

#include "msg/component_runtime.h"
#include "msg/eml_import.h"
#include "msg/mapi_properties.h"
#include "msg/msg_writer.h"

namespace bm {
namespace {

namespace tag = mapi::tag;

class EmlImport : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(StartMessagingRuntime(), S_OK); }
};

TEST_F(EmlImport, RelatedHtmlKeepsInlineImagesAsAttachments) {
  const std::string eml =
      "From: Ann <ann@example.org>\nSubject: pics\nMIME-Version: 1.0\n"
      "Content-Type: multipart/related; boundary=r\n\n--r\n"
      "Content-Type: text/html; charset=iso-8859-1\n\n<p>caf\xE9 <img src=\"cid:i1\"></p>\n--r\n"
      "Content-Type: image/png\nContent-ID: <i1>\nContent-Transfer-Encoding: base64\n\n"
      "iVBORw0K\n--r--\n";
  MessageContent content;
  ASSERT_EQ(ImportEml(eml, content), S_OK);
  const mapi::Binary* html = content.properties.BinaryValue(tag::kHtml);
  ASSERT_NE(html, nullptr);
  EXPECT_EQ(std::string(html->begin(), html->end()), "<p>caf\xC3\xA9 <img src=\"cid:i1\"></p>");
  EXPECT_EQ(content.properties.Text(tag::kBody), u"caf\u00E9");  // derived from the HTML
  ASSERT_EQ(content.attachments.size(), 1u);
  const mapi::PropertyBag& image = content.attachments[0].properties;
  EXPECT_EQ(image.Text(tag::kAttachMimeTag), u"image/png");
  EXPECT_EQ(image.Text(tag::kAttachContentId), u"i1");
  EXPECT_EQ(image.Text(tag::kAttachLongFilename), u"attachment1.dat");
  EXPECT_EQ(image.BinaryValue(tag::kAttachDataBinary)->size(), 6u);
}

TEST_F(EmlImport, ExchangeAddressesAreNotCalledSmtp) {
  MessageContent content;
  ASSERT_EQ(ImportEml("From: Bob </O=ORG/OU=EXCHANGE/CN=BOB>\nTo: Ann <ann@example.org>\n"
                      "Subject: s\n\nbody\n",
                      content),
            S_OK);
  EXPECT_EQ(content.properties.Text(tag::kSenderAddressType), u"EX");
  EXPECT_EQ(content.properties.Text(tag::kSenderEmailAddress), u"/O=ORG/OU=EXCHANGE/CN=BOB");
  EXPECT_FALSE(content.properties.Text(tag::kSenderSmtpAddress).has_value());
  ASSERT_EQ(content.recipients.size(), 1u);
  EXPECT_EQ(content.recipients[0].Text(tag::kAddressType), u"SMTP");
  EXPECT_EQ(content.recipients[0].Text(tag::kSmtpAddress), u"ann@example.org");
}

TEST_F(EmlImport, RtfAttachmentIsNotTakenForTheBody) {
  const std::string eml =
      "From: a@b.org\nSubject: s\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=m\n\n"
      "--m\nContent-Type: text/plain\n\nthe body\n--m\nContent-Type: application/rtf\n"
      "Content-Disposition: attachment; filename=\"doc.rtf\"\n\n{\\rtf1 doc}\n--m--\n";
  MessageContent content;
  ASSERT_EQ(ImportEml(eml, content), S_OK);
  EXPECT_EQ(content.properties.Text(tag::kBody), u"the body");
  EXPECT_EQ(content.properties.Find(tag::kRtfCompressed), nullptr);
  ASSERT_EQ(content.attachments.size(), 1u);
  EXPECT_EQ(content.attachments[0].properties.Text(tag::kAttachLongFilename), u"doc.rtf");
  EXPECT_EQ(content.properties.Int32(tag::kMessageFlags),
            mapi::kMessageFlagRead | mapi::kMessageFlagHasAttachments);
}

// Wraps `inner` as the attached message of a new message, `levels` times.
std::string Nest(std::string inner, int levels) {
  for (int level = levels; level > 0; --level) {
    const std::string boundary = "b" + std::to_string(level);
    inner = "From: a@b.org\nSubject: level " + std::to_string(level) +
            "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=" + boundary + "\n\n--" +
            boundary + "\nContent-Type: text/plain\n\nbody\n--" + boundary +
            "\nContent-Type: message/rfc822\nContent-Disposition: attachment\n\n" + inner + "\n--" +
            boundary + "--\n";
  }
  return inner;
}

TEST_F(EmlImport, NestingIsBoundedAndTheDeepestMessageIsKeptAsAFile) {
  MessageContent content;
  ASSERT_EQ(ImportEml(Nest("From: a@b.org\nSubject: bottom\n\nbottom body\n", 12), content), S_OK);
  int message_objects = 0;
  const MessageContent* level = &content;
  while (!level->attachments.empty() && level->attachments[0].embedded) {
    EXPECT_EQ(level->attachments[0].properties.Int32(tag::kAttachMethod),
              mapi::kAttachEmbeddedMessage);
    level = level->attachments[0].embedded.get();
    ++message_objects;
  }
  EXPECT_EQ(message_objects, kMaxEmbeddingDepth - 1);
  ASSERT_EQ(level->attachments.size(), 1u);
  const mapi::PropertyBag& file = level->attachments[0].properties;
  EXPECT_EQ(file.Int32(tag::kAttachMethod), mapi::kAttachByValue);
  EXPECT_EQ(file.Text(tag::kAttachMimeTag), u"message/rfc822");
  const mapi::Binary* data = file.BinaryValue(tag::kAttachDataBinary);
  ASSERT_NE(data, nullptr);
  EXPECT_NE(std::string(data->begin(), data->end()).find("bottom body"), std::string::npos);

  std::vector<std::uint8_t> msg;
  EXPECT_EQ(SerialiseMsg(content, msg), S_OK);
}

}  // namespace
}  // namespace bm
