#include "tools/pstgen/checker.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "pst/format.h"

namespace pstgen {
namespace {

namespace fmt = pst::format;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxProblems = 200;
constexpr std::size_t kMapBytes = 496;  // bitmap of every AMap
constexpr std::uint32_t kTagObjectData = 0x3701000D;

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

struct BlockInfo {
  std::uint64_t ib = 0;
  std::uint16_t cb = 0;
};

struct NodeInfo {
  std::uint64_t bid_data = 0;
  std::uint64_t bid_sub = 0;
  std::uint32_t parent = 0;
};

using Subnodes = std::map<std::uint32_t, NodeInfo>;  // parent unused

struct Heap {
  std::vector<Bytes> blocks;
  std::vector<std::vector<std::uint16_t>> offsets;  // per block: start of each allocation, then end
  std::uint8_t client = 0;
  std::uint32_t user_root = 0;
};

struct PcValue {
  std::uint16_t type = 0;
  Bytes data;
};
using Pc = std::map<std::uint16_t, PcValue>;

struct TcColumn {
  std::uint32_t tag;
  std::uint16_t offset;
  std::uint8_t size;
  std::uint8_t bit;
};

struct Tc {
  std::vector<TcColumn> columns;
  std::vector<Bytes> rows;
  std::uint32_t RowId(std::size_t i) const { return fmt::Get32(rows[i].data()); }
};

class Checker {
 public:
  Checker(const std::filesystem::path& path, LayoutMap* map)
      : path_(path), file_(path, std::ios::binary), map_(map) {
    if (!file_) throw std::runtime_error("cannot open " + path.string());
    file_size_ = std::filesystem::file_size(path);
    if (map_ != nullptr) map_->file_size = file_size_;
  }

  CheckReport Run() {
    if (!CheckHeader()) return std::move(report_);
    WalkBtree(nbt_root_, fmt::kPageNbt);
    WalkBtree(bbt_root_, fmt::kPageBbt);
    if (l_->has_dlist) CheckDensityList();
    RecordLayout();
    report_.nodes = nodes_.size();
    report_.blocks = blocks_.size();
    CheckIdCounters();
    CheckAllocationMaps();
    CheckNodes();
    return std::move(report_);
  }

 private:
  struct Ref {
    std::uint64_t bid;
    std::uint64_t ib;
  };

  void Problem(std::string text) {
    if (report_.problems.size() < kMaxProblems) report_.problems.push_back(std::move(text));
  }

  std::optional<Bytes> ReadAt(std::uint64_t offset, std::size_t size) {
    if (offset > file_size_ || size > file_size_ - offset) return std::nullopt;
    Bytes bytes(size);
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!file_) return std::nullopt;
    return bytes;
  }

  // ---- NDB ----

  bool CheckHeader() {
    const auto header = ReadAt(0, fmt::kAnsiLayout.header_size);
    if (!header) {
      Problem("file shorter than a header");
      return false;
    }
    const Bytes& first = *header;
    if (std::memcmp(first.data(), "!BDN", 4) != 0 || first[8] != 'S' || first[9] != 'M') {
      Problem("bad header magic");
      return false;
    }
    const std::uint16_t version = fmt::Get16(&first[fmt::kHeaderVersionOffset]);
    if (version >= fmt::kMinUnicodeVersion) {
      l_ = &fmt::kUnicodeLayout;
    } else if (version >= 14 && version <= fmt::kMaxAnsiVersion) {
      l_ = &fmt::kAnsiLayout;
    } else {
      Problem("unknown format (wVer " + std::to_string(version) + ")");
      return false;
    }
    const fmt::Layout& l = *l_;
    const auto full = ReadAt(0, l.header_size);
    if (!full) {
      Problem("file shorter than a header");
      return false;
    }
    const Bytes& h = *full;
    if (fmt::Get32(&h[4]) != fmt::Crc(std::span(&h[8], fmt::kHeaderCrcPartialSize)))
      Problem("header partial CRC wrong");
    if (l.header_crc_full != 0 &&
        fmt::Get32(&h[l.header_crc_full]) != fmt::Crc(std::span(&h[8], l.header_crc_full_size)))
      Problem("header full CRC wrong");
    if (h[l.header_sentinel] != 0x80) Problem("header sentinel wrong");
    crypt_ = h[l.header_crypt_method];
    if (crypt_ > fmt::kCryptCyclic) Problem("unsupported encryption " + std::to_string(crypt_));
    if (map_ != nullptr) {
      map_->layout = l_;
      map_->encryption = crypt_;
    }
    next_page_bid_ = l.GetId(&h[l.header_next_page_bid]);
    next_bid_ = l.GetId(&h[l.header_next_bid]);
    for (int i = 0; i < 32; ++i)
      next_nid_index_[i] = fmt::Get32(&h[l.header_nid_high_water + 4 * i]);
    const std::uint8_t* root = &h[l.header_root];
    eof_ = l.GetId(root + l.root_file_eof);
    amap_last_ = l.GetId(root + l.root_amap_last);
    amap_free_ = l.GetId(root + l.root_amap_free);
    nbt_root_ = {l.GetId(root + l.root_nbt), l.GetId(root + l.root_nbt + l.id_size)};
    bbt_root_ = {l.GetId(root + l.root_bbt), l.GetId(root + l.root_bbt + l.id_size)};
    const std::uint8_t amap_valid = root[l.root_amap_valid];
    if (amap_valid != 1 && amap_valid != 2) Problem("AMaps not marked valid");
    if (eof_ != file_size_)
      Problem("ibFileEof " + Hex(eof_) + " differs from file size " + Hex(file_size_));
    if (eof_ < fmt::kFirstAMapOffset || (eof_ - fmt::kFirstAMapOffset) % fmt::kAMapCoverage != 0) {
      Problem("file does not end on an AMap boundary");
    }
    return true;
  }

