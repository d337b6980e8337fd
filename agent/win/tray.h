// The tray icon's popup menu and its commands.
#pragma once

#include "common/win/platform.h"

#include <optional>

#include "agent/core/screen_corner.h"

namespace kestra {

// The taskbar's rectangle, at whose corner the main window and the toast slide
// in; nothing when there is no taskbar.
std::optional<Rect> TaskbarRect();
// Where a window goes at the screen corner next to the taskbar, and from which
// side it slides in (the previous direction when there is no taskbar).
Placement PlaceAtTaskbarCorner(HWND window, uint32_t previous_direction);

// Posted to the main window by the responder thread after each connection: the
// icon shows for kResponderIconMs (timer 4 belongs to the main window's thread).
inline constexpr UINT kUmResponderConnection = WM_APP + 0x27;
inline constexpr UINT kResponderIconMs = 30000;

// Adds the tray icon and (re)starts timer 4, whose expiry removes it again.
void ShowTrayIconFor(HWND main_window, UINT milliseconds);

// UM_TRAY_NOTIFY: wParam icon id, lParam mouse message. Returns the message result.
LRESULT OnTrayNotify(HWND main_window, WPARAM icon_id, LPARAM mouse_message);

}  // namespace kestra
