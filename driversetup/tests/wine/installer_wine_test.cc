// Runs the built qvPontak.exe from a folder of its own. What it writes into the
// prefix's system folders is put back afterwards, byte for byte, and "npf" removed.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win/scoped_handle.h"
#include "tests/support/win_harness.h"

namespace {

std::string SystemFolder() {
  char path[MAX_PATH] = "";
  GetSystemDirectoryA(path, MAX_PATH);
  return path;
}

std::string Wow64Folder() {
  char path[MAX_PATH] = "";
  GetSystemWindowsDirectoryA(path, MAX_PATH);
  return std::string(path) + "\\sysWow64";
}

// Lower-cased by the system, character by character.
std::string Lower(std::string text) {
  CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A file as it was before the test, put back afterwards (or removed if it was new).
struct SavedFile {
  std::string path;
  bool existed;
  std::string bytes;
  explicit SavedFile(std::string p)
      : path(std::move(p)),
        existed(harness::FileExists(path)),
        bytes(harness::ReadFileText(path)) {}
  bool Restore() const {
    return existed ? harness::WriteFileText(path, bytes) && harness::ReadFileText(path) == bytes
                   : DeleteFileA(path.c_str()) || !harness::FileExists(path);
  }
};

using tessal::ScopedServiceHandle;

void RemoveDriverService() {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ScopedServiceHandle service(OpenServiceA(manager.get(), "npf", SERVICE_ALL_ACCESS));
  if (!service.valid()) return;
  SERVICE_STATUS status{};
  ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  DeleteService(service.get());
}

bool DriverServiceExists() {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  ScopedServiceHandle service(OpenServiceA(manager.get(), "npf", SERVICE_QUERY_STATUS));
  return service.valid();
}

const char* const kTargets[] = {"\\Packet.dll", "\\WpCap.dll", "\\npf.sys"};
const char* const kSources[][2] = {
    {"pkP64.dll", "pkP32.dll"}, {"pkW64.dll", "pkW32.dll"}, {"npf64.s", "npf32.s"}};

class DriverSetupWine : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveDriverService();
    made_wow64_ = CreateDirectoryA(Wow64Folder().c_str(), nullptr) != 0;
    for (const std::string& folder : {SystemFolder(), Wow64Folder()}) {
      for (const char* target : kTargets) saved_.emplace_back(folder + target);
    }
    // The prefix's own capture library, where there is one, so that the copy changes nothing.
    const std::string wpcap[] = {SystemFolder() + "\\wpcap.dll", Wow64Folder() + "\\wpcap.dll"};
    for (int row = 0; row < 3; ++row) {
      for (int bits = 0; bits < 2; ++bits) {
        std::string bytes = std::string("test build of ") + kSources[row][bits];
        if (row == 1 && harness::FileExists(wpcap[bits])) {
          bytes = harness::ReadFileText(wpcap[bits]);
        }
        ASSERT_TRUE(harness::WriteFileText(folder_ / kSources[row][bits], bytes));
      }
    }
    ASSERT_TRUE(
        CopyFileA((harness::OutFolder() + "\\qvPontak.exe").c_str(), program_.c_str(), FALSE));
  }

  void TearDown() override {
    RemoveDriverService();
    for (const SavedFile& file : saved_) EXPECT_TRUE(file.Restore()) << file.path;
    if (made_wow64_) RemoveDirectoryA(Wow64Folder().c_str());
    EXPECT_FALSE(DriverServiceExists());
  }

  // Runs the program with these arguments; it always ends with 0.
  std::vector<std::string> Run(const std::string& arguments, std::string command_line = "") {
    if (command_line.empty()) command_line = "\"" + program_ + "\"";
    if (!arguments.empty()) command_line += " " + arguments;
    std::string output;
    DWORD exit_code = 1;
    EXPECT_TRUE(harness::RunForOutput(program_, command_line, 20000, &output, &exit_code));
    EXPECT_EQ(exit_code, 0u);
    std::vector<std::string> lines = harness::SplitLines(output);
    if (lines.empty() || lines[0] != "Start Command = " + command_line + "\r\n") {
      ADD_FAILURE() << "first line: " << (lines.empty() ? "(none)" : lines[0]);
    }
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }

  // "Copy ..." lines of the first `count` copies.
  std::vector<std::string> Copies(int count) const {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
      int row = i / 2, bits = i % 2;
      lines.push_back(std::string(bits ? "Copy for (32 on 64) " : "Copy ") + Lower(folder_.path()) +
                      "\\" + kSources[row][bits] + " => " +
                      (bits ? Wow64Folder() : SystemFolder()) + kTargets[row] + "\r\n");
    }
    return lines;
  }

  std::vector<std::string> Installed(std::vector<std::string> service_lines) const {
    std::vector<std::string> lines = Copies(6);
    lines.push_back("INSTALL: driver=" + Driver() + "\r\n");
    lines.insert(lines.end(), service_lines.begin(), service_lines.end());
    lines.push_back("INSTALL: done " + Driver() + "\r\n");
    lines.push_back("installed driver\r\n");
    return lines;
  }

  static std::string Driver() { return SystemFolder() + "\\npf.sys"; }

  // Its path holds "\u" ("/u" once the slashes turn) and a Korean character whose
  // second byte is an upper-case ASCII letter (0x81 0x41).
  harness::TempFolder folder_{"upontak_갂설치"};
  std::string program_ = folder_ / "qvPontak.exe";
  std::vector<SavedFile> saved_;
  bool made_wow64_ = false;
};

// The settings of "npf" as an install leaves them; then spoils them for the next install.
void CheckAndSpoilDriverSettings() {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ScopedServiceHandle service(OpenServiceA(manager.get(), "npf", SERVICE_ALL_ACCESS));
  std::vector<char> buffer(8192);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  DWORD needed = 0;
  ASSERT_TRUE(
      QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size()), &needed));
  EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(config->lpBinaryPathName, SystemFolder() + "\\npf.sys");
  EXPECT_STREQ(config->lpDisplayName, "npf");
  EXPECT_STREQ(config->lpLoadOrderGroup ? config->lpLoadOrderGroup : "", "");
  EXPECT_STREQ(config->lpDependencies ? config->lpDependencies : "", "");
  // Installed although it did not start: these files are no driver.
  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  ASSERT_TRUE(ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_IGNORE, "C:\\elsewhere\\npf.sys", nullptr, nullptr,
                                   nullptr, nullptr, nullptr, "other"));
}

TEST_F(DriverSetupWine, InstallAgainThenUninstallTwice) {
  const std::vector<std::string> removed = {"uninstall mode\r\n", "UNINSTALL: done\r\n",
                                            "Uninstalled driver\r\n"};
  const std::vector<std::string> absent = {"uninstall mode\r\n",
                                           "UNINSTALL: can't open service\r\n",
                                           "UNINSTALL: done\r\n", "fail Uninstalle driver\r\n"};
  const struct {
    const char* arguments;
    std::vector<std::string> lines;
  } runs[] = {
      {"", Installed({})},
      {"",
       Installed({"INSTALL: can't create service\r\n", "INSTALL: open and Configure setting\r\n"})},
      {"/U", removed},
      {"/u", absent},
      {"-x/u %s%n%x", absent},
  };
  for (const auto& run : runs) {
    EXPECT_EQ(Run(run.arguments), run.lines) << run.arguments;
    if (*run.arguments == 0) CheckAndSpoilDriverSettings();
    EXPECT_EQ(DriverServiceExists(), *run.arguments == 0);
  }
  // The files stay, as copied.
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(harness::ReadFileText(SystemFolder() + kTargets[row]),
              harness::ReadFileText(folder_ / kSources[row][0]));
    EXPECT_EQ(harness::ReadFileText(Wow64Folder() + kTargets[row]),
              harness::ReadFileText(folder_ / kSources[row][1]));
  }
}

TEST_F(DriverSetupWine, ItsOwnPathWrittenWithSlashesStillInstalls) {
  std::string slashed = program_;
  for (char& c : slashed) c = c == '\\' ? '/' : c;
  ASSERT_NE(Lower(slashed).find("/u"), std::string::npos);
  EXPECT_EQ(Run("", slashed), Installed({}));
  EXPECT_TRUE(DriverServiceExists());
}

TEST_F(DriverSetupWine, MissingThirtyTwoBitDriverStopsBeforeTheService) {
  ASSERT_TRUE(DeleteFileA((folder_ / "npf32.s").c_str()));
  ASSERT_TRUE(harness::WriteFileText(folder_ / "wpfilter.chk", "marker"));
  std::vector<std::string> lines = Copies(5);
  lines.push_back("Fail copy " + Lower(folder_.path()) + "\\npf32.s => " + Wow64Folder() +
                  "\\npf.sys\r\n");
  EXPECT_EQ(Run(""), lines);
  EXPECT_FALSE(harness::FileExists(folder_ / "wpfilter.chk"));
  EXPECT_FALSE(DriverServiceExists());
}

}  // namespace
