#include "keepalive/win/session_watch.h"

#include "common/win/platform.h"
#include <lm.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "common/win/scoped_handle.h"
#include "keepalive/core/service_rules.h"
#include "keepalive/win/launch.h"
#include "keepalive/win/service_text.h"

namespace keepalive {
namespace {

constexpr DWORD kPassIntervalMs = 30000;

// Waits on the stop event, so that a stop never waits for a pause to end.
bool StopSignalled(HANDLE stop_event, DWORD wait_ms) {
  return WaitForSingleObject(stop_event, wait_ms) == WAIT_OBJECT_0;
}

// The image names of the running processes; none when no snapshot can be taken.
std::vector<std::string> RunningImages() {
  std::vector<std::string> images;
  tessal::ScopedKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) {
    snapshot.release();
    return images;
  }
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    images.emplace_back(entry.szExeFile);
  }
  return images;
}

std::optional<WindowsVersion> WorkstationVersion() {
  WKSTA_INFO_100* info = nullptr;
  if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<BYTE**>(&info)) != NERR_Success ||
      info == nullptr) {
    return std::nullopt;
  }
  WindowsVersion version{info->wki100_ver_major, info->wki100_ver_minor};
  NetApiBufferFree(info);
  return version;
}

std::optional<LaunchCommand> OwnLaunchCommand() {
  std::optional<std::u16string> program = OwnProgramPath();
  std::optional<std::u16string> folder = program ? ProgramFolder(*program) : std::nullopt;
  return folder ? MakeLaunchCommand(*folder) : std::nullopt;
}

}  // namespace

DWORD WINAPI SessionWatchThread(void* stop_event) {
  std::optional<LaunchCommand> launch = OwnLaunchCommand();
  EnableOwnPrivilege(kTcbPrivilege);
  bool legacy = IsLegacyWindows(WorkstationVersion());
  ConsoleSessionLauncher console_launcher;
  while (!StopSignalled(stop_event, 0)) {
    if (launch && !SuiteRunning(RunningImages())) {
      DWORD pause_ms = legacy ? LaunchInServiceSession(*launch) : console_launcher.Launch(*launch);
      if (pause_ms > 0 && StopSignalled(stop_event, pause_ms)) break;
    }
    if (StopSignalled(stop_event, kPassIntervalMs)) break;
  }
  return 0;
}

}  // namespace keepalive
