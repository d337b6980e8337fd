// The communication-library stand-in as the agent uses it: loaded by path, its
// entry points found by name, pointed at the simulator that the test fixture runs.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standins/mgmt_sim/win/sim_process.h"
#include "tests/support/win_harness.h"

namespace {

using InfoSetFn = int(__cdecl*)(int, char*, int);
using SetServerFn = void(__cdecl*)(const char*, int, const char*);
using CompanyFn = void(__cdecl*)(const char*);
using LogFn = void(__cdecl*)(const char*, int, const char*, const char*);

const std::string kSimDir = TESSAL_SIM_DIR_WIN;

int SimPort() {
  std::string text = harness::ReadFileText(kSimDir + "\\port");
  return text.empty() ? 0 : std::atoi(text.c_str());
}

std::string SimLog() { return harness::ReadFileText(kSimDir + "\\calls.log"); }

bool LogHas(const std::string& line) {
  return harness::WaitUntil([&] { return SimLog().find(line + "\n") != std::string::npos; }, 5000);
}

class CommStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = SimPort();
    ASSERT_GT(port_, 0) << "no simulator port in " << kSimDir
                        << "\\port (fixture standin_comm_sim)";
    lib_ = LoadLibraryA((harness::StandinFolder() + "\\qvTessalOlvar.dll").c_str());
    ASSERT_NE(lib_, nullptr);
    info_ = reinterpret_cast<InfoSetFn>(GetProcAddress(lib_, "CVComm_InfoSet"));
    info_r_ = reinterpret_cast<InfoSetFn>(GetProcAddress(lib_, "CVComm_InfoSetR"));
    set_server_ = reinterpret_cast<SetServerFn>(GetProcAddress(lib_, "CVComm_SetServer"));
    set_company_ = reinterpret_cast<CompanyFn>(GetProcAddress(lib_, "CVComm_SetCompany"));
    access_ = reinterpret_cast<CompanyFn>(GetProcAddress(lib_, "CVComm_Access"));
    log_ = reinterpret_cast<LogFn>(GetProcAddress(lib_, "CVComm_Log"));
    ASSERT_TRUE(info_ && info_r_ && set_server_ && set_company_ && access_ && log_);
    set_server_("127.0.0.1", port_, "/CommandService");
  }
  void TearDown() override {
    harness::WriteFileText(kSimDir + "\\policy", "");
    if (lib_ != nullptr) FreeLibrary(lib_);
  }

  // The agent's two-step read: the length, then the text into length + 32 bytes.
  std::string Fetch(InfoSetFn fn) {
    int length = fn(0, nullptr, 0);
    if (length <= 0) return "";
    std::vector<char> buffer(length + 32, 0);
    if (fn(0, buffer.data(), length + 32) == 0) return "<copy failed>";
    return std::string(buffer.data());
  }

  HMODULE lib_ = nullptr;
  int port_ = 0;
  InfoSetFn info_ = nullptr;
  InfoSetFn info_r_ = nullptr;
  SetServerFn set_server_ = nullptr;
  CompanyFn set_company_ = nullptr;
  CompanyFn access_ = nullptr;
  LogFn log_ = nullptr;
};

TEST_F(CommStandin, ReplyRoundTripsWithKoreanTextAndEmptyMeansNone) {
  ASSERT_TRUE(
      LogHas("CVComm_SetServer\t127.0.0.1\t" + std::to_string(port_) + "\t/CommandService"));
  // Written from here, so in CP949 like a real reply.
  std::string policy =
      "<observationtarget><companyid>은행01</companyid><companymainurl>https://www.bank.co.kr</"
      "companymainurl>"
      "</observationtarget>";
  ASSERT_TRUE(harness::WriteFileText(kSimDir + "\\policy", policy));
  EXPECT_EQ(Fetch(info_), policy);
  EXPECT_EQ(Fetch(info_r_), policy);
  EXPECT_TRUE(LogHas("CVComm_InfoSetR\t0\t" + std::to_string(policy.size() + 32)));
  ASSERT_TRUE(harness::WriteFileText(kSimDir + "\\policy", ""));
  EXPECT_EQ(info_(0, nullptr, 0), 0) << "an empty policy file is no reply";
}

