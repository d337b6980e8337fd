// Where the suite's processes look for libraries. An elevated program must never
// load a library that a less trusted process planted in its current folder or on
// the PATH; a library (loaded into a host it does not own) must leave the host's
// search order alone and name its system libraries by the system folder.
#pragma once

#include "common/win/platform.h"

namespace tessal {

// Values of the loader flags, spelt out because older headers lack them.
inline constexpr DWORD kSearchApplicationDir = 0x00000200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
inline constexpr DWORD kSearchSystem32 = 0x00000800;        // LOAD_LIBRARY_SEARCH_SYSTEM32

// A kernel32 function that older systems may lack, or null.
inline FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  return kernel32 != nullptr ? GetProcAddress(kernel32, name) : nullptr;
}

// First thing at a program's start: libraries are searched in the system folder
// and the program's own folder only. Where the system lacks that (Windows 7
// without its loader update), at least the current folder is taken out of the
// search. False when neither could be set.
bool RestrictDllSearch();

// Loads a system library (a bare file name such as "wpcap.dll") from the system
// folder only, whatever the process's search order; null when it is not there.
// `search_flags_supported` picks between the loader's system-folder flag and the
// full path from the system folder (exposed for tests; normally left to detect).
HMODULE LoadSystemLibrary(const char* name);
HMODULE LoadSystemLibrary(const char* name, bool search_flags_supported);

}  // namespace tessal
