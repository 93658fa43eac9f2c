// Damaged and hostile stores: the reader says what is wrong and never crashes, hangs or
// reads outside the file (run under the ASan build too).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <thread>

#include "pst/format.h"
#include "pst/soft_faults.h"
#include "pst/walk.h"
#include "support/test_support.h"
#include "tools/pstgen/checker.h"
#include "tools/pstgen/presets.h"
#include "tools/pstgen/pstgen.h"

namespace pst {
namespace {
namespace fmt = pst::format;
using Bytes = std::vector<std::uint8_t>;

Bytes Load(const std::filesystem::path& path) {
  const std::string text = bm::test::ReadFile(path);
  return Bytes(text.begin(), text.end());
}

void Save(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class Hostile : public testing::Test {
 protected:
  void SetUp() override {
    pstgen::Write(pstgen::DemoStore(), dir_.path() / "demo.pst");
    original_ = Load(dir_.path() / "demo.pst");
  }

  // Opens `bytes` as a store and reads all of it; the open's error, or empty.
  std::string OpenAndRead(const Bytes& bytes) {
    const auto path = dir_.path() / "damaged.pst";
    Save(path, bytes);
    warnings_.clear();
    OpenOptions options;
    options.warn = [this](const std::string& text) { warnings_.push_back(text); };
    auto store = Store::Open(path, options);
    if (!store) return store.error().message();
    test::ReadEverything(*store);
    return {};
  }

  // Offsets of the B-tree pages of `type` (node or block tree).
  std::vector<std::size_t> Pages(std::uint8_t type) const {
    std::vector<std::size_t> pages;
    for (std::size_t at = fmt::kFirstAMapOffset; at + 512 <= original_.size(); at += 512) {
      if (original_[at + 496] == type && original_[at + 497] == type) pages.push_back(at);
    }
    return pages;
  }

  // NBT leaf entries: (offset of the entry, nid, parent).
  struct LeafEntry {
    std::size_t offset;
    std::uint32_t nid;
    std::uint32_t parent;
  };
  std::vector<LeafEntry> NodeEntries() const {
    std::vector<LeafEntry> entries;
    for (const std::size_t page : Pages(fmt::kPageNbt)) {
      if (original_[page + 491] != 0) continue;
      for (std::size_t i = 0; i < original_[page + 488]; ++i) {
        const std::size_t at = page + 32 * i;
        entries.push_back({at, fmt::Get32(&original_[at]), fmt::Get32(&original_[at + 24])});
      }
    }
    return entries;
  }

  bm::test::TempDir dir_;
  Bytes original_;
  std::vector<std::string> warnings_;
};

TEST_F(Hostile, NotAStoreOrAnUnsupportedOneIsRefusedWithItsReason) {
  EXPECT_EQ(OpenAndRead({}), "not a PST file (shorter than its header)");
  Bytes text(1000, 'x');
  EXPECT_EQ(OpenAndRead(text), "not a PST file");
  Bytes ost = original_;
  fmt::Put16(&ost[10], 36);
  EXPECT_EQ(OpenAndRead(ost), "a 4 KB-page store (OST 2013) is not supported yet");
  Bytes odd = original_;
  odd[513] = 9;
  EXPECT_EQ(OpenAndRead(odd), "unknown encryption method 9");
}

TEST_F(Hostile, TruncatedFilesAreErrorsNeverCrashes) {
  for (const std::size_t size :
       {std::size_t{100}, fmt::kHeaderSize, std::size_t{fmt::kFirstAMapOffset},
        original_.size() / 3, original_.size() / 2, original_.size() - 512, original_.size() - 1}) {
    const Bytes cut(original_.begin(), original_.begin() + static_cast<std::ptrdiff_t>(size));
    const std::string error = OpenAndRead(cut);
    EXPECT_FALSE(error.empty()) << "a store cut to " << size << " bytes opened";
  }
}

TEST_F(Hostile, HugeCountsInBtreePagesAreRefused) {
  for (const std::uint8_t type : {fmt::kPageNbt, fmt::kPageBbt}) {
    for (const std::size_t page : Pages(type)) {
      Bytes damaged = original_;
      damaged[page + 488] = 0xFF;  // cEnt
      OpenAndRead(damaged);
      damaged = original_;
      damaged[page + 490] = 1;  // cbEnt
      OpenAndRead(damaged);
    }
  }
}

TEST_F(Hostile, BtreeThatPointsBackAtItsRootIsRefused) {
  const std::uint64_t root_bid = fmt::Get64(&original_[216]);
  const std::uint64_t root_ib = fmt::Get64(&original_[224]);
  ASSERT_GT(original_[root_ib + 491], 0) << "the demo store's node tree has one level";
  Bytes looped = original_;
  fmt::Put64(&looped[root_ib + 8], root_bid);
  fmt::Put64(&looped[root_ib + 16], root_ib);
  EXPECT_NE(OpenAndRead(looped).find("wrong level"), std::string::npos);
}

TEST_F(Hostile, AFolderWhoseParentChainLoopsIsHungUnderTheRootWithAWarning) {
  const auto entries = NodeEntries();
  // A folder with a sub-folder: make it the child of that sub-folder.
  const LeafEntry* parent = nullptr;
  const LeafEntry* child = nullptr;
  for (const LeafEntry& a : entries) {
    for (const LeafEntry& b : entries) {
      if (fmt::NidType(a.nid) == fmt::kNidTypeNormalFolder && a.nid != fmt::kNidRootFolder &&
          b.parent == a.nid && fmt::NidType(b.nid) == fmt::kNidTypeNormalFolder) {
        parent = &a;
        child = &b;
      }
    }
  }
  ASSERT_NE(parent, nullptr);
  Bytes looped = original_;
  fmt::Put32(&looped[parent->offset + 24], child->nid);
  Bytes self = original_;
  fmt::Put32(&self[parent->offset + 24], parent->nid);

  for (const Bytes& damaged : {looped, self}) {
    const auto path = dir_.path() / "looped.pst";
    Save(path, damaged);
    std::vector<std::string> warnings;
    OpenOptions options;
    options.warn = [&](const std::string& text) { warnings.push_back(text); };
    auto store = Store::Open(path, options);
    ASSERT_TRUE(store) << store.error().message();
    const auto folders = test::AllFolders(*store);
    // The loop and the folders below it stay in the tree, the loop broken at the root.
    EXPECT_EQ(std::count(folders.begin(), folders.end(), parent->nid), 1);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), child->nid), 1);
    EXPECT_EQ(store->Parent(parent->nid), fmt::kNidRootFolder);
    EXPECT_EQ(store->Parent(child->nid), parent->nid);
    EXPECT_TRUE(store->Rehung(parent->nid));
    EXPECT_FALSE(store->Rehung(child->nid));
    const bool warned = std::any_of(warnings.begin(), warnings.end(), [](const std::string& w) {
      return w.find("as parent; hung under the root folder") != std::string::npos;
    });
    EXPECT_TRUE(warned);
    // The folder's old parent still lists it in its hierarchy table: a disagreement, told.
    warnings.clear();
    EXPECT_GE(store->CrossCheckTables(parent->parent), 1u);
    EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [](const std::string& w) {
      return w.find("hierarchy table lists") != std::string::npos;
    }));
    test::ReadEverything(*store);
  }
}

