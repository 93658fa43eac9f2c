// The compound file writer: what it writes is read back by libgsf byte for byte, and checked
// by a reader of its own here against MS-CFB's rules (sector chains that match the sizes and
// never share a sector, sibling trees that are ordered red-black trees), across the sizes where
// the layout changes: empty, the mini stream's edge, the FAT outgrowing the header.
#include "msg/compound_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "base/safe_files.h"
#include "base/text.h"
#include "convert/msg_inspect.h"
#include "support/test_support.h"

namespace bm::test {
namespace {

using msg::CompoundFileWriter;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) % 251);
  return bytes;
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Writes through `build` into a new file at `path`; the writer's result.
Status WriteFile(const std::filesystem::path& path,
                 const std::function<Status(CompoundFileWriter&)>& build) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return Error("cannot open " + path.string());
  CompoundFileWriter writer(file.get());
  if (Status built = build(writer); !built) return built;
  return writer.Finish();
}

// MS-CFB's structure rules, checked on the raw bytes; each broken rule is one line.
class StructureCheck {
 public:
  explicit StructureCheck(std::string bytes) : bytes_(std::move(bytes)) {}

  std::vector<std::string> Faults() {
    if (bytes_.size() < 512 || bytes_.size() % 512 != 0) return {"the file is not whole sectors"};
    ReadFat();
    const std::vector<std::uint32_t> directory_chain = Chain(U32(48), "directory");
    for (std::uint32_t sector : directory_chain) {
      for (int i = 0; i < 4; ++i) entries_.push_back(bytes_.substr(Offset(sector) + i * 128, 128));
    }
    if (entries_.empty() || entries_[0][66] != 5) return Fault("no root entry");
    const std::uint32_t mini_fat_start = U32(60);
    if (mini_fat_start != kEndOfChain) {
      for (std::uint32_t sector : Chain(mini_fat_start, "mini FAT")) {
        for (int i = 0; i < 128; ++i) mini_fat_.push_back(U32(Offset(sector) + i * 4));
      }
    }
    const std::uint64_t mini_size = U64(entries_[0], 120);
    if (mini_size > 0) {
      const auto chain = Chain(U32(entries_[0], 116), "mini stream");
      if (chain.size() * 512 < mini_size) Fault("the mini stream's chain is short");
    }
    CheckStorage(0, 0);
    return faults_;
  }

  int trees_checked() const { return trees_checked_; }

