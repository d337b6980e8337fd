// What the capture driver installer does, decided without the platform: the mode,
// the folders, the copy plan and every line it prints. The Win32 side supplies the
// file and service operations and writes the lines to standard output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pontak {

enum class Mode { kInstall, kUninstall };

// The command line without the program name that opens it (quoted or not).
std::string_view ArgumentsOf(std::string_view command_line);
// Uninstall when the arguments, lower-cased, hold "/u" anywhere. The program's
// own path never counts: "C:/Users/x/qvPontak.exe" is a legal way to start it.
Mode ModeOf(std::string_view command_line);

// The program's own path lower-cased (double-byte characters left whole) and
// cut before its last backslash.
std::string ProgramFolderOf(std::string_view module_path);

struct Folders {
  std::string program;   // sources
  std::string system;    // native system folder: 64-bit builds
  std::string system32;  // 32-bit system folder on a 64-bit system
};
Folders MakeFolders(std::string_view module_path, std::string_view system_folder,
                    std::string_view windows_folder);

struct CopyStep {
  std::string source;
  std::string target;
  bool for_32_bit = false;
};
// Every copy in order: per file, the 64-bit build, then the 32-bit build.
std::vector<CopyStep> CopyPlan(const Folders& folders);

inline constexpr char kServiceName[] = "npf";
inline constexpr char kMarkerName[] = "\\wpfilter.chk";
// The image path the service manager is given: the file the plan copies there.
std::string DriverPath(const Folders& folders);

// The operations the run needs; the Win32 side does them for real.
class SetupHost {
 public:
  virtual ~SetupHost() = default;
  virtual void Print(std::string_view line) = 0;
  virtual bool CopyOver(const std::string& source, const std::string& target) = 0;
  virtual void Delete(const std::string& path) = 0;
};

// The driver service "npf": kernel driver, automatic start, normal error control,
// display name "npf", no group, dependencies or account.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  virtual bool OpenManager() = 0;
  virtual bool CreateDriver(const std::string& image_path) = 0;  // opens it too
  virtual bool OpenDriver() = 0;
  virtual void ReconfigureDriver(const std::string& image_path) = 0;
  virtual void StartDriver() = 0;
  virtual void StopDriver() = 0;
  virtual bool DeleteDriver() = 0;
  virtual void CloseDriver() = 0;
  virtual void CloseManager() = 0;
};

// One whole run: prints the command line, then installs or uninstalls.
void RunSetup(std::string_view command_line, const Folders& folders, SetupHost& host,
              ServiceManager& services);

}  // namespace pontak
