// The monitor library on real packets. Runs only inside the namespaces that
// run_realtraffic.sh builds: this side is 10.231.7.1 on device qvwc0 with host
// name "qvwhost"; the far side answers on 10.231.7.2 (web on 80, sinks on 443,
// 8443 and 53, DNS over UDP) and 10.231.7.3 (secure.bank.test).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "netmon/exports/platform.h"
#include "netmon/include/qvWirelet.h"

namespace {

constexpr char kFar[] = "10.231.7.2";
constexpr char kBank[] = "10.231.7.3";

class Lines : public qvw::LogSink {
 public:
  std::string text;
  void Write(const char* data, size_t length) override { text.append(data, length); }
  bool Has(const std::string& s) const { return text.find(s) != std::string::npos; }
};

int Connect(const char* address, int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address, &sa.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One TCP exchange: sends data, reads until the far side closes or goes quiet.
std::string Exchange(const char* address, int port, const std::string& data) {
  int fd = Connect(address, port);
  if (fd < 0) {
    ADD_FAILURE() << "no connection to " << address << ":" << port;
    return "";
  }
  send(fd, data.data(), data.size(), MSG_NOSIGNAL);
  if (port != 80) shutdown(fd, SHUT_WR);
  std::string reply;
  char buffer[4096];
  ssize_t n;
  while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
  close(fd);
  return reply;
}

std::string DnsMessage(const std::string& name) {
  std::string m("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
  size_t start = 0;
  for (;;) {
    size_t dot = name.find('.', start);
    std::string label =
        name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    m += static_cast<char>(label.size());
    m += label;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  m += std::string("\x00\x00\x01\x00\x01", 5);
  return m;
}

void SendUdp(const char* address, int port, const std::string& data) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address, &sa.sin_addr);
  sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  close(fd);
}

void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }

std::string Http(const std::string& head) { return Exchange(kFar, 80, head + "\r\n\r\n"); }

std::vector<std::string> g_reports;
int Report(const char* text) {
  g_reports.emplace_back(text);
  return 1;
}

class NetmonRealTraffic : public ::testing::Test {
 protected:
  void SetUp() override {
    g_reports.clear();
    qvw::GlobalMonitor().SetLogSink(&log);
    ASSERT_EQ(QVW_MonitorOpenAuto(nullptr, 1), 1) << log.text;
    log.text.clear();
  }
  void TearDown() override {
    QVW_MonitorClose();
    qvw::GlobalMonitor().SetLogSink(nullptr);
  }
  // Reads what the capture holds: polls until a call sees no packet.
  int DrainUrls() {
    int total = 0;
    for (int i = 0; i < 100; ++i) {
      int n = QVW_MonitorCheckUrl(100);
      total += n;
      if (n == 0) break;
    }
    return total;
  }
  Lines log;
};

TEST_F(NetmonRealTraffic, AutomaticOpenChoosesTheDeviceBySubstring) {
  EXPECT_EQ(QVW_MonitorClose(), 1);
  ASSERT_EQ(QVW_MonitorOpenAuto(nullptr, 1), 1);
  EXPECT_TRUE(log.Has("QVWMA: getting live ip = 10.231.7.1\n"));
  EXPECT_TRUE(log.Has("QVWMA: qvwc0 ip = 10.231.7.1\nQVWMA: same device find - qvwc0\n"));
  EXPECT_TRUE(log.Has("QVWMA: set nonblock ok\n"));

  // 10.231.7.15 contains 10.231.7.1: the same device is chosen.
  ASSERT_EQ(sethostname("qvwsub", 6), 0);
  EXPECT_EQ(QVW_MonitorClose(), 1);
  log.text.clear();
  EXPECT_EQ(QVW_MonitorOpenAuto(nullptr, 0), 1);
  EXPECT_TRUE(log.Has("QVWMA: getting live ip = 10.231.7.15\n"));
  EXPECT_TRUE(log.Has("QVWMA: same device find - qvwc0\n"));

  // An address no device carries: nothing is chosen.
  ASSERT_EQ(sethostname("qvwnone", 7), 0);
  EXPECT_EQ(QVW_MonitorClose(), 1);
  log.text.clear();
  EXPECT_EQ(QVW_MonitorOpenAuto(nullptr, 0), 0);
  EXPECT_TRUE(log.Has("QVWMO: can't find proper interface\n"));
  char error[256] = "kept";
  EXPECT_EQ(QVW_MonitorError(error), 0);
  EXPECT_STREQ(error, "kept");
  ASSERT_EQ(sethostname("qvwhost", 7), 0);

  // A named device, and one that does not exist.
  EXPECT_EQ(QVW_MonitorOpenAuto("qvwc0", 1), 1);
  EXPECT_EQ(QVW_MonitorClose(), 1);
  log.text.clear();
  EXPECT_EQ(QVW_MonitorOpenAuto("nosuchdev0", 1), 0);
  EXPECT_TRUE(log.Has("QVWMA: Error opening adapter with Promiscuous mode: "));
  EXPECT_TRUE(log.Has("QVWMA: Error opening adapter: "));
  // No device here is described as an Atheros adapter.
  EXPECT_EQ(QVW_MonitorOpen(nullptr, 1), 0);
  EXPECT_TRUE(log.Has("QVWMO: can't find proper interface\n"));
  EXPECT_EQ(QVW_MonitorOpen("qvwc0", 1), 1);
}

TEST_F(NetmonRealTraffic, DeviceWithoutEthernetLinkIsRefusedButKeptOpen) {
  ASSERT_EQ(sethostname("qvwtunhost", 10), 0);
  EXPECT_EQ(QVW_MonitorClose(), 1);
  log.text.clear();
  EXPECT_EQ(QVW_MonitorOpenAuto(nullptr, 1), 0);
  EXPECT_TRUE(
      log.Has("QVWMA: same device find - qvwtun0\n"
              "QVWMA: Only support Ethernet: qvwtun0 - skip\n"));
  char error[256];
  EXPECT_EQ(QVW_MonitorError(error), 1);
  EXPECT_EQ(QVW_MonitorClose(), 1);
  ASSERT_EQ(sethostname("qvwhost", 7), 0);
}

TEST_F(NetmonRealTraffic, DirectionTwoFiltersOnTheHostAlone) {
  ASSERT_EQ(QVW_MonitorSet(2, kFar, "10.0.0.0/8", 80), 1);
  EXPECT_TRUE(
      log.Has("QVWMS: filter express: dst host 10.231.7.2\n"
              "QVWMS: filter setted dst host 10.231.7.2\n"));
  Exchange(kFar, 8443, "not a web port");
  Exchange(kBank, 443, "other host");
  Settle();
  std::vector<CaptureRecord> storage(100);
  std::vector<CaptureRecord*> records;
  for (auto& r : storage) records.push_back(&r);
  int n = QVW_MonitorGetCaptures(1000, 100, 1, 65535, records.data());
  ASSERT_GT(n, 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_STREQ(storage[i].address, kFar);
    EXPECT_EQ(storage[i].port, 8443);
  }
  EXPECT_EQ(QVW_MonitorSet(2, "no such host!", nullptr, 0), 0);
  EXPECT_TRUE(log.Has("QVWMS: Error compiling filter: wrong syntax. dst host no such host!\n"));
  EXPECT_EQ(QVW_MonitorSet(0, nullptr, nullptr, 0), 1);
  EXPECT_EQ(QVW_MonitorSet(1, nullptr, nullptr, -1), 1);
  EXPECT_EQ(QVW_MonitorSet(7, nullptr, nullptr, 443), 1);
  EXPECT_TRUE(log.Has("QVWMS: filter setted port 443\n"));
  char error[256] = "x";
  EXPECT_EQ(QVW_MonitorError(nullptr), 1);
  EXPECT_EQ(QVW_MonitorError(error), 1);
}

TEST_F(NetmonRealTraffic, CountsCodesAndCaptures) {
  EXPECT_EQ(QVW_MonitorGetCounts(0), 0);  // a quiet link: one read, nothing
  Http("GET / HTTP/1.1\r\nHost: peer.test");
  Settle();
  int counted = QVW_MonitorGetCounts(2000);
  EXPECT_GT(counted, 4);
  EXPECT_TRUE(log.Has("QVWMC; 0 packet: "));

  Http("GET / HTTP/1.1\r\nHost: peer.test");
  Settle();
  log.text.clear();
  int to_far = QVW_MonitorGetCodes(2000, kFar);
  EXPECT_GT(to_far, 1);
  EXPECT_TRUE(log.Has(" => 10.231.7.2:80 (compare=10.231.7.2)\n"));
  EXPECT_FALSE(log.Has(" => 10.231.7.1:"));  // replies are read but not counted

  Http("GET / HTTP/1.1\r\nHost: peer.test");
  Settle();
  EXPECT_EQ(QVW_MonitorGetCodes(2000, "10.231.7.9"), 0);
  // Uncounted packets still moved the last destination.
  EXPECT_STRNE(qvw::GlobalMonitor().last_destination(), "");

  // Captures: ports 80 to 443 only; maxRecords 0; null records.
  Http("GET / HTTP/1.1\r\nHost: peer.test");
  Exchange(kFar, 8443, "x");
  Settle();
  std::vector<CaptureRecord> storage(100);
  std::vector<CaptureRecord*> records;
  for (auto& r : storage) records.push_back(&r);
  int n = QVW_MonitorGetCaptures(2000, 100, 80, 443, records.data());
  ASSERT_GT(n, 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_STREQ(storage[i].address, kFar);
    EXPECT_EQ(storage[i].port, 80);
  }
  Http("GET / HTTP/1.1\r\nHost: peer.test");
  Settle();
  EXPECT_EQ(QVW_MonitorGetCaptures(2000, 0, 80, 443, records.data()), 0);
  EXPECT_GT(QVW_MonitorGetCaptures(2000, 100, 80, 443, nullptr), 0);
  EXPECT_TRUE(log.Has("QVWMP: input buffer is null\n"));
}

TEST_F(NetmonRealTraffic, UrlsAddressesAndHostNames) {
  ASSERT_EQ(QVW_MonitorGetUrl("https://secure.bank.test;http://plain.target.test;", &Report, 0, 0),
            1);
  EXPECT_TRUE(log.Has("SP: resolve secure.bank.test\n"));
  EXPECT_TRUE(
      log.Has("SP: set target = https://secure.bank.test;http://plain.target.test;10.231.7.3;\n"));

  // Port 8443 of the watched address: nothing.
  Exchange(kBank, 8443, "hello");
  Settle();
  DrainUrls();
  EXPECT_TRUE(g_reports.empty());

  // Port 443: its address. A Host header in the list: its name, lower-cased.
  Exchange(kBank, 443, "\x16\x03\x01 client hello");
  Http("GET /a HTTP/1.1\r\nHost: Plain.Target.TEST");
  // Names outside the list are not reported while all-URLs mode is off.
  Http("GET / HTTP/1.1\r\nHost: unlisted.example.test");
  Settle();
  DrainUrls();
  std::set<std::string> seen(g_reports.begin(), g_reports.end());
  EXPECT_EQ(seen, (std::set<std::string>{"ip:10.231.7.3", "plain.target.test"}));
  char last[1024];
  EXPECT_EQ(QVW_GetPacketUrl(last), 1);
  EXPECT_EQ(std::string(last), g_reports.back());
}

TEST_F(NetmonRealTraffic, TargetListIsComparedAsWritten) {
  ASSERT_EQ(QVW_MonitorGetUrl("https://Secure.Bank.Test;", &Report, 0, 0), 1);
  EXPECT_TRUE(log.Has("SP: set target = https://Secure.Bank.Test;10.231.7.3;\n"));
  Http("GET / HTTP/1.1\r\nHost: Secure.Bank.Test");
  Settle();
  DrainUrls();
  EXPECT_TRUE(g_reports.empty());  // the name is lower-case, the list is not
  Exchange(kBank, 443, "x");
  Settle();
  DrainUrls();
  EXPECT_FALSE(g_reports.empty());
  for (const auto& r : g_reports) EXPECT_EQ(r, "ip:10.231.7.3");
}

int g_loop_reports = 0;
int CloseAfterThree(const char* text) {
  g_reports.emplace_back(text);
  if (++g_loop_reports == 3) QVW_MonitorClose();  // the only way out of the loop
  return 1;
}

TEST_F(NetmonRealTraffic, CaptureLoopEndsWhenTheCallbackCloses) {
  g_loop_reports = 0;
  // Traffic to the watched address while the loop runs, bounded in count.
  std::thread traffic([] {
    for (int i = 0; i < 20 && g_loop_reports < 3; ++i) {
      Exchange(kBank, 443, "x");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  EXPECT_EQ(QVW_MonitorGetUrl("https://secure.bank.test;", &CloseAfterThree, 1, 0), 1);
  traffic.join();
  EXPECT_EQ(g_loop_reports, 3);
  EXPECT_EQ(g_reports[0], "ip:10.231.7.3");
  EXPECT_EQ(QVW_MonitorClose(), 0);
}

// All-URLs mode stays on for the life of the process: this runs after the
// tests that need it off.
TEST_F(NetmonRealTraffic, ZAllUrlsMode) {
  ASSERT_EQ(QVW_MonitorGetUrl("", &Report, 0, 1), 1);
  EXPECT_TRUE(log.Has("QVWGU: get All packet mode\n"));
  std::string page = Http("GET http://Proxy.Example.Test/x HTTP/1.1\r\nHost: Mixed.CASE.Test");
  ASSERT_NE(page.find("Link.Example.Test"), std::string::npos);
  Http("GET / HTTP/1.1\r\nHoSt: WWW.Example.TEST");
  Settle();
  DrainUrls();
  std::set<std::string> seen(g_reports.begin(), g_reports.end());
  EXPECT_TRUE(seen.count("mixed.case.test")) << log.text;
  EXPECT_TRUE(seen.count("www.example.test"));
  EXPECT_TRUE(seen.count("http://link.example.test"));  // from the response of port 80
  EXPECT_FALSE(seen.count("http://proxy.example.test"));
  EXPECT_TRUE(log.Has("ph: url in packet(tcp: ) = mixed.case.test\n"));
}

TEST_F(NetmonRealTraffic, DnsQueriesMatchAndResponsesDoNot) {
  SendUdp(kFar, 53, DnsMessage("www.bank.test"));
  Settle();
  EXPECT_EQ(QVW_MonitorGetDns(1000, "bank.test"), 1);
  EXPECT_TRUE(log.Has("QVWGD: DNS query: "));

  // The answer names a host that only the response carries.
  SendUdp(kFar, 53, DnsMessage("ask.example.test"));
  SendUdp(kFar, 5353, DnsMessage("only-in-response.test"));
  Settle();
  EXPECT_EQ(QVW_MonitorGetDns(500, "only-in-response"), 0);

  std::string message = DnsMessage("tcp.bank.test");
  std::string framed = std::string(1, '\0') + static_cast<char>(message.size()) + message;
  Exchange(kFar, 53, framed);
  Settle();
  EXPECT_EQ(QVW_MonitorGetDns(1000, "tcp.bank.test"), 1);
}

// Debian's libpcap may wait for ever on a quiet link despite the read time-out:
// blocking reads must still end within the time-out.
TEST_F(NetmonRealTraffic, BlockingReadsOnAQuietLinkEnd) {
  ASSERT_EQ(QVW_MonitorClose(), 1);
  ASSERT_EQ(QVW_MonitorOpenAuto(nullptr, 0), 1);
  ASSERT_EQ(QVW_MonitorSet(2, nullptr, nullptr, 9), 1);  // nothing goes to port 9
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QVW_MonitorGetCounts(100), 0);  // 10 reads of at most 50 ms each
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(QVW_MonitorClose(), 1);
  ASSERT_EQ(QVW_MonitorOpen("qvwc0", 0), 1);
  ASSERT_EQ(QVW_MonitorSet(2, nullptr, nullptr, 9), 1);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(QVW_MonitorCheckUrl(100), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(NetmonRealTraffic, CloseTwice) {
  EXPECT_EQ(QVW_MonitorClose(), 1);
  EXPECT_EQ(QVW_MonitorClose(), 0);
  EXPECT_EQ(QVW_MonitorGetCounts(10), 0);
  EXPECT_EQ(QVW_MonitorCheckUrl(10), 0);
  EXPECT_EQ(QVW_MonitorGetDns(10, "x"), 0);
  EXPECT_EQ(QVW_MonitorSet(0, nullptr, nullptr, 0), 0);
}

}  // namespace
