// Library entry: nothing to set up.
#include "common/win/platform.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
