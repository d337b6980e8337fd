// The hosts-file guard under Wine: the prefix's own hosts file tampered, found
// by the folder watch and by a refusal, repaired with a numbered backup, and a
// moved hosts folder put back. The prefix's file and settings are restored after
// every case.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/e2e/main_job_fixture.h"
#include "tests/support/win_harness.h"

namespace {

using namespace e2e;

const char kEtc[] = "C:\\windows\\system32\\drivers\\etc";
const char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const char kCleanLines[] =
    "# 한글 주석: 회사 서버\r\n127.0.0.1\tlocalhost\r\n\r\n10.1.1.1  intranet.example # 사내\r\n";

std::string Etc(const std::string& name) { return std::string(kEtc) + "\\" + name; }

std::optional<std::string> DataBasePath() {
  char value[1024];
  DWORD size = sizeof(value);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kParameters, "DataBasePath",
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(value);
}

void SetDataBasePath(const std::optional<std::string>& value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParameters, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  if (value) {
    RegSetValueExA(key, "DataBasePath", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>(value->size() + 1));
  } else {
    RegDeleteValueA(key, "DataBasePath");
  }
  RegCloseKey(key);
}

class HostsGuardTest : public MainJobTest {
 protected:
  void SetUp() override {
    MainJobTest::SetUp();
    saved_hosts_ = harness::ReadFileText(Etc("hosts"));
    saved_path_ = DataBasePath();
    RemoveBackups();
  }
  void TearDown() override {
    MainJobTest::TearDown();
    harness::WriteFileText(Etc("hosts"), saved_hosts_);
    SetDataBasePath(saved_path_);
    RemoveBackups();
  }
  static void RemoveBackups() {
    DeleteFileA(Etc("hosts_kestra.tmp").c_str());
    DeleteFileA(Etc("hosts_backup").c_str());
    for (int n = 1; n <= 3; ++n) DeleteFileA(Etc("hosts_backup." + std::to_string(n)).c_str());
  }
  // Writes the file and waits until it reads `expected`; prints how long that took.
  bool RepairedAfterWriting(const std::string& written, const std::string& expected,
                            DWORD timeout_ms = 5000) {
    if (!harness::WriteFileText(Etc("hosts"), written)) return false;
    ULONGLONG start = GetTickCount64();
    bool repaired = harness::WaitUntil(
        [&] { return harness::ReadFileText(Etc("hosts")) == expected; }, timeout_ms);
    std::printf("hosts file repaired %llu ms after the change\n", GetTickCount64() - start);
    return repaired;
  }
  std::string saved_hosts_;
  std::optional<std::string> saved_path_;
};

TEST_F(HostsGuardTest, ATamperedFileIsRepairedAndBackedUpAtEveryChange) {
  ASSERT_TRUE(harness::WriteFileText(Etc("hosts"), kCleanLines));
  StartWithPolicy(PolicyReply({kBank, kCard}));
  std::string first = std::string(kCleanLines) + "6.6.6.6 www.bank.co.kr bank.co.kr\r\n# 끝\r\n";
  ASSERT_TRUE(RepairedAfterWriting(first, std::string(kCleanLines) + "# 끝\r\n"))
      << harness::ReadFileText(Etc("hosts"));
  EXPECT_EQ(harness::ReadFileText(Etc("hosts_backup")), first);
  EXPECT_TRUE(rig_.WaitForSimLog(
      u8"CVComm_Log\tBANK1\t1\t[www.bank.co.kr]에 대한 [6.6.6.6]호스트파일 파밍시도\t0"))
      << rig_.SimLog();

  // A second tampering keeps the first backup and adds a second.
  std::string second = "7.7.7.7\twww.card.co.kr\n" + std::string(kCleanLines);
  ASSERT_TRUE(RepairedAfterWriting(second, kCleanLines));
  EXPECT_EQ(harness::ReadFileText(Etc("hosts_backup")), first);
  EXPECT_EQ(harness::ReadFileText(Etc("hosts_backup.1")), second);
  EXPECT_TRUE(rig_.WaitForSimLog(
      u8"CVComm_Log\tCARD2\t1\t[www.card.co.kr]에 대한 [7.7.7.7]호스트파일 파밍시도\t0"))
      << rig_.SimLog();
  EXPECT_FALSE(harness::FileExists(Etc("hosts_kestra.tmp")));
}

TEST_F(HostsGuardTest, ARefusalFindsTheTamperedFileBeforeItsAlert) {
  ASSERT_TRUE(harness::WriteFileText(Etc("hosts"), kCleanLines));
  StartWithPolicy(PolicyReply({kBank}));
  ASSERT_TRUE(harness::WriteFileText(Etc("hosts"),
                                     std::string(kCleanLines) + "10.66.6.6 www.bank.co.kr\r\n"));
  rig_.Ask(21, "www.bank.co.kr", "10.66.6.6");
  HWND toast = harness::WaitForDialogWithControl(rig_.agent().id(), kToastLine2, 10000);
  ASSERT_NE(toast, nullptr);
  EXPECT_EQ(harness::ReadFileText(Etc("hosts")), kCleanLines)
      << "repaired by the time the refusal shows";
  std::string log = rig_.SimLog();
  std::size_t repair = log.find(u8"[10.66.6.6]호스트파일 파밍시도");
  EXPECT_NE(repair, std::string::npos) << log;
  EXPECT_LT(repair, log.find(u8"[10.66.6.6]주소 파밍시도")) << log;
  EXPECT_EQ(AnswerAlert(IDCANCEL).rfind(L"(A1) ", 0), 0u);
}

TEST_F(HostsGuardTest, AMovedHostsFolderIsReportedAndPutBack) {
  StartWithPolicy(PolicyReply({kBank}));
  SetDataBasePath("C:\\temp\\etc");
  EXPECT_TRUE(rig_.WaitForSimLog(u8"CVComm_Log\tBANK1\t1\t호스트파일 경로변경 파밍시도\t0"))
      << rig_.SimLog();
  EXPECT_TRUE(harness::WaitUntil(
      [] { return DataBasePath() == "%SystemRoot%\\System32\\drivers\\etc"; }, 5000))
      << DataBasePath().value_or("(none)");
}

TEST_F(HostsGuardTest, AFileTooLargeToJudgeIsLeftAloneAndReported) {
  std::string huge = "6.6.6.6 www.bank.co.kr\r\n" + std::string(2 * 1024 * 1024, '#') + "\r\n";
  ASSERT_TRUE(harness::WriteFileText(Etc("hosts"), huge));
  StartWithPolicy(PolicyReply({kBank}));
  EXPECT_TRUE(rig_.WaitForSimLog(u8"CVComm_Log\tBANK1\t1\t호스트파일 검사불가 파밍시도\t0"))
      << rig_.SimLog();
  EXPECT_TRUE(harness::ReadFileText(Etc("hosts")) == huge) << "left as it is";
  EXPECT_FALSE(harness::FileExists(Etc("hosts_backup")));
}

}  // namespace
