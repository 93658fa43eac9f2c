// The MSG fidelity store read back by libpff: what it carries for the MSG copy tests is really
// in the file, in the form Outlook's readers expect.
#include <gtest/gtest.h>

#include <algorithm>

#include "pstgen/pff_reader.h"
#include "support/test_support.h"
#include "tools/pstgen/presets.h"

namespace pstgen::test {
namespace {

std::vector<std::uint8_t> Le(std::uint64_t value, std::size_t size) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}

// The named property with `guid` and `lid`, or nullptr.
const PffProperty* Named(const PffMessage& message, const Guid& guid, std::uint32_t lid) {
  for (const auto& [id, property] : message.properties) {
    if (id >= 0x8000 && property.lid == lid && property.guid &&
        std::equal(guid.bytes.begin(), guid.bytes.end(), property.guid->begin())) {
      return &property;
    }
  }
  return nullptr;
}

class MsgFidelityStoreTest : public ::testing::TestWithParam<FileFormat> {};

TEST_P(MsgFidelityStoreTest, LibpffReadsWhatTheCopyTestsNeed) {
  bm::test::TempDir dir;
  Store store = MsgFidelityStore();
  store.set_format(GetParam());
  const auto path = dir.path() / "fidelity.pst";
  Write(store, path);
  const PffStore read = ReadWithLibpff(path);
  ASSERT_FALSE(read.corrupted);
  const PffFolder* inbox = nullptr;
  for (const auto& folder : read.root.folders.at(0).folders) {
    if (folder.name == u"Inbox") inbox = &folder;
  }
  ASSERT_NE(inbox, nullptr);
  ASSERT_EQ(inbox->messages.size(), 4u);
  EXPECT_EQ(inbox->messages[1].message_class, u"IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(inbox->messages[2].message_class, u"IPM.Schedule.Meeting.Request");
  EXPECT_EQ(inbox->messages[3].message_class, u"IPM.DistList");

  const PffMessage& mail = inbox->messages[0];
  const FileTime sent = FileTime::FromUnixSeconds(1704103200);
  EXPECT_EQ(mail.properties.at(0x0039).data, Le(sent.ticks + 1234567, 8));
  EXPECT_NE(mail.properties.at(0x0039).data, mail.properties.at(0x3007).data);
  EXPECT_EQ(mail.properties.at(0x0E07).data, Le(0x08, 4));  // unsent, unread
  EXPECT_EQ(mail.properties.at(0x0017).data, Le(2, 4));
  EXPECT_TRUE(mail.properties.count(0x007D) && mail.properties.count(0x1035) &&
              mail.properties.count(0x0071) && mail.properties.count(0x5D01));
  EXPECT_TRUE(mail.plain_body && mail.html_body && mail.rtf_body);
  EXPECT_NE(*mail.plain_body, *mail.html_body);
  ASSERT_NE(Named(mail, kPsetidCommon, 0x8580), nullptr);

  // Categories: a multi-valued string, the type the store's format gives text.
  const bool ansi = GetParam() == FileFormat::kAnsi;
  const auto keywords =
      std::find_if(mail.properties.begin(), mail.properties.end(), [&](const auto& entry) {
        return entry.first >= 0x8000 && entry.second.value_type == (ansi ? 0x101Eu : 0x101Fu);
      });
  ASSERT_NE(keywords, mail.properties.end());
  const auto& data = keywords->second.data;
  ASSERT_GE(data.size(), 12u);
  EXPECT_EQ(data[0], 2);   // two values
  EXPECT_EQ(data[4], 12);  // the first after the count and two offsets

  ASSERT_EQ(mail.recipients.size(), 3u);
  EXPECT_EQ(Utf16Of(mail.recipients[0].properties.at(0x3002)), u"EX");
  EXPECT_EQ(Utf16Of(mail.recipients[0].properties.at(0x39FE)), u"bob.baker@example.com");

  ASSERT_EQ(mail.attachments.size(), 4u);
  EXPECT_EQ(mail.attachments[0].data.size(), 5000u);
  EXPECT_EQ(Utf16Of(mail.attachments[0].properties.at(0x3712)), u"chart@fidelity");
  EXPECT_EQ(mail.attachments[0].properties.at(0x7FFE).data, Le(1, 1));
  ASSERT_TRUE(mail.attachments[2].embedded);
  ASSERT_EQ(mail.attachments[2].embedded->attachments.size(), 2u);
  EXPECT_TRUE(mail.attachments[2].embedded->attachments[1].embedded);
  EXPECT_EQ(mail.attachments[3].properties.at(0x3705).data, Le(6, 4));  // OLE
  EXPECT_EQ(mail.attachments[3].properties.at(0x3701).value_type, 0x000Du);
}

INSTANTIATE_TEST_SUITE_P(Formats, MsgFidelityStoreTest,
                         ::testing::Values(FileFormat::kUnicode, FileFormat::kAnsi),
                         [](const auto& info) {
                           return info.param == FileFormat::kAnsi ? "Ansi" : "Unicode";
                         });

}  // namespace
}  // namespace pstgen::test
