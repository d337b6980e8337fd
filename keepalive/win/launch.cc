#include "win/launch.h"

#include <userenv.h>

#include <string>

#include "win/dll_search.h"
#include "win/scoped_handle.h"
#include "win/service_text.h"

namespace keepalive {
namespace {

constexpr DWORD kLaunchPauseMs = 1000;
// Normal priority, a console of its own, the user's UTF-16 environment.
constexpr DWORD kAsUserFlags = NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT;
constexpr DWORD kPrimaryTokenAccess = MAXIMUM_ALLOWED | TOKEN_ALL_ACCESS;  // 0x20F01FF

void EnablePrivilege(HANDLE token, const wchar_t* name) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return;
  AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
}

// The launch's texts and startup information in the forms that the creation
// calls take (hidden, on the interactive desktop); the new process's handles
// are closed with it.
struct LaunchBlock {
  explicit LaunchBlock(const LaunchCommand& launch)
      : application(ToWide(launch.application)), command_line(ToWide(launch.command_line)) {
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.lpDesktop = desktop;
  }
  LaunchBlock(const LaunchBlock&) = delete;
  LaunchBlock& operator=(const LaunchBlock&) = delete;
  ~LaunchBlock() {
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  }

  std::wstring application;
  std::wstring command_line;
  wchar_t desktop[16] = L"WinSta0\\Default";
  STARTUPINFOW startup{};
  PROCESS_INFORMATION process{};
};

// A user with a split administrator token is served with its full token.
HANDLE LinkedTokenOr(HANDLE user_token) {
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!GetTokenInformation(user_token, TokenLinkedToken, &linked, sizeof(linked), &size) ||
      linked.LinkedToken == nullptr) {
    return user_token;
  }
  CloseHandle(user_token);
  return linked.LinkedToken;
}

void CreateAsUser(HANDLE token, const LaunchCommand& launch) {
  void* environment = nullptr;
  if (!CreateEnvironmentBlock(&environment, token, TRUE)) environment = nullptr;
  LaunchBlock block(launch);
  CreateProcessAsUserW(token, block.application.c_str(), block.command_line.data(), nullptr, nullptr, FALSE,
                       kAsUserFlags, environment, nullptr, &block.startup, &block.process);
  if (environment != nullptr) DestroyEnvironmentBlock(environment);
}

}  // namespace

void EnableOwnPrivilege(const wchar_t* name) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  EnablePrivilege(token, name);
  CloseHandle(token);
}

DWORD LaunchInServiceSession(const LaunchCommand& launch) {
  LaunchBlock block(launch);
  CreateProcessW(block.application.c_str(), block.command_line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                 nullptr, nullptr, &block.startup, &block.process);
  return kLaunchPauseMs;
}

bool ConsoleSessionLauncher::Resolve() {
  if (!resolved_) {
    resolved_ = true;
    HMODULE kernel32 = tessal::LoadSystemLibrary("kernel32.dll");
    HMODULE wtsapi32 = tessal::LoadSystemLibrary("wtsapi32.dll");  // kept for the process's life
    if (kernel32 != nullptr) {
      active_console_session_ =
          reinterpret_cast<ActiveConsoleSessionFn>(GetProcAddress(kernel32, "WTSGetActiveConsoleSessionId"));
    }
    if (wtsapi32 != nullptr) {
      query_user_token_ = reinterpret_cast<QueryUserTokenFn>(GetProcAddress(wtsapi32, "WTSQueryUserToken"));
    }
  }
  return active_console_session_ != nullptr && query_user_token_ != nullptr;
}

DWORD ConsoleSessionLauncher::Launch(const LaunchCommand& launch) {
  if (!Resolve()) return kLaunchPauseMs;
  DWORD session = active_console_session_();
  if (IsNoUserSession(session)) return 0;
  HANDLE user = nullptr;
  if (!query_user_token_(session, &user)) return kLaunchPauseMs;
  tessal::ScopedKernelHandle user_token(LinkedTokenOr(user));
  HANDLE duplicate = nullptr;
  if (!DuplicateTokenEx(user_token.get(), kPrimaryTokenAccess, nullptr, SecurityImpersonation, TokenPrimary,
                        &duplicate)) {
    return kLaunchPauseMs;
  }
  tessal::ScopedKernelHandle primary_token(duplicate);
  EnablePrivilege(primary_token.get(), kTcbPrivilege);
  CreateAsUser(primary_token.get(), launch);
  return kLaunchPauseMs;
}

}  // namespace keepalive
