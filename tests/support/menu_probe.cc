// A hook library that tests place into the agent's window thread to read the tray
// menu it has open: Wine, unlike Windows, lets no other process read a menu.
// When the thread retrieves WM_NULL with wParam kMenuProbeMagic, the items of the
// open popup menu are written, one per line in UTF-8 ("-" for a separator), to
// the file named by the agent's environment variable TESSAL_MENU_DUMP.
#include "common/win/platform.h"

#include <cstdio>
#include <string>

#include "tests/support/menu_probe.h"

namespace {

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

void DumpOpenMenu() {
  char path[MAX_PATH] = "";
  if (GetEnvironmentVariableA("TESSAL_MENU_DUMP", path, sizeof(path)) == 0) return;
  HWND popup = FindWindowA("#32768", nullptr);
  if (popup == nullptr) return;
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
  std::string lines;
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    wchar_t text[256] = L"";
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID;
    info.dwTypeData = text;
    info.cch = 256;
    if (!GetMenuItemInfoW(menu, i, TRUE, &info)) continue;
    lines += (info.fType & MFT_SEPARATOR) ? std::string("-")
                                          : std::to_string(info.wID) + " " + Utf8(text);
    lines += "\n";
  }
  std::string temp = std::string(path) + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(lines.data(), 1, lines.size(), f);
  std::fclose(f);
  MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wp, LPARAM lp) {
  const MSG* msg = reinterpret_cast<const MSG*>(lp);
  if (code >= 0 && msg != nullptr && msg->message == WM_NULL && msg->wParam == kMenuProbeMagic)
    DumpOpenMenu();
  return CallNextHookEx(nullptr, code, wp, lp);
}
