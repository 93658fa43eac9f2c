#include "tools/pstgen/ndb.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "pst/format.h"

namespace pstgen::ndb {
namespace fmt = pst::format;

namespace {

constexpr std::size_t kSlotsPerAMap = fmt::kAMapCoverage / fmt::kSlotSize;  // 3968
constexpr std::uint16_t kBlockRefCount = 2;  // what Outlook records for a live block
// ANSI offsets are 32-bit; Outlook refuses ANSI files past 2 GB.
constexpr std::uint64_t kAnsiMaxFileSize = 0x7FFFFFFF;
constexpr std::size_t kMapBytes = 496;  // bitmap or byte map of every map page

[[noreturn]] void ThrowIo(const std::filesystem::path& path, const char* what) {
  throw std::runtime_error(std::string(what) + " " + path.string() + ": " + std::strerror(errno));
}

std::uint64_t FirstFreeOffsetOf(std::uint64_t amap_index) {
  return fmt::AMapOffset(amap_index) + fmt::MapPagesOf(amap_index).count() * fmt::kPageSize;
}

// Fills a page's trailer: type twice, signature, then CRC and BID where the format puts them.
void SealPage(const fmt::Layout& layout, std::vector<std::uint8_t>& page, std::uint8_t type,
              std::uint16_t signature, std::uint64_t bid) {
  std::uint8_t* trailer = page.data() + layout.page_data_size;
  trailer[0] = type;
  trailer[1] = type;
  fmt::Put16(trailer + 2, signature);
  fmt::Put32(trailer + layout.page_trailer_crc,
             fmt::Crc(std::span(page.data(), layout.page_data_size)));
  layout.PutId(trailer + layout.page_trailer_bid, bid);
}

// A map page (AMap, PMap, FMap, FPMap): 496 bytes of map (after 4 bytes of padding in ANSI),
// then a trailer whose BID is the page's own offset and whose signature is zero.
std::vector<std::uint8_t> MapPage(const fmt::Layout& layout, std::uint8_t type,
                                  std::span<const std::uint8_t> map, std::uint64_t offset) {
  std::vector<std::uint8_t> page(fmt::kPageSize, 0);
  std::copy(map.begin(), map.end(), page.begin() + static_cast<std::ptrdiff_t>(layout.amap_bits));
  SealPage(layout, page, type, 0, offset);
  return page;
}

// Appends a BID, IB or B-tree key of the format's width.
void PutId(fmt::ByteWriter& w, const fmt::Layout& layout, std::uint64_t value) {
  if (layout.id_size == 8)
    w.U64(value);
  else
    w.U32(static_cast<std::uint32_t>(value));
}

}  // namespace

NdbWriter::NdbWriter(const std::filesystem::path& path, Encryption encryption, FileFormat format)
    : path_(path),
      encryption_(encryption),
      layout_(
          fmt::LayoutOf(format == FileFormat::kAnsi ? fmt::Format::kAnsi : fmt::Format::kUnicode)),
      cursor_(FirstFreeOffsetOf(0)),
      file_pos_(0) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) ThrowIo(path, "cannot create");
  std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
  // The header is written last; reserve the space before the first AMap.
  const std::vector<std::uint8_t> zeros(fmt::kFirstAMapOffset, 0);
  WriteAt(0, zeros);
}

std::uint64_t NdbWriter::Allocate(std::size_t size, std::size_t alignment) {
  std::uint64_t at = fmt::AlignUp(cursor_, alignment);
  std::uint64_t amap = fmt::AMapIndex(at);
  if (at + size > fmt::AMapOffset(amap + 1)) {
    ++amap;
    at = fmt::AlignUp(FirstFreeOffsetOf(amap), alignment);
  } else if (at < FirstFreeOffsetOf(amap)) {
    at = fmt::AlignUp(FirstFreeOffsetOf(amap), alignment);
  }
  cursor_ = at + size;
  if (layout_.id_size == 4 && fmt::AMapOffset(amap + 1) > kAnsiMaxFileSize) {
    throw std::invalid_argument("pstgen: the store does not fit the 2 GB of an ANSI file");
  }
  MarkAllocated(at, size);
  return at;
}

