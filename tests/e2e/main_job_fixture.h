// The agent under test with its simulator and the two browser stand-ins, shared
// by the end-to-end suites of the main job.
#pragma once

#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/core/messages.h"
#include "tests/support/agent_rig.h"
#include "tests/support/win_harness.h"

namespace e2e {

using harness::AgentRig;
using harness::PolicyReply;
using harness::PolicySite;

// Toast and alert box controls.
constexpr int kToastLine1 = 1005;
constexpr int kToastLine2 = 1002;
constexpr int kAlertText = 1008;

const PolicySite kBank{
    "BANK1",
    "https://www.bank.co.kr",
    "203.0.113.10",
    1,
    0,
    "<certificate>[SUBJECT]CN=www.bank.co.kr, O=Bank</certificate><hashdata>abc</hashdata>"};
const PolicySite kCard{"CARD2", "https://www.card.co.kr", "203.0.113.20", 1, 0, ""};

class MainJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    std::string error;
    ASSERT_TRUE(rig_.Prepare(&error)) << error;
    CreateDirectoryA("c:\\temp", nullptr);
  }
  void TearDown() override {
    rig_.StopAgent();
    for (harness::Process* p : {&brelgo_, &brelgox_}) p->Kill();
    Clean();
  }
  static void Clean() {
    harness::KillWindowOwners(nullptr, kestra::kTitleX);
    harness::KillWindowOwners(nullptr, kestra::kTitleR);
    harness::KillWindowOwners(kestra::kBrowserClassX32, nullptr);
    harness::KillWindowOwners(kestra::kBrowserClassX64, nullptr);
    harness::RemoveTree(harness::AppDataFolder() + "\\TessalX");
    DeleteFileA("C:\\windows\\syswow64\\Brelgo.exe");
    DeleteFileA("C:\\windows\\syswow64\\BrelgoX.exe");
  }
  // Starts the two browser stand-ins, logging into the program folder.
  void StartBrowsers() {
    log_ = rig_.program_folder() + "\\browsers.log";
    ASSERT_TRUE(brelgo_.Start(harness::StandinFolder() + "\\Brelgo.exe",
                              "--log \"" + log_ + "\" --record 901"));
    ASSERT_TRUE(brelgox_.Start(harness::StandinFolder() + "\\BrelgoX.exe",
                               "--log \"" + log_ + "\" --record 902"));
    ASSERT_NE(harness::WaitForWindow(kestra::kBrowserClassX32, nullptr, 20000), nullptr);
    ASSERT_NE(harness::WaitForWindow(kestra::kBrowserClassX64, nullptr, 20000), nullptr);
  }
  void StartWithPolicy(const std::string& reply) {
    rig_.SetPolicy(reply);
    ASSERT_TRUE(rig_.StartAgent());
    ASSERT_TRUE(rig_.WaitForPolicy()) << "no policy loaded; simulator log:\n" << rig_.SimLog();
  }
  std::string BrowserLog() { return harness::ReadFileText(log_); }
  // Whether both browser stand-ins logged an event ("TERMINATE", "WM_DESTROY"...) in time.
  bool BothBrowsersLogged(const std::string& event, DWORD ms) {
    return harness::WaitUntil(
        [&] {
          std::string log = BrowserLog();
          return log.find("BRELGO " + event) != std::string::npos &&
                 log.find("BRELXGO " + event) != std::string::npos;
        },
        ms);
  }
  // Answers the alert box that follows a refusal; returns its text.
  std::wstring AnswerAlert(int button) {
    HWND alert = harness::WaitForDialogWithControl(rig_.agent().id(), kAlertText, 15000);
    if (alert == nullptr) return L"(no alert box)";
    std::wstring text = harness::ControlText(alert, kAlertText);
    PostMessageA(alert, WM_COMMAND, button, 0);
    harness::WaitUntil([&] { return !IsWindow(alert); }, 10000);
    return text;
  }

  AgentRig rig_;
  harness::Process brelgo_, brelgox_;
  std::string log_;
};

}  // namespace e2e
