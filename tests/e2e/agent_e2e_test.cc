// The agent program driven as the outside programs drive it: started from a
// folder of its own, sent its window messages, watched through its files and
// its exit code.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/core/messages.h"
#include "common/win/version_info.h"
#include "tests/support/win_harness.h"

namespace {

using harness::Process;
using harness::TempFolder;

constexpr DWORD kStartMs = 20000;
constexpr DWORD kEndMs = 20000;

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CleanUpStrays();
    tessalx_ = harness::AppDataFolder() + "\\TessalX";
    harness::RemoveTree(tessalx_);
  }
  void TearDown() override {
    agent_.Kill();
    CleanUpStrays();
    harness::RemoveTree(tessalx_);
  }
  static void CleanUpStrays() {
    harness::KillWindowOwners(nullptr, kestra::kTitleX);
    harness::KillWindowOwners(nullptr, kestra::kTitleR);
    for (const char* c : {kestra::kBrowserClassX32, kestra::kBrowserClassX64}) {
      harness::KillWindowOwners(c, nullptr);
    }
  }

  // Copies the agent into a program folder of its own under the given name.
  std::string Install(const char* file_name) {
    std::string target = folder_ / file_name;
    EXPECT_TRUE(
        CopyFileA((harness::OutFolder() + "\\qvTessalKestra.exe").c_str(), target.c_str(), FALSE));
    return target;
  }

  HWND StartAgent(const char* file_name = "qvTessalKestra.exe",
                  const char* title = kestra::kTitleX) {
    EXPECT_TRUE(agent_.Start(Install(file_name)));
    HWND w = harness::WaitForWindow(nullptr, title, kStartMs);
    EXPECT_NE(w, nullptr) << "no window titled " << title;
    return w;
  }

  // The X edition's work folder exists again once start-up has recreated it.
  void WaitForStartUp(const std::string& work) {
    ASSERT_TRUE(harness::WaitUntil([&] { return harness::FolderExists(work); }, kStartMs));
  }

  TempFolder folder_{"kestra_e2e"};
  Process agent_;
  std::string tessalx_;
};

TEST(AgentProgram, CarriesItsVersionResource) {
  std::string version;
  ASSERT_TRUE(tessal::ReadFileVersionText(harness::OutFolder() + "\\qvTessalKestra.exe", &version));
  EXPECT_EQ(version, "1, 0, 1, 0");
}

TEST_F(AgentTest, SecondXInstanceEndsWith259) {
  ASSERT_NE(StartAgent(), nullptr);
  Process second;
  ASSERT_TRUE(second.Start(folder_ / "qvTessalKestra.exe"));
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(kEndMs, &code)) << "the second instance kept running";
  EXPECT_EQ(code, kestra::kShutdownExitCode);
  EXPECT_TRUE(agent_.running());
}

TEST_F(AgentTest, OlderInstanceWindowStopsTheXEdition) {
  HWND older = CreateWindowA("STATIC", kestra::kTitleOldX, WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(older, nullptr);
  ASSERT_TRUE(agent_.Start(Install("qvTessalKestra.exe")));
  DWORD code = 0;
  bool ended = agent_.WaitForExit(kEndMs, &code);
  DestroyWindow(older);
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, kestra::kShutdownExitCode);
}

TEST_F(AgentTest, RCopyRunsTheREditionAndKeepsTheWorkFolder) {
  std::string marker = "c:\\temp\\CVWork\\kept.txt";
  CreateDirectoryA("c:\\temp", nullptr);
  CreateDirectoryA("c:\\temp\\CVWork", nullptr);
  ASSERT_TRUE(harness::WriteFileText(marker, "x"));
  HWND w = StartAgent("qvTessalKestraR.exe", kestra::kTitleR);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(FindWindowA(nullptr, kestra::kTitleX), nullptr);
  // The R edition shows its tray icon at once; Wine, having no taskbar, shows
  // tray icons in a stand-alone tray window.
  EXPECT_TRUE(harness::WaitUntil(
      [] {
        HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
        return tray != nullptr && IsWindowVisible(tray);
      },
      kStartMs))
      << "no tray icon";
  Sleep(1500);  // long enough for an X edition to have removed the folder
  EXPECT_TRUE(harness::FileExists(marker)) << "the R edition removes no work folder";
  // A second R instance ends as the X edition's does.
  Process second;
  ASSERT_TRUE(second.Start(folder_ / "qvTessalKestraR.exe"));
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(kEndMs, &code));
  EXPECT_EQ(code, kestra::kShutdownExitCode);
  DeleteFileA(marker.c_str());
}

TEST_F(AgentTest, BaseFolderIsTessalXWhenItExistsElseCTemp) {
  std::string old_file = "c:\\temp\\CVWork\\old.txt";
  CreateDirectoryA("c:\\temp", nullptr);
  CreateDirectoryA("c:\\temp\\CVWork", nullptr);
  ASSERT_TRUE(harness::WriteFileText(old_file, "x"));
  ASSERT_NE(StartAgent(), nullptr);
  // Without TessalX the X edition recreates c:\temp\CVWork, old files gone.
  ASSERT_TRUE(harness::WaitUntil([&] { return !harness::FileExists(old_file); }, kStartMs));
  WaitForStartUp("c:\\temp\\CVWork");
  EXPECT_FALSE(harness::FolderExists(tessalx_)) << "TessalX is never created when it did not exist";
  PostMessageA(FindWindowA(nullptr, kestra::kTitleX), kestra::kUmShutdown, 0, 0);
  DWORD code = 0;
  ASSERT_TRUE(agent_.WaitForExit(kEndMs, &code));

  ASSERT_TRUE(CreateDirectoryA(tessalx_.c_str(), nullptr));
  ASSERT_TRUE(harness::WriteFileText(old_file, "x"));
  Process again;
  ASSERT_TRUE(again.Start(folder_ / "qvTessalKestra.exe"));
  agent_ = std::move(again);
  ASSERT_NE(harness::WaitForWindow(nullptr, kestra::kTitleX, kStartMs), nullptr);
  WaitForStartUp(tessalx_ + "\\CVWork");
  EXPECT_TRUE(harness::FileExists(old_file)) << "c:\\temp is left alone when TessalX exists";
  DeleteFileA(old_file.c_str());
}

