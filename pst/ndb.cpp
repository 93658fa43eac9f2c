#include "pst/ndb.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pst/format.h"

namespace pst::ndb {
namespace fmt = pst::format;
using bm::Status;

namespace {

// Deepest B-tree and data-tree nesting a sound store can have; deeper is damage.
constexpr int kMaxBtreeLevels = 10;
constexpr int kMaxSubnodeLevels = 4;
constexpr std::uint64_t kBidMask = ~std::uint64_t{1};  // the low bit is reserved, ignored

const fmt::Layout& LayoutOf(bool unicode) {
  return fmt::LayoutOf(unicode ? fmt::Format::kUnicode : fmt::Format::kAnsi);
}

Error Truncated(std::uint64_t offset, std::size_t size, std::uint64_t file_size) {
  return Error("truncated: " + std::to_string(size) + " bytes at offset " + Hex(offset) +
               " lie beyond the end of the file (" + std::to_string(file_size) + " bytes)");
}

}  // namespace

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

// ---- File -------------------------------------------------------------------------------

Result<std::unique_ptr<File>> File::Open(const std::filesystem::path& path, bool memory_map) {
  std::unique_ptr<File> file(new File());
  file->fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file->fd_ < 0) return Error("cannot open " + path.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(file->fd_, &st) != 0) {
    return Error("cannot read " + path.string() + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) return Error(path.string() + " is not a regular file");
  file->size_ = static_cast<std::uint64_t>(st.st_size);
  if (memory_map && file->size_ > 0) {
    void* map = ::mmap(nullptr, file->size_, PROT_READ, MAP_SHARED, file->fd_, 0);
    if (map != MAP_FAILED) file->map_ = static_cast<const std::uint8_t*>(map);
  }
  return file;
}

File::~File() {
  if (map_ != nullptr) ::munmap(const_cast<std::uint8_t*>(map_), size_);
  if (fd_ >= 0) ::close(fd_);
}

Status File::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset > size_ || out.size() > size_ - offset) return Truncated(offset, out.size(), size_);
  if (map_ != nullptr) {
    std::memcpy(out.data(), map_ + offset, out.size());
    return {};
  }
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Error(std::string("read failed: ") + std::strerror(errno));
    if (n == 0) return Truncated(offset, out.size(), size_);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

// ---- Header -----------------------------------------------------------------------------

Result<Header> ReadHeader(const File& file, const std::function<void(const std::string&)>& warn) {
  std::uint8_t h[fmt::kHeaderSize];
  if (file.size() < fmt::kHeaderSize) return Error("not a PST file (shorter than its header)");
  if (auto read = file.ReadAt(0, h); !read) return read.error();
  if (std::memcmp(h, "!BDN", 4) != 0) return Error("not a PST file");
  if (h[8] != 'S' || h[9] != 'M') return Error("not a PST file (wrong client magic)");
  const std::uint16_t version = fmt::Get16(h + 10);
  Header header;
  if (version == 36) return Error("a 4 KB-page store (OST 2013) is not supported yet");
  if (version == 14 || version == 15) {
    header.format = FileFormat::kAnsi;
  } else if (version >= 23 && version < 36) {
    header.format = FileFormat::kUnicode;
  } else {
    return Error("not a readable PST file (unknown format version " + std::to_string(version) +
                 ")");
  }
  const fmt::Layout& layout = LayoutOf(header.format == FileFormat::kUnicode);
  if (fmt::Crc(std::span<const std::uint8_t>(h + 8, 471)) != fmt::Get32(h + 4) && warn) {
    warn("the header's checksum is wrong");
  }
  const std::uint8_t* root = h + layout.header_root;
  header.file_eof = layout.GetId(root + layout.root_file_eof);
  header.nbt = {layout.GetId(root + layout.root_nbt),
                layout.GetId(root + layout.root_nbt + layout.id_size)};
  header.bbt = {layout.GetId(root + layout.root_bbt),
                layout.GetId(root + layout.root_bbt + layout.id_size)};
  const std::uint8_t crypt = h[layout.header_crypt_method];
  if (crypt > fmt::kCryptCyclic) return Error("unknown encryption method " + std::to_string(crypt));
  header.encryption = static_cast<Encryption>(crypt);
  if (header.file_eof > file.size()) {
    return Error("truncated: the header records " + std::to_string(header.file_eof) +
                 " bytes, the file holds " + std::to_string(file.size()));
  }
  return header;
}

