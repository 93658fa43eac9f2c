// The shared format definitions: the cyclic block encoding and the two layouts.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "pst/format.h"

namespace pst::format {
namespace {

std::vector<std::uint8_t> AllBytes() {
  std::vector<std::uint8_t> bytes(600);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

TEST(CyclicEncoding, DecodeUndoesEncodeForEveryKeyShape) {
  const auto plain = AllBytes();
  for (std::uint32_t key : {0u, 1u, 0x4u, 0xFFFFu, 0x10000u, 0x12345678u, 0xFFFFFFFFu}) {
    auto data = plain;
    CyclicEncode(data, key);
    EXPECT_NE(data, plain) << key;
    CyclicDecode(data, key);
    EXPECT_EQ(data, plain) << key;
  }
}

TEST(CyclicEncoding, DependsOnKeyAndPosition) {
  std::vector<std::uint8_t> a(64, 0x20), b(64, 0x20);
  CyclicEncode(a, 0x24);
  CyclicEncode(b, 0x28);
  EXPECT_NE(a, b);
  // The same plain byte encodes differently along the block, unlike the permutation.
  EXPECT_NE(a[0], a[1]);
  // A key's two halves fold together: 0x00010000 and 0x00000001 give the same stream.
  std::vector<std::uint8_t> c(64, 0x20), d(64, 0x20);
  CyclicEncode(c, 0x00010000);
  CyclicEncode(d, 0x00000001);
  EXPECT_EQ(c, d);
}

TEST(FormatLayout, AnsiAndUnicodeDescribeWholePagesAndBlocks) {
  for (const Layout* layout : {&kUnicodeLayout, &kAnsiLayout}) {
    // cEnt, cEntMax, cbEnt and cLevel fit before the trailer (Unicode pads 4 more bytes).
    EXPECT_LE(layout->bt_entries_size + 4, layout->page_data_size);
    EXPECT_EQ(layout->page_data_size + layout->page_trailer_size, kPageSize);
    EXPECT_EQ(layout->header_root + layout->root_amap_valid + 4,
              layout->header_root + layout->root_size);
    EXPECT_EQ(layout->block_size(layout->max_block_data), kMaxBlockSize);
    EXPECT_LE(layout->xblock_header + layout->max_xblock_entries * layout->id_size,
              layout->max_block_data);
    EXPECT_LE(layout->sl_header + layout->max_sl_entries * layout->sl_entry_size,
              layout->max_block_data);
    EXPECT_EQ(&LayoutOf(layout->format), layout);
  }
  EXPECT_EQ(kAnsiLayout.bt_max_entries(kAnsiLayout.bbt_entry_size), 41u);
  EXPECT_EQ(kAnsiLayout.bt_max_entries(kAnsiLayout.nbt_entry_size), 31u);
  EXPECT_EQ(kUnicodeLayout.bt_max_entries(kUnicodeLayout.nbt_entry_size), 15u);

  std::uint8_t bytes[8] = {};
  kAnsiLayout.PutId(bytes, 0x1122334455667788ull);
  EXPECT_EQ(Get64(bytes), 0x55667788u);  // ANSI ids are 32-bit; nothing spills over
  EXPECT_EQ(kAnsiLayout.GetId(bytes), 0x55667788u);
}

}  // namespace
}  // namespace pst::format
