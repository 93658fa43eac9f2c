// Large stores, deep B-trees and data trees, the structure checker finding planted faults,
// determinism and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "base/compressed_rtf.h"
#include "base/text.h"
#include "pstgen/pff_reader.h"
#include "pstgen/readpst_reader.h"
#include "support/test_support.h"
#include "tools/pstgen/checker.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace pstgen::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLargeCount = 3000;
constexpr std::size_t kXxBlockSize = 9'000'000;  // past the 1021 blocks one XBLOCK can list

std::u16string Number(std::size_t n) {
  const std::string text = std::to_string(n);
  return std::u16string(text.begin(), text.end());
}

std::u16string LongBody(std::size_t index) {
  std::u16string body;
  while (body.size() < 20'000)
    body += u"Line " + Number(index) + u" of a long body \u00e9\u4e2d.\r\n";
  return body;
}

Binary Pattern(std::size_t size, unsigned seed) {
  Binary data(size);
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 9));
  return data;
}

Store LargeStore() {
  Store store(u"Large");
  Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessages(kLargeCount, [](std::size_t i) {
    Message message("IPM.Note");
    message.SetSubject(u"Message " + Number(i));
    message.SetBody(i % 50 == 0 ? LongBody(i) : u"Short body " + Number(i));
    message.AddRecipient(u"Reader " + Number(i % 7), u"reader@example.com", RecipientType::kTo);
    return message;
  });
  Folder& archive = store.top().AddFolder(u"Archive", u"IPF.Note");
  archive.AddMessage().SetSubject(u"Huge").AddAttachment(u"huge.bin", Pattern(kXxBlockSize, 5));
  Folder* deep = &archive;
  for (int level = 1; level <= 30; ++level)
    deep = &deep->AddFolder(u"L" + Number(level), u"IPF.Note");
  deep->AddMessage().SetSubject(u"Thirty down");
  return store;
}

const PffFolder& Child(const PffFolder& folder, std::u16string_view name) {
  for (const auto& child : folder.folders) {
    if (child.name == name) return child;
  }
  throw std::runtime_error("folder not found");
}

TEST(LargeStore, DeepTreesReadBackWithBothReaders) {
  bm::test::TempDir dir;
  const fs::path path = dir.path() / "large.pst";
  Write(LargeStore(), path);

  const CheckReport report = CheckPst(path);
  EXPECT_TRUE(report.ok()) << ::testing::PrintToString(report.problems);
  EXPECT_EQ(report.leaked_bytes, 0u);
  EXPECT_GE(report.nbt_levels, 1);  // index pages above the leaves in both B-trees
  EXPECT_GE(report.bbt_levels, 1);
  EXPECT_EQ(report.messages, kLargeCount + 2);

  const PffStore read = ReadWithLibpff(path, 120);
  const PffFolder& top = read.root.folders.at(0);
  const PffFolder& inbox = Child(top, u"Inbox");
  ASSERT_EQ(inbox.messages.size(), kLargeCount);
  for (std::size_t i = 0; i < kLargeCount; ++i) {
    ASSERT_EQ(inbox.messages[i].subject, u"Message " + Number(i)) << i;
  }
  for (std::size_t i = 0; i < 120; ++i) {
    const std::u16string body = i % 50 == 0 ? LongBody(i) : u"Short body " + Number(i);
    ASSERT_EQ(inbox.messages[i].plain_body, bm::ToUtf8(body)) << i;
    ASSERT_EQ(inbox.messages[i].recipients.size(), 1u);
  }
  const PffFolder& archive = Child(top, u"Archive");
  ASSERT_EQ(archive.messages.size(), 1u);
  ASSERT_EQ(archive.messages[0].attachments.size(), 1u);
  EXPECT_TRUE(archive.messages[0].attachments[0].data == Pattern(kXxBlockSize, 5));
  const PffFolder* deep = &archive;
  for (int level = 1; level <= 30; ++level) deep = &Child(*deep, u"L" + Number(level));
  ASSERT_EQ(deep->messages.size(), 1u);
  EXPECT_EQ(deep->messages[0].subject, u"Thirty down");

  if (!bm::test::HaveProgram("readpst")) GTEST_SKIP() << "readpst (pst-utils) is not installed";
  const RpFolder rp = ReadWithReadpst(path, dir.path() / "readpst");
  ASSERT_EQ(rp.folders.at("Inbox").messages.size(), kLargeCount);
  // readpst writes line ends as LF.
  std::u16string long_body = LongBody(50);
  bm::ReplaceAll(long_body, u"\r\n", u"\n");
  long_body.pop_back();
  EXPECT_EQ(rp.folders.at("Inbox").messages[50].plain_body, bm::ToUtf8(long_body));
  const RpFolder& rp_archive = rp.folders.at("Archive");
  const Binary huge = Pattern(kXxBlockSize, 5);
  EXPECT_TRUE(rp_archive.messages.at(0).attachments.at("huge.bin") ==
              std::string(huge.begin(), huge.end()));
  const RpFolder* rp_deep = &rp_archive;
  for (int level = 1; level <= 30; ++level)
    rp_deep = &rp_deep->folders.at(bm::ToUtf8(u"L" + Number(level)));
  ASSERT_EQ(rp_deep->messages.size(), 1u);
  EXPECT_EQ(rp_deep->messages[0].subject, "Thirty down");
}