// ---- Database ---------------------------------------------------------------------------

Database::Database(std::unique_ptr<File> file, Header header, std::size_t cache_bytes,
                   std::function<void(const std::string&)> warn)
    : file_(std::move(file)),
      header_(header),
      warn_(std::move(warn)),
      shard_pages_(std::max<std::size_t>(cache_bytes / fmt::kPageSize / kCacheShards, 4)) {}

Database::CacheShard& Database::ShardOf(std::uint64_t key) const {
  // Pages lie on 512-byte boundaries: the bits above them spread the pages over the shards.
  return shards_[(key >> 10) % kCacheShards];
}

void Database::Warn(const std::string& text) const {
  if (warn_) warn_(text);
}

void Database::SoftFault(const std::string& text) const {
  Warn(text);
  SoftFaultScope::Note(text);
}

std::uint64_t Database::ReadId(const std::uint8_t* p) const {
  return unicode() ? fmt::Get64(p) : fmt::Get32(p);
}

Bref Database::ReadBref(const std::uint8_t* p) const {
  const std::size_t n = LayoutOf(unicode()).id_size;
  return {ReadId(p), ReadId(p + n)};
}

Result<std::shared_ptr<const Database::Page>> Database::ReadPage(const Bref& ref,
                                                                 std::uint8_t type) const {
  const Bref& root = type == fmt::kPageNbt ? header_.nbt : header_.bbt;
  if (ref.ib == root.ib && ref.bid == root.bid) {
    PinnedRoot& pinned = type == fmt::kPageNbt ? nbt_root_ : bbt_root_;
    std::call_once(pinned.loaded, [&] {
      if (auto page = LoadPage(ref, type)) pinned.page = std::move(*page);
    });
    if (pinned.page) return pinned.page;
  }
  return CachedPage(ref, type);
}

Result<std::shared_ptr<const Database::Page>> Database::CachedPage(const Bref& ref,
                                                                   std::uint8_t type) const {
  // Keyed by offset and tree: damage that points one tree at the other's page must not get
  // a page checked as the other kind.
  const std::uint64_t key = ref.ib << 1 | (type == fmt::kPageNbt ? 1 : 0);
  CacheShard& shard = ShardOf(key);
  {
    std::lock_guard lock(shard.mutex);
    if (auto it = shard.pages.find(key); it != shard.pages.end()) {
      shard.order.splice(shard.order.begin(), shard.order, it->second.position);
      return it->second.page;
    }
  }
  auto page = LoadPage(ref, type);
  if (!page) return page;
  std::lock_guard lock(shard.mutex);
  if (shard.pages.find(key) == shard.pages.end()) {
    shard.order.push_front(key);
    shard.pages.emplace(key, Cached{*page, shard.order.begin()});
    while (shard.pages.size() > shard_pages_) {
      shard.pages.erase(shard.order.back());
      shard.order.pop_back();
    }
  }
  return page;
}

