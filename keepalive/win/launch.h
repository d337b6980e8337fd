// Starting the launcher: in the service's own session (Windows 2000 and XP,
// where the console user's programs run there) or in the active console
// session under its user's token. Each returns the pause, in milliseconds,
// that the watch makes before its next wait.
#pragma once

#include "common/win/platform.h"

#include "keepalive/core/service_rules.h"

namespace keepalive {

// Acting as part of the system: needed to ask for a session user's token.
inline constexpr wchar_t kTcbPrivilege[] = L"SeTcbPrivilege";

// Enables a privilege in the process's own token; failures are ignored.
void EnableOwnPrivilege(const wchar_t* name);

DWORD LaunchInServiceSession(const LaunchCommand& launch);

class ConsoleSessionLauncher {
 public:
  DWORD Launch(const LaunchCommand& launch);

 private:
  using ActiveConsoleSessionFn = DWORD(WINAPI*)();
  using QueryUserTokenFn = BOOL(WINAPI*)(ULONG, PHANDLE);
  // Looks the session functions up on the first launch only.
  bool Resolve();

  bool resolved_ = false;
  ActiveConsoleSessionFn active_console_session_ = nullptr;
  QueryUserTokenFn query_user_token_ = nullptr;
};

}  // namespace keepalive
