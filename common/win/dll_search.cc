#include "common/win/dll_search.h"

namespace tessal {

bool RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(Kernel32Function("SetDefaultDllDirectories"));
  if (set_default != nullptr && set_default(kSearchSystem32 | kSearchApplicationDir)) return true;
  return SetDllDirectoryA("") != FALSE;
}

}  // namespace tessal