TEST_F(AgentTest, RecordFileWrittenRightAfterStartUpSurvives) {
  std::string work = "c:\\temp\\CVWork";
  CreateDirectoryA("c:\\temp", nullptr);
  CreateDirectoryA(work.c_str(), nullptr);
  // Many old files make the removal slow enough to overlap a careless start-up.
  for (int i = 0; i < 300; ++i) harness::WriteFileText(work + "\\old" + std::to_string(i), "x");
  HWND w = StartAgent();
  ASSERT_NE(w, nullptr);
  // The old files are gone, then the folder itself, and it is made again; start-up
  // has ended once the window answers after that. A file written while the removal
  // still ran would go with the old folder, as every file of a former run does.
  auto old_files_gone = [&] {
    for (int i = 0; i < 300; ++i) {
      if (harness::FileExists(work + "\\old" + std::to_string(i))) return false;
    }
    return true;
  };
  ASSERT_TRUE(harness::WaitUntil(old_files_gone, kStartMs));
  DWORD_PTR ignored = 0;
  ASSERT_TRUE(SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_NORMAL, kStartMs, &ignored));
  ASSERT_TRUE(harness::FolderExists(work));
  std::string record = work + "\\TESSALKESTRA_00077";
  ASSERT_TRUE(harness::WriteFileText(record, "www.bank.co.kr|1.2.3.4|"));
  Sleep(2000);  // a fixed wait: the file is not to go
  EXPECT_EQ(harness::ReadFileText(record), "www.bank.co.kr|1.2.3.4|");
}

TEST_F(AgentTest, ReleaseDeletesTheRecordFileOfANumberRegisteredTwice) {
  HWND w = StartAgent();
  ASSERT_NE(w, nullptr);
  WaitForStartUp("c:\\temp\\CVWork");
  std::string record = "c:\\temp\\CVWork\\TESSALKESTRA_00042";
  ASSERT_TRUE(harness::WriteFileText(record, "www.bank.co.kr|1.2.3.4|"));
  PostMessageA(w, kestra::kUmRegisterRecord, 42, 0);
  PostMessageA(w, kestra::kUmRegisterRecord, 42, 0);
  EXPECT_EQ(SendMessageA(w, kestra::kUmReleaseRecord, 42, 0), 1);
  EXPECT_FALSE(harness::FileExists(record));
  // A later release of the same number finds nothing to delete and does no harm.
  EXPECT_EQ(SendMessageA(w, kestra::kUmReleaseRecord, 42, 0), 1);
  EXPECT_TRUE(agent_.running());
}

TEST_F(AgentTest, ShutdownClosesBothBrowsersAndEndsWith259) {
  std::string log = folder_ / "browsers.log";
  Process brelgo, brelgox;
  ASSERT_TRUE(
      brelgo.Start(harness::StandinFolder() + "\\Brelgo.exe", "--log \"" + log + "\" --record 1"));
  ASSERT_TRUE(brelgox.Start(harness::StandinFolder() + "\\BrelgoX.exe",
                            "--log \"" + log + "\" --record 2"));
  ASSERT_NE(harness::WaitForWindow(kestra::kBrowserClassX32, nullptr, kStartMs), nullptr);
  ASSERT_NE(harness::WaitForWindow(kestra::kBrowserClassX64, nullptr, kStartMs), nullptr);
  HWND w = StartAgent();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(harness::WaitUntil(
      [&] {
        std::string text = harness::ReadFileText(log);
        return text.find("BRELGO registered 1") != std::string::npos &&
               text.find("BRELXGO registered 2") != std::string::npos;
      },
      kStartMs));

  PostMessageA(w, kestra::kUmShutdown, 0, 0);
  DWORD code = 0;
  ASSERT_TRUE(agent_.WaitForExit(kEndMs, &code));
  EXPECT_EQ(code, kestra::kShutdownExitCode);
  std::string text = harness::ReadFileText(log);
  EXPECT_NE(text.find("BRELXGO WM_DESTROY"), std::string::npos) << text;
  EXPECT_NE(text.find("BRELGO WM_DESTROY"), std::string::npos) << text;
  EXPECT_TRUE(brelgo.WaitForExit(kEndMs, &code));
  EXPECT_TRUE(brelgox.WaitForExit(kEndMs, &code));
}

TEST_F(AgentTest, SystemMenuCloseOnlyHidesTheWindow) {
  HWND w = StartAgent();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(harness::WaitUntil([&] { return IsWindowVisible(w) != 0; }, kStartMs))
      << "no slide-in";
  SendMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindowVisible(w));
  Sleep(500);  // a fixed wait: the agent is not to end
  EXPECT_TRUE(agent_.running());
  EXPECT_TRUE(IsWindow(w));
}

}  // namespace
