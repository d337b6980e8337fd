#include "netmon/core/monitor_run.h"

#include <gtest/gtest.h>

#include "netmon/tests/fake_capture.h"

namespace qvw {
namespace {

using testing::BuildFrame;
using testing::EthernetDevice;
using testing::FakeBackend;
using testing::FakeConsole;
using testing::FakeEnv;
using testing::FrameSpec;

TEST(NetmonRunOptions, OptionsAreFoundAnywhere) {
  RunOptions o = ParseRunOptions("host.exe /p:8080 /d:www.bank.test");
  EXPECT_EQ(o.port, 8080);
  EXPECT_TRUE(o.has_destination);
  EXPECT_EQ(o.destination_name, "www.bank.test");
  EXPECT_FALSE(o.range);
  EXPECT_FALSE(o.change);
  EXPECT_FALSE(o.no_lookup);

  o = ParseRunOptions("x -d:my-router.test -dns -change");
  EXPECT_TRUE(o.range);  // "-r" inside the host name
  EXPECT_TRUE(o.no_lookup);
  EXPECT_TRUE(o.change);
  EXPECT_EQ(o.destination_name, "my-router.test");

  o = ParseRunOptions("x -p:abc");
  EXPECT_EQ(o.port, 0);
}

class NetmonMonitorRun : public ::testing::Test {
 protected:
  NetmonMonitorRun() : monitor(backend, env) {
    env.host_name = "me";
    env.addresses["me"] = "10.0.0.15";
    env.addresses["www.bank.test"] = "10.231.0.2";
    backend.devices = {EthernetDevice("eth0", "Wired", {{10, 0, 0, 1}})};
  }
  void Queue(std::vector<uint8_t> dst, uint16_t port, int times = 1) {
    FrameSpec s;
    std::copy(dst.begin(), dst.end(), s.dst);
    s.dst_port = port;
    for (int i = 0; i < times; ++i) backend.state->frames.push_back(BuildFrame(s));
  }
  bool Run(const std::string& line) {
    console.command_line = line;
    return RunFromConsole(monitor, env, console);
  }
  std::string Printed() const { return console.sink.text; }
  bool Has(const std::string& text) const { return Printed().find(text) != std::string::npos; }

