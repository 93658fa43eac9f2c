// Every feature of the writer, read back item by item by libpff and by readpst.
#include <gtest/gtest.h>

#include "base/text.h"
#include "pstgen/pff_reader.h"
#include "pstgen/readpst_reader.h"
#include "support/test_support.h"
#include "tools/pstgen/checker.h"
#include "tools/pstgen/pstgen.h"

namespace pstgen::test {
namespace {

constexpr char16_t kMarkedSubject[] = u"\x01\x05RE: Caf\u00e9 \u65e5\u672c report";
constexpr char16_t kSpecialName[] = u"a/b\\c:d*e?f<g>h|i";

Binary Pattern(std::size_t size, unsigned seed) {
  Binary data(size);
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
  return data;
}

// A store with one of everything the converter reads.
Store FeatureStore(FileFormat format, Encryption encryption) {
  Store store(u"Feature store", encryption);
  store.set_format(format);
  Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  Folder& projects = inbox.AddFolder(u"Projects", u"IPF.Note");
  projects.AddFolder(u"2024", u"IPF.Note").AddMessage().SetSubject(u"Nested");
  store.top().AddFolder(kSpecialName, u"IPF.Note").AddMessage().SetSubject(u"In odd folder");
  store.root().AddFolder(u"Beside top");

  Message& mail = inbox.AddMessage("IPM.Note");
  mail.SetSubject(kMarkedSubject)
      .SetBody(u"Plain caf\u00e9 \u65e5\u672c\r\nsecond line")
      .SetHtml("<html><body><p>caf\xc3\xa9</p></body></html>")
      .Set(tag::kSenderName, u"Sender Person")
      .Set(tag::kSenderEmailAddress, u"sender@example.com")
      .Set(tag::kConversationTopic, u"Caf\u00e9 report");
  mail.AddRecipient(u"Ann \u00c5berg", u"ann@example.com", RecipientType::kTo)
      .Set(tag::kSmtpAddress, u"ann@example.com");
  mail.AddRecipient(u"Bob", u"bob@example.com", RecipientType::kCc);
  mail.AddRecipient(u"Cyd", u"cyd@example.com", RecipientType::kBcc);
  mail.AddAttachment(u"report.pdf", Bytes("%PDF-1.4 named"));
  mail.AddAttachment(std::nullopt, Bytes("%PDF-1.7 unnamed document"));
  mail.AddAttachment(u"big.bin", Pattern(3'000'000, 7));  // many blocks under an XBLOCK
  Message& inner = mail.AddEmbeddedMessage(u"Forwarded", "IPM.Note");
  inner.SetSubject(u"Inner subject").SetBody(u"Inner body");
  inner.AddRecipient(u"Dee", u"dee@example.com", RecipientType::kCc);
  inner.AddAttachment(u"inner.txt", Bytes("inner attachment"));

  inbox.AddMessage("IPM.Note")
      .SetSubject(u"RTF only")
      .SetRtf("{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Arial;}} \\f0 RTF body \\b bold\\b0\\par}");

  Message& typed = inbox.AddMessage("IPM.Note.Custom");
  typed.SetSubject(u"Typed values")
      .Set(0x6601, std::int16_t{-7})
      .Set(0x6602, 123456)
      .Set(0x6603, true)
      .Set(0x6604, 1.5f)
      .Set(0x6605, 2.25)
      .Set(0x6606, FileTime::FromUnixSeconds(1700000000))
      .Set(0x6607, "eight-bit text")
      .Set(0x6608, u"unicode text")
      .Set(0x6609, Bytes("small binary"))
      .Set(0x660A, Pattern(10000, 3))                // too big for the heap: a subnode
      .Set(0x660B, std::u16string(5000, u'\u00e9'))  // likewise
      .Set(0x660C, std::int64_t{-5000000000});
  // Heap-sized values that spread the property context over several heap blocks.
  for (std::uint16_t i = 0; i < 8; ++i) typed.Set(0x6700 + i, Pattern(3000, i));
  typed.SetNamed(kPsetidAddress, 0x8083, u"named@example.com")
      .SetNamed(kPsetidAppointment, 0x820D, FileTime::FromUnixSeconds(1700003600))
      .SetNamed(kPsetidTask, 0x8102, 0.75)
      .SetNamed(kPsetidCommon, 0x8580, 42)
      .SetNamed(kPsPublicStrings, 0x9000, u"public")
      .SetNamed(kPsPublicStrings, u"Keywords", u"tagged");

  Folder& contacts = store.top().AddFolder(u"Contacts", u"IPF.Contact");
  contacts.AddMessage("IPM.Contact")
      .SetSubject(u"Ann Example")
      .Set(0x3A06, u"Ann")
      .Set(0x3A11, u"Example")
      .SetNamed(kPsetidAddress, 0x8005, u"Example, Ann");
  contacts.AddMessage("IPM.DistList").SetSubject(u"Team");
  store.top()
      .AddFolder(u"Calendar", u"IPF.Appointment")
      .AddMessage("IPM.Appointment")
      .SetSubject(u"Meeting")
      .SetNamed(kPsetidAppointment, 0x8208, u"Room 1");
  store.top().AddFolder(u"Tasks", u"IPF.Task").AddMessage("IPM.Task").SetSubject(u"Do it");
  store.top()
      .AddFolder(u"Notes", u"IPF.StickyNote")
      .AddMessage("IPM.StickyNote")
      .SetSubject(u"Note");
  inbox.AddMessage("IPM.Schedule.Meeting.Request").SetSubject(u"Invitation");
  inbox.AddAssociatedMessage("IPM.Microsoft.FolderDesign.NamedView").Set(tag::kSubject, u"View");
  return store;
}

const PffFolder* FindFolder(const PffFolder& folder, std::u16string_view name) {
  for (const auto& child : folder.folders) {
    if (child.name == name) return &child;
  }
  return nullptr;
}

std::string Utf8(std::u16string_view text) {
  return bm::ToUtf8(text);
}

std::u16string WithoutMarker(std::u16string subject) {
  if (subject.size() >= 2 && subject[0] == u'\x01') subject.erase(0, 2);
  return subject;
}

const std::u16string* TextOf(const Message& message, std::uint16_t id) {
  const Value* value = message.properties().Find(id);
  return value ? std::get_if<std::u16string>(&value->storage()) : nullptr;
}

// Text as a store of `format` gives it back: ANSI stores keep Windows-1252 only.
std::u16string Stored(std::u16string_view text, FileFormat format) {
  if (format == FileFormat::kUnicode) return std::u16string(text);
  return bm::FromUtf8(bm::Cp1252ToUtf8(ToWindows1252(text)));
}
std::optional<std::u16string> StoredName(const std::optional<std::u16string>& name,
                                         FileFormat format) {
  if (!name) return std::nullopt;
  return Stored(*name, format);
}

struct StoreForm {
  FileFormat format;
  Encryption encryption;
  const char* name;
};

class FeatureStoreTest : public ::testing::TestWithParam<StoreForm> {
 protected:
  void SetUp() override {
    store_ = std::make_unique<Store>(FeatureStore(GetParam().format, GetParam().encryption));
    path_ = dir_.path() / "features.pst";
    Write(*store_, path_);
  }

