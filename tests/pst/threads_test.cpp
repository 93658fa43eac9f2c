// Two threads reading disjoint halves of one store get what one thread gets.
#include <gtest/gtest.h>

#include <thread>

#include "pst/walk.h"
#include "support/test_support.h"
#include "tools/pstgen/presets.h"

namespace pst {
namespace {

TEST(Threads, DisjointHalvesReadTheSameAsOneThread) {
  bm::test::TempDir dir;
  const auto path = dir.path() / "store.pst";
  pstgen::Write(pstgen::SyntheticStore(80, 7), path);
  for (const bool memory_map : {true, false}) {
    OpenOptions options;
    options.memory_map = memory_map;
    options.page_cache_bytes = 8 * 512;  // small, so both threads evict each other's pages
    auto store = Store::Open(path, options);
    ASSERT_TRUE(store) << store.error().message();
    const std::vector<Nid> messages = test::AllMessages(*store);
    ASSERT_GT(messages.size(), 40u);
    const std::string whole = test::Digest(*store, messages);

    const std::size_t half = messages.size() / 2;
    std::string first;
    std::string second;
    std::thread a([&] { first = test::Digest(*store, std::span(messages).first(half)); });
    std::thread b([&] { second = test::Digest(*store, std::span(messages).subspan(half)); });
    a.join();
    b.join();
    EXPECT_TRUE(first + second == whole) << "memory map: " << memory_map;
  }
}

}  // namespace
}  // namespace pst
