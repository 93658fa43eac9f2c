// The lists, tables and properties layer of the reader: heap-on-node, BTH, property context
// and table context, over one node (or subnode) of the node database.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pst/ndb.h"

namespace pst::ltp {

using ndb::Bytes;
using ndb::Status;

// A node's heap: its data blocks, each a heap page with its own allocation map.
class Heap {
 public:
  // Checks the first page's header; `where` names the node in errors.
  static Result<Heap> Make(std::vector<Bytes> blocks, std::string where);

  std::uint8_t client() const { return client_; }
  std::uint32_t user_root() const { return user_root_; }
  // The allocation `hid` names; an error when it does not exist.
  Result<std::span<const std::uint8_t>> Get(std::uint32_t hid) const;
  const std::string& where() const { return where_; }

 private:
  std::vector<Bytes> blocks_;
  std::string where_;
  std::uint8_t client_ = 0;
  std::uint32_t user_root_ = 0;
};

// Every record of the BTH whose header allocation is `hid`, in key order: key then data.
struct BthRecords {
  std::size_t key_size = 0;
  std::size_t data_size = 0;
  Bytes bytes;  // records back to back
  std::size_t count() const { return bytes.size() / (key_size + data_size); }
  const std::uint8_t* record(std::size_t i) const {
    return bytes.data() + i * (key_size + data_size);
  }
};
Result<BthRecords> ReadBth(const Heap& heap, std::uint32_t hid);

// One node's LTP view: its heap and subnodes, and the database to read subnode data from.
struct Node {
  std::shared_ptr<const ndb::Database> db;
  std::uint32_t nid = 0;  // for errors
  std::string where;      // "node 0x2004" or "node 0x2004, subnode 0x8025"
  Heap heap;
  std::vector<ndb::SubnodeEntry> subnodes;

  const ndb::SubnodeEntry* FindSubnode(std::uint32_t nid) const;
  // A variable-size value: a heap allocation (HID), a subnode (NID), or empty (0).
  Result<Bytes> ReadHnid(std::uint32_t hnid) const;
};

// Reads a node's (or subnode's) data as a heap with its subnode list.
Result<std::shared_ptr<const Node>> OpenNode(std::shared_ptr<const ndb::Database> db,
                                             std::uint32_t nid, std::uint64_t bid_data,
                                             std::uint64_t bid_sub, std::string where);

bool IsFixedSize(std::uint16_t type);
// Stored size of a fixed-size type (1, 2, 4, 8, or 16 for PT_CLSID); 0 for variable types.
std::size_t FixedSize(std::uint16_t type);

// A property as a context stores it: fixed values up to 8 bytes inline, others by HNID.
struct StoredValue {
  std::uint16_t id = 0;
  std::uint16_t type = 0;
  bool by_reference = false;
  std::uint8_t size = 0;  // inline bytes
  std::uint8_t inline_bytes[8] = {};
  std::uint32_t hnid = 0;
};

// The property context of a node: its properties in id order.
Result<std::vector<StoredValue>> ReadPc(const Node& node);

// A table context: its columns and its rows' bytes.
struct Table {
  struct Column {
    std::uint32_t tag = 0;
    std::uint16_t offset = 0;
    std::uint8_t size = 0;
    std::uint8_t bit = 0;
  };
  std::vector<Column> columns;  // in tag order
  std::size_t row_size = 0;     // TCI_bm: end of the existence bitmap
  std::size_t bitmap_offset = 0;
  Bytes rows;  // row_count() rows back to back
  std::size_t row_count() const { return row_size ? rows.size() / row_size : 0; }
  std::uint32_t RowId(std::size_t row) const;
  // The row's cells that exist, as stored values, in tag order.
  std::vector<StoredValue> Cells(std::size_t row) const;
};
Result<Table> ReadTc(const Node& node);

}  // namespace pst::ltp
