// Where a PST file's structures lie, as the structure checker found them: for tools that aim
// damage at particular structures (scripts/corrupt) without parsing the format themselves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pst/format.h"

namespace pstgen {

struct LayoutMap {
  struct Page {
    std::string tree;  // "nbt" or "bbt"
    std::uint64_t bid = 0;
    std::uint64_t ib = 0;
    int level = 0;
    int count = 0;
    std::optional<std::uint64_t> parent;  // offset of the page that refers to it
  };
  struct Block {
    std::uint64_t bid = 0;
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;
    std::uint64_t entry = 0;  // file offset of its BBT entry
  };
  struct Node {
    std::uint32_t nid = 0;
    std::uint32_t parent = 0;
    std::uint64_t bid_data = 0;
    std::uint64_t bid_sub = 0;
    std::uint64_t entry = 0;  // file offset of its NBT entry
  };

  const pst::format::Layout* layout = nullptr;  // null when the header was unreadable
  std::uint8_t encryption = 0;
  std::uint64_t file_size = 0;
  std::vector<Page> pages;
  std::vector<Block> blocks;
  std::vector<Node> nodes;
  std::vector<std::uint64_t> heaps;             // BIDs of blocks that open a heap-on-node
  std::vector<std::uint64_t> data_tree_blocks;  // XBLOCKs and XXBLOCKs
  std::vector<std::uint64_t> subnode_blocks;    // SLBLOCKs and SIBLOCKs
};

// The map as JSON: format constants and header field offsets from pst/format.h, then the
// pages, blocks and nodes.
std::string LayoutJson(const LayoutMap& map);

}  // namespace pstgen
