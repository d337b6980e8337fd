#include "agent/core/policy_refresh.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kestra {
namespace {

class FakeComm : public CommLibrary {
 public:
  std::string reply;
  std::vector<std::string> calls;
  int InfoSet(char* buffer, int size) override {
    if (buffer == nullptr) return static_cast<int>(reply.size());
    if (size < static_cast<int>(reply.size())) return 0;
    std::memcpy(buffer, reply.data(), reply.size());
    return 1;
  }
  void SetServer(const std::string& s, int port, const std::string& o) override {
    calls.push_back("SetServer " + s + " " + std::to_string(port) + " " + o);
  }
  void SetCompany(const std::string& id) override { calls.push_back("SetCompany " + id); }
  void Access(const std::string& id) override { calls.push_back("Access " + id); }
  void Log(const std::string&, const std::string&, int) override {}
};

class FakeHost : public RefreshHost {
 public:
  std::map<unsigned, unsigned> timers;
  std::vector<std::string> events;
  uint64_t now_ms = 1000;
  LocalTime now{2026, 12, 8, 10, 30, 0};
  CommLoad load = CommLoad::kLoaded;
  FakeComm comm;
  std::optional<std::string> settings =
      std::string("<CV_SERVER>127.0.0.1</CV_SERVER><CV_PORT>9000</CV_PORT>");
  std::optional<std::string> company_file;
  std::optional<std::string> cache;
  std::string address_file;
  MenuModel menu;
  int hosts_checks = 0;

