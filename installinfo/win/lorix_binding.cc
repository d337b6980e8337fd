#include "installinfo/win/lorix_binding.h"

#include <cstring>
#include <utility>

#include "installinfo/core/install_rules.h"

namespace tavin {
namespace {

template <typename T>
bool Find(HMODULE module, const char* name, T* out) {
  *out = reinterpret_cast<T>(GetProcAddress(module, name));
  return *out != nullptr;
}

// Never through the host's search order (current folder, PATH): by full path,
// with the library's own folder searched first for what it needs; without a
// folder, only the program's folder and the system folder.
HMODULE LoadFromFolder(const std::string& folder, const char* name) {
  LibraryLoad load = PlanLibraryLoad(folder, name);
  if (load.kind == LibraryLoad::Kind::kBesideProgram) {
    return LoadLibraryExA(name, nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  if (load.kind == LibraryLoad::Kind::kRelativePath) {
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(load.path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    load.path = full;
  }
  return LoadLibraryExA(load.path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

CLorixDll::CLorixDll() { error_[0] = 0; }

CLorixDll::~CLorixDll() = default;

int CLorixDll::Bind(const std::string& folder) {
  if (module_.valid()) return 1;
  tessal::ScopedModule module(LoadFromFolder(folder, "lorix.dll"));
  if (!module.valid()) module.reset(LoadFromFolder(folder, "lorixx.dll"));
  if (!module.valid()) {
    std::strcpy(error_, "load lorix dll fail");
    return 0;
  }
  // No half-bound object: the functions are kept only when every one is found.
  LorixFunctions f;
#define LORIX_BIND(name) Find(module.get(), #name, &f.name)
  bool all =
      LORIX_BIND(LoadSetupFile) && LORIX_BIND(GetRegistryCount) && LORIX_BIND(GetFileCount) &&
      LORIX_BIND(ClearInMemory) && LORIX_BIND(GetReservedWordCount) &&
      LORIX_BIND(GetPreKillProcessCount) && LORIX_BIND(GetElementField) &&
      LORIX_BIND(GetFileInfo) && LORIX_BIND(GetRegistryInfo) && LORIX_BIND(GetPreKillProcess) &&
      LORIX_BIND(GetReservedWord) && LORIX_BIND(SaveSetupFile) &&
      LORIX_BIND(GetSetupLastErrorMsg) && LORIX_BIND(SetElementField) && LORIX_BIND(SetFileInfo) &&
      LORIX_BIND(SetRegistryInfo) && LORIX_BIND(SetPreKillProcess) && LORIX_BIND(SetReservedWord) &&
      LORIX_BIND(GetTargetFileVersion) && LORIX_BIND(SetupPathToRealPath) &&
      LORIX_BIND(GetProtectedFilePath) && LORIX_BIND(GetTempInstallPath);
#undef LORIX_BIND
  if (!all) {
    std::strcpy(error_, "get function address fail - check version");
    return 0;  // the library is freed
  }
  calls_ = f;
  module_ = std::move(module);
  return 1;
}

}  // namespace tavin