TEST_F(Hostile, FlippedBytesAnywhereNeverCrash) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> offset(0, original_.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  const auto btree_pages = Pages(fmt::kPageNbt);
  for (int round = 0; round < 250; ++round) {
    Bytes damaged = original_;
    for (int flip = 0; flip < 1 + round % 4; ++flip) {
      std::size_t at = offset(random);
      if (round % 5 == 0 && !btree_pages.empty()) {
        at = btree_pages[at % btree_pages.size()] + at % 512;  // the node tree itself
      }
      damaged[at] = static_cast<std::uint8_t>(byte(random));
    }
    OpenAndRead(damaged);
  }
}

// A bit flipped inside a message's data leaves the block readable but failing its checksum:
// the data is still read (most of it is right), and the scope of the thread that read it is
// told, so a reader can name the item instead of passing it off as read whole.
TEST_F(Hostile, DataFailingItsChecksumIsReadAndToldToTheReadingThreadsScope) {
  pstgen::Store generated;
  pstgen::Folder& inbox = generated.top().AddFolder(u"Inbox", u"IPF.Note");
  inbox.AddMessage("IPM.Note").SetSubject(u"damaged").SetBody(u"DAMAGEDBODYMARKER");
  inbox.AddMessage("IPM.Note").SetSubject(u"clean").SetBody(u"clean body");
  const auto path = dir_.path() / "flipped.pst";
  pstgen::Write(generated, path);
  Bytes bytes = Load(path);
  const std::u16string marker = u"DAMAGEDBODYMARKER";
  const std::string wide(reinterpret_cast<const char*>(marker.data()), marker.size() * 2);
  const std::size_t at = std::string(bytes.begin(), bytes.end()).find(wide);
  ASSERT_NE(at, std::string::npos);
  bytes[at] ^= 0x02;  // "D" becomes "F"
  Save(path, bytes);

  std::vector<std::string> warnings;
  OpenOptions options;
  options.warn = [&](const std::string& text) { warnings.push_back(text); };
  auto store = Store::Open(path, options);
  ASSERT_TRUE(store) << store.error().message();
  const auto messages = test::AllMessages(*store);
  ASSERT_EQ(messages.size(), 2u);
  auto body_of = [&](Nid nid) {
    auto message = store->OpenMessage(nid);
    EXPECT_TRUE(message) << message.error().message();
    if (!message) return std::u16string();
    return message->properties().String(0x1000).value_or(std::nullopt).value_or(u"");
  };
  const Nid damaged = messages[0];
  const Nid clean = messages[1];

  {
    const SoftFaultScope scope;
    EXPECT_EQ(body_of(damaged), u"FAMAGEDBODYMARKER");  // read as stored
    EXPECT_EQ(body_of(damaged), u"FAMAGEDBODYMARKER");
    ASSERT_EQ(scope.faults().size(), 1u);  // the same block read twice is one fault
    EXPECT_NE(scope.faults()[0].find("wrong checksum"), std::string::npos);
  }
  {
    const SoftFaultScope scope;
    EXPECT_EQ(body_of(clean), u"clean body");
    EXPECT_TRUE(scope.empty());
  }
  {
    // The innermost scope collects; another thread's reads are not this thread's.
    const SoftFaultScope outer;
    std::thread other([&] { EXPECT_EQ(body_of(damaged), u"FAMAGEDBODYMARKER"); });
    other.join();
    {
      const SoftFaultScope inner;
      body_of(damaged);
      EXPECT_FALSE(inner.empty());
    }
    EXPECT_TRUE(outer.empty());
  }
  // Without a scope the read is the same, and the store-wide warning still comes.
  warnings.clear();
  EXPECT_EQ(body_of(damaged), u"FAMAGEDBODYMARKER");
  EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [](const std::string& w) {
    return w.find("wrong checksum") != std::string::npos;
  }));
}

