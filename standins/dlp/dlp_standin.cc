// Stand-in for the maker's data-loss-prevention library (qvTessalQuenmor.dll):
// each call becomes one line of the stand-in log, the proof bytes in hex.
#include "common/win/platform.h"

#include <cstdio>
#include <string>

#include "standins/tarnwick/standin_log.h"

namespace {

HMODULE g_module = nullptr;

void Record(const std::string& line) { standin_log::Append(g_module, line); }

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" {

__declspec(dllexport) int __cdecl qvTsl_SetProof(const unsigned char* proof) {
  if (proof == nullptr) {
    Record("qvTsl_SetProof null");
    return 0;
  }
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%02X%02X%02X%02X", proof[0], proof[1], proof[2], proof[3]);
  Record(std::string("qvTsl_SetProof ") + hex);
  return 1;
}

__declspec(dllexport) int __cdecl qvTsl_StartActiveDlp(int mode) {
  Record("qvTsl_StartActiveDlp " + std::to_string(mode));
  return 1;
}

__declspec(dllexport) int __cdecl qvTsl_EndActiveDlp() {
  Record("qvTsl_EndActiveDlp");
  return 1;
}

}  // extern "C"
