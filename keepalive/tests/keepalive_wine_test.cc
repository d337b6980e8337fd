// Gatrell under Wine's service manager: installed from a folder with a space,
// started, launching the console launcher only while none of the suite's
// programs runs, and removed at once.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/responder_probe.h"
#include "tests/support/win_harness.h"

namespace {

const wchar_t kServiceName[] = L"Corvanta BrontelMon";
constexpr DWORD kStateWaitMs = 15000;
constexpr DWORD kLaunchWaitMs = 15000;
// The first pass follows the running report at once; a launch would show by then.
constexpr DWORD kNothingLaunchedMs = 3000;

struct ServiceHandles {
  SC_HANDLE scm = nullptr;
  SC_HANDLE service = nullptr;
  ~ServiceHandles() {
    if (service != nullptr) CloseServiceHandle(service);
    if (scm != nullptr) CloseServiceHandle(scm);
  }
};

std::unique_ptr<ServiceHandles> OpenTheService(DWORD access) {
  auto handles = std::make_unique<ServiceHandles>();
  handles->scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (handles->scm != nullptr) handles->service = OpenServiceW(handles->scm, kServiceName, access);
  return handles;
}

bool ServiceExists() { return OpenTheService(SERVICE_QUERY_STATUS)->service != nullptr; }

std::optional<SERVICE_STATUS_PROCESS> QueryStatus() {
  auto handles = OpenTheService(SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status{};
  DWORD size = 0;
  if (handles->service == nullptr ||
      !QueryServiceStatusEx(handles->service, SC_STATUS_PROCESS_INFO,
                            reinterpret_cast<BYTE*>(&status), sizeof(status), &size)) {
    return std::nullopt;
  }
  return status;
}

bool WaitForState(DWORD state) {
  return harness::WaitUntil(
      [&] {
        auto s = QueryStatus();
        return s && s->dwCurrentState == state;
      },
      kStateWaitMs);
}

// Stops and deletes a service left by a test (bounded), so none outlives it;
// false when it is still there.
bool RemoveLeftoverService() {
  {
    auto handles = OpenTheService(SERVICE_ALL_ACCESS);
    if (handles->service == nullptr) return true;
    SERVICE_STATUS status{};
    if (ControlService(handles->service, SERVICE_CONTROL_STOP, &status))
      WaitForState(SERVICE_STOPPED);
    DeleteService(handles->service);
  }
  return harness::WaitUntil([] { return !ServiceExists(); }, kStateWaitMs);
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class KeepAliveService : public testing::Test {
 protected:
  void SetUp() override {
    RemoveLeftoverService();
    ASSERT_TRUE(
        CopyFileA((harness::OutFolder() + "\\Gatrell.exe").c_str(), program_.c_str(), FALSE));
    std::string launcher = harness::StandinFolder() + "\\qvTarnwick.exe";
    ASSERT_TRUE(CopyFileA(launcher.c_str(), (folder_ / "qvTolvenz.exe").c_str(), FALSE));
  }
  void TearDown() override {
    EXPECT_TRUE(RemoveLeftoverService());
    suite_program_.Kill();
  }

  // Runs one command of the service program; its exit code, or 999 when it did not end in time.
  DWORD Command(const char* argument) {
    harness::Process p;
    DWORD code = 999;
    if (!p.Start(program_, argument) || !p.WaitForExit(kStateWaitMs, &code)) return 999;
    return code;
  }
  void InstallAndStart() {
    ASSERT_EQ(Command("-install"), 0u);
    ASSERT_EQ(Command("-start"), 0u);
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
  }
  // The identity the service was created with (its handle closed again, so that
  // a deletion is not held up).
  void ExpectIdentity() {
    auto handles = OpenTheService(SERVICE_QUERY_CONFIG);
    ASSERT_NE(handles->service, nullptr);
    std::vector<BYTE> buffer(8192);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    ASSERT_TRUE(
        QueryServiceConfigW(handles->service, config, static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + Wide(program_) + L"\"");
    EXPECT_EQ(std::wstring(config->lpDisplayName), L"Corvanta Brontel Monitor");
    EXPECT_TRUE(config->lpDependencies == nullptr || config->lpDependencies[0] == L'\0');
    EXPECT_EQ(std::wstring(config->lpServiceStartName), L"LocalSystem");
  }
  // A long-lived program under the name of one of the suite's programs.
  void StartSuiteProgram(const char* name) {
    std::string copy = folder_ / name;
    ASSERT_TRUE(CopyFileA(harness::IdleProgram().c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(suite_program_.Start(copy));
  }
  std::string LauncherLog() const { return harness::ReadFileText(folder_ / "qvTolvenz.log"); }

  harness::TempFolder folder_{"keep alive"};
  std::string program_ = folder_ / "Gatrell.exe";
  harness::Process suite_program_;
};

TEST_F(KeepAliveService, InstallsWithItsIdentityWhateverTheCaseAndDoesNotStart) {
  for (const char* argument : {"-install", "-INSTALL"}) {
    SCOPED_TRACE(argument);
    ASSERT_EQ(Command(argument), 0u);
    ExpectIdentity();
    auto status = QueryStatus();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    ASSERT_TRUE(RemoveLeftoverService());
  }
}

TEST_F(KeepAliveService, LaunchesTheLauncherBesideItWhenTheSuiteIsNotRunning) {
  InstallAndStart();
  DWORD running_at = GetTickCount();
  ASSERT_TRUE(harness::WaitUntil([&] { return !LauncherLog().empty(); }, kLaunchWaitMs));
  std::printf("launch %lu ms after the running report\n", GetTickCount() - running_at);
  std::string log = LauncherLog();
  EXPECT_EQ(log.rfind("qvTolvenz ", 0), 0u) << log;
  // Its own quoted path, folder with a space included, as the whole command
  // line; and started hidden.
  std::string first_line = log.substr(0, log.find('\n'));
  std::string tail = " \"" + (folder_ / "qvTolvenz.exe") + "\"";
  ASSERT_GT(first_line.size(), tail.size());
  EXPECT_EQ(first_line.substr(first_line.size() - tail.size()), tail) << log;
  EXPECT_NE(log.find(" show 0\n"), std::string::npos) << log;
}

TEST_F(KeepAliveService, LaunchesNothingWhileAProgramOfTheSuiteRuns) {
  for (const char* name : {"qvTarnholm.exe", "QVTESSALKESTRA.EXE"}) {
    SCOPED_TRACE(name);
    StartSuiteProgram(name);
    InstallAndStart();
    EXPECT_FALSE(harness::WaitUntil([&] { return !LauncherLog().empty(); }, kNothingLaunchedMs))
        << LauncherLog();
    ASSERT_TRUE(RemoveLeftoverService());
    suite_program_.Kill();
  }
}

TEST_F(KeepAliveService, RemoveStopsTheRunningServiceAtOnceAndDeletesIt) {
  // Nothing to launch: the watch goes straight into its 30 s pause.
  StartSuiteProgram("qvTarnwick.exe");
  InstallAndStart();
  auto status = QueryStatus();
  ASSERT_TRUE(status);
  HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status->dwProcessId);
  ASSERT_NE(process, nullptr);
  // Well within the watch's 30 s pause: the stop does not wait for it to end.
  EXPECT_EQ(Command("-remove"), 0u);
  EXPECT_TRUE(harness::WaitUntil([] { return !ServiceExists(); }, kStateWaitMs));
  EXPECT_EQ(WaitForSingleObject(process, kStateWaitMs), WAIT_OBJECT_0);
  DWORD code = 999;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 0u) << "the dispatcher returns normally";
  CloseHandle(process);
}

TEST_F(KeepAliveService, AnswersPagesOnThePresencePortUntilRemoved) {
  ASSERT_TRUE(harness::CopyResponderFiles(folder_.path()));
  StartSuiteProgram("qvTarnwick.exe");
  InstallAndStart();
  EXPECT_EQ(harness::AskPresenceResponder(folder_, 15000), harness::kPresenceReply);
  EXPECT_EQ(harness::TestRootCopies(), 1);
  EXPECT_EQ(Command("-remove"), 0u);
  EXPECT_TRUE(harness::WaitUntil([] { return !ServiceExists(); }, kStateWaitMs));
  EXPECT_TRUE(harness::WaitUntil([] { return !harness::PresencePortAnswers(); }, kStateWaitMs))
      << "port still taken";
  harness::TestRootCopies(true);
}

TEST_F(KeepAliveService, RemoveDeletesAStoppedService) {
  ASSERT_EQ(Command("-install"), 0u);
  EXPECT_EQ(Command("-remove"), 0u);
  EXPECT_TRUE(harness::WaitUntil([] { return !ServiceExists(); }, kStateWaitMs));
}

TEST_F(KeepAliveService, WithoutTheServiceTheCommandsEndQuietly) {
  struct Case {
    const char* argument;
    DWORD exit_code;
  } cases[] = {
      {"-start", 0},
      {"-remove", 0},
      // Not started by the service control manager: the dispatcher's error.
      {"", ERROR_FAILED_SERVICE_CONTROLLER_CONNECT},
      {"-run", ERROR_FAILED_SERVICE_CONTROLLER_CONNECT},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Command(c.argument), c.exit_code) << c.argument;
    EXPECT_FALSE(ServiceExists()) << c.argument;
  }
}

}  // namespace