Result<std::shared_ptr<const Database::Page>> Database::LoadPage(const Bref& ref,
                                                                 std::uint8_t type) const {
  const char* tree = type == fmt::kPageNbt ? "node B-tree" : "block B-tree";
  // Error context is built only on the way out: these run for every page and block read.
  const auto where = [&] { return std::string(tree) + " page at " + Hex(ref.ib); };
  if (ref.ib < fmt::kFirstAMapOffset) return Error(where() + ": inside the header");
  std::uint8_t raw[fmt::kPageSize];
  if (auto read = file_->ReadAt(ref.ib, raw); !read) return read.error().Within(where());
  const fmt::Layout& layout = LayoutOf(unicode());
  const std::uint8_t* trailer = raw + layout.page_data_size;
  if (trailer[0] != type || trailer[1] != type) return Error(where() + ": wrong page type");
  const std::uint64_t bid = layout.GetId(trailer + layout.page_trailer_bid);
  const std::uint32_t crc = fmt::Get32(trailer + layout.page_trailer_crc);
  if (bid != ref.bid) return Error(where() + ": its id " + Hex(bid) + " is not " + Hex(ref.bid));
  if (fmt::Crc(std::span<const std::uint8_t>(raw, layout.page_data_size)) != crc) {
    Warn(where() + ": wrong checksum");
  }
  if (fmt::Get16(trailer + 2) != fmt::Signature(ref.ib, ref.bid))
    Warn(where() + ": wrong signature");
  auto page = std::make_shared<Page>();
  const std::uint8_t* info = raw + layout.bt_entries_size;
  page->count = info[0];
  page->entry_size = info[2];
  page->level = info[3];
  const std::size_t leaf_size =
      type == fmt::kPageNbt ? layout.nbt_entry_size : layout.bbt_entry_size;
  const std::size_t need = page->level == 0 ? leaf_size : layout.bt_branch_entry_size;
  if (page->entry_size < need ||
      std::size_t{page->count} * page->entry_size > layout.bt_entries_size) {
    return Error(where() + ": impossible entry count or size");
  }
  if (page->level > kMaxBtreeLevels) return Error(where() + ": impossible depth");
  page->entries.assign(raw, raw + std::size_t{page->count} * page->entry_size);
  return std::shared_ptr<const Page>(std::move(page));
}

Result<Bytes> Database::Lookup(const Bref& root, std::uint8_t type, std::uint64_t key) const {
  const std::uint64_t mask = type == fmt::kPageBbt ? kBidMask : ~std::uint64_t{0};
  key &= mask;
  Bref ref = root;
  int expected_level = -1;
  for (int step = 0; step <= kMaxBtreeLevels; ++step) {
    auto page = ReadPage(ref, type);
    if (!page) return page.error();
    const Page& p = **page;
    if (expected_level >= 0 && p.level != expected_level) {
      return Error("B-tree page at " + Hex(ref.ib) + ": wrong level");
    }
    // The last entry whose key is not above the key sought.
    int found = -1;
    for (int i = 0; i < p.count; ++i) {
      const std::uint64_t k = ReadId(&p.entries[std::size_t(i) * p.entry_size]) & mask;
      if (k > key) break;
      found = i;
    }
    if (found < 0) return Error("not found");
    const std::uint8_t* entry = &p.entries[std::size_t(found) * p.entry_size];
    if (p.level == 0) {
      if ((ReadId(entry) & mask) != key) return Error("not found");
      return Bytes(entry, entry + p.entry_size);
    }
    ref = ReadBref(entry + LayoutOf(unicode()).id_size);
    expected_level = p.level - 1;
  }
  return Error("B-tree too deep");
}

Result<NodeEntry> Database::FindNode(std::uint32_t nid) const {
  auto entry = Lookup(header_.nbt, fmt::kPageNbt, nid);
  if (!entry) return Error("node " + Hex(nid) + ": " + entry.error().message());
  const std::uint8_t* p = entry->data();
  const std::size_t n = LayoutOf(unicode()).id_size;
  NodeEntry node;
  node.nid = static_cast<std::uint32_t>(ReadId(p));
  node.bid_data = ReadId(p + n);
  node.bid_sub = ReadId(p + 2 * n);
  node.parent = fmt::Get32(p + 3 * n);
  return node;
}

