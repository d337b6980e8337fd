// Benchmarks of the packet monitor.
//   replay_bench generate FILE COUNT   writes a savefile of COUNT packets of mixed traffic
//   replay_bench replay FILE           per-packet URL check throughput against a bare
//                                      pcap_next_ex loop over the same file (ratio)
//   replay_bench idle DEVICE SECONDS   CPU time of back-to-back QVW_MonitorCheckUrl(100)
//                                      on a quiet device, per second of wall time
#include <pcap/pcap.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "netmon/core/monitor.h"
#include "netmon/include/qvWirelet.h"
#include "netmon/tests/idle_capture.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- savefile of mixed traffic ----

void Put16(std::vector<uint8_t>& b, size_t at, unsigned v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

std::vector<uint8_t> Frame(uint8_t protocol, const uint8_t dst[4], unsigned sport, unsigned dport,
                           const std::string& payload, size_t wire_payload) {
  size_t th = protocol == 6 ? 20 : 8;
  std::vector<uint8_t> b(14 + 20 + th + payload.size(), 0);
  b[12] = 0x08;
  b[14] = 0x45;
  Put16(b, 16, static_cast<unsigned>(20 + th + wire_payload));
  b[22] = 64;
  b[23] = protocol;
  const uint8_t src[4] = {192, 0, 2, 15};
  std::memcpy(&b[26], src, 4);
  std::memcpy(&b[30], dst, 4);
  Put16(b, 34, sport);
  Put16(b, 36, dport);
  if (protocol == 6) b[46] = 0x50;
  std::memcpy(b.data() + 14 + 20 + th, payload.data(), payload.size());
  return b;
}

int Generate(const char* path, long count) {
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 1024);
  pcap_dumper_t* out = pcap_dump_open(dead, path);
  if (!out) {
    std::fprintf(stderr, "%s\n", pcap_geterr(dead));
    return 1;
  }
  const uint8_t web[4] = {198, 51, 100, 7}, bank[4] = {198, 51, 100, 9}, me[4] = {192, 0, 2, 15},
                resolver[4] = {198, 51, 100, 53};
  std::string tls(1024 - 54, '\0');
  for (size_t i = 0; i < tls.size(); ++i) tls[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  std::string request =
      "GET /banking/login.do?session=1234 HTTP/1.1\r\nHost: WWW.Example.TEST\r\n"
      "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64)\r\nAccept: text/html\r\n"
      "Accept-Language: ko-KR,ko;q=0.9\r\nCookie: a=b; c=d; e=f\r\n\r\n";
  std::string page = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>";
  while (page.size() < 1024 - 54)
    page += "<p>text <a href=\"http://Link.Example.Test/x\">x</a></p>";
  page.resize(1024 - 54);
  std::string query(
      "\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x03www\x04"
      "bank\x04test\x00\x00\x01\x00\x01",
      31);
  // One round of 20 packets, in the proportions of a browsing PC.
  std::vector<std::vector<uint8_t>> round;
  for (int i = 0; i < 8; ++i)
    round.push_back(Frame(6, i % 2 ? web : bank, 50000, 443, "", 0));                // ACKs
  for (int i = 0; i < 5; ++i) round.push_back(Frame(6, me, 443, 50000, tls, 1400));  // TLS data
  round.push_back(Frame(6, web, 50001, 80, request, request.size()));
  round.push_back(Frame(6, me, 80, 50001, page, 1400));
  round.push_back(Frame(6, me, 80, 50001, page, 1400));
  round.push_back(Frame(17, resolver, 50002, 53, query, query.size()));
  round.push_back(Frame(6, web, 50003, 22, std::string(150, 'x'), 150));
  round.push_back(Frame(6, web, 50001, 80, "", 0));
  round.push_back(Frame(6, bank, 50000, 443, tls.substr(0, 300), 300));
  for (long i = 0; i < count; ++i) {
    const auto& f = round[static_cast<size_t>(i) % round.size()];
    pcap_pkthdr h{};
    h.ts.tv_sec = 1700000000 + i / 1000;
    h.ts.tv_usec = static_cast<suseconds_t>(i % 1000) * 1000;
    h.caplen = static_cast<bpf_u_int32>(f.size());
    h.len = h.caplen;
    pcap_dump(reinterpret_cast<u_char*>(out), &h, f.data());
  }
  pcap_dump_close(out);
  pcap_close(dead);
  return 0;
}

// ---- replay ----

class Env : public qvw::HostEnv {
 public:
  void InitSockets() override {}
  bool HostName(std::string*) override { return false; }
  bool ResolveIpv4(const std::string& name, std::string* dotted) override {
    if (name != "secure.bank.test") return false;
    *dotted = "198.51.100.9";
    return true;
  }
  void SleepMs(unsigned) override {}
};

long g_reports = 0;
int Count(const char*) {
  ++g_reports;
  return 1;
}

double PassSeconds(const char* path, qvw::Monitor* monitor, long* packets) {
  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_offline(path, errbuf);
  if (!p) {
    std::fprintf(stderr, "%s\n", errbuf);
    std::exit(1);
  }
  pcap_pkthdr* h;
  const u_char* data;
  long n = 0;
  unsigned sink = 0;
  auto start = Clock::now();
  while (pcap_next_ex(p, &h, &data) == 1) {
    ++n;
    if (monitor)
      monitor->CheckPacket(data, h->caplen);
    else
      sink += data[h->caplen / 2];
  }
  double s = std::chrono::duration<double>(Clock::now() - start).count();
  pcap_close(p);
  *packets = n + (sink == 0xFFFFFFFF);
  return s;
}

int Replay(const char* path) {
  qvw::IdleBackend backend;
  Env env;
  qvw::Monitor monitor(backend, env);
  monitor.OpenAuto("bench0", 0);
  monitor.GetUrl("https://secure.bank.test;http://www.example.test;", &Count, 0, 1);
  long packets = 0;
  PassSeconds(path, nullptr, &packets);  // warms the page cache
  double bare = 1e9, checked = 1e9;
  for (int i = 0; i < 5; ++i) {
    bare = std::min(bare, PassSeconds(path, nullptr, &packets));
    checked = std::min(checked, PassSeconds(path, &monitor, &packets));
  }
  std::printf("packets: %ld\n", packets);
  std::printf("bare pcap_next_ex loop: %.0f packets/s\n", packets / bare);
  std::printf("with per-packet URL check: %.0f packets/s (%ld reports)\n", packets / checked,
              g_reports / 5);
  std::printf("throughput ratio (check / bare read): %.2f\n", bare / checked);
  return 0;
}

// ---- idle poll ----

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec / 1e6;
}

