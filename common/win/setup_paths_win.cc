#include "common/win/setup_paths_win.h"

#include "common/win/platform.h"
#include <lm.h>
#include <shlobj.h>

#include "common/core/setup_paths.h"

namespace tessal {
namespace {

std::string FromBuffer(UINT(WINAPI* get)(LPSTR, UINT)) {
  char buf[MAX_PATH + 1] = {};
  UINT n = get(buf, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return std::string();
  return buf;
}

}  // namespace

int WindowsVersionCode(int current) {
  OSVERSIONINFOEXA ex = {};
  ex.dwOSVersionInfoSize = sizeof(ex);
  bool workstation = false;
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) {
    workstation = ex.wProductType == VER_NT_WORKSTATION;
  } else {
    OSVERSIONINFOA basic = {};
    basic.dwOSVersionInfoSize = sizeof(basic);
    if (!GetVersionExA(&basic)) return current;
  }
  // The workstation service reports the real version even to programs without a
  // compatibility manifest, which GetVersionEx does not.
  WKSTA_INFO_100* info = nullptr;
  if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<LPBYTE*>(&info)) != NERR_Success ||
      info == nullptr) {
    return current;
  }
  int major = static_cast<int>(info->wki100_ver_major);
  int minor = static_cast<int>(info->wki100_ver_minor);
  NetApiBufferFree(info);
  int code = WindowsVersionClass(major, minor, workstation, current);
  SYSTEM_INFO si = {};
  GetNativeSystemInfo(&si);
  return WithArchitecture(code, si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64);
}

std::string LookupSpecialFolder(int type, int all_users, int version_code) {
  if (version_code == -1) version_code = WindowsVersionCode(version_code);
  SpecialFolderPlan plan = PlanSpecialFolder(type, all_users, version_code);
  if (!plan.known) return std::string();
  char shell[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathA(nullptr, plan.csidl, nullptr, SHGFP_TYPE_CURRENT, shell)))
    shell[0] = 0;
  SystemFolders system;
  system.system_dir = FromBuffer(GetSystemDirectoryA);
  system.windows_dir = FromBuffer(GetWindowsDirectoryA);
  system.syswow64_dir = FromBuffer(GetSystemWow64DirectoryA);
  return FinishSpecialFolder(plan, shell, system);
}

std::string WindowsFolder() { return LookupSpecialFolder(2, 0, 0); }

}  // namespace tessal