  void WalkBtree(Ref root, std::uint8_t type) {
    int depth = -1;
    std::uint64_t last_key = 0;
    bool first = true;
    WalkPage(root, type, -1, std::nullopt, depth, last_key, first, 0, std::nullopt);
    if (type == fmt::kPageNbt)
      report_.nbt_levels = depth;
    else
      report_.bbt_levels = depth;
  }

  void WalkPage(Ref ref, std::uint8_t type, int expected_level, std::optional<std::uint64_t> key,
                int& root_level, std::uint64_t& last_key, bool& first, int guard,
                std::optional<std::uint64_t> parent) {
    const fmt::Layout& l = *l_;
    const std::string where = "page " + Hex(ref.bid) + " at " + Hex(ref.ib);
    // A page met twice is a cycle (or a page shared by two parents): walking it again could
    // go on forever.
    if (guard > 16 || !visited_pages_.insert(ref.ib).second) {
      Problem(where + ": B-tree cycle or shared page");
      return;
    }
    const auto page = ReadAt(ref.ib, fmt::kPageSize);
    if (!page || ref.ib % fmt::kPageSize != 0) {
      Problem(where + ": outside the file or misaligned");
      return;
    }
    const Bytes& p = *page;
    const std::uint8_t* trailer = &p[l.page_data_size];
    if (trailer[0] != type || trailer[1] != type) Problem(where + ": wrong page type");
    if (fmt::Get16(trailer + 2) != fmt::Signature(ref.ib, ref.bid))
      Problem(where + ": wrong signature");
    if (fmt::Get32(trailer + l.page_trailer_crc) != fmt::Crc(std::span(p.data(), l.page_data_size)))
      Problem(where + ": wrong CRC");
    if (l.GetId(trailer + l.page_trailer_bid) != ref.bid)
      Problem(where + ": trailer BID differs from its reference");
    if (ref.bid >= next_page_bid_) Problem(where + ": page BID not below bidNextP");
    pages_.push_back(ref.ib);
    const std::uint8_t* counts = &p[l.bt_entries_size];
    const std::size_t count = counts[0];
    const std::size_t max = counts[1];
    const std::size_t entry_size = counts[2];
    const int level = counts[3];
    if (map_ != nullptr) {
      map_->pages.push_back({type == fmt::kPageNbt ? "nbt" : "bbt", ref.bid, ref.ib, level,
                             static_cast<int>(count), parent});
    }
    if (expected_level < 0) {
      root_level = level;
    } else if (level != expected_level) {
      Problem(where + ": level " + std::to_string(level) + " where " +
              std::to_string(expected_level) + " expected");
      return;
    }
    const std::size_t want_size =
        level > 0 ? l.bt_branch_entry_size
                  : (type == fmt::kPageNbt ? l.nbt_entry_size : l.bbt_entry_size);
    if (entry_size != want_size || max != l.bt_max_entries(want_size) || count > max) {
      Problem(where + ": bad entry size or count");
      return;
    }
    const std::size_t id = l.id_size;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* e = &p[i * entry_size];
      const std::uint64_t k = l.GetId(e);
      if (i == 0 && key && *key != k) Problem(where + ": first key differs from the parent's key");
      if (level > 0) {
        WalkPage({l.GetId(e + id), l.GetId(e + 2 * id)}, type, level - 1, k, root_level, last_key,
                 first, guard + 1, ref.ib);
        continue;
      }
      if (!first && k <= last_key) Problem(where + ": keys out of order at " + Hex(k));
      first = false;
      last_key = k;
      const std::uint64_t entry_offset = ref.ib + i * entry_size;
      if (type == fmt::kPageNbt) {
        const NodeInfo node{l.GetId(e + id), l.GetId(e + 2 * id), fmt::Get32(e + 3 * id)};
        nodes_[static_cast<std::uint32_t>(k)] = node;
        node_entries_[static_cast<std::uint32_t>(k)] = entry_offset;
      } else {
        const std::uint64_t ib = l.GetId(e + id);
        if (ib == 0) Problem("block " + Hex(k) + " at offset 0");
        blocks_[k] = {ib, fmt::Get16(e + 2 * id)};
        block_entries_[k] = entry_offset;
        if (fmt::Get16(e + 2 * id + 2) == 0) Problem("block " + Hex(k) + " has no references");
      }
    }
  }

  void RecordLayout() {
    if (map_ == nullptr) return;
    for (const auto& [nid, node] : nodes_) {
      map_->nodes.push_back({nid, node.parent, node.bid_data, node.bid_sub, node_entries_[nid]});
    }
    for (const auto& [bid, info] : blocks_) {
      map_->blocks.push_back({bid, info.ib, info.cb, block_entries_[bid]});
    }
    std::sort(map_->blocks.begin(), map_->blocks.end(),
              [](const LayoutMap::Block& a, const LayoutMap::Block& b) { return a.bid < b.bid; });
  }

