// The agent's main job under Wine: a policy from the management-server simulator,
// requests from the protected browsers, verdicts, alerts and reports.
#include "common/win/platform.h"
#include <winsock2.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/core/messages.h"
#include "agent/core/scrambled_file.h"
#include "tests/e2e/main_job_fixture.h"
#include "tests/support/win_harness.h"

namespace {

using namespace e2e;

TEST_F(MainJobTest, GenuineSiteIsOkAndUnknownSiteIsUnknown) {
  StartWithPolicy(PolicyReply({kBank, kCard}));
  rig_.Ask(11, "www.bank.co.kr", "203.0.113.10");
  EXPECT_EQ(rig_.WaitForAnswer(11, "www.bank.co.kr|203.0.113.10|"), "OK");
  EXPECT_TRUE(rig_.WaitForSimLog("CVComm_Access\tBANK1"));
  rig_.Ask(12, "www.example.com", "198.51.100.7");
  EXPECT_EQ(rig_.WaitForAnswer(12, "www.example.com|198.51.100.7|"), "UNKNOWN");
  Sleep(500);  // a fixed wait: no report is to come
  EXPECT_EQ(rig_.SimLog().find("example"), std::string::npos)
      << "nothing reported for an unknown site";
}

TEST_F(MainJobTest, PharmedAddressIsRefusedSignalledReportedAndAlerted) {
  StartBrowsers();
  StartWithPolicy(PolicyReply({kBank, kCard}));
  std::string asked = "www.bank.co.kr|10.66.6.6|";
  rig_.Ask(13, "www.bank.co.kr", "10.66.6.6", "<HASH>abc</HASH>");
  ASSERT_TRUE(harness::WaitUntil(
      [&] { return !harness::FileExists(rig_.EvidencePath("www.bank.co.kr", 13)); }, 10000))
      << "evidence file not deleted";
  EXPECT_EQ(harness::ReadFileText(rig_.RecordPath(13)), asked) << "the record keeps the request";
  EXPECT_TRUE(rig_.WaitForSimLog(
      u8"CVComm_Log\tBANK1\t1\t[www.bank.co.kr]에 대한 [10.66.6.6]주소 파밍시도\t0"))
      << rig_.SimLog();
  EXPECT_TRUE(BothBrowsersLogged("UM_BROWSER_ALERT", 10000)) << BrowserLog();

  HWND toast = harness::WaitForDialogWithControl(rig_.agent().id(), kToastLine2, 10000);
  ASSERT_NE(toast, nullptr) << "no toast";
  EXPECT_EQ(harness::ControlText(toast, kToastLine1), L"[www.bank.co.kr]");
  EXPECT_EQ(harness::ControlText(toast, kToastLine2), L"요청사이트는\r\n비정상입니다.\r\n사용불가");
  std::wstring alert = AnswerAlert(IDOK);  // "예"
  EXPECT_EQ(alert.rfind(L"(A1) 주소변경 파밍시도가 의심됩니다.", 0), 0u) << "alert text";
  // Both registered browsers are told to close.
  EXPECT_TRUE(BothBrowsersLogged("TERMINATE", 15000)) << BrowserLog();
}

TEST_F(MainJobTest, SameDomainWithinAMinuteIsNotAnswered) {
  StartWithPolicy(PolicyReply({kBank}));
  rig_.Ask(14, "www.bank.co.kr", "203.0.113.10");
  EXPECT_EQ(rig_.WaitForAnswer(14, "www.bank.co.kr|203.0.113.10|"), "OK");
  rig_.Ask(15, "m.bank.co.kr", "203.0.113.10");
  EXPECT_EQ(rig_.WaitForAnswer(15, "m.bank.co.kr|203.0.113.10|", 3000), "");
}

TEST_F(MainJobTest, CertificateMismatchIsKindTwo) {
  StartWithPolicy(PolicyReply({kBank}));
  rig_.Ask(16, "www.bank.co.kr", "203.0.113.10",
           "<CERT>[SUBJECT]CN=www.evil.example, O=x</CERT><HASH>abc</HASH>");
  EXPECT_TRUE(rig_.WaitForSimLog(u8"[www.bank.co.kr]에 대한 [203.0.113.10]접속 파밍시도\t2"))
      << rig_.SimLog();
  HWND toast = harness::WaitForDialogWithControl(rig_.agent().id(), kToastLine2, 10000);
  ASSERT_NE(toast, nullptr);
  EXPECT_EQ(harness::ControlText(toast, kToastLine2),
            L"요청사이트는\r\n인증서오류입니다.\r\n사용불가");
  std::wstring alert = AnswerAlert(IDCANCEL);  // "아니오"
  EXPECT_EQ(alert.rfind(L"(A2) ", 0), 0u);
}

TEST_F(MainJobTest, DnsSettingsAlert) {
  StartWithPolicy(PolicyReply({kBank}));
  PostMessageA(rig_.window(), kestra::kUmDnsChanged, 0, 0);
  EXPECT_TRUE(rig_.WaitForSimLog(u8"CVComm_Log\tBANK1\t1\tDNS 속성변경 파밍시도\t1"))
      << rig_.SimLog();
  HWND toast = harness::WaitForDialogWithControl(rig_.agent().id(), kToastLine1, 10000);
  ASSERT_NE(toast, nullptr);
  EXPECT_EQ(harness::ControlText(toast, kToastLine1), L"DNS 속성비정상");
  EXPECT_EQ(AnswerAlert(IDCANCEL).rfind(L"(A0) DNS 파싱 해킹이 의심됩니다.", 0), 0u);
}

// The MAC text the agent computes: the first IPv4 adapter with a physical address.
std::string FirstAdapterMac() {
  std::vector<unsigned char> buffer(15360);
  ULONG size = static_cast<ULONG>(buffer.size());
  auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_PREFIX, nullptr, adapters, &size) != NO_ERROR)
    return "";
  while (adapters != nullptr && adapters->PhysicalAddressLength == 0) adapters = adapters->Next;
  if (adapters == nullptr) return "";
  char text[32];
  const unsigned char* a = adapters->PhysicalAddress;
  std::snprintf(text, sizeof(text), "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4],
                a[5]);
  return text;
}

