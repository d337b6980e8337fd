// qvPontak: copies the capture driver and its libraries into the system folders
// and registers the "npf" driver service; "/u" removes the service. Progress goes
// to standard output; the exit code is 0 whatever happened.
#include "common/win/platform.h"
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/win/dll_search.h"
#include "common/win/scoped_handle.h"
#include "driversetup/core/driver_setup.h"

namespace {

#ifndef _WIN64
// A 32-bit build on a 64-bit system would otherwise write the "64-bit" copies
// into the 32-bit folder, and the service would name a file that is not there.
class NativeFileSystem {
 public:
  NativeFileSystem() : disabled_(Wow64DisableWow64FsRedirection(&old_) != 0) {}
  ~NativeFileSystem() {
    if (disabled_) Wow64RevertWow64FsRedirection(old_);
  }

 private:
  void* old_ = nullptr;
  bool disabled_;
};
#else
// A 64-bit program sees the native folders already.
struct NativeFileSystem {
  NativeFileSystem() {}
};
#endif

class ConsoleHost : public pontak::SetupHost {
 public:
  void Print(std::string_view line) override {
    // Written as text: the command line is part of what is printed.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
  // Plain path calls on purpose: the sources lie in the installer's own folder,
  // the targets in the system folders that only administrators can change; the
  // one delete (the marker beside the program) removes a link itself, never
  // what it points to.
  bool CopyOver(const std::string& source, const std::string& target) override {
    NativeFileSystem native;
    return CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
  }
  void Delete(const std::string& path) override {
    NativeFileSystem native;
    DeleteFileA(path.c_str());
  }
};

class WinServiceManager : public pontak::ServiceManager {
 public:
  bool OpenManager() override {
    manager_.reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    return manager_.valid();
  }
  bool CreateDriver(const std::string& image_path) override {
    service_.reset(CreateServiceA(manager_.get(), pontak::kServiceName, pontak::kServiceName,
                                  SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, image_path.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
    return service_.valid();
  }
  bool OpenDriver() override {
    service_.reset(OpenServiceA(manager_.get(), pontak::kServiceName, SERVICE_ALL_ACCESS));
    return service_.valid();
  }
  void ReconfigureDriver(const std::string& image_path) override {
    ChangeServiceConfigA(service_.get(), SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                         SERVICE_ERROR_NORMAL, image_path.c_str(), nullptr, nullptr, nullptr,
                         nullptr, nullptr, pontak::kServiceName);
  }
  void StartDriver() override { StartServiceA(service_.get(), 0, nullptr); }
  void StopDriver() override {
    SERVICE_STATUS status{};
    ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
  }
  bool DeleteDriver() override { return DeleteService(service_.get()) != 0; }
  void CloseDriver() override { service_.reset(); }
  void CloseManager() override { manager_.reset(); }

 private:
  tessal::ScopedServiceHandle manager_;
  tessal::ScopedServiceHandle service_;
};

std::string ModulePath() {
  std::vector<char> path(32768);
  DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  return n < path.size() ? std::string(path.data(), n) : std::string();
}

std::string SystemFolder() {
  char path[MAX_PATH] = "";
  if (SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK) {
    return path;
  }
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  return n < MAX_PATH ? std::string(path, n) : std::string();
}

// The system's own Windows folder, not a terminal-server user's private one.
std::string WindowsFolder() {
  char path[MAX_PATH] = "";
  UINT n = GetSystemWindowsDirectoryA(path, MAX_PATH);
  return n < MAX_PATH ? std::string(path, n) : std::string();
}

}  // namespace

int main() {
  tessal::RestrictDllSearch();
  ConsoleHost host;
  WinServiceManager services;
  pontak::RunSetup(GetCommandLineA(),
                   pontak::MakeFolders(ModulePath(), SystemFolder(), WindowsFolder()), host,
                   services);
  return 0;
}
