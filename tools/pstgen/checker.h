// A structure verifier for PST files, Unicode and ANSI, with any of the three encodings. The usual
// readers forgive wrong CRCs and tables that disagree with the node tree; this walks the whole file
// and reports every such fault.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/pstgen/layout_map.h"

namespace pstgen {

struct CheckReport {
  std::vector<std::string> problems;  // empty when the file is sound
  std::size_t nodes = 0;
  std::size_t blocks = 0;
  std::size_t folders = 0;
  std::size_t messages = 0;
  int nbt_levels = 0;  // index levels above the leaves
  int bbt_levels = 0;
  // Space the allocation maps mark as used that no block or page occupies. Outlook leaves
  // some behind; a file just written should have none.
  std::uint64_t leaked_bytes = 0;
  bool ok() const { return problems.empty(); }
};

// Checks the header and its CRCs, the allocation maps against what the B-trees reference,
// every page and block (type, signature, CRC, back pointer), data and subnode trees, the
// heap and property/table contexts of folders and messages, and each folder's hierarchy,
// contents and associated contents tables against the node tree's parent links.
// Throws std::runtime_error only when the file cannot be read at all.
CheckReport CheckPst(const std::filesystem::path& path);

// Runs the same walk and returns where the structures it met lie. A damaged file gives what
// could be reached.
LayoutMap MapPst(const std::filesystem::path& path);

}  // namespace pstgen