TEST_F(MainJobTest, ExcludedPcIsNotInspected) {
  std::string mac = FirstAdapterMac();
  if (mac.empty()) GTEST_SKIP() << "the first adapter has no physical address here";
  ASSERT_TRUE(harness::WriteFileText(rig_.program_folder() + "\\BrelEtc.ini",
                                     kestra::Scramble("11-22-33-44-55-66;" + mac + ";")));
  StartWithPolicy(PolicyReply({kBank}));
  rig_.Ask(18, "www.bank.co.kr", "10.66.6.6");
  EXPECT_EQ(rig_.WaitForAnswer(18, "www.bank.co.kr|10.66.6.6|", 4000), "");
  EXPECT_EQ(rig_.SimLog().find("CVComm_Log"), std::string::npos) << rig_.SimLog();
}

TEST_F(MainJobTest, ActivationZeroClosesBothBrowsers) {
  StartBrowsers();
  StartWithPolicy(PolicyReply({{"BANK1", "https://www.bank.co.kr", "203.0.113.10", 0, 0, ""}}));
  EXPECT_TRUE(BothBrowsersLogged("WM_DESTROY", 15000)) << BrowserLog();
}

TEST_F(MainJobTest, ActivationStartsBothProgramsOnSixtyFourBitWindows) {
  ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\Brelgo.exe").c_str(),
                        "C:\\windows\\syswow64\\Brelgo.exe", FALSE));
  ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\BrelgoX.exe").c_str(),
                        "C:\\windows\\syswow64\\BrelgoX.exe", FALSE));
  StartWithPolicy(PolicyReply({kBank}));
  EXPECT_NE(harness::WaitForWindow(kestra::kBrowserClassX32, nullptr, 15000), nullptr);
  EXPECT_NE(harness::WaitForWindow(kestra::kBrowserClassX64, nullptr, 15000), nullptr);
}

TEST_F(MainJobTest, CacheIsUsedWhenTheReplyIsEmpty) {
  rig_.SetPolicy("");
  ASSERT_TRUE(harness::WriteFileText(rig_.program_folder() + "\\Kestra.ini", PolicyReply({kBank})));
  ASSERT_TRUE(rig_.StartAgent());
  // Built from the cache once the empty reply has come, the policy answers requests
  // (the refresh runs on the window's thread, and a request waits until it is over).
  ASSERT_TRUE(rig_.WaitForSimLog("CVComm_InfoSet\t0\t0")) << rig_.SimLog();
  rig_.Ask(17, "www.bank.co.kr", "203.0.113.10");
  EXPECT_EQ(rig_.WaitForAnswer(17, "www.bank.co.kr|203.0.113.10|", 15000), "OK");
  std::vector<std::string> menu = rig_.TrayMenu();
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[0], u8"1 BANK1 보호");
  EXPECT_EQ(menu[2].rfind("130 ", 0), 0u);
  EXPECT_NE(menu[2].find(u8" 로컬정책"), std::string::npos) << menu[2];
}

