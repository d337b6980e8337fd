#include "netmon/core/monitor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "netmon/tests/fake_capture.h"

namespace qvw {
namespace {

using testing::BuildFrame;
using testing::Bytes;
using testing::DnsQuery;
using testing::EthernetDevice;
using testing::FakeBackend;
using testing::FakeEnv;
using testing::FrameSpec;
using testing::LinesSink;

std::vector<std::string> g_reports;
int Record(const char* text) {
  g_reports.emplace_back(text);
  return 1;
}

class NetmonMonitor : public ::testing::Test {
 protected:
  NetmonMonitor() : monitor(backend, env) {
    monitor.SetLogSink(&log);
    g_reports.clear();
    env.host_name = "me";
    env.addresses["me"] = "10.0.0.15";
  }
  void OpenNamed() {
    ASSERT_TRUE(monitor.OpenAuto("eth0", 1));
    log.text.clear();
  }
  void Queue(const FrameSpec& shape) { backend.state->frames.push_back(BuildFrame(shape)); }
  void Queue(const Bytes& frame) { backend.state->frames.push_back(frame); }
  static FrameSpec To(std::vector<uint8_t> dst, uint16_t port, std::string payload = "") {
    FrameSpec s;
    std::memcpy(s.dst, dst.data(), 4);
    s.dst_port = port;
    s.payload = std::move(payload);
    return s;
  }

