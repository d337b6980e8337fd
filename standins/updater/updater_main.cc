// Plays the live updater: a top-level window of class "UPDATER_CLASS" titled
// "UPDATER" for as long as it runs, and its raw command line written to
// "updater-cmdline.txt" beside the program. Ends on WM_CLOSE, or by itself after
// the number of seconds in the environment variable UPDATER_STANDIN_SECONDS
// (default 60) so that no test leaves it behind.
#include "common/win/platform.h"

#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER || msg == WM_CLOSE) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void RecordCommandLine() {
  char path[MAX_PATH + 32] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  char* slash = std::strrchr(path, '\\');
  if (slash == nullptr) return;
  std::strcpy(slash + 1, "updater-cmdline.txt");
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RecordCommandLine();
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = "UPDATER_CLASS";
  if (!RegisterClassA(&wc)) return 1;
  HWND hwnd = CreateWindowA("UPDATER_CLASS", "UPDATER", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                            nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  UINT seconds = 60;
  if (const char* s = std::getenv("UPDATER_STANDIN_SECONDS"))
    seconds = static_cast<UINT>(std::atoi(s));
  SetTimer(hwnd, 1, seconds * 1000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