Result<std::vector<NodeEntry>> Database::AllNodes() const {
  std::vector<NodeEntry> nodes;
  // Every page is visited once at most in a sound tree; a damaged one that shares pages could
  // otherwise make the walk explode.
  std::uint64_t budget = file_->size() / fmt::kPageSize + 1;
  struct Pending {
    Bref ref;
    int level;
  };
  std::vector<Pending> stack{{header_.nbt, -1}};
  const std::size_t n = LayoutOf(unicode()).id_size;
  while (!stack.empty()) {
    const Pending next = stack.back();
    stack.pop_back();
    if (budget-- == 0) return Error("node B-tree: more pages than the file can hold");
    auto page = LoadPage(next.ref, fmt::kPageNbt);
    if (!page) return page.error();
    const Page& p = **page;
    if (next.level >= 0 && p.level != next.level) {
      return Error("node B-tree page at " + Hex(next.ref.ib) + ": wrong level");
    }
    if (p.level == 0) {
      for (int i = 0; i < p.count; ++i) {
        const std::uint8_t* e = &p.entries[std::size_t(i) * p.entry_size];
        nodes.push_back({static_cast<std::uint32_t>(ReadId(e)), fmt::Get32(e + 3 * n),
                         ReadId(e + n), ReadId(e + 2 * n)});
      }
      continue;
    }
    for (int i = p.count - 1; i >= 0; --i) {
      stack.push_back({ReadBref(&p.entries[std::size_t(i) * p.entry_size] + n), p.level - 1});
    }
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
  nodes.erase(std::unique(nodes.begin(), nodes.end(),
                          [](const NodeEntry& a, const NodeEntry& b) { return a.nid == b.nid; }),
              nodes.end());
  return nodes;
}

Result<Database::BbtEntry> Database::FindBlock(std::uint64_t bid) const {
  auto entry = Lookup(header_.bbt, fmt::kPageBbt, bid);
  if (!entry) return Error("block " + Hex(bid) + ": " + entry.error().message());
  const std::size_t n = LayoutOf(unicode()).id_size;
  return BbtEntry{ReadId(entry->data() + n), fmt::Get16(entry->data() + 2 * n)};
}

Result<Bytes> Database::ReadBlock(std::uint64_t bid) const {
  auto found = FindBlock(bid);
  if (!found) return found.error();
  const auto where = [bid] { return "block " + Hex(bid); };
  const fmt::Layout& layout = LayoutOf(unicode());
  if (found->size > layout.max_block_data) return Error(where() + ": impossible size");
  const std::size_t stored = layout.block_size(found->size);
  Bytes block(stored);
  if (auto read = file_->ReadAt(found->ib, block); !read) return read.error().Within(where());
  const std::uint8_t* trailer = block.data() + stored - layout.block_trailer_size;
  const std::uint16_t cb = fmt::Get16(trailer);
  const std::uint16_t signature = fmt::Get16(trailer + 2);
  const std::uint64_t trailer_bid = layout.GetId(trailer + layout.block_trailer_bid);
  const std::uint32_t crc = fmt::Get32(trailer + layout.block_trailer_crc);
  if (cb != found->size) return Error(where() + ": its size disagrees with the block B-tree");
  if ((trailer_bid & kBidMask) != (bid & kBidMask)) {
    return Error(where() + ": the block at " + Hex(found->ib) + " is " + Hex(trailer_bid));
  }
  block.resize(cb);
  // Such a block is still read, as what it holds is mostly right; the item reading it is
  // told, so it is not passed off as read whole.
  if (fmt::Crc(block) != crc) SoftFault(where() + ": wrong checksum");
  if (signature != fmt::Signature(found->ib, trailer_bid)) SoftFault(where() + ": wrong signature");
  const bool internal = (bid & fmt::kBidInternal) != 0;
  if (!internal) {
    if (header_.encryption == Encryption::kPermute) {
      fmt::Decode(block);
    } else if (header_.encryption == Encryption::kCyclic) {
      fmt::CyclicDecode(block, static_cast<std::uint32_t>(bid));
    }
  }
  return block;
}

Status Database::CollectLeaves(std::uint64_t bid, int depth, std::vector<BlockRef>& out) const {
  if ((bid & fmt::kBidInternal) == 0) {
    auto found = FindBlock(bid);
    if (!found) return found.error();
    out.push_back({bid, found->size});
    return {};
  }
  const auto where = [bid] { return "data tree block " + Hex(bid); };
  if (depth >= 2) return Error(where() + ": nested too deep");
  auto block = ReadBlock(bid);
  if (!block) return block.error();
  const Bytes& b = *block;
  if (b.size() < 8 || b[0] != 0x01) return Error(where() + ": not an XBLOCK");
  const int level = b[1];
  const std::size_t count = fmt::Get16(&b[2]);
  const std::size_t n = LayoutOf(unicode()).id_size;
  if (level < 1 || level > 2 || (depth > 0 && level != 1)) return Error(where() + ": wrong level");
  if (8 + count * n > b.size()) return Error(where() + ": entry count exceeds the block");
  const std::size_t first = out.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t child = ReadId(&b[8 + i * n]);
    if (level == 1 && (child & fmt::kBidInternal) != 0) {
      return Error(where() + ": a data entry is an internal block");
    }
    if (level == 2 && (child & fmt::kBidInternal) == 0) {
      return Error(where() + ": an XXBLOCK entry is not an XBLOCK");
    }
    if (auto status = CollectLeaves(child, depth + 1, out); !status) return status;
  }
  std::uint64_t total = 0;
  for (std::size_t i = first; i < out.size(); ++i) total += out[i].size;
  if (total != fmt::Get32(&b[4])) {
    return Error(where() + ": its blocks hold " + std::to_string(total) + " bytes, it records " +
                 std::to_string(fmt::Get32(&b[4])));
  }
  return {};
}

