// Property texts, message flags, subjects and recipient lists, read back from written stores.
#include <gtest/gtest.h>

#include "base/value_text.h"
#include "writer_fixture.h"
#include "writers/value_format.h"

namespace bm {
namespace {

using test::WriterFixture;

// The text of property `id` of `message` as the writers show it.
std::optional<std::u16string> PropertyText(const WriterFixture& fixture,
                                           const pst::Message& message, std::uint16_t id) {
  const Result<mapi::FieldValue> value =
      mapi::ReadFieldValue(*fixture.state.store, message.properties(), id, 1252);
  EXPECT_TRUE(value.ok());
  return value ? FieldText(*value) : std::nullopt;
}

mapi::EmailRecord EmailOf(const WriterFixture& fixture, const std::optional<pst::Message>& item) {
  EXPECT_TRUE(item.has_value());
  if (!item) return {};
  return fixture.RecordOf(*item, &mapi::ReadEmailRecord);
}

TEST(PropertyText, RendersEachSupportedValueTypeAndNothingElse) {
  WriterFixture fixture;
  const std::optional<pst::Message> item = fixture.ScanOne([](pstgen::Message& m) {
    m.Set(0x6601, std::int32_t{-42});
    m.Set(0x6602, 0.5f);
    m.Set(0x6603, 1234.5);
    m.Set(0x6604, true);
    m.Set(0x6605, false);
    m.Set(0x6606, "eight-bit");
    m.Set(0x6607, u"wide \u00e9");
    // 2013-01-05 14:03:22.1234567 UTC
    m.Set(0x6608, pstgen::FileTime{130018682021234567ULL});
    m.Set(0x6609, std::int16_t{7});
    m.Set(0x660A, pstgen::Bytes("binary"));
    m.Set(0x660B, std::int64_t{5});
  });
  ASSERT_TRUE(item.has_value());
  const auto text = [&](std::uint16_t id) { return PropertyText(fixture, *item, id); };
  EXPECT_EQ(text(0x6601), u"-42");
  EXPECT_EQ(text(0x6602), u"5.000000e-001");
  EXPECT_EQ(text(0x6603), u"1.234500e+003");
  EXPECT_EQ(text(0x6604), u"yes");
  EXPECT_EQ(text(0x6605), u"no");
  EXPECT_EQ(text(0x6606), u"eight-bit");
  EXPECT_EQ(text(0x6607), u"wide \u00e9");
  EXPECT_EQ(text(0x6608), u"Jan 05, 2013 14:03:22.123456700");
  EXPECT_EQ(text(0x6609), std::nullopt);  // 16-bit integers are not shown
  EXPECT_EQ(text(0x660A), std::nullopt);
  EXPECT_EQ(text(0x660B), std::nullopt);
  EXPECT_EQ(text(0x660C), std::nullopt);  // absent
}

TEST(MessageFlagsText, TestsTheBitsInItsOwnOrder) {
  EXPECT_EQ(MessageFlagsWord(0x11), u"Has attachments");
  EXPECT_EQ(MessageFlagsWord(0x01), u"Read");
  EXPECT_EQ(MessageFlagsWord(0), u"Unread");
  EXPECT_EQ(MessageFlagsWord(0x21), u"From me");
  EXPECT_EQ(MessageFlagsWord(0x208), u"Unsent");
  EXPECT_EQ(MessageFlagsWord(0x300), u"RN pending");
  EXPECT_EQ(MessageFlagsWord(0x400), u"Unread");  // bits outside the list count for nothing
}

TEST(MessageFlagsText, ReadsTheStoredFlagsOrGivesNothing) {
  for (const auto& [flags, expected] : std::vector<std::pair<std::int32_t, std::u16string>>{
           {0x11, u"Has attachments"}, {0x01, u"Read"}, {0, u"Unread"}}) {
    WriterFixture fixture;
    const auto item =
        fixture.ScanOne([flags](pstgen::Message& m) { m.Set(pstgen::tag::kMessageFlags, flags); });
    EXPECT_EQ(MessageFlagsText(EmailOf(fixture, item).message_flags), expected) << flags;
  }
  WriterFixture fixture;
  const auto item = fixture.ScanOne(
      [](pstgen::Message& m) { m.Set(pstgen::tag::kMessageFlags, u"not a number"); });
  EXPECT_EQ(MessageFlagsText(EmailOf(fixture, item).message_flags), std::nullopt);
}

TEST(SubjectText, DropsThePrefixMarkersAndLineBreaksOnly) {
  WriterFixture fixture;
  const mapi::EmailRecord record = EmailOf(fixture, fixture.ScanOne([](pstgen::Message& m) {
    m.SetSubject(std::u16string(u"\x01\x05RE: Caf\u00e9\r\n  next"));
    m.Set(pstgen::tag::kConversationTopic, u"topic");
  }));
  EXPECT_EQ(SubjectText(record), u"RE: Caf\u00e9  next");
  EXPECT_EQ(SubjectOrTopic(record), u"RE: Caf\u00e9  next");
}

TEST(SubjectText, FallsBackToTheConversationTopicWhenEmpty) {
  WriterFixture fixture;
  const mapi::EmailRecord record = EmailOf(fixture, fixture.ScanOne([](pstgen::Message& m) {
    m.Set(pstgen::tag::kConversationTopic, u"the topic");
  }));
  EXPECT_EQ(SubjectText(record), u"");
  EXPECT_EQ(SubjectOrTopic(record), u"the topic");
}

TEST(CollectRecipients, ListsToCcAndBccWithUsableAddressesOnly) {
  WriterFixture fixture;
  const mapi::EmailRecord record = EmailOf(fixture, fixture.ScanOne([](pstgen::Message& m) {
    m.AddRecipient(u"Ann", u"ann@example.com", pstgen::RecipientType::kTo);
    m.AddRecipient(u"Bob", u"bob@localhost", pstgen::RecipientType::kTo);
    m.AddRecipient(u"Cy", u"/O=ORG/OU=SITE/CN=CY", pstgen::RecipientType::kCc);
    m.AddRecipient(u"Di", u"d.i@example.org", pstgen::RecipientType::kBcc);
    m.AddRecipient(u"Origin", u"o@example.com", pstgen::RecipientType::kOriginator);
    // No display name: the recipient display name stands in.
    m.AddRecipient(u"", u"eve@example.net", pstgen::RecipientType::kCc)
        .Set(0x5FF6, u"Eve Fallback");
  }));
  RecipientLists lists;
  lists.to = u"Earlier,";
  CollectRecipients(record.recipients, lists);
  EXPECT_EQ(lists.to, u"Earlier,Ann [ann@example.com],Bob,");
  EXPECT_EQ(lists.cc, u"Cy,Eve Fallback [eve@example.net],");
  EXPECT_EQ(lists.bcc, u"Di [d.i@example.org],");
}

TEST(CollectRecipients, LeavesTheListsAloneWithoutRecipients) {
  WriterFixture fixture;
  const mapi::EmailRecord record = EmailOf(fixture, fixture.ScanOne([](pstgen::Message&) {}));
  RecipientLists lists;
  lists.cc = u"kept,";
  CollectRecipients(record.recipients, lists);
  EXPECT_EQ(lists.to, u"");
  EXPECT_EQ(lists.cc, u"kept,");
}

TEST(IsUsableAddress, NeedsMoreThanOnePointOrAtSign) {
  EXPECT_TRUE(IsUsableAddress(u"a@b.c"));
  EXPECT_TRUE(IsUsableAddress(u"a.b."));
  EXPECT_FALSE(IsUsableAddress(u"a@b"));
  EXPECT_FALSE(IsUsableAddress(u"/O=ORG/CN=X"));
  EXPECT_FALSE(IsUsableAddress(u""));
}

TEST(RewriteDateText, GivesMonthDayYear) {
  EXPECT_EQ(RewriteDateText(u"Jan 05, 2013 14:03:22.123456700"), u"01/05/2013 14:03:22.123456700");
  EXPECT_EQ(RewriteDateText(u"Dec 31, 1999 23:59:59.000000000"), u"12/31/1999 23:59:59.000000000");
  EXPECT_EQ(RewriteDateText(u""), u"");
}

TEST(FileNameSubject, BlanksTheTenForbiddenCharactersAndControls) {
  EXPECT_EQ(FileNameSubject(u"a/b:c?"), u"a b c ");
  EXPECT_EQ(FileNameSubject(u"\\/:!?*<>|\""), u"          ");
  EXPECT_EQ(FileNameSubject(u"tab\there"), u"tab here");
  EXPECT_EQ(FileNameSubject(u"Re: Offer"), u"Re  Offer");
}

TEST(FloatText, UsesTheValueLibraryForm) {
  EXPECT_EQ(FloatText(0.0), u"0.000000e+000");
  EXPECT_EQ(FloatText(-2.5), u"-2.500000e+000");
  EXPECT_EQ(FloatText(1e-7), u"1.000000e-007");
  EXPECT_LE(FloatText(-1.7976931348623157e308).size(), 31u);
}

}  // namespace
}  // namespace bm