void NdbWriter::MarkAllocated(std::uint64_t offset, std::size_t size) {
  const std::uint64_t first = (offset - fmt::kFirstAMapOffset) / fmt::kSlotSize;
  const std::uint64_t last = (offset + size - 1 - fmt::kFirstAMapOffset) / fmt::kSlotSize;
  if (allocated_.size() <= last / 8) allocated_.resize(last / 8 + 1 + (1 << 16), 0);
  for (std::uint64_t slot = first; slot <= last; ++slot) {
    allocated_[slot / 8] |= static_cast<std::uint8_t>(0x80u >> (slot % 8));
  }
}

bool NdbWriter::IsAllocated(std::uint64_t slot) const {
  return slot / 8 < allocated_.size() && (allocated_[slot / 8] & (0x80u >> (slot % 8))) != 0;
}

void NdbWriter::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  static const std::array<std::uint8_t, 4096> kZeros{};
  while (file_pos_ < offset) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(offset - file_pos_, kZeros.size()));
    if (std::fwrite(kZeros.data(), 1, n, file_.get()) != n) ThrowIo(path_, "cannot write");
    file_pos_ += n;
  }
  if (offset != file_pos_) throw std::logic_error("pstgen: out-of-order write");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    ThrowIo(path_, "cannot write");
  }
  file_pos_ += bytes.size();
}

void NdbWriter::Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    ThrowIo(path_, "cannot write");
  }
}

std::uint64_t NdbWriter::WriteBlock(std::span<const std::uint8_t> data, bool internal) {
  if (data.size() > layout_.max_block_data) throw std::logic_error("pstgen: block too large");
  const std::size_t size = layout_.block_size(data.size());
  const std::uint64_t bid = next_bid_ | (internal ? fmt::kBidInternal : 0);
  next_bid_ += 4;
  const std::uint64_t ib = Allocate(size, fmt::kSlotSize);

  std::vector<std::uint8_t> block(size, 0);
  std::copy(data.begin(), data.end(), block.begin());
  const std::span<std::uint8_t> stored(block.data(), data.size());
  if (!internal && encryption_ == Encryption::kCompressible) fmt::Encode(stored);
  if (!internal && encryption_ == Encryption::kCyclic)
    fmt::CyclicEncode(stored, static_cast<std::uint32_t>(bid));
  std::uint8_t* trailer = block.data() + size - layout_.block_trailer_size;
  fmt::Put16(trailer, static_cast<std::uint16_t>(data.size()));
  fmt::Put16(trailer + 2, fmt::Signature(ib, bid));
  fmt::Put32(trailer + layout_.block_trailer_crc, fmt::Crc(stored));
  layout_.PutId(trailer + layout_.block_trailer_bid, bid);
  WriteAt(ib, block);
  blocks_.push_back({bid, ib, static_cast<std::uint16_t>(data.size())});
  return bid;
}

std::uint64_t NdbWriter::WriteXBlock(std::uint8_t level, std::span<const std::uint64_t> bids,
                                     std::uint64_t total) {
  if (total > 0xFFFFFFFFu) throw std::invalid_argument("pstgen: data stream over 4 GiB");
  std::vector<std::uint8_t> data;
  fmt::ByteWriter w(data);
  w.U8(0x01).U8(level).U16(static_cast<std::uint16_t>(bids.size()));
  w.U32(static_cast<std::uint32_t>(total));
  for (const std::uint64_t bid : bids) PutId(w, layout_, bid);
  return WriteBlock(data, true);
}

std::uint64_t NdbWriter::WriteTree(std::vector<std::uint64_t> bids,
                                   std::vector<std::uint64_t> sizes) {
  if (bids.size() == 1) return bids.front();
  std::uint64_t total = 0;
  for (const std::uint64_t size : sizes) total += size;
  const std::size_t max_entries = layout_.max_xblock_entries;
  if (bids.size() <= max_entries) return WriteXBlock(1, bids, total);

  std::vector<std::uint64_t> xblocks;
  for (std::size_t first = 0; first < bids.size(); first += max_entries) {
    const std::size_t count = std::min(max_entries, bids.size() - first);
    std::uint64_t part = 0;
    for (std::size_t i = first; i < first + count; ++i) part += sizes[i];
    xblocks.push_back(WriteXBlock(1, std::span(bids).subspan(first, count), part));
  }
  if (xblocks.size() > max_entries) {
    throw std::invalid_argument("pstgen: data stream too large for an XXBLOCK");
  }
  return WriteXBlock(2, xblocks, total);
}

