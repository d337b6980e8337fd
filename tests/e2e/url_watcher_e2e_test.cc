// The agent's URL watcher on a PC without the capture driver: the packet
// monitor library at its fixed place, Wine's own capture library switched off
// for the agent, and the check file in the base folder renewed every second.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/win_harness.h"

namespace {

using harness::Process;

// Not the agent's usual file name: the capture switch-off below is per program name.
constexpr char kAgentName[] = "qvTessalKestraNoCapture.exe";
constexpr char kLibraryFolder[] = "C:\\Program Files\\Corvanta\\Brontel";
constexpr char kCheckFile[] = "c:\\temp\\zCvNet.chk";

std::string SystemFile(const char* name) {
  char folder[MAX_PATH] = "";
  GetSystemDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\" + name;
}

std::string OverridesKey() {
  return std::string("Software\\Wine\\AppDefaults\\") + kAgentName + "\\DllOverrides";
}

class UrlWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    harness::RemoveTree(harness::AppDataFolder() + "\\TessalX");  // base folder: c:\temp
    DeleteFileA(kCheckFile);
    // A current system support library, so the watcher runs at all (any DLL of
    // this suite carries a version past the outdated ones).
    ASSERT_FALSE(harness::FileExists(SystemFile("Brellon.dll"))) << "left by another run";
    std::string dll = harness::OutFolder() + "\\qvWirelet.dll";
    ASSERT_TRUE(CopyFileA(dll.c_str(), SystemFile("Brellon.dll").c_str(), TRUE));
    MakeLibraryFolder();
    ASSERT_TRUE(
        CopyFileA(dll.c_str(), (std::string(kLibraryFolder) + "\\qvWirelet.dll").c_str(), FALSE));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, OverridesKey().c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "wpcap", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
    ASSERT_TRUE(CopyFileA((harness::OutFolder() + "\\qvTessalKestra.exe").c_str(),
                          (folder_ / kAgentName).c_str(), FALSE));
  }
  void TearDown() override {
    agent_.Kill();
    harness::WaitUntil([&] { return DeleteFileA(SystemFile("Brellon.dll").c_str()) != 0; }, 5000);
    DeleteFileA((std::string(kLibraryFolder) + "\\qvWirelet.dll").c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   (std::string("Software\\Wine\\AppDefaults\\") + kAgentName).c_str());
  }
  static void MakeLibraryFolder() {
    CreateDirectoryA("C:\\Program Files\\Corvanta", nullptr);
    CreateDirectoryA(kLibraryFolder, nullptr);
  }

  harness::TempFolder folder_{"kestra watcher"};
  Process agent_;
};

TEST_F(UrlWatcherTest, WithoutCaptureTheCheckFileSaysSoEverySecond) {
  ASSERT_TRUE(agent_.Start(folder_ / kAgentName));
  ASSERT_TRUE(harness::WaitUntil([] { return !harness::ReadFileText(kCheckFile).empty(); }, 20000))
      << "no check file";
  std::string first = harness::ReadFileText(kCheckFile);
  EXPECT_EQ(first.rfind("Not Support - ", 0), 0u) << first;
  EXPECT_EQ(first.size(), std::string("Not Support - 2026-12-08:09:05:07").size()) << first;
  std::string later;
  EXPECT_TRUE(harness::WaitUntil(
      [&] { return (later = harness::ReadFileText(kCheckFile)) != first; }, 5000))
      << "not renewed: " << first;
  EXPECT_EQ(later.rfind("Not Support - ", 0), 0u) << later;
}

}  // namespace
