// The agent's HTTPS presence responder as pages meet it: a real TLS client from
// the Linux side asks on 127.0.0.1:12500, the machine's root store gains the
// suite's root once, and an agent beside a current keep-alive service leaves
// the port to the service.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/core/messages.h"
#include "tests/support/responder_probe.h"
#include "tests/support/win_harness.h"

namespace {

using harness::Process;
using harness::TempFolder;

constexpr DWORD kStartMs = 20000;

bool TrayIconShown() {
  HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
  return tray != nullptr && IsWindowVisible(tray);
}

class ResponderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    harness::KillWindowOwners(nullptr, kestra::kTitleX);
    harness::RemoveTree(harness::AppDataFolder() + "\\TessalX");
    harness::TestRootCopies(true);
    ASSERT_TRUE(harness::CopyResponderFiles(folder_.path()));
    ASSERT_TRUE(CopyFileA((harness::OutFolder() + "\\qvTessalKestra.exe").c_str(),
                          (folder_ / "qvTessalKestra.exe").c_str(), FALSE));
  }
  void TearDown() override {
    agent_.Kill();
    service_.Kill();
    harness::KillWindowOwners(nullptr, kestra::kTitleX);
    harness::TestRootCopies(true);
  }

  void StartAgent() {
    ASSERT_TRUE(agent_.Start(folder_ / "qvTessalKestra.exe"));
    ASSERT_NE(harness::WaitForWindow(nullptr, kestra::kTitleX, kStartMs), nullptr);
  }

  // A process named gatrell.exe runs, from another folder, as the service would.
  void RunServiceProcess() {
    ASSERT_TRUE(
        CopyFileA(harness::IdleProgram().c_str(), (elsewhere_ / "Gatrell.exe").c_str(), FALSE));
    ASSERT_TRUE(service_.Start(elsewhere_ / "Gatrell.exe", "60000"));
  }

  TempFolder folder_{"kestra responder"};
  TempFolder elsewhere_{"gatrell"};
  Process agent_, service_;
};

TEST_F(ResponderTest, AnswersPagesOverTlsShowsTheIconAndTrustsItsRootOnce) {
  ASSERT_EQ(harness::TestRootCopies(), 0);
  for (int start = 0; start < 2; ++start) {
    StartAgent();
    EXPECT_EQ(harness::AskPresenceResponder(folder_, 15000), harness::kPresenceReply)
        << "start " << start;
    if (start == 0) {
      EXPECT_TRUE(harness::WaitUntil(TrayIconShown, 5000)) << "no tray icon after a connection";
    }
    EXPECT_EQ(harness::TestRootCopies(), 1) << "start " << start;
    agent_.Kill();
    ASSERT_TRUE(harness::WaitUntil([] { return !harness::PresencePortAnswers(); }, 10000));
  }
}

TEST_F(ResponderTest, LeavesThePortToACurrentServiceOnly) {
  const struct {
    const char* service_file;  // beside the agent, its version read
    bool agent_answers;
  } cases[] = {
      {"Gatrell.exe", false},  // the service of this suite, "1, 0, 0, 2"
      {nullptr, true},         // the first service, "1, 0, 0, 1": no responder in it
  };
  RunServiceProcess();
  for (const auto& c : cases) {
    std::string source =
        c.service_file ? harness::OutFolder() + "\\" + c.service_file : harness::IdleProgram();
    ASSERT_TRUE(CopyFileA(source.c_str(), (folder_ / "Gatrell.exe").c_str(), FALSE));
    StartAgent();
    if (c.agent_answers) {
      EXPECT_EQ(harness::AskPresenceResponder(folder_, 15000), harness::kPresenceReply);
    } else {
      // An agent that listens does so well within this (see the case above).
      Sleep(3000);
      EXPECT_FALSE(harness::PresencePortAnswers()) << "the agent listens beside a current service";
    }
    agent_.Kill();
    harness::WaitUntil([] { return !harness::PresencePortAnswers(); }, 10000);
  }
}

}  // namespace
