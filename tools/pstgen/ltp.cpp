#include "tools/pstgen/ltp.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "pst/format.h"

namespace pstgen::ltp {
namespace fmt = pst::format;

namespace {

constexpr std::size_t kMaxAllocationsPerBlock = 2047;  // 11-bit HID index

std::uint8_t FillLevel(std::size_t free_bytes) {
  static constexpr std::size_t kThresholds[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                                512,  256,  128,  64,   32,   16,   8};
  for (std::uint8_t level = 0; level < std::size(kThresholds); ++level) {
    if (free_bytes >= kThresholds[level]) return level;
  }
  return 15;
}

bool IsBitmapBlock(std::size_t index) {
  return index >= 8 && (index - 8) % 128 == 0;
}

// Stores a variable-size value: nothing, a heap allocation, or a subnode of its own.
std::uint32_t StoreVariable(const Bytes& bytes, Heap& heap, ndb::NdbWriter& ndb,
                            SubnodeSet& subnodes) {
  if (bytes.empty()) return 0;
  if (bytes.size() <= fmt::kMaxHeapAllocation) return heap.Allocate(bytes);
  const std::uint32_t nid = subnodes.NewNid(fmt::kNidTypeLtp);
  subnodes.Add(nid, ndb.WriteData(bytes), 0);
  return nid;
}

}  // namespace

std::uint32_t SubnodeSet::NewNid(std::uint32_t type) {
  return fmt::MakeNid(type, next_index_++);
}

std::size_t Heap::HeaderSize(std::size_t block_index) {
  if (block_index == 0) return 12;            // HNHDR
  if (IsBitmapBlock(block_index)) return 66;  // HNBITMAPHDR
  return 2;                                   // HNPAGEHDR
}

std::size_t Heap::SerializedSize(std::size_t block_index, std::size_t bytes,
                                 std::size_t allocations) {
  return fmt::AlignUp(HeaderSize(block_index) + bytes, 2) + 4 + 2 * (allocations + 1);
}

std::uint32_t Heap::Allocate(std::span<const std::uint8_t> data) {
  if (data.size() > fmt::kMaxHeapAllocation) throw std::logic_error("pstgen: heap item too large");
  if (blocks_.empty()) blocks_.emplace_back();
  std::size_t index = blocks_.size() - 1;
  if (blocks_[index].allocations.size() >= kMaxAllocationsPerBlock ||
      SerializedSize(index, blocks_[index].bytes + data.size(),
                     blocks_[index].allocations.size() + 1) > fmt::kMaxBlockData) {
    blocks_.emplace_back();
    ++index;
  }
  if (index > 0xFFFF) throw std::invalid_argument("pstgen: heap over 65535 blocks");
  Block& block = blocks_[index];
  block.allocations.emplace_back(data.begin(), data.end());
  block.bytes += data.size();
  return static_cast<std::uint32_t>(index << 16 | block.allocations.size() << 5);
}

Bytes Heap::SerializeBlock(std::size_t index) const {
  const Block& block = blocks_[index];
  Bytes out(HeaderSize(index), 0);
  std::vector<std::uint16_t> offsets;
  for (const Bytes& allocation : block.allocations) {
    offsets.push_back(static_cast<std::uint16_t>(out.size()));
    out.insert(out.end(), allocation.begin(), allocation.end());
  }
  offsets.push_back(static_cast<std::uint16_t>(out.size()));
  if (out.size() % 2 != 0) out.push_back(0);
  const auto page_map = static_cast<std::uint16_t>(out.size());
  fmt::ByteWriter w(out);
  w.U16(static_cast<std::uint16_t>(block.allocations.size())).U16(0);
  for (const std::uint16_t offset : offsets) w.U16(offset);

  fmt::Put16(out.data(), page_map);
  const auto fill_of = [this](std::size_t i) {
    const Block& b = blocks_[i];
    return FillLevel(fmt::kMaxBlockData - SerializedSize(i, b.bytes, b.allocations.size()));
  };
  const auto put_fill_levels = [&](std::uint8_t* levels, std::size_t first, std::size_t count) {
    for (std::size_t i = first; i < first + count && i < blocks_.size(); ++i) {
      const std::size_t k = i - first;
      levels[k / 2] |= static_cast<std::uint8_t>(fill_of(i) << (4 * (k % 2)));
    }
  };
  if (index == 0) {
    out[2] = fmt::kHeapSignature;
    out[3] = client_;
    fmt::Put32(&out[4], user_root_);
    put_fill_levels(&out[8], 0, 8);
  } else if (IsBitmapBlock(index)) {
    put_fill_levels(&out[2], index, 128);
  }
  return out;
}

std::vector<Bytes> Heap::Serialize() const {
  std::vector<Bytes> blocks;
  if (blocks_.empty()) {
    Heap empty(client_);
    empty.blocks_.emplace_back();
    empty.user_root_ = user_root_;
    blocks.push_back(empty.SerializeBlock(0));
    return blocks;
  }
  for (std::size_t i = 0; i < blocks_.size(); ++i) blocks.push_back(SerializeBlock(i));
  return blocks;
}

std::uint32_t BuildBth(Heap& heap, std::uint8_t key_size, std::uint8_t data_size,
                       const std::vector<Bytes>& records) {
  struct Node {
    Bytes key;
    std::uint32_t hid;
  };
  std::vector<Node> level;
  const std::size_t per_leaf = fmt::kMaxHeapAllocation / (key_size + data_size);
  for (std::size_t first = 0; first < records.size(); first += per_leaf) {
    Bytes leaf;
    const std::size_t end = std::min(records.size(), first + per_leaf);
    for (std::size_t i = first; i < end; ++i)
      leaf.insert(leaf.end(), records[i].begin(), records[i].end());
    level.push_back(
        {Bytes(records[first].begin(), records[first].begin() + key_size), heap.Allocate(leaf)});
  }
  std::uint8_t index_levels = 0;
  const std::size_t per_node = fmt::kMaxHeapAllocation / (key_size + 4u);
  while (level.size() > 1) {
    std::vector<Node> parents;
    for (std::size_t first = 0; first < level.size(); first += per_node) {
      Bytes node;
      const std::size_t end = std::min(level.size(), first + per_node);
      for (std::size_t i = first; i < end; ++i) {
        node.insert(node.end(), level[i].key.begin(), level[i].key.end());
        fmt::ByteWriter(node).U32(level[i].hid);
      }
      parents.push_back({level[first].key, heap.Allocate(node)});
    }
    level = std::move(parents);
    ++index_levels;
  }
  Bytes header;
  fmt::ByteWriter(header)
      .U8(fmt::kClientBth)
      .U8(key_size)
      .U8(data_size)
      .U8(index_levels)
      .U32(level.empty() ? 0 : level.front().hid);
  return heap.Allocate(header);
}

bool IsFixedSize(std::uint16_t type) {
  return FixedSize(type) != 0;
}

std::size_t FixedSize(std::uint16_t type) {
  switch (type) {
    case 0x000B:  // boolean
      return 1;
    case 0x0002:  // 16-bit integer
      return 2;
    case 0x0003:  // 32-bit integer
    case 0x0004:  // float
    case 0x000A:  // error code
      return 4;
    case 0x0005:  // double
    case 0x0006:  // currency
    case 0x0007:  // application time
    case 0x0014:  // 64-bit integer
    case 0x0040:  // FILETIME
      return 8;
    default:
      return 0;
  }
}

std::vector<Bytes> BuildPc(std::vector<EncodedValue> values, ndb::NdbWriter& ndb,
                           SubnodeSet& subnodes) {
  std::sort(values.begin(), values.end(),
            [](const EncodedValue& a, const EncodedValue& b) { return a.id < b.id; });
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i].id == values[i - 1].id) throw std::logic_error("pstgen: duplicate property");
  }
  Heap heap(fmt::kClientPc);
  std::vector<Bytes> records;
  for (const EncodedValue& value : values) {
    std::uint32_t hnid = 0;
    const std::size_t fixed = FixedSize(value.type);
    if (fixed != 0 && fixed <= 4) {
      for (std::size_t i = 0; i < value.bytes.size() && i < 4; ++i)
        hnid |= std::uint32_t{value.bytes[i]} << (8 * i);
    } else {
      hnid = StoreVariable(value.bytes, heap, ndb, subnodes);
    }
    Bytes record;
    fmt::ByteWriter(record).U16(value.id).U16(value.type).U32(hnid);
    records.push_back(std::move(record));
  }
  heap.set_user_root(BuildBth(heap, 2, 6, records));
  return heap.Serialize();
}