  FakeBackend backend;
  FakeEnv env;
  FakeConsole console;
  Monitor monitor;
};

TEST_F(NetmonMonitorRun, WatchesAResolvedDestinationWithANetFilter) {
  Queue({10, 231, 0, 2}, 443);
  ASSERT_TRUE(Run("host /d:www.bank.test"));
  EXPECT_EQ(backend.state->installed, std::vector<std::string>{"dst net 10.231.0.2"});
  EXPECT_TRUE(
      Has("input: host /d:www.bank.test\n"
          "domain: www.bank.test, ip: 10.231.0.2\n"));
  EXPECT_TRUE(Has("QVWMA: same device find - eth0\nQVWMA: set nonblock ok\nmonitor open\n"));
  EXPECT_TRUE(Has("monitor set to outbound\n"));
  EXPECT_TRUE(
      Has("monitor get 1 traffics\n"
          "last dest address=10.231.0.2, port=443\n"
          "monitor done\ntype any key..monitor done\n"));
  EXPECT_EQ(console.keys, 1);
  EXPECT_EQ(console.closes, 1);
  EXPECT_EQ(monitor.log_sink(), nullptr);
  EXPECT_FALSE(monitor.is_open());
}

TEST_F(NetmonMonitorRun, NoLookupModeFiltersOnTheName) {
  Queue({10, 231, 0, 2}, 80);
  ASSERT_TRUE(Run("host /d:www.bank.test -dns"));
  EXPECT_TRUE(Has("domain: www.bank.test, no ip mode\n"));
  EXPECT_EQ(backend.state->installed, std::vector<std::string>{"dst host www.bank.test"});
}

TEST_F(NetmonMonitorRun, UnresolvedNameFallsBackToThePortFilter) {
  Queue({1, 2, 3, 4}, 8080);
  ASSERT_TRUE(Run("host /d:nowhere.test /p:8080"));
  EXPECT_TRUE(Has("port: 8080\ndomain: nowhere.test, ip: \n"));
  EXPECT_EQ(backend.state->installed, std::vector<std::string>{"dst port 8080"});
}

TEST_F(NetmonMonitorRun, NoPortMeansNoFilterAndAnyPacketEndsTheWait) {
  backend.state->results = {0, 0, 0};
  Queue({9, 9, 9, 9}, 5);
  ASSERT_TRUE(Run("host"));
  EXPECT_TRUE(backend.state->compiled.empty());
  EXPECT_TRUE(Has("QVWMS: no filter\n"));
  EXPECT_TRUE(Has("monitor get 1 traffics\n"));
}

TEST_F(NetmonMonitorRun, RangeModeRecordsWithoutFilter) {
  Queue({10, 0, 0, 9}, 22);
  Queue({10, 0, 0, 9}, 80);
  Queue({10, 0, 0, 8}, 443);
  ASSERT_TRUE(Run("host /r /d:www.bank.test /p:22"));
  EXPECT_TRUE(backend.state->compiled.empty());
  EXPECT_TRUE(
      Has("monitor get 2 traffics in range(80~443)\n"
          "0 packet = 10.0.0.9:80\n"
          "1 packet = 10.0.0.8:443\n"
          "last dest address=10.0.0.8, port=443\n"));
}

TEST_F(NetmonMonitorRun, ChangeSequence) {
  Queue({10, 231, 0, 2}, 8443, 2);
  backend.on_open = [this](size_t index) {
    if (index != 1) return;
    Queue({10, 231, 0, 2}, 80);
    Queue({10, 231, 0, 2}, 8443);
  };
  ASSERT_TRUE(Run("host /d:www.bank.test /change"));
  EXPECT_EQ(backend.state->installed, std::vector<std::string>{"dst host 10.231.0.2"});
  EXPECT_EQ(backend.opens.size(), 2u);
  EXPECT_TRUE(
      Has("monitor open\n"
          "1. clear filter\n"
          "2. get domain packet 10.231.0.2\n"
          "QVWMS: filter express: dst host 10.231.0.2\n"
          "QVWMS: filter setted dst host 10.231.0.2\n"));
  EXPECT_TRUE(Has("monitor get 2 traffics\n3. clear filter (reOpen)\n"));
  EXPECT_TRUE(Has("4. get outbound - rang 80~443 packet\n"));
  EXPECT_TRUE(
      Has("monitor get 1 traffics in range(80~443)\n0 packet = 10.231.0.2:80\n"
          "last dest address=10.231.0.2, port=8443\n"));
}

TEST_F(NetmonMonitorRun, OpenFailureEnds) {
  backend.devices.clear();
  EXPECT_FALSE(Run("host"));
  EXPECT_TRUE(
      Has("QVWMO: can't find proper interface\nQVWME: no open i/f handle\nmonitor open error \n"));
  EXPECT_EQ(console.keys, 1);
}

TEST_F(NetmonMonitorRun, RefusedFilterClosesAndEnds) {
  backend.state->compile_ok = false;
  EXPECT_FALSE(Run("host /d:www.bank.test"));
  EXPECT_TRUE(Has("monitor set error fake error\n"));
  EXPECT_FALSE(monitor.is_open());
}

TEST_F(NetmonMonitorRun, ExistingLogSinkIsKept) {
  testing::LinesSink mine;
  monitor.SetLogSink(&mine);
  Queue({10, 231, 0, 2}, 443);
  ASSERT_TRUE(Run("host /d:www.bank.test"));
  EXPECT_EQ(console.opens, 0);
  EXPECT_NE(mine.text.find("monitor open\n"), std::string::npos);
}

}  // namespace
}  // namespace qvw
