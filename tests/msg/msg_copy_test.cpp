// MSG copies read back property by property and compared with the store they came from, on
// pstgen stores (the fidelity store in both formats, the demo store) and the public samples;
// read by msgconvert as an independent reader; and the failure cases.
#include "msg/msg_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "base/text.h"
#include "msg/component_runtime.h"
#include "msg/msg_reader.h"
#include "msg/name_map.h"
#include "support/test_support.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace bm::test {
namespace {

std::vector<pst::Nid> AllMessages(const pst::Store& store) {
  std::vector<pst::Nid> nids;
  std::function<void(pst::Nid, int)> walk = [&](pst::Nid folder, int depth) {
    if (depth > 64) return;
    for (pst::Nid nid : store.Messages(folder)) nids.push_back(nid);
    for (pst::Nid child : store.SubFolders(folder)) walk(child, depth + 1);
  };
  walk(store.root_folder(), 0);
  return nids;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

Bytes Utf16(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Copies every message of the store at `path` and compares each copy with the store.
void CopyAndCompareAll(const std::filesystem::path& path, std::size_t* copied = nullptr) {
  auto store = pst::Store::Open(path);
  ASSERT_TRUE(store) << store.error().message();
  TempDir out;
  std::size_t count = 0;
  for (pst::Nid nid : AllMessages(*store)) {
    auto message = store->OpenMessage(nid);
    ASSERT_TRUE(message) << message.error().message();
    const auto target = out.path() / (std::to_string(nid) + ".msg");
    std::vector<std::string> warnings;
    msg::CopyOptions options;
    options.warn = [&](const std::string& text) { warnings.push_back(text); };
    const Status written = msg::WriteMsgCopy(*store, *message, target, options);
    ASSERT_TRUE(written) << written.error().message();
    EXPECT_TRUE(warnings.empty()) << "message " << nid << ":\n" << Lines(warnings);
    const auto file = ReadMsg(target);
    ASSERT_TRUE(file) << target;
    EXPECT_TRUE(file->faults.empty()) << "message " << nid << ":\n" << Lines(file->faults);
    const auto differences = CompareWithStore(*store, *message, file->message);
    EXPECT_TRUE(differences.empty()) << "message " << nid << ":\n" << Lines(differences);
    ++count;
  }
  if (copied) *copied = count;
}

class FidelityStore : public ::testing::TestWithParam<pstgen::FileFormat> {
 protected:
  void SetUp() override {
    pstgen::Store store = pstgen::MsgFidelityStore();
    store.set_format(GetParam());
    path_ = dir_.path() / "fidelity.pst";
    pstgen::Write(store, path_);
  }
  TempDir dir_;
  std::filesystem::path path_;
};

TEST_P(FidelityStore, EveryStoredPropertyIsInTheCopy) {
  std::size_t copied = 0;
  CopyAndCompareAll(path_, &copied);
  EXPECT_EQ(copied, 4u);
}

INSTANTIATE_TEST_SUITE_P(Formats, FidelityStore,
                         ::testing::Values(pstgen::FileFormat::kUnicode, pstgen::FileFormat::kAnsi),
                         [](const auto& info) {
                           return info.param == pstgen::FileFormat::kAnsi ? "Ansi" : "Unicode";
                         });

// What the audit found lost, looked up where MSG readers look for it.
TEST(MsgCopy, KeepsWhatTheEmlPathLost) {
  TempDir dir;
  pstgen::Write(pstgen::MsgFidelityStore(), dir.path() / "f.pst");
  auto store = pst::Store::Open(dir.path() / "f.pst");
  ASSERT_TRUE(store);
  const auto nids = AllMessages(*store);
  ASSERT_EQ(nids.size(), 4u);
  auto message = store->OpenMessage(nids[0]);
  ASSERT_TRUE(message);
  ASSERT_TRUE(msg::WriteMsgCopy(*store, *message, dir.path() / "m.msg"));
  const auto file = ReadMsg(dir.path() / "m.msg");
  ASSERT_TRUE(file);
  const PropertyMap& p = file->message.properties;
  const auto value = [&](std::uint16_t id, std::uint16_t type) -> std::vector<Bytes> {
    const auto found = p.find(PropKey{id, type});
    return found == p.end() ? std::vector<Bytes>{} : found->second;
  };
  const auto ticks = [](std::uint64_t seconds, std::uint64_t extra) {
    const std::uint64_t t = (seconds + 11644473600ull) * 10000000ull + extra;
    Bytes out;
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(t >> (8 * i)));
    return std::vector<Bytes>{out};
  };
  EXPECT_EQ(value(0x0039, 0x0040), ticks(1704103200, 1234567));             // sent, to the tick
  EXPECT_EQ(value(0x0E06, 0x0040), ticks(1704103260, 7654321));             // received
  EXPECT_EQ(value(0x0E07, 0x0003), (std::vector<Bytes>{{0x08, 0, 0, 0}}));  // unsent, unread
  EXPECT_EQ(value(0x0017, 0x0003), (std::vector<Bytes>{{2, 0, 0, 0}}));
  EXPECT_EQ(value(0x0036, 0x0003), (std::vector<Bytes>{{3, 0, 0, 0}}));
  EXPECT_EQ(value(0x0026, 0x0003), (std::vector<Bytes>{{1, 0, 0, 0}}));
  EXPECT_EQ(value(0x5D01, 0x001F), std::vector<Bytes>{Utf16(u"ann.archer@example.com")});
  EXPECT_EQ(value(0x1042, 0x001F), std::vector<Bytes>{Utf16(u"<parent@example.com>")});
  EXPECT_EQ(value(0x1000, 0x001F),
            std::vector<Bytes>{Utf16(u"The plain body, which differs from the others.\r\n")});
  EXPECT_FALSE(value(0x1009, 0x0102).empty());  // compressed RTF, as stored
  EXPECT_EQ(value(0x340D, 0x0003), (std::vector<Bytes>{{0, 0, 4, 0}}));  // STORE_UNICODE_OK

  // Categories: PS_PUBLIC_STRINGS "Keywords", multi-valued, found by name.
  const pst::Guid public_strings = msg::kPsPublicStrings;
  const PropKey keywords{pst::PropertyName{public_strings, std::u16string(u"Keywords")}, 0x101F};
  ASSERT_TRUE(p.count(keywords));
  EXPECT_EQ(p.at(keywords), (std::vector<Bytes>{Utf16(u"Red category"), Utf16(u"Project X")}));
  const auto& nameid = file->root.storages.at("__nameid_version1.0").streams;
  const std::string& guids = nameid.at("__substg1.0_00020102");
  EXPECT_EQ(guids.find(std::string(public_strings.bytes.begin(), public_strings.bytes.end())),
            std::string::npos);  // index 2, never in the GUID stream
  // A name used only inside the embedded message is in the top-level map.
  EXPECT_NE(std::find_if(file->names.begin(), file->names.end(),
                         [](const pst::PropertyName& name) {
                           return name.id == std::variant<std::uint32_t, std::u16string>(
                                                 std::u16string(u"x-embedded-field"));
                         }),
            file->names.end());

  // Recipients keep EX addresses and SMTP addresses.
  ASSERT_EQ(file->message.recipients.size(), 3u);
  const PropertyMap& bob = file->message.recipients[0].properties;
  EXPECT_EQ(bob.at(PropKey{std::uint16_t{0x3002}, 0x001F}), std::vector<Bytes>{Utf16(u"EX")});
  EXPECT_EQ(bob.at(PropKey{std::uint16_t{0x39FE}, 0x001F}),
            std::vector<Bytes>{Utf16(u"bob.baker@example.com")});

  // Attachments: inline image with content id and hidden flag, embedded messages two deep,
  // the OLE object as a storage.
  ASSERT_EQ(file->message.attachments.size(), 4u);
  const PropertyMap& image = file->message.attachments[0].properties;
  EXPECT_EQ(image.at(PropKey{std::uint16_t{0x3712}, 0x001F}),
            std::vector<Bytes>{Utf16(u"chart@fidelity")});
  EXPECT_EQ(image.at(PropKey{std::uint16_t{0x7FFE}, 0x000B}), std::vector<Bytes>{{1}});
  EXPECT_EQ(image.at(PropKey{std::uint16_t{0x3701}, 0x0102})[0].size(), 5000u);
  const auto& embedded = file->message.attachments[2].embedded;
  ASSERT_TRUE(embedded);
  ASSERT_EQ(embedded->attachments.size(), 2u);
  ASSERT_TRUE(embedded->attachments[1].embedded);
  EXPECT_EQ(
      embedded->attachments[1].embedded->properties.at(PropKey{std::uint16_t{0x0037}, 0x001F}),
      std::vector<Bytes>{Utf16(u"Inner note")});
  const auto& ole = file->message.attachments[3].ole;
  ASSERT_TRUE(ole);
  EXPECT_EQ(ole->streams.at("CONTENTS").substr(0, 4), "ABCD");
  EXPECT_EQ(ole->storages.at("Sub").streams.at("Inner").size(), 4096u);
  EXPECT_EQ(ole->class_id[0], 0x0C);
}

TEST(MsgCopy, DemoStoreMessagesAreWholeCopies) {
  TempDir dir;
  pstgen::Write(pstgen::DemoStore(), dir.path() / "demo.pst");
  std::size_t copied = 0;
  CopyAndCompareAll(dir.path() / "demo.pst", &copied);
  EXPECT_GT(copied, 10u);
}

TEST(MsgCopy, SampleStoreMessagesAreWholeCopies) {
  for (const char* name : {"attachAndInline.pst", "dist-list.pst", "outlook.pst"}) {
    BM_SAMPLE_OR_SKIP(path, name);
    SCOPED_TRACE(name);
    CopyAndCompareAll(path);
  }
}

// msgconvert, an independent MSG reader, reads the copy of every message of the store at
// `pst`: the subject, the start of the plain body and the by-value attachments' names.
void ReadEachCopyWithMsgconvert(const std::filesystem::path& pst) {
  auto store = pst::Store::Open(pst);
  ASSERT_TRUE(store) << store.error().message();
  TempDir dir;
  for (pst::Nid nid : AllMessages(*store)) {
    SCOPED_TRACE("message " + std::to_string(nid));
    auto message = store->OpenMessage(nid);
    ASSERT_TRUE(message);
    const auto msg_path = dir.path() / (std::to_string(nid) + ".msg");
    ASSERT_TRUE(msg::WriteMsgCopy(*store, *message, msg_path));
    const auto eml = dir.path() / (std::to_string(nid) + ".eml");
    const auto run = test::Run("TZ=UTC msgconvert --outfile " + Quote(eml.string()) + " " +
                               Quote(msg_path.string()) + " 2>&1");
    ASSERT_EQ(run.exit_code, 0) << run.output;
    auto mime = ParseMessageFile(eml);
    ASSERT_TRUE(mime);
    const auto text = [&](std::uint16_t id) {
      const auto value = message->properties().String(id);
      return value && *value ? ToUtf8(**value) : std::string();
    };
    const char* subject = g_mime_message_get_subject(mime.get());
    EXPECT_EQ(subject ? subject : "", text(0x0037));
    // msgconvert turns the signed content into the message itself: only the subject is its own.
    if (text(0x001A).starts_with("IPM.Note.SMIME")) continue;
    // msgconvert encodes a Unicode body's non-ASCII text twice, so only ASCII lines compare.
    const std::string body = text(0x1000);
    const std::string first_line = body.substr(0, body.find('\r'));
    if (!first_line.empty() && std::all_of(first_line.begin(), first_line.end(),
                                           [](char c) { return c > 0 && c < 0x7F; })) {
      const auto part = FindPartContent(g_mime_message_get_mime_part(mime.get()), "text", "plain");
      ASSERT_TRUE(part) << ReadFile(eml);
      EXPECT_NE(part->find(first_line), std::string::npos) << *part;
    }
    std::vector<std::string> names;
    for (const auto& found : FindAttachments(g_mime_message_get_mime_part(mime.get())))
      names.push_back(found.name);
    for (std::size_t i = 0; i < message->attachment_count(); ++i) {
      auto attachment = message->OpenAttachment(i);
      ASSERT_TRUE(attachment);
      const auto file_name = attachment->properties().String(0x3707);
      if (attachment->method() != 1 || !file_name || !*file_name) continue;
      const std::string name = ToUtf8(**file_name);
      EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
  }
}

TEST(MsgCopy, MsgconvertReadsTheCopies) {
  if (!HaveProgram("msgconvert")) GTEST_SKIP() << "msgconvert is not installed";
  ASSERT_EQ(StartMimeRuntime(), S_OK);
  TempDir dir;
  // msgconvert fails on an OLE object whose sub-storages hold streams (it re-saves the object
  // and chokes on the streams' zero times), so this store's object has none.
  pstgen::Write(pstgen::MsgFidelityStore(false), dir.path() / "fidelity.pst");
  pstgen::Write(pstgen::DemoStore(), dir.path() / "demo.pst");
  for (const char* name : {"fidelity.pst", "demo.pst"}) {
    SCOPED_TRACE(name);
    ReadEachCopyWithMsgconvert(dir.path() / name);
  }
}

TEST(MsgCopy, MsgconvertReadsTheSampleCopies) {
  if (!HaveProgram("msgconvert")) GTEST_SKIP() << "msgconvert is not installed";
  ASSERT_EQ(StartMimeRuntime(), S_OK);
  for (const char* name : {"attachAndInline.pst", "dist-list.pst", "outlook.pst"}) {
    BM_SAMPLE_OR_SKIP(path, name);
    SCOPED_TRACE(name);
    ReadEachCopyWithMsgconvert(path);
  }
}

TEST(MsgCopy, EmbeddingDeeperThanTheLimitIsWarnedAndBounded) {
  TempDir dir;
  // A chain 50 deep, the depth that once lost levels 9 to 50 without a word.
  pstgen::Store store;
  pstgen::Message* level = &store.top().AddFolder(u"Inbox").AddMessage("IPM.Note");
  level->SetSubject(u"level 0");
  for (int i = 1; i <= 50; ++i) {
    level = &level->AddEmbeddedMessage(u"level", "IPM.Note");
    level->SetSubject(u"level " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
  }
  pstgen::Write(store, dir.path() / "deep.pst");
  auto opened = pst::Store::Open(dir.path() / "deep.pst");
  ASSERT_TRUE(opened);
  auto message = opened->OpenMessage(AllMessages(*opened).at(0));
  ASSERT_TRUE(message);
  auto embedding_depth = [](const MsgObject& top) {
    int depth = 0;
    const MsgObject* object = &top;
    while (!object->attachments.empty() && object->attachments[0].embedded) {
      object = object->attachments[0].embedded.get();
      ++depth;
    }
    return std::pair{depth, object};
  };

  // The default limit takes every level.
  std::vector<std::string> warnings;
  msg::CopyOptions options;
  options.warn = [&](const std::string& text) { warnings.push_back(text); };
  const Status whole_written =
      msg::WriteMsgCopy(*opened, *message, dir.path() / "whole.msg", options);
  ASSERT_TRUE(whole_written) << whole_written.error().message();
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  const auto whole = ReadMsg(dir.path() / "whole.msg");
  ASSERT_TRUE(whole);
  EXPECT_EQ(embedding_depth(whole->message).first, 50);

  // A lower limit keeps what lies below it as an attachment and says so once.
  options.max_embedding_depth = 8;
  ASSERT_TRUE(msg::WriteMsgCopy(*opened, *message, dir.path() / "deep.msg", options));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("deeper than 8"), std::string::npos) << warnings[0];
  const auto file = ReadMsg(dir.path() / "deep.msg");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->faults.empty()) << Lines(file->faults);
  const auto [depth, object] = embedding_depth(file->message);
  EXPECT_EQ(depth, 8);
  ASSERT_EQ(object->attachments.size(), 1u);  // the ninth level stays an attachment
  EXPECT_FALSE(object->attachments[0].properties.empty());
}

TEST(MsgCopy, MoreRecipientsThanTheFormatAllowsAreKeptWithAWarning) {
  TempDir dir;
  pstgen::Store store;
  pstgen::Message& mail = store.top().AddFolder(u"Inbox").AddMessage("IPM.Note");
  for (int i = 0; i < 2049; ++i) {
    mail.AddRecipient(u"R", u"r" + std::u16string(1, u'a' + i % 26) + u"@example.com",
                      pstgen::RecipientType::kTo);
  }
  pstgen::Write(store, dir.path() / "many.pst");
  auto opened = pst::Store::Open(dir.path() / "many.pst");
  ASSERT_TRUE(opened);
  auto message = opened->OpenMessage(AllMessages(*opened).at(0));
  ASSERT_TRUE(message);
  std::vector<std::string> warnings;
  msg::CopyOptions options;
  options.warn = [&](const std::string& text) { warnings.push_back(text); };
  ASSERT_TRUE(msg::WriteMsgCopy(*opened, *message, dir.path() / "many.msg", options));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("more than 2048"), std::string::npos) << warnings[0];
  const auto file = ReadMsg(dir.path() / "many.msg");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->message.recipients.size(), 2049u);
}