TEST(MainJobREdition, PolicySwitchesOnTheDlpComponentThroughTheFallbackLibrary) {
  harness::KillWindowOwners(nullptr, kestra::kTitleR);
  AgentRig rig("kestra_rig_r");
  std::string error;
  ASSERT_TRUE(rig.Prepare(&error, "qvTessalKestraR.exe")) << error;
  std::string folder = rig.program_folder();
  // The library found first lacks the R entry point; the one beside the program has it.
  ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\qvTessalOlvarNoR.dll").c_str(),
                        (folder + "\\qvTessalOlvar.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\qvTessalOlvar.dll").c_str(),
                        (folder + "\\qvTessalOlvar_tmp.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\qvTessalQuenmor.dll").c_str(),
                        (folder + "\\qvTessalQuenmor.dll").c_str(), FALSE));
  harness::WriteFileText(folder + "\\BrelmapR_tmp.dll",
                         harness::ReadFileText(folder + "\\Brelmap_tmp.dll"));
  harness::WriteFileText(folder + "\\BrelCompid.ini",
                         kestra::Scramble("<COMPANYID>RBANK</COMPANYID>"));
  rig.SetPolicy(
      "<agentactivationoption>1</agentactivationoption><agentterminationoption>1</"
      "agentterminationoption>");
  std::string dlp_log = folder + "\\dlp.log";
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", dlp_log.c_str());
  bool started = rig.StartAgent(kestra::kTitleR);
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", nullptr);
  ASSERT_TRUE(started);
  ASSERT_TRUE(rig.WaitForPolicy()) << rig.SimLog();
  EXPECT_TRUE(rig.WaitForSimLog("CVComm_SetCompany\tRBANK"));
  EXPECT_TRUE(rig.WaitForSimLog("CVComm_InfoSetR"));
  ASSERT_TRUE(harness::WaitUntil(
      [&] {
        return harness::ReadFileText(dlp_log).find("qvTsl_StartActiveDlp 0") != std::string::npos;
      },
      10000))
      << harness::ReadFileText(dlp_log);
  std::string dlp = harness::ReadFileText(dlp_log);
  EXPECT_LT(dlp.find("qvTsl_SetProof"), dlp.find("qvTsl_StartActiveDlp"))
      << "the proof comes first";
  EXPECT_EQ(dlp.find("qvTsl_EndActiveDlp"), std::string::npos) << "never ended by the agent";
  // The R menu: exit (termination set), the policy time and the engine update.
  std::vector<std::string> menu = rig.TrayMenu();
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[0], u8"129 종료");
  EXPECT_EQ(menu[1].rfind("130 ", 0), 0u);
  EXPECT_EQ(menu[3], u8"131 엔진업데이트");
}

TEST(MainJobREdition, MissingCompanyIdIsFatal) {
  harness::KillWindowOwners(nullptr, kestra::kTitleR);
  AgentRig rig("kestra_rig_r");
  std::string error;
  ASSERT_TRUE(rig.Prepare(&error, "qvTessalKestraR.exe")) << error;
  harness::WriteFileText(rig.program_folder() + "\\BrelmapR_tmp.dll",
                         harness::ReadFileText(rig.program_folder() + "\\Brelmap_tmp.dll"));
  rig.SetPolicy("<agentactivationoption>1</agentactivationoption>");
  ASSERT_TRUE(rig.StartAgent(kestra::kTitleR));
  HWND box = harness::WaitForTitledWindow(rig.agent().id(), L"Corvanta Alert", 20000);
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_EQ(harness::MessageBoxText(box),
            L"사업자정보가 없습니다\r\n관리자에게 문의 및 재설치후 사용하십시요");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  DWORD code = 0;
  ASSERT_TRUE(rig.agent().WaitForExit(15000, &code));
  EXPECT_EQ(code, kestra::kShutdownExitCode);
}

}  // namespace