Result<std::vector<BlockRef>> Database::DataBlocks(std::uint64_t bid) const {
  std::vector<BlockRef> blocks;
  if (auto status = CollectLeaves(bid, 0, blocks); !status) return status.error();
  return blocks;
}

Result<std::vector<Bytes>> Database::ReadDataBlocks(std::uint64_t bid) const {
  auto refs = DataBlocks(bid);
  if (!refs) return refs.error();
  std::vector<Bytes> blocks;
  blocks.reserve(refs->size());
  for (const BlockRef& ref : *refs) {
    auto block = ReadBlock(ref.bid);
    if (!block) return block.error();
    blocks.push_back(std::move(*block));
  }
  return blocks;
}

Result<Bytes> Database::ReadData(std::uint64_t bid) const {
  auto refs = DataBlocks(bid);
  if (!refs) return refs.error();
  std::uint64_t total = 0;
  for (const BlockRef& ref : *refs) total += ref.size;
  if (total > file_->size()) return Error("data tree " + Hex(bid) + ": larger than the file");
  Bytes data;
  data.reserve(total);
  for (const BlockRef& ref : *refs) {
    auto block = ReadBlock(ref.bid);
    if (!block) return block.error();
    data.insert(data.end(), block->begin(), block->end());
  }
  return data;
}

Status Database::CollectSubnodes(std::uint64_t bid, int depth,
                                 std::vector<SubnodeEntry>& out) const {
  const auto where = [bid] { return "subnode block " + Hex(bid); };
  if (depth > kMaxSubnodeLevels) return Error(where() + ": nested too deep");
  if ((bid & fmt::kBidInternal) == 0) return Error(where() + ": not an internal block");
  auto block = ReadBlock(bid);
  if (!block) return block.error();
  const Bytes& b = *block;
  if (b.size() < 4 || b[0] != 0x02) return Error(where() + ": not an SLBLOCK or SIBLOCK");
  const int level = b[1];
  const std::size_t count = fmt::Get16(&b[2]);
  const std::size_t n = LayoutOf(unicode()).id_size;
  const std::size_t start = LayoutOf(unicode()).sl_header;
  const std::size_t entry = level == 0 ? 3 * n : 2 * n;
  if (level > 1 || (depth > 0 && level != 0)) return Error(where() + ": wrong level");
  if (start + count * entry > b.size()) return Error(where() + ": entry count exceeds the block");
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = &b[start + i * entry];
    if (level == 0) {
      out.push_back({static_cast<std::uint32_t>(ReadId(e)), ReadId(e + n), ReadId(e + 2 * n)});
    } else if (auto status = CollectSubnodes(ReadId(e + n), depth + 1, out); !status) {
      return status;
    }
  }
  return {};
}

Result<std::vector<SubnodeEntry>> Database::ReadSubnodes(std::uint64_t bid) const {
  std::vector<SubnodeEntry> entries;
  if (bid == 0) return entries;
  if (auto status = CollectSubnodes(bid, 0, entries); !status) return status.error();
  std::sort(entries.begin(), entries.end(),
            [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
  return entries;
}

}  // namespace pst::ndb