TEST_F(Hostile, DamagedHeapsAndTablesAreErrorsNeverCrashes) {
  const pstgen::LayoutMap map = pstgen::MapPst(dir_.path() / "demo.pst");
  ASSERT_FALSE(map.heaps.empty());
  std::size_t damaged_reads = 0;
  for (const std::uint64_t bid : map.heaps) {
    const auto block = std::find_if(map.blocks.begin(), map.blocks.end(),
                                    [&](const auto& b) { return b.bid == bid; });
    ASSERT_NE(block, map.blocks.end());
    const std::size_t at = block->ib;
    const std::size_t page_map = fmt::Get16(&original_[at]);
    // The allocation map's place, its count, the user root, the client signature, and an
    // allocation's end offset.
    const std::vector<std::pair<std::size_t, std::uint16_t>> damage = {
        {at, 0xFFFF},     {at, 2},          {at + page_map, 0xFFFF},    {at + 4, 0x7FE0},
        {at + 6, 0x0040}, {at + 2, 0x00EC}, {at + page_map + 6, 0xFFFF}};
    for (const auto& [offset, value] : damage) {
      if (offset + 2 > at + block->cb) continue;
      Bytes damaged = original_;
      fmt::Put16(&damaged[offset], value);
      const auto path = dir_.path() / "heap.pst";
      Save(path, damaged);
      OpenOptions options;
      options.warn = [](const std::string&) {};
      auto store = Store::Open(path, options);
      if (store) damaged_reads += test::ReadEverything(*store);
    }
  }
  EXPECT_GT(damaged_reads, 0u) << "no damage was noticed";
}

TEST_F(Hostile, BadChecksumIsAWarningAndTheBlockIsStillRead) {
  const auto pages = Pages(fmt::kPageNbt);
  ASSERT_FALSE(pages.empty());
  Bytes damaged = original_;
  damaged[pages.front() + 500] ^= 0xFF;  // the page's CRC
  EXPECT_EQ(OpenAndRead(damaged), "");
  EXPECT_TRUE(std::any_of(warnings_.begin(), warnings_.end(), [](const std::string& w) {
    return w.find("wrong checksum") != std::string::npos;
  }));
}

}  // namespace
}  // namespace pst
