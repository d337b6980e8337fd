#include "win/start_hidden.h"

#include "win/scoped_handle.h"

namespace tessal {

bool StartHidden(const wchar_t* application, std::wstring command_line, bool inherit_handles,
                 DWORD creation_flags) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application, command_line.data(), nullptr, nullptr, inherit_handles ? TRUE : FALSE,
                      creation_flags, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  ScopedKernelHandle thread(pi.hThread), process(pi.hProcess);
  return true;
}

}  // namespace tessal