// A compound file whose storage "Sub" is renamed "contents": a sibling of "CONTENTS" that
// readers cannot tell apart from it.
pstgen::Binary CompoundFileWithClashingNames() {
  pstgen::Binary file = pstgen::MinimalCompoundFile(true);
  const std::size_t entry = 2 * 512 + 2 * 128;  // the directory's third entry
  const std::u16string name = u"contents";
  std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(entry), 64, 0);
  for (std::size_t i = 0; i < name.size(); ++i)
    file[entry + 2 * i] = static_cast<std::uint8_t>(name[i]);
  file[entry + 64] = static_cast<std::uint8_t>((name.size() + 1) * 2);
  return file;
}

// An OLE object that cannot be copied entry for entry (no compound file; entries whose names
// clash) is kept as its bytes, never lost with its message.
TEST(MsgCopy, AnOleObjectThatCannotBeCopiedAsAStorageIsKeptAsData) {
  const std::vector<std::pair<pstgen::Binary, std::string>> cases = {
      {pstgen::Binary(9000, 0x42), "not a compound file"},
      {CompoundFileWithClashingNames(), "two entries are named"}};
  for (const auto& [object, warning] : cases) {
    SCOPED_TRACE(warning);
    TempDir dir;
    pstgen::Store built;
    built.top().AddFolder(u"Inbox").AddMessage("IPM.Note").AddOleAttachment(u"Object", object);
    pstgen::Write(built, dir.path() / "ole.pst");
    auto store = pst::Store::Open(dir.path() / "ole.pst");
    ASSERT_TRUE(store);
    auto message = store->OpenMessage(AllMessages(*store).at(0));
    ASSERT_TRUE(message);
    std::vector<std::string> warnings;
    msg::CopyOptions options;
    options.warn = [&](const std::string& text) { warnings.push_back(text); };
    const Status written = msg::WriteMsgCopy(*store, *message, dir.path() / "ole.msg", options);
    ASSERT_TRUE(written) << written.error().message();
    ASSERT_EQ(warnings.size(), 1u) << Lines(warnings);
    EXPECT_NE(warnings[0].find(warning), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("kept as binary data"), std::string::npos) << warnings[0];
    const auto file = ReadMsg(dir.path() / "ole.msg");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->faults.empty()) << Lines(file->faults);
    ASSERT_EQ(file->message.attachments.size(), 1u);
    EXPECT_EQ(file->message.attachments[0].properties.at(PropKey{std::uint16_t{0x3701}, 0x0102}),
              std::vector<Bytes>{object});
  }
}

