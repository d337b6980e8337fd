// Library entry: COM for the thread that loads the library (the DOM needs it).
#include "common/win/platform.h"

#include <objbase.h>

namespace {
// Only an initialisation that succeeded is balanced: an apartment the host set up
// differently must not be torn down underneath it.
bool g_com_initialised = false;
DWORD g_com_thread = 0;
}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    g_com_initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    g_com_thread = GetCurrentThreadId();
  } else if (reason == DLL_PROCESS_DETACH) {
    // At process end (reserved non-null) COM is going away by itself.
    if (g_com_initialised && reserved == nullptr && GetCurrentThreadId() == g_com_thread)
      CoUninitialize();
    g_com_initialised = false;
  }
  return TRUE;
}