// More than 340 subnodes puts an SIBLOCK over the SLBLOCKs, and hundreds of rows put the
// attachment and recipient tables' row matrices in subnodes of their own. readpst cannot
// follow SIBLOCKs (libpst only accepts leaf subnode blocks), so libpff alone reads this one.
TEST(LargeStore, MessageWithHundredsOfAttachmentsAndRecipients) {
  bm::test::TempDir dir;
  Store store;
  Message& message = store.top().AddFolder(u"Inbox").AddMessage();
  for (std::size_t i = 0; i < 400; ++i)
    message.AddAttachment(u"file" + Number(i) + u".txt", Pattern(i + 1, 1));
  for (std::size_t i = 0; i < 500; ++i) {
    message.AddRecipient(u"Person " + Number(i), u"p" + Number(i) + u"@example.com",
                         static_cast<RecipientType>(1 + i % 3));
  }
  const fs::path path = dir.path() / "wide-message.pst";
  Write(store, path);
  const CheckReport report = CheckPst(path);
  EXPECT_TRUE(report.ok()) << ::testing::PrintToString(report.problems);

  const PffStore read = ReadWithLibpff(path);
  const PffMessage& back = Child(read.root.folders.at(0), u"Inbox").messages.at(0);
  ASSERT_EQ(back.attachments.size(), 400u);
  for (std::size_t i = 0; i < 400; ++i) {
    EXPECT_EQ(back.attachments[i].long_filename, u"file" + Number(i) + u".txt");
    EXPECT_TRUE(back.attachments[i].data == Pattern(i + 1, 1)) << i;
  }
  ASSERT_EQ(back.recipients.size(), 500u);
  for (std::size_t i = 0; i < 500; ++i) {
    EXPECT_EQ(back.recipients[i].name, u"Person " + Number(i));
    EXPECT_EQ(back.recipients[i].type, static_cast<std::int32_t>(1 + i % 3));
  }
}

// ---- The checker finds faults planted in a sound file ----

class PlantedFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Store store(u"Faults");
    Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
    inbox.AddMessage().SetSubject(u"First").AddAttachment(u"a.bin", Pattern(20000, 9));
    inbox.AddMessage().SetSubject(u"Second");
    store.top().AddFolder(u"Other", u"IPF.Note");
    path_ = dir_.path() / "faults.pst";
    Write(store, path_);
    ASSERT_TRUE(CheckPst(path_).ok());
    std::ifstream in(path_, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }

  void Save() {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  }

  std::size_t Find(const std::string& needle, std::size_t alignment = 1, std::size_t phase = 0) {
    for (std::size_t at = bytes_.find(needle); at != std::string::npos;
         at = bytes_.find(needle, at + 1)) {
      if (at % alignment == phase) return at;
    }
    ADD_FAILURE() << "pattern not found";
    return 0;
  }

  // Rewrites the CRC of the 512-byte page holding `offset`, so only the planted fault remains.
  void ResealPage(std::size_t offset) {
    const std::size_t page = offset / 512 * 512;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes_.data() + page);
    const std::uint32_t crc = bm::OutlookCrc32(std::span(data, 496));
    for (int i = 0; i < 4; ++i) bytes_[page + 500 + i] = static_cast<char>(crc >> (8 * i));
  }

  std::string Problems() {
    Save();
    std::string all;
    for (const auto& problem : CheckPst(path_).problems) all += problem + "\n";
    return all;
  }

  bm::test::TempDir dir_;
  fs::path path_;
  std::string bytes_;
};