  // The density list is optional (Outlook 2003 writes none), but one that is there must be sound.
  void CheckDensityList() {
    const auto page = ReadAt(fmt::kDListOffset, fmt::kPageSize);
    if (!page) return;
    const fmt::Layout& l = *l_;
    const std::uint8_t* trailer = &(*page)[l.page_data_size];
    if (trailer[0] != fmt::kPageDList) return;
    const std::uint64_t bid = l.GetId(trailer + l.page_trailer_bid);
    if (trailer[1] != fmt::kPageDList ||
        fmt::Get16(trailer + 2) != fmt::Signature(fmt::kDListOffset, bid) ||
        fmt::Get32(trailer + l.page_trailer_crc) !=
            fmt::Crc(std::span(page->data(), l.page_data_size))) {
      Problem("density list page trailer wrong");
    }
    if ((*page)[1] > 119) Problem("density list holds too many entries");
  }

  void CheckIdCounters() {
    for (const auto& [bid, info] : blocks_) {
      if (bid >= next_bid_) Problem("block " + Hex(bid) + " not below bidNextB");
    }
    for (const auto& [nid, info] : nodes_) {
      const std::uint32_t type = fmt::NidType(nid);
      const bool allocated =
          type == fmt::kNidTypeNormalFolder || type == fmt::kNidTypeSearchFolder ||
          type == fmt::kNidTypeNormalMessage || type == fmt::kNidTypeAssocMessage;
      if (allocated && fmt::NidIndex(nid) >= 0x400 && fmt::NidIndex(nid) > next_nid_index_[type]) {
        Problem("node " + Hex(nid) + " not below the header's next id for its type");
      }
    }
  }

  void CheckAllocationMaps() {
    // Sized by the real file, whatever the header claims.
    const std::uint64_t mapped_end = std::min(eof_, file_size_);
    if (mapped_end < fmt::kFirstAMapOffset) return;
    const std::uint64_t amap_count = (mapped_end - fmt::kFirstAMapOffset) / fmt::kAMapCoverage;
    std::vector<std::uint8_t> expected(amap_count * kMapBytes, 0);
    const auto mark = [&](std::uint64_t offset, std::uint64_t size, const std::string& what) {
      if (offset < fmt::kFirstAMapOffset || offset + size > fmt::AMapOffset(amap_count)) {
        Problem(what + " lies outside the mapped area");
        return;
      }
      for (std::uint64_t slot = (offset - fmt::kFirstAMapOffset) / fmt::kSlotSize;
           slot <= (offset + size - 1 - fmt::kFirstAMapOffset) / fmt::kSlotSize; ++slot) {
        const auto bit = static_cast<std::uint8_t>(0x80u >> (slot % 8));
        if (expected[slot / 8] & bit) {
          Problem(what + " overlaps other data");
          return;
        }
        expected[slot / 8] |= bit;
      }
    };
    for (std::uint64_t amap = 0; amap < amap_count; ++amap) {
      mark(fmt::AMapOffset(amap), fmt::MapPagesOf(amap).count() * fmt::kPageSize,
           "map pages " + Hex(amap));
    }
    for (const std::uint64_t ib : pages_) mark(ib, fmt::kPageSize, "page at " + Hex(ib));
    for (const auto& [bid, info] : blocks_) {
      if (info.ib % fmt::kSlotSize != 0) Problem("block " + Hex(bid) + " misaligned");
      mark(info.ib, l_->block_size(info.cb), "block " + Hex(bid));
    }
    std::uint64_t free_bytes = 0;
    for (std::uint64_t amap = 0; amap < amap_count; ++amap) {
      const std::uint64_t at = fmt::AMapOffset(amap);
      const auto page = CheckMapPage(at, fmt::kPageAMap, "AMap");
      if (!page) continue;
      bool misses = false;
      const std::uint8_t* bits = page->data() + l_->amap_bits;
      for (std::size_t i = 0; i < kMapBytes; ++i) {
        const std::uint8_t used = expected[amap * kMapBytes + i];
        const std::uint8_t marked = bits[i];
        misses |= (used & ~marked) != 0;
        report_.leaked_bytes +=
            std::popcount(static_cast<unsigned>(marked & ~used)) * fmt::kSlotSize;
      }
      if (misses) Problem("AMap at " + Hex(at) + " leaves blocks or pages in use unallocated");
      for (std::size_t i = 0; i < kMapBytes; ++i) {
        free_bytes += (8 - std::popcount(static_cast<unsigned>(bits[i]))) * fmt::kSlotSize;
      }
      const fmt::MapPages pages = fmt::MapPagesOf(amap);
      std::uint64_t next = at + fmt::kPageSize;
      if (pages.pmap) {
        CheckMapPage(next, fmt::kPagePMap, "PMap");
        next += fmt::kPageSize;
      }
      if (pages.fmap) {
        CheckMapPage(next, fmt::kPageFMap, "FMap");
        next += fmt::kPageSize;
      }
      if (pages.fpmap) CheckMapPage(next, fmt::kPageFPMap, "FPMap");
    }
    if (free_bytes != amap_free_)
      Problem("cbAMapFree " + Hex(amap_free_) + " but the AMaps show " + Hex(free_bytes));
    if (amap_count > 0 && amap_last_ != fmt::AMapOffset(amap_count - 1))
      Problem("ibAMapLast wrong");
  }

