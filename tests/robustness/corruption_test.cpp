// Damaged stores: a fixed, deterministic handful of the corruption corpus (scripts/corrupt
// makes the full one). Each store goes through scan, every folder, every row and a whole
// conversion in a child process with a time limit; the run must end by itself, without a
// signal, and write nothing outside the temp folder and the destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "robustness/child.h"
#include "robustness/pipeline.h"
#include "robustness/seed_stores.h"
#include "support/test_support.h"
#include "tools/pstgen/pstgen.h"

namespace bm::robust {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr unsigned kSecondsPerStore = 120;

// Offsets of the Unicode header fields and B-tree page fields that the damage aims at.
constexpr std::size_t kFileEof = 184;
constexpr std::size_t kNbtRoot = 224;  // ib of the node B-tree root
constexpr std::size_t kBbtRoot = 240;  // ib of the block B-tree root
constexpr std::size_t kPageEntries = 488;
constexpr std::size_t kPageEntrySize = 490;
constexpr std::size_t kPageLevel = 491;

std::uint64_t Read64(const Bytes& data, std::size_t offset) {
  std::uint64_t value = 0;
  if (offset + 8 <= data.size()) std::memcpy(&value, data.data() + offset, 8);
  return value;
}

void Fill(Bytes& data, std::size_t offset, std::size_t size, std::uint8_t byte) {
  for (std::size_t i = offset; i < offset + size && i < data.size(); ++i) data[i] = byte;
}

// The first leaf entry of the B-tree whose root page lies at `root`, or 0.
std::size_t FirstLeafEntry(const Bytes& data, std::uint64_t root) {
  std::uint64_t page = root;
  for (int depth = 0; depth < 8 && page + 512 <= data.size(); ++depth) {
    if (data[page + kPageLevel] == 0) return data[page + kPageEntries] > 0 ? page : 0;
    page = Read64(data, page + 16);
  }
  return 0;
}

// Offsets of every leaf entry of the B-tree whose root page lies at `page`.
void CollectLeafEntries(const Bytes& data, std::uint64_t page, int depth,
                        std::vector<std::size_t>& entries) {
  if (depth > 8 || page + 512 > data.size()) return;
  const std::size_t entry_size = data[page + kPageEntrySize];
  const std::size_t count =
      entry_size == 0 ? 0 : std::min<std::size_t>(data[page + kPageEntries], 488 / entry_size);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = page + i * entry_size;
    if (data[page + kPageLevel] == 0) {
      entries.push_back(entry);
    } else {
      CollectLeafEntries(data, Read64(data, entry + 16), depth + 1, entries);
    }
  }
}

// The first plain data block that holds a heap (bSig 0xEC), found through the block B-tree.
std::size_t FirstHeap(const Bytes& data) {
  const std::size_t leaf = FirstLeafEntry(data, Read64(data, kBbtRoot));
  if (leaf == 0) return 0;
  const std::size_t entry_size = data[leaf + kPageEntrySize];
  for (std::size_t i = 0; entry_size > 0 && i < data[leaf + kPageEntries]; ++i) {
    const std::size_t entry = leaf + i * entry_size;
    const std::uint64_t bid = Read64(data, entry);
    const std::uint64_t ib = Read64(data, entry + 8);
    if ((bid & 2) == 0 && ib + 4 < data.size() && data[ib + 2] == 0xEC) return ib;
  }
  return 0;
}

struct Damage {
  std::string name;
  std::function<void(Bytes&)> apply;
  friend void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }
};

std::vector<Damage> Damages() {
  std::vector<Damage> damages = {
      {"Empty", [](Bytes& d) { d.clear(); }},
      {"HeaderOnly", [](Bytes& d) { d.resize(512); }},
      {"HalfTheFile", [](Bytes& d) { d.resize(d.size() / 2); }},
      {"OneByteShort", [](Bytes& d) { d.pop_back(); }},
      {"MagicFlipped", [](Bytes& d) { d[0] ^= 0x01; }},
      {"FileEofHuge", [](Bytes& d) { Fill(d, kFileEof, 8, 0xFF); }},
      {"NodeTreeRootHuge", [](Bytes& d) { Fill(d, kNbtRoot, 8, 0xFF); }},
      {"BlockTreeIsNodeTree",
       [](Bytes& d) { std::memcpy(d.data() + kBbtRoot - 8, d.data() + kNbtRoot - 8, 16); }},
      {"NodeRootEntryCount255", [](Bytes& d) { d[Read64(d, kNbtRoot) + kPageEntries] = 0xFF; }},
      {"NodeRootEntrySize0", [](Bytes& d) { d[Read64(d, kNbtRoot) + kPageEntrySize] = 0; }},
      {"NodeIsItsOwnParent",
       [](Bytes& d) {
         // Every node of the first leaf names itself as its parent: a walk that follows
         // parents must not go round for ever.
         const std::size_t leaf = FirstLeafEntry(d, Read64(d, kNbtRoot));
         const std::size_t size = leaf ? d[leaf + kPageEntrySize] : 0;
         for (std::size_t i = 0; size >= 32 && i < d[leaf + kPageEntries]; ++i) {
           std::memcpy(d.data() + leaf + i * size + 24, d.data() + leaf + i * size, 4);
         }
       }},
      {"BlockSizes65535",
       [](Bytes& d) {
         const std::size_t leaf = FirstLeafEntry(d, Read64(d, kBbtRoot));
         const std::size_t size = leaf ? d[leaf + kPageEntrySize] : 0;
         for (std::size_t i = 0; size >= 24 && i < d[leaf + kPageEntries]; i += 3) {
           Fill(d, leaf + i * size + 16, 2, 0xFF);
         }
       }},
      {"HeapPageMapHuge",
       [](Bytes& d) {
         if (const std::size_t heap = FirstHeap(d)) Fill(d, heap, 2, 0xFF);
       }},
      {"HeapRootHuge",
       [](Bytes& d) {
         if (const std::size_t heap = FirstHeap(d)) Fill(d, heap + 4, 4, 0xFF);
       }},
  };
  // Runs of 0xFF across the data blocks: sizes, counts and offsets inside them become huge.
  for (unsigned seed = 1; seed <= 4; ++seed) {
    damages.push_back({"FfRuns" + std::to_string(seed), [seed](Bytes& d) {
                         std::mt19937 random(seed);
                         for (int run = 0; run < 6 && d.size() > 0x4600; ++run) {
                           const std::size_t at = 0x4400 + random() % (d.size() - 0x4600);
                           Fill(d, at, 16, 0xFF);
                         }
                       }});
  }
  return damages;
}

