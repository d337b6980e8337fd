// Stand-in for the protected-browser programs. Its window class comes from its
// own file name (Brelgo, BrelgoX, BrelgoR, BrelgoRX), like the real programs'.
// Every message from the agent and every step is appended to a log file so that
// tests can assert on it.
//
//   Brelgo.exe --log FILE [--record N]
//     --record N   registers record number N with the agent once its window exists
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/ansi_text.h"
#include "core/messages.h"

namespace {

std::string g_log;
std::string g_class;
int g_record = 0;

void Log(const std::string& line) {
  if (g_log.empty()) return;
  FILE* f = std::fopen(g_log.c_str(), "ab");
  if (f == nullptr) return;
  std::fprintf(f, "%s %s\n", g_class.c_str(), line.c_str());
  std::fclose(f);
}

std::string ClassFromFileName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string lower = tessal::LowerAnsi(path);
  std::size_t sep = lower.find_last_of("\\/");
  std::string name = lower.substr(sep == std::string::npos ? 0 : sep + 1);
  if (name.rfind("brelgorx", 0) == 0) return kestra::kBrowserClassR64;
  if (name.rfind("brelgor", 0) == 0) return kestra::kBrowserClassR32;
  if (name.rfind("brelgox", 0) == 0) return kestra::kBrowserClassX64;
  return kestra::kBrowserClassX32;
}

HWND FindAgent() {
  bool r = g_class == kestra::kBrowserClassR32 || g_class == kestra::kBrowserClassR64;
  return FindWindowA(nullptr, r ? kestra::kTitleR : kestra::kTitleX);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  char line[96];
  switch (msg) {
    case WM_TIMER:
      if (g_record != 0) {
        if (HWND agent = FindAgent()) {
          PostMessageA(agent, kestra::kUmRegisterRecord, static_cast<WPARAM>(g_record), 0);
          std::snprintf(line, sizeof(line), "registered %d", g_record);
          Log(line);
          KillTimer(hwnd, 1);
        }
      }
      return 0;
    case WM_DESTROY:
      // The agent sends WM_DESTROY to close the browser.
      Log("WM_DESTROY");
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      Log("WM_CLOSE");
      DestroyWindow(hwnd);
      return 0;
    default:
      if (msg == kestra::kUmBrowserAlert) {
        std::snprintf(line, sizeof(line), "UM_BROWSER_ALERT %lu %lu", static_cast<unsigned long>(wp),
                      static_cast<unsigned long>(lp));
        Log(line);
        return 0;
      }
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_class = ClassFromFileName();
  for (int i = 1; i + 1 < __argc; i += 2) {
    std::string opt = __argv[i];
    if (opt == "--log") g_log = __argv[i + 1];
    if (opt == "--record") g_record = std::atoi(__argv[i + 1]);
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = g_class.c_str();
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA(g_class.c_str(), g_class.c_str(), WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                            nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  Log("started");
  if (g_record != 0) SetTimer(hwnd, 1, 100, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Log("ended");
  return 0;
}
