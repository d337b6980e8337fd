#include "keepalive/win/launch.h"

#include "common/win/platform.h"
#include <userenv.h>

#include <string>
#include <utility>

#include "common/win/dll_search.h"
#include "common/win/scoped_handle.h"
#include "keepalive/win/service_text.h"

namespace keepalive {
namespace {

constexpr DWORD kLaunchPauseMs = 1000;
// Normal priority, a console of its own, the user's UTF-16 environment.
constexpr DWORD kAsUserFlags =
    NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT;
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
class LaunchBlock {
 public:
  explicit LaunchBlock(const LaunchCommand& launch)
      : application_(ToWide(launch.application)), command_line_(ToWide(launch.command_line)) {
    startup_.cb = sizeof(startup_);
    startup_.dwFlags = STARTF_USESHOWWINDOW;
    startup_.wShowWindow = SW_HIDE;
    startup_.lpDesktop = desktop_;
  }
  LaunchBlock(const LaunchBlock&) = delete;
  LaunchBlock& operator=(const LaunchBlock&) = delete;
  ~LaunchBlock() {
    tessal::ScopedKernelHandle owned_process(process_.hProcess);
    tessal::ScopedKernelHandle owned_thread(process_.hThread);  // closed first
  }

  const wchar_t* application() const { return application_.c_str(); }
  wchar_t* command_line() { return command_line_.data(); }
  STARTUPINFOW* startup() { return &startup_; }
  PROCESS_INFORMATION* process() { return &process_; }

 private:
  std::wstring application_;
  std::wstring command_line_;
  wchar_t desktop_[16] = L"WinSta0\\Default";
  STARTUPINFOW startup_{};
  PROCESS_INFORMATION process_{};
};

struct EnvironmentBlockTraits {
  using Handle = void*;
  static void* Invalid() { return nullptr; }
  static void Free(void* block) { DestroyEnvironmentBlock(block); }
};

// A user with a split administrator token is served with its full token.
tessal::ScopedKernelHandle LinkedTokenOr(tessal::ScopedKernelHandle user_token) {
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!GetTokenInformation(user_token.get(), TokenLinkedToken, &linked, sizeof(linked), &size) ||
      linked.LinkedToken == nullptr) {
    return user_token;
  }
  user_token.reset();
  return tessal::ScopedKernelHandle(linked.LinkedToken);
}

void CreateAsUser(HANDLE token, const LaunchCommand& launch) {
  LaunchBlock block(launch);
  // Destroyed before the block closes the new process's handles.
  tessal::ScopedGeneric<EnvironmentBlockTraits> environment;
  if (!CreateEnvironmentBlock(environment.receive(), token, TRUE)) environment.release();
  CreateProcessAsUserW(token, block.application(), block.command_line(), nullptr, nullptr, FALSE,
                       kAsUserFlags, environment.get(), nullptr, block.startup(), block.process());
}

}  // namespace

void EnableOwnPrivilege(const wchar_t* name) {
  tessal::ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        token.receive()))
    return;
  EnablePrivilege(token.get(), name);
}

DWORD LaunchInServiceSession(const LaunchCommand& launch) {
  LaunchBlock block(launch);
  CreateProcessW(block.application(), block.command_line(), nullptr, nullptr, FALSE,
                 CREATE_NEW_CONSOLE, nullptr, nullptr, block.startup(), block.process());
  return kLaunchPauseMs;
}

bool ConsoleSessionLauncher::Resolve() {
  if (!resolved_) {
    resolved_ = true;
    // Both kept for the process's life: the launcher keeps their functions.
    HMODULE kernel32 = tessal::LoadSystemLibrary("kernel32.dll");
    HMODULE wtsapi32 = tessal::LoadSystemLibrary("wtsapi32.dll");
    if (kernel32 != nullptr) {
      active_console_session_ = reinterpret_cast<ActiveConsoleSessionFn>(
          GetProcAddress(kernel32, "WTSGetActiveConsoleSessionId"));
    }
    if (wtsapi32 != nullptr) {
      query_user_token_ =
          reinterpret_cast<QueryUserTokenFn>(GetProcAddress(wtsapi32, "WTSQueryUserToken"));
    }
  }
  return active_console_session_ != nullptr && query_user_token_ != nullptr;
}

DWORD ConsoleSessionLauncher::Launch(const LaunchCommand& launch) {
  if (!Resolve()) return kLaunchPauseMs;
  DWORD session = active_console_session_();
  if (IsNoUserSession(session)) return 0;
  tessal::ScopedKernelHandle user;
  if (!query_user_token_(session, user.receive())) {
    user.release();  // nothing was handed out
    return kLaunchPauseMs;
  }
  tessal::ScopedKernelHandle user_token = LinkedTokenOr(std::move(user));
  tessal::ScopedKernelHandle primary_token;
  if (!DuplicateTokenEx(user_token.get(), kPrimaryTokenAccess, nullptr, SecurityImpersonation,
                        TokenPrimary, primary_token.receive())) {
    return kLaunchPauseMs;
  }
  EnablePrivilege(primary_token.get(), kTcbPrivilege);
  CreateAsUser(primary_token.get(), launch);
  return kLaunchPauseMs;
}

}  // namespace keepalive