Bytes ReadBytes(const fs::path& path) {
  const std::string text = test::ReadFile(path);
  return Bytes(text.begin(), text.end());
}

void WriteBytes(const fs::path& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

class DamagedStore : public ::testing::TestWithParam<Damage> {
 protected:
  static void SetUpTestSuite() {
    seed_dir_ = new test::TempDir;
    pstgen::Store store(u"Seed store");
    BuildMixedStore(store);
    pstgen::Write(store, seed_dir_->path() / "seed.pst");
  }
  static void TearDownTestSuite() {
    delete seed_dir_;
    seed_dir_ = nullptr;
  }
  static fs::path SeedPath() { return seed_dir_->path() / "seed.pst"; }

 private:
  static test::TempDir* seed_dir_;
};

test::TempDir* DamagedStore::seed_dir_ = nullptr;

void ExpectContained(const fs::path& pst) {
  Sandbox sandbox;
  PipelineOutcome outcome;
  const SandboxRun run = RunPipelineInSandbox(sandbox, pst, {}, kSecondsPerStore, outcome);
  EXPECT_TRUE(run.child.Exited(0)) << run.child.Describe();
  EXPECT_TRUE(run.stray_files.empty()) << "first stray file: " << run.stray_files.front();
  if (run.have_outcome && outcome.converted) {
    // Whatever the lists showed reached the disk or was reported as not written.
    EXPECT_GE(outcome.files_on_disk + static_cast<int>(outcome.failures.size()), outcome.rows);
  }
}

TEST_P(DamagedStore, EndsCleanlyAndWritesOnlyWhereAllowed) {
  Bytes data = ReadBytes(SeedPath());
  ASSERT_GT(data.size(), 0x4600u);
  GetParam().apply(data);
  test::TempDir dir;
  const fs::path damaged = dir.path() / "damaged.pst";
  WriteBytes(damaged, data);
  ExpectContained(damaged);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedStore, ::testing::ValuesIn(Damages()),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return info.param.name;
                         });

// A message whose data block is gone can be neither listed nor converted; the conversion must
// say so instead of leaving it out without a word.
TEST_F(DamagedStore, UnreadableMessageIsReportedNotLost) {
  Bytes data = ReadBytes(SeedPath());
  std::vector<std::size_t> entries;
  CollectLeafEntries(data, Read64(data, kNbtRoot), 0, entries);
  bool damaged = false;
  for (const std::size_t entry : entries) {
    const auto nid = static_cast<std::uint32_t>(Read64(data, entry));
    if ((nid & 0x1F) == 0x04) {  // a normal message
      Fill(data, entry + 8, 8, 0);
      damaged = true;
      break;
    }
  }
  ASSERT_TRUE(damaged);
  test::TempDir dir;
  WriteBytes(dir.path() / "damaged.pst", data);

  Sandbox sandbox;
  PipelineOutcome outcome;
  const SandboxRun run =
      RunPipelineInSandbox(sandbox, dir.path() / "damaged.pst", {}, kSecondsPerStore, outcome);
  ASSERT_TRUE(run.have_outcome) << run.child.Describe();
  ASSERT_TRUE(outcome.converted);
  EXPECT_GE(outcome.files_on_disk + outcome.skipped + static_cast<int>(outcome.failures.size()),
            outcome.messages)
      << outcome.messages << " messages in the folders, " << outcome.files_on_disk
      << " converted files, no failure reported";
}

TEST(DamagedSample, TruncatedAndFlippedOutlookStoresEndCleanly) {
  BM_SAMPLE_OR_SKIP(sample, "outlook.pst");
  const Bytes original = ReadBytes(sample);
  test::TempDir dir;
  const std::vector<std::function<void(Bytes&)>> damages = {
      [](Bytes& d) { d.resize(d.size() * 3 / 4); },
      [](Bytes& d) { Fill(d, kNbtRoot, 8, 0xFF); },
      [](Bytes& d) {
        std::mt19937 random(7);
        for (int i = 0; i < 40; ++i) d[0x4400 + random() % (d.size() - 0x4400)] ^= 0x10;
      },
  };
  for (std::size_t i = 0; i < damages.size(); ++i) {
    SCOPED_TRACE("damage " + std::to_string(i));
    Bytes data = original;
    damages[i](data);
    const fs::path damaged = dir.path() / ("outlook-" + std::to_string(i) + ".pst");
    WriteBytes(damaged, data);
    ExpectContained(damaged);
  }
}

}  // namespace
}  // namespace bm::robust