  bm::test::TempDir dir_;
  std::unique_ptr<Store> store_;
  std::filesystem::path path_;
};

TEST_P(FeatureStoreTest, StructureCheckerFindsNoFault) {
  const CheckReport report = CheckPst(path_);
  EXPECT_TRUE(report.ok()) << ::testing::PrintToString(report.problems);
  EXPECT_EQ(report.folders, 13u);  // root, top, Search Root, Deleted Items and 9 of ours
}

void ExpectSameValue(const Value& built, const PffProperty& read, const std::string& what,
                     FileFormat format) {
  const auto* text = std::get_if<std::u16string>(&built.storage());
  if (text && format == FileFormat::kAnsi) {
    EXPECT_EQ(read.value_type, static_cast<std::uint32_t>(PropType::kString8)) << what;
    std::string got(read.data.begin(), read.data.end());
    while (!got.empty() && got.back() == '\0') got.pop_back();
    EXPECT_EQ(got, ToWindows1252(*text)) << what;
    return;
  }
  EXPECT_EQ(read.value_type, static_cast<std::uint32_t>(built.type())) << what;
  std::vector<std::uint8_t> expected;
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Binary>) {
          expected.assign(v.begin(), v.end());
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          for (const char16_t c : v) {
            expected.push_back(static_cast<std::uint8_t>(c & 0xFF));
            expected.push_back(static_cast<std::uint8_t>(c >> 8));
          }
        } else if constexpr (std::is_same_v<T, FileTime>) {
          for (int i = 0; i < 8; ++i)
            expected.push_back(static_cast<std::uint8_t>(v.ticks >> (8 * i)));
        } else if constexpr (std::is_same_v<T, bool>) {
          expected.push_back(v ? 1 : 0);
        } else {
          const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v);
          expected.assign(bytes, bytes + sizeof v);
        }
      },
      built.storage());
  std::vector<std::uint8_t> got = read.data;
  if (built.type() == PropType::kString8) {
    while (!got.empty() && got.back() == 0) got.pop_back();
  }
  if (built.type() == PropType::kBoolean) got.resize(1);
  EXPECT_EQ(got, expected) << what;
}

