// The anchor resizer's arithmetic: what each anchor does when the window grows, moves,
// shrinks and comes back.
#include "app/layout_resizer.h"

#include <gtest/gtest.h>

#include <map>

namespace bm::app {
namespace {

// Controls of a 600 x 400 window, in client coordinates.
const std::map<int, IntRect> kPlaces{
    {1, {10, 10, 110, 30}},     // left + top only: never moves
    {2, {500, 10, 580, 30}},    // right + top: a button
    {3, {100, 40, 580, 200}},   // left + right + top: the list
    {4, {10, 40, 90, 380}},     // left + top + bottom: the tree
    {5, {10, 370, 200, 390}},   // left + bottom: the progress bar
    {6, {200, 370, 580, 390}},  // left + right + bottom: the status line
    {7, {200, 100, 300, 150}},  // no flag at all: keeps to the middle
};

class Resizer : public ::testing::Test {
 protected:
  void SetUp() override {
    resizer.Register(1, anchor::kLeft | anchor::kTop);
    resizer.Register(2, anchor::kRight | anchor::kTop);
    resizer.Register(3, anchor::kLeft | anchor::kRight | anchor::kTop);
    resizer.Register(4, anchor::kLeft | anchor::kTop | anchor::kBottom);
    resizer.Register(5, anchor::kLeft | anchor::kBottom);
    resizer.Register(6, anchor::kLeft | anchor::kRight | anchor::kBottom);
    resizer.Register(7, 0);
    resizer.Register(99, anchor::kRight);  // no such control in the window
    resizer.Capture(kWindow, {0, 0, 600, 400}, [](int id) -> std::optional<IntRect> {
      const auto found = kPlaces.find(id);
      if (found == kPlaces.end()) return std::nullopt;
      return found->second;
    });
    for (const auto& [id, rect] : kPlaces) places[id] = rect;
  }

  void ApplyTo(const IntRect& window) {
    for (const ControlMove& move : resizer.Apply(window)) {
      ASSERT_TRUE(places.count(move.control_id)) << move.control_id;
      places[move.control_id] = {move.x, move.y, move.x + move.width, move.y + move.height};
    }
  }

  const IntRect kWindow{100, 100, 700, 500};
  LayoutResizer resizer;
  std::map<int, IntRect> places;
};

TEST_F(Resizer, GrowingMovesAndStretchesByTheAnchors) {
  ApplyTo({0, 0, 800, 550});  // 200 wider, 150 higher, every edge moved
  EXPECT_EQ(resizer.width_change(), 200);
  EXPECT_EQ(resizer.height_change(), 150);
  EXPECT_EQ(resizer.change_mask(), edge::kLeft | edge::kTop | edge::kRight | edge::kBottom);
  EXPECT_EQ(resizer.client(), (IntRect{0, 0, 800, 550}));
  EXPECT_EQ(places[1], kPlaces.at(1));
  EXPECT_EQ(places[2], (IntRect{700, 10, 780, 30}));
  EXPECT_EQ(places[3], (IntRect{100, 40, 780, 200}));
  EXPECT_EQ(places[4], (IntRect{10, 40, 90, 530}));
  EXPECT_EQ(places[5], (IntRect{10, 520, 200, 540}));
  EXPECT_EQ(places[6], (IntRect{200, 520, 780, 540}));
  EXPECT_EQ(places[7], (IntRect{300, 175, 400, 225}));
}

TEST_F(Resizer, MovingWithoutResizingMovesNothing) {
  EXPECT_TRUE(resizer.Apply({300, 250, 900, 650}).empty());
  EXPECT_NE(resizer.change_mask(), 0u);
  EXPECT_EQ(resizer.width_change(), 0);
  EXPECT_EQ(resizer.height_change(), 0);
}

TEST_F(Resizer, ShrinkingAndRestoringReturnsEveryControlToItsPlace) {
  ApplyTo({100, 100, 261, 133});  // odd changes: the centred control moves by halves
  ApplyTo({100, 100, 420, 180});
  ApplyTo(kWindow);
  for (const auto& [id, rect] : kPlaces) EXPECT_EQ(places[id], rect) << id;
}

TEST_F(Resizer, OnlyTheRightEdgeMovingIsAWidthChange) {
  ApplyTo({100, 100, 750, 500});
  EXPECT_EQ(resizer.change_mask(), edge::kRight);
  EXPECT_EQ(places[2], (IntRect{550, 10, 630, 30}));
  EXPECT_EQ(places[4], kPlaces.at(4));  // no height change: the tree keeps its height
}

TEST(ResizerEntries, The257thRegistrationIsIgnored) {
  LayoutResizer resizer;
  for (int id = 0; id < 256; ++id) EXPECT_TRUE(resizer.Register(id, anchor::kRight));
  EXPECT_FALSE(resizer.Register(256, anchor::kRight));
  EXPECT_EQ(resizer.entry_count(), LayoutResizer::kMaxEntries);
  resizer.Capture({0, 0, 100, 100}, {0, 0, 100, 100}, [](int id) -> std::optional<IntRect> {
    return IntRect{id, 0, id + 1, 1};
  });
  const std::vector<ControlMove> moves = resizer.Apply({0, 0, 110, 100});
  ASSERT_EQ(moves.size(), 256u);
  EXPECT_EQ(moves.back().control_id, 255);
  EXPECT_EQ(moves.back().x, 265);
}

}  // namespace
}  // namespace bm::app
