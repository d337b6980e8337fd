#include "keepalive/win/service_commands.h"

#include "common/win/platform.h"

#include "common/win/scoped_handle.h"
#include "keepalive/core/service_rules.h"
#include "keepalive/win/service_text.h"

namespace keepalive {
namespace {

using tessal::ScopedServiceHandle;

constexpr DWORD kRemoveAccess = DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS;  // 0x10024
// A service that stays stop-pending longer than this is deleted all the same
// (it goes when its process ends) rather than holding the command for ever.
constexpr DWORD kStopWaitLimitMs = 40000;
constexpr DWORD kStopPollMs = 100;

const wchar_t* ServiceName() { return WideConstant(kServiceName); }

void WaitWhileStopPending(SC_HANDLE service) {
  DWORD start = GetTickCount();
  SERVICE_STATUS status{};
  do {
    Sleep(kStopPollMs);
    if (!QueryServiceStatus(service, &status)) return;
  } while (status.dwCurrentState == SERVICE_STOP_PENDING &&
           GetTickCount() - start < kStopWaitLimitMs);
}

}  // namespace

void InstallService() {
  std::optional<std::u16string> program = OwnProgramPath();
  if (!program) return;
  ScopedServiceHandle scm(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!scm.valid()) return;
  // Quoted, so that a folder with spaces never runs as the path's first word.
  std::wstring binary = ToWide(QuotedProgramPath(*program));
  ScopedServiceHandle service(
      CreateServiceW(scm.get(), ServiceName(), WideConstant(kDisplayName), SERVICE_QUERY_STATUS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     binary.c_str(), nullptr, nullptr, L"\0", nullptr, nullptr));
}

void StartInstalledService() {
  ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!scm.valid()) return;
  ScopedServiceHandle service(OpenServiceW(scm.get(), ServiceName(), SERVICE_ALL_ACCESS));
  if (!service.valid()) return;
  StartServiceW(service.get(), 0, nullptr);
}

void RemoveService() {
  ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!scm.valid()) return;
  ScopedServiceHandle service(OpenServiceW(scm.get(), ServiceName(), kRemoveAccess));
  if (!service.valid()) return;
  SERVICE_STATUS status{};
  if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
    WaitWhileStopPending(service.get());
  DeleteService(service.get());
}

}  // namespace keepalive
