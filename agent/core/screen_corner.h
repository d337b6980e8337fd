// The screen corner next to the taskbar, where the main window and the toast
// slide in, and the directions they slide from.
#pragma once

#include <cstdint>
#include <optional>

namespace kestra {

// Slide-in directions (the animation flags of the platform).
enum SlideDirection : uint32_t {
  kSlideNone = 0,
  kSlideLeftToRight = 1,  // taskbar on the left
  kSlideRightToLeft = 2,  // taskbar on the right
  kSlideTopToBottom = 4,  // taskbar at the top
  kSlideBottomToTop = 8,  // taskbar at the bottom
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct Placement {
  int x = 0, y = 0;
  uint32_t direction = kSlideNone;
};

// Where a window of w x h on a W x H screen goes: the screen corner next to the
// taskbar, sliding in from the taskbar's side. Without a taskbar, or with one of
// an unexpected shape, the bottom-right corner and the previous direction.
Placement PlaceAtTaskbarCorner(int screen_w, int screen_h, int w, int h,
                               const std::optional<Rect>& taskbar, uint32_t previous_direction);

}  // namespace kestra
