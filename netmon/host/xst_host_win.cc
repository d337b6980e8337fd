// Runs the monitor library's console test entry: loads qvWirelet.dll from
// beside this program (or one folder up) and calls QVW_MonitorXst, which reads
// its options from this process's command line.
#include "common/win/platform.h"

#include <cstdio>
#include <string>

#include "common/win/dll_search.h"

int main() {
  tessal::RestrictDllSearch();
  char self[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self, n);
  dir.erase(dir.find_last_of("\\/"));
  // Kept for the process's life: the program ends as soon as the entry returns.
  HMODULE library = LoadLibraryA((dir + "\\qvWirelet.dll").c_str());
  if (!library) library = LoadLibraryA((dir + "\\..\\qvWirelet.dll").c_str());
  if (!library) {
    std::fprintf(stderr, "qvWireletHost: qvWirelet.dll not loaded (%lu)\n", GetLastError());
    return 2;
  }
  using Entry = int(__cdecl*)();
  auto entry = reinterpret_cast<Entry>(GetProcAddress(library, "QVW_MonitorXst"));
  if (!entry) {
    std::fprintf(stderr, "qvWireletHost: no QVW_MonitorXst\n");
    return 2;
  }
  return entry() == 1 ? 0 : 1;
}