void ExpectSameMessage(const Message& built, const PffMessage& read, FileFormat format);

void ExpectSameProperties(const Message& built, const PffMessage& read, FileFormat format) {
  for (const Property& property : built.properties().items()) {
    if (const auto* id = std::get_if<std::uint16_t>(&property.key)) {
      if (*id == tag::kRtfCompressed || *id == tag::kHtml) continue;  // compared as bodies
      const auto found = read.properties.find(*id);
      ASSERT_NE(found, read.properties.end()) << "property " << std::hex << *id;
      ExpectSameValue(property.value, found->second, "property " + std::to_string(*id), format);
      continue;
    }
    const PropertyName& name = std::get<PropertyName>(property.key);
    // libpff knows PS_PUBLIC_STRINGS (set index 2) only for string names and reports an
    // all-zero GUID for numeric ones, though the map stores both the same way.
    const bool numeric = std::holds_alternative<std::uint32_t>(name.id);
    Guid expected_set = name.set;
    if (numeric && name.set == kPsPublicStrings) expected_set = Guid{};
    const PffProperty* match = nullptr;
    for (const auto& [type, candidate] : read.properties) {
      if (!candidate.guid || !std::equal(expected_set.bytes.begin(), expected_set.bytes.end(),
                                         candidate.guid->begin()))
        continue;
      if (const auto* lid = std::get_if<std::uint32_t>(&name.id); lid && candidate.lid == *lid)
        match = &candidate;
      if (std::holds_alternative<std::u16string>(name.id) && !candidate.lid) match = &candidate;
      if (match) {
        EXPECT_GE(type, 0x8000u);
        break;
      }
    }
    ASSERT_NE(match, nullptr) << "named property not found";
    ExpectSameValue(property.value, *match, "named property", format);
  }
}

void ExpectSameMessage(const Message& built, const PffMessage& read, FileFormat format) {
  EXPECT_EQ(Utf8(read.message_class), built.message_class());
  if (const auto* subject = TextOf(built, tag::kSubject)) {
    EXPECT_EQ(read.subject, Stored(*subject, format));
  }
  if (const auto* body = TextOf(built, tag::kBody)) {
    EXPECT_EQ(read.plain_body, Utf8(Stored(*body, format)));
  }
  if (const Value* html = built.properties().Find(tag::kHtml)) {
    const auto& bytes = std::get<Binary>(html->storage());
    EXPECT_EQ(read.html_body, std::string(bytes.begin(), bytes.end()));
  }
  ExpectSameProperties(built, read, format);

  ASSERT_EQ(read.recipients.size(), built.recipients().size());
  for (std::size_t i = 0; i < built.recipients().size(); ++i) {
    EXPECT_EQ(read.recipients[i].name, Stored(built.recipients()[i].name, format));
    EXPECT_EQ(read.recipients[i].address, Stored(built.recipients()[i].address, format));
    EXPECT_EQ(read.recipients[i].type, static_cast<std::int32_t>(built.recipients()[i].type));
  }
  ASSERT_EQ(read.attachments.size(), built.attachments().size());
  for (std::size_t i = 0; i < built.attachments().size(); ++i) {
    const Attachment& a = built.attachments()[i];
    const PffAttachment& r = read.attachments[i];
    if (const Message* embedded = a.embedded()) {
      ASSERT_EQ(r.type, 'i');
      ASSERT_TRUE(r.embedded);
      ExpectSameMessage(*embedded, *r.embedded, format);
    } else {
      EXPECT_EQ(r.type, 'd');
      EXPECT_EQ(r.long_filename, StoredName(a.long_filename, format));
      EXPECT_TRUE(r.data == a.data) << "attachment " << i << " bytes differ";
    }
  }
}

void ExpectSameFolder(const Folder& built, const PffFolder& read, FileFormat format) {
  SCOPED_TRACE(Utf8(built.name()));
  EXPECT_EQ(read.name, Stored(built.name(), format));
  if (!built.container_class().empty()) {
    EXPECT_EQ(read.container_class, built.container_class());
  }
  EXPECT_EQ(read.associated_count, static_cast<int>(built.associated().size()));
  ASSERT_EQ(read.folders.size(), built.folders().size());
  for (std::size_t i = 0; i < built.folders().size(); ++i) {
    ExpectSameFolder(*built.folders()[i], read.folders[i], format);
  }
  ASSERT_EQ(read.messages.size(), built.messages().size());
  for (std::size_t i = 0; i < built.messages().size(); ++i) {
    SCOPED_TRACE("message " + std::to_string(i));
    ExpectSameMessage(*built.messages()[i], read.messages[i], format);
  }
}