TEST_F(CommStandin, EveryCallReachesTheSimulatorWithKoreanEventText) {
  set_company_("COMP-A");
  access_("COMP-A");
  log_("COMP-A", 1, "[www.bank.co.kr]에 대한 [6.6.6.6]주소 파밍시도", "0");
  log_("COMP-A", 1, "DNS 속성변경 파밍시도", "1");
  log_(nullptr, 1, nullptr, nullptr);
  EXPECT_TRUE(LogHas("CVComm_SetCompany\tCOMP-A"));
  EXPECT_TRUE(LogHas("CVComm_Access\tCOMP-A"));
  // The simulator logs UTF-8.
  EXPECT_TRUE(LogHas(u8"CVComm_Log\tCOMP-A\t1\t[www.bank.co.kr]에 대한 [6.6.6.6]주소 파밍시도\t0"))
      << SimLog();
  EXPECT_TRUE(LogHas(u8"CVComm_Log\tCOMP-A\t1\tDNS 속성변경 파밍시도\t1")) << SimLog();
  EXPECT_TRUE(LogHas("CVComm_Log\t\t1\t\t"));
}

// Replies beyond what the agent accepts still arrive whole, so that the agent's
// own limit is what a test meets.
TEST_F(CommStandin, LargeReplyArrivesWhole) {
  std::string policy = "<observationtarget>" + std::string(5 * 1024 * 1024, 'a');
  ASSERT_TRUE(harness::WriteFileText(kSimDir + "\\policy", policy));
  EXPECT_EQ(info_(0, nullptr, 0), static_cast<int>(policy.size()));
  std::vector<char> buffer(policy.size() + 32, 0);
  ASSERT_EQ(info_(0, buffer.data(), static_cast<int>(buffer.size())), 1);
  EXPECT_TRUE(std::string(buffer.data()) == policy);
}

TEST_F(CommStandin, UnreachableServerGivesNoReplyQuickly) {
  ASSERT_TRUE(harness::WriteFileText(kSimDir + "\\policy", "<observationtarget>x"));
  set_server_("127.0.0.1", 1, "/CommandService");  // nothing listens on port 1
  DWORD start = GetTickCount();
  EXPECT_EQ(info_(0, nullptr, 0), 0);
  EXPECT_LT(GetTickCount() - start, 8000u);
  set_server_("127.0.0.1", port_, "/CommandService");
  EXPECT_EQ(Fetch(info_), "<observationtarget>x");
}

// A Windows test can also run its own simulator (the Linux program, which Wine
// starts directly) and end it through its stop file.
TEST_F(CommStandin, SimulatorStartedFromWindowsServesAndStops) {
  std::string out = harness::OutFolder();
  std::string program =
      out.substr(0, out.find_last_of('\\')) + "\\linux\\standins\\corvanta_mgmt_sim";
  harness::TempFolder folder("own_sim");
  mgmt_sim::SimulatorProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(program, folder.path(), 120, 10000, &error)) << error;
  ASSERT_NE(sim.port(), port_);
  ASSERT_TRUE(harness::WriteFileText(sim.policy_path(), "<observationtarget>own"));
  set_server_("127.0.0.1", sim.port(), "/CommandService");
  EXPECT_EQ(Fetch(info_), "<observationtarget>own");
  EXPECT_NE(harness::ReadFileText(sim.log_path()).find("CVComm_InfoSet\t0\t0\n"),
            std::string::npos);
  int port = sim.port();
  sim.Stop();
  EXPECT_FALSE(harness::FileExists(folder / "port"))
      << "the simulator removes its port file as it ends";
  set_server_("127.0.0.1", port, "/CommandService");
  EXPECT_EQ(info_(0, nullptr, 0), 0) << "nothing answers after Stop";

  mgmt_sim::SimulatorProcess missing;
  EXPECT_FALSE(missing.Start(folder / "no_such_program", folder / "x", 10, 1000, &error));
  EXPECT_NE(error.find("build the linux tree first"), std::string::npos) << error;
}

TEST(CommStandinNoR, LacksOnlyTheREntryPoint) {
  HMODULE lib = LoadLibraryA((harness::StandinFolder() + "\\qvTessalOlvarNoR.dll").c_str());
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(GetProcAddress(lib, "CVComm_InfoSetR"), nullptr);
  for (const char* name :
       {"CVComm_InfoSet", "CVComm_SetServer", "CVComm_SetCompany", "CVComm_Access", "CVComm_Log"}) {
    EXPECT_NE(GetProcAddress(lib, name), nullptr) << name;
  }
  FreeLibrary(lib);
}

}  // namespace
