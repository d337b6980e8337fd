#include "agent/core/url_watch.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace kestra {
namespace {

class FakeHost : public UrlWatchHost {
 public:
  std::uint64_t NowMs() override { return now; }
  std::optional<std::string> Resolve(const std::string& host) override {
    asked.push_back(host);
    auto it = addresses.find(host);
    return it == addresses.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  void Broadcast(const std::string& text) override { lines.push_back(text); }

  std::uint64_t now = 5000;
  std::map<std::string, std::string> addresses = {{"bank.example.com", "203.0.113.10"},
                                                  {"www.bank.example.com", "203.0.113.10"},
                                                  {"secure.pay.example.kr", "198.51.100.77"},
                                                  {"ibank.example.net", "203.0.113.20"},
                                                  {"news.example.org", "192.0.2.5"},
                                                  {"www.blog.kr", "192.0.2.9"},
                                                  {"localhost", "127.0.0.1"}};
  std::vector<std::string> asked, lines;
};

std::string Dns(const std::string& url, const std::string& address) {
  return "<DNS>" + url + "</DNS><ADR>" + address + "</ADR>";
}

class UrlWatchTest : public ::testing::Test {
 protected:
  UrlWatchTest() {
    ObservationTarget bank;
    bank.main_host = "bank.example.com";
    bank.use_urls = "https://ibank.example.net/;";
    ObservationTarget pay;
    pay.main_host = "pay.example.kr";  // no use URLs
    table_.Replace(
        {{bank, pay},
         "https://bank.example.com;http://plain.example.com;https://secure.pay.example.kr;"});
  }
  TargetTable table_;
  UrlWatchState state_;
  FakeHost host_;
};

// One watcher life: each report at its time, what it returns and what it broadcasts.
TEST_F(UrlWatchTest, ReportsInSequence) {
  const struct {
    std::uint64_t at_ms;
    const char* report;
    bool handled;
    std::string line;  // "" for nothing broadcast
  } steps[] = {
      {5000, "ip:203.0.113.10", 1, Dns("https://bank.example.com", "203.0.113.10")},
      {6000, "ip:203.0.113.10", 0, ""},  // the same within a minute
      {65000, "IP:203.0.113.10", 1, Dns("https://bank.example.com", "203.0.113.10")},
      {65000, "ip:198.51.100.7", 1,
       Dns("https://secure.pay.example.kr", "198.51.100.7")},  // by substring
      {65000, "ip:10.9.9.9", 1, ""},                           // no protected host has it
      {65000, "ip:<b>", 0, ""},                                // not an address
      {65000, "www.bank.example.com/login?x=1", 1,  // by the main host; resolved by its own host
       Dns("https://www.bank.example.com/login?x=1", "203.0.113.10")},
      {65100, "ibank.example.net", 1,
       Dns("https://ibank.example.net", "203.0.113.20")},  // by a use URL
      {65200, "https://bank.example.com:8443/a/b", 1,
       Dns("https://bank.example.com:8443/a/b", "203.0.113.10")},
      {65300, "pay.example.kr", 1, ""},    // matches, does not resolve: a canonical try
      {65400, "news.example.org", 0, ""},  // canonical within the minute of that try
      {125400, "news.example.org", 1, "<URL_CANONICAL>https://news.example.org</URL_CANONICAL>"},
      {185400, "blog.kr", 1,
       "<URL_CANONICAL>https://www.blog.kr</URL_CANONICAL>"},  // one dot: www.
      {245400, "https://bank.example.com/a:b", 1, ""},         // cut at ':' in the path: no host
      {305400, "localhost", 1, "<URL_CANONICAL>https://localhost</URL_CANONICAL>"},
      // Names that must not reach a record file.
      {365400, "bank.example.com\"><TERMINATE></TERMINATE>", 0, ""},
      {365400, "evil.example/ip:203.0.113.10 x", 0, ""},
      {365400, "x ip:203.0.113.10", 0, ""},
      {365400, "https://bank.example.com:99999/", 0, ""},
      {365400, "https://", 0, ""},
      {365400, "\xB0\xA1.example.com", 0, ""},
  };
  for (const auto& s : steps) {
    host_.now = s.at_ms;
    std::size_t before = host_.lines.size();
    EXPECT_EQ(OnMonitorUrl(s.report, table_, state_, host_), s.handled) << s.report;
    std::string line = host_.lines.size() > before ? host_.lines.back() : "";
    EXPECT_EQ(line, s.line) << s.report;
    EXPECT_LE(host_.lines.size(), before + 1) << s.report;
  }
  EXPECT_FALSE(OnMonitorUrl(nullptr, table_, state_, host_));
  EXPECT_FALSE(OnMonitorUrl(std::string(400, 'a').c_str(), table_, state_, host_));
}

TEST_F(UrlWatchTest, AddressSearchResolvesOnlyHttpsHostsInOrder) {
  const std::vector<std::string> hosts = ProtectedHttpsHosts(table_.Copy().address_list);
  EXPECT_EQ(FindProtectedHostByAddress("198.51.100.77", hosts, host_), "secure.pay.example.kr");
  EXPECT_EQ(host_.asked, (std::vector<std::string>{"bank.example.com", "secure.pay.example.kr"}));
  for (const char* list : {"", "https://bank.example.com", "bank.example.com;"}) {
    EXPECT_EQ(FindProtectedHostByAddress("203.0.113.10", ProtectedHttpsHosts(list), host_), "")
        << list;
  }
  EXPECT_EQ(FindProtectedHostByAddress("", hosts, host_), "");
}

// The watcher keeps the hosts of the list between reports; a refresh that
// replaces the list is seen by the next report.
TEST_F(UrlWatchTest, AddressReportFollowsARefreshedList) {
  EXPECT_TRUE(OnMonitorUrl("ip:203.0.113.20", table_, state_, host_));
  EXPECT_TRUE(host_.lines.empty());
  table_.Write([](TargetContents& c) { c.address_list = "https://ibank.example.net;"; });
  EXPECT_TRUE(OnMonitorUrl("ip:203.0.113.20", table_, state_, host_));
  EXPECT_EQ(host_.lines,
            (std::vector<std::string>{Dns("https://ibank.example.net", "203.0.113.20")}));
}

TEST(CaptureCheck, TellsWhetherCaptureOpened) {
  LocalTime t{2026, 12, 8, 9, 5, 7};
  EXPECT_EQ(CaptureCheckText(true, t), "OK - 2026-12-08:09:05:07");
  EXPECT_EQ(CaptureCheckText(false, t), "Not Support - 2026-12-08:09:05:07");
}

}  // namespace
}  // namespace kestra