  std::optional<Bytes> CheckMapPage(std::uint64_t at, std::uint8_t type, const char* name) {
    auto page = ReadAt(at, fmt::kPageSize);
    const std::string where = std::string(name) + " at " + Hex(at);
    if (!page) {
      Problem(where + " missing");
      return std::nullopt;
    }
    const fmt::Layout& l = *l_;
    const std::uint8_t* trailer = &(*page)[l.page_data_size];
    if (trailer[0] != type || trailer[1] != type) Problem(where + ": wrong page type");
    if (fmt::Get32(trailer + l.page_trailer_crc) !=
        fmt::Crc(std::span(page->data(), l.page_data_size)))
      Problem(where + ": wrong CRC");
    if (l.GetId(trailer + l.page_trailer_bid) != at)
      Problem(where + ": trailer BID is not its offset");
    return page;
  }

  std::optional<Bytes> ReadBlock(std::uint64_t bid) {
    const auto found = blocks_.find(bid & ~std::uint64_t{1});
    if (found == blocks_.end()) {
      Problem("block " + Hex(bid) + " referenced but not in the block B-tree");
      return std::nullopt;
    }
    const fmt::Layout& l = *l_;
    const BlockInfo& info = found->second;
    const std::size_t size = l.block_size(info.cb);
    auto raw = ReadAt(info.ib, size);
    const std::string where = "block " + Hex(bid) + " at " + Hex(info.ib);
    if (!raw || info.cb > l.max_block_data) {
      Problem(where + ": outside the file or too large");
      return std::nullopt;
    }
    const std::uint8_t* trailer = raw->data() + size - l.block_trailer_size;
    const std::size_t before = report_.problems.size();
    if (fmt::Get16(trailer) != info.cb) Problem(where + ": trailer size differs from the B-tree");
    if (fmt::Get16(trailer + 2) != fmt::Signature(info.ib, bid))
      Problem(where + ": wrong signature");
    if (fmt::Get32(trailer + l.block_trailer_crc) != fmt::Crc(std::span(raw->data(), info.cb)))
      Problem(where + ": wrong CRC");
    if (l.GetId(trailer + l.block_trailer_bid) != bid) Problem(where + ": trailer BID differs");
    if (report_.problems.size() != before) return std::nullopt;
    raw->resize(info.cb);
    if ((bid & fmt::kBidInternal) == 0 && crypt_ == fmt::kCryptPermute) fmt::Decode(*raw);
    if ((bid & fmt::kBidInternal) == 0 && crypt_ == fmt::kCryptCyclic)
      fmt::CyclicDecode(*raw, static_cast<std::uint32_t>(bid));
    return raw;
  }