std::uint64_t NdbWriter::WriteData(std::span<const std::uint8_t> data) {
  std::vector<std::uint64_t> bids;
  std::vector<std::uint64_t> sizes;
  std::size_t offset = 0;
  do {
    const std::size_t n = std::min(layout_.max_block_data, data.size() - offset);
    bids.push_back(WriteBlock(data.subspan(offset, n), false));
    sizes.push_back(n);
    offset += n;
  } while (offset < data.size());
  return WriteTree(std::move(bids), std::move(sizes));
}

std::uint64_t NdbWriter::WriteBlocks(const std::vector<std::vector<std::uint8_t>>& blocks) {
  std::vector<std::uint64_t> bids;
  std::vector<std::uint64_t> sizes;
  for (const auto& block : blocks) {
    bids.push_back(WriteBlock(block, false));
    sizes.push_back(block.size());
  }
  if (bids.empty()) return WriteData({});
  return WriteTree(std::move(bids), std::move(sizes));
}

std::uint64_t NdbWriter::WriteSubnodes(std::vector<SubnodeEntry> entries) {
  if (entries.empty()) return 0;
  std::sort(entries.begin(), entries.end(),
            [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
  struct Leaf {
    std::uint32_t first_nid;
    std::uint64_t bid;
  };
  std::vector<Leaf> leaves;
  // Header: btype, cLevel, cEnt, and in Unicode 4 bytes of padding. NIDs are padded to the
  // width of a BID.
  const auto header = [this](fmt::ByteWriter& w, std::uint8_t level, std::size_t count) {
    w.U8(0x02).U8(level).U16(static_cast<std::uint16_t>(count));
    if (layout_.sl_header == 8) w.U32(0);
  };
  const std::size_t max_sl = layout_.max_sl_entries;
  for (std::size_t first = 0; first < entries.size(); first += max_sl) {
    const std::size_t count = std::min(max_sl, entries.size() - first);
    std::vector<std::uint8_t> data;
    fmt::ByteWriter w(data);
    header(w, 0, count);
    for (std::size_t i = first; i < first + count; ++i) {
      PutId(w, layout_, entries[i].nid);
      PutId(w, layout_, entries[i].bid_data);
      PutId(w, layout_, entries[i].bid_sub);
    }
    leaves.push_back({entries[first].nid, WriteBlock(data, true)});
  }
  if (leaves.size() == 1) return leaves.front().bid;
  if (leaves.size() > layout_.max_si_entries)
    throw std::invalid_argument("pstgen: too many subnodes");
  std::vector<std::uint8_t> data;
  fmt::ByteWriter w(data);
  header(w, 1, leaves.size());
  for (const Leaf& leaf : leaves) {
    PutId(w, layout_, leaf.first_nid);
    PutId(w, layout_, leaf.bid);
  }
  return WriteBlock(data, true);
}

NdbWriter::PageRef NdbWriter::WriteBtreePage(std::uint8_t page_type, std::uint8_t level,
                                             std::uint8_t entry_size,
                                             std::span<const std::uint8_t> entries,
                                             std::size_t count, std::uint64_t first_key) {
  std::vector<std::uint8_t> page(fmt::kPageSize, 0);
  std::copy(entries.begin(), entries.end(), page.begin());
  std::uint8_t* counts = page.data() + layout_.bt_entries_size;
  counts[0] = static_cast<std::uint8_t>(count);
  counts[1] = static_cast<std::uint8_t>(layout_.bt_max_entries(entry_size));
  counts[2] = entry_size;
  counts[3] = level;
  const std::uint64_t bid = next_page_bid_++;
  const std::uint64_t ib = Allocate(fmt::kPageSize, fmt::kPageSize);
  SealPage(layout_, page, page_type, fmt::Signature(ib, bid), bid);
  WriteAt(ib, page);
  return {first_key, bid, ib};
}

NdbWriter::PageRef NdbWriter::WriteBtree(std::uint8_t page_type, std::uint8_t leaf_entry_size,
                                         std::span<const std::uint8_t> leaf_entries,
                                         const std::vector<std::uint64_t>& keys) {
  const std::size_t leaf_max = layout_.bt_max_entries(leaf_entry_size);
  const std::size_t branch_size = layout_.bt_branch_entry_size;
  const std::size_t branch_max = layout_.bt_max_entries(branch_size);
  std::vector<PageRef> level_refs;
  std::size_t first = 0;
  do {
    const std::size_t count = std::min(leaf_max, keys.size() - first);
    level_refs.push_back(
        WriteBtreePage(page_type, 0, leaf_entry_size,
                       leaf_entries.subspan(first * leaf_entry_size, count * leaf_entry_size),
                       count, count ? keys[first] : 0));
    first += count;
  } while (first < keys.size());
  std::uint8_t level = 0;
  while (level_refs.size() > 1) {
    ++level;
    std::vector<PageRef> parents;
    for (std::size_t begin = 0; begin < level_refs.size(); begin += branch_max) {
      const std::size_t count = std::min(branch_max, level_refs.size() - begin);
      std::vector<std::uint8_t> bytes;
      fmt::ByteWriter w(bytes);
      for (std::size_t i = begin; i < begin + count; ++i) {
        PutId(w, layout_, level_refs[i].key);
        PutId(w, layout_, level_refs[i].bid);
        PutId(w, layout_, level_refs[i].ib);
      }
      parents.push_back(WriteBtreePage(page_type, level, static_cast<std::uint8_t>(branch_size),
                                       bytes, count, level_refs[begin].key));
    }
    level_refs = std::move(parents);
  }
  return level_refs.front();
}

NdbWriter::PageRef NdbWriter::WriteBlockBtree() {
  std::sort(blocks_.begin(), blocks_.end(),
            [](const BlockEntry& a, const BlockEntry& b) { return a.bid < b.bid; });
  std::vector<std::uint8_t> entries;
  std::vector<std::uint64_t> keys;
  entries.reserve(blocks_.size() * layout_.bbt_entry_size);
  keys.reserve(blocks_.size());
  fmt::ByteWriter w(entries);
  for (const BlockEntry& block : blocks_) {
    PutId(w, layout_, block.bid);
    PutId(w, layout_, block.ib);
    w.U16(block.cb).U16(kBlockRefCount);
    if (layout_.id_size == 8) w.U32(0);  // dwPadding
    keys.push_back(block.bid);
  }
  return WriteBtree(fmt::kPageBbt, static_cast<std::uint8_t>(layout_.bbt_entry_size), entries,
                    keys);
}

NdbWriter::PageRef NdbWriter::WriteNodeBtree() {
  std::sort(nodes_.begin(), nodes_.end(),
            [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    if (nodes_[i].nid == nodes_[i - 1].nid) throw std::logic_error("pstgen: duplicate node id");
  }
  std::vector<std::uint8_t> entries;
  std::vector<std::uint64_t> keys;
  entries.reserve(nodes_.size() * layout_.nbt_entry_size);
  fmt::ByteWriter w(entries);
  for (const NodeEntry& node : nodes_) {
    PutId(w, layout_, node.nid);  // a NID padded to the width of a BID
    PutId(w, layout_, node.bid_data);
    PutId(w, layout_, node.bid_sub);
    w.U32(node.parent);
    if (layout_.id_size == 8) w.U32(0);  // dwPadding
    keys.push_back(node.nid);
  }
  return WriteBtree(fmt::kPageNbt, static_cast<std::uint8_t>(layout_.nbt_entry_size), entries,
                    keys);
}

std::uint64_t NdbWriter::WriteMaps(std::uint64_t amap_count) {
  std::uint64_t free_bytes = 0;
  std::vector<std::uint8_t> longest_runs;
  for (std::uint64_t amap = 0; amap < amap_count; ++amap) {
    const fmt::MapPages pages = fmt::MapPagesOf(amap);
    MarkAllocated(fmt::AMapOffset(amap), pages.count() * fmt::kPageSize);
    std::vector<std::uint8_t> map(kMapBytes, 0);
    std::size_t run = 0;
    std::size_t longest = 0;
    for (std::size_t i = 0; i < kSlotsPerAMap; ++i) {
      if (IsAllocated(amap * kSlotsPerAMap + i)) {
        map[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
        run = 0;
      } else {
        free_bytes += fmt::kSlotSize;
        longest = std::max(longest, ++run);
      }
    }
    longest_runs.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(longest, 0xFF)));
    Overwrite(fmt::AMapOffset(amap), MapPage(layout_, fmt::kPageAMap, map, fmt::AMapOffset(amap)));
    std::uint64_t at = fmt::AMapOffset(amap) + fmt::kPageSize;
    if (pages.pmap) {
      // Page maps are no longer consulted; all bits set as current Outlook writes them.
      const std::vector<std::uint8_t> all(kMapBytes, 0xFF);
      Overwrite(at, MapPage(layout_, fmt::kPagePMap, all, at));
      at += fmt::kPageSize;
    }
    if (pages.fmap) at += fmt::kPageSize;  // filled below, once all runs are known
    if (pages.fpmap) {
      const std::vector<std::uint8_t> none(kMapBytes, 0);
      Overwrite(at, MapPage(layout_, fmt::kPageFPMap, none, at));
    }
  }
  for (std::uint64_t amap = fmt::kFirstFMapAMap; amap < amap_count; amap += fmt::kFMapInterval) {
    std::vector<std::uint8_t> map(kMapBytes, 0);
    for (std::size_t i = 0; i < kMapBytes && amap + i < amap_count; ++i) {
      map[i] = longest_runs[amap + i];
    }
    const std::uint64_t at = fmt::AMapOffset(amap) + 2 * fmt::kPageSize;
    Overwrite(at, MapPage(layout_, fmt::kPageFMap, map, at));
  }
  return free_bytes;
}

void NdbWriter::WriteHeader(const PageRef& nbt, const PageRef& bbt, std::uint64_t file_end,
                            std::uint64_t amap_free,
                            const std::array<std::uint32_t, 32>& next_nid_index) {
  const fmt::Layout& l = layout_;
  std::vector<std::uint8_t> h(l.header_size, 0);
  std::memcpy(h.data(), "!BDN", 4);
  h[8] = 'S';
  h[9] = 'M';
  fmt::Put16(&h[fmt::kHeaderVersionOffset], l.version);
  fmt::Put16(&h[12], 19);  // wVerClient
  h[14] = 1;
  h[15] = 1;
  l.PutId(&h[l.header_next_page_bid], next_page_bid_);
  l.PutId(&h[l.header_next_bid], next_bid_);
  fmt::Put32(&h[l.header_unique], 1);
  for (std::size_t i = 0; i < next_nid_index.size(); ++i)
    fmt::Put32(&h[l.header_nid_high_water + 4 * i], next_nid_index[i]);
  std::uint8_t* root = &h[l.header_root];
  l.PutId(root + l.root_file_eof, file_end);
  l.PutId(root + l.root_amap_last, fmt::AMapOffset(fmt::AMapIndex(file_end) - 1));
  l.PutId(root + l.root_amap_free, amap_free);
  l.PutId(root + l.root_pmap_free, 0);
  l.PutId(root + l.root_nbt, nbt.bid);
  l.PutId(root + l.root_nbt + l.id_size, nbt.ib);
  l.PutId(root + l.root_bbt, bbt.bid);
  l.PutId(root + l.root_bbt + l.id_size, bbt.ib);
  root[l.root_amap_valid] = 2;  // VALID_AMAP2
  // The deprecated header FMap and FPMap.
  std::fill(&h[l.header_free_map], &h[l.header_free_page_map + 128], 0xFF);
  h[l.header_sentinel] = 0x80;
  h[l.header_crypt_method] = static_cast<std::uint8_t>(encryption_);
  fmt::Put32(&h[4], fmt::Crc(std::span(&h[8], fmt::kHeaderCrcPartialSize)));
  if (l.header_crc_full != 0)
    fmt::Put32(&h[l.header_crc_full], fmt::Crc(std::span(&h[8], l.header_crc_full_size)));
  Overwrite(0, h);
}

// An empty density list, as Outlook leaves one: no entries yet, trailer BID = bidNextP.
void NdbWriter::WriteDensityList() {
  std::vector<std::uint8_t> page(fmt::kPageSize, 0);
  SealPage(layout_, page, fmt::kPageDList, fmt::Signature(fmt::kDListOffset, next_page_bid_),
           next_page_bid_);
  Overwrite(fmt::kDListOffset, page);
}

void NdbWriter::Finish(const std::array<std::uint32_t, 32>& next_nid_index) {
  const PageRef nbt = WriteNodeBtree();
  const PageRef bbt = WriteBlockBtree();
  // The file grows in whole AMap ranges.
  const std::uint64_t amap_count = fmt::AMapIndex(cursor_ - 1) + 1;
  const std::uint64_t file_end = fmt::AMapOffset(amap_count);
  WriteAt(file_end, {});
  const std::uint64_t amap_free = WriteMaps(amap_count);
  if (layout_.has_dlist) WriteDensityList();
  WriteHeader(nbt, bbt, file_end, amap_free, next_nid_index);
  if (std::fflush(file_.get()) != 0) ThrowIo(path_, "cannot write");
  std::FILE* file = file_.release();
  if (std::fclose(file) != 0) ThrowIo(path_, "cannot close");
}

}  // namespace pstgen::ndb
