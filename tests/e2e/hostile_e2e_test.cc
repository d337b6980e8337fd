// The elevated agent against a hostile process on the same desktop: this test
// plays it, beside the real browser stand-ins, posting the agent's messages and
// planting folders and hard links where the agent keeps its files.
#include "common/win/platform.h"
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "agent/core/messages.h"
#include "agent/core/record_files.h"
#include "tests/e2e/main_job_fixture.h"
#include "tests/support/win_harness.h"

namespace {

using namespace e2e;

bool ProcessRuns(const char* image) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  bool found = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry)) {
    found = lstrcmpiA(entry.szExeFile, image) == 0;
  }
  CloseHandle(snapshot);
  return found;
}

// How long the window takes to answer WM_NULL; kNoAnswer when it did not within 1 s.
constexpr ULONGLONG kNoAnswer = ~0ull;
ULONGLONG NullRoundTrip(HWND w) {
  ULONGLONG start = GetTickCount64();
  DWORD_PTR ignored;
  if (!SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored)) return kNoAnswer;
  return GetTickCount64() - start;
}

class HostileTest : public MainJobTest {
 protected:
  std::string Outside(const std::string& name) { return rig_.program_folder() + "\\" + name; }
  std::string Work(const std::string& name) { return AgentRig::WorkFolder() + "\\" + name; }
  void Plant(const std::string& at, const std::string& victim) {
    ASSERT_TRUE(harness::WriteFileText(victim, "precious"));
    ASSERT_TRUE(CreateHardLinkA(at.c_str(), victim.c_str(), nullptr)) << at;
  }
};

TEST_F(HostileTest, StartUpRemovesTheOldWorkFolderInProcessAndNeverThroughALink) {
  std::string work = AgentRig::WorkFolder();
  harness::RemoveTree(work);
  ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr) &&
              CreateDirectoryA(Work("old").c_str(), nullptr));
  ASSERT_TRUE(harness::WriteFileText(Work("old\\TESSALKESTRA_00001"), "stale"));
  Plant(Work("linked"), Outside("victim.txt"));

  std::atomic<bool> shell_seen{false}, watching{true};
  std::thread watch([&] {
    while (watching) {
      if (ProcessRuns("cmd.exe")) shell_seen = true;
      Sleep(5);
    }
  });
  StartWithPolicy(PolicyReply({kBank}));
  watching = false;
  watch.join();
  EXPECT_FALSE(shell_seen) << "no shell is started";
  EXPECT_FALSE(harness::FileExists(Work("old\\TESSALKESTRA_00001")));
  EXPECT_FALSE(harness::FileExists(Work("linked")));
  EXPECT_EQ(harness::ReadFileText(Outside("victim.txt")), "precious");
  EXPECT_TRUE(harness::FolderExists(work)) << "made anew";
}

TEST_F(HostileTest, ANumberRegisteredOverAndOverWithAFolderForItsFileDelaysNoTerminate) {
  StartBrowsers();
  StartWithPolicy(PolicyReply({kBank}));
  ASSERT_TRUE(CreateDirectoryA(rig_.RecordPath(777).c_str(), nullptr));
  for (int i = 0; i < 1024; ++i) PostMessageA(rig_.window(), kestra::kUmRegisterRecord, 777, 0);
  rig_.Ask(13, "www.bank.co.kr", "10.66.6.6");
  HWND alert = harness::WaitForDialogWithControl(rig_.agent().id(), kAlertText, 15000);
  ASSERT_NE(alert, nullptr);
  ULONGLONG answered = GetTickCount64();
  PostMessageA(alert, WM_COMMAND, IDOK, 0);  // "예"
  ASSERT_TRUE(BothBrowsersLogged("TERMINATE", 15000)) << BrowserLog();
  ULONGLONG took = GetTickCount64() - answered;
  std::printf("terminate broadcast seen by both browsers after %llu ms\n", took);
  EXPECT_LT(took, 4000u) << "the real browsers are told at once";
  EXPECT_TRUE(harness::FolderExists(rig_.RecordPath(777)));
}

