#include "keepalive/win/service_main.h"

#include "keepalive/core/service_rules.h"
#include "keepalive/win/service_responder.h"
#include "keepalive/win/service_text.h"
#include "keepalive/win/session_watch.h"

namespace keepalive {
namespace {

// Written by the service main and the control handler, never at once: the
// handler acts only while running, which the main leaves only after the
// session watch (ended by the handler's stop event) is over.
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_stop_event = nullptr;  // owned by ServiceMain

// The responder ends soon after the stop event; it is not waited for longer.
constexpr DWORD kResponderEndWaitMs = 5000;

void Report(const StatusReport& report) {
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = report.state;
  g_status.dwControlsAccepted = report.controls_accepted;
  g_status.dwWin32ExitCode = report.exit_code;
  g_status.dwServiceSpecificExitCode = 0;
  g_status.dwCheckPoint = report.check_point;
  g_status.dwWaitHint = 0;
  SetServiceStatus(g_status_handle, &g_status);
}

void WINAPI ControlHandler(DWORD control) {
  std::optional<StatusReport> report = OnControl(control, g_status.dwCurrentState);
  if (!report) return;
  Report(*report);
  SetEvent(g_stop_event);
}

// Runs the responder and the session watch until the stop event; true when
// the responder has ended too (the stop event may then be closed).
bool RunUntilStopped(HANDLE stop_event) {
  tessal::ScopedKernelHandle responder = StartServiceResponder(stop_event);
  tessal::ScopedKernelHandle watch(
      CreateThread(nullptr, 0, SessionWatchThread, stop_event, 0, nullptr));
  if (watch.valid()) {
    WaitForSingleObject(watch.get(), INFINITE);
    watch.reset();
  }
  // Also when the watch could not start: the responder must not outlive the run.
  SetEvent(stop_event);
  if (!responder.valid()) return true;
  return WaitForSingleObject(responder.get(), kResponderEndWaitMs) == WAIT_OBJECT_0;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  g_status_handle = RegisterServiceCtrlHandlerW(WideConstant(kServiceName), ControlHandler);
  if (g_status_handle == nullptr) return;
  Report(StartPendingReport());
  tessal::ScopedKernelHandle stop_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_stop_event = stop_event.get();
  if (!stop_event.valid()) {
    Report(NoStopEventReport(GetLastError()));
    return;
  }
  Report(RunningReport());
  // A responder still running holds the stop event: it stays open then.
  if (!RunUntilStopped(stop_event.get())) stop_event.release();
  stop_event.reset();
  Report(StoppedReport());
}

}  // namespace

DWORD RunServiceDispatcher() {
  std::wstring name = WideConstant(kServiceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : GetLastError();
}

}  // namespace keepalive
