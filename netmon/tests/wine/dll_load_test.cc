// Loads the built qvWirelet.dll where no capture library is installed: the
// library must load, refuse every open with 0 and stay usable.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "netmon/include/qvWirelet.h"

namespace {

std::string DllPath() {
  std::string path = QVW_DLL_PATH;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's view of the Unix root
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

template <typename F>
F Bind(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(GetProcAddress(dll, name));
}

constexpr char kChildFlag[] = "QVW_TEST_NO_CAPTURE_LIBRARY";

void CheckWithoutCaptureLibrary() {
  ASSERT_EQ(LoadLibraryA("wpcap.dll"), nullptr) << "a capture library is present";
  HMODULE dll = LoadLibraryA(DllPath().c_str());
  ASSERT_NE(dll, nullptr) << DllPath() << " error " << GetLastError();

  auto open_auto = Bind<decltype(&QVW_MonitorOpenAuto)>(dll, "QVW_MonitorOpenAuto");
  auto open = Bind<decltype(&QVW_MonitorOpen)>(dll, "QVW_MonitorOpen");
  auto set = Bind<decltype(&QVW_MonitorSet)>(dll, "QVW_MonitorSet");
  auto close = Bind<decltype(&QVW_MonitorClose)>(dll, "QVW_MonitorClose");
  auto error = Bind<decltype(&QVW_MonitorError)>(dll, "QVW_MonitorError");
  auto counts = Bind<decltype(&QVW_MonitorGetCounts)>(dll, "QVW_MonitorGetCounts");
  auto codes = Bind<decltype(&QVW_MonitorGetCodes)>(dll, "QVW_MonitorGetCodes");
  auto captures = Bind<decltype(&QVW_MonitorGetCaptures)>(dll, "QVW_MonitorGetCaptures");
  auto get_url = Bind<decltype(&QVW_MonitorGetUrl)>(dll, "QVW_MonitorGetUrl");
  auto check_url = Bind<decltype(&QVW_MonitorCheckUrl)>(dll, "QVW_MonitorCheckUrl");
  auto packet_url = Bind<decltype(&QVW_GetPacketUrl)>(dll, "QVW_GetPacketUrl");
  auto dns = Bind<decltype(&QVW_MonitorGetDns)>(dll, "QVW_MonitorGetDns");
  for (void* fn : {(void*)open_auto, (void*)open, (void*)set, (void*)close, (void*)error,
                   (void*)counts, (void*)codes, (void*)captures, (void*)get_url, (void*)check_url,
                   (void*)packet_url, (void*)dns, (void*)GetProcAddress(dll, "QVW_MonitorXst"),
                   (void*)GetProcAddress(dll, "DllMain")})
    ASSERT_NE(fn, nullptr);

  // Twice each, so that a failed first load of the capture library is not
  // mistaken for a working second one.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(open_auto(nullptr, 1), 0);
    EXPECT_EQ(open_auto("\\Device\\NPF_{00000000-0000-0000-0000-000000000000}", 1), 0);
    EXPECT_EQ(open(nullptr, 0), 0);
    EXPECT_EQ(open("rpcap://\\Device\\NPF_x", 0), 0);
  }
  char text[256] = "unchanged";
  EXPECT_EQ(error(text), 0);
  EXPECT_STREQ(text, "unchanged");
  EXPECT_EQ(set(2, "1.2.3.4", nullptr, 0), 0);
  EXPECT_EQ(counts(0), 0);
  EXPECT_EQ(codes(0, ""), 0);
  EXPECT_EQ(captures(0, 1, 80, 443, nullptr), 0);
  EXPECT_EQ(get_url("https://a.test;", nullptr, 0, 1), 0);
  EXPECT_EQ(check_url(100), 0);
  EXPECT_EQ(dns(0, "a"), 0);
  EXPECT_EQ(close(), 0);
  char url[1024] = "x";
  EXPECT_EQ(packet_url(url), 1);
  EXPECT_STREQ(url, "");
  EXPECT_EQ(packet_url(nullptr), 1);
  EXPECT_EQ(GetModuleHandleA("wpcap.dll"), nullptr);
  EXPECT_TRUE(FreeLibrary(dll));
}

// Wine brings a wpcap.dll of its own (over the host's libpcap). The checks run
// in a copy of this program under its own name, for which Wine's per-program
// settings switch that library off: what a Windows PC without the capture
// driver looks like. The setting touches no other program of the prefix.
constexpr char kChildName[] = "qvw_nowpcap_test.exe";

bool DisableWpcapFor(const char* exe) {
  std::string key = std::string("Software\\Wine\\AppDefaults\\") + exe + "\\DllOverrides";
  HKEY h;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExA(h, "wpcap", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  RegCloseKey(h);
  return r == ERROR_SUCCESS;
}

TEST(QvWireletDll, LoadsWithoutCaptureLibraryAndRefusesEveryOpen) {
  if (GetEnvironmentVariableA(kChildFlag, nullptr, 0) > 0) {
    CheckWithoutCaptureLibrary();
    return;
  }
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string child(self);
  child.erase(child.find_last_of("\\/") + 1);
  child += kChildName;
  ASSERT_TRUE(CopyFileA(self, child.c_str(), FALSE)) << GetLastError();
  ASSERT_TRUE(DisableWpcapFor(kChildName));
  SetEnvironmentVariableA(kChildFlag, "1");

  std::string line =
      "\"" + child + "\" --gtest_filter=QvWireletDll.LoadsWithoutCaptureLibraryAndRefusesEveryOpen";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(child.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &si, &pi);
  SetEnvironmentVariableA(kChildFlag, nullptr);
  ASSERT_TRUE(started) << GetLastError();
  DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 1;
  if (waited == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  else
    TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  DeleteFileA(child.c_str());
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "child did not end within 60 s";
  EXPECT_EQ(code, 0u) << "the checks without a capture library failed (output above)";
}

}  // namespace