// The trailer of the data block that starts at `data` (blocks are 64-byte aligned, their data
// first) gets a block id that does not match: the reader refuses that block.
void DamageBlockAt(std::string& bytes, std::size_t data, std::size_t data_size) {
  const std::size_t trailer = data + ((data_size + 16 + 63) / 64) * 64 - 16;
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(trailer + 8), 8, '\x77');
}

TEST(MsgCopy, WriteFailuresLeaveNoFileAndKeepWhatIsThere) {
  TempDir dir;
  pstgen::Store built;
  built.top().AddFolder(u"Inbox").AddMessage("IPM.Note").SetSubject(u"Mail");
  const auto pst_path = dir.path() / "store.pst";
  pstgen::Write(built, pst_path);
  const auto out = dir.path() / "out";
  std::filesystem::create_directory(out);
  auto store = pst::Store::Open(pst_path);
  ASSERT_TRUE(store);
  auto message = store->OpenMessage(AllMessages(*store).at(0));
  ASSERT_TRUE(message);
  // An existing file is never replaced.
  std::ofstream(out / "taken.msg") << "keep";
  const Status taken = msg::WriteMsgCopy(*store, *message, out / "taken.msg");
  ASSERT_FALSE(taken);
  EXPECT_NE(taken.error().message().find("already exists"), std::string::npos);
  EXPECT_EQ(ReadFile(out / "taken.msg"), "keep");
  // A missing directory is an error with its cause.
  const Status nowhere = msg::WriteMsgCopy(*store, *message, out / "missing" / "m.msg");
  ASSERT_FALSE(nowhere);
  EXPECT_NE(nowhere.error().message().find("No such file"), std::string::npos);
  EXPECT_EQ(Entries(out), std::vector<std::string>{"taken.msg"});
}