TEST_F(PlantedFaultTest, DamagedBlockDataFailsItsCrc) {
  const Binary pattern = Pattern(20000, 9);
  bytes_[Find(std::string(pattern.begin() + 100, pattern.begin() + 140)) + 5] ^= 0x40;
  EXPECT_NE(Problems().find("wrong CRC"), std::string::npos);
}

TEST_F(PlantedFaultTest, DamagedHeaderFailsItsCrcs) {
  bytes_[60] ^= 0x01;  // inside the next-node-id counters
  const std::string problems = Problems();
  EXPECT_NE(problems.find("header partial CRC wrong"), std::string::npos);
  EXPECT_NE(problems.find("header full CRC wrong"), std::string::npos);
}

TEST_F(PlantedFaultTest, MessageMovedInTheNodeTreeDisagreesWithTheTables) {
  // The first message is node 0x200004; re-parent its node B-tree entry to another folder.
  const std::string nid("\x04\x00\x20\x00\x00\x00\x00\x00", 8);
  const std::size_t entry = Find(nid, 32, 0);
  const std::string other_folder("\x22\x80\x00\x00", 4);  // the folder made before "Inbox"
  bytes_.replace(entry + 24, 4, other_folder);
  ResealPage(entry);
  const std::string problems = Problems();
  EXPECT_NE(problems.find("contents table: rows"), std::string::npos) << problems;
  EXPECT_NE(problems.find("PidTagContentCount"), std::string::npos) << problems;
}

TEST_F(PlantedFaultTest, AllocationMapThatMissesABlockIsReported) {
  bytes_[0x4400 + 20] = 0;  // clear some allocated slots in the first AMap
  ResealPage(0x4400);
  EXPECT_NE(Problems().find("AMap at 0x4400 leaves blocks or pages in use unallocated"),
            std::string::npos);
}

TEST_F(PlantedFaultTest, SpaceMarkedButUnusedCountsAsLeaked) {
  bytes_[0x4400 + 495] = static_cast<char>(0xFF);  // the last slots of the first AMap's range
  ResealPage(0x4400);
  Save();
  const CheckReport report = CheckPst(path_);
  // Not a fault in itself; only the header's free-space total no longer matches.
  ASSERT_EQ(report.problems.size(), 1u) << ::testing::PrintToString(report.problems);
  EXPECT_NE(report.problems[0].find("cbAMapFree"), std::string::npos);
  EXPECT_EQ(report.leaked_bytes, 8u * 64);
}

// Outlook's own files pass, which shows the checker holds files to the format, not to the
// writer's habits.
TEST(Checker, AcceptsStoresOutlookWrote) {
  BM_SAMPLE_OR_SKIP(sample, "outlook.pst");
  for (const char* name : {"outlook.pst", "dist-list.pst", "attachAndInline.pst"}) {
    const fs::path path = bm::test::SamplePst(name);
    if (path.empty()) continue;
    const CheckReport report = CheckPst(path);
    EXPECT_TRUE(report.ok()) << name << ::testing::PrintToString(report.problems);
    EXPECT_GT(report.messages, 0u) << name;
  }
}

TEST_F(PlantedFaultTest, DamagedDensityListIsReported) {
  bytes_[0x4200 + 8] = 1;  // an entry the trailer's CRC does not cover
  EXPECT_NE(Problems().find("density list page trailer wrong"), std::string::npos);
}

// The checker reads files nobody vouches for: random damage must give reports, never a crash.
TEST_F(PlantedFaultTest, RandomDamageNeverCrashesTheChecker) {
  const std::string sound = bytes_;
  std::uint64_t state = 12345;
  const auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>(state >> 33);
  };
  // Aim at the part of the file in use; the free tail of the last AMap range may hold anything.
  const std::size_t used = sound.find_last_not_of('\0') + 1;
  std::size_t reported = 0;
  for (int round = 0; round < 60; ++round) {
    bytes_ = sound;
    for (int flips = 0; flips < 1 + round % 8; ++flips) {
      bytes_[next() % used] ^= static_cast<char>(1 + next() % 255);
    }
    if (round % 10 == 9) bytes_.resize(next() % bytes_.size());
    Save();
    reported += CheckPst(path_).ok() ? 0 : 1;
  }
  EXPECT_GT(reported, 40u);
}

TEST_F(PlantedFaultTest, TruncatedFileIsReported) {
  bytes_.resize(bytes_.size() - 4096);
  EXPECT_NE(Problems().find("ibFileEof"), std::string::npos);
}

