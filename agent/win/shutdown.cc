#include "win/shutdown.h"

#include <windows.h>
#include <shellapi.h>

#include "core/messages.h"
#include "win/agent_state.h"

namespace kestra {

namespace {

void DestroyBrowserWindow(const char* window_class) {
  HWND browser = FindWindowA(window_class, nullptr);
  if (browser == nullptr || !IsWindow(browser)) return;
  // Bounded, so that a hung browser cannot keep the agent from ending.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(browser, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

}  // namespace

void RunShutdownRoutine() {
  AgentState& a = Agent();
  bool r = a.edition == Edition::kR;
  DestroyBrowserWindow(r ? kBrowserClassR64 : kBrowserClassX64);
  DestroyBrowserWindow(r ? kBrowserClassR32 : kBrowserClassX32);
  a.stop_flag = 1;
  Sleep(1000);
  if (a.target_lock_ready) {
    a.target_lock_ready = false;
    DeleteCriticalSection(&a.target_lock);
  }
  Shell_NotifyIconA(NIM_DELETE, &a.tray);
  TerminateProcess(GetCurrentProcess(), kShutdownExitCode);
  ExitProcess(kShutdownExitCode);
}

}  // namespace kestra
