#include "driversetup/core/driver_setup.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace pontak {
namespace {

TEST(DriverSetupMode, ComesFromTheArgumentsOnly) {
  const struct {
    const char* command_line;
    Mode mode;
  } cases[] = {
      {"qvPontak.exe", Mode::kInstall},
      {"qvPontak.exe /u", Mode::kUninstall},
      {"qvPontak.exe /U", Mode::kUninstall},
      {"\"C:\\Setup Files\\qvPontak.exe\"\t-x/Ux", Mode::kUninstall},
      {"qvPontak.exe \"/u\"", Mode::kUninstall},
      {"qvPontak.exe /x -u \\u", Mode::kInstall},
      {"C:/Users/x/qvPontak.exe", Mode::kInstall},
      {"\"C:/Users/x y/qvPontak.exe\"", Mode::kInstall},
      {"\"C:/Users/x/qvPontak.exe", Mode::kInstall},  // unclosed quote: all program name
      {"C:/Users/x/qvPontak.exe /u", Mode::kUninstall},
      {"", Mode::kInstall},
  };
  for (const auto& c : cases) EXPECT_EQ(ModeOf(c.command_line), c.mode) << c.command_line;
}

TEST(DriverSetupFolders, ProgramFolderIsLoweredWithoutBreakingDoubleByteNames) {
  const struct {
    const char* module_path;
    const char* folder;
  } cases[] = {
      {"C:\\Program Files\\Qv\\qvPontak.EXE", "c:\\program files\\qv"},
      // CP949 characters whose trail bytes are 'A' and 'Z'.
      {"D:\\\x81\x41\xB0\x5A\\Setup\\qvPontak.exe", "d:\\\x81\x41\xB0\x5A\\setup"},
      {"qvPontak.exe", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgramFolderOf(c.module_path), c.folder) << c.module_path;
  Folders f = MakeFolders("C:\\Qv\\qvPontak.exe", "C:\\Windows\\system32", "C:\\Windows");
  EXPECT_EQ(f.system32, "C:\\Windows\\sysWow64");
  EXPECT_EQ(DriverPath(f), "C:\\Windows\\system32\\npf.sys");
}

class FakeHost : public SetupHost {
 public:
  std::string failing_source;
  std::vector<std::string> lines;
  std::set<std::string> files;
  void Print(std::string_view line) override { lines.emplace_back(line); }
  bool CopyOver(const std::string& source, const std::string& target) override {
    if (source == failing_source) return false;
    files.insert(target);
    return true;
  }
  void Delete(const std::string& path) override { files.insert("deleted " + path); }
};

class FakeServices : public ServiceManager {
 public:
  bool manager_ok = true, open_ok = true, delete_ok = true, exists = false;
  std::string image;
  int open_handles = 0, starts = 0, stops = 0;
  bool OpenManager() override { return manager_ok && ++open_handles; }
  bool CreateDriver(const std::string& image_path) override {
    if (exists) return false;
    exists = true;
    image = image_path;
    return ++open_handles;
  }
  bool OpenDriver() override { return exists && open_ok && ++open_handles; }
  void ReconfigureDriver(const std::string& image_path) override { image = image_path; }
  void StartDriver() override { ++starts; }
  void StopDriver() override { ++stops; }
  bool DeleteDriver() override {
    if (delete_ok) exists = false;
    return delete_ok;
  }
  void CloseDriver() override { --open_handles; }
  void CloseManager() override { --open_handles; }
};

const Folders kFolders{"c:\\qv", "C:\\Windows\\system32", "C:\\Windows\\sysWow64"};
const std::string kDriver = "C:\\Windows\\system32\\npf.sys";

std::vector<std::string> Copies(int count) {
  const char* rows[][2] = {{"pkP", "Packet.dll"}, {"pkW", "WpCap.dll"}, {"npf", "npf.sys"}};
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    const char* const* row = rows[i / 2];
    bool wow = i % 2 == 1;
    std::string ext = i < 4 ? ".dll" : ".s";
    lines.push_back(std::string(wow ? "Copy for (32 on 64) " : "Copy ") + "c:\\qv\\" + row[0] +
                    (wow ? "32" : "64") + ext + " => " +
                    (wow ? kFolders.system32 : kFolders.system) + "\\" + row[1] + "\n");
  }
  return lines;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(DriverSetupRun, PrintsEveryStepAndLeavesNoHandleOpen) {
  const std::string registered = "INSTALL: driver=" + kDriver + "\n";
  const std::string done = "INSTALL: done " + kDriver + "\n";
  const struct {
    const char* name;
    const char* command_line;
    bool exists, manager_ok, open_ok, delete_ok;
    const char* failing_source;
    std::vector<std::string> lines;
    bool exists_after;
  } cases[] = {
      {"first install", "qv.exe", false, true, true, true, "",
       Join(Copies(6), {registered, done, "installed driver\n"}), true},
      {"second install", "qv.exe", true, true, true, true, "",
       Join(Copies(6), {registered, "INSTALL: can't create service\n",
                        "INSTALL: open and Configure setting\n", done, "installed driver\n"}),
       true},
      {"taken service", "qv.exe", true, true, false, true, "",
       Join(Copies(6), {registered, "INSTALL: can't create service\n",
                        "INSTALL: can't open service\n", "fail installe driver\n"}),
       true},
      {"no rights", "qv.exe", false, false, true, true, "",
       Join(Copies(6),
            {registered, "INSTALL: can't open s-manager\n", done, "fail installe driver\n"}),
       false},
      {"32-bit driver missing", "qv.exe", false, true, true, true, "c:\\qv\\npf32.s",
       Join(Copies(5), {"Fail copy c:\\qv\\npf32.s => C:\\Windows\\sysWow64\\npf.sys\n"}), false},
      {"first library missing",
       "qv.exe",
       false,
       true,
       true,
       true,
       "c:\\qv\\pkP64.dll",
       {"Fail copy c:\\qv\\pkP64.dll => C:\\Windows\\system32\\Packet.dll\n"},
       false},
      {"uninstall",
       "qv.exe /U",
       true,
       true,
       true,
       true,
       "",
       {"uninstall mode\n", "UNINSTALL: done\n", "Uninstalled driver\n"},
       false},
      {"uninstall again",
       "qv.exe %s%n/u",
       false,
       true,
       true,
       true,
       "",
       {"uninstall mode\n", "UNINSTALL: can't open service\n", "UNINSTALL: done\n",
        "fail Uninstalle driver\n"},
       false},
      {"undeletable",
       "qv.exe /u",
       true,
       true,
       true,
       false,
       "",
       {"uninstall mode\n", "UNINSTALL: can't delete service\n", "UNINSTALL: done\n",
        "fail Uninstalle driver\n"},
       true},
      {"uninstall without rights",
       "qv.exe /u",
       true,
       false,
       true,
       true,
       "",
       {"uninstall mode\n", "UNINSTALL: can't open s-manager\n", "UNINSTALL: done\n",
        "fail Uninstalle driver\n"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    host.failing_source = c.failing_source;
    FakeServices services;
    services.exists = c.exists;
    services.manager_ok = c.manager_ok;
    services.open_ok = c.open_ok;
    services.delete_ok = c.delete_ok;
    RunSetup(c.command_line, kFolders, host, services);
    EXPECT_EQ(host.lines, Join({std::string("Start Command = ") + c.command_line + "\n"}, c.lines));
    EXPECT_EQ(services.exists, c.exists_after);
    EXPECT_EQ(services.open_handles, 0);
    bool copy_failed = *c.failing_source != 0;
    EXPECT_EQ(host.files.count("deleted c:\\qv\\wpfilter.chk"), copy_failed ? 1u : 0u);
    if (c.exists_after && ModeOf(c.command_line) == Mode::kInstall && c.open_ok) {
      EXPECT_EQ(services.image, kDriver);
      EXPECT_EQ(services.starts, 1);
    }
  }
}

}  // namespace
}  // namespace pontak
