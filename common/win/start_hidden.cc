#include "common/win/start_hidden.h"

#include "common/win/scoped_handle.h"

namespace tessal {

bool StartHidden(const wchar_t* application, std::wstring command_line, bool inherit_handles,
                 DWORD creation_flags) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  // On the desktop this program was started on. Windows puts the new program
  // there anyway; Wine gives a program that never opened a window its
  // parent's window station instead (for the launcher that the keep-alive
  // service starts, the service's, whose windows no user sees).
  STARTUPINFOW own{};
  own.cb = sizeof(own);
  GetStartupInfoW(&own);
  if (own.lpDesktop != nullptr && own.lpDesktop[0] != L'\0') si.lpDesktop = own.lpDesktop;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application, command_line.data(), nullptr, nullptr,
                      inherit_handles ? TRUE : FALSE, creation_flags, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  ScopedKernelHandle thread(pi.hThread), process(pi.hProcess);
  return true;
}

}  // namespace tessal