namespace {

// Opens the tray menu and chooses its n-th item (from 1, separators skipped) with
// the keyboard, as the user would. Wine reads no other process's menu, so tests
// see the menu through what its commands do.
bool ChooseTrayItem(HWND agent, int n) {
  SetCursorPos(900, 700);
  PostMessageA(agent, kestra::kUmTrayNotify, 0, WM_RBUTTONUP);
  HWND popup = harness::WaitForWindow("#32768", nullptr, 10000);
  if (popup == nullptr || !harness::WaitUntil([&] { return IsWindowVisible(popup) != 0; }, 5000))
    return false;
  for (int i = 0; i < n; ++i) PostMessageA(agent, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(agent, WM_KEYDOWN, VK_RETURN, 0);
  return harness::WaitUntil([&] { return !IsWindowVisible(popup); }, 5000);
}

TEST_F(MainJobTest, TrayMenuOfThreeSitesWithTerminationOneOneZero) {
  StartWithPolicy(PolicyReply({{"A", "https://www.a.co.kr", "192.0.2.1", 1, 1, ""},
                               {"B", "https://www.b.co.kr", "192.0.2.2", 1, 1, ""},
                               {"C", "https://www.c.co.kr", "192.0.2.3", 1, 0, ""}}));
  std::vector<std::string> menu = rig_.TrayMenu();
  ASSERT_EQ(menu.size(), 7u);
  EXPECT_EQ(menu[0], u8"1 A 보호");
  EXPECT_EQ(menu[1], u8"2 B 보호");
  EXPECT_EQ(menu[2], u8"3 C 보호");
  EXPECT_EQ(menu[3], "-") << "no 종료 after the sites";
  EXPECT_EQ(menu[4].rfind("130 ", 0), 0u);
  EXPECT_NE(menu[4].find(u8" 업데이트"), std::string::npos);
  EXPECT_EQ(menu[5], "-");
  EXPECT_EQ(menu[6], u8"131 엔진업데이트");
  DWORD pid = rig_.agent().id();
  // The third item is C's: its safe address.
  ASSERT_TRUE(ChooseTrayItem(rig_.window(), 3));
  HWND box = harness::WaitForTitledWindow(pid, L"Corvanta", 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(harness::MessageBoxText(box), L"[www.c.co.kr]\r\n안전주소: 192.0.2.3");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(harness::WaitUntil([&] { return !IsWindow(box); }, 10000));
  // The fourth is the policy time (no "종료" before it): choosing it asks nothing.
  ASSERT_TRUE(ChooseTrayItem(rig_.window(), 4));
  EXPECT_EQ(harness::WaitForTitledWindow(pid, L"Corvanta", 2000), nullptr);
  // The fifth and last is the engine update.
  ASSERT_TRUE(ChooseTrayItem(rig_.window(), 5));
  box = harness::WaitForTitledWindow(pid, L"Corvanta", 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(harness::MessageBoxText(box), L"브라우저도 종료될 수 있습니다.\r\n계속하시겠습니까?");
  PostMessageA(box, WM_COMMAND, IDNO, 0);
  Sleep(500);  // a fixed wait: the agent is not to end
  EXPECT_TRUE(rig_.agent().running());
}

TEST_F(MainJobTest, EngineUpdateStartsTheProtectedStartProgramAndEnds) {
  std::string log = rig_.program_folder() + "\\standins.log";
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", log.c_str());
  ASSERT_TRUE(CopyFileA((harness::StandinFolder() + "\\qvTarnwick.exe").c_str(),
                        (rig_.program_folder() + "\\qvTarnwick.exe").c_str(), FALSE));
  StartWithPolicy(PolicyReply({kBank}));
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", nullptr);
  ASSERT_TRUE(ChooseTrayItem(rig_.window(), 3));  // site, time, engine update
  HWND box = harness::WaitForTitledWindow(rig_.agent().id(), L"Corvanta", 10000);
  ASSERT_NE(box, nullptr);
  PostMessageA(box, WM_COMMAND, IDYES, 0);
  DWORD code = 0;
  ASSERT_TRUE(rig_.agent().WaitForExit(20000, &code));
  EXPECT_EQ(code, kestra::kShutdownExitCode);
  EXPECT_TRUE(harness::WaitUntil(
      [&] { return harness::ReadFileText(log).find("qvTarnwick") != std::string::npos; }, 10000));
}

}  // namespace
