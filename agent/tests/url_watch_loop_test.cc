#include "agent/core/url_watch_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestra {
namespace {

// What the fake library saw; its functions are plain, so the record is global.
struct LibraryLog {
  std::vector<std::string> calls;
  int opens_failing = 0;
  int polls_before_stop = 3;
} g_log;

int OpenAuto(const char*, int non_blocking) {
  g_log.calls.push_back("open " + std::to_string(non_blocking));
  return g_log.opens_failing-- > 0 ? 0 : 1;
}
int Close() { return g_log.calls.push_back("close"), 1; }
int Error(char* out) { return g_log.calls.push_back("error"), out[0] = '\0', 1; }
int GetUrl(const char* targets, MonitorCallback, int run_loop, int all_mode) {
  g_log.calls.push_back(std::string("get_url ") + targets + " " + std::to_string(run_loop) +
                        std::to_string(all_mode));
  return 1;
}
int CheckUrl(int32_t budget) {
  g_log.calls.push_back("check " + std::to_string(budget));
  --g_log.polls_before_stop;
  return 0;
}
int Report(const char*) { return 1; }

class FakeEnv : public UrlWatchEnv {
 public:
  bool Stopping() override {
    return g_log.polls_before_stop <= 0 || (stop_at_list_wait_ && waited_for_list_);
  }
  bool SupportOutdated() override { return outdated; }
  bool LoadMonitor(MonitorCalls* calls) override {
    if (loads_failing-- > 0) return false;
    *calls = MonitorCalls{OpenAuto, Close, Error, GetUrl, CheckUrl};
    return true;
  }
  void WriteCaptureCheck(bool opened) override {
    g_log.calls.push_back(opened ? "check-file OK" : "check-file NOT");
  }
  std::string AddressList() override { return lists_empty-- > 0 ? "" : "https://bank.test;"; }
  void Pause(unsigned ms) override {
    g_log.calls.push_back("pause " + std::to_string(ms));
    if (ms == kWatchRetryMs && lists_empty >= 0) waited_for_list_ = true;
  }

  bool outdated = false;
  int loads_failing = 0, lists_empty = 0;
  bool stop_at_list_wait_ = false, waited_for_list_ = false;
};

TEST(UrlWatchLoop, AttemptsUntilCaptureThenPollsUntilStop) {
  const struct {
    const char* name;
    bool outdated;
    int loads_failing, opens_failing, lists_empty;
    bool stop_while_waiting_for_list;
    std::vector<std::string> calls;
  } cases[] = {
      {"outdated support", true, 0, 0, 0, false, {}},
      {"straight through",
       false,
       0,
       0,
       0,
       false,
       {"open 1", "check-file OK", "get_url https://bank.test; 01", "check 100", "pause 50",
        "check 100", "pause 50", "check 100", "pause 50", "close"}},
      {"library missing, then no capture",
       false,
       1,
       1,
       0,
       false,
       {"pause 1000", "open 1", "error", "check-file NOT", "pause 1000", "open 1", "check-file OK",
        "get_url https://bank.test; 01", "check 100", "pause 50", "check 100", "pause 50",
        "check 100", "pause 50", "close"}},
      {"stopped while no policy came",
       false,
       0,
       0,
       5,
       true,
       {"open 1", "check-file OK", "pause 1000", "close"}},
  };
  for (const auto& c : cases) {
    g_log = LibraryLog{};
    g_log.opens_failing = c.opens_failing;
    FakeEnv env;
    env.outdated = c.outdated;
    env.loads_failing = c.loads_failing;
    env.lists_empty = c.lists_empty;
    env.stop_at_list_wait_ = c.stop_while_waiting_for_list;
    RunUrlWatcher(env, Report);
    EXPECT_EQ(g_log.calls, c.calls) << c.name;
  }
}

}  // namespace
}  // namespace kestra