  void SetTimer(unsigned id, unsigned ms) override { timers[id] = ms; }
  void KillTimer(unsigned id) override { timers.erase(id); }
  void HideMainWindow() override { events.push_back("hide"); }
  uint64_t NowMs() override { return now_ms; }
  LocalTime Now() override { return now; }
  void RunProtectedStart() override { events.push_back("qvTarnwick"); }
  void Shutdown() override { events.push_back("shutdown"); }
  void FatalMessage(const std::string& text) override { events.push_back("message " + text); }
  CommLoad LoadComm(Edition, CommLibrary** c) override {
    *c = &comm;
    return load;
  }
  std::optional<std::string> ReadServerSettings(Edition) override { return settings; }
  std::optional<std::string> ReadCompanyIdFile() override { return company_file; }
  void MakeWorkFolders() override {}
  std::optional<std::string> ReadCache() override { return cache; }
  void WriteCache(const std::string& reply) override { cache = reply; }
  void DeleteCache() override { cache.reset(); }
  void WriteAddressListFile(const std::string& list) override { address_file = list; }
  void SetMenu(const MenuModel& m) override { menu = m; }
  void StartBrowsers() override { events.push_back("start browsers"); }
  void CloseBrowsers() override { events.push_back("close browsers"); }
  void GuardHostsFile() override { ++hosts_checks; }
};

std::string Target(const std::string& id, int activation, int termination) {
  return "<observationtarget><companyid>" + id + "</companyid><companymainurl>https://www." + id +
         ".co.kr</companymainurl><companymainipaddress>10.0.0.1</companymainipaddress>"
         "<agentactivationoption>" +
         std::to_string(activation) +
         "</agentactivationoption>"
         "<agentterminationoption>" +
         std::to_string(termination) + "</agentterminationoption></observationtarget>";
}

class RefreshTest : public ::testing::Test {
 protected:
  PolicyState state_;
  FakeHost host_;
};

TEST_F(RefreshTest, GoodReplyBuildsTargetsMenuCacheAndStartsBrowsers) {
  host_.comm.reply = Target("BANKA", 1, 0) + Target("BANKB", 1, 0);
  RunPolicyRefresh(state_, host_);
  EXPECT_TRUE(state_.policy_loaded);
  EXPECT_FALSE(state_.refresh_running);
  ASSERT_EQ(state_.table.Copy().targets.size(), 2u);
  EXPECT_EQ(state_.table.Copy().address_list,
            "https://www.banka.co.kr;10.0.0.1;https://www.bankb.co.kr;10.0.0.1;");
  EXPECT_EQ(host_.address_file, state_.table.Copy().address_list);
  EXPECT_EQ(host_.cache, host_.comm.reply);
  EXPECT_EQ(host_.menu.front().text, "BANKA 보호");
  EXPECT_EQ(host_.menu[3].text, "20261208-103000 업데이트");
  EXPECT_EQ(host_.timers[kTimerPolicy], kRefreshPeriodMs);
  EXPECT_THAT(host_.comm.calls, ::testing::ElementsAre("SetServer 127.0.0.1 9000 /CommandService"));
  EXPECT_THAT(host_.events, ::testing::ElementsAre("hide", "start browsers"));
  EXPECT_EQ(host_.hosts_checks, 1);
}

TEST_F(RefreshTest, TheLastTargetDecidesTheFlags) {
  host_.comm.reply = Target("A", 1, 1) + Target("B", 1, 1) + Target("C", 0, 0);
  RunPolicyRefresh(state_, host_);
  EXPECT_FALSE(state_.termination);
  EXPECT_FALSE(state_.activation);
  EXPECT_THAT(host_.events, ::testing::Contains("close browsers"));
  int exits = 0;
  for (const MenuEntry& e : host_.menu) exits += e.command == kCmdExit && !e.separator;
  EXPECT_EQ(exits, 0);
}

TEST_F(RefreshTest, EmptyReplyUsesTheCacheWithTheLocalLabel) {
  host_.cache = Target("CACHED", 1, 0);
  RunPolicyRefresh(state_, host_);
  ASSERT_TRUE(state_.policy_loaded);
  EXPECT_EQ(state_.table.Copy().targets[0].company_id, "CACHED");
  EXPECT_EQ(host_.menu[2].text, "20261208-103000 로컬정책");
}

TEST_F(RefreshTest, NoReplyNoCacheShowsRetryOneEveryThirtySeconds) {
  RunPolicyRefresh(state_, host_);
  EXPECT_FALSE(state_.policy_loaded);
  EXPECT_EQ(host_.menu, BuildRetryMenu(1));
  EXPECT_EQ(host_.timers[kTimerPolicy], kRetryPeriodMs);
}

TEST_F(RefreshTest, ReplyWithoutTargetsDeletesTheCacheAndKeepsALoadedPolicy) {
  host_.comm.reply = Target("A", 1, 0);
  RunPolicyRefresh(state_, host_);
  MenuModel loaded_menu = host_.menu;
  host_.comm.reply = "<error>busy</error>";
  RunPolicyRefresh(state_, host_);
  EXPECT_FALSE(host_.cache) << "the cache is deleted";
  EXPECT_EQ(host_.menu, loaded_menu);
  EXPECT_EQ(state_.table.Copy().targets.size(), 1u);
  EXPECT_FALSE(state_.table.Copy().address_list.empty()) << "the watcher keeps its address list";
  EXPECT_EQ(host_.timers[kTimerPolicy], kRefreshPeriodMs);
  EXPECT_EQ(host_.hosts_checks, 1) << "only the refresh that built targets checks the hosts file";

  PolicyState fresh;
  FakeHost other;
  other.comm.reply = "<error>busy</error>";
  RunPolicyRefresh(fresh, other);
  EXPECT_EQ(other.menu, BuildRetryMenu(2));
}

TEST_F(RefreshTest, OversizedReplyIsTreatedAsNoReply) {
  host_.comm.reply = Target("BIG", 1, 0) + std::string(kMaxReplyBytes, ' ');
  host_.cache = Target("CACHED", 1, 0);
  RunPolicyRefresh(state_, host_);
  ASSERT_EQ(state_.table.Copy().targets.size(), 1u);
  EXPECT_EQ(state_.table.Copy().targets[0].company_id, "CACHED");
}

TEST_F(RefreshTest, PostponedWhileAnInspectionRuns) {
  state_.inspection_running = true;
  RunPolicyRefresh(state_, host_);
  EXPECT_FALSE(state_.policy_loaded);
  EXPECT_TRUE(host_.events.empty());
  EXPECT_EQ(host_.timers[kTimerPolicy], kRefreshPeriodMs);
}

TEST_F(RefreshTest, MissingLibraryOrSettingsRetryInTenMinutes) {
  host_.load = CommLoad::kMissing;
  RunPolicyRefresh(state_, host_);
  EXPECT_EQ(host_.timers[kTimerPolicy], kRefreshPeriodMs);
  EXPECT_TRUE(host_.menu.empty());
  host_.load = CommLoad::kLoaded;
  host_.settings.reset();
  RunPolicyRefresh(state_, host_);
  EXPECT_EQ(host_.timers[kTimerPolicy], kRefreshPeriodMs);
  EXPECT_FALSE(state_.policy_loaded);
}

TEST_F(RefreshTest, REditionNeedsItsEntryPointAndCompanyId) {
  state_.edition = Edition::kR;
  host_.load = CommLoad::kNoEntryPoint;
  RunPolicyRefresh(state_, host_);
  EXPECT_THAT(host_.events, ::testing::ElementsAre(
                                "hide", std::string("message ") + kModuleInfoMessage, "shutdown"));

  FakeHost h;
  PolicyState r;
  r.edition = Edition::kR;
  RunPolicyRefresh(r, h);
  EXPECT_THAT(h.events, ::testing::Contains(std::string("message ") + kCompanyInfoMessage));

  FakeHost ok;
  PolicyState r2;
  r2.edition = Edition::kR;
  ok.company_file = "<COMPANYID>BANKR</COMPANYID>";
  ok.comm.reply =
      "<agentactivationoption>1</agentactivationoption><agentterminationoption>1</"
      "agentterminationoption>";
  RunPolicyRefresh(r2, ok);
  EXPECT_THAT(ok.comm.calls, ::testing::ElementsAre("SetCompany BANKR",
                                                    "SetServer 127.0.0.1 9000 /CommandService"));
  EXPECT_EQ(ok.menu.front(), (MenuEntry{false, kCmdExit, "종료"}));
  EXPECT_THAT(ok.events, ::testing::Contains("start browsers"));
}

TEST(NightRestart, FifteenHoursThenOnlyAtNight) {
  const uint64_t start = 5000;
  EXPECT_EQ(CheckNightRestart(start + kNightRestartAfterMs, start, 22), NightRestart::kNotDue);
  EXPECT_EQ(CheckNightRestart(start + kNightRestartAfterMs + 1, start, 22),
            NightRestart::kRestartNow);
  EXPECT_EQ(CheckNightRestart(start + kNightRestartAfterMs + 1, start, 6),
            NightRestart::kRestartNow);
  EXPECT_EQ(CheckNightRestart(start + kNightRestartAfterMs + 1, start, 15),
            NightRestart::kResetClock);
  EXPECT_EQ(CheckNightRestart(start + kNightRestartAfterMs + 1, start, 7),
            NightRestart::kResetClock);
  EXPECT_EQ(CheckNightRestart(start + kNightRestartAfterMs + 1, start, 20),
            NightRestart::kResetClock);
  // A 64-bit clock past the 49.7-day wrap of a 32-bit one.
  const uint64_t late = (uint64_t{1} << 32) + 10;
  EXPECT_EQ(CheckNightRestart(late, late - 1000, 23), NightRestart::kNotDue);
}

TEST_F(RefreshTest, NightRestartRunsTheProtectedStartProgram) {
  host_.now_ms = kNightRestartAfterMs + 10;
  host_.now.hour = 22;
  RunPolicyRefresh(state_, host_);
  EXPECT_THAT(host_.events, ::testing::ElementsAre("hide", "qvTarnwick", "shutdown"));
  FakeHost day;
  PolicyState s;
  day.now_ms = kNightRestartAfterMs + 10;
  day.now.hour = 15;
  RunPolicyRefresh(s, day);
  EXPECT_EQ(s.restart_clock_ms, day.now_ms);
}

TEST(TimerDispatch, Table) {
  EXPECT_EQ(DispatchTimer(4, false, false, Edition::kX), TimerAction::kRefresh);
  EXPECT_EQ(DispatchTimer(2, false, true, Edition::kX), TimerAction::kRefresh);
  EXPECT_EQ(DispatchTimer(1, true, false, Edition::kX), TimerAction::kRefresh);
  EXPECT_EQ(DispatchTimer(3, true, false, Edition::kX), TimerAction::kDnsAlert);
  EXPECT_EQ(DispatchTimer(3, true, false, Edition::kR), TimerAction::kDefault);
  EXPECT_EQ(DispatchTimer(4, true, false, Edition::kR), TimerAction::kHideTrayIcon);
  EXPECT_EQ(DispatchTimer(2, true, true, Edition::kX), TimerAction::kInspect);
  EXPECT_EQ(DispatchTimer(2, true, false, Edition::kX), TimerAction::kDefault);
  EXPECT_EQ(DispatchTimer(9, true, true, Edition::kX), TimerAction::kDefault);
}

}  // namespace
}  // namespace kestra
