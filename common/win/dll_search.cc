#include "win/dll_search.h"

#include <string>

namespace tessal {
namespace {

// Values of the loader flags, spelt out because older headers lack them.
constexpr DWORD kSearchApplicationDir = 0x00000200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
constexpr DWORD kSearchSystem32 = 0x00000800;        // LOAD_LIBRARY_SEARCH_SYSTEM32

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  return kernel32 != nullptr ? GetProcAddress(kernel32, name) : nullptr;
}

// The loader understands the search flags exactly where AddDllDirectory exists.
bool SearchFlagsSupported() { return Kernel32Function("AddDllDirectory") != nullptr; }

}  // namespace

bool RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(Kernel32Function("SetDefaultDllDirectories"));
  if (set_default != nullptr && set_default(kSearchSystem32 | kSearchApplicationDir)) return true;
  return SetDllDirectoryA("") != FALSE;
}

HMODULE LoadSystemLibrary(const char* name) { return LoadSystemLibrary(name, SearchFlagsSupported()); }

HMODULE LoadSystemLibrary(const char* name, bool search_flags_supported) {
  if (search_flags_supported) return LoadLibraryExA(name, nullptr, kSearchSystem32);
  char folder[MAX_PATH] = {};
  UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::string path(folder, n);
  if (path.back() != '\\') path += '\\';
  // Its own dependencies are then looked for beside it first, in the system folder.
  return LoadLibraryExA((path + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tessal
