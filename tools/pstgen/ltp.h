// The lists, tables and properties layer: heap-on-node, BTH, property and table contexts.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/pstgen/ndb.h"

namespace pstgen::ltp {

using Bytes = std::vector<std::uint8_t>;

// The subnodes of one node: large values, row matrices, attachments, tables.
class SubnodeSet {
 public:
  // A fresh subnode id of `type`, unique within this node.
  std::uint32_t NewNid(std::uint32_t type);
  void Add(std::uint32_t nid, std::uint64_t bid_data, std::uint64_t bid_sub) {
    entries_.push_back({nid, bid_data, bid_sub});
  }
  const std::vector<ndb::SubnodeEntry>& entries() const { return entries_; }

 private:
  std::vector<ndb::SubnodeEntry> entries_;
  std::uint32_t next_index_ = 1;
};

// A heap-on-node being filled: allocations are placed in order, block after block.
class Heap {
 public:
  explicit Heap(std::uint8_t client_signature) : client_(client_signature) {}
  // Returns the HID of a new allocation of at most 3580 bytes.
  std::uint32_t Allocate(std::span<const std::uint8_t> data);
  void set_user_root(std::uint32_t hid) { user_root_ = hid; }
  // The heap's data blocks, each at most 8176 bytes.
  std::vector<Bytes> Serialize() const;

 private:
  struct Block {
    std::vector<Bytes> allocations;
    std::size_t bytes = 0;
  };
  static std::size_t HeaderSize(std::size_t block_index);
  static std::size_t SerializedSize(std::size_t block_index, std::size_t bytes,
                                    std::size_t allocations);
  Bytes SerializeBlock(std::size_t index) const;

  std::uint8_t client_;
  std::uint32_t user_root_ = 0;
  std::vector<Block> blocks_;
};

// Builds a BTH over sorted records (key then data bytes); returns the HID of its header.
std::uint32_t BuildBth(Heap& heap, std::uint8_t key_size, std::uint8_t data_size,
                       const std::vector<Bytes>& records);

// A property value ready for a property or table context.
struct EncodedValue {
  std::uint16_t id = 0;
  std::uint16_t type = 0;
  Bytes bytes;  // little-endian fixed-size value, or the variable-size contents
};

bool IsFixedSize(std::uint16_t type);
std::size_t FixedSize(std::uint16_t type);  // 1, 2, 4 or 8 for fixed types

// What a finished PC or TC is on disk.
struct WrittenObject {
  std::uint64_t bid_data = 0;
  std::uint64_t bid_sub = 0;
};

// Property context: `values` need unique ids. Large values become subnodes in `subnodes`.
std::vector<Bytes> BuildPc(std::vector<EncodedValue> values, ndb::NdbWriter& ndb,
                           SubnodeSet& subnodes);

struct Row {
  std::uint32_t row_id = 0;
  std::vector<EncodedValue> cells;  // only cells whose tag is a column are stored
};

// Table context with the given columns (row id and version columns are added).
std::vector<Bytes> BuildTc(std::vector<std::uint32_t> column_tags, const std::vector<Row>& rows,
                           ndb::NdbWriter& ndb, SubnodeSet& subnodes);

// Writes a PC or TC: its blocks and its subnodes.
WrittenObject WriteObject(ndb::NdbWriter& ndb, const std::vector<Bytes>& blocks,
                          const SubnodeSet& subnodes);

inline constexpr std::uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr std::uint32_t kTagLtpRowVer = 0x67F30003;

}  // namespace pstgen::ltp