  // The leaf blocks of a data tree, in order.
  // `first_leaf` receives the BID of the first data block (where a heap starts).
  std::optional<std::vector<Bytes>> ReadDataTree(std::uint64_t bid, int depth = 0,
                                                 std::uint64_t* first_leaf = nullptr) {
    auto block = ReadBlock(bid);
    if (!block) return std::nullopt;
    if ((bid & fmt::kBidInternal) == 0) {
      if (first_leaf != nullptr && *first_leaf == 0) *first_leaf = bid;
      return std::vector<Bytes>{std::move(*block)};
    }
    const Bytes& b = *block;
    const std::size_t id = l_->id_size;
    if (depth > 1 || b.size() < l_->xblock_header || b[0] != 0x01 || b[1] < 1 || b[1] > 2 ||
        b.size() != l_->xblock_header + id * fmt::Get16(&b[2])) {
      Problem("XBLOCK " + Hex(bid) + " malformed");
      return std::nullopt;
    }
    if (map_ != nullptr) map_->data_tree_blocks.push_back(bid);
    std::vector<Bytes> leaves;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < fmt::Get16(&b[2]); ++i) {
      const std::uint64_t child = l_->GetId(&b[l_->xblock_header + id * i]);
      if ((b[1] == 1) == ((child & fmt::kBidInternal) != 0)) {
        Problem("XBLOCK " + Hex(bid) + " child " + Hex(child) + " of the wrong kind");
        return std::nullopt;
      }
      std::optional<std::vector<Bytes>> part;
      if (b[1] == 2) {
        part = ReadDataTree(child, depth + 1, first_leaf);
      } else if (auto leaf = ReadBlock(child)) {
        if (first_leaf != nullptr && *first_leaf == 0) *first_leaf = child;
        part = std::vector<Bytes>{std::move(*leaf)};
      }
      if (!part) return std::nullopt;
      for (auto& leaf : *part) {
        total += leaf.size();
        leaves.push_back(std::move(leaf));
      }
    }
    if (total != fmt::Get32(&b[4]))
      Problem("XBLOCK " + Hex(bid) + " lcbTotal differs from its data");
    return leaves;
  }

  std::optional<Bytes> ReadStream(std::uint64_t bid) {
    if (bid == 0) return Bytes{};  // an empty node, as Outlook writes its idle search queues
    auto leaves = ReadDataTree(bid);
    if (!leaves) return std::nullopt;
    Bytes all;
    for (const Bytes& leaf : *leaves) all.insert(all.end(), leaf.begin(), leaf.end());
    return all;
  }

  std::optional<Subnodes> ReadSubnodes(std::uint64_t bid, int depth = 0) {
    Subnodes subnodes;
    if (bid == 0) return subnodes;
    if ((bid & fmt::kBidInternal) == 0) {
      Problem("subnode tree " + Hex(bid) + " is not an internal block");
      return std::nullopt;
    }
    auto block = ReadBlock(bid);
    if (!block) return std::nullopt;
    const fmt::Layout& l = *l_;
    const Bytes& b = *block;
    const std::size_t header = l.sl_header;
    const std::size_t count = b.size() >= header ? fmt::Get16(&b[2]) : 0;
    const std::size_t entry = b.size() >= header && b[1] == 0 ? l.sl_entry_size : l.si_entry_size;
    if (b.size() < header || b[0] != 0x02 || b[1] > 1 || depth > 1 ||
        b.size() != header + count * entry) {
      Problem("subnode block " + Hex(bid) + " malformed");
      return std::nullopt;
    }
    if (map_ != nullptr) map_->subnode_blocks.push_back(bid);
    const std::size_t id = l.id_size;
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* e = &b[header + i * entry];
      const std::uint32_t nid = fmt::Get32(e);  // in Unicode the upper half is padding
      if (i > 0 && nid <= last) Problem("subnode block " + Hex(bid) + " not sorted");
      last = nid;
      if (b[1] == 0) {
        subnodes[nid] = {l.GetId(e + id), l.GetId(e + 2 * id), 0};
      } else {
        auto child = ReadSubnodes(l.GetId(e + id), depth + 1);
        if (!child) return std::nullopt;
        if (!child->empty() && child->begin()->first != nid)
          Problem("SIBLOCK key differs from its child");
        subnodes.merge(*child);
      }
    }
    return subnodes;
  }

  // ---- LTP ----

  std::optional<Heap> ReadHeap(std::uint64_t bid, const std::string& where) {
    std::uint64_t first_block = 0;
    auto blocks = ReadDataTree(bid, 0, &first_block);
    if (!blocks) return std::nullopt;
    if (map_ != nullptr && first_block != 0) map_->heaps.push_back(first_block);
    Heap heap;
    heap.blocks = std::move(*blocks);
    for (std::size_t i = 0; i < heap.blocks.size(); ++i) {
      const Bytes& b = heap.blocks[i];
      const std::size_t header = i == 0 ? 12 : (i >= 8 && (i - 8) % 128 == 0 ? 66 : 2);
      if (b.size() < header) {
        Problem(where + ": heap block " + std::to_string(i) + " too small");
        return std::nullopt;
      }
      if (i == 0) {
        if (b[2] != fmt::kHeapSignature) {
          Problem(where + ": heap signature wrong");
          return std::nullopt;
        }
        heap.client = b[3];
        heap.user_root = fmt::Get32(&b[4]);
      }
      const std::size_t map = fmt::Get16(b.data());
      if (map + 4 > b.size()) {
        Problem(where + ": heap page map outside block " + std::to_string(i));
        return std::nullopt;
      }
      const std::size_t allocations = fmt::Get16(&b[map]);
      if (map + 4 + 2 * (allocations + 1) > b.size()) {
        Problem(where + ": heap page map truncated");
        return std::nullopt;
      }
      std::vector<std::uint16_t> offsets;
      for (std::size_t k = 0; k <= allocations; ++k) {
        offsets.push_back(fmt::Get16(&b[map + 4 + 2 * k]));
        if (offsets.back() > map || (k == 0 && offsets.back() < header) ||
            (k > 0 && offsets[k] < offsets[k - 1])) {
          Problem(where + ": heap allocation offsets inconsistent");
          return std::nullopt;
        }
      }
      heap.offsets.push_back(std::move(offsets));
    }
    return heap;
  }

  std::optional<Bytes> HeapItem(const Heap& heap, std::uint32_t hid, const std::string& where) {
    const std::size_t block = hid >> 16;
    const std::size_t index = (hid >> 5) & 0x7FF;
    if ((hid & 0x1F) != 0 || block >= heap.blocks.size() || index == 0 ||
        index >= heap.offsets[block].size()) {
      Problem(where + ": HID " + Hex(hid) + " does not exist");
      return std::nullopt;
    }
    const auto& offsets = heap.offsets[block];
    return Bytes(heap.blocks[block].begin() + offsets[index - 1],
                 heap.blocks[block].begin() + offsets[index]);
  }

  std::optional<std::vector<Bytes>> ReadBth(const Heap& heap, std::uint32_t hid, std::size_t key,
                                            std::size_t data, const std::string& where) {
    const auto header = HeapItem(heap, hid, where);
    if (!header) return std::nullopt;
    if (header->size() != 8 || (*header)[0] != fmt::kClientBth || (*header)[1] != key ||
        (*header)[2] != data) {
      Problem(where + ": BTH header wrong");
      return std::nullopt;
    }
    std::vector<Bytes> records;
    const std::uint32_t root = fmt::Get32(&(*header)[4]);
    if (root != 0 &&
        !ReadBthLevel(heap, root, (*header)[3], key, data, std::nullopt, records, where)) {
      return std::nullopt;
    }
    for (std::size_t i = 1; i < records.size(); ++i) {
      if (!std::lexicographical_compare(records[i - 1].rbegin() + data, records[i - 1].rend(),
                                        records[i].rbegin() + data, records[i].rend())) {
        Problem(where + ": BTH keys not ascending");
        break;
      }
    }
    return records;
  }

  bool ReadBthLevel(const Heap& heap, std::uint32_t hid, int level, std::size_t key,
                    std::size_t data, std::optional<Bytes> first_key, std::vector<Bytes>& out,
                    const std::string& where) {
    const auto node = HeapItem(heap, hid, where);
    if (!node) return false;
    const std::size_t record = key + (level > 0 ? 4 : data);
    if (node->empty() || node->size() % record != 0) {
      Problem(where + ": BTH node size wrong");
      return false;
    }
    if (first_key && !std::equal(first_key->begin(), first_key->end(), node->begin())) {
      Problem(where + ": BTH index key differs from its child's first key");
    }
    for (std::size_t at = 0; at < node->size(); at += record) {
      if (level > 0) {
        if (!ReadBthLevel(heap, fmt::Get32(&(*node)[at + key]), level - 1, key, data,
                          Bytes(node->begin() + at, node->begin() + at + key), out, where)) {
          return false;
        }
      } else {
        out.emplace_back(node->begin() + at, node->begin() + at + record);
      }
    }
    return true;
  }

  std::optional<Bytes> ResolveHnid(const Heap& heap, const Subnodes& subnodes, std::uint32_t hnid,
                                   const std::string& where) {
    if (hnid == 0) return Bytes{};
    if ((hnid & 0x1F) == 0) return HeapItem(heap, hnid, where);
    const auto found = subnodes.find(hnid);
    if (found == subnodes.end()) {
      Problem(where + ": subnode " + Hex(hnid) + " missing");
      return std::nullopt;
    }
    return ReadStream(found->second.bid_data);
  }

  std::optional<Pc> ReadPc(const NodeInfo& node, const Subnodes& subnodes,
                           const std::string& where) {
    const auto heap = ReadHeap(node.bid_data, where);
    if (!heap) return std::nullopt;
    if (heap->client != fmt::kClientPc) {
      Problem(where + ": not a property context");
      return std::nullopt;
    }
    const auto records = ReadBth(*heap, heap->user_root, 2, 6, where);
    if (!records) return std::nullopt;
    Pc pc;
    for (const Bytes& r : *records) {
      PcValue value;
      value.type = fmt::Get16(&r[2]);
      const std::uint32_t hnid = fmt::Get32(&r[4]);
      const std::size_t fixed = FixedSize(value.type);
      if (fixed != 0 && fixed <= 4) {
        value.data.assign(r.begin() + 4, r.begin() + 4 + fixed);
      } else {
        auto data = ResolveHnid(*heap, subnodes, hnid, where);
        if (!data) return std::nullopt;
        if (fixed != 0 && data->size() != fixed)
          Problem(where + ": fixed-size value of wrong size");
        value.data = std::move(*data);
      }
      pc[fmt::Get16(&r[0])] = std::move(value);
    }
    return pc;
  }

  static std::size_t FixedSize(std::uint16_t type) {
    switch (type) {
      case 0x000B:
        return 1;
      case 0x0002:
        return 2;
      case 0x0003:
      case 0x0004:
      case 0x000A:
        return 4;
      case 0x0005:
      case 0x0006:
      case 0x0007:
      case 0x0014:
      case 0x0040:
        return 8;
      default:
        return 0;
    }
  }

  std::optional<Tc> ReadTc(const NodeInfo& node, const Subnodes& subnodes,
                           const std::string& where) {
    const auto heap = ReadHeap(node.bid_data, where);
    if (!heap) return std::nullopt;
    const auto info =
        heap->client == fmt::kClientTc ? HeapItem(*heap, heap->user_root, where) : std::nullopt;
    if (!info || info->size() < 22 || (*info)[0] != fmt::kClientTc ||
        info->size() != 22 + 8u * (*info)[1]) {
      Problem(where + ": not a table context");
      return std::nullopt;
    }
    const Bytes& t = *info;
    const std::uint16_t end4 = fmt::Get16(&t[2]), end2 = fmt::Get16(&t[4]),
                        end1 = fmt::Get16(&t[6]);
    const std::uint16_t row_size = fmt::Get16(&t[8]);
    const std::size_t column_count = t[1];
    Tc tc;
    for (std::size_t i = 0; i < column_count; ++i) {
      const std::uint8_t* c = &t[22 + 8 * i];
      tc.columns.push_back({fmt::Get32(c), fmt::Get16(c + 4), c[6], c[7]});
      const TcColumn& col = tc.columns.back();
      const std::uint16_t lo = col.size == 2 ? end4 : col.size == 1 ? end2 : 0;
      const std::uint16_t hi = col.size == 2 ? end2 : col.size == 1 ? end1 : end4;
      if (col.offset < lo || col.offset + col.size > hi || col.bit >= column_count) {
        Problem(where + ": column " + Hex(col.tag) + " laid out wrongly");
      }
      if (i > 0 && col.tag <= tc.columns[i - 1].tag) Problem(where + ": columns not sorted by tag");
    }
    if (tc.columns.empty() || tc.columns[0].tag > 0x67F20003 ||
        std::none_of(tc.columns.begin(), tc.columns.end(), [](const TcColumn& c) {
          return c.tag == 0x67F20003 && c.offset == 0 && c.size == 4;
        })) {
      Problem(where + ": row id column missing");
    }
    if (row_size != end1 + (column_count + 7) / 8 || row_size < 8) {
      Problem(where + ": row size wrong");
      return std::nullopt;
    }
    const std::uint32_t rows_hnid = fmt::Get32(&t[14]);
    if (rows_hnid != 0 && (rows_hnid & 0x1F) == 0) {
      auto rows = HeapItem(*heap, rows_hnid, where);
      if (!rows) return std::nullopt;
      if (rows->size() % row_size != 0)
        Problem(where + ": row matrix size not a multiple of the row");
      for (std::size_t at = 0; at + row_size <= rows->size(); at += row_size) {
        tc.rows.emplace_back(rows->begin() + at, rows->begin() + at + row_size);
      }
    } else if (rows_hnid != 0) {
      const auto found = subnodes.find(rows_hnid);
      if (found == subnodes.end()) {
        Problem(where + ": row matrix subnode missing");
        return std::nullopt;
      }
      const auto blocks = ReadDataTree(found->second.bid_data);
      if (!blocks) return std::nullopt;
      const std::size_t per_block = l_->max_block_data / row_size;
      for (std::size_t i = 0; i < blocks->size(); ++i) {
        const Bytes& b = (*blocks)[i];
        if (b.size() % row_size != 0 ||
            (i + 1 < blocks->size() && b.size() != per_block * row_size)) {
          Problem(where + ": row matrix block " + std::to_string(i) + " holds partial rows");
        }
        for (std::size_t at = 0; at + row_size <= b.size(); at += row_size) {
          tc.rows.emplace_back(b.begin() + at, b.begin() + at + row_size);
        }
      }
    }
    const auto index = ReadBth(*heap, fmt::Get32(&t[10]), 4, 4, where);
    if (!index) return std::nullopt;
    if (index->size() != tc.rows.size())
      Problem(where + ": row index and row matrix differ in size");
    for (const Bytes& record : *index) {
      const std::uint32_t row = fmt::Get32(&record[4]);
      if (row >= tc.rows.size() || tc.RowId(row) != fmt::Get32(record.data())) {
        Problem(where + ": row index entry " + Hex(fmt::Get32(record.data())) +
                " points at the wrong row");
      }
    }
    return tc;
  }

  // ---- Messaging ----

  std::set<std::uint32_t> ChildrenOf(std::uint32_t parent,
                                     std::initializer_list<std::uint32_t> types) {
    std::set<std::uint32_t> children;
    const auto range = children_.equal_range(parent);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second != parent &&
          std::find(types.begin(), types.end(), fmt::NidType(it->second)) != types.end()) {
        children.insert(it->second);
      }
    }
    return children;
  }

  void CompareRows(const Tc& tc, const std::set<std::uint32_t>& expected,
                   const std::string& where) {
    std::set<std::uint32_t> ids;
    for (std::size_t i = 0; i < tc.rows.size(); ++i) {
      if (!ids.insert(tc.RowId(i)).second)
        Problem(where + ": row " + Hex(tc.RowId(i)) + " listed twice");
    }
    if (ids != expected) {
      Problem(where + ": rows (" + std::to_string(ids.size()) + ") differ from the node tree (" +
              std::to_string(expected.size()) + ")");
    }
  }

  void CheckNodes() {
    for (const auto& [nid, node] : nodes_) {
      if (node.parent != 0 && !nodes_.count(node.parent))
        Problem("node " + Hex(nid) + " has a missing parent");
      children_.emplace(node.parent, nid);
    }
    for (const std::uint32_t nid :
         {fmt::kNidMessageStore, fmt::kNidNameToIdMap, fmt::kNidRootFolder}) {
      if (!nodes_.count(nid)) Problem("mandatory node " + Hex(nid) + " missing");
    }
    for (const auto& [nid, node] : nodes_) {
      const std::string where = "node " + Hex(nid);
      const auto subnodes = ReadSubnodes(node.bid_sub);
      if (!subnodes) continue;
      switch (fmt::NidType(nid)) {
        case fmt::kNidTypeNormalFolder:
          ++report_.folders;
          CheckFolder(nid, node, *subnodes);
          break;
        case fmt::kNidTypeNormalMessage:
        case fmt::kNidTypeAssocMessage: {
          ++report_.messages;
          const auto parent = nodes_.find(node.parent);
          if (parent == nodes_.end() || fmt::NidType(node.parent) != fmt::kNidTypeNormalFolder) {
            Problem(where + ": message whose parent is not a folder");
          }
          CheckMessage(node, *subnodes, where, 0);
          break;
        }
        case fmt::kNidTypeHierarchyTable:
        case fmt::kNidTypeContentsTable:
        case fmt::kNidTypeAssocContentsTable:
          ReadTc(node, *subnodes, where);
          break;
        case fmt::kNidTypeInternal:
          if (nid == fmt::kNidMessageStore || nid == fmt::kNidNameToIdMap)
            ReadPc(node, *subnodes, where);
          else if (nid != fmt::kNidSearchManagementQueue && nid != fmt::kNidSearchActivityList)
            ReadStream(node.bid_data);
          break;
        default:
          ReadStream(node.bid_data);
          break;
      }
    }
  }

  std::optional<Tc> TableOf(std::uint32_t folder, std::uint32_t type) {
    const std::uint32_t nid = fmt::WithType(folder, type);
    const auto found = nodes_.find(nid);
    if (found == nodes_.end()) {
      Problem("folder " + Hex(folder) + ": table " + Hex(nid) + " missing");
      return std::nullopt;
    }
    const auto subnodes = ReadSubnodes(found->second.bid_sub);
    if (!subnodes) return std::nullopt;
    return ReadTc(found->second, *subnodes, "table " + Hex(nid));
  }

  void CheckFolder(std::uint32_t nid, const NodeInfo& node, const Subnodes& subnodes) {
    const std::string where = "folder " + Hex(nid);
    if (nid != fmt::kNidRootFolder && fmt::NidType(node.parent) != fmt::kNidTypeNormalFolder) {
      Problem(where + ": parent is not a folder");
    }
    const auto pc = ReadPc(node, subnodes, where);
    const auto folders = ChildrenOf(nid, {fmt::kNidTypeNormalFolder, fmt::kNidTypeSearchFolder});
    const auto messages = ChildrenOf(nid, {fmt::kNidTypeNormalMessage});
    const auto associated = ChildrenOf(nid, {fmt::kNidTypeAssocMessage});
    if (const auto tc = TableOf(nid, fmt::kNidTypeHierarchyTable))
      CompareRows(*tc, folders, where + " hierarchy table");
    if (const auto tc = TableOf(nid, fmt::kNidTypeContentsTable))
      CompareRows(*tc, messages, where + " contents table");
    if (const auto tc = TableOf(nid, fmt::kNidTypeAssocContentsTable))
      CompareRows(*tc, associated, where + " associated contents table");
    if (!pc) return;
    const auto count = pc->find(0x3602);
    if (count == pc->end() || count->second.data.size() != 4 ||
        fmt::Get32(count->second.data.data()) != messages.size()) {
      Problem(where + ": PidTagContentCount differs from its messages");
    }
    const auto has_folders = pc->find(0x360A);
    if (has_folders == pc->end() || has_folders->second.data.empty() ||
        (has_folders->second.data[0] != 0) != !folders.empty()) {
      Problem(where + ": PidTagSubfolders differs from its folders");
    }
  }

  void CheckMessage(const NodeInfo& node, const Subnodes& subnodes, const std::string& where,
                    int depth) {
    if (depth > 8) {
      Problem(where + ": embedded messages nested too deep");
      return;
    }
    ReadPc(node, subnodes, where);
    // Outlook leaves the recipient table out of items that never had recipients.
    const auto recipients = subnodes.find(fmt::kNidRecipientTable);
    if (recipients == subnodes.end()) {
    } else if (const auto sub = ReadSubnodes(recipients->second.bid_sub)) {
      ReadTc(recipients->second, *sub, where + " recipient table");
    }
    std::set<std::uint32_t> attachment_nids;
    for (const auto& [nid, info] : subnodes) {
      if (fmt::NidType(nid) == fmt::kNidTypeAttachment) attachment_nids.insert(nid);
    }
    const auto table = subnodes.find(fmt::kNidAttachmentTable);
    if (table == subnodes.end()) {
      if (!attachment_nids.empty()) Problem(where + ": attachments without an attachment table");
      return;
    }
    if (const auto sub = ReadSubnodes(table->second.bid_sub)) {
      if (const auto tc = ReadTc(table->second, *sub, where + " attachment table")) {
        CompareRows(*tc, attachment_nids, where + " attachment table");
      }
    }
    for (const std::uint32_t nid : attachment_nids) {
      const NodeInfo& attachment = subnodes.at(nid);
      const std::string at = where + " attachment " + Hex(nid);
      const auto sub = ReadSubnodes(attachment.bid_sub);
      if (!sub) continue;
      const auto pc = ReadPc(attachment, *sub, at);
      if (!pc) continue;
      const auto object = pc->find(static_cast<std::uint16_t>(kTagObjectData >> 16));
      if (object == pc->end() || object->second.type != (kTagObjectData & 0xFFFF)) continue;
      if (object->second.data.size() != 8) {
        Problem(at + ": object value malformed");
        continue;
      }
      const auto embedded = sub->find(fmt::Get32(object->second.data.data()));
      if (embedded == sub->end()) {
        Problem(at + ": embedded message subnode missing");
        continue;
      }
      // An OLE attachment's object is a compound file's bytes, not a message.
      const auto method = pc->find(0x3705);
      if (method != pc->end() && method->second.data.size() == 4 &&
          fmt::Get32(method->second.data.data()) == 6) {
        continue;
      }
      if (const auto inner = ReadSubnodes(embedded->second.bid_sub)) {
        CheckMessage(embedded->second, *inner, at + " embedded message", depth + 1);
      }
    }
  }

  std::filesystem::path path_;
  std::ifstream file_;
  LayoutMap* map_;
  const fmt::Layout* l_ = nullptr;  // chosen by the header
  std::set<std::uint64_t> visited_pages_;
  std::unordered_map<std::uint32_t, std::uint64_t> node_entries_;   // NBT entry offsets
  std::unordered_map<std::uint64_t, std::uint64_t> block_entries_;  // BBT entry offsets
  std::uint64_t file_size_ = 0;
  CheckReport report_;
  std::uint8_t crypt_ = 0;
  std::uint64_t next_page_bid_ = 0;
  std::uint64_t next_bid_ = 0;
  std::array<std::uint32_t, 32> next_nid_index_{};
  std::uint64_t eof_ = 0;
  std::uint64_t amap_last_ = 0;
  std::uint64_t amap_free_ = 0;
  Ref nbt_root_{};
  Ref bbt_root_{};
  std::map<std::uint32_t, NodeInfo> nodes_;
  std::unordered_map<std::uint64_t, BlockInfo> blocks_;
  std::vector<std::uint64_t> pages_;
  std::unordered_multimap<std::uint32_t, std::uint32_t> children_;
};

}  // namespace

CheckReport CheckPst(const std::filesystem::path& path) {
  return Checker(path, nullptr).Run();
}

LayoutMap MapPst(const std::filesystem::path& path) {
  LayoutMap map;
  Checker(path, &map).Run();
  return map;
}

}  // namespace pstgen
