#include "win/service_commands.h"

#include <windows.h>

#include "core/service_rules.h"
#include "win/service_text.h"

namespace keepalive {
namespace {

// Service control manager and service handles, closed on scope exit.
struct ScopedServiceHandle {
  explicit ScopedServiceHandle(SC_HANDLE h) : handle(h) {}
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  ~ScopedServiceHandle() {
    if (handle != nullptr) CloseServiceHandle(handle);
  }
  SC_HANDLE handle;
};

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
  } while (status.dwCurrentState == SERVICE_STOP_PENDING && GetTickCount() - start < kStopWaitLimitMs);
}

}  // namespace

void InstallService() {
  std::optional<std::u16string> program = OwnProgramPath();
  if (!program) return;
  ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (scm.handle == nullptr) return;
  // Quoted, so that a folder with spaces never runs as the path's first word.
  std::wstring binary = ToWide(QuotedProgramPath(*program));
  ScopedServiceHandle service(CreateServiceW(
      scm.handle, ServiceName(), WideConstant(kDisplayName), SERVICE_QUERY_STATUS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr,
      L"\0", nullptr, nullptr));
}

void StartInstalledService() {
  ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (scm.handle == nullptr) return;
  ScopedServiceHandle service(OpenServiceW(scm.handle, ServiceName(), SERVICE_ALL_ACCESS));
  if (service.handle == nullptr) return;
  StartServiceW(service.handle, 0, nullptr);
}

void RemoveService() {
  ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (scm.handle == nullptr) return;
  ScopedServiceHandle service(OpenServiceW(scm.handle, ServiceName(), kRemoveAccess));
  if (service.handle == nullptr) return;
  SERVICE_STATUS status{};
  if (ControlService(service.handle, SERVICE_CONTROL_STOP, &status)) WaitWhileStopPending(service.handle);
  DeleteService(service.handle);
}

}  // namespace keepalive
