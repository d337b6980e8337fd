#include "driversetup/core/driver_setup.h"

#include "common/core/ansi_text.h"

namespace pontak {
namespace {

struct CopyRow {
  const char* source_64;
  const char* source_32;
  const char* target;
};
constexpr CopyRow kCopyRows[] = {
    {"\\pkP64.dll", "\\pkP32.dll", "\\Packet.dll"},
    {"\\pkW64.dll", "\\pkW32.dll", "\\WpCap.dll"},
    {"\\npf64.s", "\\npf32.s", "\\npf.sys"},
};

std::string Line(std::string_view head, std::string_view text = {}) {
  std::string line(head);
  line.append(text);
  line.push_back('\n');
  return line;
}

std::string PairLine(std::string_view head, const CopyStep& step) {
  return Line(head, step.source + " => " + step.target);
}

// Installs the copies; false (after the failure line and the marker's removal)
// when one of them failed.
bool CopyAll(const Folders& folders, SetupHost& host) {
  for (const CopyStep& step : CopyPlan(folders)) {
    if (!host.CopyOver(step.source, step.target)) {
      host.Print(PairLine("Fail copy ", step));
      host.Delete(folders.program + kMarkerName);
      return false;
    }
    host.Print(PairLine(step.for_32_bit ? "Copy for (32 on 64) " : "Copy ", step));
  }
  return true;
}

// Creates "npf", or takes over the one already there; false when neither.
bool CreateOrReconfigure(const std::string& driver, SetupHost& host, ServiceManager& services) {
  if (services.CreateDriver(driver)) return true;
  host.Print(Line("INSTALL: can't create service"));
  if (!services.OpenDriver()) {
    host.Print(Line("INSTALL: can't open service"));
    return false;
  }
  services.ReconfigureDriver(driver);
  host.Print(Line("INSTALL: open and Configure setting"));
  return true;
}

bool RegisterDriver(const Folders& folders, SetupHost& host, ServiceManager& services) {
  const std::string driver = DriverPath(folders);
  host.Print(Line("INSTALL: driver=", driver));
  if (!services.OpenManager()) {
    host.Print(Line("INSTALL: can't open s-manager"));
    host.Print(Line("INSTALL: done ", driver));
    return false;
  }
  bool registered = CreateOrReconfigure(driver, host, services);
  if (registered) {
    // A driver that is running already, or does not start, is installed all the same.
    services.StartDriver();
    services.CloseDriver();
  }
  services.CloseManager();
  if (registered) host.Print(Line("INSTALL: done ", driver));
  return registered;
}

void Install(const Folders& folders, SetupHost& host, ServiceManager& services) {
  if (!CopyAll(folders, host)) return;
  host.Print(
      Line(RegisterDriver(folders, host, services) ? "installed driver" : "fail installe driver"));
}

// Only the service goes; the copied files stay.
bool RemoveDriver(SetupHost& host, ServiceManager& services) {
  if (!services.OpenManager()) {
    host.Print(Line("UNINSTALL: can't open s-manager"));
    return false;
  }
  bool deleted = false;
  if (!services.OpenDriver()) {
    host.Print(Line("UNINSTALL: can't open service"));
  } else {
    services.StopDriver();
    deleted = services.DeleteDriver();
    host.Print(Line(deleted ? "UNINSTALL: done" : "UNINSTALL: can't delete service"));
    services.CloseDriver();
  }
  services.CloseManager();
  return deleted;
}

void Uninstall(SetupHost& host, ServiceManager& services) {
  host.Print(Line("uninstall mode"));
  if (RemoveDriver(host, services)) {
    host.Print(Line("Uninstalled driver"));
    return;
  }
  host.Print(Line("UNINSTALL: done"));
  host.Print(Line("fail Uninstalle driver"));
}

}  // namespace

std::string_view ArgumentsOf(std::string_view command_line) {
  std::size_t end;
  if (!command_line.empty() && command_line[0] == '"') {
    end = command_line.find('"', 1);
    end = end == std::string_view::npos ? command_line.size() : end + 1;
  } else {
    end = command_line.find_first_of(" \t");
    if (end == std::string_view::npos) end = command_line.size();
  }
  return command_line.substr(end);
}

Mode ModeOf(std::string_view command_line) {
  std::string arguments = tessal::LowerAnsi(ArgumentsOf(command_line));
  return arguments.find("/u") != std::string::npos ? Mode::kUninstall : Mode::kInstall;
}

std::string ProgramFolderOf(std::string_view module_path) {
  std::string lowered = tessal::LowerAnsi(module_path);
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < lowered.size(); ++i) {
    if (tessal::IsLeadByte(static_cast<unsigned char>(lowered[i]))) {
      ++i;  // a trail byte is never a separator
    } else if (lowered[i] == '\\') {
      last = i;
    }
  }
  return last == std::string::npos ? std::string() : lowered.substr(0, last);
}

Folders MakeFolders(std::string_view module_path, std::string_view system_folder,
                    std::string_view windows_folder) {
  return Folders{ProgramFolderOf(module_path), std::string(system_folder),
                 std::string(windows_folder) + "\\sysWow64"};
}

std::vector<CopyStep> CopyPlan(const Folders& folders) {
  std::vector<CopyStep> plan;
  for (const CopyRow& row : kCopyRows) {
    plan.push_back({folders.program + row.source_64, folders.system + row.target, false});
    plan.push_back({folders.program + row.source_32, folders.system32 + row.target, true});
  }
  return plan;
}

std::string DriverPath(const Folders& folders) { return folders.system + kCopyRows[2].target; }

void RunSetup(std::string_view command_line, const Folders& folders, SetupHost& host,
              ServiceManager& services) {
  host.Print(Line("Start Command = ", command_line));
  if (ModeOf(command_line) == Mode::kUninstall) {
    Uninstall(host, services);
  } else {
    Install(folders, host, services);
  }
}

}  // namespace pontak