TEST_F(PlantedFaultTest, WrongBackPointerInABlockTrailerIsReported) {
  // The last 8 bytes of a block trailer repeat its BID; point one at another block.
  const Binary pattern = Pattern(20000, 9);
  const std::size_t data = Find(std::string(pattern.begin(), pattern.begin() + 64));
  const std::size_t trailer = (data + 8176 + 16 + 63) / 64 * 64 - 16;
  bytes_[trailer + 8] ^= 0x04;
  EXPECT_NE(Problems().find("trailer BID differs"), std::string::npos);
}

// A page that refers back to itself (or an ancestor) is reported once, not walked forever.
TEST_F(PlantedFaultTest, BtreeCycleIsReportedNotFollowed) {
  const LayoutMap map = MapPst(path_);
  ASSERT_NE(map.layout, nullptr);
  const auto root = std::find_if(map.pages.begin(), map.pages.end(), [](const auto& page) {
    return page.tree == "nbt" && !page.parent && page.level > 0;
  });
  ASSERT_NE(root, map.pages.end()) << "the node B-tree has one level only";
  // The second entry of the root: key, then BREF (bid, ib) of its child.
  const std::size_t entry = root->ib + map.layout->bt_branch_entry_size;
  for (int i = 0; i < 8; ++i) {
    bytes_[entry + 8 + i] = static_cast<char>(root->bid >> (8 * i));
    bytes_[entry + 16 + i] = static_cast<char>(root->ib >> (8 * i));
  }
  ResealPage(entry);
  EXPECT_NE(Problems().find("B-tree cycle"), std::string::npos);
}

// ANSI stores and cyclic encoding: the checker accepts what pstgen writes, its map points at
// the real structures, and damage to a block or a page is caught.
class FormatFaultTest : public ::testing::TestWithParam<std::pair<FileFormat, Encryption>> {};

