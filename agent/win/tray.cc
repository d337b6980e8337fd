#include "agent/win/tray.h"

#include "common/win/platform.h"
#include <shellapi.h>

#include <cstdio>

#include "agent/core/policy.h"
#include "agent/core/policy_refresh.h"
#include "agent/win/agent_state.h"
#include "agent/win/browsers.h"
#include "agent/win/shutdown.h"
#include "agent/win/text.h"

namespace kestra {

std::optional<Rect> TaskbarRect() {
  HWND tray = FindWindowA("Shell_traywnd", nullptr);
  RECT t;
  if (tray == nullptr || !GetWindowRect(tray, &t)) return std::nullopt;
  return Rect{t.left, t.top, t.right, t.bottom};
}

Placement PlaceAtTaskbarCorner(HWND window, uint32_t previous_direction) {
  RECT own;
  GetWindowRect(window, &own);
  return PlaceAtTaskbarCorner(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                              own.right - own.left, own.bottom - own.top, TaskbarRect(),
                              previous_direction);
}

namespace {

int Ask(HWND owner, const char* question) {
  return MessageBoxW(owner, Widen(question).c_str(), Widen(kTrayTip).c_str(), MB_YESNO);
}

void ShowSafeAddress(HWND owner, unsigned command) {
  AgentState& a = Agent();
  unsigned index = command - 1;
  if (index > kMaxTargets - 1) index = kMaxTargets - 1;
  std::string host, ip;
  bool listed = a.policy.table.Read([&](const TargetContents& c) {
    if (index >= c.targets.size()) return false;
    host = c.targets[index].main_host;
    ip = c.targets[index].main_ip;
    return true;
  });
  if (!listed) return;
  // The message box waits for the user, so the lock is released first.
  std::string text = "[" + host + "]\r\n안전주소: " + ip;
  MessageBoxW(owner, Widen(text).c_str(), Widen(kTrayTip).c_str(), MB_OK);
}

void ExitAgent(HWND owner) {
  if (Ask(owner, "사용중인 브라우저도 종료됩니다.\r\n종료하시겠습니까?") != IDYES) return;
  AgentState& a = Agent();
  CloseProtectedBrowsers(a.edition);
  a.policy.table.Write([](TargetContents& c) { c.targets.clear(); });
  Shell_NotifyIconA(NIM_DELETE, &a.tray);
  PostQuitMessage(0);
}

void UpdateEngine(HWND owner) {
  if (Ask(owner, "브라우저도 종료될 수 있습니다.\r\n계속하시겠습니까?") != IDYES) return;
  RunProtectedStart(Agent().program_folder);
  RunShutdownRoutine();
}

}  // namespace

void ShowTrayIconFor(HWND main_window, UINT milliseconds) {
  KillTimer(main_window, kTimerTrayIcon);
  Shell_NotifyIconA(NIM_ADD, &Agent().tray);
  SetTimer(main_window, kTimerTrayIcon, milliseconds, nullptr);
}

LRESULT OnTrayNotify(HWND main_window, WPARAM icon_id, LPARAM mouse_message) {
  if (icon_id == 0) SetForegroundWindow(main_window);
  if (mouse_message != WM_LBUTTONUP && mouse_message != WM_RBUTTONUP) return 1;
  HMENU menu = Agent().tray_menu.get();
  if (menu == nullptr) return 1;
  POINT at;
  GetCursorPos(&at);
  UINT command = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, main_window, nullptr));
  SendMessageA(main_window, WM_NULL, 0, 0);
  if (command >= 1 && command <= kMaxTargets) {
    ShowSafeAddress(main_window, command);
  } else if (command == kCmdExit) {
    ExitAgent(main_window);
  } else if (command == kCmdEngineUpdate) {
    UpdateEngine(main_window);
  }
  return 1;
}

}  // namespace kestra
