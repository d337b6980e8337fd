#include "agent/core/screen_corner.h"

#include <gtest/gtest.h>

#include <string>

namespace kestra {
namespace {

// Screen 1024 x 768, window 200 x 100, taskbar 40 pixels thick.
struct PlacementCase {
  const char* name;
  std::optional<Rect> taskbar;
  Placement expected;
};

class TaskbarPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(TaskbarPlacement, CornerNextToTheTaskbar) {
  const PlacementCase& c = GetParam();
  Placement p = PlaceAtTaskbarCorner(1024, 768, 200, 100, c.taskbar, kSlideTopToBottom);
  EXPECT_EQ(p.x, c.expected.x);
  EXPECT_EQ(p.y, c.expected.y);
  EXPECT_EQ(p.direction, c.expected.direction);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TaskbarPlacement,
    ::testing::Values(
        PlacementCase{"bottom", Rect{0, 728, 1024, 768}, {824, 628, kSlideBottomToTop}},
        PlacementCase{"top", Rect{0, 0, 1024, 40}, {824, 40, kSlideTopToBottom}},
        PlacementCase{"left", Rect{0, 0, 60, 768}, {60, 668, kSlideLeftToRight}},
        PlacementCase{"right", Rect{964, 0, 1024, 768}, {764, 668, kSlideRightToLeft}},
        // No taskbar and odd shapes: bottom-right corner, previous direction kept.
        PlacementCase{"none", std::nullopt, {824, 668, kSlideTopToBottom}},
        PlacementCase{"floating", Rect{100, 100, 500, 140}, {824, 668, kSlideTopToBottom}},
        PlacementCase{"auto_hidden_below", Rect{0, 766, 1000, 806}, {824, 668, kSlideTopToBottom}}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
      return std::string(info.param.name);
    });

TEST(TaskbarPlacementRightEdge, ScreenWiderThanTheTaskbarsRightSide) {
  // A right taskbar that does not reach the screen edge still ends up beside it.
  Placement p = PlaceAtTaskbarCorner(1024, 768, 200, 100, Rect{900, 0, 1000, 768}, kSlideNone);
  EXPECT_EQ(p.x, 900 - 200 + 24);
  EXPECT_EQ(p.direction, kSlideRightToLeft);
}

}  // namespace
}  // namespace kestra