TEST_P(FeatureStoreTest, LibpffReadsBackEverything) {
  const PffStore read = ReadWithLibpff(path_);
  EXPECT_FALSE(read.corrupted);
  EXPECT_EQ(read.encryption_type, static_cast<int>(GetParam().encryption));
  ExpectSameFolder(store_->root(), read.root, GetParam().format);

  const PffFolder* inbox = FindFolder(read.root.folders.at(0), u"Inbox");
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(inbox->messages.at(1).rtf_body,
            "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Arial;}} \\f0 RTF body \\b bold\\b0\\par}");
  EXPECT_EQ(inbox->messages.at(0).attachments.at(1).data.at(0), '%');
}

TEST_P(FeatureStoreTest, ReadpstReadsBackTheMail) {
  if (!bm::test::HaveProgram("readpst")) GTEST_SKIP() << "readpst (pst-utils) is not installed";
  const RpFolder top = ReadWithReadpst(path_, dir_.path() / "readpst");
  ASSERT_TRUE(top.folders.count("Inbox"));
  const RpFolder& inbox = top.folders.at("Inbox");
  EXPECT_TRUE(inbox.folders.count("Projects"));
  EXPECT_TRUE(top.folders.count("Calendar"));
  ASSERT_GE(inbox.messages.size(), 3u);

  const RpMessage& mail = inbox.messages[0];
  const bool ansi = GetParam().format == FileFormat::kAnsi;
  EXPECT_EQ(mail.subject, Utf8(Stored(WithoutMarker(kMarkedSubject), GetParam().format)));
  // readpst writes line ends as LF, and an 8-bit body in its own code page.
  EXPECT_EQ(mail.plain_body, ansi ? "Plain caf\xe9 ??\nsecond line"
                                  : "Plain caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac\nsecond line");
  EXPECT_EQ(mail.html_body, "<html><body><p>caf\xc3\xa9</p></body></html>");
  EXPECT_EQ(mail.to,
            "Ann \xc3\x85"
            "berg");
  EXPECT_EQ(mail.cc, "Bob");
  EXPECT_EQ(mail.bcc, "Cyd");
  EXPECT_EQ(mail.attachments.at("report.pdf"), "%PDF-1.4 named");
  EXPECT_EQ(mail.attachments.at("attach2"), "%PDF-1.7 unnamed document");
  const Binary big = Pattern(3'000'000, 7);
  EXPECT_TRUE(mail.attachments.at("big.bin") == std::string(big.begin(), big.end()));
  ASSERT_EQ(mail.embedded.size(), 1u);
  EXPECT_EQ(mail.embedded[0].subject, "Inner subject");
  EXPECT_EQ(mail.embedded[0].plain_body, "Inner body");
  EXPECT_EQ(mail.embedded[0].cc, "Dee");
  EXPECT_EQ(mail.embedded[0].attachments.at("inner.txt"), "inner attachment");

  EXPECT_EQ(inbox.messages[1].subject, "RTF only");
  EXPECT_EQ(inbox.messages[1].rtf_body,
            "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Arial;}} \\f0 RTF body \\b bold\\b0\\par}");
  EXPECT_EQ(inbox.messages[2].subject, "Typed values");
  // readpst replaces the characters it cannot put in a directory name.
  bool found_special = false;
  for (const auto& [name, folder] : top.folders) {
    if (name.find("<g>h|i") != std::string::npos || name.find("d*e?f") != std::string::npos) {
      found_special = true;
      ASSERT_EQ(folder.messages.size(), 1u);
      EXPECT_EQ(folder.messages[0].subject, "In odd folder");
    }
  }
  EXPECT_TRUE(found_special);
}