int Idle(const char* device, double seconds) {
  if (QVW_MonitorOpenAuto(device, 1) != 1) {
    std::fprintf(stderr, "cannot open %s\n", device);
    return 1;
  }
  QVW_MonitorGetUrl("https://secure.bank.test;", &Count, 0, 1);
  long calls = 0, packets = 0;
  double cpu0 = CpuSeconds();
  auto start = Clock::now();
  double wall = 0;
  while (wall < seconds) {
    packets += QVW_MonitorCheckUrl(100);
    ++calls;
    wall = std::chrono::duration<double>(Clock::now() - start).count();
  }
  double cpu = CpuSeconds() - cpu0;
  QVW_MonitorClose();
  std::printf("idle poll: %ld calls of QVW_MonitorCheckUrl(100) in %.2f s, %ld packets\n", calls,
              wall, packets);
  std::printf("idle poll CPU: %.2f ms per s of wall time\n", cpu * 1000 / wall);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "generate" && argc == 4) return Generate(argv[2], std::atol(argv[3]));
  if (mode == "replay" && argc == 3) return Replay(argv[2]);
  if (mode == "idle" && argc == 4) return Idle(argv[2], std::atof(argv[3]));
  std::fprintf(stderr,
               "usage: replay_bench generate FILE COUNT | replay FILE | idle DEVICE SECONDS\n");
  return 2;
}
