// Kept apart from the search-order setter so that a library that links this
// never carries code that could change its host's search order.
#include "common/win/dll_search.h"

#include <string>

namespace tessal {
namespace {

// The loader understands the search flags exactly where AddDllDirectory exists.
bool SearchFlagsSupported() { return Kernel32Function("AddDllDirectory") != nullptr; }

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
  return LoadSystemLibrary(name, SearchFlagsSupported());
}

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