// Twenty-four 3000-byte values need more than eight heap blocks, so the ninth block opens
// with the fill-level bitmap header. libpff (20180714) reads freed cache memory on property
// contexts this wide (AddressSanitizer reports it in libpff_table_read_entry_value), so readpst
// and the checker vouch for this one.
TEST(WideProperties, PropertyContextOverNineHeapBlocks) {
  if (!bm::test::HaveProgram("readpst")) GTEST_SKIP() << "readpst (pst-utils) is not installed";
  bm::test::TempDir dir;
  Store store;
  Message& message = store.top().AddFolder(u"Inbox").AddMessage();
  message.SetSubject(u"Wide").SetBody(u"Body after the wide values");
  for (std::uint16_t i = 0; i < 24; ++i) message.Set(0x6700 + i, Pattern(3000, i));
  message.AddAttachment(u"after.txt", Bytes("still readable"));
  const auto path = dir.path() / "wide-pc.pst";
  Write(store, path);
  const CheckReport report = CheckPst(path);
  EXPECT_TRUE(report.ok()) << ::testing::PrintToString(report.problems);
  const RpFolder top = ReadWithReadpst(path, dir.path() / "readpst");
  const RpMessage& read = top.folders.at("Inbox").messages.at(0);
  EXPECT_EQ(read.subject, "Wide");
  EXPECT_EQ(read.plain_body, "Body after the wide values");
  EXPECT_EQ(read.attachments.at("after.txt"), "still readable");
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndEncryptions, FeatureStoreTest,
    ::testing::Values(StoreForm{FileFormat::kUnicode, Encryption::kNone, "UnicodeNoEncryption"},
                      StoreForm{FileFormat::kUnicode, Encryption::kCompressible,
                                "UnicodeCompressible"},
                      StoreForm{FileFormat::kUnicode, Encryption::kCyclic, "UnicodeCyclic"},
                      StoreForm{FileFormat::kAnsi, Encryption::kNone, "AnsiNoEncryption"},
                      StoreForm{FileFormat::kAnsi, Encryption::kCompressible, "AnsiCompressible"},
                      StoreForm{FileFormat::kAnsi, Encryption::kCyclic, "AnsiCyclic"}),
    [](const auto& info) { return std::string(info.param.name); });

// Named properties get ids from 0x8000 on, in the order they are first used, and the map
// gives back each one's set and LID.
TEST(NameToIdMap, AssignsIdsFrom0x8000InOrderOfUse) {
  bm::test::TempDir dir;
  Store store;
  Folder& folder = store.top().AddFolder(u"Items");
  folder.AddMessage().SetNamed(kPsetidAddress, 0x8083, u"a").SetNamed(kPsetidTask, 0x8101, 2);
  folder.AddMessage().SetNamed(kPsetidTask, 0x8101, 3).SetNamed(kPsetidCommon, 0x8580, true);
  const auto path = dir.path() / "names.pst";
  Write(store, path);
  const PffStore read = ReadWithLibpff(path);
  const PffFolder* items = FindFolder(read.root.folders.at(0), u"Items");
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->messages.size(), 2u);
  const auto& first = items->messages[0].properties;
  const auto& second = items->messages[1].properties;
  ASSERT_TRUE(first.count(0x8000) && first.count(0x8001));
  ASSERT_TRUE(second.count(0x8001) && second.count(0x8002));
  EXPECT_EQ(first.at(0x8000).lid, 0x8083u);
  EXPECT_EQ(first.at(0x8001).lid, 0x8101u);
  EXPECT_EQ(second.at(0x8002).lid, 0x8580u);
  EXPECT_TRUE(std::equal(kPsetidTask.bytes.begin(), kPsetidTask.bytes.end(),
                         second.at(0x8001).guid->begin()));
}

// A store whose named properties all lie in PS_PUBLIC_STRINGS (or PS_MAPI) needs no GUID of
// its own; the name-to-id map must still be one libpff accepts.
TEST(NameToIdMap, OnlyPublicStringNamesStillReadBack) {
  for (const FileFormat format : {FileFormat::kUnicode, FileFormat::kAnsi}) {
    bm::test::TempDir dir;
    Store store;
    store.set_format(format);
    Folder& folder = store.top().AddFolder(u"Items");
    folder.AddMessage()
        .SetSubject(u"Tagged")
        .SetNamed(kPsPublicStrings, u"Keywords", u"tagged")
        .SetNamed(kPsMapi, 0x0E1D, u"normalized");
    const auto path = dir.path() / "public-only.pst";
    Write(store, path);
    const CheckReport report = CheckPst(path);
    EXPECT_TRUE(report.ok()) << ::testing::PrintToString(report.problems);
    const PffStore read = ReadWithLibpff(path);
    const PffFolder* items = FindFolder(read.root.folders.at(0), u"Items");
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->messages.size(), 1u);
    const auto& properties = items->messages[0].properties;
    ASSERT_TRUE(properties.count(0x8000));
    EXPECT_EQ(Utf16Of(properties.at(0x8000)), u"tagged");
  }
}

}  // namespace
}  // namespace pstgen::test
