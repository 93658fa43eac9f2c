// The reader's eight-bytes-at-a-time CRC gives what the byte-at-a-time one gives.
#include <gtest/gtest.h>

#include <random>

#include "base/compressed_rtf.h"
#include "pst/format.h"

namespace pst {
namespace {

TEST(Crc, EveryLengthAndAlignmentMatchesTheBytewiseForm) {
  std::mt19937 random(42);
  std::vector<std::uint8_t> data(8200);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
  for (std::size_t start = 0; start < 9; ++start) {
    for (const std::size_t size : {0, 1, 7, 8, 9, 15, 16, 17, 471, 496, 516, 8176}) {
      const std::span<const std::uint8_t> part(data.data() + start, size);
      EXPECT_EQ(format::Crc(part), bm::OutlookCrc32(part)) << start << " " << size;
    }
  }
}

}  // namespace
}  // namespace pst