TEST_F(HostileTest, AFloodOfRequestsNeitherFreezesTheWindowNorStarvesALaterRequest) {
  StartWithPolicy(PolicyReply({kBank, kCard}));
  // Alternating domains defeat the repeat suppression: every request is a full run.
  constexpr int kFlood = 1000;
  for (int i = 0; i < kFlood; ++i) {
    bool bank = i % 2 == 0;  // the last one is the card's
    harness::WriteFileText(rig_.RecordPath(2000 + i),
                           bank ? "www.bank.co.kr|203.0.113.10|" : "www.card.co.kr|203.0.113.20|");
  }
  for (int i = 0; i < kFlood; ++i)
    PostMessageA(rig_.window(), kestra::kUmInspectRecord, 2000 + i, 0);
  rig_.Ask(5000, "www.bank.co.kr", "203.0.113.10");

  ULONGLONG slowest = 0;
  std::string answer;
  ULONGLONG start = GetTickCount64(), end = start + 90000;
  while (answer.empty() && GetTickCount64() < end) {
    ULONGLONG trip = NullRoundTrip(rig_.window());
    slowest = trip > slowest ? trip : slowest;
    answer = harness::ReadFileText(rig_.RecordPath(5000));
    if (answer == "www.bank.co.kr|203.0.113.10|") answer.clear();
    Sleep(100);
  }
  std::printf("later request answered after %llu ms; slowest WM_NULL answer %llu ms\n",
              GetTickCount64() - start, slowest);
  EXPECT_EQ(answer, "OK") << "the later request got no verdict within 90 s";
  EXPECT_NE(slowest, kNoAnswer) << "the window stopped answering";
  EXPECT_LT(slowest, 1000u);
  int served = 0;
  for (int i = 0; i < kFlood; ++i)
    served += harness::ReadFileText(rig_.RecordPath(2000 + i)) == "OK";
  EXPECT_LE(served, 32) << "older requests beyond the queue's bound are dropped";
}

TEST_F(HostileTest, NamesThatAreNotPlainFilesAreNeverTouched) {
  StartWithPolicy(PolicyReply({kBank, kCard}));
  // A release of a hard-linked record file and of a folder.
  Plant(rig_.RecordPath(501), Outside("victim1.txt"));
  ASSERT_TRUE(CreateDirectoryA(rig_.RecordPath(502).c_str(), nullptr));
  ASSERT_TRUE(harness::WriteFileText(rig_.RecordPath(502) + "\\inside", "x"));
  DWORD_PTR ignored;
  for (WPARAM n : {501, 502}) {
    ASSERT_TRUE(SendMessageTimeoutA(rig_.window(), kestra::kUmReleaseRecord, n, 0, SMTO_NORMAL,
                                    5000, &ignored));
  }
  EXPECT_TRUE(harness::FileExists(rig_.RecordPath(501)));
  EXPECT_TRUE(harness::FileExists(rig_.RecordPath(502) + "\\inside"));
  // A request whose record file is a hard link would be answered "OK" through it.
  Plant(rig_.RecordPath(503), Outside("victim2.txt"));
  harness::WriteFileText(Outside("victim2.txt"), "www.bank.co.kr|203.0.113.10|");
  PostMessageA(rig_.window(), kestra::kUmInspectRecord, 503, 0);
  // A refusal whose evidence file is a hard link: the deletion is refused.
  Plant(rig_.EvidencePath("www.card.co.kr", 504), Outside("victim3.txt"));
  harness::WriteFileText(rig_.RecordPath(504), "www.card.co.kr|10.66.6.6|");
  PostMessageA(rig_.window(), kestra::kUmInspectRecord, 504, 0);
  EXPECT_TRUE(rig_.WaitForSimLog(u8"[www.card.co.kr]에 대한 [10.66.6.6]주소 파밍시도"))
      << rig_.SimLog();
  AnswerAlert(IDCANCEL);

  EXPECT_EQ(harness::ReadFileText(Outside("victim1.txt")), "precious");
  EXPECT_EQ(harness::ReadFileText(Outside("victim2.txt")), "www.bank.co.kr|203.0.113.10|");
  EXPECT_EQ(harness::ReadFileText(Outside("victim3.txt")), "precious");
  EXPECT_TRUE(harness::FileExists(rig_.EvidencePath("www.card.co.kr", 504)));
}

}  // namespace