// A part the store cannot give costs that part only: the MSG file still holds every other
// attachment, the damaged attachment keeps its name and what was readable of its data, and
// each loss is named.
TEST(MsgCopy, DamagedAttachmentsAreNamedAndTheRestIsCopied) {
  TempDir dir;
  pstgen::Store built;
  pstgen::Message& mail = built.top().AddFolder(u"Inbox").AddMessage("IPM.Note");
  mail.SetSubject(u"Damaged").AddRecipient(u"Ann", u"ann@example.com", pstgen::RecipientType::kTo);
  const pstgen::Binary lost(6000, 0x5A);
  const pstgen::Binary whole(3000, 0x33);
  pstgen::Binary cut(20000);
  for (std::size_t i = 0; i < cut.size(); ++i) cut[i] = static_cast<std::uint8_t>(i % 251);
  mail.AddAttachment(u"lost.bin", lost);
  mail.AddAttachment(u"whole.bin", whole);
  mail.AddAttachment(u"cut.bin", cut);
  const auto pst_path = dir.path() / "store.pst";
  pstgen::Write(built, pst_path);

  // The first attachment's only block and the second of the three blocks of the last.
  std::string bytes = ReadFile(pst_path);
  const std::size_t lost_at = bytes.find(std::string(lost.begin(), lost.end()));
  ASSERT_NE(lost_at, std::string::npos);
  DamageBlockAt(bytes, lost_at, lost.size());
  constexpr std::size_t kBlockData = 8176;
  const std::string second_block(cut.begin() + kBlockData, cut.begin() + 2 * kBlockData);
  const std::size_t second_at = bytes.find(second_block);
  ASSERT_NE(second_at, std::string::npos);
  DamageBlockAt(bytes, second_at, kBlockData);
  std::ofstream(pst_path, std::ios::binary | std::ios::trunc) << bytes;

  auto store = pst::Store::Open(pst_path);
  ASSERT_TRUE(store) << store.error().message();
  auto message = store->OpenMessage(AllMessages(*store).at(0));
  ASSERT_TRUE(message);
  std::vector<std::string> warnings;
  msg::CopyOptions options;
  options.warn = [&](const std::string& text) { warnings.push_back(text); };
  const Status written = msg::WriteMsgCopy(*store, *message, dir.path() / "damaged.msg", options);
  ASSERT_TRUE(written) << written.error().message();

  ASSERT_EQ(warnings.size(), 2u) << Lines(warnings);
  EXPECT_NE(warnings[0].find("attachment 0"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find("attachment 2"), std::string::npos) << warnings[1];
  EXPECT_NE(warnings[1].find("8176 of its 20000 bytes"), std::string::npos) << warnings[1];

  const auto file = ReadMsg(dir.path() / "damaged.msg");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->faults.empty()) << Lines(file->faults);
  EXPECT_EQ(file->message.recipients.size(), 1u);
  ASSERT_EQ(file->message.attachments.size(), 3u);
  const PropKey name{std::uint16_t{0x3707}, 0x001F};
  const PropKey data{std::uint16_t{0x3701}, 0x0102};
  const auto& attachments = file->message.attachments;
  EXPECT_EQ(attachments[0].properties.at(name), std::vector<Bytes>{Utf16(u"lost.bin")});
  EXPECT_EQ(attachments[0].properties.at(data), std::vector<Bytes>{Bytes{}});
  EXPECT_EQ(attachments[1].properties.at(data), std::vector<Bytes>{whole});
  EXPECT_EQ(attachments[2].properties.at(data),
            std::vector<Bytes>{Bytes(cut.begin(), cut.begin() + kBlockData)});
}