TEST_P(FormatFaultTest, MapLocatesStructuresAndDamageIsCaught) {
  bm::test::TempDir dir;
  const fs::path path = dir.path() / "store.pst";
  Store store(u"Formats", GetParam().second);
  store.set_format(GetParam().first);
  Folder& inbox = store.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage().SetSubject(u"Caf\u00e9").AddAttachment(u"a.bin", Pattern(20000, 9));
  inbox.AddMessages(40, [](std::size_t i) {
    Message message;
    message.SetSubject(u"Item " + Number(i)).SetBody(u"Body");
    return message;
  });
  Write(store, path);
  ASSERT_TRUE(CheckPst(path).ok()) << ::testing::PrintToString(CheckPst(path).problems);

  const LayoutMap map = MapPst(path);
  ASSERT_NE(map.layout, nullptr);
  const pst::format::Layout& layout = *map.layout;
  EXPECT_EQ(layout.format == pst::format::Format::kAnsi, GetParam().first == FileFormat::kAnsi);
  EXPECT_EQ(map.encryption, static_cast<std::uint8_t>(GetParam().second));
  const std::string sound = bm::test::ReadFile(path);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(sound.data());
  // Every block's trailer and B-tree entry give its BID; in a plain store every heap's first
  // block shows the heap signature at byte 2.
  ASSERT_FALSE(map.blocks.empty());
  for (const LayoutMap::Block& block : map.blocks) {
    const std::uint8_t* trailer =
        bytes + block.ib + layout.block_size(block.cb) - layout.block_trailer_size;
    ASSERT_EQ(layout.GetId(trailer + layout.block_trailer_bid), block.bid);
    ASSERT_EQ(layout.GetId(bytes + block.entry), block.bid);
  }
  EXPECT_GT(map.heaps.size(), 40u);
  if (GetParam().second == Encryption::kNone) {
    for (const std::uint64_t bid : map.heaps) {
      const auto block = std::find_if(map.blocks.begin(), map.blocks.end(),
                                      [bid](const auto& b) { return b.bid == bid; });
      ASSERT_NE(block, map.blocks.end());
      EXPECT_EQ(bytes[block->ib + 2], 0xEC);
    }
  }
  for (const LayoutMap::Node& node : map.nodes) {
    ASSERT_EQ(static_cast<std::uint32_t>(layout.GetId(bytes + node.entry)), node.nid);
  }
  EXPECT_FALSE(map.data_tree_blocks.empty());  // the 20,000-byte attachment
  EXPECT_FALSE(map.subnode_blocks.empty());

  const auto damaged = [&](std::size_t offset) {
    std::string copy = sound;
    copy[offset] ^= 0x10;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << copy;
    std::string all;
    for (const auto& problem : CheckPst(path).problems) all += problem + "\n";
    return all;
  };
  const LayoutMap::Block& first = map.blocks.front();
  EXPECT_NE(damaged(first.ib).find("wrong CRC"), std::string::npos);
  const LayoutMap::Page& page = map.pages.front();
  EXPECT_NE(damaged(page.ib + 3).find("wrong CRC"), std::string::npos);
  EXPECT_NE(damaged(layout.header_root + layout.root_nbt + 1).find("header partial CRC wrong"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Forms, FormatFaultTest,
                         ::testing::Values(std::pair{FileFormat::kAnsi, Encryption::kNone},
                                           std::pair{FileFormat::kAnsi, Encryption::kCyclic},
                                           std::pair{FileFormat::kUnicode, Encryption::kCyclic}),
                         [](const auto& info) {
                           return std::string(info.param.first == FileFormat::kAnsi ? "Ansi"
                                                                                    : "Unicode") +
                                  (info.param.second == Encryption::kCyclic ? "Cyclic" : "Plain");
                         });

TEST(AnsiText, Windows1252KeepsWhatItCanAndMarksTheRest) {
  EXPECT_EQ(ToWindows1252(u"Caf\u00e9 \u20ac\u2019 \u65e5\U0001F600."), "Caf\xe9 \x80\x92 ??.");
  EXPECT_EQ(ToWindows1252(u"\u0081\u00ff\u0100"), "?\xff?");  // 0x81 is undefined in 1252
  EXPECT_EQ(ToWindows1252(u"\xd800x"), "?x");                 // a lone surrogate
}

// ---- Determinism, presets and errors ----

std::string FileBytes(const fs::path& path) {
  return bm::test::ReadFile(path);
}

TEST(Determinism, SameInputGivesTheSameBytes) {
  bm::test::TempDir dir;
  Write(SyntheticStore(120, 7), dir.path() / "a.pst");
  Write(SyntheticStore(120, 7), dir.path() / "b.pst");
  Write(SyntheticStore(120, 8), dir.path() / "c.pst");
  EXPECT_EQ(FileBytes(dir.path() / "a.pst"), FileBytes(dir.path() / "b.pst"));
  EXPECT_NE(FileBytes(dir.path() / "a.pst"), FileBytes(dir.path() / "c.pst"));
  EXPECT_TRUE(CheckPst(dir.path() / "a.pst").ok());
}

TEST(Presets, DemoStoreHoldsEveryItemKind) {
  bm::test::TempDir dir;
  const fs::path path = dir.path() / "demo.pst";
  Write(DemoStore(), path);
  EXPECT_TRUE(CheckPst(path).ok());
  const PffStore read = ReadWithLibpff(path);
  std::map<std::u16string, int> classes;
  std::map<std::u16string, std::u16string> container_classes;
  std::function<void(const PffFolder&)> walk = [&](const PffFolder& folder) {
    if (folder.container_class) container_classes[folder.name] = *folder.container_class;
    for (const auto& message : folder.messages) ++classes[message.message_class];
    for (const auto& child : folder.folders) walk(child);
  };
  walk(read.root);
  for (const char16_t* kind : {u"IPM.Note", u"IPM.Contact", u"IPM.Appointment", u"IPM.Task",
                               u"IPM.StickyNote", u"IPM.Schedule.Meeting.Request", u"IPM.DistList",
                               u"IPM.Activity", u"IPM.Note.SMIME.MultipartSigned"}) {
    EXPECT_GT(classes[kind], 0) << bm::ToUtf8(kind);
  }
  EXPECT_EQ(container_classes[u"Calendar"], u"IPF.Appointment");
  EXPECT_EQ(container_classes[u"Contacts"], u"IPF.Contact");
  EXPECT_EQ(container_classes[u"Tasks"], u"IPF.Task");
  EXPECT_EQ(container_classes[u"Notes"], u"IPF.StickyNote");
  EXPECT_EQ(container_classes[u"Journal"], u"IPF.Journal");

  const PffFolder& contacts = Child(read.root.folders.at(0), u"Contacts");
  const PffMessage& contact = contacts.messages.at(0);
  std::set<std::uint32_t> lids;
  for (const auto& [type, property] : contact.properties) {
    if (property.lid) lids.insert(*property.lid);
  }
  for (const std::uint32_t lid : {0x8005u, 0x8083u, 0x8045u, 0x8049u, 0x804Au}) {
    EXPECT_TRUE(lids.count(lid)) << std::hex << lid;
  }
  const PffFolder& inbox = Child(read.root.folders.at(0), u"Inbox");
  bool has_pdf = false, has_unnamed = false, has_embedded = false, has_rtf = false,
       has_html = false;
  std::function<void(const PffFolder&)> scan = [&](const PffFolder& folder) {
    for (const auto& message : folder.messages) {
      has_rtf |= message.rtf_body.has_value();
      has_html |= message.html_body.has_value();
      for (const auto& attachment : message.attachments) {
        has_embedded |= attachment.embedded != nullptr;
        if (!attachment.long_filename && attachment.type == 'd') {
          has_unnamed |= attachment.data.size() > 4 &&
                         std::equal(attachment.data.begin(), attachment.data.begin() + 4, "%PDF");
        }
        has_pdf |= attachment.long_filename == u"agenda.pdf";
      }
    }
    for (const auto& child : folder.folders) scan(child);
  };
  scan(inbox);
  EXPECT_TRUE(has_pdf && has_unnamed && has_embedded && has_rtf && has_html);
}

TEST(Presets, DefaultFoldersCarryTheirContainerClasses) {
  bm::test::TempDir dir;
  Store store;
  AddDefaultFolders(store).AddMessage().SetSubject(u"Hello");
  Write(store, dir.path() / "defaults.pst");
  const PffStore read = ReadWithLibpff(dir.path() / "defaults.pst");
  const PffFolder& top = read.root.folders.at(0);
  EXPECT_EQ(top.folders.size(), 10u);  // Deleted Items and the nine defaults
  EXPECT_EQ(Child(top, u"Inbox").messages.size(), 1u);
  EXPECT_EQ(Child(top, u"Calendar").container_class, u"IPF.Appointment");
  EXPECT_EQ(Child(top, u"Tasks").container_class, u"IPF.Task");
  EXPECT_EQ(read.root.folders.at(1).name, u"Search Root");
}

TEST(Presets, EdgeShapesReadBack) {
  bm::test::TempDir dir;
  Write(DeepStore(30), dir.path() / "deep.pst");
  Write(SpecialNamesStore(), dir.path() / "names.pst");
  Write(WideFolderStore(1500), dir.path() / "wide.pst");
  for (const char* name : {"deep.pst", "names.pst", "wide.pst"}) {
    const CheckReport report = CheckPst(dir.path() / name);
    EXPECT_TRUE(report.ok()) << name << ::testing::PrintToString(report.problems);
  }
  const PffStore deep = ReadWithLibpff(dir.path() / "deep.pst");
  const PffFolder* folder = &deep.root.folders.at(0);
  for (int level = 1; level <= 30; ++level) folder = &Child(*folder, u"Level " + Number(level));
  EXPECT_EQ(folder->messages.size(), 1u);
  EXPECT_TRUE(folder->folders.empty());

  const PffStore names = ReadWithLibpff(dir.path() / "names.pst");
  const PffFolder& odd = Child(names.root.folders.at(0), u"a/b\\c:d*e?f<g>h|i");
  EXPECT_EQ(odd.messages.size(), 1u);
  EXPECT_EQ(Child(odd, u"..").messages.size(), 1u);

  const PffStore wide = ReadWithLibpff(dir.path() / "wide.pst", 0);
  EXPECT_EQ(Child(wide.root.folders.at(0), u"Inbox").messages.size(), 1500u);
}

TEST(Errors, UnwritablePathThrows) {
  bm::test::TempDir dir;
  EXPECT_THROW(Write(Store(), dir.path() / "missing" / "x.pst"), std::runtime_error);
}

TEST(Errors, BuilderRejectsWhatThePstCannotHold) {
  EXPECT_THROW(Guid::Parse("not-a-guid"), std::invalid_argument);
  Message message;
  EXPECT_THROW(message.Set(0x8001, 1), std::invalid_argument);  // named range: use SetNamed
  Folder folder(u"F");
  folder.AddMessages(1, [](std::size_t) { return Message(); });
  EXPECT_THROW(folder.AddMessages(1, [](std::size_t) { return Message(); }), std::invalid_argument);
}

}  // namespace
}  // namespace pstgen::test
