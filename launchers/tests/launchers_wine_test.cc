// Both launchers start the protected-start program beside them, hidden, by the
// lower-cased quoted path, and end with code 0 whether or not it is there.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "launchers/win/tolvenw_resource.h"
#include "tests/support/win_harness.h"

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

struct LaunchCase {
  const char* launcher;
  const char* folder;
  const char* folder_lowered;
  bool with_tarnwick;
  ULONGLONG min_ms, max_ms;
};

// "갂" is stored with the trail byte 'A': lower-casing must leave it whole.
const LaunchCase kCases[] = {
    {"qvTolvenz.exe", "Tolven Setup MiXed", "tolven setup mixed", true, 0, 800},
    {"qvTolvenw.exe", "Tolven Setup MiXed", "tolven setup mixed", true, 900, 5000},
    {"qvTolvenz.exe", "보안 설치 갂 Setup", "보안 설치 갂 setup", true, 0, 800},
    {"qvTolvenw.exe", "보안 설치 갂 Setup", "보안 설치 갂 setup", true, 900, 5000},
    {"qvTolvenz.exe", "No Tarnwick Here", "", false, 0, 800},
    {"qvTolvenw.exe", "No Tarnwick Here", "", false, 900, 5000},
};

TEST(Launchers, StartTheProtectedStartProgramHidden) {
  for (const LaunchCase& c : kCases) {
    SCOPED_TRACE(std::string(c.launcher) + " in " + c.folder);
    harness::TempFolder base("launch_test");
    std::string folder = base / c.folder;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string launcher = folder + "\\" + c.launcher;
    ASSERT_TRUE(
        CopyFileA((harness::OutFolder() + "\\" + c.launcher).c_str(), launcher.c_str(), FALSE));
    if (c.with_tarnwick) {
      ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\qvTarnwick.exe").c_str(),
                            (folder + "\\qvTarnwick.exe").c_str(), FALSE));
    }
    std::string log = base / "standin.log";
    ASSERT_TRUE(SetEnvironmentVariableA("TESSAL_STANDIN_LOG", log.c_str()));
    harness::Process p;
    ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(p.Start(launcher));
    DWORD code = 99;
    ASSERT_TRUE(p.WaitForExit(10000, &code));
    ULONGLONG took = GetTickCount64() - start;
    SetEnvironmentVariableA("TESSAL_STANDIN_LOG", nullptr);
    EXPECT_EQ(code, 0u);
    EXPECT_GE(took, c.min_ms);
    EXPECT_LT(took, c.max_ms);
    if (!c.with_tarnwick) {
      EXPECT_FALSE(harness::FileExists(log));
      continue;
    }
    std::string command =
        "\"" + LowerAscii(base.path()) + "\\" + c.folder_lowered + "\\qvTarnwick.exe\"";
    EXPECT_TRUE(harness::WaitUntil(
        [&] { return harness::ReadFileText(log).find(" show ") != std::string::npos; }, 10000));
    std::string text = harness::ReadFileText(log);
    EXPECT_EQ(text.rfind("qvTarnwick ", 0), 0u) << text;
    EXPECT_NE(text.find(" " + command + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" show 0\n"), std::string::npos) << text;  // SW_HIDE
  }
}

TEST(Launchers, WindowedLauncherCarriesItsClassResources) {
  HMODULE module = LoadLibraryExA((harness::OutFolder() + "\\qvTolvenw.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  wchar_t text[100] = L"";
  struct {
    UINT id;
    const wchar_t* text;
  } const strings[] = {{IDS_APP_TITLE, L"Corvanta 설치 도우미"}, {IDC_QVTOLVENW, L"QVTOLVENW"}};
  for (const auto& s : strings) {
    EXPECT_GT(LoadStringW(module, s.id, text, ARRAYSIZE(text)), 0);
    EXPECT_STREQ(text, s.text);
  }
  struct {
    int id;
    const char* type;
  } const resources[] = {{IDC_QVTOLVENW, MAKEINTRESOURCEA(4)},   // RT_MENU
                         {IDD_ABOUTBOX, MAKEINTRESOURCEA(5)},    // RT_DIALOG
                         {IDI_QVTOLVENW, MAKEINTRESOURCEA(14)},  // RT_GROUP_ICON
                         {IDI_SMALL, MAKEINTRESOURCEA(14)}};
  for (const auto& r : resources)
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(r.id), r.type), nullptr) << r.id;
  FreeLibrary(module);
}

}  // namespace