// The hash streams let readers find a name without reading the whole entry stream; an entry
// in the wrong stream is a name that readers cannot find.
TEST(MsgNameMap, EntriesAndHashStreamsFollowTheLayout) {
  msg::NameMap map;
  const pst::Guid common{{0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_EQ(map.IdFor(pst::PropertyName{common, std::uint32_t{0x8580}}), 0x8000);
  EXPECT_EQ(map.IdFor(pst::PropertyName{msg::kPsPublicStrings, std::u16string(u"Keywords")}),
            0x8001);
  EXPECT_EQ(map.IdFor(pst::PropertyName{msg::kPsMapi, std::uint32_t{0x0037}}), 0x8002);
  EXPECT_EQ(map.IdFor(pst::PropertyName{common, std::uint32_t{0x8580}}), 0x8000);
  const msg::NameIdStreams streams = map.Streams();
  const auto bytes = [&](const char* name) {
    const auto& stream = streams.at(name);
    return std::string(stream.begin(), stream.end());
  };
  EXPECT_EQ(bytes("__substg1.0_00020102"), std::string(common.bytes.begin(), common.bytes.end()));
  // LID 0x8580, GUID index 3; "Keywords" at string offset 0, index 2, string; PS_MAPI index 1.
  EXPECT_EQ(bytes("__substg1.0_00030102"), std::string("\x80\x85\0\0\x06\0\0\0"
                                                       "\0\0\0\0\x05\0\x01\0"
                                                       "\x37\0\0\0\x02\0\x02\0",
                                                       24));
  EXPECT_EQ(U32At(bytes("__substg1.0_00040102"), 0), 16u);
  EXPECT_EQ(bytes("__substg1.0_00040102").size(), 20u);
  // (0x8580 ^ 6) % 31 = 20; (0x37 ^ 2) % 31 = 22.
  EXPECT_EQ(bytes("__substg1.0_10140102"), std::string("\x80\x85\0\0\x06\0\0\0", 8));
  EXPECT_EQ(bytes("__substg1.0_10160102"), std::string("\x37\0\0\0\x02\0\x02\0", 8));
}

}  // namespace
}  // namespace bm::test
