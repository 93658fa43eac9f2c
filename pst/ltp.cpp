#include "pst/ltp.h"

#include <algorithm>

#include "pst/format.h"

namespace pst::ltp {
namespace fmt = pst::format;
using ndb::Hex;

namespace {

// A BTH deeper than this cannot come from a heap of at most 65,535 pages.
constexpr int kMaxBthLevels = 8;

Status CollectBth(const Heap& heap, std::uint32_t hid, int level, BthRecords& out, int depth) {
  if (depth > kMaxBthLevels) return Error(heap.where() + ": BTH nested too deep");
  auto node = heap.Get(hid);
  if (!node) return node.error();
  const std::size_t entry = out.key_size + (level == 0 ? out.data_size : 4);
  if (node->size() % entry != 0) {
    return Error(heap.where() + ": BTH node " + Hex(hid) + " is not a whole number of records");
  }
  if (level == 0) {
    out.bytes.insert(out.bytes.end(), node->begin(), node->end());
    return {};
  }
  for (std::size_t i = 0; i < node->size() / entry; ++i) {
    const std::uint32_t child = fmt::Get32(node->data() + i * entry + out.key_size);
    if (auto status = CollectBth(heap, child, level - 1, out, depth + 1); !status) return status;
  }
  return {};
}

}  // namespace

// ---- Heap -------------------------------------------------------------------------------

Result<Heap> Heap::Make(std::vector<Bytes> blocks, std::string where) {
  if (blocks.empty() || blocks[0].size() < 12) return Error(where + ": no heap");
  const Bytes& first = blocks[0];
  if (first[2] != fmt::kHeapSignature) return Error(where + ": not a heap (wrong signature)");
  Heap heap;
  heap.client_ = first[3];
  heap.user_root_ = fmt::Get32(&first[4]);
  heap.blocks_ = std::move(blocks);
  heap.where_ = std::move(where);
  return heap;
}

Result<std::span<const std::uint8_t>> Heap::Get(std::uint32_t hid) const {
  if ((hid & 0x1F) != 0) return Error(where_ + ": " + Hex(hid) + " is not a heap id");
  const std::size_t index = (hid >> 5) & 0x7FF;
  const std::size_t block_index = hid >> 16;
  if (block_index >= blocks_.size()) {
    return Error(where_ + ": heap id " + Hex(hid) + " names a missing heap page");
  }
  const Bytes& block = blocks_[block_index];
  if (block.size() < 2)
    return Error(where_ + ": heap page " + std::to_string(block_index) + " is empty");
  const std::size_t map = fmt::Get16(block.data());
  if (map + 4 > block.size()) {
    return Error(where_ + ": heap page " + std::to_string(block_index) + " has no allocation map");
  }
  const std::size_t count = fmt::Get16(&block[map]);
  if (index == 0 || index > count) {
    return Error(where_ + ": heap id " + Hex(hid) + " names a missing allocation");
  }
  if (map + 4 + 2 * (count + 1) > block.size()) {
    return Error(where_ + ": heap page " + std::to_string(block_index) +
                 " allocation map exceeds the page");
  }
  const std::size_t begin = fmt::Get16(&block[map + 4 + 2 * (index - 1)]);
  const std::size_t end = fmt::Get16(&block[map + 4 + 2 * index]);
  if (begin > end || end > map) {
    return Error(where_ + ": heap id " + Hex(hid) + " has impossible bounds");
  }
  return std::span<const std::uint8_t>(block.data() + begin, end - begin);
}

Result<BthRecords> ReadBth(const Heap& heap, std::uint32_t hid) {
  auto header = heap.Get(hid);
  if (!header) return header.error();
  if (header->size() < 8 || (*header)[0] != fmt::kClientBth) {
    return Error(heap.where() + ": not a BTH header at " + Hex(hid));
  }
  BthRecords records;
  records.key_size = (*header)[1];
  records.data_size = (*header)[2];
  const int levels = (*header)[3];
  const std::uint32_t root = fmt::Get32(header->data() + 4);
  if (records.key_size == 0 || records.key_size > 16 || records.data_size > 32 ||
      levels > kMaxBthLevels) {
    return Error(heap.where() + ": impossible BTH header");
  }
  if (root == 0) return records;
  if (auto status = CollectBth(heap, root, levels, records, 0); !status) return status.error();
  return records;
}

// ---- Node -------------------------------------------------------------------------------

const ndb::SubnodeEntry* Node::FindSubnode(std::uint32_t id) const {
  const auto it = std::lower_bound(
      subnodes.begin(), subnodes.end(), id,
      [](const ndb::SubnodeEntry& entry, std::uint32_t key) { return entry.nid < key; });
  return it != subnodes.end() && it->nid == id ? &*it : nullptr;
}

Result<Bytes> Node::ReadHnid(std::uint32_t hnid) const {
  if (hnid == 0) return Bytes();
  if ((hnid & 0x1F) == fmt::kNidTypeHid) {
    auto span = heap.Get(hnid);
    if (!span) return span.error();
    return Bytes(span->begin(), span->end());
  }
  const ndb::SubnodeEntry* sub = FindSubnode(hnid);
  if (sub == nullptr) return Error(where + ": subnode " + Hex(hnid) + " missing");
  auto data = db->ReadData(sub->bid_data);
  if (!data) return data.error().Within(where + ", subnode " + Hex(hnid));
  return data;
}

Result<std::shared_ptr<const Node>> OpenNode(std::shared_ptr<const ndb::Database> db,
                                             std::uint32_t nid, std::uint64_t bid_data,
                                             std::uint64_t bid_sub, std::string where) {
  auto blocks = db->ReadDataBlocks(bid_data);
  if (!blocks) return blocks.error().Within(where);
  auto heap = Heap::Make(std::move(*blocks), where);
  if (!heap) return heap.error();
  auto subnodes = db->ReadSubnodes(bid_sub);
  if (!subnodes) return subnodes.error().Within(where);
  auto node = std::make_shared<Node>(
      Node{std::move(db), nid, std::move(where), std::move(*heap), std::move(*subnodes)});
  return std::shared_ptr<const Node>(std::move(node));
}

// ---- Property context ---------------------------------------------------------------------

std::size_t FixedSize(std::uint16_t type) {
  switch (type) {
    case type::kBoolean:
      return 1;
    case type::kInt16:
      return 2;
    case type::kInt32:
    case type::kFloat:
    case type::kError:
      return 4;
    case type::kDouble:
    case type::kCurrency:
    case type::kAppTime:
    case type::kInt64:
    case type::kFileTime:
      return 8;
    case type::kGuid:
      return 16;
    default:
      return 0;
  }
}

bool IsFixedSize(std::uint16_t type) {
  return FixedSize(type) != 0;
}

Result<std::vector<StoredValue>> ReadPc(const Node& node) {
  if (node.heap.client() != fmt::kClientPc) return Error(node.where + ": not a property context");
  auto records = ReadBth(node.heap, node.heap.user_root());
  if (!records) return records.error();
  if (records->count() > 0 && (records->key_size != 2 || records->data_size != 6)) {
    return Error(node.where + ": property context with wrong record sizes");
  }
  std::vector<StoredValue> values;
  values.reserve(records->count());
  for (std::size_t i = 0; i < records->count(); ++i) {
    const std::uint8_t* r = records->record(i);
    StoredValue value;
    value.id = fmt::Get16(r);
    value.type = fmt::Get16(r + 2);
    const std::uint32_t hnid = fmt::Get32(r + 4);
    const std::size_t fixed = FixedSize(value.type);
    if (fixed != 0 && fixed <= 4) {
      value.size = static_cast<std::uint8_t>(fixed);
      fmt::Put32(value.inline_bytes, hnid);
    } else {
      value.by_reference = true;
      value.hnid = hnid;
    }
    values.push_back(value);
  }
  std::stable_sort(values.begin(), values.end(),
                   [](const StoredValue& a, const StoredValue& b) { return a.id < b.id; });
  return values;
}

// ---- Table context ----------------------------------------------------------------------

std::uint32_t Table::RowId(std::size_t row) const {
  return fmt::Get32(&rows[row * row_size]);
}

std::vector<StoredValue> Table::Cells(std::size_t row) const {
  std::vector<StoredValue> cells;
  const std::uint8_t* r = &rows[row * row_size];
  const std::uint8_t* bitmap = r + bitmap_offset;
  for (const Column& column : columns) {
    if ((bitmap[column.bit / 8] & (0x80u >> (column.bit % 8))) == 0) continue;
    StoredValue value;
    value.id = static_cast<std::uint16_t>(column.tag >> 16);
    value.type = static_cast<std::uint16_t>(column.tag);
    const std::size_t fixed = FixedSize(value.type);
    if (fixed != 0 && fixed <= 8 && column.size == fixed) {
      value.size = static_cast<std::uint8_t>(fixed);
      std::copy_n(r + column.offset, fixed, value.inline_bytes);
    } else if (column.size == 4) {
      value.by_reference = true;
      value.hnid = fmt::Get32(r + column.offset);
    } else {
      continue;  // a cell whose size fits no reading of its type: left out, checked at open
    }
    cells.push_back(value);
  }
  return cells;
}

Result<Table> ReadTc(const Node& node) {
  const std::string& where = node.where;
  if (node.heap.client() != fmt::kClientTc) return Error(where + ": not a table context");
  auto info = node.heap.Get(node.heap.user_root());
  if (!info) return info.error();
  if (info->size() < 22 || (*info)[0] != fmt::kClientTc) return Error(where + ": no table header");
  const std::size_t column_count = (*info)[1];
  if (22 + 8 * column_count > info->size())
    return Error(where + ": column count exceeds the header");
  Table table;
  table.bitmap_offset = fmt::Get16(info->data() + 6);
  table.row_size = fmt::Get16(info->data() + 8);
  const std::uint32_t rows_hnid = fmt::Get32(info->data() + 14);
  if (table.row_size < 8 || table.bitmap_offset < 8 ||
      table.bitmap_offset + (column_count + 7) / 8 > table.row_size) {
    return Error(where + ": the cell bitmap lies outside the row");
  }
  for (std::size_t i = 0; i < column_count; ++i) {
    const std::uint8_t* c = info->data() + 22 + 8 * i;
    Table::Column column{fmt::Get32(c), fmt::Get16(c + 4), c[6], c[7]};
    if (column.offset + column.size > table.bitmap_offset || column.bit >= column_count) {
      return Error(where + ": column " + Hex(column.tag) + " lies outside the row");
    }
    table.columns.push_back(column);
  }
  std::stable_sort(table.columns.begin(), table.columns.end(),
                   [](const Table::Column& a, const Table::Column& b) { return a.tag < b.tag; });
  if (rows_hnid == 0 || table.row_size == 0) return table;
  if ((rows_hnid & 0x1F) == fmt::kNidTypeHid) {
    auto rows = node.heap.Get(rows_hnid);
    if (!rows) return rows.error();
    const std::size_t whole = rows->size() / table.row_size * table.row_size;
    table.rows.assign(rows->begin(), rows->begin() + static_cast<std::ptrdiff_t>(whole));
    return table;
  }
  const ndb::SubnodeEntry* sub = node.FindSubnode(rows_hnid);
  if (sub == nullptr) return Error(where + ": subnode " + Hex(rows_hnid) + " missing");
  auto blocks = node.db->ReadDataBlocks(sub->bid_data);
  if (!blocks) return blocks.error().Within(where + ", row matrix");
  // Rows never straddle blocks: each block holds a whole number of them.
  for (const Bytes& block : *blocks) {
    const std::size_t whole = block.size() / table.row_size * table.row_size;
    table.rows.insert(table.rows.end(), block.begin(),
                      block.begin() + static_cast<std::ptrdiff_t>(whole));
  }
  return table;
}

}  // namespace pst::ltp
