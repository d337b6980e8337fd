#include "launchers/win/launcher_class.h"

#include "launchers/win/tolvenw_resource.h"

namespace tolven {

namespace {

HINSTANCE g_instance = nullptr;
wchar_t g_title[100] = L"";
wchar_t g_class_name[100] = L"";

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

LRESULT CALLBACK LauncherProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && LOWORD(wparam) == IDM_ABOUT) {
    DialogBoxW(g_instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutProc);
    return 0;
  }
  if (message == WM_COMMAND && LOWORD(wparam) == IDM_EXIT) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

bool RegisterLauncherClass(HINSTANCE instance) {
  g_instance = instance;
  if (LoadStringW(instance, IDS_APP_TITLE, g_title, ARRAYSIZE(g_title)) == 0 ||
      LoadStringW(instance, IDC_QVTOLVENW, g_class_name, ARRAYSIZE(g_class_name)) == 0) {
    return false;
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = LauncherProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QVTOLVENW));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MAKEINTRESOURCEW(IDC_QVTOLVENW);
  wc.lpszClassName = g_class_name;
  wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  return RegisterClassExW(&wc) != 0;
}

}  // namespace tolven
