#include "win/shutdown.h"

#include <windows.h>
#include <shellapi.h>

#include "core/messages.h"
#include "win/agent_state.h"
#include "win/browsers.h"

namespace kestra {

void RunShutdownRoutine() {
  AgentState& a = Agent();
  CloseProtectedBrowsers(a.edition);
  a.stop_flag = 1;
  Sleep(1000);
  Shell_NotifyIconA(NIM_DELETE, &a.tray);
  TerminateProcess(GetCurrentProcess(), kShutdownExitCode);
  ExitProcess(kShutdownExitCode);
}

}  // namespace kestra
