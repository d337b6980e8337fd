#include "agent/core/screen_corner.h"

namespace kestra {

Placement PlaceAtTaskbarCorner(int W, int H, int w, int h, const std::optional<Rect>& taskbar,
                               uint32_t previous_direction) {
  Placement corner{W - w, H - h, previous_direction};
  if (!taskbar) return corner;
  const Rect& t = *taskbar;
  if (t.left != 0 && t.top == 0 && t.bottom == H) {  // right edge
    return {t.left - w + (W - t.right), H - h, kSlideRightToLeft};
  }
  if (t.left == 0 && t.top != 0 && t.right == W) {  // bottom edge
    return {W - w, H - (t.bottom - t.top) - h, kSlideBottomToTop};
  }
  if (t.left == 0 && t.top == 0 && t.right == W) {  // top edge
    return {W - w, t.bottom, kSlideTopToBottom};
  }
  if (t.left == 0 && t.top == 0 && t.right != W && t.bottom == H) {  // left edge
    return {t.right, H - h, kSlideLeftToRight};
  }
  return corner;
}

}  // namespace kestra
