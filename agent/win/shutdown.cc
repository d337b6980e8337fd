#include "agent/win/shutdown.h"

#include "common/win/platform.h"
#include <shellapi.h>

#include "agent/core/messages.h"
#include "agent/win/agent_state.h"
#include "agent/win/browsers.h"

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
