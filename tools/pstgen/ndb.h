// The node database layer: blocks written to disk as they are made, data trees, subnode
// trees, and at the end the two B-trees, the allocation maps and the header.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "pst/format.h"
#include "tools/pstgen/pstgen.h"

namespace pstgen::ndb {

struct SubnodeEntry {
  std::uint32_t nid = 0;
  std::uint64_t bid_data = 0;
  std::uint64_t bid_sub = 0;
};

struct NodeEntry {
  std::uint32_t nid = 0;
  std::uint64_t bid_data = 0;
  std::uint64_t bid_sub = 0;
  std::uint32_t parent = 0;
};

class NdbWriter {
 public:
  NdbWriter(const std::filesystem::path& path, Encryption encryption, FileFormat format);
  NdbWriter(const NdbWriter&) = delete;
  NdbWriter& operator=(const NdbWriter&) = delete;

  // A node's data stream: one block, or an XBLOCK / XXBLOCK tree over many.
  std::uint64_t WriteData(std::span<const std::uint8_t> data);
  // A data stream already cut into blocks (heap blocks, row matrix blocks: each at most 8176
  // bytes, and the cut points matter to the reader).
  std::uint64_t WriteBlocks(const std::vector<std::vector<std::uint8_t>>& blocks);
  // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); returns 0 when there are no entries.
  std::uint64_t WriteSubnodes(std::vector<SubnodeEntry> entries);

  void AddNode(const NodeEntry& node) { nodes_.push_back(node); }
  // Most data one block holds in this file's format.
  std::size_t max_block_data() const { return layout_.max_block_data; }

  // Writes the B-trees, the maps and the header, and closes the file.
  void Finish(const std::array<std::uint32_t, 32>& next_nid_index);

 private:
  struct BlockEntry {
    std::uint64_t bid;
    std::uint64_t ib;
    std::uint16_t cb;
  };
  struct PageRef {
    std::uint64_t key;
    std::uint64_t bid;
    std::uint64_t ib;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::uint64_t WriteBlock(std::span<const std::uint8_t> data, bool internal);
  std::uint64_t WriteTree(std::vector<std::uint64_t> bids, std::vector<std::uint64_t> sizes);
  std::uint64_t WriteXBlock(std::uint8_t level, std::span<const std::uint64_t> bids,
                            std::uint64_t total);
  std::uint64_t Allocate(std::size_t size, std::size_t alignment);
  void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  void Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  PageRef WriteBtreePage(std::uint8_t page_type, std::uint8_t level, std::uint8_t entry_size,
                         std::span<const std::uint8_t> entries, std::size_t count,
                         std::uint64_t first_key);
  PageRef WriteBtree(std::uint8_t page_type, std::uint8_t leaf_entry_size,
                     std::span<const std::uint8_t> leaf_entries,
                     const std::vector<std::uint64_t>& keys);
  PageRef WriteBlockBtree();
  PageRef WriteNodeBtree();
  std::uint64_t WriteMaps(std::uint64_t amap_count);
  void WriteDensityList();
  void WriteHeader(const PageRef& nbt, const PageRef& bbt, std::uint64_t file_end,
                   std::uint64_t amap_free, const std::array<std::uint32_t, 32>& next_nid_index);
  void MarkAllocated(std::uint64_t offset, std::size_t size);
  bool IsAllocated(std::uint64_t slot) const;

  std::unique_ptr<std::FILE, FileCloser> file_;
  std::filesystem::path path_;
  Encryption encryption_;
  const pst::format::Layout& layout_;
  std::uint64_t cursor_;    // next free byte for allocation
  std::uint64_t file_pos_;  // bytes written so far (sequentially)
  std::uint64_t next_bid_ = 4;
  std::uint64_t next_page_bid_ = 1;
  std::vector<BlockEntry> blocks_;
  std::vector<NodeEntry> nodes_;
  std::vector<std::uint8_t> allocated_;  // one bit per 64-byte slot from the first AMap, MSB first
};

}  // namespace pstgen::ndb
