// The tray icon's popup menu and its commands.
#pragma once

#include <windows.h>

namespace kestra {

// UM_TRAY_NOTIFY: wParam icon id, lParam mouse message. Returns the message result.
LRESULT OnTrayNotify(HWND main_window, WPARAM icon_id, LPARAM mouse_message);

}  // namespace kestra
