// CLorixDll: the setup manifest library loaded from a folder, with the 22
// functions this library uses bound by name.
#pragma once

#include "common/win/platform.h"

#include <string>

#include "common/win/scoped_handle.h"
#include "manifest/include/lorix.h"

namespace tavin {

// The bound functions: all of them, or none.
struct LorixFunctions {
  decltype(&::LoadSetupFile) LoadSetupFile = nullptr;
  decltype(&::GetRegistryCount) GetRegistryCount = nullptr;
  decltype(&::GetFileCount) GetFileCount = nullptr;
  decltype(&::ClearInMemory) ClearInMemory = nullptr;
  decltype(&::GetReservedWordCount) GetReservedWordCount = nullptr;
  decltype(&::GetPreKillProcessCount) GetPreKillProcessCount = nullptr;
  decltype(&::GetElementField) GetElementField = nullptr;
  decltype(&::GetFileInfo) GetFileInfo = nullptr;
  decltype(&::GetRegistryInfo) GetRegistryInfo = nullptr;
  decltype(&::GetPreKillProcess) GetPreKillProcess = nullptr;
  decltype(&::GetReservedWord) GetReservedWord = nullptr;
  decltype(&::SaveSetupFile) SaveSetupFile = nullptr;
  decltype(&::GetSetupLastErrorMsg) GetSetupLastErrorMsg = nullptr;
  decltype(&::SetElementField) SetElementField = nullptr;
  decltype(&::SetFileInfo) SetFileInfo = nullptr;
  decltype(&::SetRegistryInfo) SetRegistryInfo = nullptr;
  decltype(&::SetPreKillProcess) SetPreKillProcess = nullptr;
  decltype(&::SetReservedWord) SetReservedWord = nullptr;
  decltype(&::GetTargetFileVersion) GetTargetFileVersion = nullptr;
  decltype(&::SetupPathToRealPath) SetupPathToRealPath = nullptr;
  decltype(&::GetProtectedFilePath) GetProtectedFilePath = nullptr;
  decltype(&::GetTempInstallPath) GetTempInstallPath = nullptr;
};

class CLorixDll {
 public:
  CLorixDll();
  virtual ~CLorixDll();
  CLorixDll(const CLorixDll&) = delete;
  CLorixDll& operator=(const CLorixDll&) = delete;

  // "lorix.dll" in the folder, else "lorixx.dll"; 1 when loaded and every
  // function found, 0 otherwise (error text set, nothing kept).
  int Bind(const std::string& folder);
  bool bound() const { return module_.valid(); }
  const char* error() const { return error_; }
  // Every function null until bound.
  const LorixFunctions& calls() const { return calls_; }

 private:
  tessal::ScopedModule module_;
  char error_[1024];
  LorixFunctions calls_;
};

}  // namespace tavin
