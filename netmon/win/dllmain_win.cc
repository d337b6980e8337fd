// Library entry point: logging is off in every process that loads the library;
// only the monitor run (QVW_MonitorXst) turns it on.
#define QVW_BUILDING_LIBRARY 1
#include "common/win/platform.h"

#include "netmon/exports/platform.h"

extern "C" __declspec(dllexport) BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) qvw::GlobalMonitor().SetLogSink(nullptr);
  return TRUE;
}
