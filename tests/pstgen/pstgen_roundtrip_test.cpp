#include <gtest/gtest.h>

#include "pstgen/pff_reader.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace pstgen::test {
namespace {

TEST(PstgenRoundTrip, SimpleStoreReadsBackWithLibpff) {
  bm::test::TempDir dir;
  Store store(u"Test store");
  Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  Message& mail = inbox.AddMessage("IPM.Note");
  mail.SetSubject(u"Hello w\u00f6rld").SetBody(u"Plain text body").SetHtml("<p>Hi</p>");
  mail.SetRtf("{\\rtf1\\ansi Hello RTF}");
  mail.AddRecipient(u"Ann", u"ann@example.com", RecipientType::kTo);
  mail.AddAttachment(u"report.pdf", Bytes("%PDF-1.4 test"));
  mail.SetNamed(kPsetidCommon, 0x8580, u"value");
  const auto path = dir.path() / "simple.pst";
  Write(store, path);

  const PffStore read = ReadWithLibpff(path);
  ASSERT_EQ(read.root.folders.size(), 2u);
  const PffFolder& top = read.root.folders[0];
  EXPECT_EQ(top.name, u"Top of Personal Folders");
  ASSERT_EQ(top.folders.size(), 2u);
  const PffFolder& read_inbox = top.folders[1];
  EXPECT_EQ(read_inbox.name, u"Inbox");
  ASSERT_EQ(read_inbox.messages.size(), 1u);
  const PffMessage& m = read_inbox.messages[0];
  EXPECT_EQ(m.subject, u"Hello w\u00f6rld");
  EXPECT_EQ(m.plain_body, "Plain text body");
  EXPECT_EQ(m.html_body, "<p>Hi</p>");
  EXPECT_EQ(m.rtf_body, "{\\rtf1\\ansi Hello RTF}");
  ASSERT_EQ(m.recipients.size(), 1u);
  EXPECT_EQ(m.recipients[0].name, u"Ann");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(m.attachments[0].long_filename, u"report.pdf");
  for (const auto& [type, property] : m.properties) {
    std::printf("%04x type %04x size %zu named %d\n", type, property.value_type, property.data.size(),
                property.guid.has_value());
  }
}

}  // namespace
}  // namespace pstgen::test