namespace {

struct ColumnLayout {
  std::uint32_t tag;
  std::uint16_t offset = 0;
  std::uint8_t size = 0;
  std::uint8_t bit = 0;
};

std::uint8_t CellSize(std::uint32_t tag) {
  const std::size_t fixed = FixedSize(static_cast<std::uint16_t>(tag & 0xFFFF));
  return static_cast<std::uint8_t>(fixed != 0 ? fixed : 4);  // variable cells hold an HNID
}

}  // namespace

std::vector<Bytes> BuildTc(std::vector<std::uint32_t> column_tags, const std::vector<Row>& rows,
                           ndb::NdbWriter& ndb, SubnodeSet& subnodes) {
  column_tags.push_back(kTagLtpRowId);
  column_tags.push_back(kTagLtpRowVer);
  std::sort(column_tags.begin(), column_tags.end());
  column_tags.erase(std::unique(column_tags.begin(), column_tags.end()), column_tags.end());
  if (column_tags.size() > 255)
    throw std::invalid_argument("pstgen: a table holds at most 255 columns");

  // Row layout: row id, row version, then 8-, 4-, 2- and 1-byte cells, then the existence map.
  std::vector<ColumnLayout> columns;
  for (const std::uint32_t tag : column_tags) columns.push_back({tag, 0, CellSize(tag), 0});
  std::uint8_t next_bit = 2;
  for (ColumnLayout& column : columns) {
    if (column.tag == kTagLtpRowId)
      column.bit = 0;
    else if (column.tag == kTagLtpRowVer)
      column.bit = 1;
    else
      column.bit = next_bit++;
  }
  std::uint16_t offset = 8;
  std::array<std::uint16_t, 4> group_end{};
  const std::uint8_t sizes[] = {8, 4, 2, 1};
  for (std::size_t g = 0; g < 4; ++g) {
    for (ColumnLayout& column : columns) {
      if (column.tag == kTagLtpRowId)
        column.offset = 0;
      else if (column.tag == kTagLtpRowVer)
        column.offset = 4;
      else if (column.size == sizes[g]) {
        column.offset = offset;
        offset = static_cast<std::uint16_t>(offset + column.size);
      }
    }
    group_end[g] = offset;
  }
  const std::size_t bitmap_size = (columns.size() + 7) / 8;
  const std::size_t row_size = offset + bitmap_size;
  std::map<std::uint32_t, const ColumnLayout*> by_tag;
  for (const ColumnLayout& column : columns) by_tag[column.tag] = &column;

  Heap heap(fmt::kClientTc);
  Bytes matrix;
  matrix.reserve(rows.size() * row_size);
  std::vector<Bytes> index_records;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    Bytes row(row_size, 0);
    std::uint8_t* bitmap = row.data() + offset;
    const auto mark = [bitmap](std::uint8_t bit) {
      bitmap[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    };
    fmt::Put32(row.data(), rows[r].row_id);
    fmt::Put32(row.data() + 4, static_cast<std::uint32_t>(r + 1));
    mark(0);
    mark(1);
    for (const EncodedValue& cell : rows[r].cells) {
      const auto found = by_tag.find(std::uint32_t{cell.id} << 16 | cell.type);
      if (found == by_tag.end() || found->second->offset < 8) continue;
      const ColumnLayout& column = *found->second;
      if (IsFixedSize(cell.type)) {
        std::copy_n(cell.bytes.begin(), std::min<std::size_t>(cell.bytes.size(), column.size),
                    row.begin() + column.offset);
      } else {
        fmt::Put32(row.data() + column.offset, StoreVariable(cell.bytes, heap, ndb, subnodes));
      }
      mark(column.bit);
    }
    matrix.insert(matrix.end(), row.begin(), row.end());
    Bytes record;
    fmt::ByteWriter(record).U32(rows[r].row_id).U32(static_cast<std::uint32_t>(r));
    index_records.push_back(std::move(record));
  }

  std::uint32_t rows_hnid = 0;
  if (!matrix.empty() && matrix.size() <= fmt::kMaxHeapAllocation) {
    rows_hnid = heap.Allocate(matrix);
  } else if (!matrix.empty()) {
    // Rows never straddle blocks: each block holds a whole number of them.
    const std::size_t per_block = ndb.max_block_data() / row_size;
    std::vector<Bytes> blocks;
    for (std::size_t first = 0; first < rows.size(); first += per_block) {
      const std::size_t count = std::min(per_block, rows.size() - first);
      blocks.emplace_back(matrix.begin() + first * row_size,
                          matrix.begin() + (first + count) * row_size);
    }
    rows_hnid = subnodes.NewNid(fmt::kNidTypeLtp);
    subnodes.Add(rows_hnid, ndb.WriteBlocks(blocks), 0);
  }

  std::sort(index_records.begin(), index_records.end(), [](const Bytes& a, const Bytes& b) {
    return fmt::Get32(a.data()) < fmt::Get32(b.data());
  });
  const std::uint32_t row_index = BuildBth(heap, 4, 4, index_records);

  Bytes info;
  fmt::ByteWriter w(info);
  w.U8(fmt::kClientTc).U8(static_cast<std::uint8_t>(columns.size()));
  w.U16(group_end[1]).U16(group_end[2]).U16(group_end[3]).U16(static_cast<std::uint16_t>(row_size));
  w.U32(row_index).U32(rows_hnid).U32(0);
  for (const ColumnLayout& column : columns) {
    w.U32(column.tag).U16(column.offset).U8(column.size).U8(column.bit);
  }
  heap.set_user_root(heap.Allocate(info));
  return heap.Serialize();
}

WrittenObject WriteObject(ndb::NdbWriter& ndb, const std::vector<Bytes>& blocks,
                          const SubnodeSet& subnodes) {
  WrittenObject written;
  written.bid_data = ndb.WriteBlocks(blocks);
  written.bid_sub = ndb.WriteSubnodes(subnodes.entries());
  return written;
}

}  // namespace pstgen::ltp
