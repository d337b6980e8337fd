// The browser stand-in driven by a fake agent window in this process: it must
// register, write its request, post it, and report what the "agent" writes back.
#include "common/win/platform.h"
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "agent/core/messages.h"
#include "agent/core/record_files.h"
#include "agent/core/startup_rules.h"
#include "common/core/file_io.h"
#include "tests/support/win_harness.h"

namespace {

std::vector<std::pair<UINT, WPARAM>> g_received;

LRESULT CALLBACK FakeAgentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= kestra::kUmBrowserAlert && msg <= kestra::kUmDnsChanged) {
    g_received.emplace_back(msg, wp);
    return 1;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// Waits pump this thread's messages: the fake agent's window lives here.
using harness::PumpUntil;

bool Received(UINT msg, WPARAM wp) {
  for (const auto& m : g_received) {
    if (m.first == msg && m.second == wp) return true;
  }
  return false;
}

std::string WorkFolder() {
  std::string appdata = harness::AppDataFolder();
  bool exists = harness::FolderExists(kestra::TessalXFolder(appdata));
  return kestra::WorkFolderOf(kestra::ChooseBaseFolder(appdata, exists));
}

class BrelgoStandin : public ::testing::Test {
 protected:
  // Answers as the agent does.
  bool Answer(int number, const char* text) {
    return kestra::WriteRecordFile(tessal::SafeFolder::Hold(work_), number, text) ==
           tessal::OpenStatus::kOpened;
  }
  void SetUp() override {
    g_received.clear();
    work_ = WorkFolder();
    CreateDirectoryA("c:\\temp", nullptr);
    CreateDirectoryA(work_.c_str(), nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = FakeAgentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BrelgoTestFakeAgent";
    RegisterClassA(&wc);
    agent_ = CreateWindowA("BrelgoTestFakeAgent", kestra::kTitleX, WS_OVERLAPPED, 0, 0, 10, 10,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(agent_, nullptr);
  }
  void TearDown() override {
    browser_.Kill();
    DestroyWindow(agent_);
    DeleteFileA(kestra::RecordFileName(work_, 31).c_str());
    DeleteFileA(kestra::RecordFileName(work_, 32).c_str());
    DeleteFileA(kestra::EvidenceFileName(work_, "www.bank.co.kr", 31).c_str());
  }

  bool LogHas(const std::string& line, DWORD timeout_ms = 10000) {
    return PumpUntil(
        [&] { return harness::ReadFileText(log_).find(line + "\n") != std::string::npos; },
        timeout_ms);
  }

  harness::TempFolder folder_{"brelgo_test"};
  std::string log_ = folder_ / "browser.log";
  std::string work_;
  HWND agent_ = nullptr;
  harness::Process browser_;
};

TEST_F(BrelgoStandin, RequestVerdictBroadcastAlertAndTerminate) {
  std::string record = kestra::RecordFileName(work_, 31);
  ASSERT_TRUE(browser_.Start(
      harness::StandinFolder() + "\\Brelgo.exe",
      "--log \"" + log_ +
          "\" --record 31 --inspect www.bank.co.kr 1.2.3.4"
          " --cert \"[SUBJECT]CN=www.bank.co.kr, O=Bank\" --hash ABC123 --verdict-ms 10000"));
  ASSERT_TRUE(PumpUntil([] { return Received(kestra::kUmInspectRecord, 31); }, 10000))
      << "no request posted";
  EXPECT_TRUE(Received(kestra::kUmRegisterRecord, 31));
  EXPECT_EQ(harness::ReadFileText(record), "www.bank.co.kr|1.2.3.4|");
  EXPECT_EQ(harness::ReadFileText(kestra::EvidenceFileName(work_, "www.bank.co.kr", 31)),
            "<CERT>[SUBJECT]CN=www.bank.co.kr, O=Bank</CERT><HASH>ABC123</HASH>");

  ASSERT_TRUE(Answer(31, "OK"));
  EXPECT_TRUE(LogHas("BRELGO verdict OK")) << harness::ReadFileText(log_);
  ASSERT_TRUE(Answer(31, "<DNS>https://www.bank.co.kr</DNS><ADR>1.2.3.4</ADR>"));
  EXPECT_TRUE(LogHas("BRELGO DNS https://www.bank.co.kr 1.2.3.4"));
  ASSERT_TRUE(Answer(31, "<URL_CANONICAL>http://other.com</URL_CANONICAL>"));
  EXPECT_TRUE(LogHas("BRELGO URL_CANONICAL http://other.com"));
  HWND browser = FindWindowA(kestra::kBrowserClassX32, nullptr);
  ASSERT_NE(browser, nullptr);
  SendMessageA(browser, kestra::kUmBrowserAlert, 0, 0);
  EXPECT_TRUE(LogHas("BRELGO UM_BROWSER_ALERT 0 0"));

  ASSERT_TRUE(Answer(31, "<TERMINATE></TERMINATE>"));
  DWORD code = 99;
  ASSERT_TRUE(PumpUntil([&] { return browser_.WaitForExit(0, &code); }, 10000)) << "still running";
  EXPECT_EQ(code, 0u);
  std::string text = harness::ReadFileText(log_);
  EXPECT_NE(text.find("BRELGO TERMINATE\nBRELGO ended\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("WM_DESTROY"), std::string::npos)
      << "WM_DESTROY is kept for what the agent sends";
}

TEST_F(BrelgoStandin, UnansweredRequestThenNextRequestAndRelease) {
  std::string record = kestra::RecordFileName(work_, 32);
  ASSERT_TRUE(
      browser_.Start(harness::StandinFolder() + "\\BrelgoX.exe",
                     "--log \"" + log_ +
                         "\" --record 32 --inspect a.bank.co.kr 6.6.6.6"
                         " --inspect b.bank.co.kr 7.7.7.7 --verdict-ms 800 --release-at-exit"));
  // The lines that the agent's own end-to-end tests rely on stay as they were.
  EXPECT_TRUE(LogHas("BRELXGO started"));
  EXPECT_TRUE(LogHas("BRELXGO registered 32"));
  EXPECT_TRUE(LogHas("BRELXGO inspect 32 a.bank.co.kr 6.6.6.6"));
  EXPECT_TRUE(LogHas("BRELXGO verdict none")) << "the record stayed unchanged";
  EXPECT_TRUE(LogHas("BRELXGO inspect 32 b.bank.co.kr 7.7.7.7"));
  EXPECT_EQ(harness::ReadFileText(record), "b.bank.co.kr|7.7.7.7|");
  EXPECT_FALSE(harness::FileExists(kestra::EvidenceFileName(work_, "b.bank.co.kr", 32)))
      << "no evidence asked";
  ASSERT_TRUE(Answer(32, "UNKNOWN"));
  EXPECT_TRUE(LogHas("BRELXGO verdict UNKNOWN"));
  // Closed as the agent closes it.
  SendMessageA(FindWindowA(kestra::kBrowserClassX64, nullptr), WM_DESTROY, 0, 0);
  DWORD code = 99;
  ASSERT_TRUE(PumpUntil([&] { return browser_.WaitForExit(0, &code); }, 10000));
  EXPECT_TRUE(LogHas("BRELXGO WM_DESTROY"));
  EXPECT_TRUE(LogHas("BRELXGO released 32"));
  EXPECT_TRUE(LogHas("BRELXGO ended"));
  EXPECT_TRUE(PumpUntil([] { return Received(kestra::kUmReleaseRecord, 32); }, 5000));
}

TEST_F(BrelgoStandin, BadCommandLineIsLoggedAndEndsWith2) {
  ASSERT_TRUE(browser_.Start(harness::StandinFolder() + "\\Brelgo.exe",
                             "--log \"" + log_ + "\" --inspect www.bank.co.kr 1.2.3.4"));
  DWORD code = 0;
  ASSERT_TRUE(browser_.WaitForExit(10000, &code));
  EXPECT_EQ(code, 2u);
  EXPECT_TRUE(LogHas("BRELGO usage error: --inspect needs --record", 0));
}

}  // namespace