  FakeBackend backend;
  FakeEnv env;
  LinesSink log;
  Monitor monitor;
};

// ---- opening ----

TEST_F(NetmonMonitor, AutomaticOpenChoosesDeviceWhoseAddressIsInTheLiveAddress) {
  backend.devices = {EthernetDevice("lo", "", {{127, 0, 0, 1}}),
                     EthernetDevice("eth0", "Wired", {{10, 0, 0, 1}}),
                     EthernetDevice("eth1", "Other", {{10, 0, 0, 15}})};
  ASSERT_TRUE(monitor.OpenAuto(nullptr, 1));
  EXPECT_EQ(log.text,
            "QVWMA: getting live ip = 10.0.0.15\n"
            "QVWMA: check interface: lo((null)/)\n"
            "QVWMA: lo ip = 127.0.0.1\n"
            "QVWMA: check interface: eth0(Wired/)\n"
            "QVWMA: eth0 ip = 10.0.0.1\n"
            "QVWMA: same device find - eth0\n"
            "QVWMA: set nonblock ok\n");
  ASSERT_EQ(backend.opens.size(), 1u);
  EXPECT_EQ(backend.opens[0].name, "eth0");
  EXPECT_EQ(backend.opens[0].snapshot_length, 1024);
  EXPECT_EQ(backend.opens[0].flags, 24);
  EXPECT_EQ(backend.opens[0].timeout_ms, 50);
  const uint8_t mask[4] = {255, 255, 0, 0};
  EXPECT_EQ(std::memcmp(&backend.devices[1].addresses[0].netmask, mask, 4), 0);
  EXPECT_EQ(monitor.netmask(), backend.devices[1].addresses[0].netmask);
  EXPECT_GE(env.socket_inits, 1);
}

TEST_F(NetmonMonitor, AddressWithoutNetmaskIsNeverChosen) {
  backend.devices = {EthernetDevice("eth0", "Wired", {{10, 0, 0, 15}}, /*with_netmask=*/false)};
  EXPECT_FALSE(monitor.OpenAuto(nullptr, 0));
  EXPECT_EQ(log.text,
            "QVWMA: getting live ip = 10.0.0.15\n"
            "QVWMA: check interface: eth0(Wired/)\n"
            "QVWMO: can't find proper interface\n");
  EXPECT_TRUE(backend.opens.empty());
}

TEST_F(NetmonMonitor, UnresolvedHostNameMatchesNoDevice) {
  env.addresses.clear();
  backend.devices = {EthernetDevice("eth0", "Wired", {{10, 0, 0, 15}})};
  EXPECT_FALSE(monitor.OpenAuto(nullptr, 0));
  EXPECT_EQ(log.text.substr(0, 26), "QVWMA: getting live ip = \n");
}

TEST_F(NetmonMonitor, NetmaskFallsBackWhenFirstEntryHasNone) {
  Device d = EthernetDevice("eth0", "Wired", {{10, 0, 0, 1}});
  DeviceAddress packet_entry;  // a non-IPv4 entry listed first, without netmask
  d.addresses.insert(d.addresses.begin(), packet_entry);
  backend.devices = {d};
  ASSERT_TRUE(monitor.OpenAuto(nullptr, 0));
  const uint8_t mask[4] = {255, 255, 255, 0};
  uint32_t expected;
  std::memcpy(&expected, mask, 4);
  EXPECT_EQ(monitor.netmask(), expected);
}

TEST_F(NetmonMonitor, ListingFailureAndOpenRetries) {
  backend.list_ok = false;
  EXPECT_FALSE(monitor.OpenAuto(nullptr, 0));
  EXPECT_NE(log.text.find("QVWMA: Error in pcap_findalldevs_ex: no devices\n"), std::string::npos);

  log.text.clear();
  backend.failing_opens = 1;
  ASSERT_TRUE(monitor.OpenAuto("eth9", 0));
  EXPECT_EQ(log.text,
            "QVWMA: user input interface: eth9\n"
            "QVWMA: Error opening adapter with Promiscuous mode: open refused\n");
  ASSERT_EQ(backend.opens.size(), 2u);
  EXPECT_EQ(backend.opens[1].flags, 0);
  EXPECT_EQ(backend.opens[1].timeout_ms, 50);

  ASSERT_TRUE(monitor.Close());
  log.text.clear();
  backend.failing_opens = 2;
  EXPECT_FALSE(monitor.OpenAuto("eth9", 0));
  EXPECT_NE(log.text.find("QVWMA: Error opening adapter: open refused\n"), std::string::npos);
  EXPECT_FALSE(monitor.is_open());
  char out[256] = "untouched";
  EXPECT_FALSE(monitor.Error(out));
  EXPECT_STREQ(out, "untouched");
}

TEST_F(NetmonMonitor, NonEthernetDeviceStaysOpenForTheErrorQuery) {
  backend.state->ethernet = false;
  EXPECT_FALSE(monitor.OpenAuto("wlan0", 1));
  EXPECT_NE(log.text.find("QVWMA: Only support Ethernet: wlan0 - skip\n"), std::string::npos);
  char out[256];
  EXPECT_TRUE(monitor.Error(out));
  EXPECT_STREQ(out, "fake error");
  EXPECT_TRUE(monitor.Close());
  EXPECT_EQ(backend.state->live_handles, 0);
}

TEST_F(NetmonMonitor, NonBlockingFailureIsOnlyLogged) {
  backend.state->nonblock_ok = false;
  EXPECT_TRUE(monitor.Open("eth0", 1));
  EXPECT_NE(log.text.find("QVWMO: set nonblock err: nonblock refused\n"), std::string::npos);
}

TEST_F(NetmonMonitor, OpenByDescriptionTakesOnlyAtheros) {
  backend.devices = {EthernetDevice("d1", "", {}), EthernetDevice("d2", "Microsoft Atheros", {}),
                     EthernetDevice("d3", "Realtek PCIe", {}),
                     EthernetDevice("d4", "ATHEROS AR8161", {{10, 1, 2, 3}})};
  ASSERT_TRUE(monitor.Open(nullptr, 0));
  EXPECT_EQ(log.text,
            "QVWMO: 1 : d1 : (null)\n"
            "QVWMO: 2 : d2 : Microsoft Atheros\n"
            "QVWMO: 3 : d3 : Realtek PCIe\n"
            "QVWMO: 4 : d4 : ATHEROS AR8161\n"
            "QVWMO: select 4: d4 : ATHEROS AR8161\n"
            "QVWMO: find interface: d4\n");
  EXPECT_EQ(backend.opens.back().flags, 1);
  EXPECT_EQ(backend.opens.back().timeout_ms, 100);
  EXPECT_EQ(env.socket_inits, 0);
}

TEST_F(NetmonMonitor, OpenByDescriptionRefusesTheOnlyNonAtherosDevice) {
  backend.devices = {EthernetDevice("eth0", "Intel Gigabit", {{10, 0, 0, 15}})};
  EXPECT_FALSE(monitor.Open(nullptr, 0));
  EXPECT_NE(log.text.find("QVWMO: can't find proper interface\n"), std::string::npos);
  backend.devices = {EthernetDevice("v", "Pseudo atheros", {})};
  EXPECT_FALSE(monitor.Open(nullptr, 0));
}

TEST_F(NetmonMonitor, OverlongInterfaceNameIsRefused) {
  std::string name(128, 'n');
  EXPECT_FALSE(monitor.OpenAuto(name.c_str(), 0));
  EXPECT_FALSE(monitor.Open(name.c_str(), 0));
  EXPECT_TRUE(backend.opens.empty());
  EXPECT_TRUE(monitor.OpenAuto(name.substr(1).c_str(), 0));
}

TEST_F(NetmonMonitor, ReopeningClosesTheEarlierHandle) {
  ASSERT_TRUE(monitor.OpenAuto("a", 0));
  ASSERT_TRUE(monitor.OpenAuto("b", 0));
  EXPECT_EQ(backend.state->live_handles, 1);
}

// ---- filter ----

TEST_F(NetmonMonitor, FilterNeedsAnOpenCapture) {
  EXPECT_FALSE(monitor.Set(2, "1.2.3.4", nullptr, 0));
  EXPECT_EQ(log.text, "QVWMS: no open i/f handle\n");
}

TEST_F(NetmonMonitor, ClearingCompilesNothing) {
  OpenNamed();
  EXPECT_TRUE(monitor.Set(0, nullptr, nullptr, 0));
  EXPECT_TRUE(backend.state->compiled.empty());
  EXPECT_EQ(log.text, "");
  EXPECT_EQ(backend.state->frees, 1);
}

TEST_F(NetmonMonitor, OnlyTheFirstPrimitiveIsBuilt) {
  OpenNamed();
  EXPECT_TRUE(monitor.Set(2, "1.2.3.4", "10.0.0.0/8", 80));
  EXPECT_EQ(backend.state->installed.back(), "dst host 1.2.3.4");
  EXPECT_EQ(log.text,
            "QVWMS: filter express: dst host 1.2.3.4\n"
            "QVWMS: filter setted dst host 1.2.3.4\n");
  EXPECT_TRUE(monitor.Set(3, nullptr, "10.0.0.0/8", 80));
  EXPECT_EQ(backend.state->installed.back(), "src or dst net 10.0.0.0/8");
  EXPECT_TRUE(monitor.Set(4, nullptr, nullptr, 80));
  EXPECT_EQ(backend.state->installed.back(), "src and dst port 80");
  EXPECT_TRUE(monitor.Set(7, nullptr, nullptr, 443));
  EXPECT_EQ(backend.state->installed.back(), "port 443");
  EXPECT_TRUE(monitor.Set(-1, "h", nullptr, 0));
  EXPECT_EQ(backend.state->installed.back(), "host h");
  EXPECT_TRUE(monitor.Set(1, nullptr, "n", 0));
  EXPECT_EQ(backend.state->installed.back(), "src net n");
}

TEST_F(NetmonMonitor, NoPortMeansNoFilter) {
  OpenNamed();
  EXPECT_TRUE(monitor.Set(1, nullptr, nullptr, -1));
  EXPECT_EQ(log.text, "QVWMS: no filter\n");
  EXPECT_TRUE(backend.state->compiled.empty());
}

TEST_F(NetmonMonitor, RefusedExpressionIsQuotedWhole) {
  OpenNamed();
  backend.state->compile_ok = false;
  EXPECT_FALSE(monitor.Set(2, "not a host!", nullptr, 0));
  EXPECT_NE(log.text.find("QVWMS: Error compiling filter: wrong syntax. dst host not a host!\n"),
            std::string::npos);
  backend.state->compile_ok = true;
  backend.state->install_ok = false;
  EXPECT_FALSE(monitor.Set(2, "h", nullptr, 0));
  EXPECT_NE(log.text.find("QVWMS: Error setting the filter fake error\n"), std::string::npos);
}

TEST_F(NetmonMonitor, ExpressionThatWouldBeCutIsRefused) {
  OpenNamed();
  std::string host(300, 'h');
  EXPECT_FALSE(monitor.Set(2, host.c_str(), nullptr, 0));
  EXPECT_TRUE(backend.state->compiled.empty());
  EXPECT_LT(std::strlen(monitor.filter_expression()), 256u);
}

TEST_F(NetmonMonitor, FilterUsesTheRecordedNetmask) {
  backend.devices = {EthernetDevice("eth0", "Wired", {{10, 0, 0, 15}})};
  ASSERT_TRUE(monitor.OpenAuto(nullptr, 0));
  monitor.Set(2, nullptr, nullptr, 80);
  EXPECT_EQ(backend.state->compiled_netmasks.back(), monitor.netmask());
}

TEST_F(NetmonMonitor, CloseTwiceAndQueriesAfterwards) {
  OpenNamed();
  EXPECT_TRUE(monitor.Close());
  EXPECT_FALSE(monitor.Close());
  EXPECT_EQ(monitor.GetCounts(100), 0);
  EXPECT_EQ(monitor.GetCodes(100, nullptr), 0);
  EXPECT_EQ(monitor.GetCaptures(100, 10, 80, 443, nullptr), 0);
  EXPECT_FALSE(monitor.GetUrl(nullptr, nullptr, 0, 0));
  EXPECT_EQ(monitor.CheckUrl(100), 0);
  EXPECT_FALSE(monitor.GetDns(100, "x"));
  EXPECT_FALSE(monitor.Error(nullptr));
  EXPECT_EQ(log.text,
            "QVWMC: no open i/f handle\nQVWMG: no open i/f handle\nQVWMP: no open i/f handle\n"
            "QVWGU: no open i/f handle\nQVWGD: no open i/f handle\nQVWGD: no open i/f handle\n"
            "QVWME: no open i/f handle\n");
  EXPECT_EQ(backend.state->live_handles, 0);
}

TEST_F(NetmonMonitor, ErrorWithNullBuffer) {
  OpenNamed();
  EXPECT_TRUE(monitor.Error(nullptr));
}

TEST_F(NetmonMonitor, LoggingOffWritesNothing) {
  monitor.SetLogSink(nullptr);
  EXPECT_FALSE(monitor.Set(0, nullptr, nullptr, 0));
  EXPECT_EQ(log.text, "");
}

// ---- polling queries ----

TEST_F(NetmonMonitor, BudgetCountsOnlyTheSleeps) {
  OpenNamed();
  monitor.GetCounts(0);
  EXPECT_EQ(backend.state->reads, 1);
  monitor.GetCounts(11);
  EXPECT_EQ(backend.state->reads, 3);
  monitor.GetCounts(500);
  EXPECT_EQ(backend.state->reads, 53);
  EXPECT_EQ(env.slept_ms, 530u);
  // Signed budget of the URL check: a negative budget reads once.
  monitor.CheckUrl(-5);
  EXPECT_EQ(backend.state->reads, 54);
}

TEST_F(NetmonMonitor, ReadErrorEndsTheCallWithTheCountSoFar) {
  OpenNamed();
  Queue(To({1, 1, 1, 1}, 80));
  backend.state->results = {1, -1};
  EXPECT_EQ(monitor.GetCounts(1000), 1);
  EXPECT_EQ(backend.state->reads, 2);
}

TEST_F(NetmonMonitor, CountsEveryPacketAndMovesTheLastDestination) {
  OpenNamed();
  FrameSpec a = To({10, 0, 0, 1}, 80);
  a.src_port = 40000;
  Queue(a);
  Queue(Bytes(20, 0));  // truncated: counted, not read
  Queue(To({192, 168, 7, 9}, 8080));
  EXPECT_EQ(monitor.GetCounts(30), 3);
  EXPECT_EQ(log.text,
            "QVWMC; 0 packet: 10.0.0.15:40000 => 10.0.0.1:80\n"
            "QVWMC; 2 packet: 10.0.0.15:50000 => 192.168.7.9:8080\n");
  EXPECT_STREQ(monitor.last_destination(), "192.168.7.9");
  EXPECT_EQ(monitor.last_destination_port(), 8080);
}

TEST_F(NetmonMonitor, CodesCompareBySubstring) {
  OpenNamed();
  for (auto dst : {std::vector<uint8_t>{10, 0, 0, 1},
                   {10, 0, 0, 15},
                   {110, 0, 0, 1},
                   {10, 0, 1, 1},
                   {10, 0, 0, 2}})
    Queue(To(dst, 443));
  EXPECT_EQ(monitor.GetCodes(50, "10.0.0.1"), 3);
  EXPECT_STREQ(monitor.last_destination(), "10.0.0.2");  // moved by an uncounted packet
  EXPECT_NE(log.text.find("QVWMG; 2 packet: 10.0.0.15:50000 => 110.0.0.1:443 (compare=10.0.0.1)\n"),
            std::string::npos);
  EXPECT_EQ(log.text.find("10.0.1.1"), std::string::npos);
}

TEST_F(NetmonMonitor, CodesWithEmptyCompareCountLikeCounts) {
  OpenNamed();
  Queue(To({1, 2, 3, 4}, 1));
  Queue(Bytes(30, 0));
  Queue(To({5, 6, 7, 8}, 2));
  EXPECT_EQ(monitor.GetCodes(30, ""), 3);
  EXPECT_NE(log.text.find("QVWMG; 2 packet: 10.0.0.15:50000 => 5.6.7.8:2\n"), std::string::npos);
}

TEST_F(NetmonMonitor, CapturesWithinThePortRange) {
  OpenNamed();
  for (uint16_t port : {79, 80, 81, 443, 444, 8080}) Queue(To({10, 0, 0, 1}, port));
  std::vector<CaptureRecord> storage(10);
  std::vector<CaptureRecord*> records;
  for (auto& r : storage) {
    std::memset(&r, 0x5A, sizeof r);
    records.push_back(&r);
  }
  EXPECT_EQ(monitor.GetCaptures(60, 10, 80, 443, records.data()), 3);
  EXPECT_EQ(storage[0].port, 80);
  EXPECT_EQ(storage[1].port, 81);
  EXPECT_EQ(storage[2].port, 443);
  EXPECT_STREQ(storage[2].address, "10.0.0.1");
  const char* raw = reinterpret_cast<const char*>(&storage[0]);
  for (int i = 0; i < 76; ++i) EXPECT_EQ(raw[i], 0) << i;
  for (int i = 76 + 9; i < 156; ++i) EXPECT_EQ(raw[i], 0) << i;
  int32_t port;
  std::memcpy(&port, raw + 156, 4);
  EXPECT_EQ(port, 80);
  EXPECT_EQ(storage[3].port, 0x5A5A5A5A);  // untouched
  EXPECT_NE(log.text.find("QVWMP; capture 2 : 10.0.0.1:443\n"), std::string::npos);
  EXPECT_EQ(monitor.last_destination_port(), 8080);
}

TEST_F(NetmonMonitor, CapturesEdgeCases) {
  OpenNamed();
  Queue(To({10, 0, 0, 1}, 80));
  EXPECT_EQ(monitor.GetCaptures(10, 10, 0, 0, nullptr), 0);  // high port 0 accepts nothing
  for (int i = 0; i < 3; ++i) Queue(To({10, 0, 0, 1}, 80));
  EXPECT_EQ(monitor.GetCaptures(1000, 0, 80, 443, nullptr), 0);  // ends at the first accepted
  EXPECT_EQ(backend.state->reads, 2);
  log.text.clear();
  EXPECT_EQ(monitor.GetCaptures(30, 5, 80, 443, nullptr), 2);
  EXPECT_EQ(log.text.substr(0, 28), "QVWMP: input buffer is null\n");
  for (int i = 0; i < 3; ++i) Queue(To({10, 0, 0, 1}, 80));
  EXPECT_EQ(monitor.GetCaptures(1000, 2, 80, 443, nullptr), 2);
  EXPECT_EQ(backend.state->frames.size(), 0u);
}

// ---- URL check ----

class NetmonUrl : public NetmonMonitor {
 protected:
  void SetUpTargets(const char* targets, int all_mode) {
    OpenNamed();
    env.addresses["secure.bank.test"] = "10.231.0.2";
    ASSERT_TRUE(monitor.GetUrl(targets, &Record, 0, all_mode));
    log.text.clear();
  }
  int Check(const FrameSpec& shape) {
    Queue(shape);
    return monitor.CheckUrl(0);
  }
  std::string LastUrl() {
    char out[1024];
    std::memset(out, 'x', sizeof out);
    EXPECT_TRUE(monitor.GetPacketUrl(out));
    return out;
  }
};

TEST_F(NetmonUrl, SetUpResolvesAndInstallsTcp) {
  OpenNamed();
  env.addresses["secure.bank.test"] = "10.231.0.2";
  ASSERT_TRUE(monitor.GetUrl("https://secure.bank.test;", &Record, 0, 1));
  std::string expected_head = "QVWGU: callback = ";
  EXPECT_EQ(log.text.substr(0, expected_head.size()), expected_head);
  EXPECT_NE(log.text.find("\nSP: resolve secure.bank.test\n"
                          "SP: set target = https://secure.bank.test;10.231.0.2;\n"
                          "QVWGU: filter setted tcp\n"
                          "QVWGU: loopback setup\n"
                          "QVWGU: get All packet mode\n"),
            std::string::npos);
  EXPECT_EQ(backend.state->installed.back(), "tcp");
  EXPECT_STREQ(monitor.target_list(), "https://secure.bank.test;10.231.0.2;");
}

TEST_F(NetmonUrl, NullArgumentsKeepEarlierSettings) {
  SetUpTargets("https://secure.bank.test;", 0);
  ASSERT_TRUE(monitor.GetUrl(nullptr, nullptr, 0, 0));
  EXPECT_EQ(log.text.substr(0, 20),
            "QVWGU: no callback\n"
            "Q");
  EXPECT_STREQ(monitor.target_list(), "https://secure.bank.test;10.231.0.2;");
  Check(To({10, 231, 0, 2}, 443));
  EXPECT_EQ(g_reports, std::vector<std::string>{"ip:10.231.0.2"});
}

TEST_F(NetmonUrl, FilterFailureKeepsCallbackAndTargets) {
  OpenNamed();
  backend.state->compile_ok = false;
  EXPECT_FALSE(monitor.GetUrl("abc", &Record, 0, 1));
  EXPECT_NE(log.text.find("QVWGU: Error compiling filter: wrong syntax. tcp\n"), std::string::npos);
  EXPECT_STREQ(monitor.target_list(), "abc");
  EXPECT_EQ(monitor.all_mode(), 0);
  backend.state->compile_ok = true;
  backend.state->install_ok = false;
  EXPECT_FALSE(monitor.GetUrl(nullptr, nullptr, 0, 1));
  EXPECT_NE(log.text.find("QVWGU: Error setting the filter fake error\n"), std::string::npos);
}

TEST_F(NetmonUrl, ResolvedHttpsTargetReportsItsAddressOnlyOnWebPorts) {
  SetUpTargets("https://secure.bank.test;", 0);
  EXPECT_EQ(Check(To({10, 231, 0, 2}, 443)), 1);
  EXPECT_EQ(g_reports, std::vector<std::string>{"ip:10.231.0.2"});
  EXPECT_EQ(log.text, "ph: find and set = 10.231.0.2\n");
  EXPECT_EQ(LastUrl(), "ip:10.231.0.2");
  g_reports.clear();
  EXPECT_EQ(Check(To({10, 231, 0, 2}, 8443)), 1);
  EXPECT_TRUE(g_reports.empty());
  // A reply from port 80 of a target also matches (by its destination).
  FrameSpec reply = To({10, 231, 0, 2}, 41000);
  reply.src_port = 80;
  Check(reply);
  EXPECT_EQ(g_reports.size(), 1u);
}

Monitor* g_peek_monitor = nullptr;
std::string g_peeked;
int PeekLastUrl(const char*) {
  char out[1024];
  g_peek_monitor->GetPacketUrl(out);
  g_peeked += std::string(out) + "|";
  return 1;
}

TEST_F(NetmonUrl, CallbackSeesTheNewLastUrlOnlyForAddresses) {
  g_peek_monitor = &monitor;
  g_peeked.clear();
  OpenNamed();
  env.addresses["secure.bank.test"] = "10.231.0.2";
  monitor.GetUrl("https://secure.bank.test;", &PeekLastUrl, 0, 1);
  Check(To({10, 231, 0, 2}, 443));
  Check(To({10, 9, 9, 9}, 80, "GET / HTTP/1.1\r\nHost: a.test\r\n\r\n"));
  EXPECT_EQ(g_peeked, "ip:10.231.0.2|ip:10.231.0.2|");
  EXPECT_EQ(LastUrl(), "a.test");
}

TEST_F(NetmonUrl, HostHeaderIsReportedLowerCase) {
  SetUpTargets("", 1);
  Check(To({10, 9, 9, 9}, 80, "GET /x HTTP/1.1\r\nHost: WwW.BaNk.Example\r\n\r\n"));
  EXPECT_EQ(g_reports, std::vector<std::string>{"www.bank.example"});
  EXPECT_NE(log.text.find("ph: url in packet(tcp: ) = www.bank.example\n"), std::string::npos);
  EXPECT_NE(log.text.find("ph: full = "), std::string::npos);
  EXPECT_NE(log.text.find("ph: find and set = www.bank.example\n"), std::string::npos);
}

TEST_F(NetmonUrl, TargetListIsComparedAsWritten) {
  SetUpTargets("https://Secure.Bank.Test;", 0);
  EXPECT_STREQ(monitor.target_list(), "https://Secure.Bank.Test;");  // no lookup matched
  env.addresses["Secure.Bank.Test"] = "10.231.0.2";
  monitor.GetUrl("https://Secure.Bank.Test;", nullptr, 0, 0);
  Check(To({10, 9, 9, 9}, 80, "GET / HTTP/1.1\r\nHost: Secure.Bank.Test\r\n\r\n"));
  EXPECT_TRUE(g_reports.empty());
  Check(To({10, 231, 0, 2}, 443));
  EXPECT_EQ(g_reports, std::vector<std::string>{"ip:10.231.0.2"});
}

TEST_F(NetmonUrl, NamesMatchTheTargetListBySubstring) {
  SetUpTargets("https://secure.bank.test;", 0);
  for (const char* host : {"bank.test", "secure.bank.tes", "other.test"})
    Check(To({10, 9, 9, 9}, 80, std::string("GET / HTTP/1.1\r\nHost: ") + host + "\r\n\r\n"));
  EXPECT_EQ(g_reports, (std::vector<std::string>{"bank.test", "secure.bank.tes"}));
}

TEST_F(NetmonUrl, NothingReportedWithoutTargetsOrAllMode) {
  SetUpTargets("", 0);
  Check(To({10, 9, 9, 9}, 80, "GET http://a.test/ HTTP/1.1\r\n\r\n"));
  Check(To({10, 231, 0, 2}, 443));
  EXPECT_TRUE(g_reports.empty());
  EXPECT_EQ(LastUrl(), "");
}

TEST_F(NetmonUrl, ResponseLinkAndPortsChecked) {
  SetUpTargets("", 1);
  FrameSpec response =
      To({10, 0, 0, 15}, 41000, "HTTP/1.1 200 OK\r\n\r\n<a href='HTTP://Link.Example.Test/p'>");
  response.src_port = 80;
  Check(response);
  Check(To({10, 9, 9, 9}, 8080, "GET / HTTP/1.1\r\nHost: not.web.port\r\n\r\n"));
  FrameSpec udp = To({10, 9, 9, 9}, 80, "host: udp.example\r\n");
  udp.protocol = 17;  // the protocol is not looked at
  Check(udp);
  EXPECT_EQ(g_reports, (std::vector<std::string>{"http://link.example.test", "udp.example"}));
}

TEST_F(NetmonUrl, MalformedFramesAreCountedButIgnored) {
  SetUpTargets("", 1);
  FrameSpec bad = To({10, 9, 9, 9}, 80, "GET / HTTP/1.1\r\nHost: bad.example\r\n\r\n");
  bad.ip_header_length = 16;
  Queue(bad);
  FrameSpec liar = To({10, 9, 9, 9}, 80, "GET / HTTP/1.1\r\nHost: liar.example\r\n\r\n");
  liar.total_length = 60000;
  Queue(liar);
  Queue(Bytes(37, 0));
  EXPECT_EQ(monitor.CheckUrl(25), 3);
  EXPECT_EQ(g_reports, std::vector<std::string>{"liar.example"});
}

TEST_F(NetmonUrl, EveryCutOfEveryFrameIsSafe) {
  SetUpTargets("https://secure.bank.test;", 1);
  std::vector<Bytes> frames = {
      BuildFrame(To({10, 9, 9, 9}, 80, "GET http://A.test/ HTTP/1.1\r\nHost: B.test\r\n\r\n")),
      BuildFrame(To({10, 9, 9, 9}, 443, "\x16\x03\x01 host:")),
      BuildFrame(To({10, 231, 0, 2}, 443)),
  };
  FrameSpec deep = To({10, 9, 9, 9}, 80, "https://x");
  deep.ip_header_length = 60;
  frames.push_back(BuildFrame(deep));
  for (const Bytes& frame : frames) {
    for (size_t n = 0; n <= frame.size(); ++n) {
      backend.state->frames.push_back(Bytes(frame.begin(), frame.begin() + static_cast<long>(n)));
      EXPECT_EQ(monitor.CheckUrl(0), 1);
    }
  }
}

TEST_F(NetmonUrl, CaptureLoopRunsTheCheckAndAllModeComesAfterIt) {
  OpenNamed();
  Queue(To({10, 9, 9, 9}, 80, "GET / HTTP/1.1\r\nHost: loop.test\r\n\r\n"));
  EXPECT_TRUE(monitor.GetUrl("", &Record, 1, 1));
  EXPECT_TRUE(g_reports.empty());  // all-URLs mode was not yet on inside the loop
  EXPECT_EQ(monitor.all_mode(), 1);
  Queue(To({10, 9, 9, 9}, 80, "GET / HTTP/1.1\r\nHost: loop.test\r\n\r\n"));
  EXPECT_TRUE(monitor.GetUrl(nullptr, nullptr, 1, 0));
  EXPECT_EQ(g_reports, std::vector<std::string>{"loop.test"});
}

Monitor* g_closing_monitor = nullptr;
int CloseFromCallback(const char*) {
  g_closing_monitor->Close();
  return 1;
}

TEST_F(NetmonUrl, ClosingFromTheCallbackEndsThePoll) {
  g_closing_monitor = &monitor;
  OpenNamed();
  monitor.GetUrl("", &CloseFromCallback, 0, 1);
  for (int i = 0; i < 3; ++i) Queue(To({10, 9, 9, 9}, 80, "Host: a\r\n"));
  EXPECT_EQ(monitor.CheckUrl(1000), 1);
  EXPECT_FALSE(monitor.is_open());
  EXPECT_EQ(backend.state->live_handles, 0);

  ASSERT_TRUE(monitor.OpenAuto("eth0", 0));
  for (int i = 0; i < 3; ++i) Queue(To({10, 9, 9, 9}, 80, "Host: a\r\n"));
  EXPECT_TRUE(monitor.GetUrl(nullptr, nullptr, 1, 0));
  EXPECT_TRUE(backend.state->loop_broken);
  EXPECT_EQ(backend.state->live_handles, 0);
}

// ---- DNS watch ----

TEST_F(NetmonMonitor, DnsWatchMatchesQueriesOnly) {
  OpenNamed();
  FrameSpec response = To({10, 0, 0, 15}, 40000, DnsQuery("www.bank.example"));
  response.protocol = 17;
  response.src_port = 53;
  Queue(response);
  FrameSpec other = To({10, 0, 0, 53}, 5353, DnsQuery("www.bank.example"));
  other.protocol = 17;
  Queue(other);
  EXPECT_FALSE(monitor.GetDns(100, "bank.example"));
  EXPECT_EQ(log.text, "");

  FrameSpec query = To({10, 0, 0, 53}, 53, DnsQuery("www.bank.example"));
  query.protocol = 17;
  Queue(query);
  Queue(query);
  EXPECT_TRUE(monitor.GetDns(1000, "bank.example"));
  EXPECT_EQ(backend.state->frames.size(), 1u);  // returned at once
  EXPECT_NE(log.text.find("QVWGD: DNS query: "), std::string::npos);
  EXPECT_FALSE(monitor.GetDns(1000, "nomatch.example"));
  EXPECT_FALSE(monitor.GetDns(0, nullptr));
}

TEST_F(NetmonMonitor, LongLogLinesStayTerminatedLines) {
  OpenNamed();
  env.addresses.clear();
  std::string targets(4095, 't');
  ASSERT_TRUE(monitor.GetUrl(targets.c_str(), nullptr, 0, 0));
  size_t at = log.text.find("SP: set target = ");
  ASSERT_NE(at, std::string::npos);
  size_t end = log.text.find('\n', at);
  EXPECT_EQ(end - at + 1, 4095u);
}

}  // namespace
}  // namespace qvw