 private:
  std::vector<std::string> Fault(std::string text) {
    faults_.push_back(std::move(text));
    return faults_;
  }
  std::size_t Offset(std::uint32_t sector) const { return (std::size_t{sector} + 1) * 512; }
  std::uint32_t U32(std::size_t at) const { return U32(bytes_, at); }
  static std::uint32_t U32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
  }
  static std::uint64_t U64(const std::string& bytes, std::size_t at) {
    return std::uint64_t{U32(bytes, at + 4)} << 32 | U32(bytes, at);
  }

  void ReadFat() {
    std::vector<std::uint32_t> fat_sectors;
    const std::uint32_t count = U32(44);
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(count, 109); ++i) {
      fat_sectors.push_back(U32(76 + i * 4));
    }
    std::uint32_t difat = U32(68);
    for (std::uint32_t n = 0; n < U32(72); ++n) {
      for (int i = 0; i < 127 && fat_sectors.size() < count; ++i) {
        fat_sectors.push_back(U32(Offset(difat) + i * 4));
      }
      difat = U32(Offset(difat) + 127 * 4);
    }
    if (difat != kEndOfChain) Fault("the DIFAT chain does not end");
    if (fat_sectors.size() != count) Fault("the DIFAT names fewer FAT sectors than the header");
    for (std::uint32_t sector : fat_sectors) {
      if (Offset(sector) >= bytes_.size()) {
        Fault("a FAT sector lies past the end");
        continue;
      }
      for (int i = 0; i < 128; ++i) fat_.push_back(U32(Offset(sector) + i * 4));
    }
  }

  // A chain of the FAT (or mini FAT), each sector used once in the whole file.
  std::vector<std::uint32_t> Chain(std::uint32_t start, const std::string& what,
                                   bool mini = false) {
    std::vector<std::uint32_t> chain;
    const std::vector<std::uint32_t>& table = mini ? mini_fat_ : fat_;
    std::set<std::uint32_t>& used = mini ? used_mini_ : used_;
    for (std::uint32_t sector = start; sector != kEndOfChain; sector = table[sector]) {
      if (sector >= table.size() || (!mini && Offset(sector) >= bytes_.size())) {
        Fault(what + ": sector " + std::to_string(sector) + " is out of range");
        break;
      }
      if (!used.insert(sector).second) {
        Fault(what + ": sector " + std::to_string(sector) + " is used twice");
        break;
      }
      chain.push_back(sector);
    }
    return chain;
  }

  std::u16string Name(std::uint32_t id) const {
    std::u16string name;
    const auto length =
        static_cast<std::uint16_t>(static_cast<std::uint8_t>(entries_[id][64]) |
                                   static_cast<std::uint8_t>(entries_[id][65]) << 8);
    for (std::size_t i = 0; i + 2 < length; i += 2) {
      name += static_cast<char16_t>(static_cast<std::uint8_t>(entries_[id][i]) |
                                    static_cast<std::uint8_t>(entries_[id][i + 1]) << 8);
    }
    return name;
  }

  static bool Before(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
      const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? c - 0x20 : c; };
      if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]);
    }
    return false;
  }

  // The black height of the subtree at `id`; its names in order into `names`.
  int Tree(std::uint32_t id, bool parent_red, std::vector<std::u16string>& names, int depth) {
    if (id == kNoStream) return 1;
    if (id >= entries_.size() || depth > 64) {
      Fault("a sibling link is broken");
      return 0;
    }
    const std::string& entry = entries_[id];
    const bool red = entry[67] == 0;
    if (red && parent_red) Fault("two red siblings in a row at " + ToUtf8(Name(id)));
    const int left = Tree(U32(entry, 68), red, names, depth + 1);
    names.push_back(Name(id));
    const int right = Tree(U32(entry, 72), red, names, depth + 1);
    if (left != right) Fault("black heights differ below " + ToUtf8(Name(id)));
    CheckEntry(id, depth);
    return left + (red ? 0 : 1);
  }

  void CheckEntry(std::uint32_t id, int depth) {
    const std::string& entry = entries_[id];
    if (entry[66] == 1) CheckStorage(id, depth);
    if (entry[66] != 2) return;
    const std::uint64_t size = U64(entry, 120);
    const std::uint32_t start = U32(entry, 116);
    if (size == 0) {
      if (start != kEndOfChain) Fault(ToUtf8(Name(id)) + ": an empty stream names a sector");
      return;
    }
    const bool mini = size < 4096;
    const std::size_t sector = mini ? 64 : 512;
    const auto chain = Chain(start, ToUtf8(Name(id)), mini);
    if (chain.size() != (size + sector - 1) / sector) {
      Fault(ToUtf8(Name(id)) + ": the chain does not match the size");
    }
  }

  void CheckStorage(std::uint32_t id, int depth) {
    std::vector<std::u16string> names;
    const std::uint32_t top = U32(entries_[id], 76);
    if (top != kNoStream && top < entries_.size() && entries_[top][67] == 0) {
      Fault("the root of a sibling tree is red");
    }
    Tree(top, false, names, depth + 1);
    ++trees_checked_;
    for (std::size_t i = 1; i < names.size(); ++i) {
      if (!Before(names[i - 1], names[i])) Fault("siblings out of order: " + ToUtf8(names[i]));
    }
  }

  std::string bytes_;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::string> entries_;
  std::set<std::uint32_t> used_;
  std::set<std::uint32_t> used_mini_;
  std::vector<std::string> faults_;
  int trees_checked_ = 0;
};

class CompoundFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

// Streams at every size where the layout changes, written in pieces that straddle sectors,
// in nested storages with class ids; and storages with 0 to 40 entries, whose sibling trees
// must all be valid.
TEST_F(CompoundFileTest, EverySizeReadsBackAndEveryTreeIsValid) {
  const std::vector<std::size_t> sizes = {0,    1,    63,   64,   65,    511,    512,   513,
                                          4095, 4096, 4097, 5000, 70000, 131072, 200001};
  const CompoundFileWriter::ClassId class_id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const auto path = dir_.path() / "sizes.cfb";
  ASSERT_TRUE(WriteFile(path, [&](CompoundFileWriter& file) -> Status {
    file.SetClassId(CompoundFileWriter::kRoot, class_id);
    Result<CompoundFileWriter::Entry> outer = file.AddStorage(CompoundFileWriter::kRoot, "outer");
    if (!outer) return outer.error();
    Result<CompoundFileWriter::Entry> inner = file.AddStorage(*outer, "inner");
    if (!inner) return inner.error();
    file.SetClassId(*inner, class_id);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const std::string bytes = Pattern(sizes[i], static_cast<unsigned>(i));
      const auto parent = i % 2 == 0 ? *inner : CompoundFileWriter::kRoot;
      if (Status opened = file.OpenStream(parent, "s" + std::to_string(sizes[i])); !opened) {
        return opened;
      }
      // Pieces of 1, 700, 1, 700, ... bytes: both whole-sector and leftover paths.
      for (std::size_t at = 0, piece = 1; at < bytes.size(); at += piece) {
        piece = piece == 1 ? 700 : 1;
        const std::size_t take = std::min(piece, bytes.size() - at);
        if (Status appended = file.Append(AsBytes(bytes).subspan(at, take)); !appended) {
          return appended;
        }
      }
      if (Status closed = file.CloseStream(); !closed) return closed;
    }
    for (int count = 0; count <= 40; ++count) {
      Result<CompoundFileWriter::Entry> box =
          file.AddStorage(*outer, "box" + std::to_string(count));
      if (!box) return box.error();
      for (int i = count - 1; i >= 0; --i) {
        // Mixed case and lengths, added out of order.
        const std::string name = (i % 3 == 0 ? "Name" : "name_") + std::to_string(i * 7);
        if (Status added = file.AddStream(*box, name, AsBytes("x")); !added) return added;
      }
    }
    return {};
  }));
  const auto read = ReadCompoundFile(path);
  ASSERT_TRUE(read) << "libgsf cannot open the file";
  EXPECT_EQ(read->class_id, class_id);
  const Storage& inner = read->storages.at("outer").storages.at("inner");
  EXPECT_EQ(inner.class_id, class_id);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const Storage& parent = i % 2 == 0 ? inner : *read;
    const auto stream = parent.streams.find("s" + std::to_string(sizes[i]));
    ASSERT_NE(stream, parent.streams.end()) << sizes[i];
    EXPECT_TRUE(stream->second == Pattern(sizes[i], static_cast<unsigned>(i))) << sizes[i];
  }
  EXPECT_EQ(read->storages.at("outer").storages.at("box40").streams.size(), 40u);

  StructureCheck check(ReadFile(path));
  EXPECT_EQ(check.Faults(), std::vector<std::string>{});
  EXPECT_EQ(check.trees_checked(), 1 + 2 + 41);
}

// More than 109 FAT sectors (a stream of 8 MB) need the DIFAT; the file stays readable and
// its chains whole.
TEST_F(CompoundFileTest, LargeStreamUsesTheDifat) {
  const std::string big = Pattern(8 * 1024 * 1024 + 300, 7);
  const auto path = dir_.path() / "big.cfb";
  ASSERT_TRUE(WriteFile(path, [&](CompoundFileWriter& file) -> Status {
    if (Status added = file.AddStream(CompoundFileWriter::kRoot, "small", AsBytes("abc")); !added) {
      return added;
    }
    return file.AddStream(CompoundFileWriter::kRoot, "big", AsBytes(big));
  }));
  const std::string bytes = ReadFile(path);
  ASSERT_GE(bytes.size(), 76u);
  EXPECT_GT(static_cast<std::uint8_t>(bytes[72]), 0) << "no DIFAT sector";
  StructureCheck check(bytes);
  EXPECT_EQ(check.Faults(), std::vector<std::string>{});
  const auto read = ReadCompoundFile(path);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->streams.at("big") == big);
  EXPECT_EQ(read->streams.at("small"), "abc");
}

// Names a reader could not tell apart or store, misuse of the stream calls, and a disk that
// takes nothing: each an error with its cause, never a file that claims to be whole.
TEST_F(CompoundFileTest, RefusesWhatItCannotWriteAndReportsTheDisk) {
  const auto path = dir_.path() / "bad.cfb";
  const auto refused = [&](const std::function<Status(CompoundFileWriter&)>& build) {
    const Status written = WriteFile(path, build);
    return written ? std::string() : written.error().message();
  };
  EXPECT_NE(refused([](CompoundFileWriter& file) {
              return file.AddStream(CompoundFileWriter::kRoot, std::string(32, 'n'), {});
            }),
            "");
  EXPECT_NE(refused([](CompoundFileWriter& file) {
              return file.AddStream(CompoundFileWriter::kRoot, "", {});
            }),
            "");
  EXPECT_NE(refused([](CompoundFileWriter& file) -> Status {
              if (Status added = file.AddStream(CompoundFileWriter::kRoot, "Same", {}); !added) {
                return added;
              }
              return file.AddStream(CompoundFileWriter::kRoot, "sAME", {});
            }).find("two entries named"),
            std::string::npos);
  EXPECT_NE(refused([](CompoundFileWriter& file) -> Status {
              if (Status opened = file.OpenStream(CompoundFileWriter::kRoot, "a"); !opened) {
                return opened;
              }
              return file.OpenStream(CompoundFileWriter::kRoot, "b");
            }),
            "");
  EXPECT_NE(refused([](CompoundFileWriter& file) { return file.Append(AsBytes("x")); }), "");
  EXPECT_NE(refused([](CompoundFileWriter& file) -> Status {
              if (Status added = file.AddStream(CompoundFileWriter::kRoot, "s", {}); !added) {
                return added;
              }
              // Entry 1 is the stream just added: it cannot hold entries.
              Result<CompoundFileWriter::Entry> storage = file.AddStorage(1, "x");
              if (!storage) return storage.error();
              return {};
            }),
            "");
  // A name of 31 UTF-16 units (some outside ASCII) is the longest allowed.
  EXPECT_EQ(refused([](CompoundFileWriter& file) {
              return file.AddStream(CompoundFileWriter::kRoot, "\xC3\xA9" + std::string(30, 'n'),
                                    AsBytes("ok"));
            }),
            "");

  FilePtr full(std::fopen("/dev/full", "wb"));
  if (!full) GTEST_SKIP() << "no /dev/full";
  std::setvbuf(full.get(), nullptr, _IONBF, 0);
  CompoundFileWriter writer(full.get());
  const Status added =
      writer.AddStream(CompoundFileWriter::kRoot, "big", AsBytes(Pattern(9000, 1)));
  ASSERT_FALSE(added);
  EXPECT_NE(added.error().message().find(ErrnoText(ENOSPC)), std::string::npos)
      << added.error().message();
  EXPECT_FALSE(writer.Finish()) << "a failed write must not finish as whole";
}

}  // namespace
}  // namespace bm::test
